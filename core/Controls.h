#pragma once

#include <QString>

// The four status lamp images shared by every lamp.
enum class Lamp { NoData, Connected, Detecting, DisabledOrError };

// Lamp for a port status code from the device: 8 connected; 1-5 and 9 detecting; the rest
// (0, 6, 7 and anything above 9) disabled or in error.
Lamp lampForStatus(int status);
// What a lamp means, for the LED key, screen readers and the command-line tool.
QString lampMeaning(Lamp lamp);

// Every control of every window, reached by its numeric identifier. Sessions and operations
// write through this and never see a widget, so they run against a fake in tests.
class Controls
{
public:
    virtual ~Controls() = default;

    virtual void setText(int id, const QString& text) = 0;
    virtual QString text(int id) const = 0;
    virtual void setChecked(int id, bool checked) = 0;
    virtual bool isChecked(int id) const = 0;
    virtual void setEnabled(int id, bool enabled) = 0;
    virtual bool isEnabled(int id) const = 0;
    virtual void setVisible(int id, bool visible) = 0;
    virtual bool isVisible(int id) const = 0;
    virtual void setFocus(int id) = 0;

    virtual void setLamp(int id, Lamp lamp) = 0;
    virtual Lamp lamp(int id) const = 0;

    // List boxes and drop-down lists. addItem keeps a sorted control sorted.
    virtual void addItem(int id, const QString& text) = 0;
    virtual void insertItem(int id, int row, const QString& text) = 0;
    virtual void removeItem(int id, int row) = 0;
    virtual void clearItems(int id) = 0;
    virtual int itemCount(int id) const = 0;
    virtual QString itemText(int id, int row) const = 0;
    virtual int currentIndex(int id) const = 0;
    virtual void setCurrentIndex(int id, int row) = 0;

    // Progress bars
    virtual void setRange(int id, int minimum, int maximum) = 0;
    virtual void setValue(int id, int value) = 0;
    virtual int value(int id) const = 0;
};
