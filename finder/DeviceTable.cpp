#include "finder/DeviceTable.h"

namespace finder
{

DeviceTable::Outcome DeviceTable::offer(QByteArrayView datagram)
{
    if (datagram.size() != ModuleRecord::replySize)
        return Outcome::EndOfPass;
    const auto record = ModuleRecord::fromReply(datagram);
    if (!record || full())
        return Outcome::Ignored;
    records_.push_back(*record);
    return Outcome::Listed;
}

std::optional<ModuleRecord> DeviceTable::record(int index) const
{
    if (index < 0 || index >= count())
        return std::nullopt;
    return records_[static_cast<std::size_t>(index)];
}

} // namespace finder
