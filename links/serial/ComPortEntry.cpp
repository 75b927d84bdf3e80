#include "links/serial/ComPortEntry.h"

std::optional<QString> comPortEntry(const SerialPortInfo& port)
{
    if (port.devicePath.startsWith(u'/') && !port.portName.isEmpty())
        return port.portName;
    // The last six characters hold "(COMn)" or "COMnn)"; three-digit numbers do not fit.
    const QString tail = port.friendlyName.right(6);
    if (tail.startsWith(u'C'))
        return tail.left(5);
    if (tail.startsWith(u'('))
        return tail.mid(1, 4);
    return std::nullopt;
}
