// Keyboard and mouse input as the user makes it, for tests of keys, modifiers and drags. The input is sent from a
// second thread, as the system's key state only follows input that arrives from outside the
// thread, and the state is seen only after the thread's messages have run (and the cached
// asynchronous state has caught up): tests pump until what they wait for shows.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

// Runs the messages that are waiting, and no more (a bounded number, should painting post more).
inline void PumpPending() {
    MSG message;
    for (int n = 0; n < 10000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++n) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Runs the thread's messages until done() or two seconds have passed.
// The bound is for a condition that never comes: a loaded machine may take seconds over what an idle
// one takes to deliver desktop input, and must not fail here.
inline bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(5);
    }
    return true;
}

// Presses (or releases) the keys in order.
inline void SendKeys(const std::vector<WORD>& keys, bool up) {
    std::thread([&] {
        std::vector<INPUT> inputs;
        for (WORD key : keys) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wVk = key;
            input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            inputs.push_back(input);
        }
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }).join();
}

// Moves the pointer to a screen point and makes the move an input event (with the button flags
// given) that the window under it sees.
inline void SendPointerAt(POINT at, DWORD buttonFlags) {
    SetCursorPos(at.x, at.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE | buttonFlags;  // a relative move of nothing, at the new place
    SendInput(1, &input, sizeof input);
}
