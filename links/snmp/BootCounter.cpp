#include "links/snmp/BootCounter.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include <limits>

namespace BootCounter
{
namespace
{

QList<QByteArray> lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> result = file.readAll().split('\n');
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
    for (const QByteArray& line : lines(path)) {
        if (const auto count = countIn(line, key))
            return *count;
    }
    return 0;
}

bool store(const QString& path, const QByteArray& engineId, int count)
{
    const QByteArray key = encodeEngineId(engineId);
    const QByteArray entry = key + ' ' + QByteArray::number(count);
    QList<QByteArray> content = lines(path);
    bool replaced = false;
    for (QByteArray& line : content) {
        if (!replaced && countIn(line, key)) {
            line = entry;
            replaced = true;
        }
    }
    if (!replaced)
        content.append(entry);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(content.join('\n') + '\n');
    return file.commit();
}

int advance(const QString& path, const QByteArray& engineId)
{
    const int current = read(path, engineId);
    const int next = current < std::numeric_limits<int>::max() ? current + 1 : current;
    store(path, engineId, next);
    return next;
}

} // namespace BootCounter
