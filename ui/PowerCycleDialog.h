#pragma once

#include "core/DeviceState.h"

#include <QDialog>

#include <array>
#include <vector>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QSpinBox;

// "Power-cycle Ports": a tick box for each port that may be cycled, and the off time. The off
// time chosen with OK is offered again for the rest of the run.
class PowerCycleDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PowerCycleDialog(QWidget* parent = nullptr);

    // Offers these ports, with `ticked` (one of them) ticked, or none for 0.
    void offer(const std::vector<int>& ports, int ticked);
    std::vector<int> chosenPorts() const;
    int offSeconds() const;

    // The controls, for tests.
    QCheckBox* portBox(int port) const { return boxes_[std::size_t(port)]; }
    QSpinBox* offTime() const { return offTime_; }
    QPushButton* okButton() const;

    void accept() override;

private:
    void updateOk();

    std::array<QCheckBox*, MaxPorts + 1> boxes_{}; // by port
    QLabel* noPorts_ = nullptr;
    QSpinBox* offTime_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    int rememberedSeconds_;
};
