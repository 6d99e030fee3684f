// A borderless popup window with its own drawing port: the popup sliders draw in one, and the
// help text window shows the help of the item under the cursor in one.
#pragma once

#include <windows.h>

#include <cstdint>

#include "DrawingPort.h"
#include "GdiOwner.h"

class PopupWindow {
public:
    enum Flags : uint16_t {
        kNoCapture = 1,   // showing the popup leaves the mouse capture where it is
    };

    // A hidden 10 x 10 popup with a white back colour; -108 when it cannot be made. While it is
    // shown with the mouse captured, hiding it sends the first application message (0x8000) to
    // the window *owner names, when there is one.
    explicit PopupWindow(HWND* owner = nullptr, uint16_t flags = 0);
    PopupWindow(const PopupWindow&) = delete;
    PopupWindow& operator=(const PopupWindow&) = delete;
    virtual ~PopupWindow();

    HWND Window() const { return window_.Get(); }
    DrawingPort& Port() { return port_; }

private:
    friend void ShowPopupWindowAt(PopupWindow& popup, const Rect16& screenRect);
    friend void HidePopupWindow(PopupWindow& popup);

    HWND* owner_;
    uint16_t flags_;
    HWND previousCapture_ = nullptr;
    bool captured_ = false;
    OwnedWindow window_;
    DrawingPort port_;
};

// Shows the popup without activating it, its client area covering screenRect and filled with the
// back brush. Unless the popup has kNoCapture it takes the mouse capture and raises the modal depth.
void ShowPopupWindowAt(PopupWindow& popup, const Rect16& screenRect);
// Hides a shown popup. When it holds the capture: pending mouse messages are dropped, the window
// that held the capture before gets a left-button-up, the capture and the modal depth go back,
// and the owner gets message 0x8000.
void HidePopupWindow(PopupWindow& popup);
