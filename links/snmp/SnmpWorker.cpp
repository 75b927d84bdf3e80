#include "links/snmp/SnmpWorker.h"

#include "core/DeviceState.h"
#include "links/snmp/BootCounter.h"
#include "links/snmp/SnmpClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cmath>
#include <thread>

namespace
{

const QString portEnablePrefix = QStringLiteral("1.3.6.1.4.1.24852.2.3.1.2.");

} // namespace

SnmpWorker::SnmpWorker(DeviceState& state, QObject* context, ResultHandler handler, double timeScale)
    : state_(state), context_(context), handler_(std::move(handler)), timeScale_(timeScale)
{
    thread_.reset(QThread::create([this] { run(); }));
    thread_->setObjectName(QStringLiteral("snmpWorker"));
    thread_->start();
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
        exchange();
        if (closing_)
            continue;
        QMetaObject::invokeMethod(
            context_,
            [this] {
                if (!closing_)
                    handler_();
            },
            Qt::BlockingQueuedConnection);
    }
}

void SnmpWorker::setUp()
{
    if (job_.jobUseV3) {
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

bool SnmpWorker::writeDue() const
{
    return state_.activeRequest != Request::None || state_.snmpPhase == 2 || state_.snmpPhase == 4;
}

SnmpValue SnmpWorker::valueOfSet(const SnmpValue& read)
{
    SnmpValue value = read;
    const int request = state_.activeRequest;
    if (state_.snmpPhase == 2 || state_.snmpPhase == 4)
        value = SnmpValue::integer(state_.setValue);
    if (request == Request::SystemReset || request == Request::FactoryDefaults ||
        request == Request::SaveToFlash || request == Request::AllPortsOff)
        value = SnmpValue::integer(1);
    if (request == Request::AllPortsOn)
        value = SnmpValue::integer(2);
    if (request == Request::LegacyDetection)
        value = SnmpValue::integer(state_.legacyDetectWanted);
    if (request == Request::PortEnable) {
        const int port = state_.pollPort;
        if (port >= 1 && port <= MaxPorts && state_.requestOid == portEnablePrefix + QString::number(port)) {
            value = SnmpValue::integer(state_.portEnableWanted[size_t(port - 1)]);
            state_.pollPort = port + 1;
        }
    }
    if (request == Request::SystemDescription)
        value = SnmpValue::text(state_.newSystemDescription.toLatin1());
    if (request == Request::PortDescription && state_.descriptionPort >= 0 &&
        state_.descriptionPort <= MaxPorts)
        value = SnmpValue::text(state_.descriptionOut[size_t(state_.descriptionPort)].toLatin1());
    return value;
}

void SnmpWorker::exchange()
{
    if (!state_.sessionReady)
        setUp();

    SnmpTarget target;
    target.address = job_.jobAddress;
    target.v3 = job_.jobUseV3;
    target.readCommunity = job_.jobReadCommunity.toLatin1();
    target.writeCommunity = job_.jobWriteCommunity.toLatin1();
    target.user = job_.jobUser.toLatin1();
    target.authPassphrase = job_.jobAuthPassword.toLatin1();
    target.privPassphrase = job_.jobPrivPassword.toLatin1();
    target.timeout = requestTimeout;
    target.discoveryTimeout = discoveryTimeout;
    target.retries = std::max(state_.searchRetries, 0);

    if (target.v3) {
        // Keys made from other pass phrases would stay in use for an agent already known.
        const QByteArray credentials =
            target.user + '\0' + target.authPassphrase + '\0' + target.privPassphrase;
        if (credentials != userKeysFrom_) {
            SnmpClient::forgetUsers();
            userKeysFrom_ = credentials;
        }
    }

    SnmpClient client(target);
    const QString object = state_.requestOid;
    const std::optional<SnmpValue> read = client.get(object);
    if (!read) {
        ++state_.networkFailures;
        state_.responseText.clear();
        return;
    }
    state_.networkFailures = 0;
    if (writeDue()) {
        // The session reads back what it must know; a refusal is only told, after the request.
        if (!client.set(object, valueOfSet(*read)))
            state_.writeRefused = true;
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::lround(double(pauseAfterSet.count()) * timeScale_)));
    } else {
        state_.responseText = read->printable();
    }
}
