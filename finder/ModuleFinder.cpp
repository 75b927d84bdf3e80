#include "finder/ModuleFinder.h"

#include "finder/Datagrams.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <utility>

namespace finder
{

namespace
{

// Room for a full burst of 255 replies (each small datagram costs the kernel about a kilobyte).
constexpr int receiveBufferBytes = 512 * 1024;

std::chrono::milliseconds scaled(std::chrono::milliseconds period, double scale)
{
    return std::chrono::milliseconds(std::max<long long>(1, std::llround(period.count() * scale)));
}

} // namespace

ModuleFinder::ModuleFinder(double timeScale, QObject* parent) : QObject(parent)
{
    windowTimer_.setSingleShot(true);
    windowTimer_.setInterval(scaled(searchWindow, timeScale));
    tickTimer_.setInterval(scaled(rescanTick, timeScale));
    connect(&windowTimer_, &QTimer::timeout, this, &ModuleFinder::endSearchWindow);
    connect(&tickTimer_, &QTimer::timeout, this, &ModuleFinder::onTick);
    connect(&socket_, &QUdpSocket::readyRead, this, &ModuleFinder::readPending);
}

bool ModuleFinder::open()
{
    // Qt sets SO_BROADCAST on every UDP socket it binds.
    open_ = socket_.bind(QHostAddress::AnyIPv4, 0);
    if (!open_)
        return false;
    socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(receiveBufferBytes));
    tickTimer_.start();
    return true;
}

void ModuleFinder::close()
{
    socket_.close();
    windowTimer_.stop();
    tickTimer_.stop();
    open_ = false;
}

void ModuleFinder::search()
{
    if (!state_.begin())
        return;
    table_.clear();
    emit searchStarted();
    emit countChanged(0);
    broadcast(Datagrams::search());
    windowTimer_.start();
}

void ModuleFinder::broadcast(const QByteArray& datagram)
{
    if (!open_)
        return;
    QStringList failures;
    int sent = 0;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        const bool hasIpv4 =
            std::any_of(interface.addressEntries().cbegin(), interface.addressEntries().cend(),
                        [](const QNetworkAddressEntry& entry) {
                            return entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
                        });
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            !(flags & QNetworkInterface::CanBroadcast) || (flags & QNetworkInterface::IsLoopBack) || !hasIpv4)
            continue;
        // The interface index goes with the datagram (IP_PKTINFO): out of that interface, whatever
        // the routes say, still to 255.255.255.255 so that a module on a foreign subnet hears it.
        QNetworkDatagram out(datagram, QHostAddress::Broadcast, modulePort);
        out.setInterfaceIndex(static_cast<uint>(interface.index()));
        if (socket_.writeDatagram(out) == datagram.size())
            ++sent;
        else
            failures.append(
                QStringLiteral("%1: %2").arg(interface.humanReadableName(), socket_.errorString()));
    }
    QString failure;
    if (!failures.isEmpty())
        failure =
            QStringLiteral("Sending to the modules failed on %1.").arg(failures.join(QStringLiteral("; ")));
    else if (sent == 0)
        failure = QStringLiteral("No network interface is up to search on.");
    if (failure != std::exchange(lastFailure_, failure))
        emit sendProblemChanged(failure);
}

void ModuleFinder::readPending()
{
    const int before = table_.count();
    while (socket_.hasPendingDatagrams()) {
        // Past 255 the rest of a burst is read and dropped, so it neither lingers into the next search
        // nor stalls the socket's notifications.
        const QNetworkDatagram datagram = socket_.receiveDatagram();
        // Never a search reply: the list would ignore it, the operator hears of it.
        if (const auto refused = Datagrams::refusal(datagram.data())) {
            emit changeRefused(*refused);
            continue;
        }
        if (table_.full())
            continue;
        const auto outcome = table_.offer(datagram.data());
        if (outcome == DeviceTable::Outcome::EndOfPass)
            break;
        if (outcome == DeviceTable::Outcome::Listed) {
            const int index = table_.count() - 1;
            emit moduleListed(table_.record(index)->line(), index);
        }
    }
    if (table_.count() != before)
        emit countChanged(table_.count());
}

void ModuleFinder::endSearchWindow()
{
    state_.endWindow(table_.count());
    emit searchWindowClosed(table_.count());
}

void ModuleFinder::onTick()
{
    if (state_.tick())
        search();
}

} // namespace finder
