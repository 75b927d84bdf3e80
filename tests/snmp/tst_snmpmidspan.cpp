#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"
#include "core/Clock.h"
#include "links/snmp/SnmpMidspan.h"

#include <QTemporaryDir>
#include <QTest>

// SnmpMidspan, as spanmon-cli uses it, against midspan-sim on a high UDP port (no root needed):
// the objects a status read asks for, in the order asked, and what it makes of the answers.
class tst_SnmpMidspan : public QObject
{
    Q_OBJECT

private slots:
    void statusReadAsksInOrder_data()
    {
        QTest::addColumn<int>("ports");
        QTest::newRow("one port") << 1;
        QTest::newRow("six ports: four, then two") << 6;
    }

    void statusReadAsksInOrder()
    {
        QFETCH(int, ports);
        const QString address = loopbackAddress(0, 61);
        MidspanSimProcess sim;
        QVERIFY2(sim.start({"--snmp", "udp:" + address + ":16861", "--read-community", "rd-comm", "--ports",
                            QString::number(ports), "--steady"},
                           false),
                 qPrintable(sim.errorText()));
        for (const char* command : {"set port 1 power 4660", "set port 1 voltage 523", "set port 1 legacy 0",
                                    "set port 1 description  Cam 1 ", "set system description Rack A"})
            QCOMPARE(sim.control(command), QByteArray("ok"));
        sim.clearSnmpLog();

        QTemporaryDir dir;
        SnmpMidspan::setUpEngine(false, dir.filePath("boot"));
        SnmpTarget target;
        target.address = address;
        target.port = 16861;
        target.readCommunity = "rd-comm";
        Clock clock;
        SnmpMidspan midspan(target, clock);
        const auto unit = midspan.readStatus();
        QVERIFY2(unit, qPrintable(midspan.errorText()));

        QStringList asked{"get 2.2.10.0", "get 2.2.6.0", "get 2.2.7.0", "get 2.2.11.0"};
        for (int p = 1; p <= ports; ++p) {
            for (const char* column : {"2", "7", "11", "12", "13", "6", "18"})
                asked << QStringLiteral("get 2.3.1.%1.%2").arg(column).arg(p);
        }
        QCOMPARE(sim.snmpLog(), asked);

        QCOMPARE(unit->portCount, ports);
        QCOMPARE(unit->description, QString("Rack A"));
        QCOMPARE(int(unit->ports.size()), ports);
        const PortReading& first = unit->ports.front();
        QCOMPARE(first.powerMw, std::optional(4660));
        QCOMPARE(first.voltageV, std::optional(52.3));
        QCOMPARE(first.legacy, std::optional(false));
        QCOMPARE(first.enabled, std::optional(true));
        QCOMPARE(first.description, QString("Cam 1"));
        QCOMPARE(unit->ports.back().port, ports);
    }

    void initTestCase() { initSnmpLibrary(); }
};

QTEST_GUILESS_MAIN(tst_SnmpMidspan)
#include "tst_snmpmidspan.moc"
