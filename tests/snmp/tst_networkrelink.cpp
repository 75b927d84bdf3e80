// The operator leaves a network session in the middle of things: through "Setting" with a
// re-link, by closing Spanmon, or the device stops taking the write-community check's writes.
// Whatever was under way, the device keeps its own legacy detection, the next search finds it,
// and an answer to an exchange from before the re-link is taken for nothing after it.
#include "LoopbackBlock.h"
#include "NetworkRig.h"
#include "links/snmp/LinkSettingsForm.h"
#include "links/snmp/SnmpClient.h"
#include "ui/ParamSetting.h"

#include <QCheckBox>

namespace
{

const QString Agent = loopbackAddress(181, 1);
constexpr int Ports = 4;
// The check's pauses (500, 3000, 500, 2000 ms) long enough to act in a phase of the test's choice:
// the waits see the phase change as the event that brings it, before the pause can end.
constexpr double CheckScale = 0.1;

const QString Relink = QStringLiteral("Do You Want To Re-Link ?");
const QString CommunityError = QStringLiteral(" 'Set Community' Error !  Please Check 'Set Community' !");
const QString NotRestored =
    "Legacy Detection of port 1 of " + Agent +
    " could not be set back to '%1' after the 'Set Community' check !  Please set it on "
    "the port page.";

} // namespace

class tst_NetworkRelink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void searchAfterACheckLeftUnfinished_data();
    void searchAfterACheckLeftUnfinished();
    void checkCutShortPutsTheValueBack_data();
    void checkCutShortPutsTheValueBack();
    void refusedRestoreIsOwedToTheNextCheck();
    void unansweredRestoreIsTriedAgain();
    void answerFromBeforeTheRelinkIsDropped();

private:
    // "Setting", SNMPv3 ticked or not, OK, and Yes to the re-link question.
    void relink(Rig& rig, bool v3 = false);
    // Searches and clicks the agent's entry; the check starts.
    void choose(Rig& rig);
    bool legacyOn() { return agent_.command("get port 1 legacy") == QLatin1String("1"); }

    MidspanSimProcess agent_;
};

void tst_NetworkRelink::initTestCase()
{
    initSnmpLibrary();
    const QString failure = startAgent(agent_, simOptions(Agent, Ports));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void tst_NetworkRelink::init()
{
    if (needsRoot())
        QSKIP("the agent needs UDP port 161, which needs root");
    for (const char* command : {"snmp start", "snmp-delay 0", "refuse-sets off", "set port 1 legacy 0"})
        QCOMPARE(agent_.control(command).trimmed(), QByteArray("ok"));
    agent_.clearSnmpLog();
}

void tst_NetworkRelink::relink(Rig& rig, bool v3)
{
    rig.feedback.answers = {true};
    rig.click(ctl::Setting);
    ParamSetting& dialog = rig.window->settingsDialog();
    QVERIFY(dialog.isVisible());
    auto* useV3 = dialog.controls().get<QCheckBox>(ctl::link::UseV3);
    if (useV3->isChecked() != v3)
        useV3->click();
    dialog.controls().get<QPushButton>(ctl::link::Ok)->click();
    QVERIFY(!dialog.isVisible());
    QVERIFY(!rig.net().networkLinked);
}

void tst_NetworkRelink::choose(Rig& rig)
{
    QVERIFY(rig.search());
    QCOMPARE(rig.entries().size(), 1);
    clickEntry(rig.list(), 0);
    QVERIFY(rig.net().networkLinked);
}

void tst_NetworkRelink::searchAfterACheckLeftUnfinished_data()
{
    QTest::addColumn<QString>("writeCommunity");
    QTest::addColumn<int>("leftInPhase");
    QTest::newRow("after the 'Set Community' error") << "not-the-one" << 4;
    QTest::newRow("cut short by 'Setting' before the first write") << "private" << 2;
    QTest::newRow("cut short by 'Setting' before the last write") << "private" << 4;
}

// SNMPv3 ticked after the check was left: the search must ask, not write, the identity object.
void tst_NetworkRelink::searchAfterACheckLeftUnfinished()
{
    QFETCH(QString, writeCommunity);
    QFETCH(int, leftInPhase);
    Rig rig(Agent, QString(), writeCommunity, QStringLiteral("auth-pass"), CheckScale);
    choose(rig);
    if (writeCommunity == QLatin1String("private"))
        QVERIFY(waitUntil([&] { return int(rig.net().snmpPhase) == leftInPhase; }, WaitMs));
    else
        QVERIFY(waitUntil([&] { return rig.feedback.texts() == QStringList{CommunityError}; }, WaitMs));
    relink(rig, true);
    agent_.clearSnmpLog();
    rig.feedback.shown.clear();

    QVERIFY(rig.connect(Agent));
    QVERIFY(rig.feedback.shown.isEmpty());
    QVERIFY(setsIn(agent_.snmpLog()).isEmpty());
    QCOMPARE(rig.text(ctl::PortNumber), QString::number(Ports));
}

void tst_NetworkRelink::checkCutShortPutsTheValueBack_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("closing");
    // In phase 3 the device holds the other value; in phase 4 it is about to get the first back.
    QTest::newRow("'Setting' in phase 3, off") << false << 3 << false;
    QTest::newRow("'Setting' in phase 3, on") << true << 3 << false;
    QTest::newRow("'Setting' in phase 4") << false << 4 << false;
    QTest::newRow("closing in phase 3") << false << 3 << true;
    QTest::newRow("closing in phase 4, on") << true << 4 << true;
}

void tst_NetworkRelink::checkCutShortPutsTheValueBack()
{
    QFETCH(bool, on);
    QFETCH(int, phase);
    QFETCH(bool, closing);
    agent_.control(on ? "set port 1 legacy 1" : "set port 1 legacy 0");
    Rig rig(Agent, QString(), QStringLiteral("private"), QStringLiteral("auth-pass"), CheckScale);
    choose(rig);
    QVERIFY(waitUntil([&] { return int(rig.net().snmpPhase) == phase; }, WaitMs));
    QCOMPARE(legacyOn(), !on); // the check has written the other value
    if (closing) {
        rig.feedback.answers = {true};
        QVERIFY(rig.window->close());
    } else {
        relink(rig);
    }
    // Written before the dialog or the window has gone.
    QCOMPARE(legacyOn(), on);
    QCOMPARE(setsIn(agent_.snmpLog()).last(), QStringLiteral("2.3.1.18.1 %1").arg(on ? 2 : 1));
    QCOMPARE(rig.feedback.texts(),
             QStringList{closing ? QStringLiteral("Exit Corvane MIDSPAN PoE GUI Monitor ?") : Relink});
}

// The agent refuses the check's last write: the operator is told, the session goes on, and the
// value stays owed: the next check ends with it, although it reads the other one first.
void tst_NetworkRelink::refusedRestoreIsOwedToTheNextCheck()
{
    Rig rig(Agent, QString(), QStringLiteral("private"), QStringLiteral("auth-pass"), CheckScale);
    choose(rig);
    QVERIFY(waitUntil([&] { return int(rig.net().snmpPhase) == 3; }, WaitMs));
    agent_.control("refuse-sets on");
    const QStringList told{NotRestored.arg(QStringLiteral("Off"))};
    QVERIFY(waitUntil([&] { return !rig.feedback.shown.isEmpty(); }, WaitMs));
    QCOMPARE(rig.feedback.texts(), told);
    QVERIFY(rig.pass());
    QVERIFY(rig.net().networkLinked);
    QVERIFY(legacyOn());

    // Still refused at the re-link: said again.
    rig.feedback.shown.clear();
    relink(rig);
    QCOMPARE(rig.feedback.texts(), QStringList{Relink} + told);
    QVERIFY(legacyOn());

    agent_.control("refuse-sets off");
    rig.feedback.shown.clear();
    QVERIFY(rig.connect(Agent));
    QVERIFY(rig.feedback.shown.isEmpty());
    QVERIFY(!legacyOn());
    QVERIFY(!rig.controls().isChecked(ctl::LegacyDetect));
}

// The agent is away when the first value is to go back, and back before the third try.
void tst_NetworkRelink::unansweredRestoreIsTriedAgain()
{
    Rig rig(Agent, QString(), QStringLiteral("private"), QStringLiteral("auth-pass"), CheckScale);
    choose(rig);
    QVERIFY(waitUntil([&] { return int(rig.net().snmpPhase) == 4; }, WaitMs));
    agent_.control("snmp stop");
    QVERIFY(waitUntil([&] { return rig.net().networkFailures >= 1; }, WaitMs));
    agent_.control("snmp start");
    QVERIFY(rig.pass());
    QVERIFY(!legacyOn());
    QVERIFY(rig.feedback.shown.isEmpty());
    QVERIFY(rig.net().networkLinked);
}

// Re-link and a new search while the session's exchange is still under way: its answer is not
// the first address's.
void tst_NetworkRelink::answerFromBeforeTheRelinkIsDropped()
{
    Rig rig(Agent);
    QVERIFY(rig.connect(Agent));
    // A port object has just been asked for: its answer is on its way.
    QVERIFY(waitUntil(
        [&] {
            return rig.net().portPhase == 1 && int(rig.net().portReadStep) >= 1 &&
                   int(rig.net().portReadStep) <= 5;
        },
        WaitMs));
    relink(rig);
    rig.feedback.shown.clear();
    QVERIFY(rig.search());
    QVERIFY(rig.feedback.shown.isEmpty());
    QCOMPARE(rig.entries().size(), 1);
    QVERIFY(rig.entries().constFirst().startsWith(Agent + u' '));
}

QTEST_MAIN(tst_NetworkRelink)
#include "tst_networkrelink.moc"
