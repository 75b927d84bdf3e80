#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"
#include "core/Clock.h"
#include "links/snmp/SnmpMidspan.h"

#include <QTest>

// SnmpMidspan, as spanmon-cli uses it, against midspan-sim on a high UDP port (no root needed):
// the objects a status read asks for, in the order asked.
class tst_SnmpMidspan : public QObject
{
    Q_OBJECT

private slots:
    void statusReadAsksInOrder()
    {
        initSnmpLibrary();
        const int ports = 6; // a request of four ports, then one of two
        const QString address = loopbackAddress(0, 61);
        MidspanSimProcess sim;
        QVERIFY2(sim.start({"--snmp", "udp:" + address + ":16861", "--read-community", "rd-comm", "--ports",
                            QString::number(ports), "--steady"},
                           false),
                 qPrintable(sim.errorText()));

        SnmpMidspan::setUpEngine(false, {});
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

        QCOMPARE(int(unit->ports.size()), ports);
    }
};

QTEST_GUILESS_MAIN(tst_SnmpMidspan)
#include "tst_snmpmidspan.moc"
