#include "platform/graphics/Font.h"

#include <algorithm>
#include <cctype>

namespace platform::graphics {

namespace {

// Liberation Sans has Helvetica's metrics; DejaVu Sans covers the symbols
// (U+2610 ☐, U+2611 ☑, U+2713 ✓, U+2717 ✗, arrows) that it lacks.
constexpr std::string_view kSansFamilies = "Liberation Sans,DejaVu Sans";

struct FamilyAlias {
    std::string_view requested;
    std::string_view families;
};

constexpr FamilyAlias kFamilyAliases[] = {
    {kSystemFamily, kSansFamilies},     {"Helvetica", kSansFamilies},  {"Helvetica Neue", kSansFamilies},
    {"Arial", kSansFamilies},           {"sans-serif", kSansFamilies}, {"sans", kSansFamilies},
    {"Liberation Sans", kSansFamilies},
};

struct StyleSuffix {
    std::string_view suffix;
    bool bold;
    bool italic;
};

constexpr StyleSuffix kStyleSuffixes[] = {
    {"Regular", false, false}, {"Roman", false, false},      {"Bold", true, false},      {"Oblique", false, true},
    {"Italic", false, true},   {"BoldOblique", true, true},  {"BoldItalic", true, true}, {"BoldMT", true, false},
    {"ItalicMT", false, true}, {"BoldItalicMT", true, true}, {"MT", false, false},
};

bool equalIgnoringCase(std::string_view left, std::string_view right) {
    return std::ranges::equal(left, right, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace

Font Font::named(std::string_view name, double size) {
    Font font{std::string(name), size, false, false};
    const std::size_t dash = name.rfind('-');
    if (dash == std::string_view::npos || dash == 0) {
        return font;
    }
    const std::string_view suffix = name.substr(dash + 1);
    for (const StyleSuffix& known : kStyleSuffixes) {
        if (equalIgnoringCase(suffix, known.suffix)) {
            return Font{std::string(name.substr(0, dash)), size, known.bold, known.italic};
        }
    }
    return font;
}

std::string fontFamilyList(const Font& font) {
    for (const FamilyAlias& alias : kFamilyAliases) {
        if (equalIgnoringCase(font.family, alias.requested)) {
            return std::string(alias.families);
        }
    }
    // Fontconfig takes the first family it has, so an unknown name falls
    // back to ours rather than to whatever the system prefers.
    std::string families = font.family;
    if (!families.empty()) {
        families += ',';
    }
    families += kSansFamilies;
    return families;
}

}  // namespace platform::graphics
