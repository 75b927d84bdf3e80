#pragma once

#include "core/SpanmonCore.h"
#include "links/serial/SerialLink.h"
#include "links/snmp/NetworkLink.h"
#include "ui/LampImages.h"
#include "ui/MainWindow.h"
#include "ui/WidgetControls.h"

// Spanmon as it runs: the window's controls, the core with the network link (first in the
// link choice list) and the serial link, and the window on top. The network link's worker
// comes from `makeWorker`, by default the SNMP worker on its own thread.
class Spanmon
{
public:
    Spanmon(Clock& clock, OperatorFeedback& feedback, NetworkLink::WorkerFactory makeWorker = {});

    MainWindow& window() { return window_; }
    SpanmonCore& core() { return core_; }
    NetworkLink& network() { return static_cast<NetworkLink&>(core_.link(0)); }
    SerialLink& serial() { return static_cast<SerialLink&>(core_.link(1)); }
    SerialState& serialState() { return serial().link(); }

    // Both links, the network link first, as the link choice list orders them.
    static SpanmonCore::LinkFactory links(Clock& clock, NetworkLink::WorkerFactory makeWorker = {});

private:
    LampImages lamps_;
    WidgetControls controls_;
    SpanmonCore core_;
    MainWindow window_;
};
