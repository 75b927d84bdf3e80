// The reader: whole replies of the expected length, surplus left queued, one reply per send in
// download mode, and no hand-over while a paced sequence runs.
#include "FakeMidspanPort.h"
#include "core/Clock.h"
#include "links/serial/SerialPortDriver.h"
#include "links/serial/SerialProtocol.h"
#include "links/serial/SerialState.h"

#include <QTest>

namespace
{

QByteArray bytes(int n, char first = 1)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(first + i));
    return b;
}

QByteArray received(const SerialState& link)
{
    return QByteArray(reinterpret_cast<const char*>(link.rxFrame.data()), int(link.expectedLength));
}

} // namespace

class tst_SerialPortDriver : public QObject
{
    Q_OBJECT

private:
    struct Rig {
        Rig() : driver(link, clock)
        {
            driver.replyReady = [this] { replies.append(received(link)); };
        }
        void await(unsigned length)
        {
            link.expectedLength = length;
            link.readerEnabled = true;
            driver.resumeReader();
        }
        SerialState link;
        Clock clock{0.05};
        SerialPortDriver driver;
        QList<QByteArray> replies;
    };

private slots:
    void replyTakenWhenComplete()
    {
        FakeMidspanPort device;
        QVERIFY(device.isOpen());
        Rig rig;
        QVERIFY(rig.driver.open(device.linkPath()));
        rig.await(27);
        device.write(bytes(26));
        QTest::qWait(100);
        QVERIFY(rig.replies.isEmpty());
        device.write(QByteArray(1, char(27)));
        QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 1, 3000);
        QCOMPARE(rig.replies[0], bytes(27));
    }

    void surplusStaysQueuedUntilPurged()
    {
        FakeMidspanPort device;
        Rig rig;
        QVERIFY(rig.driver.open(device.linkPath()));
        rig.await(27);
        device.write(bytes(30));
        QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 1, 3000);
        QCOMPARE(rig.replies[0], bytes(27));
        QTest::qWait(50);
        QCOMPARE(rig.replies.size(), 1); // paused after a reply until the next send

        rig.await(3);
        QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 2, 3000);
        QCOMPARE(rig.replies[1], bytes(3, 28));

        device.write(bytes(5));
        QTest::qWait(50);
        rig.driver.purgeReceive();
        rig.await(4);
        device.write(bytes(4, 40));
        QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 3, 3000);
        QCOMPARE(rig.replies[2], bytes(4, 40));
    }

    // Part of a reply that never came whole, whether the port has read it yet or the line still
    // holds it, is dropped by the purge before the next request.
    void purgeDropsAnUnfinishedReply()
    {
        FakeMidspanPort device;
        Rig rig;
        QVERIFY(rig.driver.open(device.linkPath()));
        rig.await(27);
        device.write(bytes(5, 50));
        QTest::qWait(100);
        QVERIFY(rig.replies.isEmpty());
        rig.driver.purgeReceive();
        rig.await(4);
        device.write(bytes(4));
        QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 1, 3000);
        QCOMPARE(rig.replies[0], bytes(4));
    }

    // A babbling line fills the port's buffer while no reply is awaited; after the purge the
    // reader hears the next reply.
    void purgeAfterFullBufferListensAgain()
    {
        FakeMidspanPort device;
        Rig rig;
        QVERIFY(rig.driver.open(device.linkPath()));
        for (int i = 0; i < 10; ++i) {
            device.write(QByteArray(1000, char(0x55)));
            QTest::qWait(20);
        }
        rig.driver.purgeReceive();
        rig.await(4);
        device.write(bytes(4));
        QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 1, 3000);
        QCOMPARE(rig.replies[0], bytes(4));
    }

    void readsClearOnlyTheBytesTheyFill()
    {
        FakeMidspanPort device;
        Rig rig;
        QVERIFY(rig.driver.open(device.linkPath()));
        rig.link.rxFrame.fill(0xAA);
        rig.await(4);
        device.write(bytes(4));
        QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 1, 3000);
        QCOMPARE(rig.link.rxFrame[4], std::uint8_t(0xAA));
    }

    void downloadModeReadsOneReplyPerSend()
    {
        FakeMidspanPort device;
        Rig rig;
        QVERIFY(rig.driver.open(device.linkPath()));
        rig.link.loaderDialogue = true;
        rig.await(5);
        device.write("TPE\r\nTOE\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 1, 3000);
        QCOMPARE(rig.replies[0], QByteArray("TPE\r\n"));
        QVERIFY(!rig.link.readerEnabled);
        rig.driver.resumeReader();
        QTest::qWait(100);
        QCOMPARE(rig.replies.size(), 1);
        rig.await(5);
        QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 2, 3000);
        QCOMPARE(rig.replies[1], QByteArray("TOE\r\n"));
    }

    void replyWaitsForPacedSequence()
    {
        FakeMidspanPort device;
        Rig rig;
        QVERIFY(rig.driver.open(device.linkPath()));
        qint64 handedAt = -1;
        rig.driver.replyReady = [&] { handedAt = rig.clock.now(); };
        rig.clock.pace({{2000, {}}}); // 100 ms real
        rig.await(4);
        device.write(bytes(4));
        QTRY_VERIFY_WITH_TIMEOUT(handedAt >= 0, 3000);
        QCOMPARE(handedAt, qint64(2000));
    }

    void sendWritesTheFrame()
    {
        FakeMidspanPort device;
        Rig rig;
        QVERIFY(rig.driver.open(device.linkPath()));
        const QByteArray frame = QByteArray::fromHex("05020007");
        rig.driver.send({frame, 0, {}});
        QVERIFY(device.waitForBytes(4));
        QCOMPARE(device.take(), frame);
    }

    // A status read is sent after a port read went unanswered; the port read's answer comes
    // during it and is dropped, or read and skipped as an earlier request's. The status read's
    // own answer is still owed when it times out too, so the next status read waits for it
    // instead of taking it for its own.
    void earlierAnswerLeavesThisOneOwed_data()
    {
        QTest::addColumn<bool>("portReadAbandoned");
        QTest::newRow("dropped as late") << true;
        QTest::newRow("read and skipped") << false;
    }
    void earlierAnswerLeavesThisOneOwed()
    {
        QFETCH(bool, portReadAbandoned);
        FakeMidspanPort device;
        Rig rig;
        QVERIFY(rig.driver.open(device.linkPath()));
        rig.link.readerEnabled = true;
        rig.driver.send(serialproto::buildReadPortStatus(2));
        if (portReadAbandoned)
            rig.driver.abandonReply();
        rig.driver.send(serialproto::buildReadSystemStatus());
        device.write(QByteArray(1, char(serialproto::ReadPortStatus)) + bytes(26));
        if (portReadAbandoned) {
            QTest::qWait(100);
            QVERIFY(rig.replies.isEmpty());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(rig.replies.size(), 1, 3000);
            rig.driver.skipStaleReply();
        }
        rig.driver.abandonReply();
        QVERIFY(rig.driver.owesReply(serialproto::ReadSystemStatus));
    }

    void openFailsOnMissingPort()
    {
        Rig rig;
        QVERIFY(!rig.driver.open(QStringLiteral("/nonexistent/ttyV9")));
        rig.driver.send({QByteArray::fromHex("040004"), 27, {}}); // nothing to write to: no crash
        QVERIFY(!rig.driver.isOpen());
    }
};

QTEST_GUILESS_MAIN(tst_SerialPortDriver)
#include "tst_serialportdriver.moc"
