#include "cli/Commands.h"
#include "core/Clock.h"
#include "links/snmp/RangeSearch.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <map>

namespace
{

using Outcome = WriteResult::Outcome;

// A midspan that answers from a script: each write has the outcome set for it (done when none
// is), and every call is written down.
class FakeMidspan : public MidspanAccess
{
public:
    QString name() const override { return "10.0.0.5"; }
    QString errorText() const override { return "no answer (Timeout)"; }
    std::optional<QString> readModel() override
    {
        calls << "model";
        return model;
    }
    std::optional<int> readPortCount() override
    {
        calls << "count";
        return portCount;
    }
    std::optional<UnitReading> readStatus() override
    {
        calls << "status";
        return unit;
    }
    WriteResult setPortEnabled(int port, bool enabled) override
    {
        const QString call = QString("%1 %2").arg(port).arg(enabled ? "on" : "off");
        calls << call;
        return outcomes.count(call) ? outcomes[call] : WriteResult{};
    }
    WriteResult setPortDescription(int port, const QString& text) override
    {
        calls << QString("%1 \"%2\"").arg(port).arg(text);
        return {};
    }
    WriteResult setSystemDescription(const QString& text) override
    {
        calls << QString("system \"%1\"").arg(text);
        return {};
    }

    std::optional<int> portCount = 8;
    std::optional<QString> model = "POE528U-480-8-N";
    std::optional<UnitReading> unit;
    std::map<QString, WriteResult> outcomes;
    QStringList calls;
};

} // namespace

// spanmon-cli's commands on a scripted midspan: which writes they make in which order, what
// they print for people and for scripts, and their exit codes.
class tst_CliCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("spanmon-cli"); }

    void init()
    {
        out_.clear();
        err_.clear();
        outStream_.setString(&out_);
        errStream_.setString(&err_);
        midspan_ = FakeMidspan();
    }

    void switching_data()
    {
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("failing"); // "port action outcome"
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("complaint");
        const int on = int(Invocation::Action::On);
        const int off = int(Invocation::Action::Off);
        const int cycle = int(Invocation::Action::Cycle);
        QTest::newRow("ports in the order given") << QStringList{"5", "2"} << off << QStringList()
                                                  << QStringList{"count", "5 off", "2 off"} << 0 << QString();
        QTest::newRow("a refusal does not stop the other ports")
            << QStringList{"1", "2", "3"} << on << QStringList{"2 on refused"}
            << QStringList{"count", "1 on", "2 on", "3 on"} << 1
            << "10.0.0.5: port 2: the midspan refused the write: notWritable";
        QTest::newRow("a midspan that stops answering is asked no more")
            << QStringList{"1", "2", "3"} << off << QStringList{"2 off silent"}
            << QStringList{"count", "1 off", "2 off"} << 1 << "10.0.0.5: port 2: no answer (Timeout)";
        QTest::newRow("a write that does not hold")
            << QStringList{"4"} << off << QStringList{"4 off held"} << QStringList{"count", "4 off"} << 1
            << "10.0.0.5: port 4: the midspan took the write but reads on";
        QTest::newRow("cycle: all off, then all on")
            << QStringList{"2", "5"} << cycle << QStringList()
            << QStringList{"count", "2 off", "5 off", "2 on", "5 on"} << 0 << QString();
        QTest::newRow("cycle: no port stays off after a failure")
            << QStringList{"2", "5"} << cycle << QStringList{"2 off refused"}
            << QStringList{"count", "2 off", "5 off", "2 on", "5 on"} << 1 << "port 2: the midspan refused";
        QTest::newRow("cycle: on again after the midspan fell silent")
            << QStringList{"2", "5"} << cycle << QStringList{"5 off silent"}
            << QStringList{"count", "2 off", "5 off", "2 on", "5 on"} << 1 << "port 5: no answer";
        QTest::newRow("a port the midspan does not have")
            << QStringList{"3", "9"} << on << QStringList() << QStringList{"count"} << 2
            << "10.0.0.5: port 9: the midspan has 8 ports";
    }

    void switching()
    {
        QFETCH(QStringList, ports);
        QFETCH(int, action);
        QFETCH(QStringList, failing);
        QFETCH(QStringList, calls);
        QFETCH(int, exitCode);
        QFETCH(QString, complaint);
        const std::map<QString, WriteResult> outcomes{
            {"refused", {Outcome::Refused, "notWritable"}},
            {"silent", {Outcome::NoAnswer, "no answer (Timeout)"}},
            {"held", {Outcome::NotHeld, "on"}},
        };
        for (const QString& f : failing)
            midspan_.outcomes[f.section(' ', 0, 1)] = outcomes.at(f.section(' ', 2));
        std::vector<int> numbers;
        for (const QString& p : ports)
            numbers.push_back(p.toInt());

        // The pause of a cycle passes a thousand times faster.
        Clock clock(0.001);
        QCOMPARE(commands(clock).switchPorts(midspan_, numbers, Invocation::Action(action), 30), exitCode);
        QCOMPARE(midspan_.calls, calls);
        if (complaint.isEmpty())
            QCOMPARE(err_, QString());
        else
            QVERIFY2(err_.startsWith("spanmon-cli: ") && err_.contains(complaint), qPrintable(err_));
        if (action == int(Invocation::Action::Cycle))
            QCOMPARE(clock.now(), qint64(30000));
    }

    void writesForScripts()
    {
        midspan_.outcomes["3 off"] = {Outcome::AlreadySo, {}};
        midspan_.outcomes["4 off"] = {Outcome::Refused, "notWritable"};
        Clock clock;
        QCOMPARE(commands(clock, true).switchPorts(midspan_, {3, 4}, Invocation::Action::Off, 0), 1);
        const QJsonObject document = QJsonDocument::fromJson(out_.toUtf8()).object();
        QCOMPARE(document["midspan"].toString(), QString("10.0.0.5"));
        QCOMPARE(document["done"].toBool(true), false);
        const QJsonArray writes = document["writes"].toArray();
        QCOMPARE(writes.size(), 2);
        QCOMPARE(writes[0].toObject(), (QJsonObject{{"port", 3}, {"set", "off"}, {"result", "already"}}));
        QCOMPARE(writes[1].toObject(),
                 (QJsonObject{{"port", 4},
                              {"set", "off"},
                              {"result", "refused"},
                              {"detail", "the midspan refused the write: notWritable"}}));
    }

    void writesForPeople()
    {
        midspan_.outcomes["3 on"] = {Outcome::AlreadySo, {}};
        Clock clock;
        QCOMPARE(commands(clock).switchPorts(midspan_, {2, 3}, Invocation::Action::On, 0), 0);
        QCOMPARE(commands(clock).describePort(midspan_, 2, "Cam 2"), 0);
        QCOMPARE(commands(clock).describeSystem(midspan_, ""), 0);
        QCOMPARE(out_, QString("port 2: on\nport 3: already on\nport 2: description \"Cam 2\"\n"
                               "system: description \"\"\n"));
        QCOMPARE(midspan_.calls,
                 (QStringList{"count", "2 on", "3 on", "count", "2 \"Cam 2\"", "system \"\""}));
    }

    void statusForScripts()
    {
        UnitReading unit{"2.3", "1.2", 2, "Rack A", {}};
        unit.ports.push_back({1, 8, true, 4660, 52.3, 89, true, "Cam 1"});
        // What the device did not give as numbers stays empty, and counts nothing.
        unit.ports.push_back({2, 3, false, std::nullopt, std::nullopt, std::nullopt, std::nullopt, ""});
        midspan_.unit = unit;
        Clock clock;
        QCOMPARE(commands(clock, true).status(midspan_), 0);
        QJsonObject document = QJsonDocument::fromJson(out_.toUtf8()).object();
        const QDateTime time = QDateTime::fromString(document.take("time").toString(), Qt::ISODate);
        QVERIFY2(time.timeSpec() == Qt::UTC && qAbs(time.secsTo(QDateTime::currentDateTimeUtc())) < 60,
                 qPrintable(time.toString()));
        const QJsonObject expected{
            {"format_version", 1},
            {"midspan", "10.0.0.5"},
            {"model", "POE528U-480-8-N"},
            {"firmware", "2.3"},
            {"hardware", "1.2"},
            {"port_count", 2},
            {"description", "Rack A"},
            {"total_power_mW", 4660},
            {"ports", QJsonArray{QJsonObject{{"port", 1},
                                             {"status", 8},
                                             {"state", "connected"},
                                             {"status_text", "Port Connected"},
                                             {"enabled", true},
                                             {"legacy_detection", true},
                                             {"power_mW", 4660},
                                             {"voltage_V", 52.3},
                                             {"current_mA", 89},
                                             {"description", "Cam 1"}},
                                 QJsonObject{{"port", 2},
                                             {"status", 3},
                                             {"state", "detecting"},
                                             {"status_text", "Detecting"},
                                             {"enabled", false},
                                             {"legacy_detection", QJsonValue()},
                                             {"power_mW", QJsonValue()},
                                             {"voltage_V", QJsonValue()},
                                             {"current_mA", QJsonValue()},
                                             {"description", ""}}}},
        };
        QCOMPARE(document, expected);
        // Numbers are written as numbers.
        QVERIFY2(out_.contains("\"voltage_V\": 52.3"), qPrintable(out_));
        QVERIFY2(out_.contains("\"power_mW\": 4660"), qPrintable(out_));
    }

    void statusForPeople()
    {
        UnitReading unit{"2.3", "1.2", 2, "Rack A", {}};
        unit.ports.push_back({1, 8, true, 4660, 52.3, 89, true, "Cam 1"});
        unit.ports.push_back({2, 0, false, 0, 0.0, 0, false, ""});
        midspan_.unit = unit;
        Clock clock;
        QCOMPARE(commands(clock).status(midspan_), 0);
        QCOMPARE(
            out_,
            QString("Midspan      10.0.0.5\n"
                    "Firmware     2.3\n"
                    "Hardware     1.2\n"
                    "Ports        2\n"
                    "Description  Rack A\n"
                    "Total power  4660 mW\n"
                    "\n"
                    "Port  Status            Enabled  Power (mW)  Voltage (V)  Current (mA)  Description\n"
                    "   1  8 Port Connected  yes            4660         52.3            89  Cam 1\n"
                    "   2  0 Disable/Error   no                0          0.0             0  \n"));
    }

    void silentMidspan()
    {
        midspan_.unit.reset();
        midspan_.portCount.reset();
        Clock clock;
        QCOMPARE(commands(clock).status(midspan_), 1);
        QCOMPARE(commands(clock).describePort(midspan_, 1, "x"), 1);
        QCOMPARE(out_, QString());
        QCOMPARE(
            err_,
            QString(
                "spanmon-cli: 10.0.0.5: no answer (Timeout)\nspanmon-cli: 10.0.0.5: no answer (Timeout)\n"));
        QCOMPARE(midspan_.calls, (QStringList{"status", "count"}));
    }

    void findRecognisesAndOrdersAsTheWindow()
    {
        const std::vector<QString> addresses{"10.0.0.9",  "10.0.0.10", "10.0.0.11", "10.0.0.12",
                                             "10.0.0.13", "10.0.0.14", "10.0.0.15", "10.0.0.16"};
        const std::vector<std::optional<SnmpValue>> answers{
            SnmpValue::text("POE528U-480-24-N"),
            SnmpValue::text("poe263u rack 2"),
            SnmpValue::text("MDX20A-8"),
            SnmpValue::text("MDX20 8"),
            SnmpValue::text("PoE switch"),
            std::nullopt,
            SnmpValue{SnmpValue::Syntax::NoSuchObject, 0, {}},
            SnmpValue::text("Linux router"),
        };
        const auto found = rangeSearch::recognise(addresses, answers);
        QStringList entries;
        for (const FoundMidspan& m : found)
            entries << m.entry() + " | " + m.model;
        // The window's list is sorted by its text: "10.0.0.10" before "10.0.0.9".
        QCOMPARE(entries, (QStringList{"10.0.0.10 *** poe263u rack 2 | poe263u rack",
                                       "10.0.0.11 *** MDX20A-8 | MDX20A-8",
                                       "10.0.0.9 *** POE528U-480-24-N | POE528U-480-"}));

        Clock clock;
        QCOMPARE(commands(clock).listNetwork("10.0.0.9-16", found), 0);
        QCOMPARE(out_.split('\n', Qt::SkipEmptyParts).size(), 3);
        QCOMPARE(commands(clock).listNetwork("10.0.0.9-16", {}), 1);
        QCOMPARE(err_, QString("spanmon-cli: 10.0.0.9-16: no midspan answered\n"));
    }

    void searchRanges_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("endIp");
        QTest::addColumn<QString>("range"); // empty: refused
        QTest::newRow("range") << "192.168.1.20"
                               << "30"
                               << "192.168.1.20-30";
        QTest::newRow("end below the start is swapped") << "192.168.1.30"
                                                        << "10"
                                                        << "192.168.1.10-30";
        QTest::newRow("no end: one address") << "192.168.1.30"
                                             << ""
                                             << "192.168.1.30-30";
        QTest::newRow("end 0: one address") << "192.168.1.30"
                                            << "0"
                                            << "192.168.1.30-30";
        QTest::newRow("end equal to the start") << "192.168.1.30"
                                                << "30"
                                                << "192.168.1.30-30";
        QTest::newRow("blanks around") << " 10.0.0.1 "
                                       << " 254 "
                                       << "10.0.0.1-254";
        QTest::newRow("no address") << ""
                                    << "30"
                                    << "";
        QTest::newRow("three numbers") << "192.168.1"
                                       << "30"
                                       << "";
        QTest::newRow("number above 255") << "192.168.256.1"
                                          << "30"
                                          << "";
        QTest::newRow("end above 255") << "192.168.1.1"
                                       << "256"
                                       << "";
        QTest::newRow("end not a number") << "192.168.1.1"
                                          << "x"
                                          << "";
        QTest::newRow("signed number") << "192.168.1.+1"
                                       << ""
                                       << "";
    }

    void searchRanges()
    {
        QFETCH(QString, ip);
        QFETCH(QString, endIp);
        QFETCH(QString, range);
        const auto parsed = SearchRange::fromSettings(ip, endIp);
        QCOMPARE(parsed ? QString("%1%2-%3").arg(parsed->prefix).arg(parsed->first).arg(parsed->last)
                        : QString(),
                 range);
    }

private:
    Commands commands(Clock& clock, bool json = false)
    {
        return Commands(clock, outStream_, errStream_,
                        json ? Invocation::Format::Json : Invocation::Format::Table);
    }

    FakeMidspan midspan_;
    QString out_;
    QString err_;
    QTextStream outStream_;
    QTextStream errStream_;
};

QTEST_GUILESS_MAIN(tst_CliCommands)
#include "tst_clicommands.moc"
