#include "ModuleSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QNetworkInterface>

#include <cstdio>
#include <optional>

namespace
{

std::optional<SimulatedModule::Octets4> dotted(const QString& text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    SimulatedModule::Octets4 out{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint v = parts[i].toUInt(&ok);
        if (!ok || v > 255)
            return std::nullopt;
        out[i] = static_cast<std::uint8_t>(v);
    }
    return out;
}

std::optional<SimulatedModule::Octets6> macAddress(QString text)
{
    const QStringList parts = text.replace(u':', u'-').split(u'-');
    if (parts.size() != 6)
        return std::nullopt;
    SimulatedModule::Octets6 out{};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        const uint v = parts[i].toUInt(&ok, 16);
        if (!ok || v > 255)
            return std::nullopt;
        out[i] = static_cast<std::uint8_t>(v);
    }
    return out;
}

// Counts an address or MAC on by n, carrying into the higher octets.
template <std::size_t N> std::array<std::uint8_t, N> plus(std::array<std::uint8_t, N> a, int n)
{
    for (std::size_t i = N; i-- > 0 && n > 0;) {
        const int sum = a[i] + n;
        a[i] = static_cast<std::uint8_t>(sum & 0xFF);
        n = sum >> 8;
    }
    return a;
}

QString hostAddress()
{
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    }
    return {};
}

int fail(const QString& text)
{
    std::fprintf(stderr, "module-sim: %s\n", qPrintable(text));
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("module-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated Ethernet modules on UDP port 36 (root needed for port 36). They answer the search "
        "with their 20-byte record and take a new address or mask for their MAC address; with a password, "
        "only after a matching authorisation. Prints \"ready\" once listening, then one line per datagram."));
    parser.addHelpOption();
    const QCommandLineOption bind({QStringLiteral("bind")},
                                  QStringLiteral("Local address to listen on (default: any). On Linux a "
                                                 "socket bound to one address misses broadcasts, so "
                                                 "such modules do not hear the search."),
                                  QStringLiteral("A.B.C.D"));
    const QCommandLineOption port({QStringLiteral("port")}, QStringLiteral("UDP port (default 36)."),
                                  QStringLiteral("port"), QStringLiteral("36"));
    const QCommandLineOption count({QStringLiteral("count")},
                                   QStringLiteral("Number of modules (default 1)."), QStringLiteral("N"),
                                   QStringLiteral("1"));
    const QCommandLineOption firstIp(
        {QStringLiteral("first-ip")},
        QStringLiteral("Address of the first module, counted up for the others (default: the --bind "
                       "address, else this host's first IPv4 address outside 127.0.0.0/8)."),
        QStringLiteral("A.B.C.D"));
    const QCommandLineOption mask({QStringLiteral("mask")},
                                  QStringLiteral("Subnet mask (default 255.255.255.0)."),
                                  QStringLiteral("A.B.C.D"), QStringLiteral("255.255.255.0"));
    const QCommandLineOption firstMac(
        {QStringLiteral("first-mac")},
        QStringLiteral("MAC of the first module, counted up (default 00-1E-C0-00-00-01)."),
        QStringLiteral("XX-XX-XX-XX-XX-XX"), QStringLiteral("00-1E-C0-00-00-01"));
    const QCommandLineOption deviceId({QStringLiteral("device-id")},
                                      QStringLiteral("Device identifier, 0..65535 (default 258)."),
                                      QStringLiteral("id"), QStringLiteral("258"));
    const QCommandLineOption password(
        {QStringLiteral("password")},
        QStringLiteral("Password (up to 15 characters; default none: changes apply "
                       "without authorisation)."),
        QStringLiteral("text"));
    const QCommandLineOption twice({QStringLiteral("answer-twice")},
                                   QStringLiteral("Answer every search twice."));
    const QCommandLineOption size({QStringLiteral("reply-size")},
                                  QStringLiteral("Bytes per answer, e.g. 19 or 21 (default 20)."),
                                  QStringLiteral("n"), QStringLiteral("20"));
    const QCommandLineOption wrong({QStringLiteral("wrong-command")},
                                   QStringLiteral("Answer with command 0x303A instead of 0x3039."));
    const QCommandLineOption delay({QStringLiteral("delay")}, QStringLiteral("Answer this many ms late."),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption silent({QStringLiteral("silent-refusal")},
                                    QStringLiteral("Refuse a wrong password or an unauthorised change "
                                                   "without answering."));
    parser.addOptions(
        {bind, port, count, firstIp, mask, firstMac, deviceId, password, twice, size, wrong, delay, silent});
    parser.process(app);

    const QHostAddress listenAddress =
        parser.isSet(bind) ? QHostAddress(parser.value(bind)) : QHostAddress::AnyIPv4;
    if (listenAddress.isNull() || listenAddress.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(QStringLiteral("--bind needs an IPv4 address"));
    const auto ip = dotted(parser.isSet(firstIp) ? parser.value(firstIp)
                           : parser.isSet(bind)  ? parser.value(bind)
                                                 : hostAddress());
    if (!ip)
        return fail(QStringLiteral("give --first-ip as A.B.C.D"));
    const auto maskValue = dotted(parser.value(mask));
    const auto mac = macAddress(parser.value(firstMac));
    bool ok[4] = {};
    const int modules = parser.value(count).toInt(&ok[0]);
    const uint id = parser.value(deviceId).toUInt(&ok[1]);
    const int replySize = parser.value(size).toInt(&ok[2]);
    const int delayMs = parser.value(delay).toInt(&ok[3]);
    const uint portNumber = parser.value(port).toUInt();
    if (!maskValue || !mac || !ok[0] || modules < 1 || !ok[1] || id > 0xFFFF || !ok[2] || replySize < 0 ||
        replySize > 1024 || !ok[3] || delayMs < 0 || portNumber == 0 || portNumber > 0xFFFF)
        return fail(QStringLiteral("bad option value (see --help)"));
    const QByteArray secret = parser.value(password).toLatin1();
    if (secret.size() > 15)
        return fail(QStringLiteral("--password takes at most 15 characters"));

    std::vector<SimulatedModule> list;
    list.reserve(static_cast<std::size_t>(modules));
    for (int i = 0; i < modules; ++i)
        list.emplace_back(plus(*ip, i), *maskValue, plus(*mac, i), static_cast<std::uint16_t>(id), secret);

    ModuleSimulator simulator(std::move(list), {parser.isSet(twice), replySize, parser.isSet(wrong), delayMs,
                                                parser.isSet(silent)});
    if (!simulator.listen(listenAddress, static_cast<quint16>(portNumber)))
        return fail(
            QStringLiteral("cannot listen on UDP port %1: %2").arg(portNumber).arg(simulator.errorString()));
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
