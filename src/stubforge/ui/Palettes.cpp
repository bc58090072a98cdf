#include "stubforge/ui/Palettes.h"

#include <QColor>

namespace stubforge::ui {

namespace {

struct Scheme {
    QColor window, windowText, base, alternateBase, text, button, buttonText, highlight, highlightedText, placeholder,
        disabledText, link, mid, dark, light;
};

QPalette makePalette(const Scheme& scheme) {
    QPalette palette;
    palette.setColor(QPalette::Window, scheme.window);
    palette.setColor(QPalette::WindowText, scheme.windowText);
    palette.setColor(QPalette::Base, scheme.base);
    palette.setColor(QPalette::AlternateBase, scheme.alternateBase);
    palette.setColor(QPalette::ToolTipBase, scheme.base);
    palette.setColor(QPalette::ToolTipText, scheme.text);
    palette.setColor(QPalette::Text, scheme.text);
    palette.setColor(QPalette::Button, scheme.button);
    palette.setColor(QPalette::ButtonText, scheme.buttonText);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Highlight, scheme.highlight);
    palette.setColor(QPalette::HighlightedText, scheme.highlightedText);
    palette.setColor(QPalette::PlaceholderText, scheme.placeholder);
    palette.setColor(QPalette::Link, scheme.link);
    palette.setColor(QPalette::Light, scheme.light);
    palette.setColor(QPalette::Midlight, scheme.light);
    palette.setColor(QPalette::Mid, scheme.mid);
    palette.setColor(QPalette::Dark, scheme.dark);
    palette.setColor(QPalette::Shadow, scheme.dark.darker(150));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, scheme.disabledText);
    }
    palette.setColor(QPalette::Disabled, QPalette::Highlight, scheme.mid);
    return palette;
}

}  // namespace

QPalette lightPalette() {
    return makePalette({
        QColor(0xec, 0xec, 0xec),
        QColor(0x1d, 0x1d, 0x1f),
        QColor(0xff, 0xff, 0xff),
        QColor(0xf4, 0xf5, 0xf5),
        QColor(0x1d, 0x1d, 0x1f),
        QColor(0xf6, 0xf6, 0xf6),
        QColor(0x1d, 0x1d, 0x1f),
        QColor(0x2f, 0x7d, 0xe1),
        QColor(0xff, 0xff, 0xff),
        QColor(0x8e, 0x8e, 0x93),
        QColor(0xa0, 0xa0, 0xa5),
        QColor(0x1a, 0x64, 0xc8),
        QColor(0xb8, 0xb8, 0xbc),
        QColor(0x8a, 0x8a, 0x8e),
        QColor(0xff, 0xff, 0xff),
    });
}

QPalette darkPalette() {
    return makePalette({
        QColor(0x2b, 0x2b, 0x2e),
        QColor(0xe8, 0xe8, 0xea),
        QColor(0x1e, 0x1e, 0x20),
        QColor(0x26, 0x26, 0x29),
        QColor(0xe8, 0xe8, 0xea),
        QColor(0x3a, 0x3a, 0x3e),
        QColor(0xe8, 0xe8, 0xea),
        QColor(0x2f, 0x7d, 0xe1),
        QColor(0xff, 0xff, 0xff),
        QColor(0x8e, 0x8e, 0x93),
        QColor(0x70, 0x70, 0x75),
        QColor(0x6c, 0xa8, 0xf5),
        QColor(0x50, 0x50, 0x55),
        QColor(0x18, 0x18, 0x1a),
        QColor(0x48, 0x48, 0x4c),
    });
}

}  // namespace stubforge::ui
