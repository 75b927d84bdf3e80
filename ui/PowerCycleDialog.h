#pragma once

#include "core/DeviceState.h"

#include <QDialog>

#include <array>
#include <vector>

class QCheckBox;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QSpinBox;

// "Power-cycle Ports": a tick box for each port that may be cycled, and the off time. The off
// time chosen with OK is offered again for the rest of the run.
class PowerCycleDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PowerCycleDialog(QWidget* parent = nullptr);

    // Offers these ports, each with its description beside it, with `ticked` (one of them)
    // ticked, or none for 0. The offered ports fill the grid in order, without gaps.
    void offer(const std::vector<int>& ports, int ticked,
               const std::array<QString, MaxPorts + 1>& descriptions = {});
    std::vector<int> chosenPorts() const;
    int offSeconds() const;

    // The controls, for tests.
    QCheckBox* portBox(int port) const { return boxes_[std::size_t(port)]; }
    QLabel* portDescription(int port) const { return descriptions_[std::size_t(port)]; }
    QSpinBox* offTime() const { return offTime_; }
    QPushButton* okButton() const;

    void accept() override;

private:
    void updateOk();

    std::array<QCheckBox*, MaxPorts + 1> boxes_{}; // by port
    std::array<QLabel*, MaxPorts + 1> descriptions_{};
    QGridLayout* grid_ = nullptr;
    QLabel* noPorts_ = nullptr;
    QSpinBox* offTime_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    int rememberedSeconds_;
};
