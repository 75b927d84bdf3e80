#pragma once

#include "core/AppContext.h"
#include "links/snmp/NetworkRequests.h"

#include <QHash>
#include <QString>

#include <chrono>

class Clock;
class NetworkSearch;
class ExchangePlanner;
struct NetworkState;
namespace mib
{
struct UnitRecord;
}

// The session with one midspan chosen from the found-device list: with communities, the write
// community is proved first (the legacy object of port 1 is written to its other value, read
// back and restored); then an endless refresh reads the system objects and seven objects of
// every port and puts them on the screen. A value the check could not restore stays owed to
// the device: it is written at a re-link and at exit, and the next check on that device takes
// it, not the value it reads, as the one to restore. Write requests interleave (NetworkRequests). One
// object per worker exchange; each result is handled here on the window's thread.
class NetworkSession
{
public:
    // How long a write-back may take, in the agent's time to answer one try (8 s at 200 ms): the
    // exchange in flight (up to 21 tries), then a get and a set (4 tries each), the pause after
    // the set, and room.
    static constexpr int WriteBackReplyTimes = 40;
    // That limit in real time, as the worker's tries run on this clock.
    static std::chrono::milliseconds writeBackLimit(const Clock& clock);

    NetworkSession(AppContext& context, NetworkState& net, ExchangePlanner& exchanges, NetworkSearch& search);

    // The operator chose the entry in this row of the found-device list.
    void startNetworkSession(int row);
    void handleSessionResult();

    NetworkRequests& requests() { return requests_; }

    // Writes every owed value of port 1's legacy detection back now, waiting for the worker (at
    // a re-link, at exit); says so for each one that could not be written.
    void writeBackNow();

private:
    void checkWriteCommunity();
    // A phase of the check whose exchange went unanswered.
    void checkUnanswered();
    // The check's last phase: whether the first value went back, and what follows when not.
    bool restoredAfterCheck();
    void reportNotRestored(const QString& address, int value);
    void systemStep();
    void portStep();
    // The record of the object just read.
    mib::UnitRecord response() const;
    bool takePortCount(const mib::UnitRecord& read);
    void endSession();
    // Releases the worker after a pause, unless the session has ended meanwhile.
    void releaseAfter(int ms, std::function<void()> before = {});

    AppContext& ctx_;
    NetworkState& net_;
    ExchangePlanner& exchanges_;
    NetworkSearch& search_;
    NetworkRequests requests_;
    QString address_;       // the device of this session
    int badPortCounts_ = 0; // port counts outside 1..MaxPorts in a row
    int original_ = 0;      // port 1's legacy detection before the check
    int restoreTries_ = 0;
    QHash<QString, int> owed_; // device address -> legacy detection of port 1 to write back
};
