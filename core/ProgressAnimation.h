#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

class Clock;
class DeviceView;

// A paced run of the progress dialog's bar, as the long operations of both links show it while
// the device works: each frame waits its pause, then moves the bar and may hide the dialog.
struct ProgressAnimation {
    static constexpr int Scale = 24;
    static constexpr int Keep = -1; // the bar stays where it is

    struct Frame {
        int pauseMs = 0;
        int position = Keep;
        bool hide = false;
    };

    // Shown with the first frame; without it the dialog shows with the text it has.
    std::optional<QString> text;
    // A first frame without a pause shows at once, the rest in paced steps of the clock.
    std::vector<Frame> frames;
};

// Plays the animation on the clock and runs `then` right after the last frame, in its step.
void playProgress(Clock& clock, DeviceView& view, const ProgressAnimation& animation,
                  std::function<void()> then = {});
