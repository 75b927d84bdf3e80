#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// Debian's Prometheus and SNMP exporter run by tests and benchmarks on loopback addresses, with the
// files under monitoring/ (MONITORING_DIR).
namespace monitoring
{

inline const QString exporterProgram = QStringLiteral("prometheus-snmp-exporter");
inline const QString prometheusProgram = QStringLiteral("prometheus");

// The exporter's configuration with the midspan modules (0.21 format), the same in the format of
// 0.23 and later, and the other files under monitoring/.
QString exporterConfig();
QString newFormatConfig();
QString rulesFile();
QString budgetsFile();
QString dashboardFile();

// A port nobody listens on at that address now, found by binding port 0.
quint16 freeTcpPort(const QString& address);
quint16 freeUdpPort(const QString& address);

struct HttpReply {
    int status = 0; // 0: no HTTP answer at all
    QByteArray body;
    QString error;
};

// One GET, without any proxy; gives up after timeout.
HttpReply httpGet(const QUrl& url, std::chrono::milliseconds timeout);

// The same GET sent now and answered in the background, while the caller's event loops run: for
// slow answers awaited side by side.
class HttpRequest
{
public:
    HttpRequest(const QUrl& url, std::chrono::milliseconds timeout);
    ~HttpRequest();
    // Waits for the end of the request.
    HttpReply reply();

private:
    std::unique_ptr<QNetworkAccessManager> manager_;
    QNetworkReply* reply_;
};

// One series of an exposition in the text format.
struct Sample {
    QString name;
    QMap<QString, QString> labels;
    double value = 0;
};

QList<Sample> parseExposition(const QByteArray& text);

// A program serving HTTP, ended (SIGTERM, then SIGKILL) when this goes.
class ServerProcess
{
public:
    ~ServerProcess();

    // Starts it and waits until readyUrl answers 200; false with errorText() otherwise.
    bool start(const QString& program, const QStringList& arguments, const QUrl& readyUrl);
    QString errorText() const { return error_; }

private:
    QProcess process_;
    QString error_;
};

// The exporter with the given configuration, listening on address:port.
bool startExporter(ServerProcess& exporter, const QString& address, quint16 port,
                   const QString& config = exporterConfig());

// The exporter's URL for one scrape of a midspan.
QUrl scrapeUrl(const QString& exporterAddress, quint16 exporterPort, const QString& module,
               const QString& target);

} // namespace monitoring
