#include "core/Clock.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

// The one clock: scaled time, paced sequences that hold back timers and replies, stale expiries.
class tst_Clock : public QObject
{
    Q_OBJECT

private slots:
    void scaledSequenceKeepsItsTimesAndOrder()
    {
        // The 12.6 s reset animation: positions 6, 11, 17, 21, 24 at 0, 3, 6, 9, 12 s, hidden at 12.5 s
        // and again at 12.6 s.
        Clock clock(0.001);
        QList<QPair<qint64, QString>> seen;
        auto mark = [&](const char* what) {
            return [&, what] { seen.append({clock.now(), QString::fromLatin1(what)}); };
        };
        QElapsedTimer real;
        real.start();
        mark("6")();
        clock.pace({{3000, mark("11")},
                    {3000, mark("17")},
                    {3000, mark("21")},
                    {3000, mark("24")},
                    {500, mark("hide")},
                    {100, mark("hide again")}});
        QVERIFY(clock.busy());
        QTRY_VERIFY_WITH_TIMEOUT(!clock.busy(), 5000);
        const QList<QPair<qint64, QString>> expected{
            {0, "6"},      {3000, "11"},    {6000, "17"},         {9000, "21"},
            {12000, "24"}, {12500, "hide"}, {12600, "hide again"}};
        QCOMPARE(seen, expected);
        QVERIFY2(real.elapsed() < 2000, "a scaled 12.6 s sequence must cost milliseconds");
    }

    void timerExpiringDuringASequenceRunsAfterIt()
    {
        Clock clock(0.01);
        QStringList order;
        connect(&clock, &Clock::expired, this, [&](TimerId) { order << QStringLiteral("timer 4"); });
        clock.start(TimerId::PollReply, 100);
        clock.pace({{500, [&] { order << QStringLiteral("step 1"); }},
                    {500, [&] { order << QStringLiteral("step 2"); }}});
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 3, 5000);
        QCOMPARE(order, (QStringList{"step 1", "step 2", "timer 4"}));
    }

    void workHandedOverDuringASequenceWaitsInOrder()
    {
        Clock clock(0.01);
        QStringList order;
        clock.pace({{200, [&] {
                         order << QStringLiteral("step");
                         clock.whenIdle([&] { order << QStringLiteral("reply 2"); });
                     }}});
        clock.whenIdle([&] { order << QStringLiteral("reply 1"); });
        QVERIFY(order.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 3, 5000);
        QCOMPARE(order, (QStringList{"step", "reply 1", "reply 2"}));
        clock.whenIdle([&] { order << QStringLiteral("idle now"); });
        QCOMPARE(order.last(), QStringLiteral("idle now"));
    }

    void stepsAppendedByAStepRunBeforeDeferredWork()
    {
        Clock clock(0.01);
        QStringList order;
        clock.pace({{100, [&] {
                         order << QStringLiteral("a");
                         clock.pace({{100, [&] { order << QStringLiteral("b"); }}});
                     }}});
        clock.whenIdle([&] { order << QStringLiteral("deferred"); });
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 3, 5000);
        QCOMPARE(order, (QStringList{"a", "b", "deferred"}));
        QCOMPARE(clock.now(), 200);
    }

    void stoppedTimerDoesNotFireEvenWhenItsExpiryWasHeldBack()
    {
        Clock clock(0.01);
        QSignalSpy expired(&clock, &Clock::expired);
        clock.start(TimerId::IdentifyReply, 100);
        // The timer runs out during the sequence; the sequence's last step stops it.
        clock.pace({{500, [&] { clock.stop(TimerId::IdentifyReply); }}});
        QTRY_VERIFY_WITH_TIMEOUT(!clock.busy(), 5000);
        QTest::qWait(20);
        QCOMPARE(expired.count(), 0);
    }

    void restartedTimerFiresOnceForTheNewStart()
    {
        Clock clock(0.01);
        QSignalSpy expired(&clock, &Clock::expired);
        clock.start(TimerId::PollReply, 100);
        clock.pace({{300, [&] { clock.start(TimerId::PollReply, 1000); }}});
        QTRY_COMPARE_WITH_TIMEOUT(expired.count(), 1, 5000);
        QCOMPARE(expired.first().first().value<TimerId>(), TimerId::PollReply);
        QCOMPARE(clock.now(), 1300);
        QTest::qWait(30);
        QCOMPARE(expired.count(), 1);
    }

    // A reply time-out on a fast clock still waits its real minimum, and reads its own time.
    void shortestRealTimeHoldsATimerBack()
    {
        Clock clock(0.001);
        clock.setShortestRealTime(TimerId::PollReply, 300);
        QSignalSpy expired(&clock, &Clock::expired);
        QElapsedTimer real;
        real.start();
        clock.start(TimerId::PollReply, 1000);
        clock.start(TimerId::IdentifyReply, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(expired.count(), 2, 5000);
        QCOMPARE(expired.at(0).first().value<TimerId>(), TimerId::IdentifyReply);
        QCOMPARE(expired.at(1).first().value<TimerId>(), TimerId::PollReply);
        QVERIFY(real.elapsed() >= 300);
        QCOMPARE(clock.now(), 1000);
    }

    // A wait that a library times for the clock (an SNMP agent's time to answer) lasts as long in
    // real time as a timer of the clock would.
    void realTimeOfAWaitTimedElsewhere_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("shortestMs");
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("realMs");
        QTest::newRow("scale 1: as given") << 1.0 << 0 << 200 << 200;
        QTest::newRow("scale 1: a shortest time below it changes nothing") << 1.0 << 50 << 1000 << 1000;
        QTest::newRow("scaled") << 0.05 << 0 << 200 << 10;
        QTest::newRow("scaled, held at its shortest") << 0.05 << 50 << 200 << 50;
        QTest::newRow("scaled above its shortest") << 0.1 << 30 << 1000 << 100;
    }
    void realTimeOfAWaitTimedElsewhere()
    {
        QFETCH(double, scale);
        QFETCH(int, shortestMs);
        QFETCH(int, ms);
        QFETCH(int, realMs);
        Clock clock(scale);
        if (shortestMs)
            clock.setShortestRealTime(TimerId::AgentReply, shortestMs);
        QCOMPARE(clock.realTime(TimerId::AgentReply, std::chrono::milliseconds(ms)).count(), realMs);
        QCOMPARE(clock.realTime(TimerId::PollReply, std::chrono::milliseconds(ms)).count(),
                 std::lround(ms * scale));
    }
};

QTEST_GUILESS_MAIN(tst_Clock)
#include "tst_clock.moc"
