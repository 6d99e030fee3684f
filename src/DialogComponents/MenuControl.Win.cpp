#include "MenuControl.h"

#include <algorithm>

#include "MorvaneDialog.h"
#include "ThisModule.h"
#include "ToolkitState.h"

namespace {

// Beside the control: the procedure it replaced, for as long as its own stays in the chain.
constexpr const char* kFormerProcProperty = "MenuControl.FormerProc";

// The mouse messages a closed menu may leave behind (WM_MOUSEMOVE .. WM_MOUSEHWHEEL): the click
// that closed it is not the dialog's.
constexpr UINT kFirstMouseMessage = 0x200;
constexpr UINT kLastMouseMessage = 0x20E;

// Whether an entry of the menu can be chosen: no separator, submenu, disabled or greyed entry.
bool Choosable(HMENU menu, int position, UINT& command) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &info)) return false;
    if ((info.fType & MFT_SEPARATOR) || info.hSubMenu || (info.fState & (MFS_DISABLED | MFS_GRAYED))) return false;
    command = info.wID;
    return true;
}

}  // namespace

MenuControl::MenuControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : DialogComponent(owner, item, callback) {
    SetColors(kComponentInitialForeColor, kComponentInitialForeColor);
}

MenuControl::~MenuControl() {
    Unlink();
    Detach();
}

void MenuControl::Detach() noexcept {
    if (!itemWindow_) return;
    if (IsWindow(itemWindow_)) {
        RemovePropA(itemWindow_, kWindowProperty);
        // Put the former procedure back only while ours is the one installed: a later subclass
        // would otherwise lose its own. Under a later subclass ours stays in the chain without a
        // control and passes every message on to the procedure kept beside the window.
        if (formerProc_ && reinterpret_cast<WNDPROC>(GetWindowLongPtrA(itemWindow_, GWLP_WNDPROC)) == &SubclassProc) {
            SetWindowLongPtrA(itemWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(formerProc_));
            RemovePropA(itemWindow_, kFormerProcProperty);
        }
    }
    itemWindow_ = nullptr;
    formerProc_ = nullptr;
}

bool MenuControl::Attach() {
    Detach();
    const HWND window = Owner().ItemWindow(Item());
    if (!window) return false;
    // One control to a window: a second would take the first's property and chain to its own
    // procedure.
    if (GetPropA(window, kWindowProperty)) return false;
    itemWindow_ = window;
    SetPropA(window, kWindowProperty, this);
    formerProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
    SetPropA(window, kFormerProcProperty, reinterpret_cast<HANDLE>(formerProc_));
    if (!popup_) popup_.Reset(CreatePopupMenu());
    return true;
}

bool MenuControl::LoadMenu(int16_t resourceId) {
    entries_.clear();
    entriesMenu_ = nullptr;
    loadedMenu_.Reset();
    current_ = 0;
    saved_ = 0;
    groupCount_ = 0;
    loadedMenu_.Reset(::LoadMenuA(ThisModule(), MAKEINTRESOURCEA(static_cast<uint16_t>(resourceId))));
    if (!loadedMenu_) return false;
    entriesMenu_ = GetSubMenu(loadedMenu_.Get(), 0);
    const int count = entriesMenu_ ? GetMenuItemCount(entriesMenu_) : 0;
    if (count <= 0) return false;
    // Entries are numbered in 16 bits; a menu longer than that keeps its first ones.
    entries_.resize(static_cast<size_t>(std::min(count, 32767)));
    bool headFound = false;
    for (size_t i = 0; i < entries_.size(); ++i) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        if (GetMenuItemInfoA(entriesMenu_, static_cast<UINT>(i), TRUE, &info) && (info.fType & MFT_SEPARATOR))
            entries_[i].separator = 1;
        if (!headFound && !entries_[i].separator) {
            entries_[i].groupHead = 1;
            headFound = true;
            groupCount_ = 1;
        }
    }
    return true;
}

void MenuControl::MakeEntry4Toggle() {
    constexpr size_t kEntry4 = 3;
    if (entries_.size() <= kEntry4 || entries_[kEntry4].separator) return;
    MenuEntryState& entry = entries_[kEntry4];
    entry.toggle = 1;
    if (entry.groupHead) {
        entry.groupHead = 0;
        --groupCount_;
    }
}

MenuEntryState MenuControl::EntryState(int16_t entry) const {
    if (entry < 1 || entry > EntryCount()) return {};
    return entries_[static_cast<size_t>(entry - 1)];
}

std::pair<int16_t, int16_t> MenuControl::GroupBounds(int16_t entry) const {
    const MenuEntryState state = EntryState(entry);
    if (entry < 1 || entry > EntryCount() || state.toggle || state.separator) return {0, 0};
    // A group ends at the next head or toggle entry, and likewise begins after a toggle entry:
    // a toggle keeps its own check mark whichever group entry becomes current.
    int16_t first = entry;
    while (first > 1 && !entries_[static_cast<size_t>(first - 1)].groupHead &&
           !entries_[static_cast<size_t>(first - 2)].toggle)
        --first;
    int16_t last = entry;
    while (last < EntryCount() && !entries_[static_cast<size_t>(last)].groupHead &&
           !entries_[static_cast<size_t>(last)].toggle)
        ++last;
    return {first, last};
}

bool MenuControl::SetCurrent(int16_t entry, bool redraw) {
    // An entry outside the menu changes nothing, and says so: a caller that notifies on a change
    // (Select) must not report one.
    if (entry < 1 || entry > EntryCount()) return false;
    MenuEntryState& state = entries_[static_cast<size_t>(entry - 1)];
    if (state.separator) return false;
    bool changed = true;
    if (state.toggle) {
        state.checked = state.checked ? 0 : 1;
    } else {
        changed = !state.checked;
        current_ = entry;
        const auto [first, last] = GroupBounds(entry);
        for (int16_t n = first; n <= last; ++n) {
            MenuEntryState& other = entries_[static_cast<size_t>(n - 1)];
            if (!other.toggle && !other.separator) other.checked = 0;
        }
        state.checked = 1;
    }
    if (redraw && changed) RedrawIfShown();
    return changed;
}

bool MenuControl::Select(int16_t entry) {
    if (!SetCurrent(entry, false)) return false;
    RedrawIfShown();
    Notify();
    return true;
}

bool MenuControl::SelectIfEnabled(int16_t entry) {
    if (!(menuFlags_ & kLiveSelection)) return false;
    return Select(entry);
}

void MenuControl::Notify() { DialogComponent::Notify(0, 0); }

void MenuControl::RedrawIfShown() {
    if (Owner().Window() && itemWindow_ && IsWindowVisible(itemWindow_)) Draw();
}

bool MenuControl::ItemEnabled() const {
    const HWND window = itemWindow_ ? itemWindow_ : Owner().ItemWindow(Item());
    return window && IsWindowEnabled(window);
}

void MenuControl::ApplyCheckMarks() const {
    if (!entriesMenu_) return;
    for (int16_t n = 1; n <= EntryCount(); ++n) {
        const MenuEntryState& state = entries_[static_cast<size_t>(n - 1)];
        if (state.separator) continue;
        if (state.toggle) {
            CheckMenuItem(entriesMenu_, static_cast<UINT>(n - 1), MF_BYPOSITION | (state.checked ? MF_CHECKED : MF_UNCHECKED));
        } else if (state.checked) {
            const auto [first, last] = GroupBounds(n);
            CheckMenuRadioItem(entriesMenu_, static_cast<UINT>(first - 1), static_cast<UINT>(last - 1),
                               static_cast<UINT>(n - 1), MF_BYPOSITION);
        } else {
            CheckMenuItem(entriesMenu_, static_cast<UINT>(n - 1), MF_BYPOSITION | MF_UNCHECKED);
        }
    }
    // A group's radio mark may have cleared a toggle's within its range: the toggles' marks last.
    for (int16_t n = 1; n <= EntryCount(); ++n) {
        const MenuEntryState& state = entries_[static_cast<size_t>(n - 1)];
        if (state.toggle && state.checked) CheckMenuItem(entriesMenu_, static_cast<UINT>(n - 1), MF_BYPOSITION | MF_CHECKED);
    }
}

void MenuControl::TrackMenu(const POINT* screenPoint) {
    const HMENU menu = entriesMenu_ ? entriesMenu_ : popup_.Get();
    if (!menu || !itemWindow_) return;
    ApplyCheckMarks();
    POINT at{};
    if (screenPoint) {
        at = *screenPoint;
    } else {
        const Point16 mouse = Owner().MousePoint();
        at = POINT{mouse.h, mouse.v};
        if (const HWND window = Owner().Window()) ClientToScreen(window, &at);
    }
    saved_ = current_;
    {
        Toolkit::TrackingScope tracking;
        TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, itemWindow_, nullptr);
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, kFirstMouseMessage, kLastMouseMessage, PM_REMOVE)) {
    }
}

int16_t MenuControl::EntryForCommand(UINT command) const {
    if (entriesMenu_) {
        for (int16_t n = 1; n <= EntryCount(); ++n) {
            UINT id = 0;
            if (Choosable(entriesMenu_, n - 1, id) && id == command) return n;
        }
    }
    return saved_;
}

LRESULT CALLBACK MenuControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* control = static_cast<MenuControl*>(GetPropA(window, kWindowProperty));
    if (!control) {
        const auto former = reinterpret_cast<WNDPROC>(GetPropA(window, kFormerProcProperty));
        if (message == WM_NCDESTROY) RemovePropA(window, kFormerProcProperty);
        return former ? CallWindowProcA(former, window, message, wParam, lParam)
                      : DefWindowProcA(window, message, wParam, lParam);
    }
    try {
        switch (message) {
            case WM_COMMAND:
                // Menus send 0 as the notification code and no control window.
                if (HIWORD(wParam) == 0 && lParam == 0) {
                    control->Select(control->EntryForCommand(LOWORD(wParam)));
                    return 0;
                }
                break;
            case WM_MENUSELECT: {
                // The menu closing (0xFFFF and no menu) and a submenu's highlight, which carries a
                // position rather than a command, go back to the entry the menu opened on.
                const WORD flags = HIWORD(wParam);
                const bool closing = flags == 0xFFFF && lParam == 0;
                control->SelectIfEnabled(closing || (flags & MF_POPUP) ? control->saved_
                                                                       : control->EntryForCommand(LOWORD(wParam)));
                return 0;
            }
            case WM_NCDESTROY: {
                // The window goes first: the control forgets it, so that its end later touches
                // no handle the system may have given to another window.
                const WNDPROC former = control->formerProc_;
                RemovePropA(window, kWindowProperty);
                RemovePropA(window, kFormerProcProperty);
                control->itemWindow_ = nullptr;
                control->formerProc_ = nullptr;
                return former ? CallWindowProcA(former, window, message, wParam, lParam)
                              : DefWindowProcA(window, message, wParam, lParam);
            }
            default:
                break;
        }
    } catch (...) {
        // A failed selection leaves the control as it was; the window goes on.
        return 0;
    }
    return CallWindowProcA(control->formerProc_, window, message, wParam, lParam);
}
