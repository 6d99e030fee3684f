#include "Geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

void BlockMove(const void* source, void* destination, int64_t count) {
    if (count <= 0 || source == destination) return;
    std::memmove(destination, source, static_cast<size_t>(count));
}

int32_t RoundToInt(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = value < 0 ? value - 0.5 : value + 0.5;
    constexpr double lowest = std::numeric_limits<int32_t>::min();
    constexpr double highest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(std::trunc(rounded), lowest, highest));
}

int16_t ClampToInt16(int64_t value) {
    return static_cast<int16_t>(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
}

void OffsetRect16(Rect16& r, int32_t dh, int32_t dv) {
    r.top = ClampToInt16(int64_t{r.top} + dv);
    r.bottom = ClampToInt16(int64_t{r.bottom} + dv);
    r.left = ClampToInt16(int64_t{r.left} + dh);
    r.right = ClampToInt16(int64_t{r.right} + dh);
}

bool RectContains(const Rect16& r, int32_t v, int32_t h) {
    return v >= r.top && v < r.bottom && h >= r.left && h < r.right;
}

bool RectsOverlap(const Rect16& a, const Rect16& b) {
    return std::max(a.top, b.top) < std::min(a.bottom, b.bottom) &&
           std::max(a.left, b.left) < std::min(a.right, b.right);
}

namespace {

// The shift that brings the span [low, high) margin pixels inside [areaLow, areaHigh); the low
// edge wins when the span does not fit.
int32_t ShiftInside(int32_t low, int32_t high, int32_t areaLow, int32_t areaHigh, int32_t margin) {
    if (low < areaLow + margin) return areaLow + margin - low;
    if (high > areaHigh - margin) return areaHigh - margin - high;
    return 0;
}

}  // namespace

void KeepRectInside(Rect16& r, const Rect16& area, int32_t margin) {
    const int32_t dv = ShiftInside(r.top, r.bottom, area.top, area.bottom, margin);
    const int32_t dh = ShiftInside(r.left, r.right, area.left, area.right, margin);
    OffsetRect16(r, dh, dv);
}

void FitRectProportionally(Rect16& r, const Rect16& bounds) {
    const double height = RectHeight(r), width = RectWidth(r);
    if (height <= 0 || width <= 0) return;
    const double scale = std::min(RectHeight(bounds) / height, RectWidth(bounds) / width);
    const double top = bounds.top + (RectHeight(bounds) - height * scale) / 2;
    const double left = bounds.left + (RectWidth(bounds) - width * scale) / 2;
    r.top = ClampToInt16(RoundToInt(top));
    r.left = ClampToInt16(RoundToInt(left));
    r.bottom = ClampToInt16(RoundToInt(top + height * scale));
    r.right = ClampToInt16(RoundToInt(left + width * scale));
}

bool PointNearSegment(Point16 p, Point16 a, Point16 b, int32_t scale) {
    const int64_t tolerance = std::max<int32_t>(scale, 8);
    const int64_t av = (int64_t{a.v} - p.v) * scale, bv = (int64_t{b.v} - p.v) * scale;
    const int64_t ah = (int64_t{a.h} - p.h) * scale, bh = (int64_t{b.h} - p.h) * scale;
    const auto bothBeyond = [tolerance](int64_t x, int64_t y) {
        return (x > tolerance && y > tolerance) || (x < -tolerance && y < -tolerance);
    };
    if (bothBeyond(av, bv) || bothBeyond(ah, bh)) return false;
    if (a.v == b.v) return av > -tolerance && av <= tolerance;
    if (a.h == b.h) return ah > -tolerance && ah <= tolerance;

    // Distances from p to the segment's line along the row and along the column through p.
    const double slopeHV = double(b.h - a.h) / double(b.v - a.v);
    const double across = a.h + (p.v - a.v) * slopeHV - p.h;
    const double down = a.v + (p.h - a.h) / slopeHV - p.v;
    const double limit = double(tolerance) * double(tolerance);
    const double scale2 = double(scale) * double(scale);
    return across * across * scale2 <= limit || down * down * scale2 <= limit;
}
