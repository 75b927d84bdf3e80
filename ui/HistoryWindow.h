#pragma once

#include "core/DeviceState.h"

#include <QDialog>
#include <QTimer>

#include <array>
#include <bitset>

class OperatorFeedback;
class PowerHistory;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QListWidget;
class QPushButton;
class QValueAxis;

// "Power History": the chosen ports' power over the last 10 minutes, hour or 24 hours, drawn
// from the session's PowerHistory and redrawn as new samples come; "Export CSV..." writes every
// port's samples. It only draws and forwards: sampling and the file belong to PowerHistory.
class HistoryWindow : public QDialog
{
    Q_OBJECT

public:
    HistoryWindow(const PowerHistory& history, OperatorFeedback& feedback, QWidget* parent = nullptr);

    // Chooses this port alone (1..MaxPorts) to be drawn.
    void chooseOnly(int port);
    void setPortChosen(int port, bool chosen);
    bool isPortChosen(int port) const;
    // The span drawn, up to now: 10 minutes, an hour or 24 hours, by the range list's order.
    void setRangeIndex(int index);
    // Asks for a file and writes the CSV into it; says why when it cannot.
    void exportCsv();

    // What is drawn, for tests and screen readers.
    const QLineSeries* series(int port) const { return series_[std::size_t(port)]; }
    QString note() const;
    // Where the drawn span began, on the clock of the history.
    qint64 drawnSince() const { return drawnSince_; }

private:
    void build();
    void markDirty(int port);
    void redraw();
    void drawPort(int port, qint64 sinceMs);
    void describe();

    const PowerHistory& history_;
    OperatorFeedback& feedback_;
    QListWidget* ports_ = nullptr;
    QComboBox* range_ = nullptr;
    QChart* chart_ = nullptr;
    QChartView* view_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* powerAxis_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* export_ = nullptr;
    std::array<QLineSeries*, MaxPorts + 1> series_{}; // by port
    std::bitset<MaxPorts + 1> dirty_;                 // ports with samples not yet drawn
    QTimer redrawTimer_;
    qint64 drawnSince_ = 0;
};
