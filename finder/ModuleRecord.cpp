#include "finder/ModuleRecord.h"

#include "finder/Datagrams.h"

namespace finder
{

std::optional<ModuleRecord> ModuleRecord::fromReply(QByteArrayView d)
{
    if (d.size() != replySize)
        return std::nullopt;
    const auto byte = [&d](int i) { return static_cast<std::uint8_t>(d[i]); };
    if ((byte(2) << 8 | byte(3)) != Datagrams::searchCommand)
        return std::nullopt;
    ModuleRecord r;
    for (int i = 0; i < 4; ++i) {
        r.ip[i] = byte(4 + i);
        r.mask[i] = byte(8 + i);
    }
    for (int i = 0; i < 6; ++i)
        r.mac[i] = byte(12 + i);
    r.deviceId = static_cast<std::uint16_t>(byte(18) << 8 | byte(19));
    return r;
}

QString ModuleRecord::macText() const
{
    return QString::asprintf("%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

QString ModuleRecord::line() const
{
    return QString::asprintf("%-15s %-15s %-17s %6s", qPrintable(DottedAddress::format(ip)),
                             qPrintable(DottedAddress::format(mask)), qPrintable(macText()),
                             qPrintable(QString::number(deviceId)));
}

} // namespace finder
