#include "ui/FontPreload.h"

#include <fontconfig/fontconfig.h>

#include <thread>

namespace
{
// Started and joined on the GUI thread only.
std::jthread& loader()
{
    static std::jthread thread;
    return thread;
}
} // namespace

void fonts::preloadConfiguration()
{
    if (std::jthread& thread = loader(); !thread.joinable())
        thread = std::jthread([] { FcInit(); });
}

void fonts::awaitConfiguration()
{
    if (std::jthread& thread = loader(); thread.joinable())
        thread.join();
}
