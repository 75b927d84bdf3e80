#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The SNMPv3 boot counter file: one line per local engine ID, the ID written with every 4-bit
// nibble as the character 0x40 + nibble, a blank and the boot count ("GCFNFMG@DGFEGD 1" for
// "snmpGet"). Lines of other engines are kept as they are.
//
// Only a regular file of at most SizeLimit bytes is read, never through a symbolic link, and it
// is replaced, never written through (see regularfile::replace).
namespace BootCounter
{

inline constexpr char fileName[] = "snmpv3_boot_counter";
inline constexpr qint64 SizeLimit = 64 * 1024;

QByteArray encodeEngineId(const QByteArray& engineId);
// The count stored for the engine; 0 when the file or the line is missing or unreadable.
int read(const QString& path, const QByteArray& engineId);
// Stores the count for the engine; the reason when the file cannot be written.
std::optional<QString> store(const QString& path, const QByteArray& engineId, int count);
// Reads, adds one and stores; returns the new count.
int advance(const QString& path, const QByteArray& engineId);
// Why the file cannot serve as the boot counter (it is no regular file, too large, another
// user's); nothing when it can or does not exist yet.
std::optional<QString> problem(const QString& path);

} // namespace BootCounter
