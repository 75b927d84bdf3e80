#pragma once

#include <QLabel>

// A text label that paints itself in its own text and background colours: the value cells of
// the parametric page and the revision fields of the system panel. Green on white by default.
class MyStatic : public QLabel
{
    Q_OBJECT

public:
    explicit MyStatic(const QString& text = QString(), QWidget* parent = nullptr);

    void setTextColour(const QColor& colour);
    void setBackgroundColour(const QColor& colour);
    QColor textColour() const;
    QColor backgroundColour() const;
};
