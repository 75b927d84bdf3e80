// spanmon-cli's serial path against midspan-sim: whatever fills the bytes a reply leaves to the
// device, and however late the replies come, a status exits 0 only with each port's own values.
#include "MidspanSimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace
{

constexpr int Ports = 3;

int powerOf(int k)
{
    return 1000 * k + 7;
}

} // namespace

class tst_SerialCli : public QObject
{
    Q_OBJECT

    ReusedMidspanSim sims_;

private slots:
    void statusOfEveryPort_data()
    {
        QTest::addColumn<QString>("fill");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("mayFail"); // no answer in time is an honest result

        QTest::newRow("zeros") << "zero" << QString() << false;
        QTest::newRow("random bytes") << "random" << QString() << false;
        QTest::newRow("the port index") << "port" << QString() << false;
        QTest::newRow("one late reply") << "zero"
                                        << "slow 1 1500" << false;
        // Each reply comes after its time-out, the next request's in flight.
        QTest::newRow("every reply late") << "zero"
                                          << "delay 1500" << true;
    }
    void statusOfEveryPort()
    {
        QFETCH(QString, fill);
        QFETCH(QString, fault);
        QFETCH(bool, mayFail);
        MidspanSimProcess* midspanSim =
            sims_.get({"--ports", QString::number(Ports), "--no-line-delay", "--steady"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        QCOMPARE(sim.command("ignored-bytes " + fill), QStringLiteral("ok"));
        for (int k = 1; k <= Ports; ++k) {
            QCOMPARE(sim.command(QStringLiteral("set port %1 enabled 1").arg(k)), QStringLiteral("ok"));
            QCOMPARE(sim.command(QStringLiteral("set port %1 power %2").arg(k).arg(powerOf(k))),
                     QStringLiteral("ok"));
        }
        if (!fault.isEmpty())
            QCOMPARE(sim.command(fault), QStringLiteral("ok"));

        QProcess cli;
        cli.start(SPANMON_CLI_PATH, {"status", "--json", "--serial", sim.serialLinkPath()});
        QVERIFY(cli.waitForFinished(60000));
        const QByteArray out = cli.readAllStandardOutput();
        if (mayFail && cli.exitCode() == 1) {
            QVERIFY(out.isEmpty());
            QVERIFY(!cli.readAllStandardError().isEmpty());
            return;
        }
        QCOMPARE(cli.exitCode(), 0);
        const QJsonArray ports = QJsonDocument::fromJson(out).object()["ports"].toArray();
        QCOMPARE(ports.size(), Ports);
        for (int k = 1; k <= Ports; ++k) {
            const QJsonObject port = ports[k - 1].toObject();
            QCOMPARE(port["port"].toInt(), k);
            QCOMPARE(port["power_mW"].toInt(), powerOf(k));
        }
    }
};

QTEST_MAIN(tst_SerialCli)
#include "tst_serialcli.moc"
