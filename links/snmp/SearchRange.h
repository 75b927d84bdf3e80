#pragma once

#include <QString>

#include <optional>

struct ParsedRange;

// A range of IPv4 addresses to search: the first three numbers stay, the last runs from `first`
// to `last`.
struct SearchRange {
    QString prefix; // the first three numbers with their dots: "192.168.1."
    int first = 0;
    int last = 0;

    // From the first address in dotted form and the last number of the range's last address, as
    // Link.ini and the settings page hold them. Each number is one to three digits, 0..255, blanks
    // around either text aside. An end that is empty, 0 or the first address's last number names
    // one address; an end below it is swapped with it. The end is checked first, so that a bad
    // end is named even where the address is bad too.
    static ParsedRange fromSettings(const QString& ip, const QString& endIp);
    // "A.B.C.D-E" or "A.B.C.D" (one address), with the rules of fromSettings().
    static std::optional<SearchRange> parse(const QString& text);

    int size() const { return last - first + 1; }
    QString address(int lastNumber) const { return prefix + QString::number(lastNumber); }
};

// Which text of a range names no address.
enum class RangeFault { None, Address, End };

// A range, or none and the text at fault.
struct ParsedRange : std::optional<SearchRange> {
    RangeFault fault = RangeFault::None;
};
