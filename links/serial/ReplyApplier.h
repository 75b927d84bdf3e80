#pragma once

#include "core/AppContext.h"
#include "links/serial/SerialState.h"

#include <QString>

// Turns the replies in rxFrame, as serialproto decodes them, into the device record and the
// controls. Called after the checksum of the reply has been tested.
class ReplyApplier
{
public:
    ReplyApplier(AppContext& context, SerialState& link) : ctx_(context), link_(link) {}

    // Identify (0E) or LegacyIdentify (00): lists the device when its status byte is 0.
    void applyIdentity();
    // ReadSystemStatus (04). A port count outside 1..24 makes the reply unusable: nothing is
    // applied and false comes back.
    bool applySystemStatus();
    // ReadPortStatus (05) for the port the request named, whatever was queued meanwhile.
    void applyPortStatus();
    // ReadPortClassification (08) for the port the request named.
    void applyPortClassification();

private:
    // Port number of the port read in flight; 0 for none.
    int askedPort() const;

    AppContext& ctx_;
    SerialState& link_;
};
