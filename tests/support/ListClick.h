#pragma once

#include <QListWidget>
#include <QTest>

// Clicks the entry in this row as the operator does: a press and a release on the item.
inline void clickEntry(QListWidget* list, int row)
{
    QListWidgetItem* item = list->item(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}
