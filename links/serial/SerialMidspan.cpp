#include "links/serial/SerialMidspan.h"

#include "core/DeviceState.h"
#include "core/DisplayFormats.h"
#include "links/serial/SerialProtocol.h"
#include "links/serial/SerialSession.h"

namespace
{

constexpr int TextSize = 10;
constexpr std::uint8_t EnabledBit = 0x01;
constexpr std::uint8_t LegacyBit = 0x20;

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

bool SerialMidspan::request(const SerialExchange::Builder& build, int tries)
{
    bool damaged = false;
    for (int i = 0; i < tries; ++i) {
        const auto result = exchange_.exchange(build, SerialSession::ReplyTimeout);
        if (result == SerialExchange::Result::Reply)
            return true;
        damaged = damaged || result == SerialExchange::Result::BadReply;
    }
    error_ = damaged ? QStringLiteral("no good reply (wrong checksums)") : QStringLiteral("no answer");
    return false;
}

quint16 SerialMidspan::word(int offset) const
{
    const auto& rx = exchange_.link().rxFrame;
    return quint16(rx[std::size_t(offset)] << 8 | rx[std::size_t(offset + 1)]);
}

QString SerialMidspan::text(int offset) const
{
    return fmt::deviceText(reinterpret_cast<const char*>(exchange_.link().rxFrame.data()) + offset, TextSize);
}

std::optional<QString> SerialMidspan::identify()
{
    const auto& rx = exchange_.link().rxFrame;
    if (request(serialproto::buildIdentify, 1)) {
        if (rx[1] != 0)
            return std::nullopt;
        QByteArray model;
        for (std::size_t i = 2; i <= 24 && rx[i] != 0; ++i)
            model.append(char(rx[i]));
        return QString::fromLatin1(model);
    }
    // Older midspans know only the older identification.
    if (!request(serialproto::buildLegacyIdentify, 1) || rx[1] != 0)
        return std::nullopt;
    return modelForLegacyCode(rx[2], rx[3]).value_or(QString());
}

bool SerialMidspan::readSystem()
{
    if (!request(serialproto::buildReadSystemStatus))
        return false;
    const int ports = exchange_.link().rxFrame[14];
    if (ports < 1 || ports > MaxPorts) {
        error_ = QStringLiteral("the midspan reports %1 ports").arg(ports);
        return false;
    }
    return true;
}

std::optional<int> SerialMidspan::readPortCount()
{
    if (!readSystem())
        return std::nullopt;
    return exchange_.link().rxFrame[14];
}

std::optional<UnitReading> SerialMidspan::readStatus()
{
    if (!readSystem())
        return std::nullopt;
    const auto& rx = exchange_.link().rxFrame;
    UnitReading unit;
    unit.firmware = fmt::firmwareRevision(rx[12]);
    unit.hardware = fmt::hardwareRevision(rx[13]);
    unit.portCount = rx[14];
    unit.description = text(15);
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
    if (!request([port](SerialLink& link) { serialproto::buildReadPortStatus(link, port - 1); }))
        return std::nullopt;
    const auto& rx = exchange_.link().rxFrame;
    PortSettings settings;
    PortReading& r = settings.reading;
    r.port = port;
    r.enabled = (rx[3] & EnabledBit) != 0;
    settings.legacy = (rx[3] & LegacyBit) != 0;
    r.legacy = settings.legacy;
    r.powerMw = word(6);
    r.voltageV = fmt::decivolts(word(8)).toDouble();
    r.currentMa = word(10);
    r.status = rx[14];
    r.description = text(15);
    return settings;
}

WriteResult SerialMidspan::writePort(int port, const PortSettings& before, bool enabled,
                                     const QString& description)
{
    const QString wanted = asKept(description);
    if (before.reading.enabled == enabled && before.reading.description == wanted)
        return {WriteResult::Outcome::AlreadySo, {}};
    const bool legacy = before.legacy;
    if (!request([&](SerialLink& link) {
            serialproto::buildWritePortSettings(link, port - 1, legacy, enabled, wanted);
        }))
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
    if (!readSystem())
        return noAnswer();
    if (text(15) == wanted)
        return {WriteResult::Outcome::AlreadySo, {}};
    if (!request([&](SerialLink& link) { serialproto::buildWriteSystemSettings(link, wanted); }))
        return noAnswer();
    if (!readSystem())
        return noAnswer();
    if (text(15) != wanted)
        return {WriteResult::Outcome::NotHeld, QLatin1Char('"') + text(15) + QLatin1Char('"')};
    return {};
}
