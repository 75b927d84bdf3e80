// The polling session against a midspan played by hand on a pseudo-terminal: identification
// replies the simulator cannot give, and the order of frames around operator requests.
#include "FakeControls.h"
#include "FakeMidspanPort.h"
#include "RecordingFeedback.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "core/SpanmonCore.h"
#include "links/serial/SerialSession.h"

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

} // namespace

class tst_SerialSession : public QObject
{
    Q_OBJECT

private:
    struct Rig {
        Rig()
            : core(controls, clock, feedback,
                   [](AppContext& context) {
                       std::vector<std::unique_ptr<MidspanLink>> links;
                       links.push_back(std::make_unique<SerialSession>(context));
                       return links;
                   }),
              state(core.state()), session(static_cast<SerialSession&>(core.link(0))), link(session.link())
        {
            // Replies come from this thread; a loaded machine must not turn them into misses.
            clock.setShortestRealTime(TimerId::IdentifyReply, 1000);
            clock.setShortestRealTime(TimerId::PollReply, 1000);
            state.linkType = LinkType::Serial;
            controls.addItem(ctl::ComPortCombo, device.linkPath());
            controls.setCurrentIndex(ctl::ComPortCombo, 0);
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
        SerialSession& session;
        SerialLink& link;
    };

    // Search, list and connect; the status read for a two-port device is outstanding after it.
    static void connectTwoPorts(Rig& rig)
    {
        rig.session.startSerialSearch();
        QCOMPARE(rig.nextFrame(hex("0E000E")), hex("0E000E"));
        rig.device.write(
            FakeMidspanPort::withChecksum(hex("0E00") + QByteArray("POE263U").leftJustified(23, '\0')));
        QTRY_COMPARE_WITH_TIMEOUT(rig.controls.itemCount(ctl::FoundDevices), 1, 3000);
        rig.session.connectSerialDevice();
        QCOMPARE(rig.nextFrame(hex("040004")), hex("040004"));
    }

private slots:
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
        rig.session.sendSystemDescription(); // while port 2's read is outstanding
        rig.device.write(portStatus());
        QCOMPARE(rig.nextFrame(QByteArray(20, 0)), hex("0203019001900190"
                                                       "20202020202020202020"
                                                       "02F8"));
        // No acknowledgement: the write is given up, nothing is counted, polling starts again,
        // and the operator is told once the device answers.
        QCOMPARE(rig.nextFrame(hex("040004")), hex("040004"));
        QCOMPARE(rig.state.serialFailures, 0);
        QVERIFY(!rig.link.userCommandActive);
        QCOMPARE(rig.controls.text(ctl::PortDescriptionBase + 1), QStringLiteral("unsent"));
        QVERIFY(rig.feedback.shown.isEmpty());
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("05000005")), hex("05000005"));
        QCOMPARE(rig.feedback.texts(), QStringList{"'System ID (Description)' Error !  The device did not "
                                                   "acknowledge the write; the page shows what it holds."});
        rig.device.write(portStatus());
        QCOMPARE(rig.nextFrame(hex("05010006")), hex("05010006"));
        QCOMPARE(rig.controls.text(ctl::PortDescriptionBase + 1), QString());
        QVERIFY(rig.state.serialLinked);
    }

    void portStatusAfterPortWriteRaisedKeepsIndex()
    {
        Rig rig;
        connectTwoPorts(rig);
        QVERIFY(!QTest::currentTestFailed());
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("05000005")), hex("05000005"));
        // The port page queues "Send Port Control" while port 1 is being read.
        rig.clock.stop(TimerId::PollReply);
        rig.link.userCommandActive = true;
        rig.state.portEnableWanted = {1, 0};
        rig.link.raiseOnly(&SerialLink::pendingPortWrite);
        rig.link.serialPortIndex = 0;
        rig.device.write(portStatus());
        QCOMPARE(rig.nextFrame(QByteArray(19, 0)), hex("03003FC1000007"
                                                       "20202020202020202020"
                                                       "024A"));
        QCOMPARE(rig.controls.text(ctl::PowerBase + 1), QStringLiteral("100"));
        QCOMPARE(rig.controls.text(ctl::VoltageBase + 1), QStringLiteral("1.8"));
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
        QCOMPARE(rig.state.serialFailures, 1);
        QCOMPARE(rig.controls.text(ctl::PowerBase + 1), QString());
        rig.device.write(systemStatus(2));
        QCOMPARE(rig.nextFrame(hex("05000005")), hex("05000005"));
        rig.device.write(portStatus());
        QCOMPARE(rig.nextFrame(hex("05010006")), hex("05010006"));
        QCOMPARE(rig.state.serialFailures, 0);
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
        QVERIFY(!rig.link.anyRequest());
        QVERIFY(!rig.link.userCommandActive);
        QCOMPARE(rig.controls.itemCount(ctl::FoundDevices), 0);
        QCOMPARE(rig.controls.text(ctl::FirmwareRevision), QStringLiteral("FW Rev"));
    }
};

QTEST_GUILESS_MAIN(tst_SerialSession)
#include "tst_serialsession.moc"
