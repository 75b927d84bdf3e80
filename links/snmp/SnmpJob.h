#pragma once

#include "core/RequestOutcome.h"
#include "links/snmp/SnmpClient.h"

#include <QString>

#include <optional>

// One exchange of the SNMP worker, as the link decides it: the agent and the credentials, the
// object to get and, when `write` is set, the value to set it to afterwards (without a value,
// the value read goes back). The worker works on its own copy.
struct SnmpJob {
    QString jobAddress;
    QString jobReadCommunity;
    QString jobWriteCommunity;
    QString jobUser;
    QString jobAuthPassword;
    QString jobPrivPassword;
    bool jobUseV3 = false;

    QString object;
    bool write = false;
    std::optional<SnmpValue> value;
    bool setUp = false; // the library's engine ID and users are set up afresh first
    int retries = 3;
    int generation = 0; // the link's count of fresh starts (a re-link, a search) at the release
};

// What came of an exchange.
struct SnmpResult {
    bool answered = false;                         // the get was answered
    QString text;                                  // the value read, printable; empty after a write
    SnmpValue value;                               // the value read as the agent sent it; Null after a write
    RequestOutcome set = RequestOutcome::Answered; // how the set ended, when one was made
    int generation = 0;                            // the job's, handed back
    // Why SNMP cannot be used (the library could not be loaded); empty when it can. A session
    // never meets it: the library, once loaded for the search, stays.
    QString unavailable;
};
