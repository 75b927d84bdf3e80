// Many midspans through Debian's SNMP exporter and Prometheus: two simulated midspans (24 and 8
// ports) on this program's loopback addresses, the exporter with monitoring/snmp.yml, and
// Prometheus with monitoring/spanmon-rules.yml, all started here. What the midspans hold is read
// from their control sockets.
#include "MidspanSimProcess.h"
#include "PrometheusPrograms.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <QUrlQuery>

#include <algorithm>
#include <array>

using namespace std::chrono_literals;
using namespace monitoring;

namespace
{

const QString Big = QStringLiteral("127.0.60.1");
const QString Small = QStringLiteral("127.0.60.2");
const QString Silent = QStringLiteral("127.0.60.3");
const QString Servers = QStringLiteral("127.0.60.100");

// The placeholder credentials of monitoring/snmp.yml, which the midspans are given.
const QStringList Credentials{"--read-community", "public",           "--v3-user", "midspan-user",
                              "--v3-auth",        "auth-pass-phrase", "--v3-priv", "priv-pass-phrase"};

// The lamp of each status code: 8 connected; 1 to 5 and 9 detecting; 0, 6, 7 and above 9 disabled
// or error. Ports 1 to 13 of the big midspan report codes 0 to 12.
const std::array<const char*, 13> LampStates{
    "disabled_or_error", // 0
    "detecting",         // 1
    "detecting",         // 2
    "detecting",         // 3
    "detecting",         // 4
    "detecting",         // 5
    "disabled_or_error", // 6
    "disabled_or_error", // 7
    "connected",         // 8
    "detecting",         // 9
    "disabled_or_error", // 10
    "disabled_or_error", // 11
    "disabled_or_error", // 12
};

QString number(double value)
{
    return QString::number(value, 'g', 12);
}

// What the test compares for one port: its description, then power (mW), voltage (V), current
// (mA), detection resistance (ohm), status code, lamp state, admin state and legacy detection.
QString portLine(int port, const QString& description, const QStringList& figures)
{
    return QString("port %1 \"%2\": %3 mW, %4 V, %5 mA, %6 ohm, status %7 %8, %9, legacy %10")
        .arg(port)
        .arg(description)
        .arg(figures.value(0), figures.value(1), figures.value(2), figures.value(3), figures.value(4),
             figures.value(5), figures.value(6), figures.value(7));
}

} // namespace

class tst_MonitoringEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scrapeMatchesMidspan_data();
    void scrapeMatchesMidspan();
    void silentAddressFailsScrape_data();
    void silentAddressFailsScrape();
    void prometheusSumsPowerPerUnit();

private:
    MidspanSimProcess& sim(const QString& address) { return address == Big ? big_ : small_; }
    QString target(const QString& address) const;
    // One line per port, as the midspan's control socket tells it.
    QStringList expectedPorts(MidspanSimProcess& midspan);
    // The same lines from a scrape; the state is the state series that read 1.
    QStringList scrapedPorts(const QList<Sample>& samples, int ports);
    // Total power per unit ("127.0.60.1:port 67500") from a Prometheus query.
    QStringList queryTotals(quint16 prometheusPort, const QString& query);

    MidspanSimProcess big_;
    MidspanSimProcess small_;
    QUdpSocket silent_;
    QMap<QString, quint16> snmpPorts_;
    ServerProcess exporter_;
    quint16 exporterPort_ = 0;
};

void tst_MonitoringEndToEnd::initTestCase()
{
    for (const QString& program : {exporterProgram, prometheusProgram}) {
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            const QString reason = program + " is not installed (scripts/install-deps.sh installs Debian's)";
            if (qgetenv("CI") == "true")
                QFAIL(qPrintable(reason));
            QSKIP(qPrintable(reason));
        }
    }
    // A midspan that takes every request and answers none.
    QVERIFY(silent_.bind(QHostAddress(Silent), 0));
    snmpPorts_.insert(Silent, silent_.localPort());

    for (const QString& address : {Big, Small}) {
        snmpPorts_.insert(address, freeUdpPort(address));
        const QString ports = address == Big ? "24" : "8";
        const QString model = address == Big ? "POE528U-480-24-N" : "POE914U-8HP";
        QVERIFY2(sim(address).start(QStringList{"--snmp", "udp:" + target(address), "--ports", ports,
                                                "--model", model, "--steady"} +
                                        Credentials,
                                    false),
                 qPrintable(sim(address).errorText()));
    }
    // Every status code up to 12, and descriptions that need escaping in the exposition.
    for (int p = 1; p <= 13; ++p) {
        QCOMPARE(big_.control(QString("set port %1 enabled 1").arg(p).toUtf8()), QByteArray("ok"));
        QCOMPARE(big_.control(QString("set port %1 status %2").arg(p).arg(p - 1).toUtf8()), QByteArray("ok"));
    }
    for (const char* command :
         {"set system firmware 0x47", "set system hardware 0x1B", "set system description Rack A",
          "set port 2 description Cam \"A\"", "set port 14 description Door\\1", "set port 24 power 29999",
          "set port 6 legacy 1"})
        QCOMPARE(big_.control(command), QByteArray("ok"));
    for (const char* command : {"set system description Rack B", "set port 1 description AP 1",
                                "set port 8 enabled 1", "set port 8 status 8", "set port 8 power 15400",
                                "set port 8 voltage 523", "set port 8 current 294"})
        QCOMPARE(small_.control(command), QByteArray("ok"));

    exporterPort_ = freeTcpPort(Servers);
    QVERIFY2(startExporter(exporter_, Servers, exporterPort_), qPrintable(exporter_.errorText()));
}

QString tst_MonitoringEndToEnd::target(const QString& address) const
{
    return address + ':' + QString::number(snmpPorts_.value(address));
}

QStringList tst_MonitoringEndToEnd::expectedPorts(MidspanSimProcess& midspan)
{
    QStringList lines;
    const int ports = midspan.command("get system ports").toInt();
    for (int p = 1; p <= ports; ++p) {
        const auto field = [&](const char* name) {
            return midspan.control(QString("get port %1 %2").arg(p).arg(name).toUtf8()).toDouble();
        };
        const int status = int(field("status"));
        // Control units: 0.1 V and 2 ohm.
        lines << portLine(p, midspan.command(QString("get port %1 description").arg(p)),
                          {number(field("power")), number(field("voltage") / 10), number(field("current")),
                           number(field("resistance") * 2), number(status),
                           status < int(LampStates.size()) ? LampStates.at(status) : "disabled_or_error",
                           field("enabled") == 1 ? "enabled" : "disabled",
                           field("legacy") == 1 ? "on" : "off"});
    }
    return lines;
}

QStringList tst_MonitoringEndToEnd::scrapedPorts(const QList<Sample>& samples, int ports)
{
    QMap<QString, const Sample*> series; // "name [state] port"
    for (const Sample& sample : samples) {
        QString key = sample.name;
        for (const char* stateLabel : {"spanmon_port_admin_state", "spanmon_port_legacy_detection"}) {
            if (sample.labels.contains(stateLabel))
                key += ' ' + sample.labels.value(stateLabel);
        }
        series.insert(key + ' ' + sample.labels.value("port"), &sample);
    }
    QStringList lines;
    for (int p = 1; p <= ports; ++p) {
        const QString port = QString::number(p);
        const auto value = [&](const QString& name) {
            const Sample* sample = series.value(name + ' ' + port);
            return sample ? number(sample->value) : QStringLiteral("missing");
        };
        const auto isOne = [&](const QString& key) { return value(key) == "1"; };
        QStringList states;
        for (const char* state : {"connected", "detecting", "disabled_or_error"}) {
            if (isOne(QString("spanmon_port_status_") + state))
                states << state;
        }
        const Sample* power = series.value("spanmon_port_power_milliwatts " + port);
        lines << portLine(p, power ? power->labels.value("description") : "missing",
                          {value("spanmon_port_power_milliwatts"), value("spanmon_port_voltage_volts"),
                           value("spanmon_port_current_milliamperes"),
                           value("spanmon_port_detection_resistance_ohms"), value("spanmon_port_status"),
                           states.join('+'),
                           isOne("spanmon_port_admin_state enabled") ? "enabled" : "disabled",
                           isOne("spanmon_port_legacy_detection on") ? "on" : "off"});
    }
    return lines;
}

void tst_MonitoringEndToEnd::scrapeMatchesMidspan_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QStringList>("unit"); // the labels of spanmon_unit_info

    const QStringList big{"Rack A", "4.7", "3.3", "POE528U-480-24-N", "24"};
    const QStringList small{"Rack B", "2.3", "1.2", "POE914U-8HP", "8"};
    QTest::newRow("24 ports, v2c") << Big << "spanmon_v2c" << big;
    QTest::newRow("24 ports, SNMPv3") << Big << "spanmon_v3" << big;
    QTest::newRow("8 ports, v2c") << Small << "spanmon_v2c" << small;
    QTest::newRow("8 ports, SNMPv3") << Small << "spanmon_v3" << small;
}

// Every port's figures, status and lamp state, and the unit's identity, as the midspan holds them.
void tst_MonitoringEndToEnd::scrapeMatchesMidspan()
{
    QFETCH(QString, address);
    QFETCH(QString, module);
    QFETCH(QStringList, unit);

    const HttpReply reply = httpGet(scrapeUrl(Servers, exporterPort_, module, target(address)), 30s);
    QVERIFY2(reply.status == 200, qPrintable(reply.error + '\n' + reply.body));
    const QList<Sample> samples = parseExposition(reply.body);

    const QStringList expected = expectedPorts(sim(address));
    QCOMPARE(scrapedPorts(samples, int(expected.size())), expected);
    // No series for ports the midspan does not have.
    const qsizetype powerSeries = std::count_if(samples.cbegin(), samples.cend(), [](const Sample& s) {
        return s.name == "spanmon_port_power_milliwatts";
    });
    QCOMPARE(powerSeries, expected.size());

    QStringList info;
    for (const Sample& sample : samples) {
        if (sample.name == "spanmon_unit_info")
            info << QStringList{sample.labels.value("description"), sample.labels.value("firmware"),
                                sample.labels.value("hardware"),    sample.labels.value("model"),
                                sample.labels.value("ports"),       number(sample.value)}
                        .join('|');
    }
    QCOMPARE(info, QStringList{(unit + QStringList{"1"}).join('|')});
}

void tst_MonitoringEndToEnd::silentAddressFailsScrape_data()
{
    QTest::addColumn<QString>("module");
    QTest::newRow("v2c") << "spanmon_v2c";
    QTest::newRow("SNMPv3") << "spanmon_v3";
}

// The exporter gives up within the module's time-out and retries and says so: Prometheus counts
// the midspan as down.
void tst_MonitoringEndToEnd::silentAddressFailsScrape()
{
    QFETCH(QString, module);
    const HttpReply reply = httpGet(scrapeUrl(Servers, exporterPort_, module, target(Silent)), 30s);
    QVERIFY2(reply.status == 500, qPrintable(QString::number(reply.status) + ' ' + reply.error));
    QVERIFY2(reply.body.contains("timeout"), reply.body.constData());
}

QStringList tst_MonitoringEndToEnd::queryTotals(quint16 prometheusPort, const QString& query)
{
    QUrl url("http://" + Servers + ':' + QString::number(prometheusPort) + "/api/v1/query");
    QUrlQuery parameters;
    parameters.addQueryItem("query", query);
    url.setQuery(parameters);
    const HttpReply reply = httpGet(url, 10s);
    QStringList totals;
    const QJsonArray result = QJsonDocument::fromJson(reply.body)["data"]["result"].toArray();
    for (const QJsonValue& entry : result)
        totals << entry["metric"]["instance"].toString() + ' ' + entry["value"][1].toString();
    totals.sort();
    return totals;
}

// Prometheus scrapes both midspans through the exporter, one in v2c and one in SNMPv3, as the
// README's job does; total power per unit, by the README's query and by the recording rule, equals
// the sum of the ports' power in each midspan.
void tst_MonitoringEndToEnd::prometheusSumsPowerPerUnit()
{
    QStringList expected;
    for (const QString& address : {Big, Small}) {
        double sum = 0;
        const int ports = sim(address).command("get system ports").toInt();
        for (int p = 1; p <= ports; ++p)
            sum += sim(address).control(QString("get port %1 power").arg(p).toUtf8()).toDouble();
        expected << target(address) + ' ' + number(sum);
    }
    expected.sort();

    QTemporaryDir dir;
    QFile config(dir.filePath("prometheus.yml"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(
        QString(R"(global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
rule_files:
- %1
scrape_configs:
- job_name: spanmon
  metrics_path: /snmp
  static_configs:
  - targets: ['%2']
    labels:
      __param_module: spanmon_v2c
  - targets: ['%3']
    labels:
      __param_module: spanmon_v3
  relabel_configs:
  - source_labels: [__address__]
    target_label: __param_target
  - source_labels: [__param_target]
    target_label: instance
  - target_label: __address__
    replacement: %4
)")
            .arg(rulesFile(), target(Big), target(Small), Servers + ':' + QString::number(exporterPort_))
            .toUtf8());
    config.close();

    const quint16 port = freeTcpPort(Servers);
    ServerProcess prometheus;
    QVERIFY2(prometheus.start(
                 prometheusProgram,
                 {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + dir.filePath("data"),
                  "--web.listen-address=" + Servers + ':' + QString::number(port), "--log.level=warn"},
                 QUrl("http://" + Servers + ':' + QString::number(port) + "/-/ready")),
             qPrintable(prometheus.errorText()));

    for (const QString& query : {QStringLiteral("sum by (instance) (spanmon_port_power_milliwatts)"),
                                 QStringLiteral("instance:spanmon_port_power_milliwatts:sum")}) {
        // The first scrapes and rule evaluations come within a few intervals.
        QStringList totals;
        const QDeadlineTimer deadline(60s);
        while ((totals = queryTotals(port, query)) != expected && !deadline.hasExpired())
            QTest::qWait(200);
        QCOMPARE(totals, expected);
    }
}

QTEST_GUILESS_MAIN(tst_MonitoringEndToEnd)
#include "tst_monitoringendtoend.moc"
