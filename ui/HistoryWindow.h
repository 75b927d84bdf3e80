#pragma once

#include "core/DeviceState.h"
#include "core/PowerSamples.h"
#include "ui/HistoryView.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <bitset>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class PortLegend;
class QPushButton;
class QScatterSeries;
class QXYSeries;
class QValueAxis;

// "Power History": the chosen ports' power over the last 10 minutes, hour or 24 hours, drawn
// from the session's PowerHistory and redrawn as new samples come; "Export CSV..." writes every
// port's samples. It only draws and forwards: sampling and the file belong to PowerHistory.
// Built into the module spanmon-history (HistoryView.h says why).
class HistoryWindow : public QDialog, public HistoryView
{
    Q_OBJECT

public:
    HistoryWindow(const PowerSamples& history, OperatorFeedback& feedback, const QFont& font,
                  QWidget* parent = nullptr);

    QWidget* widget() override { return this; }
    void chooseOnly(int port) override;
    void setPortChosen(int port, bool chosen) override;
    bool isPortChosen(int port) const override;
    void setRangeIndex(int index) override;
    void exportCsv() override;
    QList<QPointF> line(int port) const override;
    QString note() const override;
    // Where the drawn span began, on the clock of the history.
    qint64 drawnSince() const { return drawnSince_; }
    // What hovering a line (port) or the action markers (0) at the point shows: the time, the
    // port and its power, or the actions there.
    QString hoverText(int port, const QPointF& point) const;
    // The operator's actions drawn (milliseconds since the epoch, at zero watts).
    QList<QPointF> actionMarks() const;

protected:
    // Unless sized already, the window opens as large as it asks to be, up to the room on its screen.
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void markDirty(int port);
    void redraw();
    void drawPort(int port, qint64 sinceMs);
    void drawActions(qint64 sinceMs);
    // Draws the series on both axes; hovering it shows hoverText(port, ...).
    void addSeries(QXYSeries* series, int port);
    template <typename Series> void removeSeries(Series*& series);
    QString seriesName(int port) const;
    void describe();

    const PowerSamples& history_;
    OperatorFeedback& feedback_;
    PortLegend* ports_ = nullptr;
    QComboBox* range_ = nullptr;
    QChart* chart_ = nullptr;
    QChartView* view_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* powerAxis_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* export_ = nullptr;
    std::array<QLineSeries*, MaxPorts + 1> series_{}; // by port
    std::bitset<MaxPorts + 1> dirty_;                 // ports with samples not yet drawn
    std::array<double, MaxPorts + 1> highest_{};      // by port: the highest power drawn, W
    QScatterSeries* actions_ = nullptr;
    std::vector<OperatorAction> drawnActions_;
    bool actionsDirty_ = true;
    QTimer redrawTimer_;
    QElapsedTimer dirtySince_; // since the first change not yet drawn
    qint64 drawnSince_ = 0;
};
