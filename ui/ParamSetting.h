#pragma once

#include "ui/WidgetControls.h"
#include "core/LinkSettingsForm.h"

#include <QDialog>

class LampImages;
class OperatorFeedback;
struct DeviceState;

// "User Security Parameters": the address range to search, the SNMP v2c communities or the
// SNMPv3 user of the network link. OK hands the values to the main window's record and stores
// them in Link.ini; Cancel and the close box change nothing. Enter and Escape do nothing.
//
// It opens window-modal without blocking: the caller learns the outcome from finished() and
// relinkRequested(). Its controls are reached by identifier through controls().
class ParamSetting : public QDialog
{
    Q_OBJECT

public:
    ParamSetting(DeviceState& state, MidspanLink* const& chosenLink, OperatorFeedback& feedback,
                 const LampImages& lamps, QWidget* parent);

    void openSettings();
    bool relinkRequested() const { return form_.relinkRequested(); }
    WidgetControls& controls() { return controls_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();

    WidgetControls controls_;
    LinkSettingsForm form_;
};
