#pragma once

#include "core/WorkerGate.h"
#include "links/snmp/NetworkWorker.h"

#include <QByteArray>
#include <QMutex>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class Clock;
class QObject;
class QThread;

// The SNMP worker: a thread of its own that makes one exchange per release, on the copy of the
// job it was released with: a get of the job's object from the agent and, when the job says
// so, a set of the same object. It then runs the result handler on the thread of `context`
// (the link's) and waits there until the handler has returned. The worker runs again only if
// the handler, or anyone later, releases it.
//
// initSnmpLibrary() (SnmpClient.h) must have run before the first release.
class SnmpWorker : public NetworkWorker
{
public:
    static constexpr std::chrono::milliseconds requestTimeout{200};
    static constexpr std::chrono::milliseconds discoveryTimeout{1000};
    static constexpr std::chrono::milliseconds pauseAfterSet{500};
    static constexpr char localEngineV3[] = "snmpGet";
    static constexpr char localEngineV2c[] = "dummy";

    // Starts the thread, paused. The handler runs on `context`'s thread, which must not be
    // this worker's and must outlive it. The agent's time-outs and the pause after a set run on
    // `clock`, taken at each release (AgentReply its shortest real time); without a clock, as
    // above. The clock lives on `context`'s thread and outlives the worker.
    SnmpWorker(QObject* context, ResultHandler handler, const Clock* clock = nullptr);
    // Ends the thread; call on `context`'s thread. Waits for an exchange in progress.
    ~SnmpWorker() override;
    SnmpWorker(const SnmpWorker&) = delete;
    SnmpWorker& operator=(const SnmpWorker&) = delete;

    void release(const SnmpJob& job) override;
    void pause() override { gate_.pause(); }
    bool awaitResult(QDeadlineTimer deadline) override;

private:
    // The times of an exchange in real time.
    struct Times {
        std::chrono::milliseconds reply = requestTimeout;
        std::chrono::milliseconds discovery = discoveryTimeout;
        std::chrono::milliseconds afterSet = pauseAfterSet;
    };

    void run();
    SnmpResult exchange(const SnmpJob& job, const Times& times);
    void setUp(const SnmpJob& job);
    const SnmpTarget& targetFor(const SnmpJob& job, const Times& times);

    QObject* const context_;
    ResultHandler handler_;
    const Clock* const clock_;
    WorkerGate gate_;
    QMutex jobMutex_;
    SnmpJob released_;    // guarded by jobMutex_
    Times releasedTimes_; // guarded by jobMutex_
    std::atomic<bool> closing_ = false;
    quint64 handedOver_ = 0; // results handed to the handler; context_'s thread only
    // Worker thread only: the SNMPv3 credentials the library's user keys were made from.
    QByteArray userKeysFrom_;
    // Worker thread only: the target made for the agent and credentials of targetJob_, kept
    // while the jobs name the same (a session asks one agent all along).
    SnmpJob targetJob_;
    SnmpTarget target_;
    bool targetMade_ = false;
    std::unique_ptr<QThread> thread_;
};
