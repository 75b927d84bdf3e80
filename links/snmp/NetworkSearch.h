#pragma once

#include "core/AppContext.h"
#include "links/snmp/LinkIni.h"

#include <QHash>
#include <QString>

#include <functional>
#include <optional>

class ExchangePlanner;
struct NetworkState;

// The network half of "Search PoE": every address of the range is asked once, in increasing
// order, for the identity object; each midspan that answers gets a list entry bound to its
// address and model text.
class NetworkSearch
{
public:
    struct FoundDevice {
        QString address;
        QString model;
    };

    // A range without midspans.
    inline static const QString NoDevice =
        QStringLiteral("No Corvane PoE Device !! \r\nPlease Check IP Address, Community Setting,\r\nor "
                       "Hardware Disconnected !!");

    NetworkSearch(AppContext& context, NetworkState& net, ExchangePlanner& exchanges)
        : ctx_(context), net_(net), exchanges_(exchanges)
    {
    }

    // Reads one value of the settings file (section, key); empty when absent.
    std::function<QString(const QString& section, const QString& key)> readSetting;
    // Opens the link settings dialog as the "Setting" button does.
    std::function<void()> openSettings;

    // The settings the search goes by: the settings page's, else Link.ini's as the search last read them.
    LinkSettings& settings() { return settings_; }

    void startSearch();
    // One probe's result, while the search runs. The search ends at once, telling the operator
    // why, when SNMP is not available (`unavailable`, SnmpResult).
    void handleSearchResult(const QString& unavailable);
    bool running() const { return running_; }
    // The operator has chosen the other link: the search stops and every entry goes.
    void stop();

    // The device bound to a row of the found-device list.
    std::optional<FoundDevice> deviceAt(int row) const;
    // Takes the entry of the device at this address out of the list.
    void removeDevice(const QString& address);

private:
    bool readRange();
    // The search is over: with what it found, or telling the operator why SNMP is not available.
    void end(const QString& unavailable);
    void clearList();

    AppContext& ctx_;
    NetworkState& net_;
    ExchangePlanner& exchanges_;
    LinkSettings settings_;
    SearchRange range_;                   // of the search under way
    QHash<QString, FoundDevice> entries_; // list entry text -> device
    int addresses_ = 0;                   // the progress bar's span: the addresses of the range
    int probed_ = 0;                      // the progress bar's position
    bool running_ = false;
};
