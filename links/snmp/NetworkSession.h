#pragma once

#include "core/AppContext.h"
#include "links/snmp/NetworkRequests.h"

#include <QString>

class NetworkSearch;
class ExchangePlanner;

// The session with one midspan chosen from the found-device list: with communities, the write
// community is proved first (the legacy object of port 1 is written to its other value, read
// back and restored); then an endless refresh reads the system objects and seven objects of
// every port and puts them on the screen. Write requests interleave (NetworkRequests). One
// object per worker exchange; each result is handled here on the window's thread.
class NetworkSession
{
public:
    static constexpr int FailureLimit = 3;

    NetworkSession(AppContext& context, ExchangePlanner& exchanges, NetworkSearch& search);

    // The operator chose the entry in this row of the found-device list.
    void startNetworkSession(int row);
    void handleSessionResult();

    NetworkRequests& requests() { return requests_; }

private:
    void checkWriteCommunity();
    void systemStep();
    void portStep();
    bool takePortCount();
    void endSession();
    // Releases the worker after a pause, unless the session has ended meanwhile.
    void releaseAfter(int ms, std::function<void()> before = {});

    AppContext& ctx_;
    ExchangePlanner& exchanges_;
    NetworkSearch& search_;
    NetworkRequests requests_;
    QString address_;       // the device of this session
    int badPortCounts_ = 0; // port counts outside 1..MaxPorts in a row
};
