#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// One Ethernet module as seen on UDP port 36. It answers the search with its 20-byte record and takes
// a new address or mask for its own MAC address; with a password it takes them only after a matching
// authorisation, which holds until the next search.
class SimulatedModule
{
public:
    using Octets4 = std::array<std::uint8_t, 4>;
    using Octets6 = std::array<std::uint8_t, 6>;

    SimulatedModule(Octets4 ip, Octets4 mask, Octets6 mac, std::uint16_t deviceId, QByteArray password);

    enum class Event { None, SearchReply, Authorised, AuthorisationRefused, Applied, Refused };

    // Handles one datagram addressed to port 36 and says what came of it.
    Event handle(const QByteArray& datagram);

    QByteArray record() const;
    QString describe() const; // "ip/mask mac"

private:
    bool forMe(const QByteArray& datagram, int macOffset) const;

    Octets4 ip_;
    Octets4 mask_;
    Octets6 mac_;
    std::uint16_t deviceId_;
    QByteArray password_;
    bool authorised_ = false;
};
