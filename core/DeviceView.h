#pragma once

#include "core/Controls.h"
#include "core/DeviceState.h"

// The window operations every session and page uses: locking and unlocking the operation
// controls, resetting the device display, the progress display, lamps and class limits. They
// act on controls by identifier, so they work the same on the real window and on a fake.
class DeviceView
{
public:
    DeviceView(DeviceState& state, Controls& controls) : state_(state), controls_(controls) {}

    void lockControls();
    void unlockControls();
    // Resets the system panel and the ports 1..portCount of the last session.
    void clearDeviceDisplay();

    void showProgress(const QString& text);
    void setProgress(int maximum, int position);
    void setProgressPosition(int position);
    void hideProgress();

    // Lamp of one port from its status code.
    void setPortLamp(int port, int status);
    // Fills the "Determined Class" cells with the class-0 power limits of the model.
    void showPowerLimits(const QString& model);

    DeviceState& state() { return state_; }
    Controls& controls() { return controls_; }

private:
    void setOperationsEnabled(bool enabled);

    DeviceState& state_;
    Controls& controls_;
};
