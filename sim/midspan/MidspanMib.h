#pragma once

#include "MidspanModel.h"

#include <QByteArray>

#include <optional>
#include <vector>

// The private MIB under 1.3.6.1.4.1.24852 over the device model, without any SNMP library type:
// objects are named by the sub-identifiers below the enterprise number.
class MidspanMib
{
public:
    using Suffix = std::vector<unsigned long>;

    enum class Error {
        None,
        NoSuchObject,
        NoSuchInstance,
        NotWritable,
        NoCreation,
        WrongType,
        WrongLength,
        WrongValue
    };

    struct Value {
        bool isText = false;
        long integer = 0;
        QByteArray text;
    };

    struct Read {
        Error error = Error::None;
        Value value;
    };

    enum class Object {
        Identity,
        Reset,
        Defaults,
        Save,
        AllPorts,
        Hardware,
        PortCount,
        Firmware,
        SystemDescription,
        PortAdmin,
        PortDescription,
        PortStatus,
        PortPower,
        PortVoltage,
        PortCurrent,
        PortResistance,
        PortLegacy,
    };

    explicit MidspanMib(MidspanModel& model);

    Read get(const Suffix& name) const;
    // The first object after name, in OID order.
    std::optional<Suffix> next(const Suffix& name) const;
    Error checkSet(const Suffix& name, const Value& value) const;
    // Applies a value checkSet accepted.
    void set(const Suffix& name, const Value& value);

private:
    struct Found {
        Error error = Error::None;
        Object object = Object::Identity;
        int portIndex = -1;
    };

    Found find(const Suffix& name) const;

    MidspanModel& model_;
    std::vector<Suffix> names_;
};
