#include "core/Clock.h"
#include "core/PowerHistory.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include <unistd.h>

namespace
{

constexpr qint64 TenSeconds = 10000;
constexpr qint64 Day = 86400000;
const QByteArray Header = "time,port,power_mW,voltage_V,current_mA,status,unit,model,action";

PassReading reading(int port, double power, double voltage = 53.5, double current = 100, int status = 8)
{
    return {port, power, voltage, current, status};
}

// Lets the clock's time run on by at least ms; on the tiny scales used here that is microseconds.
void passTime(const Clock& clock, qint64 ms)
{
    const qint64 until = clock.elapsed() + ms;
    while (clock.elapsed() < until) {
    }
}

} // namespace

// The session's power history: sampling, the bounded rings, sessions, and the CSV file.
class tst_PowerHistory : public QObject
{
    Q_OBJECT

private slots:
    void atMostOneSamplePerPortEveryTenSeconds()
    {
        Clock clock(1e-3); // 10 s pass in 10 ms
        PowerHistory history(clock);
        QSignalSpy sampled(&history, &PowerHistory::sampled);
        QVERIFY(history.isEmpty());
        history.portRead(reading(3, 1000));
        history.portRead(reading(4, 2000));
        history.portRead(reading(3, 1100)); // the same pass rate: too soon for port 3
        QCOMPARE(history.sampleCount(3), 1);
        QCOMPARE(history.sampleCount(4), 1);
        passTime(clock, TenSeconds);
        history.portRead(reading(3, 1200));
        QCOMPARE(history.sampleCount(3), 2);
        QList<float> power;
        history.forEach(3, 0, [&](const PowerSample& s) { power << s.powerMw; });
        QCOMPARE(power, (QList<float>{1000, 1200}));
        QCOMPARE(sampled.size(), 3);
        QCOMPARE(sampled.at(2).at(0).toInt(), 3);
        history.portRead(reading(0, 1));
        history.portRead(reading(25, 1));
        QCOMPARE(sampled.size(), 3);
    }

    // Two days of samples every 10 s: each ring holds the newest day and more, never more slots.
    void ringKeepsTheNewestDayAndNoMore()
    {
        Clock clock(1e-7);
        PowerHistory history(clock);
        const int samples = PowerHistory::Capacity + 500;
        for (int i = 0; i < samples; ++i) {
            history.portRead(reading(1, i));
            passTime(clock, TenSeconds);
        }
        QCOMPARE(history.sampleCount(1), PowerHistory::Capacity);
        QVERIFY(PowerHistory::Capacity * TenSeconds >= Day);
        QList<PowerSample> kept;
        history.forEach(1, 0, [&](const PowerSample& s) { kept << s; });
        QCOMPARE(kept.size(), PowerHistory::Capacity);
        QCOMPARE(kept.first().powerMw, float(500)); // the oldest went first
        QCOMPARE(kept.last().powerMw, float(samples - 1));
        for (int i = 1; i < kept.size(); ++i)
            QVERIFY(kept[i].atMs - kept[i - 1].atMs >= TenSeconds);
        QVERIFY(kept.last().atMs - kept.first().atMs >= Day);
        // From a moment on: the samples since then only.
        int recent = 0;
        history.forEach(1, kept[kept.size() - 5].atMs, [&](const PowerSample&) { ++recent; });
        QCOMPARE(recent, 5);
    }

    // A reset under a running session keeps the history; a lost session's history stays until
    // the next session reads its first port.
    void eachSessionStartsEmpty()
    {
        Clock clock(1e-3);
        PowerHistory history(clock);
        QSignalSpy cleared(&history, &PowerHistory::cleared);
        history.portRead(reading(2, 500));
        history.displayCleared(false);
        passTime(clock, TenSeconds);
        history.portRead(reading(2, 600));
        QCOMPARE(history.sampleCount(2), 2);
        history.displayCleared(true);
        QCOMPARE(history.sampleCount(2), 2);
        QCOMPARE(cleared.size(), 0);
        history.portRead(reading(5, 700));
        QCOMPARE(cleared.size(), 1);
        QCOMPARE(history.sampleCount(2), 0);
        QCOMPARE(history.sampleCount(5), 1);
    }

    void csvHoldsEverySampleInTheOrderTaken()
    {
        Clock clock(1e-3);
        PowerHistory history(clock);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        history.portRead(reading(2, 1234, 48.1, 25, 8));
        history.portRead(reading(1, 0, 0, 0, 0));
        passTime(clock, TenSeconds);
        history.portRead(reading(1, 15400, 53.5, 288, 8));
        history.portRead(reading(2, PassReading::Unknown, 48.2, PassReading::Unknown, 9));

        const QList<QByteArray> lines = history.csv().split('\n');
        QCOMPARE(lines.size(), 6); // header, four rows, the empty rest after the last line end
        QCOMPARE(lines[0], Header);
        QCOMPARE(lines[5], QByteArray());
        const QList<QByteArray> expected{",2,1234,48.1,25,8,,,", ",1,0,0,0,0,,,", ",1,15400,53.5,288,8,,,",
                                         ",2,,48.2,,9,,,"};
        QDateTime last = before.addMSecs(-1);
        for (int i = 0; i < 4; ++i) {
            const QByteArray& line = lines[i + 1];
            const qsizetype comma = line.indexOf(',');
            QCOMPARE(line.mid(comma), expected[i]);
            const QByteArray time = line.left(comma);
            QVERIFY2(time.endsWith('Z'), time.constData());
            const QDateTime at = QDateTime::fromString(QString::fromLatin1(time), Qt::ISODateWithMs);
            QVERIFY2(at.isValid(), time.constData());
            QCOMPARE(at.timeSpec(), Qt::UTC);
            QVERIFY(at >= last);
            last = at;
        }
        // The clock runs 1000 times fast: 10 s of it lie between the two passes.
        const QDateTime first =
            QDateTime::fromString(QString::fromLatin1(lines[1].left(24)), Qt::ISODateWithMs);
        QVERIFY(first.msecsTo(last) >= TenSeconds);
    }

    // Every line names the unit; the operator's actions are rows of their own between the samples,
    // so that a cycle shorter than the sampling interval still shows.
    void csvNamesTheUnitAndListsTheActions_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("unit");
        QTest::newRow("network") << "192.168.1.20"
                                 << "POE24M" << QByteArray("192.168.1.20,POE24M");
        QTest::newRow("serial") << "/dev/ttyUSB0"
                                << "MDX20A-24" << QByteArray("/dev/ttyUSB0,MDX20A-24");
        QTest::newRow("a comma and quotes in the model")
            << "10.0.0.7"
            << "PoE \"24\", rev 2" << QByteArray("10.0.0.7,\"PoE \"\"24\"\", rev 2\"");
        QTest::newRow("before any session") << ""
                                            << "" << QByteArray(",");
    }
    void csvNamesTheUnitAndListsTheActions()
    {
        QFETCH(QString, address);
        QFETCH(QString, model);
        QFETCH(QByteArray, unit);
        Clock clock(1e-3);
        PowerHistory history(clock);
        history.setUnit(address, model);
        history.portRead(reading(3, 1500, 53.5, 28, 8));
        history.record(OperatorAction::Kind::CycleStart, 3);
        passTime(clock, 5000);
        history.record(OperatorAction::Kind::CycleEnd, 3);
        history.record(OperatorAction::Kind::PortOff, 4);
        history.record(OperatorAction::Kind::SystemReset, 0);
        passTime(clock, TenSeconds);
        history.portRead(reading(3, 1600, 53.5, 30, 8));

        const QList<QByteArray> lines = history.csv().split('\n');
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[0], Header);
        const QList<QByteArray> expected{
            ",3,1500,53.5,28,8," + unit + ',',     ",3,,,,," + unit + ",power-cycle start",
            ",3,,,,," + unit + ",power-cycle end", ",4,,,,," + unit + ",port off",
            ",,,,,," + unit + ",system reset",     ",3,1600,53.5,30,8," + unit + ','};
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(lines[i + 1].mid(lines[i + 1].indexOf(',')), expected[i]);
        const QDateTime start =
            QDateTime::fromString(QString::fromLatin1(lines[2].left(24)), Qt::ISODateWithMs);
        const QDateTime end =
            QDateTime::fromString(QString::fromLatin1(lines[3].left(24)), Qt::ISODateWithMs);
        QVERIFY(start.msecsTo(end) >= 5000);

        // A new session starts without the last one's actions.
        history.displayCleared(true);
        history.portRead(reading(1, 100));
        QCOMPARE(history.csv().count('\n'), 2);
    }

    void exportReplacesTheFileWholeOrSaysWhy()
    {
        Clock clock(1e-3);
        PowerHistory history(clock);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("power.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
        old.close();
        // A second name for the old file sees it unchanged: the export writes a new file in its
        // place rather than over it, so a failure half-way loses nothing.
        const QString kept = dir.filePath(QStringLiteral("kept.csv"));
        QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(kept).constData()), 0);

        QCOMPARE(history.exportCsv(path), QString()); // an empty history: the header alone
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), Header + '\n');
        file.close();
        QFile keptFile(kept);
        QVERIFY(keptFile.open(QIODevice::ReadOnly));
        QCOMPARE(keptFile.readAll(), QByteArray(100000, 'x'));

        history.portRead(reading(7, 3500));
        QCOMPARE(history.exportCsv(path), QString());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), history.csv());
        file.close();

        const QString missing = dir.filePath(QStringLiteral("no/such/folder/power.csv"));
        QVERIFY(!history.exportCsv(missing).isEmpty());
        QVERIFY(!QFile::exists(missing));
        QVERIFY(!history.exportCsv(dir.path()).isEmpty()); // a folder is no file
        QVERIFY(QDir(dir.path()).exists());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{"kept.csv", "power.csv"})); // no temporary left
    }
};

QTEST_GUILESS_MAIN(tst_PowerHistory)
#include "tst_powerhistory.moc"
