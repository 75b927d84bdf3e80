#pragma once

#include <QObject>
#include <QSerialPort>

#include <functional>

class Clock;
struct SerialLink;

// The open COM port and its reader. The reader waits until expectedLength bytes are queued,
// reads exactly that many into rxFrame and hands the reply over; bytes beyond it stay queued
// until the next receive purge. It runs on the window's thread: pausing it is a flag, and a
// reply is handed over only when no paced sequence of the clock runs.
class SerialPortDriver : public QObject
{
    Q_OBJECT

public:
    SerialPortDriver(SerialLink& link, Clock& clock, QObject* parent = nullptr);

    // Opens the port at 19200 baud, 8 data bits, no parity, one stop bit; flow control stays as
    // the port has it. Any port opened before is closed first.
    bool open(const QString& devicePath);
    void close();
    bool isOpen() const { return port_.isOpen(); }
    // Why the port could not be opened.
    QString errorString() const { return port_.errorString(); }

    // Writes sendLength bytes of txFrame; the reply is awaited by the reader.
    void send();
    // Writes bytes that need not fit txFrame (a firmware line).
    void send(const QByteArray& bytes);
    void purgeReceive();
    void purgeTransmit();

    void pauseReader() { running_ = false; }
    void resumeReader();

    // rxFrame holds a whole reply.
    std::function<void()> replyReady;
    // The port went away under the reader (a pulled USB adapter); it has been closed.
    std::function<void()> lineLost;

private:
    void readReply();
    void onError(QSerialPort::SerialPortError error);
    // Lets the line wake the reader only once the rest of the reply is queued.
    void wakeForRestOfReply(unsigned expected);

    SerialLink& link_;
    Clock& clock_;
    QSerialPort port_;
    QString devicePath_;
    bool losing_ = false; // the port has been found gone and is about to close
    bool running_ = false;
    int wakeAt_ = -1;   // bytes the line queues before it wakes the reader (VMIN), once set
    quint64 sends_ = 0; // a reply read before a later send is stale
};
