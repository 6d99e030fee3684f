// A hand on the keys of a menu, for tests of controls that track pop-up menus: the menu's loop
// holds the thread that opened it, so the keys come from a second thread, as the user's would.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "DesktopInput.h"

// Waits on a second thread for the menu the calling thread is about to track, notes where it
// shows, then types the keys into it; a menu still open after them is cancelled through its
// owner, so that no test waits for a user.
class MenuHand {
public:
    // With a park point the pointer goes there (screen coordinates) once the menu shows, so that
    // an entry under it does not take the highlight from the keys.
    MenuHand(HWND owner, std::vector<WORD> keys, std::optional<POINT> park = std::nullopt)
        : thread_([owner, keys = std::move(keys), park, this] {
              shown_ = WaitFor([] { return VisibleMenu() != nullptr; });
              if (shown_) {
                  GetWindowRect(VisibleMenu(), &menuRect_);
                  if (park) {
                      SendPointerAt(*park, 0);
                      Sleep(60);
                  }
                  for (WORD key : keys) {
                      INPUT input[2]{};
                      input[0].type = input[1].type = INPUT_KEYBOARD;
                      input[0].ki.wVk = input[1].ki.wVk = key;
                      input[1].ki.dwFlags = KEYEVENTF_KEYUP;
                      SendInput(2, input, sizeof(INPUT));
                      Sleep(60);   // each key lands in its own turn of the menu's loop
                  }
              }
              if (!WaitFor([] { return VisibleMenu() == nullptr; })) {
                  stuck_ = true;
                  PostMessageW(owner, WM_CANCELMODE, 0, 0);
              }
          }) {}
    ~MenuHand() {
        if (thread_.joinable()) thread_.join();
    }
    MenuHand(const MenuHand&) = delete;
    MenuHand& operator=(const MenuHand&) = delete;

    // Waits for the typing to end; whether the menu showed and the keys closed it.
    bool Finish() {
        if (thread_.joinable()) thread_.join();
        return shown_ && !stuck_;
    }
    // Where the menu's window showed (screen coordinates).
    RECT MenuRect() const { return menuRect_; }

private:
    static HWND VisibleMenu() {
        const HWND menu = FindWindowW(L"#32768", nullptr);
        return menu && IsWindowVisible(menu) ? menu : nullptr;
    }
    static bool WaitFor(const std::function<bool()>& done) {
        for (int i = 0; i < 300; ++i) {
            if (done()) return true;
            Sleep(10);
        }
        return done();
    }

    bool shown_ = false;
    bool stuck_ = false;
    RECT menuRect_{};
    std::thread thread_;
};
