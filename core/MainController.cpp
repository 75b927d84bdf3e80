#include "core/MainController.h"

#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/OperatorFeedback.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialSession.h"
#include "links/snmp/LocalAddress.h"
#include "links/snmp/NetworkLink.h"
#include "links/snmp/NetworkWorker.h"

namespace
{
constexpr int NetworkLinkIndex = 0;
constexpr int SerialLinkIndex = 1;
} // namespace

void MainController::initialise()
{
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;

    s.activeCommunity = s.readCommunity;
    s.descriptionEditMode = 1;

    c.setEnabled(ctl::FirmwareDownload, false);
    for (int k = 1; k <= MaxPorts; ++k) {
        c.setEnabled(ctl::PortEditBase + k, false);
        c.setEnabled(ctl::PortEnableBase + k, false);
    }
    c.setEnabled(ctl::SendPortControl, false);
    c.setVisible(ctl::LegacyEnabledNote, false);
    c.setVisible(ctl::DownloadIndicator, false);
    c.setVisible(ctl::ComPortCombo, false);
    c.setCurrentIndex(ctl::LinkCombo, NetworkLinkIndex);
    s.linkType = LinkType::Network;

    s.localAddress = findLocalAddress();

    s.searchIndex = s.searchFirst = s.searchLast = 0;
    s.searchDone = s.lastAddress = s.sessionReady = s.deviceListValid = false;
    s.searchRetries = 3;
    c.setVisible(ctl::SearchProgress, false);
}

bool MainController::sessionRuns() const
{
    return ctx_.state.serialLinked || ctx_.state.networkLinked;
}

void MainController::changeLink(int index)
{
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    if (ctx_.serial.downloadActive) {
        c.setCurrentIndex(ctl::LinkCombo, s.linkChoice);
        return;
    }
    if (sessionRuns()) {
        c.setCurrentIndex(ctl::LinkCombo, s.linkChoice);
        return;
    }
    s.linkChoice = index;
    c.removeItem(ctl::FoundDevices, 0);
    if (index == NetworkLinkIndex) {
        c.setVisible(ctl::ComPortCombo, false);
        c.setVisible(ctl::Setting, true);
        c.setFocus(ctl::Setting);
        s.linkType = LinkType::Network;
        c.setEnabled(ctl::SearchPoe, true);
        c.setEnabled(ctl::Setting, true);
    } else if (index == SerialLinkIndex) {
        c.setVisible(ctl::ComPortCombo, true);
        c.setVisible(ctl::Setting, false);
        c.setFocus(ctl::ComPortCombo);
        serial_.scanComPorts();
    }
}

void MainController::openSettings()
{
    if (settingsOpener_)
        settingsOpener_();
}

void MainController::settingsClosed(bool accepted, bool relink)
{
    DeviceState& s = ctx_.state;
    Controls& c = ctx_.controls;
    if (accepted) {
        if (relink)
            s.networkLinked = false;
        if (!s.deviceListValid)
            s.sessionReady = false; // the worker sets itself up again with the new values
    }
    if (c.itemCount(ctl::FoundDevices) == 0 || s.networkLinked)
        return;
    ctx_.view.clearDeviceDisplay();
    ctx_.view.lockControls();
    c.clearItems(ctl::FoundDevices);
    for (int id : {ctl::SearchPoe, ctl::Setting, ctl::Tabs})
        c.setEnabled(id, true);
    if (!s.useSnmpV3)
        s.snmpPhase = 999;
}

void MainController::changeComPort(int index)
{
    if (ctx_.state.serialLinked)
        ctx_.controls.setCurrentIndex(ctl::ComPortCombo, ctx_.state.comChoice);
    else
        ctx_.state.comChoice = index;
}

void MainController::searchPoe()
{
    if (ctx_.state.linkType == LinkType::Serial)
        serial_.startSerialSearch();
    else if (ctx_.state.linkType == LinkType::Network)
        network_.search().startSearch();
}

void MainController::selectFoundDevice()
{
    if (ctx_.state.networkLinked)
        return;
    if (ctx_.state.linkType == LinkType::Serial)
        serial_.connectSerialDevice();
    else if (ctx_.state.linkType == LinkType::Network)
        network_.session().startNetworkSession(ctx_.controls.currentIndex(ctl::FoundDevices));
}

void MainController::onSnmpResult()
{
    network_.worker().pause();
    // A paced pause holds the result back until it is over, as a blocking wait would.
    ctx_.clock.whenIdle([this] {
        if (ctx_.state.searchDone)
            network_.session().handleSessionResult();
        else
            network_.search().handleSearchResult();
    });
}

void MainController::onTimer(TimerId timer)
{
    switch (timer) {
    case TimerId::IdentifyReply:
        if (ctx_.state.linkType == LinkType::Network) {
            ctx_.clock.stop(TimerId::IdentifyReply);
            network_.worker().pause();
            ctx_.feedback.error(NetworkSearch::NoDevice);
            ctx_.controls.setFocus(ctl::Setting);
        } else {
            serial_.onIdentifyTimeout();
        }
        break;
    case TimerId::PollReply:
        serial_.onPollTimeout();
        break;
    case TimerId::Download:
        serial_.onDownloadTimer();
        break;
    case TimerId::LoaderSilence:
        serial_.onLoaderSilence();
        break;
    }
}

LinkType MainController::operationLink()
{
    if (ctx_.state.networkLinked)
        return LinkType::Network;
    if (ctx_.state.serialLinked)
        return LinkType::Serial;
    ctx_.feedback.error(QStringLiteral("No PoE Device !!"));
    return LinkType::None;
}

void MainController::systemReset()
{
    switch (operationLink()) {
    case LinkType::Network:
        network_.requests().requestReset();
        break;
    case LinkType::Serial:
        serial_.requestReset();
        break;
    case LinkType::None:
        break;
    }
}

void MainController::saveToFlash()
{
    switch (operationLink()) {
    case LinkType::Network:
        network_.requests().requestStore(true);
        break;
    case LinkType::Serial:
        serial_.requestStore(true);
        break;
    case LinkType::None:
        break;
    }
}

void MainController::restoreDefaults()
{
    switch (operationLink()) {
    case LinkType::Network:
        network_.requests().requestStore(false);
        break;
    case LinkType::Serial:
        serial_.requestStore(false);
        break;
    case LinkType::None:
        break;
    }
}

void MainController::firmwareDownload()
{
    // A failed download may have left a midspan in its loader, with no session to carry it.
    if (!sessionRuns() && serial_.download().loaderWaits())
        serial_.startDownload();
    else if (operationLink() == LinkType::Serial) // the network link loads no firmware
        serial_.startDownload();
}

bool MainController::beginSystemDescriptionEdit()
{
    if (ctx_.state.networkLinked || ctx_.state.serialLinked)
        return true;
    ctx_.feedback.error(QStringLiteral("No PoE Device !!"));
    return false;
}

void MainController::endSystemDescriptionEdit(bool saved)
{
    if (!saved)
        return;
    if (ctx_.state.networkLinked)
        network_.requests().requestSystemDescription();
    else if (ctx_.state.serialLinked)
        serial_.requestSystemDescription();
}

bool MainController::confirmExit()
{
    const Message question{QStringLiteral("Corvane MIDSPAN PoE GUI Monitor"),
                           QStringLiteral("Exit Corvane MIDSPAN PoE GUI Monitor ?"), Message::Icon::Question,
                           Message::Buttons::OkCancel};
    if (!ctx_.feedback.present(question))
        return false;
    stopLinks();
    return true;
}

void MainController::stopLinks()
{
    network_.worker().pause();
    serial_.close();
}
