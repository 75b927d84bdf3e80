#pragma once

#include "core/AppContext.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "ui/LampImages.h"
#include "core/MainController.h"
#include "core/PowerHistory.h"
#include "ui/WidgetControls.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialSession.h"
#include "links/snmp/NetworkLink.h"

#include <QDialog>
#include <QFont>

#include <memory>

class HistoryWindow;
class NetworkWorker;
class QFrame;
class QTabBar;
class PictureWindow;
class PortDescription;
class PROGRESSDLG;
class ParamSetting;

// The main window: link choice, system information and operations, the found-device list and
// the tab control with the two device pages. It draws and forwards; MainController and the
// sessions decide.
class MainWindow : public QDialog
{
    Q_OBJECT

public:
    MainWindow(Clock& clock, OperatorFeedback& feedback, QWidget* parent = nullptr);
    ~MainWindow() override;

    WidgetControls& controls() { return controls_; }
    DeviceState& state() { return state_; }
    SerialLink& serialLink() { return serial_; }
    DeviceView& view() { return view_; }
    AppContext& context() { return context_; }
    MainController& controller() { return controller_; }
    ParamSetting& settingsDialog() { return *settings_; }
    const LampImages& lamps() const { return lamps_; }

    // Shows the page of tab 0 (port control) or tab 1 (parametric information).
    void selectTab(int index);
    void runAbout();
    // Opens "Power History", with this port alone chosen (1..24) or the choice as it was (0).
    void showHistory(int port);
    const PowerHistory& history() const { return history_; }
    HistoryWindow* historyWindow() const { return historyWindow_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<NetworkWorker> makeNetworkWorker();
    void buildControls();
    void buildTabs();
    void placePages();
    void wire();

    DeviceState state_;
    SerialLink serial_;
    LampImages lamps_;
    WidgetControls controls_;
    DeviceView view_;
    AppContext context_;
    SerialSession serialSession_;
    std::unique_ptr<NetworkWorker> networkWorker_; // ended first at exit, see the destructor
    NetworkLink networkLink_;
    MainController controller_;
    PowerHistory history_;

    QFont boldFont_;
    QFont normalFont_;
    QFont valueFont_;
    QWidget* tabControl_ = nullptr;
    QTabBar* tabBar_ = nullptr;
    QFrame* tabPane_ = nullptr; // the frame around the page area
    PortDescription* portPage_ = nullptr;
    QWidget* infoPage_ = nullptr;
    bool systemEditOpen_ = false; // the description dialog edits the system description
    PictureWindow* picture_ = nullptr;
    PROGRESSDLG* progress_ = nullptr;
    ParamSetting* settings_ = nullptr;
    HistoryWindow* historyWindow_ = nullptr;
};
