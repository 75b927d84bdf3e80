#pragma once

#include "links/serial/SerialPortInfo.h"

#include <functional>
#include <vector>

// Lists the serial ports of this machine: the ports the system knows, and the virtual ports,
// links such as /dev/ttyV0 that point at a pseudo-terminal (made by socat or the midspan
// simulator), which the system list does not show.
class SerialPortEnumerator
{
public:
    using OpenTest = std::function<bool(const QString& devicePath)>;
    using PortSource = std::function<std::vector<SerialPortInfo>()>;

    SerialPortEnumerator();

    // Where the machine's own serial ports come from: the platform's list unless replaced.
    void setSystemPorts(PortSource source) { systemPorts_ = std::move(source); }

    // Virtual ports are the entries of directory whose names match pattern (wildcards).
    void setVirtualPorts(const QString& directory, const QString& pattern);

    // Fills ports (emptied first). Throws PortEnumerationError with the operator's text.
    void enumerateSerialPorts(std::vector<SerialPortInfo>& ports, bool ignoreBusyPorts) const;

    // The rules applied to every record found: busy ports dropped when asked, friendly name
    // and description filled in from what there is.
    static void postProcess(std::vector<SerialPortInfo>& ports, bool ignoreBusyPorts,
                            const OpenTest& canOpen);

    // Links in directory matching pattern whose target is a pseudo-terminal.
    static std::vector<SerialPortInfo> virtualPorts(const QString& directory, const QString& pattern);

private:
    PortSource systemPorts_;
    QString directory_ = QStringLiteral("/dev");
    QString pattern_ = QStringLiteral("ttyV*");
};
