#include "ComboControl.h"

#include <string>

#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "MorvaneDialog.h"

namespace {

// MorvaneDialog::DrawItemText's style for the entry's text: left, vertically as the text falls.
constexpr uint16_t kEntryTextStyle = 1;

// The entry's text as the menu shows it, without the ampersands of its mnemonic.
std::string EntryText(HMENU menu, int16_t entry) {
    char text[256] = {};
    const int length = GetMenuStringA(menu, static_cast<UINT>(entry - 1), text, sizeof text, MF_BYPOSITION);
    std::string shown;
    for (int i = 0; i < length && text[i]; ++i) {
        if (text[i] == '&' && text[i + 1] != '&') continue;
        if (text[i] == '\t') break;   // an accelerator's text is no part of the entry's name
        shown.push_back(text[i]);
    }
    return shown;
}

Rect16 ImageRectAt(const ResourceImage& image, int16_t top, int16_t left) {
    const CxImage* picture = image.Image();
    if (!picture) return Rect16{top, left, top, left};
    return Rect16{top, left, ClampToInt16(int64_t{top} + picture->Height()), ClampToInt16(int64_t{left} + picture->Width())};
}

}  // namespace

ComboControl::ComboControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : MenuControl(owner, item, callback) {}

ComboControl::~ComboControl() { Unlink(); }

bool ComboControl::Init() {
    SetColors(Port().backColor, Port().foreColor);
    return Attach();
}

void ComboControl::SetArrowImages(uint16_t resourceBase, int16_t normal, int16_t pressed) {
    arrow_.Release();
    pressedArrow_.Release();
    if (normal > 0) arrow_.LoadPNG(resourceBase, normal);
    if (pressed > 0) pressedArrow_.LoadPNG(resourceBase, pressed);
}

void ComboControl::Draw() {
    ColorState colors(*this);
    DrawingPort& port = Port();
    const Rect16 item = ItemRect();
    ::PaintRect(port, item);
    const bool enabled = ItemEnabled();
    const ResourceImage& arrow = (!enabled || pressed_) ? pressedArrow_ : arrow_;
    const int32_t arrowWidth = arrow.Image() ? static_cast<int32_t>(arrow.Image()->Width()) : 0;
    if (RectWidth(item) <= RectHeight(item)) {
        const Rect16 at = ImageRectAt(arrow, item.top, item.left);
        arrow.Draw(&port, &at, &item);
        return;
    }
    const int16_t arrowLeft = ClampToInt16(int64_t{item.right} - arrowWidth);
    const Rect16 at = ImageRectAt(arrow, ClampToInt16(item.top + kArrowTop), arrowLeft);
    arrow.Draw(&port, &at, &item);
    if (!Entries() || Current() < 1 || Current() > EntryCount()) return;
    const std::string text = EntryText(Entries(), Current());
    Rect16 textRect = item;
    textRect.right = ClampToInt16(arrowLeft - 1);
    const COLORREF formerPen = port.foreColor;
    PortColorState textColors(port, formerPen, enabled ? ControlLook::kText : ControlLook::kDisabledText);
    Owner().DrawItemText(text.c_str(), textRect, kEntryTextStyle, false);
}

bool ComboControl::Track(Point16 /*point*/) {
    const Rect16 item = ItemRect();
    POINT cursor{};
    GetCursorPos(&cursor);
    POINT at{item.left, 0};
    const HWND window = Owner().Window();
    if (window) ClientToScreen(window, &at);
    if (at.x < 0) {
        at = POINT{item.right, 0};
        if (window) ClientToScreen(window, &at);
    }
    at.y = cursor.y;
    // The pressed look ends with the press, also when a drawing call fails on the way.
    struct PressedLook {
        bool& pressed;
        explicit PressedLook(bool& flag) : pressed(flag) { pressed = true; }
        ~PressedLook() { pressed = false; }
    };
    {
        PressedLook look(pressed_);
        Draw();
        if (EntryCount() > 0) TrackMenu(&at);
    }
    Draw();
    return false;
}
