#include "ui/LampImages.h"

#include "ui/DevicePixels.h"

#include <QPainter>
#include <QRadialGradient>

namespace
{

QPixmap drawLamp(QColor colour)
{
    QPixmap pixmap = devicePixmap({LampImages::Width, LampImages::Height});
    pixmap.fill(QColor(0xDA, 0xDA, 0xDA));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF body(3.5, 4.0, 24.0, 24.0);
    QRadialGradient glow(body.center() - QPointF(4, 4), 16);
    glow.setColorAt(0.0, colour.lighter(170));
    glow.setColorAt(0.6, colour);
    glow.setColorAt(1.0, colour.darker(160));
    painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.2));
    painter.setBrush(glow);
    painter.drawEllipse(body);
    return pixmap;
}

} // namespace

LampImages::LampImages()
{
    images_[static_cast<int>(Lamp::NoData)] = drawLamp(QColor(0x40, 0x40, 0x40));
    images_[static_cast<int>(Lamp::Connected)] = drawLamp(QColor(0x00, 0xC0, 0x00));
    images_[static_cast<int>(Lamp::Detecting)] = drawLamp(QColor(0xF0, 0xD0, 0x00));
    images_[static_cast<int>(Lamp::DisabledOrError)] = drawLamp(QColor(0xE0, 0x00, 0x00));
}
