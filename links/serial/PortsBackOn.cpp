#include "links/serial/PortsBackOn.h"

#include "links/serial/SerialMidspan.h"

std::vector<int> switchPortsBackOn(const QString& devicePath, Clock& clock, const std::vector<int>& ports)
{
    SerialMidspan midspan(devicePath, devicePath, clock);
    if (!midspan.open())
        return ports;
    std::vector<int> failed;
    for (auto port = ports.begin(); port != ports.end(); ++port) {
        const WriteResult result = midspan.setPortEnabled(*port, true);
        if (result.outcome == WriteResult::Outcome::NoAnswer) {
            failed.insert(failed.end(), port, ports.end());
            break;
        }
        if (!result.succeeded())
            failed.push_back(*port);
    }
    return failed;
}
