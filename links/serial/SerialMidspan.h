#pragma once

#include "core/MidspanAccess.h"
#include "links/serial/SerialExchange.h"
#include "links/serial/SerialProtocol.h"

#include <cstdint>

class Clock;

// A midspan on a serial line, asked request by request by programs without a window. A status
// read is the system status and the status of every port; the classification reads of the
// window's cycle are left out. A write reads the port (or the system) first, writes only what
// differs, keeps the rest of the port's settings (its legacy detection and description, or its
// enable state) as the device reports them, and reads back after the acknowledgement.
class SerialMidspan : public MidspanAccess
{
public:
    // Missed or damaged replies in a row that end a request, as they end the window's session.
    static constexpr int Tries = 3;

    SerialMidspan(const QString& name, const QString& devicePath, Clock& clock);

    // Opens the port; errorText() says why it could not.
    bool open();
    // The model text: Identify, then LegacyIdentify when Identify goes unanswered (empty text
    // for codes the model table does not know). Nothing when no midspan answers.
    std::optional<QString> identify();

    QString name() const override { return name_; }
    QString errorText() const override { return error_; }

    std::optional<QString> readModel() override { return identify(); }
    std::optional<int> readPortCount() override;
    std::optional<UnitReading> readStatus() override;
    WriteResult setPortEnabled(int port, bool enabled) override;
    WriteResult setPortDescription(int port, const QString& text) override;
    WriteResult setSystemDescription(const QString& text) override;

private:
    struct PortSettings {
        PortReading reading;
        bool legacy = false;
    };

    bool request(const SerialFrame& frame, int tries = Tries);
    std::optional<serialproto::SystemStatus> readSystem();
    std::optional<PortSettings> readPort(int port);
    WriteResult writePort(int port, const PortSettings& before, bool enabled, const QString& description);
    WriteResult noAnswer() const { return {WriteResult::Outcome::NoAnswer, error_}; }

    QString name_;
    QString devicePath_;
    SerialExchange exchange_;
    QString error_;
};
