#pragma once

#include "core/Controls.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class LampImages;

// Controls backed by the real widgets. Each window registers its controls under their
// identifiers; sessions, pages and tests then reach every control by number alone.
class WidgetControls : public Controls
{
public:
    explicit WidgetControls(const LampImages& lamps) : lamps_(lamps) {}

    void add(int id, QWidget* widget);
    // Controls the first paint does not need are built later: `build` registers them, and runs
    // when buildDeferred() is called or when a control not yet registered is asked for.
    void defer(std::function<void()> build);
    void buildDeferred() const;
    QWidget* widget(int id) const;
    template <class T> T* get(int id) const { return qobject_cast<T*>(widget(id)); }

    void setText(int id, const QString& text) override;
    QString text(int id) const override;
    void setChecked(int id, bool checked) override;
    bool isChecked(int id) const override;
    void setEnabled(int id, bool enabled) override;
    bool isEnabled(int id) const override;
    void setVisible(int id, bool visible) override;
    bool isVisible(int id) const override;
    void setFocus(int id) override;
    void setLamp(int id, Lamp lamp) override;
    Lamp lamp(int id) const override;
    void addItem(int id, const QString& text) override;
    void insertItem(int id, int row, const QString& text) override;
    void removeItem(int id, int row) override;
    void clearItems(int id) override;
    int itemCount(int id) const override;
    QString itemText(int id, int row) const override;
    int currentIndex(int id) const override;
    void setCurrentIndex(int id, int row) override;
    void setRange(int id, int minimum, int maximum) override;
    void setValue(int id, int value) override;
    int value(int id) const override;

private:
    const LampImages& lamps_;
    std::map<int, QPointer<QWidget>> widgets_;
    mutable std::vector<std::function<void()>> deferred_;
};
