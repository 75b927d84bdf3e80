#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"

#include <QProcess>
#include <QTest>

#include <unistd.h>

using namespace std::chrono_literals;

namespace
{

const QByteArray enterDownload = hex("0C 00 0C");
const QByteArray enterAcknowledge = hex("0C 00 00 0C");
const QByteArray statusRead = hex("04 00 04");
// An S0 header, an S1 record with 16 data bytes (42 characters) and an S9 end record.
const QByteArray header = "S0060000686472BB";
const QByteArray data = "S1131000000102030405060708090A0B0C0D0E0F64";
const QByteArray end = "S9030000FC";
// Header text "FW 2.7".
const QByteArray revisionHeader = "S0090000465720322E37A2";
// This program's own agent address.
const QString agent = loopbackAddress(50, 1);

// A simulator whose loader has erased and waits for S-records.
bool readyForRecords(MidspanSimProcess& sim)
{
    return sim.start({"--no-line-delay"}) && sim.openSerial() &&
           sim.exchange(enterDownload, 9) == enterAcknowledge + "TPE\r\n" &&
           sim.exchange("E", 14).size() == 14 && sim.exchange("P", 5) == "TOP\r\n";
}

} // namespace

// The loader dialogue after EnterDownload, as the firmware download drives it.
class tst_MidspanLoader : public QObject
{
    Q_OBJECT

private slots:
    void wholeDownloadThenRestart();
    void loaderThatWantsEntr();
    void corruptRecordIsRefused_data();
    void corruptRecordIsRefused();
    void recordsSentBackToBack();
    void programBeforeEraseIsRefused();
    void completeDownloadBecomesFirmware();
    void refusedRecordKeepsOldFirmware();
};

void tst_MidspanLoader::wholeDownloadThenRestart()
{
    MidspanSimProcess sim;
    QVERIFY2(sim.start({"--no-line-delay", "--restart-seconds", "0.3"}), qPrintable(sim.errorText()));
    QVERIFY(sim.openSerial());
    QCOMPARE(sim.exchange(enterDownload, 4), enterAcknowledge);
    QCOMPARE(sim.collect(5, 1s), QByteArray("TPE\r\n"));
    // The client reads TOE first, then TE and TPE as two further replies.
    QCOMPARE(sim.exchange("E", 14), QByteArray("TOE\r\nTE\r\nTPE\r\n"));
    QCOMPARE(sim.exchange("P", 5), QByteArray("TOP\r\n"));
    QCOMPARE(sim.exchange(header, 4), QByteArray("T*\r\n"));
    QCOMPARE(sim.exchange(data, 4), QByteArray("T*\r\n"));
    QCOMPARE(sim.exchange(end, 4), QByteArray("TP\r\n"));
    QVERIFY(sim.exchange("RST", 1, 100ms).isEmpty());
    QVERIFY(sim.exchange(statusRead, 1, 100ms).isEmpty());
    QTest::qWait(300);
    QCOMPARE(sim.exchange(statusRead, 27).size(), 27);
    QCOMPARE(sim.control("frames"), QByteArray("0C 00 0C\n45\n50\n" + header.toHex(' ').toUpper() + "\n" +
                                               data.toHex(' ').toUpper() + "\n" + end.toHex(' ').toUpper() +
                                               "\n52 53 54\n04 00 04\n"));
}

void tst_MidspanLoader::loaderThatWantsEntr()
{
    MidspanSimProcess sim;
    QVERIFY2(sim.start({"--no-line-delay", "--loader-wants-entr"}), qPrintable(sim.errorText()));
    QVERIFY(sim.openSerial());
    QCOMPARE(sim.exchange(enterDownload, 9), enterAcknowledge + "TLW\r\n");
    QCOMPARE(sim.exchange("ENTR", 5), QByteArray("TPE\r\n"));
    QCOMPARE(sim.exchange("E", 14), QByteArray("TOE\r\nTE\r\nTPE\r\n"));
    QCOMPARE(sim.exchange("P", 5), QByteArray("TOP\r\n"));
    QCOMPARE(sim.exchange(end, 4), QByteArray("TP\r\n"));
}

void tst_MidspanLoader::corruptRecordIsRefused_data()
{
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("S1 with checksum 65 instead of 64")
        << QByteArray("S1131000000102030405060708090A0B0C0D0E0F65");
    QTest::newRow("S1 with a data digit G") << QByteArray("S11310000G0102030405060708090A0B0C0D0E0F64");
    QTest::newRow("S9 with checksum FD") << QByteArray("S9030000FD");
    QTest::newRow("type SX") << QByteArray("SX030000FC");
}

void tst_MidspanLoader::corruptRecordIsRefused()
{
    QFETCH(QByteArray, record);
    MidspanSimProcess sim;
    QVERIFY(readyForRecords(sim));
    QCOMPARE(sim.exchange(record, 4), QByteArray("TX\r\n"));
    // The loader still takes the next good record.
    QCOMPARE(sim.exchange(data, 4), QByteArray("T*\r\n"));
}

void tst_MidspanLoader::recordsSentBackToBack()
{
    MidspanSimProcess sim;
    QVERIFY(readyForRecords(sim));
    QCOMPARE(sim.exchange(header + data + end, 12), QByteArray("T*\r\nT*\r\nTP\r\n"));
}

void tst_MidspanLoader::programBeforeEraseIsRefused()
{
    MidspanSimProcess sim;
    QVERIFY2(sim.start({"--no-line-delay"}), qPrintable(sim.errorText()));
    QVERIFY(sim.openSerial());
    QCOMPARE(sim.exchange(enterDownload, 9), enterAcknowledge + "TPE\r\n");
    QCOMPARE(sim.exchange("P", 4), QByteArray("TX\r\n"));
    QCOMPARE(sim.exchange("E", 14), QByteArray("TOE\r\nTE\r\nTPE\r\n"));
}

// The revision in the new file's header is what both links report after the restart.
void tst_MidspanLoader::completeDownloadBecomesFirmware()
{
    const bool root = geteuid() == 0;
    if (!root && qgetenv("CI") == "true")
        QFAIL("CI runs as root");
    QStringList options{"--no-line-delay", "--restart-seconds", "0.2", "--read-community", "public"};
    if (root)
        options += {"--snmp", "udp:" + agent + ":161"};
    MidspanSimProcess sim;
    QVERIFY2(sim.start(options), qPrintable(sim.errorText()));
    QVERIFY(sim.openSerial());
    QCOMPARE(sim.exchange(enterDownload, 9), enterAcknowledge + "TPE\r\n");
    QCOMPARE(sim.exchange("E", 14).size(), 14);
    QCOMPARE(sim.exchange("P", 5), QByteArray("TOP\r\n"));
    QCOMPARE(sim.exchange(revisionHeader, 4), QByteArray("T*\r\n"));
    QCOMPARE(sim.exchange(data, 4), QByteArray("T*\r\n"));
    QCOMPARE(sim.exchange(end, 4), QByteArray("TP\r\n"));
    sim.write("RST");
    QTest::qWait(400);
    const QByteArray status = sim.exchange(statusRead, 27);
    QCOMPARE(status.size(), 27);
    QCOMPARE(quint8(status.at(12)), quint8(0x27));
    QCOMPARE(sim.command("get system image"), "3 records, last " + QString::fromLatin1(end));
    if (!root)
        QSKIP("the SNMP side needs UDP port 161, which needs root");
    QProcess get;
    get.start("snmpget", {"-v2c", "-c", "public", "-Ovq", "-t", "1", agent, ".1.3.6.1.4.1.24852.2.2.10.0"});
    QVERIFY(get.waitForFinished(5000));
    QCOMPARE(QString::fromLatin1(get.readAllStandardOutput()).trimmed(), QStringLiteral("\"2.7\""));
}

void tst_MidspanLoader::refusedRecordKeepsOldFirmware()
{
    MidspanSimProcess sim;
    QVERIFY2(sim.start({"--no-line-delay", "--restart-seconds", "0.2"}), qPrintable(sim.errorText()));
    QVERIFY(sim.openSerial());
    QCOMPARE(sim.exchange(enterDownload, 9), enterAcknowledge + "TPE\r\n");
    QCOMPARE(sim.exchange("E", 14).size(), 14);
    QCOMPARE(sim.exchange("P", 5), QByteArray("TOP\r\n"));
    QCOMPARE(sim.exchange(revisionHeader, 4), QByteArray("T*\r\n"));
    QCOMPARE(sim.exchange("S1131000000102030405060708090A0B0C0D0E0F65", 4), QByteArray("TX\r\n"));
    QCOMPARE(sim.exchange(end, 4), QByteArray("TP\r\n"));
    sim.write("RST");
    QTest::qWait(400);
    const QByteArray status = sim.exchange(statusRead, 27);
    QCOMPARE(status.size(), 27);
    QCOMPARE(quint8(status.at(12)), quint8(0x23));
    QCOMPARE(sim.command("get system image"), QStringLiteral("0 records"));
}

QTEST_GUILESS_MAIN(tst_MidspanLoader)
#include "tst_midspanloader.moc"
