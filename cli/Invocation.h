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

    // How the results are written: a table for people, colon-separated lines for cut and awk,
    // or one JSON document.
    enum class Format { Table, Terse, Json };

    static constexpr double MaxTimeoutSeconds = 60;
    static constexpr int MaxRetries = 100;

    Command command = Command::Status;
    Format format = Format::Table;
    bool header = true;
    bool quiet = false;   // nothing written, only the exit code
    bool verbose = false; // says on stderr which settings file is used

    // The link: a serial port, or an SNMP agent with the credentials of the settings file.
    QString serialPort; // as given: a name under /dev or a path
    QString snmpAddress;
    quint16 snmpPort = SnmpPort;
    bool v3 = false;
    QString settingsPath; // --settings; empty: searched for (see SettingsSearch.h)
    // SNMP: the time each try waits and the tries after the first; the window's when not given.
    std::optional<double> timeoutSeconds;
    std::optional<int> retries;

    // find
    bool findOnSerial = false;
    std::optional<SearchRange> range;
    quint16 rangePort = SnmpPort;

    // port, describe
    std::vector<int> ports;
    bool allPorts = false; // "all": every port the midspan has
    Action action = Action::On;
    double offSeconds = DefaultOffSeconds;
    QString text;

    // How fast the program's pauses run, as a factor of real time: tests make them shorter.
    double clockScale = 1;

    bool json() const { return format == Format::Json; }
    bool onSerial() const { return !serialPort.isEmpty() || (command == Command::Find && findOnSerial); }
    bool writes() const { return command != Command::Find && command != Command::Status; }
};

// The outcome of reading the command line: what to run, or a text to print and the exit code.
struct ParsedArguments {
    std::optional<Invocation> invocation;
    QString message;   // usage error, help or version text
    int exitCode = 0;  // when there is no invocation: 0 help and version, 2 a usage error
    bool json = false; // --json was asked for, even when the command line is refused
};

namespace invocation
{

inline constexpr int UsageExit = 2;
inline constexpr char ClockScaleVariable[] = "SPANMON_CLOCK_SCALE";

// arguments[0] is the program's name; clockScale is the value of $SPANMON_CLOCK_SCALE (a factor
// above 0 up to 1; empty: 1).
ParsedArguments parse(const QStringList& arguments, const QString& clockScale = {});

} // namespace invocation
