#pragma once

#include <QString>

#include <vector>

class Clock;

// Switches ports on at once over the serial line at `devicePath`, request by request as
// spanmon-cli does: each port is read, written and read back. A device that stops answering is
// not asked about the rest. The ports left off (all of them when the line cannot be opened).
std::vector<int> switchPortsBackOn(const QString& devicePath, Clock& clock, const std::vector<int>& ports);
