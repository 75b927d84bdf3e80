#include "links/serial/SerialProtocol.h"

#include "core/DeviceState.h"
#include "core/DisplayFormats.h"

#include <array>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace serialproto
{

namespace
{

constexpr int TextSize = 10;

SerialFrame frame(QByteArray body, unsigned replyLength, int portIndex = -1)
{
    const auto command = std::uint8_t(body.front());
    appendChecksum(body);
    return {std::move(body), replyLength, {command, portIndex, std::nullopt}};
}

QByteArray bytes(std::initializer_list<std::uint8_t> values)
{
    QByteArray out;
    for (std::uint8_t b : values)
        out.append(char(b));
    return out;
}

// A description goes out as its first ten characters, blank-padded.
QByteArray padded(const QString& text)
{
    return text.toLatin1().left(TextSize).leftJustified(TextSize, ' ');
}

quint16 word(const SerialState& link, int offset)
{
    return quint16(link.rxFrame[std::size_t(offset)] << 8 | link.rxFrame[std::size_t(offset + 1)]);
}

QString text(const SerialState& link, int offset)
{
    return fmt::deviceText(reinterpret_cast<const char*>(link.rxFrame.data()) + offset, TextSize);
}

constexpr std::uint8_t EnabledBit = 0x01;
constexpr std::uint8_t LegacyBit = 0x20;
constexpr int ModelFirst = 2;
constexpr int ModelLast = 24;

} // namespace

void appendChecksum(QByteArray& frame)
{
    unsigned sum = 0;
    for (char b : std::as_const(frame))
        sum += std::uint8_t(b);
    frame.append(char((sum >> 8) & 0xFF));
    frame.append(char(sum & 0xFF));
}

bool replyChecksumOk(const SerialState& link, int n)
{
    if (n < 0 || n + 1 >= SerialState::FrameSize)
        return false;
    unsigned sum = 0;
    for (int i = 0; i < n; ++i)
        sum += link.rxFrame[std::size_t(i)];
    return link.rxFrame[std::size_t(n)] * 256u + link.rxFrame[std::size_t(n + 1)] == (sum & 0xFFFF);
}

SerialFrame buildIdentify()
{
    return frame(bytes({Identify}), 27);
}

SerialFrame buildLegacyIdentify()
{
    return frame(bytes({LegacyIdentify}), 7);
}

SerialFrame buildReset()
{
    return frame(bytes({Reset, 'R', 'E', 'S', 'E', 'T'}), 4);
}

SerialFrame buildWriteSystemSettings(const QString& description)
{
    // 03 and three times the 16-bit value 400: fixed values the device expects.
    return frame(bytes({WriteSystemSettings, 0x03, 0x01, 0x90, 0x01, 0x90, 0x01, 0x90}) + padded(description),
                 4);
}

SerialFrame buildWritePortSettings(int index, bool legacyDetection, bool enable, const QString& description)
{
    // Configuration byte: bits 7 and 6 always set, bit 5 legacy detection, bit 0 enabled.
    const std::uint8_t config = std::uint8_t(0xC0 | (legacyDetection ? 0x20 : 0) | (enable ? 0x01 : 0));
    return frame(bytes({WritePortSettings, std::uint8_t(index), 0x3F, config, 0x00, 0x00, 0x07}) +
                     padded(description),
                 4, index);
}

SerialFrame buildReadSystemStatus()
{
    return frame(bytes({ReadSystemStatus}), 27);
}

SerialFrame buildReadPortStatus(int index)
{
    return frame(bytes({ReadPortStatus, std::uint8_t(index)}), 27, index);
}

SerialFrame buildReadPortClassification(int index)
{
    return frame(bytes({ReadPortClassification, std::uint8_t(index)}), 16, index);
}

SerialFrame buildStoreSettings(bool toFlash)
{
    return frame(bytes({StoreSettings, std::uint8_t(toFlash ? 'S' : 'T')}), 4);
}

SerialFrame buildEnterDownload()
{
    return frame(bytes({EnterDownload}), 4);
}

SerialFrame buildLoaderCommand(const QByteArray& text, unsigned replyLength)
{
    return {
        text, replyLength, {text.isEmpty() ? std::uint8_t(0) : std::uint8_t(text.front()), -1, std::nullopt}};
}

std::optional<Identity> identity(const SerialState& link)
{
    const auto& rx = link.rxFrame;
    if (rx[1] != 0)
        return std::nullopt;
    if (rx[0] != Identify)
        return Identity{modelForLegacyCode(rx[2], rx[3])};
    QByteArray model;
    for (int i = ModelFirst; i <= ModelLast && rx[std::size_t(i)] != 0; ++i)
        model.append(char(rx[std::size_t(i)]));
    return Identity{QString::fromLatin1(model)};
}

bool SystemStatus::usable() const
{
    return portCount >= 1 && portCount <= MaxPorts;
}

SystemStatus systemStatus(const SerialState& link)
{
    const auto& rx = link.rxFrame;
    return {rx[12], rx[13], rx[14], text(link, 15)};
}

PortStatus portStatus(const SerialState& link)
{
    const std::uint8_t config = link.rxFrame[3];
    return {(config & EnabledBit) != 0,
            (config & LegacyBit) != 0,
            word(link, 6),
            word(link, 8),
            word(link, 10),
            link.rxFrame[14],
            text(link, 15)};
}

PortClassification portClassification(const SerialState& link)
{
    return {word(link, 3), word(link, 11)};
}

LoaderAnswer loaderAnswer(const SerialState& link)
{
    static constexpr std::array<std::pair<const char*, LoaderAnswer>, 6> messages{{
        {"TPE\r\n", LoaderAnswer::Ready},
        {"TOE\r\n", LoaderAnswer::EraseStarted},
        {"TE\r\n", LoaderAnswer::EraseDone},
        {"TOP\r\n", LoaderAnswer::ProgramStarted},
        {"T*\r\n", LoaderAnswer::NextLine},
        {"TP\r\n", LoaderAnswer::Complete},
    }};
    // Compared from offset 0; bytes beyond the message are not looked at.
    for (const auto& [message, answer] : messages) {
        const std::size_t length = std::strlen(message);
        if (link.expectedLength >= length && std::memcmp(link.rxFrame.data(), message, length) == 0)
            return answer;
    }
    return LoaderAnswer::Other;
}

} // namespace serialproto
