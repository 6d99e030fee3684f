// Owners of the GDI and USER objects the drawing layer creates: pens, brushes, fonts, regions,
// bitmaps, memory device contexts, icons and windows. The object is released when its owner goes.
#pragma once

#include <windows.h>

#include "UniqueOwner.h"

// Wrappers rather than the functions themselves: the address of a function imported from a DLL
// is no constant a template can take.
inline void DeleteGdiObject(HGDIOBJ object) noexcept { DeleteObject(object); }
inline void DeleteMemoryDC(HDC dc) noexcept { DeleteDC(dc); }
inline void DestroyIconHandle(HICON icon) noexcept { DestroyIcon(icon); }
inline void DestroyWindowHandle(HWND window) noexcept { DestroyWindow(window); }

template <typename H, auto Deleter>
using GdiOwner = UniqueOwner<NullEmptyPolicy<H, Deleter>>;

using OwnedPen = GdiOwner<HPEN, DeleteGdiObject>;
using OwnedBrush = GdiOwner<HBRUSH, DeleteGdiObject>;
using OwnedFont = GdiOwner<HFONT, DeleteGdiObject>;
using OwnedRgn = GdiOwner<HRGN, DeleteGdiObject>;
using OwnedBitmap = GdiOwner<HBITMAP, DeleteGdiObject>;
using OwnedMemoryDC = GdiOwner<HDC, DeleteMemoryDC>;
using OwnedIcon = GdiOwner<HICON, DestroyIconHandle>;
using OwnedWindow = GdiOwner<HWND, DestroyWindowHandle>;

// A window's device context (the screen's for no window) from GetDC, given back by its destructor.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};
