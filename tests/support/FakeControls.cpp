#include "FakeControls.h"

#include <algorithm>

const FakeControls::Control& FakeControls::get(int id) const
{
    static const Control untouched;
    auto it = controls_.find(id);
    return it == controls_.end() ? untouched : it->second;
}

void FakeControls::setFocus(int id)
{
    focus_ = id;
}

void FakeControls::addItem(int id, const QString& text)
{
    QStringList& items = at(id).items;
    auto pos = std::upper_bound(items.begin(), items.end(), text, [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    items.insert(pos - items.begin(), text);
}

void FakeControls::removeItem(int id, int row)
{
    Control& c = at(id);
    if (row >= 0 && row < c.items.size())
        c.items.removeAt(row);
    if (c.current >= c.items.size())
        c.current = int(c.items.size()) - 1;
}

void FakeControls::clearItems(int id)
{
    at(id).items.clear();
    at(id).current = -1;
}

void FakeControls::setRange(int id, int minimum, int maximum)
{
    at(id).minimum = minimum;
    at(id).maximum = maximum;
}
