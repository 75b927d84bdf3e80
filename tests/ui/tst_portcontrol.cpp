#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/DeviceState.h"
#include "core/PortControl.h"
#include "core/SpanmonCore.h"

#include "FakeControls.h"
#include "RecordingFeedback.h"

#include <QTest>

#include <algorithm>

// The link chosen in the window; None is the serial link without a COM port.
enum class LinkType { None, Network, Serial };

using Wanted = QList<int>;

// Identifiers as the port page's design numbers them.
constexpr int EnableBox = 1105;       // + port
constexpr int DescriptionEdit = 1057; // + port
constexpr int LampBase = 1033;        // + port
constexpr int AllPortsBox = 1340;
constexpr int LegacyBox = 1341;
constexpr int LegacyNote = 1499;

class tst_PortControl : public QObject
{
    Q_OBJECT

    struct Rig {
        FakeControls controls;
        Clock clock{0.01};
        RecordingFeedback feedback;
        SpanmonCore core{controls, clock, feedback, Spanmon::links(clock)};
        DeviceState& state = core.state();
        SerialState& serial = static_cast<SerialLink&>(core.link(1)).link();
        NetworkState& network = static_cast<NetworkLink&>(core.link(0)).state();
        PortControl page{core.context()};

        Rig(LinkType link, int ports)
        {
            // The link chosen in the window: the serial link without a COM port for None.
            core.context().link = &core.link(link == LinkType::Network ? 0 : 1);
            network.chosen = link == LinkType::Network;
            serial.comPortsFound = link == LinkType::Serial;
            state.setPortCount(ports);
        }
        void tick(const QList<bool>& boxes)
        {
            for (int k = 1; k <= int(boxes.size()); ++k)
                controls.setChecked(EnableBox + k, boxes[k - 1]);
        }
        Wanted wanted(int ports) const
        {
            // As the agent gets them: 2 on, 1 off.
            Wanted wanted;
            for (int k = 0; k < ports; ++k)
                wanted << (network.portEnableWanted[std::size_t(k)] ? 2 : 1);
            return wanted;
        }
        // What the serial link's port write sends: 1 on, 0 off.
        Wanted serialWanted(int ports) const
        {
            Wanted wanted;
            for (int k = 0; k < ports; ++k)
                wanted << int(serial.write->enabled[std::size_t(k)]);
            return wanted;
        }
        bool onlyPortWriteRaised() const
        {
            // The write to the first port, ahead of nothing.
            RequestQueue queue = serial.queue;
            const std::optional<QueuedRequest> first = queue.take();
            return first && first->step == SerialStep::PortWrite && first->port == 0 && queue.empty();
        }
    };

private slots:
    void allPortsTicksOnlyTheDevicesPorts_data();
    void allPortsTicksOnlyTheDevicesPorts();
    void networkSendQueuesEnableRequest_data();
    void networkSendQueuesEnableRequest();
    void serialSendRaisesPortWriteAlone();
    void sendWithoutLinkQueuesNothing();
    void legacyChoiceShowsAtOnceAndSendsNothing();
    void descriptionEdit_data();
    void descriptionEdit();
    void lampFollowsStatus_data();
    void lampFollowsStatus();
};

void tst_PortControl::allPortsTicksOnlyTheDevicesPorts_data()
{
    QTest::addColumn<int>("ports");
    QTest::addColumn<bool>("all");
    QTest::addColumn<QList<bool>>("before");
    QTest::addColumn<QList<bool>>("after");

    const bool x = true, o = false;
    QTest::newRow("8 ports, tick all")
        << 8 << true << QList<bool>{o, x, o, o, o, o, o, o, o, x, o, o, o, o, o, o, o, o, o, o, o, o, o, x}
        << QList<bool>{x, x, x, x, x, x, x, x, o, x, o, o, o, o, o, o, o, o, o, o, o, o, o, x};
    QTest::newRow("8 ports, untick all")
        << 8 << false << QList<bool>{x, x, o, x, x, x, x, x, x, x, o, o, o, o, o, o, o, o, o, o, o, o, o, x}
        << QList<bool>{o, o, o, o, o, o, o, o, x, x, o, o, o, o, o, o, o, o, o, o, o, o, o, x};
    QTest::newRow("24 ports, tick all")
        << 24 << true << QList<bool>{o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o}
        << QList<bool>{x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x};
    QTest::newRow("no device, tick all")
        << 0 << true << QList<bool>{o, x, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o}
        << QList<bool>{o, x, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o};
}

void tst_PortControl::allPortsTicksOnlyTheDevicesPorts()
{
    QFETCH(int, ports);
    QFETCH(bool, all);
    QFETCH(QList<bool>, before);
    QFETCH(QList<bool>, after);

    Rig rig(LinkType::Network, ports);
    rig.tick(before);
    rig.controls.setChecked(AllPortsBox, all);
    rig.page.setAllPorts();

    QList<bool> boxes;
    for (int k = 1; k <= 24; ++k)
        boxes.append(rig.controls.isChecked(EnableBox + k));
    QCOMPARE(boxes, after);
    QCOMPARE(int(rig.network.pendingRequest), 0);
    QVERIFY(!rig.serial.queue.holds(SerialStep::PortWrite));
}

void tst_PortControl::networkSendQueuesEnableRequest_data()
{
    QTest::addColumn<QList<bool>>("boxes");
    QTest::addColumn<bool>("legacy");
    QTest::addColumn<int>("request");
    QTest::addColumn<Wanted>("wanted");
    QTest::addColumn<int>("legacyWanted");

    const bool x = true, o = false;
    QTest::newRow("all eight ticked: all ports on")
        << QList<bool>{x, x, x, x, x, x, x, x} << false << 61 << Wanted{2, 2, 2, 2, 2, 2, 2, 2} << 1;
    QTest::newRow("none ticked: all ports off")
        << QList<bool>{o, o, o, o, o, o, o, o} << true << 62 << Wanted{1, 1, 1, 1, 1, 1, 1, 1} << 2;
    QTest::newRow("mixture: port control")
        << QList<bool>{x, o, x, x, o, o, x, o} << false << 6 << Wanted{2, 1, 2, 2, 1, 1, 2, 1} << 1;
    QTest::newRow("seven of eight: port control")
        << QList<bool>{x, x, x, x, x, x, x, o} << true << 6 << Wanted{2, 2, 2, 2, 2, 2, 2, 1} << 2;
    QTest::newRow("ticks above the port count do not count")
        << QList<bool>{o, o, o, o, o, o, o, o, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x} << false << 62
        << Wanted{1, 1, 1, 1, 1, 1, 1, 1} << 1;
}

void tst_PortControl::networkSendQueuesEnableRequest()
{
    QFETCH(QList<bool>, boxes);
    QFETCH(bool, legacy);
    QFETCH(int, request);
    QFETCH(Wanted, wanted);
    QFETCH(int, legacyWanted);

    Rig rig(LinkType::Network, 8);
    rig.state.pollPort = 5;
    rig.tick(boxes);
    rig.controls.setChecked(LegacyBox, legacy);
    rig.page.sendPortControl();

    QCOMPARE(int(rig.network.pendingRequest), request);
    QCOMPARE(rig.wanted(8), wanted);
    QVERIFY(!rig.network.portEnableWanted[8]); // ports above the count keep their slots
    QCOMPARE(rig.network.legacyDetectWanted, legacyWanted);
    QCOMPARE(rig.state.pollPort, 1);
    QVERIFY(!rig.serial.queue.holds(SerialStep::PortWrite));
    QVERIFY(!rig.serial.write);
}

void tst_PortControl::serialSendRaisesPortWriteAlone()
{
    const bool x = true, o = false;
    Rig rig(LinkType::Serial, 8);
    rig.tick({x, o, x, x, o, o, x, o, x});
    for (const SerialStep read : {SerialStep::StatusRead, SerialStep::ClassRead, SerialStep::PortRead})
        rig.serial.queue.push({read, 5});
    rig.clock.start(TimerId::PollReply, 1000);
    rig.page.sendPortControl();

    QCOMPARE(rig.serialWanted(9), (Wanted{1, 0, 1, 1, 0, 0, 1, 0, 0}));
    QVERIFY(rig.onlyPortWriteRaised());
    QVERIFY(rig.serial.write);
    QVERIFY(!rig.clock.isActive(TimerId::PollReply));
    QCOMPARE(int(rig.network.pendingRequest), 0);
}

void tst_PortControl::sendWithoutLinkQueuesNothing()
{
    Rig rig(LinkType::None, 8);
    rig.tick({true, true, true, true, true, true, true, true});
    rig.page.sendPortControl();

    QCOMPARE(int(rig.network.pendingRequest), 0);
    QVERIFY(std::none_of(rig.network.portEnableWanted.begin(), rig.network.portEnableWanted.end(),
                         [](bool on) { return on; }));
    QVERIFY(!rig.serial.queue.holds(SerialStep::PortWrite));
    QVERIFY(!rig.serial.write);
}

void tst_PortControl::legacyChoiceShowsAtOnceAndSendsNothing()
{
    for (LinkType link : {LinkType::Network, LinkType::Serial, LinkType::None}) {
        Rig rig(link, 8);
        rig.controls.setVisible(LegacyNote, false);
        rig.controls.setChecked(LegacyBox, true);
        rig.page.chooseLegacyDetection();
        QCOMPARE(rig.state.legacyDetect, 1);
        QVERIFY(rig.controls.isVisible(LegacyNote));

        rig.controls.setChecked(LegacyBox, false);
        rig.page.chooseLegacyDetection();
        QCOMPARE(rig.state.legacyDetect, 0);
        QVERIFY(!rig.controls.isVisible(LegacyNote));
        QCOMPARE(int(rig.network.pendingRequest), 0);
        QVERIFY(!rig.serial.queue.holds(SerialStep::PortWrite));
    }
}

void tst_PortControl::descriptionEdit_data()
{
    QTest::addColumn<LinkType>("link");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("request");
    QTest::addColumn<bool>("portWrite");

    QTest::newRow("network, closed without saving") << LinkType::Network << "Lobby" << false << ""
                                                    << "Lobby" << 0 << false;
    QTest::newRow("network, same text saved") << LinkType::Network << "Lobby" << true << "Lobby"
                                              << "Lobby" << 0 << false;
    QTest::newRow("network, empty text saved") << LinkType::Network << "Lobby" << true << ""
                                               << "" << 5 << false;
    QTest::newRow("network, case changed") << LinkType::Network << "Lobby" << true << "lobby"
                                           << "lobby" << 5 << false;
    QTest::newRow("network, new text") << LinkType::Network << "" << true << "Camera 2"
                                       << "Camera 2" << 5 << false;
    QTest::newRow("serial, new text") << LinkType::Serial << "Lobby" << true << "Hall"
                                      << "Hall" << 0 << true;
    QTest::newRow("serial, closed without saving") << LinkType::Serial << "Lobby" << false << ""
                                                   << "Lobby" << 0 << false;
    QTest::newRow("no link, new text is only shown") << LinkType::None << "Lobby" << true << "Hall"
                                                     << "Hall" << 0 << false;
}

void tst_PortControl::descriptionEdit()
{
    QFETCH(LinkType, link);
    QFETCH(QString, before);
    QFETCH(bool, saved);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(int, request);
    QFETCH(bool, portWrite);

    Rig rig(link, 12);
    const bool x = true, o = false;
    rig.tick({x, x, o, x, o, o, o, o, o, o, o, x});
    rig.controls.setText(DescriptionEdit + 12, before);
    rig.network.newPortDescription = QStringLiteral("untouched");

    QCOMPARE(rig.page.beginDescriptionEdit(12), before);
    QCOMPARE(rig.page.editedPort(), 12);
    rig.page.endDescriptionEdit(saved, text);

    QCOMPARE(rig.controls.text(DescriptionEdit + 12), shown);
    QCOMPARE(int(rig.network.pendingRequest), request);
    QCOMPARE(rig.serial.queue.holds(SerialStep::PortWrite), portWrite);
    QCOMPARE(rig.serial.write.has_value(), portWrite);
    QCOMPARE(rig.network.newPortDescription, request == 5 ? text : QStringLiteral("untouched"));
    if (request == 5)
        QCOMPARE(rig.network.newDescriptionPort, 12);
    if (portWrite) {
        QVERIFY(rig.onlyPortWriteRaised());
        QCOMPARE(rig.serialWanted(12), (Wanted{1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}));
    }
}

void tst_PortControl::lampFollowsStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<Lamp>("lamp");

    QTest::newRow("8 connected") << 8 << Lamp::Connected;
    QTest::newRow("9 detecting") << 9 << Lamp::Detecting;
    QTest::newRow("1 detecting") << 1 << Lamp::Detecting;
    QTest::newRow("5 detecting") << 5 << Lamp::Detecting;
    QTest::newRow("10 error") << 10 << Lamp::DisabledOrError;
    QTest::newRow("0 disabled") << 0 << Lamp::DisabledOrError;
    QTest::newRow("6 error") << 6 << Lamp::DisabledOrError;
    QTest::newRow("7 error") << 7 << Lamp::DisabledOrError;
    QTest::newRow("255 error") << 255 << Lamp::DisabledOrError;
}

void tst_PortControl::lampFollowsStatus()
{
    QFETCH(int, status);
    QFETCH(Lamp, lamp);

    Rig rig(LinkType::Serial, 24);
    rig.state.pollPort = 17;
    rig.core.view().setPortLamp(rig.state.pollPort, status);
    QCOMPARE(rig.controls.lamp(LampBase + 17), lamp);
    QCOMPARE(rig.controls.lamp(LampBase + 16), Lamp::NoData);
    QCOMPARE(rig.controls.lamp(LampBase + 18), Lamp::NoData);
}

QTEST_GUILESS_MAIN(tst_PortControl)
#include "tst_portcontrol.moc"
