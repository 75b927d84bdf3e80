#include "PrometheusPrograms.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>
#include <QUdpSocket>
#include <QUrlQuery>

namespace monitoring
{

QString exporterConfig()
{
    return QDir(MONITORING_DIR).filePath("snmp.yml");
}

QString newFormatConfig()
{
    return QDir(MONITORING_DIR).filePath("snmp-0.23-and-later.yml");
}

QString rulesFile()
{
    return QDir(MONITORING_DIR).filePath("spanmon-rules.yml");
}

QString budgetsFile()
{
    return QDir(MONITORING_DIR).filePath("spanmon-budgets.yml");
}

QString dashboardFile()
{
    return QDir(MONITORING_DIR).filePath("spanmon-dashboard.json");
}

quint16 freeTcpPort(const QString& address)
{
    QTcpServer server;
    return server.listen(QHostAddress(address), 0) ? server.serverPort() : 0;
}

quint16 freeUdpPort(const QString& address)
{
    QUdpSocket socket;
    return socket.bind(QHostAddress(address), 0) ? socket.localPort() : 0;
}

HttpReply httpGet(const QUrl& url, std::chrono::milliseconds timeout)
{
    return HttpRequest(url, timeout).reply();
}

HttpRequest::HttpRequest(const QUrl& url, std::chrono::milliseconds timeout)
    : manager_(std::make_unique<QNetworkAccessManager>())
{
    manager_->setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeout.count()));
    reply_ = manager_->get(request);
}

HttpRequest::~HttpRequest() = default;

HttpReply HttpRequest::reply()
{
    if (!reply_->isFinished()) {
        QEventLoop loop;
        QObject::connect(reply_, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    HttpReply result;
    result.status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply_->readAll();
    if (reply_->error() != QNetworkReply::NoError)
        result.error = reply_->errorString();
    return result;
}

namespace
{

// A label value up to its closing quote, with the format's escapes undone; at ends past the quote.
QString labelValue(const QByteArray& line, qsizetype& at)
{
    QByteArray value;
    for (; at < line.size() && line.at(at) != '"'; ++at) {
        if (line.at(at) == '\\' && at + 1 < line.size()) {
            ++at;
            value += line.at(at) == 'n' ? '\n' : line.at(at);
        } else {
            value += line.at(at);
        }
    }
    ++at;
    return QString::fromUtf8(value);
}

} // namespace

QList<Sample> parseExposition(const QByteArray& text)
{
    QList<Sample> samples;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        Sample sample;
        qsizetype at = 0;
        while (at < line.size() && line.at(at) != '{' && line.at(at) != ' ')
            ++at;
        sample.name = QString::fromUtf8(line.left(at));
        if (at < line.size() && line.at(at) == '{') {
            ++at;
            while (at < line.size() && line.at(at) != '}') {
                const qsizetype equals = line.indexOf('=', at);
                if (equals < 0)
                    break;
                const QString name = QString::fromUtf8(line.mid(at, equals - at));
                at = equals + 2; // past ="
                sample.labels.insert(name, labelValue(line, at));
                if (at < line.size() && line.at(at) == ',')
                    ++at;
            }
            ++at;
        }
        sample.value = line.mid(at).trimmed().toDouble();
        samples << sample;
    }
    return samples;
}

ServerProcess::~ServerProcess()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool ServerProcess::start(const QString& program, const QStringList& arguments, const QUrl& readyUrl)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        error_ = program + " is not installed (scripts/install-deps.sh installs it)";
        return false;
    }
    // Its log goes to the test's output.
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(path, arguments);
    if (!process_.waitForStarted(5000)) {
        error_ = program + ": " + process_.errorString();
        return false;
    }
    const QDeadlineTimer deadline(std::chrono::seconds(30));
    while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
        if (httpGet(readyUrl, std::chrono::seconds(2)).status == 200)
            return true;
        QThread::msleep(50);
    }
    error_ = program + " did not come up (its log is above)";
    return false;
}

bool startExporter(ServerProcess& exporter, const QString& address, quint16 port, const QString& config)
{
    const QString listen = address + ':' + QString::number(port);
    return exporter.start(exporterProgram,
                          {"--config.file=" + config, "--web.listen-address=" + listen, "--log.level=warn"},
                          QUrl("http://" + listen + "/"));
}

QUrl scrapeUrl(const QString& exporterAddress, quint16 exporterPort, const QString& module,
               const QString& target)
{
    QUrl url("http://" + exporterAddress + ':' + QString::number(exporterPort) + "/snmp");
    QUrlQuery query;
    query.addQueryItem("module", module);
    query.addQueryItem("target", target);
    url.setQuery(query);
    return url;
}

} // namespace monitoring
