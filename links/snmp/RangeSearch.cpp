#include "links/snmp/RangeSearch.h"

#include "links/snmp/MidspanIdentity.h"
#include "links/snmp/PrivateMib.h"

#include <algorithm>

namespace rangeSearch
{

std::vector<FoundMidspan> recognise(const std::vector<QString>& addresses,
                                    const std::vector<std::optional<SnmpValue>>& answers)
{
    std::vector<FoundMidspan> found;
    for (std::size_t i = 0; i < addresses.size() && i < answers.size(); ++i) {
        if (!answers[i])
            continue;
        const QString identity = answers[i]->printable();
        const QString model = identity.left(midspanIdentity::ModelLength);
        if (midspanIdentity::isMidspan(model))
            found.push_back({addresses[i], identity, model});
    }
    std::sort(found.begin(), found.end(),
              [](const FoundMidspan& a, const FoundMidspan& b) { return a.entry() < b.entry(); });
    return found;
}

std::vector<FoundMidspan> search(const SearchRange& range, const SnmpTarget& agent)
{
    std::vector<QString> addresses;
    std::vector<SnmpTarget> targets;
    for (int n = range.first; n <= range.last; ++n) {
        SnmpTarget target = agent;
        target.address = range.address(n);
        addresses.push_back(target.address);
        targets.push_back(target);
    }
    return recognise(addresses, SnmpClient::getFromEach(targets, mib::Identity, InFlight));
}

} // namespace rangeSearch
