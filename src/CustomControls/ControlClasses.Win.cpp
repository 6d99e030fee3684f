// The registration of every window class of the controls: the classes of our own, each with a
// procedure that makes its object, and the three superclasses of BUTTON.
#include <iterator>

#include "ButtonControls.h"
#include "CustomControl.h"
#include "MenuControls.h"
#include "PaletteControls.h"
#include "SliderControls.h"
#include "ThisModule.h"
#include "UserItem.h"

namespace {

template <typename Control>
CustomControl* Make() {
    return new Control;
}

template <typename Control>
LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CustomControl::WindowProc(window, message, wParam, lParam, &Make<Control>, DefWindowProcA);
}

LRESULT CALLBACK BitmapButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CustomControl::WindowProc(window, message, wParam, lParam, &Make<BitmapButton>, SystemButtonProc());
}

struct ControlClass {
    const char* name;
    WNDPROC procedure;
    bool buttonSuperclass;
    ATOM atom;  // 0 while the class is not registered
};

// In the order of registration. One interface thread: the host's.
ControlClass gClasses[] = {
    {"tToolPalette", ControlProc<ToolPalette>, false, 0},
    {"tPopupMenu", ControlProc<PopupMenu>, false, 0},
    {"tRealtimeMenu", ControlProc<PopupMenu>, false, 0},
    {"tLinearSlider", ControlProc<LinearSlider>, false, 0},
    {"tNonLinearSlider", ControlProc<LinearSlider>, false, 0},
    {"tPopupSlider", ControlProc<PopupSlider>, false, 0},
    {"tNonLinearPopup", ControlProc<PopupSlider>, false, 0},
    {"tPopupSliderSansSpinner", ControlProc<PopupSliderSansSpinner>, false, 0},
    {"tNonLinearPopupSansSpinner", ControlProc<PopupSliderSansSpinner>, false, 0},
    {"tSpinner", ControlProc<Spinner>, false, 0},
    {"tPadLock", ControlProc<PadLock>, false, 0},
    {"tUserItem", ControlProc<UserItem>, false, 0},
    {"bPicButton", PictureButtonProc, true, 0},
    {"bIconButton", IconButtonProc, true, 0},
    {"bBitmapButton", BitmapButtonProc, true, 0},
};

ATOM RegisterControlClass(const ControlClass& control) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (control.buttonSuperclass) {
        if (!GetClassInfoExA(nullptr, "BUTTON", &wc)) return 0;
        KeepSystemButtonProc(wc.lpfnWndProc);
        wc.cbSize = sizeof wc;
        // A class of this module only, and one that paints inside its own window.
        wc.style &= ~static_cast<UINT>(CS_GLOBALCLASS | CS_PARENTDC);
        wc.hIconSm = nullptr;
    } else {
        wc.style = 0;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = 0;
        // The controls paint every pixel of their own; a user item shows what the dialog drew.
        wc.hbrBackground = nullptr;
        wc.hCursor = nullptr;
    }
    wc.lpfnWndProc = control.procedure;
    wc.hInstance = ThisModule();
    wc.lpszClassName = control.name;
    wc.lpszMenuName = nullptr;
    return RegisterClassExA(&wc);
}

}  // namespace

bool RegisterCustomControls() {
    bool all = true;
    for (ControlClass& control : gClasses) {
        if (control.atom == 0) control.atom = RegisterControlClass(control);
        all = all && control.atom != 0;
    }
    return all;
}

void UnregisterCustomControls() {
    for (ControlClass& control : gClasses) {
        // A class whose windows still live stays registered, and its atom with it, so that the
        // next registration does not fail on a class that exists.
        if (control.atom != 0 && UnregisterClassA(MAKEINTRESOURCEA(control.atom), ThisModule())) control.atom = 0;
    }
}
