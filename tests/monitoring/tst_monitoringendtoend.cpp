// Many midspans through Debian's SNMP exporter and Prometheus: two simulated midspans (24 and 8
// ports) and a silent address on this program's loopback addresses, the exporter with
// monitoring/snmp.yml and with monitoring/snmp-0.23-and-later.yml turned back into the 0.21 format,
// and Prometheus with the rules, the example budgets and the dashboard's queries, all started here.
// What the midspans hold is read from their control sockets.
#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"
#include "PrometheusPrograms.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <array>
#include <map>
#include <memory>

using namespace std::chrono_literals;
using namespace monitoring;

namespace
{

const QString Big = loopbackAddress(60, 1);
const QString Small = loopbackAddress(60, 2);
const QString Silent = loopbackAddress(60, 3);
const QString Servers = loopbackAddress(60, 100);

// The placeholder credentials of monitoring/snmp.yml, which the midspans are given.
const QStringList Credentials{"--read-community", "public",           "--v3-user", "midspan-user",
                              "--v3-auth",        "auth-pass-phrase", "--v3-priv", "priv-pass-phrase"};

// The lamp of each status code: 8 connected; 1 to 5 and 9 detecting; 0, 6, 7 and above 9 disabled
// or error. Ports 1 to 13 of the big midspan report codes 0 to 12.
const std::array<const char*, 13> LampStates{
    "DisabledOrError", // 0
    "Detecting",       // 1
    "Detecting",       // 2
    "Detecting",       // 3
    "Detecting",       // 4
    "Detecting",       // 5
    "DisabledOrError", // 6
    "DisabledOrError", // 7
    "Connected",       // 8
    "Detecting",       // 9
    "DisabledOrError", // 10
    "DisabledOrError", // 11
    "DisabledOrError", // 12
};

// A port description in Latin-1, as the CLI and the window write it: not UTF-8.
const QByteArray Latin1Description("Caf\xe9 1");

QString number(double value)
{
    return QString::number(value, 'g', 12);
}

// How the exporter renders a description: hex of its bytes, nothing for none.
QString hexText(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QString() : "0x" + QString::fromLatin1(bytes.toHex().toUpper());
}

// What the test compares for one port: its description, then power (W), voltage (V), current
// (A), detection resistance (ohm), status code, lamp state, admin state and legacy detection.
QString portLine(int port, const QString& description, const QStringList& figures)
{
    return QString("port %1 \"%2\": %3 W, %4 V, %5 A, %6 ohm, status %7 %8, %9, legacy %10")
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
    void prometheusServesDashboard();
    // Last: its scrapes, sent with the start, wait out the exporter's time-outs meanwhile.
    void silentAddressFailsScrape_data();
    void silentAddressFailsScrape();

private:
    MidspanSimProcess& sim(const QString& address) { return address == Big ? big_ : small_; }
    QString target(const QString& address) const;
    // One line per port, as the midspan's control socket tells it.
    QStringList expectedPorts(MidspanSimProcess& midspan);
    // The same lines from a scrape; the lamp is the lamp series that read 1.
    QStringList scrapedPorts(const QList<Sample>& samples, int ports);
    // "instance port value" per series of a Prometheus query, sorted; the port only where the
    // series has one.
    QStringList query(quint16 prometheusPort, const QString& expression);
    // Waits until query() gives expected, up to a minute, and tells what it gave.
    QStringList awaitQuery(quint16 prometheusPort, const QString& expression, const QStringList& expected);

    MidspanSimProcess big_;
    MidspanSimProcess small_;
    QUdpSocket silent_;
    QMap<QString, quint16> snmpPorts_;
    QTemporaryDir dir_;
    ServerProcess exporter_;
    ServerProcess newFormatExporter_; // with the 0.23 file turned back into the 0.21 format
    quint16 exporterPort_ = 0;
    quint16 newFormatExporterPort_ = 0;
    std::map<QString, std::unique_ptr<HttpRequest>> silentScrapes_; // by module
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
    // Every status code up to 12, and descriptions with bytes that need care in the exposition.
    for (int p = 1; p <= 13; ++p) {
        QCOMPARE(big_.control(QString("set port %1 enabled 1").arg(p).toUtf8()), QByteArray("ok"));
        QCOMPARE(big_.control(QString("set port %1 status %2").arg(p).arg(p - 1).toUtf8()), QByteArray("ok"));
    }
    for (const char* command :
         {"set system firmware 0x47", "set system hardware 0x1B", "set system description Rack A",
          "set port 2 description Cam \"A\"", "set port 14 description Door\\1", "set port 24 power 29999",
          "set port 6 legacy 1", "set port 7 current 5"})
        QCOMPARE(big_.control(command), QByteArray("ok"));
    for (const char* command : {"set system description Rack B", "set port 1 description AP 1",
                                "set port 8 enabled 1", "set port 8 status 8", "set port 8 power 15400",
                                "set port 8 voltage 523", "set port 8 current 294", "set port 2 power 50"})
        QCOMPARE(small_.control(command), QByteArray("ok"));
    QCOMPARE(small_.control("set port 3 description " + Latin1Description), QByteArray("ok"));

    exporterPort_ = freeTcpPort(Servers);
    QVERIFY2(startExporter(exporter_, Servers, exporterPort_), qPrintable(exporter_.errorText()));

    QVERIFY(dir_.isValid());
    QProcess convert;
    convert.setStandardOutputFile(dir_.filePath("snmp-0.21.yml"));
    convert.start("/usr/bin/python3",
                  {QDir(TEST_SOURCE_DIR).filePath("exporter-formats.py"), "to-0.21", newFormatConfig()});
    QVERIFY(convert.waitForFinished(30000));
    QVERIFY2(convert.exitCode() == 0, convert.readAllStandardError().constData());
    newFormatExporterPort_ = freeTcpPort(Servers);
    QVERIFY2(
        startExporter(newFormatExporter_, Servers, newFormatExporterPort_, dir_.filePath("snmp-0.21.yml")),
        qPrintable(newFormatExporter_.errorText()));

    for (const QString module : {"spanmon_v2c", "spanmon_v3"})
        silentScrapes_[module] =
            std::make_unique<HttpRequest>(scrapeUrl(Servers, exporterPort_, module, target(Silent)), 30s);
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
        // Control units: mW, 0.1 V, mA and 2 ohm.
        lines << portLine(p, hexText(midspan.control(QString("get port %1 description").arg(p).toUtf8())),
                          {number(field("power") / 1000), number(field("voltage") / 10),
                           number(field("current") / 1000), number(field("resistance") * 2), number(status),
                           status < int(LampStates.size()) ? LampStates.at(status) : "DisabledOrError",
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
        for (const char* stateLabel : {"midspanPortAdminState", "midspanPortLegacyDetection"}) {
            if (sample.labels.contains(stateLabel))
                key += ' ' + sample.labels.value(stateLabel);
        }
        series.insert(key + ' ' + sample.labels.value("midspanPortIndex"), &sample);
    }
    QStringList lines;
    for (int p = 1; p <= ports; ++p) {
        const QString port = QString::number(p);
        const auto value = [&](const QString& name) {
            const Sample* sample = series.value(name + ' ' + port);
            return sample ? number(sample->value) : QStringLiteral("missing");
        };
        const auto isOne = [&](const QString& key) { return value(key) == "1"; };
        QStringList lamps;
        for (const char* lamp : {"Connected", "Detecting", "DisabledOrError"}) {
            if (isOne(QString("midspanPortStatus") + lamp))
                lamps << lamp;
        }
        const Sample* description = series.value("midspanPortDescription " + port);
        lines << portLine(p, description ? description->labels.value("midspanPortDescription") : "missing",
                          {value("midspanPortPowerWatts"), value("midspanPortVoltageVolts"),
                           value("midspanPortCurrentAmperes"), value("midspanPortResistanceOhms"),
                           value("midspanPortStatus"), lamps.join('+'),
                           isOne("midspanPortAdminState enabled") ? "enabled" : "disabled",
                           isOne("midspanPortLegacyDetection on") ? "on" : "off"});
    }
    return lines;
}

void tst_MonitoringEndToEnd::scrapeMatchesMidspan_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("newFormat");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QStringList>("unit"); // identity, firmware, hardware, ports, description

    const QStringList big{"POE528U-480-24-N", "4.7", "3.3", "24", hexText("Rack A")};
    const QStringList small{"POE914U-8HP", "2.3", "1.2", "8", hexText("Rack B")};
    QTest::newRow("24 ports, v2c") << Big << false << "spanmon_v2c" << big;
    QTest::newRow("24 ports, SNMPv3") << Big << false << "spanmon_v3" << big;
    QTest::newRow("8 ports, Latin-1 description, v2c") << Small << false << "spanmon_v2c" << small;
    QTest::newRow("8 ports, Latin-1 description, SNMPv3") << Small << false << "spanmon_v3" << small;
    QTest::newRow("0.23 file, 24 ports, SNMPv3") << Big << true << "spanmon_v3" << big;
    QTest::newRow("0.23 file, 8 ports, v2c") << Small << true << "spanmon_v2c" << small;
}

// A whole scrape (HTTP 200) in watts, volts, amperes and ohms: every port's figures, status, lamp
// and description, and the unit's identity, as the midspan holds them, a Latin-1 description
// included; the same from the 0.23 file.
void tst_MonitoringEndToEnd::scrapeMatchesMidspan()
{
    QFETCH(QString, address);
    QFETCH(bool, newFormat);
    QFETCH(QString, module);
    QFETCH(QStringList, unit);

    const quint16 port = newFormat ? newFormatExporterPort_ : exporterPort_;
    const HttpReply reply = httpGet(scrapeUrl(Servers, port, module, target(address)), 30s);
    QVERIFY2(reply.status == 200,
             qPrintable(QString::number(reply.status) + reply.error + '\n' + reply.body));
    const QList<Sample> samples = parseExposition(reply.body);

    const QStringList expected = expectedPorts(sim(address));
    QCOMPARE(scrapedPorts(samples, int(expected.size())), expected);
    // No series for ports the midspan does not have.
    const qsizetype powerSeries = std::count_if(
        samples.cbegin(), samples.cend(), [](const Sample& s) { return s.name == "midspanPortPowerWatts"; });
    QCOMPARE(powerSeries, expected.size());

    QMap<QString, QString> scalars;
    for (const Sample& sample : samples) {
        if (sample.name == "midspanPortCount")
            scalars.insert(sample.name, number(sample.value));
        else if (sample.labels.size() == 1 && sample.labels.contains(sample.name))
            scalars.insert(sample.name, sample.labels.value(sample.name));
    }
    QCOMPARE((QStringList{scalars.value("midspanIdentity"), scalars.value("midspanFirmwareRevision"),
                          scalars.value("midspanHardwareRevision"), scalars.value("midspanPortCount"),
                          scalars.value("midspanSystemDescription")}),
             unit);
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
    const HttpReply reply = silentScrapes_.at(module)->reply();
    QVERIFY2(reply.status == 500, qPrintable(QString::number(reply.status) + ' ' + reply.error));
    QVERIFY2(reply.body.contains("timeout"), reply.body.constData());
}

QStringList tst_MonitoringEndToEnd::query(quint16 prometheusPort, const QString& expression)
{
    QUrl url("http://" + Servers + ':' + QString::number(prometheusPort) + "/api/v1/query");
    // Encoded whole: a "+" left as it is would reach Prometheus as a blank.
    url.setQuery("query=" + QString::fromLatin1(QUrl::toPercentEncoding(expression)));
    const HttpReply reply = httpGet(url, 10s);
    QStringList series;
    const QJsonArray result = QJsonDocument::fromJson(reply.body)["data"]["result"].toArray();
    for (const QJsonValue& entry : result) {
        const QJsonObject metric = entry["metric"].toObject();
        QString line = metric["instance"].toString();
        if (metric.contains("midspanPortIndex"))
            line += " port " + metric["midspanPortIndex"].toString();
        // Sums in floating point: to 12 digits, as the figures from the midspans.
        series << line + ' ' + number(entry["value"][1].toString().toDouble());
    }
    series.sort();
    return series;
}

QStringList tst_MonitoringEndToEnd::awaitQuery(quint16 prometheusPort, const QString& expression,
                                               const QStringList& expected)
{
    // The first scrapes and rule evaluations come within a few intervals.
    QStringList series;
    const QDeadlineTimer deadline(60s);
    while ((series = query(prometheusPort, expression)) != expected && !deadline.hasExpired())
        QTest::qWait(200);
    return series;
}

// Prometheus scrapes the midspans of the example targets file through the exporter with the
// README's job, with the rules and example budgets: every query of the dashboard returns the
// series its panel shows, as the midspans hold them; a renamed port keeps its power series.
void tst_MonitoringEndToEnd::prometheusServesDashboard()
{
    // The example's midspans become the test's: two read with the community, one as the user.
    QFile example(QDir(QFileInfo(exporterConfig()).path()).filePath("spanmon-targets.yml"));
    QVERIFY(example.open(QIODevice::ReadOnly));
    QByteArray targets = example.readAll();
    targets.replace("192.168.1.20", target(Big).toUtf8())
        .replace("192.168.1.21", target(Silent).toUtf8())
        .replace("192.168.1.30", target(Small).toUtf8());
    QFile targetsFile(dir_.filePath("targets.yml"));
    QVERIFY(targetsFile.open(QIODevice::WriteOnly));
    targetsFile.write(targets);
    targetsFile.close();

    QFile config(dir_.filePath("prometheus.yml"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QString(R"(global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
rule_files:
- %1
- %2
scrape_configs:
- job_name: spanmon
  metrics_path: /snmp
  file_sd_configs:
  - files: ['%3']
  relabel_configs:
  - source_labels: [__address__]
    target_label: __param_target
  - source_labels: [__param_target]
    target_label: instance
  - target_label: __address__
    replacement: %4
)")
                     .arg(rulesFile(), budgetsFile(), targetsFile.fileName(),
                          Servers + ':' + QString::number(exporterPort_))
                     .toUtf8());
    config.close();

    const quint16 port = freeTcpPort(Servers);
    ServerProcess prometheus;
    QVERIFY2(prometheus.start(
                 prometheusProgram,
                 {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + dir_.filePath("data"),
                  "--web.listen-address=" + Servers + ':' + QString::number(port), "--log.level=warn"},
                 QUrl("http://" + Servers + ':' + QString::number(port) + "/-/ready")),
             qPrintable(prometheus.errorText()));

    // What each panel should show, from the midspans' control sockets.
    QStringList totals, budgets, power, lamps, inError;
    for (const QString& address : {Big, Small}) {
        double sum = 0;
        const int ports = sim(address).command("get system ports").toInt();
        for (int p = 1; p <= ports; ++p) {
            const auto field = [&](const char* name) {
                return sim(address).control(QString("get port %1 %2").arg(p).arg(name).toUtf8()).toInt();
            };
            const QString series = target(address) + " port " + QString::number(p) + ' ';
            const int status = field("status");
            const QString lamp = status < int(LampStates.size()) ? LampStates.at(status) : "DisabledOrError";
            sum += field("power");
            power << series + number(field("power") / 1000.0);
            lamps << series + (lamp == "Connected" ? "2" : lamp == "Detecting" ? "1" : "0");
            if (lamp == "DisabledOrError" && field("enabled") == 1)
                inError << series + QString::number(status);
        }
        totals << target(address) + ' ' + number(sum / 1000);
        // The example budgets by model: 480 W and 120 W.
        budgets << target(address) + (address == Big ? " 480" : " 120");
    }
    for (QStringList* list : {&totals, &budgets, &power, &lamps, &inError})
        list->sort();
    QVERIFY(!inError.isEmpty());

    // Panel title and query number: the series expected.
    QMap<QString, QStringList> expected{
        {"Total power per unit against its budget 0", totals},
        {"Total power per unit against its budget 1", budgets},
        {"Power per port 0", power},
        {"Lamps 0", lamps},
        {"Ports in error 0", inError},
        {"Units down 0", {target(Silent) + " 0"}},
    };
    QFile dashboardJson(dashboardFile());
    QVERIFY(dashboardJson.open(QIODevice::ReadOnly));
    const QJsonObject dashboard = QJsonDocument::fromJson(dashboardJson.readAll()).object();
    QStringList panelsSeen;
    for (const QJsonValue& panel : dashboard["panels"].toArray()) {
        const QJsonArray targetsOfPanel = panel["targets"].toArray();
        for (qsizetype i = 0; i < targetsOfPanel.size(); ++i) {
            const QString key = panel["title"].toString() + ' ' + QString::number(i);
            panelsSeen << key;
            // The unit selector set to all units.
            const QString expression = targetsOfPanel.at(i)["expr"].toString().replace("$instance", ".*");
            const QStringList series = awaitQuery(port, expression, expected.value(key));
            QVERIFY2(series == expected.value(key),
                     qPrintable(key + ": " + expression + "\ngave: " + series.join(", ") +
                                "\nexpected: " + expected.value(key).join(", ")));
        }
    }
    panelsSeen.sort();
    QCOMPARE(panelsSeen, expected.keys());

    // Renaming a port changes its description series alone: its power series goes on as one.
    const QString portOne = QString("{instance=\"%1\",midspanPortIndex=\"1\"}").arg(target(Small));
    QCOMPARE(small_.control("set port 1 description Renamed"), QByteArray("ok"));
    const QString renamed =
        QString("midspanPortDescription{instance=\"%1\",midspanPortIndex=\"1\",%2=\"%3\"}")
            .arg(target(Small), "midspanPortDescription", hexText("Renamed"));
    QCOMPARE(awaitQuery(port, renamed, {target(Small) + " port 1 1"}),
             QStringList{target(Small) + " port 1 1"});
    // The scrape that brought the new description brought the port's power with it.
    QCOMPARE(query(port, QString("count(count_over_time(midspanPortPowerWatts%1[1h]))").arg(portOne)),
             QStringList{" 1"});
    QCOMPARE(query(port, QString("count(count_over_time(midspanPortDescription%1[1h]))").arg(portOne)),
             QStringList{" 2"});
}

QTEST_GUILESS_MAIN(tst_MonitoringEndToEnd)
#include "tst_monitoringendtoend.moc"
