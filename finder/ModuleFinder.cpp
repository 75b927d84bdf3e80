#include "finder/ModuleFinder.h"

#include "finder/Datagrams.h"

#include <QNetworkDatagram>
#include <QVariant>

#include <cmath>

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
    if (open_)
        socket_.writeDatagram(datagram, QHostAddress::Broadcast, modulePort);
}

void ModuleFinder::readPending()
{
    const int before = table_.count();
    while (socket_.hasPendingDatagrams()) {
        // Past 255 the rest of a burst is read and dropped, so it neither lingers into the next search
        // nor stalls the socket's notifications.
        const QNetworkDatagram datagram = socket_.receiveDatagram();
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
