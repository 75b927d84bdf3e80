#pragma once

#include "core/SettingsPage.h"
#include "ui/WidgetControls.h"

#include <QDialog>

class LampImages;

// "User Security Parameters": the address range to search, the SNMP v2c communities or the
// SNMPv3 user of the network link. The link's settings page fills the fields and decides what
// OK does; Cancel and the close box change nothing. Enter and Escape do nothing.
//
// It opens window-modal without blocking and tells the page when it has closed. Its controls are
// reached by identifier through controls().
class ParamSetting : public QDialog
{
    Q_OBJECT

public:
    ParamSetting(const LampImages& lamps, QWidget* parent);

    void showPage(SettingsPage& page);
    WidgetControls& controls() { return controls_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();

    WidgetControls controls_;
    SettingsPage* page_ = nullptr; // the page shown, from the first opening on
};
