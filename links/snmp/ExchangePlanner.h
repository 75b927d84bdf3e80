#pragma once

#include "links/snmp/SnmpJob.h"

#include <QDeadlineTimer>

#include <optional>

struct DeviceState;
struct NetworkState;
class NetworkWorker;

// Decides what the worker's next exchange is, from the state of the search, the session and
// the write request under way, and takes the result back into the device record. Both run on
// the link's thread; the worker sees only its copy of the job.
//
// A re-link or a new search starts over: the exchange then in flight belongs to before, and
// its result is dropped (each job carries the generation it was released in).
class ExchangePlanner
{
public:
    // Failed exchanges in a row (or answers of no use) after which the session ends, wherever
    // the session is: refresh, write-community check, write request.
    static constexpr int FailureLimit = 3;

    ExchangePlanner(DeviceState& state, NetworkState& net, NetworkWorker& worker)
        : state_(state), net_(net), worker_(worker)
    {
    }

    // The agent and the credentials of the exchanges to come.
    SnmpJob& job() { return job_; }
    int generation() const { return generation_; }

    // Plans the next exchange (a get of NetworkState::requestOid, with a set when a write is due)
    // and lets the worker run it.
    void release();
    void pause();
    // What the worker does now belongs to before: its result will be dropped.
    void startOver();
    // The worker's result, as the first thing its handler does; the worker stays paused unless
    // released again. Takes the text read, the count of failures in a row, a set that did not take, and
    // the next port of a port-enable walk once a port has been written. False when the result
    // is none of the search's or the session's: stale, or the answer to setNow.
    bool take(const SnmpResult& result);

    // Sets one object of the agent at `address` to `value` outside the plan, after the exchange
    // in flight, and waits on this thread until the deadline for the answer. Whether the agent
    // took the value. Starts over.
    bool setNow(const QString& address, const QString& object, int value, QDeadlineTimer deadline);

private:
    // The set the next exchange makes, if any: whether one is due and its value (none: the
    // value read goes back).
    bool writeDue() const;
    std::optional<SnmpValue> valueOfSet() const;
    void releaseJob();

    DeviceState& state_;
    NetworkState& net_;
    NetworkWorker& worker_;
    SnmpJob job_;
    int writtenPort_ = 0; // the port a port-enable exchange in flight writes
    int generation_ = 0;
    bool released_ = false; // job_ is released and no result has answered it yet
    bool awaiting_ = false; // setNow waits for the answer
    std::optional<SnmpResult> awaited_;
};
