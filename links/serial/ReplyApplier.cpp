#include "links/serial/ReplyApplier.h"

#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/DisplayFormats.h"
#include "links/serial/SerialLink.h"

namespace
{
constexpr std::uint8_t IdentifyType = 0x0E;
constexpr int ModelFirst = 2;
constexpr int ModelLast = 24;
} // namespace

quint16 ReplyApplier::word(int offset) const
{
    const auto& rx = link_.rxFrame;
    return quint16(rx[std::size_t(offset)] << 8 | rx[std::size_t(offset + 1)]);
}

QString ReplyApplier::text(int offset, int size) const
{
    return fmt::deviceText(reinterpret_cast<const char*>(link_.rxFrame.data()) + offset, size);
}

void ReplyApplier::applyIdentity()
{
    const auto& rx = link_.rxFrame;
    if (rx[1] != 0)
        return;
    DeviceState& s = ctx_.state;
    if (rx[0] == IdentifyType) {
        QByteArray model;
        for (int i = ModelFirst; i <= ModelLast && rx[std::size_t(i)] != 0; ++i)
            model.append(char(rx[std::size_t(i)]));
        s.modelName = QString::fromLatin1(model);
    } else if (const auto model = modelForLegacyCode(rx[2], rx[3])) {
        s.modelName = *model;
    }
    ctx_.controls.insertItem(ctl::FoundDevices, 0, s.comPortName + QStringLiteral(" *** ") + s.modelName);
}

bool ReplyApplier::applySystemStatus()
{
    const auto& rx = link_.rxFrame;
    const int ports = rx[14];
    if (ports < 1 || ports > MaxPorts)
        return false;
    Controls& c = ctx_.controls;
    c.setText(ctl::FirmwareRevision, fmt::firmwareRevision(rx[12]));
    c.setText(ctl::HardwareRevision, fmt::hardwareRevision(rx[13]));
    ctx_.state.setPortCount(ports);
    c.setText(ctl::PortNumber, QString::number(ports));
    // Shown only: the stored description changes through the description dialog alone.
    c.setText(ctl::SystemDescription, text(15, 10));
    return true;
}

void ReplyApplier::applyPortStatus()
{
    SerialLink& link = link_;
    if (link.downloadActive)
        return;
    const int index = link.serialPortIndex;
    if (index < 0 || index >= MaxPorts)
        return;
    const int k = index + 1;
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    const std::uint8_t config = link.rxFrame[3];
    if (!s.portStaticRead[std::size_t(index)]) {
        // Enable, legacy and description are taken once, so that unsent choices survive polls.
        s.portStaticRead[std::size_t(index)] = 1;
        c.setChecked(ctl::PortEnableBase + k, config & 0x01);
        const bool legacy = config & 0x20;
        c.setChecked(ctl::LegacyDetect, legacy);
        s.legacyDetect = s.deviceLegacyDetect = legacy ? 1 : 0;
        c.setVisible(ctl::LegacyEnabledNote, legacy);
        s.portDescription[std::size_t(k)] = text(15, 10);
        c.setText(ctl::PortDescriptionBase + k, s.portDescription[std::size_t(k)]);
        ctx_.view.showPowerLimits(s.modelName);
        ctx_.view.unlockControls();
    }
    c.setText(ctl::PowerBase + k, fmt::milli(word(6)));
    c.setText(ctl::VoltageBase + k, fmt::decivolts(word(8)));
    c.setText(ctl::CurrentBase + k, fmt::milli(word(10)));
    s.pollPort = k;
    s.portStatus[std::size_t(k)] = link.rxFrame[14];
    ctx_.view.setPortLamp(k, s.portStatus[std::size_t(k)]);
}

void ReplyApplier::applyPortClassification()
{
    const int index = link_.serialPortIndex;
    if (index < 0 || index >= MaxPorts)
        return;
    const int k = index + 1;
    ctx_.controls.setText(ctl::DiscoveryRBase + k, fmt::detectionResistance(word(3)));
    ctx_.controls.setText(ctl::ClassCurrentBase + k, fmt::classCurrent(word(11)));
}
