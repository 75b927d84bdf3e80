#include "links/serial/FirmwareDownload.h"

#include "core/Clock.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "core/ProgressAnimation.h"
#include "core/RegularFile.h"
#include "links/serial/SerialPortDriver.h"
#include "links/serial/SerialProtocol.h"
#include "links/serial/SerialState.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <numeric>
#include <optional>

namespace
{

using enum DownloadStep;

using serialproto::LoaderAnswer;

constexpr unsigned LineReplyLength = 4;
constexpr unsigned MessageReplyLength = 5;
constexpr int Keep = ProgressAnimation::Keep;
const ProgressAnimation RestartAnimation{
    QStringLiteral("Success!! Waiting for System Reset......."),
    {{500, 6}, {2000, 11}, {2500, 17}, {3500, 21}, {3000, 24, true}, {200, Keep}}};

const QStringList FileFilters{QStringLiteral("s99 files(*.s99) "), QStringLiteral("s19 files(*.s19) ")};

// The loader's wrong answers, by step.
const QString WrongAfterEntr = QStringLiteral("means inbuff!= 'T'  'P'  'E'  \r  \n  step  1*");
const QString WrongEraseStart = QStringLiteral("means inbuff!= 'T'  'O'  'E'  \r  \n  step  3");
const QString WrongEraseEnd = QStringLiteral("means inbuff!= 'T'  'E'  \r  \n step  4");
const QString WrongReady = QStringLiteral("means inbuff!= 'T'  'P'  'E'  \r  \n step 5");
const QString WrongProgramStart = QStringLiteral("means inbuff!= 'T'  'O'  'P'  \r  \n  step  6");
const QString WrongLineAnswer = QStringLiteral("means inbuff!= 'T' '*'  \r  \n  step  7");

bool awaitsLoader(DownloadStep step)
{
    return (step >= AwaitEnterAck && step <= SendingLines) || step == AwaitEntrAnswer;
}

// Bytes of the address field, by record type; 0 for a type that does not exist (S4).
constexpr int AddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

bool isEndRecord(const QByteArray& record)
{
    return record[1] >= '7';
}

// What is wrong with one line taken as an S-record: "S", the type, the count of the bytes that
// follow, the address, the data and a checksum that makes the sum of all of them 0xFF. Blanks
// after the record are tolerated, as the loader skips them.
std::optional<QString> recordProblem(const QByteArray& line)
{
    const QByteArray record = line.trimmed();
    if (record.size() < 4 || record.size() % 2 != 0 || record[0] != 'S' || !std::isdigit(uchar(record[1])) ||
        !std::all_of(record.begin() + 2, record.end(), [](char c) { return std::isxdigit(uchar(c)); }))
        return QStringLiteral("is not an S-record");
    const int type = record[1] - '0';
    if (AddressBytes[type] == 0)
        return QStringLiteral("is of type S%1, which does not exist").arg(type);
    const QByteArray values = QByteArray::fromHex(record.mid(2)); // count, address, data, checksum
    const int count = uchar(values[0]);
    const int bytes = int(values.size() - 1);
    if (count != bytes)
        return QStringLiteral("counts %1 bytes but holds %2").arg(count).arg(bytes);
    if (count < AddressBytes[type] + 1)
        return QStringLiteral("is too short for its address and checksum");
    const int sum =
        std::accumulate(values.begin(), values.end(), 0, [](int total, char c) { return total + uchar(c); });
    if ((sum & 0xFF) != 0xFF)
        return QStringLiteral("has a wrong checksum");
    return std::nullopt;
}

} // namespace

FirmwareDownload::FirmwareDownload(AppContext& context, SerialState& link, SerialPortDriver& driver)
    : ctx_(context), link_(link), driver_(driver)
{
}

void FirmwareDownload::start()
{
    SerialState& link = link_;
    pollReplyDue_ = ctx_.clock.isActive(TimerId::PollReply);
    ctx_.clock.stop(TimerId::PollReply);
    link.downloadHoldsLine = true;
    indicatorVisible_ = false;
    ctx_.view.lockControls();
    ctx_.view.clearDeviceDisplay(!link.linked);
    link_.portStaticRead.fill(false);
    link.queue.clear();

    const QString path = ctx_.feedback.chooseFileToOpen(FileFilters);
    if (!link_.linked) {
        clear(); // the session ended while the operator chose; it has said so
        return;
    }
    if (path.isEmpty() || !loadFile(path)) {
        finish();
        return;
    }
    ctx_.view.showDownloadUnderway();
    // A poll reply still on its way would be taken for the loader's first answer.
    if (pollReplyDue_) {
        beginning_ = true;
        ctx_.clock.start(TimerId::Download, int(PollReplyWait.count()));
        return;
    }
    begin();
}

bool FirmwareDownload::loaderWaits() const
{
    return !loaderPort_.isEmpty() && link_.comPortsFound && !link_.linked &&
           link_.chosenComPort() == loaderPort_;
}

void FirmwareDownload::restartInLoader()
{
    SerialState& link = link_;
    link.downloadHoldsLine = true;
    indicatorVisible_ = false;
    ctx_.view.lockControls();
    const QString path = ctx_.feedback.chooseFileToOpen(FileFilters);
    if (path.isEmpty() || !loadFile(path)) {
        clear();
        offerRestart();
        return;
    }
    loaderPort_.clear();
    ctx_.view.showDownloadUnderway();
    // The loader has taken its first command already; EnterDownload is for the firmware.
    beginAt(AwaitEraseStart, serialproto::buildLoaderCommand("E", MessageReplyLength));
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
    beginning_ = false;
    beginAt(AwaitEnterAck, serialproto::buildEnterDownload());
}

void FirmwareDownload::beginAt(DownloadStep step, const SerialFrame& frame)
{
    SerialState& link = link_;
    link.loaderDialogue = true;
    ctx_.view.clearDeviceDisplay(!link.linked);
    ctx_.view.lockControls();
    link.downloadStep = step;
    sent_ = 0;
    showLineCount();
    flip();
    driver_.send(frame);
    continueIn(100);
}

// The whole file is read and checked before the loader hears anything: a file that cannot be
// read, an empty one or one with a bad record must not leave the midspan erased.
bool FirmwareDownload::loadFile(const QString& path)
{
    const auto cannot = [&](const QString& what, const QString& reason) {
        ctx_.feedback.error(
            QStringLiteral("Cannot %1 the firmware file\r\n%2\r\n%3").arg(what, path, reason));
        return false;
    };
    const regularfile::Content file = regularfile::read(path, MaxFileSize, regularfile::Links::Follow);
    if (file.missing)
        return cannot(QStringLiteral("open"), QStringLiteral("It does not exist."));
    if (file.problem)
        return cannot(QStringLiteral("open"), QStringLiteral("It cannot be read: %1.").arg(*file.problem));
    const QByteArray& content = file.bytes;

    lines_.clear();
    QList<QByteArray> pieces = content.split('\n');
    if (content.endsWith('\n'))
        pieces.removeLast(); // the last line end ends a line; it starts none
    int endLine = 0;
    int lastLine = 0;
    for (qsizetype number = 1; number <= pieces.size(); ++number) {
        QByteArray& line = pieces[number - 1];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() && lines_.isEmpty()) {
            ctx_.feedback.notice(QStringLiteral("Empty file!!"));
            return false;
        }
        // A blank line would go out as nothing, and nothing gets no answer.
        if (line.isEmpty())
            continue;
        // The loader erases the flash before the first line: a file it cannot take whole must
        // be refused before that, or the midspan is left without firmware.
        if (const std::optional<QString> problem = recordProblem(line))
            return cannot(QStringLiteral("load"), QStringLiteral("Line %1 %2.").arg(number).arg(*problem));
        if (endLine != 0)
            return cannot(
                QStringLiteral("load"),
                QStringLiteral("Line %1 follows the end record (line %2).").arg(number).arg(endLine));
        if (isEndRecord(line.trimmed()))
            endLine = int(number);
        lastLine = int(number);
        lines_.append(line);
    }
    if (lines_.isEmpty()) {
        ctx_.feedback.notice(QStringLiteral("Empty file!!"));
        return false;
    }
    if (endLine == 0)
        return cannot(QStringLiteral("load"),
                      QStringLiteral("Line %1, the last, is no end record (S7, S8 or S9).").arg(lastLine));
    return true;
}

void FirmwareDownload::sendFrame(const QByteArray& text, unsigned replyLength)
{
    driver_.send(serialproto::buildLoaderCommand(text, replyLength));
}

void FirmwareDownload::awaitReply(unsigned length)
{
    link_.expectedLength = length;
    link_.readerEnabled = true;
    driver_.resumeReader();
}

// Lines go out whole, however long.
void FirmwareDownload::sendNextLine()
{
    sendFrame(lines_.at(sent_), LineReplyLength);
    ++sent_;
    showLineCount();
}

bool FirmwareDownload::replyIs(LoaderAnswer answer) const
{
    return serialproto::loaderAnswer(link_) == answer;
}

void FirmwareDownload::flip()
{
    indicatorVisible_ = !indicatorVisible_;
    ctx_.view.blinkDownloadIndicator(indicatorVisible_);
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
    ctx_.view.showDownloadProgress(sent_, lineCount());
}

void FirmwareDownload::onReply()
{
    SerialState& link = link_;
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
        if (replyIs(LoaderAnswer::Ready)) {
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
        if (!replyIs(LoaderAnswer::EraseStarted))
            return fail(WrongEraseStart);
        link.downloadStep = AwaitEraseEnd;
        flip();
        awaitReply(LineReplyLength);
        continueIn(5000);
        break;
    case AwaitEraseEnd:
        if (!replyIs(LoaderAnswer::EraseDone))
            return fail(WrongEraseEnd);
        link.downloadStep = AwaitReady;
        flip();
        awaitReply(MessageReplyLength);
        continueIn(1000);
        break;
    case AwaitReady:
        if (!replyIs(LoaderAnswer::Ready))
            return fail(WrongReady);
        sendFrame("P", MessageReplyLength);
        link.downloadStep = AwaitProgramStart;
        flip();
        continueIn(100);
        break;
    case AwaitProgramStart:
        if (!replyIs(LoaderAnswer::ProgramStarted))
            return fail(WrongProgramStart);
        link.downloadStep = SendingLines;
        sendNextLine();
        flip();
        continueIn(1000);
        break;
    case SendingLines:
        // The loader may call the transfer complete only in answer to the end record, which
        // is the file's last line: earlier it would restart over a half-written flash.
        if (replyIs(LoaderAnswer::Complete) && sent_ < lineCount()) {
            fail(QStringLiteral("The midspan's loader reported the transfer complete after line %1 of "
                                "%2.\r\nThe download has been stopped.")
                     .arg(sent_)
                     .arg(lineCount()));
        } else if (replyIs(LoaderAnswer::Complete)) {
            link.downloadStep = Transferred;
            ctx_.view.showDownloadEnded();
            continueIn(400);
        } else if (!replyIs(LoaderAnswer::NextLine)) {
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
    SerialState& link = link_;
    ctx_.clock.stop(TimerId::Download);
    if (beginning_) {
        begin(); // the poll's reply never came: the line is quiet all the same
    } else if (link.downloadStep == Transferred) {
        ctx_.clock.pace({400, [this] {
                             link_.downloadStep = Restarting;
                             ctx_.view.showDownloadEnded();
                             sendFrame("RST", 0); // no reply is read: the midspan restarts
                             ctx_.clock.start(TimerId::Download, 100);
                         }});
    } else if (link.downloadStep == Restarting) {
        playProgress(ctx_.clock, ctx_.view, RestartAnimation, [this] { finish(); });
    }
}

void FirmwareDownload::onLoaderSilence()
{
    ctx_.clock.stop(TimerId::LoaderSilence);
    const DownloadStep step = link_.downloadStep;
    if (!awaitsLoader(step))
        return;
    QString text = QStringLiteral("The midspan's loader has not answered for %1 seconds (step %2")
                       .arg(LoaderSilence.count() / 1000)
                       .arg(int(step));
    if (step == SendingLines)
        text += QStringLiteral(", line %1 of %2").arg(sent_).arg(lineCount());
    fail(text + QStringLiteral(").\r\nThe download has been stopped."));
}

void FirmwareDownload::fail(const QString& text)
{
    ctx_.clock.stop(TimerId::Download);
    ctx_.clock.stop(TimerId::LoaderSilence);
    if (!link_.loaderDialogue) {
        ctx_.feedback.error(text);
        finish();
        return;
    }
    const QString port = link_.comPortName;
    ctx_.feedback.error(text +
                        QStringLiteral("\r\n\r\nThe midspan stays in its loader, where a search cannot "
                                       "find it.\r\nPress \"Firmware Download\" to start the "
                                       "download again on %1.")
                            .arg(port));
    clear();
    if (link_.linked && leftInLoader)
        leftInLoader();
    loaderPort_ = port;
    offerRestart();
}

void FirmwareDownload::offerRestart()
{
    ctx_.view.offerFirmwareDownload();
    ctx_.view.enableSearch(true);
}

// The end of a download: the controls come back and polling resumes with the status read. After
// a download restarted in the loader there is no session to resume: the restarted midspan is
// found by a search.
void FirmwareDownload::finish()
{
    clear();
    if (!link_.linked) {
        ctx_.view.lockControls();
        ctx_.view.enableSearch(true);
        return;
    }
    ctx_.view.unlockControls();
    if (resumePolling)
        resumePolling();
}

bool FirmwareDownload::abandon()
{
    const bool given = link_.downloadHoldsLine || !loaderPort_.isEmpty();
    loaderPort_.clear();
    if (link_.downloadHoldsLine)
        clear();
    return given;
}

void FirmwareDownload::clear()
{
    SerialState& link = link_;
    ctx_.clock.stop(TimerId::Download);
    ctx_.clock.stop(TimerId::LoaderSilence);
    driver_.pauseReader();
    lines_.clear();
    sent_ = 0;
    beginning_ = false;
    link.downloadHoldsLine = false;
    link.loaderDialogue = false;
    link.downloadStep = Idle;
    ctx_.view.showDownloadEnded();
    ctx_.view.hideDownloadProgress();
}
