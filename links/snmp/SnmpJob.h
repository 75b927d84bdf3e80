#pragma once

#include <QString>

// The SNMP worker's own copies of the link parameters. The window's thread fills them when a
// search starts, for every probed address and when a device is chosen, and only while the
// worker is paused or waiting in its result hand-over.
struct SnmpJob {
    QString jobAddress;
    QString jobReadCommunity;
    QString jobWriteCommunity;
    QString jobUser;
    QString jobAuthPassword;
    QString jobPrivPassword;
    bool jobUseV3 = false;
};
