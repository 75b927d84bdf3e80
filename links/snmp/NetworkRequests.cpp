#include "links/snmp/NetworkRequests.h"

#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "links/snmp/NetworkWorker.h"
#include "links/snmp/PrivateMib.h"

#include <algorithm>

namespace
{

constexpr int ProgressScale = 24;
constexpr int FailureLimit = 3;
const QString Processing = QStringLiteral("Processing............");
const QString ProcessingDone = QStringLiteral("Processing............  ");
const QString ProcessingLegacy = QStringLiteral("Processing (Legacy Detection)............");

QString operationName(int code, int port)
{
    switch (code) {
    case Request::SystemReset:
        return QStringLiteral("System Reset");
    case Request::FactoryDefaults:
        return QStringLiteral("Restore Factory Defaults");
    case Request::SaveToFlash:
        return QStringLiteral("Save Parameters to Flash");
    case Request::SystemDescription:
        return QStringLiteral("System ID (Description)");
    case Request::PortDescription:
        return QStringLiteral("Port %1 Description").arg(port);
    default:
        return QStringLiteral("Send Port Control");
    }
}

} // namespace

const NetworkRequests::Animation NetworkRequests::Long{{6, 11, 17, 21, 24}, {3000, 3000, 3000, 3000, 500}};
const NetworkRequests::Animation NetworkRequests::Short{{15, 20, 24}, {1500, 1000, 500}};
const NetworkRequests::Animation NetworkRequests::Medium{{6, 11, 17, 21, 24}, {1500, 1500, 1500, 1500, 500}};

void NetworkRequests::release()
{
    worker_.release();
}

void NetworkRequests::requestReset()
{
    ctx_.clock.stop(TimerId::PollReply);
    ctx_.state.pendingRequest = Request::SystemReset;
    ctx_.view.lockControls();
    ctx_.view.clearDeviceDisplay();
    ctx_.clock.pace({2000, {}});
}

void NetworkRequests::requestStore(bool toFlash)
{
    ctx_.clock.stop(TimerId::PollReply);
    ctx_.state.pendingRequest = toFlash ? Request::SaveToFlash : Request::FactoryDefaults;
    ctx_.view.lockControls();
    ctx_.clock.pace({2000, {}});
}

void NetworkRequests::requestSystemDescription()
{
    DeviceState& s = ctx_.state;
    ctx_.clock.stop(TimerId::PollReply);
    ctx_.controls.setText(ctl::SystemDescription, s.systemDescription);
    s.newSystemDescription = s.systemDescription;
    s.pendingRequest = Request::SystemDescription;
    ctx_.view.lockControls();
    ctx_.clock.pace({1000, {}});
}

void NetworkRequests::handleWriteRequest()
{
    DeviceState& s = ctx_.state;
    const int code = s.pendingRequest;
    const bool firstVisit = s.activeRequest != code;
    if (firstVisit && code != Request::LegacyDetection) {
        s.writeRefused = false;
        operation_ = operationName(code, s.savedPort);
    }
    switch (code) {
    case Request::SystemReset:
    case Request::FactoryDefaults:
    case Request::SaveToFlash:
    case Request::SystemDescription:
    case Request::PortDescription:
        if (firstVisit) {
            singleObject(code);
            return;
        }
        animate(code <= Request::FactoryDefaults ? Long : Short, [this, code] {
            if (code >= Request::SaveToFlash)
                ctx_.view.unlockControls();
            finish();
        });
        return;
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
        s.pendingRequest = s.activeRequest = Request::None;
        s.requestOid = mib::Firmware;
        release();
        return;
    }
}

void NetworkRequests::singleObject(int code)
{
    DeviceState& s = ctx_.state;
    s.portPhase = 0;
    s.refreshPass = 0;
    s.activeRequest = code;
    switch (code) {
    case Request::SystemReset:
        s.requestOid = mib::Reset;
        break;
    case Request::FactoryDefaults:
        s.requestOid = mib::FactoryDefaults;
        break;
    case Request::SaveToFlash:
        s.requestOid = mib::SaveToFlash;
        break;
    case Request::SystemDescription:
        s.requestOid = mib::SystemDescription;
        break;
    default: {
        const int port = std::clamp(s.savedPort, 1, MaxPorts);
        s.descriptionPort = port;
        s.descriptionOut[port] = s.newPortDescription;
        s.requestOid = mib::portObject(mib::Column::Description, port);
        ctx_.view.lockControls();
        break;
    }
    }
    release();
}

void NetworkRequests::allPorts(int code)
{
    DeviceState& s = ctx_.state;
    if (s.activeRequest != code) {
        s.portPhase = 0;
        s.refreshPass = 0;
        s.activeRequest = code;
        s.requestOid = mib::AllPorts;
        ctx_.view.lockControls();
        release();
        return;
    }
    if (s.legacyDetect != s.deviceLegacyDetect) {
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
        s.activeRequest = Request::PortEnable;
        s.portPhase = 0;
        s.pollPort = 1;
    } else if (deviceLost()) {
        return;
    }
    // The worker moves pollPort on once it has written a port; ports already as wished are
    // skipped without an exchange.
    for (int p = std::max(s.pollPort, 1); p <= s.portCount; ++p) {
        s.pollPort = p;
        s.requestOid = mib::portObject(mib::Column::Admin, p);
        ctx_.view.showProgress(Processing);
        ctx_.view.setProgress(s.portCount, p);
        if (s.portAdminState[p] != s.portEnableWanted[p - 1]) {
            release();
            return;
        }
    }
    ctx_.view.hideProgress();
    if (s.legacyDetect != s.deviceLegacyDetect) {
        enterLegacyLoop();
        return;
    }
    s.pollPort = 1;
    finish();
}

void NetworkRequests::enterLegacyLoop()
{
    DeviceState& s = ctx_.state;
    s.pendingRequest = s.activeRequest = Request::LegacyDetection;
    s.pollPort = 1;
    s.requestOid = mib::portObject(mib::Column::Legacy, 1);
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
    s.requestOid = mib::portObject(mib::Column::Legacy, p + 1);
    ctx_.view.showProgress(ProcessingLegacy);
    ctx_.view.setProgress(s.portCount, p + 1);
    release();
}

bool NetworkRequests::deviceLost()
{
    DeviceState& s = ctx_.state;
    if (s.networkFailures < FailureLimit)
        return false;
    // Without this the walk would ask the silent port again and again with the controls locked.
    s.pendingRequest = s.activeRequest = Request::None;
    ctx_.view.hideProgress();
    if (endSession)
        endSession();
    return true;
}

void NetworkRequests::finish()
{
    DeviceState& s = ctx_.state;
    if (s.writeRefused) {
        s.writeRefused = false;
        ctx_.feedback.error(QStringLiteral("'%1' Error !  The device refused the write.").arg(operation_));
    }
    s.pendingRequest = s.activeRequest = Request::None;
    s.refreshPass = 0;
    s.requestOid = mib::Firmware;
    release();
}

void NetworkRequests::animate(const Animation& animation, std::function<void()> then)
{
    DeviceView& view = ctx_.view;
    view.showProgress(ProcessingDone);
    view.setProgress(ProgressScale, animation.positions.front());
    for (std::size_t i = 0; i < animation.pausesMs.size(); ++i) {
        const bool last = i + 1 == animation.pausesMs.size();
        const int next = last ? 0 : animation.positions[i + 1];
        ctx_.clock.pace({animation.pausesMs[i], [&view, last, next] {
                             if (last)
                                 view.hideProgress();
                             else
                                 view.setProgressPosition(next);
                         }});
    }
    ctx_.clock.pace({100, [this, then = std::move(then)] {
                         ctx_.view.hideProgress();
                         if (ctx_.state.networkLinked) // not ended through "Setting" meanwhile
                             then();
                     }});
}
