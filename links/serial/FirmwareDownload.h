#pragma once

#include "core/AppContext.h"
#include "links/serial/SerialProtocol.h"
#include "links/serial/SerialState.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>

class SerialPortDriver;

// Loading new firmware from an S-record file through the midspan's loader. EnterDownload puts
// the midspan into its loader; from then on the dialogue is ASCII, one reply per send: "E" erases,
// "P" starts programming, then the file's lines go one at a time, each acknowledged before the
// next. After the last line "RST" restarts the midspan and polling resumes once it is back.
//
// The whole file is read and every record checked before anything reaches the loader, whose
// first command erases the flash: a file that is no regular file, too large, empty or holds a
// bad record leaves the midspan's firmware untouched, and polling resumes.
//
// A failure inside the loader leaves the midspan there, where neither polling nor a search can
// reach it: the session ends, and "Firmware Download" stays offered for that COM port, where a
// new download starts at the erase command.
class FirmwareDownload
{
public:
    // Longer than any flash erase: a loader silent this long has stopped.
    static constexpr std::chrono::milliseconds LoaderSilence{30000};
    // The longest a poll reply takes; the line must be quiet before the loader is called.
    static constexpr std::chrono::milliseconds PollReplyWait{1000};
    // S-record text of 16 MiB takes the loader over two hours at 19200 baud, one line per round
    // trip, and is far more than a midspan's flash holds; reading it whole costs little memory.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    FirmwareDownload(AppContext& context, SerialState& link, SerialPortDriver& driver);

    // Raises the status read and sends it; set by the session.
    std::function<void()> resumePolling;
    // Ends the session without a message: the midspan stays in its loader. Set by the session.
    std::function<void()> leftInLoader;

    // "Firmware Download" pressed while a serial device is polled.
    void start();
    // A failed download left a loader waiting on the COM port chosen now.
    bool loaderWaits() const;
    // "Firmware Download" pressed while loaderWaits(): the download starts again in the loader.
    void restartInLoader();
    // A session starts: whatever waited in a loader has been found as a midspan again.
    void forgetLoader() { loaderPort_.clear(); }
    // A loader reply is in rxFrame (the reader is paused, timer 9 stopped).
    void onReply();
    // The reply to the poll that was under way at the button press has come in.
    void onPollReplyDone();
    // Timer 9: the pauses after the last line.
    void onTimer();
    void onLoaderSilence();
    // The port has gone: the download ends where it stands, without resuming polling. True when
    // a download or a waiting loader was given up.
    bool abandon();

    int linesSent() const { return sent_; }
    int lineCount() const { return int(lines_.size()); }

private:
    void begin();
    void beginAt(DownloadStep step, const SerialFrame& frame);
    void offerRestart();
    bool loadFile(const QString& path);
    void sendFrame(const QByteArray& text, unsigned replyLength);
    void awaitReply(unsigned length);
    void sendNextLine();
    bool replyIs(serialproto::LoaderAnswer answer) const;
    void flip();
    void continueIn(int ms);
    void showLineCount();
    void fail(const QString& text);
    void finish();
    void clear();

    AppContext& ctx_;
    SerialState& link_;
    SerialPortDriver& driver_;
    QList<QByteArray> lines_;
    int sent_ = 0;
    bool indicatorVisible_ = false;
    bool pollReplyDue_ = false; // a poll was under way at the button press
    bool beginning_ = false;    // the file is loaded; EnterDownload waits for that poll's reply
    QString loaderPort_;        // the COM port whose midspan a failed download left in its loader
};
