#pragma once

#include "links/snmp/NetworkWorker.h"

#include <QObject>
#include <QStringList>

#include <map>

// A worker that answers from tables of objects, one per agent address, instead of the network.
// It carries out the job it is given (a get, and a set when the job has one) and hands the
// result over. Each release runs one exchange from the event loop; a pause before that takes
// the release back.
class FakeNetworkWorker : public QObject, public NetworkWorker
{
public:
    struct Agent {
        std::map<QString, QString> objects; // full object identifier -> value text
        bool silent = false;                // answers nothing
        bool refuseSets = false;            // gets work, every set is refused
        QString writeCommunity = QStringLiteral("private");
    };

    explicit FakeNetworkWorker(ResultHandler handler) : handler_(std::move(handler)) {}

    void release(const SnmpJob& job) override;
    void pause() override { released_ = false; }
    // Runs a queued exchange now.
    bool awaitResult(QDeadlineTimer deadline) override;
    // The job of the last release.
    const SnmpJob& job() const { return job_; }
    // An exchange waits for the event loop to run it.
    bool exchangeDue() const { return queued_ && released_; }

    std::map<QString, Agent> agents; // by address
    // "get <address> <oid>" and "set <address> <oid> <value>", in order.
    QStringList log;
    int exchanges = 0;

private:
    void exchange();

    ResultHandler handler_;
    SnmpJob job_;
    bool released_ = false;
    bool queued_ = false;
};
