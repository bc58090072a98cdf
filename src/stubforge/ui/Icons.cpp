#include "stubforge/ui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>
#include <cmath>
#include <utility>

namespace stubforge::ui {

namespace {

struct IconCase {
    Icon icon;
    std::string_view symbol;  // the name the options give a file kind
    std::string_view theme;   // the freedesktop icon name
};

constexpr std::array<IconCase, 23> kIcons = {{
    {Icon::folder, "folder", "folder"},
    {Icon::folderFill, "folder.fill", "folder"},
    {Icon::doc, "doc", "text-x-generic"},
    {Icon::document, "document", "x-office-document"},
    {Icon::textPage, "text.page", "text-x-generic"},
    {Icon::docPlaintext, "doc.plaintext", "text-x-generic"},
    {Icon::playRectangle, "play.rectangle", "x-office-presentation"},
    {Icon::chartBar, "chart.bar", "x-office-spreadsheet"},
    {Icon::pencil, "pencil", "accessories-text-editor"},
    {Icon::photo, "photo", "image-x-generic"},
    {Icon::speakerWave, "speaker.wave.2", "audio-x-generic"},
    {Icon::film, "film", "video-x-generic"},
    {Icon::zipperPage, "zipper.page", "package-x-generic"},
    {Icon::cubeTransparent, "cube.transparent", "applications-graphics"},
    {Icon::envelope, "envelope", "mail-send"},
    {Icon::pin, "pin", "window-unpin"},
    {Icon::pinFill, "pin.fill", "window-pin"},
    {Icon::moonFill, "moon.fill", "weather-clear-night"},
    {Icon::sunMaxFill, "sun.max.fill", "weather-clear"},
    {Icon::plusCircleFill, "plus.circle.fill", "list-add"},
    {Icon::minusCircleFill, "minus.circle.fill", "list-remove"},
    {Icon::infoCircle, "info.circle", "dialog-information"},
    {Icon::stubforge, "stubforge", "stubforge"},
}};

constexpr const IconCase* caseForSymbol(std::string_view symbol) {
    for (const IconCase& entry : kIcons) {
        if (entry.symbol == symbol) {
            return &entry;
        }
    }
    return nullptr;
}

constexpr bool everyFileKindHasAnIcon() {
    for (const auto& fileKind : OptionTable<FileExtension>::cases) {
        if (caseForSymbol(fileKind.iconName) == nullptr) {
            return false;
        }
    }
    return true;
}
static_assert(everyFileKindHasAnIcon(), "a file kind names an icon the window does not have");

constexpr bool everyIconHasItsRow() {
    for (std::size_t index = 0; index < kIcons.size(); ++index) {
        if (static_cast<std::size_t>(kIcons[index].icon) != index) {
            return false;
        }
    }
    return kIcons.size() == static_cast<std::size_t>(Icon::stubforge) + 1;
}
static_assert(everyIconHasItsRow(), "kIcons lists every icon, in the order of the enum");

// Drawn on a 32-point grid; the colours read on light and dark palettes alike.
const QColor kDefaultInk(0x6e, 0x6e, 0x73);
const QColor kAccent(0x2f, 0x7d, 0xe1);
const QColor kPaper(0xf2, 0xf2, 0xf5);

void drawPage(QPainter& painter) {
    QPainterPath page;
    page.moveTo(8, 3);
    page.lineTo(19, 3);
    page.lineTo(25, 9);
    page.lineTo(25, 29);
    page.lineTo(8, 29);
    page.closeSubpath();
    painter.setBrush(kPaper);
    painter.drawPath(page);
    painter.drawLine(QPointF(19, 3), QPointF(19, 9));
    painter.drawLine(QPointF(19, 9), QPointF(25, 9));
}

void drawLines(QPainter& painter, int count) {
    for (int line = 0; line < count; ++line) {
        const double y = 14 + line * 4;
        painter.drawLine(QPointF(11, y), QPointF(22, y));
    }
}

void drawPin(QPainter& painter, bool filled) {
    QPainterPath head;
    head.addRoundedRect(QRectF(11, 3, 10, 12), 3, 3);
    painter.setBrush(filled ? kAccent : Qt::transparent);
    painter.drawPath(head);
    painter.drawLine(QPointF(8, 17), QPointF(24, 17));
    painter.drawLine(QPointF(16, 17), QPointF(16, 29));
}

void drawCircle(QPainter& painter, bool filled) {
    painter.setBrush(filled ? kAccent : Qt::transparent);
    painter.drawEllipse(QRectF(4, 4, 24, 24));
}

void drawSymbol(QPainter& painter, Icon symbol, const QColor& ink) {
    QPen pen(ink, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    switch (symbol) {
    case Icon::folder:
    case Icon::folderFill: {
        QPainterPath folder;
        folder.moveTo(3, 8);
        folder.lineTo(12, 8);
        folder.lineTo(15, 11);
        folder.lineTo(29, 11);
        folder.lineTo(29, 26);
        folder.lineTo(3, 26);
        folder.closeSubpath();
        painter.setBrush(QColor(0x8c, 0xc4, 0xf5));
        painter.drawPath(folder);
        break;
    }
    case Icon::doc: {
        drawPage(painter);
        break;
    }
    case Icon::textPage:
    case Icon::docPlaintext:
    case Icon::document: {
        drawPage(painter);
        drawLines(painter, symbol == Icon::document ? 2 : 4);
        if (symbol == Icon::document) {
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRectF(11, 22, 11, 4));
        }
        break;
    }
    case Icon::zipperPage: {
        drawPage(painter);
        for (int step = 0; step < 5; ++step) {
            const double y = 11 + step * 3.5;
            painter.drawLine(QPointF(step % 2 == 0 ? 13 : 16, y), QPointF(step % 2 == 0 ? 16 : 19, y));
        }
        break;
    }
    case Icon::playRectangle: {
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(3, 7, 26, 18), 3, 3);
        QPainterPath play;
        play.moveTo(13, 11);
        play.lineTo(21, 16);
        play.lineTo(13, 21);
        play.closeSubpath();
        painter.setBrush(ink);
        painter.drawPath(play);
        break;
    }
    case Icon::chartBar: {
        painter.setBrush(ink);
        painter.drawRect(QRectF(5, 18, 5, 10));
        painter.drawRect(QRectF(13.5, 10, 5, 18));
        painter.drawRect(QRectF(22, 4, 5, 24));
        break;
    }
    case Icon::pencil: {
        painter.setBrush(Qt::NoBrush);
        QPainterPath pencil;
        pencil.moveTo(6, 26);
        pencil.lineTo(8, 19);
        pencil.lineTo(22, 5);
        pencil.lineTo(27, 10);
        pencil.lineTo(13, 24);
        pencil.closeSubpath();
        painter.drawPath(pencil);
        painter.drawLine(QPointF(8, 19), QPointF(13, 24));
        break;
    }
    case Icon::photo: {
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(3, 6, 26, 20), 3, 3);
        QPainterPath hills;
        hills.moveTo(4, 25);
        hills.lineTo(12, 15);
        hills.lineTo(18, 21);
        hills.lineTo(22, 17);
        hills.lineTo(28, 25);
        painter.drawPath(hills);
        painter.setBrush(ink);
        painter.drawEllipse(QRectF(20, 9, 4, 4));
        break;
    }
    case Icon::speakerWave: {
        QPainterPath speaker;
        speaker.moveTo(4, 12);
        speaker.lineTo(9, 12);
        speaker.lineTo(15, 6);
        speaker.lineTo(15, 26);
        speaker.lineTo(9, 20);
        speaker.lineTo(4, 20);
        speaker.closeSubpath();
        painter.setBrush(ink);
        painter.drawPath(speaker);
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(12, 10, 8, 12), -60 * 16, 120 * 16);
        painter.drawArc(QRectF(12, 5, 16, 22), -60 * 16, 120 * 16);
        break;
    }
    case Icon::film: {
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(5, 3, 22, 26));
        painter.drawLine(QPointF(10, 3), QPointF(10, 29));
        painter.drawLine(QPointF(22, 3), QPointF(22, 29));
        painter.drawLine(QPointF(10, 16), QPointF(22, 16));
        break;
    }
    case Icon::cubeTransparent: {
        painter.setBrush(Qt::NoBrush);
        const QPointF top(16, 3), left(4, 9), right(28, 9), centre(16, 15);
        painter.drawPolygon(QPolygonF({top, right, centre, left}));
        painter.drawLine(left, QPointF(4, 23));
        painter.drawLine(right, QPointF(28, 23));
        painter.drawLine(centre, QPointF(16, 29));
        painter.drawLine(QPointF(4, 23), QPointF(16, 29));
        painter.drawLine(QPointF(28, 23), QPointF(16, 29));
        break;
    }
    case Icon::envelope: {
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(3, 7, 26, 18), 2, 2);
        painter.drawPolyline(QPolygonF({QPointF(4, 8), QPointF(16, 18), QPointF(28, 8)}));
        break;
    }
    case Icon::pin:
    case Icon::pinFill: {
        drawPin(painter, symbol == Icon::pinFill);
        break;
    }
    case Icon::moonFill: {
        QPainterPath moon;
        moon.addEllipse(QRectF(5, 5, 22, 22));
        QPainterPath bite;
        bite.addEllipse(QRectF(12, 1, 20, 20));
        painter.setBrush(ink);
        painter.drawPath(moon.subtracted(bite));
        break;
    }
    case Icon::sunMaxFill: {
        painter.setBrush(QColor(0xf5, 0xb3, 0x1b));
        painter.drawEllipse(QRectF(10, 10, 12, 12));
        for (int ray = 0; ray < 8; ++ray) {
            const double angle = ray * M_PI / 4;
            painter.drawLine(QPointF(16 + 9 * std::cos(angle), 16 + 9 * std::sin(angle)),
                             QPointF(16 + 13 * std::cos(angle), 16 + 13 * std::sin(angle)));
        }
        break;
    }
    case Icon::plusCircleFill:
    case Icon::minusCircleFill: {
        painter.setPen(Qt::NoPen);
        drawCircle(painter, true);
        painter.setPen(QPen(Qt::white, 3.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(10, 16), QPointF(22, 16));
        if (symbol == Icon::plusCircleFill) {
            painter.drawLine(QPointF(16, 10), QPointF(16, 22));
        }
        break;
    }
    case Icon::infoCircle: {
        drawCircle(painter, false);
        painter.drawLine(QPointF(16, 14), QPointF(16, 23));
        painter.setBrush(ink);
        painter.drawEllipse(QRectF(15, 8.5, 2, 2));
        break;
    }
    case Icon::stubforge: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(9, 6, 14, 20));
        painter.setPen(QPen(kAccent, 2.0));
        for (int line = 0; line < 3; ++line) {
            painter.drawLine(QPointF(12, 11 + line * 5), QPointF(20, 11 + line * 5));
        }
        break;
    }
    }
}

}  // namespace

Icon iconForFileKind(FileExtension extension) { return caseForSymbol(iconName(extension))->icon; }

std::string_view themeIconName(Icon icon) { return kIcons[static_cast<std::size_t>(icon)].theme; }

QIcon fallbackIcon(Icon icon) { return drawnIcon(icon, kDefaultInk); }

QIcon drawnIcon(Icon icon, const QColor& ink) {
    QIcon drawn;
    for (const int size : {16, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);
        drawSymbol(painter, icon, ink);
        painter.end();
        drawn.addPixmap(pixmap);
    }
    return drawn;
}

QIcon symbolIcon(Icon icon) {
    const std::string_view theme = themeIconName(icon);
    return QIcon::fromTheme(QString::fromUtf8(theme.data(), static_cast<qsizetype>(theme.size())), fallbackIcon(icon));
}

QIcon applicationIcon() { return symbolIcon(Icon::stubforge); }

}  // namespace stubforge::ui
