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

constexpr int Columns = 4; // of a tick box and its description

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
    grid_ = new QGridLayout(group);
    for (int port = 1; port <= MaxPorts; ++port) {
        auto* box = new QCheckBox(QStringLiteral("Port %1").arg(port), group);
        connect(box, &QCheckBox::toggled, this, &PowerCycleDialog::updateOk);
        boxes_[std::size_t(port)] = box;
        auto* description = new QLabel(group);
        description->setBuddy(box);
        descriptions_[std::size_t(port)] = description;
    }
    noPorts_ = new QLabel(QStringLiteral("No port is switched on."), group);
    grid_->addWidget(noPorts_, MaxPorts, 0, 1, 2 * Columns);
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

void PowerCycleDialog::offer(const std::vector<int>& ports, int ticked,
                             const std::array<QString, MaxPorts + 1>& descriptions)
{
    int cell = 0;
    for (int port = 1; port <= MaxPorts; ++port) {
        QCheckBox* box = boxes_[std::size_t(port)];
        QLabel* description = descriptions_[std::size_t(port)];
        grid_->removeWidget(box);
        grid_->removeWidget(description);
        const bool offered = std::find(ports.begin(), ports.end(), port) != ports.end();
        box->setVisible(offered);
        description->setVisible(offered);
        box->setChecked(port == ticked && offered);
        description->setText(descriptions[std::size_t(port)]);
        if (offered) {
            grid_->addWidget(box, cell / Columns, 2 * (cell % Columns));
            grid_->addWidget(description, cell / Columns, 2 * (cell % Columns) + 1);
            ++cell;
        }
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
