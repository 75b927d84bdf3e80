#pragma once

#include "core/WorkerGate.h"
#include "links/snmp/NetworkWorker.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QObject;
class QThread;
struct DeviceState;
struct SnmpValue;

// The SNMP worker: a thread of its own that makes one exchange per release. An exchange gets
// DeviceState::requestOid from the agent in SnmpJob::jobAddress and, when a write is due, sets
// the same object to the value the request calls for. It writes responseText, networkFailures
// and (for port enable writes) pollPort, then runs the result handler on the thread of
// `context` (the window's) and waits there until the handler has returned. The worker runs
// again only if the handler, or anyone later, releases it.
//
// initSnmpLibrary() (snmp/SnmpClient.h) must have run before the first release.
class SnmpWorker : public NetworkWorker
{
public:
    using ResultHandler = std::function<void()>;

    static constexpr std::chrono::milliseconds requestTimeout{200};
    static constexpr std::chrono::milliseconds discoveryTimeout{1000};
    static constexpr std::chrono::milliseconds pauseAfterSet{500};
    static constexpr char localEngineV3[] = "snmpGet";
    static constexpr char localEngineV2c[] = "dummy";

    // Starts the thread, paused. The handler runs on `context`'s thread, which must not be
    // this worker's and must outlive it. `timeScale` scales the pause after a set, as
    // Clock::scale() scales the window's pauses.
    SnmpWorker(DeviceState& state, QObject* context, ResultHandler handler, double timeScale = 1.0);
    // Ends the thread; call on `context`'s thread. Waits for an exchange in progress.
    ~SnmpWorker() override;
    SnmpWorker(const SnmpWorker&) = delete;
    SnmpWorker& operator=(const SnmpWorker&) = delete;

    SnmpJob& job() override { return job_; }
    void release() override { gate_.release(); }
    void pause() override { gate_.pause(); }

private:
    void run();
    void exchange();
    void setUp();
    bool writeDue() const;
    SnmpValue valueOfSet(const SnmpValue& read);

    DeviceState& state_;
    QObject* const context_;
    ResultHandler handler_;
    const double timeScale_;
    SnmpJob job_;
    WorkerGate gate_;
    std::atomic<bool> closing_ = false;
    // Worker thread only: the SNMPv3 credentials the library's user keys were made from.
    QByteArray userKeysFrom_;
    std::unique_ptr<QThread> thread_;
};
