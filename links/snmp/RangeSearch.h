#pragma once

#include "links/snmp/SearchRange.h"
#include "links/snmp/SnmpClient.h"

#include <optional>
#include <vector>

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
