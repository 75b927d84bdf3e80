#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"

#include <QProcess>
#include <QTest>

#include <unistd.h>

using namespace std::chrono_literals;

namespace
{

const QString agent = loopbackAddress(0, 2);
const QString base = ".1.3.6.1.4.1.24852";
const QStringList v2cRead{"-v2c", "-c", "rd-comm"};
const QStringList v2cWrite{"-v2c", "-c", "wr-comm"};
const QStringList v3{"-v3", "-u",        "midspan", "-l",  "authPriv", "-a",       "MD5",
                     "-A",  "auth-pass", "-x",      "DES", "-X",       "priv-pass"};

struct ToolResult {
    int exitCode = -1;
    QString output;
    QString errors;
};

} // namespace

// The simulated midspan's SNMP agent, read and written with net-snmp's own tools.
class tst_MidspanSnmp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readEveryObject_data();
    void readEveryObject();
    void writeEveryObject_data();
    void writeEveryObject();
    void readCommunityCannotWrite();
    void unknownCommunityGetsNoAnswer();
    void refusedWrites_data();
    void refusedWrites();
    void walkCoversEveryObject_data();
    void walkCoversEveryObject();
    void writesShowOnBothLinks();
    void controlFaults();
    void flashAndDefaults();
    void resetSilencesAgent();

private:
    ToolResult run(const QString& tool, const QStringList& credentials, const QStringList& arguments,
                   const QString& timeoutSeconds = "1");
    QString get(const QStringList& credentials, const QString& object);

    QTemporaryDir toolDir_;
    MidspanSimProcess sim_;
};

void tst_MidspanSnmp::initTestCase()
{
    if (geteuid() != 0) {
        if (qgetenv("CI") == "true")
            QFAIL("the agent needs UDP port 161, which needs root");
        QSKIP("the agent needs UDP port 161, which needs root");
    }
    QVERIFY2(
        sim_.start({"--snmp", "udp:" + agent + ":161", "--read-community", "rd-comm", "--write-community",
                    "wr-comm", "--v3-user", "midspan", "--v3-auth", "auth-pass", "--v3-priv", "priv-pass",
                    "--ports", "4", "--steady", "--no-line-delay", "--restart-seconds", "0.5"}),
        qPrintable(sim_.errorText()));
    QVERIFY(sim_.openSerial());
    for (const char* command :
         {"set system firmware 0x23", "set system hardware 0x0A", "set system description Rack A",
          "set port 2 enabled 1", "set port 2 legacy 1", "set port 2 description Cam 2",
          "set port 2 status 8", "set port 2 power 4660", "set port 2 voltage 523", "set port 2 current 89",
          "set port 2 resistance 12345"})
        QCOMPARE(sim_.control(command), QByteArray("ok"));
}

ToolResult tst_MidspanSnmp::run(const QString& tool, const QStringList& credentials,
                                const QStringList& arguments, const QString& timeoutSeconds)
{
    QProcess process;
    // The tools read and write nothing of this machine's SNMP set-up.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SNMPCONFPATH", toolDir_.path());
    environment.insert("SNMP_PERSISTENT_DIR", toolDir_.path());
    environment.insert("MIBS", "");
    environment.insert("MIBDIRS", toolDir_.path());
    process.setProcessEnvironment(environment);
    process.start(tool, credentials + QStringList{"-On", "-t", timeoutSeconds, "-r", "0", agent} + arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed(),
            QString::fromLocal8Bit(process.readAllStandardError()).trimmed()};
}

QString tst_MidspanSnmp::get(const QStringList& credentials, const QString& object)
{
    return run("snmpget", credentials, {base + object}).output;
}

void tst_MidspanSnmp::readEveryObject_data()
{
    QTest::addColumn<QStringList>("credentials");
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("answer");

    for (const auto& [version, credentials] : {std::pair{"v2c", v2cRead}, std::pair{"v3", v3}}) {
        const auto row = [&, version = version, credentials = credentials](
                             const char* name, const char* object, const char* answer) {
            QTest::addRow("%s %s", version, name) << credentials << QString(object) << QString(answer);
        };
        row("identity", ".2.1.0", "STRING: \"POE528U-480-24-N\"");
        row("reset reads 0", ".2.2.1.0", "INTEGER: 0");
        row("defaults reads 0", ".2.2.2.0", "INTEGER: 0");
        row("save reads 0", ".2.2.3.0", "INTEGER: 0");
        row("all ports reads 0", ".2.2.4.0", "INTEGER: 0");
        row("hardware 0A", ".2.2.6.0", "STRING: \"1.2\"");
        row("port count", ".2.2.7.0", "INTEGER: 4");
        row("firmware 23", ".2.2.10.0", "STRING: \"2.3\"");
        row("system description", ".2.2.11.0", "STRING: \"Rack A\"");
        row("port 2 enabled", ".2.3.1.2.2", "INTEGER: 2");
        row("port 2 description", ".2.3.1.6.2", "STRING: \"Cam 2\"");
        row("port 2 status", ".2.3.1.7.2", "INTEGER: 8");
        row("port 2 power", ".2.3.1.11.2", "INTEGER: 4660");
        row("port 2 voltage", ".2.3.1.12.2", "STRING: \"52.3\"");
        row("port 2 current", ".2.3.1.13.2", "INTEGER: 89");
        row("port 2 resistance in ohm", ".2.3.1.14.2", "INTEGER: 24690");
        row("port 2 legacy on", ".2.3.1.18.2", "INTEGER: 2");
        row("port 5 of 4", ".2.3.1.7.5", "No Such Instance currently exists at this OID");
        row("port 0", ".2.3.1.2.0", "No Such Instance currently exists at this OID");
        row("unknown object", ".2.9.0", "No Such Object available on this agent at this OID");
    }
}

void tst_MidspanSnmp::readEveryObject()
{
    QFETCH(QStringList, credentials);
    QFETCH(QString, object);
    QFETCH(QString, answer);
    QCOMPARE(get(credentials, object), base + object + " = " + answer);
}

// Each row first sets the device the other way through the control socket, so that only the
// write itself can bring the value expected (or, for a write that must change nothing, a value
// that what it must not do would change).
void tst_MidspanSnmp::writeEveryObject_data()
{
    QTest::addColumn<QStringList>("credentials");
    QTest::addColumn<QByteArray>("preset");
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("check");
    QTest::addColumn<QByteArray>("expected");

    for (const auto& [version, credentials] : {std::pair{"v2c", v2cWrite}, std::pair{"v3", v3}}) {
        const auto row = [&, version = version, credentials = credentials](
                             const char* name, const char* preset, const char* object, const char* type,
                             const char* value, const char* check, const char* expected) {
            QTest::addRow("%s %s", version, name)
                << credentials << QByteArray(preset) << QString(object) << QString(type) << QString(value)
                << QByteArray(check) << QByteArray(expected);
        };
        row("system description", "set system description Old", ".2.2.11.0", "s", "Lab 2",
            "get system description", "Lab 2");
        row("port 3 description", "set port 3 description Old", ".2.3.1.6.3", "s", "Door",
            "get port 3 description", "Door");
        row("port 3 off", "set port 3 enabled 1", ".2.3.1.2.3", "i", "1", "get port 3 enabled", "0");
        row("port 3 on", "set port 3 enabled 0", ".2.3.1.2.3", "i", "2", "get port 3 enabled", "1");
        row("port 3 legacy on", "set port 3 legacy 0", ".2.3.1.18.3", "i", "2", "get port 3 legacy", "1");
        row("port 3 legacy off", "set port 3 legacy 1", ".2.3.1.18.3", "i", "1", "get port 3 legacy", "0");
        row("all ports off", "set port 1 enabled 1", ".2.2.4.0", "i", "1", "get port 1 enabled", "0");
        row("all ports on", "set port 4 enabled 0", ".2.2.4.0", "i", "2", "get port 4 enabled", "1");
        // A reset would bring back the description kept in flash.
        row("reset written back as read, 0", "set system description Unsaved", ".2.2.1.0", "i", "0",
            "get system description", "Unsaved");
    }
}

void tst_MidspanSnmp::writeEveryObject()
{
    QFETCH(QStringList, credentials);
    QFETCH(QByteArray, preset);
    QFETCH(QString, object);
    QFETCH(QString, type);
    QFETCH(QString, value);
    QFETCH(QByteArray, check);
    QFETCH(QByteArray, expected);
    QCOMPARE(sim_.control(preset), QByteArray("ok"));
    const ToolResult result = run("snmpset", credentials, {base + object, type, value});
    QVERIFY2(result.exitCode == 0, qPrintable(result.errors));
    QCOMPARE(sim_.control(check), expected);
}

void tst_MidspanSnmp::readCommunityCannotWrite()
{
    QCOMPARE(sim_.control("set system description Rack A"), QByteArray("ok"));
    const ToolResult result = run("snmpset", v2cRead, {base + ".2.2.11.0", "s", "Intruder"});
    QVERIFY(result.exitCode != 0);
    QVERIFY2(result.errors.contains("noAccess"), qPrintable(result.errors));
    QCOMPARE(sim_.control("get system description"), QByteArray("Rack A"));
}

void tst_MidspanSnmp::unknownCommunityGetsNoAnswer()
{
    const ToolResult result = run("snmpget", {"-v2c", "-c", "guess"}, {base + ".2.1.0"}, "0.3");
    QVERIFY2(result.errors.contains("Timeout"), qPrintable(result.errors));
    QCOMPARE(get(v2cRead, ".2.2.7.0"), base + ".2.2.7.0 = INTEGER: 4");
}

void tst_MidspanSnmp::refusedWrites_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason");

    QTest::newRow("description of 11 characters") << ".2.2.11.0"
                                                  << "s"
                                                  << "ABCDEFGHIJK"
                                                  << "wrongLength";
    QTest::newRow("enable state 3") << ".2.3.1.2.3"
                                    << "i"
                                    << "3"
                                    << "wrongValue";
    QTest::newRow("enable state as text") << ".2.3.1.2.3"
                                          << "s"
                                          << "2"
                                          << "wrongType";
    QTest::newRow("all ports 3") << ".2.2.4.0"
                                 << "i"
                                 << "3"
                                 << "wrongValue";
    QTest::newRow("port count") << ".2.2.7.0"
                                << "i"
                                << "24"
                                << "notWritable";
    QTest::newRow("port 5 of 4") << ".2.3.1.2.5"
                                 << "i"
                                 << "2"
                                 << "noCreation";
    QTest::newRow("unknown object") << ".2.9.0"
                                    << "i"
                                    << "1"
                                    << "noCreation";
}

void tst_MidspanSnmp::refusedWrites()
{
    QFETCH(QString, object);
    QFETCH(QString, type);
    QFETCH(QString, value);
    QFETCH(QString, reason);
    const ToolResult result = run("snmpset", v2cWrite, {base + object, type, value});
    QVERIFY(result.exitCode != 0);
    QVERIFY2(result.errors.contains(reason), qPrintable(result.errors));
    QCOMPARE(get(v2cRead, ".2.2.7.0"), base + ".2.2.7.0 = INTEGER: 4");
}

void tst_MidspanSnmp::walkCoversEveryObject_data()
{
    QTest::addColumn<QStringList>("credentials");
    QTest::newRow("v2c") << v2cRead;
    QTest::newRow("v3") << v3;
}

void tst_MidspanSnmp::walkCoversEveryObject()
{
    QFETCH(QStringList, credentials);
    const ToolResult result = run("snmpwalk", credentials, {base});
    QCOMPARE(result.exitCode, 0);
    QStringList lines = result.output.split('\n');
    // Nothing follows the private MIB in this agent, so the walk ends at the end of the MIB view.
    QVERIFY(lines.takeLast().endsWith(
        "No more variables left in this MIB View (It is past the end of the MIB tree)"));
    // 9 scalars and 8 columns of 4 ports, in OID order.
    QCOMPARE(lines.size(), 9 + 8 * 4);
    QVERIFY(lines.first().startsWith(base + ".2.1.0 = "));
    QVERIFY(lines.at(9).startsWith(base + ".2.3.1.2.1 = "));
    QVERIFY(lines.last().startsWith(base + ".2.3.1.18.4 = "));
}

void tst_MidspanSnmp::writesShowOnBothLinks()
{
    QVERIFY(run("snmpset", v2cWrite, {base + ".2.2.11.0", "s", "Net"}).exitCode == 0);
    const QByteArray status = sim_.exchange(QByteArray::fromHex("040004"), 27);
    QCOMPARE(status.mid(15, 10), QByteArray("Net       "));
    // WritePortSettings for port 4: disabled, legacy on, description "Serial".
    const QByteArray portWrite =
        QByteArray::fromHex("03 03 3F E0 00 00 07 53 65 72 69 61 6C 20 20 20 20 04 0C");
    QCOMPARE(sim_.exchange(portWrite, 4), QByteArray::fromHex("03000003"));
    QCOMPARE(get(v2cRead, ".2.3.1.2.4"), base + ".2.3.1.2.4 = INTEGER: 1");
    QCOMPARE(get(v2cRead, ".2.3.1.18.4"), base + ".2.3.1.18.4 = INTEGER: 2");
    QCOMPARE(get(v2cRead, ".2.3.1.6.4"), base + ".2.3.1.6.4 = STRING: \"Serial\"");
}

void tst_MidspanSnmp::controlFaults()
{
    QCOMPARE(sim_.control("identity Laser printer"), QByteArray("ok"));
    QCOMPARE(get(v2cRead, ".2.1.0"), base + ".2.1.0 = STRING: \"Laser printer\"");
    QCOMPARE(sim_.control("identity"), QByteArray("ok"));
    QCOMPARE(get(v2cRead, ".2.1.0"), base + ".2.1.0 = STRING: \"POE528U-480-24-N\"");

    QCOMPARE(sim_.control("report-ports 25"), QByteArray("ok"));
    QCOMPARE(get(v2cRead, ".2.2.7.0"), base + ".2.2.7.0 = INTEGER: 25");
    QCOMPARE(sim_.control("report-ports off"), QByteArray("ok"));

    QCOMPARE(sim_.control("snmp stop"), QByteArray("ok"));
    QVERIFY(run("snmpget", v2cRead, {base + ".2.2.7.0"}, "0.3").errors.contains("Timeout"));
    // The serial line is not affected.
    QCOMPARE(sim_.exchange(QByteArray::fromHex("040004"), 27).size(), 27);
    QCOMPARE(sim_.control("snmp start"), QByteArray("ok"));
    QCOMPARE(get(v2cRead, ".2.2.7.0"), base + ".2.2.7.0 = INTEGER: 4");
}

void tst_MidspanSnmp::flashAndDefaults()
{
    QVERIFY(run("snmpset", v3, {base + ".2.2.11.0", "s", "Keep"}).exitCode == 0);
    QVERIFY(run("snmpset", v3, {base + ".2.2.3.0", "i", "1"}).exitCode == 0);
    QVERIFY(run("snmpset", v3, {base + ".2.2.11.0", "s", "Lost"}).exitCode == 0);
    QCOMPARE(sim_.control("reset"), QByteArray("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(get(v2cRead, ".2.2.11.0"), base + ".2.2.11.0 = STRING: \"Keep\"", 10000);
    QVERIFY(run("snmpset", v2cWrite, {base + ".2.2.2.0", "i", "1"}).exitCode == 0);
    QCOMPARE(get(v2cRead, ".2.2.11.0"), base + ".2.2.11.0 = STRING: \"Midspan\"");
}

void tst_MidspanSnmp::resetSilencesAgent()
{
    const ToolResult reset = run("snmpset", v2cWrite, {base + ".2.2.1.0", "i", "1"});
    QVERIFY2(reset.exitCode == 0, qPrintable(reset.errors));
    QVERIFY(run("snmpget", v2cRead, {base + ".2.2.7.0"}, "0.2").errors.contains("Timeout"));
    QVERIFY(sim_.exchange(QByteArray::fromHex("040004"), 1, 100ms).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(get(v2cRead, ".2.2.7.0"), base + ".2.2.7.0 = INTEGER: 4", 10000);
}

QTEST_GUILESS_MAIN(tst_MidspanSnmp)
#include "tst_midspansnmp.moc"
