// The rectangle and region arithmetic of tiles, caches and dirty regions.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "DrawingPort.h"
#include "Geometry.h"
#include "GdiOwner.h"
#include "PluginInterface.h"

inline bool IsEmptyRect(const Rect16& r) { return r.top >= r.bottom || r.left >= r.right; }
inline bool EqualRects(const Rect16& a, const Rect16& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}
inline int64_t RectArea(const Rect16& r) { return IsEmptyRect(r) ? 0 : int64_t{RectWidth(r)} * RectHeight(r); }
inline Rect16 IntersectRects(const Rect16& a, const Rect16& b) {
    const Rect16 r{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
                   std::min(a.right, b.right)};
    return IsEmptyRect(r) ? Rect16{} : r;
}
inline Rect16 UnionRects(const Rect16& a, const Rect16& b) {
    if (IsEmptyRect(a)) return b;
    if (IsEmptyRect(b)) return a;
    return {std::min(a.top, b.top), std::min(a.left, b.left), std::max(a.bottom, b.bottom), std::max(a.right, b.right)};
}

// A region of the rectangle; an empty (or inverted) rectangle gives an empty region. -108 is
// raised when no region can be made.
inline OwnedRgn RegionOf(const Rect16& r) { return NewRectRgn(IsEmptyRect(r) ? Rect16{} : r); }
// The bounding box of a region, empty for an empty region.
inline Rect16 RegionBounds(HRGN region) {
    RECT box{};
    if (GetRgnBox(region, &box) == NULLREGION) return Rect16{};
    return ToRect16(box);
}
