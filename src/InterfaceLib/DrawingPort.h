// Drawing ports: the drawing state of one window in a rectangle-and-region drawing model, and
// the drawing, region and screen calls over it. Every drawing call takes a device context (the
// caller's, else the port window's), selects the port's clip region and objects into it, draws,
// and leaves the context as it found it. An object that cannot be created throws -108.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <forward_list>
#include <optional>
#include <string_view>

#include "ErrorCodes.h"
#include "GdiOwner.h"
#include "Geometry.h"
#include "PluginInterface.h"

// An 8 x 8 one-bit pattern: eight rows of two bytes, the first byte of a row holding its pixels.
// A 0 bit draws in the fore colour, a 1 bit in the back colour.
using Pattern8x8 = std::array<uint8_t, 16>;

enum CachedImageType : uint16_t {
    kCachedIcon = 1,
    kCachedBitmap = 2,
};

// One loaded icon or bitmap resource; the handle of its type is set, the other is empty.
struct CachedImage {
    uint16_t resourceId = 0;
    uint16_t type = 0;
    uint16_t height = 0;
    uint16_t width = 0;
    OwnedIcon icon;
    OwnedBitmap bitmap;
};
using ImageCache = std::forward_list<CachedImage>;

struct DrawingPort {
    HWND window = nullptr;       // none: the desktop port, which draws on the screen
    OwnedRgn visibleRgn;         // the base clip
    OwnedRgn clipRgn;            // what drawing clips to: the visible region within the extra clip
    HRGN extraClipRgn = nullptr; // the caller's (a dialog's update region while it paints), or none
    COLORREF foreColor = 0;
    COLORREF backColor = 0;
    OwnedPen pen;                // fore colour, pen width; dashed while a pattern is set
    OwnedBrush fillBrush;        // fore colour, or the pattern
    OwnedBrush backBrush;
    OwnedRgn scratchRgn;
    OwnedBitmap patternBitmap;
    OwnedFont font;
    std::optional<Pattern8x8> pattern;  // none: solid
    int penWidth = 1;
    int drawMode = R2_COPYPEN;   // the raster operation of lines and fills
    ImageCache imageCache;
};

// ---- Port life

// Sets every field afresh: regions -30000..30000, black on the button-face colour, a solid pen one
// pixel wide, no pattern, copy mode, the default GUI font. A null window makes the desktop port.
void InitPort(DrawingPort& port, HWND window);
// Frees the port's objects and cached images; the extra clip region stays the caller's.
void DisposePort(DrawingPort& port) noexcept;
// Pen width 1, copy mode, no pattern; pen, fill brush and back brush made again from the colours.
void UpdatePenAndBrushes(DrawingPort& port);
void UpdatePen(DrawingPort& port);
void UpdateFillBrush(DrawingPort& port);
void UpdateBackBrush(DrawingPort& port);
// The colours of the interface by index 1..13: system colours, and fixed white, black and grey.
std::optional<COLORREF> GetThemeColor(int index);
// Fore colour := theme colour index (other indexes keep it); pen and fill brush made again.
void SetPenColorIndex(DrawingPort& port, int index);
// Makes the port's font again in its height and face: bit 0 bold, 1 italic, 2 underlined, 3 struck
// out. When that fails the old font stays.
void SetPortFont(DrawingPort& port, unsigned style);

// Disposing of a port after the host call instead of at once (the desktop port, which the dialog
// code sets up once a call): the plug-in entry disposes of it when the call ends.
void DeferPortDisposal(DrawingPort& port);
void DisposeDeferredPort() noexcept;

// ---- Drawing

// A device context for drawing into a port: the given one, else the port window's (the screen's
// for the desktop port), with the port's clip region selected. The context's state is restored,
// and a context it fetched released, when the guard ends. Empty when no context can be had.
class PortDC {
public:
    explicit PortDC(const DrawingPort& port, HDC given = nullptr);
    PortDC(const PortDC&) = delete;
    PortDC& operator=(const PortDC&) = delete;
    ~PortDC();

    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    bool fetched_ = false;
    int savedState_ = 0;
};

inline RECT ToRECT(const Rect16& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
// Coordinates beyond the 16-bit range are held at its ends.
inline Rect16 ToRect16(const RECT& r) {
    return Rect16{ClampToInt16(r.top), ClampToInt16(r.left), ClampToInt16(r.bottom), ClampToInt16(r.right)};
}

// Every drawing call below draws into dc when one is given, else into the port's window.
void EraseRect(DrawingPort& port, const Rect16& rect, HDC dc = nullptr);
void PaintRect(DrawingPort& port, const Rect16& rect, HDC dc = nullptr);
void PaintRgn(DrawingPort& port, HRGN region, HDC dc = nullptr);
// Frames with the fill brush, the pen width thick.
void FrameRect(DrawingPort& port, const Rect16& rect, HDC dc = nullptr);
void FrameRgn(DrawingPort& port, HRGN region, HDC dc = nullptr);
void PortLineTo(DrawingPort& port, Point16 from, Point16 to, HDC dc = nullptr);
// UTF-8 text with its baseline on point.v, starting at point.h.
void DrawStringAt(DrawingPort& port, Point16 point, std::string_view text, HDC dc = nullptr);
// The width of UTF-8 text in the port's font; -1 (0xFFFF) when no device context can be had.
int16_t MeasureTextWidth(const DrawingPort& port, std::string_view text, HDC dc = nullptr);

struct PortFontInfo {
    int16_t ascent = 0;
    int16_t descent = 0;
    int16_t leading = 0;     // external leading
    int16_t height = 0;      // ascent + descent - internal leading
};
// All 0 when no device context can be had.
PortFontInfo GetPortFontInfo(const DrawingPort& port, HDC dc = nullptr);

// A pushed button frame, or a raised edge; rect then shrinks to the inside (2 at the top and left,
// 3 at the bottom and right).
void DrawPushButtonFrame(DrawingPort& port, Rect16& rect, bool pressed, HDC dc = nullptr);
void DrawSizeGrip(DrawingPort& port, const Rect16& rect, HDC dc = nullptr);
// Stretches the whole bitmap into rect with the raster operation; -108 without a memory context.
ErrorCode DrawBitmapStretched(DrawingPort& port, HBITMAP bitmap, const Rect16& rect, DWORD rasterOperation,
                              HDC dc = nullptr);
// The module's icon resource (cached) centred on the point, greyed when disabled; 20001 when the
// icon does not exist.
ErrorCode DrawIconAt(DrawingPort& port, uint16_t resourceId, Point16 centre, bool disabled, HDC dc = nullptr);
// The cached (id, type) image of the module's resources, loaded on first use; none when the
// resource does not exist.
CachedImage* GetCachedImage(ImageCache& cache, uint16_t resourceId, uint16_t type);
// Scrolls the rectangle's pixels by (dh, dv); the exposed area goes to updateRgn when one is given.
void ScrollRect(DrawingPort& port, const Rect16& rect, int dh, int dv, HRGN updateRgn, HDC dc = nullptr);
// Visible region := a copy of region; clip region := visible ∩ extra clip region (or the copy).
void SetClipRgn(DrawingPort& port, HRGN region);
// The window's client area in screen coordinates (the screen's for the desktop port).
Rect16 GetClientScreenRect(const DrawingPort& port);

// ---- Regions and screen

// New regions; -108 when one cannot be made.
OwnedRgn NewRectRgn(const Rect16& rect);
// A region of the rectangle; an empty (or inverted) rectangle gives an empty region.
OwnedRgn RegionOf(const Rect16& r);
// The bounding box of a region, empty for an empty region.
Rect16 RegionBounds(HRGN region);
OwnedRgn CopyRgn(HRGN source);
// result := a - b, a ∩ b, a ∪ b; result may be a or b itself.
void DiffRgn(HRGN a, HRGN b, HRGN result);
void SectRgn(HRGN a, HRGN b, HRGN result);
void UnionRgn(HRGN a, HRGN b, HRGN result);
bool IsEmptyRgn(HRGN region);

// The work area of the monitor nearest the point (the primary's when none is), or with no point
// the work area of the screen.
Rect16 GetMonitorWorkRect(std::optional<Point16> point = std::nullopt);
// region := the union of every monitor's rectangle (the screen's work area when monitors cannot
// be enumerated).
void GetDesktopRgn(HRGN region);
