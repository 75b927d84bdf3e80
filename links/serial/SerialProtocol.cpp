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

void frame(SerialLink& link, std::initializer_list<std::uint8_t> bytes, int sendLength, unsigned replyLength,
           int portIndex = -1)
{
    link.request = {*bytes.begin(), portIndex, std::nullopt};
    int n = 0;
    for (std::uint8_t b : bytes)
        link.txFrame[std::size_t(n++)] = b;
    appendChecksum(link, n);
    link.sendLength = sendLength;
    link.expectedLength = replyLength;
}

// A description goes out as its first ten characters, blank-padded.
void putText(SerialLink& link, int offset, const QString& text)
{
    const QByteArray bytes = text.toLatin1().left(TextSize);
    for (int i = 0; i < TextSize; ++i)
        link.txFrame[std::size_t(offset + i)] = i < bytes.size() ? std::uint8_t(bytes[i]) : std::uint8_t(' ');
}

quint16 word(const SerialLink& link, int offset)
{
    return quint16(link.rxFrame[std::size_t(offset)] << 8 | link.rxFrame[std::size_t(offset + 1)]);
}

QString text(const SerialLink& link, int offset)
{
    return fmt::deviceText(reinterpret_cast<const char*>(link.rxFrame.data()) + offset, TextSize);
}

constexpr std::uint8_t EnabledBit = 0x01;
constexpr std::uint8_t LegacyBit = 0x20;
constexpr int ModelFirst = 2;
constexpr int ModelLast = 24;

} // namespace

void appendChecksum(SerialLink& link, int n)
{
    unsigned sum = 0;
    for (int i = 0; i < n; ++i)
        sum += link.txFrame[std::size_t(i)];
    link.txFrame[std::size_t(n)] = std::uint8_t((sum >> 8) & 0xFF);
    link.txFrame[std::size_t(n + 1)] = std::uint8_t(sum & 0xFF);
}

bool replyChecksumOk(const SerialLink& link, int n)
{
    if (n < 0 || n + 1 >= SerialLink::FrameSize)
        return false;
    unsigned sum = 0;
    for (int i = 0; i < n; ++i)
        sum += link.rxFrame[std::size_t(i)];
    return link.rxFrame[std::size_t(n)] * 256u + link.rxFrame[std::size_t(n + 1)] == (sum & 0xFFFF);
}

void buildIdentify(SerialLink& link)
{
    frame(link, {Identify}, 3, 27);
}

void buildLegacyIdentify(SerialLink& link)
{
    frame(link, {LegacyIdentify}, 3, 7);
}

void buildReset(SerialLink& link)
{
    frame(link, {Reset, 'R', 'E', 'S', 'E', 'T'}, 8, 4);
}

void buildWriteSystemSettings(SerialLink& link, const QString& description)
{
    // 03 and three times the 16-bit value 400: fixed values the device expects.
    const std::initializer_list<std::uint8_t> head{
        WriteSystemSettings, 0x03, 0x01, 0x90, 0x01, 0x90, 0x01, 0x90};
    std::memcpy(link.txFrame.data(), head.begin(), head.size());
    link.request = {WriteSystemSettings, -1, std::nullopt};
    putText(link, 8, description);
    appendChecksum(link, 18);
    link.sendLength = 20;
    link.expectedLength = 4;
}

void buildWritePortSettings(SerialLink& link, int index, bool legacyDetection, bool enable,
                            const QString& description)
{
    // Configuration byte: bits 7 and 6 always set, bit 5 legacy detection, bit 0 enabled.
    const std::uint8_t config = std::uint8_t(0xC0 | (legacyDetection ? 0x20 : 0) | (enable ? 0x01 : 0));
    const std::initializer_list<std::uint8_t> head{
        WritePortSettings, std::uint8_t(index), 0x3F, config, 0x00, 0x00, 0x07};
    std::memcpy(link.txFrame.data(), head.begin(), head.size());
    link.request = {WritePortSettings, index, std::nullopt};
    putText(link, 7, description);
    appendChecksum(link, 17);
    link.sendLength = 19;
    link.expectedLength = 4;
}

void buildReadSystemStatus(SerialLink& link)
{
    frame(link, {ReadSystemStatus}, 3, 27);
}

void buildReadPortStatus(SerialLink& link, int index)
{
    frame(link, {ReadPortStatus, std::uint8_t(index)}, 4, 27, index);
}

void buildReadPortClassification(SerialLink& link, int index)
{
    frame(link, {ReadPortClassification, std::uint8_t(index)}, 4, 16, index);
}

void buildStoreSettings(SerialLink& link, bool toFlash)
{
    frame(link, {StoreSettings, std::uint8_t(toFlash ? 'S' : 'T')}, 4, 4);
}

void buildEnterDownload(SerialLink& link)
{
    frame(link, {EnterDownload}, 3, 4);
}

std::optional<Identity> identity(const SerialLink& link)
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

SystemStatus systemStatus(const SerialLink& link)
{
    const auto& rx = link.rxFrame;
    return {rx[12], rx[13], rx[14], text(link, 15)};
}

PortStatus portStatus(const SerialLink& link)
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

PortClassification portClassification(const SerialLink& link)
{
    return {word(link, 3), word(link, 11)};
}

LoaderAnswer loaderAnswer(const SerialLink& link)
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
