#pragma once

class Clock;
class Controls;
class DeviceView;
class OperatorFeedback;
struct DeviceState;
struct SerialLink;

// What sessions, pages and operations share: the device record, the serial link's record,
// the controls by identifier with the window operations on them, the clock and the operator.
struct AppContext {
    DeviceState& state;
    SerialLink& serial;
    Controls& controls;
    DeviceView& view;
    Clock& clock;
    OperatorFeedback& feedback;
};
