#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class QObject;

// One sample of a port: when, on the program's clock, and what the pass read.
struct PowerSample {
    qint64 atMs = 0;
    float powerMw = 0;
    float voltageV = 0;
    float currentMa = 0;
    int status = 0;
};

// What the operator did to the unit: kept beside the samples, so that a switch or a power-cycle
// between two samples still shows.
struct OperatorAction {
    enum class Kind { PortOn, PortOff, CycleStart, CycleEnd, SystemReset };
    qint64 atMs = 0;
    Kind kind = Kind::PortOn;
    int port = 0; // 0: the whole unit
};

// The action as the CSV's "action" column and the chart's markers name it.
inline QString actionText(OperatorAction::Kind kind)
{
    switch (kind) {
    case OperatorAction::Kind::PortOn:
        return QStringLiteral("port on");
    case OperatorAction::Kind::PortOff:
        return QStringLiteral("port off");
    case OperatorAction::Kind::CycleStart:
        return QStringLiteral("power-cycle start");
    case OperatorAction::Kind::CycleEnd:
        return QStringLiteral("power-cycle end");
    case OperatorAction::Kind::SystemReset:
        return QStringLiteral("system reset");
    }
    return {};
}

// The power history as the History window reads it. Header only: the window lives in a module
// loaded at run time, which takes nothing from the program but what it is handed.
class PowerSamples
{
public:
    // The samples of a port are at least this far apart.
    static constexpr qint64 IntervalMs = 10000;
    static constexpr int ActionsChanged = -1;

    virtual bool isEmpty() const = 0;
    virtual int sampleCount(int port) const = 0;
    // Calls visit for the port's samples taken at or after sinceMs, oldest first.
    virtual void forEach(int port, qint64 sinceMs,
                         const std::function<void(const PowerSample&)>& visit) const = 0;

    // Calls visit for the operator's actions taken at or after sinceMs, oldest first.
    virtual void forEachAction(qint64 sinceMs,
                               const std::function<void(const OperatorAction&)>& visit) const = 0;

    // The unit the history came from: its address or serial port, and its model; empty before
    // the first session.
    virtual QString unitAddress() const = 0;
    virtual QString unitModel() const = 0;
    // The description the operator gave the port, empty when none.
    virtual QString portDescription(int port) const = 0;

    // The clock's time now, and the date and time (UTC) of a moment on it.
    virtual qint64 now() const = 0;
    virtual QDateTime timeOf(qint64 atMs) const = 0;

    // Writes every port's samples as CSV to the file. Returns the reason of a failure, else nothing.
    virtual QString exportCsv(const QString& path) const = 0;

    // Calls changed(port) after each new sample of a port, changed(0) when all were cleared and
    // changed(ActionsChanged) after each operator action,
    // for as long as context lives.
    virtual void watch(QObject* context, std::function<void(int port)> changed) const = 0;

protected:
    ~PowerSamples() = default;
};
