#include "pages/MyStatic.h"

MyStatic::MyStatic(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setAutoFillBackground(true);
    setTextColour(QColor(0, 255, 0));
    setBackgroundColour(Qt::white);
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
