#pragma once

#include "core/AppContext.h"
#include "core/DeviceState.h"

#include <QString>

#include <array>

// What the port control page does with the operator's clicks, without the widgets: it reads
// the page's tick boxes and description fields by identifier and queues requests for the link
// in use (a code for the network link, flags for the serial link). Nothing here sends; the
// link sessions carry the requests out at their next turn.
class PortControl
{
public:
    explicit PortControl(AppContext& context) : ctx_(context) {}

    // "Send Port Control": the enable wish of ports 1..portCount and the legacy wish.
    void sendPortControl();
    // Queues the enable wish of ports 1..portCount (by port - 1) for the link in use, with the
    // legacy wish as it stands, as "Send Port Control" does with the tick boxes.
    void queuePortEnable(const std::array<bool, MaxPorts>& wanted);
    // "Enable/Disable All Ports": ticks or unticks the boxes of ports 1..portCount.
    void setAllPorts();
    // "Detect Legacy Signature": takes the wish at once and shows it; sends nothing.
    void chooseLegacyDetection();

    // A port's "Edit": remembers the port and its current text, which the caller hands to the
    // description dialog. Returns that text.
    QString beginDescriptionEdit(int port);
    // The description dialog has ended, saved (with its text) or not. A changed text is shown
    // and queued for the link in use.
    void endDescriptionEdit(bool saved, const QString& text);

    // Lamp of the port the link is working on (pollPort) for a status code from the device.
    void setLampForStatus(int status);

    bool allPortsWanted() const { return allPorts_; }
    bool legacyWanted() const { return legacy_; }

private:
    void readControls();
    std::array<bool, MaxPorts> tickedPorts() const;
    void queueSerialPortWrite(const std::array<bool, MaxPorts>& wanted);

    AppContext& ctx_;
    bool allPorts_ = false;
    bool legacy_ = false;
    QString editText_;
};
