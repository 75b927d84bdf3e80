#include "links/snmp/LocalAddress.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

QString chooseLocalAddress(const QStringList& resolved, const QList<InterfaceAddress>& interfaces)
{
    if (!resolved.isEmpty() && !QHostAddress(resolved.first()).isLoopback())
        return resolved.first();
    for (const InterfaceAddress& candidate : interfaces)
        if (candidate.up && !candidate.loopback)
            return candidate.address;
    return {};
}

QString findLocalAddress()
{
    QStringList resolved;
    for (const QHostAddress& address : QHostInfo::fromName(QHostInfo::localHostName()).addresses())
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            resolved.append(address.toString());

    QList<InterfaceAddress> interfaces;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        for (const QNetworkAddressEntry& entry : interface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                interfaces.append({entry.ip().toString(), flags.testFlag(QNetworkInterface::IsUp),
                                   flags.testFlag(QNetworkInterface::IsLoopBack)});
    }
    return chooseLocalAddress(resolved, interfaces);
}
