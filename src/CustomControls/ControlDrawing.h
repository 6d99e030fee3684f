// The look every window-class control shares: the dark interface's greys and the few shapes the
// controls are built from (wells, raised boxes, arrows, keyed and veiled pictures). The controls
// draw themselves with these and with nothing of the system's colour scheme, so that they sit on
// the dark dialogs as one family whatever the desktop's colours are.
#pragma once

#include <windows.h>

#include "GdiOwner.h"

namespace ControlLook {

// The interface palette (Windows colour values).
inline constexpr COLORREF kBackground = RGB(0x3F, 0x3F, 0x3F);
inline constexpr COLORREF kSurface = RGB(0x2F, 0x2F, 0x2F);      // wells: channels, boxes, slots
inline constexpr COLORREF kText = RGB(0xBA, 0xBA, 0xBA);
inline constexpr COLORREF kDisabledText = RGB(0x80, 0x80, 0x80);
inline constexpr COLORREF kFrame = RGB(0x8E, 0x8E, 0x8E);
inline constexpr COLORREF kPressed = RGB(0x5D, 0x5D, 0x5D);      // pressed or highlighted background
inline constexpr COLORREF kSeparator = RGB(0x56, 0x56, 0x56);    // rules and the edges of wells

// Which edges of a box get their line.
enum Edges : unsigned {
    kLeftEdge = 1,
    kTopEdge = 2,
    kRightEdge = 4,
    kBottomEdge = 8,
    kAllEdges = 15,
};

enum class ArrowDirection { kUp, kDown, kRight };

// Fills r with a colour; a brush that cannot be made is thrown as -108.
void FillBox(HDC dc, const RECT& r, COLORREF color);
// One-pixel lines along the chosen edges of r, inside it.
void FrameBox(HDC dc, const RECT& r, COLORREF color, unsigned edges = kAllEdges);
// A sunken well: the surface grey inside a separator line on the chosen edges.
void DrawWell(HDC dc, const RECT& r, unsigned edges = kAllEdges);
// A raised box (a thumb, a button, a cell): the background inside a frame line, the pressed grey
// while pressed, a dimmer frame when disabled.
void DrawRaisedBox(HDC dc, const RECT& r, bool pressed, bool enabled);
// A solid triangle centred in r, `size` pixels from base to tip and twice that wide less one; size
// 0 takes a third of r's smaller side.
void DrawArrow(HDC dc, const RECT& r, ArrowDirection direction, COLORREF color, int size = 0);
// Copies the picture's part (source, width x height) to (x, y) leaving out every pixel of its key
// colour, so that the control's own background shows round the picture. A null picture draws
// nothing.
void DrawKeyedBitmap(HDC dc, HBITMAP picture, int x, int y, int sourceX, int sourceY, int width, int height,
                     COLORREF key);
// Lays a colour at the given opacity (0..255) over r: disabled pictures are drawn, then veiled in
// the background grey.
void VeilBox(HDC dc, const RECT& r, COLORREF color, BYTE opacity);
// The width and height of a bitmap; 0 x 0 for none.
SIZE BitmapSize(HBITMAP picture);
// The colour of the picture's top-left pixel: the pictures of the controls keep their
// transparent colour there, outside every image they hold. Magenta for no picture.
COLORREF CornerColor(HBITMAP picture);

// Selects a GDI object into a device context for its life and puts back what was there.
class SelectionScope {
public:
    SelectionScope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    SelectionScope(const SelectionScope&) = delete;
    SelectionScope& operator=(const SelectionScope&) = delete;
    ~SelectionScope() {
        if (previous_) SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};


// BeginPaint for its life, EndPaint at its end (also when drawing throws).
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { EndPaint(window_, &paint_); }
    HDC Get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

}  // namespace ControlLook
