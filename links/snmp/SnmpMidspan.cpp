#include "links/snmp/SnmpMidspan.h"

#include "core/Clock.h"
#include "core/DeviceState.h"
#include "links/snmp/BootCounter.h"
#include "links/snmp/PrivateMib.h"
#include "links/snmp/SnmpWorker.h"

#include <cmath>

namespace
{

using mib::Column;

// The objects of one port in a status read, in the order of portObjects().
constexpr Column portColumns[] = {Column::Admin,   Column::Status,      Column::Power, Column::Voltage,
                                  Column::Current, Column::Description, Column::Legacy};
constexpr int PortObjectCount = int(std::size(portColumns));

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

std::optional<int> wholeNumberIn(const SnmpValue& value)
{
    const auto number = numberIn(value);
    if (!number || std::abs(*number) > 2e9)
        return std::nullopt;
    return int(std::lround(*number));
}

QString textOf(const SnmpValue& value)
{
    return mib::trimBlanks(value.printable());
}

} // namespace

void SnmpMidspan::setUpEngine(bool v3, const QString& bootCounterPath)
{
    if (v3) {
        BootCounter::advance(bootCounterPath, SnmpWorker::localEngineV3);
        SnmpClient::setLocalEngineId(SnmpWorker::localEngineV3);
    } else {
        SnmpClient::setLocalEngineId(SnmpWorker::localEngineV2c);
    }
}

SnmpMidspan::SnmpMidspan(const SnmpTarget& target, Clock& clock) : target_(target), clock_(clock)
{
    client_ = std::make_unique<SnmpClient>(target);
    if (!client_->isOpen())
        error_ = client_->errorText();
    else if (target.v3 && client_->engineId().isEmpty())
        error_ = QStringLiteral("no answer to the SNMPv3 engine discovery");
}

SnmpMidspan::~SnmpMidspan() = default;

std::optional<std::vector<SnmpValue>> SnmpMidspan::read(const QStringList& objects)
{
    if (!client_->isOpen() || (target_.v3 && client_->engineId().isEmpty()))
        return std::nullopt; // the constructor has said why
    auto values = client_->get(objects);
    if (!values)
        noteFailure();
    return values;
}

void SnmpMidspan::noteFailure()
{
    error_ = client_->answered() ? client_->errorText()
                                 : QStringLiteral("no answer (%1)").arg(client_->errorText());
}

WriteResult SnmpMidspan::failure() const
{
    return {client_->answered() ? WriteResult::Outcome::Refused : WriteResult::Outcome::NoAnswer, error_};
}

std::optional<QString> SnmpMidspan::readModel()
{
    const auto values = read({mib::Identity});
    if (!values)
        return std::nullopt;
    return textOf(values->front());
}

std::optional<int> SnmpMidspan::readPortCount()
{
    const auto values = read({mib::PortCount});
    if (!values)
        return std::nullopt;
    const auto count = mib::portCount(values->front().printable());
    if (!count) {
        error_ = QStringLiteral("the midspan reports \"%1\" ports").arg(values->front().printable());
        return std::nullopt;
    }
    return count;
}

std::optional<UnitReading> SnmpMidspan::readStatus()
{
    const auto unitValues = read({mib::Firmware, mib::Hardware, mib::PortCount, mib::SystemDescription});
    if (!unitValues)
        return std::nullopt;
    const auto count = mib::portCount(unitValues->at(2).printable());
    if (!count) {
        error_ = QStringLiteral("the midspan reports \"%1\" ports").arg(unitValues->at(2).printable());
        return std::nullopt;
    }
    UnitReading unit;
    unit.firmware = textOf(unitValues->at(0));
    unit.hardware = textOf(unitValues->at(1));
    unit.portCount = *count;
    unit.description = textOf(unitValues->at(3));

    for (int first = 1; first <= unit.portCount; first += PortsPerRequest) {
        const int last = std::min(first + PortsPerRequest - 1, unit.portCount);
        QStringList objects;
        for (int port = first; port <= last; ++port) {
            for (const Column column : portColumns)
                objects << mib::portObject(column, port);
        }
        const auto values = read(objects);
        if (!values)
            return std::nullopt;
        for (int port = first; port <= last; ++port) {
            const SnmpValue* v = values->data() + (port - first) * PortObjectCount;
            PortReading reading;
            reading.port = port;
            reading.enabled = mib::onOff(v[0].printable());
            reading.status = wholeNumberIn(v[1]);
            reading.powerMw = wholeNumberIn(v[2]);
            reading.voltageV = numberIn(v[3]);
            reading.currentMa = wholeNumberIn(v[4]);
            reading.description = textOf(v[5]);
            reading.legacy = mib::onOff(v[6].printable());
            unit.ports.push_back(reading);
        }
    }
    return unit;
}

WriteResult SnmpMidspan::write(const QString& object, const SnmpValue& value, const Matches& matches,
                               const Shown& shown)
{
    const auto before = read({object});
    if (!before)
        return failure();
    if (matches(before->front()))
        return {WriteResult::Outcome::AlreadySo, {}};
    if (!client_->set(object, value)) {
        noteFailure();
        return failure();
    }
    clock_.wait(int(SnmpWorker::pauseAfterSet.count()));
    const auto after = read({object});
    if (!after)
        return failure();
    if (!matches(after->front()))
        return {WriteResult::Outcome::NotHeld, shown(after->front())};
    return {};
}

WriteResult SnmpMidspan::setPortEnabled(int port, bool enabled)
{
    const int wanted = enabled ? mib::On : mib::Off;
    return write(
        mib::portObject(Column::Admin, port), SnmpValue::integer(wanted),
        [enabled](const SnmpValue& read) { return mib::onOff(read.printable()) == enabled; },
        [](const SnmpValue& read) {
            const auto on = mib::onOff(read.printable());
            return on ? QString::fromLatin1(*on ? "on" : "off") : read.printable();
        });
}

WriteResult SnmpMidspan::writeText(const QString& object, const QString& text)
{
    const QString wanted = mib::trimBlanks(text);
    return write(
        object, SnmpValue::text(wanted.toLatin1()),
        [wanted](const SnmpValue& read) { return textOf(read) == wanted; },
        [](const SnmpValue& read) { return QLatin1Char('"') + textOf(read) + QLatin1Char('"'); });
}

WriteResult SnmpMidspan::setPortDescription(int port, const QString& text)
{
    return writeText(mib::portObject(Column::Description, port), text);
}

WriteResult SnmpMidspan::setSystemDescription(const QString& text)
{
    return writeText(mib::SystemDescription, text);
}
