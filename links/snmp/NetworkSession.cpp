#include "links/snmp/NetworkSession.h"

#include "core/Clock.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "links/snmp/ExchangePlanner.h"
#include "links/snmp/NetworkSearch.h"
#include "links/snmp/PrivateMib.h"

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

NetworkSession::NetworkSession(AppContext& context, ExchangePlanner& exchanges, NetworkSearch& search)
    : ctx_(context), exchanges_(exchanges), search_(search), requests_(context, exchanges)
{
    requests_.endSession = [this] { endSession(); };
}

void NetworkSession::startNetworkSession(int row)
{
    DeviceState& s = ctx_.state;
    if (s.linkType != LinkType::Network || !s.searchDone || s.networkLinked)
        return;
    const auto device = search_.deviceAt(row);
    if (!device)
        return;
    if (!device->address.isEmpty()) {
        s.networkModel = device->model;
        exchanges_.job().jobAddress = device->address;
    }
    address_ = exchanges_.job().jobAddress;
    s.searchRetries = 20;
    s.networkLinked = true;
    // A new session takes the device's static data over in its first pass.
    s.portPhase = 0;
    s.portReadStep = PortStep::Admin;
    s.refreshPass = 1;
    s.pendingRequest = s.activeRequest = Request::None;
    badPortCounts_ = 0;
    if (search_.settings().useV3) {
        s.snmpPhase = CheckPhase::Done;
        s.requestOid = mib::Firmware;
    } else {
        s.snmpPhase = CheckPhase::Read;
        s.requestOid = mib::portObject(mib::Column::Legacy, 1);
    }
    exchanges_.release();
}

void NetworkSession::releaseAfter(int ms, std::function<void()> before)
{
    ctx_.clock.pace({ms, [this, before = std::move(before)] {
                         if (!ctx_.state.networkLinked) { // ended through "Setting" meanwhile
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
    DeviceState& s = ctx_.state;
    if (!s.networkLinked)
        return;
    if (!search_.settings().useV3 && s.snmpPhase != CheckPhase::Done) {
        checkWriteCommunity();
        return;
    }
    if (s.pendingRequest != Request::None) {
        requests_.handleWriteRequest();
        return;
    }
    ctx_.view.hideProgress();
    if (s.networkFailures >= ExchangePlanner::FailureLimit) {
        endSession();
        return;
    }
    if (s.portPhase == 0)
        systemStep();
    else
        portStep();
}

void NetworkSession::checkWriteCommunity()
{
    DeviceState& s = ctx_.state;
    DeviceView& view = ctx_.view;
    const int read = mib::leadingNumber(s.responseText);
    s.requestOid = mib::portObject(mib::Column::Legacy, 1);
    if (s.networkFailures > 0 && s.snmpPhase != CheckPhase::Restore) { // it has its own tries
        checkUnanswered();
        return;
    }
    switch (s.snmpPhase) {
    case CheckPhase::Read:
        view.showProgress(CheckingCommunity);
        view.setProgress(CheckSteps, 1);
        if (read != mib::Off && read != mib::On) {
            // Nothing to flip: writing back what is there would prove nothing. Stalls as a
            // refused write does.
            s.snmpPhase = CheckPhase::Restore;
            ctx_.feedback.error(CommunityError);
            view.hideProgress();
            return;
        }
        s.snmpPhase = CheckPhase::WriteOther;
        s.setValue = opposite(read);
        original_ = owed_.value(address_, read);
        releaseAfter(500, [this] {
            // From the write on, the device may hold the other value until phase 4.
            if (original_ == mib::On || original_ == mib::Off)
                owed_.insert(address_, original_);
        });
        return;
    case CheckPhase::WriteOther: // the worker has written setValue
        view.setProgressPosition(2);
        s.snmpPhase = CheckPhase::ReadBack;
        releaseAfter(3000);
        return;
    case CheckPhase::ReadBack:
        view.setProgressPosition(3);
        s.snmpPhase = CheckPhase::Restore;
        if (read == owed_.value(address_, 0))
            owed_.remove(address_); // the write did not take: the device holds its first value
        if (read != s.setValue) {
            // Stalls, still linked, until the operator re-links through "Setting".
            ctx_.feedback.error(CommunityError);
            view.hideProgress();
            return;
        }
        s.setValue = original_;
        restoreTries_ = 0;
        releaseAfter(500, [this] { ctx_.state.writeOutcome = RequestOutcome::Answered; });
        return;
    case CheckPhase::Restore: // the first value is back
    case CheckPhase::Done:
        if (!restoredAfterCheck())
            return;
        view.setProgressPosition(4);
        s.snmpPhase = CheckPhase::Done;
        s.networkLinked = true;
        s.requestOid = mib::Firmware;
        releaseAfter(2000, [this] { ctx_.view.hideProgress(); });
        return;
    }
}

void NetworkSession::checkUnanswered()
{
    // A silent device says nothing about the community: the phase is tried again, and the
    // session ends as every lost connection does.
    if (ctx_.state.networkFailures < ExchangePlanner::FailureLimit) {
        releaseAfter(500);
        return;
    }
    ctx_.view.hideProgress();
    ctx_.state.snmpPhase = CheckPhase::Done;
    endSession();
}

bool NetworkSession::restoredAfterCheck()
{
    DeviceState& s = ctx_.state;
    if (!owed_.contains(address_))
        return true; // nothing to restore
    const bool failed = s.networkFailures > 0 || s.writeOutcome != RequestOutcome::Answered;
    if (!failed) {
        owed_.remove(address_);
        return true;
    }
    if (++restoreTries_ < ExchangePlanner::FailureLimit) {
        releaseAfter(500, [this] { ctx_.state.writeOutcome = RequestOutcome::Answered; });
        return false;
    }
    reportNotRestored(address_, original_);
    if (s.networkFailures == 0)
        return true; // the agent answers but refuses: the session goes on, the value stays owed
    ctx_.view.hideProgress();
    s.snmpPhase = CheckPhase::Done;
    endSession();
    return false;
}

void NetworkSession::writeBackNow()
{
    const QHash<QString, int> owed = owed_;
    for (auto it = owed.begin(); it != owed.end(); ++it) {
        if (exchanges_.setNow(it.key(), mib::portObject(mib::Column::Legacy, 1), it.value(),
                              QDeadlineTimer(WriteBackLimit)))
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
    const QString& text = s.responseText;
    if (s.requestOid == mib::Firmware) {
        if (!text.isEmpty())
            v.showFirmwareRevision(text);
        s.requestOid = mib::Hardware;
    } else if (s.requestOid == mib::Hardware) {
        if (!text.isEmpty())
            v.showHardwareRevision(text);
        s.requestOid = mib::portObject(mib::Column::Legacy, 1);
    } else if (s.requestOid == mib::portObject(mib::Column::Legacy, 1)) {
        // The operator's unsent legacy choice survives all but the first pass of a session.
        if (s.refreshPass == 1 && !text.isEmpty()) {
            const bool on = mib::onOff(text).value_or(false);
            v.showLegacyDetection(on);
            s.deviceLegacyDetect = on;
            s.legacyDetect = on;
        }
        s.requestOid = mib::PortCount;
    } else if (s.requestOid == mib::PortCount) {
        if (!takePortCount())
            return;
        s.requestOid = mib::SystemDescription;
    } else if (s.requestOid == mib::SystemDescription) {
        if (!text.isEmpty()) {
            s.systemDescription = mib::trimBlanks(text);
            v.showSystemDescription(s.systemDescription);
        }
        v.showPowerLimits(s.networkModel);
        s.portPhase = 1;
        s.pollPort = 1;
        s.portReadStep = PortStep::Admin;
        s.requestOid = mib::portObject(mib::Column::Admin, 1);
    } else {
        return; // not an object of the cycle: the worker stays paused
    }
    exchanges_.release();
}

bool NetworkSession::takePortCount()
{
    DeviceState& s = ctx_.state;
    const QString& text = s.responseText;
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
    const QString& text = s.responseText;
    const int p = s.pollPort;
    if (p < 1 || p > s.portCount) {
        // Nothing left to read in this pass (the port count shrank): start the next one.
        s.portPhase = 0;
        s.requestOid = mib::Firmware;
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
    switch (s.portReadStep) {
    case PortStep::Admin:
        if (!text.isEmpty())
            s.portAdminState[p] = mib::leadingNumber(text);
        if (s.refreshPass == 1)
            v.showPortEnabled(p, s.portAdminState[p] == mib::On);
        break;
    case PortStep::Power:
    case PortStep::Voltage:
    case PortStep::Current:
    case PortStep::Resistance:
        // The agent's text goes into the parametric cell as it is.
        if (!text.isEmpty())
            v.showPortValue(p, ValueCell[int(s.portReadStep) - int(PortStep::Power)], text);
        break;
    case PortStep::Status:
        if (!text.isEmpty()) {
            s.portStatus[p] = mib::leadingNumber(text);
            v.setPortLamp(p, s.portStatus[p]);
        }
        break;
    case PortStep::Description:
        if (s.refreshPass == 1 && !text.isEmpty())
            v.showPortDescription(p, mib::trimBlanks(text));
        releaseAfter(PortPause, [this, p] {
            DeviceState& s = ctx_.state;
            s.pollPort = p + 1;
            if (p < s.portCount) {
                s.portReadStep = PortStep::Admin;
                s.requestOid = mib::portObject(Column::Admin, p + 1);
                return;
            }
            ctx_.view.unlockControls();
            s.networkFailures = 0;
            s.portPhase = 0;
            s.refreshPass = std::min(s.refreshPass + 1, 2);
            s.requestOid = mib::Firmware;
        });
        return;
    }
    s.portReadStep = PortStep(int(s.portReadStep) + 1);
    s.requestOid = mib::portObject(Read[int(s.portReadStep)], p);
    exchanges_.release();
}

void NetworkSession::endSession()
{
    DeviceState& s = ctx_.state;
    s.networkFailures = 0;
    s.networkLinked = false;
    badPortCounts_ = 0;
    ctx_.feedback.error(text::ConnectionLost);
    ctx_.view.clearDeviceDisplay();
    ctx_.view.lockControls();
    search_.removeDevice(address_);
    ctx_.view.enableSearch(true);
    ctx_.view.enableSettings(true);
}
