// Window services beside the drawing ports: placing rectangles on the screen, the keyboard's
// modifier state, keystrokes and menu commands sent to the host, and menu item texts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "DrawingPort.h"

// Centres rect on the port's client area (on the screen's work area without a port), then keeps
// it 8 pixels inside the work area of the monitor under its centre.
void PlaceRectOnScreen(Rect16& rect, const DrawingPort* port);

enum ModifierKey : uint16_t {
    kModifierControl = 1,
    kModifierShift = 2,
    kModifierCapsLock = 4,   // toggled on
    kModifierAlt = 8,
};
// The modifier keys down now (Caps Lock: toggled on), as ModifierKey bits.
uint16_t GetModifierKeys();
// Whether the left, right or middle mouse button is down now (the asynchronous state).
bool AnyMouseButtonDown();

// Types Ctrl + character into the focused window, as the user would.
void PostKeystroke(char character);

// Posts the command of the host window's menu item whose text begins with itemName (UTF-8, letter
// case ignored, "&" marks included), searching sub-menus depth first. Answers the command id, or
// 0 when there is no host window, no such item, or the command cannot be posted.
uint16_t DoHostMenuCommand(HWND hostWindow, std::string_view itemName);
// The command id of the first item of menu or its sub-menus, depth first, whose text cut to the
// length of itemName equals it ignoring case; 0 when there is none.
uint16_t FindMenuItemByName(HMENU menu, std::string_view itemName);

// Replaces the text of item itemId of the port window's menu, keeping the item's state and the
// tail of its text from the first control character on (a tab and the shortcut text). 20001 when
// the item cannot be read or changed.
ErrorCode SetMenuItemText(const DrawingPort& port, uint16_t itemId, std::string_view text);
// The text of item itemId up to its first control character, UTF-8; empty when there is none.
std::string GetMenuItemText(HMENU menu, uint16_t itemId);
