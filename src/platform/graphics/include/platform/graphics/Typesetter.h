#pragma once

#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Geometry.h"

#include <limits>
#include <memory>

namespace platform::graphics {

// A width or height with no limit.
inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

// One line's typographic extent about its baseline.
struct LineMetrics {
    double width = 0;    // advance width of the line
    double ascent = 0;   // baseline to the top of the line box
    double descent = 0;  // baseline to the bottom of the line box
};

// Lays text out: its own font map and layout context, the font descriptions
// it has made, and the last layout, reused while the same text is asked for
// again. Font sizes are absolute points (no screen resolution applies) and
// glyph positions are not rounded, so measurements are the same at every
// size and in every document.
//
// A typesetter is used by one thread at a time. Each document has one; a
// `TextFlow` uses the typesetter it was made with.
class Typesetter {
public:
    Typesetter();
    ~Typesetter();
    Typesetter(const Typesetter&) = delete;
    Typesetter& operator=(const Typesetter&) = delete;

    // The size the text takes wrapped at `width`; with an unbounded width each
    // paragraph is one line. The height runs to the bottom of the last line.
    Size measure(const AttributedText& text, double width = kUnbounded);

    // The first line of the text, unwrapped.
    LineMetrics measureLine(const AttributedText& text);

    // The implementation is private to the library.
    struct Impl;

private:
    friend struct TypesetterAccess;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::graphics
