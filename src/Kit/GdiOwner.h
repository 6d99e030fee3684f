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

// An object selected into a device context for the life of this, the previous one put back after.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (dc_ && previous_) SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Narrows a device context's clip to a rectangle or a region (intersected with the clip it has)
// for the life of this; the clip it had comes back after.
class SaveClip {
public:
    SaveClip(HDC dc, const RECT& rect) : SaveClip(dc) {
        if (dc_) IntersectClipRect(dc_, rect.left, rect.top, rect.right, rect.bottom);
    }
    SaveClip(HDC dc, HRGN region) : SaveClip(dc) {
        if (dc_ && region) ExtSelectClipRgn(dc_, region, RGN_AND);
    }
    SaveClip(const SaveClip&) = delete;
    SaveClip& operator=(const SaveClip&) = delete;
    ~SaveClip() {
        if (dc_) SelectClipRgn(dc_, hadClip_ ? saved_.Get() : nullptr);
    }

private:
    explicit SaveClip(HDC dc) : dc_(dc), saved_(CreateRectRgn(0, 0, 0, 0)) {
        hadClip_ = dc_ && saved_ && GetClipRgn(dc_, saved_.Get()) == 1;
    }

    HDC dc_;
    OwnedRgn saved_;
    bool hadClip_ = false;
};
