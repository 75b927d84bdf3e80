#include "links/serial/ReplyApplier.h"

#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/DisplayFormats.h"
#include "links/serial/SerialProtocol.h"
#include "links/serial/SerialState.h"

void ReplyApplier::applyIdentity()
{
    const auto identity = serialproto::identity(link_);
    if (!identity)
        return;
    DeviceState& s = ctx_.state;
    if (identity->model)
        s.modelName = *identity->model;
    ctx_.view.insertFoundEntry(0, link_.comPortName + QStringLiteral(" *** ") + s.modelName);
}

bool ReplyApplier::applySystemStatus()
{
    const serialproto::SystemStatus status = serialproto::systemStatus(link_);
    if (!status.usable())
        return false;
    DeviceView& v = ctx_.view;
    v.showFirmwareRevision(fmt::firmwareRevision(status.firmware));
    v.showHardwareRevision(fmt::hardwareRevision(status.hardware));
    ctx_.state.setPortCount(status.portCount);
    v.showPortCount(QString::number(status.portCount));
    // Shown only: the stored description changes through the description dialog alone.
    v.showSystemDescription(status.description);
    return true;
}

int ReplyApplier::askedPort() const
{
    const int index = link_.request.portIndex;
    return index >= 0 && index < MaxPorts ? index + 1 : 0;
}

void ReplyApplier::applyPortStatus()
{
    if (link_.downloadHoldsLine)
        return;
    const int k = askedPort();
    if (k == 0)
        return;
    const serialproto::PortStatus port = serialproto::portStatus(link_);
    DeviceState& s = ctx_.state;
    DeviceView& v = ctx_.view;
    s.portAdminState[std::size_t(k)] = port.enabled ? 2 : 1; // as the network link keeps it
    if (!link_.portStaticRead[std::size_t(k - 1)]) {
        // Enable, legacy and description are taken once, so that unsent choices survive polls.
        link_.portStaticRead[std::size_t(k - 1)] = true;
        v.showPortEnabled(k, port.enabled);
        v.showLegacyDetection(port.legacy);
        s.legacyDetect = s.deviceLegacyDetect = port.legacy ? 1 : 0;
        s.portDescription[std::size_t(k)] = port.description;
        v.showPortDescription(k, s.portDescription[std::size_t(k)]);
        v.showPowerLimits(s.modelName);
        v.unlockControls();
    }
    using Cell = DeviceView::PortCell;
    v.showPortValue(k, Cell::Power, fmt::milli(port.powerMw));
    v.showPortValue(k, Cell::Voltage, fmt::decivolts(port.decivolts));
    v.showPortValue(k, Cell::Current, fmt::milli(port.currentMa));
    s.pollPort = k;
    s.portStatus[std::size_t(k)] = port.status;
    v.setPortLamp(k, s.portStatus[std::size_t(k)]);
}

void ReplyApplier::applyPortClassification()
{
    const int k = askedPort();
    if (k == 0)
        return;
    const serialproto::PortClassification port = serialproto::portClassification(link_);
    ctx_.view.showPortValue(k, DeviceView::PortCell::DetectionResistance,
                            fmt::detectionResistance(port.resistance));
    ctx_.view.showPortValue(k, DeviceView::PortCell::ClassCurrent, fmt::classCurrent(port.classCurrent));
}
