#include "ui/PortLegend.h"

#include <algorithm>

namespace
{
constexpr int MostColumns = 2;
} // namespace

PortLegend::PortLegend(QWidget* parent) : QListWidget(parent)
{
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    // Its width follows its columns, so neither bar is ever needed.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

void PortLegend::fit()
{
    // One cell for every entry: the columns line up and their width is known before layout.
    const QSize cell(sizeHintForColumn(0), std::max(1, sizeHintForRow(0)));
    if (cell != gridSize()) {
        setGridSize(cell);
        updateGeometry();
    }
    // Until it is shown it has no height of its own: one column, as its size hint asks.
    const int rows = isVisible() ? std::max(1, (contentsRect().height() - 1) / cell.height()) : count();
    const int columns = std::max(1, (count() + rows - 1) / rows);
    setFixedWidth(columns * cell.width() + 2 * frameWidth());
}

int PortLegend::heightFor(int rows) const
{
    return rows * gridSize().height() + 1 + 2 * frameWidth();
}

QSize PortLegend::sizeHint() const
{
    return {gridSize().width() + 2 * frameWidth(), heightFor(count())};
}

QSize PortLegend::minimumSizeHint() const
{
    return {gridSize().width() + 2 * frameWidth(), heightFor((count() + MostColumns - 1) / MostColumns)};
}

void PortLegend::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    fit();
}
