#include "links/serial/SerialPortEnumerator.h"

#include "links/serial/PortEnumerationError.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>

namespace
{

bool opensExclusively(const QString& devicePath)
{
    QSerialPort port;
    port.setPortName(devicePath);
    if (!port.open(QIODevice::ReadWrite))
        return false;
    port.close();
    return true;
}

bool isPseudoTerminal(const QString& path)
{
    return path.startsWith(QLatin1String("/dev/pts/")) || path.startsWith(QLatin1String("/dev/ttyp"));
}

std::vector<SerialPortInfo> systemPorts()
{
    std::vector<SerialPortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialPortInfo port;
        port.devicePath = info.systemLocation();
        port.portName = info.portName();
        if (!info.description().isEmpty())
            port.friendlyName = info.description() + QStringLiteral(" (") + info.portName() + u')';
        // Only USB devices carry a vendor identifier.
        port.isUsb = info.hasVendorIdentifier();
        ports.push_back(port);
    }
    return ports;
}

} // namespace

SerialPortEnumerator::SerialPortEnumerator() : systemPorts_(systemPorts) {}

void SerialPortEnumerator::setVirtualPorts(const QString& directory, const QString& pattern)
{
    directory_ = directory;
    pattern_ = pattern;
}

std::vector<SerialPortInfo> SerialPortEnumerator::virtualPorts(const QString& directory,
                                                               const QString& pattern)
{
    std::vector<SerialPortInfo> ports;
    const QDir dir(directory);
    if (!dir.exists())
        return ports;
    if (!dir.isReadable())
        throw PortEnumerationError(QStringLiteral("Could not read from ") + directory);
    const QFileInfoList entries = dir.entryInfoList({pattern}, QDir::System | QDir::Files, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (!entry.isSymLink() || !isPseudoTerminal(entry.canonicalFilePath()))
            continue;
        SerialPortInfo port;
        port.devicePath = entry.absoluteFilePath();
        port.portName = entry.fileName();
        ports.push_back(port);
    }
    return ports;
}

void SerialPortEnumerator::enumerateSerialPorts(std::vector<SerialPortInfo>& ports,
                                                bool ignoreBusyPorts) const
{
    ports.clear();
    std::vector<SerialPortInfo> found = systemPorts_();
    for (SerialPortInfo& port : virtualPorts(directory_, pattern_)) {
        const bool known = std::any_of(found.begin(), found.end(), [&](const SerialPortInfo& p) {
            return p.devicePath == port.devicePath;
        });
        if (!known)
            found.push_back(std::move(port));
    }
    ports = std::move(found);
    postProcess(ports, ignoreBusyPorts, opensExclusively);
}

void SerialPortEnumerator::postProcess(std::vector<SerialPortInfo>& ports, bool ignoreBusyPorts,
                                       const OpenTest& canOpen)
{
    for (std::size_t i = 0; i < ports.size();) {
        SerialPortInfo& port = ports[i];
        if (ignoreBusyPorts && !canOpen(port.devicePath)) {
            ports.erase(ports.begin() + std::ptrdiff_t(i));
            continue; // the next record has moved into slot i
        }
        if (port.friendlyName.isEmpty())
            port.friendlyName = port.portName;
        if (port.portDescription.isEmpty()) {
            port.portDescription = port.friendlyName;
            const qsizetype open = port.portDescription.indexOf(QLatin1String(" ("));
            const qsizetype close = port.portDescription.indexOf(u')');
            if (open > 0 && close == port.portDescription.size() - 1)
                port.portDescription.truncate(open);
        }
        ++i;
    }
}
