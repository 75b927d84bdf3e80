#include "links/snmp/NetworkRequests.h"

#include "core/Clock.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "core/ProgressAnimation.h"
#include "links/snmp/ExchangePlanner.h"
#include "links/snmp/PrivateMib.h"

#include <algorithm>
#include <utility>

namespace
{

const QString ProcessingDone = QStringLiteral("Processing............  ");

// Each ends with a short step after the dialog has gone.
constexpr int Keep = ProgressAnimation::Keep;
const ProgressAnimation Long{
    ProcessingDone,
    {{0, 6}, {3000, 11}, {3000, 17}, {3000, 21}, {3000, 24}, {500, Keep, true}, {100, Keep, true}}};
const ProgressAnimation Short{ProcessingDone,
                              {{0, 15}, {1500, 20}, {1000, 24}, {500, Keep, true}, {100, Keep, true}}};
const ProgressAnimation Medium{
    ProcessingDone,
    {{0, 6}, {1500, 11}, {1500, 17}, {1500, 21}, {1500, 24}, {500, Keep, true}, {100, Keep, true}}};
const QString ProcessingLegacy = QStringLiteral("Processing (Legacy Detection)............");

QString operationName(Request code, int port)
{
    switch (code) {
    case Request::SystemReset:
        return text::SystemResetWrite;
    case Request::FactoryDefaults:
        return text::FactoryDefaultsWrite;
    case Request::SaveToFlash:
        return text::SaveToFlashWrite;
    case Request::SystemDescription:
        return text::SystemDescriptionWrite;
    case Request::PortDescription:
        return text::portDescriptionWrite(port);
    default:
        return text::PortControlWrite;
    }
}

} // namespace

void NetworkRequests::release()
{
    exchanges_.release();
}

void NetworkRequests::requestReset()
{
    net_.pendingRequest = Request::SystemReset;
    ctx_.view.lockControls();
    ctx_.view.clearDeviceDisplay(false);
    ctx_.clock.pace({2000, {}});
}

void NetworkRequests::requestStore(bool toFlash)
{
    net_.pendingRequest = toFlash ? Request::SaveToFlash : Request::FactoryDefaults;
    ctx_.view.lockControls();
    ctx_.clock.pace({2000, {}});
}

void NetworkRequests::requestSystemDescription(const QString& text)
{
    ctx_.view.showSystemDescription(text);
    net_.newSystemDescription = text;
    net_.pendingRequest = Request::SystemDescription;
    ctx_.view.lockControls();
    ctx_.clock.pace({1000, {}});
}

void NetworkRequests::handleWriteRequest()
{
    const Request code = net_.pendingRequest;
    const bool firstVisit = net_.activeRequest != code;
    if (firstVisit && code != Request::LegacyDetection) {
        net_.writeOutcome = RequestOutcome::Answered;
        operation_ = operationName(code, net_.newDescriptionPort);
    }
    switch (code) {
    case Request::SystemReset:
    case Request::FactoryDefaults:
    case Request::SaveToFlash:
    case Request::SystemDescription:
    case Request::PortDescription: {
        if (firstVisit) {
            singleObject(code);
            return;
        }
        // The device restarts after these; the controls stay locked until the next full pass.
        const bool restarts = code == Request::SystemReset || code == Request::FactoryDefaults;
        animate(restarts ? Long : Short, [this, restarts] {
            if (!restarts)
                ctx_.view.unlockControls();
            finish();
        });
        return;
    }
    case Request::AllPortsOn:
    case Request::AllPortsOff:
        allPorts(code);
        return;
    case Request::PortEnable:
        portWalk(firstVisit);
        return;
    case Request::LegacyDetection:
        if (firstVisit)
            enterLegacyLoop();
        else
            legacyLoop();
        return;
    default:
        // No button queues any other code: drop it and go on reading.
        net_.pendingRequest = net_.activeRequest = Request::None;
        net_.requestOid = mib::Firmware;
        release();
        return;
    }
}

void NetworkRequests::singleObject(Request code)
{
    net_.portPhase = 0;
    net_.refreshPass = 0;
    net_.activeRequest = code;
    switch (code) {
    case Request::SystemReset:
        net_.requestOid = mib::Reset;
        break;
    case Request::FactoryDefaults:
        net_.requestOid = mib::FactoryDefaults;
        break;
    case Request::SaveToFlash:
        net_.requestOid = mib::SaveToFlash;
        break;
    case Request::SystemDescription:
        net_.requestOid = mib::SystemDescription;
        break;
    default: {
        const int port = std::clamp(net_.newDescriptionPort, 1, MaxPorts);
        net_.descriptionPort = port;
        net_.descriptionOut[port] = net_.newPortDescription;
        net_.requestOid = mib::portObject(mib::Column::Description, port);
        ctx_.view.lockControls();
        break;
    }
    }
    release();
}

void NetworkRequests::allPorts(Request code)
{
    if (net_.activeRequest != code) {
        net_.portPhase = 0;
        net_.refreshPass = 0;
        net_.activeRequest = code;
        net_.requestOid = mib::AllPorts;
        ctx_.view.lockControls();
        release();
        return;
    }
    if (legacyChanges()) {
        enterLegacyLoop();
        return;
    }
    animate(Medium, [this] { finish(); });
}

void NetworkRequests::portWalk(bool firstVisit)
{
    DeviceState& s = ctx_.state;
    if (firstVisit) {
        ctx_.view.lockControls();
        net_.activeRequest = Request::PortEnable;
        net_.portPhase = 0;
        s.pollPort = 1;
    } else if (deviceLost()) {
        return;
    }
    // pollPort moves on once a port has been written; ports already as wished are
    // skipped without an exchange.
    for (int p = std::max(s.pollPort, 1); p <= s.portCount; ++p) {
        s.pollPort = p;
        net_.requestOid = mib::portObject(mib::Column::Admin, p);
        ctx_.view.showProgress(text::Processing);
        ctx_.view.setProgress(s.portCount, p);
        if (s.portAdminState[p] != (net_.portEnableWanted[p - 1] ? mib::On : mib::Off)) {
            release();
            return;
        }
    }
    ctx_.view.hideProgress();
    if (legacyChanges()) {
        enterLegacyLoop();
        return;
    }
    s.pollPort = 1;
    finish();
}

bool NetworkRequests::legacyChanges() const
{
    const DeviceState& s = ctx_.state;
    return (net_.legacyDetectWanted == mib::On) != (s.deviceLegacyDetect != 0);
}

void NetworkRequests::enterLegacyLoop()
{
    DeviceState& s = ctx_.state;
    net_.pendingRequest = net_.activeRequest = Request::LegacyDetection;
    s.pollPort = 1;
    net_.requestOid = mib::portObject(mib::Column::Legacy, 1);
    release();
}

void NetworkRequests::legacyLoop()
{
    DeviceState& s = ctx_.state;
    if (deviceLost())
        return;
    const int p = s.pollPort;
    if (p >= s.portCount) {
        ctx_.view.hideProgress();
        finish();
        return;
    }
    s.pollPort = p + 1;
    net_.requestOid = mib::portObject(mib::Column::Legacy, p + 1);
    ctx_.view.showProgress(ProcessingLegacy);
    ctx_.view.setProgress(s.portCount, p + 1);
    release();
}

bool NetworkRequests::deviceLost()
{
    if (net_.networkFailures < ExchangePlanner::FailureLimit)
        return false;
    // Without this the walk would ask the silent port again and again with the controls locked.
    net_.pendingRequest = net_.activeRequest = Request::None;
    ctx_.view.hideProgress();
    if (endSession)
        endSession();
    return true;
}

void NetworkRequests::finish()
{
    switch (std::exchange(net_.writeOutcome, RequestOutcome::Answered)) {
    case RequestOutcome::Refused:
        ctx_.feedback.error(text::writeError(operation_, QStringLiteral("The device refused the write.")));
        break;
    case RequestOutcome::Unanswered:
        ctx_.feedback.error(net_.pendingRequest == Request::SaveToFlash ? text::storeUnanswered(operation_)
                                                                        : text::writeUnanswered(operation_));
        break;
    case RequestOutcome::Answered:
    case RequestOutcome::Stale:
        break;
    }
    net_.pendingRequest = net_.activeRequest = Request::None;
    net_.refreshPass = 0;
    net_.requestOid = mib::Firmware;
    release();
}

void NetworkRequests::animate(const ProgressAnimation& animation, std::function<void()> then)
{
    playProgress(ctx_.clock, ctx_.view, animation, [this, then = std::move(then)] {
        if (net_.networkLinked) // not ended through "Setting" meanwhile
            then();
    });
}
