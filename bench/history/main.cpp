// The power history's cost. Against midspan-sim with 24 ports at line rate: Spanmon's CPU time
// per pass without the History window and with it open on all 24 ports, and the longest stall
// of the event loop with it open. Then 24 hours of passes on a clock running 10000 times fast,
// the window open on a day of all 24 ports: the resident memory after them.
#include "RecordingFeedback.h"
#include "SimulatedMidspan.h"
#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "ui/HistoryWindow.h"

#include <QApplication>
#include <QListWidget>

#include <cstdio>

namespace
{

constexpr int Ports = 24;
constexpr int Passes = 10;
constexpr double FastScale = 1e-4; // 10 s of the clock in a millisecond
constexpr qint64 DayMs = 86400000;

// Counts the passes: each reading of the last port ends one.
struct PassCounter : PassObserver {
    void portRead(const PortReading& reading) override { passes += reading.port == Ports; }
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

} // namespace

int main(int argc, char* argv[])
{
    bench::prepareWindowBenchmark();
    QApplication app(argc, argv);

    MidspanSimProcess sim;
    if (!sim.start({"--ports", QString::number(Ports)})) {
        std::fprintf(stderr, "midspan-sim did not start\n");
        return 1;
    }
    Clock clock;
    RecordingFeedback feedback;
    Spanmon spanmon(clock, feedback);
    MainWindow& window = spanmon.window();
    PassCounter counter;
    window.view().watch(counter);
    if (!searchSimulator(spanmon, sim))
        return 1;
    window.controls().get<QListWidget>(ctl::FoundDevices)->setCurrentRow(0);
    // The first pass fills the pages for the first time; it is not counted.
    if (!bench::waitUntil([&] { return counter.passes >= 2; }, 20000)) {
        std::fprintf(stderr, "no pass\n");
        return 1;
    }
    const double without = cpuPerPass(counter, Passes);
    window.showHistory(0);
    HistoryWindow* history = window.historyWindow();
    const double with = cpuPerPass(counter, Passes);
    bench::StallProbe probe;
    probe.start();
    const int from = counter.passes;
    bench::waitUntil([&] { return counter.passes >= from + Passes; }, Passes * 5000);
    probe.stop();
    const double stall = probe.longestMs();
    int drawn = 0;
    for (int port = 1; port <= Ports; ++port)
        drawn += history->series(port) != nullptr;

    std::printf("power history, serial pass over %d ports at line rate, %d passes each\n", Ports, Passes);
    std::printf("  spanmon CPU per pass, no History window   %.2f ms\n", without * 1000);
    std::printf("  spanmon CPU per pass, History window open %.2f ms (%+.1f%%, target within 10%%)\n",
                with * 1000, (with / without - 1) * 100);
    std::printf("  longest stall, History window open        %.2f ms (target < 20), %d ports drawn\n", stall,
                drawn);
    window.historyWindow()->close();

    // A day of passes: 24 readings every millisecond on a clock running 10000 times fast, as the
    // links hand them to the display, with the window open on the last 24 hours of every port.
    Clock fast(FastScale);
    Spanmon daySpanmon(fast, feedback);
    MainWindow& day = daySpanmon.window();
    day.showHistory(0);
    day.historyWindow()->setRangeIndex(2);
    bench::StallProbe dayProbe;
    QTimer passes;
    passes.setInterval(1);
    int dayPasses = 0;
    QObject::connect(&passes, &QTimer::timeout, &passes, [&] {
        for (int port = 1; port <= Ports; ++port) {
            day.controls().setText(ctl::PowerBase + port,
                                   QString::number(4000 + 500 * port + dayPasses % 997));
            day.controls().setText(ctl::VoltageBase + port, QStringLiteral("53.5"));
            day.controls().setText(ctl::CurrentBase + port, QString::number(80 + port));
            day.view().setPortLamp(port, 8);
        }
        ++dayPasses;
    });
    const long rssBefore = bench::residentKiB();
    passes.start();
    dayProbe.start();
    bench::waitUntil([&] { return fast.elapsed() >= DayMs + 3600000; }, 600000);
    passes.stop();
    dayProbe.stop();
    bench::waitUntil([] { return false; }, 500); // the last redraw
    const long rss = bench::residentKiB();
    int held = 0;
    for (int port = 1; port <= Ports; ++port)
        held += day.history().sampleCount(port);
    std::printf("power history, 25 hours of the clock in %.1f s, %d passes of %d ports\n",
                double(fast.elapsed()) * FastScale / 1000, dayPasses, Ports);
    std::printf("  samples held                              %d (%d a port, a ring holds %d)\n", held,
                held / Ports, PowerHistory::Capacity);
    std::printf("  resident memory after the day             %.1f MiB (target < 60; %.1f MiB before it)\n",
                double(rss) / 1024, double(rssBefore) / 1024);
    std::printf("  longest stall, a day drawn live           %.2f ms\n", dayProbe.longestMs());
    std::printf("  messages shown                            %lld\n",
                static_cast<long long>(feedback.shown.size()));
    return 0;
}
