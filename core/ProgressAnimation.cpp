#include "core/ProgressAnimation.h"

#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceView.h"

namespace
{

void show(DeviceView& view, const ProgressAnimation& animation, const ProgressAnimation::Frame& frame,
          bool first)
{
    if (first) {
        if (animation.text)
            view.showProgress(*animation.text);
        else
            view.controls().setVisible(ctl::ProgressDialog, true);
        view.setProgress(ProgressAnimation::Scale, frame.position);
    } else if (frame.position != ProgressAnimation::Keep) {
        view.setProgressPosition(frame.position);
    }
    if (frame.hide)
        view.hideProgress();
}

} // namespace

void playProgress(Clock& clock, DeviceView& view, const ProgressAnimation& animation,
                  std::function<void()> then)
{
    const auto& frames = animation.frames;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const bool last = i + 1 == frames.size();
        auto step = [&view, animation, i, last, then] {
            show(view, animation, animation.frames[i], i == 0);
            if (last && then)
                then();
        };
        if (i == 0 && frames[i].pauseMs == 0)
            step();
        else
            clock.pace({frames[i].pauseMs, std::move(step)});
    }
}
