#pragma once

#include <QScreen>
#include <QSize>
#include <QWidget>

#include <algorithm>

// The room a window's contents have on its screen: the screen less its panels and the window's
// frame. The window manager adds a title bar, which is not known before the window is on screen.
inline QSize roomOnScreen(const QWidget& window)
{
    constexpr int titleBarAllowance = 40;
    const QRect available = window.screen()->availableGeometry();
    const QSize frame = window.frameGeometry().size() - window.size();
    return {available.width() - frame.width(),
            available.height() - std::max(frame.height(), titleBarAllowance)};
}
