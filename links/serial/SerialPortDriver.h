#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QSerialPort>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

class Clock;
struct SerialFrame;
struct SerialState;

// The open COM port and its reader. The reader waits until expectedLength bytes are queued,
// reads exactly that many into rxFrame and hands the reply over; bytes beyond it stay queued
// until the next receive purge. It runs on the window's thread: pausing it is a flag, and a
// reply is handed over only when no paced sequence of the clock runs.
class SerialPortDriver : public QObject
{
    Q_OBJECT

public:
    SerialPortDriver(SerialState& link, Clock& clock, QObject* parent = nullptr);

    // Opens the port at 19200 baud, 8 data bits, no parity, one stop bit; flow control stays as
    // the port has it. Any port opened before is closed first.
    bool open(const QString& devicePath);
    void close();
    bool isOpen() const { return port_.isOpen(); }
    // Why the port could not be opened.
    QString errorString() const { return port_.errorString(); }

    // Writes the frame; it is the request in flight from now on. When it awaits a reply the
    // reader is armed for it, after the receive queue has been purged unless `purge` is false.
    void send(const SerialFrame& frame, bool purge = true);
    void purgeReceive();
    void purgeTransmit();

    void pauseReader() { running_ = false; }
    void resumeReader();
    // The reply read answers an earlier request: reads on for the awaited one.
    void skipStaleReply();
    // The reply to the request in flight did not come in time: should it still come ahead of a
    // later request's answer, its bytes are dropped rather than read as (part of) that answer.
    // It is told by its command byte at the head of the queue, within a while of the time-out;
    // one with the later request's own command cannot be told apart and is not dropped.
    void abandonReply();

    // rxFrame holds a whole reply.
    std::function<void()> replyReady;
    // The port went away under the reader (a pulled USB adapter); it has been closed.
    std::function<void()> lineLost;

private:
    void readReply();
    void onError(QSerialPort::SerialPortError error);
    // Lets the line wake the reader only once the rest of the reply is queued.
    void wakeForRestOfReply(unsigned expected);
    // Drops the bytes of abandoned replies at the head of the queue; false while some are
    // still coming.
    bool dropLateReplies();

public:
    // Whether an abandoned reply to `command` may still come and is not queued whole yet: a
    // request with the same command sent now would take it for its own answer.
    bool owesReply(std::uint8_t command);

private:
    // Bytes waiting, in the port's buffer and in the line's own queue.
    qint64 queuedBytes();

    // The bytes of an abandoned reply still owed by the line, and what starts them.
    struct LateReply {
        qint64 bytes = 0;
        std::optional<std::uint8_t> command; // none: the rest of a reply already begun
        QDeadlineTimer until;                // after it the reply is no longer awaited
    };

    SerialState& link_;
    Clock& clock_;
    QSerialPort port_;
    QString devicePath_;
    bool losing_ = false; // the port has been found gone and is about to close
    bool running_ = false;
    int wakeAt_ = -1;             // bytes the line queues before it wakes the reader (VMIN), once set
    quint64 sends_ = 0;           // a reply read before a later send is stale
    std::deque<LateReply> late_;  // in the order of their requests
    bool heardSinceSend_ = false; // a reply has been read since the last send
};
