#pragma once

#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Path.h"
#include "platform/graphics/Typesetter.h"

#include <memory>
#include <span>

namespace platform::graphics {

// Draws on the current page of a `PdfDocument`, between beginPage and
// endPage. Coordinates are points in the page's own system (see `Origin`);
// transforms apply on top of it. Text always stands upright in the current
// system: on a bottom-left page it reads the right way up, as on paper.
class Canvas {
public:
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    Size pageSize() const noexcept;
    Origin origin() const noexcept;

    // Graphics state: transforms. Every save needs its restore; endPage
    // drops whatever is left.
    void save();
    void restore();
    void translate(double dx, double dy);
    void rotate(double radians);  // counter-clockwise on a bottom-left page, clockwise on a top-left one
    // A negative factor mirrors the system (a flip to a top-left origin is
    // scale(1, -1)); text still reads upright in a system flipped in y.
    void scale(double sx, double sy);

    void fillRect(const Rect& rect, const Color& color);
    void strokeRect(const Rect& rect, const Stroke& stroke);
    void fillOval(const Rect& bounds, const Color& color);
    void strokeOval(const Rect& bounds, const Stroke& stroke);
    void strokeLine(Point from, Point to, const Stroke& stroke);
    void strokePolyline(std::span<const Point> points, const Stroke& stroke);
    void fillPath(const Path& path, const Color& color);
    void strokePath(const Path& path, const Stroke& stroke);

    // The size the text takes wrapped at `width` (see Typesetter::measure).
    Size measure(const AttributedText& text, double width = kUnbounded);
    LineMetrics measureLine(const AttributedText& text);

    // Lays the text out at `width` and draws it with the corner of its box
    // nearest the origin at `at` (its top-left corner on a top-left page, its
    // bottom-left corner on a bottom-left one). Returns the size it took.
    Size drawText(const AttributedText& text, Point at, double width = kUnbounded);

    // Wraps the text at the box's width and draws it from the box's top edge
    // down. Lines that do not fit in the box's height are left out; the first
    // line is always drawn.
    void drawText(const AttributedText& text, const Rect& box);

    // The text's first line, unwrapped, its baseline starting at `baselineStart`.
    void drawTextLine(const AttributedText& text, Point baselineStart);

    Typesetter& typesetter() noexcept;

    // Made by PdfDocument; the implementation is private to the library.
    struct Impl;
    explicit Canvas(std::unique_ptr<Impl> impl);

private:
    friend struct CanvasAccess;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::graphics
