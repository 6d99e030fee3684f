#include "PopupWindow.h"

#include "Alerts.h"
#include "Errors.h"
#include "ThisModule.h"

namespace {

constexpr UINT kOwnerNotice = WM_APP;   // 0x8000: the popup has gone

constexpr DWORD kStyle = WS_POPUP | WS_BORDER;
constexpr DWORD kExtendedStyle = WS_EX_TOOLWINDOW;

void DropPendingMouseMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

}  // namespace

PopupWindow::PopupWindow(HWND* owner, uint16_t flags) : owner_(owner), flags_(flags) {
    window_.Reset(CreateWindowExW(kExtendedStyle, L"Static", L"", kStyle, 0, 0, 10, 10, nullptr, nullptr,
                                  ThisModule(), nullptr));
    if (!window_) THROW_IF_ERROR(Err::MemoryFull);
    InitPort(port_, window_.Get());
    port_.backColor = RGB(255, 255, 255);
    UpdateBackBrush(port_);
}

PopupWindow::~PopupWindow() {
    // A popup that goes while it holds the mouse gives the capture and the modal depth back.
    HidePopupWindow(*this);
}

void ShowPopupWindowAt(PopupWindow& popup, const Rect16& screenRect) {
    const HWND window = popup.Window();
    ShowWindow(window, SW_HIDE);
    if (!(popup.flags_ & PopupWindow::kNoCapture) && !popup.captured_) {
        popup.previousCapture_ = GetCapture();
        SetCapture(window);
        popup.captured_ = true;
        AlertState::RaiseModalDepth();
    }
    RECT frame = ToRECT(screenRect);
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExtendedStyle);
    SetWindowPos(window, HWND_TOP, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    RECT client{};
    GetClientRect(window, &client);
    EraseRect(popup.Port(), ToRect16(client));
    ValidateRect(window, nullptr);
}

void HidePopupWindow(PopupWindow& popup) {
    const HWND window = popup.Window();
    if (!IsWindowVisible(window)) return;
    ShowWindow(window, SW_HIDE);
    if (!popup.captured_) return;
    DropPendingMouseMessages();
    if (popup.previousCapture_) SendMessageW(popup.previousCapture_, WM_LBUTTONUP, 0, 0);
    ReleaseCapture();
    popup.captured_ = false;
    popup.previousCapture_ = nullptr;
    AlertState::LowerModalDepth();
    if (popup.owner_ && *popup.owner_) SendMessageW(*popup.owner_, kOwnerNotice, 0, 0);
}
