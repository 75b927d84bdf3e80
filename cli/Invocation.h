#pragma once

#include "links/snmp/RangeSearch.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What spanmon-cli was asked to do, from its command line. Parsing checks everything the
// command line alone can tell; the settings file and the device are asked later.
struct Invocation {
    enum class Command { Find, Status, Port, Describe, DescribeSystem };
    enum class Action { On, Off, Cycle };

    static constexpr double DefaultOffSeconds = 5;
    static constexpr double MaxOffSeconds = 86400;
    static constexpr quint16 SnmpPort = 161;

    Command command = Command::Status;
    bool json = false;

    // The link: a serial port, or an SNMP agent with the credentials of the settings file.
    QString serialPort; // as given: a name under /dev or a path
    QString snmpAddress;
    quint16 snmpPort = SnmpPort;
    bool v3 = false;
    QString settingsPath;

    // find
    bool findOnSerial = false;
    std::optional<SearchRange> range;
    quint16 rangePort = SnmpPort;

    // port, describe
    std::vector<int> ports;
    Action action = Action::On;
    double offSeconds = DefaultOffSeconds;
    QString text;

    bool onSerial() const { return !serialPort.isEmpty() || (command == Command::Find && findOnSerial); }
    bool writes() const { return command != Command::Find && command != Command::Status; }
};

// The outcome of reading the command line: what to run, or a text to print and the exit code.
struct ParsedArguments {
    std::optional<Invocation> invocation;
    QString message;  // usage error (with the usage), help or version text
    int exitCode = 0; // when there is no invocation: 0 help and version, 2 a usage error
};

namespace invocation
{

inline constexpr int UsageExit = 2;

// arguments[0] is the program's name.
ParsedArguments parse(const QStringList& arguments);

} // namespace invocation
