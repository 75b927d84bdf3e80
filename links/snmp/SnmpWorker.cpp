#include "links/snmp/SnmpWorker.h"

#include "core/Clock.h"
#include "links/snmp/BootCounter.h"
#include "links/snmp/SnmpClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cmath>
#include <thread>
#include <tuple>

SnmpWorker::SnmpWorker(QObject* context, ResultHandler handler, const Clock* clock)
    : context_(context), handler_(std::move(handler)), clock_(clock)
{
    thread_.reset(QThread::create([this] { run(); }));
    thread_->setObjectName(QStringLiteral("snmpWorker"));
    thread_->start();
}

void SnmpWorker::release(const SnmpJob& job)
{
    {
        QMutexLocker lock(&jobMutex_);
        released_ = job;
        // Read here, on the clock's thread, for the worker to hand to net-snmp.
        if (clock_) {
            releasedTimes_.reply = clock_->realTime(TimerId::AgentReply, requestTimeout);
            releasedTimes_.discovery = clock_->realTime(TimerId::AgentReply, discoveryTimeout);
            releasedTimes_.afterSet =
                std::chrono::milliseconds(std::lround(double(pauseAfterSet.count()) * clock_->scale()));
        }
    }
    gate_.release();
}

SnmpWorker::~SnmpWorker()
{
    closing_ = true;
    gate_.close();
    // A result may be waiting for this thread's event loop; deliver it (the handler is skipped)
    // so that the worker can finish.
    while (!thread_->wait(QDeadlineTimer(10)))
        QCoreApplication::sendPostedEvents(context_, QEvent::MetaCall);
}

void SnmpWorker::run()
{
    while (gate_.waitForRelease()) {
        SnmpJob job;
        Times times;
        {
            QMutexLocker lock(&jobMutex_);
            job = released_;
            times = releasedTimes_;
        }
        const SnmpResult result = exchange(job, times);
        if (closing_)
            continue;
        gate_.handOver(context_, [this, &result] {
            if (!closing_)
                handler_(result);
            ++handedOver_;
        });
    }
}

bool SnmpWorker::awaitResult(QDeadlineTimer deadline)
{
    const quint64 before = handedOver_;
    for (;;) {
        QCoreApplication::sendPostedEvents(context_, QEvent::MetaCall);
        if (handedOver_ != before)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
}

void SnmpWorker::setUp(const SnmpJob& job)
{
    if (job.jobUseV3) {
        BootCounter::advance(QString::fromLatin1(BootCounter::fileName), localEngineV3);
        SnmpClient::setLocalEngineId(localEngineV3);
        // Every set-up starts without user keys, so each agent of a search gets keys of its
        // own, made from the pass phrases of this search.
        SnmpClient::forgetUsers();
        userKeysFrom_.clear();
    } else {
        SnmpClient::setLocalEngineId(localEngineV2c);
    }
}

const SnmpTarget& SnmpWorker::targetFor(const SnmpJob& job, const Times& times)
{
    const auto agentOf = [](const SnmpJob& j) {
        return std::tie(j.jobAddress, j.jobReadCommunity, j.jobWriteCommunity, j.jobUser, j.jobAuthPassword,
                        j.jobPrivPassword, j.jobUseV3, j.retries);
    };
    if (targetMade_ && agentOf(job) == agentOf(targetJob_)) {
        target_.timeout = times.reply;
        target_.discoveryTimeout = times.discovery;
        return target_;
    }

    SnmpTarget target;
    target.address = job.jobAddress;
    target.v3 = job.jobUseV3;
    target.readCommunity = credentialOctets(job.jobReadCommunity);
    target.writeCommunity = credentialOctets(job.jobWriteCommunity);
    target.user = credentialOctets(job.jobUser);
    target.authPassphrase = credentialOctets(job.jobAuthPassword);
    target.privPassphrase = credentialOctets(job.jobPrivPassword);
    target.timeout = times.reply;
    target.discoveryTimeout = times.discovery;
    target.retries = job.retries;

    if (target.v3) {
        // Keys made from other pass phrases would stay in use for an agent already known.
        const QByteArray credentials =
            target.user + '\0' + target.authPassphrase + '\0' + target.privPassphrase;
        if (credentials != userKeysFrom_) {
            SnmpClient::forgetUsers();
            userKeysFrom_ = credentials;
        }
    }
    targetJob_ = job;
    targetMade_ = true;
    target_ = std::move(target);
    return target_;
}

SnmpResult SnmpWorker::exchange(const SnmpJob& job, const Times& times)
{
    SnmpResult result;
    result.generation = job.generation;
    result.unavailable = SnmpClient::unavailable();
    if (!result.unavailable.isEmpty())
        return result;
    if (job.setUp)
        setUp(job);

    SnmpClient client(targetFor(job, times));
    const std::optional<SnmpValue> read = client.get(job.object);
    if (!read)
        return result;
    result.answered = true;
    if (job.write) {
        // The link reads back what it must know; a failed set is only told, after the request.
        if (!client.set(job.object, job.value.value_or(*read)))
            result.set = client.answered() ? RequestOutcome::Refused : RequestOutcome::Unanswered;
        std::this_thread::sleep_for(times.afterSet);
    } else {
        result.text = read->printable();
        result.value = *read;
    }
    return result;
}
