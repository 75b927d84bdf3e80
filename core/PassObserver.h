#pragma once

#include <limits>

// What a pass has read of one port, taken from the cells the link has just filled: power in
// mW, voltage in V, current in mA (NaN where a cell holds no number, as an agent may answer with
// any text) and the port's status code.
struct PassReading {
    static constexpr double Unknown = std::numeric_limits<double>::quiet_NaN();

    int port = 0;
    double powerMw = Unknown;
    double voltageV = Unknown;
    double currentMa = Unknown;
    int status = 0;
};

// Told by DeviceView of every port a pass reads and of every reset of the device display.
class PassObserver
{
public:
    virtual ~PassObserver() = default;

    virtual void portRead(const PassReading& reading) = 0;
    // sessionEnded: no session runs any more (lost, or ended for a re-link); otherwise the
    // display was reset under a running session (System Reset).
    virtual void displayCleared(bool sessionEnded) = 0;
};
