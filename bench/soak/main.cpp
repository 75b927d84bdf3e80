// Spanmon polling a simulated 24-port midspan for a long time, with an operator request every
// minute (port control, save to flash, factory defaults, reset in turn): on the serial link at
// line rate, and in a second process of this program on the network link (SNMP v2c at
// an address of its own on port 161, which needs root). Each process prints its resident memory and open file
// descriptors at the start and at every report, and how they grew per hour after the first report.
//
//   bench_soak [--minutes 30] [--report-minutes 5] [--request-seconds 60] [--link serial|network]
#include "LoopbackBlock.h"
#include "RecordingFeedback.h"
#include "SimulatedMidspan.h"
#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/ControlIds.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace
{

constexpr int Ports = 24;
const QString NetworkAgent = loopbackAddress(31, 1);
const QString FirstNetworkObject = QStringLiteral("1.3.6.1.4.1.24852.2.2.10.0"); // firmware revision
const QString LostText = QStringLiteral("Connction Error! Please Check AC Power and Cable.");

struct Sample {
    double minutes;
    double residentMb;
    double descriptors;
    int passes;
};

double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

// Least-squares slope of y over x.
double slope(const QList<Sample>& samples, double Sample::*y)
{
    const double n = double(samples.size());
    if (n < 2)
        return 0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Sample& s : samples) {
        sx += s.minutes;
        sy += s.*y;
        sxx += s.minutes * s.minutes;
        sxy += s.minutes * (s.*y);
    }
    const double d = n * sxx - sx * sx;
    return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

} // namespace

int main(int argc, char* argv[])
{
    bench::prepareWindowBenchmark();
    QApplication app(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption minutesOption("minutes", "How long to poll.", "N", "30");
    const QCommandLineOption reportOption("report-minutes", "Minutes between two reports.", "N", "5");
    const QCommandLineOption requestOption("request-seconds", "Seconds between operator requests.", "N",
                                           "60");
    const QCommandLineOption linkOption("link", "Only this link: serial or network (default: both).", "L");
    parser.addOptions({minutesOption, reportOption, requestOption, linkOption});
    parser.addHelpOption();
    parser.process(app);
    const double minutes = parser.value(minutesOption).toDouble();
    const double reportMinutes = parser.value(reportOption).toDouble();
    const int requestMs = int(parser.value(requestOption).toDouble() * 1000);
    if (minutes <= 0 || reportMinutes <= 0 || requestMs <= 0) {
        std::fprintf(stderr, "bench_soak: the times must be positive numbers\n");
        return 2;
    }

    // Both links: the network one in a second process of this program, started with the same times.
    const QString only = parser.value(linkOption);
    QProcess networkSoak;
    networkSoak.setProcessChannelMode(QProcess::ForwardedChannels);
    if (only.isEmpty()) {
        if (geteuid() == 0)
            networkSoak.start(QCoreApplication::applicationFilePath(),
                              QCoreApplication::arguments().mid(1) + QStringList{"--link", "network"});
        else
            std::printf("soak: network link skipped, its agent needs UDP port 161 (root)\n");
    }
    const bool network = only == QLatin1String("network");

    // Link.ini and the SNMPv3 boot counter go to the working directory.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    MidspanSimProcess sim;
    const QStringList simOptions = network ? QStringList{"--snmp",
                                                         "udp:" + NetworkAgent + ":161",
                                                         "--read-community",
                                                         "public",
                                                         "--write-community",
                                                         "private"}
                                           : QStringList{};
    if (!sim.start(simOptions + QStringList{"--ports", QString::number(Ports), "--restart-seconds", "5"},
                   !network)) {
        std::fprintf(stderr, "bench_soak: midspan-sim did not start: %s\n", qPrintable(sim.errorText()));
        return 1;
    }
    Clock clock;
    RecordingFeedback feedback;
    Spanmon spanmon(clock, feedback);
    MainWindow& window = spanmon.window();
    WidgetControls& controls = window.controls();
    if (network) {
        QFile ini(QStringLiteral("Link.ini"));
        if (!ini.open(QIODevice::WriteOnly) || ini.write("[IPAdress]\nIP=" + NetworkAgent.toLatin1() +
                                                         "\nEndIP=\n[Community]\nRead=public\n"
                                                         "Set=private\n") <= 0)
            return 1;
        ini.close();
        controls.get<QPushButton>(ctl::SearchPoe)->click();
        if (!bench::waitUntil([&] { return controls.itemCount(ctl::FoundDevices) == 1; }, 30000)) {
            std::fprintf(stderr, "bench_soak: the agent was not found\n");
            return 1;
        }
    } else if (!searchSimulator(spanmon, sim)) {
        return 1;
    }
    bench::chooseEntry(controls.get<QListWidget>(ctl::FoundDevices), 0);

    // A pass starts each time the first request of a pass goes out.
    int passes = 0;
    bool inFirstRead = false;
    const SerialState& serial = spanmon.serialState();
    const NetworkState& networkState = spanmon.network().state();
    QTimer passProbe;
    QObject::connect(&passProbe, &QTimer::timeout, [&] {
        const bool firstRead =
            network ? networkState.requestOid == FirstNetworkObject : serial.request.command == 0x04;
        passes += firstRead && !inFirstRead ? 1 : 0;
        inFirstRead = firstRead;
    });
    passProbe.start(2);

    // The operator's requests in turn; one whose button is still locked waits for the next turn.
    const std::array<int, 4> requests{ctl::SendPortControl, ctl::SaveToFlash, ctl::FactoryDefaults,
                                      ctl::SystemReset};
    int requestsMade = 0;
    int requestsSkipped = 0;
    QTimer operatorTimer;
    QObject::connect(&operatorTimer, &QTimer::timeout, [&] {
        auto* button = controls.get<QPushButton>(requests[std::size_t(requestsMade % 4)]);
        if (!button->isEnabled()) {
            ++requestsSkipped;
            return;
        }
        ++requestsMade;
        button->click();
    });
    operatorTimer.start(requestMs);

    const char* label = network ? "network" : "serial";
    QElapsedTimer elapsed;
    elapsed.start();
    QList<Sample> samples;
    auto report = [&] {
        const Sample s{double(elapsed.elapsed()) / 60000.0, residentMb(), double(openDescriptors()), passes};
        samples.append(s);
        std::printf(
            "  %-7s %6.1f min  resident %7.2f MB  descriptors %3.0f  passes %6d  requests %d (%d waited)\n",
            label, s.minutes, s.residentMb, s.descriptors, s.passes, requestsMade, requestsSkipped);
        std::fflush(stdout);
    };
    std::printf("soak: %s, %d ports, %.1f min, request every %d s\n",
                network ? "network link (SNMP v2c)" : "serial link at 19200 baud", Ports, minutes,
                requestMs / 1000);
    report();
    QTimer reportTimer;
    QObject::connect(&reportTimer, &QTimer::timeout, report);
    reportTimer.start(int(reportMinutes * 60000));

    bool lost = false;
    bench::waitUntil(
        [&] {
            lost = feedback.texts().contains(LostText);
            return lost || elapsed.elapsed() >= qint64(minutes * 60000);
        },
        int(minutes * 60000) + 1000);
    reportTimer.stop();
    operatorTimer.stop();
    if (double(elapsed.elapsed()) / 60000.0 - samples.back().minutes > 0.05)
        report();

    // Growth after the first report: the start-up's own allocations are not counted.
    const QList<Sample> settled = samples.mid(1);
    std::printf("  %s: growth after the first report: resident %+.2f MB per hour, descriptors %+.1f per hour"
                " (%d samples)\n",
                label, slope(settled, &Sample::residentMb) * 60, slope(settled, &Sample::descriptors) * 60,
                int(settled.size()));
    bench::figure(std::string("soak.") + label + ".resident_growth", slope(settled, &Sample::residentMb) * 60,
                  "MB/h");
    bench::figure(std::string("soak.") + label + ".descriptor_growth",
                  slope(settled, &Sample::descriptors) * 60, "1/h");
    if (samples.size() >= 2)
        std::printf("  %s: from the first report to the end: resident %+.2f MB, descriptors %+.0f\n", label,
                    samples.back().residentMb - samples[1].residentMb,
                    samples.back().descriptors - samples[1].descriptors);
    std::printf("  %s: messages shown %lld\n", label, static_cast<long long>(feedback.shown.size()));
    std::fflush(stdout);
    bool networkFailed = false;
    if (networkSoak.state() != QProcess::NotRunning || networkSoak.exitCode() != 0) {
        networkSoak.waitForFinished(int(minutes * 60000) + 120000);
        networkFailed = networkSoak.exitStatus() != QProcess::NormalExit || networkSoak.exitCode() != 0;
    }
    if (lost)
        std::fprintf(stderr, "bench_soak: the %s session was lost\n", label);
    return lost || passes == 0 || networkFailed ? 1 : 0;
}
