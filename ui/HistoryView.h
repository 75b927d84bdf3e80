#pragma once

#include <QList>
#include <QPointF>
#include <QString>

class OperatorFeedback;
class PowerSamples;
class QFont;
class QWidget;

// The "Power History" window as the program sees it. The window draws with Qt Charts, which
// brings OpenGL and EGL along: it lives in a module of its own (HistoryWindow), loaded by
// HistoryModule the first time the window opens, so that no start of Spanmon waits for them.
// Header only: the module takes nothing from the program but what it is handed.
class HistoryView
{
public:
    virtual QWidget* widget() = 0;

    // Chooses this port alone (1..MaxPorts) to be drawn.
    virtual void chooseOnly(int port) = 0;
    virtual void setPortChosen(int port, bool chosen) = 0;
    virtual bool isPortChosen(int port) const = 0;
    // The span drawn, up to now: 10 minutes, an hour or 24 hours, by the range list's order.
    virtual void setRangeIndex(int index) = 0;
    // Asks for a file and writes the CSV into it; says why when it cannot.
    virtual void exportCsv() = 0;

    // What is drawn, for tests and screen readers: the port's line (milliseconds since the epoch,
    // watts), empty when the port has none.
    virtual QList<QPointF> line(int port) const = 0;
    virtual QString note() const = 0;

protected:
    ~HistoryView() = default;
};

// The module's one entry: a new window drawing the samples, a child of parent (which deletes it).
using CreateHistoryView = HistoryView* (*)(const PowerSamples& samples, OperatorFeedback& feedback,
                                           const QFont& font, QWidget* parent);
inline constexpr char CreateHistoryViewSymbol[] = "spanmon_create_history_view";
