#include "core/MainController.h"

#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/DisplayFormats.h"
#include "core/MidspanLink.h"
#include "core/OperatorFeedback.h"
#include "core/PowerCycle.h"
#include "core/PowerHistory.h"
#include "core/SettingsPage.h"

#include <QDebug>

#include <algorithm>

MainController::MainController(AppContext& context, std::vector<MidspanLink*> links)
    : ctx_(context), links_(std::move(links))
{
    ctx_.link = links_.front();
    ctx_.view.watch(*this);
    ctx_.otherSessionRuns = [this](const MidspanLink& asking) {
        return std::any_of(links_.begin(), links_.end(), [&asking](const MidspanLink* link) {
            return link != &asking && link->sessionRuns();
        });
    };
    ctx_.view.downloadOffered = [this] {
        return ctx_.link->hasFirmwareDownload() && ctx_.link->sessionRuns();
    };
}

void MainController::portRead(const PassReading&)
{
    if (!ctx_.link->sessionRuns() || connectedEntry_.isEmpty())
        return;
    // An entry is the address or the COM port, " *** " and the model or identity text.
    const QString separator = QStringLiteral(" *** ");
    const QString address = connectedEntry_.section(separator, 0, 0);
    const QString model = connectedEntry_.section(separator, 1);
    ctx_.controls.setText(ctl::MainWindow, QStringLiteral("%1 - %2, %3").arg(AppTitle, address, model));
    if (ctx_.history)
        ctx_.history->setUnit(address, model);
}

void MainController::displayCleared(bool sessionEnded)
{
    if (sessionEnded)
        ctx_.controls.setText(ctl::MainWindow, AppTitle);
}

void MainController::initialise()
{
    Controls& c = ctx_.controls;

    c.setEnabled(ctl::FirmwareDownload, false);
    for (int k = 1; k <= MaxPorts; ++k) {
        c.setEnabled(ctl::PortEditBase + k, false);
        c.setEnabled(ctl::PortEnableBase + k, false);
    }
    c.setEnabled(ctl::SendPortControl, false);
    c.setVisible(ctl::LegacyEnabledNote, false);
    c.setVisible(ctl::DownloadIndicator, false);
    c.setVisible(ctl::ComPortCombo, false);
    for (const MidspanLink* link : links_)
        c.addItem(ctl::LinkCombo, link->name());
    c.setCurrentIndex(ctl::LinkCombo, 0);
    ctx_.link = links_.front();

    for (MidspanLink* link : links_)
        link->start();

    c.setVisible(ctl::SearchProgress, false);
}

bool MainController::anySessionRuns() const
{
    return std::any_of(links_.begin(), links_.end(),
                       [](const MidspanLink* link) { return link->sessionRuns() || link->holdsLine(); });
}

void MainController::changeLink(int index)
{
    Controls& c = ctx_.controls;
    if (anySessionRuns()) {
        const auto chosen = std::find(links_.begin(), links_.end(), ctx_.link);
        c.setCurrentIndex(ctl::LinkCombo, int(chosen - links_.begin()));
        return;
    }
    ctx_.view.removeFoundEntry(0);
    if (index < 0 || index >= int(links_.size()))
        return;
    if (links_[std::size_t(index)] != ctx_.link)
        ctx_.link->leave();
    ctx_.link = links_[std::size_t(index)];
    ctx_.link->choose();
}

void MainController::openSettings()
{
    if (SettingsPage* page = ctx_.link->settingsPage(); page && ctx_.settings)
        ctx_.settings->showSettings(*page);
}

void MainController::changeComPort(int index)
{
    ctx_.link->chooseComPort(index);
}

void MainController::searchPoe()
{
    ctx_.link->search();
}

void MainController::selectFoundDevice()
{
    DeviceView& view = ctx_.view;
    const bool running = ctx_.link->sessionRuns();
    const int row = view.foundRow();
    ctx_.link->connectEntry(row); // during a session the link starts nothing
    if (!running) {
        connectedEntry_ = view.foundEntries().value(row);
        return;
    }
    // The pages still show the connected unit: so does the highlight.
    if (const int connected = int(view.foundEntries().lastIndexOf(connectedEntry_)); connected >= 0)
        view.highlightFoundRow(connected);
}

bool MainController::sessionForOperation()
{
    if (ctx_.link->sessionRuns())
        return true;
    ctx_.feedback.error(text::NoPoeDevice);
    return false;
}

void MainController::systemReset()
{
    if (!sessionForOperation())
        return;
    ctx_.link->reset();
    if (ctx_.history)
        ctx_.history->record(OperatorAction::Kind::SystemReset, 0);
}

void MainController::saveToFlash()
{
    if (sessionForOperation())
        ctx_.link->store(StoreTarget::Flash);
}

void MainController::restoreDefaults()
{
    if (sessionForOperation())
        ctx_.link->store(StoreTarget::FactoryDefaults);
}

void MainController::firmwareDownload()
{
    // A failed download may have left a midspan in its loader, with no session to carry it.
    if (ctx_.link->hasFirmwareDownload() && !ctx_.link->sessionRuns() && ctx_.link->loaderWaits())
        ctx_.link->startFirmwareDownload();
    else if (sessionForOperation() && ctx_.link->hasFirmwareDownload())
        ctx_.link->startFirmwareDownload();
}

bool MainController::beginSystemDescriptionEdit()
{
    return sessionForOperation();
}

void MainController::endSystemDescriptionEdit(bool saved, const QString& text)
{
    if (saved && ctx_.link->sessionRuns())
        ctx_.link->sendSystemDescription(text);
}

bool MainController::confirmExit()
{
    QString text = QStringLiteral("Exit Corvane MIDSPAN PoE GUI Monitor ?");
    const std::vector<int> off = ctx_.powerCycle ? ctx_.powerCycle->portsOff() : std::vector<int>{};
    if (!off.empty())
        text += QStringLiteral("\r\n\r\n%1 %2 %3 off for a power-cycle and will be switched back on first.")
                    .arg(off.size() == 1 ? QStringLiteral("Port") : QStringLiteral("Ports"), portList(off))
                    .arg(off.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    const Message question{QStringLiteral("Corvane MIDSPAN PoE GUI Monitor"), text, Message::Icon::Question,
                           Message::Buttons::OkCancel};
    if (!ctx_.feedback.present(question))
        return false;
    bool failed = false;
    const QString cycle = ctx_.powerCycle ? ctx_.powerCycle->endAtExit(failed) : QString();
    if (failed)
        ctx_.feedback.error(cycle);
    stopLinks();
    return true;
}

void MainController::stopLinks()
{
    // Without a window to answer (a signal), what came of an interrupted cycle goes to stderr.
    bool failed = false;
    if (const QString cycle = ctx_.powerCycle ? ctx_.powerCycle->endAtExit(failed) : QString();
        !cycle.isEmpty())
        qWarning().noquote() << cycle;
    for (MidspanLink* link : links_)
        link->close();
}
