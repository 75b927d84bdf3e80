#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

// The one device behind the serial line and the SNMP agent. Every member function takes the
// lock, so the agent thread and the Qt thread see the same device.
class MidspanModel
{
public:
    using LegacyCode = std::pair<std::uint8_t, std::uint8_t>;

    struct Config {
        int ports = 24;
        QByteArray modelText = "POE528U-480-24-N";
        std::optional<LegacyCode> legacyCode;
        std::chrono::milliseconds restartTime{10000};
        bool steady = false;
    };

    // Measured values in the units of the serial replies: mW, 0.1 V, mA, 2 ohm, 0.1 mA.
    enum class PortField {
        Enabled,
        Legacy,
        Description,
        Status,
        Power,
        Voltage,
        Current,
        Resistance,
        ClassCurrent
    };

    struct PortReading {
        bool enabled = false;
        bool legacy = false;
        QByteArray description;
        std::uint8_t status = 0;
        std::uint16_t power = 0;
        std::uint16_t voltage = 0;
        std::uint16_t current = 0;
        std::uint16_t resistance = 0;
        std::uint16_t classCurrent = 0;
    };

    static constexpr int descriptionLength = 10;
    static constexpr std::uint8_t statusConnected = 8;
    static constexpr std::uint8_t statusDetecting = 2;
    static constexpr std::uint8_t statusDisabled = 0;

    explicit MidspanModel(const Config& config);

    int portCount() const;
    int reportedPortCount() const;
    void setReportedPortCount(std::optional<int> count);

    QByteArray modelText() const;
    std::optional<LegacyCode> legacyCode() const;
    // The model's code in the legacy model table, for a device that knows only its text.
    std::optional<LegacyCode> legacyCodeForModel() const;
    QByteArray identity() const;
    void setIdentity(std::optional<QByteArray> text);

    std::uint8_t firmware() const;
    std::uint8_t hardware() const;
    void setFirmware(std::uint8_t value);
    // A new firmware image from the loader, with the revision its header gives (if any).
    void installFirmware(const QList<QByteArray>& image, std::optional<std::uint8_t> revision);
    QList<QByteArray> firmwareImage() const;
    void setHardware(std::uint8_t value);
    QByteArray systemDescription() const;
    void setSystemDescription(const QByteArray& text);

    bool isPort(int index) const { return index >= 0 && index < ports_; }
    PortReading port(int index) const;
    long portField(int index, PortField field) const;
    void setPortField(int index, PortField field, long value);
    void setPortDescription(int index, const QByteArray& text);
    void setPortEnabled(int index, bool on);
    void setPortLegacy(int index, bool on);
    void setAllPortsEnabled(bool on);

    void saveToFlash();
    void restoreFactoryDefaults();
    // Settings fall back to the flash copy and the device is deaf until its restart time has passed.
    void reset();
    bool isRestarting() const;
    // Grows with every reset, so a link can drop what it was in the middle of.
    int restartCount() const;

    bool snmpStopped() const;
    void setSnmpStopped(bool stopped);
    // Every SNMP set is refused with notWritable while on.
    bool setsRefused() const;
    void setSetsRefused(bool refused);
    // A set of such an object ("2.2.3.0") is carried out but never answered, as by an agent that
    // loses its answer; retries of it too.
    bool setUnanswered(const QByteArray& object) const;
    void leaveSetsUnanswered(const QByteArray& object);
    void answerAllSets();
    // A get of more objects than this is answered tooBig, as agents with small buffers do; 0: any.
    int maxObjects() const;
    void setMaxObjects(int count);
    // An OCTET STRING the agent returns for an object ("2.2.7.0") instead of its value.
    std::optional<QByteArray> textAnswer(const QByteArray& object) const;
    void setTextAnswer(const QByteArray& object, const QByteArray& text);
    void clearTextAnswers();
    // How long the agent waits before it reads each SNMP request.
    std::chrono::milliseconds snmpDelay() const;
    void setSnmpDelay(std::chrono::milliseconds delay);
    // The SNMP requests the agent has answered, one line each ("get 2.2.10.0", "set 2.2.4.0 2").
    void recordSnmp(const QByteArray& line);
    QList<QByteArray> snmpLog() const;
    void clearSnmpLog();
    // Every change of a port's enabled state written over a link, one line each, as
    // "<ms> port <p> on|off" with the milliseconds since the simulator started.
    QList<QByteArray> portLog() const;
    void clearPortLog();

    static QByteArray padded(const QByteArray& text);

private:
    struct PortSettings {
        bool enabled = true;
        bool legacy = false;
        QByteArray description;
    };
    struct Settings {
        QByteArray systemDescription;
        QList<PortSettings> ports;
    };
    struct PortLoad {
        std::uint8_t status = statusConnected;
        std::uint16_t power = 0;
        std::uint16_t voltage = 0;
        std::uint16_t current = 0;
        std::uint16_t resistance = 0;
        std::uint16_t classCurrent = 0;
    };

    PortReading portLocked(int index) const;
    void enableLocked(int index, bool on);
    std::uint16_t fluctuate(std::uint16_t value, int index, int spread) const;

    mutable std::mutex mutex_;
    const int ports_;
    const QByteArray modelText_;
    const std::optional<LegacyCode> legacyCode_;
    const std::chrono::milliseconds restartTime_;
    const bool steady_;
    const std::chrono::steady_clock::time_point born_ = std::chrono::steady_clock::now();
    std::uint8_t firmware_ = 0x23;
    QList<QByteArray> firmwareImage_;
    std::uint8_t hardware_ = 0x0A;
    Settings factory_;
    Settings flash_;
    Settings live_;
    QList<PortLoad> loads_;
    std::optional<int> reportedPorts_;
    std::optional<QByteArray> identity_;
    std::chrono::steady_clock::time_point silentUntil_{};
    int restarts_ = 0;
    bool snmpStopped_ = false;
    bool setsRefused_ = false;
    QSet<QByteArray> unansweredSets_;
    int maxObjects_ = 0;
    QHash<QByteArray, QByteArray> textAnswers_;
    std::chrono::milliseconds snmpDelay_{0};
    QList<QByteArray> snmpLog_;
    QList<QByteArray> portLog_;
};
