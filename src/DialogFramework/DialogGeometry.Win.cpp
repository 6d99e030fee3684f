// Where dialogs stand: bounds in screen coordinates (with the mark of a maximised window), the
// first placement, keeping windows on screen, snapping edges, and dragging a window's outline.
#include <algorithm>

#include "DialogState.h"
#include "GdiOwner.h"
#include "MorvaneDialog.h"
#include "ToolkitState.h"
#include "WindowServices.h"

namespace {

constexpr int kSnapDistance = 8;
constexpr int kFloatingGap = 8;          // between the owner's client area and its first floating window
constexpr int kFloatingStep = 23;        // below the previous floating window
constexpr int kFloatingScreenMargin = 2;
// A maximised window's bounds carry bit 14 set and bit 13 clear in their top and bottom.
constexpr int16_t kMaximisedMark = 0x4000;
constexpr int16_t kMarkMask = 0x6000;

int16_t SignExtend13(int16_t value) {
    const int v = value & 0x1FFF;
    return static_cast<int16_t>((v & 0x1000) ? v - 0x2000 : v);
}

Rect16 ClientScreenRect(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return ToRect16(r);
}

// Draws (and, drawn again, erases) a window outline on the screen.
void XorOutline(const RECT& r, int penWidth) {
    const WindowDC screenDC(nullptr);
    const HDC screen = screenDC.Get();
    if (!screen) return;
    const OwnedPen pen(CreatePen(PS_SOLID, penWidth, RGB(255, 255, 255)));
    const HGDIOBJ oldPen = SelectObject(screen, pen.Get());
    const HGDIOBJ oldBrush = SelectObject(screen, GetStockObject(NULL_BRUSH));
    const int oldMode = SetROP2(screen, R2_XORPEN);
    Rectangle(screen, r.left, r.top, r.right, r.bottom);
    SetROP2(screen, oldMode);
    SelectObject(screen, oldBrush);
    SelectObject(screen, oldPen);
}

}  // namespace

void MorvaneDialog::GetBounds(Rect16& bounds) const {
    const HWND window = Window();
    bounds = Rect16{};
    if (!window) return;
    if (!IsZoomed(window)) {
        bounds = ClientScreenRect(window);
        return;
    }
    WINDOWPLACEMENT placement{sizeof placement};
    GetWindowPlacement(window, &placement);
    RECT r = placement.rcNormalPosition;
    r.left += extraWidth_ / 2;
    r.right -= extraWidth_ - extraWidth_ / 2;
    r.top += extraHeight_ - extraWidth_ / 2;
    r.bottom -= extraWidth_ / 2;
    bounds = ToRect16(r);
    bounds.top = static_cast<int16_t>((bounds.top & 0x1FFF) | kMaximisedMark);
    bounds.bottom = static_cast<int16_t>((bounds.bottom & 0x1FFF) | kMaximisedMark);
}

void MorvaneDialog::SetBounds(const Rect16& requested) {
    const HWND window = Window();
    if (!window) return;
    Rect16 bounds = requested;
    const bool maximised = (bounds.top & kMarkMask) == kMaximisedMark;
    if (maximised) {
        bounds.top = SignExtend13(bounds.top);
        bounds.bottom = SignExtend13(bounds.bottom);
    }
    const int width = std::clamp<int>(RectWidth(bounds), minWidth_, maxWidth_);
    const int height = std::clamp<int>(RectHeight(bounds), minHeight_, maxHeight_);
    const Rect16 before = ClientScreenRect(window);
    // Client origin and size become the window's by the frame's extra size.
    RECT frame{};
    GetWindowRect(window, &frame);
    const int leftInset = before.left - frame.left, topInset = before.top - frame.top;
    const int left = bounds.left - leftInset, top = bounds.top - topInset;
    if (maximised) {
        WINDOWPLACEMENT placement{sizeof placement};
        GetWindowPlacement(window, &placement);
        placement.rcNormalPosition = RECT{left, top, left + width + extraWidth_, top + height + extraHeight_};
        placement.showCmd = SW_SHOWMAXIMIZED;
        SetWindowPlacement(window, &placement);
        return;
    }
    MoveWindow(window, left, top, width + extraWidth_, height + extraHeight_, TRUE);
    if (before.left != bounds.left || before.top != bounds.top) Moved(bounds.left, bounds.top);
}

void MorvaneDialog::GetContentRect(Rect16& rect) const {
    rect = Rect16{};
    if (const HWND window = Window()) {
        RECT r{};
        GetClientRect(window, &r);
        rect = ToRect16(r);
    }
}

void MorvaneDialog::MoveTo(Point16 topLeft) {
    const HWND window = Window();
    if (!window) return;
    const Rect16 client = ClientScreenRect(window);
    if (client.left == topLeft.h && client.top == topLeft.v) return;
    RECT frame{};
    GetWindowRect(window, &frame);
    SetWindowPos(window, nullptr, frame.left + (topLeft.h - client.left), frame.top + (topLeft.v - client.top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Moved(topLeft.h, topLeft.v);
}

void MorvaneDialog::InitialBounds() {
    const HWND window = port_.window;
    if (!window) return;
    RECT frame{};
    GetWindowRect(window, &frame);
    Rect16 r = ToRect16(frame);
    if (IsFloating() && owner_ && owner_->Window()) {
        const Rect16 ownerClient = ClientScreenRect(owner_->Window());
        const int top = owner_->nextFloatingTop_ ? owner_->nextFloatingTop_ : ownerClient.top;
        OffsetRect16(r, ownerClient.right + kFloatingGap - r.left, top - r.top);
        owner_->nextFloatingTop_ = static_cast<int16_t>(top + RectHeight(r) + kFloatingStep);
    } else if (owner_ && owner_->Window()) {
        PlaceRectOnScreen(r, &owner_->port_);
    } else {
        PlaceRectOnScreen(r, nullptr);
    }
    SetWindowPos(window, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MorvaneDialog::KeepOnScreen() {
    const HWND window = Window();
    if (!window) return;
    RECT frame{};
    GetWindowRect(window, &frame);
    Rect16 r = ToRect16(frame);
    const Point16 centre{static_cast<int16_t>((r.top + r.bottom) / 2), static_cast<int16_t>((r.left + r.right) / 2)};
    const Rect16 work = GetMonitorWorkRect(centre);
    const Rect16 before = r;
    KeepRectInside(r, work, IsFloating() ? kFloatingScreenMargin : 0);
    if (!EqualRects(before, r))
        SetWindowPos(window, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MorvaneDialog::SnapRect(Rect16& rect) const {
    const Point16 centre{static_cast<int16_t>((rect.top + rect.bottom) / 2), static_cast<int16_t>((rect.left + rect.right) / 2)};
    bool snappedH = false, snappedV = false;
    const auto snapTo = [&](const Rect16& edges) {
        const int width = RectWidth(rect), height = RectHeight(rect);
        if (!snappedH) {
            for (int edge : {int{edges.left}, int{edges.right}}) {
                if (std::abs(rect.left - edge) <= kSnapDistance) {
                    rect.left = static_cast<int16_t>(edge);
                    rect.right = static_cast<int16_t>(edge + width);
                    snappedH = true;
                    break;
                }
                if (std::abs(rect.right - edge) <= kSnapDistance) {
                    rect.right = static_cast<int16_t>(edge);
                    rect.left = static_cast<int16_t>(edge - width);
                    snappedH = true;
                    break;
                }
            }
        }
        if (!snappedV) {
            for (int edge : {int{edges.top}, int{edges.bottom}}) {
                if (std::abs(rect.top - edge) <= kSnapDistance) {
                    rect.top = static_cast<int16_t>(edge);
                    rect.bottom = static_cast<int16_t>(edge + height);
                    snappedV = true;
                    break;
                }
                if (std::abs(rect.bottom - edge) <= kSnapDistance) {
                    rect.bottom = static_cast<int16_t>(edge);
                    rect.top = static_cast<int16_t>(edge - height);
                    snappedV = true;
                    break;
                }
            }
        }
    };
    snapTo(GetMonitorWorkRect(centre));
    for (MorvaneDialog* d = Dialogs().list; d; d = d->NextDialog()) {
        if (d == this || !d->Window() || !IsWindowVisible(d->Window())) continue;
        RECT frame{};
        GetWindowRect(d->Window(), &frame);
        snapTo(ToRect16(frame));
    }
}

bool MorvaneDialog::DragFrame(POINT start, bool sizeMode) {
    const HWND window = Window();
    if (!window) return false;
    // A press that is released where it began is a click, not a drag.
    for (;;) {
        if (!AnyMouseButtonDown()) return false;
        POINT now{};
        GetCursorPos(&now);
        if (now.x != start.x || now.y != start.y) break;
        Sleep(5);
    }
    Toolkit::TrackingScope tracking;
    RECT original{};
    GetWindowRect(window, &original);
    const int penWidth = IsFloating() ? 1 : 2;
    RECT outline = original;
    XorOutline(outline, penWidth);
    OwnedRgn desktop = NewRectRgn(Rect16{});
    GetDesktopRgn(desktop.Get());
    RECT desktopBox{};
    GetRgnBox(desktop.Get(), &desktopBox);
    while (AnyMouseButtonDown()) {
        POINT now{};
        GetCursorPos(&now);
        now.x = std::clamp(now.x, desktopBox.left, desktopBox.right - 1);
        now.y = std::clamp(now.y, desktopBox.top, desktopBox.bottom - 1);
        RECT next = original;
        if (sizeMode) {
            int width = (original.right - original.left) + (now.x - start.x) - extraWidth_;
            int height = (original.bottom - original.top) + (now.y - start.y) - extraHeight_;
            if (gridH_ >= 2) width -= width % gridH_;
            if (gridV_ >= 2) height -= height % gridV_;
            width = std::clamp<int>(width, minWidth_, maxWidth_);
            height = std::clamp<int>(height, minHeight_, maxHeight_);
            next.right = next.left + width + extraWidth_;
            next.bottom = next.top + height + extraHeight_;
        } else {
            OffsetRect(&next, now.x - start.x, now.y - start.y);
        }
        Rect16 snapped = ToRect16(next);
        SnapRect(snapped);
        next = ToRECT(snapped);
        if (!EqualRect(&next, &outline)) {
            XorOutline(outline, penWidth);
            outline = next;
            XorOutline(outline, penWidth);
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(10);
    }
    XorOutline(outline, penWidth);
    if (EqualRect(&outline, &original)) return false;
    const Rect16 client = ClientScreenRect(window);
    Rect16 bounds{};
    bounds.left = static_cast<int16_t>(client.left + (outline.left - original.left));
    bounds.top = static_cast<int16_t>(client.top + (outline.top - original.top));
    bounds.right = static_cast<int16_t>(bounds.left + (outline.right - outline.left) - extraWidth_);
    bounds.bottom = static_cast<int16_t>(bounds.top + (outline.bottom - outline.top) - extraHeight_);
    SetBounds(bounds);
    return true;
}
