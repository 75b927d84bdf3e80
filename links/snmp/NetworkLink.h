#pragma once

#include "core/MidspanLink.h"
#include "core/PassObserver.h"
#include "links/snmp/ExchangePlanner.h"
#include "links/snmp/LinkSettingsForm.h"
#include "links/snmp/NetworkSearch.h"
#include "links/snmp/NetworkSession.h"
#include "links/snmp/NetworkState.h"
#include "links/snmp/NetworkWorker.h"

#include <QObject>

#include <functional>
#include <memory>

// The network link: the SNMP worker, the planner of its exchanges, the search and the session.
// Every result of the worker comes back here, on the link's thread: while a search runs it is
// the search's, afterwards the session's. A reset of the device display makes the session show
// the static data again.
class NetworkLink : public MidspanLink, private PassObserver
{
public:
    // Makes the worker, which hands its results to the handler on the thread of `context`.
    using WorkerFactory =
        std::function<std::unique_ptr<NetworkWorker>(QObject* context, NetworkWorker::ResultHandler handler)>;

    NetworkLink(AppContext& context, const WorkerFactory& makeWorker);
    ~NetworkLink() override;

    QString name() const override { return QStringLiteral("SNMP/LAN & WAN"); }
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
    bool writeUnderway() const override { return net_.pendingRequest != Request::None; }
    SettingsPage* settingsPage() override { return &form_; }
    // The settings dialog has closed: with OK (accepted), after a confirmed re-link.
    void settingsClosed(bool accepted, bool relink);
    void searchTimedOut() override;
    std::vector<int> switchOnNow(const std::vector<int>& ports) override;
    void close() override;

    NetworkSearch& searcher() { return search_; }
    NetworkSession& session() { return session_; }
    LinkSettingsForm& settingsForm() { return form_; }
    const NetworkState& state() const { return net_; }
    NetworkState& state() { return net_; }

private:
    void portRead(const PassReading&) override {}
    void displayCleared(bool sessionEnded) override;
    void onResult(const SnmpResult& result);
    void connectChosenEntry();
    void showSettings();

    AppContext& ctx_;
    NetworkState net_;
    QObject resultContext_;
    std::unique_ptr<NetworkWorker> worker_;
    ExchangePlanner exchanges_;
    NetworkSearch search_;
    NetworkSession session_;
    LinkSettingsForm form_;
    QString chosenEntry_; // the entry the operator chose while the search ran
};
