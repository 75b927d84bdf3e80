#pragma once

#include <QList>
#include <QString>

// An IPv4 address of one of this host's network interfaces.
struct InterfaceAddress {
    QString address;
    bool up = false;
    bool loopback = false;
};

// This host's address as the link settings dialog shows it: the first IPv4 address the host
// name resolves to. A loopback answer (Debian maps the host name to 127.0.1.1) or none at all
// tells the operator nothing about the LAN; the first address of an interface that is up and
// not a loopback stands in then, and when there is none the address stays empty.
QString chooseLocalAddress(const QStringList& resolved, const QList<InterfaceAddress>& interfaces);

// The same from this machine's host name and interfaces.
QString findLocalAddress();
