#include "core/DisplayFormats.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace fmt
{

QString firmwareRevision(quint8 b)
{
    return QString::asprintf("%.1f", (b >> 4) + (b & 0x0F) * 0.1);
}

QString hardwareRevision(quint8 b)
{
    return QString::asprintf("%.1f", (b >> 3) + (b & 0x07) * 0.1);
}

QString milli(quint16 v)
{
    return QString::number(v);
}

QString decivolts(quint16 v)
{
    return QString::asprintf("%.1f", v * 0.1);
}

QString detectionResistance(quint16 v)
{
    return QString::number(v * 2);
}

QString classCurrent(quint16 v)
{
    if (v % 10 == 0)
        return QString::number(v / 10);
    return QString::asprintf("%0.1f", v * 0.1);
}

QString deviceText(const char* bytes, int size)
{
    int n = 0;
    while (n < size && bytes[n] != '\0')
        ++n;
    return QString::fromLatin1(bytes, n).trimmed();
}

QString deviceOctets(const QByteArray& octets)
{
    for (const char c : octets) {
        const auto u = static_cast<unsigned char>(c);
        const bool control = (u < 0x20 && u != '\r' && u != '\n') || (u >= 0x7F && u <= 0x9F);
        if (control)
            return QString::fromLatin1(octets.toHex(' ').toUpper());
    }
    return QString::fromLatin1(octets);
}

bool fitsLatin1(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

} // namespace fmt

QString portList(const std::vector<int>& ports)
{
    QStringList numbers;
    for (int port : ports)
        numbers << QString::number(port);
    if (numbers.size() < 2)
        return numbers.join(QString());
    const QString last = numbers.takeLast();
    return numbers.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

std::optional<QString> modelForLegacyCode(quint8 a, quint8 b)
{
    struct Row {
        quint8 a, b;
        const char* model;
    };
    static constexpr std::array<Row, 7> table{{
        {0x08, 0x11, "POE528U-480-8-N"},
        {0x16, 0x11, "POE528U-480-16-N"},
        {0x24, 0x11, "POE528U-480-24-N"},
        {0x08, 0x10, "POE263U"},
        {0x01, 0x14, "POE914U-8HP"},
        {0x01, 0x15, "POE914U-16HP"},
        {0x49, 0xF1, "POE528U-480-24-N"},
    }};
    for (const Row& r : table)
        if (r.a == a && r.b == b)
            return QString::fromLatin1(r.model);
    return std::nullopt;
}

PowerLimits powerLimits(const QString& model, int portCount)
{
    PowerLimits limits;
    auto fill = [&](int first, int last, const QString& text) {
        for (int p = first; p <= std::min(last, MaxPorts); ++p)
            limits[p] = text;
    };
    const QString w154 = QStringLiteral("0: 15.4W");
    const QString w336 = QStringLiteral("0: 33.6W");

    const QString family = model.mid(3, 3);
    if (family == u"263" || family == u"528") {
        fill(1, portCount, w154);
    } else if (family == u"447") {
        fill(1, portCount, w336);
    } else if (family == u"914") {
        // The rating suffix follows the port count, which has two digits from 10 ports on.
        const int k = portCount >= 10 ? 10 : 9;
        const QString suffix = model.mid(k, 2);
        if (suffix == u"HP") {
            fill(1, portCount, QStringLiteral("0: 36W"));
        } else if (suffix == u"AT") {
            fill(1, portCount, w336);
        } else if (model.mid(10, 2) == u"AF") {
            fill(1, 8, w336); // the first eight ports, whatever the port count
            fill(9, portCount, w154);
        }
    }
    return limits;
}
