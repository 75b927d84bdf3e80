#include "links/snmp/NetworkSession.h"

#include "core/Clock.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "links/snmp/ExchangePlanner.h"
#include "links/snmp/MibRecord.h"
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

static_assert(std::size(mib::RefreshPortColumns) == std::size_t(PortStep::Description) + 1 &&
                  mib::RefreshPortColumns[int(PortStep::Admin)] == mib::Column::Admin &&
                  mib::RefreshPortColumns[int(PortStep::Power)] == mib::Column::Power &&
                  mib::RefreshPortColumns[int(PortStep::Voltage)] == mib::Column::Voltage &&
                  mib::RefreshPortColumns[int(PortStep::Current)] == mib::Column::Current &&
                  mib::RefreshPortColumns[int(PortStep::Resistance)] == mib::Column::Resistance &&
                  mib::RefreshPortColumns[int(PortStep::Status)] == mib::Column::Status &&
                  mib::RefreshPortColumns[int(PortStep::Description)] == mib::Column::Description,
              "each port step reads its own column");

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

mib::UnitRecord NetworkSession::response() const
{
    mib::UnitRecord record;
    mib::read(record, {net_.requestOid}, {net_.response});
    return record;
}

void NetworkSession::systemStep()
{
    DeviceState& s = ctx_.state;
    DeviceView& v = ctx_.view;
    const qsizetype step = mib::RefreshSystemObjects.indexOf(net_.requestOid);
    if (step < 0)
        return; // not an object of the cycle: the worker stays paused
    const mib::UnitRecord read = response();
    if (read.firmware)
        v.showFirmwareRevision(*read.firmware);
    if (read.hardware)
        v.showHardwareRevision(*read.hardware);
    // The operator's unsent legacy choice survives all but the first pass of a session.
    if (const auto legacy = read.ports[1].legacy; legacy && net_.refreshPass == 1) {
        const bool on = *legacy == mib::On;
        v.showLegacyDetection(on);
        s.deviceLegacyDetect = on;
        s.legacyDetect = on;
    }
    if (net_.requestOid == mib::PortCount && !takePortCount(read))
        return;
    if (net_.requestOid == mib::SystemDescription) {
        if (read.description) {
            s.systemDescription = *read.description;
            v.showSystemDescription(s.systemDescription);
        }
        v.showPowerLimits(net_.networkModel);
        net_.portPhase = 1;
        s.pollPort = 1;
        net_.portReadStep = PortStep::Admin;
        net_.requestOid = mib::portObject(mib::RefreshPortColumns[0], 1);
    } else {
        net_.requestOid = mib::RefreshSystemObjects[step + 1];
    }
    exchanges_.release();
}

bool NetworkSession::takePortCount(const mib::UnitRecord& read)
{
    DeviceState& s = ctx_.state;
    if (read.portCountText)
        ctx_.view.showPortCount(*read.portCountText);
    if (read.portCount) {
        s.portCount = *read.portCount;
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
    const int p = s.pollPort;
    if (p < 1 || p > s.portCount) {
        // Nothing left to read in this pass (the port count shrank): start the next one.
        net_.portPhase = 0;
        net_.requestOid = mib::Firmware;
        exchanges_.release();
        return;
    }
    const mib::PortRecord read = response().ports[std::size_t(p)];
    using Cell = DeviceView::PortCell;
    // The agent's text goes into the parametric cell as it is.
    const auto showValue = [&](Cell cell, const std::optional<mib::Measure>& measure) {
        if (measure)
            v.showPortValue(p, cell, measure->text);
    };
    switch (net_.portReadStep) {
    case PortStep::Admin:
        if (read.admin)
            s.portAdminState[p] = *read.admin;
        if (net_.refreshPass == 1)
            v.showPortEnabled(p, s.portAdminState[p] == mib::On);
        break;
    case PortStep::Power:
        showValue(Cell::Power, read.power);
        break;
    case PortStep::Voltage:
        showValue(Cell::Voltage, read.voltage);
        break;
    case PortStep::Current:
        showValue(Cell::Current, read.current);
        break;
    case PortStep::Resistance:
        showValue(Cell::DetectionResistance, read.resistance);
        break;
    case PortStep::Status:
        if (read.status) {
            s.portStatus[p] = *read.status;
            v.setPortLamp(p, s.portStatus[p]);
        }
        break;
    case PortStep::Description:
        if (net_.refreshPass == 1 && read.description) {
            s.portDescription[std::size_t(p)] = *read.description; // the History window names the port
            v.showPortDescription(p, s.portDescription[std::size_t(p)]);
        }
        releaseAfter(PortPause, [this, p] {
            DeviceState& s = ctx_.state;
            s.pollPort = p + 1;
            if (p < s.portCount) {
                net_.portReadStep = PortStep::Admin;
                net_.requestOid = mib::portObject(mib::RefreshPortColumns[0], p + 1);
                return;
            }
            ctx_.view.unlockControls();
            net_.networkFailures = 0;
            net_.portPhase = 0;
            net_.refreshPass = std::min(net_.refreshPass + 1, 2);
            net_.requestOid = mib::RefreshSystemObjects.front();
        });
        return;
    }
    net_.portReadStep = PortStep(int(net_.portReadStep) + 1);
    net_.requestOid = mib::portObject(mib::RefreshPortColumns[int(net_.portReadStep)], p);
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
