#include "ui/WidgetControls.h"

#include "ui/LampImages.h"
#include "ui/MyStatic.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMetaProperty>
#include <QProgressBar>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcControls, "spanmon.controls")

namespace
{

// Lists and drop-down lists keep the case-blind alphabetical order of their texts.
int sortedRow(const QStringList& items, const QString& text)
{
    auto pos = std::upper_bound(items.begin(), items.end(), text, [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return int(pos - items.begin());
}

QStringList itemsOf(const QWidget* w)
{
    QStringList items;
    if (auto* list = qobject_cast<const QListWidget*>(w))
        for (int i = 0; i < list->count(); ++i)
            items.append(list->item(i)->text());
    else if (auto* combo = qobject_cast<const QComboBox*>(w))
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
    return items;
}

// Composite fields (the address fields) offer their text as their user property.
bool hasTextProperty(const QWidget* w)
{
    return w && w->metaObject()->userProperty().typeId() == QMetaType::QString;
}

} // namespace

void WidgetControls::add(int id, QWidget* widget)
{
    // What the program puts into a label may come from a device, a file or the operator.
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setTextFormat(Qt::PlainText);
    widgets_[id] = widget;
}

void WidgetControls::defer(std::function<void()> build)
{
    deferred_.push_back(std::move(build));
}

void WidgetControls::buildDeferred() const
{
    // The builders register their controls through their own reference to this object.
    for (const auto& build : std::exchange(deferred_, {}))
        build();
}

QWidget* WidgetControls::widget(int id) const
{
    auto it = widgets_.find(id);
    if (it == widgets_.end() && !deferred_.empty()) {
        buildDeferred();
        it = widgets_.find(id);
    }
    if (it == widgets_.end() || !it->second) {
        qCWarning(lcControls) << "no control" << id;
        return nullptr;
    }
    return it->second;
}

void WidgetControls::setText(int id, const QString& text)
{
    QWidget* w = widget(id);
    if (auto* cell = qobject_cast<MyStatic*>(w))
        cell->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (edit->text() != text)
            edit->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        group->setTitle(text);
    else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
        // A bar's text is shown on it; no text hides it.
        bar->setFormat(text);
        bar->setTextVisible(!text.isEmpty());
    } else if (hasTextProperty(w))
        w->metaObject()->userProperty().write(w, text);
    else if (w)
        w->setWindowTitle(text);
}

QString WidgetControls::text(int id) const
{
    QWidget* w = widget(id);
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(w))
        return group->title();
    if (auto* bar = qobject_cast<QProgressBar*>(w))
        return bar->isTextVisible() ? bar->text() : QString();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentText();
    if (hasTextProperty(w))
        return w->metaObject()->userProperty().read(w).toString();
    return w ? w->windowTitle() : QString();
}

void WidgetControls::setChecked(int id, bool checked)
{
    if (auto* button = get<QAbstractButton>(id))
        button->setChecked(checked);
}

bool WidgetControls::isChecked(int id) const
{
    auto* button = get<QAbstractButton>(id);
    return button && button->isChecked();
}

void WidgetControls::setEnabled(int id, bool enabled)
{
    if (QWidget* w = widget(id))
        w->setEnabled(enabled);
}

bool WidgetControls::isEnabled(int id) const
{
    // The control's own state, whatever its parents' state.
    QWidget* w = widget(id);
    return w && !w->testAttribute(Qt::WA_ForceDisabled);
}

void WidgetControls::setVisible(int id, bool visible)
{
    QWidget* w = widget(id);
    if (!w || (!visible && w->isHidden()))
        return;
    w->setVisible(visible);
    if (visible && w->isWindow()) {
        w->raise();
        w->repaint();
    }
}

bool WidgetControls::isVisible(int id) const
{
    QWidget* w = widget(id);
    return w && !w->isHidden();
}

void WidgetControls::setFocus(int id)
{
    if (QWidget* w = widget(id))
        w->setFocus(Qt::OtherFocusReason);
}

void WidgetControls::setLamp(int id, Lamp lamp)
{
    auto* label = get<QLabel>(id);
    // Every poll sets every lamp; only a change costs a new image and a repaint.
    const QVariant shown = label ? label->property("lamp") : QVariant();
    if (!label || (shown.isValid() && shown.toInt() == static_cast<int>(lamp)))
        return;
    label->setPixmap(lamps_.image(lamp));
    label->setProperty("lamp", static_cast<int>(lamp));
    label->setAccessibleDescription(lampMeaning(lamp));
}

Lamp WidgetControls::lamp(int id) const
{
    auto* label = get<QLabel>(id);
    return label ? static_cast<Lamp>(label->property("lamp").toInt()) : Lamp::NoData;
}

void WidgetControls::addItem(int id, const QString& text)
{
    insertItem(id, sortedRow(itemsOf(widget(id)), text), text);
}

void WidgetControls::insertItem(int id, int row, const QString& text)
{
    QWidget* w = widget(id);
    const QSignalBlocker quiet(w);
    if (auto* list = qobject_cast<QListWidget*>(w))
        list->insertItem(row, text);
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->insertItem(row, text);
}

void WidgetControls::removeItem(int id, int row)
{
    QWidget* w = widget(id);
    const QSignalBlocker quiet(w);
    if (auto* list = qobject_cast<QListWidget*>(w))
        delete list->takeItem(row);
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->removeItem(row);
}

void WidgetControls::clearItems(int id)
{
    QWidget* w = widget(id);
    const QSignalBlocker quiet(w);
    if (auto* list = qobject_cast<QListWidget*>(w))
        list->clear();
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->clear();
}

int WidgetControls::itemCount(int id) const
{
    return int(itemsOf(widget(id)).size());
}

QString WidgetControls::itemText(int id, int row) const
{
    return itemsOf(widget(id)).value(row);
}

int WidgetControls::currentIndex(int id) const
{
    QWidget* w = widget(id);
    if (auto* list = qobject_cast<QListWidget*>(w))
        return list->currentRow();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentIndex();
    return -1;
}

void WidgetControls::setCurrentIndex(int id, int row)
{
    // A selection made by the program is no operator's choice: no handler runs for it.
    QWidget* w = widget(id);
    const QSignalBlocker quiet(w);
    if (auto* list = qobject_cast<QListWidget*>(w))
        list->setCurrentRow(row);
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->setCurrentIndex(row);
}

void WidgetControls::setRange(int id, int minimum, int maximum)
{
    if (auto* bar = get<QProgressBar>(id))
        bar->setRange(minimum, maximum);
}

void WidgetControls::setValue(int id, int value)
{
    if (auto* bar = get<QProgressBar>(id))
        bar->setValue(value);
}

int WidgetControls::value(int id) const
{
    auto* bar = get<QProgressBar>(id);
    return bar ? bar->value() : 0;
}
