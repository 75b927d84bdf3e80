#include "ui/PictureWindow.h"

#include "ui/DevicePixels.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>

PictureWindow::PictureWindow(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        bar->setSingleStep(LineStep);
        bar->setPageStep(PageStep);
    }
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAccessibleName(QStringLiteral("Product picture"));
}

void PictureWindow::showPicture(const QPixmap& picture)
{
    picture_ = picture;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

QPoint PictureWindow::offset() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void PictureWindow::updateScrollBars()
{
    // A vertical bar narrows the area across and a horizontal bar the area downwards; the
    // narrowed sizes decide whether the other bar is needed too.
    QSize area = contentsRect().size();
    const QSize picture = picture_.deviceIndependentSize().toSize();
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    bool across = picture.width() > area.width();
    bool down = picture.height() > area.height();
    if (down && !across)
        across = picture.width() > area.width() - barWidth;
    if (across && !down)
        down = picture.height() > area.height() - barWidth;
    if (down)
        area.rwidth() -= barWidth;
    if (across)
        area.rheight() -= barWidth;
    horizontalScrollBar()->setRange(0, across ? picture.width() - area.width() : 0);
    verticalScrollBar()->setRange(0, down ? picture.height() - area.height() : 0);
}

void PictureWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), Qt::white);
    if (picture_.isNull()) {
        painter.setPen(Qt::black);
        painter.drawText(viewport()->rect(), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("File not found."));
        return;
    }
    painter.drawPixmap(-offset(), picture_);
}

void PictureWindow::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void PictureWindow::scrollContentsBy(int, int)
{
    viewport()->update();
}

QPixmap PictureWindow::productPicture()
{
    // A midspan's front: a grey 1U-style panel with two rows of port jacks and their lamps. It
    // stands for units of every size, so it names no port count.
    QPixmap pixmap = devicePixmap({95, 88});
    pixmap.fill(QColor(0xF4, 0xF4, 0xF4));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.setBrush(QColor(0x5A, 0x60, 0x68));
    p.drawRoundedRect(QRectF(3.5, 20.5, 88, 44), 3, 3);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 6; ++col) {
            const QRectF jack(9.5 + col * 13, 27.5 + row * 18, 10, 9);
            p.setBrush(QColor(0x1E, 0x1E, 0x1E));
            p.drawRect(jack);
            p.setBrush(row == 0 && col < 4 ? QColor(0x00, 0xD0, 0x00) : QColor(0xF0, 0xC0, 0x00));
            p.drawEllipse(QRectF(jack.left() + 3, jack.top() - 4.5, 3.5, 3.5));
        }
    p.setPen(QColor(0x20, 0x40, 0x90));
    QFont font = p.font();
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(0, 2, 95, 16), Qt::AlignCenter, QStringLiteral("PoE Midspan"));
    return pixmap;
}
