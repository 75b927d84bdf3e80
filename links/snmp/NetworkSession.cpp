#include "links/snmp/NetworkSession.h"

#include "core/Clock.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "links/snmp/ExchangePlanner.h"
#include "links/snmp/NetworkSearch.h"
#include "links/snmp/NetworkState.h"
#include "links/snmp/PrivateMib.h"
#include "links/snmp/SnmpWorker.h"

#include <algorithm>

namespace
{

const QString CheckingCommunity = QStringLiteral("Checking 'Set Community'............");
const QString CommunityError = QStringLiteral(" 'Set Community' Error !  Please Check 'Set Community' !");
constexpr int CheckSteps = 4;  // positions of the check's progress bar
constexpr int PortPause = 100; // ms after the last object of each port

// The other of the two values of an on/off object.
int opposite(int value)
{
    return value == mib::Off ? mib::On : mib::Off;
}

} // namespace

NetworkSession::NetworkSession(AppContext& context, NetworkState& net, ExchangePlanner& exchanges,
                               NetworkSearch& search)
    : ctx_(context), net_(net), exchanges_(exchanges), search_(search), requests_(context, net, exchanges)
{
    requests_.endSession = [this] { endSession(); };
}

void NetworkSession::startNetworkSession(int row)
{
    if (!net_.chosen || !net_.searchDone || net_.networkLinked)
        return;
    const auto device = search_.deviceAt(row);
    if (!device)
        return;
    if (!device->address.isEmpty()) {
        net_.networkModel = device->model;
        exchanges_.job().jobAddress = device->address;
    }
    address_ = exchanges_.job().jobAddress;
    net_.retries = NetworkState::SessionRetries;
    net_.networkLinked = true;
    // A new session takes the device's static data over in its first pass.
    net_.portPhase = 0;
    net_.portReadStep = PortStep::Admin;
    net_.refreshPass = 1;
    net_.pendingRequest = net_.activeRequest = Request::None;
    badPortCounts_ = 0;
    if (search_.settings().useV3) {
        net_.snmpPhase = CheckPhase::Done;
        net_.requestOid = mib::Firmware;
    } else {
        net_.snmpPhase = CheckPhase::Read;
        net_.requestOid = mib::portObject(mib::Column::Legacy, 1);
    }
    exchanges_.release();
}

void NetworkSession::releaseAfter(int ms, std::function<void()> before)
{
    ctx_.clock.pace({ms, [this, before = std::move(before)] {
                         if (!net_.networkLinked) { // ended through "Setting" meanwhile
                             ctx_.view.hideProgress();
                             return;
                         }
                         if (before)
                             before();
                         exchanges_.release();
                     }});
}

void NetworkSession::handleSessionResult()
{
    if (!net_.networkLinked)
        return;
    if (!search_.settings().useV3 && net_.snmpPhase != CheckPhase::Done) {
        checkWriteCommunity();
        return;
    }
    if (net_.pendingRequest != Request::None) {
        requests_.handleWriteRequest();
        return;
    }
    ctx_.view.hideProgress();
    if (net_.networkFailures >= ExchangePlanner::FailureLimit) {
        endSession();
        return;
    }
    if (net_.portPhase == 0)
        systemStep();
    else
        portStep();
}

void NetworkSession::checkWriteCommunity()
{
    DeviceView& view = ctx_.view;
    const int read = mib::leadingNumber(net_.responseText);
    net_.requestOid = mib::portObject(mib::Column::Legacy, 1);
    if (net_.networkFailures > 0 && net_.snmpPhase != CheckPhase::Restore) { // it has its own tries
        checkUnanswered();
        return;
    }
    switch (net_.snmpPhase) {
    case CheckPhase::Read:
        view.showProgress(CheckingCommunity);
        view.setProgress(CheckSteps, 1);
        if (read != mib::Off && read != mib::On) {
            // Nothing to flip: writing back what is there would prove nothing. Stalls as a
            // refused write does.
            net_.snmpPhase = CheckPhase::Restore;
            ctx_.feedback.error(CommunityError);
            view.hideProgress();
            return;
        }
        net_.snmpPhase = CheckPhase::WriteOther;
        net_.checkValue = opposite(read);
        original_ = owed_.value(address_, read);
        releaseAfter(500, [this] {
            // From the write on, the device may hold the other value until phase 4.
            if (original_ == mib::On || original_ == mib::Off)
                owed_.insert(address_, original_);
        });
        return;
    case CheckPhase::WriteOther: // the worker has written setValue
        view.setProgressPosition(2);
        net_.snmpPhase = CheckPhase::ReadBack;
        releaseAfter(3000);
        return;
    case CheckPhase::ReadBack:
        view.setProgressPosition(3);
        net_.snmpPhase = CheckPhase::Restore;
        if (read == owed_.value(address_, 0))
            owed_.remove(address_); // the write did not take: the device holds its first value
        if (read != net_.checkValue) {
            // Stalls, still linked, until the operator re-links through "Setting".
            ctx_.feedback.error(CommunityError);
            view.hideProgress();
            return;
        }
        net_.checkValue = original_;
        restoreTries_ = 0;
        releaseAfter(500, [this] { net_.writeOutcome = RequestOutcome::Answered; });
        return;
    case CheckPhase::Restore: // the first value is back
    case CheckPhase::Done:
        if (!restoredAfterCheck())
            return;
        view.setProgressPosition(4);
        net_.snmpPhase = CheckPhase::Done;
        net_.networkLinked = true;
        net_.requestOid = mib::Firmware;
        releaseAfter(2000, [this] { ctx_.view.hideProgress(); });
        return;
    }
}

void NetworkSession::checkUnanswered()
{
    // A silent device says nothing about the community: the phase is tried again, and the
    // session ends as every lost connection does.
    if (net_.networkFailures < ExchangePlanner::FailureLimit) {
        releaseAfter(500);
        return;
    }
    ctx_.view.hideProgress();
    net_.snmpPhase = CheckPhase::Done;
    endSession();
}

bool NetworkSession::restoredAfterCheck()
{
    if (!owed_.contains(address_))
        return true; // nothing to restore
    const bool failed = net_.networkFailures > 0 || net_.writeOutcome != RequestOutcome::Answered;
    if (!failed) {
        owed_.remove(address_);
        return true;
    }
    if (++restoreTries_ < ExchangePlanner::FailureLimit) {
        releaseAfter(500, [this] { net_.writeOutcome = RequestOutcome::Answered; });
        return false;
    }
    reportNotRestored(address_, original_);
    if (net_.networkFailures == 0)
        return true; // the agent answers but refuses: the session goes on, the value stays owed
    ctx_.view.hideProgress();
    net_.snmpPhase = CheckPhase::Done;
    endSession();
    return false;
}

std::chrono::milliseconds NetworkSession::writeBackLimit(const Clock& clock)
{
    return WriteBackReplyTimes * clock.realTime(TimerId::AgentReply, SnmpWorker::requestTimeout);
}

void NetworkSession::writeBackNow()
{
    const QHash<QString, int> owed = owed_;
    for (auto it = owed.begin(); it != owed.end(); ++it) {
        if (exchanges_.setNow(it.key(), mib::portObject(mib::Column::Legacy, 1), it.value(),
                              QDeadlineTimer(writeBackLimit(ctx_.clock))))
            owed_.remove(it.key());
        else
            reportNotRestored(it.key(), it.value());
    }
}

void NetworkSession::reportNotRestored(const QString& address, int value)
{
    ctx_.feedback.error(QStringLiteral("Legacy Detection of port 1 of %1 could not be set back to '%2' after "
                                       "the 'Set Community' check !  Please set it on the port page.")
                            .arg(address, value == mib::On ? QStringLiteral("On") : QStringLiteral("Off")));
}

void NetworkSession::systemStep()
{
    DeviceState& s = ctx_.state;
    DeviceView& v = ctx_.view;
    const QString& text = net_.responseText;
    if (net_.requestOid == mib::Firmware) {
        if (!text.isEmpty())
            v.showFirmwareRevision(text);
        net_.requestOid = mib::Hardware;
    } else if (net_.requestOid == mib::Hardware) {
        if (!text.isEmpty())
            v.showHardwareRevision(text);
        net_.requestOid = mib::portObject(mib::Column::Legacy, 1);
    } else if (net_.requestOid == mib::portObject(mib::Column::Legacy, 1)) {
        // The operator's unsent legacy choice survives all but the first pass of a session.
        if (net_.refreshPass == 1 && !text.isEmpty()) {
            const bool on = mib::onOff(text).value_or(false);
            v.showLegacyDetection(on);
            s.deviceLegacyDetect = on;
            s.legacyDetect = on;
        }
        net_.requestOid = mib::PortCount;
    } else if (net_.requestOid == mib::PortCount) {
        if (!takePortCount())
            return;
        net_.requestOid = mib::SystemDescription;
    } else if (net_.requestOid == mib::SystemDescription) {
        if (!text.isEmpty()) {
            s.systemDescription = mib::trimBlanks(text);
            v.showSystemDescription(s.systemDescription);
        }
        v.showPowerLimits(net_.networkModel);
        net_.portPhase = 1;
        s.pollPort = 1;
        net_.portReadStep = PortStep::Admin;
        net_.requestOid = mib::portObject(mib::Column::Admin, 1);
    } else {
        return; // not an object of the cycle: the worker stays paused
    }
    exchanges_.release();
}

bool NetworkSession::takePortCount()
{
    DeviceState& s = ctx_.state;
    const QString& text = net_.responseText;
    if (!text.isEmpty())
        ctx_.view.showPortCount(text);
    if (const auto reported = mib::portCount(text)) {
        s.portCount = *reported;
        badPortCounts_ = 0;
        return true;
    }
    // The port step needs 1..MaxPorts ports. Such an answer counts as a failed exchange and
    // the count is asked again; the last good count stays.
    if (++badPortCounts_ >= ExchangePlanner::FailureLimit) {
        endSession();
        return false;
    }
    exchanges_.release();
    return false;
}

void NetworkSession::portStep()
{
    DeviceState& s = ctx_.state;
    DeviceView& v = ctx_.view;
    const QString& text = net_.responseText;
    const int p = s.pollPort;
    if (p < 1 || p > s.portCount) {
        // Nothing left to read in this pass (the port count shrank): start the next one.
        net_.portPhase = 0;
        net_.requestOid = mib::Firmware;
        exchanges_.release();
        return;
    }
    using mib::Column;
    // The object of each step, in the order of PortStep.
    static constexpr Column Read[] = {Column::Admin,      Column::Power,  Column::Voltage,    Column::Current,
                                      Column::Resistance, Column::Status, Column::Description};
    // The parametric cells of the steps that read a measured value, by PortStep.
    using Cell = DeviceView::PortCell;
    static constexpr Cell ValueCell[] = {Cell::Power, Cell::Voltage, Cell::Current,
                                         Cell::DetectionResistance};
    switch (net_.portReadStep) {
    case PortStep::Admin:
        if (!text.isEmpty())
            s.portAdminState[p] = mib::leadingNumber(text);
        if (net_.refreshPass == 1)
            v.showPortEnabled(p, s.portAdminState[p] == mib::On);
        break;
    case PortStep::Power:
    case PortStep::Voltage:
    case PortStep::Current:
    case PortStep::Resistance:
        // The agent's text goes into the parametric cell as it is.
        if (!text.isEmpty())
            v.showPortValue(p, ValueCell[int(net_.portReadStep) - int(PortStep::Power)], text);
        break;
    case PortStep::Status:
        if (!text.isEmpty()) {
            s.portStatus[p] = mib::leadingNumber(text);
            v.setPortLamp(p, s.portStatus[p]);
        }
        break;
    case PortStep::Description:
        if (net_.refreshPass == 1 && !text.isEmpty()) {
            s.portDescription[std::size_t(p)] = mib::trimBlanks(text); // the History window names the port
            v.showPortDescription(p, s.portDescription[std::size_t(p)]);
        }
        releaseAfter(PortPause, [this, p] {
            DeviceState& s = ctx_.state;
            s.pollPort = p + 1;
            if (p < s.portCount) {
                net_.portReadStep = PortStep::Admin;
                net_.requestOid = mib::portObject(Column::Admin, p + 1);
                return;
            }
            ctx_.view.unlockControls();
            net_.networkFailures = 0;
            net_.portPhase = 0;
            net_.refreshPass = std::min(net_.refreshPass + 1, 2);
            net_.requestOid = mib::Firmware;
        });
        return;
    }
    net_.portReadStep = PortStep(int(net_.portReadStep) + 1);
    net_.requestOid = mib::portObject(Read[int(net_.portReadStep)], p);
    exchanges_.release();
}

void NetworkSession::endSession()
{
    net_.networkFailures = 0;
    net_.networkLinked = false;
    badPortCounts_ = 0;
    ctx_.feedback.error(text::ConnectionLost);
    ctx_.view.clearDeviceDisplay(true);
    ctx_.view.lockControls();
    search_.removeDevice(address_);
    ctx_.view.enableSearch(true);
    ctx_.view.enableSettings(true);
}
