#pragma once

#include "core/DeviceState.h"

#include <array>
#include <vector>

class SettingsPage;

// The operator's wishes for the ports, as "Send Port Control" takes them from the page. Each
// link encodes them in its own way.
struct PortWishes {
    std::array<bool, MaxPorts> enabled{}; // by port - 1
    bool legacyDetection = false;
    // A step of a power-cycle: the legacy detection stays as the device has it, and the cycle
    // shows its own progress.
    bool cycleStep = false;
};

enum class StoreTarget { Flash, FactoryDefaults };

// What the operator can ask of a link to a midspan. MainController holds the link chosen in
// the window and never asks which one it is; every request only queues, and the link carries
// it out at its next turn.
class MidspanLink
{
public:
    virtual ~MidspanLink() = default;

    // The link choice list shows the link by this name.
    virtual QString name() const = 0;
    // The program has started: the link learns what it needs of this host.
    virtual void start() {}
    // The operator has chosen this link: its own controls show.
    virtual void choose() = 0;
    // The operator has chosen another link: a search under way stops and the link's entries
    // leave the found-device list, which now belongs to the other link.
    virtual void leave() {}
    // "Search PoE".
    virtual void search() = 0;
    // The operator has chosen the entry in this row of the found-device list.
    virtual void connectEntry(int row) = 0;
    virtual bool sessionRuns() const = 0;
    // The operator has chosen this row of the link's own port list (the serial link's COM ports).
    virtual void chooseComPort(int /*row*/) {}
    // Whether the link holds the line for good reason: the choice of link may not change.
    virtual bool holdsLine() const { return false; }

    virtual void reset() = 0;
    virtual void store(StoreTarget target) = 0;
    virtual void sendSystemDescription(const QString& text) = 0;
    virtual void sendPortControl(const PortWishes& wishes) = 0;
    // The record holds the port's new text already; the wishes are the page's as they stand, for
    // a link that writes a port's settings as one.
    virtual void sendPortDescription(int port, const QString& text, const PortWishes& wishes) = 0;
    // A write queued here has not been carried out yet: what a pass reads meanwhile may be
    // from before it.
    virtual bool writeUnderway() const = 0;

    virtual bool hasFirmwareDownload() const { return false; }
    // A failed download has left the midspan in its loader: the download may start again
    // without a session.
    virtual bool loaderWaits() const { return false; }
    virtual void startFirmwareDownload() {}

    // The page of the link's own settings, which the "Setting" button shows; none for a link
    // without settings.
    virtual SettingsPage* settingsPage() { return nullptr; }
    // A search another link started has gone unanswered after the operator chose this link.
    virtual void searchTimedOut() {}

    // At exit, before close(): switches the ports on at once, waiting for the device within the
    // link's time-outs. The ports it could not switch on.
    virtual std::vector<int> switchOnNow(const std::vector<int>& ports) { return ports; }

    // At exit: the link stops and lets go of the line; nothing more is sent.
    virtual void close() = 0;
};
