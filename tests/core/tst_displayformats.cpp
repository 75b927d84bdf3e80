#include "core/DisplayFormats.h"

#include <QTest>

// Texts of device values and the identification tables, as the operator reads them.
class tst_DisplayFormats : public QObject
{
    Q_OBJECT

private slots:
    void hardwareRevision_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<QString>("hardware");
        QTest::newRow("0x23") << 0x23 << "4.3";
        QTest::newRow("0x10") << 0x10 << "2.0";
        QTest::newRow("0x00") << 0x00 << "0.0";
        QTest::newRow("0x2B") << 0x2B << "5.3";
        QTest::newRow("0x0A") << 0x0A << "1.2";
        QTest::newRow("0xFF") << 0xFF << "31.7";
    }
    void hardwareRevision()
    {
        QFETCH(int, byte);
        QFETCH(QString, hardware);
        QCOMPARE(fmt::hardwareRevision(quint8(byte)), hardware);
    }

    void firmwareRevision()
    {
        QCOMPARE(fmt::firmwareRevision(0x23), QStringLiteral("2.3"));
        QCOMPARE(fmt::firmwareRevision(0x10), QStringLiteral("1.0"));
        QCOMPARE(fmt::firmwareRevision(0x00), QStringLiteral("0.0"));
        // A minor nibble above 9 carries into the major figure, as the device's encoding implies.
        QCOMPARE(fmt::firmwareRevision(0x1A), QStringLiteral("2.0"));
    }

    void measuredValues()
    {
        QCOMPARE(fmt::milli(0), QStringLiteral("0"));
        QCOMPARE(fmt::milli(65535), QStringLiteral("65535"));
        QCOMPARE(fmt::decivolts(480), QStringLiteral("48.0"));
        QCOMPARE(fmt::decivolts(523), QStringLiteral("52.3"));
        QCOMPARE(fmt::detectionResistance(12500), QStringLiteral("25000"));
        QCOMPARE(fmt::detectionResistance(65535), QStringLiteral("131070"));
    }

    void classCurrent_data()
    {
        QTest::addColumn<int>("tenths");
        QTest::addColumn<QString>("text");
        QTest::newRow("123 has tenths") << 123 << "12.3";
        QTest::newRow("120 is whole") << 120 << "12";
        QTest::newRow("0") << 0 << "0";
        QTest::newRow("5") << 5 << "0.5";
        QTest::newRow("65535") << 65535 << "6553.5";
    }
    void classCurrent()
    {
        QFETCH(int, tenths);
        QFETCH(QString, text);
        QCOMPARE(fmt::classCurrent(quint16(tenths)), text);
    }

    void deviceText()
    {
        QCOMPARE(fmt::deviceText("  Lobby 2 \0xyz", 14), QStringLiteral("Lobby 2"));
        QCOMPARE(fmt::deviceText("ABCDEFGHIJ", 10), QStringLiteral("ABCDEFGHIJ"));
        QCOMPARE(fmt::deviceText("\0BCDEFGHIJ", 10), QString());
    }

    void modelTable_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("model");
        QTest::newRow("8,17") << 8 << 17 << "POE528U-480-8-N";
        QTest::newRow("22,17") << 22 << 17 << "POE528U-480-16-N";
        QTest::newRow("36,17") << 36 << 17 << "POE528U-480-24-N";
        QTest::newRow("8,16") << 8 << 16 << "POE263U";
        QTest::newRow("1,20") << 1 << 20 << "POE914U-8HP";
        QTest::newRow("1,21") << 1 << 21 << "POE914U-16HP";
        QTest::newRow("73,241 same as 36,17") << 73 << 241 << "POE528U-480-24-N";
        QTest::newRow("17,8 reversed is unknown") << 17 << 8 << QString();
        QTest::newRow("0,0 unknown") << 0 << 0 << QString();
    }
    void modelTable()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, model);
        QCOMPARE(modelForLegacyCode(quint8(a), quint8(b)).value_or(QString()), model);
    }

    void powerLimits_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("ports");
        QTest::addColumn<QStringList>("expected"); // ports 1..24, "" = left alone
        auto row = [](std::initializer_list<std::pair<int, const char*>> spans) {
            QStringList l;
            for (auto [count, text] : spans)
                for (int i = 0; i < count; ++i)
                    l << QString::fromLatin1(text);
            return l;
        };
        QTest::newRow("528 family, 24 ports") << "POE528U-480-24-N" << 24 << row({{24, "0: 15.4W"}});
        QTest::newRow("263 family, 8 ports") << "POE263U" << 8 << row({{8, "0: 15.4W"}, {16, ""}});
        QTest::newRow("447 family") << "POE447U-12" << 12 << row({{12, "0: 33.6W"}, {12, ""}});
        QTest::newRow("914-8HP, suffix at 9") << "POE914U-8HP" << 8 << row({{8, "0: 36W"}, {16, ""}});
        QTest::newRow("914-16HP, suffix at 10") << "POE914U-16HP" << 16 << row({{16, "0: 36W"}, {8, ""}});
        QTest::newRow("914-8AT") << "POE914U-8AT" << 8 << row({{8, "0: 33.6W"}, {16, ""}});
        QTest::newRow("914 AF, 24 ports") << "POE914U-24AF" << 24 << row({{8, "0: 33.6W"}, {16, "0: 15.4W"}});
        QTest::newRow("914 AF fills eight ports whatever the count")
            << "POE914U-4-AF" << 4 << row({{8, "0: 33.6W"}, {16, ""}});
        QTest::newRow("914 without rating") << "POE914U-8" << 8 << row({{24, ""}});
        QTest::newRow("model shorter than positions") << "POE9" << 8 << row({{24, ""}});
        QTest::newRow("empty model") << "" << 24 << row({{24, ""}});
        QTest::newRow("other family") << "MDX20A" << 24 << row({{24, ""}});
    }
    void powerLimits()
    {
        QFETCH(QString, model);
        QFETCH(int, ports);
        QFETCH(QStringList, expected);
        const PowerLimits limits = ::powerLimits(model, ports);
        QVERIFY(!limits[0]);
        for (int p = 1; p <= 24; ++p)
            QCOMPARE(limits[p].value_or(QString()), expected[p - 1]);
    }
};

QTEST_GUILESS_MAIN(tst_DisplayFormats)
#include "tst_displayformats.moc"
