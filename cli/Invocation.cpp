#include "cli/Invocation.h"

#include "core/DeviceState.h"
#include "core/MidspanAccess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

const QString Description = QStringLiteral(
    R"(Reads and switches a Power-over-Ethernet midspan from scripts, over a serial line or SNMP.

Commands:
  find [serial]               list the midspans: on the network over the range of Link.ini
                              (or --range); on the serial ports found (or --serial) with "serial"
  status                      the unit and every port: status, enabled, power, voltage, current,
                              description
  port N[,M...] on|off|cycle  switch ports; cycle switches them off, waits --off-seconds and
                              switches them on
  describe N TEXT             name port N (at most 10 characters)
  describe-system TEXT        name the midspan (at most 10 characters)

The midspan is on --serial PORT, or its SNMP agent at --snmp ADDRESS, asked with the communities
of Link.ini in the current folder (or --settings FILE), or with its SNMPv3 user (--v3). A write is
read back before it counts.
Exit codes: 0 done; 1 the midspan did not answer or did not take a write (stderr says which);
2 usage or settings.)");

struct Options {
    QCommandLineOption serial{QStringLiteral("serial"),
                              QStringLiteral("The midspan on serial port PORT (ttyUSB0, or a path)."),
                              QStringLiteral("PORT")};
    QCommandLineOption snmp{QStringLiteral("snmp"),
                            QStringLiteral("The midspan's SNMP agent at ADDRESS (UDP port 161 unless "
                                           "ADDRESS:PORT)."),
                            QStringLiteral("ADDRESS")};
    QCommandLineOption v3{QStringLiteral("v3"),
                          QStringLiteral("Use the SNMPv3 user of the settings file, not its communities.")};
    QCommandLineOption settings{QStringLiteral("settings"),
                                QStringLiteral("The network link settings (default: Link.ini in the "
                                               "current folder)."),
                                QStringLiteral("FILE"), QStringLiteral("Link.ini")};
    QCommandLineOption range{QStringLiteral("range"),
                             QStringLiteral("find: the addresses A.B.C.D to A.B.C.E instead of the "
                                            "range of the settings file (:PORT for another UDP port)."),
                             QStringLiteral("A.B.C.D-E")};
    QCommandLineOption offSeconds{QStringLiteral("off-seconds"),
                                  QStringLiteral("port ... cycle: how long the ports stay off (default 5)."),
                                  QStringLiteral("S")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("Write one JSON document instead of a table.")};
};

// A failure to read one argument: the text says what is wrong with it.
struct Refusal {
    QString text;
};

std::optional<int> portNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,2}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int port = text.toInt();
    return port >= 1 && port <= MaxPorts ? std::optional(port) : std::nullopt;
}

std::vector<int> portList(const QString& text)
{
    std::vector<int> ports;
    for (const QString& part : text.split(u',')) {
        const auto port = portNumber(part.trimmed());
        if (!port)
            throw Refusal{QStringLiteral("\"%1\" is no port number (1 to %2)").arg(part).arg(MaxPorts)};
        if (std::find(ports.begin(), ports.end(), *port) == ports.end())
            ports.push_back(*port);
    }
    return ports;
}

// "TEXT" or "TEXT:PORT"; the UDP port is 1..65535.
quint16 splitUdpPort(QString& text, const QString& what)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon < 0)
        return Invocation::SnmpPort;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        throw Refusal{
            QStringLiteral("%1 \"%2\" has no UDP port of 1 to 65535 after its colon").arg(what, text)};
    text.truncate(colon);
    return quint16(port);
}

QString agentAddress(QString text, quint16& port)
{
    const QString given = text;
    port = splitUdpPort(text, QStringLiteral("--snmp"));
    static const QRegularExpression host(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    if (!host.match(text).hasMatch())
        throw Refusal{QStringLiteral("--snmp \"%1\" is no address").arg(given)};
    return text;
}

// A description goes out as single-byte characters, at most ten.
QString descriptionText(const QStringList& words)
{
    const QString text = words.join(u' ').trimmed();
    if (text.size() > MidspanAccess::DescriptionLength)
        throw Refusal{QStringLiteral("\"%1\" is longer than %2 characters")
                          .arg(text)
                          .arg(MidspanAccess::DescriptionLength)};
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0xFF || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            throw Refusal{QStringLiteral("\"%1\" holds a character the midspan cannot keep").arg(text)};
    }
    return text;
}

double offSeconds(const QString& text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > Invocation::MaxOffSeconds)
        throw Refusal{QStringLiteral("--off-seconds \"%1\" is no number of seconds from 0 to %2")
                          .arg(text)
                          .arg(Invocation::MaxOffSeconds)};
    return seconds;
}

void expectWords(const QStringList& words, qsizetype least, qsizetype most, const QString& form)
{
    if (words.size() < least || words.size() > most)
        throw Refusal{QStringLiteral("the command takes: %1").arg(form)};
}

Invocation read(const QCommandLineParser& parser, const Options& o)
{
    Invocation inv;
    QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        throw Refusal{QStringLiteral("no command given")};
    const QString command = words.takeFirst();
    inv.json = parser.isSet(o.json);
    inv.v3 = parser.isSet(o.v3);
    inv.settingsPath = parser.value(o.settings);
    inv.serialPort = parser.value(o.serial);
    if (parser.isSet(o.serial) && inv.serialPort.isEmpty())
        throw Refusal{QStringLiteral("--serial needs a port")};
    if (parser.isSet(o.snmp))
        inv.snmpAddress = agentAddress(parser.value(o.snmp), inv.snmpPort);
    if (parser.isSet(o.serial) && (parser.isSet(o.snmp) || inv.v3 || parser.isSet(o.range)))
        throw Refusal{QStringLiteral("--serial goes with neither --snmp, --v3 nor --range")};
    if (parser.isSet(o.offSeconds))
        inv.offSeconds = offSeconds(parser.value(o.offSeconds));

    if (command == u"find") {
        inv.command = Invocation::Command::Find;
        expectWords(words, 0, 1, QStringLiteral("find [serial]"));
        inv.findOnSerial = parser.isSet(o.serial) || (!words.isEmpty() && words.first() == u"serial");
        if (!words.isEmpty() && words.first() != u"serial")
            throw Refusal{QStringLiteral("find takes \"serial\" or nothing, not \"%1\"").arg(words.first())};
        if (parser.isSet(o.snmp))
            throw Refusal{QStringLiteral("find searches a range: --range A.B.C.D-E, not --snmp")};
        if (inv.findOnSerial && (inv.v3 || parser.isSet(o.range)))
            throw Refusal{QStringLiteral("find serial goes with neither --v3 nor --range")};
        if (parser.isSet(o.range)) {
            QString text = parser.value(o.range);
            inv.rangePort = splitUdpPort(text, QStringLiteral("--range"));
            inv.range = SearchRange::parse(text);
            if (!inv.range)
                throw Refusal{
                    QStringLiteral("--range \"%1\" is no range A.B.C.D-E").arg(parser.value(o.range))};
        }
    } else {
        if (parser.isSet(o.range))
            throw Refusal{QStringLiteral("--range belongs to find")};
        if (command == u"status") {
            inv.command = Invocation::Command::Status;
            expectWords(words, 0, 0, QStringLiteral("status"));
        } else if (command == u"port") {
            inv.command = Invocation::Command::Port;
            expectWords(words, 2, 2, QStringLiteral("port N[,M...] on|off|cycle"));
            inv.ports = portList(words[0]);
            const QString action = words[1];
            if (action == u"on")
                inv.action = Invocation::Action::On;
            else if (action == u"off")
                inv.action = Invocation::Action::Off;
            else if (action == u"cycle")
                inv.action = Invocation::Action::Cycle;
            else
                throw Refusal{QStringLiteral("a port is switched on, off or cycle, not \"%1\"").arg(action)};
        } else if (command == u"describe") {
            inv.command = Invocation::Command::Describe;
            expectWords(words, 2, std::numeric_limits<qsizetype>::max(), QStringLiteral("describe N TEXT"));
            const auto port = portNumber(words.takeFirst());
            if (!port)
                throw Refusal{QStringLiteral("describe needs a port number from 1 to %1").arg(MaxPorts)};
            inv.ports = {*port};
            inv.text = descriptionText(words);
        } else if (command == u"describe-system") {
            inv.command = Invocation::Command::DescribeSystem;
            expectWords(words, 1, std::numeric_limits<qsizetype>::max(),
                        QStringLiteral("describe-system TEXT"));
            inv.text = descriptionText(words);
        } else {
            throw Refusal{QStringLiteral("unknown command \"%1\"").arg(command)};
        }
        if (!parser.isSet(o.serial) && !parser.isSet(o.snmp))
            throw Refusal{QStringLiteral("say where the midspan is: --serial PORT or --snmp ADDRESS")};
    }
    if (parser.isSet(o.offSeconds) &&
        !(inv.command == Invocation::Command::Port && inv.action == Invocation::Action::Cycle))
        throw Refusal{QStringLiteral("--off-seconds belongs to port ... cycle")};
    return inv;
}

QString helpText(QCommandLineParser& parser, const Options& o)
{
    parser.setApplicationDescription(Description);
    parser.addOptions({o.serial, o.snmp, o.v3, o.settings, o.range, o.offSeconds, o.json});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("find, status, port, describe or "
                                                "describe-system, with its arguments."),
                                 QStringLiteral("command [arguments]"));
    return parser.helpText();
}

} // namespace

namespace invocation
{

ParsedArguments parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    const Options options;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QString usageText = helpText(parser, options);
    const auto refuse = [&usageText](const QString& text) {
        return ParsedArguments{std::nullopt,
                               QCoreApplication::applicationName() + QStringLiteral(": ") + text +
                                   QStringLiteral("\n\n") + usageText,
                               UsageExit};
    };
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        return {std::nullopt, usageText, 0};
    if (parser.isSet(version))
        return {std::nullopt,
                QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n',
                0};
    try {
        return {read(parser, options), {}, 0};
    } catch (const Refusal& refusal) {
        return refuse(refusal.text);
    }
}

} // namespace invocation
