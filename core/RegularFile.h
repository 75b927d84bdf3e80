#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Files the program keeps or is handed (Link.ini, the SNMPv3 boot counter, a firmware file) are
// read only when they are regular files of a bounded size: a named pipe would block the reading
// thread and a device such as /dev/zero would never end. The check is made on the opened file,
// so nothing can be swapped in between.
namespace regularfile
{

enum class Links { Follow, Refuse };

struct Content {
    QByteArray bytes;
    bool missing = false;           // nothing at that path: reads as empty, no problem
    std::optional<QString> problem; // why the file was not read; bytes is then empty
    unsigned mode = 0;              // permission bits of the file read
};

Content read(const QString& path, qint64 limit, Links links);

// Replaces the file at path with bytes: a new file beside it, readable and writable by this
// user only and owned by this user, is renamed over it, so a failure leaves the old file as it
// was. The rename replaces a symbolic link itself, never its target. Another user's file is
// refused: the rename would take the path from that user. Returns the reason when nothing was
// written. Callers read the old file first, which refuses what is no regular file.
std::optional<QString> replace(const QString& path, const QByteArray& bytes);

// "64 KiB", "16 MiB": a limit as the messages give it.
QString sizeText(qint64 bytes);

} // namespace regularfile
