#pragma once

#include "core/SettingsPage.h"
#include "links/snmp/LinkIni.h"
#include "links/snmp/NetworkState.h"

#include <functional>

class OperatorFeedback;

// The network link's settings page, "User Security Parameters": the fields at opening, the
// SNMPv3 choice, and the checks and hand-over of OK into the link's settings.
class LinkSettingsForm : public SettingsPage
{
public:
    // net-snmp refuses shorter SNMPv3 pass phrases.
    static constexpr int MinimumPassPhrase = 8;

    // Told when the dialog has closed: with OK (accepted), after a confirmed re-link.
    using ClosedHandler = std::function<void(bool accepted, bool relink)>;

    // The network state tells whether new settings would change what the link uses now: a
    // session, or the entries its last search found with the settings of then.
    LinkSettingsForm(NetworkState& net, OperatorFeedback& feedback, LinkSettings& settings,
                     ClosedHandler closed = {})
        : net_(net), feedback_(feedback), settings_(settings), closed_(std::move(closed))
    {
    }

    // The program has started: the address of this host the page shows, and where Link.ini is.
    void start(const QString& localAddress);

    // Fills the fields from the link's values, or from Link.ini where those are empty.
    void open(Controls& controls) override;
    // Community rows or SNMPv3 rows, after the tick box; the SNMPv3 rows take the focus.
    void choiceChanged() override;
    // Checks the fields, hands them to the link's settings and stores them. Returns false when
    // the dialog stays open; what was done before the stop stays done.
    bool ok() override;
    void closed(bool accepted) override;

    // The operator confirmed a re-link while a network session ran.
    bool relinkRequested() const { return relinkRequested_; }
    // Link.ini as last opened or stored.
    const QString& settingsPath() const { return settingsPath_; }

private:
    bool confirmRelink();
    bool credentialsComplete(bool v3);
    bool refuse(int id, const QString& text);
    void store(const LinkSettings& fields);

    NetworkState& net_;
    OperatorFeedback& feedback_;
    LinkSettings& settings_;
    ClosedHandler closed_;
    Controls* controls_ = nullptr;
    QString localAddress_;
    QString settingsPath_;
    bool relinkRequested_ = false;
};
