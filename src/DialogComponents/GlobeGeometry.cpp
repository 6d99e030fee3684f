// The globe's handle position and the direction a pointer position picks.
#include "GlobeGeometry.h"

#include <algorithm>
#include <cmath>

#include "Geometry.h"

namespace Globe {
namespace {

constexpr double kPi = 3.141592654;
constexpr double kDegreesPerRadian = 57.29577950560105;

int16_t RoundToInt16(double v) { return ClampToInt16(std::llround(v)); }

}  // namespace

Layout LayoutOf(const Rect16& item, int16_t margin) {
    Layout layout;
    const int32_t half = std::min(RectHeight(item) / 2, RectWidth(item) / 2);
    layout.radius = half - margin;
    layout.centre = Point16{ClampToInt16((int32_t{item.top} + item.bottom) / 2),
                            ClampToInt16((int32_t{item.left} + item.right) / 2)};
    const int32_t reach = layout.radius + margin;
    layout.globe = Rect16{ClampToInt16(layout.centre.v - reach), ClampToInt16(layout.centre.h - reach),
                          ClampToInt16(layout.centre.v + reach), ClampToInt16(layout.centre.h + reach)};
    return layout;
}

Point16 HandlePosition(const Layout& layout, int32_t elevation, int32_t angle) {
    const double distance = (kMaxElevation - std::clamp(elevation, 0, kMaxElevation)) * static_cast<double>(layout.radius) / kMaxElevation;
    const double radians = angle * kPi / 180.0;
    return Point16{RoundToInt16(layout.centre.v - distance * std::cos(radians)),
                   RoundToInt16(layout.centre.h + distance * std::sin(radians))};
}

Direction DirectionAt(const Layout& layout, Point16 point, Direction current) {
    Direction next = current;
    // Measured upwards from the centre, so that the centre itself is +0 and points up.
    const double dh = static_cast<double>(point.h) - layout.centre.h, up = static_cast<double>(layout.centre.v) - point.v;
    if (current.elevation >= 0 && layout.radius >= 1) {
        const double scale = double{kMaxElevation} / layout.radius;
        const long long out = std::llround(std::sqrt(dh * dh + up * up) * scale);
        next.elevation = static_cast<int32_t>(std::max<long long>(kMaxElevation - std::min<long long>(out, kMaxElevation), 0));
    }
    if (next.elevation < kMaxElevation) {
        const long long degrees = std::llround(std::atan2(dh, up) * kDegreesPerRadian);
        next.angle = static_cast<int32_t>(std::clamp<long long>(degrees, -180, 180));
    }
    return next;
}

}  // namespace Globe
