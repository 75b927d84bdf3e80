#pragma once

#include "links/snmp/SnmpJob.h"

#include <functional>

// What the network link needs of the SNMP worker. The worker makes one exchange per release,
// on its own copy of the job taken at the release, then hands the result to the link's thread
// and waits there until the handler returns. The handler pauses the worker first and releases
// it again, at once or after a paced pause, when it wants the next exchange.
//
// The real worker runs net-snmp on a thread of its own; tests of the link may use a fake that
// answers from a table of objects.
class NetworkWorker
{
public:
    using ResultHandler = std::function<void(const SnmpResult&)>;

    virtual ~NetworkWorker() = default;

    // Lets the worker run one exchange of this job. Releasing a running worker has no effect.
    virtual void release(const SnmpJob& job) = 0;
    // Takes back a release the worker has not yet taken.
    virtual void pause() = 0;
};
