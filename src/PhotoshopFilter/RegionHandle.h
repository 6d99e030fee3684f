// One owner for a GDI region, and the rectangle helpers the framework works with.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "PluginInterface.h"

class RegionHandle {
public:
    RegionHandle() = default;
    explicit RegionHandle(HRGN region) : region_(region) {}
    RegionHandle(const RegionHandle&) = delete;
    RegionHandle& operator=(const RegionHandle&) = delete;
    RegionHandle(RegionHandle&& other) noexcept : region_(other.region_) { other.region_ = nullptr; }
    RegionHandle& operator=(RegionHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            region_ = other.region_;
            other.region_ = nullptr;
        }
        return *this;
    }
    ~RegionHandle() { Reset(); }

    // A region of the rectangle (empty for an empty rectangle); null when GDI has no memory.
    static RegionHandle OfRect(const Rect16& r) {
        if (r.top >= r.bottom || r.left >= r.right) return RegionHandle(CreateRectRgn(0, 0, 0, 0));
        return RegionHandle(CreateRectRgn(r.left, r.top, r.right, r.bottom));
    }

    HRGN Get() const { return region_; }
    explicit operator bool() const { return region_ != nullptr; }
    void Reset() {
        if (region_) DeleteObject(region_);
        region_ = nullptr;
    }

private:
    HRGN region_ = nullptr;
};

inline bool IsEmptyRect(const Rect16& r) { return r.top >= r.bottom || r.left >= r.right; }
inline bool EqualRects(const Rect16& a, const Rect16& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}
inline int64_t RectArea(const Rect16& r) {
    return IsEmptyRect(r) ? 0 : (int64_t{r.bottom} - r.top) * (int64_t{r.right} - r.left);
}
inline int32_t RectWidth(const Rect16& r) { return int32_t{r.right} - r.left; }
inline int32_t RectHeight(const Rect16& r) { return int32_t{r.bottom} - r.top; }
inline Rect16 IntersectRects(const Rect16& a, const Rect16& b) {
    Rect16 r{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom), std::min(a.right, b.right)};
    return IsEmptyRect(r) ? Rect16{} : r;
}
inline Rect16 UnionRects(const Rect16& a, const Rect16& b) {
    if (IsEmptyRect(a)) return b;
    if (IsEmptyRect(b)) return a;
    return {std::min(a.top, b.top), std::min(a.left, b.left), std::max(a.bottom, b.bottom), std::max(a.right, b.right)};
}
inline Rect16 RectOfBox(const RECT& box) {
    return {static_cast<int16_t>(box.top), static_cast<int16_t>(box.left), static_cast<int16_t>(box.bottom),
            static_cast<int16_t>(box.right)};
}
