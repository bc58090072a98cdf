#pragma once

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

// The application icon.
QIcon applicationIcon();

}  // namespace stubforge::ui
