// The status strip component.
#include "FlickerControl.h"

#include <windows.h>

#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "MorvaneDialog.h"

namespace {

// The text starts this far in from the strip's left edge.
constexpr int16_t kStatusInset = 5;
// MorvaneDialog::DrawItemText: left-aligned, centred vertically.
constexpr uint16_t kStatusStyle = 17;

}  // namespace

FlickerControl::FlickerControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : DialogComponent(owner, item, callback) {
    const DrawingPort& port = owner.Port();
    SetColors(port.backColor, port.foreColor);
    grip_.LoadPNG(kInterfaceArtworkBase, kSizeGripArtwork);
}

FlickerControl::~FlickerControl() { Unlink(); }

Rect16 FlickerControl::GripPlace() const {
    const Rect16 item = ItemRect();
    const CxImage* picture = grip_.Image();
    if (!picture) return Rect16{};
    return Rect16{ClampToInt16(int64_t{item.bottom} - picture->Height()),
                  ClampToInt16(int64_t{item.right} - picture->Width()), item.bottom, item.right};
}

Rect16 FlickerControl::GetGripRect() const {
    const HWND window = Owner().Window();
    if (!gripShown_ || !window || IsZoomed(window)) return Rect16{};
    return GripPlace();
}

void FlickerControl::DrawStatus(const char* text) {
    status_ = text ? text : "";
    Draw();
}

void FlickerControl::Draw() {
    if (!Owner().Window()) return;
    const Rect16 item = ItemRect();
    if (IsEmptyRect(item)) return;
    DrawingPort& port = Port();
    ColorState colors(*this);
    Rect16 face = item;
    if (topRule_) face.top = ClampToInt16(int64_t{face.top} + 1);
    PaintRect(port, face);
    const Rect16 grip = GripPlace();
    if (gripShown_) grip_.Draw(&port, &grip, &item);
    if (topRule_) {
        PortColorState rule(port, BackColor(), ControlLook::kFrame);
        const Rect16 line{item.top, item.left, ClampToInt16(int64_t{item.top} + 1), item.right};
        PaintRect(port, line);
    }
    if (status_.empty()) return;
    Rect16 text = face;
    text.left = ClampToInt16(int64_t{text.left} + kStatusInset);
    if (gripShown_ && !IsEmptyRect(grip)) text.right = grip.left;
    if (IsEmptyRect(text)) return;
    // The text's own back colour is the pen colour the port had: the strip's face.
    PortColorState pen(port, port.foreColor, ControlLook::kText);
    Owner().DrawItemText(status_.c_str(), text, kStatusStyle, false);
}
