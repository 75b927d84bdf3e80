#pragma once

#include <QCommandLineParser>

namespace startoptions
{

// Reads the command line before the window system is touched, so that whatever needs no window
// works without a display: --help and --version print and exit 0, an option that neither the
// program nor Qt knows prints "Unknown option ..." and exits 2. Returns the exit code to end
// with, or -1 when the window is to start (the parser then holds the program's options).
int answerWithoutWindow(QCommandLineParser& parser, int argc, char* argv[]);

} // namespace startoptions
