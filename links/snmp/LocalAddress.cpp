#include "links/snmp/LocalAddress.h"

#include <arpa/inet.h>
#include <climits>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

// The C library rather than Qt Network: Spanmon needs nothing else of Qt Network, whose libraries
// would lengthen every start-up.

namespace
{

QString dotted(const sockaddr* address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

QString chooseLocalAddress(const QStringList& resolved, const QList<InterfaceAddress>& interfaces)
{
    if (!resolved.isEmpty() && !resolved.first().startsWith(QLatin1String("127.")))
        return resolved.first();
    for (const InterfaceAddress& candidate : interfaces)
        if (candidate.up && !candidate.loopback)
            return candidate.address;
    return {};
}

QString findLocalAddress()
{
    QStringList resolved;
    char host[HOST_NAME_MAX + 1] = {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM; // one entry an address
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    if (gethostname(host, sizeof host - 1) == 0 && getaddrinfo(host, nullptr, &hints, &found) == 0) {
        for (const addrinfo* entry = found; entry; entry = entry->ai_next)
            if (!resolved.contains(dotted(entry->ai_addr)))
                resolved.append(dotted(entry->ai_addr));
        freeaddrinfo(found);
    }

    QList<InterfaceAddress> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (const ifaddrs* entry = list; entry; entry = entry->ifa_next)
            if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET)
                interfaces.append({dotted(entry->ifa_addr), (entry->ifa_flags & IFF_UP) != 0,
                                   (entry->ifa_flags & IFF_LOOPBACK) != 0});
        freeifaddrs(list);
    }
    return chooseLocalAddress(resolved, interfaces);
}
