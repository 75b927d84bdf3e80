#include "ui/Info.h"

#include "core/ControlIds.h"
#include "ui/CaptionFit.h"
#include "ui/DialogKeys.h"
#include "ui/DialogUnits.h"
#include "ui/MyStatic.h"
#include "ui/WidgetControls.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>

namespace
{

const QColor PanelGrey(0xDA, 0xDA, 0xDA);
const QColor FigureYellow(255, 255, 0);

struct RowDesign {
    int cellBase; // port k's cell is cellBase + k
    const char* label;
    const char* templateText;
    int topLabelId;
    int bottomLabelId;
};

constexpr std::array<RowDesign, Info::Rows> RowDesigns{{
    {ctl::DiscoveryRBase, "Discovery R", "(ohm)", 1332, 1367},
    {ctl::DiscoveryCBase, "Discovery C", "(uF)", 1333, 1368},
    {ctl::CurrentBase, "Current (mA)", "(mA)", 1334, 1369},
    {ctl::VoltageBase, "Voltage (V)", "(V)", 1335, 1370},
    {ctl::PowerBase, "Power (mW)", "(mW)", 1336, 1371},
    {ctl::ClassCurrentBase, "Class Current", "(mA)", 1337, 1372},
    {ctl::ClassBase, "Determined Class", "Class", 1338, 1009},
}};

constexpr int ClassRow = Info::Rows - 1;

} // namespace

Info::Info(WidgetControls& controls, QWidget* parent) : QWidget(parent)
{
    setFont(fonts::dialog());
    QPalette grey = palette();
    grey.setColor(QPalette::Window, PanelGrey);
    setPalette(grey);
    setAutoFillBackground(true);

    const QFont labelFont = fonts::withCellHeight(QStringLiteral("Arial"), 14, 400);
    const QFont cellFont = fonts::withCellHeight(QStringLiteral("Arial"), 14, 700);
    for (int half = 0; half < 2; ++half) {
        for (int row = 0; row < Rows; ++row) {
            const RowDesign& design = RowDesigns[row];
            QLabel* label = new QLabel(QString::fromLatin1(design.label), this);
            label->setFont(labelFont);
            controls.add(half == 0 ? design.topLabelId : design.bottomLabelId, label);
            labels_[half][row] = label;
        }
    }

    for (int k = 1; k <= MaxPorts; ++k) {
        const QString name = QStringLiteral("Port %1").arg(k);
        groups_[k] = new QGroupBox(name, this);
        groups_[k]->setAlignment(Qt::AlignHCenter);
        controls.add(ctl::InfoGroupBase + k, groups_[k]);
        for (int row = 0; row < Rows; ++row) {
            auto* cell = new MyStatic(QString::fromLatin1(RowDesigns[row].templateText), groups_[k]);
            cell->setAlignment(Qt::AlignCenter);
            cell->setFont(cellFont);
            cell->setBackgroundColour(Qt::black);
            if (row != ClassRow)
                cell->setTextColour(FigureYellow);
            cell->setAccessibleName(name + QLatin1Char(' ') + QString::fromLatin1(RowDesigns[row].label));
            controls.add(RowDesigns[row].cellBase + k, cell);
            cells_[k][row] = cell;
        }
    }
    controls.add(ctl::InfoPage, this);
}

void Info::arrange()
{
    constexpr int Margin = 4;
    constexpr int Gap = 4;
    constexpr int TitleHeight = 18;
    constexpr int CellGap = 3;

    int labelWidth = 0;
    for (const QLabel* label : labels_[0])
        labelWidth = std::max(labelWidth, QFontMetrics(label->font()).horizontalAdvance(label->text()));
    labelWidth += 6;

    const int groupsLeft = Margin + labelWidth;
    const int groupWidth = (width() - groupsLeft - Margin) / 12;
    const int rowHeight = (height() - 2 * Margin - Gap) / 2;
    const int cellHeight = (rowHeight - TitleHeight - 4 - (Rows - 1) * CellGap) / Rows;
    for (int half = 0; half < 2; ++half) {
        const int top = Margin + half * (rowHeight + Gap);
        for (int row = 0; row < Rows; ++row) {
            const int y = top + TitleHeight + row * (cellHeight + CellGap);
            labels_[half][row]->setGeometry(Margin, y, labelWidth, cellHeight);
        }
        for (int column = 0; column < 12; ++column) {
            const int k = half * 12 + column + 1;
            groups_[k]->setGeometry(groupsLeft + column * groupWidth, top, groupWidth - 2, rowHeight);
            for (int row = 0; row < Rows; ++row)
                cells_[k][row]->setGeometry(3, TitleHeight + row * (cellHeight + CellGap), groupWidth - 8,
                                            cellHeight);
        }
    }
}

void Info::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange();
    fitCaptions(this);
}

void Info::keyPressEvent(QKeyEvent* event)
{
    if (isEnterOrEscape(event)) {
        event->accept(); // the page has no default action
        return;
    }
    QWidget::keyPressEvent(event);
}
