#pragma once

#include <QListWidget>

// The History window's port list, which is its chart's legend: every entry whole and in sight
// without scrolling. The entries run down in as many columns as the list's height needs, at most
// two, and the list is as wide as those columns, so that a short window (a 1080p screen at a scale
// factor of 2) still shows all 24 ports.
class PortLegend : public QListWidget
{
public:
    explicit PortLegend(QWidget* parent = nullptr);

    // Lays the entries out anew after their texts changed.
    void fit();
    // One column, every entry.
    QSize sizeHint() const override;
    // Two columns.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The height that shows the given number of rows: an entry goes to the next column unless it
    // ends above the bottom edge.
    int heightFor(int rows) const;
};
