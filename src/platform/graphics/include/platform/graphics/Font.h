#pragma once

#include <string>
#include <string_view>

namespace platform::graphics {

// The family name that stands for the platform's user-interface font.
inline constexpr std::string_view kSystemFamily = "system";

// A font as the documents ask for it. The family is resolved when text is
// laid out (see `fontFamilyList`), so any name may be stored here.
struct Font {
    std::string family{kSystemFamily};
    double size = 12;  // points
    bool bold = false;
    bool italic = false;

    static Font system(double size) { return Font{std::string(kSystemFamily), size, false, false}; }
    static Font boldSystem(double size) { return Font{std::string(kSystemFamily), size, true, false}; }

    // A font by PostScript-style name: "Helvetica", "Helvetica-Bold",
    // "Helvetica-Oblique", "Helvetica-BoldOblique", "Arial-BoldMT", … The
    // suffix after the last '-' sets bold and italic; other names are kept
    // whole as the family.
    static Font named(std::string_view name, double size);

    Font withSize(double newSize) const { return Font{family, newSize, bold, italic}; }
    Font asBold() const { return Font{family, size, true, italic}; }
    Font asItalic() const { return Font{family, size, bold, true}; }

    friend bool operator==(const Font&, const Font&) = default;
};

// The comma-separated family list fontconfig gets for `font`: the face we
// ship for the requested family first, then DejaVu Sans for the symbols
// (check marks, ballot boxes, arrows) that Liberation Sans lacks.
// "system", "Helvetica" and "Arial" map to Liberation Sans.
std::string fontFamilyList(const Font& font);

}  // namespace platform::graphics
