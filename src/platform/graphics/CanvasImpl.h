#pragma once

#include "TextEngine.h"
#include "platform/graphics/Canvas.h"

#include <cairo.h>

#include <functional>
#include <span>

namespace platform::graphics {

struct Canvas::Impl {
    explicit Impl(Typesetter& engine) : typesetter(engine) {}

    // Points the canvas at a page whose cairo state the document has set up
    // (origin and flip applied).
    void beginPage(cairo_t* pageCairo, Size size, Origin pageOrigin);
    // Restores whatever saves the drawing code left open.
    void endPage();

    // The cairo context of the open page; throws when no page is open.
    cairo_t* page() const;

    // Draws laid-out lines, the frame's top-left corner at `topLeft` in the
    // current user space.
    using LayoutOf = std::function<const detail::ParagraphLayout&(std::size_t paragraph)>;
    void drawLines(std::span<const detail::PlacedLine> lines, Point topLeft, const LayoutOf& layoutOf);

    // Whether y grows upwards in the current user space, as on a bottom-left
    // page: the user space is then mirrored against cairo's device space.
    bool yUp() const;

    // Where a frame of `height` whose near corner is `at` has its top-left corner.
    Point frameTopLeft(Point at, double height) const { return yUp() ? Point{at.x, at.y + height} : at; }

    Canvas* owner = nullptr;
    Typesetter& typesetter;
    cairo_t* cairo = nullptr;
    Size pageSize;
    Origin origin = Origin::topLeft;
    std::size_t openSaves = 0;  // saves made through the canvas and not yet restored
};

// The library's way to a canvas's implementation.
struct CanvasAccess {
    static Canvas::Impl& impl(Canvas& canvas) noexcept { return *canvas.impl_; }
};

}  // namespace platform::graphics
