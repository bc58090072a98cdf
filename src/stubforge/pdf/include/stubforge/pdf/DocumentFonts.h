#pragma once

#include "platform/graphics/Font.h"

#include <mutex>
#include <optional>

// The fonts the document generators keep for the life of the process.
namespace stubforge {

enum class FontWeight { regular, bold };

// The platform's user-interface font in `weight` at `pointSize`.
platform::graphics::Font systemFont(FontWeight weight, double pointSize);

// A type-level font slot: empty until its first use, then filled once for
// the life of the process, whichever thread comes first. Declare slots
// `constinit` at namespace scope or as static members.
class StaticFontSlot {
public:
    constexpr StaticFontSlot() = default;
    StaticFontSlot(const StaticFontSlot&) = delete;
    StaticFontSlot& operator=(const StaticFontSlot&) = delete;

private:
    friend const platform::graphics::Font& makeStaticFont(platform::graphics::Font font, StaticFontSlot& slot);
    std::once_flag once_;
    std::optional<platform::graphics::Font> font_;
};

// Fills `slot` with the system font of `weight` and `pointSize` on its first
// call and returns the slot's font; later calls return what is stored.
const platform::graphics::Font& makeStaticFont(FontWeight weight, double pointSize, StaticFontSlot& slot);

// The same for any font, e.g. an italic one or a bold one at the size of
// another static font.
const platform::graphics::Font& makeStaticFont(platform::graphics::Font font, StaticFontSlot& slot);

}  // namespace stubforge
