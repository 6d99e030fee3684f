// The open-file dialogs of tests: the visible one of a thread, waited for.
#pragma once

#include <windows.h>

#include <string_view>

// The visible open-file dialog of a thread, waited for up to ten seconds.
inline HWND WaitForFileDialog(DWORD thread) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        HWND found = nullptr;
        EnumThreadWindows(
            thread,
            [](HWND window, LPARAM result) {
                wchar_t name[16] = {};
                GetClassNameW(window, name, 16);
                if (std::wstring_view(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        if (found) return found;
        Sleep(50);
    }
    return nullptr;
}
