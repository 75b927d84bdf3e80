#pragma once

#include <QString>

#include <optional>
#include <vector>

// One port as a status read finds it. A value the device did not give as a number stays empty.
struct PortReading {
    int port = 0;
    std::optional<int> status; // the device's status code; lampForStatus() tells its meaning
    std::optional<bool> enabled;
    std::optional<int> powerMw;
    std::optional<double> voltageV;
    std::optional<int> currentMa;
    std::optional<bool> legacy; // legacy (pre-standard) signature detection
    QString description;
};

// The unit and every port, from one status read.
struct UnitReading {
    QString firmware;
    QString hardware;
    int portCount = 0;
    QString description;
    std::vector<PortReading> ports;
};

// How a write ended. A write is done only when reading the object back shows the new value.
struct WriteResult {
    enum class Outcome {
        Done,
        AlreadySo, // the device held the value already; nothing was written
        NoAnswer,
        Refused,
        NotHeld, // accepted, but the object reads back otherwise
    };
    Outcome outcome = Outcome::Done;
    QString detail; // for the operator: the device's or the library's words, or the value read back

    bool succeeded() const { return outcome == Outcome::Done || outcome == Outcome::AlreadySo; }
};

// Request and reply with one midspan, for programs without a window: each call returns once the
// device has answered or its time-outs have run out. Ports are numbered from 1.
class MidspanAccess
{
public:
    virtual ~MidspanAccess() = default;

    // Where the midspan is, as the operator named it: an address or a serial port.
    virtual QString name() const = 0;
    // Why the last read failed.
    virtual QString errorText() const = 0;

    // The model the midspan names itself; nothing when it does not answer.
    virtual std::optional<QString> readModel() = 0;
    virtual std::optional<int> readPortCount() = 0;
    virtual std::optional<UnitReading> readStatus() = 0;

    virtual WriteResult setPortEnabled(int port, bool enabled) = 0;
    // Descriptions are at most DescriptionLength characters of Latin-1.
    virtual WriteResult setPortDescription(int port, const QString& text) = 0;
    virtual WriteResult setSystemDescription(const QString& text) = 0;

    static constexpr int DescriptionLength = 10;
};
