#pragma once

#include "links/snmp/SnmpJob.h"

struct DeviceState;
class NetworkWorker;

// Decides what the worker's next exchange is, from the state of the search, the session and
// the write request under way, and takes the result back into the device record. Both run on
// the link's thread; the worker sees only its copy of the job.
class ExchangePlanner
{
public:
    ExchangePlanner(DeviceState& state, NetworkWorker& worker) : state_(state), worker_(worker) {}

    // The agent and the credentials of the exchanges to come.
    SnmpJob& job() { return job_; }

    // Plans the next exchange (a get of DeviceState::requestOid, with a set when a write is due)
    // and lets the worker run it.
    void release();
    void pause();
    // The worker's result: the text read, the count of failures in a row, a refused set, and
    // the next port of a port-enable walk once a port has been written.
    void take(const SnmpResult& result);

    // The set an exchange of this state makes, if any: whether one is due and its value
    // (none: the value read goes back).
    static bool writeDue(const DeviceState& state);
    static std::optional<SnmpValue> valueOfSet(const DeviceState& state);

private:
    DeviceState& state_;
    NetworkWorker& worker_;
    SnmpJob job_;
    int writtenPort_ = 0; // the port a port-enable exchange in flight writes
};
