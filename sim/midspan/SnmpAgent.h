#pragma once

#include "MidspanMib.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <future>
#include <thread>

// The midspan's SNMP agent: net-snmp's embedded master agent on its own thread, serving the
// private MIB. All net-snmp calls happen on that thread; the model carries its own lock.
class SnmpAgent
{
public:
    struct Config {
        QByteArray address;
        QByteArray readCommunity = "public";
        QByteArray writeCommunity = "private";
        QByteArray user;
        QByteArray authPassphrase;
        QByteArray privPassphrase;
    };

    SnmpAgent(MidspanModel& model, Config config);
    ~SnmpAgent();

    // Opens the agent's socket; false with errorString() set when that fails.
    bool start();
    QString errorString() const { return error_; }

    MidspanMib& mib() { return mib_; }
    MidspanModel& model() { return model_; }

private:
    void run(std::promise<QString> started);
    bool writeConfiguration();

    MidspanModel& model_;
    MidspanMib mib_;
    const Config config_;
    QTemporaryDir privateDir_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    QString error_;
};
