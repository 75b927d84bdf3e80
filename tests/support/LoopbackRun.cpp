// loopback-run COMMAND [ARGUMENT...]: runs the command on a block of loopback addresses of its
// own, for programs started by hand beside the tests (the demo's simulators). The block is the
// one handed down to this program, or the first free one; the command finds it in
// SPANMON_LOOPBACK_BLOCK ("<block> <descriptor>") and holds its lock until it and its children
// have ended.
#include "LoopbackBlock.h"

#include <cstdio>

#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COMMAND [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    LoopbackBlock::ofThisProgram(); // ends the program when every block is held
    ::execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    return 127;
}
