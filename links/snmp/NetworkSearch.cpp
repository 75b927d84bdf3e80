#include "links/snmp/NetworkSearch.h"

#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "links/snmp/BootCounter.h"
#include "links/snmp/ExchangePlanner.h"
#include "links/snmp/MidspanIdentity.h"
#include "links/snmp/NetworkState.h"
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
    if (net_.networkLinked)
        return; // the running session goes on
    net_.searchDone = false;
    if (!settings_.range() && !readRange())
        return;
    range_ = *settings_.range();
    // An exchange still in flight is no probe of this search, and nothing of an earlier session
    // may make a probe write: no check phase, no write request.
    exchanges_.startOver();
    net_.snmpPhase = CheckPhase::Done;
    net_.pendingRequest = net_.activeRequest = Request::None;

    net_.searchCurrent = range_.first;
    net_.deviceAddress = range_.address(net_.searchCurrent);
    net_.lastAddress = range_.size() == 1;
    addresses_ = range_.size();
    // Probes are quick, and every probe sets the worker up afresh from these settings.
    net_.retries = NetworkState::SearchRetries;
    net_.workerSetUp = false;
    SnmpJob& job = exchanges_.job();
    job.jobAddress = net_.deviceAddress;
    job.jobReadCommunity = settings_.readCommunity;
    job.jobWriteCommunity = settings_.writeCommunity;
    job.jobUser = settings_.user;
    job.jobAuthPassword = settings_.authPassword;
    job.jobPrivPassword = settings_.privPassword;
    job.jobUseV3 = settings_.useV3;
    // Entries of an earlier search would stand twice in the list.
    clearList();
    net_.portPhase = 0;
    net_.refreshPass = 1;
    net_.requestOid = mib::Identity;

    if (settings_.useV3)
        warnOfBootCounter(ctx_.feedback);

    probed_ = 1;
    ctx_.view.showSearchProgress(probed_, addresses_);
    running_ = true;
    exchanges_.release();
}

void NetworkSearch::handleSearchResult(const QString& unavailable)
{
    if (!unavailable.isEmpty()) {
        end(unavailable);
        return;
    }
    net_.networkModel = net_.responseText.left(midspanIdentity::ModelLength);
    if (midspanIdentity::isMidspan(net_.networkModel)) {
        const QString entry = net_.deviceAddress + QStringLiteral(" *** ") + net_.responseText;
        entries_.insert(entry, {net_.deviceAddress, net_.networkModel});
        ctx_.view.addFoundEntry(entry);
    }

    if (!net_.lastAddress) {
        ++net_.searchCurrent;
        ctx_.view.showSearchProgress(++probed_, addresses_);
        net_.lastAddress = net_.searchCurrent == range_.last;
        net_.deviceAddress = range_.address(net_.searchCurrent);
        exchanges_.job().jobAddress = net_.deviceAddress;
        exchanges_.release();
        return;
    }
    end({});
}

void NetworkSearch::end(const QString& unavailable)
{
    running_ = false;
    ctx_.view.hideSearchProgress();
    if (unavailable.isEmpty() && !ctx_.view.foundEntries().isEmpty()) {
        net_.searchDone = true;
        net_.workerSetUp = true;
        net_.deviceListValid = true;
    } else {
        net_.workerSetUp = false;
        net_.deviceListValid = false;
        ctx_.feedback.error(unavailable.isEmpty() ? NoDevice : unavailable);
        ctx_.view.focusSettings();
    }
}

std::optional<NetworkSearch::FoundDevice> NetworkSearch::deviceAt(int row) const
{
    const QStringList& found = ctx_.view.foundEntries();
    if (row < 0 || row >= found.size())
        return std::nullopt;
    const auto it = entries_.constFind(found[row]);
    if (it == entries_.constEnd())
        return std::nullopt;
    return *it;
}

void NetworkSearch::removeDevice(const QString& address)
{
    DeviceView& view = ctx_.view;
    for (int row = int(view.foundEntries().size()) - 1; row >= 0; --row) {
        const QString entry = view.foundEntries()[row];
        const auto it = entries_.constFind(entry);
        if (it != entries_.constEnd() && it->address == address) {
            view.removeFoundEntry(row);
            entries_.remove(entry);
        }
    }
    // The operator's next choice must be a selection change, whatever row was current.
    view.highlightFoundRow(-1);
}

void NetworkSearch::stop()
{
    if (running_) {
        running_ = false;
        exchanges_.startOver();
        ctx_.view.cancelSearchProgress();
    }
    clearList();
    net_.deviceListValid = false;
    net_.workerSetUp = false;
}

void NetworkSearch::clearList()
{
    ctx_.view.clearFoundEntries();
    entries_.clear();
}
