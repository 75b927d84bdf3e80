#include "MidspanSimProcess.h"

#include <QFileInfo>
#include <QTest>

using namespace std::chrono_literals;

namespace
{

const QByteArray statusRead = hex("04 00 04");

} // namespace

// The control socket's fault commands, seen on the serial line.
class tst_MidspanControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void silent();
    void delay();
    void corrupt();
    void zerosAndMisroute();
    void dropAndRestoreLine();
    void reportPorts_data();
    void reportPorts();
    void getAndSet_data();
    void getAndSet();
    void errors_data();
    void errors();
    void resetCommand();
    void clearFaults_data();
    void clearFaults();

private:
    MidspanSimProcess sim_;
};

void tst_MidspanControl::initTestCase()
{
    QVERIFY2(sim_.start({"--no-line-delay", "--steady", "--ports", "8", "--restart-seconds", "0.3",
                         "--ignored-bytes", "port"}),
             qPrintable(sim_.errorText()));
}

void tst_MidspanControl::init()
{
    // Every test and row starts from a device without faults, whatever the one before left.
    for (const char* command :
         {"silent off", "delay 0", "corrupt 0", "report-ports off", "set port 2 enabled 1"})
        QCOMPARE(sim_.control(command), QByteArray("ok"));
    QVERIFY(sim_.openSerial());
}

void tst_MidspanControl::silent()
{
    QCOMPARE(sim_.control("silent on"), QByteArray("ok"));
    QVERIFY(sim_.exchange(statusRead, 1, 150ms).isEmpty());
    QCOMPARE(sim_.control("silent off"), QByteArray("ok"));
    QCOMPARE(sim_.exchange(statusRead, 27).size(), 27);
}

void tst_MidspanControl::delay()
{
    QCOMPARE(sim_.control("delay 400"), QByteArray("ok"));
    QVERIFY(sim_.exchange(statusRead, 1, 200ms).isEmpty());
    QCOMPARE(sim_.collect(27, 1s).size(), 27);
    QCOMPARE(sim_.control("delay 0"), QByteArray("ok"));
    QCOMPARE(sim_.exchange(statusRead, 27, 100ms).size(), 27);
}

void tst_MidspanControl::corrupt()
{
    QCOMPARE(sim_.control("corrupt 2"), QByteArray("ok"));
    const QByteArray first = sim_.exchange(statusRead, 27);
    const QByteArray second = sim_.exchange(hex("05 00 00 05"), 27);
    const QByteArray third = sim_.exchange(statusRead, 27);
    QCOMPARE(first.size(), 27);
    QCOMPARE(second.size(), 27);
    QVERIFY(!checksumOk(first));
    QVERIFY(!checksumOk(second));
    QVERIFY(checksumOk(third));
    QCOMPARE(first.left(25), third.left(25));
}

void tst_MidspanControl::zerosAndMisroute()
{
    QCOMPARE(sim_.control("zeros 1"), QByteArray("ok"));
    QCOMPARE(sim_.exchange(statusRead, 27), QByteArray(27, '\0'));
    QVERIFY(checksumOk(sim_.exchange(statusRead, 27)));

    QCOMPARE(sim_.control("misroute 2"), QByteArray("ok"));
    const QByteArray forPort2 = sim_.exchange(hex("05 00 00 05"), 27);
    const QByteArray classForPort1 = sim_.exchange(hex("08 07 00 0F"), 16);
    const QByteArray forPort1 = sim_.exchange(hex("05 00 00 05"), 27);
    QCOMPARE(int(forPort2.at(1)), 1);
    QCOMPARE(int(classForPort1.at(1)), 0);
    QCOMPARE(int(forPort1.at(1)), 0);
    for (const QByteArray& reply : {forPort2, classForPort1, forPort1})
        QVERIFY(checksumOk(reply));
}

void tst_MidspanControl::dropAndRestoreLine()
{
    QCOMPARE(sim_.control("drop-line"), QByteArray("ok"));
    QVERIFY(!QFileInfo::exists(sim_.serialLinkPath()));
    QVERIFY(!QFileInfo(sim_.serialLinkPath()).isSymLink());
    QVERIFY(sim_.exchange(statusRead, 1, 100ms).isEmpty());
    QCOMPARE(sim_.control("restore-line"), QByteArray("ok"));
    QVERIFY(QFileInfo(sim_.serialLinkPath()).isSymLink());
    QVERIFY(QFileInfo(sim_.serialLinkPath()).symLinkTarget().startsWith("/dev/pts/"));
    QVERIFY(sim_.openSerial());
    QCOMPARE(sim_.exchange(statusRead, 27).size(), 27);
}

void tst_MidspanControl::reportPorts_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("reported");

    QTest::newRow("no ports") << QByteArray("report-ports 0") << 0;
    QTest::newRow("25 ports") << QByteArray("report-ports 25") << 25;
    QTest::newRow("off: the model's 8") << QByteArray("report-ports off") << 8;
}

void tst_MidspanControl::reportPorts()
{
    QFETCH(QByteArray, command);
    QFETCH(int, reported);
    QCOMPARE(sim_.control(command), QByteArray("ok"));
    const QByteArray status = sim_.exchange(statusRead, 27);
    QCOMPARE(status.size(), 27);
    QCOMPARE(int(quint8(status.at(14))), reported);
    QVERIFY(checksumOk(status));
    // The model keeps its ports: port 8 still answers, port 9 does not.
    QCOMPARE(sim_.exchange(hex("05 07 00 0C"), 27).size(), 27);
    QVERIFY(sim_.exchange(hex("05 08 00 0D"), 1, 100ms).isEmpty());
}

void tst_MidspanControl::getAndSet_data()
{
    QTest::addColumn<QByteArray>("set");
    QTest::addColumn<QByteArray>("get");
    QTest::addColumn<QByteArray>("value");

    QTest::newRow("firmware") << QByteArray("set system firmware 0x45") << QByteArray("get system firmware")
                              << QByteArray("69");
    QTest::newRow("hardware") << QByteArray("set system hardware 7") << QByteArray("get system hardware")
                              << QByteArray("7");
    QTest::newRow("system description with a blank")
        << QByteArray("set system description Hall 7") << QByteArray("get system description")
        << QByteArray("Hall 7");
    QTest::newRow("port 2 power") << QByteArray("set port 2 power 7000") << QByteArray("get port 2 power")
                                  << QByteArray("7000");
    QTest::newRow("port 2 voltage") << QByteArray("set port 2 voltage 512")
                                    << QByteArray("get port 2 voltage") << QByteArray("512");
    QTest::newRow("port 2 current") << QByteArray("set port 2 current 140")
                                    << QByteArray("get port 2 current") << QByteArray("140");
    QTest::newRow("port 2 resistance") << QByteArray("set port 2 resistance 12000")
                                       << QByteArray("get port 2 resistance") << QByteArray("12000");
    QTest::newRow("port 2 classcurrent") << QByteArray("set port 2 classcurrent 99")
                                         << QByteArray("get port 2 classcurrent") << QByteArray("99");
    QTest::newRow("port 2 status") << QByteArray("set port 2 status 5") << QByteArray("get port 2 status")
                                   << QByteArray("5");
    QTest::newRow("port 2 legacy") << QByteArray("set port 2 legacy 1") << QByteArray("get port 2 legacy")
                                   << QByteArray("1");
    QTest::newRow("port 2 description") << QByteArray("set port 2 description Gate")
                                        << QByteArray("get port 2 description") << QByteArray("Gate");
    QTest::newRow("port 2 disabled reads status 0")
        << QByteArray("set port 2 enabled 0") << QByteArray("get port 2 status") << QByteArray("0");
    QTest::newRow("system model") << QByteArray() << QByteArray("get system model")
                                  << QByteArray("POE528U-480-24-N");
    QTest::newRow("system ports") << QByteArray("report-ports 3") << QByteArray("get system ports")
                                  << QByteArray("8");
}

void tst_MidspanControl::getAndSet()
{
    QFETCH(QByteArray, set);
    QFETCH(QByteArray, get);
    QFETCH(QByteArray, value);
    if (!set.isEmpty())
        QCOMPARE(sim_.control(set), QByteArray("ok"));
    QCOMPARE(sim_.control(get), value);
}

void tst_MidspanControl::errors_data()
{
    QTest::addColumn<QByteArray>("command");

    QTest::newRow("unknown command") << QByteArray("explode");
    QTest::newRow("port 0") << QByteArray("get port 0 power");
    QTest::newRow("port 9 of 8") << QByteArray("set port 9 power 1");
    QTest::newRow("unknown port field") << QByteArray("get port 1 colour");
    QTest::newRow("firmware above a byte") << QByteArray("set system firmware 256");
    QTest::newRow("negative power") << QByteArray("set port 1 power -5");
    QTest::newRow("silent without on or off") << QByteArray("silent maybe");
    QTest::newRow("report-ports word") << QByteArray("report-ports many");
}

void tst_MidspanControl::errors()
{
    QFETCH(QByteArray, command);
    QVERIFY(sim_.control(command).startsWith("error "));
    QCOMPARE(sim_.exchange(statusRead, 27).size(), 27);
}

void tst_MidspanControl::resetCommand()
{
    QCOMPARE(sim_.control("reset"), QByteArray("ok"));
    QVERIFY(sim_.exchange(statusRead, 1, 100ms).isEmpty());
    // Back once the restart (0.3 s) is over.
    QTRY_COMPARE_WITH_TIMEOUT(sim_.exchange(statusRead, 27, 100ms).size(), 27, 5000);
}

void tst_MidspanControl::clearFaults_data()
{
    QTest::addColumn<QByteArrayList>("faults");
    QTest::addColumn<int>("heard");        // bytes a status read brings under the faults
    QTest::addColumn<bool>("enterLoader"); // the loader's fault shows only in the loader

    const auto row = [](const char* name, const QByteArrayList& faults, int heard, bool enterLoader = false) {
        QTest::newRow(name) << faults << heard << enterLoader;
    };
    row("silent", {"silent on"}, 0);
    row("late, a reply held back", {"delay 150"}, 0);
    row("slow, a reply held back", {"slow 3 150"}, 0);
    row("corrupt", {"corrupt 3"}, 27);
    row("cut", {"cut 3"}, 13);
    row("double", {"double 3"}, 54);
    row("zeros", {"zeros 3"}, 27);
    row("misroute", {"misroute 3"}, 27);
    row("unanswered status read", {"unanswered 04"}, 0);
    row("no ports reported", {"report-ports 0"}, 27);
    row("all at once", {"silent on", "delay 150", "corrupt 3", "misroute 3", "report-ports 25"}, 0);
    row("silent loader", {"loader-fault 1 silent"}, 27, true);
    row("wrong loader greeting", {"loader-fault 2 wrong"}, 27, true);
}

void tst_MidspanControl::clearFaults()
{
    QFETCH(QByteArrayList, faults);
    QFETCH(int, heard);
    QFETCH(bool, enterLoader);
    for (const QByteArray& fault : faults)
        QCOMPARE(sim_.control(fault), QByteArray("ok"));
    sim_.write(statusRead); // answered under the faults, or held back
    if (heard > 0)
        QCOMPARE(sim_.collect(heard, 2s).size(), heard);
    QCOMPARE(sim_.control("clear-faults"), QByteArray("ok"));

    const QByteArray status = sim_.exchange(statusRead, 27, 200ms);
    QCOMPARE(status.size(), 27);
    QVERIFY(checksumOk(status));
    QCOMPARE(int(status.at(14)), 8);
    const QByteArray port = sim_.exchange(hex("05 00 00 05"), 27, 200ms);
    QCOMPARE(port.size(), 27);
    QVERIFY(checksumOk(port));
    QCOMPARE(int(port.at(1)), 0);
    // Nothing doubled, nothing held back from before.
    QVERIFY(sim_.collect(1, 150ms).isEmpty());
    if (!enterLoader)
        return;
    QCOMPARE(sim_.exchange(hex("0C 00 0C"), 9, 200ms).mid(4), QByteArray("TPE\r\n"));
    QCOMPARE(sim_.control("reset"), QByteArray("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(sim_.exchange(statusRead, 27, 100ms).size(), 27, 5000);
}

QTEST_GUILESS_MAIN(tst_MidspanControl)
#include "tst_midspancontrol.moc"
