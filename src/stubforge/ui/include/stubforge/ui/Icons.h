#pragma once

#include <QColor>
#include <QIcon>

#include <string_view>

namespace stubforge::ui {

// The icon for one of the symbol names the window uses ("folder", "pin.fill",
// the file kinds' icon names, …): the desktop theme's icon of the matching
// freedesktop name, else one drawn by the program.
QIcon symbolIcon(std::string_view symbolName);

// The freedesktop icon name a symbol maps to ("" for an unknown symbol).
std::string_view themeIconName(std::string_view symbolName);

// The program's own drawing of a symbol, used when the theme has none.
QIcon fallbackIcon(std::string_view symbolName);

// The program's own drawing with its lines in `ink`, for a control that must
// read on the window's own colours whatever the desktop theme draws.
QIcon drawnIcon(std::string_view symbolName, const QColor& ink);

// The application icon.
QIcon applicationIcon();

}  // namespace stubforge::ui
