#include "links/snmp/MibRecord.h"

#include <QTest>

// The reader of the midspan's private MIB, fed the varbinds of a response as the agent sends them.
// A varbind is written "<object under 1.3.6.1.4.1.24852> <type> <value>", with snmpset's type
// letters (i INTEGER, s STRING, g Gauge32, C Counter64, a IpAddress, o OID, x Opaque in hex) and
// the exceptions noSuchObject, noSuchInstance and endOfMibView.
class tst_MibRecord : public QObject
{
    Q_OBJECT

    static void read(mib::UnitRecord& record, const QStringList& varbinds, int values)
    {
        QStringList objects;
        std::vector<SnmpValue> answer;
        for (const QString& varbind : varbinds) {
            const QString object = varbind.section(u' ', 0, 0);
            const QString type = varbind.section(u' ', 1, 1);
            const QString value = varbind.section(u' ', 2);
            objects << QStringLiteral("1.3.6.1.4.1.24852.") + object;
            using S = SnmpValue::Syntax;
            const std::map<QString, S> syntax{{"i", S::Integer},
                                              {"s", S::OctetString},
                                              {"g", S::Gauge32},
                                              {"C", S::Counter64},
                                              {"a", S::IpAddress},
                                              {"o", S::ObjectId},
                                              {"x", S::Opaque},
                                              {"noSuchObject", S::NoSuchObject},
                                              {"noSuchInstance", S::NoSuchInstance},
                                              {"endOfMibView", S::EndOfMibView}};
            SnmpValue v{syntax.at(type), value.toLongLong(), value.toLatin1()};
            if (type == "a") {
                v.octets.clear();
                for (const QString& part : value.split(u'.'))
                    v.octets.append(char(part.toInt()));
            } else if (type == "x") {
                v.octets = QByteArray::fromHex(value.toLatin1());
            }
            answer.push_back(v);
        }
        answer.resize(std::size_t(values < 0 ? answer.size() : values));
        mib::read(record, objects, answer);
    }

    // Every field the record holds, one line each.
    static QStringList fields(const mib::UnitRecord& r)
    {
        QStringList out;
        const auto text = [&](const char* name, const std::optional<QString>& v) {
            if (v)
                out << QStringLiteral("%1 '%2'").arg(name, *v);
        };
        const auto number = [&](const QString& name, const std::optional<int>& v) {
            if (v)
                out << QStringLiteral("%1 %2").arg(name).arg(*v);
        };
        const auto measure = [&](const QString& name, const std::optional<mib::Measure>& v) {
            if (v)
                out << QStringLiteral("%1 '%2' %3")
                           .arg(name, v->text, v->number ? QString::number(*v->number) : QStringLiteral("-"));
        };
        text("firmware", r.firmware);
        text("hardware", r.hardware);
        text("port count text", r.portCountText);
        number("port count", r.portCount);
        text("description", r.description);
        for (int p = 0; p <= MaxPorts; ++p) {
            const mib::PortRecord& port = r.ports[std::size_t(p)];
            const QString at = QStringLiteral("port %1 ").arg(p);
            number(at + "admin", port.admin);
            number(at + "status", port.status);
            measure(at + "power", port.power);
            measure(at + "voltage", port.voltage);
            measure(at + "current", port.current);
            measure(at + "resistance", port.resistance);
            if (port.description)
                out << at + QStringLiteral("description '%1'").arg(*port.description);
            number(at + "legacy", port.legacy);
        }
        return out;
    }

private slots:
    void varbindsMakeTheRecord_data()
    {
        QTest::addColumn<QStringList>("varbinds");
        QTest::addColumn<int>("values"); // values in the response; -1 all
        QTest::addColumn<QStringList>("record");

        QTest::newRow("unit objects as the simulator sends them")
            << QStringList{"2.2.10.0 s 2.3", "2.2.6.0 s  1.2 ", "2.2.7.0 i 24", "2.2.11.0 s  Rack A  "} << -1
            << QStringList{"firmware '2.3'", "hardware ' 1.2 '", "port count text '24'", "port count 24",
                           "description 'Rack A'"};
        QTest::newRow("seven objects of port 24")
            << QStringList{"2.3.1.2.24 i 2",        "2.3.1.7.24 i 8",   "2.3.1.11.24 i 4660",
                           "2.3.1.12.24 s 53.5",    "2.3.1.13.24 i 88", "2.3.1.14.24 i 25000",
                           "2.3.1.6.24 s Door 12 ", "2.3.1.18.24 i 1"}
            << -1
            << QStringList{"port 24 admin 2",
                           "port 24 status 8",
                           "port 24 power '4660' 4660",
                           "port 24 voltage '53.5' 53.5",
                           "port 24 current '88' 88",
                           "port 24 resistance '25000' 25000",
                           "port 24 description 'Door 12'",
                           "port 24 legacy 1"};
        QTest::newRow("no such object, no such instance, end of the view")
            << QStringList{"2.2.10.0 noSuchObject", "2.3.1.7.1 noSuchInstance", "2.3.1.6.1 noSuchInstance",
                           "2.3.1.11.1 endOfMibView"}
            << -1 << QStringList{};
        QTest::newRow("empty strings tell nothing")
            << QStringList{"2.2.6.0 s", "2.2.7.0 s", "2.3.1.2.3 s", "2.3.1.12.3 s"} << -1 << QStringList{};
        QTest::newRow("one-character and blank strings")
            << QStringList{"2.2.10.0 s 9", "2.2.11.0 s  ", "2.3.1.6.2 s D", "2.3.1.7.2 s 4"} << -1
            << QStringList{"firmware '9'", "description ''", "port 2 status 4", "port 2 description 'D'"};
        QTest::newRow("numbers from the start of a text")
            << QStringList{"2.3.1.7.5 s 3 detecting", "2.3.1.2.5 s on", "2.3.1.11.5 s 4660 mW",
                           "2.3.1.13.5 s  120 ", "2.2.7.0 s 8 ports"}
            << -1 << QStringList{"port count text '8 ports'",
                                 "port count 8",
                                 "port 5 admin 0",
                                 "port 5 status 3",
                                 "port 5 power '4660 mW' -",
                                 "port 5 current ' 120 ' 120"};
        QTest::newRow("other types: text as printed, a number only where one was sent")
            << QStringList{"2.3.1.11.4 a 10.0.0.1", "2.3.1.12.4 o 1.3", "2.3.1.13.4 x 12", "2.3.1.14.4 g 400",
                           "2.3.1.7.4 C 9"}
            << -1
            << QStringList{"port 4 status 9", "port 4 power '10.0.0.1' -", "port 4 voltage '1.3' -",
                           "port 4 current '12' -", "port 4 resistance '400' 400"};
        QTest::newRow("objects missing from the response")
            << QStringList{"2.3.1.2.1 i 1", "2.3.1.7.1 i 8", "2.3.1.11.1 i 300"} << 1
            << QStringList{"port 1 admin 1"};
        QTest::newRow("port counts the pages cannot hold")
            << QStringList{"2.2.7.0 i 25"} << -1 << QStringList{"port count text '25'"};
        QTest::newRow("objects no read asks for")
            << QStringList{"2.1.0 s POE528U", "2.3.1.7.25 i 8", "2.3.1.7.0 i 8",
                           "2.3.1.7 i 8",     "2.3.1.7.02 i 8", "2.3.1.7.1.1 i 8",
                           "2.3.1.99.1 i 8",  "2.2.7 i 8",      "2.2.4.0 i 2"}
            << -1 << QStringList{};
    }

    void varbindsMakeTheRecord()
    {
        QFETCH(QStringList, varbinds);
        QFETCH(int, values);
        QFETCH(QStringList, record);
        mib::UnitRecord read;
        tst_MibRecord::read(read, varbinds, values);
        QCOMPARE(fields(read), record);
    }

    // What spanmon-cli reports of port 1 after these varbinds: enabled, legacy, power, voltage,
    // current, status, description; "-" where the device gave no such value.
    void portAsReported_data()
    {
        QTest::addColumn<QStringList>("varbinds");
        QTest::addColumn<QString>("reported");

        QTest::newRow("as the simulator sends them")
            << QStringList{"2.3.1.2.1 i 2",   "2.3.1.7.1 i 8",  "2.3.1.11.1 i 4660",   "2.3.1.12.1 s 53.5",
                           "2.3.1.13.1 i 88", "2.3.1.18.1 i 1", "2.3.1.6.1 s  Door 1 "}
            << "on off 4660 53.5 88 8 'Door 1'";
        QTest::newRow("values neither on nor off, measures in texts")
            << QStringList{"2.3.1.2.1 i 0", "2.3.1.18.1 s 3", "2.3.1.11.1 s 4660.6", "2.3.1.13.1 s -2.5"}
            << "- - 4661 - -3 - ''";
        QTest::newRow("nothing of the port, numbers out of reach")
            << QStringList{"2.3.1.7.1 noSuchInstance", "2.3.1.11.1 C 3000000000", "2.3.1.12.1 s 5e999"}
            << "- - - - - - ''";
    }

    void portAsReported()
    {
        QFETCH(QStringList, varbinds);
        QFETCH(QString, reported);
        mib::UnitRecord record;
        read(record, varbinds, -1);
        const UnitReading unit = mib::unitReading(record, 1);
        QCOMPARE(unit.ports.size(), std::size_t(1));
        const PortReading& p = unit.ports.front();
        const auto shown = [](const auto& v) {
            if constexpr (std::is_same_v<std::decay_t<decltype(*v)>, bool>)
                return v ? QString::fromLatin1(*v ? "on" : "off") : QStringLiteral("-");
            else
                return v ? QString::number(*v) : QStringLiteral("-");
        };
        QCOMPARE(QStringList({shown(p.enabled), shown(p.legacy), shown(p.powerMw), shown(p.voltageV),
                              shown(p.currentMa), shown(p.status), "'" + p.description + "'"})
                     .join(u' '),
                 reported);
    }
};

QTEST_GUILESS_MAIN(tst_MibRecord)
#include "tst_mibrecord.moc"
