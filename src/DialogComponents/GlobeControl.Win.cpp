// The light-direction globe.
#include "GlobeControl.h"

#include <windows.h>

#include <algorithm>

#include "DrawingGuards.h"
#include "Errors.h"
#include "MorvaneDialog.h"
#include "ToolkitState.h"
#include "WindowServices.h"

namespace {

constexpr DWORD kTrackPause = 10;   // between samples of the pointer while a button is down

Rect16 HandleSquare(Point16 at) {
    using GlobeIds::kHandleHalf;
    return Rect16{static_cast<int16_t>(at.v - kHandleHalf), static_cast<int16_t>(at.h - kHandleHalf),
                  static_cast<int16_t>(at.v + kHandleHalf), static_cast<int16_t>(at.h + kHandleHalf)};
}

}  // namespace

GlobeControl::GlobeControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : DialogComponent(owner, item, callback) {}

GlobeControl::~GlobeControl() { Unlink(); }

void GlobeControl::Init(uint16_t globePicture, uint16_t handlePicture, int16_t margin) {
    const DrawingPort& port = Port();
    SetColors(port.backColor, port.foreColor);
    elevation_ = Globe::kNoElevation;
    margin_ = margin;
    globe_.LoadPNG(globePicture, 0);
    handlePicture_.LoadPNG(handlePicture, 0);
    handleDisabled_.LoadPNG(GlobeIds::kHandleDisabledPicture, 0);
}

Globe::Layout GlobeControl::CheckedLayout() const {
    const Globe::Layout layout = Globe::LayoutOf(ItemRect(), margin_);
    if (layout.radius < 1) THROW_IF_ERROR(GlobeIds::kTooSmall);
    return layout;
}

void GlobeControl::DrawHandle(Point16 at) const {
    const HWND item = Owner().ItemWindow(Item());
    const bool disabled = item && !IsWindowEnabled(item);
    // The greyed handle when the item is disabled, the plain one when that picture is missing.
    const ResourceImage& picture = disabled && handleDisabled_.Image() ? handleDisabled_ : handlePicture_;
    const Rect16 square = HandleSquare(at);
    const Rect16 itemRect = ItemRect();
    picture.Draw(&Port(), &square, &itemRect);
}

void GlobeControl::Draw() {
    if (!Owner().Window()) return;
    ColorState colors(*this);
    ClipState clip(*this);
    PaintRect(Port(), ItemRect());
    // An item too small for a globe shows its ground only: raising 20005 from a paint would put
    // an alert over the dialog at every paint the alert itself causes.
    const Globe::Layout layout = Globe::LayoutOf(ItemRect(), margin_);
    if (layout.radius < 1) return;
    handle_ = Globe::HandlePosition(layout, elevation_, angle_);
    globe_.DrawRect(&Port(), &layout.globe);
    DrawHandle(handle_);
}

void GlobeControl::RestoreUnderHandle(Point16 at) {
    const Globe::Layout layout = Globe::LayoutOf(ItemRect(), margin_);
    Rect16 square = HandleSquare(at);
    const Rect16 item = ItemRect();
    square = Rect16{std::max(square.top, item.top), std::max(square.left, item.left), std::min(square.bottom, item.bottom),
                    std::min(square.right, item.right)};
    if (IsEmptyRect(square)) return;
    ColorState colors(*this);
    ClipState clip(Port(), square);
    PaintRect(Port(), square);
    globe_.DrawRect(&Port(), &layout.globe, &square);
}

bool GlobeControl::Track(Point16 point) {
    const Globe::Layout layout = CheckedLayout();
    const HWND window = Owner().Window();
    bool first = true;
    for (;;) {
        bool down = true;
        if (!first) {
            POINT cursor{};
            GetCursorPos(&cursor);
            if (window) ScreenToClient(window, &cursor);
            point = Point16{ClampToInt16(cursor.y), ClampToInt16(cursor.x)};
            down = AnyMouseButtonDown();
            // The preview keeps rendering during the drag.
            if (MorvaneDialog* front = MorvaneDialog::FrontDialog()) {
                Toolkit::TrackingScope tracking;
                front->Idle();
            }
        }
        first = false;
        const Globe::Direction next = Globe::DirectionAt(layout, point, Globe::Direction{elevation_, angle_});
        if (next.elevation != elevation_ || next.angle != angle_) {
            elevation_ = next.elevation;
            angle_ = next.angle;
            const Point16 old = handle_;
            handle_ = Globe::HandlePosition(layout, elevation_, angle_);
            if (Owner().Window()) {
                RestoreUnderHandle(old);
                ClipState clip(*this);
                DrawHandle(handle_);
            }
            Notify(static_cast<int16_t>(elevation_), angle_);
        }
        if (!down || !Owner().Window()) break;
        Sleep(kTrackPause);
    }
    return true;
}
