#pragma once

#include "finder/Datagrams.h"
#include "finder/DeviceTable.h"
#include "finder/SearchState.h"

#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <chrono>

namespace finder
{

// The UDP endpoint, the device table and the search timers: timer 1 closes a search window 500 ms
// after the request, timer 2 ticks every 500 ms for the rescan countdown. A time scale below 1 runs
// both faster (tests).
class ModuleFinder : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds searchWindow{500};
    static constexpr std::chrono::milliseconds rescanTick{500};
    static constexpr quint16 modulePort = 36;

    explicit ModuleFinder(double timeScale = 1.0, QObject* parent = nullptr);

    // Binds the broadcast endpoint and starts timer 2; false when no endpoint could be made.
    bool open();
    void close();
    bool isOpen() const { return open_; }
    // The port the endpoint got from the system, where the modules' replies come in.
    quint16 localPort() const { return socket_.localPort(); }

    void search();
    // Sends to every module (255.255.255.255, port 36) out of every interface that is up and can
    // broadcast: Linux sends a plain broadcast out of the default route's interface alone, which
    // need not be the one the modules are on. A failure is told through sendProblemChanged.
    void broadcast(const QByteArray& datagram);
    void scheduleRescan(int ticks) { state_.scheduleRescan(ticks); }

    const DeviceTable& table() const { return table_; }
    const SearchState& state() const { return state_; }

signals:
    void searchStarted();
    void moduleListed(const QString& line, int index);
    void countChanged(int count);
    void searchWindowClosed(int count);
    // A module refused a password or an address change.
    void changeRefused(const finder::Datagrams::Refusal& refusal);
    // Why broadcasts do not go out on one interface or more, when that changes; empty once they
    // go out again.
    void sendProblemChanged(const QString& reason);

private:
    void readPending();
    void endSearchWindow();
    void onTick();

    QUdpSocket socket_;
    QTimer windowTimer_; // timer 1
    QTimer tickTimer_;   // timer 2
    DeviceTable table_;
    SearchState state_;
    bool open_ = false;
    QString lastFailure_;
};

} // namespace finder
