#pragma once

#include "core/DeviceState.h"

#include <QString>

#include <optional>

// The midspan's private MIB under enterprise 24852, as Spanmon reads and writes it. Scalars end
// in ".0"; per-port objects end in the 1-based port number.
namespace mib
{

inline const QString Enterprise = QStringLiteral("1.3.6.1.4.1.24852");

inline const QString Identity = Enterprise + QStringLiteral(".2.1.0");
inline const QString Reset = Enterprise + QStringLiteral(".2.2.1.0");
inline const QString FactoryDefaults = Enterprise + QStringLiteral(".2.2.2.0");
inline const QString SaveToFlash = Enterprise + QStringLiteral(".2.2.3.0");
inline const QString AllPorts = Enterprise + QStringLiteral(".2.2.4.0"); // 2 all on, 1 all off
inline const QString Hardware = Enterprise + QStringLiteral(".2.2.6.0");
inline const QString PortCount = Enterprise + QStringLiteral(".2.2.7.0");
inline const QString Firmware = Enterprise + QStringLiteral(".2.2.10.0");
inline const QString SystemDescription = Enterprise + QStringLiteral(".2.2.11.0");

// Columns of the port table .2.3.1.
enum class Column {
    Admin = 2, // 2 enabled, 1 disabled
    Description = 6,
    Status = 7,
    Power = 11,
    Voltage = 12,
    Current = 13,
    Resistance = 14,
    Legacy = 18, // 2 on, 1 off; port 1 stands for the whole device
};

inline QString portObject(Column column, int port)
{
    return Enterprise + QStringLiteral(".2.3.1.%1.%2").arg(int(column)).arg(port);
}

// INTEGER values of the on/off objects.
inline constexpr int On = 2;
inline constexpr int Off = 1;

} // namespace mib

namespace mib
{

// A number from the start of a value's text, as C's decimal conversion reads it: leading
// blanks, a sign and digits; no digits give 0.
inline int leadingNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i].isDigit() && value < 1'000'000'000; ++i)
        value = value * 10 + text[i].digitValue();
    return int(negative ? -value : value);
}

// What the values mean, read from their text one way for the window's session and for
// SnmpMidspan alike.

// An on/off object (admin state, legacy detection): on for 2, off for 1, neither otherwise.
inline std::optional<bool> onOff(std::optional<int> value)
{
    if (value == On)
        return true;
    if (value == Off)
        return false;
    return std::nullopt;
}

inline std::optional<bool> onOff(const QString& text)
{
    return onOff(leadingNumber(text));
}

// The port count .2.2.7.0 reports, when the port pages and arrays can hold it.
inline std::optional<int> portCount(const QString& text)
{
    const int count = leadingNumber(text);
    if (count < 1 || count > MaxPorts)
        return std::nullopt;
    return count;
}

// A value's text without leading and trailing blanks.
inline QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace mib
