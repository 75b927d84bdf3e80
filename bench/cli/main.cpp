// spanmon-cli as a whole process against midspan-sim:
// - find over 254 addresses of its own with two midspans and 252 silent agents (bound UDP sockets that never
//   answer), beside the window's search, which asks the addresses one after the other (0.8 s for a
//   silent address, 1.8 s with SNMPv3); target: under 2 s;
// - status of a 24-port midspan over SNMP and over the serial line, beside a floor measured in the
//   same run: the start of `spanmon-cli --version` plus the link's own cost, that is the line time of
//   the bytes exchanged, or what net-snmp alone needs for the objects read: starting the library
//   and the round trips, as snmpget does (measured in a process of its own, `--plain-status`, as
//   the library starts once per process). Target: at most 1.2 times the floor.
#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"
#include "links/snmp/PrivateMib.h"
#include "links/snmp/SnmpClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace
{

constexpr int Runs = 21;
constexpr int FindRuns = 3;
constexpr int Ports = 24;
const QString udpPort = "16851";
const QString agent = loopbackAddress(0, 61);
const QString secondAgent = loopbackAddress(0, 63);

// A status read on the serial line: ReadSystemStatus (3 + 27 bytes), ReadPortStatus per port (4 + 27).
constexpr int StatusBytes = 3 + 27 + Ports * (4 + 27);
constexpr double BitsPerByte = 10.0;
constexpr double Baud = 19200.0;

// The window's search: one address after the other, 200 ms and three retries each (with SNMPv3
// first the engine discovery of 1 s).
constexpr double WindowSilentSeconds = 0.8;
constexpr double WindowSilentSecondsV3 = 1.8;

double medianMs(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

double bestMs(const std::vector<double>& ms)
{
    return *std::min_element(ms.begin(), ms.end());
}

class Cli
{
public:
    explicit Cli(const QString& folder) : folder_(folder) {}

    // The process's time from start to end, in ms; -1 when it failed.
    double run(const QStringList& arguments) const
    {
        QProcess process;
        process.setWorkingDirectory(folder_);
        QElapsedTimer clock;
        clock.start();
        process.start(SPANMON_CLI_PATH, arguments);
        process.waitForFinished(60000);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (process.exitCode() != 0) {
            std::fprintf(stderr, "bench_cli: spanmon-cli %s failed: %s\n", qPrintable(arguments.join(' ')),
                         process.readAllStandardError().constData());
            return -1;
        }
        return ms;
    }

    double median(const QStringList& arguments, int runs) const
    {
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i)
            ms.push_back(run(arguments));
        return medianMs(ms);
    }

private:
    QString folder_;
};

// The requests spanmon-cli's status makes over SNMP, made with the library alone, from its start:
// one session, the unit's objects, then the objects of four ports at a time.
double plainSnmpStatusMs(const SnmpTarget& target)
{
    QElapsedTimer clock;
    clock.start();
    initSnmpLibrary();
    SnmpClient client(target);
    bool ok = client.get(QStringList{mib::Firmware, mib::Hardware, mib::PortCount, mib::SystemDescription})
                  .has_value();
    using mib::Column;
    for (int first = 1; first <= Ports; first += 4) {
        QStringList objects;
        for (int port = first; port < first + 4; ++port) {
            for (const Column column : {Column::Admin, Column::Status, Column::Power, Column::Voltage,
                                        Column::Current, Column::Description})
                objects << mib::portObject(column, port);
        }
        ok = ok && client.get(objects).has_value();
    }
    if (!ok) {
        std::fprintf(stderr, "bench_cli: the plain requests failed: %s\n", qPrintable(client.errorText()));
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

// Medians, and beside them the ratio of the best runs, which the load of a shared machine disturbs least.
void printRatio(const char* what, const std::vector<double>& cli, const std::vector<double>& start,
                const char* linkPart, const std::vector<double>& link)
{
    const double floor = medianMs(start) + medianMs(link);
    std::printf("bench_cli status over %-6s %7.1f ms, floor %7.1f ms (--version %.1f ms + %s %.1f ms), "
                "ratio %.2f (target <= 1.2; best runs %.2f)\n",
                what, medianMs(cli), floor, medianMs(start), linkPart, medianMs(link), medianMs(cli) / floor,
                bestMs(cli) / (bestMs(start) + bestMs(link)));
}

SnmpTarget statusTarget()
{
    SnmpTarget target;
    target.address = agent;
    target.port = udpPort.toUShort();
    target.readCommunity = "rd-comm";
    target.retries = 20;
    return target;
}

// The plain net-snmp status in a process of its own; the time goes to stdout.
double plainSnmpStatusProcessMs()
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(), {"--plain-status"});
    process.waitForFinished(60000);
    bool ok = false;
    const double ms = process.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok && process.exitCode() == 0 ? ms : -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (QCoreApplication::arguments().contains("--plain-status")) {
        std::printf("%.3f\n", plainSnmpStatusMs(statusTarget()));
        return 0;
    }
    QTemporaryDir folder;
    QFile ini(folder.filePath("Link.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[Community]\nRead=rd-comm\nSet=wr-comm\n[SNMPv3]\nUser=midspan\nAuthPassword=auth-pass\n"
              "PrivPassword=priv-pass\n");
    ini.close();

    const QStringList credentials{"--read-community", "rd-comm",   "--write-community", "wr-comm",
                                  "--v3-user",        "midspan",   "--v3-auth",         "auth-pass",
                                  "--v3-priv",        "priv-pass", "--steady"};
    MidspanSimProcess sim;
    MidspanSimProcess second;
    // The serial line at 19200 baud, as a midspan's.
    if (!sim.start(QStringList{"--snmp", "udp:" + agent + ':' + udpPort} + credentials) ||
        !second.start(QStringList{"--snmp", "udp:" + secondAgent + ':' + udpPort, "--ports", "8"} +
                          credentials,
                      false)) {
        std::fprintf(stderr, "bench_cli: midspan-sim did not start: %s%s\n", qPrintable(sim.errorText()),
                     qPrintable(second.errorText()));
        return 1;
    }
    std::vector<std::unique_ptr<QUdpSocket>> silent;
    for (int n = 1; n <= 254; ++n) {
        const QString address = loopbackAddress(0, n);
        if (address == agent || address == secondAgent)
            continue;
        auto socket = std::make_unique<QUdpSocket>();
        if (!socket->bind(QHostAddress(address), udpPort.toUShort())) {
            std::fprintf(stderr, "bench_cli: cannot bind %s:%s\n", qPrintable(address), qPrintable(udpPort));
            return 1;
        }
        silent.push_back(std::move(socket));
    }

    const Cli cli(folder.path());
    const QString range = loopbackAddress(0, 1) + "-254:" + udpPort;
    const int silentCount = int(silent.size());
    for (const bool v3 : {false, true}) {
        const double findMs = cli.median(
            QStringList{"find", "--range", range} + (v3 ? QStringList{"--v3"} : QStringList()), FindRuns);
        const double windowS = silentCount * (v3 ? WindowSilentSecondsV3 : WindowSilentSeconds);
        std::printf("bench_cli find %-6s 254 addresses, 2 midspans: %5.0f ms%s; the window's search: %.0f s "
                    "(%d silent x %.1f s)\n",
                    v3 ? "SNMPv3" : "v2c", findMs, v3 ? "" : " (target < 2000 ms)", windowS, silentCount,
                    v3 ? WindowSilentSecondsV3 : WindowSilentSeconds);
    }
    silent.clear();

    // Each round runs every measurement once, so that all of them see the same load of the machine.
    std::vector<double> start, plain, snmp, serial;
    for (int i = 0; i < Runs; ++i) {
        start.push_back(cli.run({"--version"}));
        plain.push_back(plainSnmpStatusProcessMs());
        snmp.push_back(cli.run({"status", "--snmp", agent + ':' + udpPort}));
        serial.push_back(cli.run({"status", "--serial", sim.serialLinkPath()}));
    }
    printRatio("SNMP", snmp, start, "net-snmp alone", plain);
    printRatio("serial", serial, start, "line time", {StatusBytes * BitsPerByte / Baud * 1000});
    const auto failed = [](const std::vector<double>& ms) {
        return std::any_of(ms.begin(), ms.end(), [](double m) { return m < 0; });
    };
    return failed(start) || failed(plain) || failed(snmp) || failed(serial) ? 1 : 0;
}
