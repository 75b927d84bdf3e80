#pragma once

#include "app/AppContext.h"
#include "app/Clock.h"

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

    SerialSession& serialSession() { return serial_; }

    // Asks the operator; on OK stops the link so the window may close.
    bool confirmExit();

private:
    bool sessionRuns() const;
    // Whether a system operation goes to the serial session; says so when no session runs.
    bool serialOperation();

    AppContext& ctx_;
    SerialSession& serial_;
};
