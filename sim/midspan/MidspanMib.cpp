#include "MidspanMib.h"

#include <algorithm>
#include <array>
#include <utility>

namespace
{

using Object = MidspanMib::Object;

// Scalars end in .0; per-port columns sit under .2.3.1 and end in the port number.
const std::array<std::pair<MidspanMib::Suffix, Object>, 9> scalars{{
    {{2, 1, 0}, Object::Identity},
    {{2, 2, 1, 0}, Object::Reset},
    {{2, 2, 2, 0}, Object::Defaults},
    {{2, 2, 3, 0}, Object::Save},
    {{2, 2, 4, 0}, Object::AllPorts},
    {{2, 2, 6, 0}, Object::Hardware},
    {{2, 2, 7, 0}, Object::PortCount},
    {{2, 2, 10, 0}, Object::Firmware},
    {{2, 2, 11, 0}, Object::SystemDescription},
}};
const std::array<std::pair<unsigned long, Object>, 8> columns{{
    {2, Object::PortAdmin},
    {6, Object::PortDescription},
    {7, Object::PortStatus},
    {11, Object::PortPower},
    {12, Object::PortVoltage},
    {13, Object::PortCurrent},
    {14, Object::PortResistance},
    {18, Object::PortLegacy},
}};

// Firmware byte: high nibble major, low nibble minor. Hardware byte: bits 7-3 major, 2-0 minor.
QByteArray revision(int major, int minor)
{
    return QByteArray::number(major) + '.' + QByteArray::number(minor);
}

} // namespace

MidspanMib::MidspanMib(MidspanModel& model) : model_(model)
{
    for (const auto& scalar : scalars)
        names_.push_back(scalar.first);
    for (const auto& column : columns) {
        for (int p = 1; p <= model_.portCount(); ++p)
            names_.push_back({2, 3, 1, column.first, static_cast<unsigned long>(p)});
    }
    std::sort(names_.begin(), names_.end());
}

MidspanMib::Found MidspanMib::find(const Suffix& name) const
{
    for (const auto& scalar : scalars) {
        if (name == scalar.first)
            return {Error::None, scalar.second};
    }
    if (name.size() == 5 && name[0] == 2 && name[1] == 3 && name[2] == 1) {
        for (const auto& column : columns) {
            if (column.first != name[3])
                continue;
            if (name[4] < 1 || name[4] > static_cast<unsigned long>(model_.portCount()))
                return {Error::NoSuchInstance};
            return {Error::None, column.second, static_cast<int>(name[4]) - 1};
        }
    }
    return {Error::NoSuchObject, {}};
}

MidspanMib::Read MidspanMib::get(const Suffix& name) const
{
    const Found found = find(name);
    if (found.error != Error::None)
        return {found.error, {}};
    const auto integer = [](long v) { return Read{Error::None, Value{false, v, {}}}; };
    const auto text = [](const QByteArray& t) { return Read{Error::None, Value{true, 0, t}}; };
    const int i = found.portIndex;
    switch (found.object) {
    case Object::Identity:
        return text(model_.identity());
    case Object::Reset:
    case Object::Defaults:
    case Object::Save:
    case Object::AllPorts:
        // Action objects read 0: nothing is pending.
        return integer(0);
    case Object::Hardware:
        return text(revision(model_.hardware() >> 3, model_.hardware() & 0x07));
    case Object::PortCount:
        return integer(model_.reportedPortCount());
    case Object::Firmware:
        return text(revision(model_.firmware() >> 4, model_.firmware() & 0x0F));
    case Object::SystemDescription:
        return text(model_.systemDescription());
    case Object::PortAdmin:
        return integer(model_.port(i).enabled ? 2 : 1);
    case Object::PortDescription:
        return text(model_.port(i).description);
    case Object::PortStatus:
        return integer(model_.port(i).status);
    case Object::PortPower:
        return integer(model_.port(i).power);
    case Object::PortVoltage: {
        const int tenths = model_.port(i).voltage;
        return text(QByteArray::number(tenths / 10) + '.' + QByteArray::number(tenths % 10));
    }
    case Object::PortCurrent:
        return integer(model_.port(i).current);
    case Object::PortResistance:
        return integer(long(model_.port(i).resistance) * 2);
    case Object::PortLegacy:
        return integer(model_.port(i).legacy ? 2 : 1);
    }
    return {Error::NoSuchObject, {}};
}

std::optional<MidspanMib::Suffix> MidspanMib::next(const Suffix& name) const
{
    const auto it = std::upper_bound(names_.begin(), names_.end(), name);
    if (it == names_.end())
        return std::nullopt;
    return *it;
}

MidspanMib::Error MidspanMib::checkSet(const Suffix& name, const Value& value) const
{
    const Found found = find(name);
    if (found.error != Error::None)
        return Error::NoCreation;
    const auto inRange = [&](long low, long high) {
        if (value.isText)
            return Error::WrongType;
        return value.integer >= low && value.integer <= high ? Error::None : Error::WrongValue;
    };
    switch (found.object) {
    case Object::Reset:
    case Object::Defaults:
    case Object::Save:
        // 1 acts; 0, the value these objects read, does nothing.
        return inRange(0, 1);
    case Object::AllPorts:
        return inRange(0, 2);
    case Object::PortAdmin:
    case Object::PortLegacy:
        return inRange(1, 2);
    case Object::SystemDescription:
    case Object::PortDescription:
        if (!value.isText)
            return Error::WrongType;
        return value.text.size() <= MidspanModel::descriptionLength ? Error::None : Error::WrongLength;
    default:
        return Error::NotWritable;
    }
}

void MidspanMib::set(const Suffix& name, const Value& value)
{
    const Found found = find(name);
    const int i = found.portIndex;
    switch (found.object) {
    case Object::Reset:
        if (value.integer == 1)
            model_.reset();
        break;
    case Object::Defaults:
        if (value.integer == 1)
            model_.restoreFactoryDefaults();
        break;
    case Object::Save:
        if (value.integer == 1)
            model_.saveToFlash();
        break;
    case Object::AllPorts:
        if (value.integer != 0)
            model_.setAllPortsEnabled(value.integer == 2);
        break;
    case Object::SystemDescription:
        model_.setSystemDescription(value.text);
        break;
    case Object::PortDescription:
        model_.setPortDescription(i, value.text);
        break;
    case Object::PortAdmin:
        model_.setPortEnabled(i, value.integer == 2);
        break;
    case Object::PortLegacy:
        model_.setPortLegacy(i, value.integer == 2);
        break;
    default:
        break;
    }
}
