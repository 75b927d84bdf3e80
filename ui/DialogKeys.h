#pragma once

#include <QKeyEvent>

// Enter and Escape, which a dialog would otherwise act on by itself. The program's windows
// swallow them, so that only explicit buttons act.
inline bool isEnterOrEscape(const QKeyEvent* event)
{
    const int key = event->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}
