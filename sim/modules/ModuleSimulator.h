#pragma once

#include "SimulatedModule.h"

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <vector>

// Serves any number of simulated modules from one UDP socket and logs every datagram on stdout
// ("rx <command> <size>", "applied <module>", "refused <module>"), so tests can see the traffic.
class ModuleSimulator : public QObject
{
    Q_OBJECT

public:
    struct Faults {
        bool answerTwice = false;
        int replySize = 20;        // 19 or 21 make a malformed reply
        bool wrongCommand = false; // answer with 0x303A instead of 0x3039
        int delayMs = 0;
    };

    ModuleSimulator(std::vector<SimulatedModule> modules, Faults faults, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return socket_.errorString(); }

private:
    void readPending();
    void answer(const QHostAddress& to, quint16 port);
    QByteArray reply(const SimulatedModule& module) const;

    std::vector<SimulatedModule> modules_;
    Faults faults_;
    QUdpSocket socket_;
};
