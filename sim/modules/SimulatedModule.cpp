#include "SimulatedModule.h"

namespace
{

constexpr int searchCommand = 0x3039;
constexpr int setAddressCommand = 0x303A;
constexpr int setMaskCommand = 0x303B;
constexpr int authoriseCommand = 0x303F;

std::uint8_t at(const QByteArray& d, int i)
{
    return static_cast<std::uint8_t>(d[i]);
}

template <std::size_t N> std::array<std::uint8_t, N> octets(const QByteArray& d, int offset)
{
    std::array<std::uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i)
        out[i] = at(d, offset + static_cast<int>(i));
    return out;
}

QString dotted(const std::array<std::uint8_t, 4>& a)
{
    return QString::asprintf("%d.%d.%d.%d", a[0], a[1], a[2], a[3]);
}

} // namespace

SimulatedModule::SimulatedModule(Octets4 ip, Octets4 mask, Octets6 mac, std::uint16_t deviceId,
                                 QByteArray password)
    : ip_(ip), mask_(mask), mac_(mac), deviceId_(deviceId), password_(std::move(password))
{
}

bool SimulatedModule::forMe(const QByteArray& d, int macOffset) const
{
    return d.size() >= macOffset + 6 && octets<6>(d, macOffset) == mac_;
}

SimulatedModule::Event SimulatedModule::handle(const QByteArray& d)
{
    if (d.size() < 4 || at(d, 0) != 0x43 || at(d, 1) != 0x21)
        return Event::None;
    const int command = at(d, 2) << 8 | at(d, 3);
    switch (command) {
    case searchCommand:
        authorised_ = false;
        return Event::SearchReply;
    case authoriseCommand: {
        // MAC item (type 3, length 6) at 4, password item (type 5, length n) at 12.
        if (d.size() < 14 || !forMe(d, 6) || at(d, 4) != 3 || at(d, 12) != 5)
            return Event::None;
        const int length = at(d, 13);
        authorised_ = length <= 15 && d.size() >= 14 + length && d.mid(14, length) == password_;
        return authorised_ ? Event::Authorised : Event::AuthorisationRefused;
    }
    case setAddressCommand:
    case setMaskCommand:
        if (d.size() < 20 || !forMe(d, 12))
            return Event::None;
        if (!password_.isEmpty() && !authorised_)
            return Event::Refused;
        ip_ = octets<4>(d, 4);
        if (command == setMaskCommand)
            mask_ = octets<4>(d, 8);
        return Event::Applied;
    default:
        return Event::None;
    }
}

QByteArray SimulatedModule::record() const
{
    QByteArray r(20, '\0');
    r[0] = 0x43;
    r[1] = 0x21;
    r[2] = static_cast<char>(searchCommand >> 8);
    r[3] = static_cast<char>(searchCommand & 0xFF);
    for (int i = 0; i < 4; ++i) {
        r[4 + i] = static_cast<char>(ip_[i]);
        r[8 + i] = static_cast<char>(mask_[i]);
    }
    for (int i = 0; i < 6; ++i)
        r[12 + i] = static_cast<char>(mac_[i]);
    r[18] = static_cast<char>(deviceId_ >> 8);
    r[19] = static_cast<char>(deviceId_ & 0xFF);
    return r;
}

QString SimulatedModule::describe() const
{
    return QString::asprintf("%s/%s %02X-%02X-%02X-%02X-%02X-%02X", qPrintable(dotted(ip_)),
                             qPrintable(dotted(mask_)), mac_[0], mac_[1], mac_[2], mac_[3], mac_[4], mac_[5]);
}
