#pragma once

#include "ui/WidgetControls.h"

#include <QList>
#include <QRect>
#include <QTest>

// Layout checks for the device pages, made in the page's own coordinates. They fail the running
// test; callers stop when QTest::currentTestFailed().
class PageLayout
{
public:
    PageLayout(QWidget* page, const WidgetControls& controls) : page_(page), controls_(controls) {}

    QRect rect(int id) const
    {
        QWidget* w = controls_.widget(id);
        return {w->mapTo(page_, QPoint(0, 0)), w->size()};
    }

    // The 24 port groups (base + port) lie on the page, apart from each other; by port - 1.
    void portGroups(int groupBase, QList<QRect>& groups) const
    {
        groups.clear();
        for (int k = 1; k <= 24; ++k) {
            const QRect group = rect(groupBase + k);
            QVERIFY2(page_->rect().contains(group), qPrintable(QStringLiteral("group %1 clipped").arg(k)));
            for (const QRect& other : groups)
                QVERIFY2(!group.intersects(other), qPrintable(QStringLiteral("group %1 overlaps").arg(k)));
            groups.append(group);
        }
    }

    // A page-wide control lies on the page and clear of every port group.
    void verifyClearOf(int id, const QList<QRect>& groups) const
    {
        const QRect r = rect(id);
        QVERIFY2(page_->rect().contains(r), qPrintable(QStringLiteral("%1 clipped").arg(id)));
        for (const QRect& group : groups)
            QVERIFY2(!r.intersects(group), qPrintable(QStringLiteral("%1 overlaps a port group").arg(id)));
    }

private:
    QWidget* page_;
    const WidgetControls& controls_;
};
