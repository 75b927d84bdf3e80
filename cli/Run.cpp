#include "cli/Run.h"

#include "cli/Commands.h"
#include "core/LinkIni.h"
#include "core/LinkSettingsForm.h"
#include "links/serial/ComPortEntry.h"
#include "links/serial/PortEnumerationError.h"
#include "links/serial/SerialMidspan.h"
#include "links/serial/SerialPortEnumerator.h"
#include "links/snmp/BootCounter.h"
#include "links/snmp/SnmpMidspan.h"
#include "links/snmp/SnmpWorker.h"

#include <QFileInfo>

namespace
{

// Requests of a session are tried as often as in the window's session.
constexpr int SessionRetries = 20;

int runOn(MidspanAccess& midspan, const Invocation& inv, Commands& commands)
{
    switch (inv.command) {
    case Invocation::Command::Status:
        return commands.status(midspan);
    case Invocation::Command::Port:
        return commands.switchPorts(midspan, inv.ports, inv.action, inv.offSeconds);
    case Invocation::Command::Describe:
        return commands.describePort(midspan, inv.ports.front(), inv.text);
    case Invocation::Command::DescribeSystem:
        return commands.describeSystem(midspan, inv.text);
    case Invocation::Command::Find:
        break;
    }
    return Commands::Usage;
}

// A port as the operator names it: a name under /dev, or a path.
QString devicePath(const QString& port)
{
    return port.startsWith(u'/') ? port : QStringLiteral("/dev/") + port;
}

int findOnSerial(const Invocation& inv, Clock& clock, Commands& commands)
{
    std::vector<SerialFind> candidates;
    if (!inv.serialPort.isEmpty()) {
        candidates.push_back({inv.serialPort, devicePath(inv.serialPort), {}});
    } else {
        std::vector<SerialPortInfo> ports;
        try {
            SerialPortEnumerator().enumerateSerialPorts(ports, false);
        } catch (const PortEnumerationError& error) {
            return commands.fail(QStringLiteral("serial ports"), error.text());
        }
        for (const SerialPortInfo& port : ports)
            candidates.push_back({comPortEntry(port).value_or(port.devicePath), port.devicePath, {}});
    }
    std::vector<SerialFind> found;
    for (SerialFind& candidate : candidates) {
        SerialMidspan midspan(candidate.port, candidate.devicePath, clock);
        if (!midspan.open()) {
            // A port of the machine's list may be busy or gone; one named by the operator must open.
            if (!inv.serialPort.isEmpty())
                return commands.fail(candidate.port, midspan.errorText());
            continue;
        }
        if (const auto model = midspan.identify()) {
            candidate.model = *model;
            found.push_back(candidate);
        }
    }
    const QString searched = inv.serialPort.isEmpty() ? QStringLiteral("serial ports") : inv.serialPort;
    return commands.listSerial(searched, found);
}

int runOnSerial(const Invocation& inv, Clock& clock, Commands& commands)
{
    if (inv.command == Invocation::Command::Find)
        return findOnSerial(inv, clock, commands);
    SerialMidspan midspan(inv.serialPort, devicePath(inv.serialPort), clock);
    if (!midspan.open())
        return commands.fail(inv.serialPort, midspan.errorText());
    return runOn(midspan, inv, commands);
}

// The credentials the command needs, from the settings file; the reason when they are missing.
std::optional<QString> missingCredentials(const Invocation& inv, const LinkSettings& s)
{
    for (const QString* text :
         {&s.readCommunity, &s.writeCommunity, &s.user, &s.authPassword, &s.privPassword})
        if (!credentialFits(*text))
            return QStringLiteral(
                "a community, user or pass phrase in Link.ini has a character beyond Latin-1, "
                "which SNMP cannot carry for the midspan");
    if (inv.v3) {
        if (s.user.isEmpty())
            return QStringLiteral("no SNMPv3 user ([SNMPv3] User)");
        if (s.authPassword.size() < LinkSettingsForm::MinimumPassPhrase ||
            s.privPassword.size() < LinkSettingsForm::MinimumPassPhrase)
            return QStringLiteral("SNMPv3 pass phrases ([SNMPv3] AuthPassword, PrivPassword) of at least %1 "
                                  "characters are needed")
                .arg(LinkSettingsForm::MinimumPassPhrase);
        return std::nullopt;
    }
    if (s.readCommunity.isEmpty())
        return QStringLiteral("no read community ([Community] Read)");
    if (inv.writes() && s.writeCommunity.isEmpty())
        return QStringLiteral("no set community ([Community] Set)");
    return std::nullopt;
}

int runOnSnmp(const Invocation& inv, Clock& clock, Commands& commands)
{
    const QFileInfo file(inv.settingsPath);
    if (!file.isFile())
        return commands.fail(inv.settingsPath,
                             QStringLiteral("no settings file: the communities and the SNMPv3 user come "
                                            "from Link.ini (or --settings FILE)"),
                             Commands::Usage);
    const LinkSettings settings = LinkIni(inv.settingsPath).read();
    if (const auto missing = missingCredentials(inv, settings))
        return commands.fail(inv.settingsPath, *missing, Commands::Usage);

    SnmpTarget target;
    target.v3 = inv.v3;
    target.readCommunity = credentialOctets(settings.readCommunity);
    target.writeCommunity = credentialOctets(settings.writeCommunity);
    target.user = credentialOctets(settings.user);
    target.authPassphrase = credentialOctets(settings.authPassword);
    target.privPassphrase = credentialOctets(settings.privPassword);
    target.timeout = SnmpWorker::requestTimeout;
    target.discoveryTimeout = SnmpWorker::discoveryTimeout;
    target.retries = SessionRetries;

    initSnmpLibrary();
    // In the current folder, as the window keeps it.
    SnmpMidspan::setUpEngine(inv.v3, QString::fromLatin1(BootCounter::fileName));

    if (inv.command == Invocation::Command::Find) {
        const auto range = inv.range ? inv.range : SearchRange::fromSettings(settings.ip, settings.endIp);
        if (!range)
            return commands.fail(inv.settingsPath,
                                 QStringLiteral("no address range ([IPAdress] IP \"%1\", EndIP \"%2\")")
                                     .arg(settings.ip, settings.endIp),
                                 Commands::Usage);
        target.port = inv.rangePort;
        const QString name = range->address(range->first) +
                             (range->size() > 1 ? u'-' + QString::number(range->last) : QString());
        return commands.listNetwork(name, rangeSearch::search(*range, target));
    }
    target.address = inv.snmpAddress;
    target.port = inv.snmpPort;
    SnmpMidspan midspan(target, clock);
    return runOn(midspan, inv, commands);
}

} // namespace

int runInvocation(const Invocation& inv, Clock& clock, QTextStream& out, QTextStream& err)
{
    Commands commands(clock, out, err, inv.json);
    return inv.onSerial() ? runOnSerial(inv, clock, commands) : runOnSnmp(inv, clock, commands);
}
