#include "links/snmp/SearchRange.h"

#include <QRegularExpression>
#include <QStringList>

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

ParsedRange SearchRange::fromSettings(const QString& ip, const QString& endIp)
{
    ParsedRange parsed;
    const auto end = endIp.trimmed().isEmpty() ? std::optional(0) : octet(endIp.trimmed());
    if (!end) {
        parsed.fault = RangeFault::End;
        return parsed;
    }
    const QStringList parts = ip.trimmed().split(u'.');
    if (parts.size() != 4 ||
        !std::all_of(parts.begin(), parts.end(), [](const QString& p) { return octet(p).has_value(); })) {
        parsed.fault = RangeFault::Address;
        return parsed;
    }
    SearchRange range;
    range.prefix = parts.mid(0, 3).join(u'.') + u'.';
    range.first = range.last = *octet(parts[3]);
    if (*end != 0 && *end != range.first) {
        range.last = std::max(range.first, *end);
        range.first = std::min(range.first, *end);
    }
    parsed.emplace(range);
    return parsed;
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
