#include "links/serial/SerialMidspan.h"

#include "core/DeviceState.h"
#include "core/DisplayFormats.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialProtocol.h"

namespace
{

constexpr int TextSize = 10;

// A description as the device keeps it: ten characters, blank-padded, trimmed when read.
QString asKept(const QString& text)
{
    return text.left(TextSize).trimmed();
}

QString onOff(bool on)
{
    return QString::fromLatin1(on ? "on" : "off");
}

} // namespace

SerialMidspan::SerialMidspan(const QString& name, const QString& devicePath, Clock& clock)
    : name_(name), devicePath_(devicePath), exchange_(clock)
{
}

bool SerialMidspan::open()
{
    if (exchange_.open(devicePath_))
        return true;
    error_ = QStringLiteral("cannot open %1 (%2)").arg(devicePath_, exchange_.errorText());
    return false;
}

bool SerialMidspan::request(const SerialFrame& frame, int tries)
{
    bool damaged = false;
    for (int i = 0; i < tries; ++i) {
        const auto result = exchange_.exchange(frame, SerialLink::ReplyTimeout);
        if (result == SerialExchange::Result::Reply)
            return true;
        damaged = damaged || result == SerialExchange::Result::BadReply;
    }
    error_ = damaged ? QStringLiteral("no good reply (wrong checksums)") : QStringLiteral("no answer");
    return false;
}

std::optional<QString> SerialMidspan::identify()
{
    // Older midspans know only the older identification.
    if (!request(serialproto::buildIdentify(), 1) && !request(serialproto::buildLegacyIdentify(), 1))
        return std::nullopt;
    const auto identity = serialproto::identity(exchange_.link());
    if (!identity)
        return std::nullopt;
    return identity->model.value_or(QString());
}

std::optional<serialproto::SystemStatus> SerialMidspan::readSystem()
{
    if (!request(serialproto::buildReadSystemStatus()))
        return std::nullopt;
    const serialproto::SystemStatus status = serialproto::systemStatus(exchange_.link());
    if (!status.usable()) {
        error_ = QStringLiteral("the midspan reports %1 ports").arg(status.portCount);
        return std::nullopt;
    }
    return status;
}

std::optional<int> SerialMidspan::readPortCount()
{
    const auto status = readSystem();
    if (!status)
        return std::nullopt;
    return status->portCount;
}

std::optional<UnitReading> SerialMidspan::readStatus()
{
    const auto status = readSystem();
    if (!status)
        return std::nullopt;
    UnitReading unit;
    unit.firmware = fmt::firmwareRevision(status->firmware);
    unit.hardware = fmt::hardwareRevision(status->hardware);
    unit.portCount = status->portCount;
    unit.description = status->description;
    for (int port = 1; port <= unit.portCount; ++port) {
        const auto settings = readPort(port);
        if (!settings)
            return std::nullopt;
        unit.ports.push_back(settings->reading);
    }
    return unit;
}

std::optional<SerialMidspan::PortSettings> SerialMidspan::readPort(int port)
{
    if (!request(serialproto::buildReadPortStatus(port - 1)))
        return std::nullopt;
    const serialproto::PortStatus status = serialproto::portStatus(exchange_.link());
    PortSettings settings;
    PortReading& r = settings.reading;
    r.port = port;
    r.enabled = status.enabled;
    settings.legacy = status.legacy;
    r.legacy = status.legacy;
    r.powerMw = status.powerMw;
    r.voltageV = fmt::decivolts(status.decivolts).toDouble();
    r.currentMa = status.currentMa;
    r.status = status.status;
    r.description = status.description;
    return settings;
}

WriteResult SerialMidspan::writePort(int port, const PortSettings& before, bool enabled,
                                     const QString& description)
{
    const QString wanted = asKept(description);
    if (before.reading.enabled == enabled && before.reading.description == wanted)
        return {WriteResult::Outcome::AlreadySo, {}};
    if (!request(serialproto::buildWritePortSettings(port - 1, before.legacy, enabled, wanted)))
        return noAnswer();
    const auto after = readPort(port);
    if (!after)
        return noAnswer();
    if (after->reading.enabled != enabled)
        return {WriteResult::Outcome::NotHeld, onOff(*after->reading.enabled)};
    if (after->reading.description != wanted)
        return {WriteResult::Outcome::NotHeld,
                QLatin1Char('"') + after->reading.description + QLatin1Char('"')};
    return {};
}

WriteResult SerialMidspan::setPortEnabled(int port, bool enabled)
{
    const auto before = readPort(port);
    if (!before)
        return noAnswer();
    return writePort(port, *before, enabled, before->reading.description);
}

WriteResult SerialMidspan::setPortDescription(int port, const QString& text)
{
    const auto before = readPort(port);
    if (!before)
        return noAnswer();
    return writePort(port, *before, *before->reading.enabled, text);
}

WriteResult SerialMidspan::setSystemDescription(const QString& description)
{
    const QString wanted = asKept(description);
    const auto before = readSystem();
    if (!before)
        return noAnswer();
    if (before->description == wanted)
        return {WriteResult::Outcome::AlreadySo, {}};
    if (!request(serialproto::buildWriteSystemSettings(wanted)))
        return noAnswer();
    const auto after = readSystem();
    if (!after)
        return noAnswer();
    if (after->description != wanted)
        return {WriteResult::Outcome::NotHeld, QLatin1Char('"') + after->description + QLatin1Char('"')};
    return {};
}
