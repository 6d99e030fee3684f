// One owner for every GDI and USER object the drawing layer creates: pens, brushes, fonts,
// regions, bitmaps, memory device contexts, icons and windows. The object is released when its owner goes.
#pragma once

#include <windows.h>

#include <utility>

template <typename H, auto Deleter>
class GdiOwner {
public:
    GdiOwner() = default;
    explicit GdiOwner(H handle) : handle_(handle) {}
    GdiOwner(const GdiOwner&) = delete;
    GdiOwner& operator=(const GdiOwner&) = delete;
    GdiOwner(GdiOwner&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    GdiOwner& operator=(GdiOwner&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    ~GdiOwner() { Reset(); }

    H Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    H Release() { return std::exchange(handle_, nullptr); }
    void Reset(H handle = nullptr) {
        if (handle_) Deleter(handle_);
        handle_ = handle;
    }

private:
    H handle_ = nullptr;
};

inline void DeleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void DeleteMemoryDC(HDC dc) { DeleteDC(dc); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }
inline void DestroyWindowHandle(HWND window) { DestroyWindow(window); }

using OwnedPen = GdiOwner<HPEN, DeleteGdiObject>;
using OwnedBrush = GdiOwner<HBRUSH, DeleteGdiObject>;
using OwnedFont = GdiOwner<HFONT, DeleteGdiObject>;
using OwnedRgn = GdiOwner<HRGN, DeleteGdiObject>;
using OwnedBitmap = GdiOwner<HBITMAP, DeleteGdiObject>;
using OwnedMemoryDC = GdiOwner<HDC, DeleteMemoryDC>;
using OwnedIcon = GdiOwner<HICON, DestroyIconHandle>;
using OwnedWindow = GdiOwner<HWND, DestroyWindowHandle>;
