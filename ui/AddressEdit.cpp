#include "ui/AddressEdit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <algorithm>

namespace
{

// One number of the address: its digits, at most three, at most 255.
QString number(QStringView part)
{
    QString digits;
    for (QChar c : part)
        if (c >= u'0' && c <= u'9' && digits.size() < 3)
            digits += c;
    return digits.toInt() > 255 ? QStringLiteral("255") : digits;
}

} // namespace

AddressEdit::AddressEdit(const QString& name, QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setAccessibleName(name);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    // A field takes a number, a typed dot or a whole pasted address; edited() sorts them out.
    const QRegularExpression accepted(QStringLiteral("\\s*[0-9]{0,3}(\\.[0-9]{0,3}){0,3}\\s*"));
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setValidator(new QRegularExpressionValidator(accepted, field));
        field->setAccessibleName(QStringLiteral("%1, number %2 of 4").arg(name).arg(i + 1));
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) { edited(i, text); });
        connect(field, &QLineEdit::textChanged, this, [this] {
            showState();
            emit textChanged(text());
        });
        layout->addWidget(field, 1);
        fields_[i] = field;
    }
    setFocusProxy(fields_[0]);
    showState();
}

QString AddressEdit::text() const
{
    if (std::all_of(fields_.begin(), fields_.end(), [](QLineEdit* f) { return f->text().isEmpty(); }))
        return {};
    QStringList numbers;
    for (QLineEdit* field : fields_)
        numbers.append(QString::number(field->text().toInt()));
    return numbers.join(u'.');
}

void AddressEdit::setText(const QString& text)
{
    const QStringList parts = text.trimmed().split(u'.');
    for (int i = 0; i < 4; ++i)
        fields_[i]->setText(i < parts.size() ? number(parts[i]) : QString());
}

void AddressEdit::setReadOnly(bool readOnly)
{
    readOnly_ = readOnly;
    for (QLineEdit* field : fields_) {
        field->setReadOnly(readOnly);
        // Tab passes a read-only address by, as it passes a disabled control; a click still
        // selects it for copying.
        field->setFocusPolicy(readOnly ? Qt::ClickFocus : Qt::StrongFocus);
    }
    showState();
}

void AddressEdit::edited(int index, const QString& typed)
{
    QLineEdit* field = fields_[index];
    const QStringList parts = typed.trimmed().split(u'.');
    if (parts.size() == 1) {
        const QString digits = number(parts[0]);
        if (digits != typed)
            field->setText(digits);
        if (digits.size() == 3 && field->cursorPosition() == 3 && index < 3)
            moveTo(index + 1, false);
        return;
    }
    if (parts.size() == 2 && parts[1].isEmpty()) {
        // A dot typed after a number moves on; in an empty number it does nothing.
        field->setText(number(parts[0]));
        if (!parts[0].isEmpty() && index < 3)
            moveTo(index + 1, false);
        return;
    }
    // A pasted address fills this number and those after it.
    for (int k = 0; k < parts.size() && index + k < 4; ++k)
        fields_[index + k]->setText(number(parts[k]));
    moveTo(std::min(3, index + int(parts.size()) - 1), true);
}

void AddressEdit::moveTo(int index, bool atEnd)
{
    QLineEdit* field = fields_[index];
    field->setFocus(Qt::OtherFocusReason);
    if (atEnd)
        field->end(false);
    else
        field->selectAll(); // typing replaces the number, as it does after Tab
}

bool AddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    const auto at = std::find(fields_.begin(), fields_.end(), watched);
    if (event->type() != QEvent::KeyPress || at == fields_.end())
        return QFrame::eventFilter(watched, event);
    const int index = int(at - fields_.begin());
    QLineEdit* field = *at;
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();
    if ((key == Qt::Key_Backspace || key == Qt::Key_Left) && atStart && index > 0) {
        moveTo(index - 1, true);
        return true;
    }
    if (key == Qt::Key_Right && atEnd && index < 3) {
        fields_[index + 1]->setFocus(Qt::OtherFocusReason);
        fields_[index + 1]->setCursorPosition(0);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void AddressEdit::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        showState();
    QFrame::changeEvent(event);
}

void AddressEdit::showState()
{
    // A read-only or disabled address is drawn on the window's grey, as a read-only edit is.
    const QPalette::ColorRole ground = readOnly_ || !isEnabled() ? QPalette::Window : QPalette::Base;
    setBackgroundRole(ground);
    for (QLineEdit* field : fields_) {
        QPalette colours = field->palette();
        colours.setColor(QPalette::Base, palette().color(ground));
        field->setPalette(colours);
    }
    setAccessibleDescription(text());
}
