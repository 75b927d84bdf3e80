// 255 modules answer one search at once: how many does ethfind list, and how soon?
// Runs the window offscreen against module-sim in a private network namespace (root needed).
#include "finder/MainWindow.h"
#include "finder/Messages.h"

#include "BenchSupport.h"
#include "NetnsLab.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

constexpr int modules = 255;
constexpr int rounds = 5;
constexpr int roundTimeoutMs = 5000;

class PrintedMessages : public finder::Messages
{
public:
    void show(const QString& text) override
    {
        std::fprintf(stderr, "ethfind_burst: message: %s\n", qPrintable(text));
    }
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString reason = NetnsLab::unavailableReason();
    if (!reason.isEmpty()) {
        std::printf("ethfind_burst: not run: %s\n", qPrintable(reason));
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ethfind"));

    NetnsLab lab(QStringLiteral("efbench"), QStringLiteral(MODULE_SIM_PATH));
    if (!lab.enterPrivateNetwork() ||
        lab.startModules(QStringLiteral("10.77.2.1"),
                         {QStringLiteral("--count"), QString::number(modules), QStringLiteral("--first-ip"),
                          QStringLiteral("10.77.3.1")}) < 0) {
        std::printf("ethfind_burst: not run: %s\n", qPrintable(lab.lastError()));
        return 0;
    }

    PrintedMessages messages;
    QElapsedTimer clock;
    clock.start();
    finder::MainWindow window(messages);
    auto* list = window.findChild<QListWidget*>(QStringLiteral("1000"));

    std::vector<qint64> times;
    int worst = modules;
    for (int round = 0; round < rounds; ++round) {
        if (round > 0) {
            QElapsedTimer idle;
            idle.start();
            while (window.finder().state().searching() && idle.elapsed() < roundTimeoutMs)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            clock.restart();
            window.refresh();
        }
        // Wait for the whole burst, or for the search window and a second more.
        while (list->count() < modules && clock.elapsed() < roundTimeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        const qint64 elapsed = clock.elapsed();
        std::printf("round %d: listed %d of %d modules in %lld ms\n", round + 1, list->count(), modules,
                    static_cast<long long>(elapsed));
        worst = std::min(worst, list->count());
        times.push_back(elapsed);
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "ethfind_burst: fewest listed %d of %d (target %d); time to list them: median %lld ms, worst %lld "
        "ms (search window 500 ms)\n",
        worst, modules, modules, static_cast<long long>(times[times.size() / 2]),
        static_cast<long long>(times.back()));
    bench::figure("ethfind_burst.fewest_listed", worst, "modules",
                  qPrintable(QStringLiteral(">=%1").arg(modules)));
    bench::figure("ethfind_burst.time_to_list", double(times[times.size() / 2]), "ms");
    return 0;
}
