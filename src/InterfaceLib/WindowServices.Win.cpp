#include "WindowServices.h"

#include <algorithm>
#include <optional>

#include "Geometry.h"
#include "Utf.h"

namespace {

// The whole text of a menu item (by command id, or by position), or none when it cannot be read.
std::optional<std::wstring> ReadMenuItemText(HMENU menu, UINT item, bool byPosition) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    if (!GetMenuItemInfoW(menu, item, byPosition, &info)) return std::nullopt;
    std::wstring text(info.cch + 1, L'\0');
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(text.size());
    if (!GetMenuItemInfoW(menu, item, byPosition, &info)) return std::nullopt;
    text.resize(std::min<size_t>(info.cch, text.size() - 1));
    return text;
}

// Where the item's tail begins: its first control character (a tab before the shortcut text).
size_t TailStart(const std::wstring& text) {
    const auto tail = std::find_if(text.begin(), text.end(), [](wchar_t c) { return c < L' '; });
    return static_cast<size_t>(tail - text.begin());
}

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
    if (prefix.empty() || text.size() < prefix.size()) return false;
    const int length = static_cast<int>(prefix.size());
    return CompareStringOrdinal(text.data(), length, prefix.data(), length, TRUE) == CSTR_EQUAL;
}

uint16_t FindItem(HMENU menu, const std::wstring& name) {
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_SUBMENU;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) continue;
        if (info.hSubMenu) {
            if (const uint16_t found = FindItem(info.hSubMenu, name)) return found;
            continue;
        }
        const auto text = ReadMenuItemText(menu, static_cast<UINT>(position), true);
        if (text && StartsWithIgnoringCase(*text, name)) return static_cast<uint16_t>(info.wID);
    }
    return 0;
}

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

bool KeyDown(int virtualKey) { return (GetAsyncKeyState(virtualKey) & 0x8000) != 0; }

}  // namespace

void PlaceRectOnScreen(Rect16& rect, const DrawingPort* port) {
    const Rect16 reference = port ? GetClientScreenRect(*port) : GetMonitorWorkRect();
    OffsetRect16(rect, (int32_t{reference.left} + reference.right - rect.left - rect.right) / 2,
                 (int32_t{reference.top} + reference.bottom - rect.top - rect.bottom) / 2);
    const Point16 centre{ClampToInt16((int32_t{rect.top} + rect.bottom) / 2),
                         ClampToInt16((int32_t{rect.left} + rect.right) / 2)};
    KeepRectInside(rect, GetMonitorWorkRect(centre), 8);
}

uint16_t GetModifierKeys() {
    uint16_t keys = 0;
    if (KeyDown(VK_CONTROL)) keys |= kModifierControl;
    if (KeyDown(VK_SHIFT)) keys |= kModifierShift;
    if (GetKeyState(VK_CAPITAL) & 1) keys |= kModifierCapsLock;
    if (KeyDown(VK_MENU)) keys |= kModifierAlt;
    return keys;
}

bool AnyMouseButtonDown() {
    return ((GetAsyncKeyState(VK_LBUTTON) | GetAsyncKeyState(VK_RBUTTON) | GetAsyncKeyState(VK_MBUTTON)) & 0x8000) != 0;
}

void PostKeystroke(char character) {
    const SHORT scan = VkKeyScanW(static_cast<unsigned char>(character));
    if (scan == -1) return;
    const WORD key = LOBYTE(scan);
    INPUT inputs[] = {KeyInput(VK_CONTROL, false), KeyInput(key, false), KeyInput(key, true),
                      KeyInput(VK_CONTROL, true)};
    SendInput(static_cast<UINT>(std::size(inputs)), inputs, sizeof(INPUT));
}

uint16_t DoHostMenuCommand(HWND host, std::string_view itemName) {
    if (!host) return 0;
    const uint16_t command = FindMenuItemByName(GetMenu(host), itemName);
    if (!command || !PostMessageW(host, WM_COMMAND, MAKEWPARAM(command, 0), 0)) return 0;
    return command;
}

uint16_t FindMenuItemByName(HMENU menu, std::string_view itemName) {
    return menu ? FindItem(menu, Utf8ToUtf16(itemName)) : 0;
}

ErrorCode SetMenuItemText(const DrawingPort& port, uint16_t itemId, std::string_view text) {
    const HMENU menu = GetMenu(port.window);
    const auto current = menu ? ReadMenuItemText(menu, itemId, false) : std::nullopt;
    if (!current) return Err::ResourceMissing;
    std::wstring updated = Utf8ToUtf16(text) + current->substr(TailStart(*current));
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = updated.data();
    return SetMenuItemInfoW(menu, itemId, FALSE, &info) ? Err::None : Err::ResourceMissing;
}

std::string GetMenuItemText(HMENU menu, uint16_t itemId) {
    const auto text = ReadMenuItemText(menu, itemId, false);
    return text ? Utf16ToUtf8(std::wstring_view(*text).substr(0, TailStart(*text))) : std::string();
}
