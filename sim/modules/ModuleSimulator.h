#pragma once

#include "SimulatedModule.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QObject>
#include <QUdpSocket>

#include <vector>

// Serves any number of simulated modules from one UDP socket and logs every datagram on stdout
// ("rx <command> <size>", "applied <module>", "refused <module>"), so tests can see the traffic.
// A refused password or change is answered to its sender with the module's refusal (20 bytes:
// 0x43 0x21 0x30 0x3F, the reason at 4 (1 wrong password, 2 change without authorisation), the MAC
// at 12), unless the module is one that refuses silently.
class ModuleSimulator : public QObject
{
    Q_OBJECT

public:
    struct Faults {
        bool answerTwice = false;
        int replySize = 20;        // 19 or 21 make a malformed reply
        bool wrongCommand = false; // answer with 0x303A instead of 0x3039
        int delayMs = 0;
        bool silentRefusal = false; // refuse a change without answering (log only)
    };

    ModuleSimulator(std::vector<SimulatedModule> modules, Faults faults, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return socket_.errorString(); }

private:
    void readPending();
    void answer(const QHostAddress& to, quint16 port);
    void refuse(const SimulatedModule& module, char reason, const QNetworkDatagram& request);
    QByteArray reply(const SimulatedModule& module) const;

    std::vector<SimulatedModule> modules_;
    Faults faults_;
    QUdpSocket socket_;
};
