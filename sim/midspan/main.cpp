#include "ControlServer.h"
#include "MidspanModel.h"
#include "PtyLink.h"
#include "SerialCommandInterpreter.h"
#include "SnmpAgent.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr char description[] =
    R"(Simulated PoE midspan: its serial command set and loader on a pseudo-terminal, and its
SNMP agent with the private MIB under 1.3.6.1.4.1.24852. Prints "ready" once every link asked for is up.

Serial line (19200 8N1, both directions paced at 10 bits per byte unless --no-line-delay):
  A request's length follows from its command byte. Bytes that start no command are skipped
  without an answer. A frame whose checksum is wrong is dropped whole, unanswered. A request
  for a port the device does not have (index >= port count) is not answered. A pause of 50 ms
  inside a frame ends it: the partial frame is discarded. Identify 0E is not answered by a
  device given --legacy-code. The bytes a reply leaves uninterpreted (byte 1 of the port
  replies and acknowledgements among them) are zeros unless --ignored-bytes says otherwise.
  After EnterDownload the loader answers "TPE\r\n" (with --loader-wants-entr "TLW\r\n" until it
  gets "ENTR"), "TOE\r\n" "TE\r\n" "TPE\r\n" to "E", "TOP\r\n" to "P", "T*\r\n" to each good
  S-record and "TP\r\n" to S7/S8/S9; a record with a bad checksum or bad hex gets "TX\r\n".
  "RST" restarts the device. A complete download whose every record was good becomes the
  firmware: after the restart "FW Rev" (serial and SNMP) reads the "major.minor" found in the
  text of its S0 header. After a refused record, or RST before the end record, the old firmware
  stays.
  A reset (serial, SNMP or control) makes the device deaf on both links for the restart time.

SNMP: v2c with the read and write communities (the read community cannot write), SNMPv3 user
  with authPriv, HMAC-MD5 and DES (pass phrases of at least 8 characters). Descriptions take at
  most 10 characters; longer writes are refused with wrongLength.

Control socket (--control PATH), one reply line per command, multi-line answers end with ".":
  get system firmware|hardware|ports|description|model|image
  set system firmware|hardware <byte>     set system description <text>
  get port <p> enabled|legacy|description|status|power|voltage|current|resistance|classcurrent
  set port <p> <field> <value>            (units of the serial replies: mW, 0.1 V, mA,
                                           2 ohm, 0.1 mA; a disabled port reads status 0 and
                                           zero values; status sets what an enabled port reports)
  silent on|off       answer nothing on the serial line (frames are still recorded)
  delay <ms>          answer late by ms (0 = at once)
  corrupt <n>         spoil the checksum of the next n serial replies
  cut <n>             send only the first half of the next n serial replies
  double <n>          send each of the next n serial replies twice
  zeros <n>           send the next n serial replies as as many zero bytes
  slow <n> <ms>       answer the next n requests ms later still
  misroute <n>        answer the next n port status or classification reads for the
                      following port (byte 1 names it with --ignored-bytes port)
  ignored-bytes zero|random|port  what fills the uninterpreted bytes of the replies from now on
  unanswered <cc>|off neither carry out nor answer requests with command byte cc (hex, as 09)
  loader-fault <n> wrong|silent|tp|off   from the next EnterDownload, the loader's n-th message
                      (its acknowledgement is the first) has X for each letter after the T,
                      or the loader falls silent from that message on, or it is "TP\r\n"
                      (the transfer complete) whatever the record was
  clear-faults        undo silent to loader-fault above and report-ports below: replies on
                      time, whole and once (those still held back by a delay never come), no
                      loader fault from the next EnterDownload on; the fill of ignored bytes,
                      the values and a loader already entered stay as they are
  drop-line           close the pseudo-terminal and remove its link
  restore-line        a new pseudo-terminal at the same link
  report-ports <n>|off  report n ports in the status reply and .2.2.7.0
  identity <text>     answer .2.1.0 with text (no text: the model again)
  snmp stop|start     stop and resume answering SNMP
  refuse-sets on|off  refuse every SNMP set with notWritable, and leave the serial line's
                      system and port settings unapplied and unanswered
  unanswered-set <object>|off  carry out sets of the object (as 2.2.3.0) but never answer
                      them; off: answer every set again
  max-objects <n>|off answer a get of more than n objects with tooBig
  answer <object> [text]|off  answer a get of the object (below 1.3.6.1.4.1.24852, as
                      2.2.7.0) with the text as OCTET STRING, empty without text; off: no more
  snmp-delay <ms>     wait ms before reading each SNMP request (0 = at once)
  snmp-log            every SNMP get and set answered since clear-snmp-log, one a line, as
                      "get 2.2.10.0" or "set 2.3.1.18.1 2" (object below 1.3.6.1.4.1.24852)
  clear-snmp-log
  port-log            every change of a port's enabled state a link wrote since clear-port-log,
                      one a line, as "<ms> port <p> on|off" (ms since the simulator started)
  clear-port-log
  frames              every serial frame received since clear-frames, in hex
  clear-frames
  reset               as a reset command
  quit)";

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("midspan-sim");

    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    const QCommandLineOption serialLink("serial-link", "Symbolic link to the serial line's slave.", "PATH");
    const QCommandLineOption snmp("snmp", "SNMP agent address, e.g. udp:127.0.0.2:161.", "ADDRESS");
    const QCommandLineOption readCommunity("read-community", "Read-only community.", "TEXT", "public");
    const QCommandLineOption writeCommunity("write-community", "Read-write community.", "TEXT", "private");
    const QCommandLineOption v3User("v3-user", "SNMPv3 user (authPriv, MD5, DES).", "NAME");
    const QCommandLineOption v3Auth("v3-auth", "SNMPv3 authentication pass phrase.", "PASS");
    const QCommandLineOption v3Priv("v3-priv", "SNMPv3 privacy pass phrase.", "PASS");
    const QCommandLineOption ports("ports", "Number of ports, 1 to 24.", "N", "24");
    const QCommandLineOption model("model", "Model text of the identification.", "TEXT", "POE528U-480-24-N");
    const QCommandLineOption legacyCode("legacy-code",
                                        "Answer only the older identification, with codes A,B.", "A,B");
    const QCommandLineOption noLineDelay("no-line-delay", "Send replies at once, not at 19200 baud.");
    const QCommandLineOption restartSeconds("restart-seconds", "Silence after a reset.", "S", "10");
    const QCommandLineOption control("control", "Unix-domain socket for control commands.", "PATH");
    const QCommandLineOption steady("steady", "Freeze the measured values.");
    const QCommandLineOption wantsEntr("loader-wants-entr", "The loader wants ENTR before its commands.");
    const QCommandLineOption ignoredBytes(
        "ignored-bytes",
        "Fill of the reply bytes left uninterpreted: zero, random, or port (zeros, and the port index in "
        "byte 1 of the port replies).",
        "FILL", "zero");
    parser.addOptions({serialLink, snmp, readCommunity, writeCommunity, v3User, v3Auth, v3Priv, ports, model,
                       legacyCode, noLineDelay, restartSeconds, control, steady, wantsEntr, ignoredBytes});
    parser.process(app);

    const auto fail = [](const QString& text) {
        std::fprintf(stderr, "midspan-sim: %s\n", qPrintable(text));
        return 2;
    };

    MidspanModel::Config config;
    bool ok = false;
    config.ports = parser.value(ports).toInt(&ok);
    if (!ok || config.ports < 1 || config.ports > 24)
        return fail("--ports takes 1 to 24");
    config.modelText = parser.value(model).toLatin1();
    if (parser.isSet(legacyCode)) {
        const QStringList codes = parser.value(legacyCode).split(',');
        bool okA = false;
        bool okB = false;
        const int a = codes.value(0).toInt(&okA, 0);
        const int b = codes.value(1).toInt(&okB, 0);
        if (codes.size() != 2 || !okA || !okB || a < 0 || a > 255 || b < 0 || b > 255)
            return fail("--legacy-code takes two bytes, A,B");
        config.legacyCode = MidspanModel::LegacyCode(std::uint8_t(a), std::uint8_t(b));
    }
    const double seconds = parser.value(restartSeconds).toDouble(&ok);
    if (!ok || seconds < 0)
        return fail("--restart-seconds takes a number of seconds");
    config.restartTime = std::chrono::milliseconds(std::llround(seconds * 1000));
    config.steady = parser.isSet(steady);
    if (parser.isSet(v3User) && (parser.value(v3Auth).size() < 8 || parser.value(v3Priv).size() < 8))
        return fail("--v3-user needs --v3-auth and --v3-priv of at least 8 characters");

    const auto fill = ignoredBytesFill(parser.value(ignoredBytes).toLatin1());
    if (!fill)
        return fail("--ignored-bytes takes zero, random or port");

    MidspanModel device(config);
    SerialCommandInterpreter interpreter(device, parser.isSet(wantsEntr));
    interpreter.setIgnoredBytes(*fill);

    std::unique_ptr<PtyLink> line;
    if (parser.isSet(serialLink)) {
        line = std::make_unique<PtyLink>(parser.value(serialLink), !parser.isSet(noLineDelay));
        line->setReceiver([&interpreter](const QByteArray& bytes) { return interpreter.receive(bytes); });
        line->setIdleHandler([&interpreter] { interpreter.lineIdle(); });
        if (!line->open())
            return fail(line->errorString());
    }

    std::unique_ptr<SnmpAgent> agent;
    if (parser.isSet(snmp)) {
        SnmpAgent::Config snmpConfig;
        snmpConfig.address = parser.value(snmp).toLatin1();
        snmpConfig.readCommunity = parser.value(readCommunity).toLatin1();
        snmpConfig.writeCommunity = parser.value(writeCommunity).toLatin1();
        snmpConfig.user = parser.value(v3User).toLatin1();
        snmpConfig.authPassphrase = parser.value(v3Auth).toLatin1();
        snmpConfig.privPassphrase = parser.value(v3Priv).toLatin1();
        agent = std::make_unique<SnmpAgent>(device, snmpConfig);
        if (!agent->start())
            return fail(agent->errorString());
    }

    std::unique_ptr<ControlServer> controlServer;
    if (parser.isSet(control)) {
        controlServer = std::make_unique<ControlServer>(device, interpreter, line.get());
        QObject::connect(controlServer.get(), &ControlServer::quitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        if (!controlServer->listen(parser.value(control)))
            return fail(controlServer->errorString());
    }

    // SIGINT and SIGTERM end the event loop, so the link and the socket are removed.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return fail("cannot create the signal pipe");
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
