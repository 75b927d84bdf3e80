#pragma once

#include "core/SettingsPage.h"
#include "core/SpanmonCore.h"
#include "ui/HistoryModule.h"
#include "ui/LampImages.h"
#include "ui/WidgetControls.h"

#include <QDialog>
#include <QFont>

#include <memory>

class QFrame;
class QScrollArea;
class QTabBar;
class PictureWindow;
class PortDescription;
class PROGRESSDLG;
class ParamSetting;

// The main window: link choice, system information and operations, the found-device list and
// the tab control with the two device pages. It draws and forwards; the core decides. Its
// widgets register in `controls`, which the core writes to.
class MainWindow : public QDialog, public SettingsPresenter
{
    Q_OBJECT

public:
    MainWindow(SpanmonCore& core, WidgetControls& controls, const LampImages& lamps,
               QWidget* parent = nullptr);

    WidgetControls& controls() { return controls_; }
    DeviceState& state() { return core_.state(); }
    DeviceView& view() { return core_.view(); }
    AppContext& context() { return core_.context(); }
    MainController& controller() { return core_.controller(); }
    // Built when first opened: the first paint does not wait for it.
    ParamSetting& settingsDialog();
    void showSettings(SettingsPage& page) override;
    const LampImages& lamps() const { return lamps_; }

    // Shows the page of tab 0 (port control) or tab 1 (parametric information).
    void selectTab(int index);
    void runAbout();
    // Opens "Power History", with this port alone chosen (1..24) or the choice as it was (0);
    // says why when its module cannot be loaded.
    void showHistory(int port);
    const PowerHistory& history() const { return core_.history(); }
    HistoryView* historyWindow() const { return historyWindow_; }
    HistoryModule& historyModule() { return historyModule_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void buildTabs();
    void buildInfoPage();
    QRect pageRect() const;
    void placePages();
    void wire();
    // Shrinks the window to the screen it opens on; the canvas then scrolls.
    void fitToScreen();

    SpanmonCore& core_;
    WidgetControls& controls_;
    const LampImages& lamps_;

    QFont boldFont_;
    QFont normalFont_;
    QFont valueFont_;
    QScrollArea* scroll_ = nullptr;
    QWidget* canvas_ = nullptr; // every control, at its designed place and size
    QWidget* tabControl_ = nullptr;
    QTabBar* tabBar_ = nullptr;
    QFrame* tabPane_ = nullptr; // the frame around the page area
    PortDescription* portPage_ = nullptr;
    QWidget* infoPage_ = nullptr; // built after the first paint, or when first wanted
    bool painted_ = false;
    bool systemEditOpen_ = false; // the description dialog edits the system description
    PictureWindow* picture_ = nullptr;
    PROGRESSDLG* progress_ = nullptr;
    ParamSetting* settings_ = nullptr;
    HistoryModule historyModule_;
    HistoryView* historyWindow_ = nullptr;
};
