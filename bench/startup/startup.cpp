// Start-up benchmark: the time from process start to the main window's first paint, and the
// resident memory once the window is up. The parent times several fresh child processes; each
// child builds the real main window and reports when it first paints, and the CPU time it took
// until then (on a loaded machine the time to first paint is mostly waiting for a core).
#include "BenchSupport.h"
#include "app/Spanmon.h"
#include "core/Clock.h"
#include "ui/DialogFeedback.h"
#include "ui/FontPreload.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace
{

qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            std::printf("painted %lld\n", static_cast<long long>(monotonicNs()));
            std::printf("cpu %.3f\n", bench::cpuSeconds() * 1000);
            // The window's children paint after it, in the same pass; the frame is whole when
            // the event loop turns again.
            QMetaObject::invokeMethod(
                qApp, [] { std::printf("framed %lld\n", static_cast<long long>(monotonicNs())); },
                Qt::QueuedConnection);
            // Let start-up settle (deferred layouts, fonts) before reading the memory figure.
            QTimer::singleShot(300, [] {
                std::printf("rss %ld\n", bench::residentKiB());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }
    bool seen = false;
};

int child(int argc, char* argv[])
{
    fonts::preloadConfiguration();
    QApplication app(argc, argv);
    Clock clock;
    DialogFeedback feedback;
    Spanmon spanmon(clock, feedback);
    MainWindow& window = spanmon.window();
    FirstPaint probe;
    window.installEventFilter(&probe);
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv);

    QCoreApplication app(argc, argv);
    constexpr int Runs = 11;
    std::vector<double> startMs;
    std::vector<double> frameMs;
    std::vector<double> cpuMs;
    std::vector<long> rss;
    for (int i = 0; i < Runs; ++i) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        const qint64 before = monotonicNs();
        process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        if (!process.waitForFinished(30000)) {
            std::fprintf(stderr, "startup: the window did not come up within 30 s\n");
            return 1;
        }
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (line.startsWith("painted "))
                startMs.push_back((line.mid(8).toLongLong() - before) / 1e6);
            else if (line.startsWith("framed "))
                frameMs.push_back((line.mid(7).toLongLong() - before) / 1e6);
            else if (line.startsWith("cpu "))
                cpuMs.push_back(line.mid(4).toDouble());
            else if (line.startsWith("rss "))
                rss.push_back(line.mid(4).toLong());
        }
    }
    if (startMs.size() != Runs || frameMs.size() != Runs || cpuMs.size() != Runs || rss.size() != Runs) {
        std::fprintf(stderr, "startup: a run reported no paint\n");
        return 1;
    }
    std::sort(startMs.begin(), startMs.end());
    std::sort(frameMs.begin(), frameMs.end());
    std::sort(cpuMs.begin(), cpuMs.end());
    std::sort(rss.begin(), rss.end());
    std::printf("startup: process start to first paint: median %.1f ms (min %.1f, max %.1f, %d runs)\n",
                startMs[Runs / 2], startMs.front(), startMs.back(), Runs);
    std::printf("startup: process start to the first whole frame: median %.1f ms\n", frameMs[Runs / 2]);
    std::printf("startup: CPU time to first paint: median %.1f ms\n", cpuMs[Runs / 2]);
    std::printf("startup: resident memory after start-up: median %.1f MiB\n", rss[Runs / 2] / 1024.0);
    bench::figure("startup.first_paint", startMs[Runs / 2], "ms", "<50");
    bench::figure("startup.first_frame", frameMs[Runs / 2], "ms");
    bench::figure("startup.first_paint_cpu", cpuMs[Runs / 2], "ms");
    bench::figure("startup.resident", rss[Runs / 2] / 1024.0, "MiB", "<=39");
    return 0;
}
