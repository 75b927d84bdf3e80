#pragma once

#include "links/snmp/NetworkWorker.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <map>

struct DeviceState;

// A worker that answers from tables of objects, one per agent address, instead of the network.
// It follows the worker's rules: a get of requestOid, then a set when a write is due (with the
// value the request calls for) and the result handed over. Each release runs one exchange from
// the event loop; a pause before that takes the release back.
class FakeNetworkWorker : public QObject, public NetworkWorker
{
public:
    struct Agent {
        std::map<QString, QString> objects; // full object identifier -> value text
        bool silent = false;                // answers nothing
        bool refuseSets = false;            // gets work, every set is refused
        QString writeCommunity = QStringLiteral("private");
    };

    explicit FakeNetworkWorker(DeviceState& state) : state_(state) {}

    SnmpJob& job() override { return job_; }
    void release() override;
    void pause() override { released_ = false; }

    // Runs on every result, as the window's handler does.
    std::function<void()> onResult;
    std::map<QString, Agent> agents; // by address
    // "get <address> <oid>" and "set <address> <oid> <value>", in order.
    QStringList log;
    int exchanges = 0;

private:
    void exchange();
    QString valueToSet(const QString& read);

    DeviceState& state_;
    SnmpJob job_;
    bool released_ = false;
    bool queued_ = false;
};
