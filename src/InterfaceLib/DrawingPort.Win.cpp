// The Windows half of drawing ports: port life, pens, brushes, fonts, the image cache and the
// drawing calls.
#include "DrawingPort.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "Errors.h"
#include "Geometry.h"
#include "ThisModule.h"
#include "Utf.h"

namespace {

constexpr Rect16 kWholePlane{-30000, -30000, 30000, 30000};
constexpr Rect16 kEmptyRect{0, 1, 0, 1};

DrawingPort* gDeferredPort = nullptr;

// Objects that cannot be made end the operation with -108.
template <typename H>
H Required(H handle) {
    if (!handle) THROW_IF_ERROR(Err::MemoryFull);
    return handle;
}

HFONT PortFont(const DrawingPort& port) {
    return port.font ? port.font.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// Fills and frames use the drawing mode with the fore colour as text colour and the back colour
// as background colour, which a pattern brush draws its 0 and 1 bits in.
void PrepareFill(const DrawingPort& port, HDC dc) {
    SetROP2(dc, port.drawMode);
    SetTextColor(dc, port.foreColor);
    SetBkColor(dc, port.backColor);
    SelectObject(dc, port.fillBrush.Get());
}

void PrepareText(const DrawingPort& port, HDC dc) {
    SelectObject(dc, PortFont(port));
    SetTextColor(dc, port.foreColor);
    SetBkColor(dc, port.backColor);
    SetBkMode(dc, OPAQUE);
}

void SetScratchRect(DrawingPort& port, const Rect16& rect) {
    SetRectRgn(port.scratchRgn.Get(), rect.left, rect.top, rect.right, rect.bottom);
}

}  // namespace

// ---- Port life

void InitPort(DrawingPort& port, HWND window) {
    DisposePort(port);
    port.window = window;
    port.visibleRgn = NewRectRgn(kWholePlane);
    port.clipRgn = NewRectRgn(kWholePlane);
    port.extraClipRgn = nullptr;
    port.foreColor = RGB(0, 0, 0);
    port.backColor = GetSysColor(COLOR_BTNFACE);
    port.scratchRgn = NewRectRgn(kEmptyRect);
    const Pattern8x8 blank{};
    port.patternBitmap.Reset(Required(CreateBitmap(8, 8, 1, 1, blank.data())));
    port.pattern.reset();
    port.penWidth = 1;
    port.drawMode = R2_COPYPEN;
    UpdatePen(port);
    UpdateFillBrush(port);
    UpdateBackBrush(port);
    SetPortFont(port, 0);
}

void DisposePort(DrawingPort& port) noexcept {
    port.imageCache.clear();
    port.visibleRgn.Reset();
    port.clipRgn.Reset();
    port.pen.Reset();
    port.fillBrush.Reset();
    port.backBrush.Reset();
    port.scratchRgn.Reset();
    port.patternBitmap.Reset();
    port.font.Reset();
}

void UpdatePenAndBrushes(DrawingPort& port) {
    port.penWidth = 1;
    port.drawMode = R2_COPYPEN;
    port.pattern.reset();
    UpdatePen(port);
    UpdateFillBrush(port);
    UpdateBackBrush(port);
}

void UpdatePen(DrawingPort& port) {
    port.pen.Reset(Required(CreatePen(port.pattern ? PS_DASH : PS_SOLID, port.penWidth, port.foreColor)));
}

void UpdateFillBrush(DrawingPort& port) {
    if (!port.pattern) {
        port.fillBrush.Reset(Required(CreateSolidBrush(port.foreColor)));
        return;
    }
    SetBitmapBits(port.patternBitmap.Get(), static_cast<DWORD>(port.pattern->size()), port.pattern->data());
    port.fillBrush.Reset(Required(CreatePatternBrush(port.patternBitmap.Get())));
}

void UpdateBackBrush(DrawingPort& port) { port.backBrush.Reset(Required(CreateSolidBrush(port.backColor))); }

std::optional<COLORREF> GetThemeColor(int index) {
    constexpr int kFixed = -1;
    struct Source {
        int systemColor;
        COLORREF fixed;
    };
    static constexpr Source kSources[] = {
        {COLOR_BTNTEXT, 0},         {COLOR_GRAYTEXT, 0},       {COLOR_HIGHLIGHT, 0},
        {COLOR_HIGHLIGHTTEXT, 0},   {COLOR_ACTIVECAPTION, 0},  {kFixed, RGB(255, 255, 255)},
        {COLOR_WINDOW, 0},          {COLOR_ACTIVECAPTION, 0},  {COLOR_INACTIVECAPTION, 0},
        {COLOR_INFOTEXT, 0},        {COLOR_INFOBK, 0},         {kFixed, RGB(0, 0, 0)},
        {kFixed, RGB(0x7F, 0x7F, 0x7F)},
    };
    if (index < 1 || index > static_cast<int>(std::size(kSources))) return std::nullopt;
    const Source& source = kSources[index - 1];
    return source.systemColor == kFixed ? source.fixed : GetSysColor(source.systemColor);
}

void SetPenColorIndex(DrawingPort& port, int index) {
    if (const auto color = GetThemeColor(index)) port.foreColor = *color;
    UpdatePen(port);
    UpdateFillBrush(port);
}

void SetPortFont(DrawingPort& port, unsigned style) {
    LOGFONTW current{};
    if (!GetObjectW(PortFont(port), sizeof current, &current)) return;
    HFONT made = CreateFontW(current.lfHeight, 0, 0, 0, (style & 1) ? FW_BOLD : FW_NORMAL, (style & 2) != 0,
                             (style & 4) != 0, (style & 8) != 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, current.lfFaceName);
    if (made) port.font.Reset(made);
}

void DeferPortDisposal(DrawingPort& port) { gDeferredPort = &port; }

void DisposeDeferredPort() noexcept {
    if (!gDeferredPort) return;
    DisposePort(*std::exchange(gDeferredPort, nullptr));
}

// ---- Drawing

PortDC::PortDC(const DrawingPort& port, HDC given) : window_(port.window), dc_(given), fetched_(!given) {
    if (fetched_) dc_ = GetDC(window_);
    if (!dc_) return;
    savedState_ = SaveDC(dc_);
    SelectClipRgn(dc_, port.clipRgn.Get());
}

PortDC::~PortDC() {
    if (!dc_) return;
    RestoreDC(dc_, savedState_);
    if (fetched_) ReleaseDC(window_, dc_);
}

void EraseRect(DrawingPort& port, const Rect16& rect, HDC dc) {
    PortDC context(port, dc);
    if (!context) return;
    const RECT r = ToRECT(rect);
    FillRect(context.Get(), &r, port.backBrush.Get());
}

void PaintRect(DrawingPort& port, const Rect16& rect, HDC dc) {
    SetScratchRect(port, rect);
    PaintRgn(port, port.scratchRgn.Get(), dc);
}

void PaintRgn(DrawingPort& port, HRGN region, HDC dc) {
    PortDC context(port, dc);
    if (!context) return;
    PrepareFill(port, context.Get());
    ::PaintRgn(context.Get(), region);
}

void FrameRect(DrawingPort& port, const Rect16& rect, HDC dc) {
    SetScratchRect(port, rect);
    FrameRgn(port, port.scratchRgn.Get(), dc);
}

void FrameRgn(DrawingPort& port, HRGN region, HDC dc) {
    PortDC context(port, dc);
    if (!context) return;
    PrepareFill(port, context.Get());
    ::FrameRgn(context.Get(), region, port.fillBrush.Get(), port.penWidth, port.penWidth);
}

void PortLineTo(DrawingPort& port, Point16 from, Point16 to, HDC dc) {
    PortDC context(port, dc);
    if (!context) return;
    // The pen hangs to the right of and below the line's path: a line going down starts one pixel
    // to the left, a line going left one pixel higher.
    const int a = to.v > from.v ? 1 : 0;
    const int b = to.h < from.h ? 1 : 0;
    SetROP2(context.Get(), port.drawMode);
    SelectObject(context.Get(), port.pen.Get());
    MoveToEx(context.Get(), from.h - a, from.v - b, nullptr);
    LineTo(context.Get(), to.h - a, to.v - b);
}

void DrawStringAt(DrawingPort& port, Point16 point, std::string_view text, HDC dc) {
    PortDC context(port, dc);
    if (!context) return;
    PrepareText(port, context.Get());
    SetTextAlign(context.Get(), TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
    const std::wstring wide = Utf8ToUtf16(text);
    TextOutW(context.Get(), point.h, point.v, wide.data(), static_cast<int>(wide.size()));
}

int16_t MeasureTextWidth(const DrawingPort& port, std::string_view text, HDC dc) {
    PortDC context(port, dc);
    if (!context) return -1;
    SelectObject(context.Get(), PortFont(port));
    const std::wstring wide = Utf8ToUtf16(text);
    SIZE size{};
    GetTextExtentPoint32W(context.Get(), wide.data(), static_cast<int>(wide.size()), &size);
    return ClampToInt16(size.cx);
}

PortFontInfo GetPortFontInfo(const DrawingPort& port, HDC dc) {
    PortDC context(port, dc);
    if (!context) return {};
    SelectObject(context.Get(), PortFont(port));
    TEXTMETRICW metrics{};
    if (!GetTextMetricsW(context.Get(), &metrics)) return {};
    return PortFontInfo{ClampToInt16(metrics.tmAscent), ClampToInt16(metrics.tmDescent),
                        ClampToInt16(metrics.tmExternalLeading),
                        ClampToInt16(metrics.tmAscent + metrics.tmDescent - metrics.tmInternalLeading)};
}

void DrawPushButtonFrame(DrawingPort& port, Rect16& rect, bool pressed, HDC dc) {
    if (PortDC context(port, dc); context) {
        RECT r = ToRECT(rect);
        if (pressed) DrawFrameControl(context.Get(), &r, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED);
        else DrawEdge(context.Get(), &r, EDGE_RAISED, BF_RECT);
    }
    rect = Rect16{ClampToInt16(rect.top + 2), ClampToInt16(rect.left + 2), ClampToInt16(rect.bottom - 3),
                  ClampToInt16(rect.right - 3)};
}

void DrawSizeGrip(DrawingPort& port, const Rect16& rect, HDC dc) {
    PortDC context(port, dc);
    if (!context) return;
    RECT r = ToRECT(rect);
    DrawFrameControl(context.Get(), &r, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
}

ErrorCode DrawBitmapStretched(DrawingPort& port, HBITMAP bitmap, const Rect16& rect, DWORD rasterOperation, HDC dc) {
    PortDC context(port, dc);
    if (!context) return Err::None;
    OwnedMemoryDC memory(CreateCompatibleDC(context.Get()));
    if (!memory) return Err::MemoryFull;
    BITMAP info{};
    if (!GetObjectW(bitmap, sizeof info, &info)) return Err::None;
    const HGDIOBJ previous = SelectObject(memory.Get(), bitmap);
    SetStretchBltMode(context.Get(), COLORONCOLOR);
    StretchBlt(context.Get(), rect.left, rect.top, RectWidth(rect), RectHeight(rect), memory.Get(), 0, 0,
               info.bmWidth, info.bmHeight, rasterOperation);
    SelectObject(memory.Get(), previous);
    return Err::None;
}

ErrorCode DrawIconAt(DrawingPort& port, uint16_t resourceId, Point16 centre, bool disabled, HDC dc) {
    const CachedImage* image = GetCachedImage(port.imageCache, resourceId, kCachedIcon);
    if (!image) return Err::ResourceMissing;
    PortDC context(port, dc);
    if (!context) return Err::None;
    DrawStateW(context.Get(), nullptr, nullptr, reinterpret_cast<LPARAM>(image->icon.Get()), 0,
               centre.h - image->width / 2, centre.v - image->height / 2, image->width, image->height,
               DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
    return Err::None;
}

CachedImage* GetCachedImage(ImageCache& cache, uint16_t resourceId, uint16_t type) {
    const auto found = std::find_if(cache.begin(), cache.end(), [&](const CachedImage& image) {
        return image.resourceId == resourceId && image.type == type;
    });
    if (found != cache.end()) return &*found;

    CachedImage entry;
    entry.resourceId = resourceId;
    entry.type = type;
    const HINSTANCE module = ThisModule();
    if (type == kCachedIcon) {
        entry.icon.Reset(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, 0, 0, 0)));
        if (!entry.icon) return nullptr;
        entry.width = entry.height = 16;
    } else if (type == kCachedBitmap) {
        entry.bitmap.Reset(static_cast<HBITMAP>(
            LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        BITMAP info{};
        if (!entry.bitmap || !GetObjectW(entry.bitmap.Get(), sizeof info, &info)) return nullptr;
        entry.width = static_cast<uint16_t>(info.bmWidth);
        entry.height = static_cast<uint16_t>(std::abs(info.bmHeight));
    } else {
        return nullptr;
    }
    cache.push_front(std::move(entry));
    return &cache.front();
}

void ScrollRect(DrawingPort& port, const Rect16& rect, int dh, int dv, HRGN updateRgn, HDC dc) {
    PortDC context(port, dc);
    if (!context) return;
    const RECT r = ToRECT(rect);
    ScrollDC(context.Get(), dh, dv, &r, &r, updateRgn, nullptr);
}

void SetClipRgn(DrawingPort& port, HRGN region) {
    OwnedRgn visible = CopyRgn(region);
    OwnedRgn clip = CopyRgn(visible.Get());
    if (port.extraClipRgn) SectRgn(clip.Get(), port.extraClipRgn, clip.Get());
    port.visibleRgn = std::move(visible);
    port.clipRgn = std::move(clip);
}

Rect16 GetClientScreenRect(const DrawingPort& port) {
    const HWND window = port.window ? port.window : GetDesktopWindow();
    RECT client{};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return ToRect16(client);
}
