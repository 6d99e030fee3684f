#include "Alerts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ThisModule.h"
#include "Utf.h"
#include "VantrelFileUtils.h"

namespace {

HWND gHostWindow = nullptr;
HWND gCurrentAlert = nullptr;
HWND gCenteringOverride = nullptr;
int gModalDepth = 0;
int gRequestedDialogId = 0;  // the dialog resource the next AlertDialogProc initialises

// Automated runs (tests, the stand-in host) set QUORVEL_ALERT_ANSWER to the button that answers
// every alert; the alert is still created and filled, and its id and texts are logged to
// QUORVEL_ALERT_LOG (or the standard error).
int AutomaticAnswer() {
    const char* answer = std::getenv("QUORVEL_ALERT_ANSWER");
    return answer && *answer ? std::atoi(answer) : 0;
}

void LogAutomaticAlert(int id, const std::string& texts, int answer) {
    const char* path = std::getenv("QUORVEL_ALERT_LOG");
    UniqueFileStream log;
    if (path && *path) log = OpenFileUtf8(path, "ab");
    std::fprintf(log ? log.get() : stderr, "alert %d answered %d: %s\n", id, answer, texts.c_str());
}

std::string ItemText(HWND dialog, int item) {
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, item, text, 256);
    return Utf16ToUtf8(text);
}

// Fills the placeholders of the static texts 2, 3, 4, ... until an id has no control.
void FillDialogTexts(HWND dialog, const PlaceholderTable& table) {
    for (int item = 2; GetDlgItem(dialog, item); ++item) {
        char filled[1024];
        if (FillPlaceholders(ItemText(dialog, item).c_str(), table, filled, sizeof filled))
            SetDlgItemTextW(dialog, item, Utf8ToUtf16(filled).c_str());
    }
}

void SetCaptionFromProductName(HWND dialog) {
    char name[256];
    if (LoadResourceString(16901, name, sizeof name)) SetWindowTextW(dialog, Utf8ToUtf16(name).c_str());
}

void AnswerAutomatically(HWND dialog, int answer) {
    std::string texts;
    for (int item = 2; GetDlgItem(dialog, item); ++item) {
        if (!texts.empty()) texts += " | ";
        texts += ItemText(dialog, item);
    }
    LogAutomaticAlert(gRequestedDialogId, texts, answer);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(dialog));
}

void DrawAlertIcon(HWND dialog) {
    const auto kind = static_cast<AlertKind>(GetWindowLongPtrW(dialog, DWLP_USER));
    HICON icon = LoadIconW(nullptr, kind == AlertKind::Error ? IDI_HAND : IDI_EXCLAMATION);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    if (icon) {
        const LONG units = GetDialogBaseUnits();
        DrawIcon(dc, (LOWORD(units) * 7) / 4, (HIWORD(units) * 7) / 8, icon);
        DestroyIcon(icon);
    }
    EndPaint(dialog, &paint);
}

}  // namespace

namespace AlertState {
int ModalDepth() { return gModalDepth; }
void RaiseModalDepth() { ++gModalDepth; }
void LowerModalDepth() { --gModalDepth; }
HWND CurrentAlertWindow() { return gCurrentAlert; }
void SetCurrentAlertWindow(HWND window) { gCurrentAlert = window; }
void SetCenteringOverride(HWND window) { gCenteringOverride = window; }
}  // namespace AlertState

HWND HostWindow() { return gHostWindow; }
void SetHostWindow(HWND window) { gHostWindow = window; }

HostWindowScope::HostWindowScope(HWND window) : previous_(gHostWindow) { gHostWindow = window; }
HostWindowScope::~HostWindowScope() { gHostWindow = previous_; }

bool LoadResourceString(int id, char* out, size_t outSize) {
    if (!out || outSize == 0) return false;
    out[0] = '\0';
    const wchar_t* text = nullptr;
    const int length = LoadStringW(ThisModule(), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return false;
    const std::string utf8 = Utf16ToUtf8(std::wstring_view(text, static_cast<size_t>(length)));
    CopyBoundedUtf8(utf8.data(), utf8.size(), out, outSize);
    return true;
}

INT_PTR ShowAlertDialog(int id, HWND owner, const PlaceholderTable* texts, AlertKind kind) {
    gRequestedDialogId = id;
    const AlertRequest request{texts, kind};
    return DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(id), owner, AlertDialogProc,
                           reinterpret_cast<LPARAM>(&request));
}

INT_PTR CALLBACK AlertDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
        case WM_INITDIALOG: {
            const auto& request = *reinterpret_cast<const AlertRequest*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, static_cast<LONG_PTR>(request.kind));
            if (request.texts) FillDialogTexts(dialog, *request.texts);
            SetCaptionFromProductName(dialog);
            CenterWindowOnParent(dialog);
            gCurrentAlert = dialog;
            if (const int answer = AutomaticAnswer()) AnswerAutomatically(dialog, answer);
            return TRUE;
        }
        case WM_PAINT:
            DrawAlertIcon(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) != 0 && lParam != 0) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            EndDialog(dialog, 2);
            return TRUE;
        case WM_DESTROY:
            gCurrentAlert = nullptr;
            return FALSE;
        default:
            return FALSE;
        }
    } catch (...) {
        // Nothing is thrown across the dialog procedure; an alert that fails is closed.
        EndDialog(dialog, 2);
        return TRUE;
    }
}

void CenterWindowOnParent(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    HWND reference = GetParent(window);
    if (reference && gCenteringOverride) reference = gCenteringOverride;
    if (!reference) reference = GetDesktopWindow();
    gCenteringOverride = nullptr;
    RECT ref;
    GetWindowRect(reference, &ref);
    OffsetRect(&r, (ref.right - r.right - r.left + ref.left) / 2, (ref.bottom - r.bottom - r.top + ref.top) / 2);

    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    InflateRect(&work, -2, -2);
    if (r.top < work.top) OffsetRect(&r, 0, work.top - r.top);
    else if (r.bottom > work.bottom) OffsetRect(&r, 0, work.bottom - r.bottom);
    if (r.left < work.left) OffsetRect(&r, work.left - r.left, 0);
    else if (r.right > work.right) OffsetRect(&r, work.right - r.right, 0);
    SetWindowPos(window, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
