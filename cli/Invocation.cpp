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

Ports are named one by one, as lists and ranges (3,5-7), or all of them (all).
The midspan is on --serial PORT, or its SNMP agent at --snmp ADDRESS, asked with the communities
of the settings file or with its SNMPv3 user (--v3). The settings file is --settings FILE, else
$SPANMON_SETTINGS, ./Link.ini, ~/.config/spanmon/Link.ini, /etc/spanmon/Link.ini, the first
there. A write is read back before it counts.
Exit codes: 0 done; 1 the midspan did not answer or did not take a write, or the output could
not be written (stderr says which); 2 usage or settings.)");

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
                                QStringLiteral("The network link settings (default: searched for, "
                                               "see below)."),
                                QStringLiteral("FILE")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
                               QStringLiteral("SNMP: how long each try waits (default 0.2; the "
                                              "SNMPv3 engine discovery 1)."),
                               QStringLiteral("SECONDS")};
    QCommandLineOption retries{QStringLiteral("retries"),
                               QStringLiteral("SNMP: tries after the first (default 20; find 3)."),
                               QStringLiteral("N")};
    QCommandLineOption range{QStringLiteral("range"),
                             QStringLiteral("find: the addresses A.B.C.D to A.B.C.E instead of the "
                                            "range of the settings file (:PORT for another UDP port)."),
                             QStringLiteral("A.B.C.D-E")};
    QCommandLineOption offSeconds{QStringLiteral("off-seconds"),
                                  QStringLiteral("port ... cycle: how long the ports stay off (default 5)."),
                                  QStringLiteral("S")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("Write one JSON document instead of a table, also for "
                                           "an error.")};
    QCommandLineOption terse{{QStringLiteral("t"), QStringLiteral("terse")},
                             QStringLiteral("Lines of fields separated by ':' (\\: and \\\\ "
                                            "within a field), without header.")};
    QCommandLineOption noHeader{QStringLiteral("no-header"),
                                QStringLiteral("Leave the header out of the table.")};
    QCommandLineOption quiet{{QStringLiteral("q"), QStringLiteral("quiet")},
                             QStringLiteral("Write nothing; only the exit code tells.")};
    QCommandLineOption verbose{QStringLiteral("verbose"),
                               QStringLiteral("Say on stderr which settings file is used.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("V"), QStringLiteral("version")},
                               QStringLiteral("Displays version information.")};

    // Given twice, the later would silently win.
    std::vector<const QCommandLineOption*> once() const
    {
        return {&serial, &snmp, &settings, &range, &offSeconds, &timeout, &retries};
    }
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

int listedPort(const QString& text)
{
    const auto port = portNumber(text.trimmed());
    if (!port)
        throw Refusal{QStringLiteral("\"%1\" is no port number (1 to %2)").arg(text).arg(MaxPorts)};
    return *port;
}

// "3", "3,5-7": in the order given, each port once.
std::vector<int> portList(const QString& text)
{
    std::vector<int> ports;
    for (const QString& part : text.split(u',')) {
        const qsizetype dash = part.indexOf(u'-');
        const int first = listedPort(dash < 0 ? part : part.left(dash));
        const int last = dash < 0 ? first : listedPort(part.mid(dash + 1));
        if (last < first)
            throw Refusal{QStringLiteral("\"%1\" runs backwards").arg(part)};
        for (int port = first; port <= last; ++port)
            if (std::find(ports.begin(), ports.end(), port) == ports.end())
                ports.push_back(port);
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

// A number of seconds of `option`, from `least` to `most`.
double seconds(const QString& text, const char* option, double least, double most)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < least || seconds > most)
        throw Refusal{QStringLiteral("--%1 \"%2\" is no number of seconds from %3 to %4")
                          .arg(QLatin1StringView(option), text)
                          .arg(least)
                          .arg(most)};
    return seconds;
}

double clockFactor(const QString& text)
{
    bool ok = false;
    const double factor = text.toDouble(&ok);
    if (!ok || !(factor > 0 && factor <= 1))
        throw Refusal{QStringLiteral("$%1 \"%2\" is no factor above 0 up to 1")
                          .arg(QLatin1StringView(invocation::ClockScaleVariable), text)};
    return factor;
}

int retries(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    if (!digits.match(text).hasMatch() || text.toInt() > Invocation::MaxRetries)
        throw Refusal{QStringLiteral("--retries \"%1\" is no number from 0 to %2")
                          .arg(text)
                          .arg(Invocation::MaxRetries)};
    return text.toInt();
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
    for (const QCommandLineOption* option : o.once())
        if (parser.values(*option).size() > 1)
            throw Refusal{QStringLiteral("--%1 is given more than once").arg(option->names().constLast())};
    if (parser.isSet(o.json) && (parser.isSet(o.terse) || parser.isSet(o.noHeader)))
        throw Refusal{QStringLiteral("--json goes with neither -t nor --no-header")};
    if (parser.isSet(o.quiet) && (parser.isSet(o.json) || parser.isSet(o.verbose)))
        throw Refusal{QStringLiteral("-q goes with neither --json nor --verbose")};
    inv.format = parser.isSet(o.json)    ? Invocation::Format::Json
                 : parser.isSet(o.terse) ? Invocation::Format::Terse
                                         : Invocation::Format::Table;
    inv.header = !parser.isSet(o.noHeader) && !parser.isSet(o.terse);
    inv.quiet = parser.isSet(o.quiet);
    inv.verbose = parser.isSet(o.verbose);
    inv.v3 = parser.isSet(o.v3);
    inv.settingsPath = parser.value(o.settings);
    if (parser.isSet(o.settings) && inv.settingsPath.isEmpty())
        throw Refusal{QStringLiteral("--settings needs a file")};
    if (parser.isSet(o.timeout))
        inv.timeoutSeconds = seconds(parser.value(o.timeout), "timeout", 0.01, Invocation::MaxTimeoutSeconds);
    if (parser.isSet(o.retries))
        inv.retries = retries(parser.value(o.retries));
    inv.serialPort = parser.value(o.serial);
    if (parser.isSet(o.serial) && inv.serialPort.isEmpty())
        throw Refusal{QStringLiteral("--serial needs a port")};
    if (parser.isSet(o.snmp))
        inv.snmpAddress = agentAddress(parser.value(o.snmp), inv.snmpPort);
    if (parser.isSet(o.serial) && (parser.isSet(o.snmp) || inv.v3 || parser.isSet(o.range)))
        throw Refusal{QStringLiteral("--serial goes with neither --snmp, --v3 nor --range")};
    if (parser.isSet(o.serial) && (parser.isSet(o.timeout) || parser.isSet(o.retries)))
        throw Refusal{QStringLiteral("--timeout and --retries belong to SNMP, not --serial")};
    if (parser.isSet(o.offSeconds))
        inv.offSeconds = seconds(parser.value(o.offSeconds), "off-seconds", 0, Invocation::MaxOffSeconds);

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
        if (inv.findOnSerial && (parser.isSet(o.timeout) || parser.isSet(o.retries)))
            throw Refusal{QStringLiteral("--timeout and --retries belong to SNMP, not find serial")};
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
            inv.allPorts = words[0] == u"all";
            if (!inv.allPorts)
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
    parser.addOptions({o.serial, o.snmp, o.v3, o.settings, o.timeout, o.retries, o.range, o.offSeconds,
                       o.json, o.terse, o.noHeader, o.quiet, o.verbose, o.version});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("find, status, port, describe or "
                                                "describe-system, with its arguments."),
                                 QStringLiteral("command [arguments]"));
    return parser.helpText();
}

} // namespace

namespace invocation
{

ParsedArguments parse(const QStringList& arguments, const QString& clockScale)
{
    QCommandLineParser parser;
    const Options options;
    const QCommandLineOption help = parser.addHelpOption();
    const QString usageText = helpText(parser, options);
    // A script that asked for JSON gets it also when its command line is refused.
    const qsizetype end = arguments.indexOf(QStringLiteral("--"));
    const bool json = arguments.first(end < 0 ? arguments.size() : end).contains(QStringLiteral("--json"));
    const QString name = QCoreApplication::applicationName();
    const auto refuse = [&](const QString& text) {
        return ParsedArguments{
            std::nullopt, QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n").arg(name, text),
            UsageExit, json};
    };
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        return {std::nullopt, usageText, 0};
    if (parser.isSet(options.version))
        return {std::nullopt, name + u' ' + QCoreApplication::applicationVersion() + u'\n', 0};
    try {
        Invocation inv = read(parser, options);
        if (!clockScale.isEmpty())
            inv.clockScale = clockFactor(clockScale);
        return {inv, {}, 0, json};
    } catch (const Refusal& refusal) {
        return refuse(refusal.text);
    }
}

} // namespace invocation
