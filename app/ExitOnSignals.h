#pragma once

#include "core/SignalNotice.h"

#include <functional>

// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C in a terminal, the end of a session) end the program as
// closing its window does, without asking: `ending` runs on the event loop, then every event loop
// is left (open message boxes too), so that main returns and every destructor and clean-up at
// exit runs. A second signal while the program ends kills it as usual.
class ExitOnSignals
{
public:
    explicit ExitOnSignals(std::function<void()> ending);

private:
    SignalNotice notice_;
};
