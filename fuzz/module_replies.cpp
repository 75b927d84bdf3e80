// Datagrams of any length and content arriving at Ethfind during a search, into its device
// table. The input is a run of datagrams, each preceded by its length byte.
#include "finder/DeviceTable.h"
#include "finder/ModuleRecord.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    finder::DeviceTable table;
    while (size > 0 && !table.full()) {
        const std::size_t length = std::min<std::size_t>(data[0], size - 1);
        const QByteArrayView datagram(data + 1, qsizetype(length));
        data += 1 + length;
        size -= 1 + length;
        const int before = table.count();
        const auto outcome = table.offer(datagram);
        const bool listed = outcome == finder::DeviceTable::Outcome::Listed;
        if (table.count() != before + (listed ? 1 : 0))
            std::abort();
        if (listed) {
            const auto record = table.record(before);
            if (!record)
                std::abort();
            record->line();
        }
        finder::ModuleRecord::fromReply(datagram);
    }
    return 0;
}
