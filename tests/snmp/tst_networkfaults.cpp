// Faults on the network link as the operator meets them: agents that stop, answer late or answer
// nonsense, credentials the agent refuses and a range where nothing answers. Each ends with a
// message or the usual recovery, and the settings file stays as it was.
#include "LoopbackBlock.h"
#include "NetworkRig.h"
#include "links/snmp/LinkSettingsForm.h"
#include "links/snmp/SnmpClient.h"
#include "ui/ParamSetting.h"

#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace
{

const QString Agent = loopbackAddress(30, 1);
constexpr int Ports = 4;
constexpr int LateMs = 10 * AgentReplyMs; // longer than a search's whole time-out (4 tries)

const QString ConnectionError = QStringLiteral("Connction Error! Please Check AC Power and Cable.");
const QString CommunityError = QStringLiteral(" 'Set Community' Error !  Please Check 'Set Community' !");
const QString NothingFound = QStringLiteral("No Corvane PoE Device !! \r\nPlease Check IP Address, Community "
                                            "Setting,\r\nor Hardware Disconnected !!");

QByteArray linkIni(const Rig& rig)
{
    QFile file(rig.dir.filePath(QStringLiteral("Link.ini")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_NetworkFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void agentAwayMidPassAndBack_data();
    void agentAwayMidPassAndBack();
    void searchWithoutAnAnswer_data();
    void searchWithoutAnAnswer();
    void textWhereANumberIsExpected_data();
    void textWhereANumberIsExpected();
    void refusedCredentialsThenTheRightOnes_data();
    void refusedCredentialsThenTheRightOnes();
    void deviceTextIsShownAsWritten();
    void unconfirmedWriteIsReported_data();
    void unconfirmedWriteIsReported();
    void silentDeviceDuringTheCommunityCheck_data();
    void silentDeviceDuringTheCommunityCheck();
    void octetsAboveAsciiReadAsLatin1_data();
    void octetsAboveAsciiReadAsLatin1();
    void bootCounterThatIsNoFile_data();
    void bootCounterThatIsNoFile();

private:
    MidspanSimProcess agent_;
};

void tst_NetworkFaults::initTestCase()
{
    initSnmpLibrary();
    if (needsRoot()) {
        if (qgetenv("CI") == "true")
            QFAIL("the agent needs UDP port 161, which needs root");
        return;
    }
    QVERIFY2(agent_.start(simOptions(Agent, Ports), false), qPrintable(agent_.errorText()));
}

void tst_NetworkFaults::init()
{
    if (needsRoot())
        QSKIP("the agent needs UDP port 161, which needs root");
    for (const char* command :
         {"snmp start", "snmp-delay 0", "answer off", "refuse-sets off", "unanswered-set off"})
        QCOMPARE(agent_.control(command).trimmed(), QByteArray("ok"));
    for (int p = 1; p <= Ports; ++p)
        agent_.control(QStringLiteral("set port %1 enabled 1").arg(p).toUtf8());
    agent_.clearSnmpLog();
}

void tst_NetworkFaults::agentAwayMidPassAndBack_data()
{
    QTest::addColumn<QByteArray>("away");
    QTest::addColumn<QByteArray>("back");
    QTest::newRow("stopped and started again") << QByteArray("snmp stop") << QByteArray("snmp start");
    // Its late answers to the missed exchange must not land on later objects. The answer comes
    // after one exchange's time-out (21 tries) and before a second one's.
    QTest::newRow("answering after the time-out")
        << "snmp-delay " + QByteArray::number(30 * AgentReplyMs) << QByteArray("snmp-delay 0");
}

void tst_NetworkFaults::agentAwayMidPassAndBack()
{
    QFETCH(QByteArray, away);
    QFETCH(QByteArray, back);
    QuickRig rig(Agent);
    const QByteArray settings = linkIni(rig);
    QVERIFY(rig.connect(Agent));
    QVERIFY(waitUntil([&] { return rig.net().portPhase == 1; }, WaitMs));
    agent_.control(away);
    QVERIFY(waitUntil([&] { return rig.net().networkFailures >= 1; }, WaitMs));
    agent_.control(back);
    // Fewer than three misses in a row: the cycle goes on as if nothing had happened.
    QVERIFY(rig.pass());
    QVERIFY(rig.pass());
    QVERIFY(rig.net().networkLinked);
    QVERIFY(rig.feedback.shown.isEmpty());
    QCOMPARE(rig.text(ctl::PortNumber), QString::number(Ports));
    for (int p = 1; p <= Ports; ++p) {
        QCOMPARE(rig.text(ctl::PowerBase + p), agent_.command(QStringLiteral("get port %1 power").arg(p)));
        QCOMPARE(rig.text(ctl::CurrentBase + p),
                 agent_.command(QStringLiteral("get port %1 current").arg(p)));
    }
    QCOMPARE(linkIni(rig), settings);
}

void tst_NetworkFaults::searchWithoutAnAnswer_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("late");
    QTest::newRow("whole range silent") << loopbackAddress(30, 10) << "20" << false;
    QTest::newRow("agent answers after the time-out") << Agent << QString() << true;
}

void tst_NetworkFaults::searchWithoutAnAnswer()
{
    QFETCH(QString, first);
    QFETCH(QString, end);
    QFETCH(bool, late);
    if (late)
        agent_.control(QByteArray("snmp-delay ") + QByteArray::number(LateMs));
    QuickRig rig(first, end);
    const QByteArray settings = linkIni(rig);
    QVERIFY(rig.search());
    QCOMPARE(rig.feedback.texts(), QStringList{NothingFound});
    QVERIFY(rig.entries().isEmpty());
    QVERIFY(!rig.net().networkLinked);
    QVERIFY(rig.controls().isEnabled(ctl::Setting));
    QCOMPARE(linkIni(rig), settings);
    if (!late)
        return;
    // Once the agent is quick again (and has worked off the late requests: the search's four
    // tries) it is found.
    agent_.control("snmp-delay 0");
    QVERIFY(waitUntil([&] { return agent_.snmpLog().count(QStringLiteral("get 2.1.0")) == 4; }, WaitMs));
    rig.feedback.shown.clear();
    QVERIFY(rig.connect(Agent));
    QVERIFY(rig.feedback.shown.isEmpty());
}

void tst_NetworkFaults::textWhereANumberIsExpected_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("v3");
    QTest::addColumn<QString>("message"); // none: the passes go on
    // A port count without a number in 1..24 is asked again and ends the session the third time.
    QTest::newRow("port count as text") << "2.2.7.0"
                                        << "many" << false << ConnectionError;
    QTest::newRow("port count empty") << "2.2.7.0" << QString() << false << ConnectionError;
    QTest::newRow("admin state as text") << "2.3.1.2.2"
                                         << "on" << false << QString();
    QTest::newRow("admin state empty") << "2.3.1.2.2" << QString() << false << QString();
    QTest::newRow("status as text") << "2.3.1.7.3"
                                    << "fine" << false << QString();
    QTest::newRow("status empty") << "2.3.1.7.3" << QString() << false << QString();
    // The write-community check has no other value to write in place of one that is neither on
    // nor off: it writes nothing, proves nothing and says so.
    QTest::newRow("legacy detection as text") << "2.3.1.18.1"
                                              << "yes" << false << CommunityError;
    // Without the check the pass reads the text as legacy detection off.
    QTest::newRow("legacy detection as text, SNMPv3") << "2.3.1.18.1"
                                                      << "yes" << true << QString();
    QTest::newRow("firmware revision empty") << "2.2.10.0" << QString() << false << QString();
}

void tst_NetworkFaults::textWhereANumberIsExpected()
{
    QFETCH(QString, object);
    QFETCH(QString, text);
    QFETCH(bool, v3);
    QFETCH(QString, message);
    QCOMPARE(agent_.command("answer " + object + ' ' + text), QStringLiteral("ok"));
    QuickRig rig(Agent);
    rig.spanmon->network().searcher().settings().useV3 = v3;
    const QByteArray settings = linkIni(rig);
    QVERIFY(rig.search());
    clickEntry(rig.list(), 0);
    if (message == ConnectionError) {
        QVERIFY(waitUntil([&] { return !rig.net().networkLinked; }, WaitMs));
        QCOMPARE(rig.feedback.texts(), QStringList{ConnectionError});
        QVERIFY(rig.entries().isEmpty());
        QVERIFY(rig.controls().isEnabled(ctl::SearchPoe));
        QVERIFY(!agent_.snmpLog().contains(QStringLiteral("get 2.3.1.2.1")));
    } else if (message == CommunityError) {
        QVERIFY(waitUntil([&] { return !rig.feedback.shown.isEmpty(); }, WaitMs));
        QCOMPARE(rig.feedback.texts(), QStringList{CommunityError});
        QVERIFY(setsIn(agent_.snmpLog()).isEmpty());
        QVERIFY(!rig.controls().isVisible(ctl::ProgressDialog));
        QVERIFY(rig.net().networkLinked); // stalled until the operator re-links through "Setting"
        QVERIFY(!agent_.snmpLog().contains(QStringLiteral("get 2.2.10.0")));
    } else {
        QVERIFY(rig.pass());
        QVERIFY(rig.pass());
        QVERIFY(rig.feedback.shown.isEmpty());
        QCOMPARE(rig.text(ctl::PortNumber), QString::number(Ports));
        QCOMPARE(rig.text(ctl::PowerBase + 4), agent_.command("get port 4 power"));
    }
    QCOMPARE(linkIni(rig), settings);
}

void tst_NetworkFaults::refusedCredentialsThenTheRightOnes_data()
{
    QTest::addColumn<bool>("v3");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("right");
    QTest::addColumn<QString>("message");
    QTest::newRow("write community") << false << int(ctl::link::WriteCommunity) << "private"
                                     << CommunityError;
    QTest::newRow("SNMPv3 pass phrase")
        << true << int(ctl::link::AuthPassword) << "auth-pass" << NothingFound;
}

void tst_NetworkFaults::refusedCredentialsThenTheRightOnes()
{
    QFETCH(bool, v3);
    QFETCH(int, field);
    QFETCH(QString, right);
    QFETCH(QString, message);
    QuickRig rig(Agent, QString(), v3 ? QStringLiteral("private") : QStringLiteral("not-the-one"),
                 v3 ? QStringLiteral("wrong-pass") : QStringLiteral("auth-pass"));
    rig.spanmon->network().searcher().settings().useV3 = v3;
    const QByteArray settings = linkIni(rig);
    QVERIFY(rig.search());
    if (!v3)
        clickEntry(rig.list(), 0);
    QVERIFY(waitUntil([&] { return !rig.feedback.shown.isEmpty(); }, WaitMs));
    QCOMPARE(rig.feedback.texts(), QStringList{message});
    QVERIFY(setsIn(agent_.snmpLog()).isEmpty());
    QCOMPARE(linkIni(rig), settings);

    // The operator puts the right value in the settings dialog and searches again.
    rig.feedback.shown.clear();
    rig.feedback.answers = {true}; // "Do You Want To Re-Link ?", asked while the check stalls
    rig.click(ctl::Setting);
    ParamSetting& dialog = rig.window->settingsDialog();
    QVERIFY(dialog.isVisible());
    dialog.controls().setText(field, right);
    dialog.controls().get<QPushButton>(ctl::link::Ok)->click();
    QVERIFY(!rig.net().networkLinked);
    QVERIFY(linkIni(rig).contains(right.toUtf8()));
    QVERIFY(rig.connect(Agent));
    QCOMPARE(rig.feedback.texts(), v3 ? QStringList() : QStringList{"Do You Want To Re-Link ?"});
    QCOMPARE(rig.text(ctl::PortNumber), QString::number(Ports));
}

// Texts from the agent are text: markup in them is shown as its characters, and an image it
// names is never read (a picture of 300 x 300 pixels would make its cell that tall).
void tst_NetworkFaults::deviceTextIsShownAsWritten()
{
    QTemporaryDir pictures;
    const QString picture = pictures.filePath(QStringLiteral("tall.png"));
    QImage tall(300, 300, QImage::Format_RGB32);
    tall.fill(Qt::red);
    QVERIFY(tall.save(picture));
    struct Cell {
        const char* object;
        int id;
        QString written;
    };
    const QList<Cell> cells{
        {"2.2.10.0", ctl::FirmwareRevision, QStringLiteral("<b>x</b>")},
        {"2.2.6.0", ctl::HardwareRevision, QStringLiteral("<img src=\"%1\">").arg(picture)},
        {"2.3.1.11.1", ctl::PowerBase + 1, QStringLiteral("<i>9</i> mW")},
    };
    for (const Cell& cell : cells)
        QCOMPARE(agent_.command(QStringLiteral("answer %1 %2").arg(QLatin1String(cell.object), cell.written)),
                 QStringLiteral("ok"));
    QuickRig rig(Agent);
    QVERIFY(rig.connect(Agent));
    for (const Cell& cell : cells) {
        QCOMPARE(rig.text(cell.id), cell.written);
        const QLabel* shown = rig.controls().get<QLabel>(cell.id);
        const QFontMetrics metrics(shown->font());
        QVERIFY2(shown->sizeHint().width() >= metrics.horizontalAdvance(cell.written),
                 qPrintable(cell.written));
        QVERIFY2(shown->sizeHint().height() < 3 * metrics.height(), qPrintable(cell.written));
    }
    QVERIFY(rig.feedback.shown.isEmpty());
}

// The SNMPv3 boot counter as a named pipe (which would hold the worker, and then the exit, for
// good) or as a link planted in a folder others can write: the search says so once and works,
// and the pipe or the link's target stays as it was.
void tst_NetworkFaults::bootCounterThatIsNoFile_data()
{
    QTest::addColumn<bool>("pipe");
    QTest::addColumn<QString>("problem");
    QTest::newRow("named pipe") << true << "it is a named pipe (FIFO), not a file";
    QTest::newRow("symbolic link") << false << "it is a symbolic link, which is not followed";
}

void tst_NetworkFaults::bootCounterThatIsNoFile()
{
    QFETCH(bool, pipe);
    QFETCH(QString, problem);
    QuickRig rig(Agent);
    const QString counter = QDir::current().filePath(QStringLiteral("snmpv3_boot_counter"));
    const QString target = QDir::current().filePath(QStringLiteral("elsewhere"));
    const QByteArray old = "GCFNFMG@DGFEGD 5\n";
    if (pipe) {
        QVERIFY(::mkfifo(QFile::encodeName(counter).constData(), 0600) == 0);
    } else {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
        file.close();
        QVERIFY(QFile::link(target, counter));
    }
    rig.spanmon->network().searcher().settings().useV3 = true;
    QVERIFY(rig.connect(Agent));
    QCOMPARE(rig.feedback.texts(),
             QStringList{QStringLiteral("The SNMPv3 boot counter %1 can not be used :\r\n%2.\r\n"
                                        "SNMPv3 works on, but the boot count is not kept.")
                             .arg(counter, problem)});
    QCOMPARE(rig.text(ctl::PortNumber), QString::number(Ports));
    const QFileInfo info(counter);
    if (pipe) {
        QVERIFY(info.exists() && !info.isFile());
        return;
    }
    QCOMPARE(info.symLinkTarget(), target);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
}

QTEST_MAIN(tst_NetworkFaults)
void tst_NetworkFaults::unconfirmedWriteIsReported_data()
{
    QTest::addColumn<QByteArray>("object"); // whose sets the agent takes but never answers
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("message");
    const QString lost = QStringLiteral("The midspan did not answer; the change may not have been made.");
    QTest::newRow("Save Parameters to Flash") << QByteArray("2.2.3.0") << int(ctl::SaveToFlash)
                                              << "'Save Parameters to Flash' Error !  The midspan did not "
                                                 "answer; the settings may not have been saved.";
    QTest::newRow("Restore Factory Defaults") << QByteArray("2.2.2.0") << int(ctl::FactoryDefaults)
                                              << "'Restore Factory Defaults' Error !  " + lost;
    QTest::newRow("System Reset") << QByteArray("2.2.1.0") << int(ctl::SystemReset)
                                  << "'System Reset' Error !  " + lost;
    // Port 2 unticked: one set of its admin state.
    QTest::newRow("Send Port Control")
        << QByteArray("2.3.1.2.2") << int(ctl::SendPortControl) << "'Send Port Control' Error !  " + lost;
}

void tst_NetworkFaults::unconfirmedWriteIsReported()
{
    QFETCH(QByteArray, object);
    QFETCH(int, button);
    QFETCH(QString, message);
    QuickRig rig(Agent);
    QVERIFY(rig.connect(Agent));
    QCOMPARE(agent_.control("unanswered-set " + object).trimmed(), QByteArray("ok"));
    if (button == ctl::SendPortControl)
        rig.controls().setChecked(ctl::PortEnableBase + 2, false);
    rig.click(button);
    QVERIFY(waitUntil([&] { return !rig.feedback.shown.isEmpty(); }, WaitMs));
    // Told once, and the session goes on.
    QCOMPARE(rig.feedback.texts(), QStringList{message});
    QVERIFY(rig.pass());
    QVERIFY(rig.net().networkLinked);
    QCOMPARE(rig.feedback.texts(), QStringList{message});
}

void tst_NetworkFaults::silentDeviceDuringTheCommunityCheck_data()
{
    QTest::addColumn<QByteArray>("away");
    QTest::newRow("stopped") << QByteArray("snmp stop");
}

void tst_NetworkFaults::silentDeviceDuringTheCommunityCheck()
{
    QFETCH(QByteArray, away);
    QuickRig rig(Agent);
    QVERIFY(rig.search());
    agent_.control(away);
    agent_.clearSnmpLog();
    clickEntry(rig.list(), 0);
    // A device that does not answer is a lost connection, not a wrong community.
    QVERIFY(waitUntil([&] { return !rig.net().networkLinked; }, 3 * WaitMs));
    QCOMPARE(rig.feedback.texts(), QStringList{ConnectionError});
    QVERIFY(setsIn(agent_.snmpLog()).isEmpty());
    QVERIFY(!rig.controls().isVisible(ctl::ProgressDialog));
    QVERIFY(rig.controls().isEnabled(ctl::SearchPoe));
}

void tst_NetworkFaults::octetsAboveAsciiReadAsLatin1_data()
{
    QTest::addColumn<QByteArray>("octets"); // port 2's description as the agent holds it
    QTest::addColumn<QString>("shown");
    QTest::newRow("e acute") << QByteArray("Caf\xE9") << QStringLiteral("Caf\u00E9");
    QTest::newRow("last Latin-1 letter") << QByteArray("\xFF\xA0x") << QStringLiteral("\u00FF\u00A0x");
    QTest::newRow("a control byte") << QByteArray("A\x01"
                                                  "B")
                                    << QStringLiteral("41 01 42");
    QTest::newRow("C1 control byte") << QByteArray("A\x85") << QStringLiteral("41 85");
}

void tst_NetworkFaults::octetsAboveAsciiReadAsLatin1()
{
    QFETCH(QByteArray, octets);
    QFETCH(QString, shown);
    QCOMPARE(agent_.control("answer 2.3.1.6.2 " + octets).trimmed(), QByteArray("ok"));
    QuickRig rig(Agent);
    QVERIFY(rig.connect(Agent));
    QCOMPARE(rig.text(ctl::PortDescriptionBase + 2), shown);
}

#include "tst_networkfaults.moc"
