#pragma once

#include "links/serial/SerialPortInfo.h"

#include <optional>

// The text a port gets in the COM port list, or nothing when its name gives none. A device
// node of this machine shows its device name (ttyUSB0, ttyS0, ttyV0); otherwise the name is
// taken from the end of the friendly name, as in "USB Serial Port (COM10)" or a bare "COM4".
std::optional<QString> comPortEntry(const SerialPortInfo& port);
