#include "links/snmp/SnmpMidspan.h"

#include "core/Clock.h"
#include "core/DeviceState.h"
#include "links/snmp/BootCounter.h"
#include "links/snmp/MibRecord.h"
#include "links/snmp/PrivateMib.h"
#include "links/snmp/SnmpWorker.h"

namespace
{

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
    mib::UnitRecord record;
    const auto unitValues = read(mib::StatusUnitObjects);
    if (!unitValues)
        return std::nullopt;
    mib::read(record, mib::StatusUnitObjects, *unitValues);
    if (!record.portCount) {
        error_ =
            QStringLiteral("the midspan reports \"%1\" ports").arg(record.portCountText.value_or(QString()));
        return std::nullopt;
    }
    for (int first = 1; first <= *record.portCount; first += PortsPerRequest) {
        const int last = std::min(first + PortsPerRequest - 1, *record.portCount);
        QStringList objects;
        for (int port = first; port <= last; ++port) {
            for (const mib::Column column : mib::StatusPortColumns)
                objects << mib::portObject(column, port);
        }
        const auto values = read(objects);
        if (!values)
            return std::nullopt;
        mib::read(record, objects, *values);
    }
    return mib::unitReading(record, *record.portCount);
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
        mib::portObject(mib::Column::Admin, port), SnmpValue::integer(wanted),
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
    return writeText(mib::portObject(mib::Column::Description, port), text);
}

WriteResult SnmpMidspan::setSystemDescription(const QString& text)
{
    return writeText(mib::SystemDescription, text);
}
