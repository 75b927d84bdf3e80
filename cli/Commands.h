#pragma once

#include "cli/Invocation.h"
#include "core/MidspanAccess.h"
#include "links/snmp/RangeSearch.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

class Clock;

// A midspan found on a serial port.
struct SerialFind {
    QString port;       // as the window lists it: ttyUSB0
    QString devicePath; // /dev/ttyUSB0
    QString model;
};

// spanmon-cli's commands on a midspan reached through either link, and what they print on `out`:
// a readable table, terse lines of ':'-separated fields, or one JSON document (see
// spanmon-cli.schema.json), which with finish() is written also when the command failed. Failures
// go to `err`, each naming the midspan and the port or object. Text from a device reaches no
// terminal with its control characters. Each command returns the program's exit code.
class Commands
{
public:
    static constexpr int Done = 0;
    static constexpr int Failed = 1;
    static constexpr int Usage = 2;
    static constexpr int FormatVersion = 1;

    Commands(Clock& clock, QTextStream& out, QTextStream& err,
             Invocation::Format format = Invocation::Format::Table, bool header = true);

    int status(MidspanAccess& midspan);
    // Switches the ports in the order given (none: every port the midspan has). A cycle switches
    // them all off, waits, and switches them all on again, also those whose switching off failed,
    // so that none stays off. A SIGTERM, SIGINT or SIGHUP during a cycle ends the off time: the
    // ports go on again, and the exit code is 128 + the signal's number.
    int switchPorts(MidspanAccess& midspan, std::vector<int> ports, Invocation::Action action,
                    double offSeconds);
    int describePort(MidspanAccess& midspan, int port, const QString& text);
    int describeSystem(MidspanAccess& midspan, const QString& text);

    // Lists what a search found; finding none is a failure.
    int listNetwork(const QString& range, const std::vector<FoundMidspan>& found);
    int listSerial(const QString& ports, const std::vector<SerialFind>& found);

    // Prints "spanmon-cli: where: text" on err and returns `code`.
    int fail(const QString& where, const QString& text, int code = Failed);
    // Prints "spanmon-cli: text" on err, for --verbose.
    void note(const QString& text);
    // Added to a failure that is no answer at all: why an agent may keep silent.
    void setSilenceHint(const QString& hint) { silenceHint_ = hint; }
    // With JSON, writes the error document when the command wrote none. Returns `code`.
    int finish(int code);

    // The JSON document of a failure.
    static QString errorDocument(int code, const QString& message);
    // A device's text with its control characters (C0, DEL, C1) replaced, for a terminal.
    static QString shown(const QString& text);
    // A field of a terse line: shown(), then "\\" for a backslash and "\\:" for a colon.
    static QString terseField(const QString& text);

private:
    struct Write {
        int port = 0; // 0: the system
        QString value;
        WriteResult result;
    };

    // The midspan's port count allows every port asked for; otherwise says why, with the code.
    // An empty list becomes every port.
    std::optional<int> refuseMissingPorts(MidspanAccess& midspan, std::vector<int>& ports);
    // Keeps a write's result for the JSON document or prints its line, and tells a failure on
    // err; false when the write failed.
    bool record(const MidspanAccess& midspan, const Write& write);
    int finishWrites(MidspanAccess& midspan);
    int listFound(const QString& searched, const QJsonArray& found, const QStringList& lines,
                  const QStringList& terse);
    void print(const QString& text);
    void printDocument(QJsonObject document);

    Clock& clock_;
    QTextStream& out_;
    QTextStream& err_;
    const Invocation::Format format_;
    const bool header_;
    std::vector<Write> writes_;
    QString silenceHint_;
    QString firstFailure_;
    bool documentWritten_ = false;
};
