#pragma once

#include "finder/ModuleRecord.h"

#include <QByteArrayView>

#include <optional>
#include <vector>

namespace finder
{

// The modules found by the current search, in order of arrival; each search starts it again.
class DeviceTable
{
public:
    static constexpr int capacity = 255;

    enum class Outcome {
        Listed,   // a search reply, now the last record
        Ignored,  // 20 bytes but another command: read on
        EndOfPass // not 20 bytes: the reading pass ends here
    };

    // Takes one received datagram. Only call it while the table is not full.
    Outcome offer(QByteArrayView datagram);

    void clear() { records_.clear(); }
    int count() const { return static_cast<int>(records_.size()); }
    bool full() const { return count() >= capacity; }

    // The record behind a list line's item data, if that index is inside the table.
    std::optional<ModuleRecord> record(int index) const;

private:
    std::vector<ModuleRecord> records_;
};

} // namespace finder
