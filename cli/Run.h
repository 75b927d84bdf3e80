#pragma once

#include "cli/Invocation.h"

#include <QTextStream>

class Clock;

// Carries out an invocation: reads the network link settings where SNMP needs them, reaches the
// midspan on its link and runs the command. Returns the program's exit code.
int runInvocation(const Invocation& invocation, Clock& clock, QTextStream& out, QTextStream& err);
