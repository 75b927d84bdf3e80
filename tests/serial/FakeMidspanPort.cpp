#include "FakeMidspanPort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

FakeMidspanPort::FakeMidspanPort()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        return;
    const char* slaveName = ::ptsname(master_);
    slave_ = ::open(slaveName, O_RDWR | O_NOCTTY);
    if (!QFile::link(QString::fromLocal8Bit(slaveName), linkPath())) {
        ::close(master_);
        master_ = -1;
        return;
    }
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &FakeMidspanPort::readLine);
}

FakeMidspanPort::~FakeMidspanPort()
{
    delete notifier_;
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

void FakeMidspanPort::readLine()
{
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0)
        received_.append(buffer, n);
}

void FakeMidspanPort::write(const QByteArray& bytes)
{
    [[maybe_unused]] const ssize_t n = ::write(master_, bytes.constData(), size_t(bytes.size()));
}

QByteArray FakeMidspanPort::take()
{
    readLine();
    return std::exchange(received_, {});
}

bool FakeMidspanPort::waitForBytes(int n, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (received_.size() < n && !deadline.hasExpired()) {
        QTest::qWait(2);
        readLine();
    }
    return received_.size() >= n;
}

QByteArray FakeMidspanPort::withChecksum(QByteArray bytes)
{
    unsigned sum = 0;
    for (char c : bytes)
        sum += quint8(c);
    bytes.append(char((sum >> 8) & 0xFF));
    bytes.append(char(sum & 0xFF));
    return bytes;
}
