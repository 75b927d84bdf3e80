#pragma once

#include "core/MidspanLink.h"
#include "links/snmp/ExchangePlanner.h"
#include "links/snmp/NetworkSearch.h"
#include "links/snmp/NetworkSession.h"
#include "links/snmp/NetworkWorker.h"

#include <QObject>

#include <functional>
#include <memory>

// The network link: the SNMP worker, the planner of its exchanges, the search and the session.
// Every result of the worker comes back here, on the link's thread: while a search runs it is
// the search's, afterwards the session's.
class NetworkLink : public MidspanLink
{
public:
    // Makes the worker, which hands its results to the handler on the thread of `context`.
    using WorkerFactory =
        std::function<std::unique_ptr<NetworkWorker>(QObject* context, NetworkWorker::ResultHandler handler)>;

    NetworkLink(AppContext& context, const WorkerFactory& makeWorker);
    ~NetworkLink() override;

    void start() override;
    void choose() override;
    void leave() override;
    void search() override;
    // A choice made while the search runs is carried out when it ends.
    void connectEntry(int row) override;
    bool sessionRuns() const override;
    void reset() override { session_.requests().requestReset(); }
    void store(StoreTarget target) override
    {
        session_.requests().requestStore(target == StoreTarget::Flash);
    }
    void sendSystemDescription(const QString& text) override
    {
        session_.requests().requestSystemDescription(text);
    }
    void sendPortControl(const PortWishes& wishes) override;
    void sendPortDescription(int port, const QString& text, const PortWishes& wishes) override;
    bool writeUnderway() const override { return ctx_.state.pendingRequest != Request::None; }
    void settingsClosed(bool accepted, bool relink) override;
    void searchTimedOut() override;
    std::vector<int> switchOnNow(const std::vector<int>& ports) override;
    void close() override;

    NetworkSearch& searcher() { return search_; }
    NetworkSession& session() { return session_; }

private:
    void onResult(const SnmpResult& result);
    void connectChosenEntry();

    AppContext& ctx_;
    QObject resultContext_;
    std::unique_ptr<NetworkWorker> worker_;
    ExchangePlanner exchanges_;
    NetworkSearch search_;
    NetworkSession session_;
    QString chosenEntry_; // the entry the operator chose while the search ran
};
