#pragma once

#include "core/MidspanAccess.h"
#include "links/snmp/SnmpClient.h"

#include <functional>
#include <memory>

class Clock;

// A midspan's SNMP agent, read and written through the private MIB by programs without a window.
// A status read asks for the unit's objects in one request and for the objects of several ports
// in each further one. A write reads the object first and writes only a value that differs;
// after the pause the worker also takes after a set, it reads the object back.
class SnmpMidspan : public MidspanAccess
{
public:
    // Ports whose objects go into one request: 28 objects, an answer of well under 1500 bytes.
    static constexpr int PortsPerRequest = 4;

    // The set-up of the window's worker before SNMP requests: the local engine ID and, for
    // SNMPv3, the boot counter in bootCounterPath advanced by one.
    static void setUpEngine(bool v3, const QString& bootCounterPath);

    // Opens the session after setUpEngine(); an SNMPv3 session discovers the agent's engine ID.
    SnmpMidspan(const SnmpTarget& target, Clock& clock);
    ~SnmpMidspan() override;

    QString name() const override { return target_.address; }
    QString errorText() const override { return error_; }

    std::optional<QString> readModel() override;
    std::optional<int> readPortCount() override;
    std::optional<UnitReading> readStatus() override;
    WriteResult setPortEnabled(int port, bool enabled) override;
    WriteResult setPortDescription(int port, const QString& text) override;
    WriteResult setSystemDescription(const QString& text) override;

private:
    using Matches = std::function<bool(const SnmpValue& read)>;
    using Shown = std::function<QString(const SnmpValue& read)>;

    std::optional<std::vector<SnmpValue>> read(const QStringList& objects);
    WriteResult write(const QString& object, const SnmpValue& value, const Matches& matches,
                      const Shown& shown);
    void noteFailure();
    WriteResult failure() const;
    WriteResult writeText(const QString& object, const QString& text);

    SnmpTarget target_;
    Clock& clock_;
    std::unique_ptr<SnmpClient> client_;
    QString error_;
};
