#include "CustomControl.h"

#include <windowsx.h>

#include <memory>

#include "ControlDrawing.h"
#include "ToolkitState.h"

CustomControl::~CustomControl() {
    if (tracking_) {
        tracking_ = false;
        Toolkit::LowerTrackingDepth();
        if (GetCapture() == window_) ReleaseCapture();
    }
}

LRESULT CustomControl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, CustomControl* (*make)(),
                                  WNDPROC fallback) {
    auto* control = reinterpret_cast<CustomControl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    try {
        if (message == WM_CREATE && !control) {
            // A superclass's own procedure sets up its state first.
            if (CallWindowProcA(fallback, window, message, wParam, lParam) == -1) return -1;
            std::unique_ptr<CustomControl> made(make());
            made->window_ = window;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(made.get()));
            try {
                made->Attach();
            } catch (...) {
                SetWindowLongPtrA(window, GWLP_USERDATA, 0);
                throw;
            }
            made.release();
            return 0;
        }
        if (message == WM_DESTROY && control) {
            // The object goes first, so that the messages its end causes (a capture given back)
            // find none.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            delete control;
            return CallWindowProcA(fallback, window, message, wParam, lParam);
        }
        if (!control) return CallWindowProcA(fallback, window, message, wParam, lParam);
        return control->HandleMessage(window, message, wParam, lParam);
    } catch (...) {
        // No exception leaves a window procedure: a control that cannot be made is no window,
        // and a message that failed is answered as not handled; the control stays usable.
        return message == WM_CREATE ? -1 : 0;
    }
}

LRESULT CustomControl::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    using namespace ControlMessage;
    switch (message) {
        case kGetPosition: return value_;
        case kGetMinimum: return minimum_;
        case kGetMaximum: return maximum_;
        case kSetPosition:
            SetValue(SignedWord(LOWORD(lParam)));
            return 1;
        case kSetRange:
            SetRange(SignedWord(LOWORD(lParam)), SignedWord(HIWORD(lParam)), wParam != 0);
            return 0;
        case WM_PAINT: {
            const ControlLook::PaintScope paint(window);
            if (paint.Get()) Draw(paint.Get());
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;  // Draw covers the whole client area
        case WM_SIZE:
            Resize(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_SETFOCUS:
            if (!focusShown_ && HasStyle(WS_TABSTOP)) {
                ToggleFocusRect();
                focusShown_ = true;
            }
            return 0;
        case WM_KILLFOCUS:
            if (focusShown_) {
                ToggleFocusRect();
                focusShown_ = false;
            }
            return 0;
        case WM_ENABLE:
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        case WM_KEYDOWN:
            return KeyDown(wParam) ? 0 : DefaultMessage(window, message, wParam, lParam);
        case WM_TIMER:
            Timer();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            MouseDown({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam);
            return 0;
        case WM_LBUTTONUP:
            MouseUp({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam);
            return 0;
        case WM_MOUSEMOVE:
            if (tracking_) MouseDrag({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam);
            return 0;
        case WM_CAPTURECHANGED:
            if (tracking_ && reinterpret_cast<HWND>(lParam) != window) CaptureLost();
            return 0;
        default:
            return DefaultMessage(window, message, wParam, lParam);
    }
}

LRESULT CustomControl::DefaultMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

void CustomControl::Redraw() {
    const WindowDC dc(window_);
    if (dc.Get()) Draw(dc.Get());
}

void CustomControl::MouseDown(POINT, WPARAM) { BeginTracking(); }

void CustomControl::MouseUp(POINT, WPARAM) {
    if (!tracking_) return;
    EndTracking();
    Redraw();
    NotifyValue(ControlMessage::kValueSet);
}

void CustomControl::CaptureLost() { MouseUp({}, 0); }

void CustomControl::SetValue(int32_t value) {
    const int32_t clamped = value < minimum_ ? minimum_ : value > maximum_ ? maximum_ : value;
    if (clamped == value_) return;
    value_ = static_cast<int16_t>(clamped);
    Redraw();
}

void CustomControl::SetRange(int16_t minimum, int16_t maximum, bool redraw) {
    minimum_ = minimum;
    // A range needs two values: an empty or inverted one keeps its minimum and gets one above it.
    maximum_ = maximum > minimum ? maximum : static_cast<int16_t>(minimum < INT16_MAX ? minimum + 1 : minimum);
    if (maximum_ == minimum_) minimum_ = static_cast<int16_t>(maximum_ - 1);
    if (value_ < minimum_) value_ = minimum_;
    if (value_ > maximum_) value_ = maximum_;
    if (redraw) Redraw();
}

void CustomControl::ToggleFocusRect() {
    const WindowDC dc(window_);
    if (!dc.Get()) return;
    const RECT client = ClientRect();
    DrawFocusRect(dc.Get(), &client);
}

void CustomControl::BeginTracking() {
    if (tracking_) return;
    Toolkit::RaiseTrackingDepth();
    tracking_ = true;
    SetCapture(window_);
}

void CustomControl::EndTracking() {
    if (!tracking_) return;
    // The flag goes first: giving the capture back sends WM_CAPTURECHANGED, which must not end
    // the interaction a second time.
    tracking_ = false;
    Toolkit::LowerTrackingDepth();
    if (GetCapture() == window_) ReleaseCapture();
}

void CustomControl::NotifyValue(WORD code) const {
    SendMessageA(Parent(), WM_HSCROLL, MAKEWPARAM(code, static_cast<WORD>(value_)), reinterpret_cast<LPARAM>(window_));
}

void CustomControl::NotifyClick() const {
    SendMessageA(Parent(), ControlMessage::kClick, static_cast<WPARAM>(ItemId()), reinterpret_cast<LPARAM>(window_));
}

bool CustomControl::ClassNameHas(char letter, size_t index) const {
    char name[64] = {};
    const int length = GetClassNameA(window_, name, sizeof name);
    return length > 0 && index < static_cast<size_t>(length) && name[index] == letter;
}

RECT CustomControl::ClientRect() const {
    RECT client{};
    GetClientRect(window_, &client);
    return client;
}

WORD CustomControl::ResourceId(int extra) const {
    const int64_t id = int64_t{ItemId()} + Toolkit::ResourceBase() + extra;
    return id >= 1 && id <= 0xFFFF ? static_cast<WORD>(id) : 0;
}
