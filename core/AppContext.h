#pragma once

class Clock;
class Controls;
class DeviceView;
class MidspanLink;
class OperatorFeedback;
class PowerCycle;
class PowerHistory;
class SettingsPresenter;
struct DeviceState;

// What links, pages and operations share: the device record, the controls by identifier with
// the window operations on them, the clock, the operator and the link the operator chose.
struct AppContext {
    DeviceState& state;
    Controls& controls;
    DeviceView& view;
    Clock& clock;
    OperatorFeedback& feedback;
    MidspanLink* link = nullptr;
    // The port page's power-cycle, once the page exists.
    PowerCycle* powerCycle = nullptr;
    // Shows a link's settings page, once the window exists.
    SettingsPresenter* settings = nullptr;
    // Where the operator's actions are recorded, beside the power samples.
    PowerHistory* history = nullptr;
    // Whether a link other than the one given runs a session: a link never asks the other itself.
    std::function<bool(const MidspanLink&)> otherSessionRuns = [](const MidspanLink&) { return false; };
};
