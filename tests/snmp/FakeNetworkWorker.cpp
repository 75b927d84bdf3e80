#include "FakeNetworkWorker.h"

#include "core/DeviceState.h"

#include <QMetaObject>

void FakeNetworkWorker::release()
{
    released_ = true;
    if (queued_)
        return;
    queued_ = true;
    QMetaObject::invokeMethod(
        this, [this] { exchange(); }, Qt::QueuedConnection);
}

QString FakeNetworkWorker::valueToSet(const QString& read)
{
    const DeviceState& s = state_;
    QString value = read;
    if (s.snmpPhase == 2 || s.snmpPhase == 4)
        value = QString::number(s.setValue);
    switch (s.activeRequest) {
    case 1:
    case 2:
    case 3:
    case 62:
        return QStringLiteral("1");
    case 61:
        return QStringLiteral("2");
    case 63:
        return QString::number(s.legacyDetectWanted);
    case 6:
        if (s.requestOid == QStringLiteral("1.3.6.1.4.1.24852.2.3.1.2.%1").arg(s.pollPort)) {
            value = QString::number(s.portEnableWanted[s.pollPort - 1]);
            ++state_.pollPort;
        }
        return value;
    case 4:
        return s.newSystemDescription;
    case 5:
        return s.descriptionOut[s.descriptionPort];
    default:
        return value;
    }
}

void FakeNetworkWorker::exchange()
{
    queued_ = false;
    if (!released_)
        return;
    released_ = false;
    ++exchanges;
    DeviceState& s = state_;
    const QString oid = s.requestOid;
    log.append(QStringLiteral("get %1 %2").arg(job_.jobAddress, oid));
    auto agent = agents.find(job_.jobAddress);
    if (agent == agents.end() || agent->second.silent) {
        ++s.networkFailures;
        s.responseText.clear();
    } else {
        s.networkFailures = 0;
        const auto object = agent->second.objects.find(oid);
        const QString read = object == agent->second.objects.end() ? QString() : object->second;
        const bool writeDue = s.activeRequest != 0 || s.snmpPhase == 2 || s.snmpPhase == 4;
        if (writeDue) {
            const QString value = valueToSet(read);
            log.append(QStringLiteral("set %1 %2 %3").arg(job_.jobAddress, oid, value));
            const bool allowed = job_.jobUseV3 || job_.jobWriteCommunity == agent->second.writeCommunity;
            if (allowed && !agent->second.refuseSets)
                agent->second.objects[oid] = value;
            else
                s.writeRefused = true;
        } else {
            s.responseText = read;
        }
    }
    if (onResult)
        onResult();
}
