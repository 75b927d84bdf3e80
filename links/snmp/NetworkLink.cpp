#include "links/snmp/NetworkLink.h"

#include "core/Clock.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "core/SettingsPage.h"
#include "links/snmp/LocalAddress.h"
#include "links/snmp/PrivateMib.h"

#include <utility>

NetworkLink::NetworkLink(AppContext& context, const WorkerFactory& makeWorker)
    : ctx_(context),
      worker_(makeWorker(&resultContext_, [this](const SnmpResult& result) { onResult(result); })),
      exchanges_(context.state, net_, *worker_), search_(context, net_, exchanges_),
      session_(context, net_, exchanges_, search_),
      form_(net_, context.feedback, search_.settings(),
            [this](bool accepted, bool relink) { settingsClosed(accepted, relink); })
{
    ctx_.view.watch(*this);
    search_.readSetting = [](const QString& section, const QString& key) {
        return LinkIni::inWorkingDirectory().value(section, key); // the folder of this moment
    };
    search_.openSettings = [this] { showSettings(); };
}

NetworkLink::~NetworkLink()
{
    // The worker's result handler reaches into this link: the worker goes first.
    worker_.reset();
}

void NetworkLink::start()
{
    form_.start(findLocalAddress());
}

void NetworkLink::showSettings()
{
    if (ctx_.settings)
        ctx_.settings->showSettings(form_);
}

void NetworkLink::choose()
{
    net_.chosen = true;
    ctx_.view.showNetworkControls();
}

void NetworkLink::leave()
{
    net_.chosen = false;
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
        chosenEntry_ = ctx_.view.foundEntries().value(row);
        return;
    }
    session_.startNetworkSession(row);
}

void NetworkLink::connectChosenEntry()
{
    const QString entry = std::exchange(chosenEntry_, QString());
    if (const int row = int(ctx_.view.foundEntries().indexOf(entry)); !entry.isEmpty() && row >= 0)
        session_.startNetworkSession(row);
}

bool NetworkLink::sessionRuns() const
{
    return net_.networkLinked;
}

void NetworkLink::displayCleared(bool)
{
    net_.refreshPass = 0;
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
        if (net_.searchDone) {
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
    net_.legacyDetectWanted = wishes.legacyDetection ? mib::On : mib::Off;
    s.pollPort = 1;
    int ticked = 0;
    for (int k = 1; k <= s.portCount; ++k) {
        const bool on = wishes.enabled[k - 1];
        net_.portEnableWanted[k - 1] = on;
        ticked += on;
    }
    net_.pendingRequest = Request::PortEnable;
    if (ticked == 0)
        net_.pendingRequest = Request::AllPortsOff;
    if (ticked == s.portCount)
        net_.pendingRequest = Request::AllPortsOn;
}

void NetworkLink::sendPortDescription(int port, const QString& text, const PortWishes&)
{
    net_.newDescriptionPort = port;
    net_.newPortDescription = text;
    net_.pendingRequest = Request::PortDescription;
}

void NetworkLink::searchTimedOut()
{
    if (search_.running())
        return; // the operator's search on this link goes on
    exchanges_.pause();
    ctx_.feedback.error(NetworkSearch::NoDevice);
    ctx_.view.focusSettings();
}

void NetworkLink::settingsClosed(bool accepted, bool relink)
{
    if (accepted) {
        if (relink) {
            net_.networkLinked = false;
            exchanges_.startOver();
            session_.writeBackNow();
        }
        // New credentials start from a clean handshake: no check phase, no write under way.
        net_.snmpPhase = CheckPhase::Done;
        net_.pendingRequest = net_.activeRequest = Request::None;
        if (!net_.deviceListValid)
            net_.workerSetUp = false; // the worker sets itself up again with the new values
    }
    DeviceView& view = ctx_.view;
    if (view.foundEntries().isEmpty() || net_.networkLinked)
        return;
    view.clearDeviceDisplay(true);
    view.lockControls();
    view.clearFoundEntries();
    view.enableSearch(true);
    view.enableSettings(true);
    view.enablePages(true);
}

std::vector<int> NetworkLink::switchOnNow(const std::vector<int>& ports)
{
    std::vector<int> failed;
    if (!net_.networkLinked)
        return ports;
    for (const int port : ports)
        if (!exchanges_.setNow(exchanges_.job().jobAddress, mib::portObject(mib::Column::Admin, port),
                               mib::On, QDeadlineTimer(NetworkSession::writeBackLimit(ctx_.clock))))
            failed.push_back(port);
    return failed;
}

void NetworkLink::close()
{
    session_.writeBackNow();
    exchanges_.pause();
}
