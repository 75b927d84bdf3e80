// Bytes on the simulated midspan's serial line, in pieces separated by quiet spells: the frame
// parser and, once a download is entered, the loader's command and S-record parser. The first
// byte chooses a loader that waits for ENTR; 0xFF bytes end a piece and let the line go quiet.
#include "LinePieces.h"
#include "SerialCommandInterpreter.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    MidspanModel::Config config;
    config.ports = 1 + data[0] % 24;
    config.steady = true;
    MidspanModel model(config);
    SerialCommandInterpreter interpreter(model, data[0] & 0x80);
    feedInPieces(
        data + 1, size - 1, [&](const QByteArray& piece) { interpreter.receive(piece); },
        [&] { interpreter.lineIdle(); });
    return 0;
}
