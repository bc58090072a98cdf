#include "platform/graphics/Path.h"

namespace platform::graphics {

namespace {

// Control-point distance of a cubic Bézier quarter circle, as a fraction of the radius.
constexpr double kQuarterCircle = 0.5522847498307936;

}  // namespace

Path& Path::moveTo(Point point) {
    elements_.push_back({Verb::moveTo, {point, {}, {}}});
    return *this;
}

Path& Path::lineTo(Point point) {
    elements_.push_back({Verb::lineTo, {point, {}, {}}});
    return *this;
}

Path& Path::curveTo(Point control1, Point control2, Point end) {
    elements_.push_back({Verb::curveTo, {control1, control2, end}});
    return *this;
}

Path& Path::close() {
    elements_.push_back({Verb::close, {}});
    return *this;
}

Path& Path::addRect(const Rect& rect) {
    moveTo({rect.x, rect.y});
    lineTo({rect.x + rect.width, rect.y});
    lineTo({rect.x + rect.width, rect.y + rect.height});
    lineTo({rect.x, rect.y + rect.height});
    return close();
}

Path& Path::addOval(const Rect& rect) {
    const double rx = rect.width / 2;
    const double ry = rect.height / 2;
    const double cx = rect.x + rx;
    const double cy = rect.y + ry;
    const double kx = rx * kQuarterCircle;
    const double ky = ry * kQuarterCircle;
    moveTo({cx + rx, cy});
    curveTo({cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry});
    curveTo({cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy});
    curveTo({cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry});
    curveTo({cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy});
    return close();
}

Path& Path::addPolyline(std::span<const Point> points) {
    if (points.size() < 2) {
        return *this;
    }
    moveTo(points.front());
    for (const Point& point : points.subspan(1)) {
        lineTo(point);
    }
    return *this;
}

}  // namespace platform::graphics
