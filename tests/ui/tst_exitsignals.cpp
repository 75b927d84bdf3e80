// kill, Ctrl+C and the end of a session (SIGTERM, SIGINT, SIGHUP) end Spanmon and Ethfind as
// closing their windows does: a real signal to a real process, then a look at what it left.
#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"
#include "NetworkRig.h"
#include "SerialWindowRig.h"
#include "app/ExitOnSignals.h"
#include "links/snmp/SnmpClient.h"
#include "ui/PortDescription.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{

const char WindowChild[] = "--window-child";
const char CycleChild[] = "--cycle-child";
const QString CycleAgent = loopbackAddress(48, 1);
// The cycle's clock: its longest off time lasts six seconds, time enough to be ended in it.
constexpr double CycleScale = 0.1;

void addSignalRows()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

// net-snmp's private folder and whatever else the program put into its temporary folder.
QStringList leftIn(const QTemporaryDir& temporary, const QString& pattern)
{
    return QDir(temporary.path()).entryList({pattern}, QDir::AllEntries | QDir::Hidden | QDir::System);
}

// The lock file QSerialPort keeps for a port while it is open, in the first lock folder it may use.
QStringList lockFilesOf(const QString& portPath)
{
    QStringList found;
    const QString name = QStringLiteral("LCK..") + QString(portPath).replace(u'/', u'_');
    for (const char* folder : {"/var/lock", "/run/lock", "/tmp", "/var/tmp"}) {
        const QFileInfo lock(QLatin1String(folder) + u'/' + name);
        if (lock.exists() && !found.contains(lock.canonicalFilePath()))
            found << lock.canonicalFilePath();
    }
    return found;
}

// Whether the process has a handler for the signal: it is ready for it.
bool catches(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

// The cycle's rows: each signal on each link.
void addCycleRows()
{
    QTest::addColumn<bool>("network");
    QTest::addColumn<int>("signal");
    for (const bool network : {false, true})
        for (const int signal : {SIGTERM, SIGINT, SIGHUP})
            QTest::addRow("%s SIG%s", network ? "network" : "serial", sigabbrev_np(signal))
                << network << signal;
}

// Ends the process as the test's last resort, so that a failing row leaves nothing running.
struct Running {
    QProcess process;
    ~Running()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(WaitMs);
        }
    }
};

void startWith(Running& run, const QString& program, const QStringList& arguments,
               const QTemporaryDir& temporary)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    run.process.setProcessEnvironment(environment);
    run.process.setWorkingDirectory(temporary.path());
    run.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.process.start(program, arguments);
    // Until the program runs, the process is a copy of this one, with this one's handlers.
    QVERIFY(run.process.waitForStarted(WaitMs));
}

// Connects the rig's window to the simulated midspan on ttyV0: 0, or the child's exit code.
int connectOnTtyV0(SerialWindowRig& rig)
{
    rig.window->show();
    rig.chooseSerialLink();
    if (!rig.choosePort(QStringLiteral("ttyV0")))
        return 2;
    rig.click(ctl::SearchPoe);
    if (!QTest::qWaitFor([&rig] { return rig.foundCount() == 1; }, WaitMs))
        return 3;
    rig.selectFound(0);
    return rig.spanmon->serial().sessionRuns() ? 0 : 4;
}

// The real main window in a process of its own, wired as app/main.cpp wires Spanmon's, connected
// to the simulated midspan on ttyV0 of the given folder. Prints "connected", then runs until it
// ends.
int runWindowChild(int argc, char* argv[])
{
    QApplication app(argc, argv);
    SerialWindowRig rig(QString::fromLocal8Bit(argv[2]));
    ExitOnSignals exitOnSignals([&rig] { rig.window->controller().stopLinks(); });
    if (const int failed = connectOnTtyV0(rig))
        return failed;
    std::puts("connected");
    std::fflush(stdout);
    return app.exec();
}

// Port 3 of the connected window in the off time of a long power-cycle: prints "off", then runs
// until it ends.
int cycleUntilEnded(QApplication& app, MainWindow& window)
{
    ExitOnSignals exitOnSignals([&window] { window.controller().stopLinks(); });
    PowerCycle& cycle = window.findChild<PortDescription*>()->powerCycle();
    if (!QTest::qWaitFor([&cycle] { return cycle.start({3}, PowerCycle::MaxOffSeconds); }, WaitMs))
        return 3;
    if (!QTest::qWaitFor([&cycle] { return cycle.step() == PowerCycle::Step::Off; }, WaitMs))
        return 4;
    std::puts("off");
    std::fflush(stdout);
    return app.exec();
}

// As runWindowChild, on the network link (no folder given) or the serial link, with a power-cycle
// under way.
int runCycleChild(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc == 3) {
        SerialWindowRig rig(QString::fromLocal8Bit(argv[2]), CycleScale);
        if (const int failed = connectOnTtyV0(rig))
            return failed;
        return cycleUntilEnded(app, *rig.window);
    }
    initSnmpLibrary();
    Rig rig(CycleAgent, QString(), QStringLiteral("private"), QStringLiteral("auth-pass"), CycleScale);
    if (!rig.connect(CycleAgent))
        return 2;
    return cycleUntilEnded(app, *rig.window);
}

} // namespace

class tst_ExitSignals : public QObject
{
    Q_OBJECT

private slots:
    // The program itself: its net-snmp folder (made at start) is removed, as at a normal exit.
    void spanmonLeavesNoTemporaryFolder_data() { addSignalRows(); }
    void spanmonLeavesNoTemporaryFolder()
    {
        QFETCH(int, signal);
        QTemporaryDir temporary;
        Running spanmon;
        startWith(spanmon, QStringLiteral(SPANMON_PATH), {}, temporary);
        QVERIFY(!QTest::currentTestFailed());
        QTRY_VERIFY_WITH_TIMEOUT(catches(spanmon.process.processId(), signal), WaitMs);
        QCOMPARE(leftIn(temporary, QStringLiteral("Spanmon-*")).size(), 1);
        QVERIFY(::kill(pid_t(spanmon.process.processId()), signal) == 0);
        QVERIFY(spanmon.process.waitForFinished(WaitMs));
        QCOMPARE(spanmon.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(spanmon.process.exitCode(), 0);
        QCOMPARE(leftIn(temporary, QStringLiteral("Spanmon-*")), QStringList());
    }

    // The window with a serial session: the COM port is closed and its lock file gone.
    void serialSessionEndsWithThePortClosed_data() { addSignalRows(); }
    void serialSessionEndsWithThePortClosed()
    {
        QFETCH(int, signal);
        MidspanSimProcess sim;
        QVERIFY(sim.start({"--ports", "2", "--no-line-delay", "--steady"}));
        QTemporaryDir temporary;
        Running child;
        startWith(child, QCoreApplication::applicationFilePath(),
                  {QString::fromLatin1(WindowChild), sim.directory()}, temporary);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(child.process.waitForReadyRead(WaitMs));
        QCOMPARE(child.process.readAll().trimmed(), QByteArray("connected"));
        QCOMPARE(lockFilesOf(sim.serialLinkPath()).size(), 1);
        const QString snmpFolder = QCoreApplication::applicationName() + QStringLiteral("-*"); // net-snmp's
        QCOMPARE(leftIn(temporary, snmpFolder).size(), 1);

        QVERIFY(::kill(pid_t(child.process.processId()), signal) == 0);
        QVERIFY(child.process.waitForFinished(WaitMs));
        QCOMPARE(child.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.process.exitCode(), 0);
        QCOMPARE(lockFilesOf(sim.serialLinkPath()), QStringList());
        QCOMPARE(leftIn(temporary, snmpFolder), QStringList());
    }

    // The window in the off time of a power-cycle: the port is switched back on before the end.
    void cycledPortIsSwitchedBackOn_data() { addCycleRows(); }
    void cycledPortIsSwitchedBackOn()
    {
        QFETCH(bool, network);
        QFETCH(int, signal);
        if (network && needsRoot()) {
            if (qgetenv("CI") == "true")
                QFAIL("the agent needs UDP port 161, which needs root");
            QSKIP("the agent needs UDP port 161, which needs root");
        }
        MidspanSimProcess sim;
        QVERIFY2(network ? sim.start(simOptions(CycleAgent, 4), false)
                         : sim.start({"--ports", "4", "--no-line-delay", "--steady"}),
                 qPrintable(sim.errorText()));
        QTemporaryDir temporary;
        Running child;
        QStringList arguments{QString::fromLatin1(CycleChild)};
        if (!network)
            arguments << sim.directory();
        startWith(child, QCoreApplication::applicationFilePath(), arguments, temporary);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(child.process.waitForReadyRead(2 * WaitMs));
        QCOMPARE(child.process.readAll().trimmed(), QByteArray("off"));
        QCOMPARE(sim.command("get port 3 enabled"), QStringLiteral("0"));

        QVERIFY(::kill(pid_t(child.process.processId()), signal) == 0);
        QVERIFY(child.process.waitForFinished(WaitMs));
        QCOMPARE(child.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.process.exitCode(), 0);
        QCOMPARE(sim.command("get port 3 enabled"), QStringLiteral("1"));
    }

    // Ethfind searches at once; in a network namespace of its own (root) its broadcast goes
    // nowhere.
    void ethfindEnds_data() { addSignalRows(); }
    void ethfindEnds()
    {
        QFETCH(int, signal);
        if (::geteuid() != 0) {
            if (qgetenv("CI") == "true")
                QFAIL("a network namespace of its own needs root");
            QSKIP("Ethfind broadcasts; a network namespace of its own needs root");
        }
        QTemporaryDir temporary;
        Running ethfind;
        startWith(ethfind, QStringLiteral("unshare"), {QStringLiteral("--net"), QStringLiteral(ETHFIND_PATH)},
                  temporary);
        QVERIFY(!QTest::currentTestFailed());
        QTRY_VERIFY_WITH_TIMEOUT(catches(ethfind.process.processId(), signal), WaitMs);
        QVERIFY(::kill(pid_t(ethfind.process.processId()), signal) == 0);
        QVERIFY(ethfind.process.waitForFinished(WaitMs));
        QCOMPARE(ethfind.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ethfind.process.exitCode(), 0);
    }
};

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], WindowChild) == 0)
        return runWindowChild(argc, argv);
    if ((argc == 2 || argc == 3) && qstrcmp(argv[1], CycleChild) == 0)
        return runCycleChild(argc, argv);
    QApplication app(argc, argv);
    tst_ExitSignals test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exitsignals.moc"
