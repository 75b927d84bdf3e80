#pragma once

#include "core/AppContext.h"
#include "core/PassObserver.h"

#include <QString>

#include <vector>

class MidspanLink;

// What the main window does with the operator's input, apart from drawing: start-up state,
// the choice of link and COM port, search and device choice, the system operations and the
// exit question. It works on the link the operator chose and never asks which one that is.
class MainController : public PassObserver
{
public:
    // The links in the order of the link choice list.
    MainController(AppContext& context, std::vector<MidspanLink*> links);

    // The initial state of the controls and the device record at start-up.
    void initialise();

    void changeLink(int index);
    void changeComPort(int index);
    void searchPoe();
    void selectFoundDevice();

    // The system operations (System Reset, Save Parameters to Flash, Restore Factory Defaults).
    void systemReset();
    void saveToFlash();
    void restoreDefaults();
    void firmwareDownload();
    // The system description Edit: whether the description dialog may open (a session runs).
    bool beginSystemDescriptionEdit();
    // The dialog has closed; saved: with a new text for the system description.
    void endSystemDescriptionEdit(bool saved, const QString& text);

    // "Setting": the chosen link's settings page.
    void openSettings();

    MidspanLink& link() { return *ctx_.link; }

    // Asks the operator; on OK stops the links so the window may close.
    bool confirmExit();
    // Stops every link, as at every exit.
    void stopLinks();

    // The title names the connected unit from its first pass on, and no more once it is gone.
    void portRead(const PassReading& reading) override;
    void displayCleared(bool sessionEnded) override;

private:
    bool anySessionRuns() const;
    // Whether a session runs for a system operation; says so when none does.
    bool sessionForOperation();

    AppContext& ctx_;
    std::vector<MidspanLink*> links_;
    QString connectedEntry_; // the found-device entry the operator chose last
};
