#include "links/serial/FirmwareDownload.h"

#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "core/ProgressAnimation.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialPortDriver.h"

#include <QFile>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace
{

// Steps of the loader dialogue; 11 is the ENTR retry of step 2.
enum Step {
    Idle = 0,
    AwaitEnterAck = 1,
    AwaitGreeting = 2,
    AwaitEraseStart = 3,
    AwaitEraseEnd = 4,
    AwaitReady = 5,
    AwaitProgramStart = 6,
    SendingLines = 7,
    Transferred = 8,
    Restarting = 9,
    AwaitEntrAnswer = 11,
};

// Loader messages, each ended by CR LF.
constexpr char Ready[] = "TPE\r\n";
constexpr char EraseStarted[] = "TOE\r\n";
constexpr char EraseDone[] = "TE\r\n";
constexpr char ProgramStarted[] = "TOP\r\n";
constexpr char NextLine[] = "T*\r\n";
constexpr char Complete[] = "TP\r\n";

constexpr unsigned LineReplyLength = 4;
constexpr unsigned MessageReplyLength = 5;
constexpr int Keep = ProgressAnimation::Keep;
const ProgressAnimation RestartAnimation{QStringLiteral("Success!! Waiting for System Reset......."),
                                         {{500, 6}, {2000, 11}, {2500, 17}, {3500, 21}, {3000, 24, true}, {200, Keep}}};

const QByteArray EnterDownload = QByteArray::fromHex("0C000C");
const QStringList FileFilters{QStringLiteral("s99 files(*.s99) "), QStringLiteral("s19 files(*.s19) ")};

// The loader's wrong answers, by step.
const QString WrongAfterEntr = QStringLiteral("means inbuff!= 'T'  'P'  'E'  \r  \n  step  1*");
const QString WrongEraseStart = QStringLiteral("means inbuff!= 'T'  'O'  'E'  \r  \n  step  3");
const QString WrongEraseEnd = QStringLiteral("means inbuff!= 'T'  'E'  \r  \n step  4");
const QString WrongReady = QStringLiteral("means inbuff!= 'T'  'P'  'E'  \r  \n step 5");
const QString WrongProgramStart = QStringLiteral("means inbuff!= 'T'  'O'  'P'  \r  \n  step  6");
const QString WrongLineAnswer = QStringLiteral("means inbuff!= 'T' '*'  \r  \n  step  7");

bool awaitsLoader(int step)
{
    return (step >= AwaitEnterAck && step <= SendingLines) || step == AwaitEntrAnswer;
}

// "S", the record type, then pairs of hex digits (blanks after the record are tolerated).
bool looksLikeSRecord(const QByteArray& line)
{
    const QByteArray record = line.trimmed();
    if (record.size() < 4 || record.size() % 2 != 0 || record[0] != 'S' || !std::isdigit(uchar(record[1])))
        return false;
    return std::all_of(record.begin() + 2, record.end(), [](char c) { return std::isxdigit(uchar(c)); });
}

} // namespace

FirmwareDownload::FirmwareDownload(AppContext& context, SerialLink& link, SerialPortDriver& driver)
    : ctx_(context), link_(link), driver_(driver)
{
}

void FirmwareDownload::start()
{
    SerialLink& link = link_;
    pollReplyDue_ = ctx_.clock.isActive(TimerId::PollReply);
    ctx_.clock.stop(TimerId::PollReply);
    link.resetPending = true;
    link.downloadActive = true;
    indicatorVisible_ = false;
    ctx_.view.lockControls();
    ctx_.view.clearDeviceDisplay();
    ctx_.state.clearPortStaticRead();
    link.clearRequests();

    const QString path = ctx_.feedback.chooseFileToOpen(FileFilters);
    if (!ctx_.state.serialLinked) {
        clear(); // the session ended while the operator chose; it has said so
        return;
    }
    if (path.isEmpty() || !loadFile(path)) {
        finish();
        return;
    }
    ctx_.controls.setVisible(ctl::FirmwareDownload, false);
    // A poll reply still on its way would be taken for the loader's first answer.
    if (pollReplyDue_) {
        beginning_ = true;
        ctx_.clock.start(TimerId::Download, int(PollReplyWait.count()));
        return;
    }
    begin();
}

void FirmwareDownload::onPollReplyDone()
{
    pollReplyDue_ = false;
    if (beginning_) {
        ctx_.clock.stop(TimerId::Download);
        begin();
    }
}

void FirmwareDownload::begin()
{
    SerialLink& link = link_;
    beginning_ = false;
    link.downloadMode = true;
    ctx_.view.clearDeviceDisplay();
    ctx_.view.lockControls();
    link.downloadStep = AwaitEnterAck;
    sent_ = 0;
    showLineCount();
    flip();
    sendFrame(EnterDownload, LineReplyLength);
    continueIn(100);
}

// The whole file is read before the loader hears anything: a file that cannot be read, or an
// empty one, must not leave the midspan erased.
bool FirmwareDownload::loadFile(const QString& path)
{
    QFile file(path);
    const auto cannot = [&](const QString& what, const QString& reason) {
        ctx_.feedback.error(
            QStringLiteral("Cannot %1 the firmware file\r\n%2\r\n%3").arg(what, path, reason));
        return false;
    };
    if (!file.open(QIODevice::ReadOnly))
        return cannot(QStringLiteral("open"), file.errorString());
    if (file.size() > MaxFileSize)
        return cannot(QStringLiteral("load"), QStringLiteral("It is larger than any firmware image."));
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return cannot(QStringLiteral("read"), file.errorString());

    lines_.clear();
    QList<QByteArray> pieces = content.split('\n');
    if (content.endsWith('\n'))
        pieces.removeLast(); // the last line end ends a line; it starts none
    for (QByteArray& line : pieces) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() && lines_.isEmpty()) {
            ctx_.feedback.notice(QStringLiteral("Empty file!!"));
            return false;
        }
        // A blank line would go out as nothing, and nothing gets no answer.
        if (line.isEmpty())
            continue;
        // The loader erases the flash before the first line: a file that is no S-record file
        // must be refused before that, or the midspan is left without firmware.
        if (!looksLikeSRecord(line))
            return cannot(QStringLiteral("load"),
                          QStringLiteral("Line %1 is not an S-record.").arg(lines_.size() + 1));
        lines_.append(line);
    }
    if (lines_.isEmpty()) {
        ctx_.feedback.notice(QStringLiteral("Empty file!!"));
        return false;
    }
    return true;
}

void FirmwareDownload::sendFrame(const QByteArray& frame, unsigned replyLength)
{
    SerialLink& link = link_;
    link.txFrame.fill(0);
    std::memcpy(link.txFrame.data(), frame.constData(), std::size_t(frame.size()));
    link.sendLength = int(frame.size());
    link.expectedLength = replyLength;
    driver_.purgeReceive();
    driver_.send();
    link.readerEnabled = true;
    driver_.resumeReader();
}

void FirmwareDownload::awaitReply(unsigned length)
{
    link_.expectedLength = length;
    link_.readerEnabled = true;
    driver_.resumeReader();
}

// Lines go out whole, however long; txFrame keeps what fits of the line.
void FirmwareDownload::sendNextLine()
{
    SerialLink& link = link_;
    const QByteArray& line = lines_.at(sent_);
    link.txFrame.fill(0);
    std::memcpy(link.txFrame.data(), line.constData(),
                std::min(std::size_t(line.size()), link.txFrame.size()));
    link.sendLength = int(line.size());
    link.expectedLength = LineReplyLength;
    driver_.send(line);
    // The line leaves only when control returns to the event loop, so its answer cannot be
    // purged here; whatever is queued now is stale.
    driver_.purgeReceive();
    link.readerEnabled = true;
    driver_.resumeReader();
    ++sent_;
    showLineCount();
}

bool FirmwareDownload::replyIs(const char* message) const
{
    const std::size_t length = std::strlen(message);
    return link_.expectedLength >= length &&
           std::memcmp(link_.rxFrame.data(), message, length) == 0;
}

void FirmwareDownload::flip()
{
    indicatorVisible_ = !indicatorVisible_;
    ctx_.controls.setVisible(ctl::DownloadIndicator, indicatorVisible_);
}

// Timer 9 paces only the end of the download; while the loader is awaited, its silence is timed.
void FirmwareDownload::continueIn(int ms)
{
    ctx_.clock.start(TimerId::Download, ms);
    if (awaitsLoader(link_.downloadStep))
        ctx_.clock.start(TimerId::LoaderSilence, int(LoaderSilence.count()));
    else
        ctx_.clock.stop(TimerId::LoaderSilence);
}

void FirmwareDownload::showLineCount()
{
    Controls& c = ctx_.controls;
    const int total = lineCount();
    c.setText(ctl::SearchProgress, QStringLiteral("%1 / %2 lines").arg(sent_).arg(total));
    c.setRange(ctl::SearchProgress, 0, total);
    c.setValue(ctl::SearchProgress, sent_);
    c.setVisible(ctl::SearchProgress, true);
}

void FirmwareDownload::onReply()
{
    SerialLink& link = link_;
    ctx_.clock.stop(TimerId::LoaderSilence);
    switch (link.downloadStep) {
    case AwaitEnterAck:
        link.downloadStep = AwaitGreeting;
        flip();
        awaitReply(MessageReplyLength);
        continueIn(100);
        break;
    case AwaitGreeting:
    case AwaitEntrAnswer:
        if (replyIs(Ready)) {
            sendFrame("E", MessageReplyLength);
            link.downloadStep = AwaitEraseStart;
        } else if (link.downloadStep == AwaitGreeting) {
            // This loader wants to be woken with ENTR first.
            sendFrame("ENTR", MessageReplyLength);
            link.downloadStep = AwaitEntrAnswer;
        } else {
            fail(WrongAfterEntr);
            return;
        }
        flip();
        continueIn(100);
        break;
    case AwaitEraseStart:
        if (!replyIs(EraseStarted))
            return fail(WrongEraseStart);
        link.downloadStep = AwaitEraseEnd;
        flip();
        awaitReply(LineReplyLength);
        continueIn(5000);
        break;
    case AwaitEraseEnd:
        if (!replyIs(EraseDone))
            return fail(WrongEraseEnd);
        link.downloadStep = AwaitReady;
        flip();
        awaitReply(MessageReplyLength);
        continueIn(1000);
        break;
    case AwaitReady:
        if (!replyIs(Ready))
            return fail(WrongReady);
        sendFrame("P", MessageReplyLength);
        link.downloadStep = AwaitProgramStart;
        flip();
        continueIn(100);
        break;
    case AwaitProgramStart:
        if (!replyIs(ProgramStarted))
            return fail(WrongProgramStart);
        link.downloadStep = SendingLines;
        sendNextLine();
        flip();
        continueIn(1000);
        break;
    case SendingLines:
        if (replyIs(Complete)) {
            link.downloadStep = Transferred;
            ctx_.controls.setVisible(ctl::DownloadIndicator, false);
            ctx_.controls.setVisible(ctl::FirmwareDownload, true);
            continueIn(400);
        } else if (!replyIs(NextLine)) {
            fail(WrongLineAnswer);
        } else if (sent_ >= lineCount()) {
            fail(QStringLiteral("The firmware file has ended, but the midspan's loader asks for more "
                                "(%1 lines sent).\r\nThe download has been stopped.")
                     .arg(sent_));
        } else {
            sendNextLine();
            flip();
            continueIn(1000);
        }
        break;
    default:
        break;
    }
}

void FirmwareDownload::onTimer()
{
    SerialLink& link = link_;
    ctx_.clock.stop(TimerId::Download);
    if (beginning_) {
        begin(); // the poll's reply never came: the line is quiet all the same
    } else if (link.downloadStep == Transferred) {
        ctx_.clock.pace({400, [this] {
                             SerialLink& l = link_;
                             l.resetPending = true;
                             l.downloadStep = Restarting;
                             l.txFrame.fill(0);
                             std::memcpy(l.txFrame.data(), "RST", 3);
                             l.expectedLength = 15;
                             l.sendLength = 3;
                             driver_.purgeReceive();
                             ctx_.controls.setVisible(ctl::FirmwareDownload, true);
                             ctx_.controls.setVisible(ctl::DownloadIndicator, false);
                             driver_.send(); // no reply is read: the midspan restarts
                             ctx_.clock.start(TimerId::Download, 100);
                         }});
    } else if (link.downloadStep == Restarting) {
        playProgress(ctx_.clock, ctx_.view, RestartAnimation, [this] { finish(); });
    }
}

void FirmwareDownload::onLoaderSilence()
{
    ctx_.clock.stop(TimerId::LoaderSilence);
    const int step = link_.downloadStep;
    if (!awaitsLoader(step))
        return;
    QString text = QStringLiteral("The midspan's loader has not answered for %1 seconds (step %2")
                       .arg(LoaderSilence.count() / 1000)
                       .arg(step);
    if (step == SendingLines)
        text += QStringLiteral(", line %1 of %2").arg(sent_).arg(lineCount());
    fail(text + QStringLiteral(").\r\nThe download has been stopped."));
}

void FirmwareDownload::fail(const QString& text)
{
    ctx_.clock.stop(TimerId::Download);
    ctx_.clock.stop(TimerId::LoaderSilence);
    ctx_.feedback.error(text);
    finish();
}

// The end of every download: the controls come back and polling resumes with the status read.
// A midspan left in its loader does not answer it, and the session reports the lost device.
void FirmwareDownload::finish()
{
    clear();
    ctx_.view.unlockControls();
    if (resumePolling)
        resumePolling();
}

void FirmwareDownload::abandon()
{
    if (link_.downloadActive)
        clear();
}

void FirmwareDownload::clear()
{
    SerialLink& link = link_;
    Controls& c = ctx_.controls;
    ctx_.clock.stop(TimerId::Download);
    ctx_.clock.stop(TimerId::LoaderSilence);
    driver_.pauseReader();
    lines_.clear();
    sent_ = 0;
    beginning_ = false;
    link.downloadActive = false;
    link.downloadMode = false;
    link.downloadStep = Idle;
    link.resetPending = false;
    c.setVisible(ctl::DownloadIndicator, false);
    c.setVisible(ctl::FirmwareDownload, true);
    c.setVisible(ctl::SearchProgress, false);
    c.setText(ctl::SearchProgress, QString());
}
