#include "UserItem.h"

#include "ToolkitState.h"

UserItem::~UserItem() { EndHold(); }

void UserItem::EndHold() {
    if (!held_) return;
    // The mark goes first: giving the capture back sends WM_CAPTURECHANGED here again.
    held_ = false;
    Toolkit::LowerTrackingDepth();
    if (GetCapture() == window_) ReleaseCapture();
}

LRESULT UserItem::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND parent = GetParent(window);
    switch (message) {
        case WM_PAINT: {
            // The dialog draws here; the item itself shows nothing.
            ValidateRect(window, nullptr);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (!held_) {
                Toolkit::RaiseTrackingDepth();
                held_ = true;
                SetCapture(window);
            }
            SendMessageA(parent, ControlMessage::kClick, static_cast<WPARAM>(GetDlgCtrlID(window)),
                         reinterpret_cast<LPARAM>(window));
            return 0;
        case WM_LBUTTONUP:
            EndHold();
            SendMessageA(parent, ControlMessage::kUserItemUp, static_cast<WPARAM>(lParam), reinterpret_cast<LPARAM>(window));
            return 0;
        case WM_RBUTTONDOWN:
            SendMessageA(parent, ControlMessage::kUserItemRightClick, static_cast<WPARAM>(GetDlgCtrlID(window)), lParam);
            return 0;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != window) EndHold();
            return 0;
        case WM_ENABLE: {
            RECT own{};
            GetWindowRect(window, &own);
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&own), 2);
            InvalidateRect(parent, &own, TRUE);
            return 0;
        }
        case ControlMessage::kGetPosition:
        case ControlMessage::kSetRange:
            return 0;
        case ControlMessage::kSetPosition:
            return 1;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
