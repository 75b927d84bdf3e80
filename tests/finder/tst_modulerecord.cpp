#include "finder/ModuleRecord.h"

#include <QTest>

using finder::ModuleRecord;

class tst_ModuleRecord : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void notAReply_data();
    void notAReply();
};

void tst_ModuleRecord::line_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("line");

    QTest::newRow("identifier 0x0102 right-aligned as 258")
        << QByteArray::fromHex("4321 3039 c0a80164 ffffff00 001ec0a1b2c3 0102")
        << QStringLiteral("192.168.1.100   255.255.255.0   00-1E-C0-A1-B2-C3    258");
    QTest::newRow("magic not checked in replies")
        << QByteArray::fromHex("0000 3039 0a000009 ff000000 0a0b0c0d0e0f 0000")
        << QStringLiteral("10.0.0.9        255.0.0.0       0A-0B-0C-0D-0E-0F      0");
    QTest::newRow("largest identifier")
        << QByteArray::fromHex("4321 3039 ffffffff ffffffff ffffffffffff ffff")
        << QStringLiteral("255.255.255.255 255.255.255.255 FF-FF-FF-FF-FF-FF  65535");
}

void tst_ModuleRecord::line()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, line);
    const auto record = ModuleRecord::fromReply(reply);
    QVERIFY(record);
    QCOMPARE(record->line(), line);
}

void tst_ModuleRecord::notAReply_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("set-address command")
        << QByteArray::fromHex("4321 303a 0a000009 00000000 0a0b0c0d0e0f 0000");
    QTest::newRow("search request echoed, wrong byte order")
        << QByteArray::fromHex("4321 3930 0a000009 ff000000 0a0b0c0d0e0f 0000");
    QTest::newRow("19 bytes") << QByteArray::fromHex("4321 3039 0a000009 ff000000 0a0b0c0d0e0f 00");
    QTest::newRow("21 bytes") << QByteArray::fromHex("4321 3039 0a000009 ff000000 0a0b0c0d0e0f 0000 00");
    QTest::newRow("empty") << QByteArray();
}

void tst_ModuleRecord::notAReply()
{
    QFETCH(QByteArray, datagram);
    QVERIFY(!ModuleRecord::fromReply(datagram));
}

QTEST_GUILESS_MAIN(tst_ModuleRecord)
#include "tst_modulerecord.moc"
