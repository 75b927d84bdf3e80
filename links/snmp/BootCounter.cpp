#include "links/snmp/BootCounter.h"

#include "core/RegularFile.h"

#include <QFile>
#include <QList>

#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace BootCounter
{
namespace
{

regularfile::Content content(const QString& path)
{
    return regularfile::read(path, SizeLimit, regularfile::Links::Refuse);
}

QList<QByteArray> lines(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    QList<QByteArray> result = bytes.split('\n');
    while (!result.isEmpty() && result.last().trimmed().isEmpty())
        result.removeLast();
    return result;
}

// The count of a line that belongs to the engine, if it does.
std::optional<int> countIn(const QByteArray& line, const QByteArray& key)
{
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (fields.size() < 2 || fields.first() != key)
        return std::nullopt;
    bool ok = false;
    const int count = fields.at(1).toInt(&ok);
    return ok && count >= 0 ? count : 0;
}

} // namespace

QByteArray encodeEngineId(const QByteArray& engineId)
{
    QByteArray encoded;
    for (const char c : engineId) {
        const auto byte = static_cast<unsigned char>(c);
        encoded += char(0x40 + (byte >> 4));
        encoded += char(0x40 + (byte & 0x0F));
    }
    return encoded;
}

int read(const QString& path, const QByteArray& engineId)
{
    const QByteArray key = encodeEngineId(engineId);
    for (const QByteArray& line : lines(content(path).bytes)) {
        if (const auto count = countIn(line, key))
            return *count;
    }
    return 0;
}

std::optional<QString> store(const QString& path, const QByteArray& engineId, int count)
{
    const QByteArray key = encodeEngineId(engineId);
    const QByteArray entry = key + ' ' + QByteArray::number(count);
    const regularfile::Content old = content(path);
    if (old.problem)
        return old.problem; // its other lines would be lost
    QList<QByteArray> kept = lines(old.bytes);
    bool replaced = false;
    for (QByteArray& line : kept) {
        if (!replaced && countIn(line, key)) {
            line = entry;
            replaced = true;
        }
    }
    if (!replaced)
        kept.append(entry);
    return regularfile::replace(path, kept.join('\n') + '\n');
}

int advance(const QString& path, const QByteArray& engineId)
{
    const int current = read(path, engineId);
    const int next = current < std::numeric_limits<int>::max() ? current + 1 : current;
    store(path, engineId, next);
    return next;
}

std::optional<QString> problem(const QString& path)
{
    if (const regularfile::Content old = content(path); old.problem)
        return old.problem;
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user");
    return std::nullopt;
}

} // namespace BootCounter
