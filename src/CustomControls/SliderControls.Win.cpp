#include "SliderControls.h"

#include <algorithm>
#include <cstdlib>

#include "ControlDrawing.h"
#include "PopupWindow.h"
#include "ToolkitState.h"

using namespace ControlLook;

namespace {

// Whether the range holds 0 strictly inside: the sliders then mark the place of 0.
bool RangeCrossesZero(int16_t minimum, int16_t maximum) { return int32_t{minimum} * maximum < 0; }

}  // namespace

// ---- SliderControl

void SliderControl::UpdateGeometry() {
    const RECT client = ClientRect();
    geometry_ = MakeSliderGeometry(client.left + 1, client.top + 1, client.right - 1, client.bottom - 1, minimum_,
                                   maximum_, linear_, value_);
}

bool SliderControl::ApplySliderKey(WPARAM key, bool& changed) {
    SliderKey sliderKey = SliderKey::kNone;
    switch (key) {
        case VK_PRIOR: sliderKey = SliderKey::kPageUp; break;
        case VK_NEXT: sliderKey = SliderKey::kPageDown; break;
        case VK_HOME: sliderKey = SliderKey::kHome; break;
        case VK_END: sliderKey = SliderKey::kEnd; break;
        case VK_LEFT:
        case VK_DOWN: sliderKey = SliderKey::kStepDown; break;
        case VK_UP:
        case VK_RIGHT: sliderKey = SliderKey::kStepUp; break;
        default: return false;
    }
    const bool shift = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
    const int32_t value = SliderValueAfterKey(value_, minimum_, maximum_, sliderKey, shift);
    changed = value != value_;
    value_ = static_cast<int16_t>(value);
    return true;
}

// ---- EditGroup

void EditGroup::JoinCompanion(HWND control, int offset, Side side) {
    const HWND parent = GetParent(control);
    companion_ = parent ? GetDlgItem(parent, GetDlgCtrlID(control) + offset) : nullptr;
    if (!companion_ || companion_ == control) {
        companion_ = nullptr;
        return;
    }
    RECT edit{}, own{};
    GetWindowRect(companion_, &edit);
    GetWindowRect(control, &own);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&edit), 2);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&own), 2);
    const int width = own.right - own.left, height = own.bottom - own.top;
    // Two pixels of overlap, so that the control's edge covers the edit's frame on that side.
    int left = 0, right = 0;
    if (side == Side::kLeftOfCompanion) {
        right = edit.left + 2;
        left = right - width;
    } else {
        left = edit.right - 2;
        right = std::max<int>(own.right, left + 1);
    }
    MoveWindow(control, left, own.top, right - left, height, TRUE);
}

// ---- LinearSlider

void LinearSlider::Attach() {
    linear_ = !ClassNameHas('N', 1);
    UpdateGeometry();
}

void LinearSlider::Resize(int, int) { UpdateGeometry(); }

void LinearSlider::Draw(HDC dc) {
    const RECT client = ClientRect();
    FillBox(dc, client, kBackground);
    UpdateGeometry();
    const SliderGeometry& g = geometry_;
    const bool enabled = IsWindowEnabled(window_) != FALSE;
    const int32_t end = g.trackStart + g.trackLength;
    const int32_t low = std::min(g.trackStart, end), high = std::max(g.trackStart, end);
    const bool ticks = std::abs(g.trackLength) > 10 * g.range;  // neighbouring values more than 10 px apart
    const COLORREF tickColor = enabled ? kFrame : kSeparator;
    const int32_t half = std::max(2, g.thumbSize / 4);
    RECT thumb{};
    if (!g.vertical) {
        const int32_t middle = (g.trackTop + g.trackBottom) / 2;
        const RECT channel{low - 2, middle - 2, high + 3, middle + 2};
        DrawWell(dc, channel);
        if (RangeCrossesZero(minimum_, maximum_)) {
            const int32_t zero = SliderPositionOfValue(g, 0);
            FillBox(dc, {zero, channel.top - 4, zero + 1, channel.top - 1}, enabled ? kText : kDisabledText);
        }
        if (ticks) {
            for (int32_t v = minimum_; v <= maximum_; ++v) {
                const int32_t p = SliderPositionOfValue(g, v);
                FillBox(dc, {p, channel.bottom + 2, p + 1, channel.bottom + 5}, tickColor);
            }
        }
        thumb = {g.thumbPosition - half, g.trackTop, g.thumbPosition + half + 1, g.trackBottom};
    } else {
        const int32_t middle = (g.trackLeft + g.trackRight) / 2;
        const RECT channel{middle - 2, low - 2, middle + 2, high + 3};
        DrawWell(dc, channel);
        if (RangeCrossesZero(minimum_, maximum_)) {
            const int32_t zero = SliderPositionOfValue(g, 0);
            FillBox(dc, {channel.left - 4, zero, channel.left - 1, zero + 1}, enabled ? kText : kDisabledText);
        }
        if (ticks) {
            for (int32_t v = minimum_; v <= maximum_; ++v) {
                const int32_t p = SliderPositionOfValue(g, v);
                FillBox(dc, {channel.right + 2, p, channel.right + 5, p + 1}, tickColor);
            }
        }
        thumb = {g.trackLeft, g.thumbPosition - half, g.trackRight, g.thumbPosition + half + 1};
    }
    DrawRaisedBox(dc, thumb, tracking_, enabled);
    if (focusShown_) DrawFocusRect(dc, &client);
}

void LinearSlider::MouseDown(POINT point, WPARAM keys) {
    CustomControl::MouseDown(point, keys);
    SetFocus(window_);
    MouseDrag(point, keys);
}

void LinearSlider::MouseDrag(POINT point, WPARAM) {
    UpdateGeometry();
    // The pointer's coordinate along the track, whichever way the track runs.
    const int32_t position = ClampToTrack(geometry_, geometry_.vertical ? point.y : point.x);
    const int32_t value = SliderValueAtPosition(geometry_, position);
    if (value == value_) {
        Redraw();  // shows the pressed thumb
        return;
    }
    value_ = static_cast<int16_t>(value);
    Redraw();
    NotifyValue(ControlMessage::kValueMoving);
}

bool LinearSlider::KeyDown(WPARAM key) {
    bool changed = false;
    if (!ApplySliderKey(key, changed)) return false;
    if (changed) {
        Redraw();
        NotifyValue(ControlMessage::kValueSet);
    }
    return true;
}

// ---- PopupSlider

PopupSlider::~PopupSlider() {
    if (!popped_) return;
    popped_ = false;
    EndTracking();
    if (PopupWindow* popup = Toolkit::SliderPopup()) HidePopupWindow(*popup);
}

LRESULT PopupSlider::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // While the popup is open, Return and Escape belong to it: a dialog must hand them over rather
    // than take them as its default and cancel buttons.
    if (message == WM_GETDLGCODE) return popped_ ? DLGC_WANTALLKEYS | DLGC_WANTARROWS : DLGC_WANTARROWS;
    return SliderControl::HandleMessage(window, message, wParam, lParam);
}

void PopupSlider::Attach() {
    linear_ = !ClassNameHas('N', 1);
    JoinCompanion(window_, CompanionOffset(), Side::kRightOfCompanion);
}

void PopupSlider::Draw(HDC dc) {
    const RECT client = ClientRect();
    FillBox(dc, client, kBackground);
    DrawWell(dc, client, kTopEdge | kRightEdge | kBottomEdge);
    const bool enabled = IsWindowEnabled(window_) != FALSE;
    const RECT inner{client.left, client.top + 1, client.right - 1, client.bottom - 1};
    DrawArrow(dc, inner, ArrowDirection::kDown, enabled ? kText : kDisabledText);
    if (focusShown_) DrawFocusRect(dc, &client);
}

void PopupSlider::Redraw() {
    if (popped_)
        DrawPopup();
    else
        CustomControl::Redraw();
}

void PopupSlider::MouseDown(POINT point, WPARAM) {
    buttonDown_ = true;
    if (!popped_) {
        Open(point);
        return;
    }
    const POINT inPopup = ToPopup(point);
    if (inPopup.x < 0 || inPopup.y < 0 || inPopup.x >= kPopupWidth || inPopup.y >= kPopupHeight) {
        buttonDown_ = false;
        Close();
        return;
    }
    moved_ = -1;
    TrackTo(inPopup.y);
    DrawPopup();
}

void PopupSlider::MouseUp(POINT, WPARAM) {
    buttonDown_ = false;
    if (!popped_) return;
    // A drag that began with the opening click ends the popup; a plain click leaves it open for
    // clicks inside it.
    if (moved_ > 0)
        Close();
    else
        DrawPopup();
}

void PopupSlider::MouseDrag(POINT point, WPARAM keys) {
    // Only a held button drags the thumb: an open popup follows no pointer that merely passes.
    if (!popped_ || !(keys & MK_LBUTTON)) return;
    TrackTo(ToPopup(point).y);
}

bool PopupSlider::KeyDown(WPARAM key) {
    if (!popped_) return false;
    if (key == VK_RETURN) {
        Close();
        return true;
    }
    if (key == VK_ESCAPE || key == VK_CANCEL) {
        value_ = savedValue_;
        Close();
        return true;
    }
    bool changed = false;
    if (!ApplySliderKey(key, changed)) return false;
    if (changed) {
        DrawPopup();
        NotifyValue(ControlMessage::kValueSet);
    }
    return true;
}

void PopupSlider::CaptureLost() {
    // Another window took the mouse: the popup closes with the value it shows.
    buttonDown_ = false;
    if (popped_)
        Close();
    else
        SliderControl::CaptureLost();
}

void PopupSlider::Open(POINT point) {
    PopupWindow* popup = Toolkit::SliderPopup();
    if (!popup) return;
    savedValue_ = value_;
    moved_ = 0;
    popupGeometry_ = MakeSliderGeometry(kPopupTrack.left, kPopupTrack.top, kPopupTrack.right, kPopupTrack.bottom,
                                        minimum_, maximum_, linear_, value_);
    RECT own{};
    GetWindowRect(window_, &own);
    POINT cursor = point;
    ClientToScreen(window_, &cursor);
    // The thumb of the current value comes under the pointer.
    const int left = own.left + 1;
    int top = cursor.y - popupGeometry_.thumbPosition;
    RECT work{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        int shift = 0;
        if (top < work.top + 2)
            shift = work.top + 2 - top;
        else if (top + kPopupHeight > work.bottom - 2)
            shift = work.bottom - 2 - (top + kPopupHeight);
        if (shift != 0) {
            top += shift;
            SetCursorPos(cursor.x, cursor.y + shift);
        }
    }
    // The focus first: activating the dialog could otherwise raise it over the popup.
    SetFocus(window_);
    popped_ = true;
    ShowPopupWindowAt(*popup, Rect16{static_cast<int16_t>(top), static_cast<int16_t>(left),
                                     static_cast<int16_t>(top + kPopupHeight), static_cast<int16_t>(left + kPopupWidth)});
    // The control takes the mouse after the popup is shown, so that the popup's own capture (when
    // it takes one) gives back nothing of ours when it hides.
    BeginTracking();
    DrawPopup();
}

void PopupSlider::Close() {
    if (!popped_) return;
    popped_ = false;
    moved_ = 0;
    EndTracking();
    if (PopupWindow* popup = Toolkit::SliderPopup()) HidePopupWindow(*popup);
    if (companion_ && IsWindow(companion_)) {
        SetFocus(companion_);
        SendMessageA(companion_, EM_SETSEL, 0, -1);
    }
    CustomControl::Redraw();
    NotifyValue(ControlMessage::kValueSet);
}

void PopupSlider::DrawPopup() {
    PopupWindow* popup = Toolkit::SliderPopup();
    if (!popup || !popped_) return;
    const WindowDC dc(popup->Window());
    if (!dc.Get()) return;
    SliderGeometry& g = popupGeometry_;
    g.thumbPosition = SliderPositionOfValue(g, value_);
    DrawRaisedBox(dc.Get(), {0, 0, kPopupWidth, kPopupHeight}, false, true);
    const int32_t middle = (g.trackLeft + g.trackRight) / 2;
    const int32_t end = g.trackStart + g.trackLength;
    const int32_t half = g.thumbSize / 2;
    DrawWell(dc.Get(), {middle - 2, std::min(g.trackStart, end) - half, middle + 2, std::max(g.trackStart, end) + half + 1});
    if (RangeCrossesZero(minimum_, maximum_)) {
        const int32_t zero = SliderPositionOfValue(g, 0);
        FillBox(dc.Get(), {g.trackLeft - 2, zero, middle - 3, zero + 1}, kText);
        FillBox(dc.Get(), {middle + 3, zero, g.trackRight + 2, zero + 1}, kText);
    }
    DrawRaisedBox(dc.Get(), {g.trackLeft, g.thumbPosition - half, g.trackRight, g.thumbPosition + half}, buttonDown_, true);
}

POINT PopupSlider::ToPopup(POINT point) const {
    PopupWindow* popup = Toolkit::SliderPopup();
    ClientToScreen(window_, &point);
    if (popup) ScreenToClient(popup->Window(), &point);
    return point;
}

void PopupSlider::TrackTo(int popupY) {
    const int32_t position = ClampToTrack(popupGeometry_, popupY);
    const int32_t value = SliderValueAtPosition(popupGeometry_, position);
    if (value == value_) return;
    value_ = static_cast<int16_t>(value);
    if (moved_ == 0) moved_ = 1;
    DrawPopup();
    NotifyValue(ControlMessage::kValueMoving);
}

// ---- Spinner

Spinner::~Spinner() { StopRepeating(); }

void Spinner::Attach() {
    JoinCompanion(window_, -1, Side::kLeftOfCompanion);
    minimum_ = INT16_MIN;
    maximum_ = INT16_MAX;
}

void Spinner::Draw(HDC dc) {
    const RECT client = ClientRect();
    FillBox(dc, client, kBackground);
    DrawWell(dc, client, kLeftEdge | kTopEdge | kBottomEdge);
    const bool enabled = IsWindowEnabled(window_) != FALSE;
    const RECT inner{client.left + 1, client.top + 1, client.right, client.bottom - 1};
    const LONG middle = (inner.top + inner.bottom) / 2;
    const RECT upper{inner.left, inner.top, inner.right, middle};
    const RECT lower{inner.left, middle, inner.right, inner.bottom};
    if (pressedHalf_ > 0) FillBox(dc, upper, kPressed);
    if (pressedHalf_ < 0) FillBox(dc, lower, kPressed);
    FillBox(dc, {inner.left, middle, inner.right, middle + 1}, kSeparator);
    // Arrows as large as a half holds them, so that the narrow control still reads at a glance.
    const int arrow = std::max<int>(2, std::min<int>(inner.right - inner.left - 4, middle - inner.top - 2) / 2 + 1);
    DrawArrow(dc, upper, ArrowDirection::kUp, enabled && value_ < maximum_ ? kText : kDisabledText, arrow);
    DrawArrow(dc, {lower.left, lower.top + 1, lower.right, lower.bottom}, ArrowDirection::kDown,
              enabled && value_ > minimum_ ? kText : kDisabledText, arrow);
}

void Spinner::MouseDown(POINT point, WPARAM keys) {
    if (tracking_) return;
    const RECT client = ClientRect();
    const bool upper = point.y < (client.top + client.bottom) / 2;
    step_ = (upper ? 1 : -1) * ((keys & MK_SHIFT) ? 10 : 1);
    // A press that cannot move the value holds nothing: no capture, no repeat.
    if (!Step()) return;
    BeginTracking();
    pressedHalf_ = upper ? 1 : -1;
    repeating_ = SetTimer(window_, kRepeatTimer, kFirstRepeat, nullptr) != 0;
    Redraw();
}

void Spinner::MouseUp(POINT point, WPARAM keys) {
    StopRepeating();
    pressedHalf_ = 0;
    if (tracking_) CustomControl::MouseUp(point, keys);
}

void Spinner::Timer() {
    if (repeating_) Step();
}

void Spinner::CaptureLost() { MouseUp({}, 0); }

bool Spinner::Step() {
    const int32_t value = std::clamp<int32_t>(value_ + step_, minimum_, maximum_);
    if (value == value_) return false;
    value_ = static_cast<int16_t>(value);
    Redraw();
    NotifyValue(ControlMessage::kValueMoving);
    if (repeating_) SetTimer(window_, kRepeatTimer, kNextRepeats, nullptr);
    return true;
}

void Spinner::StopRepeating() {
    if (!repeating_) return;
    repeating_ = false;
    KillTimer(window_, kRepeatTimer);
}
