#include "MidspanSimProcess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace std::chrono_literals;

namespace
{

// The agents answer on a UDP port of their own, so that no root is needed and no other agent of
// this machine is found.
const QString udpPort = "16841";
const QString agent = "127.0.0.41";
const QString secondAgent = "127.0.0.43";
const QString agentWithPort = agent + ':' + udpPort;

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

// How a row reaches the midspan: the link options of spanmon-cli.
enum class Link { V2c, V3, Serial };

} // namespace

Q_DECLARE_METATYPE(Link)

// spanmon-cli, the real program, against simulated midspans on both links: what it prints and
// what the midspan was sent (the simulator's log of SNMP requests and serial frames).
class tst_CliEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

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
    void silentMidspanFailsWithinItsTimeOuts_data();
    void silentMidspanFailsWithinItsTimeOuts();
    void findListsEveryMidspan_data();
    void findListsEveryMidspan();
    void usageErrors_data();
    void usageErrors();

private:
    Run cli(const QStringList& arguments);
    QStringList linkOptions(Link link) const;
    void addLinkRows(bool withSerial = true);
    QJsonObject statusJson(Link link);
    // The port's enable writes since the log was cleared, in order: "2 off", "5 on".
    QStringList enableWrites(Link link);
    void clearLogs();

    QTemporaryDir workDir_;
    MidspanSimProcess sim_;
    MidspanSimProcess second_;
};

void tst_CliEndToEnd::initTestCase()
{
    QVERIFY(workDir_.isValid());
    const QStringList credentials{"--read-community", "rd-comm",   "--write-community", "wr-comm",
                                  "--v3-user",        "midspan",   "--v3-auth",         "auth-pass",
                                  "--v3-priv",        "priv-pass", "--steady",          "--no-line-delay"};
    QVERIFY2(sim_.start(QStringList{"--snmp", "udp:" + agentWithPort} + credentials),
             qPrintable(sim_.errorText()));
    QVERIFY2(second_.start(QStringList{"--snmp", "udp:" + secondAgent + ':' + udpPort, "--ports", "8",
                                       "--model", "POE528U-480-8-N"} +
                               credentials,
                           false),
             qPrintable(second_.errorText()));
    for (const char* command :
         {"set system firmware 0x23", "set system hardware 0x0A", "set system description Rack A",
          "set port 2 description Cam 2", "set port 2 power 4660", "set port 2 voltage 523",
          "set port 2 current 89", "set port 3 legacy 1", "set port 7 status 3", "set port 9 enabled 0"})
        QCOMPARE(sim_.control(command), QByteArray("ok"));

    QFile ini(workDir_.filePath("Link.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[IPAdress]\r\nIP=127.0.0.1\r\nEndIP=254\r\n[Community]\r\nRead=rd-comm\r\nSet=wr-comm\r\n"
              "[SNMPv3]\r\nVersion=\r\nUser=midspan\r\nAuthPassword=auth-pass\r\nPrivPassword=priv-pass\r\n");
    // A set community SNMP cannot carry to the midspan as it is written.
    QFile euro(workDir_.filePath("euro.ini"));
    QVERIFY(euro.open(QIODevice::WriteOnly));
    euro.write("[IPAdress]\r\nIP=127.0.0.1\r\n[Community]\r\nRead=rd-comm\r\nSet=wr-comm\xE2\x82\xAC\r\n");
}

void tst_CliEndToEnd::init()
{
    // Every test starts from ports that are on and a midspan that answers and takes writes.
    for (const char* command : {"set port 3 enabled 1", "set port 2 enabled 1", "set port 5 enabled 1",
                                "refuse-sets off", "snmp start", "silent off", "max-objects off"})
        QCOMPARE(sim_.control(command), QByteArray("ok"));
    clearLogs();
}

void tst_CliEndToEnd::clearLogs()
{
    sim_.clearSnmpLog();
    sim_.clearFrames();
}

Run tst_CliEndToEnd::cli(const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(workDir_.path());
    QElapsedTimer clock;
    clock.start();
    process.start(SPANMON_CLI_PATH, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()), clock.elapsed()};
}

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
        total += field("power").toInt();
    }
    QCOMPARE(ports[6].toObject()["status_text"].toString(), QString("Detecting"));
    QCOMPARE(ports[1].toObject()["status_text"].toString(), QString("Port Connected"));
    QCOMPARE(ports[8].toObject()["status_text"].toString(), QString("Disable/Error"));
    QCOMPARE(status["total_power_mW"].toInt(), total);

    // A status read writes nothing, not even the check of the set community.
    if (link == Link::Serial) {
        for (const QString& frame : sim_.frames())
            QVERIFY2(frame.startsWith("04") || frame.startsWith("05"), qPrintable(frame));
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
    QCOMPARE(QSet<QString>(asked.begin(), asked.end()).size(), 4 + 24 * 6);
}

void tst_CliEndToEnd::switchedOffPortShowsInStatus_data()
{
    addLinkRows();
}

void tst_CliEndToEnd::switchedOffPortShowsInStatus()
{
    QFETCH(Link, link);
    const Run off = cli(QStringList{"port", "3", "off"} + linkOptions(link));
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
    addLinkRows();
}

void tst_CliEndToEnd::cycleSwitchesOffWaitsAndSwitchesOn()
{
    QFETCH(Link, link);
    const Run cycle = cli(QStringList{"port", "2,5", "cycle", "--off-seconds", "2"} + linkOptions(link));
    QCOMPARE(cycle.exitCode, 0);
    QCOMPARE(enableWrites(link), (QStringList{"2 off", "5 off", "2 on", "5 on"}));
    QVERIFY2(cycle.ms >= 2000, qPrintable(QString("the ports were off for less than %1 ms").arg(cycle.ms)));
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
    process.start(SPANMON_CLI_PATH,
                  QStringList{"port", "8", "cycle", "--off-seconds", "30"} + linkOptions(link));
    QVERIFY(process.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return sim_.command("get port 8 enabled") == "0"; }, 20000));
    QTest::qWait(300); // into the off time
    ::kill(pid_t(process.processId()), signal);
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

void tst_CliEndToEnd::silentMidspanFailsWithinItsTimeOuts_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QByteArray>("silence");
    QTest::addColumn<qint64>("timeOutsMs");
    // 21 tries of 200 ms; one engine discovery of 1 s; three replies of 1 s each.
    QTest::newRow("SNMP v2c") << Link::V2c << QByteArray("snmp stop") << qint64(4200);
    QTest::newRow("SNMPv3") << Link::V3 << QByteArray("snmp stop") << qint64(1000);
    QTest::newRow("serial") << Link::Serial << QByteArray("silent on") << qint64(3000);
}

void tst_CliEndToEnd::silentMidspanFailsWithinItsTimeOuts()
{
    QFETCH(Link, link);
    QFETCH(QByteArray, silence);
    QFETCH(qint64, timeOutsMs);
    QCOMPARE(sim_.control(silence), QByteArray("ok"));
    const Run run = cli(QStringList{"status"} + linkOptions(link));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(": no answer"), qPrintable(run.err));
    QCOMPARE(run.out, QString());
    // The time-outs themselves, plus what starting the program costs.
    QVERIFY2(run.ms >= timeOutsMs && run.ms < timeOutsMs + 3000, qPrintable(QString::number(run.ms)));
}

void tst_CliEndToEnd::findListsEveryMidspan_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("expected");
    const QStringList both{agent + " *** POE528U-480-24-N", secondAgent + " *** POE528U-480-8-N"};
    QTest::newRow("SNMP v2c") << QStringList{"--range", "127.0.0.1-254:" + udpPort} << both;
    QTest::newRow("SNMPv3") << QStringList{"--range", "127.0.0.1-254:" + udpPort, "--v3"} << both;
    QTest::newRow("serial") << QStringList{"--serial", sim_.serialLinkPath()}
                            << QStringList{sim_.serialLinkPath() + " *** POE528U-480-24-N"};
}

void tst_CliEndToEnd::findListsEveryMidspan()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, expected);
    const Run run = cli(QStringList{"find"} + options);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts), expected);
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
    QTest::newRow("no settings file")
        << QStringList{"status", "--snmp", agentWithPort, "--settings", "none.ini"}
        << "none.ini: no settings file";
    QTest::newRow("credential beyond Latin-1")
        << QStringList{"describe-system", "Rack", "--snmp", agentWithPort, "--settings", "euro.ini"}
        << "euro.ini: a community, user or pass phrase in Link.ini has a character beyond Latin-1";
    QTest::newRow("port beyond the midspan's")
        << QStringList{"port", "9", "on", "--snmp", secondAgent + ':' + udpPort}
        << "port 9: the midspan has 8 ports";
}

void tst_CliEndToEnd::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    const Run run = cli(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(complaint), qPrintable(run.err));
    QCOMPARE(run.out, QString());
    if (!complaint.contains(':'))
        QVERIFY2(run.err.contains("Usage: "), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(tst_CliEndToEnd)
#include "tst_cliendtoend.moc"
