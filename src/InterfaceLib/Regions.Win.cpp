// Region operations, monitors and the desktop region.
#include "DrawingPort.h"
#include "Errors.h"
#include "Geometry.h"

namespace {

void Combine(HRGN result, HRGN a, HRGN b, int mode) {
    if (CombineRgn(result, a, b, mode) == ERROR) THROW_IF_ERROR(Err::MemoryFull);
}

// Runs inside the system's enumeration: nothing may be thrown from here.
BOOL CALLBACK AddMonitorRect(HMONITOR, HDC, LPRECT bounds, LPARAM desktop) noexcept {
    HRGN region = reinterpret_cast<HRGN>(desktop);
    const OwnedRgn monitor(CreateRectRgnIndirect(bounds));
    return monitor && CombineRgn(region, region, monitor.Get(), RGN_OR) != ERROR;
}

}  // namespace

OwnedRgn NewRectRgn(const Rect16& rect) {
    OwnedRgn region(CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom));
    if (!region) THROW_IF_ERROR(Err::MemoryFull);
    return region;
}

OwnedRgn RegionOf(const Rect16& r) { return NewRectRgn(IsEmptyRect(r) ? Rect16{} : r); }

Rect16 RegionBounds(HRGN region) {
    RECT box{};
    if (GetRgnBox(region, &box) == NULLREGION) return Rect16{};
    return ToRect16(box);
}

OwnedRgn CopyRgn(HRGN source) {
    OwnedRgn copy = NewRectRgn(Rect16{});
    Combine(copy.Get(), source, nullptr, RGN_COPY);
    return copy;
}

void DiffRgn(HRGN a, HRGN b, HRGN result) { Combine(result, a, b, RGN_DIFF); }
void SectRgn(HRGN a, HRGN b, HRGN result) { Combine(result, a, b, RGN_AND); }
void UnionRgn(HRGN a, HRGN b, HRGN result) { Combine(result, a, b, RGN_OR); }

bool IsEmptyRgn(HRGN region) {
    RECT box;
    return GetRgnBox(region, &box) == NULLREGION;
}

Rect16 GetMonitorWorkRect(std::optional<Point16> point) {
    if (point) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        const HMONITOR monitor = MonitorFromPoint(POINT{point->h, point->v}, MONITOR_DEFAULTTONEAREST);
        if (monitor && GetMonitorInfoW(monitor, &info)) return ToRect16(info.rcWork);
    }
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return ToRect16(work);
}

void GetDesktopRgn(HRGN region) {
    SetRectRgn(region, 0, 0, 0, 0);
    if (EnumDisplayMonitors(nullptr, nullptr, AddMonitorRect, reinterpret_cast<LPARAM>(region))) return;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetRectRgn(region, work.left, work.top, work.right, work.bottom);
}
