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

// The power history as the History window reads it. Header only: the window lives in a module
// loaded at run time, which takes nothing from the program but what it is handed.
class PowerSamples
{
public:
    // The samples of a port are at least this far apart.
    static constexpr qint64 IntervalMs = 10000;

    virtual bool isEmpty() const = 0;
    virtual int sampleCount(int port) const = 0;
    // Calls visit for the port's samples taken at or after sinceMs, oldest first.
    virtual void forEach(int port, qint64 sinceMs, const std::function<void(const PowerSample&)>& visit) const = 0;

    // The clock's time now, and the date and time (UTC) of a moment on it.
    virtual qint64 now() const = 0;
    virtual QDateTime timeOf(qint64 atMs) const = 0;

    // Writes every port's samples as CSV to the file. Returns the reason of a failure, else nothing.
    virtual QString exportCsv(const QString& path) const = 0;

    // Calls changed(port) after each new sample of a port and changed(0) when all were cleared,
    // for as long as context lives.
    virtual void watch(QObject* context, std::function<void(int port)> changed) const = 0;

protected:
    ~PowerSamples() = default;
};
