#include "links/snmp/RangeSearch.h"

#include "links/snmp/MidspanIdentity.h"
#include "links/snmp/PrivateMib.h"

#include <QRegularExpression>

#include <algorithm>

namespace
{

// A number of the dotted form: one to three digits, 0..255.
std::optional<int> octet(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    return value <= 255 ? std::optional(value) : std::nullopt;
}

} // namespace

std::optional<SearchRange> SearchRange::fromSettings(const QString& ip, const QString& endIp)
{
    const QStringList parts = ip.trimmed().split(u'.');
    if (parts.size() != 4 ||
        !std::all_of(parts.begin(), parts.end(), [](const QString& p) { return octet(p); }))
        return std::nullopt;
    const auto end = endIp.trimmed().isEmpty() ? std::optional(0) : octet(endIp.trimmed());
    if (!end)
        return std::nullopt;
    SearchRange range;
    range.prefix = parts.mid(0, 3).join(u'.') + u'.';
    range.first = range.last = *octet(parts[3]);
    if (*end != 0 && *end != range.first) {
        range.last = std::max(range.first, *end);
        range.first = std::min(range.first, *end);
    }
    return range;
}

std::optional<SearchRange> SearchRange::parse(const QString& text)
{
    const qsizetype dash = text.indexOf(u'-');
    if (dash < 0)
        return fromSettings(text, {});
    const QString end = text.mid(dash + 1);
    if (end.trimmed().isEmpty())
        return std::nullopt;
    return fromSettings(text.left(dash), end);
}

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
