#include "ui/CaptionFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <algorithm>

namespace
{

// Room a style needs around a caption: the frame of a button, the title indent of a group box.
constexpr int buttonPadding = 8;
constexpr int groupTitlePadding = 16;

QString caption(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->pixmap().isNull() ? label->text() : QString();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return QString(button->text()).remove(u'&');
    if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->title();
    return {};
}

// The width the caption needs in this font, with what its control draws beside it.
int neededWidth(const QWidget* widget, const QString& text, const QFont& font)
{
    const int advance = QFontMetrics(font).horizontalAdvance(text);
    const QStyle* style = widget->style();
    if (qobject_cast<const QCheckBox*>(widget) || qobject_cast<const QRadioButton*>(widget))
        return advance + style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, widget) + 2;
    if (qobject_cast<const QPushButton*>(widget))
        return advance + buttonPadding;
    if (qobject_cast<const QGroupBox*>(widget))
        return advance + groupTitlePadding;
    const auto* label = static_cast<const QLabel*>(widget);
    return advance + 2 * (label->margin() + label->frameWidth()) + std::max(0, label->indent());
}

bool fits(const QWidget* widget, const QString& text, const QFont& font)
{
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (!label || !label->wordWrap())
        return neededWidth(widget, text, font) <= widget->width();
    // A wrapped caption must fit across (no word cut) and down (no line cut).
    const QRect room = label->contentsRect();
    const QRect needed = QFontMetrics(font).boundingRect(room, Qt::TextWordWrap | label->alignment(), text);
    return needed.width() <= room.width() && needed.height() <= room.height();
}

void fit(QWidget* widget)
{
    const QString text = caption(widget);
    if (text.trimmed().isEmpty() || fits(widget, text, widget->font()))
        return;
    QFont font = widget->font();
    const int designed = QFontInfo(font).pixelSize();
    for (int pixels = designed - 1; pixels * 4 >= designed * 3; --pixels) {
        font.setPixelSize(pixels);
        if (fits(widget, text, font)) {
            widget->setFont(font);
            return;
        }
    }
    // A wrapped caption keeps its shape: widening it would run it over its neighbours.
    if (const auto* label = qobject_cast<const QLabel*>(widget); !label || !label->wordWrap())
        widget->resize(neededWidth(widget, text, widget->font()), widget->height());
}

} // namespace

void fitCaptions(QWidget* root, Qt::FindChildOptions which)
{
    for (QWidget* widget : root->findChildren<QWidget*>(QString(), which))
        fit(widget);
}
