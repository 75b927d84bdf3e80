#include "finder/SetAddressDialog.h"

#include "finder/Datagrams.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace finder
{

SetAddressDialog::SetAddressDialog(const AddressEntry& initial, QWidget* parent)
    : QDialog(parent), ip_(new QLineEdit(initial.ip, this)), mask_(new QLineEdit(initial.mask, this)),
      password_(new QLineEdit(initial.password, this)), mac_(initial.mac)
{
    setWindowTitle(QStringLiteral("Set IP Address"));
    setObjectName(QStringLiteral("132"));
    ip_->setObjectName(QStringLiteral("1001"));
    mask_->setObjectName(QStringLiteral("1002"));
    password_->setObjectName(QStringLiteral("1003"));
    password_->setMaxLength(Datagrams::maxPasswordLength);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout(this);
    // Which module is about to change, as the list shows it.
    auto* mac = new QLabel(initial.mac, this);
    mac->setObjectName(QStringLiteral("mac"));
    mac->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("MAC Address"), mac);
    form->addRow(QStringLiteral("IP Address"), ip_);
    form->addRow(QStringLiteral("Subnet Mask"), mask_);
    form->addRow(QStringLiteral("Password"), password_);
    form->addRow(buttons);

    // 191 dialog units wide: a horizontal unit is a quarter of the average character width.
    setMinimumWidth(191 * fontMetrics().averageCharWidth() / 4);
}

AddressEntry SetAddressDialog::entry() const
{
    return {ip_->text(), mask_->text(), password_->text(), mac_};
}

} // namespace finder
