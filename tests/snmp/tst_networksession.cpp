// The network search, the session and the write requests against agents played from tables:
// the rules of the search, the write-community check, the refresh pass and the requests, and
// what the operator sees of them.
#include "EventWait.h"
#include "FakeControls.h"
#include "FakeNetworkWorker.h"
#include "RecordingFeedback.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/MainController.h"
#include "core/PortControl.h"
#include "core/SpanmonCore.h"
#include "links/serial/SerialLink.h"
#include "links/snmp/NetworkLink.h"
#include "links/snmp/NetworkSession.h"

#include <QTest>

namespace
{

// Restated here, so that a change of the map in the program shows up as a failure.
QString oid(const char* suffix)
{
    return QStringLiteral("1.3.6.1.4.1.24852.") + QLatin1String(suffix);
}
QString portOid(int column, int port)
{
    return oid("2.3.1.%1.%2").arg(column).arg(port);
}

const QString Identity = oid("2.1.0");
const QString Firmware = oid("2.2.10.0");
const QString Hardware = oid("2.2.6.0");
const QString Ports = oid("2.2.7.0");
const QString Description = oid("2.2.11.0");
const QString Legacy1 = portOid(18, 1);

const QString ConnectionLost = QStringLiteral("Connction Error! Please Check AC Power and Cable.");
const QString Checking = QStringLiteral("Checking 'Set Community'............");
const QString NoDevice = QStringLiteral("No Corvane PoE Device !! \r\nPlease Check IP Address, Community "
                                        "Setting,\r\nor Hardware Disconnected !!");

// A midspan with `ports` ports: all enabled and connected, legacy detection off.
FakeNetworkWorker::Agent midspan(int ports, const QString& identity = QStringLiteral("POE528U-480-24-N"))
{
    FakeNetworkWorker::Agent agent;
    auto& o = agent.objects;
    o[Identity] = identity;
    o[Firmware] = QStringLiteral("2.3");
    o[Hardware] = QStringLiteral("1.2");
    o[Ports] = QString::number(ports);
    o[Description] = QStringLiteral("  Rack 7 ");
    o[oid("2.2.1.0")] = o[oid("2.2.2.0")] = o[oid("2.2.3.0")] = o[oid("2.2.4.0")] = QStringLiteral("0");
    for (int p = 1; p <= ports; ++p) {
        o[portOid(2, p)] = QStringLiteral("2");
        o[portOid(6, p)] = QStringLiteral(" Cam %1 ").arg(p);
        o[portOid(7, p)] = QStringLiteral("8");
        o[portOid(11, p)] = QString::number(3000 + p);
        o[portOid(12, p)] = QStringLiteral("47.5");
        o[portOid(13, p)] = QString::number(60 + p);
        o[portOid(14, p)] = QStringLiteral("25000");
        o[portOid(18, p)] = QStringLiteral("1");
    }
    return agent;
}

// The objects of one refresh pass, in the order they are read.
QStringList passObjects(int ports)
{
    QStringList objects{Firmware, Hardware, Legacy1, Ports, Description};
    for (int p = 1; p <= ports; ++p)
        for (int column : {2, 11, 12, 13, 14, 7, 6})
            objects << portOid(column, p);
    return objects;
}

QStringList getsOf(const QStringList& log, const QString& address)
{
    QStringList gets;
    for (const QString& line : log)
        if (line.startsWith(QStringLiteral("get ") + address + u' '))
            gets << line.section(u' ', 2);
    return gets;
}

QStringList setsOf(const QStringList& log)
{
    QStringList sets;
    for (const QString& line : log)
        if (line.startsWith(QStringLiteral("set ")))
            sets << line.section(u' ', 2);
    return sets;
}

} // namespace

class tst_NetworkSession : public QObject
{
    Q_OBJECT

private:
    struct Rig {
        Rig()
            : core(controls, clock, feedback,
                   [this](AppContext& context) {
                       std::vector<std::unique_ptr<MidspanLink>> links;
                       links.push_back(std::make_unique<NetworkLink>(
                           context, [this](QObject*, NetworkWorker::ResultHandler handler) {
                               auto fake = std::make_unique<FakeNetworkWorker>(
                                   [this, handler](const SnmpResult& result) {
                                       if (onResult)
                                           onResult();
                                       handler(result);
                                       if (afterResult)
                                           afterResult();
                                   });
                               fakeWorker = fake.get();
                               return fake;
                           }));
                       links.push_back(std::make_unique<SerialLink>(context));
                       return links;
                   }),
              state(core.state()), worker(*fakeWorker), network(static_cast<NetworkLink&>(core.link(0))),
              net(network.state()), controller(core.controller()), page(core.context())
        {
            core.start();
            network.searcher().readSetting = [this](const QString& section, const QString& key) {
                return ini.value(section + u'/' + key);
            };
            network.searcher().openSettings = [this] { ++settingsOpened; };
            ini[QStringLiteral("Community/Read")] = QStringLiteral("public");
            ini[QStringLiteral("Community/Set")] = QStringLiteral("private");
        }

        void range(const QString& ip, const QString& end)
        {
            ini[QStringLiteral("IPAdress/IP")] = ip;
            ini[QStringLiteral("IPAdress/EndIP")] = end;
        }
        bool searchEnds()
        {
            controller.searchPoe();
            return waitUntil([this] { return controls.isVisible(ctl::SearchPoe); }, 5000);
        }
        // Searches one address and chooses the device found there.
        bool connect(const QString& address, const FakeNetworkWorker::Agent& agent)
        {
            worker.agents[address] = agent;
            range(address, QString());
            if (!searchEnds() || controls.itemCount(ctl::FoundDevices) != 1)
                return false;
            controls.setCurrentIndex(ctl::FoundDevices, 0);
            controller.selectFoundDevice();
            return net.networkLinked;
        }
        // Waits until `passes` more refresh passes have been completed.
        bool passes(int count)
        {
            for (int i = 0; i < count; ++i) {
                const int before = completed;
                if (!waitUntil([&] { return completed > before; }, 10000))
                    return false;
            }
            return true;
        }
        bool idle()
        {
            return waitUntil([this] { return !clock.busy() && net.pendingRequest == Request::None; }, 20000);
        }

        FakeControls controls;
        Clock clock{0.002};
        RecordingFeedback feedback;
        FakeNetworkWorker* fakeWorker = nullptr;
        // Run on every result, before and after the link takes it.
        std::function<void()> onResult;
        std::function<void()> afterResult;
        SpanmonCore core;
        DeviceState& state;
        FakeNetworkWorker& worker;
        NetworkLink& network;
        NetworkState& net;
        MainController& controller;
        PortControl page;
        QHash<QString, QString> ini;
        int settingsOpened = 0;
        int completed = 0; // refresh passes seen complete
        QString lastOid;
    };

    // Counts completed passes: the firmware object follows the last port's description.
    static void countPasses(Rig& rig)
    {
        rig.onResult = [&rig] {
            if (rig.net.requestOid == Firmware && rig.lastOid == portOid(6, rig.state.portCount))
                ++rig.completed;
            rig.lastOid = rig.net.requestOid;
        };
    }

private slots:
    void search_data();
    void search();
    void searchFindsNothing();
    void moreMidspansThanTheRecordHolds();
    void refusedRange_data();
    void refusedRange();
    void searchWithoutAddressOpensSettings();
    void writeCommunityCheck_data();
    void writeCommunityCheck();
    void relinkDuringAPauseEndsTheSession();
    void eightPortPass();
    void displayResetShowsThePortsAgain();
    void portCountOutOfRange_data();
    void portCountOutOfRange();
    void silentDeviceEndsTheSession();
    void requests_data();
    void requests();
    void refusedWriteIsReportedAfterTheAnimation();
    void deviceLostDuringAPortWalkEndsTheSession();
    void writeBackLimitRunsOnTheClock_data();
    void writeBackLimitRunsOnTheClock();
};

void tst_NetworkSession::search_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("probed");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<int>("barMaximum");

    // Agents: .10 a midspan, .11 a printer, .12 a lower-case midspan, .13 an MDX20A module.
    const QString m10 = QStringLiteral("10.0.0.10 *** POE528U-480-24-N");
    const QString m12 = QStringLiteral("10.0.0.12 *** poe914U-8HP rev b");
    const QString m13 = QStringLiteral("10.0.0.13 *** MDX20A");
    QTest::newRow("four addresses, two midspans, a foreign identity")
        << "10.0.0.9"
        << "12" << QStringList{"9", "10", "11", "12"} << QStringList{m10, m12} << 4;
    QTest::newRow("end below start is probed upwards")
        << "10.0.0.13"
        << "11" << QStringList{"11", "12", "13"} << QStringList{m12, m13} << 3;
    QTest::newRow("end equal to start") << "10.0.0.10"
                                        << "10" << QStringList{"10"} << QStringList{m10} << 1;
    QTest::newRow("end 0") << "10.0.0.10"
                           << "0" << QStringList{"10"} << QStringList{m10} << 1;
    QTest::newRow("end missing") << "10.0.0.13"
                                 << "" << QStringList{"13"} << QStringList{m13} << 1;
    // Text order, as the list sorts: 10.0.0.100 stands between .10 and .12.
    QTest::newRow("entries in text order")
        << "10.0.0.10"
        << "100" << QStringList() << QStringList{m10, "10.0.0.100 *** POE263U", m12, m13} << 91;
}

void tst_NetworkSession::search()
{
    QFETCH(QString, ip);
    QFETCH(QString, end);
    QFETCH(QStringList, probed);
    QFETCH(QStringList, listed);
    QFETCH(int, barMaximum);

    Rig rig;
    rig.worker.agents[QStringLiteral("10.0.0.10")] = midspan(24);
    rig.worker.agents[QStringLiteral("10.0.0.11")].objects[Identity] = QStringLiteral("LaserJet 4250");
    rig.worker.agents[QStringLiteral("10.0.0.12")] = midspan(8, QStringLiteral("poe914U-8HP rev b"));
    rig.worker.agents[QStringLiteral("10.0.0.13")] = midspan(4, QStringLiteral("MDX20A"));
    rig.worker.agents[QStringLiteral("10.0.0.100")] = midspan(8, QStringLiteral("POE263U"));
    rig.range(ip, end);

    rig.controller.searchPoe();
    QVERIFY(!rig.controls.isVisible(ctl::SearchPoe));
    QVERIFY(!rig.controls.isVisible(ctl::Setting));
    QVERIFY(rig.controls.isVisible(ctl::SearchProgress));
    QCOMPARE(rig.controls.control(ctl::SearchProgress).maximum, barMaximum);
    QVERIFY(waitUntil([&] { return rig.controls.isVisible(ctl::SearchPoe); }, 5000));

    QStringList log;
    for (const QString& line : rig.worker.log) {
        QVERIFY2(line.startsWith(QStringLiteral("get ")), qPrintable(line)); // nothing is written
        QCOMPARE(line.section(u' ', 2), Identity);
        log << line.section(u' ', 1, 1).section(u'.', 3);
    }
    if (!probed.isEmpty())
        QCOMPARE(log, probed); // each address once, upwards
    QStringList entries;
    for (int row = 0; row < rig.controls.itemCount(ctl::FoundDevices); ++row)
        entries << rig.controls.itemText(ctl::FoundDevices, row);
    QCOMPARE(entries, listed);
    QVERIFY(rig.net.searchDone && rig.net.workerSetUp && rig.net.deviceListValid);
    QVERIFY(!rig.controls.isVisible(ctl::SearchProgress));
    QVERIFY(rig.controls.isVisible(ctl::Setting));
    QVERIFY(rig.feedback.shown.isEmpty());

    // Every entry stays bound to its own device, whatever the order of the list.
    for (int row = 0; row < entries.size(); ++row) {
        const auto device = rig.network.searcher().deviceAt(row);
        QVERIFY(device);
        QCOMPARE(device->address, entries[row].section(QStringLiteral(" *** "), 0, 0));
        QCOMPARE(device->model, entries[row].section(QStringLiteral(" *** "), 1).left(12));
    }
}

void tst_NetworkSession::searchFindsNothing()
{
    Rig rig;
    rig.worker.agents[QStringLiteral("10.0.0.2")].objects[Identity] = QStringLiteral("Linux router");
    rig.range(QStringLiteral("10.0.0.1"), QStringLiteral("3"));
    QVERIFY(rig.searchEnds());
    QCOMPARE(rig.worker.exchanges, 3);
    QCOMPARE(rig.feedback.texts(), QStringList{NoDevice});
    QCOMPARE(rig.feedback.shown.first().title, QStringLiteral("Error"));
    QCOMPARE(rig.controls.focused(), ctl::Setting);
    QVERIFY(!rig.net.searchDone && !rig.net.workerSetUp && !rig.net.deviceListValid);
}

void tst_NetworkSession::moreMidspansThanTheRecordHolds()
{
    Rig rig;
    for (int last = 1; last <= 120; ++last)
        rig.worker.agents[QStringLiteral("10.0.1.%1").arg(last)] = midspan(1);
    rig.range(QStringLiteral("10.0.1.1"), QStringLiteral("120"));
    QVERIFY(rig.searchEnds());
    QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 120);
    for (int row = 0; row < 120; ++row) {
        const auto device = rig.network.searcher().deviceAt(row);
        QVERIFY(device);
        QVERIFY(rig.controls.itemText(ctl::FoundDevices, row).startsWith(device->address + u' '));
    }
    rig.controls.setCurrentIndex(ctl::FoundDevices, 119);
    rig.controller.selectFoundDevice();
    QCOMPARE(rig.worker.job().jobAddress, rig.network.searcher().deviceAt(119)->address);
}

void tst_NetworkSession::refusedRange_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("end");
    QTest::newRow("two dots") << "192.168.1"
                              << "";
    QTest::newRow("start octet 256") << "192.168.1.256"
                                     << "";
    QTest::newRow("start octet not a number") << "192.168.1.x"
                                              << "";
    QTest::newRow("third number 256") << "192.168.256.20"
                                      << "";
    QTest::newRow("end octet 300") << "192.168.1.20"
                                   << "300";
    QTest::newRow("end octet negative") << "192.168.1.20"
                                        << "-1";
}

void tst_NetworkSession::refusedRange()
{
    QFETCH(QString, ip);
    QFETCH(QString, end);
    Rig rig;
    rig.range(ip, end);
    rig.controller.searchPoe();
    QCOMPARE(rig.feedback.shown.size(), 1);
    QCOMPARE(rig.feedback.shown.first().title, QStringLiteral("Warning"));
    QVERIFY(rig.feedback.shown.first().text.contains(ip));
    QCOMPARE(rig.settingsOpened, 1);
    QTest::qWait(20);
    QCOMPARE(rig.worker.exchanges, 0);
    QVERIFY(rig.controls.isVisible(ctl::SearchPoe));
}

void tst_NetworkSession::searchWithoutAddressOpensSettings()
{
    Rig rig;
    rig.controller.searchPoe();
    QCOMPARE(rig.settingsOpened, 1);
    QVERIFY(rig.feedback.shown.isEmpty());
    QTest::qWait(20);
    QCOMPARE(rig.worker.exchanges, 0);
}

void tst_NetworkSession::writeCommunityCheck_data()
{
    QTest::addColumn<QString>("community");
    QTest::addColumn<QString>("legacy"); // port 1's legacy object as the agent has it
    QTest::addColumn<int>("stepsShown"); // of the four the progress window counts
    QTest::newRow("good write community") << "private"
                                          << "1" << 4;
    QTest::newRow("refused write community") << "wrong"
                                             << "1" << 2;
    // Neither on nor off: there is no other value to write, so nothing is proved.
    QTest::newRow("legacy object reads 0") << "private"
                                           << "0" << 0;
}

void tst_NetworkSession::writeCommunityCheck()
{
    QFETCH(QString, community);
    QFETCH(QString, legacy);
    QFETCH(int, stepsShown);
    const bool accepted = stepsShown == 4;
    Rig rig;
    rig.ini[QStringLiteral("Community/Set")] = community;
    // What the progress window shows after each exchange, while it is shown.
    QStringList progress;
    rig.controls.setVisible(ctl::ProgressDialog, false); // as the window starts
    rig.afterResult = [&] {
        const FakeControls& c = rig.controls;
        if (c.isVisible(ctl::ProgressDialog))
            progress << QStringLiteral("%1 %2/%3")
                            .arg(c.text(ctl::ProgressText))
                            .arg(c.value(ctl::ProgressBar))
                            .arg(c.control(ctl::ProgressBar).maximum);
    };
    const QString address = QStringLiteral("10.0.0.5");
    FakeNetworkWorker::Agent agent = midspan(4);
    agent.objects[Legacy1] = legacy;
    QVERIFY(rig.connect(address, agent));
    rig.worker.log.clear();
    const qint64 start = rig.clock.now();
    QStringList steps;
    for (int step = 1; step <= stepsShown; ++step)
        steps << Checking + QStringLiteral(" %1/4").arg(step);

    if (accepted) {
        QVERIFY(waitUntil([&] { return getsOf(rig.worker.log, address).contains(Firmware); }, 5000));
        QCOMPARE(rig.worker.log.mid(0, 7),
                 (QStringList{"get 10.0.0.5 " + Legacy1, "get 10.0.0.5 " + Legacy1,
                              "set 10.0.0.5 " + Legacy1 + " 2", "get 10.0.0.5 " + Legacy1,
                              "get 10.0.0.5 " + Legacy1, "set 10.0.0.5 " + Legacy1 + " 1",
                              "get 10.0.0.5 " + Firmware}));
        // 500, 3000, 500 and 2000 ms between the exchanges.
        QVERIFY(rig.clock.now() - start >= 6000);
        QCOMPARE(rig.worker.agents[address].objects[Legacy1], QStringLiteral("1"));
        QCOMPARE(int(rig.net.snmpPhase), 999);
        QVERIFY(rig.feedback.shown.isEmpty());
        QCOMPARE(progress, steps);
    } else {
        QVERIFY(waitUntil([&] { return !rig.feedback.shown.isEmpty(); }, 5000));
        QCOMPARE(progress, steps);
        QCOMPARE(rig.worker.agents[address].objects[Legacy1], legacy);
        QCOMPARE(rig.feedback.texts(),
                 QStringList{QStringLiteral(" 'Set Community' Error !  Please Check 'Set Community' !")});
        QVERIFY(!rig.controls.isVisible(ctl::ProgressDialog));
        const int exchanges = rig.worker.exchanges;
        QTest::qWait(50);
        QCOMPARE(rig.worker.exchanges, exchanges); // stalled
        QVERIFY(rig.net.networkLinked);
        QVERIFY(!getsOf(rig.worker.log, address).contains(Firmware));
    }
}

void tst_NetworkSession::relinkDuringAPauseEndsTheSession()
{
    Rig rig;
    QVERIFY(rig.connect(QStringLiteral("10.0.0.9"), midspan(2)));
    // In the 3 s after the check's write the operator re-links through "Setting".
    QVERIFY(waitUntil([&] { return int(rig.net.snmpPhase) == 3; }, 5000));
    rig.network.settingsClosed(true, true);
    QVERIFY(!rig.net.networkLinked);
    const int exchanges = rig.worker.exchanges;
    QVERIFY(waitUntil([&] { return !rig.clock.busy(); }, 5000));
    QTest::qWait(20);
    QCOMPARE(rig.worker.exchanges, exchanges); // the pause's end asks nothing more
    QVERIFY(!rig.controls.isVisible(ctl::ProgressDialog));
    QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 0);
    QVERIFY(rig.feedback.shown.isEmpty());
}

// A reset of the display under a running session: the descriptions, which only a first pass
// shows, come back after the pass under way and the next one.
void tst_NetworkSession::displayResetShowsThePortsAgain()
{
    Rig rig;
    countPasses(rig);
    QVERIFY(rig.connect(QStringLiteral("10.0.0.8"), midspan(4)));
    QVERIFY(rig.passes(2));
    QCOMPARE(rig.controls.text(ctl::PortDescriptionBase + 2), QStringLiteral("Cam 2"));
    rig.core.view().clearDeviceDisplay(false);
    QCOMPARE(rig.controls.text(ctl::PortDescriptionBase + 2), QString());
    QVERIFY(rig.passes(2));
    QCOMPARE(rig.controls.text(ctl::PortDescriptionBase + 2), QStringLiteral("Cam 2"));
}

void tst_NetworkSession::eightPortPass()
{
    Rig rig;
    countPasses(rig);
    const QString address = QStringLiteral("10.0.0.8");
    FakeNetworkWorker::Agent agent = midspan(8);
    agent.objects[Legacy1] = QStringLiteral("2");
    agent.objects[portOid(2, 3)] = QStringLiteral("1");
    agent.objects[portOid(7, 3)] = QStringLiteral("0");
    agent.objects[portOid(7, 4)] = QStringLiteral("9");
    QVERIFY(rig.connect(address, agent));
    QVERIFY(rig.passes(1));

    QStringList gets = getsOf(rig.worker.log, address);
    gets = gets.mid(gets.indexOf(Firmware));
    QCOMPARE(gets.size(), 61 + 1); // the pass and the first object of the next one
    QCOMPARE(gets.mid(0, 61), passObjects(8));
    QCOMPARE(setsOf(rig.worker.log).size(), 2); // the write-community check only

    FakeControls& c = rig.controls;
    QCOMPARE(c.text(ctl::FirmwareRevision), QStringLiteral("2.3"));
    QCOMPARE(c.text(ctl::HardwareRevision), QStringLiteral("1.2"));
    QCOMPARE(c.text(ctl::PortNumber), QStringLiteral("8"));
    QCOMPARE(c.text(ctl::SystemDescription), QStringLiteral("Rack 7"));
    QCOMPARE(rig.state.systemDescription, QStringLiteral("Rack 7"));
    QCOMPARE(rig.state.portCount, 8);
    QVERIFY(c.isChecked(ctl::LegacyDetect));
    QVERIFY(c.isVisible(ctl::LegacyEnabledNote));
    for (int p = 1; p <= 8; ++p) {
        // The agent's texts go to the cells unchanged.
        QCOMPARE(c.text(ctl::PowerBase + p), QString::number(3000 + p));
        QCOMPARE(c.text(ctl::VoltageBase + p), QStringLiteral("47.5"));
        QCOMPARE(c.text(ctl::CurrentBase + p), QString::number(60 + p));
        QCOMPARE(c.text(ctl::DiscoveryRBase + p), QStringLiteral("25000"));
        QCOMPARE(c.text(ctl::PortDescriptionBase + p), QStringLiteral("Cam %1").arg(p));
        QCOMPARE(c.isChecked(ctl::PortEnableBase + p), p != 3);
        QVERIFY(c.isEnabled(ctl::PortEnableBase + p));
        QVERIFY(c.isEnabled(ctl::PortEditBase + p));
    }
    QCOMPARE(c.lamp(ctl::PortLampBase + 1), Lamp::Connected);
    QCOMPARE(c.lamp(ctl::PortLampBase + 3), Lamp::DisabledOrError);
    QCOMPARE(c.lamp(ctl::PortLampBase + 4), Lamp::Detecting);
    QVERIFY(!c.isEnabled(ctl::PortEnableBase + 9));
    QCOMPARE(c.text(ctl::ClassBase + 1), QStringLiteral("0: 15.4W"));

    // Later passes leave the operator's unsent choices alone.
    c.setChecked(ctl::PortEnableBase + 1, false);
    c.setText(ctl::PortDescriptionBase + 2, QStringLiteral("mine"));
    c.setChecked(ctl::LegacyDetect, false);
    QVERIFY(rig.passes(1));
    QVERIFY(!c.isChecked(ctl::PortEnableBase + 1));
    QCOMPARE(c.text(ctl::PortDescriptionBase + 2), QStringLiteral("mine"));
    QVERIFY(!c.isChecked(ctl::LegacyDetect));
}

void tst_NetworkSession::portCountOutOfRange_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<bool>("works");
    QTest::newRow("0") << "0" << false;
    QTest::newRow("25") << "25" << false;
    QTest::newRow("255") << "255" << false;
    QTest::newRow("empty text") << "" << false;
    QTest::newRow("24") << "24" << true;
}

void tst_NetworkSession::portCountOutOfRange()
{
    QFETCH(QString, count);
    QFETCH(bool, works);
    Rig rig;
    countPasses(rig);
    rig.network.searcher().settings().useV3 = true;
    FakeNetworkWorker::Agent agent = midspan(24);
    agent.objects[Ports] = count;
    QVERIFY(rig.connect(QStringLiteral("10.0.0.7"), agent));
    if (works) {
        QVERIFY(rig.passes(1));
        QCOMPARE(rig.state.portCount, 24);
        QVERIFY(rig.feedback.shown.isEmpty());
        return;
    }
    QVERIFY(waitUntil([&] { return !rig.net.networkLinked; }, 5000));
    QCOMPARE(rig.feedback.texts(), QStringList{ConnectionLost});
    QCOMPARE(getsOf(rig.worker.log, QStringLiteral("10.0.0.7")).count(Ports), 3);
    QVERIFY(rig.state.portCount <= MaxPorts);
    QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 0);
    QCOMPARE(rig.completed, 0);
}

void tst_NetworkSession::silentDeviceEndsTheSession()
{
    Rig rig;
    countPasses(rig);
    const QString address = QStringLiteral("10.0.0.4");
    rig.worker.agents[QStringLiteral("10.0.0.6")] = midspan(4);
    rig.worker.agents[address] = midspan(4);
    rig.range(address, QStringLiteral("6"));
    QVERIFY(rig.searchEnds());
    QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 2);
    rig.controls.setCurrentIndex(ctl::FoundDevices, 0);
    rig.controller.selectFoundDevice();
    QVERIFY(rig.passes(1));

    rig.worker.agents[address].silent = true;
    const int exchanges = rig.worker.exchanges;
    QVERIFY(waitUntil([&] { return !rig.net.networkLinked; }, 5000));
    QCOMPARE(rig.worker.exchanges - exchanges, 3);
    QCOMPARE(rig.feedback.texts(), QStringList{ConnectionLost});
    QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 1);
    QCOMPARE(rig.controls.itemText(ctl::FoundDevices, 0), QStringLiteral("10.0.0.6 *** POE528U-480-24-N"));
    QCOMPARE(rig.controls.text(ctl::FirmwareRevision), QStringLiteral("FW Rev"));
    QVERIFY(!rig.controls.isEnabled(ctl::SendPortControl));
    QVERIFY(rig.controls.isEnabled(ctl::SearchPoe));

    // Back again: the next search lists both once more, each once.
    rig.worker.agents[address].silent = false;
    QVERIFY(rig.searchEnds());
    QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 2);
    QCOMPARE(rig.net.retries, 3);
}

void tst_NetworkSession::requests_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("sets");

    auto legacyAll = [](int ports, int value) {
        QStringList sets;
        for (int p = 1; p <= ports; ++p)
            sets << portOid(18, p) + QStringLiteral(" %1").arg(value);
        return sets;
    };
    QTest::newRow("System Reset") << "reset" << QStringList{oid("2.2.1.0") + " 1"};
    QTest::newRow("Restore Factory Defaults") << "defaults" << QStringList{oid("2.2.2.0") + " 1"};
    QTest::newRow("Save Parameters to Flash") << "save" << QStringList{oid("2.2.3.0") + " 1"};
    QTest::newRow("system description") << "system description" << QStringList{Description + " Aisle 4"};
    QTest::newRow("port 4 description") << "port description" << QStringList{portOid(6, 4) + " Door"};
    QTest::newRow("Send Port Control, nothing changed") << "no change" << QStringList();
    QTest::newRow("two ports changed")
        << "two ports" << QStringList{portOid(2, 2) + " 1", portOid(2, 5) + " 1"};
    QTest::newRow("every port ticked, legacy changed")
        << "all on, legacy" << (QStringList{oid("2.2.4.0") + " 2"} + legacyAll(6, 2));
    QTest::newRow("no port ticked") << "all off" << QStringList{oid("2.2.4.0") + " 1"};
    QTest::newRow("a port changed, legacy changed")
        << "port and legacy" << (QStringList{portOid(2, 6) + " 1"} + legacyAll(6, 2));
}

void tst_NetworkSession::requests()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, sets);
    Rig rig;
    countPasses(rig);
    rig.network.searcher().settings().useV3 = true;
    const QString address = QStringLiteral("10.0.0.20");
    FakeNetworkWorker::Agent agent = midspan(6);
    if (operation == "no change")
        agent.objects[portOid(2, 3)] = QStringLiteral("1"); // some ticked, each as the device has it
    QVERIFY(rig.connect(address, agent));
    QVERIFY(rig.passes(1));
    rig.worker.log.clear();
    FakeControls& c = rig.controls;

    if (operation == "reset") {
        rig.controller.systemReset();
    } else if (operation == "defaults") {
        rig.controller.restoreDefaults();
    } else if (operation == "save") {
        rig.controller.saveToFlash();
    } else if (operation == "system description") {
        QVERIFY(rig.controller.beginSystemDescriptionEdit());
        rig.state.systemDescription = QStringLiteral("Aisle 4");
        rig.controller.endSystemDescriptionEdit(true, rig.state.systemDescription);
        QCOMPARE(c.text(ctl::SystemDescription), QStringLiteral("Aisle 4"));
    } else if (operation == "port description") {
        rig.page.beginDescriptionEdit(4);
        rig.page.endDescriptionEdit(true, QStringLiteral("Door"));
    } else {
        if (operation == "two ports") {
            c.setChecked(ctl::PortEnableBase + 2, false);
            c.setChecked(ctl::PortEnableBase + 5, false);
        } else if (operation == "all off") {
            for (int p = 1; p <= 6; ++p)
                c.setChecked(ctl::PortEnableBase + p, false);
        } else if (operation == "port and legacy") {
            c.setChecked(ctl::PortEnableBase + 6, false);
        }
        if (operation.contains("legacy")) {
            c.setChecked(ctl::LegacyDetect, true);
            rig.page.chooseLegacyDetection();
        }
        rig.page.sendPortControl();
    }
    QVERIFY(rig.idle());
    QVERIFY(rig.passes(1));
    QCOMPARE(setsOf(rig.worker.log), QStringList(sets.begin(), sets.end()));
    for (const QString& set : sets)
        QCOMPARE(rig.worker.agents[address].objects[set.section(u' ', 0, 0)], set.section(u' ', 1));
    QVERIFY(c.isEnabled(ctl::SendPortControl));
    QVERIFY(rig.feedback.shown.isEmpty());
    QVERIFY(rig.net.networkLinked);
}

void tst_NetworkSession::refusedWriteIsReportedAfterTheAnimation()
{
    Rig rig;
    countPasses(rig);
    rig.network.searcher().settings().useV3 = true;
    QVERIFY(rig.connect(QStringLiteral("10.0.0.21"), midspan(2)));
    QVERIFY(rig.passes(1));
    rig.worker.agents[QStringLiteral("10.0.0.21")].refuseSets = true;
    rig.controller.saveToFlash();
    QVERIFY(waitUntil([&] { return rig.controls.text(ctl::ProgressText).startsWith("Processing"); }, 5000));
    QVERIFY(rig.feedback.shown.isEmpty()); // not before the animation has run
    const qint64 start = rig.clock.now();
    QVERIFY(waitUntil([&] { return !rig.feedback.shown.isEmpty(); }, 5000));
    QVERIFY(rig.clock.now() - start >= 3100);
    QCOMPARE(rig.feedback.texts(), QStringList{QStringLiteral(
                                       "'Save Parameters to Flash' Error !  The device refused the write.")});
    QVERIFY(rig.passes(1));
    QVERIFY(rig.net.networkLinked);
}

void tst_NetworkSession::deviceLostDuringAPortWalkEndsTheSession()
{
    Rig rig;
    countPasses(rig);
    rig.network.searcher().settings().useV3 = true;
    const QString address = QStringLiteral("10.0.0.23");
    QVERIFY(rig.connect(address, midspan(4)));
    QVERIFY(rig.passes(1));
    rig.controls.setChecked(ctl::PortEnableBase + 2, false);
    rig.page.sendPortControl();
    rig.worker.agents[address].silent = true;
    QVERIFY(waitUntil([&] { return !rig.net.networkLinked; }, 5000));
    QCOMPARE(rig.feedback.texts(), QStringList{ConnectionLost});
    QCOMPARE(int(rig.net.pendingRequest), 0);
    QVERIFY(!rig.controls.isVisible(ctl::ProgressDialog));
    const int exchanges = rig.worker.exchanges;
    QTest::qWait(50);
    QCOMPARE(rig.worker.exchanges, exchanges);
}

void tst_NetworkSession::writeBackLimitRunsOnTheClock_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("shortestTryMs"); // of the agent's time to answer one try
    QTest::addColumn<int>("limitMs");       // real time
    QTest::newRow("as specified") << 1.0 << 0 << 8000;
    QTest::newRow("tries not shortened") << 1.0 << 50 << 8000;
    QTest::newRow("half speed") << 0.5 << 0 << 4000;
    // The limit covers the tries as they really run, held at their shortest real time.
    QTest::newRow("fast clock, tries of 50 ms") << 0.05 << 50 << 2000;
}

void tst_NetworkSession::writeBackLimitRunsOnTheClock()
{
    QFETCH(double, scale);
    QFETCH(int, shortestTryMs);
    QFETCH(int, limitMs);
    Clock clock(scale);
    clock.setShortestRealTime(TimerId::AgentReply, shortestTryMs);
    QCOMPARE(NetworkSession::writeBackLimit(clock).count(), limitMs);
}

QTEST_MAIN(tst_NetworkSession)
#include "tst_networksession.moc"
