#pragma once

#include "core/AppContext.h"
#include "links/serial/SerialLink.h"

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
// The file is checked before anything reaches the loader: one that cannot be read or is empty
// leaves the midspan's firmware untouched. Every way the download can fail ends the same way:
// the controls come back and polling resumes with the status read.
class FirmwareDownload
{
public:
    // Longer than any flash erase: a loader silent this long has stopped.
    static constexpr std::chrono::milliseconds LoaderSilence{30000};
    // The longest a poll reply takes; the line must be quiet before the loader is called.
    static constexpr std::chrono::milliseconds PollReplyWait{1000};
    // Larger than any firmware image the midspan can hold.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    FirmwareDownload(AppContext& context, SerialLink& link, SerialPortDriver& driver);

    // Raises the status read and sends it; set by the session.
    std::function<void()> resumePolling;

    // "Firmware Download" pressed while a serial device is polled.
    void start();
    // A loader reply is in rxFrame (the reader is paused, timer 9 stopped).
    void onReply();
    // The reply to the poll that was under way at the button press has come in.
    void onPollReplyDone();
    // Timer 9: the pauses after the last line.
    void onTimer();
    void onLoaderSilence();
    // The port has gone: the download ends where it stands, without resuming polling.
    void abandon();

    int linesSent() const { return sent_; }
    int lineCount() const { return int(lines_.size()); }

private:
    void begin();
    bool loadFile(const QString& path);
    void sendFrame(const QByteArray& frame, unsigned replyLength);
    void awaitReply(unsigned length);
    void sendNextLine();
    bool replyIs(const char* message) const;
    void flip();
    void continueIn(int ms);
    void showLineCount();
    void fail(const QString& text);
    void finish();
    void clear();

    AppContext& ctx_;
    SerialLink& link_;
    SerialPortDriver& driver_;
    QList<QByteArray> lines_;
    int sent_ = 0;
    bool indicatorVisible_ = false;
    bool pollReplyDue_ = false; // a poll was under way at the button press
    bool beginning_ = false;    // the file is loaded; EnterDownload waits for that poll's reply
};
