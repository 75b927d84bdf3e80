#pragma once

#include <QString>

// One serial port of the machine as the enumeration finds it.
struct SerialPortInfo {
    QString devicePath;      // path the port is opened by, e.g. /dev/ttyUSB0
    QString portName;        // short name, e.g. ttyUSB0 or COM3; may be empty
    QString friendlyName;    // display name, e.g. "USB Serial Port (COM5)"
    bool isUsb = false;      // the port belongs to a USB device
    QString portDescription; // friendly name without its trailing " (name)"

    bool operator==(const SerialPortInfo&) const = default;
};
