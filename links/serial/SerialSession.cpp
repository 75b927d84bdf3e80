#include "links/serial/SerialSession.h"

#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "links/serial/ComPortEntry.h"
#include "links/serial/PortEnumerationError.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialProtocol.h"

#include <algorithm>

namespace
{

constexpr std::uint8_t LegacyIdentifyType = 0x00;
constexpr std::uint8_t IdentifyType = 0x0E;
constexpr std::uint8_t ResetAck = 0x01;
constexpr std::uint8_t SystemSettingsAck = 0x02;
constexpr std::uint8_t PortSettingsAck = 0x03;
constexpr std::uint8_t SystemStatus = 0x04;
constexpr std::uint8_t PortStatus = 0x05;
constexpr std::uint8_t PortClassification = 0x08;
constexpr std::uint8_t StoreAck = 0x09;

constexpr int ClearedBytes = 28; // every frame of the polling cycle fits
constexpr int FailureLimit = 3;
constexpr int ProgressScale = 24;

const QString Processing = QStringLiteral("Processing............");
const QString NoDeviceOnPort =
    QStringLiteral("No Corvane PoE Device !! \r\nPlease Check Com Port or Hardware Disconnected !!");
const QString ConnectionLost = QStringLiteral("Connction Error! Please Check AC Power and Cable.");

int timeoutMs()
{
    return int(SerialSession::ReplyTimeout.count());
}

} // namespace

SerialSession::SerialSession(AppContext& context)
    : ctx_(context), driver_(context.serial, context.clock), applier_(context), download_(context, driver_)
{
    driver_.replyReady = [this] { handleSerialReply(); };
    driver_.lineLost = [this] { onLineLost(); };
    download_.resumePolling = [this] {
        ctx_.serial.raiseOnly(&SerialLink::pendingStatusRead);
        sendNextRequest();
    };
    download_.leftInLoader = [this] { endSession(false); };
}

void SerialSession::scanComPorts()
{
    Controls& c = ctx_.controls;
    c.clearItems(ctl::ComPortCombo);
    portPaths_.clear();
    std::vector<SerialPortInfo> ports;
    try {
        enumerator_.enumerateSerialPorts(ports, false);
    } catch (const PortEnumerationError& error) {
        ctx_.feedback.error(error.text());
        c.setEnabled(ctl::SearchPoe, false);
        ctx_.state.linkType = LinkType::None;
        return;
    }
    for (const SerialPortInfo& port : ports) {
        if (const auto entry = comPortEntry(port)) {
            c.addItem(ctl::ComPortCombo, *entry);
            portPaths_.insert(*entry, port.devicePath);
        }
    }
    // Records count, not entries: a port whose name gives no entry still makes the link ready.
    if (!ports.empty()) {
        c.setCurrentIndex(ctl::ComPortCombo, 0);
        ctx_.state.comChoice = 0;
        ctx_.state.linkType = LinkType::Serial;
        c.setEnabled(ctl::SearchPoe, true);
    } else {
        ctx_.feedback.warning(QStringLiteral("No Serial Port can be opened !!   "));
        c.setEnabled(ctl::SearchPoe, false);
        ctx_.state.linkType = LinkType::None;
    }
}

void SerialSession::openSerialPort()
{
    DeviceState& s = ctx_.state;
    s.networkLinked = false;
    QString path = portPaths_.value(s.comPortName);
    if (path.isEmpty())
        path = s.comPortName.startsWith(u'/') ? s.comPortName : QStringLiteral("/dev/") + s.comPortName;
    if (!driver_.open(path)) {
        ctx_.feedback.present(
            {AppTitle, QStringLiteral("ComPort Error !! (") + s.comPortName + QStringLiteral(" )")});
        return;
    }
    ctx_.serial.readerEnabled = true;
}

void SerialSession::clearFrames()
{
    std::fill_n(ctx_.serial.txFrame.begin(), ClearedBytes, 0);
    std::fill_n(ctx_.serial.rxFrame.begin(), ClearedBytes, 0);
}

void SerialSession::startSerialSearch()
{
    Controls& c = ctx_.controls;
    if (c.itemCount(ctl::FoundDevices) > 0)
        return; // a device has been found already
    ctx_.state.clearPortStaticRead();
    ctx_.state.comPortName = c.itemText(ctl::ComPortCombo, c.currentIndex(ctl::ComPortCombo));
    openSerialPort();
    driver_.purgeReceive();
    driver_.purgeTransmit();
    serialproto::buildIdentify(ctx_.serial);
    driver_.resumeReader();
    driver_.send();
    ctx_.serial.readerEnabled = true;
    ctx_.clock.start(TimerId::IdentifyReply, timeoutMs());
}

void SerialSession::onIdentifyTimeout()
{
    SerialLink& link = ctx_.serial;
    ctx_.clock.stop(TimerId::IdentifyReply);
    driver_.pauseReader();
    if (!link.legacyProbeTried) {
        // Older midspans know only the older identification; it is tried once per run.
        link.legacyProbeTried = true;
        clearFrames();
        serialproto::buildLegacyIdentify(link);
        driver_.resumeReader();
        driver_.send();
        link.readerEnabled = true;
        ctx_.clock.start(TimerId::IdentifyReply, timeoutMs());
        return;
    }
    ctx_.feedback.error(NoDeviceOnPort);
    ctx_.controls.setFocus(ctl::ComPortCombo);
}

void SerialSession::connectSerialDevice()
{
    DeviceState& s = ctx_.state;
    if (s.networkLinked || s.linkType != LinkType::Serial || s.serialLinked)
        return;
    s.serialLinked = true;
    download_.forgetLoader();
    driver_.purgeReceive();
    driver_.purgeTransmit();
    ctx_.serial.pendingStatusRead = true;
    sendNextRequest();
}

void SerialSession::handleSerialReply()
{
    SerialLink& link = ctx_.serial;
    if (link.downloadMode) {
        driver_.pauseReader();
        ctx_.clock.stop(TimerId::Download);
        download_.onReply();
        return;
    }
    driver_.pauseReader();
    const std::uint8_t type = link.rxFrame[0];

    // Only the identification asked for is one: the zero bytes of a restarting midspan look like
    // a legacy identification, and in a session they are a missed reply.
    if ((type == IdentifyType || type == LegacyIdentifyType) && ctx_.clock.isActive(TimerId::IdentifyReply) &&
        type == link.txFrame[0]) {
        ctx_.state.serialFailures = 0;
        ctx_.clock.stop(TimerId::IdentifyReply);
        const int checked = type == IdentifyType ? 25 : 5;
        if (serialproto::replyChecksumOk(link, checked))
            applier_.applyIdentity();
        return;
    }

    ctx_.clock.stop(TimerId::PollReply);
    if (!serialproto::replyChecksumOk(link, int(link.expectedLength) - 2)) {
        ctx_.feedback.notice(QStringLiteral("connection error!!"));
        rejectReply();
        return;
    }
    if (link.downloadActive) {
        download_.onPollReplyDone();
        return;
    }
    // A reply carries the code of the request it answers. Any other is an earlier request's
    // answer come late: taken as this one's it would land on the wrong port.
    if (type != link.txFrame[0]) {
        rejectReply();
        return;
    }
    // The same holds for another port's reply, which names its port in byte 1.
    if ((type == PortStatus || type == PortClassification) && link.rxFrame[1] != link.txFrame[1]) {
        rejectReply();
        return;
    }

    DeviceState& s = ctx_.state;
    if (type == SystemStatus && !applier_.applySystemStatus()) {
        rejectReply(); // no room for that many ports: as good as no reply
        return;
    }
    s.serialFailures = 0;
    switch (type) {
    case ResetAck:
        ctx_.view.clearDeviceDisplay();
        ctx_.view.showProgress(Processing);
        ctx_.view.setProgress(ProgressScale, 6);
        // The midspan restarts; nothing may be sent until it is back.
        ctx_.clock.pace({{2000, [this] { ctx_.view.setProgressPosition(11); }},
                         {2500, [this] { ctx_.view.setProgressPosition(17); }},
                         {2500, [this] { ctx_.view.setProgressPosition(21); }},
                         {2500, [this] { ctx_.view.setProgressPosition(24); }},
                         {800, [this] { ctx_.view.hideProgress(); }},
                         {100, [this] {
                              ctx_.view.unlockControls();
                              ctx_.serial.pendingStatusRead = true;
                              ctx_.serial.userCommandActive = false;
                              finishReply();
                          }}});
        return;
    case SystemSettingsAck:
        ctx_.view.unlockControls();
        link.pendingStatusRead = true;
        link.userCommandActive = false;
        break;
    case PortSettingsAck:
        ++link.serialPortIndex;
        if (link.serialPortIndex >= s.portCount) {
            ctx_.view.unlockControls();
            link.pendingStatusRead = true;
            link.userCommandActive = false;
        } else {
            link.raiseOnly(&SerialLink::pendingPortWrite);
        }
        break;
    case SystemStatus:
        link.serialPortIndex = 0;
        link.pendingPortRead = true;
        break;
    case PortStatus:
        applier_.applyPortStatus();
        if (!link.pendingPortWrite)
            ++link.serialPortIndex;
        if (link.serialPortIndex >= s.portCount) {
            link.serialPortIndex = 0;
            link.pendingClassRead = true;
        } else {
            link.pendingPortRead = true;
        }
        break;
    case PortClassification:
        applier_.applyPortClassification();
        if (!link.pendingPortWrite)
            ++link.serialPortIndex;
        if (link.serialPortIndex >= s.portCount)
            link.pendingStatusRead = true;
        else
            link.pendingClassRead = true;
        break;
    case StoreAck:
        ctx_.view.showProgress(Processing);
        ctx_.view.setProgress(ProgressScale, 6);
        // The midspan writes its flash meanwhile.
        ctx_.clock.pace({{1000, [this] { ctx_.view.setProgressPosition(11); }},
                         {2000, [this] { ctx_.view.setProgressPosition(17); }},
                         {2000, [this] { ctx_.view.setProgressPosition(21); }},
                         {2000, [this] { ctx_.view.setProgressPosition(24); }},
                         {800, [this] {
                              ctx_.view.hideProgress();
                              ctx_.view.unlockControls();
                              ctx_.serial.pendingStatusRead = true;
                              ctx_.serial.userCommandActive = false;
                              finishReply();
                          }}});
        return;
    default:
        link.pendingStatusRead = true;
        break;
    }
    finishReply();
}

void SerialSession::finishReply()
{
    if (!ctx_.serial.userCommandActive)
        ctx_.view.hideProgress();
    sendNextRequest();
}

void SerialSession::transmit()
{
    driver_.send();
    ctx_.clock.start(TimerId::PollReply, timeoutMs());
    ctx_.serial.readerEnabled = true;
    driver_.resumeReader();
}

void SerialSession::sendNextRequest()
{
    SerialLink& link = ctx_.serial;
    DeviceState& s = ctx_.state;
    clearFrames();
    if (link.downloadActive)
        return;

    if (link.pendingSystemWrite) {
        link.pendingSystemWrite = false;
        if (link.resetPending) {
            link.resetPending = false;
            ctx_.view.lockControls();
            serialproto::buildReset(link);
            driver_.purgeReceive();
        } else {
            serialproto::buildWriteSystemSettings(link, s.systemDescription);
        }
    } else if (link.pendingPortWrite) {
        link.pendingPortWrite = false;
        sendPortWrite();
        return;
    } else if (link.pendingStore) {
        link.pendingStore = false;
        serialproto::buildStoreSettings(link, link.storeToFlash);
        driver_.resumeReader();
        driver_.purgeReceive();
    } else if (link.pendingStatusRead) {
        link.pendingStatusRead = false;
        serialproto::buildReadSystemStatus(link);
        driver_.purgeReceive();
    } else if (link.pendingPortRead) {
        link.pendingPortRead = false;
        serialproto::buildReadPortStatus(link, link.serialPortIndex);
        driver_.purgeReceive();
    } else if (link.pendingClassRead) {
        link.pendingClassRead = false;
        serialproto::buildReadPortClassification(link, link.serialPortIndex);
        driver_.purgeReceive();
    } else {
        return; // nothing asked for: no time-out either
    }
    transmit();
}

void SerialSession::sendPortWrite()
{
    SerialLink& link = ctx_.serial;
    DeviceState& s = ctx_.state;
    const int index = link.serialPortIndex;
    if (index < 0 || index >= s.portCount) {
        // Every port has been written (or the device has none): back to reading.
        ctx_.view.unlockControls();
        link.userCommandActive = false;
        link.pendingStatusRead = true;
        sendNextRequest();
        return;
    }
    serialproto::buildWritePortSettings(link, index, s.legacyDetect != 0,
                                        s.portEnableWanted[std::size_t(index)] != 0,
                                        s.portDescription[std::size_t(index + 1)]);
    if (index == 0) {
        ctx_.view.lockControls();
        driver_.resumeReader();
    }
    if (index != s.portCount - 1) {
        driver_.purgeReceive();
        transmit();
        return;
    }
    // The last port: the midspan applies the whole port set-up when it gets this frame.
    ctx_.controls.setVisible(ctl::ProgressDialog, true);
    ctx_.view.setProgress(ProgressScale, 15);
    ctx_.clock.pace({{1500, [this] { ctx_.view.setProgressPosition(20); }},
                     {1000, [this] { ctx_.view.setProgressPosition(24); }},
                     {500, [this] {
                          ctx_.view.hideProgress();
                          ctx_.state.clearPortStaticRead();
                          driver_.purgeReceive();
                          transmit();
                      }}});
}

void SerialSession::onPollTimeout()
{
    ctx_.clock.stop(TimerId::PollReply);
    rejectReply();
}

// A missing reply, or one that cannot be used.
void SerialSession::rejectReply()
{
    SerialLink& link = ctx_.serial;
    DeviceState& s = ctx_.state;
    if (!s.serialLinked)
        return;
    if (link.userCommandActive) {
        // Nothing is counted while an operator's write is under way. A write still queued goes
        // out now; one that went unacknowledged is given up, and the session reads the device
        // again, whose answers reload the page with what the midspan really has.
        if (!link.pendingSystemWrite && !link.pendingPortWrite) {
            link.userCommandActive = false;
            s.clearPortStaticRead();
            ctx_.view.unlockControls();
            link.pendingStatusRead = true;
        }
        sendNextRequest();
        return;
    }
    ++s.serialFailures;
    driver_.pauseReader();
    if (s.serialFailures >= FailureLimit) {
        endSession();
        return;
    }
    link.pendingStatusRead = true;
    sendNextRequest();
}

void SerialSession::endSession(bool reportLost)
{
    DeviceState& s = ctx_.state;
    SerialLink& link = ctx_.serial;
    ctx_.clock.stop(TimerId::PollReply);
    s.serialFailures = 0;
    s.serialLinked = false;
    // Nothing of this session may carry over into the next one.
    link.clearRequests();
    link.userCommandActive = false;
    link.resetPending = false;
    if (reportLost)
        ctx_.feedback.error(ConnectionLost);
    ctx_.view.clearDeviceDisplay();
    ctx_.view.lockControls();
    ctx_.controls.removeItem(ctl::FoundDevices, 0);
    ctx_.controls.setEnabled(ctl::SearchPoe, true);
}

void SerialSession::onLineLost()
{
    if (download_.abandon() || ctx_.state.serialLinked)
        endSession();
}

void SerialSession::restartReplyTimeout(AppContext& context)
{
    if (context.state.serialLinked)
        context.clock.start(TimerId::PollReply, timeoutMs());
    else
        context.clock.stop(TimerId::PollReply);
}

void SerialSession::requestReset()
{
    SerialLink& link = ctx_.serial;
    restartReplyTimeout(ctx_);
    link.resetPending = true;
    ctx_.state.clearPortStaticRead();
    ctx_.view.lockControls();
    ctx_.view.clearDeviceDisplay();
    link.raiseOnly(&SerialLink::pendingSystemWrite);
}

void SerialSession::requestStore(bool toFlash)
{
    SerialLink& link = ctx_.serial;
    restartReplyTimeout(ctx_);
    link.storeToFlash = toFlash;
    ctx_.state.clearPortStaticRead();
    ctx_.view.lockControls();
    link.raiseOnly(&SerialLink::pendingStore);
}

void SerialSession::requestSystemDescription()
{
    ctx_.controls.setText(ctl::SystemDescription, ctx_.state.systemDescription);
    restartReplyTimeout(ctx_);
    ctx_.serial.userCommandActive = true;
    ctx_.serial.raiseOnly(&SerialLink::pendingSystemWrite);
}

void SerialSession::onDownloadTimer()
{
    download_.onTimer();
}

void SerialSession::onLoaderSilence()
{
    download_.onLoaderSilence();
}

void SerialSession::startDownload()
{
    if (ctx_.state.serialLinked && !ctx_.serial.downloadActive)
        download_.start();
    else if (download_.loaderWaits())
        download_.restartInLoader();
}

void SerialSession::close()
{
    driver_.pauseReader();
    driver_.close();
}
