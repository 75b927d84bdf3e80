#pragma once

#include "cli/Invocation.h"
#include "core/MidspanAccess.h"
#include "links/snmp/RangeSearch.h"

#include <QJsonObject>
#include <QTextStream>

class Clock;

// A midspan found on a serial port.
struct SerialFind {
    QString port;       // as the window lists it: ttyUSB0
    QString devicePath; // /dev/ttyUSB0
    QString model;
};

// spanmon-cli's commands on a midspan reached through either link, and what they print: a
// readable table on `out`, or with `json` one JSON document; failures on `err`, each naming the
// midspan and the port or object. Each returns the program's exit code.
class Commands
{
public:
    static constexpr int Done = 0;
    static constexpr int Failed = 1;
    static constexpr int Usage = 2;

    Commands(Clock& clock, QTextStream& out, QTextStream& err, bool json);

    int status(MidspanAccess& midspan);
    // Switches the ports in the order given. A cycle switches them all off, waits, and switches
    // them all on again, also those whose switching off failed, so that none stays off. A
    // SIGTERM, SIGINT or SIGHUP during a cycle ends the off time: the ports go on again, and the
    // exit code is 128 + the signal's number.
    int switchPorts(MidspanAccess& midspan, const std::vector<int>& ports, Invocation::Action action,
                    double offSeconds);
    int describePort(MidspanAccess& midspan, int port, const QString& text);
    int describeSystem(MidspanAccess& midspan, const QString& text);

    // Lists what a search found; finding none is a failure.
    int listNetwork(const QString& range, const std::vector<FoundMidspan>& found);
    int listSerial(const QString& ports, const std::vector<SerialFind>& found);

    // Prints "spanmon-cli: where: text" on err and returns `code`.
    int fail(const QString& where, const QString& text, int code = Failed);

private:
    struct Write {
        int port = 0; // 0: the system
        QString value;
        WriteResult result;
    };

    // The midspan's port count allows every port asked for; otherwise says why, with the code.
    std::optional<int> refuseMissingPorts(MidspanAccess& midspan, const std::vector<int>& ports);
    // Keeps a write's result for the JSON document or prints its line, and tells a failure on
    // err; false when the write failed.
    bool record(const MidspanAccess& midspan, const Write& write);
    int finishWrites(MidspanAccess& midspan);
    int listFound(const QString& searched, const QJsonObject& document, const QStringList& lines);
    void print(const QString& text);

    Clock& clock_;
    QTextStream& out_;
    QTextStream& err_;
    const bool json_;
    std::vector<Write> writes_;
};
