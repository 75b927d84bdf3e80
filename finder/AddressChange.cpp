#include "finder/AddressChange.h"

#include "finder/Datagrams.h"

namespace finder
{

bool AddressChange::validAddress(const Ipv4& ip)
{
    return ip != Ipv4{} && ip[0] < 224 && ip[0] != 127 && ip[3] != 255;
}

bool AddressChange::validMask(const Ipv4& mask)
{
    return mask != Ipv4{} && mask[0] == 255;
}

QByteArray AddressChange::passwordBytes(const QString& password)
{
    return password.left(Datagrams::maxPasswordLength).toLatin1();
}

AddressChange::Plan AddressChange::plan(const ModuleRecord& module, const AddressEntry& entry)
{
    const Ipv4 ip = DottedAddress::parse(entry.ip);
    const Ipv4 mask = DottedAddress::parse(entry.mask);
    if (!validAddress(ip))
        return {Verdict::InvalidAddress, {}};
    if (!validMask(mask))
        return {Verdict::InvalidMask, {}};
    if (ip == module.ip && mask == module.mask)
        return {Verdict::NoChange, {}};

    Plan plan{Verdict::Send, {}};
    const QByteArray password = passwordBytes(entry.password);
    if (!password.isEmpty())
        plan.datagrams.append(Datagrams::authorisation(module.mac, password));
    if (ip != module.ip)
        plan.datagrams.append(Datagrams::setAddress(ip, module.mac));
    if (mask != module.mask)
        plan.datagrams.append(Datagrams::setMask(ip, mask, module.mac));
    return plan;
}

} // namespace finder
