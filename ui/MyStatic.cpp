#include "ui/MyStatic.h"

#include <QAccessibleWidget>

namespace
{

// Name: what the cell is (its accessible name, or its text when it has none). Description,
// value and text interface: what it shows.
class MyStaticAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit MyStaticAccessible(MyStatic* cell) : QAccessibleWidget(cell, QAccessible::EditableText) {}

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return widget()->accessibleName().isEmpty() ? shown() : widget()->accessibleName();
        case QAccessible::Description:
        case QAccessible::Value:
            return shown();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(int startOffset, int endOffset) const override
    {
        return shown().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(shown().size()); }
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    QString shown() const { return static_cast<const MyStatic*>(widget())->text(); }
};

QAccessibleInterface* accessibleFor(const QString& className, QObject* object)
{
    if (className == QLatin1String("MyStatic"))
        return new MyStaticAccessible(static_cast<MyStatic*>(object));
    return nullptr;
}

} // namespace

MyStatic::MyStatic(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleFor);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    // Values come from devices: "<b>" is text, and "<img src=...>" must not read a file.
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(true);
    setTextColour(QColor(0, 255, 0));
    setBackgroundColour(Qt::white);
}

void MyStatic::setText(const QString& text)
{
    const QString old = QLabel::text();
    if (text == old)
        return;
    QLabel::setText(text);
    if (!QAccessible::isActive())
        return;
    QAccessibleTextUpdateEvent update(this, 0, old, text);
    QAccessible::updateAccessibility(&update);
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

void MyStatic::setTextColour(const QColor& colour)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void MyStatic::setBackgroundColour(const QColor& colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, colour);
    setPalette(p);
}

QColor MyStatic::textColour() const
{
    return palette().color(QPalette::WindowText);
}

QColor MyStatic::backgroundColour() const
{
    return palette().color(QPalette::Window);
}
