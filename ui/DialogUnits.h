#pragma once

#include <QFont>
#include <QRect>
#include <QString>

// Windows are designed in dialog units: a quarter of the dialog font's average character width
// across and an eighth of its height down. This converts them to pixels for the font in use.
class DialogUnits
{
public:
    explicit DialogUnits(const QFont& dialogFont);

    int x(int units) const { return (units * baseX_ + 2) / 4; }
    int y(int units) const { return (units * baseY_ + 4) / 8; }
    QRect rect(int left, int top, int width, int height) const
    {
        return {x(left), y(top), x(width), y(height)};
    }
    QSize size(int width, int height) const { return {x(width), y(height)}; }

private:
    int baseX_;
    int baseY_;
};

namespace fonts
{

// The dialog font: Calibri 11 (its metric twin Carlito where Calibri is missing).
QFont dialog();
// A font whose character cell is the given number of pixels high, as window fonts are sized
// by cell height. Arial falls back to its metric twin Liberation Sans.
QFont withCellHeight(const QString& family, int cellPixels, int weight);

} // namespace fonts
