#include "links/snmp/MibRecord.h"

#include <QTest>

// The reader of the midspan's private MIB, fed the varbinds of a response as the agent sends them:
// "<object under 1.3.6.1.4.1.24852> <type> <value>" with snmpset's type letters (i INTEGER, s STRING,
// g Gauge32, C Counter64, a IpAddress and x Opaque in hex, o OID), an exception, or "-": no value.
class tst_MibRecord : public QObject
{
    Q_OBJECT

    static QString shown(const std::optional<int>& v) { return v ? QString::number(*v) : "-"; }
    static QString shown(const std::optional<QString>& v) { return v ? "'" + *v + "'" : "-"; }
    static QString shown(const std::optional<mib::Measure>& v)
    {
        return v ? "'" + v->text + "'=" + (v->number ? QString::number(*v->number) : "?") : "-";
    }

private slots:
    // Rows: the varbinds, then the record: firmware, hardware, port count as text and as number,
    // description, and each port read, with its admin state, status, power, voltage, current,
    // resistance, description and legacy detection.
    void varbindsMakeTheRecord_data()
    {
        QTest::addColumn<QString>("varbinds");
        QTest::addColumn<QString>("record");
        QTest::newRow("unit objects") << "2.2.10.0 s 2.3|2.2.6.0 s  1.2 |2.2.7.0 i 24|2.2.11.0 s  Rack A  "
                                      << "'2.3' ' 1.2 ' '24' 24 'Rack A'";
        QTest::newRow("objects of port 24")
            << "2.3.1.2.24 i 2|2.3.1.7.24 i 8|2.3.1.11.24 i 4660|2.3.1.12.24 s 53.5|2.3.1.13.24 i 88|"
               "2.3.1.14.24 i 25000|2.3.1.6.24 s Door 12 |2.3.1.18.24 i 1"
            << "- - - - - 24: 2 8 '4660'=4660 '53.5'=53.5 '88'=88 '25000'=25000 'Door 12' 1";
        QTest::newRow("no such object or instance, end of the view, empty strings")
            << "2.2.10.0 noSuchObject|2.3.1.7.1 noSuchInstance|2.3.1.11.1 endOfMibView|2.2.6.0 s|2.3.1.6.3 s"
            << "- - - - -";
        QTest::newRow("one-character and blank strings")
            << "2.2.10.0 s 9|2.2.11.0 s  |2.3.1.6.2 s D|2.3.1.7.2 s 4"
            << "'9' - - - '' 2: - 4 - - - - 'D' -";
        QTest::newRow("numbers from the start of a text")
            << "2.3.1.7.5 s 3 detecting|2.3.1.2.5 s on|2.3.1.11.5 s 4660 mW|2.3.1.13.5 s  120 |2.2.7.0 s 8 p"
            << "- - '8 p' 8 - 5: 0 3 '4660 mW'=? - ' 120 '=120 - - -";
        QTest::newRow("other types: printed, a number only where one was sent")
            << "2.3.1.11.4 a 0a000001|2.3.1.12.4 o 1.3|2.3.1.13.4 x 12|2.3.1.14.4 g 400|2.3.1.7.4 C 9"
            << "- - - - - 4: - 9 '10.0.0.1'=? '1.3'=? '12'=? '400'=400 - -";
        QTest::newRow("objects missing from the response") << "2.3.1.2.1 i 1|2.3.1.7.1 -"
                                                           << "- - - - - 1: 1 - - - - - - -";
        QTest::newRow("port counts the pages cannot hold") << "2.2.7.0 i 25|2.2.7.0 i 0"
                                                           << "- - '0' - -";
        QTest::newRow("objects no read asks for")
            << "2.1.0 s POE|2.3.1.7.25 i 8|2.3.1.7.0 i 8|2.3.1.7 i 8|2.3.1.7.02 i 8|2.3.1.7.1.1 i 8|"
               "2.3.1.99.1 i 8|2.2.7 i 8|2.2.4.0 i 2"
            << "- - - - -";
    }

    void varbindsMakeTheRecord()
    {
        QFETCH(QString, varbinds);
        using S = SnmpValue::Syntax;
        const std::map<QString, S> syntax{{"i", S::Integer},
                                          {"s", S::OctetString},
                                          {"g", S::Gauge32},
                                          {"C", S::Counter64},
                                          {"a", S::IpAddress},
                                          {"x", S::Opaque},
                                          {"o", S::ObjectId},
                                          {"noSuchObject", S::NoSuchObject},
                                          {"endOfMibView", S::EndOfMibView},
                                          {"noSuchInstance", S::NoSuchInstance}};
        QStringList objects;
        std::vector<SnmpValue> answer;
        for (const QString& varbind : varbinds.split(u'|')) {
            const QString type = varbind.section(u' ', 1, 1);
            const QByteArray value = varbind.section(u' ', 2).toLatin1();
            objects << "1.3.6.1.4.1.24852." + varbind.section(u' ', 0, 0);
            if (type != "-") // not in the response
                answer.push_back({syntax.at(type), value.toLongLong(),
                                  type == "a" || type == "x" ? QByteArray::fromHex(value) : value});
        }
        mib::UnitRecord r;
        mib::read(r, objects, answer);

        QStringList out{shown(r.firmware), shown(r.hardware), shown(r.portCountText), shown(r.portCount),
                        shown(r.description)};
        for (int p = 0; p <= MaxPorts; ++p) {
            const mib::PortRecord& q = r.ports[std::size_t(p)];
            const QString port =
                QStringList{shown(q.admin),   shown(q.status),     shown(q.power),       shown(q.voltage),
                            shown(q.current), shown(q.resistance), shown(q.description), shown(q.legacy)}
                    .join(u' ');
            if (port != "- - - - - - - -")
                out << QString::number(p) + ": " + port;
        }
        QTEST(out.join(u' '), "record");
    }
};

QTEST_GUILESS_MAIN(tst_MibRecord)
#include "tst_mibrecord.moc"
