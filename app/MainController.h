#pragma once

#include "app/AppContext.h"
#include "app/Clock.h"

#include <functional>

class SerialSession;

// What the main window does with the operator's input, apart from drawing: start-up state,
// the choice of link and COM port, search and device choice, timers and the exit question.
class MainController
{
public:
    MainController(AppContext& context, SerialSession& serial) : ctx_(context), serial_(serial) {}

    // The initial state of the controls and the device record at start-up.
    void initialise();

    void changeLink(int index);
    void changeComPort(int index);
    void searchPoe();
    void selectFoundDevice();
    void onTimer(TimerId timer);

    // The system operations (System Reset, Save Parameters to Flash, Restore Factory Defaults).
    void systemReset();
    void saveToFlash();
    void restoreDefaults();
    void firmwareDownload();
    // The system description Edit: whether the description dialog may open (a session runs).
    bool beginSystemDescriptionEdit();
    // The dialog has closed; saved: a new text is in systemDescription.
    void endSystemDescriptionEdit(bool saved);

    // The link settings dialog opens without waiting for it to close; the window says how.
    // "Setting" opens it, and so does the network search when Link.ini holds no address.
    void setSettingsOpener(std::function<void()> opener) { settingsOpener_ = std::move(opener); }
    void openSettings();
    // The link settings dialog has closed: with OK (accepted), after a confirmed re-link (relink).
    void settingsClosed(bool accepted, bool relink);

    SerialSession& serialSession() { return serial_; }

    // Asks the operator; on OK stops the link so the window may close.
    bool confirmExit();

private:
    bool sessionRuns() const;
    // Whether a system operation goes to the serial session; says so when no session runs.
    bool serialOperation();

    AppContext& ctx_;
    SerialSession& serial_;
    std::function<void()> settingsOpener_;
};
