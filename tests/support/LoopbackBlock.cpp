#include "LoopbackBlock.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Shared by every run on the machine, whatever its TMPDIR.
constexpr const char* MachineLockFolder = "/run/lock";

int openLockFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // Without O_CLOEXEC: children keep the block. Without O_CREAT first: a sticky folder refuses
    // O_CREAT on a file another user made, even one that is there to be read.
    int fd = ::open(name.constData(), O_RDONLY);
    if (fd < 0 && errno == ENOENT)
        fd = ::open(name.constData(), O_RDONLY | O_CREAT, 0644);
    return fd;
}

QString lockFile(const QString& lockFolder, int block)
{
    return lockFolder + QStringLiteral("/spanmon-loopback-%1").arg(block);
}

} // namespace

LoopbackBlock LoopbackBlock::take(const QString& lockFolder, int first, int last)
{
    LoopbackBlock block;
    for (int n = first; n <= last; ++n) {
        const QString path = lockFile(lockFolder, n);
        const int fd = openLockFile(path);
        if (fd < 0) {
            block.error_ = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            block.lock_ = fd;
            block.number_ = n;
            block.error_.clear();
            return block;
        }
        ::close(fd);
    }
    if (block.error_.isEmpty())
        block.error_ = QStringLiteral("blocks %1 to %2 of 127.0.0.0/8 are all held (locks in %3)")
                           .arg(first)
                           .arg(last)
                           .arg(lockFolder);
    return block;
}

LoopbackBlock LoopbackBlock::inherited(const QByteArray& value, const QString& lockFolder)
{
    LoopbackBlock block;
    const QList<QByteArray> fields = value.split(' ');
    bool blockOk = false;
    bool lockOk = false;
    const int number = fields.value(0).toInt(&blockOk);
    const int fd = fields.value(1).toInt(&lockOk);
    struct stat held {
    };
    struct stat file {
    };
    // The same file: a value copied into an unrelated process names a descriptor it does not have.
    if (fields.size() == 2 && blockOk && lockOk && number >= 1 && fd >= 0 && ::fstat(fd, &held) == 0 &&
        ::stat(QFile::encodeName(lockFile(lockFolder, number)).constData(), &file) == 0 &&
        held.st_dev == file.st_dev && held.st_ino == file.st_ino) {
        block.lock_ = fd;
        block.number_ = number;
    } else {
        block.error_ =
            QStringLiteral("%1 is no lock of this process in %2").arg(QString::fromLatin1(value), lockFolder);
    }
    return block;
}

const LoopbackBlock& LoopbackBlock::ofThisProgram()
{
    static const LoopbackBlock block = [] {
        const QString folder = QString::fromLatin1(MachineLockFolder);
        LoopbackBlock handed = inherited(qgetenv(EnvironmentName), folder);
        if (handed.number_ != 0)
            return handed;
        LoopbackBlock taken = take(folder);
        if (taken.number_ == 0)
            qFatal("no loopback block for this test: %s", qPrintable(taken.error_));
        qputenv(EnvironmentName, taken.handedDown());
        return taken;
    }();
    return block;
}

LoopbackBlock::LoopbackBlock(LoopbackBlock&& other) noexcept
    : lock_(std::exchange(other.lock_, -1)), number_(std::exchange(other.number_, 0)),
      error_(std::move(other.error_))
{
}

LoopbackBlock::~LoopbackBlock()
{
    if (lock_ >= 0)
        ::close(lock_);
}

QString LoopbackBlock::address(int third, int fourth) const
{
    return QStringLiteral("127.%1.%2.%3").arg(number_).arg(third).arg(fourth);
}

QByteArray LoopbackBlock::handedDown() const
{
    return QByteArray::number(number_) + ' ' + QByteArray::number(lock_);
}

QString loopbackAddress(int third, int fourth)
{
    return LoopbackBlock::ofThisProgram().address(third, fourth);
}
