#pragma once

#include "links/snmp/NetworkSearch.h"
#include "links/snmp/NetworkSession.h"

class NetworkWorker;

// The network link as the main window drives it: the worker, the search and the session.
class NetworkLink
{
public:
    NetworkLink(AppContext& context, NetworkWorker& worker)
        : worker_(worker), search_(context, worker), session_(context, worker, search_)
    {
    }

    NetworkWorker& worker() { return worker_; }
    NetworkSearch& search() { return search_; }
    NetworkSession& session() { return session_; }
    NetworkRequests& requests() { return session_.requests(); }

private:
    NetworkWorker& worker_;
    NetworkSearch search_;
    NetworkSession session_;
};
