// Frames of the midspan's serial command set, byte for byte, and the reply checksum test.
#include "links/serial/SerialProtocol.h"

#include <QTest>

#include <functional>

using Builder = std::function<void(SerialLink&)>;
Q_DECLARE_METATYPE(Builder)

namespace
{
QByteArray sent(const SerialLink& link)
{
    return QByteArray(reinterpret_cast<const char*>(link.txFrame.data()), link.sendLength);
}
} // namespace

class tst_SerialProtocol : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<Builder>("build");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<unsigned>("replyLength");
        using namespace serialproto;

        QTest::newRow("Identify") << Builder(buildIdentify) << QByteArray::fromHex("0E000E") << 27u;
        QTest::newRow("LegacyIdentify")
            << Builder(buildLegacyIdentify) << QByteArray::fromHex("000000") << 7u;
        QTest::newRow("Reset") << Builder(buildReset) << QByteArray::fromHex("0152455345540184") << 4u;
        QTest::newRow("ReadSystemStatus")
            << Builder(buildReadSystemStatus) << QByteArray::fromHex("040004") << 27u;
        QTest::newRow("ReadPortStatus port 3") << Builder([](SerialLink& l) { buildReadPortStatus(l, 2); })
                                               << QByteArray::fromHex("05020007") << 27u;
        QTest::newRow("ReadPortClassification port 24")
            << Builder([](SerialLink& l) { buildReadPortClassification(l, 23); })
            << QByteArray::fromHex("0817001F") << 16u;
        QTest::newRow("StoreSettings save to flash")
            << Builder([](SerialLink& l) { buildStoreSettings(l, true); }) << QByteArray::fromHex("0953005C")
            << 4u;
        QTest::newRow("StoreSettings factory defaults")
            << Builder([](SerialLink& l) { buildStoreSettings(l, false); }) << QByteArray::fromHex("0954005D")
            << 4u;
        QTest::newRow("EnterDownload") << Builder(buildEnterDownload) << QByteArray::fromHex("0C000C") << 4u;
        QTest::newRow("WriteSystemSettings empty description")
            << Builder([](SerialLink& l) { buildWriteSystemSettings(l, QString()); })
            << QByteArray::fromHex("0203019001900190"
                                   "20202020202020202020"
                                   "02F8")
            << 4u;
        QTest::newRow("WriteSystemSettings description cut at ten")
            << Builder(
                   [](SerialLink& l) { buildWriteSystemSettings(l, QStringLiteral("Main building rack")); })
            << QByteArray::fromHex("0203019001900190"
                                   "4D61696E206275696C64"
                                   "056D")
            << 4u;
        QTest::newRow("WritePortSettings port 1 enabled")
            << Builder([](SerialLink& l) { buildWritePortSettings(l, 0, false, true, QString()); })
            << QByteArray::fromHex("03003FC1000007"
                                   "20202020202020202020"
                                   "024A")
            << 4u;
        QTest::newRow("WritePortSettings port 6 legacy on, disabled")
            << Builder([](SerialLink& l) { buildWritePortSettings(l, 5, true, false, QString()); })
            << QByteArray::fromHex("03053FE0000007"
                                   "20202020202020202020"
                                   "026E")
            << 4u;
        QTest::newRow("WritePortSettings port 2 legacy on, enabled, Cam")
            << Builder([](SerialLink& l) { buildWritePortSettings(l, 1, true, true, QStringLiteral("Cam")); })
            << QByteArray::fromHex("03013FE1000007"
                                   "43616D20202020202020"
                                   "031C")
            << 4u;
    }
    void frames()
    {
        QFETCH(Builder, build);
        QFETCH(QByteArray, frame);
        QFETCH(unsigned, replyLength);
        SerialLink link;
        build(link);
        QCOMPARE(sent(link).toHex(' ').toUpper(), frame.toHex(' ').toUpper());
        QCOMPARE(link.expectedLength, replyLength);
    }

    void appendChecksumOverReset()
    {
        SerialLink link;
        const QByteArray body = QByteArray::fromHex("015245534554");
        std::copy(body.begin(), body.end(), link.txFrame.begin());
        serialproto::appendChecksum(link, 6);
        QCOMPARE(link.txFrame[6], std::uint8_t(0x01));
        QCOMPARE(link.txFrame[7], std::uint8_t(0x84));
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
        SerialLink link;
        std::copy(reply.begin(), reply.end(), link.rxFrame.begin());
        QCOMPARE(serialproto::replyChecksumOk(link, int(reply.size()) - 2), good);
    }
};

QTEST_GUILESS_MAIN(tst_SerialProtocol)
#include "tst_serialprotocol.moc"
