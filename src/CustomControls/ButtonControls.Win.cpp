#include "ButtonControls.h"

#include <memory>
#include <new>

#include "ControlDrawing.h"
#include "PaletteControls.h"
#include "ThisModule.h"
#include "ToolkitState.h"

using namespace ControlLook;

namespace {

WNDPROC gButtonProc = nullptr;

constexpr int kPictureSize = 16;

void DropPendingMouseMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, 0x20E, PM_REMOVE)) {
    }
}

// BUTTON's procedure paints push buttons itself on focus, state and text changes; as an
// owner-drawn button it leaves the window to us.
void MakeOwnerDrawn(HWND window, LONG_PTR style) {
    SetWindowLongPtrA(window, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
}

LRESULT CallButton(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(SystemButtonProc(), window, message, wParam, lParam);
}

// ---- Picture and icon buttons

// The state of one picture or icon button, in its window's user data.
struct PictureButtonState {
    OwnedIcon icon;
    OwnedBitmap bitmap;  // the picture button's stand-in when no icon has the id
    HFONT font = nullptr;  // the dialog's, not ours
    bool pressed = false;
    bool checked = false;
    bool focusShown = false;
};

enum class PictureKind { kPicture, kIcon };

void DrawPicture(HDC dc, const PictureButtonState& state, int x, int y, bool enabled) {
    if (state.icon) {
        DrawIconEx(dc, x, y, state.icon.Get(), kPictureSize, kPictureSize, 0, nullptr, DI_NORMAL);
    } else if (state.bitmap) {
        const SIZE size = BitmapSize(state.bitmap.Get());
        DrawKeyedBitmap(dc, state.bitmap.Get(), x, y, 0, 0, std::min<int>(size.cx, kPictureSize),
                        std::min<int>(size.cy, kPictureSize), CornerColor(state.bitmap.Get()));
    } else {
        return;
    }
    if (!enabled) VeilBox(dc, {x, y, x + kPictureSize, y + kPictureSize}, kBackground, 160);
}

void PaintPictureButton(HWND window, HDC dc, const PictureButtonState& state) {
    RECT client{};
    GetClientRect(window, &client);
    const bool enabled = IsWindowEnabled(window) != FALSE;
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    const bool pushed = state.pressed != state.checked;
    FillBox(dc, client, kBackground);
    if (!(style & kPictureWithoutFrame)) DrawRaisedBox(dc, client, pushed, enabled);
    const int push = pushed ? 1 : 0;

    wchar_t text[256] = {};
    const int length = GetWindowTextW(window, text, 256);
    const int height = client.bottom - client.top;
    if (length <= 0) {
        DrawPicture(dc, state, (client.right - kPictureSize) / 2 + push, (height - kPictureSize) / 2 + push, enabled);
    } else {
        const int margin = std::max((height - kPictureSize) / 2, 0);
        DrawPicture(dc, state, margin + push, margin + push, enabled);
        const SelectionScope font(dc, state.font ? state.font : GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, enabled ? kText : kDisabledText);
        RECT textBox{margin + kPictureSize + 4 + push, push, client.right - 2 + push, client.bottom + push};
        DrawTextW(dc, text, length, &textBox, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
    }
    if (state.focusShown) {
        const RECT focus{client.left + 2, client.top + 2, client.right - 2, client.bottom - 2};
        DrawFocusRect(dc, &focus);
    }
}

void PaintIconButton(HWND window, HDC dc, const PictureButtonState& state) {
    RECT client{};
    GetClientRect(window, &client);
    FillBox(dc, client, kBackground);
    DrawPicture(dc, state, 0, 0, IsWindowEnabled(window) != FALSE);
}

void ToggleInsetFocusRect(HWND window) {
    const WindowDC dc(window);
    if (!dc.Get()) return;
    RECT client{};
    GetClientRect(window, &client);
    const RECT focus{client.left + 2, client.top + 2, client.right - 2, client.bottom - 2};
    DrawFocusRect(dc.Get(), &focus);
}

LRESULT PictureButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, PictureKind kind) {
    auto* state = reinterpret_cast<PictureButtonState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_CREATE && !state) {
        if (CallButton(window, message, wParam, lParam) == -1) return -1;
        std::unique_ptr<PictureButtonState> made(new (std::nothrow) PictureButtonState);
        if (!made) return -1;  // the window is not created
        const int64_t id = int64_t{GetDlgCtrlID(window)} + Toolkit::ResourceBase();
        if (id >= 1 && id <= 0xFFFF) {
            made->icon.Reset(static_cast<HICON>(LoadImageW(ThisModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, kPictureSize,
                                                           kPictureSize, 0)));
            if (!made->icon && kind == PictureKind::kPicture) made->bitmap = LoadControlBitmap(static_cast<WORD>(id));
        }
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        MakeOwnerDrawn(window, GetWindowLongPtrA(window, GWL_STYLE) | (create ? create->style : 0));
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(made.release()));
        return 0;
    }
    if (message == WM_DESTROY && state) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        delete state;
        return CallButton(window, message, wParam, lParam);
    }
    if (!state) return CallButton(window, message, wParam, lParam);

    const bool picture = kind == PictureKind::kPicture;
    switch (message) {
        case WM_PAINT: {
            const PaintScope paint(window);
            if (paint.Get()) {
                if (picture)
                    PaintPictureButton(window, paint.Get(), *state);
                else
                    PaintIconButton(window, paint.Get(), *state);
            }
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(state->font);
        case BM_GETCHECK:
            return state->checked ? BST_CHECKED : BST_UNCHECKED;
        case BM_SETCHECK: {
            const bool checked = wParam == BST_CHECKED;
            if (checked != state->checked) {
                state->checked = checked;
                InvalidateRect(window, nullptr, FALSE);
            }
            return 0;
        }
        case BM_SETSTATE:
            if (picture && !(GetWindowLongPtrA(window, GWL_STYLE) & kPictureWithoutFrame) &&
                (wParam != 0) != state->pressed) {
                state->pressed = wParam != 0;
                InvalidateRect(window, nullptr, FALSE);
            }
            // BUTTON's procedure keeps its own pushed state too: without it a release is no click.
            break;
        case BM_SETIMAGE:
            // The button keeps its own picture: a handle handed in is taken and let go.
            if (lParam) {
                if (wParam == IMAGE_ICON)
                    DestroyIcon(reinterpret_cast<HICON>(lParam));
                else
                    DeleteObject(reinterpret_cast<HGDIOBJ>(lParam));
            }
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            if (picture && (GetWindowLongPtrA(window, GWL_STYLE) & WS_TABSTOP) &&
                state->focusShown != (message == WM_SETFOCUS)) {
                ToggleInsetFocusRect(window);
                state->focusShown = message == WM_SETFOCUS;
            }
            break;
        case WM_ENABLE:
        case WM_SETTEXT: {
            const LRESULT result = CallButton(window, message, wParam, lParam);
            InvalidateRect(window, nullptr, FALSE);
            return result;
        }
        default:
            break;
    }
    return CallButton(window, message, wParam, lParam);
}

LRESULT GuardedPictureMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, PictureKind kind) noexcept {
    try {
        return PictureButtonMessage(window, message, wParam, lParam, kind);
    } catch (...) {
        // No exception leaves a window procedure: a failed message is answered as not handled.
        return message == WM_CREATE ? -1 : 0;
    }
}

}  // namespace

void KeepSystemButtonProc(WNDPROC procedure) { gButtonProc = procedure; }
WNDPROC SystemButtonProc() { return gButtonProc ? gButtonProc : DefWindowProcA; }

LRESULT CALLBACK PictureButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedPictureMessage(window, message, wParam, lParam, PictureKind::kPicture);
}

LRESULT CALLBACK IconButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedPictureMessage(window, message, wParam, lParam, PictureKind::kIcon);
}

// ---- BitmapButton

void BitmapButton::Attach() {
    normal_ = LoadControlBitmap(ResourceId());
    pressedArt_ = LoadControlBitmap(ResourceId(kPressedOffset));
    if (const WORD id = ResourceId()) menu_.Reset(LoadMenuW(ThisModule(), MAKEINTRESOURCEW(id)));
    if (menu_) dropDown_ = GetSubMenu(menu_.Get(), 0);
    MakeOwnerDrawn(window_, GetWindowLongPtrA(window_, GWL_STYLE));
}

void BitmapButton::Draw(HDC dc) {
    const RECT client = ClientRect();
    FillBox(dc, client, kBackground);
    const HBITMAP picture = pressed_ && pressedArt_ ? pressedArt_.Get() : normal_.Get();
    if (!picture) return;  // no artwork: the bare background
    const SIZE size = BitmapSize(picture);
    const OwnedMemoryDC source(CreateCompatibleDC(dc));
    if (!source) return;
    const SelectionScope selected(source.Get(), picture);
    BitBlt(dc, 0, 0, size.cx, size.cy, source.Get(), 0, 0, SRCCOPY);
    if (!IsWindowEnabled(window_)) VeilBox(dc, {0, 0, size.cx, size.cy}, kBackground, 160);
}

void BitmapButton::MouseDown(POINT, WPARAM) {
    if (tracking_) return;
    pressed_ = true;
    Redraw();
    if (!dropDown_) {
        BeginTracking();
        return;
    }
    // A drop-down button holds no capture of its own: the menu tracks the mouse.
    if (delegate_) delegate_->UpdateMenu(dropDown_);
    RECT own{};
    GetWindowRect(window_, &own);
    UINT command = 0;
    {
        const Toolkit::TrackingScope tracking;
        command = static_cast<UINT>(TrackPopupMenu(dropDown_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD,
                                                   (own.left + own.right) / 2, (own.top + own.bottom) / 2, 0, window_,
                                                   nullptr));
    }
    DropPendingMouseMessages();
    pressed_ = false;
    Redraw();
    if (command != 0 && delegate_) delegate_->MenuCommand(dropDown_, command);
}

void BitmapButton::MouseUp(POINT point, WPARAM) {
    if (!tracking_) return;
    EndTracking();
    pressed_ = false;
    Redraw();
    const RECT client = ClientRect();
    if (PtInRect(&client, point)) NotifyClick();
}

void BitmapButton::CaptureLost() {
    EndTracking();
    pressed_ = false;
    Redraw();
}

LRESULT BitmapButton::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            return CustomControl::HandleMessage(window, message, wParam, lParam);
        case WM_ERASEBKGND:
            return 1;
        case WM_ENABLE:
        case WM_SETTEXT: {
            const LRESULT result = DefaultMessage(window, message, wParam, lParam);
            InvalidateRect(window, nullptr, FALSE);
            return result;
        }
        case BM_SETSTATE:
            if ((wParam != 0) != pressed_) {
                pressed_ = wParam != 0;
                Redraw();
            }
            // BUTTON's procedure follows the state too, so that the space bar still clicks.
            return DefaultMessage(window, message, wParam, lParam);
        case WM_COMMAND:
            if (delegate_ && dropDown_) delegate_->MenuCommand(dropDown_, LOWORD(wParam));
            return 0;
        case kSetDelegate:
            delegate_ = reinterpret_cast<BitmapButtonDelegate*>(lParam);
            return 0;
        case kGetMenu:
            return reinterpret_cast<LRESULT>(dropDown_);
        default:
            return DefaultMessage(window, message, wParam, lParam);
    }
}

LRESULT BitmapButton::DefaultMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallButton(window, message, wParam, lParam);
}
