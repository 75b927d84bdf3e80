#include "CliEndToEnd.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// spanmon-cli's runs that wait out time-outs, against the simulated midspans: midspans that answer
// nothing, searches over addresses where none answers, and the documents of such runs. The rows of
// a test start their runs together.
class tst_CliTimeOuts : public CliEndToEnd
{
    Q_OBJECT

private slots:
    void silentMidspanFailsWithinItsTimeOuts_data();
    void silentMidspanFailsWithinItsTimeOuts();
    void findListsEveryMidspan_data();
    void findListsEveryMidspan();
    void timeOutsAndRetries_data();
    void timeOutsAndRetries();
    void everyJsonRunWritesOneDocument_data();
    void everyJsonRunWritesOneDocument();
    void findHasOneShapeOnBothLinks_data();
    void findHasOneShapeOnBothLinks();
};

void tst_CliTimeOuts::silentMidspanFailsWithinItsTimeOuts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("clockScale");
    QTest::addColumn<qint64>("timeOutsMs");
    // 21 tries of 200 ms; one engine discovery of 1 s; three replies of 1 s each. The time-outs an
    // operator gets: on the real clock.
    const auto row = [this](const char* name, const QStringList& arguments, const QString& clockScale,
                            qint64 timeOutsMs) {
        QTest::newRow(name) << ahead(arguments, clockScale) << clockScale << timeOutsMs;
    };
    row("SNMP v2c", {"status", "--snmp", silentAgentWithPort}, realClock, 4200);
    row("SNMPv3", {"status", "--snmp", silentAgentWithPort, "--v3"}, realClock, 1000);
    row("serial", {"status", "--serial", silent_.serialLinkPath()}, realClock, 3000);
    // A faster clock leaves the reply time-outs whole.
    row("serial, faster pauses", {"status", "--serial", second_.serialLinkPath()}, fastClock, 3000);
}

void tst_CliTimeOuts::silentMidspanFailsWithinItsTimeOuts()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, clockScale);
    QFETCH(qint64, timeOutsMs);
    Start start;
    start.clockScale = clockScale;
    const Run run = cli(arguments, start);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(": no answer"), qPrintable(run.err));
    QCOMPARE(run.out, QString());
    // The time-outs themselves, plus what starting the program costs.
    QVERIFY2(run.ms >= timeOutsMs && run.ms < timeOutsMs + 3000, qPrintable(QString::number(run.ms)));
}

void tst_CliTimeOuts::findListsEveryMidspan_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expected");
    const QStringList both{agent + " *** POE528U-480-24-N", secondAgent + " *** POE528U-480-8-N"};
    QTest::newRow("SNMP v2c") << ahead({"find", "--range", rangeStart + "-254:" + udpPort}) << both;
    QTest::newRow("SNMPv3") << ahead({"find", "--range", rangeStart + "-254:" + udpPort, "--v3"}) << both;
    QTest::newRow("serial") << ahead({"find", "--serial", sim_.serialLinkPath()})
                            << QStringList{sim_.serialLinkPath() + " *** POE528U-480-24-N"};
}

void tst_CliTimeOuts::findListsEveryMidspan()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expected);
    const Run run = cli(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts), expected);
}

void tst_CliTimeOuts::timeOutsAndRetries_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<qint64>("timeOutsMs");
    QTest::addColumn<QString>("complaint");
    const QStringList wrong{"--settings", "wrong.ini"};
    const QString community = "or the community of ";
    // Twenty tries of 50 ms instead of 21 of 200 ms.
    QTest::newRow("silent agent, SNMP v2c")
        << ahead({"status", "--snmp", silentAgentWithPort, "--timeout", "0.05", "--retries", "19"})
        << qint64(1000) << ": no answer (Timeout): the agent is down or out of reach, " + community;
    // The engine discovery takes the time-out too.
    QTest::newRow("silent agent, SNMPv3")
        << ahead({"status", "--v3", "--snmp", silentAgentWithPort, "--timeout", "0.3"}) << qint64(300)
        << "does not know the SNMPv3 user of ";
    QTest::newRow("unknown community")
        << ahead(QStringList{"status", "--snmp", agentWithPort, "--timeout", "0.2", "--retries", "1"} + wrong)
        << qint64(400) << community + "wrong.ini is wrong";
    QTest::newRow("unknown community, write")
        << ahead(QStringList{"port", "3", "off", "--snmp", agentWithPort, "--timeout", "0.1", "--retries",
                             "0"} +
                 wrong)
        << qint64(100) << community + "wrong.ini is wrong";
    QTest::newRow("find with an unknown community")
        << ahead(QStringList{"find", "--range", agent + ':' + udpPort, "--timeout", "0.5", "--retries", "1"} +
                 wrong)
        << qint64(1000) << ": no midspan answered: the agent is down or out of reach, " + community;
}

void tst_CliTimeOuts::timeOutsAndRetries()
{
    QFETCH(QStringList, arguments);
    QFETCH(qint64, timeOutsMs);
    QFETCH(QString, complaint);
    const Run run = cli(arguments);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(complaint), qPrintable(run.err));
    QVERIFY2(run.ms >= timeOutsMs && run.ms < timeOutsMs + 2500, qPrintable(QString::number(run.ms)));
    QCOMPARE(sim_.command("get port 3 enabled"), QString("1"));
}

void tst_CliTimeOuts::everyJsonRunWritesOneDocument_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // of the error document; empty: none
    const QStringList quickGiveUp{"--timeout", "0.1", "--retries", "0"};
    QTest::newRow("status, SNMPv3") << ahead({"status", "--json", "--v3", "--snmp", agentWithPort}) << 0
                                    << QString();
    QTest::newRow("write, serial") << ahead({"port", "5", "on", "--json", "--serial", sim_.serialLinkPath()})
                                   << 0 << QString();
    QTest::newRow("silent agent") << ahead(QStringList{"status", "--json", "--snmp", silentAgentWithPort} +
                                           quickGiveUp)
                                  << 1 << silentAgent + ": no answer (Timeout): ";
    QTest::newRow("silent agent, write")
        << ahead(QStringList{"describe", "2", "Cam", "--json", "--snmp", silentAgentWithPort} + quickGiveUp)
        << 1 << silentAgent + ": no answer (Timeout): ";
    QTest::newRow("silent serial line") << ahead({"status", "--json", "--serial", silent_.serialLinkPath()})
                                        << 1 << silent_.serialLinkPath() + ": no answer";
    QTest::newRow("usage") << ahead({"status", "--json", "--snmp", "a b"}) << 2
                           << "--snmp \"a b\" is no address";
    QTest::newRow("settings") << ahead(
                                     {"status", "--json", "--snmp", agentWithPort, "--settings", "none.ini"})
                              << 2 << "none.ini: no settings file";
    QTest::newRow("nothing found") << ahead({"find", "--json", "--range",
                                             loopbackAddress(0, 50) + "-51:" + udpPort})
                                   << 1 << QString();
}

void tst_CliTimeOuts::everyJsonRunWritesOneDocument()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const Run run = cli(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QJsonParseError error{};
    const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(run.out));
    QCOMPARE(document["format_version"].toInt(), 1);
    if (message.isEmpty()) {
        QVERIFY2(!document.contains("error"), qPrintable(run.out));
        return;
    }
    QCOMPARE(document["error"]["exit_code"].toInt(), exitCode);
    QVERIFY2(document["error"]["message"].toString().startsWith(message), qPrintable(run.out));
    // stderr says the same to a person.
    QVERIFY2(run.err.startsWith("spanmon-cli: " + document["error"]["message"].toString() + '\n'),
             qPrintable(run.err));
}

void tst_CliTimeOuts::findHasOneShapeOnBothLinks_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QJsonObject>("first");
    const QJsonObject network{
        {"link", "snmp"}, {"address", agent}, {"device", QJsonValue()}, {"model", "POE528U-480-24-N"}};
    const auto bothAhead = [this](const QStringList& options) {
        ahead(QStringList{"find", "--json"} + options);
        ahead(QStringList{"find", "-t"} + options);
        return options;
    };
    QTest::newRow("SNMP v2c") << bothAhead({"--range", agent + "-43:" + udpPort}) << network;
    QTest::newRow("SNMPv3") << bothAhead({"--range", agent + "-43:" + udpPort, "--v3"}) << network;
    // Two runs on one serial line would take each other's replies: these go one after the other.
    QTest::newRow("serial") << QStringList{"--serial", sim_.serialLinkPath()}
                            << QJsonObject{{"link", "serial"},
                                           {"address", sim_.serialLinkPath()},
                                           {"device", sim_.serialLinkPath()},
                                           {"model", "POE528U-480-24-N"}};
}

void tst_CliTimeOuts::findHasOneShapeOnBothLinks()
{
    QFETCH(QStringList, options);
    QFETCH(QJsonObject, first);
    const Run run = cli(QStringList{"find", "--json"} + options);
    QCOMPARE(run.exitCode, 0);
    // The model whole, as the midspan names itself, on both links.
    QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8())["midspans"][0].toObject(), first);
    const Run terse = cli(QStringList{"find", "-t"} + options);
    QCOMPARE(terse.out.section('\n', 0, 0),
             first["address"].toString().replace(':', "\\:") + ":POE528U-480-24-N");
}

QTEST_GUILESS_MAIN(tst_CliTimeOuts)
#include "tst_clitimeouts.moc"
