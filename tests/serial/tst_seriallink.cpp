// The polling session against a midspan played by hand on a pseudo-terminal: identification
// replies the simulator cannot give, and the order of frames around operator requests.
#include "FakeControls.h"
#include "FakeMidspanPort.h"
#include "RecordingFeedback.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "core/SpanmonCore.h"
#include "links/serial/SerialLink.h"

#include <QTest>

namespace
{

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// Status reply: firmware 2.3, hardware 1.2, the port count, description "Rack".
QByteArray systemStatus(int ports)
{
    return FakeMidspanPort::withChecksum(hex("04"
                                             "0000000000000000000000"
                                             "230A") +
                                         char(ports) + QByteArray("Rack\0\0\0\0\0\0", 10));
}

QByteArray portStatus()
{
    return FakeMidspanPort::withChecksum(hex("05000001000000640012000B00000800000000000000000000"));
}

QByteArray portClassification()
{
    return FakeMidspanPort::withChecksum(hex("0800000000000000000000000000"));
}

// One pass over two ports, and the first frame of the next, with the reply to each read.
const QList<QByteArray> Pass{hex("040004"),   hex("05000005"), hex("05010006"),
                             hex("08000008"), hex("08010009"), hex("040004")};
QByteArray replyTo(int read)
{
    return read == 0 ? systemStatus(2) : read <= 2 ? portStatus() : portClassification();
}

enum class Press { Reset, Flash, Defaults, Description, PortControl };

} // namespace

class tst_SerialLink : public QObject
{
    Q_OBJECT

private:
    struct Rig {
        Rig()
            : core(controls, clock, feedback, SpanmonCore::alone<SerialLink>()), state(core.state()),
              session(static_cast<SerialLink&>(core.link(0))), link(session.link())
        {
            // Replies come from this thread; a loaded machine must not turn them into misses.
            clock.setShortestRealTime(TimerId::IdentifyReply, 1000);
            clock.setShortestRealTime(TimerId::PollReply, 1000);
            link.comPortsFound = true;
            link.comPorts = {device.linkPath()};
        }
        // Waits for the next frame from Spanmon, of the length given by its expected bytes.
        QByteArray nextFrame(const QByteArray& expected)
        {
            device.waitForBytes(int(expected.size()));
            return device.take();
        }

        FakeMidspanPort device;
        FakeControls controls;
        Clock clock{0.05};
        RecordingFeedback feedback;
        SpanmonCore core;
        DeviceState& state;
        SerialLink& session;
        SerialState& link;
    };

    // Search and list.
    static void listDevice(Rig& rig)
    {
        rig.session.startSerialSearch();
        QCOMPARE(rig.nextFrame(hex("0E000E")), hex("0E000E"));
        rig.device.write(
            FakeMidspanPort::withChecksum(hex("0E00") + QByteArray("POE263U").leftJustified(23, '\0')));
        QTRY_COMPARE_WITH_TIMEOUT(rig.controls.itemCount(ctl::FoundDevices), 1, 3000);
    }
    // Search, list and connect; the status read for a two-port device is outstanding after it.
    static void connectTwoPorts(Rig& rig)
    {
        listDevice(rig);
        QVERIFY(!QTest::currentTestFailed());
        rig.session.connectSerialDevice();
        QCOMPARE(rig.nextFrame(hex("040004")), hex("040004"));
    }

private slots:
    // The session starts only while no other link runs one, as that link says.
    void connectWaitsForTheOtherLinksSessionToEnd()
    {
        Rig rig;
        bool otherRuns = true;
        rig.core.context().otherSessionRuns = [&otherRuns](const MidspanLink&) { return otherRuns; };
        listDevice(rig);
        QVERIFY(!QTest::currentTestFailed());
        rig.session.connectSerialDevice();
        QVERIFY(!rig.session.sessionRuns());
        otherRuns = false;
        rig.session.connectSerialDevice();
        QVERIFY(rig.session.sessionRuns());
        QCOMPARE(rig.nextFrame(hex("040004")), hex("040004"));
    }

    void identifyReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("listed");
        const QByteArray model23("ABCDEFGHIJKLMNOPQRSTUVW");
        QTest::newRow("Identify, status 0")
            << FakeMidspanPort::withChecksum(hex("0E00") + QByteArray("POE914U-8HP").leftJustified(23, '\0'))
            << "POE914U-8HP";
        QTest::newRow("Identify, model fills all 23 bytes")
            << FakeMidspanPort::withChecksum(hex("0E00") + model23) << QString::fromLatin1(model23);
        QTest::newRow("Identify, status 1")
            << FakeMidspanPort::withChecksum(hex("0E01") + model23) << QString();
        QTest::newRow("Identify, bad checksum") << hex("0E00") + model23 + hex("0000") << QString();
    }
    void identifyReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, listed);
        Rig rig;
        rig.session.startSerialSearch();
        QCOMPARE(rig.nextFrame(hex("0E000E")), hex("0E000E"));
        rig.device.write(reply);
        // Any reply ends the wait for one; a reply left unread would run into the fallback.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.clock.isActive(TimerId::IdentifyReply), 10000);
        if (listed.isEmpty()) {
            QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 0);
        } else {
            QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 1);
            QCOMPARE(rig.controls.itemText(ctl::FoundDevices, 0), rig.device.linkPath() + " *** " + listed);
        }
        QVERIFY(rig.feedback.shown.isEmpty());
        QCOMPARE(rig.device.take(), QByteArray()); // neither the fallback nor anything else
    }

    void legacyCodesWithoutModelKeepPreviousModel()
    {
        Rig rig;
        rig.state.modelName = QStringLiteral("POE263U");
        rig.session.startSerialSearch();
        QCOMPARE(rig.nextFrame(hex("0E000E")), hex("0E000E"));
        QCOMPARE(rig.nextFrame(hex("000000")), hex("000000"));
        rig.device.write(FakeMidspanPort::withChecksum(hex("0000777700")));
        QTRY_COMPARE_WITH_TIMEOUT(rig.controls.itemCount(ctl::FoundDevices), 1, 3000);
        QCOMPARE(rig.controls.itemText(ctl::FoundDevices, 0), rig.device.linkPath() + " *** POE263U");
    }

    // A write given up reloads the page from the device: the operator's unsent choices go.
    void unacknowledgedDescriptionResumesPolling()
    {
        Rig rig;
        connectTwoPorts(rig);
        QVERIFY(!QTest::currentTestFailed());
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("05000005")), hex("05000005"));
        rig.device.write(portStatus()); // port 1, without a description
        QCOMPARE(rig.nextFrame(hex("05010006")), hex("05010006"));
        rig.controls.setText(ctl::PortDescriptionBase + 1, QStringLiteral("unsent"));
        rig.state.systemDescription = QString();
        rig.session.sendSystemDescription(QString()); // while port 2's read is outstanding
        rig.device.write(portStatus());
        QCOMPARE(rig.nextFrame(QByteArray(20, 0)), hex("0203019001900190"
                                                       "20202020202020202020"
                                                       "02F8"));
        // No acknowledgement: the write is given up, nothing is counted, polling starts again,
        // and the operator is told once the device answers.
        QCOMPARE(rig.nextFrame(hex("040004")), hex("040004"));
        QCOMPARE(rig.link.failures, 0);
        QVERIFY(!rig.link.write);
        QCOMPARE(rig.controls.text(ctl::PortDescriptionBase + 1), QStringLiteral("unsent"));
        QVERIFY(rig.feedback.shown.isEmpty());
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("05000005")), hex("05000005"));
        QCOMPARE(rig.feedback.texts(), QStringList{"'System ID (Description)' Error !  The device did not "
                                                   "acknowledge the write; the page shows what it holds."});
        rig.device.write(portStatus());
        QCOMPARE(rig.nextFrame(hex("05010006")), hex("05010006"));
        QCOMPARE(rig.controls.text(ctl::PortDescriptionBase + 1), QString());
        QVERIFY(rig.session.sessionRuns());
    }

    void portStatusAfterPortWriteRaisedKeepsIndex()
    {
        Rig rig;
        connectTwoPorts(rig);
        QVERIFY(!QTest::currentTestFailed());
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("05000005")), hex("05000005"));
        // The port page queues "Send Port Control" while port 1 is being read.
        PortWishes wishes;
        wishes.enabled[0] = true;
        rig.session.sendPortControl(wishes);
        rig.device.write(portStatus());
        QCOMPARE(rig.nextFrame(QByteArray(19, 0)), hex("03003FC1000007"
                                                       "20202020202020202020"
                                                       "024A"));
        QCOMPARE(rig.controls.text(ctl::PowerBase + 1), QStringLiteral("100"));
        QCOMPARE(rig.controls.text(ctl::VoltageBase + 1), QStringLiteral("1.8"));
    }

    void operatorWriteGoesBeforeTheReads_data()
    {
        QTest::addColumn<Press>("press");
        QTest::addColumn<int>("answered");             // reads of the pass answered before the operator acts
        QTest::addColumn<QList<QByteArray>>("writes"); // the frames, or their first bytes
        const QByteArray reset = hex("0152455345540184");
        QTest::newRow("flash, status read out") << Press::Flash << 0 << QList{hex("0953005C")};
        QTest::newRow("flash, port 2 read out") << Press::Flash << 2 << QList{hex("0953005C")};
        QTest::newRow("defaults, class 1 read out") << Press::Defaults << 3 << QList{hex("0954005D")};
        QTest::newRow("reset, port 1 read out") << Press::Reset << 1 << QList{reset};
        QTest::newRow("description, class 2 read out") << Press::Description << 4 << QList{hex("0203")};
        QTest::newRow("port control, status read out")
            << Press::PortControl << 0 << QList{hex("0300"), hex("0301")};
        QTest::newRow("port control, port 1 read out")
            << Press::PortControl << 1 << QList{hex("0300"), hex("0301")};
        QTest::newRow("port control, class 2 read out")
            << Press::PortControl << 4 << QList{hex("0300"), hex("0301")};
    }
    // The read in flight is answered, the write goes out and is acknowledged, and the pass starts
    // again from the status read: nothing read meanwhile is sent twice or skipped.
    void operatorWriteGoesBeforeTheReads()
    {
        QFETCH(Press, press);
        QFETCH(int, answered);
        QFETCH(QList<QByteArray>, writes);
        Rig rig;
        connectTwoPorts(rig);
        QVERIFY(!QTest::currentTestFailed());
        for (int read = 0; read < answered; ++read) {
            rig.device.write(replyTo(read));
            QCOMPARE(rig.nextFrame(Pass[read + 1]), Pass[read + 1]);
        }
        switch (press) {
        case Press::Reset:
            rig.session.reset();
            break;
        case Press::Flash:
            rig.session.store(StoreTarget::Flash);
            break;
        case Press::Defaults:
            rig.session.store(StoreTarget::FactoryDefaults);
            break;
        case Press::Description:
            rig.session.sendSystemDescription(rig.state.systemDescription);
            break;
        case Press::PortControl:
            rig.session.sendPortControl({});
            break;
        }
        rig.device.write(replyTo(answered));
        for (const QByteArray& write : writes) {
            const int length = write.size() > 2 ? int(write.size()) : write[0] == 0x02 ? 20 : 19;
            QCOMPARE(rig.nextFrame(QByteArray(length, 0)).left(write.size()), write);
            rig.device.write(FakeMidspanPort::withChecksum(write.left(1) + hex("00")));
        }
        QCOMPARE(rig.nextFrame(Pass[0]), Pass[0]);
        for (int read = 1; read < int(Pass.size()); ++read) {
            rig.device.write(replyTo(read - 1));
            QCOMPARE(rig.nextFrame(Pass[read]), Pass[read]);
        }
        QVERIFY(!rig.link.write);
        QCOMPARE(rig.link.failures, 0);
        QVERIFY(rig.feedback.shown.isEmpty());
    }

    // A status reply come late, while port 1's read is in flight, is no answer to it: it is
    // counted as a miss and the pass starts again.
    void replyOfAnotherKindIsNoAnswer()
    {
        Rig rig;
        connectTwoPorts(rig);
        QVERIFY(!QTest::currentTestFailed());
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("05000005")), hex("05000005"));
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("040004")), hex("040004"));
        QCOMPARE(rig.link.failures, 1);
        QCOMPARE(rig.controls.text(ctl::PowerBase + 1), QString());
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("05000005")), hex("05000005"));
        rig.device.write(portStatus());
        QCOMPARE(rig.nextFrame(hex("05010006")), hex("05010006"));
        QCOMPARE(rig.link.failures, 0);
        QCOMPARE(rig.controls.text(ctl::PowerBase + 1), QStringLiteral("100"));
    }

    void sessionStateDoesNotOutliveLostSession()
    {
        Rig rig;
        connectTwoPorts(rig);
        QVERIFY(!QTest::currentTestFailed());
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("05000005")), hex("05000005"));
        // Three unanswered reads end the session.
        QTRY_COMPARE_WITH_TIMEOUT(rig.feedback.texts(),
                                  QStringList{"Connction Error! Please Check AC Power and Cable."}, 10000);
        QVERIFY(rig.link.queue.empty());
        QVERIFY(!rig.link.write);
        QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 0);
        QCOMPARE(rig.controls.text(ctl::FirmwareRevision), QStringLiteral("FW Rev"));
    }
};

QTEST_GUILESS_MAIN(tst_SerialLink)
#include "tst_seriallink.moc"
