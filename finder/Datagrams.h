#pragma once

#include "finder/ModuleRecord.h"

#include <QByteArray>

namespace finder
{

// The datagrams ethfind sends to UDP port 36. Each begins with the magic 0x43 0x21 and a 16-bit command.
class Datagrams
{
public:
    static constexpr std::uint16_t searchCommand = 0x3039;
    static constexpr std::uint16_t setAddressCommand = 0x303A;
    static constexpr std::uint16_t setMaskCommand = 0x303B;
    static constexpr std::uint16_t authoriseCommand = 0x303F;
    static constexpr int maxPasswordLength = 15;

    static QByteArray search();
    // 104 bytes: MAC item, password item (clear text, at most 15 bytes), zero padding.
    static QByteArray authorisation(const Mac& mac, const QByteArray& password);
    static QByteArray setAddress(const Ipv4& ip, const Mac& mac);
    static QByteArray setMask(const Ipv4& ip, const Ipv4& mask, const Mac& mac);

    // A module that refuses a password or a change answers its sender with 20 bytes: magic,
    // 0x303F, the reason at 4, its MAC at 12. Empty for any other datagram.
    struct Refusal {
        Mac mac{};
        bool wrongPassword = false; // else the change came without the module's password
    };
    static std::optional<Refusal> refusal(QByteArrayView datagram);
};

} // namespace finder
