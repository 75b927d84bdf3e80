#include "ui/PowerCycleDialog.h"

#include "core/PowerCycle.h"
#include "ui/DialogUnits.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace
{

constexpr int Columns = 6;

} // namespace

PowerCycleDialog::PowerCycleDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      rememberedSeconds_(PowerCycle::DefaultOffSeconds)
{
    setWindowTitle(QStringLiteral("Power-cycle Ports"));
    setFont(fonts::dialog());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Switch off, and on again after the off time:"), this));

    auto* group = new QGroupBox(QStringLiteral("Ports switched on"), this);
    auto* grid = new QGridLayout(group);
    for (int port = 1; port <= MaxPorts; ++port) {
        auto* box = new QCheckBox(QStringLiteral("Port %1").arg(port), group);
        grid->addWidget(box, (port - 1) / Columns, (port - 1) % Columns);
        connect(box, &QCheckBox::toggled, this, &PowerCycleDialog::updateOk);
        boxes_[std::size_t(port)] = box;
    }
    noPorts_ = new QLabel(QStringLiteral("No port is switched on."), group);
    grid->addWidget(noPorts_, Columns, 0, 1, Columns);
    layout->addWidget(group);

    auto* form = new QFormLayout;
    offTime_ = new QSpinBox(this);
    offTime_->setRange(PowerCycle::MinOffSeconds, PowerCycle::MaxOffSeconds);
    offTime_->setSuffix(QStringLiteral(" s"));
    offTime_->setAccessibleName(QStringLiteral("Off time"));
    form->addRow(QStringLiteral("&Off time:"), offTime_);
    layout->addLayout(form);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons_);
    offer({}, 0);
}

QPushButton* PowerCycleDialog::okButton() const
{
    return buttons_->button(QDialogButtonBox::Ok);
}

void PowerCycleDialog::offer(const std::vector<int>& ports, int ticked)
{
    for (int port = 1; port <= MaxPorts; ++port) {
        QCheckBox* box = boxes_[std::size_t(port)];
        box->setVisible(std::find(ports.begin(), ports.end(), port) != ports.end());
        box->setChecked(port == ticked && box->isVisibleTo(this));
    }
    noPorts_->setVisible(ports.empty());
    offTime_->setValue(rememberedSeconds_);
    updateOk();
    adjustSize();
}

std::vector<int> PowerCycleDialog::chosenPorts() const
{
    std::vector<int> chosen;
    for (int port = 1; port <= MaxPorts; ++port)
        if (boxes_[std::size_t(port)]->isVisibleTo(this) && boxes_[std::size_t(port)]->isChecked())
            chosen.push_back(port);
    return chosen;
}

int PowerCycleDialog::offSeconds() const
{
    return offTime_->value();
}

void PowerCycleDialog::updateOk()
{
    okButton()->setEnabled(!chosenPorts().empty());
}

void PowerCycleDialog::accept()
{
    rememberedSeconds_ = offTime_->value();
    QDialog::accept();
}
