// Command lines of any content on the simulated midspan's control socket, one per line; each
// is answered, none may break the simulator.
#include "ControlServer.h"
#include "MidspanModel.h"
#include "SerialCommandInterpreter.h"

#include <QCoreApplication>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_sim_control";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    MidspanModel::Config config;
    config.steady = true;
    MidspanModel model(config);
    SerialCommandInterpreter interpreter(model, false);
    ControlServer server(model, interpreter, nullptr);
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& line : input.split('\n'))
        server.execute(line);
    return 0;
}
