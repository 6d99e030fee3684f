// The Windows half of errors and alerts: modal alert dialogs with their placeholder filling, and
// window centring.
#pragma once

#include <windows.h>

#include <cstddef>

#include "Errors.h"

// The host's window: the owner of the alerts and of the modal dialogs that name no owner. It is
// the window of the host call in progress, and none between calls.
HWND HostWindow();

// Makes `window` the host's window for the scope's life, then puts back the one before. The entry
// opens one for every host call (through the call's scope), a test for what it drives.
class HostWindowScope {
public:
    explicit HostWindowScope(HWND window);
    HostWindowScope(const HostWindowScope&) = delete;
    HostWindowScope& operator=(const HostWindowScope&) = delete;
    ~HostWindowScope();

private:
    HWND previous_;
};

// Runs alert dialog `id` with AlertDialogProc and parameter `param` (0 leaves its texts, 1 and 2
// fill them from the error state, anything else is a PlaceholderTable address), owned by the
// host's window. Answers the control that ended it, or a negative number when the dialog could
// not be created.
INT_PTR ShowAlertDialog(int id, LPARAM param);

// Loads string `id` of the module as UTF-8; false when there is none.
bool LoadResourceString(int id, char* out, size_t outSize);

// Runs dialog `id` modally with AlertDialogProc, "^0" and "^1" filled from text0 and text1. A null
// owner means the host's window. Answers the control that ended it (2 for the close box).
ErrorCode RunModalDialog(HWND* owner, int16_t id, const char* text0, const char* text1);

INT_PTR CALLBACK AlertDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Centres a top-level window on its owner (or the centring override), inside the work area.
void CenterWindowOnParent(HWND window);

namespace AlertState {
// The alert on screen, or none.
HWND CurrentAlertWindow();
void SetCurrentAlertWindow(HWND window);
// The window the next CenterWindowOnParent centres on instead of the parent; consumed by it.
void SetCenteringOverride(HWND window);
}  // namespace AlertState

// The placeholder table of alerts raised by ThrowIfError: message, source file and line.
PlaceholderTable ErrorPlaceholders();
