#pragma once

namespace platform::graphics {

// Points throughout: 1/72 inch, the PDF user unit.
struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// (x, y) is the corner nearest the page origin: the top-left corner on a
// top-left page, the bottom-left corner on a bottom-left page.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Where a page puts (0, 0) and which way y grows.
enum class Origin {
    topLeft,     // y grows downwards, like a screen
    bottomLeft,  // y grows upwards, like a bare PDF page
};

namespace pageSizes {
inline constexpr Size a4{595, 842};
inline constexpr Size usLetter{612, 792};
inline constexpr Size usLetterLandscape{792, 612};
}  // namespace pageSizes

}  // namespace platform::graphics
