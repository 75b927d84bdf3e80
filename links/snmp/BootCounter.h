#pragma once

#include <QByteArray>
#include <QString>

// The SNMPv3 boot counter file: one line per local engine ID, the ID written with every 4-bit
// nibble as the character 0x40 + nibble, a blank and the boot count ("GCFNFMG@DGFEGD 1" for
// "snmpGet"). Lines of other engines are kept as they are.
namespace BootCounter
{

inline constexpr char fileName[] = "snmpv3_boot_counter";

QByteArray encodeEngineId(const QByteArray& engineId);
// The count stored for the engine; 0 when the file or the line is missing or unreadable.
int read(const QString& path, const QByteArray& engineId);
// Stores the count for the engine; false when the file cannot be written.
bool store(const QString& path, const QByteArray& engineId, int count);
// Reads, adds one and stores; returns the new count.
int advance(const QString& path, const QByteArray& engineId);

} // namespace BootCounter
