#include "ui/HistoryWindow.h"

#include "core/OperatorFeedback.h"
#include "core/PowerSamples.h"
#include "ui/PortLegend.h"
#include "ui/ScreenRoom.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace
{

struct RangeChoice {
    const char* text;
    qint64 spanMs;
    const char* timeFormat;
    qint64 tickMs; // time ticks fall on whole multiples of this (in local time)
};
constexpr std::array<RangeChoice, 3> Ranges{{
    {"Last 10 minutes", 600'000, "hh:mm", 120'000},
    {"Last hour", 3'600'000, "hh:mm", 600'000},
    {"Last 24 hours", 86'400'000, "ddd hh:mm", 14'400'000},
}};

// A day of samples would be 8640 points a line: each line is drawn from at most this many
// stretches of time, by the lowest and highest power in each, about a point for each pixel of the
// plot. More only cost time: a day of 24 lines of 1000 stretches took 120 ms to draw.
constexpr qint64 MaxStretches = 400;
// Samples of one pass come port by port, tens of milliseconds apart: the chart is redrawn once
// they pause this long, so once a pass rather than once for every few ports (each redraw paints
// every line), and at least every LongestRedrawDelayMs while they keep coming.
constexpr qint64 RedrawDelayMs = 250;
constexpr qint64 LongestRedrawDelayMs = 2000;

const QString EmptyNote = QStringLiteral("No samples yet in this session.");
const QString KeptNote =
    QStringLiteral("Each port is sampled at most every 10 s from the passes; the last 24 hours are kept.");

// The power axis: up to four steps of 1, 2 or 5 times a power of ten, the fewest that reach
// `top`, so that the labels' one decimal shows them exactly.
struct PowerScale {
    double top;
    int ticks;
};
PowerScale powerScale(double top)
{
    const double rough = top / 4;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * magnitude;
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * magnitude >= rough) {
            step = factor * magnitude;
            break;
        }
    const int steps = int(std::ceil(top / step - 1e-9));
    return {steps * step, steps + 1};
}

QString portName(int port)
{
    return QStringLiteral("Port %1").arg(port);
}

QString localTime(double msSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(msSinceEpoch))
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// A part of a file name: what a file system takes on every desktop.
QString namePart(const QString& text)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9.+-]+"));
    QString part = text.trimmed();
    part.replace(unsafe, QStringLiteral("_"));
    while (part.startsWith(u'.') || part.startsWith(u'_'))
        part.remove(0, 1);
    while (part.endsWith(u'_'))
        part.chop(1);
    return part;
}

// A colour of its own for each of the 24 ports: twelve hues, bright for ports 1-12 and dark for
// 13-24, so that lines and their legend entries tell every port apart.
QColor portColour(int port)
{
    const int hue = ((port - 1) % 12) * 30;
    return port <= 12 ? QColor::fromHsv(hue, 255, 225) : QColor::fromHsv((hue + 15) % 360, 255, 140);
}

// A square of the line's colour, as a legend shows it, drawn in the screen's pixels: its edges
// stay sharp at a scale factor such as 1.25, where one drawn at scale 1 and blown up would blur.
QIcon swatch(const QColor& colour, const QSize& size, qreal ratio)
{
    QImage image((QSizeF(size) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const int side = std::min(image.width(), image.height()) * 3 / 4;
    QRect square(QPoint(0, 0), QSize(side, side));
    square.moveCenter(image.rect().center());
    QPainter(&image).fillRect(square, colour);
    image.setDevicePixelRatio(ratio);
    return QIcon(QPixmap::fromImage(image));
}

} // namespace

HistoryWindow::HistoryWindow(const PowerSamples& history, OperatorFeedback& feedback, const QFont& font,
                             QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      history_(history), feedback_(feedback)
{
    setWindowTitle(QStringLiteral("Power History"));
    setFont(font);
    build();
    redrawTimer_.setSingleShot(true);
    connect(&redrawTimer_, &QTimer::timeout, this, &HistoryWindow::redraw);
    history_.watch(this, [this](int port) { markDirty(port); });
    dirty_.set();
    redraw();
}

QString HistoryWindow::seriesName(int port) const
{
    const QString description = history_.portDescription(port);
    return description.isEmpty() ? portName(port) : QStringLiteral("%1: %2").arg(portName(port), description);
}

QString HistoryWindow::hoverText(int port, const QPointF& point) const
{
    const double epochMs = double(history_.timeOf(0).toMSecsSinceEpoch());
    if (port == 0) {
        QStringList lines;
        for (const OperatorAction& action : drawnActions_)
            if (std::abs(epochMs + double(action.atMs) - point.x()) < 0.5)
                lines << QStringLiteral("%1 %2%3").arg(
                    localTime(epochMs + double(action.atMs)),
                    action.port > 0 ? portName(action.port) + u' ' : QString(), actionText(action.kind));
        return lines.join(u'\n');
    }
    const QList<QPointF> points = line(port);
    if (points.isEmpty())
        return {};
    // The drawn point nearest in time to where the pointer is.
    const auto nearest =
        std::min_element(points.begin(), points.end(), [&](const QPointF& a, const QPointF& b) {
            return std::abs(a.x() - point.x()) < std::abs(b.x() - point.x());
        });
    return QStringLiteral("%1\n%2\n%3 W")
        .arg(localTime(nearest->x()), seriesName(port))
        .arg(nearest->y(), 0, 'f', 1);
}

void HistoryWindow::build()
{
    auto* layout = new QGridLayout(this);

    // The list is the chart's legend: a chart legend holds about 13 of 24 ports at this size.
    auto* portsLabel = new QLabel(QStringLiteral("&Ports"), this);
    ports_ = new PortLegend(this);
    ports_->setAccessibleName(QStringLiteral("Ports drawn"));
    ports_->setAccessibleDescription(
        QStringLiteral("Each port with its line's colour; ticked ports are drawn"));
    const int iconSide = style()->pixelMetric(QStyle::PM_SmallIconSize);
    ports_->setIconSize(QSize(iconSide, iconSide));
    portsLabel->setBuddy(ports_);
    for (int port = 1; port <= MaxPorts; ++port) {
        auto* item = new QListWidgetItem(swatch(portColour(port), ports_->iconSize(), devicePixelRatio()),
                                         portName(port), ports_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    ports_->fit();
    connect(ports_, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { markDirty(ports_->row(item) + 1); });

    auto* rangeLabel = new QLabel(QStringLiteral("&Show"), this);
    range_ = new QComboBox(this);
    range_->setAccessibleName(QStringLiteral("Time range"));
    rangeLabel->setBuddy(range_);
    for (const RangeChoice& choice : Ranges)
        range_->addItem(QString::fromLatin1(choice.text), QVariant::fromValue(choice.spanMs));
    connect(range_, &QComboBox::currentIndexChanged, this, [this] {
        dirty_.set();
        redraw();
    });

    export_ = new QPushButton(QStringLiteral("&Export CSV..."), this);
    export_->setAutoDefault(false);
    connect(export_, &QPushButton::clicked, this, &HistoryWindow::exportCsv);

    chart_ = new QChart;
    // Names only the action markers; the port list names the lines.
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setTitleText(QStringLiteral("Time"));
    powerAxis_ = new QValueAxis;
    powerAxis_->setTitleText(QStringLiteral("Power (W)"));
    powerAxis_->setLabelFormat(QStringLiteral("%.1f"));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(powerAxis_, Qt::AlignLeft);
    view_ = new QChartView(chart_, this);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setAccessibleName(QStringLiteral("Power chart"));
    view_->setMinimumSize(440, 320);

    note_ = new QLabel(this);
    note_->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(rangeLabel);
    top->addWidget(range_);
    top->addStretch();
    top->addWidget(export_);
    layout->addWidget(portsLabel, 0, 0);
    layout->addWidget(ports_, 1, 0, 2, 1);
    layout->addLayout(top, 0, 1);
    layout->addWidget(view_, 1, 1);
    layout->addWidget(note_, 2, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
}

void HistoryWindow::showEvent(QShowEvent* event)
{
    // Qt's own first size stops at two thirds of the screen, where the port list could take two
    // columns on a screen with room for one.
    if (!testAttribute(Qt::WA_Resized))
        resize(sizeHint().boundedTo(roomOnScreen(*this)));
    QDialog::showEvent(event);
}

void HistoryWindow::chooseOnly(int port)
{
    {
        const QSignalBlocker quiet(ports_);
        for (int k = 1; k <= MaxPorts; ++k)
            ports_->item(k - 1)->setCheckState(k == port ? Qt::Checked : Qt::Unchecked);
    }
    dirty_.set();
    redraw();
}

void HistoryWindow::setPortChosen(int port, bool chosen)
{
    if (port >= 1 && port <= MaxPorts)
        ports_->item(port - 1)->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
}

bool HistoryWindow::isPortChosen(int port) const
{
    return port >= 1 && port <= MaxPorts && ports_->item(port - 1)->checkState() == Qt::Checked;
}

void HistoryWindow::setRangeIndex(int index)
{
    if (index != range_->currentIndex()) {
        range_->setCurrentIndex(index);
        return;
    }
    dirty_.set();
    redraw();
}

QList<QPointF> HistoryWindow::line(int port) const
{
    const QLineSeries* series = port >= 1 && port <= MaxPorts ? series_[std::size_t(port)] : nullptr;
    return series ? series->points() : QList<QPointF>();
}

QString HistoryWindow::note() const
{
    return note_->text();
}

void HistoryWindow::markDirty(int port)
{
    if (port == PowerSamples::ActionsChanged)
        actionsDirty_ = true;
    else if (port >= 1 && port <= MaxPorts)
        dirty_.set(std::size_t(port));
    else
        dirty_.set();
    if (!redrawTimer_.isActive())
        dirtySince_.start();
    redrawTimer_.start(
        int(std::clamp(LongestRedrawDelayMs - dirtySince_.elapsed(), qint64(0), RedrawDelayMs)));
}

void HistoryWindow::redraw()
{
    redrawTimer_.stop();
    const qint64 span = range_->currentData().toLongLong();
    const qint64 now = history_.now();
    drawnSince_ = now - span;
    for (int port = 1; port <= MaxPorts; ++port)
        if (dirty_.test(std::size_t(port)))
            drawPort(port, drawnSince_);
    if (actionsDirty_ || dirty_.all())
        drawActions(drawnSince_);
    dirty_.reset();
    const RangeChoice& choice = Ranges[std::size_t(std::max(0, range_->currentIndex()))];
    // Every change of an axis redraws every line: each is set only when it changes.
    if (const QString format = QString::fromLatin1(choice.timeFormat); format != timeAxis_->format())
        timeAxis_->setFormat(format);
    // The axis reaches out to whole ticks on both sides, so that every tick reads round.
    const QDateTime from = history_.timeOf(drawnSince_);
    const qint64 offsetMs = qint64(from.offsetFromUtc()) * 1000;
    auto roundDown = [&](qint64 utcMs) {
        return (utcMs + offsetMs) / choice.tickMs * choice.tickMs - offsetMs;
    };
    const qint64 first = roundDown(from.toMSecsSinceEpoch());
    const qint64 last = roundDown(history_.timeOf(now).toMSecsSinceEpoch() + choice.tickMs - 1);
    if (const int ticks = int((last - first) / choice.tickMs) + 1; ticks != timeAxis_->tickCount())
        timeAxis_->setTickCount(ticks);
    if (timeAxis_->min().toMSecsSinceEpoch() != first || timeAxis_->max().toMSecsSinceEpoch() != last)
        timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
    const double highest = *std::max_element(highest_.begin(), highest_.end());
    const PowerScale scale = powerScale(std::max(1.0, highest * 1.1));
    if (scale.top != powerAxis_->max())
        powerAxis_->setRange(0, scale.top);
    if (scale.ticks != powerAxis_->tickCount())
        powerAxis_->setTickCount(scale.ticks);
    describe();
}

void HistoryWindow::addSeries(QXYSeries* series, int port)
{
    chart_->addSeries(series);
    series->attachAxis(timeAxis_);
    series->attachAxis(powerAxis_);
    connect(series, &QXYSeries::hovered, this, [this, port](const QPointF& point, bool on) {
        if (on)
            QToolTip::showText(QCursor::pos(), hoverText(port, point), view_);
        else
            QToolTip::hideText();
    });
}

template <typename Series> void HistoryWindow::removeSeries(Series*& series)
{
    if (!series)
        return;
    chart_->removeSeries(series);
    delete series;
    series = nullptr;
}

void HistoryWindow::drawPort(int port, qint64 sinceMs)
{
    QLineSeries*& series = series_[std::size_t(port)];
    // The list names the port as the operator described it, with a line or without.
    const QString name = seriesName(port);
    if (QListWidgetItem* entry = ports_->item(port - 1); entry->text() != name) {
        {
            const QSignalBlocker quiet(ports_);
            entry->setText(name);
        }
        ports_->fit();
    }
    highest_[std::size_t(port)] = 0;
    if (!isPortChosen(port) || history_.sampleCount(port) == 0) {
        removeSeries(series);
        return;
    }
    if (!series) {
        series = new QLineSeries;
        series->setColor(portColour(port));
        addSeries(series, port);
        for (QLegendMarker* marker : chart_->legend()->markers(series))
            marker->setVisible(false);
    }
    // Hovering the line names the port as the list does.
    if (name != series->name())
        series->setName(name);
    // Every line of a redraw is cut into the same stretches, from the span as the redraw took it.
    const qint64 span = range_->currentData().toLongLong();
    const qint64 stretchMs = std::max(PowerSamples::IntervalMs, (span + MaxStretches - 1) / MaxStretches);
    const double epochMs = double(history_.timeOf(0).toMSecsSinceEpoch());
    QList<QPointF> points;
    // The lowest and highest power of each stretch, in the order they were read.
    qint64 stretch = -1;
    QPointF low;
    QPointF high;
    auto flush = [&] {
        if (stretch < 0)
            return;
        points.append(low.x() <= high.x() ? low : high);
        if (low != high)
            points.append(low.x() <= high.x() ? high : low);
    };
    history_.forEach(port, sinceMs, [&](const PowerSample& sample) {
        if (!std::isfinite(sample.powerMw))
            return;
        const QPointF point(epochMs + double(sample.atMs), double(sample.powerMw) / 1000);
        const qint64 at = (sample.atMs - sinceMs) / stretchMs;
        if (at != stretch) {
            flush();
            stretch = at;
            low = high = point;
        } else if (point.y() < low.y()) {
            low = point;
        } else if (point.y() > high.y()) {
            high = point;
        }
    });
    flush();
    for (const QPointF& point : std::as_const(points))
        highest_[std::size_t(port)] = std::max(highest_[std::size_t(port)], point.y());
    series->replace(points);
}

void HistoryWindow::drawActions(qint64 sinceMs)
{
    actionsDirty_ = false;
    drawnActions_.clear();
    history_.forEachAction(sinceMs, [&](const OperatorAction& action) { drawnActions_.push_back(action); });
    if (drawnActions_.empty()) {
        removeSeries(actions_);
        return;
    }
    if (!actions_) {
        actions_ = new QScatterSeries;
        actions_->setName(QStringLiteral("Operator actions"));
        actions_->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
        actions_->setMarkerSize(10);
        actions_->setColor(Qt::black);
        addSeries(actions_, 0);
    }
    // On the time axis, below every line: a switch between two samples still shows.
    const double epochMs = double(history_.timeOf(0).toMSecsSinceEpoch());
    QList<QPointF> points;
    for (const OperatorAction& action : drawnActions_)
        points.append(QPointF(epochMs + double(action.atMs), 0));
    actions_->replace(points);
}

QList<QPointF> HistoryWindow::actionMarks() const
{
    return actions_ ? actions_->points() : QList<QPointF>();
}

void HistoryWindow::describe()
{
    note_->setText(history_.isEmpty() ? EmptyNote : KeptNote);
    QStringList latest;
    for (int port = 1; port <= MaxPorts; ++port) {
        const QLineSeries* series = series_[std::size_t(port)];
        if (series && series->count() > 0)
            latest << QStringLiteral("%1 %2 W")
                          .arg(portName(port))
                          .arg(series->at(series->count() - 1).y(), 0, 'f', 1);
    }
    view_->setAccessibleDescription(latest.isEmpty() ? note_->text() : latest.join(QStringLiteral(", ")));
}

void HistoryWindow::exportCsv()
{
    QStringList parts{QStringLiteral("power-history")};
    // A serial port by its name alone, without its folder.
    for (const QString& unit : {history_.unitAddress().section(u'/', -1), history_.unitModel()})
        if (const QString part = namePart(unit); !part.isEmpty())
            parts << part;
    parts << QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString name = parts.join(u'-') + QStringLiteral(".csv");
    const QString path = feedback_.chooseFileToSave(name, {QStringLiteral("CSV files (*.csv)")});
    if (path.isEmpty())
        return;
    const QString reason = history_.exportCsv(path);
    if (!reason.isEmpty())
        feedback_.error(QStringLiteral("The power history could not be written to %1: %2")
                            .arg(QDir::toNativeSeparators(path), reason));
}

extern "C" Q_DECL_EXPORT HistoryView* spanmon_create_history_view(const PowerSamples& samples,
                                                                  OperatorFeedback& feedback,
                                                                  const QFont& font, QWidget* parent)
{
    return new HistoryWindow(samples, feedback, font, parent);
}
static_assert(std::is_same_v<decltype(&spanmon_create_history_view), CreateHistoryView>);
