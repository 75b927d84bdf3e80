#include "PtyLink.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

PtyLink::PtyLink(const QString& linkPath, bool lineDelay, QObject* parent)
    : QObject(parent), linkPath_(linkPath), lineDelay_(lineDelay)
{
    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(interByteTimeout);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        if (idleHandler_)
            idleHandler_();
    });
    pacer_.setTimerType(Qt::PreciseTimer);
    pacer_.setInterval(1);
    connect(&pacer_, &QTimer::timeout, this, &PtyLink::writeDue);
    inPacer_.setTimerType(Qt::PreciseTimer);
    inPacer_.setInterval(1);
    connect(&inPacer_, &QTimer::timeout, this, &PtyLink::receiveDue);
}

PtyLink::~PtyLink()
{
    close();
}

bool PtyLink::open()
{
    close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        error_ = QStringLiteral("cannot create a pseudo-terminal: %1").arg(strerror(errno));
        if (master >= 0)
            ::close(master);
        return false;
    }
    const QByteArray slavePath = ptsname(master);
    // Holding the slave open keeps the master readable while no client has the port open.
    const int slave = ::open(slavePath.constData(), O_RDWR | O_NOCTTY);
    termios tio{};
    if (slave < 0 || tcgetattr(slave, &tio) != 0) {
        error_ = QStringLiteral("cannot open %1: %2").arg(QString::fromLocal8Bit(slavePath), strerror(errno));
        ::close(master);
        if (slave >= 0)
            ::close(slave);
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tio.c_cflag |= CLOCAL | CREAD;
    tcsetattr(slave, TCSANOW, &tio);

    const QByteArray link = QFile::encodeName(linkPath_);
    if (QFileInfo(linkPath_).isSymLink())
        ::unlink(link.constData());
    if (::symlink(slavePath.constData(), link.constData()) != 0) {
        error_ = QStringLiteral("cannot link %1 to %2: %3")
                     .arg(linkPath_, QString::fromLocal8Bit(slavePath), strerror(errno));
        ::close(slave);
        ::close(master);
        return false;
    }
    master_ = master;
    slaveKeeper_ = slave;
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PtyLink::readAvailable);
    return true;
}

void PtyLink::close()
{
    if (master_ < 0)
        return;
    ++generation_;
    notifier_.reset();
    idleTimer_.stop();
    pacer_.stop();
    outgoing_.clear();
    inPacer_.stop();
    incoming_.clear();
    ::unlink(QFile::encodeName(linkPath_).constData());
    ::close(slaveKeeper_);
    ::close(master_);
    master_ = -1;
    slaveKeeper_ = -1;
}

void PtyLink::clearDelays()
{
    replyDelay_ = std::chrono::milliseconds(0);
    slowReplies_ = 0;
    ++generation_;
}

void PtyLink::readAvailable()
{
    char chunk[512];
    QByteArray bytes;
    for (;;) {
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.append(chunk, n);
    }
    if (bytes.isEmpty())
        return;
    // The quiet spell before these bytes ends the frame before them, also when the process was too
    // busy to run the idle timer in time (bytes still being paced in were not quiet).
    if (incoming_.isEmpty() && idleTimer_.isActive() && idleTimer_.remainingTime() == 0) {
        idleTimer_.stop();
        if (idleHandler_)
            idleHandler_();
    }
    if (!lineDelay_) {
        receive(bytes);
        return;
    }
    // The pseudo-terminal delivers at once; the device hears the bytes at the line's pace.
    incoming_.add(bytes);
    receiveDue();
    if (!incoming_.isEmpty())
        inPacer_.start();
}

void PtyLink::receiveDue()
{
    const QByteArray now = incoming_.takeDue();
    if (incoming_.isEmpty())
        inPacer_.stop();
    if (!now.isEmpty())
        receive(now);
}

void PtyLink::receive(const QByteArray& bytes)
{
    idleTimer_.start();
    if (!receiver_)
        return;
    const QByteArray replies = receiver_(bytes);
    if (replies.isEmpty())
        return;
    std::chrono::milliseconds delay = replyDelay_;
    if (slowReplies_ > 0) {
        --slowReplies_;
        delay += slowExtra_;
    }
    if (delay.count() > 0) {
        QTimer::singleShot(delay, this, [this, replies, generation = generation_] {
            if (generation == generation_)
                send(replies);
        });
    } else {
        send(replies);
    }
}

void PtyLink::send(const QByteArray& bytes)
{
    if (!lineDelay_) {
        writeNow(bytes);
        return;
    }
    outgoing_.add(bytes);
    writeDue();
    if (!outgoing_.isEmpty())
        pacer_.start();
}

void PtyLink::writeDue()
{
    const QByteArray now = outgoing_.takeDue();
    if (!now.isEmpty())
        writeNow(now);
    if (outgoing_.isEmpty())
        pacer_.stop();
}

void PtyLink::PacedBytes::add(const QByteArray& bytes)
{
    if (pending_.isEmpty()) {
        clock_.start();
        done_ = 0;
    }
    pending_ += bytes;
}

QByteArray PtyLink::PacedBytes::takeDue()
{
    const qint64 due = clock_.nsecsElapsed() / 1000 / byteTime.count() + 1 - done_;
    const QByteArray now = pending_.left(std::max<qint64>(due, 0));
    pending_.remove(0, now.size());
    done_ += now.size();
    return now;
}

bool PtyLink::writeNow(const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + written, bytes.size() - written);
        // A full queue means nobody reads the port; what does not fit is lost, as on a real line.
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}
