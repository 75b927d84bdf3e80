#pragma once

#include "core/Controls.h"

#include <QStringList>

#include <map>

// Controls kept in memory, for driving sessions and operations without a window. Every control
// starts enabled and visible with empty text; every list is sorted, as the program's lists are.
class FakeControls : public Controls
{
public:
    struct Control {
        QString text;
        bool checked = false;
        bool enabled = true;
        bool visible = true;
        bool focused = false;
        Lamp lamp = Lamp::NoData;
        QStringList items;
        int current = -1;
        int minimum = 0;
        int maximum = 100;
        int value = 0;
    };

    void setText(int id, const QString& text) override { at(id).text = text; }
    QString text(int id) const override { return get(id).text; }
    void setChecked(int id, bool checked) override { at(id).checked = checked; }
    bool isChecked(int id) const override { return get(id).checked; }
    void setEnabled(int id, bool enabled) override { at(id).enabled = enabled; }
    bool isEnabled(int id) const override { return get(id).enabled; }
    void setVisible(int id, bool visible) override { at(id).visible = visible; }
    bool isVisible(int id) const override { return get(id).visible; }
    void setFocus(int id) override;
    void setLamp(int id, Lamp lamp) override { at(id).lamp = lamp; }
    Lamp lamp(int id) const override { return get(id).lamp; }

    void addItem(int id, const QString& text) override;
    void insertItem(int id, int row, const QString& text) override { at(id).items.insert(row, text); }
    void removeItem(int id, int row) override;
    void clearItems(int id) override;
    int itemCount(int id) const override { return int(get(id).items.size()); }
    QString itemText(int id, int row) const override { return get(id).items.value(row); }
    int currentIndex(int id) const override { return get(id).current; }
    void setCurrentIndex(int id, int row) override { at(id).current = row; }

    void setRange(int id, int minimum, int maximum) override;
    void setValue(int id, int value) override { at(id).value = value; }
    int value(int id) const override { return get(id).value; }

    const Control& control(int id) const { return get(id); }
    int focused() const { return focus_; }

private:
    Control& at(int id) { return controls_[id]; }
    const Control& get(int id) const;

    std::map<int, Control> controls_;
    int focus_ = 0;
};
