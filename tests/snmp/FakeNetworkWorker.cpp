#include "FakeNetworkWorker.h"

#include <QCoreApplication>
#include <QMetaObject>

void FakeNetworkWorker::release(const SnmpJob& job)
{
    job_ = job;
    released_ = true;
    if (queued_)
        return;
    queued_ = true;
    QMetaObject::invokeMethod(
        this, [this] { exchange(); }, Qt::QueuedConnection);
}

bool FakeNetworkWorker::awaitResult(QDeadlineTimer)
{
    const int before = exchanges;
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return exchanges != before;
}

void FakeNetworkWorker::exchange()
{
    queued_ = false;
    if (!released_)
        return;
    released_ = false;
    ++exchanges;
    const SnmpJob job = job_;
    SnmpResult result;
    result.generation = job.generation;
    log.append(QStringLiteral("get %1 %2").arg(job.jobAddress, job.object));
    auto agent = agents.find(job.jobAddress);
    if (agent != agents.end() && !agent->second.silent) {
        result.answered = true;
        const auto object = agent->second.objects.find(job.object);
        const QString read = object == agent->second.objects.end() ? QString() : object->second;
        if (job.write) {
            const QString value = job.value ? job.value->printable() : read;
            log.append(QStringLiteral("set %1 %2 %3").arg(job.jobAddress, job.object, value));
            const bool allowed = job.jobUseV3 || job.jobWriteCommunity == agent->second.writeCommunity;
            if (allowed && !agent->second.refuseSets)
                agent->second.objects[job.object] = value;
            else
                result.set = RequestOutcome::Refused;
        } else {
            result.text = read;
            result.value = SnmpValue::text(read.toLatin1());
        }
    }
    if (handler_)
        handler_(result);
}
