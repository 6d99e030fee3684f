// A pop-up menu bound to a dialog item that the dialog draws itself: the menu resource's entries
// with a check state each, grouped into radio groups or standing alone as toggles, and the entry
// that is current. The item's window is subclassed, so that the menu's WM_COMMAND and
// WM_MENUSELECT reach the control: a live control (the default) makes each highlighted entry
// current while the menu is open and goes back to the entry it opened on when none is chosen.
// The picture buttons, combo boxes, check boxes and radio buttons stand on it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "DialogComponent.h"
#include "GdiOwner.h"

inline void DestroyComponentMenu(HMENU menu) noexcept { DestroyMenu(menu); }
using ComponentMenu = GdiOwner<HMENU, DestroyComponentMenu>;

// The state of one entry of the menu, in menu order.
struct MenuEntryState {
    uint8_t toggle = 0;      // checks and unchecks on its own, outside every group
    uint8_t groupHead = 0;   // starts a radio group
    uint8_t separator = 0;
    uint8_t checked = 0;
};
static_assert(sizeof(MenuEntryState) == 4, "one byte flag each");

class MenuControl : public DialogComponent {
public:
    // Flag bits of MenuFlags().
    static constexpr uint16_t kLiveSelection = 1;
    // The window property under which the item's window finds its control.
    static constexpr const char* kWindowProperty = "MenuControl";

    // Both colours start as the interface's background; the control is live.
    MenuControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
    ~MenuControl() override;

    // ---- The operations the subclasses replace, behind Draw and Track.
    // Tells the owner that the current entry changed: code 0, argument 0.
    virtual void Notify();
    // Select, only while the control is live.
    virtual bool SelectIfEnabled(int16_t entry);
    // Makes the entry current (SetCurrent); when that changed anything, draws and notifies.
    virtual bool Select(int16_t entry);

    using DialogComponent::Notify;

    // Binds the control to its item's window: the window property, the subclassed procedure and
    // an empty popup. False when the dialog has no window for the item or another control holds
    // it; a second call rebinds.
    bool Attach();
    // (windows.h makes LoadMenu a macro: the name takes its expansion wherever this header is
    // seen, alike in declaration and calls.)
    // Replaces the entries by the first submenu of menu resource `resourceId` of this module: every
    // entry unchecked and no toggle, the first entry that is not a separator the head of the one
    // group. A missing resource leaves no entries (false).
    bool LoadMenu(int16_t resourceId);
    // Entry 4 checks on its own (the library's "None if Realistic"): with 4 entries or more, when
    // entry 4 is no separator.
    void MakeEntry4Toggle();
    // Entry 1..count becomes current (a toggle entry flips instead) and, with redraw, the control
    // is drawn. Answers whether anything changed: false for an entry outside the menu, for a
    // separator and for the entry that already is current and checked.
    bool SetCurrent(int16_t entry, bool redraw);
    // Opens the menu with its check marks at the screen point (none: where the owner dialog last
    // saw the mouse) and runs it to its end with the tracking depth raised.
    void TrackMenu(const POINT* screenPoint = nullptr);

    // The first and last entry of the radio group of `entry`; {0, 0} for a toggle entry, a
    // separator or an entry outside the menu.
    std::pair<int16_t, int16_t> GroupBounds(int16_t entry) const;

    int16_t EntryCount() const { return static_cast<int16_t>(entries_.size()); }
    int16_t Current() const { return current_; }
    int16_t SavedEntry() const { return saved_; }
    int16_t GroupCount() const { return groupCount_; }
    // The state of entry 1..count; a blank state outside.
    MenuEntryState EntryState(int16_t entry) const;
    bool IsChecked(int16_t entry) const { return EntryState(entry).checked != 0; }
    uint16_t MenuFlags() const { return menuFlags_; }
    void SetMenuFlags(uint16_t flags) { menuFlags_ = flags; }
    // The entries' menu (the loaded resource's first submenu), or null.
    HMENU Entries() const { return entriesMenu_; }
    HWND ItemWindow() const { return itemWindow_; }

protected:
    // Draws the control when its owner has a window and the item's window is visible.
    void RedrawIfShown();
    // Whether the item's window exists and is enabled.
    bool ItemEnabled() const;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The entry (1-based) whose command id matches among the usable entries, else the saved one.
    int16_t EntryForCommand(UINT command) const;
    void Detach() noexcept;
    void ApplyCheckMarks() const;

    uint16_t menuFlags_ = kLiveSelection;
    int16_t current_ = 0;
    int16_t saved_ = 0;
    ComponentMenu popup_;
    ComponentMenu loadedMenu_;
    HMENU entriesMenu_ = nullptr;   // owned by loadedMenu_
    std::vector<MenuEntryState> entries_;
    int16_t groupCount_ = 0;
    HWND itemWindow_ = nullptr;
    WNDPROC formerProc_ = nullptr;
};
