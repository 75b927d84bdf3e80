#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <string>
#include <sys/resource.h>

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

} // namespace bench
