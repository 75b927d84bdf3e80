#include "ui/ParamSetting.h"

#include "ui/AddressEdit.h"
#include "ui/DialogKeys.h"
#include "ui/DialogUnits.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

using namespace ctl::link;

namespace
{

constexpr int PassPhraseLimit = 20; // the user too

// What the operator types stays within the limit. A longer value read from Link.ini (written by
// another program) is shown and kept whole, and the operator's edits may only shorten it. A
// value the program put in reads as unmodified; every key press of the operator modifies.
class LengthLimit : public QValidator
{
public:
    LengthLimit(int limit, QLineEdit* edit) : QValidator(edit), limit_(limit), edit_(edit) {}

    State validate(QString& input, int&) const override
    {
        if (edit_->isModified() && input.size() > limit_ && input.size() >= accepted_)
            return Invalid;
        accepted_ = input.size();
        return Acceptable;
    }

private:
    const int limit_;
    const QLineEdit* edit_;
    mutable qsizetype accepted_ = 0; // the length of the text last let through
};

} // namespace

ParamSetting::ParamSetting(DeviceState& state, MidspanLink* const& chosenLink, OperatorFeedback& feedback,
                           const LampImages& lamps, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      controls_(lamps), form_(state, chosenLink, feedback, controls_)
{
    setWindowTitle(QStringLiteral("User Security Parameters"));
    setFont(fonts::dialog());
    build();
    controls_.add(Dialog, this);
}

void ParamSetting::build()
{
    const DialogUnits du(font());
    setFixedSize(du.size(190, 165));
    const QFont labelFont = fonts::withCellHeight(QStringLiteral("Arial"), 16, 400);

    auto place = [&](int id, QWidget* widget, QRect rect) {
        widget->setGeometry(rect);
        if (id)
            controls_.add(id, widget);
    };
    auto group = [&](int id, const QString& title, QRect rect) {
        place(id, new QGroupBox(title, this), rect);
    };
    // A label names its field for screen readers and moves the focus there with its letter.
    auto label = [&](int id, const QString& text, QWidget* field, const QString& name, QRect rect) {
        auto* caption = new QLabel(text, this);
        caption->setFont(labelFont);
        caption->setBuddy(field);
        field->setAccessibleName(name);
        place(id, caption, rect);
    };
    auto edit = [&](int id, QRect rect) {
        auto* field = new QLineEdit(this);
        place(id, field, rect);
        return field;
    };
    auto limitedEdit = [&](int id, QRect rect) {
        auto* field = edit(id, rect);
        field->setValidator(new LengthLimit(PassPhraseLimit, field));
        return field;
    };

    // Frames first, so that the controls inside them lie on top.
    group(AddressGroup, QStringLiteral("IP Address"), du.rect(5, 2, 180, 44));
    group(0, QStringLiteral("Community Setting"), du.rect(5, 48, 180, 40));
    group(0, QString(), du.rect(5, 90, 180, 56));

    auto* local = new AddressEdit(QStringLiteral("Local IP Address"), this);
    local->setReadOnly(true);
    place(LocalAddress, local, du.rect(80, 12, 98, 12));
    label(LocalAddressLabel, QStringLiteral("&Local IP Address"), local, QStringLiteral("Local IP Address"),
          du.rect(11, 13, 68, 10));

    auto* first = new AddressEdit(QStringLiteral("IP Discovery"), this);
    place(FirstAddress, first, du.rect(80, 28, 74, 12));
    label(DiscoveryLabel, QStringLiteral("&IP Discovery"), first, QStringLiteral("IP Discovery"),
          du.rect(11, 29, 68, 10));
    place(0, new QLabel(QStringLiteral("-"), this), du.rect(156, 29, 4, 10));
    auto* end = edit(EndOctet, du.rect(161, 28, 17, 12));
    end->setMaxLength(3);
    end->setAlignment(Qt::AlignCenter);
    end->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), end));
    end->setAccessibleName(QStringLiteral("IP Discovery, last number of the range"));

    label(ReadLabel, QStringLiteral("&Read "), edit(ReadCommunity, du.rect(86, 57, 92, 12)),
          QStringLiteral("Read Community"), du.rect(11, 58, 74, 10));
    label(SetLabel, QStringLiteral("&Set "), edit(WriteCommunity, du.rect(86, 71, 92, 12)),
          QStringLiteral("Set Community"), du.rect(11, 72, 74, 10));

    auto* v3 = new QCheckBox(QStringLiteral("SNMP&v3"), this);
    v3->setFont(labelFont);
    place(UseV3, v3, du.rect(11, 95, 60, 10));
    connect(v3, &QCheckBox::clicked, this, [this] { form_.applyV3Choice(); });
    label(UserLabel, QStringLiteral("&User :"), limitedEdit(User, du.rect(86, 106, 92, 12)),
          QStringLiteral("User"), du.rect(11, 107, 74, 10));
    auto* auth = limitedEdit(AuthPassword, du.rect(86, 119, 92, 12));
    auth->setEchoMode(QLineEdit::Password);
    label(AuthLabel, QStringLiteral("&AuthPassword :"), auth, QStringLiteral("AuthPassword"),
          du.rect(11, 120, 74, 10));
    auto* priv = limitedEdit(PrivPassword, du.rect(86, 132, 92, 12));
    priv->setEchoMode(QLineEdit::Password);
    label(PrivLabel, QStringLiteral("&PrivPassword :"), priv, QStringLiteral("PrivPassword"),
          du.rect(11, 133, 74, 10));

    auto button = [&](int id, const QString& text, QRect rect) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false); // Enter presses no button
        place(id, b, rect);
        return b;
    };
    connect(button(Ok, QStringLiteral("OK"), du.rect(36, 149, 50, 13)), &QPushButton::clicked, this, [this] {
        if (form_.ok())
            accept();
    });
    connect(button(Cancel, QStringLiteral("Cancel"), du.rect(104, 149, 50, 13)), &QPushButton::clicked, this,
            &QDialog::reject);
}

void ParamSetting::openSettings()
{
    if (isVisible()) { // already open: the operator's entries stay
        raise();
        return;
    }
    open();
    form_.open();
}

void ParamSetting::keyPressEvent(QKeyEvent* event)
{
    if (isEnterOrEscape(event)) {
        event->accept(); // only the buttons and the close box end the dialog
        return;
    }
    QDialog::keyPressEvent(event);
}
