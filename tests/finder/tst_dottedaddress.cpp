#include "finder/DottedAddress.h"

#include <QTest>

using finder::DottedAddress;
using finder::Ipv4;

class tst_DottedAddress : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void format();
};

void tst_DottedAddress::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("octets");

    const QByteArray none = QByteArray::fromHex("00000000");
    QTest::newRow("plain") << "192.168.1.10" << QByteArray::fromHex("c0a8010a");
    QTest::newRow("one-digit groups") << "1.2.3.4" << QByteArray::fromHex("01020304");
    QTest::newRow("leading zeros in three digits") << "010.001.000.009" << QByteArray::fromHex("0a010009");
    QTest::newRow("all 255") << "255.255.255.255" << QByteArray::fromHex("ffffffff");
    QTest::newRow("trailing blanks") << "10.0.0.1   " << QByteArray::fromHex("0a000001");
    QTest::newRow("trailing tab") << "10.0.0.1\t" << QByteArray::fromHex("0a000001");
    QTest::newRow("leading blank") << " 10.0.0.1" << none;
    QTest::newRow("fourth group of four digits") << "10.0.0.1234" << none;
    QTest::newRow("first group of four digits") << "0010.0.0.1" << none;
    QTest::newRow("group above 255") << "10.0.256.1" << none;
    QTest::newRow("three groups") << "10.0.1" << none;
    QTest::newRow("five groups") << "10.0.0.1.5" << none;
    QTest::newRow("empty group") << "10..0.1" << none;
    QTest::newRow("trailing dot") << "10.0.0.1." << none;
    QTest::newRow("letter after") << "10.0.0.1x" << none;
    QTest::newRow("blank inside") << "10.0. 0.1" << none;
    QTest::newRow("sign") << "+10.0.0.1" << none;
    QTest::newRow("empty") << "" << none;
}

void tst_DottedAddress::parse()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, octets);
    const Ipv4 a = DottedAddress::parse(text);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(a.data()), 4), octets);
}

void tst_DottedAddress::format()
{
    QCOMPARE(DottedAddress::format({10, 0, 200, 9}), QStringLiteral("10.0.200.9"));
}

QTEST_GUILESS_MAIN(tst_DottedAddress)
#include "tst_dottedaddress.moc"
