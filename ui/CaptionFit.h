#pragma once

#include <Qt>

class QWidget;

// The window is laid out in dialog units of the font it was designed with (Calibri, or its
// metric twin Carlito). A fallback font's captions run wider than their controls in places:
// each caption that would be cut gets a smaller font, down to three quarters of its size, and
// where even that is too wide its control grows to the right.
void fitCaptions(QWidget* root, Qt::FindChildOptions which = Qt::FindChildrenRecursively);
