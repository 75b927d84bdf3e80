// One polling pass over 24 ports against midspan-sim at line rate: the pass time against the
// line time of its bytes, spanmon's CPU time per pass (and its share of a core, without the
// stall probe), and the longest stall of the window's event loop, while polling and while a
// progress display runs.
#include "RecordingFeedback.h"
#include "SimulatedMidspan.h"
#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/ControlIds.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace
{

constexpr int Ports = 24;
constexpr int Passes = 10;
constexpr int QuietPasses = 20; // for the CPU time, which varies with the load of the machine
// 3 + 27 for the status, 24 x (4 + 27) port reads, 24 x (4 + 16) classification reads.
constexpr int PassBytes = 30 + 24 * 31 + 24 * 20;
constexpr int ReplyBytes = 27 + 24 * 27 + 24 * 16;
constexpr double BitsPerByte = 10.0;
constexpr double Baud = 19200.0;

} // namespace

int main(int argc, char* argv[])
{
    bench::prepareWindowBenchmark();
    QApplication app(argc, argv);

    MidspanSimProcess sim;
    if (!startSimulator(sim, {"--ports", QString::number(Ports)}))
        return 1;
    Clock clock;
    RecordingFeedback feedback;
    Spanmon spanmon(clock, feedback);
    MainWindow& window = spanmon.window();
    if (!searchSimulator(spanmon, sim))
        return 1;
    WidgetControls& controls = window.controls();
    auto* found = controls.get<QListWidget>(ctl::FoundDevices);

    // A pass starts each time a status read goes out.
    bench::StallProbe probe;
    QList<qint64> passStarts;
    QElapsedTimer wall;
    bool inStatusRead = false;
    const SerialState& serial = spanmon.serialState();
    probe.onTick = [&] {
        const bool statusRead = serial.request.command == 0x04;
        if (statusRead && !inStatusRead)
            passStarts.append(wall.nsecsElapsed());
        inStatusRead = statusRead;
    };
    wall.start();
    probe.start();
    bench::chooseEntry(found, 0);
    // The first pass also fills the pages for the first time; it is not counted.
    if (!bench::waitUntil([&] { return passStarts.size() >= 2; }, 10000))
        return 1;
    probe.reset();
    const double cpuBefore = bench::cpuSeconds();
    const int first = int(passStarts.size()) - 1;
    if (!bench::waitUntil([&] { return passStarts.size() >= first + Passes + 1; }, 60000))
        return 1;
    const double cpuWithProbe = (bench::cpuSeconds() - cpuBefore) / Passes;
    const double pollingStall = probe.longestMs();
    const double pass = double(passStarts.back() - passStarts[first]) / Passes / 1e9;
    std::vector<double> each;
    for (int i = first; i < first + Passes; ++i)
        each.push_back(double(passStarts[i + 1] - passStarts[i]) / 1e9);
    const auto [fastest, slowest] = std::minmax_element(each.begin(), each.end());

    // Spanmon's own CPU: the probe's millisecond ticks cost about as much as the polling, so it
    // rests while the passes are counted from the status reads the simulator received.
    probe.stop();
    sim.clearFrames();
    const int quietMs = int(pass * QuietPasses * 1000);
    QEventLoop quiet;
    const double cpuQuietBefore = bench::cpuSeconds();
    QTimer::singleShot(quietMs, &quiet, &QEventLoop::quit);
    quiet.exec();
    const double cpuQuiet = bench::cpuSeconds() - cpuQuietBefore;
    const double quietPasses = std::max<double>(1, double(sim.frames().count(QStringLiteral("04 00 04"))));
    const double cpu = cpuQuiet / quietPasses;
    const double share = cpuQuiet / (quietMs / 1000.0) * 100;
    probe.start();

    // A progress display: Save Parameters to Flash, 7.8 s of paced steps.
    probe.reset();
    controls.get<QPushButton>(ctl::SaveToFlash)->click();
    bench::waitUntil([&] { return controls.isVisible(ctl::ProgressDialog); }, 5000);
    bench::waitUntil([&] { return !controls.isVisible(ctl::ProgressDialog); }, 15000);
    const double progressStall = probe.longestMs();

    const double lineTime = PassBytes * BitsPerByte / Baud;
    const double replyLineTime = ReplyBytes * BitsPerByte / Baud;
    std::printf("serial pass over %d ports, %d passes, line rate 19200 baud\n", Ports, Passes);
    std::printf("  pass time                 %.3f s (fastest %.3f s, slowest %.3f s)\n", pass, *fastest,
                *slowest);
    std::printf("  line time of %d bytes   %.3f s\n", PassBytes, lineTime);
    std::printf("  ratio                     %.3f (target <= 1.10)\n", pass / lineTime);
    std::printf("  ratio to reply bytes only %.3f (%d bytes, %.3f s; the simulator paces its replies)\n",
                pass / replyLineTime, ReplyBytes, replyLineTime);
    std::printf("  spanmon CPU per pass      %.1f ms, %.1f%% of a core (target <= 2%%)\n", cpu * 1000, share);
    std::printf("    with the 1 ms stall probe %.1f ms\n", cpuWithProbe * 1000);
    std::printf("  longest stall, polling    %.2f ms (target < 20)\n", pollingStall);
    std::printf("  longest stall, progress   %.2f ms (target < 20)\n", progressStall);
    std::printf("  messages shown            %lld\n", static_cast<long long>(feedback.shown.size()));
    bench::figure("serial_pass.ratio", pass / lineTime, "x", "<=1.10");
    bench::figure("serial_pass.cpu_share", share, "%", "<=2");
    bench::figure("serial_pass.stall_polling", pollingStall, "ms", "<20");
    bench::figure("serial_pass.stall_progress", progressStall, "ms", "<20");
    return 0;
}
