#include "finder/Datagrams.h"

namespace finder
{

namespace
{

constexpr qsizetype shortSize = 20;
constexpr qsizetype authorisationSize = 104;
constexpr char macItem = 0x03;
constexpr char passwordItem = 0x05;

QByteArray header(std::uint16_t command, qsizetype size)
{
    QByteArray d(size, '\0');
    d[0] = 0x43;
    d[1] = 0x21;
    d[2] = static_cast<char>(command >> 8);
    d[3] = static_cast<char>(command & 0xFF);
    return d;
}

template <std::size_t N> void put(QByteArray& d, qsizetype offset, const std::array<std::uint8_t, N>& bytes)
{
    for (std::size_t i = 0; i < N; ++i)
        d[offset + static_cast<qsizetype>(i)] = static_cast<char>(bytes[i]);
}

} // namespace

QByteArray Datagrams::search()
{
    return header(searchCommand, shortSize);
}

QByteArray Datagrams::authorisation(const Mac& mac, const QByteArray& password)
{
    QByteArray d = header(authoriseCommand, authorisationSize);
    d[4] = macItem;
    d[5] = 6;
    put(d, 6, mac);
    const QByteArray secret = password.left(maxPasswordLength);
    d[12] = passwordItem;
    d[13] = static_cast<char>(secret.size());
    d.replace(14, secret.size(), secret);
    return d;
}

QByteArray Datagrams::setAddress(const Ipv4& ip, const Mac& mac)
{
    QByteArray d = header(setAddressCommand, shortSize);
    put(d, 4, ip);
    put(d, 12, mac);
    return d;
}

std::optional<Datagrams::Refusal> Datagrams::refusal(QByteArrayView d)
{
    constexpr char wrongPassword = 1;
    constexpr char notAuthorised = 2;
    if (d.size() != shortSize || d[2] != char(authoriseCommand >> 8) ||
        d[3] != char(authoriseCommand & 0xFF) || (d[4] != wrongPassword && d[4] != notAuthorised))
        return std::nullopt;
    Refusal refused;
    for (std::size_t i = 0; i < refused.mac.size(); ++i)
        refused.mac[i] = static_cast<std::uint8_t>(d[12 + static_cast<qsizetype>(i)]);
    refused.wrongPassword = d[4] == wrongPassword;
    return refused;
}

QByteArray Datagrams::setMask(const Ipv4& ip, const Ipv4& mask, const Mac& mac)
{
    QByteArray d = header(setMaskCommand, shortSize);
    put(d, 4, ip);
    put(d, 8, mask);
    put(d, 12, mac);
    return d;
}

} // namespace finder
