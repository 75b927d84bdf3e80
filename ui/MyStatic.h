#pragma once

#include <QLabel>

// A text label that paints itself in its own text and background colours: the value cells of
// the parametric page and the value fields of the system panel. Green on white by default.
// Screen readers find it as a read-only field: its accessible name says what it is, its text
// (and description) what it shows.
class MyStatic : public QLabel
{
    Q_OBJECT

public:
    explicit MyStatic(const QString& text = QString(), QWidget* parent = nullptr);

    // Shows text; an unchanged text costs a comparison only. Hides QLabel::setText so that
    // readers hear the change.
    void setText(const QString& text);

    void setTextColour(const QColor& colour);
    void setBackgroundColour(const QColor& colour);
    QColor textColour() const;
    QColor backgroundColour() const;
};
