#include "stubforge/pdf/DocumentFonts.h"

#include <utility>

namespace stubforge {

namespace graphics = platform::graphics;

graphics::Font systemFont(FontWeight weight, double pointSize) {
    return weight == FontWeight::bold ? graphics::Font::boldSystem(pointSize) : graphics::Font::system(pointSize);
}

const graphics::Font& makeStaticFont(graphics::Font font, StaticFontSlot& slot) {
    std::call_once(slot.once_, [&] { slot.font_.emplace(std::move(font)); });
    return *slot.font_;
}

const graphics::Font& makeStaticFont(FontWeight weight, double pointSize, StaticFontSlot& slot) {
    return makeStaticFont(systemFont(weight, pointSize), slot);
}

}  // namespace stubforge
