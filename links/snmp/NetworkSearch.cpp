#include "links/snmp/NetworkSearch.h"

#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/OperatorFeedback.h"
#include "links/snmp/BootCounter.h"
#include "links/snmp/ExchangePlanner.h"
#include "links/snmp/MidspanIdentity.h"
#include "links/snmp/PrivateMib.h"

#include <QDir>

#include <algorithm>

namespace
{

// The worker reads and replaces the file from its thread, where nobody can be told.
void warnOfBootCounter(OperatorFeedback& feedback)
{
    const QString path = QDir::current().filePath(QString::fromLatin1(BootCounter::fileName));
    if (const std::optional<QString> problem = BootCounter::problem(path))
        feedback.warning(QStringLiteral("The SNMPv3 boot counter %1 can not be used :\r\n%2.\r\n"
                                        "SNMPv3 works on, but the boot count is not kept.")
                             .arg(path, *problem));
}

} // namespace

bool NetworkSearch::readRange()
{
    const auto read = [this](const char* section, const char* key) {
        return readSetting ? readSetting(QString::fromLatin1(section), QString::fromLatin1(key)) : QString();
    };
    LinkSettings stored;
    stored.ip = read("IPAdress", "IP");
    if (stored.ip.isEmpty()) {
        if (openSettings)
            openSettings();
        return false;
    }
    stored.endIp = read("IPAdress", "EndIP");
    if (!stored.range()) {
        ctx_.feedback.warning(QStringLiteral("The address range in Link.ini is not valid:\r\n"
                                             "IP \"%1\", EndIP \"%2\".\r\n"
                                             "Please enter the range again in 'Setting'.")
                                  .arg(stored.ip, stored.endIp));
        if (openSettings)
            openSettings();
        return false;
    }
    stored.readCommunity = read("Community", "Read");
    stored.writeCommunity = read("Community", "Set");
    stored.user = read("SNMPv3", "User");
    stored.authPassword = read("SNMPv3", "AuthPassword");
    stored.privPassword = read("SNMPv3", "PrivPassword");
    stored.useV3 = settings_.useV3;
    settings_ = stored;
    return true;
}

void NetworkSearch::startSearch()
{
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    if (s.networkLinked)
        return; // the running session goes on
    s.searchDone = false;
    if (!settings_.range() && !readRange())
        return;
    range_ = *settings_.range();
    // An exchange still in flight is no probe of this search, and nothing of an earlier session
    // may make a probe write: no check phase, no write request.
    exchanges_.startOver();
    s.snmpPhase = CheckPhase::Done;
    s.pendingRequest = s.activeRequest = Request::None;

    s.searchCurrent = range_.first;
    s.deviceAddress = range_.address(s.searchCurrent);
    s.lastAddress = range_.size() == 1;
    c.setRange(ctl::SearchProgress, 0, range_.size());
    // Probes are quick, and every probe sets the worker up afresh from these settings.
    s.searchRetries = 3;
    s.sessionReady = false;
    SnmpJob& job = exchanges_.job();
    job.jobAddress = s.deviceAddress;
    job.jobReadCommunity = settings_.readCommunity;
    job.jobWriteCommunity = settings_.writeCommunity;
    job.jobUser = settings_.user;
    job.jobAuthPassword = settings_.authPassword;
    job.jobPrivPassword = settings_.privPassword;
    job.jobUseV3 = settings_.useV3;
    // Entries of an earlier search would stand twice in the list.
    clearList();
    s.portPhase = 0;
    s.refreshPass = 1;
    s.requestOid = mib::Identity;

    if (settings_.useV3)
        warnOfBootCounter(ctx_.feedback);

    c.setVisible(ctl::Setting, false);
    c.setVisible(ctl::SearchPoe, false);
    c.setVisible(ctl::SearchProgress, true);
    c.setValue(ctl::SearchProgress, 1);
    running_ = true;
    exchanges_.release();
}

void NetworkSearch::handleSearchResult(const QString& unavailable)
{
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    if (!unavailable.isEmpty()) {
        end(unavailable);
        return;
    }
    s.networkModel = s.responseText.left(midspanIdentity::ModelLength);
    if (midspanIdentity::isMidspan(s.networkModel)) {
        const QString entry = s.deviceAddress + QStringLiteral(" *** ") + s.responseText;
        entries_.insert(entry, {s.deviceAddress, s.networkModel});
        c.addItem(ctl::FoundDevices, entry);
    }

    if (!s.lastAddress) {
        ++s.searchCurrent;
        c.setValue(ctl::SearchProgress, c.value(ctl::SearchProgress) + 1);
        s.lastAddress = s.searchCurrent == range_.last;
        s.deviceAddress = range_.address(s.searchCurrent);
        exchanges_.job().jobAddress = s.deviceAddress;
        exchanges_.release();
        return;
    }
    end({});
}

void NetworkSearch::end(const QString& unavailable)
{
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    running_ = false;
    c.setVisible(ctl::SearchProgress, false);
    c.setVisible(ctl::Setting, true);
    c.setVisible(ctl::SearchPoe, true);
    if (unavailable.isEmpty() && c.itemCount(ctl::FoundDevices) > 0) {
        s.searchDone = true;
        s.sessionReady = true;
        s.deviceListValid = true;
    } else {
        s.sessionReady = false;
        s.deviceListValid = false;
        ctx_.feedback.error(unavailable.isEmpty() ? NoDevice : unavailable);
        c.setFocus(ctl::Setting);
    }
}

std::optional<NetworkSearch::FoundDevice> NetworkSearch::deviceAt(int row) const
{
    if (row < 0 || row >= ctx_.controls.itemCount(ctl::FoundDevices))
        return std::nullopt;
    const auto it = entries_.constFind(ctx_.controls.itemText(ctl::FoundDevices, row));
    if (it == entries_.constEnd())
        return std::nullopt;
    return *it;
}

void NetworkSearch::removeDevice(const QString& address)
{
    Controls& c = ctx_.controls;
    for (int row = c.itemCount(ctl::FoundDevices) - 1; row >= 0; --row) {
        const QString entry = c.itemText(ctl::FoundDevices, row);
        const auto it = entries_.constFind(entry);
        if (it != entries_.constEnd() && it->address == address) {
            c.removeItem(ctl::FoundDevices, row);
            entries_.remove(entry);
        }
    }
    // The operator's next choice must be a selection change, whatever row was current.
    c.setCurrentIndex(ctl::FoundDevices, -1);
}

void NetworkSearch::stop()
{
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    if (running_) {
        running_ = false;
        exchanges_.startOver();
        // "Setting" belongs to this link alone; the link chosen now shows its own controls.
        c.setVisible(ctl::SearchProgress, false);
        c.setVisible(ctl::SearchPoe, true);
    }
    clearList();
    s.deviceListValid = false;
    s.sessionReady = false;
}

void NetworkSearch::clearList()
{
    ctx_.controls.clearItems(ctl::FoundDevices);
    entries_.clear();
}
