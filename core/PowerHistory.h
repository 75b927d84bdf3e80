#pragma once

#include "core/DeviceState.h"
#include "core/PassObserver.h"
#include "core/PowerSamples.h"

#include <QObject>

#include <array>
#include <deque>
#include <vector>

class Clock;

// The power history of the session: each port's power, voltage, current and status, sampled from
// the passes, at most once per port every IntervalMs of the program's clock (Clock::elapsed).
//
// Each port keeps its samples in a ring of Capacity slots, a little more than 24 hours of them,
// taken whole with the port's first sample; the oldest sample makes room for the newest, so the
// memory is bounded however long the session runs. A new session starts with an empty history;
// the last session's stays until then, so that it can still be exported after a loss.
class PowerHistory : public QObject, public PassObserver, public PowerSamples
{
    Q_OBJECT

public:
    static constexpr qint64 KeptMs = 24 * 3600000 + 10 * 60000;
    static constexpr int Capacity = int(KeptMs / IntervalMs);
    // The sample columns first, as they always were, then the unit and the operator's action.
    static constexpr char CsvHeader[] = "time,port,power_mW,voltage_V,current_mA,status,unit,model,action";

    explicit PowerHistory(const Clock& clock, QObject* parent = nullptr);

    // The port descriptions come from the device record.
    void describeFrom(const DeviceState& state) { state_ = &state; }
    // The unit of the running session; kept with its history until the next one.
    void setUnit(const QString& address, const QString& model);
    // Stamps an operator action with the clock's time; actions older than KeptMs are dropped.
    void record(OperatorAction::Kind kind, int port);

    void portRead(const PassReading& reading) override;
    void displayCleared(bool sessionEnded) override;

    bool isEmpty() const override;
    int sampleCount(int port) const override;
    void forEach(int port, qint64 sinceMs,
                 const std::function<void(const PowerSample&)>& visit) const override;
    void forEachAction(qint64 sinceMs,
                       const std::function<void(const OperatorAction&)>& visit) const override;
    QString unitAddress() const override { return unitAddress_; }
    QString unitModel() const override { return unitModel_; }
    QString portDescription(int port) const override;
    qint64 now() const override;
    QDateTime timeOf(qint64 atMs) const override;
    void watch(QObject* context, std::function<void(int port)> changed) const override;

    // Every port's samples and the operator's actions in the order they were taken, one line each
    // after CsvHeader; times in ISO 8601 UTC, values as read, an empty field where the cell held
    // no number. Every line names the unit; a sample's action is empty, an action's values are.
    QByteArray csv() const;
    // Writes csv() to the file through a temporary file renamed over it, so that an existing file
    // is either replaced whole or left as it was. Returns the reason of a failure, else nothing.
    QString exportCsv(const QString& path) const override;

signals:
    void sampled(int port);
    void acted();
    void cleared();

private:
    struct Ring {
        std::vector<PowerSample> buffer;
        int first = 0; // the oldest sample's slot
        int count = 0;
        const PowerSample& at(int i) const { return buffer[std::size_t((first + i) % Capacity)]; }
    };

    void clear();
    static int firstAtOrAfter(const Ring& ring, qint64 sinceMs);

    const Clock& clock_;
    QDateTime epoch_;                      // the date and time at the clock's zero
    std::array<Ring, MaxPorts + 1> rings_; // by port
    std::deque<OperatorAction> actions_;
    const DeviceState* state_ = nullptr;
    QString unitAddress_;
    QString unitModel_;
    bool sessionEnded_ = false;
};
