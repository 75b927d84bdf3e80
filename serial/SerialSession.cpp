#include "serial/SerialSession.h"

#include "app/ControlIds.h"
#include "app/Controls.h"
#include "app/DeviceState.h"
#include "app/OperatorFeedback.h"

#include <QSerialPortInfo>

void SerialSession::scanComPorts()
{
    Controls& c = ctx_.controls;
    c.clearItems(ctl::ComPortCombo);
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& port : ports)
        c.addItem(ctl::ComPortCombo, port.portName());
    if (!ports.isEmpty()) {
        c.setCurrentIndex(ctl::ComPortCombo, 0);
        ctx_.state.linkType = LinkType::Serial;
        c.setEnabled(ctl::SearchPoe, true);
    } else {
        ctx_.feedback.warning(QStringLiteral("No Serial Port can be opened !!   "));
        c.setEnabled(ctl::SearchPoe, false);
        ctx_.state.linkType = LinkType::None;
    }
}

void SerialSession::startSerialSearch() {}
void SerialSession::connectSerialDevice() {}
void SerialSession::onIdentifyTimeout() {}
void SerialSession::onPollTimeout() {}
void SerialSession::onDownloadTimer() {}
void SerialSession::close() {}
