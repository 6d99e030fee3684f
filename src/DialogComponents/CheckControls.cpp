// The check box and radio button components.
#include "CheckControls.h"

#include <windows.h>

#include "ComponentTracking.h"
#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "MorvaneDialog.h"

namespace {

// The label starts this far right of the box.
constexpr int16_t kLabelGap = 5;
// MorvaneDialog::DrawItemText: left-aligned and centred vertically.
constexpr uint16_t kLabelStyle = 17;

}  // namespace

CBControl::CBControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : CBControl(owner, item, callback, kCheckBoxArtwork) {}

CBControl::CBControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback, const CheckArtwork& artwork)
    : DialogComponent(owner, item, callback) {
    const DrawingPort& port = owner.Port();
    SetColors(port.backColor, port.foreColor);
    // A missing picture is simply not drawn: the box still works.
    box_.LoadPNG(kInterfaceArtworkBase, artwork.box);
    disabledBox_.LoadPNG(kInterfaceArtworkBase, artwork.disabled);
    pressedBox_.LoadPNG(kInterfaceArtworkBase, artwork.pressed);
    mark_.LoadPNG(kInterfaceArtworkBase, artwork.mark);
}

CBControl::~CBControl() { Unlink(); }

RBControl::RBControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : CBControl(owner, item, callback, kRadioButtonArtwork) {}

bool CBControl::ItemShows() const {
    const HWND window = Owner().ItemWindow(Item());
    return Owner().Window() && window && IsWindowVisible(window);
}

bool CBControl::ItemEnabled() const {
    const HWND window = Owner().ItemWindow(Item());
    return window && IsWindowEnabled(window);
}

Rect16 CBControl::BoxRect() const {
    const Rect16 item = ItemRect();
    const CxImage* picture = box_.Image();
    const int32_t width = picture ? static_cast<int32_t>(picture->Width()) : 0;
    const int32_t height = picture ? static_cast<int32_t>(picture->Height()) : 0;
    return Rect16{item.top, item.left, ClampToInt16(int64_t{item.top} + height),
                  ClampToInt16(int64_t{item.left} + width)};
}

void CBControl::SetChecked(bool checked) {
    const uint16_t flags = checked ? (flags_ | kChecked) : (flags_ & ~kChecked);
    if (flags == flags_) return;
    flags_ = flags;
    if (ItemShows()) Draw();
}

void CBControl::SetLabel(const char* label) { label_ = label ? label : ""; }

void CBControl::DrawBox(bool pressed) {
    if (!Owner().Window()) return;
    const Rect16 item = ItemRect();
    const Rect16 box = BoxRect();
    DrawingPort& port = Port();
    ColorState colors(*this);
    // The box's own corner first: the pictures are drawn with their transparency over it.
    PaintRect(port, IntersectRects(box, item));
    const ResourceImage& picture = !ItemEnabled() ? disabledBox_ : pressed ? pressedBox_ : box_;
    picture.Draw(&port, &box, &item);
    if (IsChecked()) mark_.Draw(&port, &box, &item);
}

void CBControl::Draw() {
    if (!Owner().Window()) return;
    const Rect16 item = ItemRect();
    DrawingPort& port = Port();
    ColorState colors(*this);
    PaintRect(port, item);
    DrawBox(false);
    if (label_.empty()) return;
    Rect16 text = item;
    text.left = ClampToInt16(int64_t{BoxRect().right} + kLabelGap);
    if (IsEmptyRect(text)) return;
    PortColorState pen(port, BackColor(), ItemEnabled() ? ControlLook::kText : ControlLook::kDisabledText);
    Owner().DrawItemText(label_.c_str(), text, kLabelStyle, false);
}

bool CBControl::Track(Point16 /*point*/) {
    const Rect16 item = ItemRect();
    bool inside = true;
    DrawBox(true);
    Point16 mouse{};
    while (ComponentTracking::FollowMouse(*this, mouse)) {
        const bool now = RectContains(item, mouse.v, mouse.h);
        if (now != inside) {
            inside = now;
            DrawBox(inside);
        }
    }
    // The release itself: where the button came up decides, not the last sample while it was down.
    if (RectContains(item, mouse.v, mouse.h)) {
        flags_ ^= kChecked;
        DrawBox(false);
        Notify(kCheckChanged, 0);
    } else {
        DrawBox(false);
    }
    return false;
}
