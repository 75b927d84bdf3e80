// The serial link end to end: the real main window against midspan-sim over its
// pseudo-terminal, checked by the frames on the wire and the texts in the controls.
#include "MidspanSimProcess.h"
#include "SerialWindowRig.h"
#include "core/PowerCycle.h"
#include "ui/EditDes.h"
#include "ui/PortDescription.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

namespace
{

constexpr int WaitMs = 8000;
const QString LostText = QStringLiteral("Connction Error! Please Check AC Power and Cable.");

struct Progress {
    qint64 at;
    int position;
};

} // namespace

class tst_SerialEndToEnd : public QObject
{
    Q_OBJECT

private:
    ReusedMidspanSim sims_;

    // Lists the simulator on ttyV0 and searches it.
    void search(SerialWindowRig& rig)
    {
        rig.chooseSerialLink();
        QVERIFY(rig.choosePort(QStringLiteral("ttyV0")));
        rig.click(ctl::SearchPoe);
        QTRY_COMPARE_WITH_TIMEOUT(rig.foundCount(), 1, WaitMs);
    }
    void connectDevice(SerialWindowRig& rig, MidspanSimProcess& sim)
    {
        search(rig);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(!QTest::currentTestFailed());
        sim.clearFrames();
        rig.selectFound(0);
        QVERIFY(rig.spanmon->serial().sessionRuns());
    }
    // Connected, with one whole pass done.
    void connectAndPoll(SerialWindowRig& rig, MidspanSimProcess& sim)
    {
        connectDevice(rig, sim);
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count("04 00 04") >= 2, WaitMs);
    }
    static bool waitForFrames(MidspanSimProcess& sim, int count)
    {
        QDeadlineTimer deadline(WaitMs);
        while (sim.frames().size() < count && !deadline.hasExpired())
            QTest::qWait(5);
        return sim.frames().size() >= count;
    }

private slots:
    void pollingCycleOfEightPorts()
    {
        MidspanSimProcess sim;
        QVERIFY(sim.start({"--ports", "8", "--no-line-delay", "--steady"}));
        QCOMPARE(sim.command("set system firmware 35"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set system hardware 43"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set system description Lab rack"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set port 3 enabled 1"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set port 3 status 8"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set port 3 power 1234"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set port 3 voltage 481"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set port 3 current 25"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set port 3 resistance 12500"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set port 3 classcurrent 123"), QStringLiteral("ok"));
        QCOMPARE(sim.command("set port 3 description Camera 3"), QStringLiteral("ok"));
        SerialWindowRig rig(sim.directory());
        search(rig);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(sim.frames(), QStringList{"0E 00 0E"});
        QCOMPARE(rig.found(0), QStringLiteral("ttyV0 *** POE528U-480-24-N"));
        sim.clearFrames();
        rig.selectFound(0);

        QVERIFY(waitForFrames(sim, 18));
        const QStringList expected{
            "04 00 04",    "05 00 00 05", "05 01 00 06", "05 02 00 07", "05 03 00 08", "05 04 00 09",
            "05 05 00 0A", "05 06 00 0B", "05 07 00 0C", "08 00 00 08", "08 01 00 09", "08 02 00 0A",
            "08 03 00 0B", "08 04 00 0C", "08 05 00 0D", "08 06 00 0E", "08 07 00 0F", "04 00 04",
        };
        QCOMPARE(sim.frames().mid(0, 18), expected);

        QCOMPARE(rig.text(ctl::FirmwareRevision), QStringLiteral("2.3"));
        QCOMPARE(rig.text(ctl::HardwareRevision), QStringLiteral("5.3"));
        QCOMPARE(rig.text(ctl::PortNumber), QStringLiteral("8"));
        QCOMPARE(rig.text(ctl::SystemDescription), QStringLiteral("Lab rack"));
        QCOMPARE(rig.text(ctl::PortDescriptionBase + 3), QStringLiteral("Camera 3"));
        QVERIFY(rig.controls().isChecked(ctl::PortEnableBase + 3));
        QCOMPARE(rig.text(ctl::PowerBase + 3), QStringLiteral("1234"));
        QCOMPARE(rig.text(ctl::VoltageBase + 3), QStringLiteral("48.1"));
        QCOMPARE(rig.text(ctl::CurrentBase + 3), QStringLiteral("25"));
        QCOMPARE(rig.text(ctl::DiscoveryRBase + 3), QStringLiteral("25000"));
        QCOMPARE(rig.text(ctl::ClassCurrentBase + 3), QStringLiteral("12.3"));
        QCOMPARE(rig.text(ctl::ClassBase + 8), QStringLiteral("0: 15.4W"));
        QCOMPARE(rig.controls().lamp(ctl::PortLampBase + 3), Lamp::Connected);
        QVERIFY(rig.controls().isEnabled(ctl::FirmwareDownload));
        QVERIFY(rig.feedback.shown.isEmpty());
        // For a look by eye: the window of a connected midspan.
        rig.window->grab().save(QStringLiteral(SCREENSHOT_DIR "/main_window_connected.png"));
    }

    void saveToFlashWhilePortReadOutstanding()
    {
        MidspanSimProcess sim;
        QVERIFY(sim.start({"--ports", "8", "--no-line-delay"}));
        SerialWindowRig rig(sim.directory(), 0.05, 250); // reply time-out 250 ms real
        connectDevice(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(waitForFrames(sim, 2));
        QCOMPARE(sim.command("delay 120"), QStringLiteral("ok"));
        // Only a port-3 read sent from now on is answered late enough to be outstanding.
        sim.clearFrames();
        QDeadlineTimer deadline(WaitMs);
        while (!sim.frames().contains("05 02 00 07") && !deadline.hasExpired())
            QTest::qWait(2);
        QVERIFY(!deadline.hasExpired());
        QList<Progress> progress;
        connect(rig.controls().get<QProgressBar>(ctl::ProgressBar), &QProgressBar::valueChanged, this,
                [&](int value) {
                    progress.append({rig.clock.now(), value});
                });
        rig.click(ctl::SaveToFlash);
        QCOMPARE(sim.command("delay 0"), QStringLiteral("ok"));

        // Wait for the store and the frame after it, however far the polling has gone since.
        QStringList frames;
        QTRY_VERIFY_WITH_TIMEOUT((frames = sim.frames()).indexOf("09 53 00 5C") >= 0 &&
                                     frames.size() > frames.indexOf("09 53 00 5C") + 1,
                                 WaitMs);
        const int store = int(frames.indexOf("09 53 00 5C"));
        QVERIFY(store > 0);
        QCOMPARE(frames.at(store - 1), QStringLiteral("05 02 00 07"));
        QCOMPARE(frames.at(store + 1), QStringLiteral("04 00 04"));
        QCOMPARE(rig.text(ctl::PowerBase + 3), QStringLiteral("0")); // port 3's reply was applied
        QCOMPARE(progress.size(), 5);
        const qint64 t0 = progress[0].at;
        const QList<std::pair<qint64, int>> timeline{{0, 6}, {1000, 11}, {3000, 17}, {5000, 21}, {7000, 24}};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(progress[i].at - t0, timeline[i].first);
            QCOMPARE(progress[i].position, timeline[i].second);
        }
        QVERIFY(!rig.controls().isVisible(ctl::ProgressDialog));
        QTRY_VERIFY_WITH_TIMEOUT(rig.controls().isEnabled(ctl::SaveToFlash), WaitMs);
    }

    // The reply to the request in flight is lost just as the operator queues a request: the
    // time-out still sends the queued request, and the session goes on. The store itself went
    // out while the midspan was deaf: the operator is told it may not have been saved.
    void requestQueuedAsAReplyIsLostStillGoesOut()
    {
        MidspanSimProcess* midspanSim = sims_.get({"--ports", "4", "--no-line-delay"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        SerialWindowRig rig(sim.directory(), 0.05, 250); // reply time-out 250 ms real
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(sim.command("silent on"), QStringLiteral("ok"));
        sim.clearFrames();
        QVERIFY(waitForFrames(sim, 1)); // this request goes unanswered
        rig.click(ctl::SaveToFlash);
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().contains("09 53 00 5C"), WaitMs);
        QCOMPARE(sim.command("silent off"), QStringLiteral("ok"));
        sim.clearFrames();
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count("04 00 04") >= 2, WaitMs);
        QVERIFY(rig.spanmon->serial().sessionRuns());
        QTRY_VERIFY_WITH_TIMEOUT(rig.controls().isEnabled(ctl::SaveToFlash), WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(
            rig.feedback.texts(),
            QStringList{"'Save Parameters to Flash' Error !  The midspan did not answer; "
                        "the settings may not have been saved."},
            WaitMs);
    }

    void sendPortControlWithFourPorts()
    {
        MidspanSimProcess* midspanSim = sims_.get({"--ports", "4", "--no-line-delay"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        SerialWindowRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        // Ports 1 and 3 on, 2 and 4 off.
        for (int k = 1; k <= 4; ++k)
            rig.controls().setChecked(ctl::PortEnableBase + k, k % 2 == 1);
        int writesBeforeProgress = -1;
        connect(rig.controls().get<QProgressBar>(ctl::ProgressBar), &QProgressBar::valueChanged, this,
                [&](int value) {
                    if (value != 15)
                        return;
                    writesBeforeProgress = int(sim.frames().filter(QRegularExpression("^03 ")).size());
                    // The operator's boxes are wrong now; the device's state must come back.
                    for (int k = 1; k <= 4; ++k)
                        rig.controls().setChecked(ctl::PortEnableBase + k, false);
                });
        sim.clearFrames();
        rig.click(ctl::SendPortControl);

        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().filter(QRegularExpression("^03 ")).size() == 4, WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count("04 00 04") >= 1, WaitMs);
        const QString blanks = QStringLiteral(" 20").repeated(10);
        const QStringList writes{
            "03 00 3F C1 00 00 07" + blanks + " 02 4A",
            "03 01 3F C0 00 00 07" + blanks + " 02 4A",
            "03 02 3F C1 00 00 07" + blanks + " 02 4C",
            "03 03 3F C0 00 00 07" + blanks + " 02 4C",
        };
        QCOMPARE(sim.frames().filter(QRegularExpression("^03 ")), writes);
        QCOMPARE(writesBeforeProgress, 3);
        QCOMPARE(sim.command("get port 1 enabled"), QStringLiteral("1"));
        QCOMPARE(sim.command("get port 2 enabled"), QStringLiteral("0"));
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count("05 03 00 08") >= 1, WaitMs);
        for (int k = 1; k <= 4; ++k)
            QCOMPARE(rig.controls().isChecked(ctl::PortEnableBase + k), k % 2 == 1);
        QVERIFY(rig.controls().isEnabled(ctl::SendPortControl));
        QVERIFY(!rig.spanmon->serialState().write);
    }

    void systemResetAndDescription()
    {
        MidspanSimProcess sim;
        QVERIFY(sim.start({"--ports", "2", "--no-line-delay", "--restart-seconds", "0"}));
        SerialWindowRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());

        rig.click(ctl::EditSystemDescription);
        QTRY_VERIFY_WITH_TIMEOUT(rig.controls().isVisible(ctl::DescriptionDialog), WaitMs);
        rig.click(ctl::DescriptionButton); // Edit
        QTest::keyClicks(rig.controls().get<QLineEdit>(ctl::DescriptionEdit), QStringLiteral("Rack A"));
        rig.click(ctl::DescriptionButton); // Save
        QVERIFY(!rig.controls().isVisible(ctl::DescriptionDialog));
        QCOMPARE(rig.text(ctl::SystemDescription), QStringLiteral("Rack A"));
        QVERIFY(!rig.window->findChild<EditDes*>()->editsSystem());
        QTRY_COMPARE_WITH_TIMEOUT(sim.command("get system description"), QStringLiteral("Rack A"), WaitMs);
        QVERIFY(sim.frames().contains("02 03 01 90 01 90 01 90 52 61 63 6B 20 41 20 20 20 20 04 1A"));

        sim.clearFrames();
        QList<Progress> progress;
        connect(rig.controls().get<QProgressBar>(ctl::ProgressBar), &QProgressBar::valueChanged, this,
                [&](int value) {
                    progress.append({rig.clock.now(), value});
                });
        rig.click(ctl::SystemReset);
        QCOMPARE(rig.text(ctl::FirmwareRevision), QStringLiteral("FW Rev"));
        QVERIFY(!rig.controls().isEnabled(ctl::SystemReset));
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().contains("04 00 04"), WaitMs);
        QCOMPARE(sim.frames().first(), QStringLiteral("01 52 45 53 45 54 01 84"));
        QCOMPARE(sim.frames().at(1), QStringLiteral("04 00 04"));
        QCOMPARE(progress.size(), 5);
        const QList<qint64> times{0, 2000, 4500, 7000, 9500};
        const QList<int> positions{6, 11, 17, 21, 24};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(progress[i].at - progress[0].at, times[i]);
            QCOMPARE(progress[i].position, positions[i]);
        }
        QTRY_VERIFY_WITH_TIMEOUT(rig.controls().isEnabled(ctl::SystemReset), WaitMs);
    }

    void systemOperationsWithoutSession()
    {
        SerialWindowRig rig(QStringLiteral("/nonexistent"));
        for (int id : {ctl::SystemReset, ctl::SaveToFlash, ctl::FactoryDefaults}) {
            rig.feedback.shown.clear();
            rig.click(id);
            QCOMPARE(rig.feedback.shown.size(), 1);
            QCOMPARE(rig.feedback.shown[0], (Message{"Error", "No PoE Device !!", Message::Icon::Exclamation,
                                                     Message::Buttons::Ok}));
        }
        rig.feedback.shown.clear();
        rig.click(ctl::EditSystemDescription);
        QCOMPARE(rig.feedback.texts(), QStringList{"No PoE Device !!"});
        QVERIFY(!rig.controls().isVisible(ctl::DescriptionDialog));
        QVERIFY(rig.spanmon->serialState().queue.empty());
    }

    void legacyIdentifyOnFirstSearchOnly()
    {
        MidspanSimProcess sim;
        QVERIFY(sim.start({"--legacy-code", "73,241", "--no-line-delay"}));
        SerialWindowRig rig(sim.directory(), 0.05, 500); // reply time-out 500 ms real
        search(rig);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(sim.frames(), (QStringList{"0E 00 0E", "00 00 00"}));
        QCOMPARE(rig.found(0), QStringLiteral("ttyV0 *** POE528U-480-24-N"));
        QVERIFY(rig.feedback.shown.isEmpty());

        // Choosing the link again empties the list; the fallback is not tried a second time.
        rig.chooseNetworkLink();
        rig.chooseSerialLink();
        QVERIFY(rig.choosePort(QStringLiteral("ttyV0")));
        QCOMPARE(rig.foundCount(), 0);
        sim.clearFrames();
        rig.click(ctl::SearchPoe);
        QTRY_COMPARE_WITH_TIMEOUT(rig.feedback.shown.size(), 1, WaitMs);
        QCOMPARE(rig.feedback.shown[0],
                 (Message{"Error",
                          "No Corvane PoE Device !! \r\nPlease Check Com Port or Hardware Disconnected !!",
                          Message::Icon::Exclamation, Message::Buttons::Ok}));
        QCOMPARE(sim.frames(), QStringList{"0E 00 0E"});
        QCOMPARE(rig.foundCount(), 0);
    }

    void silentLineEndsSessionAfterThreeTimeouts()
    {
        MidspanSimProcess* midspanSim = sims_.get({"--ports", "4", "--no-line-delay"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        SerialWindowRig rig(sim.directory(), 0.05, 500); // reply time-out 500 ms real
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(sim.command("silent on"), QStringLiteral("ok"));
        sim.clearFrames();
        QTRY_COMPARE_WITH_TIMEOUT(rig.feedback.texts(), QStringList{LostText}, WaitMs);
        const QStringList frames = sim.frames();
        QVERIFY(frames.size() >= 2);
        QCOMPARE(frames.mid(frames.size() - 2), (QStringList{"04 00 04", "04 00 04"}));
        QCOMPARE(rig.feedback.shown[0].title, QStringLiteral("Error"));
        QVERIFY(!rig.spanmon->serial().sessionRuns());
        QCOMPARE(rig.foundCount(), 0);
        QVERIFY(rig.controls().isEnabled(ctl::SearchPoe));
        QVERIFY(!rig.controls().isEnabled(ctl::SystemReset));
        QCOMPARE(rig.text(ctl::FirmwareRevision), QStringLiteral("FW Rev"));
        QTest::qWait(200);
        QCOMPARE(rig.feedback.shown.size(), 1);
    }

    // A rejected reply counts like a missing one: the cycle goes on after one, ends after three.
    void badChecksums_data()
    {
        QTest::addColumn<int>("corrupted");
        QTest::addColumn<bool>("sessionLasts");
        QTest::newRow("one corrupted reply") << 1 << true;
        QTest::newRow("three corrupted replies") << 3 << false;
    }
    void badChecksums()
    {
        QFETCH(int, corrupted);
        QFETCH(bool, sessionLasts);
        MidspanSimProcess* midspanSim = sims_.get({"--ports", "2", "--no-line-delay"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        SerialWindowRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(sim.command(QStringLiteral("corrupt %1").arg(corrupted)), QStringLiteral("ok"));
        const Message rejected{"Spanmon", "connection error!!", Message::Icon::None, Message::Buttons::Ok};
        QTRY_COMPARE_WITH_TIMEOUT(rig.feedback.shown.count(rejected), corrupted, WaitMs);
        sim.clearFrames();
        if (sessionLasts) {
            QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count("04 00 04") >= 2, WaitMs);
            QVERIFY(rig.spanmon->serial().sessionRuns());
            QVERIFY(!rig.feedback.texts().contains(LostText));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(rig.feedback.texts().contains(LostText), WaitMs);
            QVERIFY(!rig.spanmon->serial().sessionRuns());
        }
    }

    // The status reply's port count must fit the 24 ports there is room for.
    void portCountOutOfRange_data()
    {
        QTest::addColumn<int>("reported");
        QTest::newRow("no ports") << 0;
        QTest::newRow("25 ports") << 25;
        QTest::newRow("255 ports") << 255;
    }
    void portCountOutOfRange()
    {
        QFETCH(int, reported);
        MidspanSimProcess* midspanSim = sims_.get({"--ports", "24", "--no-line-delay"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        QCOMPARE(sim.command(QStringLiteral("report-ports %1").arg(reported)), QStringLiteral("ok"));
        SerialWindowRig rig(sim.directory());
        connectDevice(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        QTRY_COMPARE_WITH_TIMEOUT(rig.feedback.texts(), QStringList{LostText}, WaitMs);
        QCOMPARE(sim.frames(), (QStringList{"04 00 04", "04 00 04", "04 00 04"}));
        QCOMPARE(rig.state().portCount, 0);
        QCOMPARE(rig.text(ctl::PortNumber), QString());
    }

    void portCountOfTwentyFour()
    {
        MidspanSimProcess* midspanSim = sims_.get({"--ports", "24", "--no-line-delay"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        SerialWindowRig rig(sim.directory());
        connectDevice(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(waitForFrames(sim, 50));
        QCOMPARE(sim.frames().at(24), QStringLiteral("05 17 00 1C"));
        QCOMPARE(sim.frames().at(48), QStringLiteral("08 17 00 1F"));
        QCOMPARE(sim.frames().at(49), QStringLiteral("04 00 04"));
        QCOMPARE(rig.text(ctl::PortNumber), QStringLiteral("24"));
    }

    void pulledAdapterEndsSessionAndSearchWorksAgain()
    {
        MidspanSimProcess* midspanSim = sims_.get({"--ports", "2", "--no-line-delay"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        SerialWindowRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(sim.command("drop-line"), QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.feedback.texts(), QStringList{LostText}, WaitMs);
        QVERIFY(!rig.spanmon->serial().sessionRuns());
        QTest::qWait(300);
        QCOMPARE(rig.feedback.shown.size(), 1);

        QCOMPARE(sim.command("restore-line"), QStringLiteral("ok"));
        rig.feedback.shown.clear();
        rig.click(ctl::SearchPoe);
        QTRY_COMPARE_WITH_TIMEOUT(rig.foundCount(), 1, WaitMs);
        sim.clearFrames();
        rig.selectFound(0);
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count("04 00 04") >= 2, WaitMs);
        QCOMPARE(rig.text(ctl::PortNumber), QStringLiteral("2"));
        QVERIFY(rig.feedback.shown.isEmpty());
    }

    // A power-cycle keeps the port off for its off time from the port's read-back, not the
    // writes of the other ports and a progress display besides; and it sends the device's own
    // legacy detection, not a tick on the page that was never sent.
    void powerCycleKeepsItsOffTime_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("unsentLegacyTick");
        QTest::newRow("last port") << 4 << false;
        QTest::newRow("first port, legacy ticked unsent") << 1 << true;
    }
    void powerCycleKeepsItsOffTime()
    {
        QFETCH(int, port);
        QFETCH(bool, unsentLegacyTick);
        constexpr double Scale = 0.25;
        MidspanSimProcess* midspanSim = sims_.get({"--ports", "4", "--no-line-delay", "--steady"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        for (int k = 1; k <= 4; ++k)
            QCOMPARE(sim.command(QStringLiteral("set port %1 enabled 1").arg(k)), QStringLiteral("ok"));
        SerialWindowRig rig(sim.directory(), Scale);
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        if (unsentLegacyTick)
            rig.controls().get<QCheckBox>(ctl::LegacyDetect)->click();
        sim.clearPortLog();
        sim.clearFrames();

        PowerCycle& cycle = rig.window->findChild<PortDescription*>()->powerCycle();
        QVERIFY(cycle.start({port}, 2));
        QTRY_VERIFY_WITH_TIMEOUT(cycle.step() == PowerCycle::Step::Idle, WaitMs);
        QVERIFY(rig.feedback.shown.isEmpty());
        const QStringList changes = sim.portLog();
        QCOMPARE(changes.size(), 2);
        QVERIFY(changes[0].endsWith(QStringLiteral("port %1 off").arg(port)));
        QVERIFY(changes[1].endsWith(QStringLiteral("port %1 on").arg(port)));
        const double offMs =
            (changes[1].section(u' ', 0, 0).toDouble() - changes[0].section(u' ', 0, 0).toDouble()) / Scale;
        QVERIFY2(offMs >= 2000 && offMs < 3500, qPrintable(QString::number(offMs)));
        for (const QString& frame : sim.frames()) {
            if (frame.startsWith(QLatin1String("03 ")))
                QVERIFY2((frame.section(u' ', 3, 3).toInt(nullptr, 16) & 0x20) == 0, qPrintable(frame));
        }
        QCOMPARE(sim.command("get port 1 legacy"), QStringLiteral("0"));
    }

    void portThatCannotBeOpened()
    {
        MidspanSimProcess sim;
        QVERIFY(sim.start({"--no-line-delay"}));
        SerialWindowRig rig(sim.directory(), 0.05, 250); // no line: every wait is a time-out
        rig.chooseSerialLink();
        QVERIFY(rig.choosePort(QStringLiteral("ttyV0")));
        QCOMPARE(sim.command("drop-line"), QStringLiteral("ok"));
        rig.click(ctl::SearchPoe);
        QCOMPARE(rig.feedback.shown.value(0), (Message{"Spanmon", "ComPort Error !! (ttyV0 )",
                                                       Message::Icon::None, Message::Buttons::Ok}));
        // The search goes on to its time-outs: the fallback, then the report.
        QTRY_COMPARE_WITH_TIMEOUT(rig.feedback.shown.size(), 2, WaitMs);
        QCOMPARE(
            rig.feedback.shown[1].text,
            QStringLiteral("No Corvane PoE Device !! \r\nPlease Check Com Port or Hardware Disconnected !!"));
    }
};

QTEST_MAIN(tst_SerialEndToEnd)
#include "tst_serialendtoend.moc"
