#include "links/snmp/SearchRange.h"

#include <QTest>

// The address range as Link.ini, the settings page and spanmon-cli give it: both sides of every
// limit the parser checks. A range reads "prefix first-last"; a refusal names the text at fault.
class tst_SearchRange : public QObject
{
    Q_OBJECT

    static QString shown(const ParsedRange& parsed)
    {
        if (parsed)
            return QStringLiteral("%1 %2-%3").arg(parsed->prefix).arg(parsed->first).arg(parsed->last);
        return parsed.fault == RangeFault::End ? QStringLiteral("end refused")
                                               : QStringLiteral("address refused");
    }

private slots:
    void fromSettings_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("range");

        QTest::newRow("end empty: one address") << "10.1.2.30"
                                                << ""
                                                << "10.1.2. 30-30";
        QTest::newRow("end 0: one address") << "10.1.2.30"
                                            << "0"
                                            << "10.1.2. 30-30";
        QTest::newRow("end 1") << "10.1.2.0"
                               << "1"
                               << "10.1.2. 0-1";
        QTest::newRow("end equal to the start") << "10.1.2.30"
                                                << "30"
                                                << "10.1.2. 30-30";
        QTest::newRow("end one above the start") << "10.1.2.30"
                                                 << "31"
                                                 << "10.1.2. 30-31";
        QTest::newRow("end one below the start") << "10.1.2.30"
                                                 << "29"
                                                 << "10.1.2. 29-30";
        QTest::newRow("end 255") << "10.1.2.30"
                                 << "255"
                                 << "10.1.2. 30-255";
        QTest::newRow("end 256") << "10.1.2.30"
                                 << "256"
                                 << "end refused";
        QTest::newRow("end of three digits") << "10.1.2.30"
                                             << "099"
                                             << "10.1.2. 30-99";
        QTest::newRow("end of four digits") << "10.1.2.30"
                                            << "0099"
                                            << "end refused";
        QTest::newRow("end with blanks around") << "10.1.2.30"
                                                << " 40 "
                                                << "10.1.2. 30-40";
        QTest::newRow("end with a sign") << "10.1.2.30"
                                         << "+40"
                                         << "end refused";
        QTest::newRow("end negative") << "10.1.2.30"
                                      << "-1"
                                      << "end refused";
        QTest::newRow("end a word") << "10.1.2.30"
                                    << "x"
                                    << "end refused";

        QTest::newRow("last number 255") << "10.1.2.255"
                                         << ""
                                         << "10.1.2. 255-255";
        QTest::newRow("last number 256") << "10.1.2.256"
                                         << ""
                                         << "address refused";
        QTest::newRow("first number 255") << "255.1.2.3"
                                          << ""
                                          << "255.1.2. 3-3";
        QTest::newRow("first number 256") << "256.1.2.3"
                                          << ""
                                          << "address refused";
        QTest::newRow("third number 256") << "10.1.256.3"
                                          << ""
                                          << "address refused";
        QTest::newRow("numbers of three digits") << "010.001.002.003"
                                                 << ""
                                                 << "010.001.002. 3-3";
        QTest::newRow("a number of four digits") << "10.1.0002.3"
                                                 << ""
                                                 << "address refused";
        QTest::newRow("three numbers") << "10.1.2"
                                       << "5"
                                       << "address refused";
        QTest::newRow("five numbers") << "10.1.2.3.4"
                                      << ""
                                      << "address refused";
        QTest::newRow("an empty number") << "10..2.3"
                                         << ""
                                         << "address refused";
        QTest::newRow("no address") << ""
                                    << "5"
                                    << "address refused";
        QTest::newRow("address with blanks around") << " 10.1.2.3 "
                                                    << ""
                                                    << "10.1.2. 3-3";
        QTest::newRow("blank inside the address") << "10.1. 2.3"
                                                  << ""
                                                  << "address refused";
        QTest::newRow("end and address both bad") << "10.1.2"
                                                  << "256"
                                                  << "end refused";
    }
    void fromSettings()
    {
        QFETCH(QString, ip);
        QFETCH(QString, end);
        QFETCH(QString, range);
        QCOMPARE(shown(SearchRange::fromSettings(ip, end)), range);
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("range");
        QTest::newRow("one address") << "10.1.2.3"
                                     << "10.1.2. 3-3";
        QTest::newRow("a range") << "10.1.2.3-254"
                                 << "10.1.2. 3-254";
        QTest::newRow("end below the start") << "10.1.2.30-3"
                                             << "10.1.2. 3-30";
        QTest::newRow("dash without end") << "10.1.2.3-"
                                          << "address refused";
        QTest::newRow("end 256") << "10.1.2.3-256"
                                 << "address refused";
        QTest::newRow("second dash") << "10.1.2.3-4-5"
                                     << "address refused";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, range);
        ParsedRange parsed;
        parsed.fault = RangeFault::Address; // how a refusal shows here
        if (const std::optional<SearchRange> taken = SearchRange::parse(text))
            parsed.emplace(*taken);
        QCOMPARE(shown(parsed), range);
    }
};

QTEST_GUILESS_MAIN(tst_SearchRange)
#include "tst_searchrange.moc"
