// The Windows half of alerts: modal alert dialogs with their placeholder filling, the host's
// window that owns them, the module's strings, and window centring.
#pragma once

#include <windows.h>

#include <cstddef>

#include "AlertTexts.h"

// The host's window: the owner of the alerts and of the modal dialogs that name no owner. It is
// the window of the host call in progress, and none between calls.
HWND HostWindow();
// Makes `window` the host's window until the next change or the end of the enclosing scope: the
// dialog framework hands the owner role to the dialog in front, so that alerts open over it.
void SetHostWindow(HWND window);

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

// What an alert tells: an error (the stop sign) or a question to the user (the caution sign).
enum class AlertKind { Error, Caution };

// What AlertDialogProc shows: the texts that fill the dialog's placeholders (none leaves them as
// they are) and the alert's kind. Its address is the dialog's parameter.
struct AlertRequest {
    const PlaceholderTable* texts = nullptr;
    AlertKind kind = AlertKind::Error;
};

// Runs alert dialog `id` modally with AlertDialogProc, owned by `owner`. Answers the control that
// ended it, or a negative number when the dialog could not be created.
INT_PTR ShowAlertDialog(int id, HWND owner, const PlaceholderTable* texts, AlertKind kind);

// Loads string `id` of the module as UTF-8; false when there is none.
bool LoadResourceString(int id, char* out, size_t outSize);

INT_PTR CALLBACK AlertDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM request);

// Centres a top-level window on its owner (or the centring override), inside the work area.
void CenterWindowOnParent(HWND window);

namespace AlertState {
// The alert on screen, or none.
HWND CurrentAlertWindow();
void SetCurrentAlertWindow(HWND window);
// The window the next CenterWindowOnParent centres on instead of the parent; consumed by it.
void SetCenteringOverride(HWND window);
// The modal depth: raised while RunModalDialog runs and while a popup window holds the mouse.
int ModalDepth();
void RaiseModalDepth();
void LowerModalDepth();
}  // namespace AlertState
