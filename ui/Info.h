#pragma once

#include "core/DeviceState.h"

#include <QWidget>

#include <array>

class MyStatic;
class QGroupBox;
class QLabel;
class WidgetControls;

// The parametric information page, the second tab of the main window: for each of the 24
// ports seven value cells (discovery R and C, current, voltage, power, class current and the
// determined class), black with yellow figures or green class texts. The page computes
// nothing: the links and the display reset write the cells by identifier.
class Info : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Rows = 7;

    Info(WidgetControls& controls, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void arrange();

    std::array<QGroupBox*, MaxPorts + 1> groups_{};                 // by port
    std::array<std::array<MyStatic*, Rows>, MaxPorts + 1> cells_{}; // by port, then row
    std::array<std::array<QLabel*, Rows>, 2> labels_{};             // top row, bottom row
};
