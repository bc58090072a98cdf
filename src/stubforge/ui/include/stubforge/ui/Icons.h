#pragma once

#include "stubforge/core/Options.h"

#include <QColor>
#include <QIcon>

#include <string_view>

namespace stubforge::ui {

// The icons the window shows. The file kinds' icons are the ones the options
// name for them (`iconName`); the build fails if a kind names one missing here.
enum class Icon {
    folder,
    folderFill,
    doc,
    document,
    textPage,
    docPlaintext,
    playRectangle,
    chartBar,
    pencil,
    photo,
    speakerWave,
    film,
    zipperPage,
    cubeTransparent,
    envelope,
    pin,
    pinFill,
    moonFill,
    sunMaxFill,
    plusCircleFill,
    minusCircleFill,
    infoCircle,
    stubforge,  // the last
};

// The icon shown beside a file kind.
Icon iconForFileKind(FileExtension extension);

// The desktop theme's icon of the matching freedesktop name, else the one
// the program draws.
QIcon symbolIcon(Icon icon);

// The freedesktop icon name an icon maps to.
std::string_view themeIconName(Icon icon);

// The program's own drawing of an icon, used when the theme has none.
QIcon fallbackIcon(Icon icon);

// The program's own drawing with its lines in `ink`, for a control that must
// read on the window's own colours whatever the desktop theme draws.
QIcon drawnIcon(Icon icon, const QColor& ink);

// The application icon.
QIcon applicationIcon();

}  // namespace stubforge::ui
