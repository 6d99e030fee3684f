#include "PaletteControls.h"

#include "ControlDrawing.h"
#include "ThisModule.h"

using namespace ControlLook;

OwnedBitmap LoadControlBitmap(WORD id) {
    if (id == 0) return OwnedBitmap();
    return OwnedBitmap(
        static_cast<HBITMAP>(LoadImageW(ThisModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

// ---- ToolPalette

void ToolPalette::Attach() {
    tools_ = LoadControlBitmap(ResourceId());
    const SIZE size = BitmapSize(tools_.Get());
    // Whole tools, rounded half up: the last row and column need not carry their gap.
    rows_ = static_cast<int>((2 * size.cy + kPitchY) / (2 * kPitchY));
    columns_ = static_cast<int>((2 * size.cx + kPitchX) / (2 * kPitchX));
    if (rows_ > 0xFF || columns_ > 0xFF) rows_ = columns_ = 0;  // no palette of that many tools
    key_ = CornerColor(tools_.Get());
    value_ = 1;
    minimum_ = 0;
    maximum_ = static_cast<int16_t>((rows_ << 8) | columns_);
    const RECT client = ClientRect();
    Resize(client.right, client.bottom);
}

void ToolPalette::Resize(int width, int height) {
    cellWidth_ = columns_ > 0 ? width / columns_ : 0;
    cellHeight_ = rows_ > 0 ? height / rows_ : 0;
}

void ToolPalette::Draw(HDC dc) {
    const RECT client = ClientRect();
    FillBox(dc, client, kBackground);
    if (cellWidth_ <= 0 || cellHeight_ <= 0) return;
    const bool enabled = IsWindowEnabled(window_) != FALSE;
    for (int row = 0; row < rows_; ++row) {
        for (int column = 0; column < columns_; ++column) {
            const bool current = row * columns_ + column + 1 == value_;
            const RECT cell{column * cellWidth_, row * cellHeight_, (column + 1) * cellWidth_, (row + 1) * cellHeight_};
            DrawRaisedBox(dc, cell, current, enabled);
            // The pushed tool sinks one pixel to the right and down.
            const int push = current ? 1 : 0;
            const int x = cell.left + (cellWidth_ - kToolWidth) / 2 + push;
            const int y = cell.top + (cellHeight_ - kToolHeight) / 2 + push;
            DrawKeyedBitmap(dc, tools_.Get(), x, y, 1 + column * kPitchX, 1 + row * kPitchY, kToolWidth, kToolHeight, key_);
            if (!enabled) VeilBox(dc, {x, y, x + kToolWidth, y + kToolHeight}, kBackground, 160);
        }
    }
}

void ToolPalette::MouseDown(POINT point, WPARAM) {
    if (cellWidth_ <= 0 || cellHeight_ <= 0 || point.x < 0 || point.y < 0) return;
    const int column = point.x / cellWidth_, row = point.y / cellHeight_;
    if (column >= columns_ || row >= rows_) return;
    const int16_t value = static_cast<int16_t>(row * columns_ + column + 1);
    if (value != value_) {
        value_ = value;
        Redraw();
    }
    // A click on the current tool is still a click: the dialog may act on it again.
    NotifyClick();
}

// ---- PadLock

void PadLock::Attach() {
    open_ = LoadControlBitmap(ResourceId());
    locked_ = LoadControlBitmap(ResourceId(1));
    value_ = 0;
    minimum_ = 0;
    maximum_ = 1;
}

void PadLock::Draw(HDC dc) {
    const RECT client = ClientRect();
    const bool locked = value_ != 0;
    const bool enabled = IsWindowEnabled(window_) != FALSE;
    // Locked reads as held down, open as standing up.
    DrawRaisedBox(dc, client, locked, enabled);
    if (!locked) FrameBox(dc, {client.left + 1, client.top + 1, client.right - 1, client.bottom - 1}, kSeparator);
    const HBITMAP picture = locked ? locked_.Get() : open_.Get();
    const SIZE size = BitmapSize(picture);
    const int x = (client.right - size.cx) / 2, y = (client.bottom - size.cy) / 2;
    DrawKeyedBitmap(dc, picture, x, y, 0, 0, size.cx, size.cy, CornerColor(picture));
    if (!enabled) VeilBox(dc, {x, y, x + size.cx, y + size.cy}, kBackground, 160);
}

void PadLock::MouseDown(POINT, WPARAM) {
    value_ = value_ ? 0 : 1;
    Redraw();
    NotifyValue(ControlMessage::kValueSet);
}
