// Datagrams of any length and content arriving at a simulated Ethernet module on port 36. The
// input is a run of datagrams, each preceded by its length byte.
#include "SimulatedModule.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SimulatedModule module({10, 0, 0, 2}, {255, 255, 255, 0}, {0x00, 0x20, 0x4A, 0x01, 0x02, 0x03}, 0x0102,
                           QByteArray("secret"));
    while (size > 0) {
        const std::size_t length = std::min<std::size_t>(data[0], size - 1);
        module.handle(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(length)));
        data += 1 + length;
        size -= 1 + length;
    }
    module.record();
    module.describe();
    return 0;
}
