#include "links/serial/SerialPortDriver.h"

#include "core/Clock.h"
#include "links/serial/SerialState.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSerial, "spanmon.serial")
Q_LOGGING_CATEGORY(lcSerialFrames, "spanmon.serial.frames", QtWarningMsg)

namespace
{

constexpr qint32 BaudRate = 19200;
// Far more than the line brings between two receive purges, and small enough that the port keeps
// one buffer block from reply to reply instead of taking and releasing 32 KB for each.
constexpr qint64 ReadBufferBytes = 4096;
// How long after its time-out an abandoned reply is still looked out for: a device that answers
// this late has been given up by the session anyway.
constexpr int LateReplyWindowMs = 2000;

// QSerialPort applies a flow control when it opens the port; keep the hardware handshake the
// port has. XON/XOFF is never taken over: it would swallow the bytes 11 and 13 of binary
// frames, and a fresh tty has it on by default.
QSerialPort::FlowControl currentFlowControl(const QString& devicePath)
{
    const int fd = ::open(devicePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return QSerialPort::NoFlowControl;
    termios settings{};
    const bool handshake = ::tcgetattr(fd, &settings) == 0 && (settings.c_cflag & CRTSCTS);
    ::close(fd);
    return handshake ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl;
}

} // namespace

SerialPortDriver::SerialPortDriver(SerialState& link, Clock& clock, QObject* parent)
    : QObject(parent), link_(link), clock_(clock)
{
    port_.setReadBufferSize(ReadBufferBytes);
    connect(&port_, &QSerialPort::readyRead, this, &SerialPortDriver::readReply);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialPortDriver::onError);
}

bool SerialPortDriver::open(const QString& devicePath)
{
    close();
    losing_ = false;
    devicePath_ = devicePath;
    port_.setPortName(devicePath);
    port_.setBaudRate(BaudRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(currentFlowControl(devicePath));
    if (!port_.open(QIODevice::ReadWrite)) {
        qCInfo(lcSerial) << "cannot open" << devicePath << port_.errorString();
        return false;
    }
    return true;
}

void SerialPortDriver::close()
{
    running_ = false;
    wakeAt_ = -1;
    late_.clear();
    link_.readerEnabled = false;
    if (port_.isOpen())
        port_.close();
}

void SerialPortDriver::send(const SerialFrame& frame, bool purge)
{
    if (purge)
        purgeReceive();
    link_.request = frame.request;
    link_.expectedLength = frame.replyLength;
    ++sends_;
    heardSinceSend_ = false;
    if (port_.isOpen()) {
        qCDebug(lcSerialFrames) << "send" << frame.bytes.toHex(' ');
        port_.write(frame.bytes); // goes out when control returns to the event loop
    }
    if (frame.replyLength == 0)
        return;
    link_.readerEnabled = true;
    resumeReader();
}

qint64 SerialPortDriver::queuedBytes()
{
    int waiting = 0;
    if (::ioctl(port_.handle(), FIONREAD, &waiting) != 0)
        waiting = 0;
    return port_.bytesAvailable() + waiting;
}

void SerialPortDriver::purgeReceive()
{
    if (!port_.isOpen())
        return;
    // What is purged of abandoned replies no longer comes; the rest of one starts mid-reply.
    qint64 purged = queuedBytes();
    while (purged > 0 && !late_.empty()) {
        LateReply& head = late_.front();
        const qint64 taken = std::min(purged, head.bytes);
        head.bytes -= taken;
        head.command.reset();
        purged -= taken;
        if (head.bytes == 0)
            late_.pop_front();
    }
    if (port_.bytesAvailable() == 0) {
        // Bytes can only wait in the line's own queue: flushing it leaves the port's buffer be.
        ::tcflush(port_.handle(), TCIFLUSH);
        return;
    }
    port_.clear(QSerialPort::Input);
    // A buffer that ran full has stopped the port reading; setting its size starts it again.
    port_.setReadBufferSize(ReadBufferBytes);
}

void SerialPortDriver::abandonReply()
{
    // A device that has said anything since the send has answered, if not as asked: its bytes
    // go with the next purge, and nothing more is owed.
    link_.request.outcome = RequestOutcome::Unanswered;
    if (!port_.isOpen() || link_.expectedLength == 0 || heardSinceSend_ || port_.bytesAvailable() > 0)
        return;
    late_.push_back({link_.expectedLength, link_.request.command, QDeadlineTimer(LateReplyWindowMs)});
}

bool SerialPortDriver::dropLateReplies()
{
    // The device answers in order: an abandoned reply whose command does not head the queue is
    // not coming, nor is one past its while.
    while (!late_.empty()) {
        LateReply& head = late_.front();
        const qint64 queued = port_.bytesAvailable();
        if (head.until.hasExpired()) {
            late_.pop_front();
            continue;
        }
        if (queued == 0)
            return true;
        char first = 0;
        port_.peek(&first, 1);
        // An answer with the awaited request's command is taken for that request's: after a
        // silent spell, the device's first answer must not be lost for an abandoned one.
        if ((head.command && std::uint8_t(first) != *head.command) ||
            (head.command && *head.command == link_.request.command)) {
            late_.pop_front();
            continue;
        }
        const QByteArray dropped = port_.read(std::min(queued, head.bytes));
        qCDebug(lcSerialFrames) << "late reply dropped" << dropped.toHex(' ');
        head.bytes -= dropped.size();
        head.command.reset();
        if (head.bytes > 0)
            return false;
        late_.pop_front();
    }
    return true;
}

bool SerialPortDriver::owesReply(std::uint8_t command)
{
    if (!port_.isOpen())
        return false;
    // Queued bytes belong to the earliest of the replies owed.
    qint64 queued = queuedBytes();
    for (const LateReply& late : late_) {
        if (late.until.hasExpired())
            continue;
        if (late.command == command && queued < late.bytes)
            return true;
        queued = std::max<qint64>(0, queued - late.bytes);
    }
    return false;
}

void SerialPortDriver::purgeTransmit()
{
    if (port_.isOpen())
        port_.clear(QSerialPort::Output);
}

void SerialPortDriver::wakeForRestOfReply(unsigned expected)
{
    // Without a canonical mode and time (VTIME 0), the line reports input only once VMIN bytes
    // are queued: one wake-up per reply instead of one for every few bytes of it. The reply
    // time-out still ends a wait for bytes that never come.
    const qint64 missing = qint64(expected) - port_.bytesAvailable();
    const int wakeAt = link_.loaderDialogue ? 1 : int(std::clamp<qint64>(missing, 1, 255));
    if (wakeAt == wakeAt_ || !port_.isOpen())
        return;
    termios settings{};
    if (::tcgetattr(port_.handle(), &settings) != 0)
        return;
    settings.c_cc[VMIN] = cc_t(wakeAt);
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(port_.handle(), TCSANOW, &settings) == 0)
        wakeAt_ = wakeAt;
}

void SerialPortDriver::skipStaleReply()
{
    // An earlier request's answer says nothing of this one's, which may still come late.
    heardSinceSend_ = false;
    resumeReader();
}

void SerialPortDriver::resumeReader()
{
    running_ = true;
    wakeForRestOfReply(link_.expectedLength);
    // Bytes may already be queued; readyRead only tells of new ones.
    if (port_.bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &SerialPortDriver::readReply, Qt::QueuedConnection);
}

void SerialPortDriver::readReply()
{
    const unsigned expected = std::min<unsigned>(link_.expectedLength, unsigned(link_.rxFrame.size()));
    if (!running_ || !link_.readerEnabled || !port_.isOpen() || expected == 0)
        return;
    if (!dropLateReplies()) {
        wakeForRestOfReply(unsigned(late_.front().bytes));
        return;
    }
    if (port_.bytesAvailable() < qint64(expected)) {
        wakeForRestOfReply(expected);
        return;
    }
    heardSinceSend_ = true;
    std::memset(link_.rxFrame.data(), 0, expected);
    const qint64 got = port_.read(reinterpret_cast<char*>(link_.rxFrame.data()), expected);
    link_.expectedLength = unsigned(std::max<qint64>(got, 0));
    qCDebug(lcSerialFrames)
        << "reply" << QByteArray(reinterpret_cast<const char*>(link_.rxFrame.data()), got).toHex(' ');
    if (link_.loaderDialogue)
        link_.readerEnabled = false; // one reply per send
    running_ = false;                // until the handler has sent the next request
    clock_.whenIdle([this, sent = sends_] {
        if (sent == sends_ && replyReady)
            replyReady();
    });
}

void SerialPortDriver::onError(QSerialPort::SerialPortError error)
{
    // A hung-up line reports read errors; it is gone when its device node has gone with it.
    const bool gone = error == QSerialPort::ResourceError ||
                      (error == QSerialPort::ReadError && !QFileInfo::exists(devicePath_));
    if (!gone || !port_.isOpen() || losing_)
        return;
    qCInfo(lcSerial) << "port lost:" << port_.errorString();
    running_ = false;
    losing_ = true;
    // Not closed inside the port's own signal.
    QMetaObject::invokeMethod(
        this,
        [this] {
            close();
            if (lineLost)
                clock_.whenIdle(lineLost);
        },
        Qt::QueuedConnection);
}
