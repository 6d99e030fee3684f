// The dialog base: construction and ending, the list of live dialogs with its front and keyboard
// roles, showing and hiding, the suspension of floating windows round modal runs, and alerts.
#include "MorvaneDialog.h"

#include <windows.h>
#include <commctrl.h>

#include "Alerts.h"
#include "CustomControl.h"
#include "DialogState.h"
#include "Errors.h"
#include "ThisModule.h"
#include "ToolkitState.h"

DialogState& Dialogs() {
    static DialogState state;
    return state;
}

namespace {

// Windows stay in the list while hidden; these walk it front to back.
template <typename F>
void ForEachDialog(F&& visit) {
    for (MorvaneDialog* d = Dialogs().list; d;) {
        MorvaneDialog* next = d->NextDialog();
        visit(d);
        d = next;
    }
}

MorvaneDialog* PreviousInList(MorvaneDialog* dialog) {
    MorvaneDialog* previous = nullptr;
    for (MorvaneDialog* d = Dialogs().list; d && d != dialog; d = d->NextDialog()) previous = d;
    return previous;
}

bool IsListed(const MorvaneDialog* dialog) {
    for (MorvaneDialog* d = Dialogs().list; d; d = d->NextDialog())
        if (d == dialog) return true;
    return false;
}

// The first visible, non-floating dialog with a window other than `except`.
MorvaneDialog* FirstOtherModal(const MorvaneDialog* except) {
    for (MorvaneDialog* d = Dialogs().list; d; d = d->NextDialog())
        if (d != except && !d->IsFloating() && d->IsVisible() && d->Window()) return d;
    return nullptr;
}

constexpr UINT kNoActivateFlags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;

}  // namespace

ModalNestingScope::ModalNestingScope(MorvaneDialog* dialog) : dialog_(dialog) {
    if (dialog_) ++dialog_->modalNesting_;
}
ModalNestingScope::~ModalNestingScope() {
    if (dialog_) --dialog_->modalNesting_;
}

// ---- Life

MorvaneDialog::MorvaneDialog(int16_t templateId, DialogKind kind)
    : primaryTemplate_(templateId), secondaryTemplate_(templateId), kind_(kind) {
    DialogState& state = Dialogs();
    placed_ = false;
    ClearLastKeys(state);
    InstallHook();
    if (!state.list) state.defaultParent = HostWindow();
    if (templateId >= 1) {
        next_ = state.list;
        state.list = this;
        if (kind_ != DialogKind::Floating) {
            defaultItem_ = 1;
            cancelItem_ = 2;
        }
        hasDefault_ = defaultItem_ > 0;
        state.cursorId = DialogCursor::kNone;
    }
}

void MorvaneDialog::InstallHook() {
    focus_ = FocusRecord{};
    if (primaryTemplate_ < 1) return;
    // The common controls the templates name (tabs, track bars, progress bars, the status bar).
    static const bool commonControls = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                                                   ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)commonControls;
    RegisterCustomControls();
    DialogState& state = Dialogs();
    if (!state.hook) state.hook = SetWindowsHookExW(WH_MSGFILTER, MsgFilterHook, nullptr, GetCurrentThreadId());
}

MorvaneDialog::~MorvaneDialog() {
    try {
        if (Window()) EndDialog(0);
    } catch (...) {
        // A destructor ends what it can; the window goes with the port below in any case.
    }
    Unlink();
    DialogState& state = Dialogs();
    if (!state.list) {
        state.scratchA.Reset();
        state.scratchB.Reset();
    }
    drawingRegion_.Reset();
    ReleaseResources();
    DisposePort(port_);
}

void MorvaneDialog::DetachFromList() noexcept {
    DialogState& state = Dialogs();
    if (state.list == this) {
        state.list = next_;
    } else if (MorvaneDialog* previous = PreviousInList(this)) {
        previous->next_ = next_;
    }
    next_ = nullptr;
}

void MorvaneDialog::Unlink() noexcept {
    DetachFromList();
    DialogState& state = Dialogs();
    if (state.front == this) state.front = nullptr;
    if (state.keyboard == this) state.keyboard = nullptr;
    ForEachDialog([this](MorvaneDialog* d) {
        if (d->rememberedKeyboard_ == this) d->rememberedKeyboard_ = nullptr;
        if (d->owner_ == this) d->owner_ = nullptr;
    });
}

void MorvaneDialog::ReleaseResources() noexcept {
    accelerators_ = nullptr;
    items_.clear();
    itemCount_ = 0;
    icon_.Reset();
    DialogState& state = Dialogs();
    if (!state.list && primaryTemplate_ >= 1) {
        UnregisterCustomControls();
        if (state.hook) {
            UnhookWindowsHookEx(state.hook);
            state.hook = nullptr;
        }
        SetHostWindow(state.defaultParent);
    }
}

bool MorvaneDialog::HookInstalled() { return Dialogs().hook != nullptr; }

int16_t MorvaneDialog::RunModal() {
    if (primaryTemplate_ < 1 || secondaryTemplate_ < 1) return 0;
    // A code recorded before the run belongs to what raised it then, not to this dialog.
    AlertState::ClearLastError();
    ending_ = false;
    Toolkit::SetResourceBase(static_cast<uint16_t>(primaryTemplate_));
    const HWND parent = owner_ && owner_->Window() ? owner_->Window() : Dialogs().defaultParent;
    const INT_PTR result = DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(secondaryTemplate_), parent, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    if (result == -1) THROW_IF_ERROR(Err::ResourceMissing);
    return result < 65535 ? static_cast<int16_t>(result) : 0;
}

HWND MorvaneDialog::CreateModeless() {
    if (primaryTemplate_ < 1 || secondaryTemplate_ < 1) return nullptr;
    AlertState::ClearLastError();
    ending_ = false;
    Toolkit::SetResourceBase(static_cast<uint16_t>(primaryTemplate_));
    modeless_ = true;
    const HWND parent = owner_ && owner_->Window() ? owner_->Window() : Dialogs().defaultParent;
    const HWND window = CreateDialogParamA(ThisModule(), MAKEINTRESOURCEA(secondaryTemplate_), parent, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    if (!window) THROW_IF_ERROR(Err::ResourceMissing);
    return window;
}

int16_t MorvaneDialog::DoEvent() {
    MSG message;
    if (GetMessageA(&message, nullptr, 0, 0) <= 0) {
        // WM_QUIT belongs to whoever runs the thread's outer loop: put it back for them.
        PostQuitMessage(static_cast<int>(message.wParam));
        return -1;
    }
    const HWND window = Window();
    const bool ours = window && (message.hwnd == window || IsChild(window, message.hwnd));
    // Only mouse input aimed at other windows is held back while this dialog runs its own loop:
    // their paints, timers and notices still have to arrive.
    const bool mouse = message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST;
    if (!ours && mouse) return result_;
    if (!window || !IsDialogMessageA(window, &message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return result_;
}

void MorvaneDialog::EndDialog(int16_t result) {
    const HWND window = Window();
    if (!window) return;
    result_ = result;
    if (idleTimer_) {
        KillTimer(window, idleTimer_);
        idleTimer_ = 0;
    }
    // Hidden while the window still exists, so that the front and keyboard roles pass on; hidden
    // after it has gone, the dialog would only be marked to open hidden next time.
    Hide();
    statusBar_ = nullptr;   // a child: it goes with the window
    if (modeless_) {
        DestroyWindow(window);
    } else {
        ::EndDialog(window, result);
    }
    ForgetWindow();
}

void MorvaneDialog::ForgetWindow() noexcept {
    open_ = false;
    visible_ = false;
    DisposePort(port_);
    port_.window = nullptr;
}

// ---- Default behaviour of the table's operations

int16_t MorvaneDialog::ItemHit(int16_t item) {
    return (item > 0 && (item == defaultItem_ || item == cancelItem_)) ? item : 0;
}

bool MorvaneDialog::ForwardItemHit(int16_t item, double /*value*/) {
    ItemHit(item);
    return true;
}

void MorvaneDialog::PressCancel() {
    const HWND item = ItemWindow(cancelItem_);
    if (cancelItem_ > 0 && item && IsWindowEnabled(item) && Window())
        PostMessageA(Window(), DialogIds::kPressCancel, 0, 0);
}

int16_t MorvaneDialog::DefaultItemIfEnabled() {
    const HWND item = ItemWindow(defaultItem_);
    return (defaultItem_ > 0 && item && IsWindowEnabled(item)) ? defaultItem_ : -1;
}

int16_t MorvaneDialog::Close() {
    if (cancelItem_ > 0) return cancelItem_;
    Hide();
    return 0;
}

int16_t MorvaneDialog::CursorForItem(int16_t item) {
    const HWND window = Window();
    if (window && !IsEmptyRect(sizeBox_) && !IsZoomed(window) &&
        RectContains(sizeBox_, mousePoint_.v, mousePoint_.h))
        return DialogCursor::kSizing;
    if (item < 0) return DialogCursor::kNone;
    if (item > 0 && item == statusItem_) {
        Dialogs().pointInClient = false;
        return DialogCursor::kNone;
    }
    if (const DialogItemRecord* record = ItemRecord(item); record && ItemKind::IsEditable(record->kind))
        return DialogCursor::kIBeam;
    return DialogCursor::kArrow;
}

int32_t MorvaneDialog::HelpStringId(int16_t item) {
    if (item < 1 || item > itemCount_) return 0;
    return int32_t{primaryTemplate_} * 65536 + item;
}

// ---- The list, the front and the keyboard

MorvaneDialog* MorvaneDialog::FrontDialog() { return Dialogs().front; }
MorvaneDialog* MorvaneDialog::KeyboardDialog() { return Dialogs().keyboard; }
MorvaneDialog* MorvaneDialog::FirstDialog() { return Dialogs().list; }
int32_t MorvaneDialog::TrackingDepth() { return Toolkit::TrackingDepth(); }
bool MorvaneDialog::DoubleClicked() { return Dialogs().doubleClick; }
int16_t MorvaneDialog::LastKeyCode() { return Dialogs().lastKey; }
const NumberChars& MorvaneDialog::NumberCharacters() { return Dialogs().chars; }

// Moves this dialog right behind `behind` in the list (null: to the end).
void MorvaneDialog::MoveInList(MorvaneDialog* behind) {
    if (behind == this) return;
    DialogState& state = Dialogs();
    DetachFromList();   // the front and keyboard roles stay where they are
    if (behind && IsListed(behind)) {
        next_ = behind->next_;
        behind->next_ = this;
    } else if (behind == kShowInFront || (behind && !IsListed(behind))) {
        next_ = state.list;
        state.list = this;
    } else {
        MorvaneDialog** tail = &state.list;
        while (*tail) tail = &(*tail)->next_;
        *tail = this;
    }
}

void MorvaneDialog::SetKeyboardDialog(MorvaneDialog* dialog) {
    DialogState& state = Dialogs();
    if (dialog == state.keyboard) return;
    if (MorvaneDialog* old = state.keyboard; old && old->Window()) old->TrackFocus(0);
    state.keyboard = dialog;
}

void MorvaneDialog::BringToFront() {
    DialogState& state = Dialogs();
    const HWND window = Window();
    if (IsFloating()) {
        if (window) SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, kNoActivateFlags);
        MoveInList(kShowInFront);
        SetKeyboardDialog(this);
        return;
    }
    if (state.front == this) return;
    if (MorvaneDialog* previous = state.front) {
        previous->rememberedKeyboard_ = state.keyboard;
        previous->SetActive(false);
    }
    // Stand behind the last visible floating window that precedes this dialog, so that the
    // floating windows in front of it stay in front.
    MorvaneDialog* lastFloating = nullptr;
    for (MorvaneDialog* d = state.list; d && d != this; d = d->next_)
        if (d->IsFloating() && d->IsVisible() && d->Window()) lastFloating = d;
    if (lastFloating) {
        if (window) SetWindowPos(window, lastFloating->Window(), 0, 0, 0, 0, kNoActivateFlags);
        MoveInList(lastFloating);
    } else {
        if (window) BringWindowToTop(window);
        MoveInList(kShowInFront);
    }
    SetActive(true);
    MorvaneDialog* remembered = rememberedKeyboard_;
    if (!(remembered && IsListed(remembered) && remembered->IsVisible() && remembered->Window())) remembered = this;
    SetKeyboardDialog(remembered);
    state.front = this;
    bool beforeFront = true;
    for (MorvaneDialog* d = state.list; d; d = d->next_) {
        if (d == this) {
            beforeFront = false;
            continue;
        }
        if (d->IsFloating() && d->Window()) d->SetActive(beforeFront);
    }
    if (window) SetHostWindow(window);
}

void MorvaneDialog::Show(MorvaneDialog* behind) {
    const HWND window = Window();
    if (!window) {
        hidePending_ = false;
        return;
    }
    if (!visible_) {
        if (behind == kShowInFront) {
            ShowWindow(window, SW_SHOWNA);
            visible_ = true;
            BringToFront();
            if (IsFloating()) SetActive(true);
        } else {
            const HWND after = behind && behind->Window() ? behind->Window() : HWND_TOP;
            SetWindowPos(window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
            MoveInList(behind);
            visible_ = true;
            if (IsFloating()) SetActive(true);
        }
    }
    if (!placed_ || IsFloating()) {
        KeepOnScreen();
        placed_ = true;
        UpdateRegion();
    }
    visible_ = true;
}

void MorvaneDialog::Hide() {
    const HWND window = Window();
    if (!open_) {
        // Before the dialog has opened (InitDialog included): it opens hidden.
        hidePending_ = true;
        visible_ = false;
        return;
    }
    if (!visible_) return;
    ShowWindow(window, SW_HIDE);
    visible_ = false;
    DialogState& state = Dialogs();
    MorvaneDialog* successor = FirstOtherModal(this);
    if (state.front == this) {
        state.front = nullptr;
        if (successor) {
            successor->BringToFront();
        } else if (MorvaneDialog* keyboard = state.keyboard) {
            keyboard->focus_.pendingEdit = false;
            state.keyboard = nullptr;
        }
    }
    if (state.keyboard == this) state.keyboard = successor;
}

void MorvaneDialog::ShowAll() {
    // From the back to the front, so that the front ends on top.
    MorvaneDialog* stack[256];
    int count = 0;
    for (MorvaneDialog* d = Dialogs().list; d && count < 256; d = d->next_) stack[count++] = d;
    while (count > 0) stack[--count]->Show(kShowInFront);
}

void MorvaneDialog::SetActive(bool active) {
    active_ = active;
    const HWND window = Window();
    if (!window) return;
    if (replacedProc_) CallWindowProcA(replacedProc_, window, WM_NCACTIVATE, active, 0);
    if (IsFloating()) EnableWindow(window, active);
    if (!active && statusItem_ > 0) ShowHelp(0);
}

void MorvaneDialog::SuspendFloating(FloatingSuspension& saved) {
    DialogState& state = Dialogs();
    SetCursorId(DialogCursor::kArrow);
    if (MorvaneDialog* front = state.front) {
        for (MorvaneDialog* d = state.list; d && d != front; d = d->next_)
            if (d->IsFloating() && d->IsVisible()) d->SetActive(false);
        front->SetActive(false);
    }
    saved.front = state.front;
    saved.keyboardActive = state.keyboard;
    ClearLastKeys(state);
    state.front = nullptr;
    state.keyboard = nullptr;
}

void MorvaneDialog::ResumeFloating(const FloatingSuspension& saved) {
    DialogState& state = Dialogs();
    state.front = saved.front && IsListed(saved.front) ? saved.front : nullptr;
    state.keyboard = saved.keyboardActive && IsListed(saved.keyboardActive) ? saved.keyboardActive : nullptr;
    if (state.defaultParent) SetWindowPos(state.defaultParent, HWND_TOP, 0, 0, 0, 0, kNoActivateFlags);
    MorvaneDialog* stack[256];
    int count = 0;
    for (MorvaneDialog* d = state.list; d && count < 256; d = d->next_) stack[count++] = d;
    const HWND modal = AlertState::CurrentAlertWindow();
    bool inFront = false;   // walking from the back: the front dialog comes before those in front of it
    while (count > 0) {
        MorvaneDialog* d = stack[--count];
        if (d == state.front) inFront = true;
        if (d->IsFloating() && d->IsVisible() && inFront) d->SetActive(true);
        if (const HWND window = d->Window()) SetWindowPos(window, modal ? modal : HWND_TOP, 0, 0, 0, 0, kNoActivateFlags);
    }
    if (state.front) state.front->SetActive(true);
}

FloatingWindowsSuspended::~FloatingWindowsSuspended() {
    try {
        MorvaneDialog::ResumeFloating(saved_);
    } catch (...) {
        // Should putting the windows back fail, they stay where they are: a destructor lets
        // nothing out.
    }
}

void MorvaneDialog::ActivateApp(bool active) {
    DialogState& state = Dialogs();
    if (state.applicationInactive == !active) return;
    state.applicationInactive = !active;
    if (!active) {
        if (state.front) state.front->SetActive(false);
        for (MorvaneDialog* d = state.list; d; d = d->next_)
            if (d->IsFloating() && d->IsVisible() && d->Window()) ShowWindow(d->Window(), SW_HIDE);
        ClearLastKeys(state);
        return;
    }
    if (state.defaultParent) SetWindowPos(state.defaultParent, HWND_TOP, 0, 0, 0, 0, kNoActivateFlags);
    MorvaneDialog* stack[256];
    int count = 0;
    for (MorvaneDialog* d = state.list; d && count < 256; d = d->next_) stack[count++] = d;
    const HWND modal = AlertState::CurrentAlertWindow();
    bool inFront = false;
    while (count > 0) {
        MorvaneDialog* d = stack[--count];
        if (d == state.front) inFront = true;
        const HWND window = d->Window();
        if (d->IsFloating() && d->IsVisible() && window) {
            ShowWindow(window, SW_SHOWNA);
            if (inFront) d->SetActive(true);
        }
        if (window) SetWindowPos(window, modal ? modal : HWND_TOP, 0, 0, 0, 0, kNoActivateFlags);
    }
    if (state.front) state.front->SetActive(true);
}

int16_t MorvaneDialog::Alert(MorvaneDialog* dialog, int16_t alertId, const char* text0, const char* text1) {
    ModalNestingScope nesting(dialog);
    DialogState& state = Dialogs();
    HWND owner = nullptr;
    if (dialog) owner = dialog->IsFloating() && dialog->owner_ ? dialog->owner_->Window() : dialog->Window();
    if (!owner) owner = state.defaultParent;
    SetCursorId(DialogCursor::kArrow);
    FloatingSuspension saved;
    const bool inactive = state.applicationInactive;
    if (inactive) {
        saved.front = state.front;
        saved.keyboardActive = state.keyboard;
        state.front = nullptr;
        state.keyboard = nullptr;
    } else {
        SuspendFloating(saved);
    }
    int16_t answer = 0;
    try {
        AlertState::SetCenteringOverride(owner);
        answer = RunModalDialog(&owner, alertId, text0, text1);
    } catch (...) {
        // The alert itself failed (its code was shown through its own alert): put the windows back
        // before the failure goes on.
        if (inactive) {
            state.front = saved.front;
            state.keyboard = saved.keyboardActive;
        } else {
            ResumeFloating(saved);
        }
        throw;
    }
    if (inactive) {
        state.front = saved.front;
        state.keyboard = saved.keyboardActive;
    } else {
        ResumeFloating(saved);
    }
    if (state.front) state.front->ActivateApp(true);
    return answer;
}

// ---- Cursors and help

void MorvaneDialog::SetCursorId(int16_t id) {
    DialogState& state = Dialogs();
    if (id < 0) {
        state.cursorId = id;
        return;
    }
    HCURSOR cursor = nullptr;
    if (id >= 32512) {
        cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(id));
    } else if (id >= 1) {
        cursor = LoadCursorA(ThisModule(), MAKEINTRESOURCEA(id));
    }
    if (!cursor) cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    SetCursor(cursor);
    state.cursorId = id;
}

int16_t MorvaneDialog::CursorId() { return Dialogs().cursorId; }

void MorvaneDialog::ShowHelp(int32_t helpId) {
    if (statusItem_ <= 0 || helpId == lastHelpShown_) return;
    lastHelpShown_ = helpId;
    if (helpId == -1) {
        if (defaultStatus_) SetStatusText(defaultStatus_);
        return;
    }
    if (helpId == 0) {
        SetStatusText(nullptr);
        return;
    }
    // The string of the template id plus the item number; a missing string shows nothing rather
    // than an error, as hovering over an item without help is no fault.
    const int id = (helpId >> 16) + static_cast<int16_t>(helpId & 0xFFFF);
    char text[256] = {};
    if (!LoadResourceString(id, text, sizeof text)) text[0] = 0;
    SetStatusText(text);
}

void MorvaneDialog::SetStatusText(const char* text) {
    if (statusBar_) SetWindowTextA(statusBar_, text ? text : "");
}

void MorvaneDialog::CreateStatusBar(int16_t item) {
    const HWND window = Window();
    const HWND old = ItemWindow(item);
    if (!window || !old) return;
    DestroyWindow(old);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const DWORD barStyle = WS_CHILD | WS_VISIBLE | ((style & WS_THICKFRAME) ? SBARS_SIZEGRIP : 0);
    const HWND bar = CreateStatusWindowA(static_cast<LONG>(barStyle), "", window, static_cast<UINT>(item));
    if (!bar) {
        statusItem_ = 0;
        items_[item - 1].window = nullptr;
        return;
    }
    SendMessageA(bar, WM_SETFONT, SendMessageA(window, WM_GETFONT, 0, 0), FALSE);
    statusBar_ = bar;
    statusItem_ = item;
    DialogItemRecord& record = items_[item - 1];
    record.window = bar;
    record.flags |= kItemStretchesWidth | kItemFollowsBottom;
    ReadFontMetrics();
    RECT client{};
    GetClientRect(window, &client);
    const int height = fontHeight_ + 4;
    MoveWindow(bar, 0, client.bottom - height, client.right, height, TRUE);
    UpdateRegion();
}
