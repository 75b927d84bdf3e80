#include "links/serial/SerialLink.h"

#include "core/Clock.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "core/ProgressAnimation.h"
#include "core/RequestOutcome.h"
#include "links/serial/ComPortEntry.h"
#include "links/serial/PortEnumerationError.h"
#include "links/serial/PortsBackOn.h"
#include "links/serial/SerialProtocol.h"
#include "links/serial/SerialState.h"

#include <algorithm>
#include <utility>

namespace
{

constexpr int ClearedBytes = 28; // every frame of the polling cycle fits
constexpr int FailureLimit = 3;

using Frame = ProgressAnimation::Frame;
constexpr int Keep = ProgressAnimation::Keep;
const ProgressAnimation ResetAnimation{
    text::Processing,
    {{0, 6}, {2000, 11}, {2500, 17}, {2500, 21}, {2500, 24}, {800, Keep, true}, {100, Keep}}};
const ProgressAnimation StoreAnimation{
    text::Processing, {{0, 6}, {1000, 11}, {2000, 17}, {2000, 21}, {2000, 24}, {800, Keep, true}}};
// The dialog keeps the text of the port walk.
const ProgressAnimation PortSetUpAnimation{std::nullopt,
                                           {{0, 15}, {1500, 20}, {1000, 24}, {500, Keep, true}}};

const QString NoDeviceOnPort =
    QStringLiteral("No Corvane PoE Device !! \r\nPlease Check Com Port or Hardware Disconnected !!");

// A description or port write the device did not acknowledge.
QString unacknowledged(const QString& write)
{
    return text::writeError(write, QStringLiteral("The device did not acknowledge the write; the page "
                                                  "shows what it holds."));
}

int timeoutMs()
{
    return int(SerialLink::ReplyTimeout.count());
}

} // namespace

SerialLink::SerialLink(AppContext& context)
    : ctx_(context), driver_(link_, context.clock), applier_(context, link_),
      download_(context, link_, driver_)
{
    QObject::connect(&ctx_.clock, &Clock::expired, &driver_, [this](TimerId timer) { onTimer(timer); });
    driver_.replyReady = [this] { handleSerialReply(); };
    driver_.lineLost = [this] { onLineLost(); };
    download_.resumePolling = [this] {
        link_.queue.replaceAll({SerialStep::StatusRead});
        sendNextRequest();
    };
    download_.leftInLoader = [this] { endSession(false); };
    lateWait_.setSingleShot(true);
    lateWait_.setInterval(2);
    QObject::connect(&lateWait_, &QTimer::timeout, &driver_, [this] {
        if (link_.linked && !link_.downloadHoldsLine)
            transmit(held_);
    });
}

void SerialLink::choose()
{
    ctx_.view.showComPortList();
    scanComPorts();
}

bool SerialLink::sessionRuns() const
{
    return link_.linked;
}

void SerialLink::chooseComPort(int row)
{
    // The port of a running session stays chosen.
    if (link_.linked)
        ctx_.view.showComPortChoice(link_.comChoice);
    else
        link_.comChoice = row;
}

void SerialLink::onTimer(TimerId timer)
{
    switch (timer) {
    case TimerId::IdentifyReply:
        onIdentifyTimeout();
        break;
    case TimerId::PollReply:
        onPollTimeout();
        break;
    case TimerId::Download:
        download_.onTimer();
        break;
    case TimerId::LoaderSilence:
        download_.onLoaderSilence();
        break;
    case TimerId::AgentReply: // net-snmp's to time
        break;
    }
}

void SerialLink::scanComPorts()
{
    DeviceView& view = ctx_.view;
    link_.comPorts.clear();
    portPaths_.clear();
    std::vector<SerialPortInfo> ports;
    try {
        enumerator_.enumerateSerialPorts(ports, false);
    } catch (const PortEnumerationError& error) {
        view.showComPorts(link_.comPorts);
        ctx_.feedback.error(error.text());
        view.enableSearch(false);
        link_.comPortsFound = false;
        return;
    }
    for (const SerialPortInfo& port : ports) {
        if (const auto entry = comPortEntry(port)) {
            link_.comPorts.append(*entry);
            portPaths_.insert(*entry, port.devicePath);
        }
    }
    view.showComPorts(link_.comPorts);
    // Records count, not entries: a port whose name gives no entry still makes the link ready.
    if (!ports.empty()) {
        view.showComPortChoice(0);
        link_.comChoice = 0;
        link_.comPortsFound = true;
        view.enableSearch(true);
    } else {
        ctx_.feedback.warning(QStringLiteral("No Serial Port can be opened !!   "));
        view.enableSearch(false);
        link_.comPortsFound = false;
    }
}

void SerialLink::openSerialPort()
{
    QString path = portPaths_.value(link_.comPortName);
    if (path.isEmpty())
        path = link_.comPortName.startsWith(u'/') ? link_.comPortName
                                                  : QStringLiteral("/dev/") + link_.comPortName;
    linePath_ = path;
    if (!driver_.open(path)) {
        ctx_.feedback.present(
            {AppTitle, QStringLiteral("ComPort Error !! (") + link_.comPortName + QStringLiteral(" )")});
        return;
    }
    link_.readerEnabled = true;
}

void SerialLink::clearFrames()
{
    std::fill_n(link_.rxFrame.begin(), ClearedBytes, 0);
}

void SerialLink::startSerialSearch()
{
    if (!link_.comPortsFound)
        return; // no COM port to search on
    if (!ctx_.view.foundEntries().isEmpty())
        return; // a device has been found already
    link_.portStaticRead.fill(false);
    link_.comPortName = link_.chosenComPort();
    openSerialPort();
    driver_.purgeReceive();
    driver_.purgeTransmit();
    driver_.send(serialproto::buildIdentify(), false);
    ctx_.clock.start(TimerId::IdentifyReply, timeoutMs());
}

void SerialLink::onIdentifyTimeout()
{
    SerialState& link = link_;
    ctx_.clock.stop(TimerId::IdentifyReply);
    driver_.pauseReader();
    driver_.abandonReply();
    if (ctx_.link != this) {
        // The operator has chosen another link meanwhile: its search is the one that failed.
        if (ctx_.link)
            ctx_.link->searchTimedOut();
        return;
    }
    if (!link.legacyProbeTried) {
        // Older midspans know only the older identification; it is tried once per run.
        link.legacyProbeTried = true;
        clearFrames();
        driver_.send(serialproto::buildLegacyIdentify(), false);
        ctx_.clock.start(TimerId::IdentifyReply, timeoutMs());
        return;
    }
    ctx_.feedback.error(NoDeviceOnPort);
    ctx_.view.focusComPortList();
}

void SerialLink::connectSerialDevice()
{
    if (ctx_.otherSessionRuns(*this) || !link_.comPortsFound || link_.linked)
        return;
    link_.linked = true;
    download_.forgetLoader();
    driver_.purgeReceive();
    driver_.purgeTransmit();
    link_.queue.push({SerialStep::StatusRead});
    sendNextRequest();
}

void SerialLink::handleSerialReply()
{
    driver_.pauseReader();
    if (link_.loaderDialogue) {
        ctx_.clock.stop(TimerId::Download);
        download_.onReply();
        return;
    }
    const std::uint8_t type = link_.rxFrame[0];
    // Only the identification asked for is one: the zero bytes of a restarting midspan look like
    // a legacy identification, and in a session they are a missed reply.
    if ((type == serialproto::Identify || type == serialproto::LegacyIdentify) &&
        ctx_.clock.isActive(TimerId::IdentifyReply) && link_.request.awaits(type)) {
        onIdentity(type);
        return;
    }
    if (!serialproto::replyChecksumOk(link_, int(link_.expectedLength) - 2)) {
        ctx_.clock.stop(TimerId::PollReply);
        link_.request.outcome = RequestOutcome::Unanswered; // a damaged answer confirms nothing
        ctx_.feedback.notice(QStringLiteral("connection error!!"));
        rejectReply();
        return;
    }
    if (link_.downloadHoldsLine) {
        ctx_.clock.stop(TimerId::PollReply);
        download_.onPollReplyDone();
        return;
    }
    // A reply carries the code of the request it answers. Any other is an earlier request's
    // answer come late: it is dropped, and the awaited reply still has its time.
    if (!link_.request.awaits(type)) {
        driver_.skipStaleReply();
        return;
    }
    ctx_.clock.stop(TimerId::PollReply);
    link_.request.outcome = RequestOutcome::Answered;
    onAnswer(type);
}

// The awaited reply, by its type.
void SerialLink::onAnswer(std::uint8_t type)
{
    switch (type) {
    case serialproto::ReadSystemStatus:
        if (!applier_.applySystemStatus()) {
            rejectReply(); // no room for that many ports: as good as no reply
            return;
        }
        link_.failures = 0;
        link_.queue.push({SerialStep::PortRead, 0});
        break;
    case serialproto::ReadPortStatus:
        link_.failures = 0;
        applier_.applyPortStatus();
        nextPortRead(SerialStep::PortRead, SerialStep::ClassRead);
        break;
    case serialproto::ReadPortClassification:
        link_.failures = 0;
        applier_.applyPortClassification();
        nextPortRead(SerialStep::ClassRead, SerialStep::StatusRead);
        break;
    case serialproto::Reset:
    case serialproto::WriteSystemSettings:
    case serialproto::WritePortSettings:
    case serialproto::StoreSettings:
        link_.failures = 0;
        onAcknowledge(type);
        return;
    default:
        link_.failures = 0;
        link_.queue.push({SerialStep::StatusRead});
        break;
    }
    finishReply();
}

void SerialLink::onIdentity(std::uint8_t type)
{
    link_.failures = 0;
    ctx_.clock.stop(TimerId::IdentifyReply);
    if (ctx_.link != this)
        return; // the operator has left the search for the other link, whose list this is
    if (serialproto::replyChecksumOk(link_, type == serialproto::Identify ? 25 : 5))
        applier_.applyIdentity();
}

// A port read done: on to the next port, or to `after` from the first port past the last. A write
// queued meanwhile carries its own port, and the status read after it starts the pass again.
void SerialLink::nextPortRead(SerialStep again, SerialStep after)
{
    const int next = link_.request.portIndex + 1;
    if (next < ctx_.state.portCount)
        link_.queue.push({again, next});
    else
        link_.queue.push({after, 0});
}

void SerialLink::onAcknowledge(std::uint8_t type)
{
    switch (type) {
    case serialproto::Reset:
        ctx_.view.clearDeviceDisplay(!link_.linked);
        // The midspan restarts; nothing may be sent until it is back.
        playProgress(ctx_.clock, ctx_.view, ResetAnimation, [this] { endWrite(RequestOutcome::Answered); });
        return;
    case serialproto::StoreSettings:
        // The midspan writes its flash meanwhile.
        playProgress(ctx_.clock, ctx_.view, StoreAnimation, [this] { endWrite(RequestOutcome::Answered); });
        return;
    case serialproto::WritePortSettings:
        if (const int next = link_.request.portIndex + 1; next < ctx_.state.portCount) {
            link_.queue.replaceAll({SerialStep::PortWrite, next});
            finishReply();
            return;
        }
        break;
    default:
        break;
    }
    endWrite(RequestOutcome::Answered);
}

// The one end of an operator's write, confirmed or not: the controls come back and the session
// reads the device again. An unconfirmed write is told once the device answers again; a device
// gone silent gets the message of a lost connection alone.
void SerialLink::endWrite(RequestOutcome outcome)
{
    const std::optional<OperatorWrite> write = std::exchange(link_.write, std::nullopt);
    ctx_.view.unlockControls();
    link_.queue.push({SerialStep::StatusRead});
    if (outcome == RequestOutcome::Answered) {
        finishReply();
        return;
    }
    // The page is read again from what the midspan really holds.
    link_.portStaticRead.fill(false);
    if (write)
        untold_ = write->unanswered;
    sendNextRequest();
}

void SerialLink::finishReply()
{
    if (!link_.write)
        ctx_.view.hideProgress();
    sendNextRequest();
    // The next request is under way: the session goes on while the message is up.
    if (!untold_.isEmpty())
        ctx_.feedback.error(std::exchange(untold_, QString()));
}

void SerialLink::transmit(const SerialFrame& frame, bool purge)
{
    // The late answer of an abandoned request with this request's command would pass for this
    // one's: it gets up to one reply time-out to come, and the purge before the send drops it.
    if (purge && driver_.owesReply(frame.request.command)) {
        held_ = frame;
        if (!lateWaiting_) {
            lateWaiting_ = true;
            lateWaitUntil_ =
                QDeadlineTimer(ctx_.clock.realTime(TimerId::PollReply, SerialLink::ReplyTimeout));
        }
        if (!lateWaitUntil_.hasExpired()) {
            lateWait_.start();
            return;
        }
    }
    lateWaiting_ = false;
    lateWait_.stop();
    driver_.send(frame, purge);
    ctx_.clock.start(TimerId::PollReply, timeoutMs());
}

void SerialLink::sendNextRequest()
{
    SerialState& link = link_;
    clearFrames();
    if (link.downloadHoldsLine)
        return;

    const std::optional<QueuedRequest> next = link.queue.take();
    if (!next)
        return; // nothing asked for: no time-out either
    bool purge = true;
    SerialFrame frame;
    switch (next->step) {
    case SerialStep::SystemReset:
        ctx_.view.lockControls();
        frame = serialproto::buildReset();
        break;
    case SerialStep::SystemDescription:
        frame = serialproto::buildWriteSystemSettings(link.write ? link.write->systemDescription : QString());
        purge = false;
        break;
    case SerialStep::PortWrite:
        sendPortWrite(next->port);
        return;
    case SerialStep::SaveToFlash:
    case SerialStep::FactoryDefaults:
        frame = serialproto::buildStoreSettings(next->step == SerialStep::SaveToFlash);
        break;
    case SerialStep::StatusRead:
        frame = serialproto::buildReadSystemStatus();
        break;
    case SerialStep::PortRead:
        frame = serialproto::buildReadPortStatus(next->port);
        break;
    case SerialStep::ClassRead:
        frame = serialproto::buildReadPortClassification(next->port);
        break;
    }
    transmit(frame, purge);
}

void SerialLink::sendPortWrite(int index)
{
    SerialState& link = link_;
    DeviceState& s = ctx_.state;
    if (index < 0 || index >= s.portCount) {
        // Every port has been written (or the device has none): back to reading.
        endWrite(RequestOutcome::Answered);
        return;
    }
    const OperatorWrite wish = link.write.value_or(OperatorWrite{});
    const SerialFrame frame =
        serialproto::buildWritePortSettings(index, wish.legacyDetection, wish.enabled[std::size_t(index)],
                                            s.portDescription[std::size_t(index + 1)]);
    if (index == 0)
        ctx_.view.lockControls();
    if (index != s.portCount - 1) {
        transmit(frame);
        return;
    }
    if (wish.cycleStep) {
        // The cycle's off time runs from the port's read-back; a pause here would lengthen it.
        link_.portStaticRead.fill(false);
        transmit(frame);
        return;
    }
    // The last port: the midspan applies the whole port set-up when it gets this frame.
    playProgress(ctx_.clock, ctx_.view, PortSetUpAnimation, [this, frame] {
        link_.portStaticRead.fill(false);
        transmit(frame);
    });
}

void SerialLink::onPollTimeout()
{
    ctx_.clock.stop(TimerId::PollReply);
    driver_.abandonReply();
    rejectReply();
}

// A missing reply, or one that cannot be used.
void SerialLink::rejectReply()
{
    SerialState& link = link_;
    if (!link.linked)
        return;
    if (link.write) {
        // Nothing is counted while an operator's write is under way. A write still queued goes
        // out now; one that went unacknowledged is given up.
        if (link.queue.holdsWrite()) {
            sendNextRequest();
            return;
        }
        endWrite(RequestOutcome::Unanswered);
        return;
    }
    ++link.failures;
    driver_.pauseReader();
    if (link.failures >= FailureLimit) {
        endSession();
        return;
    }
    link.queue.push({SerialStep::StatusRead});
    sendNextRequest();
}

void SerialLink::endSession(bool reportLost)
{
    SerialState& link = link_;
    ctx_.clock.stop(TimerId::PollReply);
    link.failures = 0;
    link.linked = false;
    // Nothing of this session may carry over into the next one.
    link.queue.clear();
    link.write.reset();
    lateWaiting_ = false;
    lateWait_.stop();
    untold_.clear();
    if (reportLost)
        ctx_.feedback.error(text::ConnectionLost);
    ctx_.view.clearDeviceDisplay(true);
    ctx_.view.lockControls();
    ctx_.view.removeFoundEntry(0);
    ctx_.view.enableSearch(true);
}

void SerialLink::onLineLost()
{
    if (download_.abandon() || link_.linked)
        endSession();
}

void SerialLink::restartReplyTimeout()
{
    if (link_.linked)
        ctx_.clock.start(TimerId::PollReply, timeoutMs());
    else
        ctx_.clock.stop(TimerId::PollReply);
}

void SerialLink::beginWrite(OperatorWrite write, QueuedRequest request)
{
    restartReplyTimeout();
    link_.write = std::move(write);
    link_.queue.replaceAll(request);
}

void SerialLink::reset()
{
    beginWrite({.unanswered = text::writeUnanswered(text::SystemResetWrite)}, {SerialStep::SystemReset});
    link_.portStaticRead.fill(false);
    ctx_.view.lockControls();
    ctx_.view.clearDeviceDisplay(!link_.linked);
}

void SerialLink::store(StoreTarget target)
{
    if (target == StoreTarget::Flash)
        beginWrite({.unanswered = text::storeUnanswered(text::SaveToFlashWrite)}, {SerialStep::SaveToFlash});
    else
        beginWrite({.unanswered = text::writeUnanswered(text::FactoryDefaultsWrite)},
                   {SerialStep::FactoryDefaults});
    link_.portStaticRead.fill(false);
    ctx_.view.lockControls();
}

void SerialLink::sendSystemDescription(const QString& text)
{
    ctx_.view.showSystemDescription(text);
    beginWrite({.unanswered = unacknowledged(text::SystemDescriptionWrite), .systemDescription = text},
               {SerialStep::SystemDescription});
}

void SerialLink::sendPortControl(const PortWishes& wishes)
{
    queuePortWrite(text::PortControlWrite, wishes);
}

// Every port's description goes out from the record, which holds the new text already.
void SerialLink::sendPortDescription(int port, const QString& /*text*/, const PortWishes& wishes)
{
    queuePortWrite(text::portDescriptionWrite(port), wishes);
}

void SerialLink::queuePortWrite(const QString& name, const PortWishes& wishes)
{
    if (!link_.comPortsFound)
        return; // no COM port
    beginWrite({.unanswered = unacknowledged(name),
                .legacyDetection = wishes.legacyDetection,
                .enabled = wishes.enabled,
                .cycleStep = wishes.cycleStep},
               {SerialStep::PortWrite, 0});
}

bool SerialLink::loaderWaits() const
{
    return download_.loaderWaits();
}

void SerialLink::startFirmwareDownload()
{
    if (link_.linked && !link_.downloadHoldsLine)
        download_.start();
    else if (download_.loaderWaits())
        download_.restartInLoader();
}

std::vector<int> SerialLink::switchOnNow(const std::vector<int>& ports)
{
    if (!link_.linked || link_.downloadHoldsLine)
        return ports;
    // The session's request in flight is given up: its time-out must not send another.
    ctx_.clock.stop(TimerId::PollReply);
    link_.linked = false;
    close();
    return switchPortsBackOn(linePath_, ctx_.clock, ports);
}

void SerialLink::close()
{
    lateWaiting_ = false;
    lateWait_.stop();
    driver_.pauseReader();
    driver_.close();
}
