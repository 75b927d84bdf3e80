// Faults on the serial line, end to end: the real main window against midspan-sim, whose control
// socket cuts, doubles and delays replies and drops the line. Every fault ends in the session's
// recovery or in its one clear message, after which a new search connects again; none crashes,
// hangs or leaves wrong values on the page.
#include "MidspanSimProcess.h"
#include "SerialWindowRig.h"
#include "core/DisplayFormats.h"

#include <QTest>

#include <memory>

namespace
{

constexpr int WaitMs = 8000;
constexpr int Ports = 4;
const QString LostText = QStringLiteral("Connction Error! Please Check AC Power and Cable.");

// Port k's power and detection resistance as the simulator is told to report them.
QString powerOf(int k)
{
    return QString::number(1000 * k + 7);
}
int resistanceOf(int k)
{
    return 5000 + 100 * k;
}

} // namespace

class tst_SerialFaults : public QObject
{
    Q_OBJECT

private:
    ReusedMidspanSim sims_;

    // The midspan every row works with, its ports enabled with their powers and resistances.
    MidspanSimProcess* startSim()
    {
        MidspanSimProcess* sim =
            sims_.get({"--ports", QString::number(Ports), "--no-line-delay", "--steady"});
        if (!sim)
            return nullptr;
        for (int k = 1; k <= Ports; ++k) {
            for (const QString& set : {QStringLiteral("enabled 1"), QStringLiteral("power ") + powerOf(k),
                                       QStringLiteral("resistance %1").arg(resistanceOf(k))}) {
                if (sim->command(QStringLiteral("set port %1 ").arg(k) + set) != QLatin1String("ok"))
                    return nullptr;
            }
        }
        return sim;
    }
    // Connects a window to the simulator, which is then polling; none on failure.
    std::unique_ptr<SerialWindowRig> connectedRig(MidspanSimProcess& sim, double scale = 0.05,
                                                  int replyMs = 1000)
    {
        auto rig = std::make_unique<SerialWindowRig>(sim.directory(), scale, replyMs);
        connectOnTtyV0(*rig, sim);
        if (QTest::currentTestFailed())
            return nullptr;
        return rig;
    }
    // Chooses the simulator's port, then connects and polls.
    void connectOnTtyV0(SerialWindowRig& rig, MidspanSimProcess& sim)
    {
        rig.chooseSerialLink();
        QVERIFY(rig.choosePort(QStringLiteral("ttyV0")));
        connectAndPoll(rig, sim);
    }
    // Searches, connects and waits for a whole clean pass; the page then shows every port's power.
    void connectAndPoll(SerialWindowRig& rig, MidspanSimProcess& sim)
    {
        rig.click(ctl::SearchPoe);
        QTRY_COMPARE_WITH_TIMEOUT(rig.foundCount(), 1, WaitMs);
        rig.selectFound(0);
        QVERIFY(rig.spanmon->serial().sessionRuns());
        showsEveryPort(rig, sim);
    }
    void showsEveryPort(SerialWindowRig& rig, MidspanSimProcess& sim)
    {
        sim.clearFrames();
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count("04 00 04") >= 2, WaitMs);
        QVERIFY(rig.spanmon->serial().sessionRuns());
        for (int k = 1; k <= Ports; ++k)
            QCOMPARE(rig.text(ctl::PowerBase + k), powerOf(k));
        QCOMPARE(rig.text(ctl::PortNumber), QString::number(Ports));
    }
    // The session ended with its one message, and a new search connects again.
    void endsAndConnectsAgain(SerialWindowRig& rig, MidspanSimProcess& sim)
    {
        QTRY_VERIFY_WITH_TIMEOUT(rig.feedback.texts().contains(LostText), WaitMs);
        QVERIFY(!rig.spanmon->serial().sessionRuns());
        QTest::qWait(300);
        QCOMPARE(rig.feedback.texts().count(LostText), 1);
        QVERIFY(!rig.controls().isVisible(ctl::ProgressDialog));
        QVERIFY(rig.controls().isEnabled(ctl::SearchPoe));
        QCOMPARE(rig.foundCount(), 0);
        rig.feedback.shown.clear();
        connectAndPoll(rig, sim);
        QVERIFY(rig.feedback.shown.isEmpty());
    }

private slots:
    void faultyReplies_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("mended");
        QTest::addColumn<int>("mendAfter"); // missed replies before the fault is mended; 0: at the end
        QTest::addColumn<bool>("sessionLasts");

        QTest::newRow("one reply cut short") << "cut 1"
                                             << "cut 0" << 0 << true;
        QTest::newRow("three replies cut short") << "cut 3"
                                                 << "cut 0" << 0 << false;
        QTest::newRow("replies doubled") << "double 12"
                                         << "double 0" << 0 << true;
        QTest::newRow("one reply late") << "delay 400"
                                        << "delay 0" << 1 << true;
        // The first answers after a silent spell are the device's own, not late ones.
        // (The request in flight when the line answers again has gone unheard too.)
        QTest::newRow("two replies missed") << "silent on"
                                            << "silent off" << 1 << true;
        // A restarting midspan's zero bytes look like a legacy identification: in a session they
        // are a missed reply, never a second entry in the found-device list.
        QTest::newRow("one reply of zero bytes") << "zeros 1"
                                                 << "zeros 0" << 0 << true;
        QTest::newRow("three replies of zero bytes") << "zeros 3"
                                                     << "zeros 0" << 0 << false;
    }
    void faultyReplies()
    {
        QFETCH(QString, fault);
        QFETCH(QString, mended);
        QFETCH(int, mendAfter);
        QFETCH(bool, sessionLasts);

        MidspanSimProcess* midspanSim = startSim();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        const auto connected = connectedRig(sim, 0.25, 250); // reply time-out 250 ms real
        QVERIFY(connected);
        SerialWindowRig& rig = *connected;

        QCOMPARE(sim.command(fault), QStringLiteral("ok"));
        if (mendAfter > 0) {
            // Missed so many times, then on time again.
            QDeadlineTimer deadline(WaitMs);
            while (rig.spanmon->serialState().failures < mendAfter && !deadline.hasExpired())
                QTest::qWait(2);
            QVERIFY(!deadline.hasExpired());
            QCOMPARE(sim.command(mended), QStringLiteral("ok"));
        }
        if (sessionLasts) {
            QTest::qWait(600);
            showsEveryPort(rig, sim);
            QVERIFY(!rig.feedback.texts().contains(LostText));
            QVERIFY(rig.controls().isEnabled(ctl::SaveToFlash));
            QCOMPARE(rig.foundCount(), 1);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(rig.feedback.texts().contains(LostText), WaitMs);
        QCOMPARE(sim.command(mended), QStringLiteral("ok"));
        endsAndConnectsAgain(rig, sim);
    }

    // Every reply comes after the time-out, each while a later request is in flight: none may
    // show one port's values on another. Once on time again, the session goes on or has ended
    // with its message.
    void lateRepliesNeverLandOnAnotherPort()
    {
        MidspanSimProcess* midspanSim = startSim();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        const auto connected = connectedRig(sim, 0.25, 800); // reply time-out 800 ms real
        QVERIFY(connected);
        SerialWindowRig& rig = *connected;

        // Late by 100 ms, and 700 ms inside the one time-out a request waits for an owed reply:
        // room for a simulator slowed by a loaded machine.
        QCOMPARE(sim.command("delay 900"), QStringLiteral("ok"));
        QDeadlineTimer late(4000);
        while (!late.hasExpired()) {
            for (int k = 1; k <= Ports; ++k) {
                const QString shown = rig.text(ctl::PowerBase + k);
                QVERIFY2(shown == powerOf(k) || shown == QLatin1String("0"),
                         qPrintable(QStringLiteral("port %1 shows %2").arg(k).arg(shown)));
            }
            QTest::qWait(5);
        }
        QCOMPARE(sim.command("delay 0"), QStringLiteral("ok"));
        QTest::qWait(1000);
        if (rig.spanmon->serial().sessionRuns())
            showsEveryPort(rig, sim);
        else
            endsAndConnectsAgain(rig, sim);
    }

    // The operator sends port control at moments spread over the polling cycle, most of them
    // while a port's status read is in flight: that reply still lands on its own port, never on
    // port 1, where the queued write starts.
    void writeQueuedDuringPortReadLandsOnItsPort()
    {
        MidspanSimProcess* midspanSim = startSim();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        const auto connected = connectedRig(sim);
        QVERIFY(connected);
        SerialWindowRig& rig = *connected;
        QCOMPARE(sim.command("delay 40"), QStringLiteral("ok")); // a read in flight for most of the cycle

        for (int send = 0; send < 6; ++send) {
            QTest::qWait(25 + 37 * send);
            rig.click(ctl::SendPortControl);
            QDeadlineTimer settled(WaitMs);
            while (!rig.controls().isEnabled(ctl::SendPortControl) && !settled.hasExpired()) {
                for (int k = 1; k <= Ports; ++k) {
                    const QString shown = rig.text(ctl::PowerBase + k);
                    QVERIFY2(shown == powerOf(k) || shown == QLatin1String("0"),
                             qPrintable(QStringLiteral("port %1 shows %2").arg(k).arg(shown)));
                }
                QTest::qWait(2);
            }
            QVERIFY(!settled.hasExpired());
        }
        QCOMPARE(sim.command("delay 0"), QStringLiteral("ok"));
        QVERIFY(rig.feedback.shown.isEmpty());
    }

    // A write whose acknowledgement never comes in time is given up with a message naming it;
    // the session goes on and reads back what the midspan holds.
    void unacknowledgedWriteIsReported()
    {
        MidspanSimProcess* midspanSim = startSim();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        const auto connected = connectedRig(sim, 0.25, 800); // reply time-out 800 ms real
        QVERIFY(connected);
        SerialWindowRig& rig = *connected;

        // Late by 100 ms, and 700 ms inside the one time-out a request waits for an owed reply:
        // room for a simulator slowed by a loaded machine.
        QCOMPARE(sim.command("delay 900"), QStringLiteral("ok"));
        rig.click(ctl::SendPortControl);
        // On time again as soon as the write has been given up.
        const SerialState& link = rig.spanmon->serialState();
        QTRY_VERIFY_WITH_TIMEOUT(link.write, WaitMs);
        QDeadlineTimer deadline(WaitMs);
        while (link.write && !deadline.hasExpired())
            QTest::qWait(2);
        QCOMPARE(sim.command("delay 0"), QStringLiteral("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.feedback.texts().isEmpty(), WaitMs);
        QCOMPARE(rig.feedback.texts(),
                 QStringList{"'Send Port Control' Error !  The device did not acknowledge the write; "
                             "the page shows what it holds."});
        rig.feedback.shown.clear();
        QTest::qWait(600);
        if (!rig.spanmon->serial().sessionRuns())
            QFAIL("the session ended after a write went unacknowledged");
        showsEveryPort(rig, sim);
        QVERIFY(rig.controls().isEnabled(ctl::SendPortControl));
        QCOMPARE(rig.feedback.texts().count(LostText), 0);
    }

    // A write the midspan never answers is told by name, as unconfirmed (not refused); the
    // controls come back and the polling goes on reading what the midspan holds.
    void writeNeverAnswered_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("text");

        const QString unsaved =
            QStringLiteral("The midspan did not answer; the settings may not have been saved.");
        const QString unmade =
            QStringLiteral("The midspan did not answer; the change may not have been made.");
        QTest::newRow("save to flash") << ctl::SaveToFlash << "09"
                                       << "09 53 00 5C"
                                       << "'Save Parameters to Flash' Error !  " + unsaved;
        QTest::newRow("factory defaults") << ctl::FactoryDefaults << "09"
                                          << "09 54 00 5D"
                                          << "'Restore Factory Defaults' Error !  " + unmade;
        QTest::newRow("system reset") << ctl::SystemReset << "01"
                                      << "01 52 45 53 45 54 01 84"
                                      << "'System Reset' Error !  " + unmade;
        QTest::newRow("port control") << ctl::SendPortControl << "03"
                                      << "03 00 3F C1 00 00 07 20 20 20 20 20 20 20 20 20 20 02 4A"
                                      << "'Send Port Control' Error !  The device did not acknowledge the "
                                         "write; the page shows what it holds.";
    }
    void writeNeverAnswered()
    {
        QFETCH(int, button);
        QFETCH(QString, command);
        QFETCH(QString, frame);
        QFETCH(QString, text);
        MidspanSimProcess* midspanSim = startSim();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        const auto connected = connectedRig(sim, 0.25, 250); // reply time-out 250 ms real
        QVERIFY(connected);
        SerialWindowRig& rig = *connected;

        QCOMPARE(sim.command("unanswered " + command), QStringLiteral("ok"));
        rig.click(button);
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().contains(frame), WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.feedback.texts(), QStringList{text}, WaitMs);
        QVERIFY(rig.spanmon->serial().sessionRuns());
        QCOMPARE(rig.spanmon->serialState().failures, 0);
        rig.feedback.shown.clear();
        showsEveryPort(rig, sim);
        QTRY_VERIFY_WITH_TIMEOUT(rig.controls().isEnabled(button), WaitMs);
        QVERIFY(!rig.controls().isVisible(ctl::ProgressDialog));
        QVERIFY(rig.feedback.shown.isEmpty());
    }

    // The bytes a reply leaves to the device (byte 1 of the port replies among them) say
    // nothing about its port: whatever fills them, each pass reads every port's status and
    // classification, and each lands on its own port.
    void ignoredBytesLeaveEveryPortRead_data()
    {
        QTest::addColumn<QString>("fill");
        QTest::newRow("zeros") << "zero";
        QTest::newRow("random bytes") << "random";
        QTest::newRow("the port index") << "port";
    }
    void ignoredBytesLeaveEveryPortRead()
    {
        QFETCH(QString, fill);
        MidspanSimProcess* midspanSim = startSim();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        QCOMPARE(sim.command("ignored-bytes " + fill), QStringLiteral("ok"));
        const auto connected = connectedRig(sim, 0.25, 1000);
        QVERIFY(connected);
        SerialWindowRig& rig = *connected;

        sim.clearFrames();
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count("04 00 04") >= 3, WaitMs);
        const QStringList frames = sim.frames();
        for (int index = 0; index < Ports; ++index) {
            for (const int command : {0x05, 0x08}) {
                const QString read = QStringLiteral("%1 %2 00 %3")
                                         .arg(command, 2, 16, QLatin1Char('0'))
                                         .arg(index, 2, 16, QLatin1Char('0'))
                                         .arg(command + index, 2, 16, QLatin1Char('0'))
                                         .toUpper();
                QVERIFY2(frames.count(read) >= 2, qPrintable(read));
            }
            const int k = index + 1;
            QCOMPARE(rig.text(ctl::PowerBase + k), powerOf(k));
            QCOMPARE(rig.text(ctl::DiscoveryRBase + k), fmt::detectionResistance(quint16(resistanceOf(k))));
        }
        QCOMPARE(rig.spanmon->serialState().failures, 0);
        QVERIFY(rig.feedback.shown.isEmpty());
    }

    void lineDropped_data()
    {
        QTest::addColumn<bool>("duringProgress");
        QTest::newRow("during a pass") << false;
        QTest::newRow("during a progress display") << true;
    }
    void lineDropped()
    {
        QFETCH(bool, duringProgress);
        MidspanSimProcess* midspanSim = startSim();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        const auto connected = connectedRig(sim);
        QVERIFY(connected);
        SerialWindowRig& rig = *connected;

        if (duringProgress) {
            rig.click(ctl::SaveToFlash);
            QTRY_VERIFY_WITH_TIMEOUT(rig.controls().isVisible(ctl::ProgressDialog), WaitMs);
        } else {
            sim.clearFrames();
            QTRY_VERIFY_WITH_TIMEOUT(sim.frames().size() >= Ports + 2, WaitMs);
        }
        QCOMPARE(sim.command("drop-line"), QStringLiteral("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.feedback.texts().contains(LostText), WaitMs);
        QCOMPARE(sim.command("restore-line"), QStringLiteral("ok"));
        endsAndConnectsAgain(rig, sim);
    }
};

QTEST_MAIN(tst_SerialFaults)
#include "tst_serialfaults.moc"
