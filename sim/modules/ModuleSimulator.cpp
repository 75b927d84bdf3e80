#include "ModuleSimulator.h"

#include <QNetworkDatagram>
#include <QTimer>

#include <cstdio>

namespace
{

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
                break;
            case SimulatedModule::Event::Applied:
                log(QStringLiteral("applied ") + module.describe());
                break;
            case SimulatedModule::Event::Refused:
                log(QStringLiteral("refused ") + module.describe());
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

void ModuleSimulator::answer(const QHostAddress& to, quint16 port)
{
    const int times = faults_.answerTwice ? 2 : 1;
    for (const SimulatedModule& module : modules_) {
        for (int i = 0; i < times; ++i)
            socket_.writeDatagram(reply(module), to, port);
    }
}
