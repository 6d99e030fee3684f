// The toolbox library's three calls. The About box names the plug-in from its version resource.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HINSTANCE gSelf = nullptr;
HINSTANCE gPlugin = nullptr;
HWND gOwner = nullptr;

std::wstring PluginProductName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(gPlugin, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::wstring name = L"Quorvel";
    if (size == 0) return name;
    std::string info(size, '\0');
    wchar_t* value = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoW(path, 0, size, info.data()) &&
        VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&value), &length) &&
        value)
        name = value;
    return name;
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) noexcept {
    switch (message) {
    case WM_INITDIALOG: {
        try {
            SetDlgItemTextW(dialog, 2, PluginProductName().c_str());
        } catch (...) {
            // The box shows without the product's name.
        }
        // Automated runs answer every box at once and say so.
        if (const char* answer = std::getenv("QUORVEL_ALERT_ANSWER"); answer && *answer) {
            std::fprintf(stderr, "about box answered %s\n", answer);
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), reinterpret_cast<LPARAM>(dialog));
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) gSelf = instance;
    return TRUE;
}

int ToolBoxInitialize(HINSTANCE plugin, HWND owner) {
    gPlugin = plugin;
    gOwner = owner;
    return 0;
}

int ToolBoxAbout(HINSTANCE plugin, int bitmapId, int, int) {
    if (plugin) gPlugin = plugin;
    return static_cast<int>(DialogBoxParamW(gSelf, MAKEINTRESOURCEW(100), gOwner, AboutProc, bitmapId));
}

int ToolBoxCheckForUpdates(HWND) { return 0; }

}  // extern "C"
