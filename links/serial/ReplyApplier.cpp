#include "links/serial/ReplyApplier.h"

#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/DisplayFormats.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialProtocol.h"

void ReplyApplier::applyIdentity()
{
    const auto identity = serialproto::identity(link_);
    if (!identity)
        return;
    DeviceState& s = ctx_.state;
    if (identity->model)
        s.modelName = *identity->model;
    ctx_.controls.insertItem(ctl::FoundDevices, 0, s.comPortName + QStringLiteral(" *** ") + s.modelName);
}

bool ReplyApplier::applySystemStatus()
{
    const serialproto::SystemStatus status = serialproto::systemStatus(link_);
    if (!status.usable())
        return false;
    Controls& c = ctx_.controls;
    c.setText(ctl::FirmwareRevision, fmt::firmwareRevision(status.firmware));
    c.setText(ctl::HardwareRevision, fmt::hardwareRevision(status.hardware));
    ctx_.state.setPortCount(status.portCount);
    c.setText(ctl::PortNumber, QString::number(status.portCount));
    // Shown only: the stored description changes through the description dialog alone.
    c.setText(ctl::SystemDescription, status.description);
    return true;
}

int ReplyApplier::askedPort() const
{
    const int index = link_.request.portIndex;
    return index >= 0 && index < MaxPorts ? index + 1 : 0;
}

void ReplyApplier::applyPortStatus()
{
    if (link_.downloadActive)
        return;
    const int k = askedPort();
    if (k == 0)
        return;
    const serialproto::PortStatus port = serialproto::portStatus(link_);
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    s.portAdminState[std::size_t(k)] = port.enabled ? 2 : 1; // as the network link keeps it
    if (!s.portStaticRead[std::size_t(k - 1)]) {
        // Enable, legacy and description are taken once, so that unsent choices survive polls.
        s.portStaticRead[std::size_t(k - 1)] = 1;
        c.setChecked(ctl::PortEnableBase + k, port.enabled);
        c.setChecked(ctl::LegacyDetect, port.legacy);
        s.legacyDetect = s.deviceLegacyDetect = port.legacy ? 1 : 0;
        c.setVisible(ctl::LegacyEnabledNote, port.legacy);
        s.portDescription[std::size_t(k)] = port.description;
        c.setText(ctl::PortDescriptionBase + k, s.portDescription[std::size_t(k)]);
        ctx_.view.showPowerLimits(s.modelName);
        ctx_.view.unlockControls();
    }
    c.setText(ctl::PowerBase + k, fmt::milli(port.powerMw));
    c.setText(ctl::VoltageBase + k, fmt::decivolts(port.decivolts));
    c.setText(ctl::CurrentBase + k, fmt::milli(port.currentMa));
    s.pollPort = k;
    s.portStatus[std::size_t(k)] = port.status;
    ctx_.view.setPortLamp(k, s.portStatus[std::size_t(k)]);
}

void ReplyApplier::applyPortClassification()
{
    const int k = askedPort();
    if (k == 0)
        return;
    const serialproto::PortClassification port = serialproto::portClassification(link_);
    ctx_.controls.setText(ctl::DiscoveryRBase + k, fmt::detectionResistance(port.resistance));
    ctx_.controls.setText(ctl::ClassCurrentBase + k, fmt::classCurrent(port.classCurrent));
}
