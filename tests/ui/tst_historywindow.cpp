#include "RecordingFeedback.h"
#include "core/Clock.h"
#include "core/PowerHistory.h"
#include "ui/DialogUnits.h"
#include "ui/HistoryWindow.h"

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include <cmath>

namespace
{

constexpr qint64 TenSeconds = 10000;

// Lets the clock's time run on by at least ms; on the scales used here 10 s take 1 to 10 microseconds.
void passTime(const Clock& clock, qint64 ms)
{
    const qint64 until = clock.elapsed() + ms;
    while (clock.elapsed() < until) {
    }
}

// Each port's own curve: its power in watts at the i-th sample.
double curve(int port, int i)
{
    return 4 + 2 * port + 3 * std::sin(i / (30.0 + 7 * port) + port);
}

// A history of `hours` of samples every 10 s for the given ports, each with its own curve.
void fill(PowerHistory& history, const Clock& clock, QList<int> ports, double hours)
{
    const int samples = int(hours * 360);
    for (int i = 0; i < samples; ++i) {
        for (int port : ports) {
            const double watts = curve(port, i);
            history.portRead({port, watts * 1000, 53.5, watts * 1000 / 53.5, 8});
        }
        passTime(clock, TenSeconds);
    }
}

// Samples every 10 s from a fixed start, a power-cycle of port 2 among them: the same picture on
// every run, whatever the time of day.
class FixedHistory : public PowerSamples
{
public:
    FixedHistory(QList<int> ports, int samples) : ports_(std::move(ports)), samples_(samples) {}
    bool isEmpty() const override { return false; }
    int sampleCount(int port) const override { return ports_.contains(port) ? samples_ : 0; }
    void forEach(int port, qint64 sinceMs,
                 const std::function<void(const PowerSample&)>& visit) const override
    {
        for (int i = int(std::max<qint64>(0, sinceMs) / TenSeconds); i < sampleCount(port); ++i) {
            const float watts = float(curve(port, i));
            visit({i * TenSeconds, watts * 1000, 53.5f, watts * 1000 / 53.5f, 8});
        }
    }
    void forEachAction(qint64 sinceMs, const std::function<void(const OperatorAction&)>& visit) const override
    {
        for (const OperatorAction& action :
             {OperatorAction{now() - 1500'000, OperatorAction::Kind::CycleStart, 2},
              OperatorAction{now() - 1495'000, OperatorAction::Kind::CycleEnd, 2}})
            if (action.atMs >= sinceMs)
                visit(action);
    }
    QString unitAddress() const override { return QStringLiteral("192.168.1.20"); }
    QString unitModel() const override { return QStringLiteral("POE24"); }
    QString portDescription(int port) const override
    {
        return port == 1 ? QStringLiteral("Lobby camera") : QString();
    }
    qint64 now() const override { return samples_ * TenSeconds; }
    QDateTime timeOf(qint64 atMs) const override
    {
        return QDateTime(QDate(2026, 3, 2), QTime(8, 0)).addMSecs(atMs);
    }
    QString exportCsv(const QString&) const override { return {}; }
    void watch(QObject*, std::function<void(int)>) const override {}

private:
    QList<int> ports_;
    int samples_;
};

// Counts the paints of a widget.
struct PaintCounter : QObject {
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
    int paints = 0;
};

struct Rig {
    explicit Rig(double scale = 1e-6)
        : clock(scale), history(clock), window(history, feedback, fonts::dialog())
    {
    }
    Clock clock;
    RecordingFeedback feedback;
    PowerHistory history;
    HistoryWindow window;
};

} // namespace

// The history window: what it draws of the samples, the choice of ports and span, the file.
class tst_HistoryWindow : public QObject
{
    Q_OBJECT

private slots:
    void emptyHistorySaysSo()
    {
        Rig rig;
        QCOMPARE(rig.window.note(), QStringLiteral("No samples yet in this session."));
        for (int port = 1; port <= 24; ++port)
            QVERIFY(rig.window.line(port).isEmpty());
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Power History"));
        auto* range = rig.window.findChild<QComboBox*>();
        QCOMPARE(range->accessibleName(), QStringLiteral("Time range"));
        QCOMPARE(range->count(), 3);
        QCOMPARE(range->itemText(0), QStringLiteral("Last 10 minutes"));
        QCOMPARE(range->itemText(2), QStringLiteral("Last 24 hours"));
    }

    // The span chosen decides how much of each chosen port's line is drawn, in watts.
    void drawsTheChosenPortsOverTheSpan()
    {
        // Ten minutes of the clock are 60 ms: a stalled machine still finds samples in them.
        Rig rig(1e-4);
        fill(rig.history, rig.clock, {2, 5, 9}, 2);
        // Every sample of the span is a point, however far the clock ran on while drawing.
        auto samplesDrawn = [&](int port) {
            qsizetype count = 0;
            rig.history.forEach(port, rig.window.drawnSince(), [&](const PowerSample&) { ++count; });
            return count;
        };
        rig.window.setRangeIndex(0);
        QCOMPARE(rig.window.line(2).size(), samplesDrawn(2));
        QVERIFY(samplesDrawn(2) > 0 && samplesDrawn(2) <= 61);
        rig.window.setRangeIndex(1);
        QCOMPARE(rig.window.line(5).size(), samplesDrawn(5));
        QVERIFY(samplesDrawn(5) > 61 && samplesDrawn(5) <= 361);
        rig.window.setRangeIndex(2);
        // Stretches of 216 s (400 a day): each gives its lowest and highest power.
        const QList<QPointF> points = rig.window.line(9);
        QVERIFY(points.size() < samplesDrawn(9));
        QVERIFY(points.size() >= samplesDrawn(9) * 10 / 216);
        QVERIFY(points.size() <= 2 * 400 + 2);
        QList<PowerSample> samples;
        rig.history.forEach(9, 0, [&](const PowerSample& s) { samples << s; });
        QCOMPARE(points.constLast().y(), double(samples.constLast().powerMw) / 1000);
        QVERIFY(rig.window.line(1).isEmpty());

        rig.window.chooseOnly(5);
        QVERIFY(rig.window.isPortChosen(5));
        QVERIFY(!rig.window.isPortChosen(2));
        QVERIFY(rig.window.line(2).isEmpty() && rig.window.line(9).isEmpty());
        QVERIFY(!rig.window.line(5).isEmpty());
        rig.window.setPortChosen(9, true);
        QTRY_VERIFY(!rig.window.line(9).isEmpty());
        QVERIFY(rig.window.note().startsWith(QStringLiteral("Each port is sampled")));
    }

    // A full day is drawn with a bounded number of points that keep its lowest and highest power.
    void aDayIsDrawnWithBoundedPointsKeepingThePeaks()
    {
        // Ten seconds of the clock are 100 microseconds: a machine that stalls the fill for a few
        // milliseconds leaves only minutes of the day without samples.
        Rig rig(1e-5);
        fill(rig.history, rig.clock, {1}, 23);
        rig.window.setRangeIndex(2);
        const QList<QPointF> points = rig.window.line(1);
        float low = 1e9;
        float high = 0;
        // The stretches of 216 s that hold samples: a machine that stalls the fill leaves some empty.
        QSet<qint64> stretches;
        rig.history.forEach(1, rig.window.drawnSince(), [&](const PowerSample& s) {
            low = std::min(low, s.powerMw);
            high = std::max(high, s.powerMw);
            stretches.insert((s.atMs - rig.window.drawnSince()) / 216000);
        });
        // The lowest and highest of each stretch with samples, up to 400 stretches (their bounds move
        // by a few milliseconds while the test reads them).
        const QString counts =
            QStringLiteral("%1 points, %2 stretches").arg(points.size()).arg(stretches.size());
        QVERIFY2(stretches.size() >= 20, qPrintable(counts));
        QVERIFY2(points.size() >= stretches.size() - 2, qPrintable(counts));
        QVERIFY2(points.size() <= 2 * stretches.size() + 2, qPrintable(counts));
        QVERIFY2(points.size() <= 800, qPrintable(counts));
        double drawnLow = 1e9;
        double drawnHigh = 0;
        for (int i = 0; i < points.size(); ++i) {
            drawnLow = std::min(drawnLow, points[i].y());
            drawnHigh = std::max(drawnHigh, points[i].y());
            if (i > 0)
                QVERIFY(points[i].x() > points[i - 1].x());
        }
        QCOMPARE(drawnLow, double(low) / 1000);
        QCOMPARE(drawnHigh, double(high) / 1000);
    }

    // The power axis reaches above the highest line in round steps that one decimal shows exactly.
    void powerAxisIsRoundAboveTheHighestLine_data()
    {
        QTest::addColumn<double>("highestWatts");
        QTest::addColumn<double>("top");
        QTest::addColumn<int>("ticks");
        QTest::newRow("a trickle") << 0.5 << 1.0 << 3;
        QTest::newRow("a camera") << 4.0 << 6.0 << 4;
        QTest::newRow("an access point") << 15.4 << 20.0 << 5;
        QTest::newRow("steps of ten") << 25.0 << 30.0 << 4;
        QTest::newRow("PoE+ in full") << 30.0 << 40.0 << 5;
    }
    void powerAxisIsRoundAboveTheHighestLine()
    {
        QFETCH(double, highestWatts);
        QFETCH(double, top);
        QFETCH(int, ticks);
        Rig rig(1.0); // the sample stays within the last ten minutes however slow the machine
        rig.history.portRead({3, highestWatts * 1000, 53.5, highestWatts * 1000 / 53.5, 8});
        rig.window.setRangeIndex(0);
        const auto axes = rig.window.findChild<QChartView*>()->chart()->axes(Qt::Vertical);
        QCOMPARE(axes.size(), 1);
        const auto* power = qobject_cast<const QValueAxis*>(axes.constFirst());
        QCOMPARE(power->min(), 0.0);
        QCOMPARE(power->max(), top);
        QCOMPARE(power->tickCount(), ticks);
    }

    void exportSuggestsANameAndReportsAFailure()
    {
        Rig rig;
        fill(rig.history, rig.clock, {3}, 0.01);
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("gone/power.csv"));
        rig.feedback.saveFile = [&] { return missing; };
        rig.window.findChild<QPushButton*>()->click();
        QCOMPARE(rig.feedback.suggestedNames.size(), 1);
        QVERIFY(rig.feedback.suggestedNames[0].startsWith(QStringLiteral("power-history-")));
        QVERIFY(rig.feedback.suggestedNames[0].endsWith(QStringLiteral(".csv")));
        QCOMPARE(rig.feedback.shown.size(), 1);
        QCOMPARE(rig.feedback.shown[0].title, QStringLiteral("Error"));
        QVERIFY2(rig.feedback.shown[0].text.startsWith(
                     QStringLiteral("The power history could not be written to %1: ").arg(missing)),
                 qPrintable(rig.feedback.shown[0].text));

        rig.feedback.saveFile = [] { return QString(); }; // cancelled: nothing written, nothing said
        rig.window.exportCsv();
        QCOMPARE(rig.feedback.shown.size(), 1);
    }

    // Time ticks fall on round local times: every 2 minutes, 10 minutes or 4 hours.
    void timeTicksAreRound_data()
    {
        QTest::addColumn<int>("range");
        QTest::addColumn<qint64>("stepMs");
        QTest::addColumn<qint64>("spanMs");
        QTest::newRow("last 10 minutes") << 0 << qint64(120'000) << qint64(600'000);
        QTest::newRow("last hour") << 1 << qint64(600'000) << qint64(3'600'000);
        QTest::newRow("last 24 hours") << 2 << qint64(14'400'000) << qint64(86'400'000);
    }
    void timeTicksAreRound()
    {
        QFETCH(int, range);
        QFETCH(qint64, stepMs);
        QFETCH(qint64, spanMs);
        Rig rig(1e-4);
        fill(rig.history, rig.clock, {3}, 0.5);
        rig.window.setRangeIndex(range);
        const auto axes = rig.window.findChild<QChartView*>()->chart()->axes(Qt::Horizontal);
        QCOMPARE(axes.size(), 1);
        const auto* axis = static_cast<QDateTimeAxis*>(axes.first());
        const qint64 offsetMs = qint64(axis->min().offsetFromUtc()) * 1000;
        for (int tick = 0; tick < axis->tickCount(); ++tick) {
            const qint64 at = axis->min().toMSecsSinceEpoch() +
                              tick * (axis->max().toMSecsSinceEpoch() - axis->min().toMSecsSinceEpoch()) /
                                  (axis->tickCount() - 1);
            QCOMPARE((at + offsetMs) % stepMs, qint64(0));
        }
        // The span drawn lies within the axis (up to the time it was drawn: the fast clock has
        // moved on since).
        QVERIFY(axis->min() <= rig.history.timeOf(rig.window.drawnSince()));
        QVERIFY(axis->max() >= rig.history.timeOf(rig.window.drawnSince() + spanMs));
    }

    // Every port's line has a colour of its own, far enough from every other to tell them apart.
    void everyPortHasItsOwnColour()
    {
        Rig rig(1e-4);
        QList<int> all;
        for (int port = 1; port <= 24; ++port)
            all << port;
        fill(rig.history, rig.clock, all, 0.2);
        rig.window.setRangeIndex(1);
        const QList<QAbstractSeries*> drawn = rig.window.findChild<QChartView*>()->chart()->series();
        QCOMPARE(drawn.size(), 24);
        QStringList close;
        for (int i = 0; i < drawn.size(); ++i)
            for (int j = i + 1; j < drawn.size(); ++j) {
                const QColor a = static_cast<QLineSeries*>(drawn[i])->color();
                const QColor b = static_cast<QLineSeries*>(drawn[j])->color();
                const int distance = std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                                     std::abs(a.blue() - b.blue());
                if (distance < 60)
                    close << drawn[i]->name() + QStringLiteral(" ~ ") + drawn[j]->name();
            }
        QVERIFY2(close.isEmpty(), qPrintable(close.join(QStringLiteral(", "))));
    }

    // The operator's actions are marked on the time axis and the lines named as the operator
    // described the ports; hovering a line or a mark tells what is there.
    void actionsAreMarkedAndLinesNamed()
    {
        Rig rig(1e-2); // everything stays within the last ten minutes (6 s) however slow the machine
        DeviceState state;
        state.portDescription[3] = QStringLiteral("Lobby camera ");
        rig.history.describeFrom(state);
        rig.history.portRead({3, 1500, 53.5, 28, 8});
        rig.history.portRead({4, 2500, 53.5, 47, 8});
        passTime(rig.clock, TenSeconds);
        rig.history.portRead({3, 1700, 53.5, 32, 8});
        rig.history.record(OperatorAction::Kind::CycleStart, 3);
        rig.window.setRangeIndex(0);
        QCOMPARE(rig.window.actionMarks().size(), 1);
        rig.history.record(OperatorAction::Kind::SystemReset, 0);
        QTRY_COMPARE(rig.window.actionMarks().size(), 2);
        const QPointF reset = rig.window.actionMarks().constLast();
        QCOMPARE(reset.y(), 0.0);
        QVERIFY2(rig.window.hoverText(0, reset).endsWith(QStringLiteral(" system reset")),
                 qPrintable(rig.window.hoverText(0, reset)));
        QVERIFY(rig.window.hoverText(0, rig.window.actionMarks().constFirst())
                    .contains(QStringLiteral(" Port 3 power-cycle start")));

        QStringList legend;
        for (const QLegendMarker* marker : rig.window.findChild<QChartView*>()->chart()->legend()->markers())
            legend << marker->label();
        QCOMPARE(legend, (QStringList{"Port 3: Lobby camera", "Port 4", "Operator actions"}));
        const QPointF sample = rig.window.line(3).constFirst();
        const QString time =
            QDateTime::fromMSecsSinceEpoch(qint64(sample.x())).toString("yyyy-MM-dd hh:mm:ss");
        QCOMPARE(rig.window.hoverText(3, sample + QPointF(400, 0)),
                 time + QStringLiteral("\nPort 3: Lobby camera\n1.5 W"));
    }

    // The samples of a pass come port by port: the chart is painted once they pause rather than
    // for every few ports, and still now and then while they never pause.
    void chartIsPaintedOnceSamplesPause_data()
    {
        QTest::addColumn<int>("readings");
        QTest::addColumn<int>("mostPaints");
        QTest::addColumn<bool>("mustDrawWhileComing");
        QTest::newRow("a pass of 24 ports") << 24 << 2 << false;
        QTest::newRow("passes without a pause") << 120 << 6 << true;
    }
    void chartIsPaintedOnceSamplesPause()
    {
        QFETCH(int, readings);
        QFETCH(int, mostPaints);
        QFETCH(bool, mustDrawWhileComing);
        constexpr int ApartMs = 20; // a serial pass reads 24 ports in about a second: no pause either
        Rig rig(1e-3);              // every reading is a sample, and the last 24 hours take 86 s
        rig.window.setRangeIndex(2);
        rig.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        QTest::qWait(50);
        PaintCounter counter;
        rig.window.findChild<QChartView*>()->viewport()->installEventFilter(&counter);
        bool drawn = false;
        for (int i = 0; i < readings; ++i) {
            const int port = i % 24 + 1;
            rig.history.portRead({port, 1000.0 * port + i, 53.5, 20, 8});
            QTest::qWait(ApartMs);
            drawn = drawn || !rig.window.line(1).isEmpty();
        }
        QTRY_VERIFY(!rig.window.line(24).isEmpty());
        QTest::qWait(500); // the paint of the last redraw, and any late one
        QVERIFY2(counter.paints >= 1 && counter.paints <= mostPaints,
                 qPrintable(QString::number(counter.paints)));
        if (mustDrawWhileComing)
            QVERIFY(drawn);
    }

    // The name offered for the file says which unit the samples came from.
    void exportNameNamesTheUnit_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("name");
        QTest::newRow("network") << "192.168.1.20"
                                 << "POE MDX20A"
                                 << "power-history-192.168.1.20-POE_MDX20A-";
        QTest::newRow("serial") << "/dev/ttyUSB0"
                                << "MDX20A/24 *"
                                << "power-history-ttyUSB0-MDX20A_24-";
        QTest::newRow("no session yet") << ""
                                        << ""
                                        << "power-history-";
    }
    void exportNameNamesTheUnit()
    {
        QFETCH(QString, address);
        QFETCH(QString, model);
        QFETCH(QString, name);
        Rig rig;
        rig.history.setUnit(address, model);
        rig.feedback.saveFile = [] { return QString(); };
        rig.window.exportCsv();
        QCOMPARE(rig.feedback.suggestedNames.size(), 1);
        const QString suggested = rig.feedback.suggestedNames[0];
        QVERIFY2(suggested.startsWith(name), qPrintable(suggested));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}\\.csv$"))
                     .match(suggested.mid(name.size()))
                     .hasMatch(),
                 qPrintable(suggested));
    }

    // For a look by eye, and the README: four ports and a power-cycle, the last hour drawn. The
    // history's times are fixed, so that an unchanged window gives the same file.
    void screenshot()
    {
        const FixedHistory history({1, 2, 4, 7}, 432);
        RecordingFeedback feedback;
        HistoryWindow window(history, feedback, fonts::dialog());
        window.resize(820, 460);
        window.setRangeIndex(1);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.grab().save(QStringLiteral(SCREENSHOT_DIR "/history_window.png")));
        const QImage small =
            window.grab().toImage().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
        QVERIFY(small.save(QStringLiteral(PACKAGE_SCREENSHOT_DIR "/power-history.png")));
    }
};

QTEST_MAIN(tst_HistoryWindow)
#include "tst_historywindow.moc"
