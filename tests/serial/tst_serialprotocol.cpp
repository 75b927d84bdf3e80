// Frames of the midspan's serial command set, byte for byte, and the reply checksum test.
#include "links/serial/SerialProtocol.h"

#include <QTest>

#include <functional>

using Builder = std::function<SerialFrame()>;
Q_DECLARE_METATYPE(Builder)

class tst_SerialProtocol : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<Builder>("build");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<unsigned>("replyLength");
        QTest::addColumn<int>("port"); // the 0-based port a per-port request names
        using namespace serialproto;

        QTest::newRow("Identify") << Builder(buildIdentify) << QByteArray::fromHex("0E000E") << 27u << -1;
        QTest::newRow("LegacyIdentify")
            << Builder(buildLegacyIdentify) << QByteArray::fromHex("000000") << 7u << -1;
        QTest::newRow("Reset") << Builder(buildReset) << QByteArray::fromHex("0152455345540184") << 4u << -1;
        QTest::newRow("ReadSystemStatus")
            << Builder(buildReadSystemStatus) << QByteArray::fromHex("040004") << 27u << -1;
        QTest::newRow("ReadPortStatus port 3")
            << Builder([] { return buildReadPortStatus(2); }) << QByteArray::fromHex("05020007") << 27u << 2;
        QTest::newRow("ReadPortClassification port 24")
            << Builder([] { return buildReadPortClassification(23); }) << QByteArray::fromHex("0817001F")
            << 16u << 23;
        QTest::newRow("StoreSettings save to flash") << Builder([] { return buildStoreSettings(true); })
                                                     << QByteArray::fromHex("0953005C") << 4u << -1;
        QTest::newRow("StoreSettings factory defaults") << Builder([] { return buildStoreSettings(false); })
                                                        << QByteArray::fromHex("0954005D") << 4u << -1;
        QTest::newRow("EnterDownload")
            << Builder(buildEnterDownload) << QByteArray::fromHex("0C000C") << 4u << -1;
        QTest::newRow("WriteSystemSettings empty description")
            << Builder([] { return buildWriteSystemSettings(QString()); })
            << QByteArray::fromHex("0203019001900190"
                                   "20202020202020202020"
                                   "02F8")
            << 4u << -1;
        QTest::newRow("WriteSystemSettings description cut at ten")
            << Builder([] { return buildWriteSystemSettings(QStringLiteral("Main building rack")); })
            << QByteArray::fromHex("0203019001900190"
                                   "4D61696E206275696C64"
                                   "056D")
            << 4u << -1;
        QTest::newRow("WritePortSettings port 1 enabled")
            << Builder([] { return buildWritePortSettings(0, false, true, QString()); })
            << QByteArray::fromHex("03003FC1000007"
                                   "20202020202020202020"
                                   "024A")
            << 4u << 0;
        QTest::newRow("WritePortSettings port 6 legacy on, disabled")
            << Builder([] { return buildWritePortSettings(5, true, false, QString()); })
            << QByteArray::fromHex("03053FE0000007"
                                   "20202020202020202020"
                                   "026E")
            << 4u << 5;
        QTest::newRow("WritePortSettings port 2 legacy on, enabled, Cam")
            << Builder([] { return buildWritePortSettings(1, true, true, QStringLiteral("Cam")); })
            << QByteArray::fromHex("03013FE1000007"
                                   "43616D20202020202020"
                                   "031C")
            << 4u << 1;
        QTest::newRow("loader erase")
            << Builder([] { return buildLoaderCommand("E", 5); }) << QByteArray("E") << 5u << -1;
        QTest::newRow("loader restart, no reply read")
            << Builder([] { return buildLoaderCommand("RST", 0); }) << QByteArray("RST") << 0u << -1;
    }
    void frames()
    {
        QFETCH(Builder, build);
        QFETCH(QByteArray, frame);
        QFETCH(unsigned, replyLength);
        QFETCH(int, port);
        const SerialFrame built = build();
        QCOMPARE(built.bytes.toHex(' ').toUpper(), frame.toHex(' ').toUpper());
        QCOMPARE(built.replyLength, replyLength);
        QCOMPARE(built.request.command, std::uint8_t(frame.front()));
        QCOMPARE(built.request.portIndex, port);
        QVERIFY(!built.request.outcome);
    }

    void appendChecksumOverReset()
    {
        QByteArray frame = QByteArray::fromHex("015245534554");
        serialproto::appendChecksum(frame);
        QCOMPARE(frame.toHex().toUpper(), QByteArray("0152455345540184"));
    }

    void replyChecksum_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("good");
        QTest::newRow("port settings acknowledged") << QByteArray::fromHex("03000003") << true;
        QTest::newRow("acknowledge with wrong low byte") << QByteArray::fromHex("03000004") << false;
        QTest::newRow("classification, sum above 255")
            << QByteArray::fromHex("08000030D4000000000000007B000187") << true;
        QTest::newRow("classification, high byte wrong")
            << QByteArray::fromHex("08000030D4000000000000007B000087") << false;
    }
    void replyChecksum()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, good);
        SerialState link;
        std::copy(reply.begin(), reply.end(), link.rxFrame.begin());
        QCOMPARE(serialproto::replyChecksumOk(link, int(reply.size()) - 2), good);
    }
};

QTEST_GUILESS_MAIN(tst_SerialProtocol)
#include "tst_serialprotocol.moc"
