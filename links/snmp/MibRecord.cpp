#include "links/snmp/MibRecord.h"

#include <cmath>

namespace mib
{
namespace
{

// A number only where the agent sent one, or a text that is one from end to end: an address, an
// object identifier or a hex dump is no measurement.
std::optional<double> numberIn(const SnmpValue& value)
{
    using S = SnmpValue::Syntax;
    switch (value.syntax) {
    case S::Integer:
    case S::Counter32:
    case S::Gauge32:
    case S::TimeTicks:
    case S::Counter64:
        return double(value.number);
    case S::OctetString: {
        bool ok = false;
        const double number = QString::fromLatin1(value.octets).trimmed().toDouble(&ok);
        return ok && std::isfinite(number) ? std::optional(number) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<int> wholeNumber(const std::optional<Measure>& measure)
{
    if (!measure || !measure->number || std::abs(*measure->number) > 2e9)
        return std::nullopt;
    return int(std::lround(*measure->number));
}

// The port and column of a port table object, when `object` is one of a port the record holds.
std::optional<std::pair<int, int>> portColumn(const QString& object)
{
    const QString table = Enterprise + QStringLiteral(".2.3.1.");
    if (!object.startsWith(table))
        return std::nullopt;
    const QStringList parts = object.mid(table.size()).split(u'.');
    if (parts.size() != 2)
        return std::nullopt;
    bool columnOk = false;
    bool portOk = false;
    const int column = parts[0].toInt(&columnOk);
    const int port = parts[1].toInt(&portOk);
    if (!columnOk || !portOk || port < 1 || port > MaxPorts || portObject(Column(column), port) != object)
        return std::nullopt;
    return std::pair(port, column);
}

void readPort(PortRecord& port, Column column, const SnmpValue& value, const QString& text)
{
    const auto measure = [&] { return Measure{text, numberIn(value)}; };
    switch (column) {
    case Column::Admin:
        port.admin = leadingNumber(text);
        break;
    case Column::Description:
        port.description = trimBlanks(text);
        break;
    case Column::Status:
        port.status = leadingNumber(text);
        break;
    case Column::Power:
        port.power = measure();
        break;
    case Column::Voltage:
        port.voltage = measure();
        break;
    case Column::Current:
        port.current = measure();
        break;
    case Column::Resistance:
        port.resistance = measure();
        break;
    case Column::Legacy:
        port.legacy = leadingNumber(text);
        break;
    }
}

void readOne(UnitRecord& record, const QString& object, const SnmpValue& value)
{
    const QString text = value.printable();
    if (text.isEmpty())
        return; // a "no such" answer or an empty text tells nothing
    if (object == Firmware) {
        record.firmware = text;
    } else if (object == Hardware) {
        record.hardware = text;
    } else if (object == PortCount) {
        record.portCountText = text;
        record.portCount = mib::portCount(text);
    } else if (object == SystemDescription) {
        record.description = trimBlanks(text);
    } else if (const auto at = portColumn(object)) {
        readPort(record.ports[std::size_t(at->first)], Column(at->second), value, text);
    }
}

} // namespace

void read(UnitRecord& record, const QStringList& objects, const std::vector<SnmpValue>& values)
{
    const std::size_t count = std::min(std::size_t(objects.size()), values.size());
    for (std::size_t i = 0; i < count; ++i)
        readOne(record, objects[qsizetype(i)], values[i]);
}

UnitReading unitReading(const UnitRecord& record, int portCount)
{
    UnitReading unit;
    unit.firmware = trimBlanks(record.firmware.value_or(QString()));
    unit.hardware = trimBlanks(record.hardware.value_or(QString()));
    unit.portCount = portCount;
    unit.description = record.description.value_or(QString());
    for (int p = 1; p <= std::min(portCount, MaxPorts); ++p) {
        const PortRecord& r = record.ports[std::size_t(p)];
        PortReading reading;
        reading.port = p;
        reading.enabled = onOff(r.admin);
        reading.status = r.status;
        reading.powerMw = wholeNumber(r.power);
        reading.voltageV = r.voltage ? r.voltage->number : std::nullopt;
        reading.currentMa = wholeNumber(r.current);
        reading.description = r.description.value_or(QString());
        reading.legacy = onOff(r.legacy);
        unit.ports.push_back(reading);
    }
    return unit;
}

} // namespace mib
