#pragma once

#include "finder/DottedAddress.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace finder
{

using Mac = std::array<std::uint8_t, 6>;

// One module as its search reply describes it (20 bytes, numbers most significant byte first):
// magic (2, not checked in replies), command 0x3039 (2), IP address (4), mask (4), MAC (6), identifier (2).
struct ModuleRecord {
    Ipv4 ip{};
    Ipv4 mask{};
    Mac mac{};
    std::uint16_t deviceId = 0;

    static constexpr qsizetype replySize = 20;

    // Empty unless the datagram is exactly one search reply.
    static std::optional<ModuleRecord> fromReply(QByteArrayView datagram);

    // The list line: IP, mask, MAC and identifier in columns of 15, 15, 17 and 6 (right-aligned).
    QString line() const;
    QString macText() const;

    bool operator==(const ModuleRecord&) const = default;
};

} // namespace finder
