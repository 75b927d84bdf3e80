#include "NetnsLab.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>
#include <sched.h>
#include <unistd.h>

namespace
{

constexpr int commandTimeoutMs = 10000;
constexpr int readyTimeoutMs = 10000;
constexpr const char* bridge = "efbr0";
// A bridge without an address of its own takes the lowest of its ports' and changes it as module hosts
// come and go, which leaves the modules' ARP entries for the window side stale.
constexpr const char* bridgeMac = "02:00:00:00:77:01";

} // namespace

NetnsLab::NetnsLab(QString prefix, QString simulatorPath)
    : prefix_(std::move(prefix)), simulatorPath_(std::move(simulatorPath))
{
}

NetnsLab::~NetnsLab()
{
    stopAll();
    if (!emptyNetns_.isEmpty())
        removeNamespace(emptyNetns_);
}

QString NetnsLab::unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("needs root for network namespaces and UDP port 36");
    if (QStandardPaths::findExecutable(QStringLiteral("ip"),
                                       {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                        QStringLiteral("/usr/bin"), QStringLiteral("/bin")})
            .isEmpty())
        return QStringLiteral("needs iproute2 (the ip command)");
    return {};
}

bool NetnsLab::ip(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ip"), arguments);
    if (!process.waitForFinished(commandTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        error_ =
            QStringLiteral("ip %1: %2").arg(arguments.join(u' '), QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

void NetnsLab::removeNamespace(const QString& name)
{
    QProcess process;
    process.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("delete"), name});
    process.waitForFinished(commandTimeoutMs);
}

void NetnsLab::removeLeftovers()
{
    // Namespaces of this prefix whose owner process has gone.
    const QStringList names =
        QDir(QStringLiteral("/run/netns")).entryList({prefix_ + QStringLiteral("-*")}, QDir::Files);
    for (const QString& name : names) {
        const QStringList parts = name.mid(prefix_.size() + 1).split(u'-');
        bool ok = false;
        const pid_t owner = static_cast<pid_t>(parts.value(0).toInt(&ok));
        if (!ok || owner == getpid() || ::kill(owner, 0) != 0)
            removeNamespace(name);
    }
}

bool NetnsLab::enterPrivateNetwork()
{
    removeLeftovers();
    if (unshare(CLONE_NEWNET) != 0) {
        error_ = QStringLiteral("unshare(CLONE_NEWNET) failed");
        return false;
    }
    const QString br = QString::fromLatin1(bridge);
    return ip({"link", "set", "lo", "up"}) &&
           ip({"link", "add", br, "address", bridgeMac, "type", "bridge"}) &&
           ip({"addr", "add", QStringLiteral("%1/16").arg(QLatin1String(bridgeAddress)), "dev", br}) &&
           ip({"link", "set", br, "up"}) && ip({"route", "add", "255.255.255.255/32", "dev", br});
}

int NetnsLab::startModules(const QString& hostAddress, const QStringList& simArguments)
{
    const int number = static_cast<int>(hosts_.size());
    // Names are never reused: a deleted namespace may linger in the kernel for a while.
    const int serial = nextSerial_++;
    Host host;
    host.netns = QStringLiteral("%1-%2-%3").arg(prefix_).arg(getpid()).arg(serial);
    host.veth = QStringLiteral("efv%1").arg(serial);
    const QString br = QString::fromLatin1(bridge);
    if (!ip({"netns", "add", host.netns}))
        return -1;
    hosts_.push_back(std::move(host));
    Host& h = hosts_.back();
    if (!ip({"link", "add", h.veth, "type", "veth", "peer", "name", "eth0", "netns", h.netns}) ||
        !ip({"link", "set", h.veth, "master", br}) || !ip({"link", "set", h.veth, "up"}) ||
        !ip({"-n", h.netns, "addr", "add", hostAddress + QStringLiteral("/16"), "dev", "eth0"}) ||
        !ip({"-n", h.netns, "link", "set", "eth0", "up"}) || !ip({"-n", h.netns, "link", "set", "lo", "up"}))
        return -1;

    h.process = std::make_unique<QProcess>();
    h.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    h.process->start(QStringLiteral("ip"),
                     QStringList{"netns", "exec", h.netns, simulatorPath_} + simArguments);
    const QDeadlineTimer deadline(readyTimeoutMs);
    while (!h.log.contains("ready\n")) {
        if (deadline.hasExpired() || h.process->state() == QProcess::NotRunning ||
            !h.process->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            error_ = QStringLiteral("module-sim in %1 did not get ready: %2")
                         .arg(h.netns, QString::fromLocal8Bit(h.log));
            return -1;
        }
        h.log += h.process->readAllStandardOutput();
    }
    return number;
}

bool NetnsLab::addEmptyInterface()
{
    const QString netns = QStringLiteral("%1-%2-empty").arg(prefix_).arg(getpid());
    if (!ip({"netns", "add", netns}))
        return false;
    emptyNetns_ = netns;
    return ip({"link", "add", emptyInterface, "type", "veth", "peer", "name", "eth0", "netns", netns}) &&
           ip({"addr", "add", "10.88.0.1/24", "dev", emptyInterface}) &&
           ip({"link", "set", emptyInterface, "up"}) &&
           ip({"-n", netns, "addr", "add", "10.88.0.2/24", "dev", "eth0"}) &&
           ip({"-n", netns, "link", "set", "eth0", "up"}) &&
           ip({"route", "del", "255.255.255.255/32", "dev", QString::fromLatin1(bridge)});
}

QByteArray NetnsLab::log(int host)
{
    Host& h = hosts_.at(static_cast<std::size_t>(host));
    if (h.process)
        h.log += h.process->readAllStandardOutput();
    return h.log;
}

void NetnsLab::stopModules(int host)
{
    Host& h = hosts_.at(static_cast<std::size_t>(host));
    if (h.process) {
        h.process->kill();
        h.process->waitForFinished(commandTimeoutMs);
        h.process.reset();
    }
    if (!h.netns.isEmpty()) {
        // Deleting one end of the pair takes the module host off the bridge at once.
        QProcess::execute(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("delete"), h.veth});
        removeNamespace(h.netns);
        h.netns.clear();
    }
}

void NetnsLab::stopAll()
{
    for (int i = 0; i < static_cast<int>(hosts_.size()); ++i)
        stopModules(i);
    hosts_.clear();
}
