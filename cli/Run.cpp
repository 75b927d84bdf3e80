#include "cli/Run.h"

#include "cli/Commands.h"
#include "cli/SettingsSearch.h"
#include "links/serial/ComPortEntry.h"
#include "links/serial/PortEnumerationError.h"
#include "links/serial/SerialMidspan.h"
#include "links/serial/SerialPortEnumerator.h"
#include "links/snmp/BootCounter.h"
#include "links/snmp/LinkIni.h"
#include "links/snmp/LinkSettingsForm.h"
#include "links/snmp/SnmpMidspan.h"
#include "links/snmp/SnmpWorker.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

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
        return commands.switchPorts(midspan, inv.allPorts ? std::vector<int>() : inv.ports, inv.action,
                                    inv.offSeconds);
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

// A port that is not there is a mistake on the command line; one this user may not open needs
// the group that owns serial ports.
std::optional<int> refuseSerialPort(const QString& port, const QString& path, Commands& commands)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return commands.fail(port, QStringLiteral("there is no serial port %1").arg(path), Commands::Usage);
    return std::nullopt;
}

int failToOpen(const QString& port, const QString& path, const SerialMidspan& midspan, Commands& commands)
{
    if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return commands.fail(port, midspan.errorText() +
                                       QStringLiteral(": join the dialout group (sudo adduser $USER dialout) "
                                                      "and log in again"));
    return commands.fail(port, midspan.errorText());
}

int findOnSerial(const Invocation& inv, Clock& clock, Commands& commands)
{
    std::vector<SerialFind> candidates;
    if (!inv.serialPort.isEmpty()) {
        if (const auto refused = refuseSerialPort(inv.serialPort, devicePath(inv.serialPort), commands))
            return *refused;
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
                return failToOpen(candidate.port, candidate.devicePath, midspan, commands);
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
    const QString path = devicePath(inv.serialPort);
    if (const auto refused = refuseSerialPort(inv.serialPort, path, commands))
        return *refused;
    SerialMidspan midspan(inv.serialPort, path, clock);
    if (!midspan.open())
        return failToOpen(inv.serialPort, path, midspan, commands);
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

// A file that cannot be read is most often another user's, so its owner is named.
QString readProblem(const QString& path, const QString& problem)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isSymLink() && info.ownerId() != ::geteuid())
        return QStringLiteral("cannot read it: %1 (the file belongs to %2)").arg(problem, info.owner());
    return QStringLiteral("cannot read it: %1").arg(problem);
}

int runOnSnmp(const Invocation& inv, Clock& clock, Commands& commands)
{
    const SettingsSource source = findSettings(SettingsPlaces::ofThisProcess(inv.settingsPath));
    if (source.path.isEmpty())
        return commands.fail(inv.settingsPath.isEmpty() ? QStringLiteral("settings") : inv.settingsPath,
                             source.problem, Commands::Usage);
    if (inv.verbose)
        commands.note(QStringLiteral("settings from %1").arg(source.path));
    std::optional<QString> problem;
    const LinkSettings settings = LinkIni(source.path).read(&problem);
    if (problem)
        return commands.fail(source.path, readProblem(source.path, *problem), Commands::Usage);
    if (const auto missing = missingCredentials(inv, settings))
        return commands.fail(source.path, *missing, Commands::Usage);
    commands.setSilenceHint(
        inv.v3
            ? QStringLiteral("the agent is down or out of reach, or it does not know the SNMPv3 user of %1")
                  .arg(source.path)
            : QStringLiteral("the agent is down or out of reach, or the community of %1 is wrong (an agent "
                             "does not answer a community it does not know)")
                  .arg(source.path));

    SnmpTarget target;
    target.v3 = inv.v3;
    target.readCommunity = credentialOctets(settings.readCommunity);
    target.writeCommunity = credentialOctets(settings.writeCommunity);
    target.user = credentialOctets(settings.user);
    target.authPassphrase = credentialOctets(settings.authPassword);
    target.privPassphrase = credentialOctets(settings.privPassword);
    target.timeout = SnmpWorker::requestTimeout;
    target.discoveryTimeout = SnmpWorker::discoveryTimeout;
    if (inv.timeoutSeconds) {
        target.timeout = std::chrono::milliseconds(std::lround(*inv.timeoutSeconds * 1000));
        target.discoveryTimeout = target.timeout;
    }
    const bool find = inv.command == Invocation::Command::Find;
    target.retries = inv.retries.value_or(find ? rangeSearch::Retries : SessionRetries);

    initSnmpLibrary();
    if (inv.v3) {
        const QString folder = QFileInfo(source.bootCounterPath).path();
        if (!QDir().mkpath(folder))
            return commands.fail(folder, QStringLiteral("cannot make the folder of the SNMPv3 boot counter"));
        if (inv.verbose)
            commands.note(QStringLiteral("SNMPv3 boot counter in %1").arg(source.bootCounterPath));
    }
    SnmpMidspan::setUpEngine(inv.v3, source.bootCounterPath);

    if (find) {
        const std::optional<SearchRange> range = inv.range ? inv.range : settings.range();
        if (!range)
            return commands.fail(source.path,
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
    Commands commands(clock, out, err, inv.format, inv.header);
    return commands.finish(inv.onSerial() ? runOnSerial(inv, clock, commands)
                                          : runOnSnmp(inv, clock, commands));
}
