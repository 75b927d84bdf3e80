#include "CliEndToEnd.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <csignal>
#include <map>
#include <unistd.h>

namespace
{

// Rows run as nobody need root to switch users; in CI they never skip.
bool canRunAsAnotherUser()
{
    return ::geteuid() == 0;
}

const QStringList asNobody{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};

// Control characters a terminal acts on: C0 but the line end, DEL and C1.
bool holdsControls(const QString& text)
{
    for (const QChar c : text)
        if ((c < u' ' && c != u'\n') || (c >= u'\x7f' && c < u'\xa0'))
            return true;
    return false;
}

// How a row reaches the midspan: the link options of spanmon-cli.
enum class Link { V2c, V3, Serial };

} // namespace

Q_DECLARE_METATYPE(Link)

// spanmon-cli, the real program, against simulated midspans on both links: what it prints and
// what the midspan was sent (the simulator's log of SNMP requests and serial frames).
class tst_CliEndToEnd : public CliEndToEnd
{
    Q_OBJECT

private slots:
    void statusEqualsTheMidspan_data();
    void statusEqualsTheMidspan();
    void agentWithSmallBuffersIsAskedInParts();
    void switchedOffPortShowsInStatus_data();
    void switchedOffPortShowsInStatus();
    void cycleSwitchesOffWaitsAndSwitchesOn_data();
    void cycleSwitchesOffWaitsAndSwitchesOn();
    void signalDuringCycleSwitchesThePortBackOn_data();
    void signalDuringCycleSwitchesThePortBackOn();
    void latin1DescriptionReadsBackAsWritten_data();
    void latin1DescriptionReadsBackAsWritten();
    void descriptionsReachTheMidspan_data();
    void descriptionsReachTheMidspan();
    void refusedWriteNamesThePort_data();
    void refusedWriteNamesThePort();
    void usageErrors_data();
    void usageErrors();
    void versionAndQuiet_data();
    void versionAndQuiet();
    void settingsAreFoundInOrder_data();
    void settingsAreFoundInOrder();
    void portRangesAndAll_data();
    void portRangesAndAll();
    void deviceTextReachesNoTerminalRaw_data();
    void deviceTextReachesNoTerminalRaw();
    void unwritableOutputFails_data();
    void unwritableOutputFails();
    void serialPortProblems_data();
    void serialPortProblems();
    void clockScaleIsAFactor_data();
    void clockScaleIsAFactor();

private:
    QStringList linkOptions(Link link) const;
    void addLinkRows(bool withSerial = true);
    QJsonObject statusJson(Link link);
    // The port's enable writes since the log was cleared, in order: "2 off", "5 on".
    QStringList enableWrites(Link link);
};

QStringList tst_CliEndToEnd::linkOptions(Link link) const
{
    switch (link) {
    case Link::V2c:
        return {"--snmp", agentWithPort};
    case Link::V3:
        return {"--snmp", agentWithPort, "--v3"};
    case Link::Serial:
        break;
    }
    return {"--serial", sim_.serialLinkPath()};
}

void tst_CliEndToEnd::addLinkRows(bool withSerial)
{
    QTest::addColumn<Link>("link");
    QTest::newRow("SNMP v2c") << Link::V2c;
    QTest::newRow("SNMPv3") << Link::V3;
    if (withSerial)
        QTest::newRow("serial") << Link::Serial;
}

QJsonObject tst_CliEndToEnd::statusJson(Link link)
{
    const Run run = cli(QStringList{"status", "--json"} + linkOptions(link));
    if (run.exitCode != 0)
        qWarning() << run.err;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << "not one JSON document:" << error.errorString() << run.out;
    return document.object();
}

void tst_CliEndToEnd::statusEqualsTheMidspan_data()
{
    addLinkRows();
}

void tst_CliEndToEnd::statusEqualsTheMidspan()
{
    QFETCH(Link, link);
    const QJsonObject status = statusJson(link);
    QCOMPARE(status["firmware"].toString(), QString("2.3"));
    QCOMPARE(status["hardware"].toString(), QString("1.2"));
    QCOMPARE(status["description"].toString(), sim_.command("get system description"));
    QCOMPARE(status["model"].toString(), sim_.command("get system model"));
    QCOMPARE(status["format_version"].toInt(), 1);
    const QDateTime time = QDateTime::fromString(status["time"].toString(), Qt::ISODate);
    QVERIFY2(qAbs(time.secsTo(QDateTime::currentDateTimeUtc())) < 60, qPrintable(status["time"].toString()));
    const int count = sim_.command("get system ports").toInt();
    QCOMPARE(status["port_count"].toInt(), count);
    const QJsonArray ports = status["ports"].toArray();
    QCOMPARE(ports.size(), count);
    int total = 0;
    for (int p = 1; p <= count; ++p) {
        const QJsonObject port = ports[p - 1].toObject();
        const auto field = [&](const char* name) {
            return sim_.command(QString("get port %1 %2").arg(p).arg(name));
        };
        QCOMPARE(port["port"].toInt(), p);
        // Numbers are JSON numbers, in the units their names say.
        for (const char* name : {"status", "power_mW", "voltage_V", "current_mA"})
            QVERIFY2(port[name].isDouble(), name);
        QCOMPARE(port["enabled"].toBool(), field("enabled") == "1");
        QCOMPARE(port["status"].toInt(), field("status").toInt());
        QCOMPARE(port["power_mW"].toInt(), field("power").toInt());
        QCOMPARE(port["voltage_V"].toDouble(), field("voltage").toInt() / 10.0);
        QCOMPARE(port["current_mA"].toInt(), field("current").toInt());
        QCOMPARE(port["description"].toString(), field("description"));
        QCOMPARE(port["legacy_detection"].toBool(), field("legacy") == "1");
        total += field("power").toInt();
    }
    QCOMPARE(ports[6].toObject()["status_text"].toString(), QString("Detecting"));
    QCOMPARE(ports[1].toObject()["status_text"].toString(), QString("Port Connected"));
    QCOMPARE(ports[8].toObject()["status_text"].toString(), QString("Disable/Error"));
    // Words for scripts that stay whatever the window calls them.
    QCOMPARE(ports[6].toObject()["state"].toString(), QString("detecting"));
    QCOMPARE(ports[1].toObject()["state"].toString(), QString("connected"));
    QCOMPARE(ports[8].toObject()["state"].toString(), QString("disabled_or_error"));
    QCOMPARE(status["total_power_mW"].toInt(), total);

    // A status read writes nothing, not even the check of the set community; the model comes from
    // the identification.
    if (link == Link::Serial) {
        for (const QString& frame : sim_.frames())
            QVERIFY2(frame.startsWith("04") || frame.startsWith("05") || frame == "0E 00 0E",
                     qPrintable(frame));
    } else {
        for (const QString& request : sim_.snmpLog())
            QVERIFY2(request.startsWith("get "), qPrintable(request));
    }
}

void tst_CliEndToEnd::agentWithSmallBuffersIsAskedInParts()
{
    // The agent answers tooBig to a get of more than five objects.
    QCOMPARE(sim_.control("max-objects 5"), QByteArray("ok"));
    const QJsonObject status = statusJson(Link::V2c);
    QCOMPARE(status["port_count"].toInt(), 24);
    const QJsonArray ports = status["ports"].toArray();
    QCOMPARE(ports.size(), 24);
    QCOMPARE(ports[1].toObject()["power_mW"].toInt(), 4660);
    QCOMPARE(ports[23].toObject()["port"].toInt(), 24);
    // Every object once; a late answer on a loaded machine has the client ask its part again.
    const QStringList asked = sim_.snmpLog();
    QCOMPARE(QSet<QString>(asked.begin(), asked.end()).size(), 5 + 24 * 7);
}

void tst_CliEndToEnd::switchedOffPortShowsInStatus_data()
{
    addLinkRows();
}

void tst_CliEndToEnd::switchedOffPortShowsInStatus()
{
    QFETCH(Link, link);
    Start realTime;
    realTime.clockScale = realClock;
    const Run off = cli(QStringList{"port", "3", "off"} + linkOptions(link), realTime);
    QCOMPARE(off.exitCode, 0);
    QCOMPARE(off.out, QString("port 3: off\n"));
    QCOMPARE(enableWrites(link), QStringList{"3 off"});
    // The port keeps its legacy detection; an agent gets the pause after a set before the read-back.
    QCOMPARE(sim_.command("get port 3 legacy"), QString("1"));
    if (link != Link::Serial)
        QVERIFY2(off.ms >= 500, qPrintable(QString::number(off.ms)));

    const QJsonObject port3 = statusJson(link)["ports"].toArray()[2].toObject();
    QCOMPARE(port3["enabled"].toBool(true), false);
    QCOMPARE(port3["status"].toInt(-1), 0);

    // Switching it off again writes nothing.
    clearLogs();
    const Run again = cli(QStringList{"port", "3", "off"} + linkOptions(link));
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.out, QString("port 3: already off\n"));
    QCOMPARE(enableWrites(link), QStringList());
}

QStringList tst_CliEndToEnd::enableWrites(Link link)
{
    QStringList writes;
    if (link == Link::Serial) {
        // WritePortSettings: 03, port index, 3F, configuration byte (bit 0: enabled), ...
        for (const QString& frame : sim_.frames()) {
            const QByteArray bytes = hex(frame.toLatin1().constData());
            if (bytes.size() == 19 && bytes[0] == 0x03)
                writes << QString("%1 %2").arg(bytes[1] + 1).arg(bytes[3] & 0x01 ? "on" : "off");
        }
        return writes;
    }
    const QString prefix = "set 2.3.1.2.";
    for (const QString& request : sim_.snmpLog()) {
        if (request.startsWith(prefix)) {
            const QStringList words = request.mid(prefix.size()).split(' ');
            writes << QString("%1 %2").arg(words[0], words[1] == "2" ? "on" : "off");
        }
    }
    return writes;
}

void tst_CliEndToEnd::cycleSwitchesOffWaitsAndSwitchesOn_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QString>("clockScale");
    QTest::newRow("SNMP v2c") << Link::V2c << fastClock;
    QTest::newRow("SNMPv3") << Link::V3 << fastClock;
    QTest::newRow("serial, real time") << Link::Serial << realClock;
}

void tst_CliEndToEnd::cycleSwitchesOffWaitsAndSwitchesOn()
{
    QFETCH(Link, link);
    QFETCH(QString, clockScale);
    Start start;
    start.clockScale = clockScale;
    const Run cycle =
        cli(QStringList{"port", "2,5", "cycle", "--off-seconds", "2"} + linkOptions(link), start);
    QCOMPARE(cycle.exitCode, 0);
    QCOMPARE(enableWrites(link), (QStringList{"2 off", "5 off", "2 on", "5 on"}));
    const qint64 offMs = std::llround(2000 * clockFactor(clockScale));
    QVERIFY2(cycle.ms >= offMs, qPrintable(QString("the ports were off for less than %1 ms").arg(cycle.ms)));
    // Each port as long as the midspan saw it off.
    std::map<QString, qint64> offAt;
    for (const QString& change : sim_.portLog()) {
        const QStringList words = change.split(' '); // "1234 port 2 off"
        if (words[3] == "off") {
            offAt[words[2]] = words[0].toLongLong();
        } else {
            QVERIFY2(offAt.contains(words[2]), qPrintable(change));
            const qint64 offFor = words[0].toLongLong() - offAt[words[2]];
            QVERIFY2(offFor >= offMs, qPrintable(QString("port %1 off for %2 ms").arg(words[2]).arg(offFor)));
        }
    }
    QCOMPARE(sim_.command("get port 2 enabled"), QString("1"));
    QCOMPARE(sim_.command("get port 5 enabled"), QString("1"));
}

void tst_CliEndToEnd::signalDuringCycleSwitchesThePortBackOn_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::newRow("SIGTERM, SNMP v2c") << Link::V2c << SIGTERM << "SIGTERM";
    QTest::newRow("SIGINT, SNMP v2c") << Link::V2c << SIGINT << "SIGINT";
    QTest::newRow("SIGHUP, SNMP v2c") << Link::V2c << SIGHUP << "SIGHUP";
    QTest::newRow("SIGTERM, SNMPv3") << Link::V3 << SIGTERM << "SIGTERM";
}

void tst_CliEndToEnd::signalDuringCycleSwitchesThePortBackOn()
{
    QFETCH(Link, link);
    QFETCH(int, signal);
    QFETCH(QString, name);
    QCOMPARE(sim_.control("set port 8 enabled 1"), QByteArray("ok"));
    QProcess process;
    process.setWorkingDirectory(workDir_.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(invocationClockScale, fastClock);
    process.setProcessEnvironment(environment);
    process.start(SPANMON_CLI_PATH,
                  QStringList{"port", "8", "cycle", "--off-seconds", "30"} + linkOptions(link));
    QVERIFY(process.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return sim_.command("get port 8 enabled") == "0"; }, 20000));
    QTest::qWait(300); // into the off time
    // A process that has ended has no id: the signal would go to the test's own process group.
    const auto pid = pid_t(process.processId());
    QVERIFY2(pid > 0, "the power-cycle ended before the signal");
    ::kill(pid, signal);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 128 + signal);
    QCOMPARE(sim_.command("get port 8 enabled"), QString("1"));
    QCOMPARE(
        QString::fromUtf8(process.readAllStandardError()),
        QString("spanmon-cli: %1: %2 during the power-cycle: port 8 switched back on\n").arg(agent, name));
    QCOMPARE(enableWrites(link), (QStringList{"8 off", "8 on"}));
}

void tst_CliEndToEnd::latin1DescriptionReadsBackAsWritten_data()
{
    addLinkRows(false);
}

void tst_CliEndToEnd::latin1DescriptionReadsBackAsWritten()
{
    QFETCH(Link, link);
    const Run port =
        cli(QStringList{"describe", "4", QString::fromUtf8("Caf\u00E9 \u00BD")} + linkOptions(link));
    QCOMPARE(port.exitCode, 0);
    QCOMPARE(port.err, QString());
    // One octet per character, as the midspan keeps Latin-1.
    QCOMPARE(sim_.control("get port 4 description"), QByteArray("Caf\xE9 \xBD"));
    const QJsonObject status = statusJson(link);
    QCOMPARE(status["ports"].toArray().at(3).toObject()["description"].toString(),
             QString::fromUtf8("Caf\u00E9 \u00BD"));
}

void tst_CliEndToEnd::descriptionsReachTheMidspan_data()
{
    addLinkRows();
}

void tst_CliEndToEnd::descriptionsReachTheMidspan()
{
    QFETCH(Link, link);
    const QString name = link == Link::Serial ? "Serial 4" : link == Link::V3 ? "SNMPv3 4" : "v2c 4";
    const Run port = cli(QStringList{"describe", "4", name} + linkOptions(link));
    QCOMPARE(port.exitCode, 0);
    QCOMPARE(sim_.command("get port 4 description"), name);
    // The port keeps its other settings.
    QCOMPARE(sim_.command("get port 4 enabled"), QString("0"));

    const Run system = cli(QStringList{"describe-system", "Rack", "B"} + linkOptions(link));
    QCOMPARE(system.exitCode, 0);
    QCOMPARE(system.out, QString("system: description \"Rack B\"\n"));
    QCOMPARE(sim_.command("get system description"), QString("Rack B"));
    QCOMPARE(sim_.control("set system description Rack A"), QByteArray("ok"));
}

void tst_CliEndToEnd::refusedWriteNamesThePort_data()
{
    addLinkRows(false);
}

void tst_CliEndToEnd::refusedWriteNamesThePort()
{
    QFETCH(Link, link);
    QCOMPARE(sim_.control("refuse-sets on"), QByteArray("ok"));
    const Run run = cli(QStringList{"port", "3", "off", "--json"} + linkOptions(link));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(agent + ": port 3: the midspan refused the write"), qPrintable(run.err));
    const QJsonObject write = QJsonDocument::fromJson(run.out.toUtf8())["writes"][0].toObject();
    QCOMPARE(write["port"].toInt(), 3);
    QCOMPARE(write["result"].toString(), QString("refused"));
    QCOMPARE(sim_.command("get port 3 enabled"), QString("1"));
}

void tst_CliEndToEnd::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("no command") << QStringList{"--json"} << "no command given";
    QTest::newRow("unknown action") << QStringList{"port", "3", "dim", "--snmp", agentWithPort}
                                    << "not \"dim\"";
    QTest::newRow("unknown option") << QStringList{"status", "--community", "x"} << "community";
    QTest::newRow("no link") << QStringList{"status"} << "--serial PORT or --snmp ADDRESS";
    QTest::newRow("agent given twice")
        << QStringList{"status", "--snmp", agentWithPort, "--snmp", secondAgent + ':' + udpPort}
        << "--snmp is given more than once";
    QTest::newRow("no settings file")
        << QStringList{"status", "--snmp", agentWithPort, "--settings", "none.ini"}
        << "none.ini: no settings file";
    QTest::newRow("credential beyond Latin-1")
        << QStringList{"describe-system", "Rack", "--snmp", agentWithPort, "--settings", "euro.ini"}
        << "euro.ini: a community, user or pass phrase in Link.ini has a character beyond Latin-1";
    QTest::newRow("port beyond the midspan's")
        << QStringList{"port", "9", "on", "--snmp", secondAgent + ':' + udpPort}
        << "port 9: the midspan has 8 ports";
    QTest::newRow("port range beyond the midspan's, JSON")
        << QStringList{"port", "7-9", "on", "--json", "--snmp", secondAgent + ':' + udpPort}
        << "port 9: the midspan has 8 ports";
}

void tst_CliEndToEnd::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    const Run run = cli(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(complaint), qPrintable(run.err));
    if (arguments.contains("--json"))
        QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8())["error"]["exit_code"].toInt(), 2);
    else
        QCOMPARE(run.out, QString());
    // A mistake on the command line is one line and where to read more, not the whole help.
    if (!complaint.contains(':'))
        QCOMPARE(run.err.section('\n', 1), QString("Try 'spanmon-cli --help' for more information.\n"));
}

void tst_CliEndToEnd::versionAndQuiet_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    const QString version = "spanmon-cli " + QString(SPANMON_VERSION) + '\n';
    const QStringList quickGiveUp{"--timeout", "0.1", "--retries", "0"};
    QTest::newRow("-V") << QStringList{"-V"} << 0 << version;
    QTest::newRow("--version") << QStringList{"--version"} << 0 << version;
    QTest::newRow("quiet status, SNMP v2c")
        << QStringList{"status", "-q", "--snmp", agentWithPort} << 0 << QString();
    QTest::newRow("quiet status, serial")
        << QStringList{"status", "-q", "--serial", sim_.serialLinkPath()} << 0 << QString();
    QTest::newRow("quiet silent agent")
        << QStringList{"status", "-q", "--snmp", silentAgentWithPort} + quickGiveUp << 1 << QString();
    QTest::newRow("quiet write, SNMPv3")
        << QStringList{"port", "5", "on", "--quiet", "--v3", "--snmp", agentWithPort} << 0 << QString();
}

void tst_CliEndToEnd::versionAndQuiet()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    const Run run = cli(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, QString());
}

void tst_CliEndToEnd::settingsAreFoundInOrder_data()
{
    // Places: "given" (--settings), "env" ($SPANMON_SETTINGS), "local" (./Link.ini), "xdg"
    // ($XDG_CONFIG_HOME/spanmon), "home" (~/.config/spanmon); "state" ($XDG_STATE_HOME/spanmon),
    // "home state" (~/.local/state/spanmon) for the boot counter.
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<bool>("v3");
    QTest::addColumn<QString>("used");        // empty: refused
    QTest::addColumn<QString>("bootCounter"); // where an SNMPv3 run keeps it
    QTest::addColumn<QString>("complaint");
    QTest::addColumn<QString>("how"); // "link": ./Link.ini is a symbolic link; "root": root's, read by nobody
    QTest::newRow("--settings before all") << QStringList{"given", "env", "local", "home"} << true << "given"
                                           << "state" << QString() << QString();
    QTest::newRow("$SPANMON_SETTINGS before ./Link.ini")
        << QStringList{"env", "local", "home"} << false << "env" << QString() << QString() << QString();
    QTest::newRow("./Link.ini before ~/.config, its boot counter beside it")
        << QStringList{"local", "xdg", "home"} << true << "local"
        << "local" << QString() << QString();
    QTest::newRow("$XDG_CONFIG_HOME before ~/.config") << QStringList{"xdg", "home"} << true << "xdg"
                                                       << "state" << QString() << QString();
    QTest::newRow("~/.config, boot counter in ~/.local/state") << QStringList{"home"} << true << "home"
                                                               << "home state" << QString() << QString();
    QTest::newRow("nowhere") << QStringList{} << false << QString() << QString()
                             << "settings: no settings file: the communities and the SNMPv3 user come from "
                                "Link.ini (--settings FILE, $SPANMON_SETTINGS, ./Link.ini"
                             << QString();
    QTest::newRow("$SPANMON_SETTINGS names nothing")
        << QStringList{"local"} << false << QString() << QString() << "(from $SPANMON_SETTINGS)"
        << "env missing";
    QTest::newRow("symbolic link") << QStringList{"local"} << false << QString() << QString()
                                   << "Link.ini: cannot read it: it is a symbolic link, which is not followed"
                                   << "link";
    QTest::newRow("another user's file")
        << QStringList{"local"} << false << QString() << QString()
        << "Link.ini: cannot read it: Permission denied (the file belongs to root)"
        << "root";
}

void tst_CliEndToEnd::settingsAreFoundInOrder()
{
    QFETCH(QStringList, present);
    QFETCH(bool, v3);
    QFETCH(QString, used);
    QFETCH(QString, bootCounter);
    QFETCH(QString, complaint);
    QFETCH(QString, how);
    if (how == "root" && !canRunAsAnotherUser()) {
        if (qEnvironmentVariable("CI") == "true")
            QFAIL("reading another user's file needs root to run as nobody");
        QSKIP("reading another user's file needs root to run as nobody");
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther);
    const std::map<QString, QString> places{
        {"given", dir.filePath("given/Link.ini")},
        {"env", dir.filePath("env/settings.ini")},
        {"local", dir.filePath("cwd/Link.ini")},
        {"xdg", dir.filePath("xdg/spanmon/Link.ini")},
        {"home", dir.filePath("home/.config/spanmon/Link.ini")},
        {"state", dir.filePath("state/spanmon/snmpv3_boot_counter")},
        {"home state", dir.filePath("home/.local/state/spanmon/snmpv3_boot_counter")}};
    QVERIFY(QDir().mkpath(dir.filePath("cwd")));
    QVERIFY(QDir().mkpath(dir.filePath("home")));
    for (const QString& place : present) {
        const QString path = places.at(place);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        if (how == "link" && place == "local")
            QVERIFY(QFile::link(workDir_.filePath("Link.ini"), path));
        else
            QVERIFY(QFile::copy(workDir_.filePath("Link.ini"), path));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"SPANMON_SETTINGS", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        environment.remove(variable);
    environment.insert("HOME", dir.filePath("home"));
    if (present.contains("env") || how == "env missing")
        environment.insert("SPANMON_SETTINGS", places.at("env"));
    if (present.contains("xdg"))
        environment.insert("XDG_CONFIG_HOME", dir.filePath("xdg"));
    if (bootCounter == "state")
        environment.insert("XDG_STATE_HOME", dir.filePath("state"));
    Start start{dir.filePath("cwd"), environment, {}, false, {}};
    if (how == "root") {
        QVERIFY(QFile::setPermissions(places.at("local"), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(QFile::setPermissions(dir.filePath("cwd"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                               QFileDevice::ExeOwner |
                                                               QFileDevice::ExeOther));
        start.asAnotherUser = asNobody;
    }

    QStringList arguments{"status", "--verbose", "--snmp", agentWithPort};
    if (v3)
        arguments << "--v3";
    if (present.contains("given"))
        arguments << "--settings" << places.at("given");
    const Run run = cli(arguments, start);
    if (used.isEmpty()) {
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(complaint), qPrintable(run.err));
        // Said as it is, not as a missing community.
        QVERIFY2(!run.err.contains("no read community"), qPrintable(run.err));
        return;
    }
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.err.startsWith("spanmon-cli: settings from " + places.at(used) + '\n'), qPrintable(run.err));
    // The boot counter goes where the settings say, and nowhere else.
    for (const QString place : {"local", "state", "home state"}) {
        const QString path =
            place == QString("local") ? dir.filePath("cwd/snmpv3_boot_counter") : places.at(place);
        QVERIFY2(QFile::exists(path) == (place == bootCounter), qPrintable(place));
    }
}

void tst_CliEndToEnd::portRangesAndAll_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("eightPorts");
    QTest::addColumn<QString>("ports");
    QTest::addColumn<QList<int>>("off");
    QList<int> all24;
    for (int p = 1; p <= 24; ++p)
        all24 << p;
    QTest::newRow("SNMP v2c, a list with a range")
        << QStringList{"--snmp", agentWithPort} << false << "3,5-6" << QList<int>{3, 5, 6};
    QTest::newRow("serial, all") << QStringList{"--serial", sim_.serialLinkPath()} << false << "all" << all24;
    QTest::newRow("SNMPv3, all of eight") << QStringList{"--v3", "--snmp", secondAgent + ':' + udpPort}
                                          << true << "all" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8};
    QTest::newRow("serial, a range") << QStringList{"--serial", sim_.serialLinkPath()} << false << "20-22"
                                     << QList<int>{20, 21, 22};
}

void tst_CliEndToEnd::portRangesAndAll()
{
    QFETCH(QStringList, options);
    QFETCH(bool, eightPorts);
    QFETCH(QString, ports);
    QFETCH(QList<int>, off);
    MidspanSimProcess& sim = eightPorts ? second_ : sim_;
    const int count = sim.command("get system ports").toInt();
    QStringList before;
    for (int p = 1; p <= count; ++p)
        before << sim.command(QString("get port %1 enabled").arg(p));
    for (int p : off)
        QCOMPARE(sim.control(QString("set port %1 enabled 1").arg(p).toUtf8()), QByteArray("ok"));

    const Run run = cli(QStringList{"port", ports, "off", "-t"} + options);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QStringList lines;
    for (int p : off)
        lines << QString("%1:off:done").arg(p);
    QCOMPARE(run.out, lines.join("\n") + "\n");
    for (int p = 1; p <= count; ++p)
        QCOMPARE(sim.command(QString("get port %1 enabled").arg(p)),
                 off.contains(p) ? QString("0") : before[p - 1]);
    for (int p = 1; p <= count; ++p)
        QCOMPARE(sim.control(QString("set port %1 enabled %2").arg(p).arg(before[p - 1]).toUtf8()),
                 QByteArray("ok"));
}

void tst_CliEndToEnd::deviceTextReachesNoTerminalRaw_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("expected"); // lines, or parts of lines, in the output
    // Port 2: CR and LF written by another manager; port 3: an escape sequence, BEL and a C1
    // control; port 4: the separator and the escape of terse fields.
    const QStringList shown{"a?b?c", "x:y\\z"};
    for (const auto& [link, name] : {std::pair{Link::V2c, "SNMP v2c"}, std::pair{Link::Serial, "serial"}}) {
        const QStringList serial = link == Link::Serial ? QStringList{"?[2J??X"} : QStringList{};
        QTest::addRow("%s, table", name) << link << "" << QStringList{"Description  "} + shown + serial;
        QTest::addRow("%s, no header", name) << link << "--no-header" << shown + serial;
        QTest::addRow("%s, terse", name)
            << link << "-t"
            << QStringList{"2:8:connected:yes:no:4660:52.3:89:a?b?c\n", ":x\\:y\\\\z\n"} +
                   (link == Link::Serial ? QStringList{":?[2J??X\n"} : QStringList{});
    }
}

void tst_CliEndToEnd::deviceTextReachesNoTerminalRaw()
{
    QFETCH(Link, link);
    QFETCH(QString, format);
    QFETCH(QStringList, expected);
    const QString description2 = sim_.command("get port 2 description");
    // Another manager writes what the window and spanmon-cli never would.
    QProcess snmpset;
    snmpset.start("snmpset",
                  {"-v2c", "-c", "wr-comm", agentWithPort, "1.3.6.1.4.1.24852.2.3.1.6.2", "s", "a\rb\nc"});
    QVERIFY(snmpset.waitForFinished(10000));
    QVERIFY2(snmpset.exitCode() == 0, snmpset.readAllStandardError().constData());
    QCOMPARE(sim_.control("set port 3 description \x1b[2J\x07\x9bX"), QByteArray("ok"));
    QCOMPARE(sim_.control("set port 4 description x:y\\z"), QByteArray("ok"));

    QStringList arguments = QStringList{"status"} + linkOptions(link);
    if (!format.isEmpty())
        arguments << format;
    const Run run = cli(arguments);

    QCOMPARE(sim_.control("set port 2 description " + description2.toUtf8()), QByteArray("ok"));
    for (const char* command : {"set port 3 description ", "set port 4 description "})
        QCOMPARE(sim_.control(command), QByteArray("ok"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(!holdsControls(run.out), qPrintable(run.out));
    for (const QString& part : expected)
        QVERIFY2(run.out.contains(part), qPrintable(part + " in\n" + run.out));
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    if (!format.isEmpty()) {
        // Nothing but a line per port, for cut and awk.
        QCOMPARE(lines.size(), 24);
        for (int p = 1; p <= 24; ++p)
            QVERIFY2(
                lines[p - 1].startsWith(format == "-t" ? QString("%1:").arg(p) : QString("%1  ").arg(p, 4)),
                qPrintable(lines[p - 1]));
    }
}

void tst_CliEndToEnd::unwritableOutputFails_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("closedPipe");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("status to a full disk, SNMP v2c, JSON")
        << QStringList{"status", "--json", "--snmp", agentWithPort} << false << "No space left on device";
    QTest::newRow("status to a full disk, serial")
        << QStringList{"status", "--serial", sim_.serialLinkPath()} << false << "No space left on device";
    QTest::newRow("find into a closed pipe, SNMPv3")
        << QStringList{"find", "--v3", "--range", agent + ':' + udpPort} << true << "cannot write the output";
    QTest::newRow("status into a closed pipe, serial, terse")
        << QStringList{"status", "-t", "--serial", sim_.serialLinkPath()} << true
        << "cannot write the output";
}

void tst_CliEndToEnd::unwritableOutputFails()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, closedPipe);
    QFETCH(QString, complaint);
    Start start;
    if (closedPipe)
        start.closeStdout = true;
    else
        start.stdoutFile = "/dev/full";
    const Run run = cli(arguments, start);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("spanmon-cli: cannot write the output: ") && run.err.contains(complaint),
             qPrintable(run.err));
}

void tst_CliEndToEnd::serialPortProblems_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("no such port") << QStringList{"status", "--serial", "ttyNoSuch9"} << false << 2
                                  << "ttyNoSuch9: there is no serial port /dev/ttyNoSuch9";
    QTest::newRow("no such port to search") << QStringList{"find", "--serial", "/dev/ttyNoSuch9"} << false
                                            << 2 << "there is no serial port /dev/ttyNoSuch9";
    QTest::newRow("not this user's port") << QStringList{"status", "--serial", sim_.serialLinkPath()} << true
                                          << 1 << "Permission denied): join the dialout group";
    QTest::newRow("not this user's port to search, JSON")
        << QStringList{"find", "--json", "--serial", sim_.serialLinkPath()} << true << 1
        << "join the dialout group";
}

void tst_CliEndToEnd::serialPortProblems()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, asNobody);
    QFETCH(int, exitCode);
    QFETCH(QString, complaint);
    Start start;
    if (asNobody) {
        if (!canRunAsAnotherUser()) {
            if (qEnvironmentVariable("CI") == "true")
                QFAIL("a port another user may not open needs root to run as nobody");
            QSKIP("a port another user may not open needs root to run as nobody");
        }
        start.asAnotherUser = ::asNobody;
        start.workDir = "/";
    }
    const Run run = cli(arguments, start);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(complaint), qPrintable(run.err));
    QCOMPARE(sim_.frames(), QStringList());
}

void tst_CliEndToEnd::clockScaleIsAFactor_data()
{
    QTest::addColumn<QString>("clockScale");
    QTest::addColumn<QStringList>("format");
    QTest::newRow("stopped") << "0" << QStringList();
    QTest::newRow("slower") << "1.5" << QStringList();
    QTest::newRow("no number, JSON") << "fast" << QStringList{"--json"};
}

void tst_CliEndToEnd::clockScaleIsAFactor()
{
    QFETCH(QString, clockScale);
    QFETCH(QStringList, format);
    Start start;
    start.clockScale = clockScale;
    const Run run = cli(QStringList{"port", "3", "off", "--snmp", agentWithPort} + format, start);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(
        run.err.section('\n', 0, 0),
        QString("spanmon-cli: $SPANMON_CLOCK_SCALE \"%1\" is no factor above 0 up to 1").arg(clockScale));
    if (!format.isEmpty())
        QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8())["error"]["exit_code"].toInt(), 2);
    // The midspan is not asked.
    QCOMPARE(sim_.snmpLog(), QStringList());
    QCOMPARE(sim_.command("get port 3 enabled"), QString("1"));
}

QTEST_GUILESS_MAIN(tst_CliEndToEnd)
#include "tst_cliendtoend.moc"
