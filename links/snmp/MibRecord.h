#pragma once

#include "core/DeviceState.h"
#include "core/MidspanAccess.h"
#include "links/snmp/PrivateMib.h"
#include "links/snmp/SnmpAgent.h"

#include <QStringList>

#include <array>
#include <optional>
#include <vector>

// The objects a status read asks the midspan for, in the order asked, and the one reader that
// turns the agent's answers into the unit's record, for the window's session and for SnmpMidspan.
namespace mib
{

// The window's refresh, one object per exchange, in the order the screen fills: the system
// objects (port 1's legacy detection stands for the whole unit), then seven objects of each port.
inline const QStringList RefreshSystemObjects{Firmware, Hardware, portObject(Column::Legacy, 1), PortCount,
                                              SystemDescription};
inline constexpr Column RefreshPortColumns[] = {Column::Admin,      Column::Power,      Column::Voltage,
                                                Column::Current,    Column::Resistance, Column::Status,
                                                Column::Description};

// SnmpMidspan's status read, several objects per request: the unit's objects first, then the
// objects of a few ports at a time, with the legacy detection of each port.
inline const QStringList StatusUnitObjects{Firmware, Hardware, PortCount, SystemDescription};
inline constexpr Column StatusPortColumns[] = {Column::Admin,   Column::Status,  Column::Power,
                                               Column::Voltage, Column::Current, Column::Description,
                                               Column::Legacy};

// A measured value: the agent's text, which the window shows as it is, and the number the text
// or the value stands for, when it is one.
struct Measure {
    QString text;
    std::optional<double> number;
};

// What the objects read say of one port. A field stays empty when its object was not in the
// answer, came as a "no such" answer or as an empty text: a window keeps what it showed.
struct PortRecord {
    std::optional<int> admin;  // the number read: On enabled, Off disabled
    std::optional<int> status; // the device's status code
    std::optional<Measure> power, voltage, current, resistance;
    std::optional<QString> description; // without leading and trailing blanks
    std::optional<int> legacy;          // the number read: On, Off
};

// What the objects read say of the unit, by the same rules.
struct UnitRecord {
    std::optional<QString> firmware; // as the agent sent it
    std::optional<QString> hardware;
    std::optional<QString> portCountText;
    std::optional<int> portCount;               // only a count the pages and arrays can hold
    std::optional<QString> description;         // without leading and trailing blanks
    std::array<PortRecord, MaxPorts + 1> ports; // by port number
};

// Takes the agent's values of `objects`, which came in the order asked, into `record`. A value
// is read as its printable text, numbers from the start of that text; objects beyond the values
// given, and objects none of the reads ask for, change nothing.
void read(UnitRecord& record, const QStringList& objects, const std::vector<SnmpValue>& values);

// The record as programs without a window report it, for ports 1..portCount.
UnitReading unitReading(const UnitRecord& record, int portCount);

} // namespace mib
