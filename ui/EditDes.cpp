#include "ui/EditDes.h"

#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "ui/DialogKeys.h"
#include "ui/DialogUnits.h"
#include "ui/WidgetControls.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace
{
const QString PortPrompt = QStringLiteral("Please Enter Port Description Max.10 Char.");
const QString SystemPrompt = QStringLiteral("Please Enter System Description Max.10 Char.");
} // namespace

EditDes::EditDes(DeviceState& owner, WidgetControls& controls, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      owner_(owner), group_(new QGroupBox(PortPrompt, this)), edit_(new QLineEdit(group_)),
      button_(new QPushButton(QStringLiteral("Edit"), group_))
{
    setWindowTitle(QStringLiteral("Spanmon"));
    setFont(fonts::dialog());
    const DialogUnits du(font());
    setFixedSize(du.size(172, 43));
    group_->setGeometry(du.rect(4, 2, 164, 38));
    edit_->setGeometry(du.rect(8, 18, 100, 14));
    button_->setGeometry(du.rect(116, 17, 44, 16));

    edit_->setAlignment(Qt::AlignCenter);
    edit_->setMaxLength(MaxLength);
    // The midspan keeps 10 single-byte characters: anything else would reach it garbled.
    edit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[\\x20-\\x7E]*")), edit_));
    edit_->setAccessibleName(QStringLiteral("Description"));
    button_->setFont(fonts::withCellHeight(QStringLiteral("Arial"), 16, 700));
    button_->setAutoDefault(false);
    connect(button_, &QPushButton::clicked, this, &EditDes::press);

    controls.add(ctl::DescriptionDialog, this);
    controls.add(ctl::DescriptionGroup, group_);
    controls.add(ctl::DescriptionEdit, edit_);
    controls.add(ctl::DescriptionButton, button_);
}

void EditDes::openForPort(int port, const QString& text)
{
    systemMode_ = false;
    port_ = port;
    text_ = text;
    prepare();
    open();
}

void EditDes::openForSystem()
{
    systemMode_ = true;
    text_ = owner_.systemDescription;
    prepare();
    open();
}

void EditDes::prepare()
{
    group_->setTitle(systemMode_ ? SystemPrompt : PortPrompt);
    edit_->setText(text_);
    editing_ = false;
    saved_ = false;
    button_->setText(QStringLiteral("Edit"));
    edit_->setEnabled(false);
}

void EditDes::press()
{
    if (!editing_) {
        editing_ = true;
        button_->setText(QStringLiteral("Save"));
        edit_->setEnabled(true);
        edit_->clear();
        edit_->setFocus(Qt::OtherFocusReason);
        return;
    }
    saved_ = true;
    text_ = edit_->text();
    if (systemMode_)
        owner_.systemDescription = text_;
    else if (port_ >= 1 && port_ <= MaxPorts)
        owner_.portDescription[port_] = text_;
    accept();
}

void EditDes::done(int result)
{
    // The dialog is in port mode except while the system description is being edited.
    systemMode_ = false;
    QDialog::done(result);
}

void EditDes::keyPressEvent(QKeyEvent* event)
{
    if (isEnterOrEscape(event)) {
        event->accept(); // only the button and the close box end the dialog
        return;
    }
    QDialog::keyPressEvent(event);
}
