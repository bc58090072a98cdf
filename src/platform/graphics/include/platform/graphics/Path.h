#pragma once

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"

#include <span>
#include <vector>

namespace platform::graphics {

enum class LineCap { butt, round, square };
enum class LineJoin { miter, round, bevel };

struct Stroke {
    Color color{0, 0, 0};
    double width = 1;
    LineCap cap = LineCap::butt;
    LineJoin join = LineJoin::miter;
};

// A vector path in the coordinates of the canvas it is drawn on. Several
// sub-paths (one per moveTo) are filled or stroked in one go.
class Path {
public:
    enum class Verb { moveTo, lineTo, curveTo, close };
    struct Element {
        Verb verb;
        Point points[3];  // moveTo/lineTo use [0]; curveTo: control 1, control 2, end
    };

    Path& moveTo(Point point);
    Path& lineTo(Point point);
    Path& curveTo(Point control1, Point control2, Point end);
    Path& close();

    Path& addRect(const Rect& rect);
    Path& addOval(const Rect& rect);
    // A single open sub-path through `points`; nothing for fewer than two.
    Path& addPolyline(std::span<const Point> points);

    bool empty() const noexcept { return elements_.empty(); }
    std::span<const Element> elements() const noexcept { return elements_; }

private:
    std::vector<Element> elements_;
};

}  // namespace platform::graphics
