#include "platform/graphics/Canvas.h"

#include "CanvasImpl.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <stdexcept>

namespace platform::graphics {

namespace {

// Cairo errors are sticky and would spoil the whole document, so values
// that would cause one are refused where they come in.
void requireFinite(std::initializer_list<double> values, const char* what) {
    for (const double value : values) {
        if (!std::isfinite(value)) {
            throw std::invalid_argument(std::string(what) + ": coordinate is not finite");
        }
    }
}

double unitInterval(double value) { return value > 0 ? std::min(value, 1.0) : 0.0; }

void setColor(cairo_t* cairo, const Color& color) {
    cairo_set_source_rgba(cairo, unitInterval(color.red), unitInterval(color.green), unitInterval(color.blue),
                          unitInterval(color.alpha));
}

void setStroke(cairo_t* cairo, const Stroke& stroke) {
    requireFinite({stroke.width}, "stroke");
    setColor(cairo, stroke.color);
    cairo_set_line_width(cairo, std::max(0.0, stroke.width));
    switch (stroke.cap) {
    case LineCap::butt:
        cairo_set_line_cap(cairo, CAIRO_LINE_CAP_BUTT);
        break;
    case LineCap::round:
        cairo_set_line_cap(cairo, CAIRO_LINE_CAP_ROUND);
        break;
    case LineCap::square:
        cairo_set_line_cap(cairo, CAIRO_LINE_CAP_SQUARE);
        break;
    }
    switch (stroke.join) {
    case LineJoin::miter:
        cairo_set_line_join(cairo, CAIRO_LINE_JOIN_MITER);
        break;
    case LineJoin::round:
        cairo_set_line_join(cairo, CAIRO_LINE_JOIN_ROUND);
        break;
    case LineJoin::bevel:
        cairo_set_line_join(cairo, CAIRO_LINE_JOIN_BEVEL);
        break;
    }
}

void tracePath(cairo_t* cairo, const Path& path) {
    cairo_new_path(cairo);
    for (const Path::Element& element : path.elements()) {
        const Point* points = element.points;
        switch (element.verb) {
        case Path::Verb::moveTo:
            requireFinite({points[0].x, points[0].y}, "path");
            cairo_move_to(cairo, points[0].x, points[0].y);
            break;
        case Path::Verb::lineTo:
            requireFinite({points[0].x, points[0].y}, "path");
            cairo_line_to(cairo, points[0].x, points[0].y);
            break;
        case Path::Verb::curveTo:
            requireFinite({points[0].x, points[0].y, points[1].x, points[1].y, points[2].x, points[2].y}, "path");
            cairo_curve_to(cairo, points[0].x, points[0].y, points[1].x, points[1].y, points[2].x, points[2].y);
            break;
        case Path::Verb::close:
            cairo_close_path(cairo);
            break;
        }
    }
}

// A cairo save that is restored on every way out (an attachment's drawing
// code may throw), together with any saves that code left open.
class SavedState {
public:
    explicit SavedState(Canvas::Impl& canvas) : canvas_(canvas), depth_(canvas.openSaves) { cairo_save(canvas_.cairo); }
    ~SavedState() {
        for (; canvas_.openSaves > depth_; --canvas_.openSaves) {
            cairo_restore(canvas_.cairo);
        }
        cairo_restore(canvas_.cairo);
    }
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;

private:
    Canvas::Impl& canvas_;
    std::size_t depth_;
};

}  // namespace

void Canvas::Impl::beginPage(cairo_t* pageCairo, Size size, Origin pageOrigin) {
    cairo = pageCairo;
    pageSize = size;
    origin = pageOrigin;
    openSaves = 0;
}

void Canvas::Impl::endPage() {
    for (; openSaves > 0; --openSaves) {
        cairo_restore(cairo);
    }
    cairo = nullptr;
}

bool Canvas::Impl::yUp() const {
    cairo_matrix_t matrix;
    cairo_get_matrix(page(), &matrix);
    return matrix.xx * matrix.yy - matrix.xy * matrix.yx < 0;
}

cairo_t* Canvas::Impl::page() const {
    if (cairo == nullptr) {
        throw std::logic_error("drawing outside a page: call beginPage first");
    }
    return cairo;
}

void Canvas::Impl::drawLines(std::span<const detail::PlacedLine> lines, Point topLeft, const LayoutOf& layoutOf) {
    cairo_t* context = page();
    requireFinite({topLeft.x, topLeft.y}, "text");
    if (lines.empty()) {
        return;
    }
    const SavedState frame(*this);
    cairo_translate(context, topLeft.x, topLeft.y);
    if (yUp()) {
        // Text runs down the page from the frame's top edge.
        cairo_scale(context, 1, -1);
    }
    for (const detail::PlacedLine& line : lines) {
        const detail::ParagraphLayout& layout = layoutOf(line.paragraph);
        // Runs without a colour of their own are black.
        cairo_set_source_rgb(context, 0, 0, 0);
        cairo_move_to(context, line.x, line.baseline);
        pango_cairo_show_layout_line(context, layout.pangoLine(line.line));
        for (const auto& box : layout.attachments(line.line)) {
            if (!box.attachment->draw) {
                continue;
            }
            const SavedState attachmentState(*this);
            // The box's own space: origin on the baseline at its left end, y up.
            cairo_translate(context, line.x + box.x, line.baseline);
            cairo_scale(context, 1, -1);
            cairo_new_path(context);
            box.attachment->draw(*owner);
        }
    }
}

Canvas::Canvas(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) { impl_->owner = this; }

Canvas::~Canvas() = default;

Size Canvas::pageSize() const noexcept { return impl_->pageSize; }

Origin Canvas::origin() const noexcept { return impl_->origin; }

Typesetter& Canvas::typesetter() noexcept { return impl_->typesetter; }

void Canvas::save() {
    cairo_t* context = impl_->page();
    ++impl_->openSaves;
    cairo_save(context);
}

void Canvas::restore() {
    cairo_t* context = impl_->page();
    if (impl_->openSaves == 0) {
        throw std::logic_error("Canvas::restore without a matching save");
    }
    --impl_->openSaves;
    cairo_restore(context);
}

void Canvas::translate(double dx, double dy) {
    cairo_t* context = impl_->page();
    requireFinite({dx, dy}, "translate");
    cairo_translate(context, dx, dy);
}

void Canvas::rotate(double radians) {
    cairo_t* context = impl_->page();
    requireFinite({radians}, "rotate");
    cairo_rotate(context, radians);
}

void Canvas::scale(double sx, double sy) {
    cairo_t* context = impl_->page();
    requireFinite({sx, sy}, "scale");
    if (sx == 0 || sy == 0) {
        throw std::invalid_argument("scale: a zero factor cannot be undone");
    }
    cairo_scale(context, sx, sy);
}

void Canvas::fillRect(const Rect& rect, const Color& color) { fillPath(Path().addRect(rect), color); }

void Canvas::strokeRect(const Rect& rect, const Stroke& stroke) { strokePath(Path().addRect(rect), stroke); }

void Canvas::fillOval(const Rect& bounds, const Color& color) { fillPath(Path().addOval(bounds), color); }

void Canvas::strokeOval(const Rect& bounds, const Stroke& stroke) { strokePath(Path().addOval(bounds), stroke); }

void Canvas::strokeLine(Point from, Point to, const Stroke& stroke) {
    strokePath(Path().moveTo(from).lineTo(to), stroke);
}

void Canvas::strokePolyline(std::span<const Point> points, const Stroke& stroke) {
    strokePath(Path().addPolyline(points), stroke);
}

void Canvas::fillPath(const Path& path, const Color& color) {
    cairo_t* context = impl_->page();
    tracePath(context, path);
    setColor(context, color);
    cairo_fill(context);
}

void Canvas::strokePath(const Path& path, const Stroke& stroke) {
    cairo_t* context = impl_->page();
    tracePath(context, path);
    setStroke(context, stroke);
    cairo_stroke(context);
}

Size Canvas::measure(const AttributedText& text, double width) { return impl_->typesetter.measure(text, width); }

LineMetrics Canvas::measureLine(const AttributedText& text) { return impl_->typesetter.measureLine(text); }

Size Canvas::drawText(const AttributedText& text, Point at, double width) {
    impl_->page();
    const auto layout = TypesetterAccess::impl(impl_->typesetter).frameLayout(text, width, kUnbounded);
    const Size used = layout->usedSize();
    if (layout->frames.empty()) {
        return used;
    }
    const detail::Frame& frame = layout->frames.front();
    impl_->drawLines(
        std::span(layout->lines).subspan(frame.firstLine, frame.lineCount), impl_->frameTopLeft(at, used.height),
        [&layout](std::size_t paragraph) -> const detail::ParagraphLayout& { return *layout->layouts[paragraph]; });
    return used;
}

void Canvas::drawText(const AttributedText& text, const Rect& box) {
    impl_->page();
    requireFinite({box.height}, "text box");
    const auto layout = TypesetterAccess::impl(impl_->typesetter).frameLayout(text, box.width, box.height);
    if (layout->frames.empty()) {
        return;
    }
    const detail::Frame& frame = layout->frames.front();
    impl_->drawLines(
        std::span(layout->lines).subspan(frame.firstLine, frame.lineCount),
        impl_->frameTopLeft({box.x, box.y}, box.height),
        [&layout](std::size_t paragraph) -> const detail::ParagraphLayout& { return *layout->layouts[paragraph]; });
}

void Canvas::drawTextLine(const AttributedText& text, Point baselineStart) {
    impl_->page();
    const auto layout = TypesetterAccess::impl(impl_->typesetter).frameLayout(text, kUnbounded, kUnbounded);
    if (layout->lines.empty()) {
        return;
    }
    detail::PlacedLine line = layout->lines.front();
    // The frame is placed so that this line's baseline starts at the point.
    line.x = 0;
    line.top -= line.baseline;
    line.baseline = 0;
    impl_->drawLines(
        std::span(&line, 1), baselineStart,
        [&layout](std::size_t paragraph) -> const detail::ParagraphLayout& { return *layout->layouts[paragraph]; });
}

}  // namespace platform::graphics
