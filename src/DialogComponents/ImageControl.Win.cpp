#include "ImageControl.h"

#include "ComponentTracking.h"
#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "MorvaneDialog.h"

namespace {

// MorvaneDialog::DrawItemText's styles: centred both ways.
constexpr uint16_t kCentredText = 18;

}  // namespace

ImageControl::ImageControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : MenuControl(owner, item, callback) {
    helperFlags_ &= static_cast<uint16_t>(~(kToggleButton | kSelected | kImageAtTopLeft));
}

ImageControl::~ImageControl() { Unlink(); }

bool ImageControl::Init(uint16_t resourceBase, int16_t normal, int16_t selected, int16_t disabled) {
    SetColors(Port().backColor, Port().foreColor);
    const bool attached = Attach();
    const auto load = [resourceBase](ResourceImage& image, int16_t number) {
        image.Release();
        if (number > 0) image.LoadPNG(resourceBase, number);
    };
    load(normal_, normal);
    load(selected_, selected);
    load(disabled_, disabled);
    return attached;
}

void ImageControl::SetText(const char* text) {
    hasText_ = text != nullptr;
    text_ = text ? text : "";
}

void ImageControl::FillAndDraw(const ResourceImage& image) {
    const Rect16 item = ItemRect();
    ::PaintRect(Port(), item);
    if (!image.Image()) return;
    if (helperFlags_ & kImageAtTopLeft) {
        const Rect16 at{item.top, item.left, ClampToInt16(int64_t{item.top} + image.Image()->Height()),
                        ClampToInt16(int64_t{item.left} + image.Image()->Width())};
        image.Draw(&Port(), &at, &item);
    } else {
        image.DrawRect(&Port(), &item);
    }
}

void ImageControl::Draw() {
    if (hasText_) {
        DrawTextNormal();
        return;
    }
    ColorState colors(*this);
    const ResourceImage& shown = (IsToggle() && IsSelected()) ? selected_ : normal_;
    if (!ItemEnabled()) {
        FillAndDraw(disabled_.Image() ? disabled_ : selected_);
    } else if (shown.Image()) {
        FillAndDraw(shown);
    }
}

void ImageControl::DrawImage() {
    if (hasText_) {
        DrawTextHighlighted();
        return;
    }
    ColorState colors(*this);
    const ResourceImage& pressed = (IsToggle() && IsSelected()) ? normal_ : selected_;
    if (pressed.Image()) FillAndDraw(pressed);
}

void ImageControl::DrawTextNormal() {
    ColorState colors(*this);
    DrawingPort& port = Port();
    const Rect16 item = ItemRect();
    ::PaintRect(port, item);
    const COLORREF formerPen = port.foreColor;
    PortColorState text(port, formerPen, ItemEnabled() ? ControlLook::kText : ControlLook::kDisabledText);
    Owner().DrawItemText(text_.c_str(), item, kCentredText, false);
}

void ImageControl::DrawTextHighlighted() {
    PortColorState colors(Port(), ControlLook::kPressed, ControlLook::kPressed);
    const Rect16 item = ItemRect();
    ::PaintRect(Port(), item);
    PortColorState text(Port(), ControlLook::kPressed, ControlLook::kText);
    Owner().DrawItemText(text_.c_str(), item, kCentredText, false);
}

bool ImageControl::Track(Point16 /*point*/) {
    const Rect16 item = ItemRect();
    if (EntryCount() > 0) {
        DrawImage();
        POINT corner{item.right, item.bottom};
        if (const HWND window = Owner().Window()) ClientToScreen(window, &corner);
        TrackMenu(&corner);
        Draw();
        return false;
    }
    bool inside = false;
    Point16 mouse{};
    while (ComponentTracking::FollowMouse(*this, mouse)) {
        const bool now = ComponentTracking::Inside(item, mouse);
        if (now != inside) {
            inside = now;
            if (inside)
                DrawImage();
            else
                Draw();
        }
    }
    const bool released = ComponentTracking::Inside(item, mouse);
    if (released && IsToggle()) helperFlags_ ^= kSelected;
    Draw();
    return released;
}

void ImageControl::ToggleSelected() {
    helperFlags_ ^= kSelected;
    RedrawIfShown();
}

void ImageControl::SetSelected(bool selected) {
    if (selected == IsSelected()) return;
    ItemHelper::SetSelected(selected);
    RedrawIfShown();
}
