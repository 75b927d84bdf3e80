// The network link from the operator's side: the real main window (offscreen) against simulated
// midspans on UDP port 161 of this program's own loopback addresses, with what the agents were
// asked and told read from their control sockets.
#include "LoopbackBlock.h"
#include "NetworkRig.h"
#include "ui/ParamSetting.h"

#include <QLineEdit>

namespace
{

// Midspans: .1 with 24 ports, .3 with 8, .2 answers with a printer's identity, .4 is silent.
const QString Big = loopbackAddress(20, 1);
const QString Foreign = loopbackAddress(20, 2);
const QString Small = loopbackAddress(20, 3);
const QString Spare = loopbackAddress(20, 5); // for tests that change their agent

// The objects of one refresh pass as the agent names them, in the order they are read.
QStringList passObjects(int ports)
{
    QStringList objects{"get 2.2.10.0", "get 2.2.6.0", "get 2.3.1.18.1", "get 2.2.7.0", "get 2.2.11.0"};
    for (int p = 1; p <= ports; ++p)
        for (int column : {2, 11, 12, 13, 14, 7, 6})
            objects << QStringLiteral("get 2.3.1.%1.%2").arg(column).arg(p);
    return objects;
}

} // namespace

class tst_NetworkEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void searchListsMidspansInTextOrder();
    void passReachesPanelPagesAndLamps();
    void refusedWriteCommunityStalls();
    void snmpV3StartsWithoutTheCheck();
    void systemResetLocksUntilThePassAfterTheAnimation();
    void sendPortControlWrites_data();
    void sendPortControlWrites();
    void portDescriptionEdit();
    void stoppedAgentEndsTheSessionAndIsFoundAgain();
    void settingWithRelinkEndsTheSession();
    void portCountOutOfRangeEndsTheSession();
    void badAddressInLinkIniOpensTheSettings();
    void refusedWriteIsReported();

private:
    MidspanSimProcess big_;
    MidspanSimProcess small_;
    MidspanSimProcess foreign_;
    MidspanSimProcess spare_;
};

void tst_NetworkEndToEnd::initTestCase()
{
    initSnmpLibrary();
    if (needsRoot()) {
        if (qgetenv("CI") == "true")
            QFAIL("the agents need UDP port 161, which needs root");
        return;
    }
    QVERIFY2(big_.start(simOptions(Big, 24), false), qPrintable(big_.errorText()));
    QVERIFY2(small_.start(simOptions(Small, 8) << "--model"
                                               << "POE914U-8HP",
                          false),
             qPrintable(small_.errorText()));
    QVERIFY2(foreign_.start(simOptions(Foreign, 4), false), qPrintable(foreign_.errorText()));
    QCOMPARE(foreign_.command("identity LaserJet 4250"), QStringLiteral("ok"));
    QVERIFY2(spare_.start(simOptions(Spare, 4), false), qPrintable(spare_.errorText()));
}

void tst_NetworkEndToEnd::init()
{
    if (needsRoot())
        QSKIP("the agents need UDP port 161, which needs root");
    for (MidspanSimProcess* sim : {&big_, &small_, &foreign_, &spare_}) {
        sim->control("snmp start");
        sim->control("refuse-sets off");
        sim->control("report-ports off");
        sim->clearSnmpLog();
    }
    for (int p = 1; p <= 24; ++p) {
        big_.control(QStringLiteral("set port %1 enabled 1").arg(p).toUtf8());
        big_.control(QStringLiteral("set port %1 legacy 0").arg(p).toUtf8());
    }
    for (int p = 1; p <= 8; ++p) {
        small_.control(QStringLiteral("set port %1 enabled 1").arg(p).toUtf8());
        small_.control(QStringLiteral("set port %1 legacy 0").arg(p).toUtf8());
    }
}

void tst_NetworkEndToEnd::searchListsMidspansInTextOrder()
{
    QuickRig rig(Big, QStringLiteral("4"));
    QVERIFY(rig.search());
    QCOMPARE(rig.entries(), (QStringList{Big + " *** POE528U-480-24-N", Small + " *** POE914U-8HP"}));
    for (MidspanSimProcess* sim : {&big_, &small_, &foreign_})
        QCOMPARE(sim->snmpLog(), QStringList{"get 2.1.0"}); // each address once
    QVERIFY(rig.feedback.shown.isEmpty());
    QVERIFY(rig.net().searchDone);
}

void tst_NetworkEndToEnd::passReachesPanelPagesAndLamps()
{
    small_.control("set port 3 enabled 0");
    small_.control("set port 1 legacy 1");
    // The device as the control socket sets it, and below what its agent shows of it.
    for (const char* command :
         {"set system firmware 0x27", "set system hardware 0x0B", "set port 2 power 4321",
          "set port 2 voltage 476", "set port 2 current 87", "set port 2 resistance 12500"})
        QCOMPARE(small_.control(command), QByteArray("ok"));
    QuickRig rig(Small);
    QVERIFY(rig.connect(Small));
    // The write-community check: read, write the other value, read it back, write it back.
    const QStringList log = small_.snmpLog();
    QCOMPARE(log.mid(0, 6), (QStringList{"get 2.1.0", "get 2.3.1.18.1", "get 2.3.1.18.1", "set 2.3.1.18.1 1",
                                         "get 2.3.1.18.1", "get 2.3.1.18.1"}));
    QCOMPARE(log.value(6), QStringLiteral("set 2.3.1.18.1 2"));
    QCOMPARE(log.mid(7, 61), passObjects(8));
    QCOMPARE(small_.command("get port 1 legacy"), QStringLiteral("1"));

    // The agent's texts reach the cells unchanged: revisions as "major.minor", the voltage in
    // volts and the discovery resistance in ohms (the device keeps 2-ohm units).
    QCOMPARE(rig.text(ctl::FirmwareRevision), QStringLiteral("2.7"));
    QCOMPARE(rig.text(ctl::HardwareRevision), QStringLiteral("1.3"));
    QCOMPARE(rig.text(ctl::PortNumber), QStringLiteral("8"));
    QCOMPARE(rig.text(ctl::PowerBase + 2), QStringLiteral("4321"));
    QCOMPARE(rig.text(ctl::VoltageBase + 2), QStringLiteral("47.6"));
    QCOMPARE(rig.text(ctl::CurrentBase + 2), QStringLiteral("87"));
    QCOMPARE(rig.text(ctl::DiscoveryRBase + 2), QStringLiteral("25000"));
    QCOMPARE(rig.text(ctl::ClassBase + 1), QStringLiteral("0: 36W"));
    QVERIFY(rig.controls().isChecked(ctl::PortEnableBase + 2));
    QVERIFY(!rig.controls().isChecked(ctl::PortEnableBase + 3));
    QVERIFY(rig.controls().isChecked(ctl::LegacyDetect));
    QVERIFY(rig.controls().isVisible(ctl::LegacyEnabledNote));
    QCOMPARE(rig.controls().lamp(ctl::PortLampBase + 2), Lamp::Connected);
    QCOMPARE(rig.controls().lamp(ctl::PortLampBase + 3), Lamp::DisabledOrError);
    QVERIFY(rig.controls().isEnabled(ctl::PortEnableBase + 8));
    QVERIFY(!rig.controls().isEnabled(ctl::PortEnableBase + 9));
    QVERIFY(rig.feedback.shown.isEmpty());
    // For a look by eye: the window of a midspan connected over the network.
    rig.window->grab().save(QStringLiteral(SCREENSHOT_DIR "/main_window_network.png"));
}

void tst_NetworkEndToEnd::refusedWriteCommunityStalls()
{
    QuickRig rig(Small, QString(), QStringLiteral("not-the-one"));
    QVERIFY(rig.search());
    clickEntry(rig.list(), 0);
    QVERIFY(waitUntil([&] { return !rig.feedback.shown.isEmpty(); }, WaitMs));
    QCOMPARE(rig.feedback.texts(),
             QStringList{QStringLiteral(" 'Set Community' Error !  Please Check 'Set Community' !")});
    QVERIFY(!rig.controls().isVisible(ctl::ProgressDialog));
    QVERIFY(rig.net().networkLinked);
    QTest::qWait(300);
    QVERIFY(!small_.snmpLog().contains(QStringLiteral("get 2.2.10.0")));
    QVERIFY(setsIn(small_.snmpLog()).isEmpty());
}

void tst_NetworkEndToEnd::snmpV3StartsWithoutTheCheck()
{
    QuickRig rig(Big);
    rig.spanmon->network().searcher().settings().useV3 = true;
    QVERIFY(rig.connect(Big));
    const QStringList log = big_.snmpLog();
    QCOMPARE(log.mid(0, 2), (QStringList{"get 2.1.0", "get 2.2.10.0"}));
    QVERIFY(setsIn(log).isEmpty());
    QCOMPARE(rig.text(ctl::PortNumber), QStringLiteral("24"));
}

void tst_NetworkEndToEnd::systemResetLocksUntilThePassAfterTheAnimation()
{
    QuickRig rig(Small);
    QVERIFY(rig.connect(Small));
    small_.clearSnmpLog();
    rig.click(ctl::SystemReset);
    QCOMPARE(rig.text(ctl::FirmwareRevision), QStringLiteral("FW Rev"));
    QCOMPARE(rig.controls().lamp(ctl::PortLampBase + 1), Lamp::NoData);
    const qint64 pressed = rig.clock.now();
    QVERIFY(waitUntil([&] { return rig.net().pendingRequest == Request::None; }, WaitMs));
    QVERIFY(rig.clock.now() - pressed >= 2000 + 12600);
    QVERIFY(setsIn(small_.snmpLog()).contains(QStringLiteral("2.2.1.0 1")));
    for (int id : {ctl::SystemReset, ctl::SearchPoe, ctl::SendPortControl, ctl::PortEnableBase + 1})
        QVERIFY(!rig.controls().isEnabled(id));
    QVERIFY(rig.pass());
    QVERIFY(rig.controls().isEnabled(ctl::SystemReset));
    QCOMPARE(rig.text(ctl::PortNumber), QStringLiteral("8"));
}

void tst_NetworkEndToEnd::sendPortControlWrites_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("sets");
    QStringList legacyOn{"2.2.4.0 2"};
    for (int p = 1; p <= 8; ++p)
        legacyOn << QStringLiteral("2.3.1.18.%1 2").arg(p);
    QTest::newRow("no change") << "none" << QStringList();
    QTest::newRow("every port ticked, legacy changed") << "all, legacy" << legacyOn;
    QTest::newRow("port 5 off") << "port 5" << QStringList{"2.3.1.2.5 1"};
}

void tst_NetworkEndToEnd::sendPortControlWrites()
{
    QFETCH(QString, change);
    QFETCH(QStringList, sets);
    small_.control("set port 3 enabled 0"); // some ports ticked, not all
    QuickRig rig(Small);
    QVERIFY(rig.connect(Small));
    small_.clearSnmpLog();
    if (change.startsWith("all"))
        rig.controls().setChecked(ctl::PortEnableBase + 3, true);
    if (change == "port 5")
        rig.controls().setChecked(ctl::PortEnableBase + 5, false);
    if (change.contains("legacy"))
        rig.controls().get<QAbstractButton>(ctl::LegacyDetect)->click();
    rig.click(ctl::SendPortControl);
    QVERIFY(rig.pass());
    QVERIFY(rig.pass());
    QCOMPARE(setsIn(small_.snmpLog()), sets);
    QVERIFY(rig.feedback.shown.isEmpty());
    if (change.startsWith("all"))
        QCOMPARE(small_.command("get port 3 enabled"), QStringLiteral("1"));
}

void tst_NetworkEndToEnd::portDescriptionEdit()
{
    QuickRig rig(Big);
    QVERIFY(rig.connect(Big));
    big_.clearSnmpLog();
    rig.click(ctl::PortEditBase + 12);
    QVERIFY(waitUntil([&] { return rig.controls().isVisible(ctl::DescriptionDialog); }, WaitMs));
    rig.click(ctl::DescriptionButton); // Edit
    auto* edit = rig.controls().get<QLineEdit>(ctl::DescriptionEdit);
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("Door 12"));
    rig.click(ctl::DescriptionButton); // Save
    QVERIFY(waitUntil(
        [&] { return rig.net().pendingRequest == Request::None && rig.net().activeRequest == Request::None; },
        WaitMs));
    QVERIFY(waitUntil([&] { return setsIn(big_.snmpLog()).size() == 1; }, WaitMs));
    QCOMPARE(setsIn(big_.snmpLog()), QStringList{"2.3.1.6.12 Door 12"});
    QCOMPARE(big_.command("get port 12 description"), QStringLiteral("Door 12"));
    QCOMPARE(rig.text(ctl::PortDescriptionBase + 12), QStringLiteral("Door 12"));
}

void tst_NetworkEndToEnd::stoppedAgentEndsTheSessionAndIsFoundAgain()
{
    QuickRig rig(Spare);
    QVERIFY(rig.connect(Spare));
    spare_.control("snmp stop");
    QVERIFY(waitUntil([&] { return !rig.net().networkLinked; }, 60000));
    QCOMPARE(rig.feedback.texts(),
             QStringList{QStringLiteral("Connction Error! Please Check AC Power and Cable.")});
    QVERIFY(rig.entries().isEmpty());
    QCOMPARE(rig.text(ctl::FirmwareRevision), QStringLiteral("FW Rev"));
    QVERIFY(rig.controls().isEnabled(ctl::SearchPoe));

    spare_.control("snmp start");
    QVERIFY(rig.search());
    QCOMPARE(rig.entries(), QStringList{Spare + " *** POE528U-480-24-N"});
}

void tst_NetworkEndToEnd::settingWithRelinkEndsTheSession()
{
    QuickRig rig(Spare);
    QVERIFY(rig.connect(Spare));
    rig.click(ctl::Setting);
    ParamSetting& dialog = rig.window->settingsDialog();
    QVERIFY(dialog.isVisible());
    rig.feedback.answers = {true}; // "Do You Want To Re-Link ?"
    dialog.controls().get<QPushButton>(1)->click();
    QVERIFY(!rig.net().networkLinked);
    QVERIFY(rig.entries().isEmpty());
    QCOMPARE(rig.text(ctl::FirmwareRevision), QStringLiteral("FW Rev"));
    spare_.clearSnmpLog();
    QTest::qWait(500);
    QVERIFY(spare_.snmpLog().size() <= 1); // at most the exchange that was under way
    QVERIFY(rig.search());
    QCOMPARE(rig.entries().size(), 1);
}

void tst_NetworkEndToEnd::portCountOutOfRangeEndsTheSession()
{
    QuickRig rig(Spare);
    QVERIFY(rig.connect(Spare));
    spare_.control("report-ports 255");
    QVERIFY(waitUntil([&] { return !rig.net().networkLinked; }, WaitMs));
    QCOMPARE(rig.feedback.texts(),
             QStringList{QStringLiteral("Connction Error! Please Check AC Power and Cable.")});
    QCOMPARE(spare_.snmpLog().count(QStringLiteral("get 2.3.1.2.5")), 0);
    QVERIFY(rig.state().portCount <= MaxPorts);
}

void tst_NetworkEndToEnd::badAddressInLinkIniOpensTheSettings()
{
    QuickRig rig(QStringLiteral("127.0.20"), QStringLiteral("4"));
    rig.click(ctl::SearchPoe);
    QCOMPARE(rig.feedback.shown.size(), 1);
    QCOMPARE(rig.feedback.shown.first().title, QStringLiteral("Warning"));
    QVERIFY(rig.window->settingsDialog().isVisible());
    QVERIFY(rig.controls().isVisible(ctl::SearchPoe));
}

void tst_NetworkEndToEnd::refusedWriteIsReported()
{
    QuickRig rig(Spare);
    QVERIFY(rig.connect(Spare));
    spare_.control("refuse-sets on");
    rig.click(ctl::SaveToFlash);
    QVERIFY(waitUntil([&] { return !rig.feedback.shown.isEmpty(); }, WaitMs));
    QCOMPARE(rig.feedback.texts(), QStringList{QStringLiteral(
                                       "'Save Parameters to Flash' Error !  The device refused the write.")});
    QVERIFY(!rig.controls().isVisible(ctl::ProgressDialog)); // the animation has run its course
    QVERIFY(rig.pass());
    QVERIFY(rig.net().networkLinked);
}

QTEST_MAIN(tst_NetworkEndToEnd)
#include "tst_networkendtoend.moc"
