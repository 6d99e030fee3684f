// The framework's process-wide state, shared by the dialog base's sources and by nothing else:
// one interface thread (the host's) owns it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "DialogItems.h"
#include "GdiOwner.h"

class MorvaneDialog;

enum class InputKind : uint8_t { None = 0, Timer = 1, Mouse = 2, Key = 3 };

struct DialogState {
    MorvaneDialog* list = nullptr;            // front first
    MorvaneDialog* front = nullptr;           // receives keys, accelerators and help
    MorvaneDialog* keyboard = nullptr;        // holds the keyboard focus
    HWND defaultParent = nullptr;             // the host's window when the first dialog came
    int16_t cursorId = -1;
    bool doubleClick = false;
    int16_t lastKey = 0;
    int16_t lastKeyCopy = 0;
    InputKind lastInput = InputKind::None;
    bool inAccelerator = false;
    bool applicationInactive = false;
    bool pointInClient = false;
    HHOOK hook = nullptr;
    OwnedRgn scratchA;
    OwnedRgn scratchB;
    NumberChars chars;
    DWORD lastClickTime = 0;
    bool hadClick = false;
};

DialogState& Dialogs();

// Clears the two last-key codes (a key up, a suspension, a deactivation).
inline void ClearLastKeys(DialogState& state) {
    state.lastKey = 0;
    state.lastKeyCopy = 0;
}
