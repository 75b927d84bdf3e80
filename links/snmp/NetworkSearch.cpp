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

// An octet as the settings file holds it: one to three digits, 0..255.
std::optional<int> octet(const QString& text)
{
    if (text.isEmpty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const int value = text.toInt();
    return value <= 255 ? std::optional(value) : std::nullopt;
}

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
    DeviceState& s = ctx_.state;
    const auto read = [this](const char* section, const char* key) {
        return readSetting ? readSetting(QString::fromLatin1(section), QString::fromLatin1(key)) : QString();
    };
    const QString address = read("IPAdress", "IP");
    if (address.isEmpty()) {
        if (openSettings)
            openSettings();
        return false;
    }
    const QString endText = read("IPAdress", "EndIP");

    // The third dot ends the prefix; the rest is the first octet of the range.
    qsizetype thirdDot = -1;
    for (int dots = 0; dots < 3; ++dots) {
        thirdDot = address.indexOf(u'.', thirdDot + 1);
        if (thirdDot < 0)
            break;
    }
    const auto first = thirdDot < 0 ? std::nullopt : octet(address.mid(thirdDot + 1));
    const auto end = endText.isEmpty() ? std::optional(0) : octet(endText);
    if (!first || !end) {
        ctx_.feedback.warning(QStringLiteral("The address range in Link.ini is not valid:\r\n"
                                             "IP \"%1\", EndIP \"%2\".\r\n"
                                             "Please enter the range again in 'Setting'.")
                                  .arg(address, endText));
        if (openSettings)
            openSettings();
        return false;
    }

    s.searchPrefix = address.left(thirdDot + 1);
    s.searchFirst = s.searchLast = *first;
    if (*end != 0 && *end != *first) {
        s.searchFirst = std::min(*first, *end);
        s.searchLast = std::max(*first, *end);
    }
    s.readCommunity = read("Community", "Read");
    s.writeCommunity = read("Community", "Set");
    s.v3User = read("SNMPv3", "User");
    s.v3AuthPassword = read("SNMPv3", "AuthPassword");
    s.v3PrivPassword = read("SNMPv3", "PrivPassword");
    return true;
}

void NetworkSearch::startSearch()
{
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    if (s.networkLinked)
        return; // the running session goes on
    s.searchDone = false;
    if (s.searchPrefix.isEmpty() && !readRange())
        return;
    // An exchange still in flight is no probe of this search, and nothing of an earlier session
    // may make a probe write: no check phase, no write request.
    exchanges_.startOver();
    s.snmpPhase = CheckPhase::Done;
    s.pendingRequest = s.activeRequest = Request::None;

    s.searchCurrent = s.searchFirst;
    s.deviceAddress = s.searchPrefix + QString::number(s.searchCurrent);
    s.lastAddress = s.searchFirst == s.searchLast;
    c.setRange(ctl::SearchProgress, 0, s.lastAddress ? 1 : s.searchLast - s.searchFirst + 1);
    // Probes are quick, and every probe sets the worker up afresh from these settings.
    s.searchRetries = 3;
    s.sessionReady = false;
    SnmpJob& job = exchanges_.job();
    job.jobAddress = s.deviceAddress;
    job.jobReadCommunity = s.readCommunity;
    job.jobWriteCommunity = s.writeCommunity;
    job.jobUser = s.v3User;
    job.jobAuthPassword = s.v3AuthPassword;
    job.jobPrivPassword = s.v3PrivPassword;
    job.jobUseV3 = s.useSnmpV3;
    // Entries of an earlier search would stand twice in the list.
    clearList();
    s.portPhase = 0;
    s.refreshPass = 1;
    s.requestOid = mib::Identity;

    if (s.useSnmpV3)
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
        s.lastAddress = s.searchCurrent == s.searchLast;
        s.deviceAddress = s.searchPrefix + QString::number(s.searchCurrent);
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
