#include "LoopbackBlock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
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

} // namespace

LoopbackBlock LoopbackBlock::take(const QString& lockFolder, int first, int last)
{
    LoopbackBlock block;
    for (int n = first; n <= last; ++n) {
        const QString path = lockFolder + QStringLiteral("/spanmon-loopback-%1").arg(n);
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

const LoopbackBlock& LoopbackBlock::ofThisProgram()
{
    static const LoopbackBlock block = [] {
        LoopbackBlock taken = take(QString::fromLatin1(MachineLockFolder));
        if (taken.number_ == 0)
            qFatal("no loopback block for this test: %s", qPrintable(taken.error_));
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

QString loopbackAddress(int third, int fourth)
{
    return LoopbackBlock::ofThisProgram().address(third, fourth);
}
