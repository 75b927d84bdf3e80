#include "finder/AddressChange.h"

#include <QTest>

using finder::AddressChange;
using finder::AddressEntry;
using Verdict = finder::AddressChange::Verdict;

namespace
{

// The module being changed: 192.168.1.20, 255.255.255.0, MAC 00-1E-C0-12-34-56.
finder::ModuleRecord module()
{
    return {{192, 168, 1, 20}, {255, 255, 255, 0}, {0x00, 0x1E, 0xC0, 0x12, 0x34, 0x56}, 0x0102};
}

QByteArray zeros(int n)
{
    return QByteArray(n, '\0');
}

} // namespace

class tst_AddressChange : public QObject
{
    Q_OBJECT

private slots:
    void refused_data();
    void refused();
    void datagrams_data();
    void datagrams();
};

void tst_AddressChange::refused_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<Verdict>("verdict");

    QTest::newRow("last octet 255") << "192.168.1.255"
                                    << "255.255.255.0" << Verdict::InvalidAddress;
    QTest::newRow("loopback") << "127.0.0.5"
                              << "255.255.255.0" << Verdict::InvalidAddress;
    QTest::newRow("multicast 230") << "230.1.1.1"
                                   << "255.255.255.0" << Verdict::InvalidAddress;
    QTest::newRow("first octet 224") << "224.0.0.1"
                                     << "255.255.255.0" << Verdict::InvalidAddress;
    QTest::newRow("zero address") << "0.0.0.0"
                                  << "255.255.255.0" << Verdict::InvalidAddress;
    QTest::newRow("four-digit group") << "192.168.1.1000"
                                      << "255.255.255.0" << Verdict::InvalidAddress;
    QTest::newRow("leading blank") << " 192.168.1.21"
                                   << "255.255.255.0" << Verdict::InvalidAddress;
    QTest::newRow("address checked before mask") << "127.0.0.1"
                                                 << "0.0.0.0" << Verdict::InvalidAddress;
    QTest::newRow("mask 0.255.255.0") << "192.168.1.21"
                                      << "0.255.255.0" << Verdict::InvalidMask;
    QTest::newRow("mask 254.0.0.0") << "192.168.1.21"
                                    << "254.0.0.0" << Verdict::InvalidMask;
    QTest::newRow("mask zero") << "192.168.1.21"
                               << "0.0.0.0" << Verdict::InvalidMask;
    QTest::newRow("mask with leading blank") << "192.168.1.21"
                                             << " 255.255.255.0" << Verdict::InvalidMask;
    QTest::newRow("mask 255.0.0.0 accepted") << "192.168.1.20"
                                             << "255.0.0.0" << Verdict::Send;
    QTest::newRow("highest unicast accepted") << "223.255.255.254"
                                              << "255.255.255.0" << Verdict::Send;
    QTest::newRow("unchanged") << "192.168.1.20"
                               << "255.255.255.0" << Verdict::NoChange;
    QTest::newRow("unchanged with trailing blanks") << "192.168.1.20  "
                                                    << "255.255.255.0 " << Verdict::NoChange;
}

void tst_AddressChange::refused()
{
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(Verdict, verdict);
    const auto plan = AddressChange::plan(module(), {ip, mask, QStringLiteral("pw"), {}});
    QCOMPARE(plan.verdict, verdict);
    if (verdict != Verdict::Send)
        QVERIFY(plan.datagrams.isEmpty());
}

void tst_AddressChange::datagrams_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QList<QByteArray>>("sent");

    // Authorisation: magic, 0x303F, MAC item (3, 6, MAC), password item (5, n, bytes), zeros to byte 103.
    QTest::newRow("address only, password pw")
        << "192.168.1.21"
        << "255.255.255.0"
        << "pw"
        << QList<QByteArray>{QByteArray::fromHex("4321 303f 03 06 001ec0123456 05 02 7077") + zeros(88),
                             QByteArray::fromHex("4321 303a c0a80115 00000000 001ec0123456 0000")};
    QTest::newRow("mask only, no password: set-mask carries the unchanged address")
        << "192.168.1.20"
        << "255.255.0.0"
        << "" << QList<QByteArray>{QByteArray::fromHex("4321 303b c0a80114 ffff0000 001ec0123456 0000")};
    QTest::newRow("both, 15-character password")
        << "10.1.2.3"
        << "255.0.0.0"
        << "ABCDEFGHIJKLMNO"
        << QList<QByteArray>{
               QByteArray::fromHex("4321 303f 03 06 001ec0123456 05 0f 4142434445464748494a4b4c4d4e4f") +
                   zeros(75),
               QByteArray::fromHex("4321 303a 0a010203 00000000 001ec0123456 0000"),
               QByteArray::fromHex("4321 303b 0a010203 ff000000 001ec0123456 0000")};
    QTest::newRow("password past 15 characters is cut")
        << "192.168.1.21"
        << "255.255.255.0"
        << "0123456789abcdefXYZ"
        << QList<QByteArray>{
               QByteArray::fromHex("4321 303f 03 06 001ec0123456 05 0f 303132333435363738396162636465") +
                   zeros(75),
               QByteArray::fromHex("4321 303a c0a80115 00000000 001ec0123456 0000")};
}

void tst_AddressChange::datagrams()
{
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, password);
    QFETCH(QList<QByteArray>, sent);
    const auto plan = AddressChange::plan(module(), {ip, mask, password, {}});
    QCOMPARE(plan.verdict, Verdict::Send);
    QCOMPARE(plan.datagrams, sent);
}

QTEST_GUILESS_MAIN(tst_AddressChange)
#include "tst_addresschange.moc"
