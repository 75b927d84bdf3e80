#pragma once

#include "links/snmp/SnmpJob.h"

// What the network search and session need of the SNMP worker. The worker makes one exchange
// per release (a get of DeviceState::requestOid and, when a write is due, a set of it), writes
// responseText, networkFailures and pollPort, then hands the result to the window's thread and
// waits there until the handler returns. The handler pauses the worker first and releases it
// again, at once or after a paced pause, when it wants the next exchange.
//
// The real worker runs net-snmp on a thread of its own; tests of the session logic may use a
// fake that answers from a table of objects.
class NetworkWorker
{
public:
    virtual ~NetworkWorker() = default;

    // Window side only, while the worker is paused or waiting in its hand-over.
    virtual SnmpJob& job() = 0;
    // Lets the worker run one exchange. Releasing a running worker has no effect.
    virtual void release() = 0;
    // Takes back a release the worker has not yet taken.
    virtual void pause() = 0;
};
