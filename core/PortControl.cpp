#include "core/PortControl.h"

#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialSession.h"

void PortControl::readControls()
{
    allPorts_ = ctx_.controls.isChecked(ctl::AllPorts);
    legacy_ = ctx_.controls.isChecked(ctl::LegacyDetect);
}

void PortControl::sendPortControl()
{
    readControls();
    queuePortEnable(tickedPorts());
    // The network link sends the legacy wish its tick box shows.
    ctx_.state.legacyDetectWanted = legacy_ ? 2 : 1;
}

std::array<bool, MaxPorts> PortControl::tickedPorts() const
{
    std::array<bool, MaxPorts> ticked{};
    for (int k = 1; k <= ctx_.state.portCount; ++k)
        ticked[std::size_t(k - 1)] = ctx_.controls.isChecked(ctl::PortEnableBase + k);
    return ticked;
}

void PortControl::queuePortEnable(const std::array<bool, MaxPorts>& wanted)
{
    DeviceState& s = ctx_.state;
    switch (s.linkType) {
    case LinkType::Network: {
        // A pending serial reply time-out must not run between queuing and sending.
        ctx_.clock.stop(TimerId::PollReply);
        s.legacyDetectWanted = s.legacyDetect ? 2 : 1;
        s.pollPort = 1;
        int on = 0;
        for (int k = 1; k <= s.portCount; ++k) {
            s.portEnableWanted[std::size_t(k - 1)] = wanted[std::size_t(k - 1)] ? 2 : 1;
            on += wanted[std::size_t(k - 1)];
        }
        s.pendingRequest = Request::PortEnable;
        if (on == 0)
            s.pendingRequest = Request::AllPortsOff;
        if (on == s.portCount)
            s.pendingRequest = Request::AllPortsOn;
        break;
    }
    case LinkType::Serial:
        queueSerialPortWrite(wanted);
        break;
    case LinkType::None:
        break;
    }
}

void PortControl::queueSerialPortWrite(const std::array<bool, MaxPorts>& wanted)
{
    DeviceState& s = ctx_.state;
    SerialLink& serial = ctx_.serial;
    SerialSession::restartReplyTimeout(ctx_);
    // A missing reply to a write is no failure of the session.
    serial.userCommandActive = true;
    for (int k = 1; k <= s.portCount; ++k)
        s.portEnableWanted[std::size_t(k - 1)] = wanted[std::size_t(k - 1)] ? 1 : 0;
    serial.raiseOnly(&SerialLink::pendingPortWrite);
    serial.serialPortIndex = 0;
}

void PortControl::setAllPorts()
{
    readControls();
    for (int k = 1; k <= ctx_.state.portCount; ++k)
        ctx_.controls.setChecked(ctl::PortEnableBase + k, allPorts_);
}

void PortControl::chooseLegacyDetection()
{
    readControls();
    ctx_.state.legacyDetect = legacy_ ? 1 : 0;
    ctx_.controls.setVisible(ctl::LegacyEnabledNote, legacy_);
}

QString PortControl::beginDescriptionEdit(int port)
{
    ctx_.state.editPort = port;
    editText_ = ctx_.controls.text(ctl::PortDescriptionBase + port);
    return editText_;
}

void PortControl::endDescriptionEdit(bool saved, const QString& text)
{
    DeviceState& s = ctx_.state;
    const int port = s.editPort;
    if (port < 1 || port > MaxPorts)
        return;
    // A dialog closed without saving keeps the text it was given.
    const QString result = saved ? text : editText_;
    if (saved)
        s.newPortDescription = result;
    if (result == editText_)
        return;

    ctx_.controls.setText(ctl::PortDescriptionBase + port, s.newPortDescription);
    switch (s.linkType) {
    case LinkType::Network:
        s.savedPort = port;
        s.pendingRequest = Request::PortDescription;
        break;
    case LinkType::Serial:
        queueSerialPortWrite(tickedPorts());
        break;
    case LinkType::None:
        break;
    }
}

void PortControl::setLampForStatus(int status)
{
    ctx_.view.setPortLamp(ctx_.state.pollPort, status);
}
