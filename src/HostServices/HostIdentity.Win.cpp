// The host's kind from the version resource of its executable, and hiding its palettes.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "AlertTexts.h"
#include "Errors.h"
#include "HostServices.h"
#include "Utf.h"

namespace {

int32_t gHostKind = kHostKindUnknown;

// The executable: the first token of the command line, quoted or not.
std::wstring HostExecutablePath() {
    std::wstring line = GetCommandLineW();
    if (line.empty()) return {};
    if (line[0] == L'"') {
        const size_t end = line.find(L'"', 1);
        return line.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
    }
    return line.substr(0, line.find_first_of(L" \t"));
}

bool ReadVersionString(const std::vector<char>& info, const wchar_t* table, const wchar_t* name, char* out) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return false;
    const std::string utf8 = Utf16ToUtf8(std::wstring_view(value, wcsnlen(value, length)));
    CopyBoundedUtf8(utf8.data(), utf8.size(), out, 256);
    return true;
}

int32_t KindFromNames(const char* productTest) {
    char internalName[256], productName[256];
    GetHostVersionStrings(internalName, productName);
    int32_t kind = kHostKindOther;
    if (internalName[0] || productName[0]) {
        if (_stricmp(internalName, "PhotoPnt") == 0) kind = kHostKindPhotoPnt;
        if (std::strstr(productName, productTest)) kind = kHostKindElements;
    }
    return kind;
}

// ---- Hiding the host's palettes

struct HiddenWindow {
    HWND window;
    int showCommand;
    bool madeTransparent;
};

struct PaletteList {
    std::vector<HiddenWindow> windows;

    bool Has(HWND w) const {
        return std::any_of(windows.begin(), windows.end(), [w](const HiddenWindow& h) { return h.window == w; });
    }
};

PaletteList gMethodA, gMethodB;

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

void HideWindowIfPalette(HWND window, PaletteList& list);

// Window enumeration callbacks: nothing is thrown back through the enumeration; a window that
// cannot be listed stays as it is, and the walk stops.
BOOL CALLBACK HideChild(HWND window, LPARAM list) noexcept {
    try {
        HideWindowIfPalette(window, *reinterpret_cast<PaletteList*>(list));
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

void HideWindowIfPalette(HWND window, PaletteList& list) {
    const std::wstring cls = ClassOf(window);
    if (cls == L"Photoshop" || cls == L"PhotoshopElements") {
        EnumChildWindows(window, HideChild, reinterpret_cast<LPARAM>(&list));
        return;
    }
    if (list.Has(window)) return;
    const bool palette = cls == L"PSFloatC" || cls == L"PSDocC" || cls.rfind(L"OWL.", 0) == 0;
    if (!palette) return;
    if (IsWindowVisible(window)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(window, &placement);
        list.windows.push_back({window, static_cast<int>(placement.showCmd), false});
        ShowWindow(window, SW_HIDE);
    } else if (cls == L"PSFloatC") {
        SetWindowLongPtrW(window, GWL_EXSTYLE, GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
        SetLayeredWindowAttributes(window, RGB(255, 255, 255), 0, LWA_ALPHA | LWA_COLORKEY);
        list.windows.push_back({window, SW_HIDE, true});
    }
}

BOOL CALLBACK HideTopLevel(HWND window, LPARAM list) noexcept { return HideChild(window, list); }

void Restore(HiddenWindow& hidden) {
    if (!IsWindow(hidden.window)) return;
    if (hidden.madeTransparent) SetLayeredWindowAttributes(hidden.window, 0, 255, LWA_ALPHA);
    else ShowWindow(hidden.window, hidden.showCommand);
}

}  // namespace

void GetHostVersionStrings(char* internalName, char* productName) {
    internalName[0] = productName[0] = '\0';
    const std::wstring path = HostExecutablePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return;
    std::vector<char> info(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return;
    for (const wchar_t* table : {L"040904B0", L"040904E4", L"000004B0"}) {
        const bool hasInternal = ReadVersionString(info, table, L"InternalName", internalName);
        const bool hasProduct = ReadVersionString(info, table, L"ProductName", productName);
        if (hasInternal || hasProduct) return;
    }
}

int32_t GetHostKind() {
    if (gHostKind == kHostKindUnknown) gHostKind = KindFromNames("Adobe Photoshop Elements");
    return gHostKind;
}

int32_t DetectHostKind() { return KindFromNames("Photoshop Elements"); }

void ShowHostPalettes(bool restore, int32_t version) {
    const bool methodB = GetHostKind() != kHostKindElements && version >= 0xB00;
    if (GetHostKind() == kHostKindElements && version >= 0x800) return;
    PaletteList& list = methodB ? gMethodB : gMethodA;
    if (!restore) {
        EnumThreadWindows(GetCurrentThreadId(), HideTopLevel, reinterpret_cast<LPARAM>(&list));
        return;
    }
    if (methodB) std::for_each(list.windows.rbegin(), list.windows.rend(), Restore);
    else std::for_each(list.windows.begin(), list.windows.end(), Restore);
    list.windows.clear();
}
