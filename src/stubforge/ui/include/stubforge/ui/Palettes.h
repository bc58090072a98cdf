#pragma once

#include <QPalette>

namespace stubforge::ui {

// The main window's two colour schemes, set explicitly so the window never
// follows the desktop theme.
QPalette lightPalette();
QPalette darkPalette();

}  // namespace stubforge::ui
