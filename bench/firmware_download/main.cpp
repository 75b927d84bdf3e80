// A firmware download of 2,000 S1 records through the real main window to midspan-sim at line
// rate: the time from the first line to the loader's TP against the line time of the bytes
// exchanged, and the longest stall of the window's event loop meanwhile.
#include "RecordingFeedback.h"
#include "SRecordFile.h"
#include "SimulatedMidspan.h"
#include "core/Clock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace
{

constexpr int Records = 2000;
constexpr int DataBytes = 16;           // 42 characters a record
constexpr int AcknowledgementBytes = 4; // T* or TP with CR LF
constexpr double BitsPerByte = 10.0;
constexpr double Baud = 19200.0;

// Notes the wall time at which a widget is made visible.
class VisibleAt : public QObject
{
public:
    VisibleAt(QWidget* widget, const QElapsedTimer& wall) : wall_(wall) { widget->installEventFilter(this); }
    qint64 at = -1;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ShowToParent && at < 0)
            at = wall_.nsecsElapsed();
        return false;
    }

private:
    const QElapsedTimer& wall_;
};

} // namespace

int main(int argc, char* argv[])
{
    bench::prepareWindowBenchmark();
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.s19"));
    const QByteArray content = srecord::file({"FW 2.9", Records, DataBytes, 1, 0, true});
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return 1;
    file.close();
    const QList<QByteArray> lines = content.trimmed().split('\n');
    qint64 exchanged = 0;
    for (const QByteArray& line : lines)
        exchanged += line.trimmed().size() + AcknowledgementBytes;

    MidspanSimProcess sim;
    if (!sim.start({"--ports", "4", "--restart-seconds", "1"})) {
        std::fprintf(stderr, "midspan-sim did not start\n");
        return 1;
    }
    Clock clock;
    RecordingFeedback feedback;
    Spanmon spanmon(clock, feedback);
    MainWindow& window = spanmon.window();
    if (!searchSimulator(spanmon, sim))
        return 1;
    WidgetControls& controls = window.controls();
    auto* found = controls.get<QListWidget>(ctl::FoundDevices);
    found->setCurrentRow(0);
    if (!bench::waitUntil([&] { return controls.isEnabled(ctl::FirmwareDownload); }, 5000))
        return 1;

    QElapsedTimer wall;
    wall.start();
    qint64 firstLine = -1;
    auto* lineCount = controls.get<QProgressBar>(ctl::SearchProgress);
    QObject::connect(lineCount, &QProgressBar::valueChanged, [&](int sent) {
        if (sent == 1)
            firstLine = wall.nsecsElapsed();
    });
    VisibleAt transferred(controls.widget(ctl::FirmwareDownload), wall); // shown again on TP

    // The event loop's longest gap while the lines go out.
    qint64 lastTick = 0;
    qint64 longestStall = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = wall.nsecsElapsed();
        if (firstLine >= 0 && transferred.at < 0 && lastTick > 0)
            longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
    });
    tick.start(1);

    feedback.chooseFile = [&] { return path; };
    const double cpuBefore = bench::cpuSeconds();
    controls.get<QPushButton>(ctl::FirmwareDownload)->click();
    const int lineBudgetMs = int(exchanged * BitsPerByte / Baud * 1000) * 3;
    if (!bench::waitUntil([&] { return transferred.at >= 0 || !feedback.shown.isEmpty(); }, lineBudgetMs) ||
        transferred.at < 0 || firstLine < 0) {
        std::fprintf(stderr, "the download did not complete (%d lines sent): %s\n", lineCount->value(),
                     qPrintable(feedback.texts().join(QStringLiteral(" | "))));
        return 1;
    }
    const double cpu = bench::cpuSeconds() - cpuBefore;
    bench::waitUntil([&] { return controls.text(ctl::FirmwareRevision) == QStringLiteral("2.9"); }, 30000);

    const double transfer = double(transferred.at - firstLine) / 1e9;
    const double lineTime = double(exchanged) * BitsPerByte / Baud;
    std::printf("firmware download, %lld lines (%d S1 records of 42 characters), line rate 19200 baud\n",
                static_cast<long long>(lines.size()), Records);
    std::printf("  first line to TP          %.3f s\n", transfer);
    std::printf("  line time of %lld bytes  %.3f s (lines and acknowledgements, 10 bits a byte)\n",
                static_cast<long long>(exchanged), lineTime);
    std::printf("  ratio                     %.3f (target <= 1.05)\n", transfer / lineTime);
    std::printf("  longest stall             %.2f ms (target < 20)\n", double(longestStall) / 1e6);
    std::printf("  spanmon CPU, transfer     %.2f s\n", cpu);
    std::printf("  FW Rev afterwards         %s\n", qPrintable(controls.text(ctl::FirmwareRevision)));
    std::printf("  messages shown            %lld\n", static_cast<long long>(feedback.shown.size()));
    bench::figure("firmware_download.ratio", transfer / lineTime, "x", "<=1.05");
    bench::figure("firmware_download.stall", double(longestStall) / 1e6, "ms", "<20");
    return 0;
}
