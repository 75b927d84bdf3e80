#pragma once

#include "core/AppContext.h"
#include "links/snmp/NetworkState.h"

#include <QString>

struct ProgressAnimation;

#include <functional>
#include <vector>

class ExchangePlanner;

// The operator's write requests on the network link. Buttons only queue a code in
// NetworkState::pendingRequest; the session hands each result to handleWriteRequest while a
// code is pending, and the request is carried out in visits, one per result: the first visit
// (activeRequest does not yet hold the code) aims the worker at the object, the worker gets it
// and sets it, and the following visits walk on or close with a progress animation.
class NetworkRequests
{
public:
    NetworkRequests(AppContext& context, NetworkState& net, ExchangePlanner& exchanges)
        : ctx_(context), net_(net), exchanges_(exchanges)
    {
    }

    // Ends the session after three failed exchanges in a row (set by the session).
    std::function<void()> endSession;

    // System Reset, Restore Factory Defaults (toFlash false) and Save Parameters to Flash.
    void requestReset();
    void requestStore(bool toFlash);
    void requestSystemDescription(const QString& text);

    void handleWriteRequest();

private:
    void singleObject(Request code);
    void allPorts(Request code);
    void portWalk(bool firstVisit);
    // The legacy wish sent differs from the device's state: the legacy loop follows the ports.
    bool legacyChanges() const;
    void enterLegacyLoop();
    void legacyLoop();
    // Closes the request: both codes cleared, the refresh resumes at the system objects.
    void finish();
    // Shows the animation on the progress dialog, then runs `then` unless the session has ended.
    void animate(const ProgressAnimation& animation, std::function<void()> then);
    // Whether the device has stopped answering in the middle of a walk over the ports.
    bool deviceLost();
    void release();

    AppContext& ctx_;
    NetworkState& net_;
    ExchangePlanner& exchanges_;
    QString operation_; // the operation the operator asked for, for a refusal report
};
