#pragma once

#include <QPalette>

// The window's light panel colours as a complete palette: where the design forces the grey panel
// background, every text, field and button colour is forced with it, so that a dark desktop theme
// cannot put its light text on the grey (or dark fields beside white ones). Widgets below a window
// with this palette inherit it in full.
QPalette panelPalette();
