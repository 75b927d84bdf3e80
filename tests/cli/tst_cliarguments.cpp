#include "cli/Invocation.h"

#include <QCoreApplication>
#include <QTest>

namespace
{

// An invocation written out, so that a row can say all of it in one line.
QString summary(const Invocation& inv)
{
    static const char* commands[] = {"find", "status", "port", "describe", "describe-system"};
    static const char* actions[] = {"on", "off", "cycle"};
    QStringList parts{commands[int(inv.command)]};
    if (!inv.serialPort.isEmpty())
        parts << "serial " + inv.serialPort;
    if (!inv.snmpAddress.isEmpty())
        parts << QString("snmp %1:%2").arg(inv.snmpAddress).arg(inv.snmpPort);
    if (inv.v3)
        parts << "v3";
    if (!inv.settingsPath.isEmpty())
        parts << "settings " + inv.settingsPath;
    if (inv.command == Invocation::Command::Find) {
        parts << (inv.findOnSerial ? "on serial" : "on the network");
        if (inv.range)
            parts << QString("range %1%2-%3:%4")
                         .arg(inv.range->prefix)
                         .arg(inv.range->first)
                         .arg(inv.range->last)
                         .arg(inv.rangePort);
    }
    if (!inv.ports.empty()) {
        QStringList ports;
        for (int p : inv.ports)
            ports << QString::number(p);
        parts << "ports " + ports.join(',');
    }
    if (inv.allPorts)
        parts << "all ports";
    if (inv.command == Invocation::Command::Port) {
        parts << actions[int(inv.action)];
        if (inv.action == Invocation::Action::Cycle)
            parts << QString("off %1 s").arg(inv.offSeconds);
    }
    if (inv.command == Invocation::Command::Describe || inv.command == Invocation::Command::DescribeSystem)
        parts << '"' + inv.text + '"';
    static const char* formats[] = {"table", "terse", "json"};
    if (inv.format != Invocation::Format::Table)
        parts << formats[int(inv.format)];
    if (!inv.header && inv.format == Invocation::Format::Table)
        parts << "no header";
    if (inv.quiet)
        parts << "quiet";
    if (inv.verbose)
        parts << "verbose";
    if (inv.timeoutSeconds)
        parts << QString("timeout %1 s").arg(*inv.timeoutSeconds);
    if (inv.retries)
        parts << QString("retries %1").arg(*inv.retries);
    return parts.join(", ");
}

} // namespace

// What spanmon-cli makes of its command line: every command and link with its options, and every
// mistake refused with exit code 2, a reason and where to read more.
class tst_CliArguments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("spanmon-cli"); }

    void accepted_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QStringList& arguments, const char* expected) {
            QTest::newRow(name) << arguments << QString(expected);
        };
        row("status over SNMP", {"status", "--snmp", "192.168.1.20"}, "status, snmp 192.168.1.20:161");
        row("agent on another UDP port", {"status", "--snmp", "127.0.0.2:16100", "--json"},
            "status, snmp 127.0.0.2:16100, json");
        row("agent by name, SNMPv3, other settings",
            {"status", "--snmp", "midspan-3.lan", "--v3", "--settings", "/etc/spanmon/Link.ini"},
            "status, snmp midspan-3.lan:161, v3, settings /etc/spanmon/Link.ini");
        row("status over serial", {"status", "--serial", "ttyUSB0"}, "status, serial ttyUSB0");
        row("port list without repeats", {"port", "2,5,2", "off", "--serial", "/dev/ttyS0"},
            "port, serial /dev/ttyS0, ports 2,5, off");
        row("cycle with the default pause", {"port", "24", "cycle", "--snmp", "10.0.0.1"},
            "port, snmp 10.0.0.1:161, ports 24, cycle, off 5 s");
        row("cycle with a pause", {"port", "1,3", "cycle", "--off-seconds", "2.5", "--snmp", "10.0.0.1"},
            "port, snmp 10.0.0.1:161, ports 1,3, cycle, off 2.5 s");
        row("options before the command", {"--snmp", "10.0.0.1", "port", "7", "on"},
            "port, snmp 10.0.0.1:161, ports 7, on");
        row("description of several words", {"describe", "3", "Cam", "2", "--snmp", "10.0.0.1"},
            "describe, snmp 10.0.0.1:161, ports 3, \"Cam 2\"");
        row("empty description", {"describe", "3", "", "--serial", "ttyS0"},
            "describe, serial ttyS0, ports 3, \"\"");
        row("ten characters with Latin-1", {"describe-system", "Lager Süd", "--serial", "ttyS0"},
            "describe-system, serial ttyS0, \"Lager Süd\"");
        row("description after --", {"describe", "3", "--serial", "ttyS0", "--", "-dock-"},
            "describe, serial ttyS0, ports 3, \"-dock-\"");
        row("find over the settings' range", {"find"}, "find, on the network");
        row("find over a range, swapped, other UDP port", {"find", "--range", "192.168.1.30-10:1161", "--v3"},
            "find, v3, on the network, range 192.168.1.10-30:1161");
        row("find one address", {"find", "--range", "192.168.1.30"},
            "find, on the network, range 192.168.1.30-30:161");
        row("find on every serial port", {"find", "serial", "--json"}, "find, on serial, json");
        row("find on one serial port", {"find", "--serial", "ttyUSB0"}, "find, serial ttyUSB0, on serial");
        row("port ranges", {"port", "3,5-7,6", "cycle", "--snmp", "10.0.0.1"},
            "port, snmp 10.0.0.1:161, ports 3,5,6,7, cycle, off 5 s");
        row("every port", {"port", "all", "off", "--serial", "ttyS0"}, "port, serial ttyS0, all ports, off");
        row("terse", {"status", "-t", "--serial", "ttyS0"}, "status, serial ttyS0, terse");
        row("table without header, quiet", {"status", "--no-header", "-q", "--serial", "ttyS0"},
            "status, serial ttyS0, no header, quiet");
        row("time-out and retries",
            {"status", "--snmp", "10.0.0.1", "--timeout", "1.5", "--retries", "0", "--verbose"},
            "status, snmp 10.0.0.1:161, verbose, timeout 1.5 s, retries 0");
    }

    void accepted()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const ParsedArguments parsed = invocation::parse(QStringList{"spanmon-cli"} + arguments);
        QVERIFY2(parsed.invocation, qPrintable(parsed.message));
        QCOMPARE(summary(*parsed.invocation), expected);
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, const QStringList& arguments, const char* reason) {
            QTest::newRow(name) << arguments << QString(reason);
        };
        const QStringList snmp{"--snmp", "10.0.0.1"};
        row("no command", {"--json"}, "no command given");
        row("unknown command", QStringList{"stats"} + snmp, "unknown command \"stats\"");
        row("unknown option", {"status", "--community", "public"}, "Unknown option 'community'");
        row("option without its value", {"status", "--snmp"}, "Missing value after '--snmp'");
        row("no link", {"status"}, "--serial PORT or --snmp ADDRESS");
        row("both links", {"status", "--serial", "ttyS0", "--snmp", "10.0.0.1"},
            "--serial goes with neither");
        row("SNMPv3 on serial", {"status", "--serial", "ttyS0", "--v3"}, "--serial goes with neither");
        row("empty serial port", {"status", "--serial", ""}, "--serial needs a port");
        row("status with words", QStringList{"status", "now"} + snmp, "the command takes: status");
        row("agent address with blanks", {"status", "--snmp", "10.0.0.1 "}, "is no address");
        row("agent port 0", {"status", "--snmp", "10.0.0.1:0"}, "no UDP port of 1 to 65535");
        row("agent port too high", {"status", "--snmp", "10.0.0.1:65536"}, "no UDP port of 1 to 65535");
        row("port 0", QStringList{"port", "0", "on"} + snmp, "\"0\" is no port number (1 to 24)");
        row("port 25", QStringList{"port", "25", "on"} + snmp, "\"25\" is no port number (1 to 24)");
        row("port list with a gap", QStringList{"port", "2,,5", "on"} + snmp, "\"\" is no port number");
        row("port list with a word", QStringList{"port", "2,all", "on"} + snmp, "\"all\" is no port number");
        row("port without action", QStringList{"port", "3"} + snmp, "port N[,M...] on|off|cycle");
        row("unknown action", QStringList{"port", "3", "dim"} + snmp, "on, off or cycle, not \"dim\"");
        row("pause without cycle", QStringList{"port", "3", "off", "--off-seconds", "2"} + snmp,
            "--off-seconds belongs to port ... cycle");
        row("negative pause", QStringList{"port", "3", "cycle", "--off-seconds", "-1"} + snmp,
            "no number of seconds");
        row("pause of a word", QStringList{"port", "3", "cycle", "--off-seconds", "long"} + snmp,
            "no number of seconds");
        row("pause over a day", QStringList{"port", "3", "cycle", "--off-seconds", "86401"} + snmp,
            "no number of seconds");
        row("describe without text", QStringList{"describe", "3"} + snmp, "describe N TEXT");
        row("describe port 30", QStringList{"describe", "30", "Cam"} + snmp, "port number from 1 to 24");
        row("eleven characters", QStringList{"describe", "3", "Camera 2 ab"} + snmp,
            "longer than 10 characters");
        row("control character", QStringList{"describe-system", "Rack\tA"} + snmp, "cannot keep");
        row("beyond Latin-1", QStringList{"describe-system", "Rack €"} + snmp, "cannot keep");
        row("describe-system without text", QStringList{"describe-system"} + snmp, "describe-system TEXT");
        row("range outside find", QStringList{"status", "--range", "10.0.0.1-9"} + snmp,
            "--range belongs to find");
        row("find at one agent", QStringList{"find"} + snmp, "not --snmp");
        row("find with a word", {"find", "all"}, "not \"all\"");
        row("find serial with a range", {"find", "serial", "--range", "10.0.0.1-9"},
            "neither --v3 nor --range");
        row("range of three numbers", {"find", "--range", "10.0.1-9"}, "no range");
        row("range beyond 255", {"find", "--range", "10.0.0.1-300"}, "no range");
        row("range without end", {"find", "--range", "10.0.0.1-"}, "no range");
        row("agent given twice", {"status", "--snmp", "10.0.0.1", "--snmp", "10.0.0.2"},
            "--snmp is given more than once");
        row("settings given twice", QStringList{"status", "--settings", "a", "--settings", "a"} + snmp,
            "--settings is given more than once");
        row("port range backwards", QStringList{"port", "7-5", "on"} + snmp, "\"7-5\" runs backwards");
        row("port range beyond 24", QStringList{"port", "20-25", "on"} + snmp, "\"25\" is no port number");
        row("all within a list", QStringList{"port", "all,3", "on"} + snmp, "\"all\" is no port number");
        row("terse JSON", QStringList{"status", "--json", "-t"} + snmp, "--json goes with neither");
        row("quiet JSON", QStringList{"status", "--json", "-q"} + snmp, "-q goes with neither");
        row("time-out of 0", QStringList{"status", "--timeout", "0"} + snmp, "--timeout \"0\" is no number");
        row("time-out over a minute", QStringList{"status", "--timeout", "61"} + snmp,
            "is no number of seconds");
        row("retries of a word", QStringList{"status", "--retries", "many"} + snmp,
            "--retries \"many\" is no number");
        row("retries over 100", QStringList{"status", "--retries", "101"} + snmp, "from 0 to 100");
        row("time-out on serial", {"status", "--serial", "ttyS0", "--timeout", "1"}, "belong to SNMP");
    }

    void refused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        const ParsedArguments parsed = invocation::parse(QStringList{"spanmon-cli"} + arguments);
        QVERIFY2(!parsed.invocation, qPrintable(summary(parsed.invocation.value_or(Invocation()))));
        QCOMPARE(parsed.exitCode, 2);
        QVERIFY2(parsed.message.startsWith("spanmon-cli: "), qPrintable(parsed.message));
        QVERIFY2(parsed.message.section('\n', 0, 0).contains(reason), qPrintable(parsed.message));
        // One line of reason and where to read more; not the whole help.
        QCOMPARE(parsed.message.section('\n', 1),
                 QString("Try 'spanmon-cli --help' for more information.\n"));
    }

    void helpAndVersion()
    {
        QCoreApplication::setApplicationVersion("9.8");
        for (const char* option : {"--version", "-V"}) {
            const ParsedArguments version = invocation::parse({"spanmon-cli", option});
            QCOMPARE(version.exitCode, 0);
            QCOMPARE(version.message, QString("spanmon-cli 9.8\n"));
        }
        const ParsedArguments help = invocation::parse({"spanmon-cli", "--help"});
        QCOMPARE(help.exitCode, 0);
        for (const char* word : {"find",
                                 "status",
                                 "port N[,M...] on|off|cycle",
                                 "describe N TEXT",
                                 "describe-system TEXT",
                                 "--serial",
                                 "--snmp",
                                 "--v3",
                                 "--settings",
                                 "--range",
                                 "--off-seconds",
                                 "--json",
                                 "Exit codes",
                                 "--timeout",
                                 "--retries",
                                 "--terse",
                                 "--no-header",
                                 "--quiet",
                                 "--verbose",
                                 "SPANMON_SETTINGS"})
            QVERIFY2(help.message.contains(word), word);
    }
};

QTEST_GUILESS_MAIN(tst_CliArguments)
#include "tst_cliarguments.moc"
