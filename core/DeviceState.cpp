#include "core/DeviceState.h"

#include <algorithm>

bool DeviceState::setPortCount(int reported)
{
    portCount = std::clamp(reported, 0, MaxPorts);
    return reported >= 1 && reported <= MaxPorts;
}
