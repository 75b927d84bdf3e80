// The power history's cost. Against midspan-sim with 24 ports at line rate: Spanmon's CPU time
// per pass without the History window and with it open on all 24 ports, and the longest stall
// of the event loop without it and with it open. Then, in a process of its own (`--day`), 24 hours of passes
// on a clock running 2000 times fast, the window open on a day of all 24 ports: the resident memory after
// them.
#include "RecordingFeedback.h"
#include "SimulatedMidspan.h"
#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "ui/HistoryView.h"

#include <QApplication>
#include <QListWidget>
#include <QProcess>

#include <cstdio>

namespace
{

constexpr int Ports = 24;
constexpr int Passes = 20;
// Half a second of the clock in a millisecond, a pass every 4 ms (2 s of the clock): every port is
// sampled every 10 s even when a busy machine delays the passes to five times their spacing.
constexpr double FastScale = 5e-4;
constexpr int DayPassMs = 4;
constexpr qint64 DayMs = 86400000;

// Opens the History window from the module in the build tree; null (and why, on stderr) without it.
HistoryView* openHistory(MainWindow& window, const RecordingFeedback& feedback)
{
    window.historyModule().setFolders({QStringLiteral(HISTORY_MODULE_DIR)});
    window.showHistory(0);
    if (!window.historyWindow())
        std::fprintf(stderr, "%s\n", qPrintable(feedback.texts().join(u'\n')));
    return window.historyWindow();
}

// Counts the passes: each reading of the last port ends one.
struct PassCounter : PassObserver {
    void portRead(const PassReading& reading) override { passes += reading.port == Ports; }
    void displayCleared(bool) override {}
    int passes = 0;
};

// Spanmon's CPU seconds over the next passes, without the stall probe (it costs as much).
double cpuPerPass(PassCounter& counter, int passes)
{
    const int from = counter.passes;
    const double before = bench::cpuSeconds();
    bench::waitUntil([&] { return counter.passes >= from + passes; }, passes * 5000);
    return (bench::cpuSeconds() - before) / std::max(1, counter.passes - from);
}

struct Stall {
    double wallMs;
    double cpuMs;
};

// The longest time the event loop went without turning over the next passes, and the longest CPU
// time it spent between two turns.
Stall longestStall(PassCounter& counter, int passes)
{
    bench::StallProbe probe;
    probe.start();
    const int from = counter.passes;
    bench::waitUntil([&] { return counter.passes >= from + passes; }, passes * 5000);
    probe.stop();
    return {probe.longestMs(), probe.longestCpuMs()};
}

// A day of passes: 24 readings every DayPassMs on the fast clock, as the links hand them to the
// display, with the window open on the last 24 hours of every port. Prints the figures.
int day()
{
    Clock fast(FastScale);
    RecordingFeedback feedback;
    Spanmon spanmon(fast, feedback);
    MainWindow& window = spanmon.window();
    HistoryView* history = openHistory(window, feedback);
    if (!history)
        return 1;
    history->setRangeIndex(2);
    bench::StallProbe probe;
    QTimer passes;
    passes.setInterval(DayPassMs);
    int count = 0;
    QObject::connect(&passes, &QTimer::timeout, &passes, [&] {
        for (int port = 1; port <= Ports; ++port) {
            window.controls().setText(ctl::PowerBase + port,
                                      QString::number(4000 + 500 * port + count % 997));
            window.controls().setText(ctl::VoltageBase + port, QStringLiteral("53.5"));
            window.controls().setText(ctl::CurrentBase + port, QString::number(80 + port));
            window.view().setPortLamp(port, 8);
        }
        ++count;
    });
    const long rssBefore = bench::residentKiB();
    passes.start();
    probe.start();
    bench::waitUntil([&] { return fast.elapsed() >= DayMs + 3600000; }, 600000);
    passes.stop();
    probe.stop();
    bench::waitUntil([] { return false; }, 500); // the last redraw
    const long rss = bench::residentKiB();
    int held = 0;
    for (int port = 1; port <= Ports; ++port)
        held += window.history().sampleCount(port);
    std::printf("power history, 25 hours of the clock in %.1f s, %d passes of %d ports\n",
                double(fast.elapsed()) * FastScale / 1000, count, Ports);
    std::printf("  samples held                              %d (%d a port, a ring holds %d)\n", held,
                held / Ports, PowerHistory::Capacity);
    std::printf("  resident memory after the day             %.1f MiB (target < 60; %.1f MiB before it)\n",
                double(rss) / 1024, double(rssBefore) / 1024);
    std::printf("  longest stall, a day drawn live           %.2f ms (%.2f ms of it CPU)\n",
                probe.longestMs(), probe.longestCpuMs());
    std::printf("  messages shown                            %lld\n",
                static_cast<long long>(feedback.shown.size()));
    // A ring takes all its slots with its first sample, so the memory does not wait for them to fill.
    bench::figure("history.day_samples_per_port", double(held) / Ports, "samples");
    bench::figure("history.resident_after_day", double(rss) / 1024, "MiB", "<60");
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    bench::prepareWindowBenchmark();
    QApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--day")))
        return day();

    MidspanSimProcess sim;
    if (!startSimulator(sim, {"--ports", QString::number(Ports)}))
        return 1;
    Clock clock;
    RecordingFeedback feedback;
    Spanmon spanmon(clock, feedback);
    MainWindow& window = spanmon.window();
    PassCounter counter;
    window.view().watch(counter);
    if (!searchSimulator(spanmon, sim))
        return 1;
    bench::chooseEntry(window.controls().get<QListWidget>(ctl::FoundDevices), 0);
    // The first pass fills the pages for the first time; it is not counted.
    if (!bench::waitUntil([&] { return counter.passes >= 2; }, 20000)) {
        std::fprintf(stderr, "no pass\n");
        return 1;
    }
    const double without = cpuPerPass(counter, Passes);
    const Stall stallWithout = longestStall(counter, Passes);
    HistoryView* history = openHistory(window, feedback);
    if (!history)
        return 1;
    // Opening the window (its layout, fonts and first drawing) is no part of a pass.
    cpuPerPass(counter, 2);
    const double with = cpuPerPass(counter, Passes);
    const Stall stall = longestStall(counter, Passes);
    int drawn = 0;
    for (int port = 1; port <= Ports; ++port)
        drawn += !history->line(port).isEmpty();

    std::printf("power history, serial pass over %d ports at line rate, %d passes each\n", Ports, Passes);
    std::printf("  spanmon CPU per pass, no History window   %.2f ms\n", without * 1000);
    std::printf("  spanmon CPU per pass, History window open %.2f ms (%+.1f%%, target within 10%%)\n",
                with * 1000, (with / without - 1) * 100);
    std::printf("  longest stall, no History window          %.2f ms (longest CPU between ticks %.2f ms)\n",
                stallWithout.wallMs, stallWithout.cpuMs);
    std::printf("  longest stall, History window open        %.2f ms (target < 20; longest CPU between ticks "
                "%.2f ms), %d ports drawn\n",
                stall.wallMs, stall.cpuMs, drawn);
    bench::figure("history.cpu_per_pass_without", without * 1000, "ms");
    bench::figure("history.cpu_per_pass_growth", (with / without - 1) * 100, "%", "<=10");
    bench::figure("history.stall_without_window", stallWithout.wallMs, "ms");
    bench::figure("history.stall_window_open", stall.wallMs, "ms", "<20");
    bench::figure("history.stall_window_open_cpu", stall.cpuMs, "ms", "<20");
    history->widget()->close();

    // The day in a process of its own: its resident memory is that of one Spanmon.
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--day")});
    if (!child.waitForFinished(900000) || child.exitCode() != 0) {
        std::fprintf(stderr, "the day's run failed\n");
        return 1;
    }
    return 0;
}
