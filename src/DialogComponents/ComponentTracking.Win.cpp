#include "ComponentTracking.h"

#include <windows.h>

#include "DialogComponent.h"
#include "MorvaneDialog.h"
#include "ToolkitState.h"
#include "WindowServices.h"

namespace ComponentTracking {

bool FollowMouse(const DialogComponent& component, Point16& point) {
    // Letting the system look at the thread's input keeps the button state current where it
    // arrives through the window system rather than straight into the input queue.
    MSG pending;
    PeekMessageW(&pending, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE);
    POINT cursor{};
    GetCursorPos(&cursor);
    if (const HWND window = component.Owner().Window()) ScreenToClient(window, &cursor);
    point = Point16{ClampToInt16(cursor.y), ClampToInt16(cursor.x)};
    const bool down = AnyMouseButtonDown();
    if (down) {
        if (MorvaneDialog* front = MorvaneDialog::FrontDialog()) {
            Toolkit::TrackingScope tracking;
            front->Idle();
        }
        Sleep(1);
    }
    return down;
}

}  // namespace ComponentTracking
