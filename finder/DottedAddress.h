#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>

namespace finder
{

// An IPv4 address or mask as four octets, first octet first (the order on the wire).
using Ipv4 = std::array<std::uint8_t, 4>;

// Dotted-quad text: four groups of one to three digits, each at most 255, single dots between them,
// then blanks only. Leading blanks are not allowed. Anything else reads as 0.0.0.0.
class DottedAddress
{
public:
    static Ipv4 parse(QStringView text);
    static QString format(const Ipv4& address);
};

} // namespace finder
