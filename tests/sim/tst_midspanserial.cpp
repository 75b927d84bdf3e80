#include "MidspanSimProcess.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

using namespace std::chrono_literals;

namespace
{

const QByteArray statusRead = hex("04 00 04");

} // namespace

// The serial command set of the simulated midspan, seen from a scripted client on the line.
class tst_MidspanSerial : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void replies_data();
    void replies();
    void writeSystemSettings();
    void writePortSettings();
    void badInputIsIgnored_data();
    void badInputIsIgnored();
    void resetSilencesUntilRestart();
    void flashKeepsSettingsAcrossReset();
    void framesAreRecorded();
    void legacyDeviceAnswersOnlyOlderIdentify();
    void repliesArePacedAtLineRate();
    void serialPortOpensTheLinkAgainAndAgain();

private:
    MidspanSimProcess sim_;
};

void tst_MidspanSerial::initTestCase()
{
    QVERIFY2(sim_.start({"--no-line-delay", "--steady", "--ports", "8", "--restart-seconds", "0.3",
                         "--ignored-bytes", "port"}),
             qPrintable(sim_.errorText()));
    QVERIFY(sim_.openSerial());
    for (const char* command :
         {"set system firmware 0x31", "set system hardware 0x13", "set system description Rack A",
          "set port 3 enabled 1", "set port 3 legacy 1", "set port 3 description Cam 3",
          "set port 3 status 8", "set port 3 power 4660", "set port 3 voltage 523", "set port 3 current 89",
          "set port 3 resistance 12345", "set port 3 classcurrent 123"})
        QCOMPARE(sim_.control(command), QByteArray("ok"));
}

void tst_MidspanSerial::replies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("Identify: model text, zero padded")
        << hex("0E 00 0E")
        << hex("0E 00 50 4F 45 35 32 38 55 2D 34 38 30 2D 32 34 2D 4E 00 00 00 00 00 00 00 03 BD");
    QTest::newRow("LegacyIdentify: the model's table codes 36,17")
        << hex("00 00 00") << hex("00 00 24 11 00 00 35");
    QTest::newRow("ReadSystemStatus: firmware 31, hardware 13, 8 ports, Rack A")
        << hex("04 00 04")
        << hex("04 00 00 00 00 00 00 00 00 00 00 00 31 13 08 52 61 63 6B 20 41 20 20 20 20 02 B2");
    QTest::newRow("ReadPortStatus port 3: E1, 4660 mW, 52.3 V, 89 mA, status 8, Cam 3")
        << hex("05 02 00 07")
        << hex("05 02 00 E1 00 00 12 34 02 0B 00 59 00 00 08 43 61 6D 20 33 20 20 20 20 20 03 A0");
    QTest::newRow("ReadPortClassification port 3: 12345 x 2 ohm, 12.3 mA")
        << hex("08 02 00 0A") << hex("08 02 00 30 39 00 00 00 00 00 00 00 7B 00 00 EE");
}

void tst_MidspanSerial::replies()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    const QByteArray received = sim_.exchange(request, int(reply.size()));
    QCOMPARE(received.toHex(' '), reply.toHex(' '));
    QVERIFY(checksumOk(received));
    QVERIFY(sim_.collect(1, 100ms).isEmpty());
}

void tst_MidspanSerial::writeSystemSettings()
{
    QCOMPARE(sim_.exchange(hex("02 03 01 90 01 90 01 90 4C 61 62 20 32 20 20 20 20 20 03 B9"), 4),
             hex("02 00 00 02"));
    QCOMPARE(sim_.control("get system description"), QByteArray("Lab 2"));
    QCOMPARE(sim_.exchange(hex("02 03 01 90 01 90 01 90 20 20 20 20 20 20 20 20 20 20 02 F8"), 4),
             hex("02 00 00 02"));
    QCOMPARE(sim_.control("get system description"), QByteArray());
    const QByteArray status = sim_.exchange(statusRead, 27);
    QCOMPARE(status.mid(15, 10), QByteArray(10, ' '));
    QCOMPARE(sim_.control("set system description Rack A"), QByteArray("ok"));
}

void tst_MidspanSerial::writePortSettings()
{
    QCOMPARE(sim_.control("set port 1 enabled 0"), QByteArray("ok"));
    QCOMPARE(sim_.exchange(hex("03 00 3F C1 00 00 07 20 20 20 20 20 20 20 20 20 20 02 4A"), 4),
             hex("03 00 00 03"));
    QCOMPARE(sim_.control("get port 1 enabled"), QByteArray("1"));
    QCOMPARE(sim_.control("get port 1 legacy"), QByteArray("0"));

    QCOMPARE(sim_.exchange(hex("03 05 3F E0 00 00 07 44 6F 6F 72 20 20 20 20 20 20 03 82"), 4),
             hex("03 00 00 03"));
    QCOMPARE(sim_.control("get port 6 enabled"), QByteArray("0"));
    QCOMPARE(sim_.control("get port 6 legacy"), QByteArray("1"));
    QCOMPARE(sim_.control("get port 6 description"), QByteArray("Door"));
    // A disabled port reads status 0 and configuration E0 on the line.
    const QByteArray port6 = sim_.exchange(hex("05 05 00 0A"), 27);
    QCOMPARE(port6.size(), 27);
    QCOMPARE(quint8(port6.at(3)), quint8(0xE0));
    QCOMPARE(quint8(port6.at(14)), quint8(0));
    QCOMPARE(port6.mid(15, 10), QByteArray("Door      "));
}

void tst_MidspanSerial::badInputIsIgnored_data()
{
    QTest::addColumn<QByteArray>("input");

    QTest::newRow("unknown command byte 77") << hex("77");
    QTest::newRow("short ReadPortStatus, then silence") << hex("05 02");
    QTest::newRow("ReadSystemStatus with checksum 00 05") << hex("04 00 05");
    QTest::newRow("Reset with a wrong word") << hex("01 52 45 53 45 55 01 85");
    QTest::newRow("garbage FF FE 13 37 A5") << hex("FF FE 13 37 A5");
    QTest::newRow("ReadPortStatus index 8 of 8 ports") << hex("05 08 00 0D");
    QTest::newRow("ReadPortClassification index 200") << hex("08 C8 00 D0");
    QTest::newRow("WritePortSettings index 8")
        << hex("03 08 3F C1 00 00 07 20 20 20 20 20 20 20 20 20 20 02 52");
    QTest::newRow("StoreSettings with X") << hex("09 58 00 61");
}

void tst_MidspanSerial::badInputIsIgnored()
{
    QFETCH(QByteArray, input);
    sim_.write(input);
    QVERIFY(sim_.collect(1, 150ms).isEmpty());
    const QByteArray status = sim_.exchange(statusRead, 27);
    QCOMPARE(status.size(), 27);
    QVERIFY(checksumOk(status));
}

void tst_MidspanSerial::resetSilencesUntilRestart()
{
    QCOMPARE(sim_.exchange(hex("01 52 45 53 45 54 01 84"), 4), hex("01 00 00 01"));
    QVERIFY(sim_.exchange(statusRead, 1, 100ms).isEmpty());
    QTest::qWait(300);
    QCOMPARE(sim_.exchange(statusRead, 27).size(), 27);
}

void tst_MidspanSerial::flashKeepsSettingsAcrossReset()
{
    QCOMPARE(sim_.exchange(hex("02 03 01 90 01 90 01 90 4C 61 62 20 32 20 20 20 20 20 03 B9"), 4),
             hex("02 00 00 02"));
    QCOMPARE(sim_.exchange(hex("09 53 00 5C"), 4), hex("09 00 00 09"));
    QCOMPARE(sim_.exchange(hex("02 03 01 90 01 90 01 90 20 20 20 20 20 20 20 20 20 20 02 F8"), 4),
             hex("02 00 00 02"));
    QCOMPARE(sim_.exchange(hex("01 52 45 53 45 54 01 84"), 4), hex("01 00 00 01"));
    QTest::qWait(400);
    QCOMPARE(sim_.exchange(statusRead, 27).mid(15, 10), QByteArray("Lab 2     "));

    QCOMPARE(sim_.exchange(hex("09 54 00 5D"), 4), hex("09 00 00 09"));
    QCOMPARE(sim_.control("get system description"), QByteArray("Midspan"));
    QCOMPARE(sim_.control("get port 6 enabled"), QByteArray("1"));
}

void tst_MidspanSerial::framesAreRecorded()
{
    QCOMPARE(sim_.control("clear-frames"), QByteArray("ok"));
    QCOMPARE(sim_.exchange(statusRead, 27).size(), 27);
    QCOMPARE(sim_.exchange(hex("05 02 00 07"), 27).size(), 27);
    sim_.write(hex("77 66"));
    QTest::qWait(150);
    QCOMPARE(sim_.control("frames"), QByteArray("04 00 04\n05 02 00 07\n77 66\n"));
}

void tst_MidspanSerial::legacyDeviceAnswersOnlyOlderIdentify()
{
    MidspanSimProcess legacy;
    QVERIFY2(legacy.start({"--no-line-delay", "--legacy-code", "73,241"}), qPrintable(legacy.errorText()));
    QVERIFY(legacy.openSerial());
    QVERIFY(legacy.exchange(hex("0E 00 0E"), 1, 200ms).isEmpty());
    QCOMPARE(legacy.exchange(hex("00 00 00"), 7), hex("00 00 49 F1 00 01 3A"));
}

void tst_MidspanSerial::repliesArePacedAtLineRate()
{
    MidspanSimProcess paced;
    QVERIFY2(paced.start({}), qPrintable(paced.errorText()));
    QVERIFY(paced.openSerial());
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(paced.exchange(statusRead, 27).size(), 27);
    // 27 bytes of 10 bits at 19200 baud take about 14 ms.
    QVERIFY2(timer.elapsed() >= 12, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
}

void tst_MidspanSerial::serialPortOpensTheLinkAgainAndAgain()
{
    sim_.closeSerial();
    for (int round = 0; round < 3; ++round) {
        QSerialPort port(sim_.serialLinkPath());
        port.setBaudRate(QSerialPort::Baud19200);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        QVERIFY(port.setBaudRate(QSerialPort::Baud19200));
        port.write(statusRead);
        QByteArray reply;
        QElapsedTimer timer;
        timer.start();
        while (reply.size() < 27 && timer.elapsed() < 1000 && port.waitForReadyRead(1000))
            reply += port.readAll();
        QCOMPARE(reply.size(), 27);
        QVERIFY(checksumOk(reply));
        port.close();
    }
}

QTEST_GUILESS_MAIN(tst_MidspanSerial)
#include "tst_midspanserial.moc"
