// Numbers, bytes and the geometry of the system's short rectangles (top, left, bottom, right) and
// points (v, h), free of any window.
#pragma once

#include <algorithm>
#include <cstdint>

#include "PluginInterface.h"

// Copies count bytes; overlapping ranges are copied correctly. A count of 0 or less copies nothing.
void BlockMove(const void* source, void* destination, int64_t count);

// Rounds half away from zero: -2.5 gives -3, 2.5 gives 3. Values beyond the 32-bit range are held
// at its ends and a value that is not a number gives 0.
int32_t RoundToInt(double value);

// Saturates a coordinate to the 16-bit range of Rect16 and Point16.
int16_t ClampToInt16(int64_t value);

// ---- Rectangles: every rectangle helper of the system is here.

// Right minus left and bottom minus top: negative for an inverted rectangle.
inline int32_t RectWidth(const Rect16& r) { return int32_t{r.right} - r.left; }
inline int32_t RectHeight(const Rect16& r) { return int32_t{r.bottom} - r.top; }
// The same, but never below 0: the pixels an empty or inverted rectangle holds.
inline int32_t ClampedWidth(const Rect16& r) { return std::max(RectWidth(r), 0); }
inline int32_t ClampedHeight(const Rect16& r) { return std::max(RectHeight(r), 0); }
// An empty rectangle holds no pixel: its bottom is not below its top or its right not past its left.
inline bool IsEmptyRect(const Rect16& r) { return r.top >= r.bottom || r.left >= r.right; }
inline bool EqualRects(const Rect16& a, const Rect16& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}
// The pixels of a rectangle, 0 for an empty one.
inline int64_t RectArea(const Rect16& r) { return IsEmptyRect(r) ? 0 : int64_t{RectWidth(r)} * RectHeight(r); }
// The common part; the empty rectangle (all 0) when there is none.
inline Rect16 IntersectRects(const Rect16& a, const Rect16& b) {
    const Rect16 r{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
                   std::min(a.right, b.right)};
    return IsEmptyRect(r) ? Rect16{} : r;
}
// The smallest rectangle round both; an empty one adds nothing.
inline Rect16 UnionRects(const Rect16& a, const Rect16& b) {
    if (IsEmptyRect(a)) return b;
    if (IsEmptyRect(b)) return a;
    return {std::min(a.top, b.top), std::min(a.left, b.left), std::max(a.bottom, b.bottom), std::max(a.right, b.right)};
}
void OffsetRect16(Rect16& r, int32_t dh, int32_t dv);
// Whether the point lies inside (the bottom and right edges are outside).
bool RectContains(const Rect16& r, int32_t v, int32_t h);
// Whether inner lies wholly inside outer.
inline bool RectContains(const Rect16& outer, const Rect16& inner) {
    return inner.top >= outer.top && inner.left >= outer.left && inner.bottom <= outer.bottom && inner.right <= outer.right;
}
// Whether two non-empty rectangles share at least one pixel.
bool RectsOverlap(const Rect16& a, const Rect16& b);

// Moves r (without resizing it) so that it keeps margin pixels inside area: a top edge above
// area.top + margin moves down, otherwise a bottom edge below area.bottom - margin moves up; the
// same with left before right. A rectangle larger than the area keeps its top and left edges in.
void KeepRectInside(Rect16& r, const Rect16& area, int32_t margin);

// Scales r (up or down) by the smaller of the two ratios bounds/r of height and width and centres
// it in bounds, each coordinate rounded half away from zero. A rectangle without a positive
// height and width is left alone.
void FitRectProportionally(Rect16& r, const Rect16& bounds);

// Whether p lies near the segment from a to b once offsets are magnified by scale into screen
// pixels: within a tolerance of scale pixels, at least 8, of the segment's box and, for a slanted
// segment, with the horizontal or the vertical distance to its line at most that tolerance.
bool PointNearSegment(Point16 p, Point16 a, Point16 b, int32_t scale);
