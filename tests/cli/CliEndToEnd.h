#pragma once

// spanmon-cli, the real program, against simulated midspans on both links, for the test programs
// that run it end to end: the midspans, the runs and their clock, and the check of every JSON
// document a run writes against the schema that the repository publishes.
#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>

#include <map>
#include <memory>

// The agents answer on a UDP port of their own, so that no root is needed and no other agent of
// this machine is found.
inline const QString udpPort = "16841";
inline const QString agent = loopbackAddress(0, 41);
inline const QString secondAgent = loopbackAddress(0, 43);
// The start of every range searched: the first address of this program's block.
inline const QString rangeStart = loopbackAddress(0, 1);
inline const QString agentWithPort = agent + ':' + udpPort;
// A midspan that answers nothing, on either link.
inline const QString silentAgent = loopbackAddress(0, 45);
inline const QString silentAgentWithPort = silentAgent + ':' + udpPort;

// The clock of most runs: their pauses (the wait after a write, the off time of a power-cycle) go
// ten times faster. Rows that time what the program waits for run without it, as an operator's.
inline const QString invocationClockScale = "SPANMON_CLOCK_SCALE";
inline const QString fastClock = "0.1";
inline const QString realClock;

inline double clockFactor(const QString& scale)
{
    return scale.isEmpty() ? 1.0 : scale.toDouble();
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

// A run under way. Its end is taken when it comes, also while the test awaits another run.
struct Pending {
    QString function; // the test function that started it
    QProcess process;
    QElapsedTimer clock;
    qint64 ms = -1; // from start to end; -1 while it runs
};

// How the program is started, where a row needs more than the test's folder and environment.
struct Start {
    QString workDir; // empty: the test's folder
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString stdoutFile;             // e.g. /dev/full
    bool closeStdout = false;       // the reader goes away before the program writes
    QStringList asAnotherUser;      // the command that runs the program as another user
    QString clockScale = fastClock; // $SPANMON_CLOCK_SCALE; empty: not set
};

// The midspans: sim_ (24 ports, both links), second_ (8 ports, its serial line silent) and
// silent_ (neither link answers); a folder with Link.ini and the settings files of the rows.
class CliEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

protected:
    Run cli(const QStringList& arguments, const Start& start = {});
    // Starts the run of a row while its table is made, so that the runs of rows that do not
    // touch one another wait out their time-outs together; cli() with the same arguments and
    // clock in the row awaits it. Returns the arguments.
    QStringList ahead(const QStringList& arguments, const QString& clockScale = fastClock);
    void clearLogs();

    QTemporaryDir workDir_;
    MidspanSimProcess sim_;
    MidspanSimProcess second_;
    MidspanSimProcess silent_;

private:
    std::unique_ptr<Pending> launch(const QStringList& arguments, const Start& start);
    // The midspan as every test starts from: ports on, answering and taking writes, empty logs.
    bool resetMidspan();
    void dropRunsOfOtherTests();

    // The JSON documents of the current test, checked against the schema after it.
    QStringList documents_;
    QProcess schemaChecker_;
    std::map<QString, std::unique_ptr<Pending>> ahead_; // by clock and arguments
};
