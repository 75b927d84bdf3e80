#pragma once

#include "core/DeviceState.h"
#include "core/PortControl.h"
#include "core/PowerCycle.h"

#include <QWidget>

#include <array>

class EditDes;
class PowerCycleDialog;
class QAction;
class LampImages;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class WidgetControls;

// The port control page, the first tab of the main window: for each of the 24 ports a status
// lamp, its description with an "Edit" button and an enable tick box, in two rows of twelve;
// above them the page-wide commands and the LED key. Every control is registered by its
// identifier; the clicks go to PortControl, which queues them for the link.
class PortDescription : public QWidget
{
    Q_OBJECT

public:
    PortDescription(AppContext& context, WidgetControls& controls, const LampImages& lamps,
                    QWidget* parent = nullptr);

    // The description dialog, shared with the system description "Edit" of the main window.
    EditDes* descriptionDialog() const { return dialog_; }

    // The actions of a port lamp's context menu (mouse, the menu key or Shift+F10 on the lamp).
    QList<QAction*> lampActions(int port, QObject* owner);

    // "Power-cycle...": opens the dialog with this port ticked (0: none); OK starts the cycle.
    void openPowerCycle(int port);
    PowerCycle& powerCycle() { return cycle_; }
    // Built when first opened.
    PowerCycleDialog* powerCycleDialog();

signals:
    // The operator asked for the power history of this port.
    void historyRequested(int port);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Port {
        QGroupBox* group = nullptr;
        QLabel* lamp = nullptr;
        QLineEdit* description = nullptr;
        QPushButton* edit = nullptr;
        QCheckBox* enable = nullptr;
    };

    void build(WidgetControls& controls, const LampImages& lamps);
    void arrange();
    void editDescription(int port);
    void showLampMenu(int port, const QPoint& at);
    void descriptionDialogFinished(int result);

    PortControl logic_;
    PowerCycle cycle_;
    std::array<Port, MaxPorts + 1> ports_{}; // by port
    std::array<QLabel*, 4> rowLabels_{};     // description and enable labels, top row then bottom
    QGroupBox* commands_ = nullptr;
    QCheckBox* allPorts_ = nullptr;
    QCheckBox* legacy_ = nullptr;
    QLabel* legacyNote_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* powerCycleButton_ = nullptr;
    QGroupBox* ledKey_ = nullptr;
    std::array<QLabel*, 3> keyLamps_{};
    std::array<QLabel*, 3> keyTexts_{};
    QLabel* sendNote_ = nullptr;
    EditDes* dialog_ = nullptr;
    PowerCycleDialog* cycleDialog_ = nullptr;
    bool portEditOpen_ = false;
};
