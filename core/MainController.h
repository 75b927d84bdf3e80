#pragma once

#include "core/AppContext.h"
#include "core/Clock.h"
#include "core/DeviceState.h"

#include <functional>

class NetworkLink;
class SerialSession;

// What the main window does with the operator's input, apart from drawing: start-up state,
// the choice of link and COM port, search and device choice, timers and the exit question.
class MainController
{
public:
    MainController(AppContext& context, SerialSession& serial, NetworkLink& network)
        : ctx_(context), serial_(serial), network_(network)
    {
    }

    // The initial state of the controls and the device record at start-up.
    void initialise();

    void changeLink(int index);
    void changeComPort(int index);
    void searchPoe();
    void selectFoundDevice();
    void onTimer(TimerId timer);
    // The SNMP worker has finished an exchange and waits: while a search runs the result is
    // the search's, afterwards the session's.
    void onSnmpResult();

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
    NetworkLink& networkLink() { return network_; }

    // Asks the operator; on OK stops the links so the window may close.
    bool confirmExit();
    // Pauses the network worker and closes the COM port, as at every exit.
    void stopLinks();

private:
    bool sessionRuns() const;
    // Which link carries a system operation; says so when no session runs.
    LinkType operationLink();

    AppContext& ctx_;
    SerialSession& serial_;
    NetworkLink& network_;
    std::function<void()> settingsOpener_;
};
