#include "core/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace regularfile
{
namespace
{

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString notAFile(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a named pipe (FIFO), not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a file");
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder, not a file");
    if (S_ISLNK(mode))
        return QStringLiteral("it is a symbolic link, which is not followed");
    return QStringLiteral("it is not a regular file");
}

QString tooLarge(qint64 limit)
{
    return QStringLiteral("it is larger than %1").arg(sizeText(limit));
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

QString sizeText(qint64 bytes)
{
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes / 1024);
    return QStringLiteral("%1 bytes").arg(bytes);
}

Content read(const QString& path, qint64 limit, Links links)
{
    Content content;
    // Opening a named pipe without O_NONBLOCK waits for a writer.
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (links == Links::Refuse)
        flags |= O_NOFOLLOW;
    const Descriptor fd(::open(QFile::encodeName(path).constData(), flags));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == ENOENT)
            content.missing = true;
        else if (error == ELOOP && links == Links::Refuse)
            content.problem = notAFile(S_IFLNK);
        else
            content.problem = systemError(error);
        return content;
    }
    struct stat st = {};
    if (::fstat(fd.get(), &st) != 0) {
        content.problem = systemError(errno);
        return content;
    }
    if (!S_ISREG(st.st_mode)) {
        content.problem = notAFile(st.st_mode);
        return content;
    }
    if (st.st_size > limit) {
        content.problem = tooLarge(limit);
        return content;
    }
    content.mode = unsigned(st.st_mode & 07777);
    // The file may grow while it is read: one byte beyond the limit is enough to know.
    QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > limit) {
                content.problem = tooLarge(limit);
                return content;
            }
            bytes.resize(std::min<qsizetype>(limit + 1, filled * 2 + 4096));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, size_t(bytes.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            content.problem = systemError(errno);
            return content;
        }
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > limit) {
        content.problem = tooLarge(limit);
        return content;
    }
    bytes.truncate(filled);
    content.bytes = bytes;
    return content;
}

std::optional<QString> replace(const QString& path, const QByteArray& bytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat existing = {};
    if (::lstat(name.constData(), &existing) == 0) {
        if (existing.st_uid != ::geteuid())
            return QStringLiteral("it belongs to another user");
    } else if (errno != ENOENT) {
        return systemError(errno);
    }

    const QFileInfo info(path);
    QTemporaryFile temporary(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                             QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return temporary.errorString();
    if (::fchmod(temporary.handle(), S_IRUSR | S_IWUSR) != 0)
        return systemError(errno);
    if (temporary.write(bytes) != bytes.size() || !temporary.flush())
        return temporary.errorString();
    if (::fsync(temporary.handle()) != 0)
        return systemError(errno);
    if (::rename(QFile::encodeName(temporary.fileName()).constData(), name.constData()) != 0)
        return systemError(errno);
    temporary.setAutoRemove(false);
    return std::nullopt;
}

} // namespace regularfile
