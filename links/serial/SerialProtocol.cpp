#include "links/serial/SerialProtocol.h"

#include <cstring>
#include <initializer_list>

namespace serialproto
{

namespace
{

constexpr int TextSize = 10;

void frame(SerialLink& link, std::initializer_list<std::uint8_t> bytes, int sendLength, unsigned replyLength)
{
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
    frame(link, {0x0E}, 3, 27);
}

void buildLegacyIdentify(SerialLink& link)
{
    frame(link, {0x00}, 3, 7);
}

void buildReset(SerialLink& link)
{
    frame(link, {0x01, 'R', 'E', 'S', 'E', 'T'}, 8, 4);
}

void buildWriteSystemSettings(SerialLink& link, const QString& description)
{
    // 03 and three times the 16-bit value 400: fixed values the device expects.
    const std::initializer_list<std::uint8_t> head{0x02, 0x03, 0x01, 0x90, 0x01, 0x90, 0x01, 0x90};
    std::memcpy(link.txFrame.data(), head.begin(), head.size());
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
    const std::initializer_list<std::uint8_t> head{0x03, std::uint8_t(index), 0x3F, config, 0x00, 0x00, 0x07};
    std::memcpy(link.txFrame.data(), head.begin(), head.size());
    putText(link, 7, description);
    appendChecksum(link, 17);
    link.sendLength = 19;
    link.expectedLength = 4;
}

void buildReadSystemStatus(SerialLink& link)
{
    frame(link, {0x04}, 3, 27);
}

void buildReadPortStatus(SerialLink& link, int index)
{
    frame(link, {0x05, std::uint8_t(index)}, 4, 27);
}

void buildReadPortClassification(SerialLink& link, int index)
{
    frame(link, {0x08, std::uint8_t(index)}, 4, 16);
}

void buildStoreSettings(SerialLink& link, bool toFlash)
{
    frame(link, {0x09, std::uint8_t(toFlash ? 'S' : 'T')}, 4, 4);
}

void buildEnterDownload(SerialLink& link)
{
    frame(link, {0x0C}, 3, 4);
}

} // namespace serialproto
