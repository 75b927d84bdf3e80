// Link.ini of any content: every key of the settings read, then one value rewritten. The rewrite
// may only touch the bytes of that one value (or add its line): everything else stays as it was,
// and the value reads back as written.
#include "links/snmp/LinkIni.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

namespace
{

constexpr std::array<std::pair<const char*, const char*>, 7> Keys{{
    {"IPAdress", "IP"},
    {"IPAdress", "EndIP"},
    {"Community", "Read"},
    {"Community", "Set"},
    {"SNMPv3", "User"},
    {"SNMPv3", "AuthPassword"},
    {"SNMPv3", "PrivPassword"},
}};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto& [section, key] = Keys[data[0] % Keys.size()];
    const QByteArray before(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    IniText ini(before);
    for (const auto& [s, k] : Keys)
        if (ini.value(s, k).size() > IniText::ValueLimit)
            std::abort();

    const QByteArray written("10.0.30.7");
    ini.setValue(section, key, written);
    if (ini.value(section, key) != written)
        std::abort();
    // What changed in the old bytes lies within one line.
    const QByteArray& after = ini.bytes();
    qsizetype head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    const QByteArray replaced = before.mid(head, before.size() - head - tail);
    if (replaced.contains('\n'))
        std::abort();
    return 0;
}
