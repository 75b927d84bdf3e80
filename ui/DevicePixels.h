#pragma once

#include <QGuiApplication>
#include <QPixmap>
#include <QSize>

// A pixmap of the given size in the window's units, with a pixel for each of the screen's: what
// is painted on it stays sharp at a scale factor above 1 instead of being blown up.
inline QPixmap devicePixmap(QSize logical)
{
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pixmap((QSizeF(logical) * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}
