// The dialog base of every dialog, floating tab and palette: one dialog template of the module's
// resources, its child windows numbered as items 1..n, run modally inside the host's thread or
// created modeless. Mouse, keyboard, menu, scroll and timer messages arrive at a fixed set of
// virtual operations; every live dialog stands on one front-to-back list; one message-filter hook
// routes the keys of the system's modal dialog loop to the dialog they belong to.
//
// Everything here runs on the host's thread. Re-entry is held by counters, not locks: the modal
// nesting count (no idle tick while an alert from the dialog is up), the tracking depth (menus,
// scroll and window drags, idle during mouse tracking), the notification-suppress count (the
// dialog's own item changes are not taken for user hits) and the message nesting depth.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "DialogItems.h"
#include "DrawingPort.h"
#include "ErrorCodes.h"
#include "GdiOwner.h"
#include "Geometry.h"

// What a dialog is to the framework. Floating windows (every tab and the library browser) have no
// default or cancel item, no accelerators and no idle timer, come to the front of the list when
// clicked and hide while the application is inactive. The preview dialog is a modal dialog that
// code can tell apart.
enum class DialogKind : int16_t { Modal = 0, Preview = 1, Floating = 2 };

// The one-byte key codes HandleKey receives; characters typed pass as themselves.
namespace DialogKeyCode {
inline constexpr int16_t kHome = 1;
inline constexpr int16_t kCtrlC = 3;   // Ctrl+C typed as a character: the key navigation's Escape
inline constexpr int16_t kEnd = 4;
inline constexpr int16_t kTab = 9;
inline constexpr int16_t kPageUp = 11;
inline constexpr int16_t kPageDown = 12;
inline constexpr int16_t kReturn = 13;
inline constexpr int16_t kEscape = 27;
inline constexpr int16_t kLeft = 28;
inline constexpr int16_t kRight = 29;
inline constexpr int16_t kUp = 30;
inline constexpr int16_t kDown = 31;
inline constexpr int16_t kSpace = 32;
inline constexpr int16_t kPlus = '=';    // both plus keys
inline constexpr int16_t kMinus = '-';   // both minus keys
}  // namespace DialogKeyCode

namespace DialogIds {
inline constexpr int16_t kEditCommandBase = 18200;
inline constexpr int16_t kUndo = 18201;
inline constexpr int16_t kRedo = 18202;
inline constexpr int16_t kCopy = 18204;
inline constexpr int16_t kCut = 18205;
inline constexpr int16_t kPaste = 18206;
inline constexpr int16_t kDelete = 18207;
inline constexpr int16_t kSelectAll = 18208;
inline constexpr int16_t kClear = 18213;
inline constexpr int16_t kHelpMenuBase = 18900;
inline constexpr int16_t kEditAccelerators = 18000;   // the accelerators of a template without its own
inline constexpr int16_t kDialogIcon = 17000;
inline constexpr UINT kIdleTimer = 1;                  // the idle tick's timer id
inline constexpr UINT kIdleMilliseconds = 10;
// Messages the window-class controls and the dialog post to the dialog.
inline constexpr UINT kItemMouseDown = WM_APP;         // wParam the item
inline constexpr UINT kPressCancel = WM_APP + 2;
inline constexpr UINT kItemMouseUp = WM_APP + 3;       // wParam the point in the item, lParam its window
inline constexpr UINT kItemRightClick = WM_APP + 4;    // wParam the item, lParam the point
}  // namespace DialogIds

// The cursors the dialogs name: ids from 32512 are the system's, below are the module's.
namespace DialogCursor {
inline constexpr int16_t kNone = -1;
inline constexpr int16_t kArrow = 0;
inline constexpr int16_t kIBeam = 32513;
inline constexpr int16_t kSizing = 32642;
}  // namespace DialogCursor

class MorvaneDialog;

// Show(behind) takes a dialog to stand behind, or this for the front of everything.
inline MorvaneDialog* const kShowInFront = reinterpret_cast<MorvaneDialog*>(-1);

// What SuspendFloating keeps for ResumeFloating.
struct FloatingSuspension {
    MorvaneDialog* front = nullptr;
    MorvaneDialog* keyboardActive = nullptr;
};

// A file drop handed to a dialog: (context, message, wParam, lParam).
using DropCallback = void (*)(void* context, UINT message, WPARAM wParam, LPARAM lParam);

class MorvaneDialog {
public:
    // A template id of 1 or more lists the dialog and installs the hook; below 1 makes an object
    // that is neither listed nor hooked.
    MorvaneDialog(int16_t templateId, DialogKind kind);
    MorvaneDialog(const MorvaneDialog&) = delete;
    MorvaneDialog& operator=(const MorvaneDialog&) = delete;
    virtual ~MorvaneDialog();

    // ---- The operations a dialog replaces.
    // 'fTab' for a floating tab; 0 otherwise.
    virtual uint32_t GetKind() const { return 0; }
    virtual void InitDialog();
    virtual void EndDialog(int16_t result);
    // Adds the controls of a second template behind the dialog's own items.
    virtual void AppendItems(int16_t templateId);
    // Shows the dialog behind `behind` (null: at the top of the order), or with kShowInFront in
    // front of everything.
    virtual void Show(MorvaneDialog* behind);
    virtual void Hide();
    // The item to end the dialog with, or 0: the default and the cancel item end it.
    virtual int16_t ItemHit(int16_t item);
    // >= 1 an item hit, 0 handled, < 0 not handled.
    virtual int16_t HandleKey(int16_t key, uint16_t modifiers);
    virtual bool ClickInFrame(Point16 /*point*/) { return false; }
    virtual int16_t DoEditCommand(int16_t command);
    virtual void PressCancel();
    virtual int16_t DefaultItemIfEnabled();
    virtual void PostItemHit(int16_t item) { postedItem_ = item; }
    // Brings the enabled state of the menu bar's commands in step (on WM_INITMENU).
    virtual void UpdateMenus();
    virtual void DeviceArrived() {}
    virtual int16_t Close();
    virtual void MoveBy(int widthChange, int heightChange);
    virtual void Moved(int /*h*/, int /*v*/) {}
    virtual int16_t CursorForItem(int16_t item);
    virtual int32_t HelpStringId(int16_t item);
    virtual bool ForwardItemHit(int16_t item, double value);
    virtual void Update(HRGN region);
    // Item 0 is the dialog's own background.
    virtual void DrawItem(int16_t /*item*/) {}
    virtual void Idle() {}
    virtual void SetStatusText(const char* text);

    // ---- Running, activation, painting and the status bar.
    // One step of a modeless dialog's own message loop: the dialog's result, or -1 at WM_QUIT.
    int16_t DoEvent();
    HWND CreateModeless();
    // The item that ended the dialog; 0 without template. Raises 20001 when it cannot be created.
    int16_t RunModal();
    void Select() { BringToFront(); }
    void ActivateApp(bool active);
    void SetActive(bool active);
    void Paint();
    void CreateStatusBar(int16_t item);
    void SetDefaultStatus(const char* text) { defaultStatus_ = text; }
    void ShowHelp(int32_t helpId);
    void MoveItem(int16_t item, const Rect16& rect);

    // ---- Items and values (item n is the child window with control id n).
    int16_t ItemCount() const { return itemCount_; }
    HWND ItemWindow(int16_t item) const;
    const DialogItemRecord* ItemRecord(int16_t item) const;
    DialogItemRecord* ItemRecord(int16_t item);
    void SetItemValue(int16_t item, double value, bool select = false);
    double GetItemValue(int16_t item);
    int16_t GetItemRounded(int16_t item);
    void SetItemRange(int16_t item, double minimum, double maximum);
    void GetItemRange(int16_t item, double& minimum, double& maximum);
    // Raises 18018 for a malformed format or an item whose kind takes none.
    void SetItemNumber(int16_t item, const char* format, double minimum, double maximum);
    // The item to treat as hit after checking its typed text, or 0 when the hit is dropped.
    int16_t ValidateEditItem(int16_t item);
    void SetItemText(int16_t item, const char* text, bool select);
    // At most 255 characters, terminated; answers the length.
    size_t GetItemText(int16_t item, char* buffer, size_t bufferSize) const;
    // With entry >= 1 the entry of a list or combo item; otherwise the item's window.
    void EnableItem(int16_t item, bool enable, int16_t entry = 0);
    void SetFocusItem(int16_t item);
    int16_t GetFocusedItem() const;
    void SetDefaultItem(int16_t item);
    void UpdateDefaultEnable();
    // The item's rectangle in client coordinates (a parked item's reported place).
    Rect16 GetItemRect(int16_t item) const;
    void HideItems23To25();
    // Style bits: 2 centre, 4 right, 16 centre vertically, 32 bottom, 0x80 path ellipsis.
    void DrawItemText(const char* text, const Rect16& rect, uint16_t style, bool erase);
    void UpdateRegion();
    // The focus record follows the focused item (0: the dialog loses the keyboard).
    void TrackFocus(int16_t item);

    // ---- The list, the front and the keyboard.
    void BringToFront();
    static MorvaneDialog* FrontDialog();
    static MorvaneDialog* KeyboardDialog();
    static MorvaneDialog* FirstDialog();
    MorvaneDialog* NextDialog() const { return next_; }
    static void SetKeyboardDialog(MorvaneDialog* dialog);
    static MorvaneDialog* FindFocusedDialog();
    // The first listed dialog whose visible window holds the screen point.
    static MorvaneDialog* FindDialogAtPoint(POINT screenPoint);
    static void ShowAll();
    static void SuspendFloating(FloatingSuspension& saved);
    static void ResumeFloating(const FloatingSuspension& saved);
    // Runs alert `alertId` with "^0" and "^1" filled, over the dialog (or over the host's window),
    // with the floating windows suspended and no idle tick meanwhile. The pressed item.
    static int16_t Alert(MorvaneDialog* dialog, int16_t alertId, const char* text0 = nullptr,
                         const char* text1 = nullptr);
    static int32_t TrackingDepth();
    static bool HookInstalled();
    static bool DoubleClicked();
    static int16_t LastKeyCode();
    static void SetCursorId(int16_t id);
    static int16_t CursorId();
    // The cursor in the front dialog's client coordinates and whether a mouse button is down; while
    // one is, the front dialog's Idle runs once under a raised tracking depth.
    static bool TrackMouse(Point16& point);
    static const NumberChars& NumberCharacters();

    // ---- Geometry, in screen coordinates.
    void GetBounds(Rect16& bounds) const;
    void SetBounds(const Rect16& bounds);
    void GetContentRect(Rect16& rect) const;
    void MoveTo(Point16 topLeft);
    void InitialBounds();
    void KeepOnScreen();
    // Moves each edge of `rect` within 8 pixels of the work area's or another dialog's edge onto it.
    void SnapRect(Rect16& rect) const;
    // Drags an outline of the window (size mode: its size); true when it applied a change.
    bool DragFrame(POINT startScreenPoint, bool sizeMode);

    // ---- Small drawing operations on the dialog's port.
    void SetClip(HRGN region);
    void InvalidateRect(const Rect16& rect);
    void SetForeColor(COLORREF color);
    void SetThickPen();
    void SetIcon();

    // ---- State.
    // From WM_INITDIALOG (InitDialog included) until the dialog ends.
    HWND Window() const { return port_.window; }
    DrawingPort& Port() { return port_; }
    const DrawingPort& Port() const { return port_; }
    DialogKind Kind() const { return kind_; }
    bool IsFloating() const { return kind_ == DialogKind::Floating; }
    int16_t TemplateId() const { return primaryTemplate_; }
    bool IsOpen() const { return open_; }
    bool IsVisible() const { return visible_; }
    bool IsActive() const { return active_; }
    int16_t DefaultItem() const { return defaultItem_; }
    int16_t CancelItem() const { return cancelItem_; }
    int16_t Result() const { return result_; }
    int16_t StatusBarItem() const { return statusItem_; }
    MorvaneDialog* Owner() const { return owner_; }
    void SetOwner(MorvaneDialog* owner) { owner_ = owner; }
    void SetAlertsOff(bool off) { alertsOff_ = off; }
    void SetEraseBackground(bool skip) { skipErase_ = skip; }
    // A drop is followed by one skipped idle tick.
    void SkipNextIdleTick() { flags_ |= kSkipIdleTick; }
    void SetDropCallback(DropCallback callback, void* context) {
        dropCallback_ = callback;
        dropContext_ = context;
    }
    int32_t ModalNesting() const { return modalNesting_; }
    Point16 MousePoint() const { return mousePoint_; }
    HRGN DrawingRegion() const { return drawingRegion_.Get(); }
    int16_t FontHeight() const { return fontHeight_; }
    int16_t FontAscent() const { return fontAscent_; }
    int16_t FontDescent() const { return fontDescent_; }
    void SetMinimumContentSize(int16_t width, int16_t height) {
        minWidth_ = width;
        minHeight_ = height;
    }
    void SetMaximumContentSize(int16_t width, int16_t height) {
        maxWidth_ = width;
        maxHeight_ = height;
    }
    void SetSizeBox(const Rect16& box) { sizeBox_ = box; }
    void SetResizeGrid(int16_t horizontal, int16_t vertical) {
        gridH_ = horizontal;
        gridV_ = vertical;
    }

    // The window procedures and the hook (borders: nothing is thrown out of them).
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MsgFilterHook(int code, WPARAM wParam, LPARAM lParam);

protected:
    // Handles one message: 1 when handled, with the item it hit (-1 none).
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item);
    // Item kind, window and record of item n, or null outside 1..count.
    void BuildItemTable();
    void SetPendingEdit(bool pending) { focus_.pendingEdit = pending; }

    DrawingPort port_{};

private:
    enum Flags : uint32_t { kSkipIdleTick = 1 };

    struct FocusRecord {
        int16_t item = 0;
        bool pendingEdit = false;
        bool stepped = false;   // Up or Down wrote the value: the hit stands even when nothing changed
        uint8_t kind = 0;
        HWND window = nullptr;
        char acceptedText[kItemTextMax + 1] = {};
    };

    friend class DialogRouting;   // the dialog procedure's and the hook's helpers
    friend class ModalNestingScope;

    void InstallHook();
    void ReleaseResources() noexcept;
    // Takes the dialog out of the list; Unlink also takes its roles and every reference to it.
    void DetachFromList() noexcept;
    void Unlink() noexcept;
    // The window has gone (ended, or destroyed with its parent): the dialog holds none any more.
    void ForgetWindow() noexcept;
    void MoveInList(MorvaneDialog* behind);
    void AttachWindow(HWND window);
    int16_t CommandToItem(WORD id, WORD notification, HWND control);
    void HandleScroll(HWND control, WORD code, WORD position, int16_t& item);
    int16_t NavigateKey(int16_t key, uint16_t modifiers);
    int16_t StepNumberEdit(int16_t key, uint16_t modifiers);
    bool FilterNumberKey(int16_t key);
    void ReadFontMetrics();
    void ReadNumberCharacters();
    void OnSize();
    void RunAlertForNumber(int16_t item, ErrorCode parseResult);
    void WriteValueBack(int16_t item);
    void MoveFocusOnBeforeDisabling(HWND window);
    bool HasInvalidItem() const;

    MorvaneDialog* next_ = nullptr;
    MorvaneDialog* owner_ = nullptr;
    MorvaneDialog* rememberedKeyboard_ = nullptr;
    uint32_t flags_ = 0;
    int16_t itemCount_ = 0;
    int16_t primaryTemplate_ = 0;
    int16_t secondaryTemplate_ = 0;
    int16_t editBase_ = DialogIds::kEditCommandBase;
    DialogKind kind_;
    int16_t minHeight_ = 0, minWidth_ = 0, maxHeight_ = 32767, maxWidth_ = 32767;
    Rect16 sizeBox_{};
    int16_t gridH_ = 0, gridV_ = 0;
    int16_t scrollBarWidth_ = 0, scrollBarHeight_ = 0;
    Point16 mousePoint_{};
    bool open_ = false, visible_ = false, placed_ = false, hidePending_ = false, active_ = false,
         hasDefault_ = false;
    int16_t defaultItem_ = 0, cancelItem_ = 0;
    int16_t helpBase_ = DialogIds::kHelpMenuBase;
    FocusRecord focus_{};
    int16_t statusItem_ = 0;
    int32_t lastHelpShown_ = 0;
    const char* defaultStatus_ = nullptr;
    HWND statusBar_ = nullptr;
    int16_t fontHeight_ = 0, fontAscent_ = 0, fontDescent_ = 0;
    bool alertsOff_ = false;
    OwnedRgn drawingRegion_;
    bool skipErase_ = false;
    int16_t postedItem_ = 0;
    UINT_PTR idleTimer_ = 0;
    int32_t modalNesting_ = 0;
    int32_t notificationSuppress_ = 0;
    HACCEL accelerators_ = nullptr;   // a resource table: nothing to free
    WNDPROC replacedProc_ = nullptr;
    DropCallback dropCallback_ = nullptr;
    void* dropContext_ = nullptr;
    bool modeless_ = false, inPaint_ = false, ending_ = false;
    int16_t result_ = 0;
    int32_t messageDepth_ = 0;
    int16_t extraWidth_ = 0, extraHeight_ = 0;
    Rect16 contentRect_{};   // the client rectangle of the last layout
    std::vector<DialogItemRecord> items_;
    OwnedIcon icon_;
    int16_t nextFloatingTop_ = 0;   // where this dialog's next floating window opens
};

// Suspends the floating windows for its life, round a modal step of a dialog's own (another
// library's window): the front and keyboard dialogs come back however the step ends.
class FloatingWindowsSuspended {
public:
    FloatingWindowsSuspended() { MorvaneDialog::SuspendFloating(saved_); }
    FloatingWindowsSuspended(const FloatingWindowsSuspended&) = delete;
    FloatingWindowsSuspended& operator=(const FloatingWindowsSuspended&) = delete;
    ~FloatingWindowsSuspended();

private:
    FloatingSuspension saved_;
};

// Raises a dialog's modal nesting count for its life: no idle tick runs meanwhile.
class ModalNestingScope {
public:
    explicit ModalNestingScope(MorvaneDialog* dialog);
    ModalNestingScope(const ModalNestingScope&) = delete;
    ModalNestingScope& operator=(const ModalNestingScope&) = delete;
    ~ModalNestingScope();

private:
    MorvaneDialog* dialog_;
};
