// Lines of any content sent to the simulated midspan's loader: its commands and S-records, and
// the revision it takes from an accepted file's header.
// The first byte chooses a loader that waits for ENTR; 0xFF bytes let the line go quiet.
#include "BootLoader.h"
#include "LinePieces.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    QList<QByteArray> log;
    BootLoader loader(data[0] & 1, log, {});
    loader.enter(QByteArray("\x0C\x00\x00\x0C", 4));
    feedInPieces(
        data + 1, size - 1, [&](const QByteArray& piece) { loader.receive(piece); },
        [&] { loader.lineIdle(); });
    if (const auto image = loader.image())
        BootLoader::revision(*image);
    return 0;
}
