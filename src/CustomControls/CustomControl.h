// The window-class controls that dialog templates place by class name, and their common base.
//
// Each class's window gets one CustomControl object from WM_CREATE to WM_DESTROY, kept in the
// window's user data. The value controls speak the track-bar protocol, so that a dialog reads and
// sets them like track bars, and tell their parent of every change with WM_HSCROLL (low word
// kValueMoving while the user is still moving, kValueSet when an interaction ends or a key or menu
// set the value; the 16-bit value in the high word). Button-like clicks arrive as WM_APP with the
// item id.
#pragma once

#include <windows.h>

#include <cstdint>

// Registers every window class of the controls with this module as instance; a class already
// registered is left as it is, so dialogs may call this whenever they are created. False when a
// class could not be registered.
bool RegisterCustomControls();
// Unregisters every class this module registered; a class whose windows still exist stays
// registered (and is tried again next time).
void UnregisterCustomControls();

namespace ControlMessage {
inline constexpr UINT kGetPosition = 0x400;      // TBM_GETPOS
inline constexpr UINT kGetMinimum = 0x401;       // TBM_GETRANGEMIN
inline constexpr UINT kGetMaximum = 0x402;       // TBM_GETRANGEMAX
inline constexpr UINT kSetPosition = 0x405;      // TBM_SETPOS: lParam's low 16 bits
inline constexpr UINT kSetRange = 0x406;         // TBM_SETRANGE: wParam redraw, lParam min | max << 16
inline constexpr UINT kClick = WM_APP;           // wParam the item id, lParam the window
inline constexpr UINT kUserItemUp = WM_APP + 3;  // wParam the point, lParam the window
inline constexpr UINT kUserItemRightClick = WM_APP + 4;  // wParam the item id, lParam the point
inline constexpr WORD kValueSet = 4;             // SB_THUMBPOSITION
inline constexpr WORD kValueMoving = 5;          // SB_THUMBTRACK
}  // namespace ControlMessage

class CustomControl {
public:
    CustomControl() = default;
    CustomControl(const CustomControl&) = delete;
    CustomControl& operator=(const CustomControl&) = delete;
    // A control that goes while it holds the mouse gives the tracking depth and the capture back.
    virtual ~CustomControl();

    virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Called once after the window exists: loads resources and sets the range.
    virtual void Attach() {}
    virtual void Draw(HDC) {}
    // Paints at once on the window's own device context.
    virtual void Redraw();
    virtual void Resize(int, int) {}
    // Starts a captured interaction (tracking depth raised, mouse captured) unless one runs.
    virtual void MouseDown(POINT point, WPARAM keys);
    // Ends a captured interaction: redraws and reports the value with kValueSet.
    virtual void MouseUp(POINT point, WPARAM keys);
    virtual void MouseDrag(POINT, WPARAM) {}
    virtual void Timer() {}
    // Whether the key was handled.
    virtual bool KeyDown(WPARAM) { return false; }
    // Clamps into the range; a changed value is stored and drawn, and nobody is told.
    virtual void SetValue(int32_t value);
    // XOR-draws the focus rectangle over the client area; a second call removes it.
    void ToggleFocusRect();

    HWND Window() const { return window_; }
    int16_t Value() const { return value_; }
    int16_t Minimum() const { return minimum_; }
    int16_t Maximum() const { return maximum_; }
    bool Tracking() const { return tracking_; }

    // The shared window procedure behind each class's procedure: make() creates the class's
    // object at WM_CREATE, and messages the window has no object for go to fallback. No exception
    // leaves it.
    static LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, CustomControl* (*make)(),
                              WNDPROC fallback);

protected:
    // What the control does not answer itself.
    virtual LRESULT DefaultMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The capture went to another window during an interaction: the interaction ends as if the
    // button went up, so that the tracking depth is lowered once.
    virtual void CaptureLost();

    // Starts and ends the tracking state: depth, flag and capture together.
    void BeginTracking();
    void EndTracking();
    // WM_HSCROLL to the parent with the value.
    void NotifyValue(WORD code) const;
    // WM_APP to the parent with the item id.
    void NotifyClick() const;
    // The class name of the window (ASCII), for the classes that share an object class.
    bool ClassNameHas(char letter, size_t index) const;
    bool HasStyle(LONG_PTR style) const { return (GetWindowLongPtrA(window_, GWL_STYLE) & style) != 0; }
    RECT ClientRect() const;
    // The id of the resource (artwork or menu) the control loads: its item id plus the resource
    // base the dialog published, plus extra; 0 when that is no resource id.
    WORD ResourceId(int extra = 0) const;
    // The item's id and the parent dialog.
    int ItemId() const { return GetDlgCtrlID(window_); }
    HWND Parent() const { return GetParent(window_); }

    HWND window_ = nullptr;
    bool focusShown_ = false;
    bool tracking_ = false;
    int16_t value_ = 0;
    int16_t minimum_ = 0;
    int16_t maximum_ = 100;

private:
    void SetRange(int16_t minimum, int16_t maximum, bool redraw);
};

// The track-bar value a dialog reads from a word: the 16-bit pattern as a signed value.
inline int16_t SignedWord(WORD word) { return static_cast<int16_t>(word); }
