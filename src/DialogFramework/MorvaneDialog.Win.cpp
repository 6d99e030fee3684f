// The dialog base's messages: the dialog procedure every dialog shares, the message-filter hook
// that routes the keys of the system's modal loop, key navigation, painting and the edit
// commands. The procedures and the hook are borders: nothing thrown inside leaves them.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "Alerts.h"
#include "DialogState.h"
#include "Errors.h"
#include "MorvaneDialog.h"
#include "ThisModule.h"
#include "ToolkitState.h"
#include "WindowServices.h"

namespace {

MorvaneDialog* DialogOf(HWND window) {
    return reinterpret_cast<MorvaneDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// Raises a counter for the life of a call.
class CountScope {
public:
    explicit CountScope(int32_t& count) : count_(count) { ++count_; }
    CountScope(const CountScope&) = delete;
    CountScope& operator=(const CountScope&) = delete;
    ~CountScope() { --count_; }

private:
    int32_t& count_;
};

Point16 PointOf(LPARAM lParam) {
    return Point16{static_cast<int16_t>(HIWORD(lParam)), static_cast<int16_t>(LOWORD(lParam))};
}

// The DialogKeyCode of a virtual key, or 0 for a key that is none of them.
int16_t KeyCodeOf(WPARAM virtualKey) {
    switch (virtualKey) {
        case VK_HOME: return DialogKeyCode::kHome;
        case VK_END: return DialogKeyCode::kEnd;
        case VK_TAB: return DialogKeyCode::kTab;
        case VK_PRIOR: return DialogKeyCode::kPageUp;
        case VK_NEXT: return DialogKeyCode::kPageDown;
        case VK_RETURN: return DialogKeyCode::kReturn;
        case VK_ESCAPE: return DialogKeyCode::kEscape;
        case VK_LEFT: return DialogKeyCode::kLeft;
        case VK_RIGHT: return DialogKeyCode::kRight;
        case VK_UP: return DialogKeyCode::kUp;
        case VK_DOWN: return DialogKeyCode::kDown;
        case VK_SPACE: return DialogKeyCode::kSpace;
        case VK_ADD: return DialogKeyCode::kPlus;
        case VK_SUBTRACT: return DialogKeyCode::kMinus;
        default: return 0;
    }
}

bool IsKeyboardMessage(UINT message) { return message >= WM_KEYFIRST && message <= WM_KEYLAST; }
bool IsMouseMessage(UINT message) { return message >= WM_MOUSEFIRST && message <= WM_MOUSELAST; }

}  // namespace

// The helpers the procedure and the hook share; a friend of the dialog.
class DialogRouting {
public:
    static void NoteClick(DialogState& state) {
        const DWORD now = GetMessageTime();
        if (state.hadClick && now - state.lastClickTime <= GetDoubleClickTime()) state.doubleClick = true;
        state.hadClick = true;
        state.lastClickTime = now;
    }

    // Cursor and hot help for the dialog under the cursor.
    static void FollowCursor(MorvaneDialog& dialog) {
        DialogState& state = Dialogs();
        POINT screen{};
        GetCursorPos(&screen);
        POINT client = screen;
        if (dialog.Window()) ScreenToClient(dialog.Window(), &client);
        dialog.mousePoint_ = Point16{ClampToInt16(client.y), ClampToInt16(client.x)};
        MorvaneDialog* hovered = MorvaneDialog::FindDialogAtPoint(screen);
        if (!hovered) {
            if (state.front && !state.applicationInactive) state.front->ShowHelp(0);
            return;
        }
        POINT inHovered = screen;
        ScreenToClient(hovered->Window(), &inHovered);
        hovered->mousePoint_ = Point16{ClampToInt16(inHovered.y), ClampToInt16(inHovered.x)};
        // The item under the point: 0 for the dialog itself, -1 where there is no window.
        int16_t item = -1;
        const HWND child = ChildWindowFromPointEx(hovered->Window(), inHovered, CWP_SKIPINVISIBLE);
        if (child == hovered->Window()) {
            item = 0;
        } else if (child) {
            item = static_cast<int16_t>(GetDlgCtrlID(child));
        }
        if (Toolkit::TrackingDepth() == 0 && hovered->IsVisible() && hovered->IsActive() && !state.applicationInactive)
            MorvaneDialog::SetCursorId(hovered->CursorForItem(item));
        if (state.front && !state.applicationInactive) state.front->ShowHelp(hovered->HelpStringId(item));
    }

    static LRESULT Dispatch(MorvaneDialog& dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        CountScope depth(dialog.messageDepth_);
        if (AlertState::LastError() != 0 && dialog.open_ && !dialog.modeless_ && !dialog.ending_) {
            dialog.ending_ = true;
            const ErrorCode code = AlertState::LastError();
            AlertState::ClearLastError();
            dialog.EndDialog(code);
            return 1;
        }
        if (!dialog.Window()) return 0;
        if (message == WM_SETCURSOR || message == WM_MOUSEMOVE) FollowCursor(dialog);
        int16_t item = -1;
        const LRESULT answer = dialog.HandleMessage(message, wParam, lParam, item);
        if (answer == 1 && dialog.Window()) {
            item = dialog.ValidateEditItem(item);
            if (item == 0) {
                item = dialog.postedItem_;
                dialog.postedItem_ = 0;
            }
            if (item > 0) {
                if (const int16_t end = dialog.ItemHit(item)) dialog.EndDialog(end);
            }
        }
        return answer;
    }

    static LRESULT Hook(int code, LPARAM lParam) {
        DialogState& state = Dialogs();
        MSG* message = reinterpret_cast<MSG*>(lParam);
        if (code != MSGF_DIALOGBOX || !message || !state.front) return 0;
        MorvaneDialog* front = state.front;
        state.doubleClick = false;
        state.lastInput = InputKind::None;
        state.inAccelerator = false;
        const UINT kind = message->message;
        if (kind == WM_KEYUP) ClearLastKeys(state);
        if (IsKeyboardMessage(kind)) {
            // While a control holds the mouse (a popup slider, a menu button), its keys are its
            // own: Return and Escape end what it is doing, not the dialog.
            if (const HWND capture = GetCapture()) {
                if (kind == WM_KEYDOWN || kind == WM_CHAR || kind == WM_KEYUP)
                    SendMessageA(capture, kind, message->wParam, message->lParam);
                return 1;
            }
        }
        MorvaneDialog* focusDialog = MorvaneDialog::FindFocusedDialog();
        int16_t focusItem = focusDialog ? focusDialog->GetFocusedItem() : 0;
        if (front->accelerators_ && front->Window()) {
            state.inAccelerator = true;
            const int translated = TranslateAcceleratorA(front->Window(), front->accelerators_, message);
            state.inAccelerator = false;
            if (translated) return 1;
        }
        if (focusDialog) {
            MorvaneDialog::SetKeyboardDialog(focusDialog);
            focusDialog->TrackFocus(focusItem);
        }
        if (kind == WM_LBUTTONDOWN || kind == WM_RBUTTONDOWN || kind == WM_MBUTTONDOWN) {
            const HWND parent = GetParent(message->hwnd);
            for (MorvaneDialog* d = state.list; d; d = d->next_)
                if (d->IsFloating() && d->Window() && d->Window() == parent) d->MoveInList(kShowInFront);
        }
        if (kind == WM_TIMER) {
            state.lastInput = InputKind::Timer;
            return 0;
        }
        if (IsMouseMessage(kind)) state.lastInput = InputKind::Mouse;
        if (IsKeyboardMessage(kind)) state.lastInput = InputKind::Key;
        int16_t key = 0;
        if (kind == WM_KEYDOWN) {
            if (message->wParam < 9 || message->wParam > 189) return 0;
            key = KeyCodeOf(message->wParam);
            if (message->wParam == VK_OEM_PLUS) key = DialogKeyCode::kPlus;
            if (message->wParam == VK_OEM_MINUS) key = DialogKeyCode::kMinus;
            if (key == 0) return 0;
        } else if (kind == WM_CHAR) {
            key = static_cast<int16_t>(static_cast<signed char>(message->wParam & 0xFF));
        } else {
            return 0;
        }
        state.lastKey = key;
        state.lastKeyCopy = key;
        int16_t item = front->HandleKey(key, GetModifierKeys());
        if (item < 0) {
            item = front->NavigateKey(key, GetModifierKeys());
            if (item < 0) return 0;
        }
        if (item >= 1 && front->Window()) {
            item = front->ValidateEditItem(item);
            if (item >= 1) {
                if (const int16_t end = front->ItemHit(item)) front->EndDialog(end);
            }
        }
        return 1;
    }
};

// ---- Procedures

INT_PTR CALLBACK MorvaneDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialogs().doubleClick = false;
    try {
        if (message == WM_INITDIALOG) {
            auto* dialog = reinterpret_cast<MorvaneDialog*>(lParam);
            if (!dialog) return 0;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
            dialog->AttachWindow(window);
            dialog->InitDialog();
            dialog->UpdateRegion();
            dialog->open_ = true;
            if (!dialog->hidePending_) dialog->Show(kShowInFront);
            dialog->hidePending_ = false;
            if (!dialog->IsFloating())
                dialog->idleTimer_ = SetTimer(window, DialogIds::kIdleTimer, DialogIds::kIdleMilliseconds, nullptr);
            // The system gives the first control the focus unless InitDialog placed it.
            const HWND focus = GetFocus();
            return (focus && (focus == window || IsChild(window, focus))) ? 0 : 1;
        }
        MorvaneDialog* dialog = DialogOf(window);
        if (!dialog) return 0;
        if (message == WM_NCDESTROY) {
            // Destroyed from outside (its parent went): nothing may reach the window after this.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            if (dialog->port_.window == window) dialog->ForgetWindow();
            return 0;
        }
        const LRESULT answer = DialogRouting::Dispatch(*dialog, message, wParam, lParam);
        switch (message) {
            case WM_SETCURSOR:
            case WM_ERASEBKGND:
            case WM_GETMINMAXINFO:
                SetWindowLongPtrA(window, DWLP_MSGRESULT, answer);
                break;
            default:
                break;
        }
        return answer;
    } catch (...) {
        // A failure inside a dialog's operation ends the message, not the host: its code was shown
        // by the alert that raised it.
        return 1;
    }
}

LRESULT CALLBACK MorvaneDialog::FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MorvaneDialog* dialog = DialogOf(window);
    const WNDPROC replaced = dialog ? dialog->replacedProc_ : nullptr;
    if (!replaced) return DefWindowProcA(window, message, wParam, lParam);
    // Only SetActive changes the title bar's active look: a floating tab clicked while the modal
    // dialog runs must not grey the modal dialog's caption.
    if (message == WM_NCACTIVATE) return 1;
    return CallWindowProcA(replaced, window, message, wParam, lParam);
}

LRESULT CALLBACK MorvaneDialog::MsgFilterHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code < 0) return CallNextHookEx(nullptr, code, wParam, lParam);
    try {
        return DialogRouting::Hook(code, lParam);
    } catch (...) {
        // A failed key is a swallowed key; the loop goes on.
        return 1;
    }
}

void MorvaneDialog::AttachWindow(HWND window) {
    InitPort(port_, window);
}

// ---- Messages

LRESULT MorvaneDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) {
    DialogState& state = Dialogs();
    const HWND window = Window();
    item = -1;
    switch (message) {
        case WM_COMMAND: {
            if (lParam) {
                item = CommandToItem(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            } else {
                item = DoEditCommand(static_cast<int16_t>(LOWORD(wParam)));
            }
            return item >= 0 ? 1 : 0;
        }
        case WM_DESTROY:
            return 0;
        case WM_MOVE:
            Moved(static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam)));
            return 0;
        case WM_SIZE:
            OnSize();
            return 0;
        case WM_PAINT: {
            inPaint_ = true;
            try {
                Paint();
            } catch (...) {
                inPaint_ = false;
                throw;
            }
            inPaint_ = false;
            return 1;
        }
        case WM_CLOSE:
            item = Close();
            return 1;
        case WM_ERASEBKGND:
            return skipErase_ ? 1 : 0;
        case WM_SYSCOLORCHANGE:
            port_.backColor = GetSysColor(COLOR_BTNFACE);
            UpdateBackBrush(port_);
            return 0;
        case WM_ACTIVATEAPP:
            ActivateApp(wParam != 0);
            return 0;
        case WM_SETCURSOR: {
            const UINT mouse = HIWORD(lParam);
            if (state.applicationInactive && (mouse == WM_LBUTTONDOWN || mouse == WM_RBUTTONDOWN || mouse == WM_MBUTTONDOWN)) {
                const HWND modal = AlertState::CurrentAlertWindow();
                const HWND top = modal ? modal : (state.front ? state.front->Window() : nullptr);
                if (top) SetWindowPos(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            }
            return state.pointInClient ? 1 : 0;
        }
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = POINT{minWidth_ + extraWidth_, minHeight_ + extraHeight_};
            info->ptMaxTrackSize = POINT{maxWidth_ + extraWidth_, maxHeight_ + extraHeight_};
            return 1;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            const auto id = static_cast<int16_t>(header->idFrom);
            if (const DialogItemRecord* record = ItemRecord(id)) {
                if ((record->kind == ItemKind::kTabControl && header->code == TCN_SELCHANGE) ||
                    record->kind == ItemKind::kTrackBar) {
                    item = id;
                    return 1;
                }
            }
            return 0;
        }
        case WM_NCLBUTTONDOWN:
            if (wParam == HTCAPTION && IsFloating()) {
                BringToFront();
                POINT start{static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam))};
                if (DragFrame(start, false)) {
                    item = 0;
                    return 1;
                }
            }
            return 0;
        case WM_HSCROLL:
        case WM_VSCROLL:
            if (lParam) HandleScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam), item);
            return item >= 0 ? 1 : 0;
        case WM_INITMENU:
            UpdateMenus();
            if (!state.inAccelerator) Toolkit::RaiseTrackingDepth();
            return 0;
        case WM_MENUSELECT:
            if (HIWORD(wParam) == 0xFFFF && lParam == 0) Toolkit::LowerTrackingDepth();
            return 0;
        case WM_TIMER:
            if (wParam != idleTimer_) return 0;
            if (flags_ & kSkipIdleTick) {
                flags_ &= ~kSkipIdleTick;
                return 0;
            }
            if (modalNesting_ < 1) Idle();
            return 1;
        case WM_MOUSEMOVE:
            return state.pointInClient ? 1 : 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case DialogIds::kItemMouseDown: {
            POINT screen{};
            GetCursorPos(&screen);
            if (state.cursorId == DialogCursor::kSizing && message != DialogIds::kItemMouseDown) {
                DragFrame(screen, true);
                item = 0;
                return 1;
            }
            DialogRouting::NoteClick(state);
            if (message == DialogIds::kItemMouseDown) {
                item = static_cast<int16_t>(wParam);
                return 1;
            }
            BringToFront();
            if (!ClickInFrame(PointOf(lParam))) item = 0;
            return 1;
        }
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (IsFloating()) MoveInList(kShowInFront);
            return 0;
        case DialogIds::kPressCancel:
            if (cancelItem_ > 0) item = cancelItem_;
            return 1;
        case DialogIds::kItemMouseUp:
        case DialogIds::kItemRightClick:
            // No dialog takes a user item's release or right click: the controls' message ends here.
            return 0;
        case WM_DEVICECHANGE:
            if (wParam == 0x8000 /* DBT_DEVICEARRIVAL */ && state.front) state.front->DeviceArrived();
            return 0;
        case WM_DROPFILES:
            if (dropCallback_) dropCallback_(dropContext_, message, wParam, lParam);
            return 0;
        default:
            return 0;
    }
}

void MorvaneDialog::OnSize() {
    const HWND window = Window();
    if (!window) return;
    RECT client{};
    GetClientRect(window, &client);
    const int widthChange = client.right - RectWidth(contentRect_);
    const int heightChange = client.bottom - RectHeight(contentRect_);
    if (widthChange != 0 || heightChange != 0) MoveBy(widthChange, heightChange);
}

void MorvaneDialog::InitDialog() {
    DialogState& state = Dialogs();
    const HWND window = port_.window;
    BuildItemTable();
    if (!IsFloating()) {
        accelerators_ = LoadAcceleratorsA(ThisModule(), MAKEINTRESOURCEA(primaryTemplate_));
        if (!accelerators_) accelerators_ = LoadAcceleratorsA(ThisModule(), MAKEINTRESOURCEA(DialogIds::kEditAccelerators));
    }
    ReadFontMetrics();
    scrollBarWidth_ = static_cast<int16_t>(GetSystemMetrics(SM_CXVSCROLL));
    scrollBarHeight_ = static_cast<int16_t>(GetSystemMetrics(SM_CYHSCROLL));
    ReadNumberCharacters();
    replacedProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MorvaneDialog::FrameWindowProc)));
    if (!state.scratchA) state.scratchA = NewRectRgn(Rect16{});
    if (!state.scratchB) state.scratchB = NewRectRgn(Rect16{});
    InitialBounds();
    RECT client{};
    GetClientRect(window, &client);
    RECT frame{};
    GetWindowRect(window, &frame);
    minWidth_ = static_cast<int16_t>(client.right);
    minHeight_ = static_cast<int16_t>(client.bottom);
    extraWidth_ = static_cast<int16_t>((frame.right - frame.left) - client.right);
    extraHeight_ = static_cast<int16_t>((frame.bottom - frame.top) - client.bottom);
    maxWidth_ = static_cast<int16_t>(32767 - extraWidth_);
    maxHeight_ = static_cast<int16_t>(32767 - extraHeight_);
    contentRect_ = Rect16{0, 0, static_cast<int16_t>(client.bottom), static_cast<int16_t>(client.right)};
    state.cursorId = DialogCursor::kNone;
    inPaint_ = false;
    UpdateRegion();
}

void MorvaneDialog::ReadFontMetrics() {
    const HWND window = port_.window;
    if (!window) return;
    const WindowDC dc(window);
    if (!dc.Get()) return;
    const HGDIOBJ old = SelectObject(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageA(window, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics{};
    if (GetTextMetricsA(dc.Get(), &metrics)) {
        fontHeight_ = static_cast<int16_t>(metrics.tmHeight);
        fontAscent_ = static_cast<int16_t>(metrics.tmAscent);
        fontDescent_ = static_cast<int16_t>(metrics.tmDescent);
    }
    SelectObject(dc.Get(), old);
}

void MorvaneDialog::ReadNumberCharacters() {
    NumberChars& chars = Dialogs().chars;
    char decimal[8] = {}, thousands[8] = {}, plus[8] = {}, minus[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, sizeof decimal);
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousands, sizeof thousands);
    const auto single = [](const char* text) { return text[0] != 0 && text[1] == 0 ? text[0] : ' '; };
    const char d = single(decimal), t = single(thousands);
    if (static_cast<unsigned char>(d) >= 33 && d != t) {
        chars.decimal = d;
        chars.thousands = t;
    }
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SPOSITIVESIGN, plus, sizeof plus);
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SNEGATIVESIGN, minus, sizeof minus);
    if (static_cast<unsigned char>(single(plus)) >= 33) chars.plus = single(plus);
    if (static_cast<unsigned char>(single(minus)) >= 33) chars.minus = single(minus);
}

// ---- Keys

int16_t MorvaneDialog::HandleKey(int16_t key, uint16_t modifiers) {
    DialogState& state = Dialogs();
    if (state.keyboard != this) {
        MorvaneDialog* keyboard = state.keyboard;
        if (!keyboard || !keyboard->Window()) return -1;
        int16_t item = keyboard->HandleKey(key, modifiers);
        if (item < 0) return -1;
        if (item >= 1) {
            item = keyboard->ValidateEditItem(item);
            if (item >= 1) keyboard->ItemHit(item);
        }
        return 0;
    }
    if (key == 0) return 0;
    const DialogItemRecord* record = ItemRecord(focus_.item);
    if (!record || (modifiers & kModifierControl)) return -1;
    const bool numberEdit = ItemKind::IsEditable(record->kind) && ItemKind::IsNumber(record->kind);
    if (!numberEdit) return -1;
    if (key == DialogKeyCode::kUp || key == DialogKeyCode::kDown) return StepNumberEdit(key, modifiers);
    if (key >= 33 && key <= 126) return FilterNumberKey(key) ? -1 : 0;
    return -1;
}

int16_t MorvaneDialog::NavigateKey(int16_t key, uint16_t modifiers) {
    switch (key) {
        case DialogKeyCode::kTab: {
            const HWND focus = GetFocus();
            const HWND parent = focus ? GetParent(focus) : nullptr;
            const HWND container = parent ? parent : Window();
            if (!container) return 0;
            const HWND next = GetNextDlgTabItem(container, focus, (modifiers & kModifierShift) != 0);
            if (next) {
                SetFocus(next);
                SendMessageA(next, EM_SETSEL, 0, -1);
            }
            return 0;
        }
        case DialogKeyCode::kReturn:
            return DefaultItemIfEnabled();
        case DialogKeyCode::kEscape:
        case DialogKeyCode::kCtrlC:
            PressCancel();
            return 0;
        default:
            return -1;
    }
}

// ---- Painting

void MorvaneDialog::Paint() {
    const HWND window = Window();
    if (!window) return;
    PAINTSTRUCT paint{};
    if (!BeginPaint(window, &paint)) return;
    struct EndPaintGuard {
        HWND window;
        PAINTSTRUCT* paint;
        ~EndPaintGuard() { EndPaint(window, paint); }
    } endPaint{window, &paint};
    OwnedRgn update(CreateRectRgnIndirect(&paint.rcPaint));
    if (!update) THROW_IF_ERROR(Err::MemoryFull);
    struct ClipGuard {
        DrawingPort& port;
        ~ClipGuard() {
            port.extraClipRgn = nullptr;
            if (port.visibleRgn) {
                OwnedRgn copy(CreateRectRgn(0, 0, 0, 0));
                if (copy) {
                    ::CombineRgn(copy.Get(), port.visibleRgn.Get(), nullptr, RGN_COPY);
                    SetClipRgn(port, copy.Get());
                }
            }
        }
    } clip{port_};
    port_.extraClipRgn = update.Get();
    if (port_.visibleRgn) {
        OwnedRgn copy(CreateRectRgn(0, 0, 0, 0));
        if (copy) {
            ::CombineRgn(copy.Get(), port_.visibleRgn.Get(), nullptr, RGN_COPY);
            SetClipRgn(port_, copy.Get());
        }
    }
    Update(update.Get());
}

void MorvaneDialog::Update(HRGN region) {
    const HWND window = Window();
    if (!window) return;
    if (!region) {
        UpdateWindow(window);
        return;
    }
    DrawItem(0);
    for (int16_t n = itemCount_; n >= 1; --n) {
        const HWND item = ItemWindow(n);
        if (!item || !IsWindowVisible(item)) continue;
        const Rect16 r = GetItemRect(n);
        const RECT rect = ToRECT(r);
        if (RectInRegion(region, &rect)) DrawItem(n);
    }
    if (!IsEmptyRect(sizeBox_) && !IsZoomed(window)) DrawSizeGrip(port_, sizeBox_);
}

void MorvaneDialog::MoveBy(int widthChange, int heightChange) {
    OffsetRect16(sizeBox_, widthChange, heightChange);
    for (int16_t n = 1; n <= itemCount_; ++n) {
        const DialogItemRecord& record = items_[n - 1];
        if (!record.window) continue;
        const Rect16 before = GetItemRect(n);
        Rect16 after = before;
        if (record.flags & kItemFollowsRight) OffsetRect16(after, widthChange, 0);
        if (record.flags & kItemStretchesWidth) after.right = ClampToInt16(after.right + widthChange);
        if (record.flags & kItemFollowsBottom) OffsetRect16(after, 0, heightChange);
        if (record.flags & kItemStretchesHeight) after.bottom = ClampToInt16(after.bottom + heightChange);
        if (!EqualRects(before, after)) MoveItem(n, after);
    }
    if (const HWND window = Window()) {
        RECT client{};
        GetClientRect(window, &client);
        contentRect_ = Rect16{0, 0, static_cast<int16_t>(client.bottom), static_cast<int16_t>(client.right)};
    }
    UpdateRegion();
}

void MorvaneDialog::MoveItem(int16_t item, const Rect16& rect) {
    const HWND window = Window();
    const HWND control = ItemWindow(item);
    if (!window || !control) return;
    const DialogItemRecord& record = items_[item - 1];
    if (IsWindowVisible(control) && !(record.flags & kItemHidden)) {
        const Rect16 old = GetItemRect(item);
        PortDC dc(port_);
        if (dc) {
            const RECT r = ToRECT(old);
            FillRect(dc.Get(), &r, port_.backBrush.Get());
        }
    }
    const int offset = record.parked ? 10000 : 0;
    MoveWindow(control, rect.left - offset, rect.top - offset, RectWidth(rect), RectHeight(rect), FALSE);
    const RECT fresh = ToRECT(rect);
    ::InvalidateRect(window, &fresh, FALSE);
}

// ---- Edit commands and menus

int16_t MorvaneDialog::DoEditCommand(int16_t command) {
    MorvaneDialog* owner = FindFocusedDialog();
    if (!owner) return 0;
    const int16_t item = owner->GetFocusedItem();
    const DialogItemRecord* record = owner->ItemRecord(item);
    if (!record || !ItemKind::IsEditable(record->kind)) return 0;
    const HWND control = record->window;
    bool settle = true;
    switch (command) {
        case DialogIds::kUndo: SendMessageA(control, WM_UNDO, 0, 0); break;
        case DialogIds::kCopy: SendMessageA(control, WM_COPY, 0, 0); settle = false; break;
        case DialogIds::kCut: SendMessageA(control, WM_CUT, 0, 0); break;
        case DialogIds::kPaste: SendMessageA(control, WM_PASTE, 0, 0); break;
        case DialogIds::kSelectAll: SendMessageA(control, EM_SETSEL, 0, -1); settle = false; break;
        case DialogIds::kClear: SendMessageA(control, WM_CLEAR, 0, 0); break;
        default: return 0;
    }
    if (settle) {
        const int16_t hit = owner->ValidateEditItem(item);
        if (hit >= 1) owner->ItemHit(hit);
    }
    return 0;
}

void MorvaneDialog::UpdateMenus() {
    DialogState& state = Dialogs();
    MorvaneDialog* focused = FindFocusedDialog();
    if (focused && focused != this) {
        focused->UpdateMenus();
        return;
    }
    if (!state.front || !state.front->Window()) return;
    const HMENU menu = GetMenu(state.front->Window());
    if (!menu) return;
    unsigned mask = 0;
    const DialogItemRecord* record = ItemRecord(GetFocusedItem());
    if (!record || !ItemKind::IsEditable(record->kind)) {
        mask = 1u << 0;
    } else {
        DWORD start = 0, end = 0;
        SendMessageA(record->window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        mask = (end > start) ? (1u << 0 | 1u << 3 | 1u << 4 | 1u << 6 | 1u << 7) : (1u << 0 | 1u << 7);
        if (IsClipboardFormatAvailable(CF_TEXT)) mask |= 1u << 5;
    }
    for (int bit = 0; bit < 8; ++bit)
        EnableMenuItem(menu, DialogIds::kUndo + bit, MF_BYCOMMAND | ((mask >> bit) & 1 ? MF_ENABLED : MF_GRAYED));
}

// ---- Mouse tracking and hit finding

bool MorvaneDialog::TrackMouse(Point16& point) {
    DialogState& state = Dialogs();
    POINT cursor{};
    GetCursorPos(&cursor);
    if (state.front && state.front->Window()) ScreenToClient(state.front->Window(), &cursor);
    point = Point16{ClampToInt16(cursor.y), ClampToInt16(cursor.x)};
    const bool down = AnyMouseButtonDown();
    if (down && state.front) {
        Toolkit::TrackingScope tracking;
        state.front->Idle();
    }
    return down;
}

MorvaneDialog* MorvaneDialog::FindDialogAtPoint(POINT screen) {
    DialogState& state = Dialogs();
    for (MorvaneDialog* d = state.list; d; d = d->next_) {
        const HWND window = d->Window();
        if (!window || !IsWindowVisible(window)) continue;
        RECT client{};
        GetClientRect(window, &client);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
        if (PtInRect(&client, screen)) {
            state.pointInClient = true;
            return d;
        }
        RECT frame{};
        GetWindowRect(window, &frame);
        if (PtInRect(&frame, screen)) {
            state.pointInClient = false;
            return d;
        }
    }
    state.pointInClient = false;
    return nullptr;
}

MorvaneDialog* MorvaneDialog::FindFocusedDialog() {
    const HWND focus = GetFocus();
    if (!focus) return nullptr;
    const HWND parent = GetParent(focus);
    for (MorvaneDialog* d = Dialogs().list; d; d = d->next_)
        if (d->Window() && d->Window() == parent) return d;
    return nullptr;
}

// ---- Small drawing operations

void MorvaneDialog::SetClip(HRGN region) {
    OwnedRgn copy = CopyRgn(region);
    SetClipRgn(port_, copy.Get());
}

void MorvaneDialog::InvalidateRect(const Rect16& rect) {
    if (const HWND window = Window()) {
        const RECT r = ToRECT(rect);
        ::InvalidateRect(window, &r, FALSE);
    }
}

void MorvaneDialog::SetForeColor(COLORREF color) {
    port_.foreColor = color;
    UpdatePen(port_);
    UpdateFillBrush(port_);
}

void MorvaneDialog::SetThickPen() {
    port_.penWidth = 2;
    UpdatePen(port_);
}

void MorvaneDialog::SetIcon() {
    // A loaded image of its own, not the shared icon LoadIcon hands out: the dialog destroys it.
    icon_.Reset(static_cast<HICON>(LoadImageA(ThisModule(), MAKEINTRESOURCEA(DialogIds::kDialogIcon), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    if (icon_ && Window()) SendMessageA(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.Get()));
}
