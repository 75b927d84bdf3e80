#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <time.h>

// Helpers the benchmarks share.
namespace bench
{

// For benchmarks of the real window: offscreen unless a platform is chosen, and without the
// warnings of controls the window does not have. Call before the application is created.
inline void prepareWindowBenchmark()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLoggingCategory::setFilterRules(QStringLiteral("spanmon.controls.warning=false"));
}

// The operator's click on the entry in this row: the window acts on clicks and keys only. A
// template, so that benchmarks without widgets need not see QListWidget.
template <typename ListWidget> void chooseEntry(ListWidget* list, int row)
{
    list->setCurrentRow(row);
    emit list->itemClicked(list->item(row));
}

// One figure for the summary that scripts/bench.sh prints at the end: a line
// "BENCH name value unit target". The target compares the value with a bound ("<50", "<=1.10",
// ">=255"); "-" marks a figure shown without one.
inline void figure(const std::string& name, double value, const char* unit, const char* target = "-")
{
    std::printf("BENCH %s %.6g %s %s\n", name.c_str(), value, unit, target);
    std::fflush(stdout);
}

// CPU time of this process so far, user and system.
inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until done() holds or the time is up; returns done().
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QElapsedTimer elapsed;
    elapsed.start();
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || elapsed.elapsed() >= timeoutMs)
            loop.quit();
    });
    check.start(10);
    if (!done())
        loop.exec();
    return done();
}

// Resident memory of this process in KiB, -1 when unknown.
inline long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Ticks every millisecond; the widest gap between two ticks is the longest stall. The widest gap
// in this thread's CPU time is the part of it the program itself spent: on a loaded machine
// the wall-clock gap also holds the time the thread waited for a core.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            const qint64 cpu = threadCpuNs();
            longestCpu_ = std::max(longestCpu_, cpu - lastCpu_);
            lastCpu_ = cpu;
            if (onTick)
                onTick();
        });
    }
    void start()
    {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        lastCpu_ = threadCpuNs();
        longestCpu_ = 0;
        timer_.start();
    }
    void stop() { timer_.stop(); }
    double longestMs() const { return double(longest_) / 1e6; }
    double longestCpuMs() const { return double(longestCpu_) / 1e6; }
    void reset()
    {
        longest_ = 0;
        last_ = clock_.nsecsElapsed();
        longestCpu_ = 0;
        lastCpu_ = threadCpuNs();
    }
    std::function<void()> onTick;

private:
    static qint64 threadCpuNs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    }

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    qint64 lastCpu_ = 0;
    qint64 longestCpu_ = 0;
};

} // namespace bench
