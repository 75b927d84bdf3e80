#include "finder/DeviceTable.h"

#include <QTest>

using finder::DeviceTable;
using Outcome = finder::DeviceTable::Outcome;

namespace
{

QByteArray reply(int n)
{
    QByteArray r = QByteArray::fromHex("4321 3039 0a000000 ffff0000 001ec0000000 0102");
    r[6] = static_cast<char>(n >> 8);
    r[7] = static_cast<char>(n);
    r[16] = static_cast<char>(n >> 8);
    r[17] = static_cast<char>(n);
    return r;
}

} // namespace

class tst_DeviceTable : public QObject
{
    Q_OBJECT

private slots:
    void outcomes_data();
    void outcomes();
    void holds255();
    void indexOutsideTable();
};

void tst_DeviceTable::outcomes_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("count");

    QTest::newRow("search reply") << QByteArray::fromHex("4321 3039 0a000005 ffffff00 001ec0000005 0102")
                                  << Outcome::Listed << 1;
    QTest::newRow("20 bytes, set-address command")
        << QByteArray::fromHex("4321 303a 0a000005 00000000 001ec0000005 0000") << Outcome::Ignored << 0;
    QTest::newRow("20 bytes, search request")
        << QByteArray::fromHex("4321 3030 0000000000000000000000000000 0000") << Outcome::Ignored << 0;
    QTest::newRow("19 bytes") << QByteArray::fromHex("4321 3039 0a000005 ffffff00 001ec0000005 01")
                              << Outcome::EndOfPass << 0;
    QTest::newRow("21 bytes") << QByteArray::fromHex("4321 3039 0a000005 ffffff00 001ec0000005 0102 00")
                              << Outcome::EndOfPass << 0;
    QTest::newRow("authorisation, 104 bytes") << QByteArray(104, '\x30') << Outcome::EndOfPass << 0;
}

void tst_DeviceTable::outcomes()
{
    QFETCH(QByteArray, datagram);
    QFETCH(Outcome, outcome);
    QFETCH(int, count);
    DeviceTable table;
    QCOMPARE(table.offer(datagram), outcome);
    QCOMPARE(table.count(), count);
}

void tst_DeviceTable::holds255()
{
    DeviceTable table;
    for (int i = 0; i < 255; ++i)
        QCOMPARE(table.offer(reply(i)), Outcome::Listed);
    QVERIFY(table.full());
    QCOMPARE(table.offer(reply(255)), Outcome::Ignored);
    QCOMPARE(table.count(), 255);
    QCOMPARE(table.record(254)->ip, (finder::Ipv4{10, 0, 0, 254}));
    table.clear();
    QCOMPARE(table.count(), 0);
    QCOMPARE(table.offer(reply(7)), Outcome::Listed);
    QCOMPARE(table.record(0)->ip, (finder::Ipv4{10, 0, 0, 7}));
}

void tst_DeviceTable::indexOutsideTable()
{
    DeviceTable table;
    table.offer(reply(1));
    QVERIFY(table.record(0));
    QVERIFY(!table.record(1));
    QVERIFY(!table.record(-1));
    QVERIFY(!table.record(255));
}

QTEST_GUILESS_MAIN(tst_DeviceTable)
#include "tst_devicetable.moc"
