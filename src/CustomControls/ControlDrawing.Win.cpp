#include "ControlDrawing.h"

#include <algorithm>
#include <cstdlib>

#include "Errors.h"
#include "GdiOwner.h"

namespace ControlLook {
namespace {

constexpr COLORREF kNoKey = RGB(0xFF, 0x00, 0xFF);

OwnedBrush MakeBrush(COLORREF color) {
    OwnedBrush brush(CreateSolidBrush(color));
    if (!brush) THROW_IF_ERROR(Err::MemoryFull);
    return brush;
}

}  // namespace

void FillBox(HDC dc, const RECT& r, COLORREF color) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    const OwnedBrush brush = MakeBrush(color);
    FillRect(dc, &r, brush.Get());
}

void FrameBox(HDC dc, const RECT& r, COLORREF color, unsigned edges) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    if (edges & kLeftEdge) FillBox(dc, {r.left, r.top, r.left + 1, r.bottom}, color);
    if (edges & kTopEdge) FillBox(dc, {r.left, r.top, r.right, r.top + 1}, color);
    if (edges & kRightEdge) FillBox(dc, {r.right - 1, r.top, r.right, r.bottom}, color);
    if (edges & kBottomEdge) FillBox(dc, {r.left, r.bottom - 1, r.right, r.bottom}, color);
}

void DrawWell(HDC dc, const RECT& r, unsigned edges) {
    FillBox(dc, r, kSurface);
    FrameBox(dc, r, kSeparator, edges);
}

void DrawRaisedBox(HDC dc, const RECT& r, bool pressed, bool enabled) {
    FillBox(dc, r, pressed && enabled ? kPressed : kBackground);
    FrameBox(dc, r, enabled ? kFrame : kSeparator);
}

void DrawArrow(HDC dc, const RECT& r, ArrowDirection direction, COLORREF color, int size) {
    const int width = r.right - r.left, height = r.bottom - r.top;
    // Half the base of the triangle, which is also its height.
    const int half = std::max(1, size > 0 ? size : std::min(width, height) / 3);
    const int cx = r.left + width / 2, cy = r.top + height / 2;
    // Each row (or column) of the triangle as one line, so that it stays crisp at any size.
    for (int step = 0; step < half; ++step) {
        const int reach = half - 1 - step;
        switch (direction) {
            case ArrowDirection::kDown:
                FillBox(dc, {cx - reach - 1, cy - half / 2 + step, cx + reach, cy - half / 2 + step + 1}, color);
                break;
            case ArrowDirection::kUp:
                FillBox(dc, {cx - reach - 1, cy + (half - 1) / 2 - step, cx + reach, cy + (half - 1) / 2 - step + 1},
                        color);
                break;
            case ArrowDirection::kRight:
                FillBox(dc, {cx - half / 2 + step, cy - reach - 1, cx - half / 2 + step + 1, cy + reach}, color);
                break;
        }
    }
}

void DrawKeyedBitmap(HDC dc, HBITMAP picture, int x, int y, int sourceX, int sourceY, int width, int height,
                     COLORREF key) {
    if (!picture || width <= 0 || height <= 0) return;
    const OwnedMemoryDC source(CreateCompatibleDC(dc));
    if (!source) THROW_IF_ERROR(Err::MemoryFull);
    const SelectionScope selected(source.Get(), picture);
    TransparentBlt(dc, x, y, width, height, source.Get(), sourceX, sourceY, width, height, key);
}

void VeilBox(HDC dc, const RECT& r, COLORREF color, BYTE opacity) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    const OwnedMemoryDC source(CreateCompatibleDC(dc));
    const OwnedBitmap pixel(CreateCompatibleBitmap(dc, 1, 1));
    if (!source || !pixel) THROW_IF_ERROR(Err::MemoryFull);
    const SelectionScope selected(source.Get(), pixel.Get());
    SetPixel(source.Get(), 0, 0, color);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, opacity, 0};
    AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, source.Get(), 0, 0, 1, 1, blend);
}

SIZE BitmapSize(HBITMAP picture) {
    BITMAP info{};
    if (!picture || !GetObjectW(picture, sizeof info, &info)) return {0, 0};
    return {info.bmWidth, std::abs(info.bmHeight)};
}

COLORREF CornerColor(HBITMAP picture) {
    if (!picture) return kNoKey;
    const OwnedMemoryDC source(CreateCompatibleDC(nullptr));
    if (!source) return kNoKey;
    const SelectionScope selected(source.Get(), picture);
    const COLORREF corner = GetPixel(source.Get(), 0, 0);
    return corner == CLR_INVALID ? kNoKey : corner;
}

}  // namespace ControlLook
