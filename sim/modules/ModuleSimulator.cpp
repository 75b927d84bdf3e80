#include "ModuleSimulator.h"

#include <QNetworkDatagram>
#include <QTimer>

#include <cstdio>

namespace
{

constexpr char wrongPassword = 1;
constexpr char notAuthorised = 2;

void log(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

ModuleSimulator::ModuleSimulator(std::vector<SimulatedModule> modules, Faults faults, QObject* parent)
    : QObject(parent), modules_(std::move(modules)), faults_(faults)
{
    connect(&socket_, &QUdpSocket::readyRead, this, &ModuleSimulator::readPending);
}

bool ModuleSimulator::listen(const QHostAddress& address, quint16 port)
{
    return socket_.bind(address, port, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
}

void ModuleSimulator::readPending()
{
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_.receiveDatagram();
        const QByteArray data = datagram.data();
        const int command =
            data.size() >= 4 ? (static_cast<quint8>(data[2]) << 8 | static_cast<quint8>(data[3])) : 0;
        log(QString::asprintf("rx %04x %d", command, static_cast<int>(data.size())));
        bool search = false;
        for (SimulatedModule& module : modules_) {
            switch (module.handle(data)) {
            case SimulatedModule::Event::SearchReply:
                search = true;
                break;
            case SimulatedModule::Event::Authorised:
                log(QStringLiteral("authorised ") + module.describe());
                break;
            case SimulatedModule::Event::AuthorisationRefused:
                log(QStringLiteral("wrong password ") + module.describe());
                refuse(module, wrongPassword, datagram);
                break;
            case SimulatedModule::Event::Applied:
                log(QStringLiteral("applied ") + module.describe());
                break;
            case SimulatedModule::Event::Refused:
                log(QStringLiteral("refused ") + module.describe());
                refuse(module, notAuthorised, datagram);
                break;
            case SimulatedModule::Event::None:
                break;
            }
        }
        if (!search)
            continue;
        const QHostAddress from = datagram.senderAddress();
        const quint16 port = static_cast<quint16>(datagram.senderPort());
        if (faults_.delayMs > 0)
            QTimer::singleShot(faults_.delayMs, this, [this, from, port] { answer(from, port); });
        else
            answer(from, port);
    }
}

QByteArray ModuleSimulator::reply(const SimulatedModule& module) const
{
    QByteArray r = module.record();
    if (faults_.wrongCommand)
        r[3] = 0x3A;
    r.resize(faults_.replySize, '\0');
    return r;
}

void ModuleSimulator::refuse(const SimulatedModule& module, char reason, const QNetworkDatagram& request)
{
    if (faults_.silentRefusal)
        return;
    QByteArray refusal = module.record();
    refusal[3] = 0x3F;
    refusal[4] = reason;
    refusal.replace(5, 7, QByteArray(7, '\0'));
    refusal.replace(18, 2, QByteArray(2, '\0'));
    socket_.writeDatagram(refusal, request.senderAddress(), static_cast<quint16>(request.senderPort()));
}

void ModuleSimulator::answer(const QHostAddress& to, quint16 port)
{
    const int times = faults_.answerTwice ? 2 : 1;
    for (const SimulatedModule& module : modules_) {
        for (int i = 0; i < times; ++i)
            socket_.writeDatagram(reply(module), to, port);
    }
}
