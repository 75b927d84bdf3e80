// SNMP values of any type and content as the operator reads them: the first byte picks the
// type, the next eight the number, the rest are the octets.
#include "links/snmp/SnmpClient.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t Header = 9;
    if (size < Header)
        return 0;
    SnmpValue value;
    value.syntax = SnmpValue::Syntax(data[0] % (int(SnmpValue::Syntax::EndOfMibView) + 1));
    std::memcpy(&value.number, data + 1, sizeof value.number);
    value.octets = QByteArray(reinterpret_cast<const char*>(data + Header), qsizetype(size - Header));
    value.printable();
    return 0;
}
