#include "links/snmp/NetworkLink.h"

#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/LinkIni.h"
#include "core/OperatorFeedback.h"
#include "links/snmp/LocalAddress.h"
#include "links/snmp/PrivateMib.h"

#include <utility>

NetworkLink::NetworkLink(AppContext& context, const WorkerFactory& makeWorker)
    : ctx_(context),
      worker_(makeWorker(&resultContext_, [this](const SnmpResult& result) { onResult(result); })),
      exchanges_(context.state, *worker_), search_(context, exchanges_), session_(context, exchanges_, search_)
{
    search_.readSetting = [](const QString& section, const QString& key) {
        return LinkIni::inWorkingDirectory().value(section, key); // the folder of this moment
    };
    search_.openSettings = [this] {
        if (ctx_.openSettings)
            ctx_.openSettings();
    };
}

NetworkLink::~NetworkLink()
{
    // The worker's result handler reaches into this link: the worker goes first.
    worker_.reset();
}

void NetworkLink::start()
{
    ctx_.state.localAddress = findLocalAddress();
}

void NetworkLink::choose()
{
    Controls& c = ctx_.controls;
    c.setVisible(ctl::ComPortCombo, false);
    c.setVisible(ctl::Setting, true);
    c.setFocus(ctl::Setting);
    ctx_.state.linkType = LinkType::Network;
    c.setEnabled(ctl::SearchPoe, true);
    c.setEnabled(ctl::Setting, true);
}

void NetworkLink::leave()
{
    chosenEntry_.clear();
    search_.stop();
}

void NetworkLink::search()
{
    chosenEntry_.clear();
    search_.startSearch();
}

void NetworkLink::connectEntry(int row)
{
    if (search_.running()) {
        chosenEntry_ = ctx_.controls.itemText(ctl::FoundDevices, row);
        return;
    }
    session_.startNetworkSession(row);
}

void NetworkLink::connectChosenEntry()
{
    const QString entry = std::exchange(chosenEntry_, QString());
    Controls& c = ctx_.controls;
    for (int row = 0; !entry.isEmpty() && row < c.itemCount(ctl::FoundDevices); ++row) {
        if (c.itemText(ctl::FoundDevices, row) == entry) {
            session_.startNetworkSession(row);
            return;
        }
    }
}

bool NetworkLink::sessionRuns() const
{
    return ctx_.state.networkLinked;
}

void NetworkLink::onResult(const SnmpResult& result)
{
    if (!exchanges_.take(result))
        return;
    // A paced pause holds the result back until it is over, as a blocking wait would; a fresh
    // start meanwhile makes it stale.
    ctx_.clock.whenIdle([this, generation = exchanges_.generation(), unavailable = result.unavailable] {
        if (generation != exchanges_.generation())
            return;
        if (ctx_.state.searchDone) {
            session_.handleSessionResult();
            return;
        }
        search_.handleSearchResult(unavailable);
        if (!search_.running())
            connectChosenEntry();
    });
}

void NetworkLink::sendPortControl(const PortWishes& wishes)
{
    DeviceState& s = ctx_.state;
    s.legacyDetectWanted = wishes.legacyDetection ? mib::On : mib::Off;
    s.pollPort = 1;
    int ticked = 0;
    for (int k = 1; k <= s.portCount; ++k) {
        const bool on = wishes.enabled[k - 1];
        s.portEnableWanted[k - 1] = on;
        ticked += on;
    }
    s.pendingRequest = Request::PortEnable;
    if (ticked == 0)
        s.pendingRequest = Request::AllPortsOff;
    if (ticked == s.portCount)
        s.pendingRequest = Request::AllPortsOn;
}

void NetworkLink::sendPortDescription(int port, const QString& text, const PortWishes&)
{
    ctx_.state.savedPort = port;
    ctx_.state.newPortDescription = text;
    ctx_.state.pendingRequest = Request::PortDescription;
}

void NetworkLink::searchTimedOut()
{
    if (search_.running())
        return; // the operator's search on this link goes on
    exchanges_.pause();
    ctx_.feedback.error(NetworkSearch::NoDevice);
    ctx_.controls.setFocus(ctl::Setting);
}

void NetworkLink::settingsClosed(bool accepted, bool relink)
{
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    if (accepted) {
        if (relink) {
            s.networkLinked = false;
            exchanges_.startOver();
            session_.writeBackNow();
        }
        // New credentials start from a clean handshake: no check phase, no write under way.
        s.snmpPhase = CheckPhase::Done;
        s.pendingRequest = s.activeRequest = Request::None;
        if (!s.deviceListValid)
            s.sessionReady = false; // the worker sets itself up again with the new values
    }
    if (c.itemCount(ctl::FoundDevices) == 0 || s.networkLinked)
        return;
    ctx_.view.clearDeviceDisplay();
    ctx_.view.lockControls();
    c.clearItems(ctl::FoundDevices);
    for (int id : {ctl::SearchPoe, ctl::Setting, ctl::Tabs})
        c.setEnabled(id, true);
}

std::vector<int> NetworkLink::switchOnNow(const std::vector<int>& ports)
{
    std::vector<int> failed;
    if (!ctx_.state.networkLinked)
        return ports;
    for (const int port : ports)
        if (!exchanges_.setNow(exchanges_.job().jobAddress, mib::portObject(mib::Column::Admin, port),
                               mib::On, QDeadlineTimer(NetworkSession::WriteBackLimit)))
            failed.push_back(port);
    return failed;
}

void NetworkLink::close()
{
    session_.writeBackNow();
    exchanges_.pause();
}
