// What the component tests share: the dark test dialogs' look, the hand that clicks and drags
// through the desktop's input from a second thread while this thread runs the messages (the
// components' tracking loops among them), and pictures of the screen.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ControlDrawing.h"
#include "ControlTestSupport.h"
#include "DesktopInput.h"
#include "GdiOwner.h"
#include "MorvaneDialog.h"

// One move of the hand: the pointer goes to a client point of the window with the button flags
// (before pressing, it rests a while: the thread's cached key state lags the desktop's by up to
// 50 ms, and a press read from a cache taken just before it would look released at once),
// then the hand waits; `then` runs on the hand's thread after the wait (a look at the screen
// while the button is still down).
struct Gesture {
    POINT at;
    DWORD buttons = 0;
    int pauseMilliseconds = 40;
    std::function<void()> then;
    // False: the buttons change where the pointer is, without moving it there. Moving the pointer
    // makes the display report its modifier keys, which forgets one held through the desktop's
    // input.
    bool warp = true;
};

inline Gesture Move(POINT at, int pause = 100) { return Gesture{at, 0, pause, nullptr}; }
inline Gesture Down(POINT at, int pause = 60) { return Gesture{at, MOUSEEVENTF_LEFTDOWN, pause, nullptr}; }
inline Gesture Up(POINT at, int pause = 60) { return Gesture{at, MOUSEEVENTF_LEFTUP, pause, nullptr}; }

// Makes the window the active one before a test presses on it, and waits until it is: a window
// activated by the press itself would take the key state from the display, where the press the
// test made through the desktop's input is not held. Only when it is not active already: the same
// reset forgets a modifier the test holds.
inline void BringForward(HWND window) {
    if (GetForegroundWindow() == window && GetActiveWindow() == window) return;
    SetForegroundWindow(window);
    SetActiveWindow(window);
    PumpUntil([window] { return GetForegroundWindow() == window && GetActiveWindow() == window; });
}

// Plays the gestures on the window (client points) from a second thread while this one runs its
// messages; then lets the messages they caused run out.
inline void Play(HWND window, const std::vector<Gesture>& gestures) {
    std::vector<POINT> onScreen;
    for (const Gesture& g : gestures) {
        POINT p = g.at;
        ClientToScreen(window, &p);
        onScreen.push_back(p);
    }
    // Only when it is not: a window taking the focus sets the key state to the keys the display
    // really holds, which forgets a modifier the test holds through the desktop's input.
    BringForward(window);
    std::atomic<bool> done{false};
    std::thread hand([&] {
        for (size_t i = 0; i < gestures.size(); ++i) {
            if (gestures[i].warp) {
                SendPointerAt(onScreen[i], gestures[i].buttons);
            } else {
                INPUT input{};
                input.type = INPUT_MOUSE;
                input.mi.dwFlags = gestures[i].buttons;
                SendInput(1, &input, sizeof input);
            }
            Sleep(gestures[i].pauseMilliseconds);
            if (gestures[i].then) gestures[i].then();
        }
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        PumpPending();
        Sleep(5);
    }
    hand.join();
    for (int n = 0; n < 10; ++n) {
        PumpPending();
        Sleep(10);
    }
}

// Holds or releases a key through the desktop's input and waits until the key state shows it.
// The key's messages are taken off the queue unread: a lone Alt released would otherwise open the
// window menu of a modeless test dialog (a modal one has its keys taken by the dialogs' hook).
inline bool HoldKey(WORD key, bool down) {
    SendKeys({key}, !down);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
        if (((GetAsyncKeyState(key) & 0x8000) != 0) == down) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(5);
    }
}

// A click where the pointer is, for clicks with a modifier held.
inline void ClickInPlace(HWND window) {
    Gesture down{POINT{}, MOUSEEVENTF_LEFTDOWN, 60, nullptr, false};
    Gesture up{POINT{}, MOUSEEVENTF_LEFTUP, 60, nullptr, false};
    Play(window, {down, up});
}

// A click: press and release at one point.
inline void Click(HWND window, POINT at) { Play(window, {Move(at), Down(at), Up(at)}); }

// One pixel of the screen at a client point of the window.
inline COLORREF ScreenPixel(HWND window, POINT at) {
    ClientToScreen(window, &at);
    const WindowDC screen(nullptr);
    return GetPixel(screen.Get(), at.x, at.y);
}

inline POINT CentreOf(const Rect16& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
inline RECT ToWinRect(const Rect16& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// Pixels of the picture within r whose three channels are all at least `floor`.
inline int CountBright(const ClientPicture& picture, const Rect16& r, int floor) {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = picture.At(x, y);
            if (c != CLR_INVALID && GetRValue(c) >= floor && GetGValue(c) >= floor && GetBValue(c) >= floor) ++count;
        }
    return count;
}

// The dark look of a test dialog: its face and the buttons' and statics' backgrounds.
class DarkFace {
public:
    // Answers WM_CTLCOLOR*; false for other messages.
    bool Answer(UINT message, WPARAM wParam, LRESULT& result) const {
        switch (message) {
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORSCROLLBAR:
                SetTextColor(reinterpret_cast<HDC>(wParam), ControlLook::kText);
                SetBkColor(reinterpret_cast<HDC>(wParam), ControlLook::kBackground);
                result = reinterpret_cast<LRESULT>(background_.Get());
                return true;
            default:
                return false;
        }
    }
    // The port draws on the face: back and fore colour the background, as the tabs set it.
    static void SetPortColors(MorvaneDialog& dialog) {
        DrawingPort& port = dialog.Port();
        port.backColor = ControlLook::kBackground;
        port.foreColor = ControlLook::kBackground;
        UpdatePenAndBrushes(port);
    }

private:
    OwnedBrush background_{CreateSolidBrush(ControlLook::kBackground)};
};
