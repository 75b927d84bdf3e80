#include "finder/DottedAddress.h"

namespace finder
{

Ipv4 DottedAddress::parse(QStringView text)
{
    Ipv4 result{};
    qsizetype pos = 0;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (pos >= text.size() || text[pos] != u'.')
                return {};
            ++pos;
        }
        int value = 0;
        int digits = 0;
        while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
            if (++digits > 3)
                return {};
            value = value * 10 + (text[pos].unicode() - u'0');
            ++pos;
        }
        if (digits == 0 || value > 255)
            return {};
        result[group] = static_cast<std::uint8_t>(value);
    }
    for (; pos < text.size(); ++pos) {
        if (text[pos] != u' ' && text[pos] != u'\t')
            return {};
    }
    return result;
}

QString DottedAddress::format(const Ipv4& a)
{
    return QString::asprintf("%d.%d.%d.%d", a[0], a[1], a[2], a[3]);
}

} // namespace finder
