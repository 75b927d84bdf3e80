#include "links/snmp/ExchangePlanner.h"

#include "core/DeviceState.h"
#include "links/snmp/NetworkState.h"
#include "links/snmp/NetworkWorker.h"
#include "links/snmp/PrivateMib.h"

bool ExchangePlanner::writeDue() const
{
    return net_.activeRequest != Request::None || net_.snmpPhase == CheckPhase::WriteOther ||
           net_.snmpPhase == CheckPhase::Restore;
}

std::optional<SnmpValue> ExchangePlanner::valueOfSet() const
{
    // Later rules win over earlier ones.
    std::optional<SnmpValue> value;
    const Request request = net_.activeRequest;
    if (net_.snmpPhase == CheckPhase::WriteOther || net_.snmpPhase == CheckPhase::Restore)
        value = SnmpValue::integer(net_.checkValue);
    if (request == Request::SystemReset || request == Request::FactoryDefaults ||
        request == Request::SaveToFlash || request == Request::AllPortsOff)
        value = SnmpValue::integer(mib::Off);
    if (request == Request::AllPortsOn)
        value = SnmpValue::integer(mib::On);
    if (request == Request::LegacyDetection)
        value = SnmpValue::integer(net_.legacyDetectWanted);
    if (request == Request::PortEnable) {
        const int port = state_.pollPort;
        if (port >= 1 && port <= MaxPorts && net_.requestOid == mib::portObject(mib::Column::Admin, port))
            value = SnmpValue::integer(net_.portEnableWanted[std::size_t(port - 1)] ? mib::On : mib::Off);
    }
    if (request == Request::SystemDescription)
        value = SnmpValue::text(net_.newSystemDescription.toLatin1());
    if (request == Request::PortDescription && net_.descriptionPort >= 0 && net_.descriptionPort <= MaxPorts)
        value = SnmpValue::text(net_.descriptionOut[std::size_t(net_.descriptionPort)].toLatin1());
    return value;
}

void ExchangePlanner::release()
{
    const DeviceState& s = state_;
    job_.object = net_.requestOid;
    job_.write = writeDue();
    job_.value = job_.write ? valueOfSet() : std::nullopt;
    job_.setUp = !net_.workerSetUp;
    job_.retries = std::max(net_.retries, 0);
    const bool writesPort = job_.write && net_.activeRequest == Request::PortEnable && job_.value &&
                            net_.requestOid == mib::portObject(mib::Column::Admin, s.pollPort);
    writtenPort_ = writesPort ? s.pollPort : 0;
    releaseJob();
}

void ExchangePlanner::releaseJob()
{
    job_.generation = generation_;
    released_ = true;
    worker_.release(job_);
}

void ExchangePlanner::pause()
{
    released_ = false;
    worker_.pause();
}

void ExchangePlanner::startOver()
{
    ++generation_;
    pause();
}

bool ExchangePlanner::take(const SnmpResult& result)
{
    worker_.pause();
    if (result.generation != generation_) {
        // A release made while the stale exchange ran is what the worker does next: the pause
        // above has taken it back.
        if (released_)
            worker_.release(job_);
        return false;
    }
    released_ = false;
    if (awaiting_) {
        awaited_ = result;
        return false;
    }
    DeviceState& s = state_;
    // A write whose get went unanswered was never made: the device did not answer it either.
    const RequestOutcome set = result.answered ? result.set : RequestOutcome::Unanswered;
    if (job_.write && net_.writeOutcome == RequestOutcome::Answered)
        net_.writeOutcome = set;
    if (!result.answered) {
        ++net_.networkFailures;
        net_.responseText.clear();
        net_.response = {};
        return true;
    }
    net_.networkFailures = 0;
    if (writtenPort_ != 0)
        s.pollPort = writtenPort_ + 1;
    if (!job_.write) {
        net_.responseText = result.text;
        net_.response = result.value;
    }
    return true;
}

bool ExchangePlanner::setNow(const QString& address, const QString& object, int value,
                             QDeadlineTimer deadline)
{
    const SnmpJob planned = job_;
    startOver();
    job_.jobAddress = address;
    job_.object = object;
    job_.write = true;
    job_.value = SnmpValue::integer(value);
    job_.setUp = false;
    job_.retries = 3;
    writtenPort_ = 0;
    awaiting_ = true;
    awaited_.reset();
    releaseJob();
    while (!awaited_ && worker_.awaitResult(deadline)) {
    }
    awaiting_ = false;
    const bool taken = awaited_ && awaited_->answered && awaited_->set == RequestOutcome::Answered;
    startOver(); // an answer after the deadline is dropped
    job_ = planned;
    return taken;
}
