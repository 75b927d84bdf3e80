#pragma once

#include "links/snmp/SnmpClient.h"

#include <optional>
#include <vector>

// A range of IPv4 addresses to search: the first three numbers stay, the last runs from `first`
// to `last`.
struct SearchRange {
    QString prefix; // the first three numbers with their dots: "192.168.1."
    int first = 0;
    int last = 0;

    // From Link.ini's "IP" and "EndIP", as the window's search reads them: an end that is empty,
    // 0 or the first octet names one address; an end below the first octet is swapped with it.
    static std::optional<SearchRange> fromSettings(const QString& ip, const QString& endIp);
    // "A.B.C.D-E" or "A.B.C.D" (one address), with the rules of fromSettings().
    static std::optional<SearchRange> parse(const QString& text);

    int size() const { return last - first + 1; }
    QString address(int lastNumber) const { return prefix + QString::number(lastNumber); }
};

// A midspan that answered a search.
struct FoundMidspan {
    QString address;
    QString identity; // the identity object's whole text
    QString model;    // its first ModelLength characters

    // The line the window's found-device list shows for it.
    QString entry() const { return address + QStringLiteral(" *** ") + identity; }
};

// Asks every address of the range for the identity object, InFlight addresses at a time with the
// time-out and retries of `agent` (the window's search: its time-out and Retries), recognises midspans as the
// window does and gives them in the order of the window's list (sorted by entry). `agent` holds the
// credentials and the agent port; its address is replaced by each address of the range.
namespace rangeSearch
{

inline constexpr int InFlight = 128;
inline constexpr int Retries = 3;

std::vector<FoundMidspan> search(const SearchRange& range, const SnmpTarget& agent);
// The midspans among the answers, in the order of the window's list.
std::vector<FoundMidspan> recognise(const std::vector<QString>& addresses,
                                    const std::vector<std::optional<SnmpValue>>& answers);

} // namespace rangeSearch
