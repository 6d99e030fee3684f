// The popup menu button ("tPopupMenu", and "tRealtimeMenu", whose highlighted entries take effect
// at once): a label, a box showing the current entry, and a menu of entries that drops from the
// box. The value is the 1-based number of the current entry (0 none); the menu is the first
// submenu of the menu resource at the item id plus the resource base.
//
// Its entries also answer the combo-box messages, so that a dialog can fill and read it like a
// combo box: texts in and out are UTF-8.
#pragma once

#include <array>
#include <string>

#include "CustomControl.h"
#include "GdiOwner.h"

inline void DestroyMenuHandle(HMENU menu) noexcept { DestroyMenu(menu); }
using OwnedMenu = GdiOwner<HMENU, DestroyMenuHandle>;

class PopupMenu : public CustomControl {
public:
    static constexpr size_t kMaxEntryImages = 32;
    static constexpr size_t kMaxEntryText = 255;  // bytes handed out by CB_GETLBTEXT

    ~PopupMenu() override;
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void Attach() override;
    void Draw(HDC dc) override;
    void MouseDown(POINT point, WPARAM keys) override;
    void MouseUp(POINT, WPARAM) override {}
    bool KeyDown(WPARAM key) override;

    HMENU Entries() const { return entries_; }

private:
    int Count() const;
    // Whether an entry can be the current one: no separator, submenu, disabled or greyed entry.
    bool Usable(int index) const;
    // The usable entry with the command id, or -1.
    int IndexOfCommand(UINT command) const;
    // The first usable entry from `from` going by `step`, or -1.
    int FindUsable(int from, int step) const;
    std::wstring EntryText(int index) const;
    // A picked entry (or, for a real-time menu, a highlighted one when picked is false).
    void TakeEntry(UINT command, bool picked);
    // After entries were added or removed at index.
    void EntriesChanged(int index);
    LRESULT ComboMessage(UINT message, WPARAM wParam, LPARAM lParam);

    OwnedMenu menu_;
    HMENU entries_ = nullptr;  // the first submenu, owned by menu_
    int labelWidth_ = 0;
    int imageCount_ = 0;
    bool realtime_ = false;
    bool chosen_ = false;
    bool popped_ = false;
    bool arrowOnly_ = false;
    bool hasFocus_ = false;
    int16_t savedValue_ = 0;
    std::array<OwnedBitmap, kMaxEntryImages> images_;
};
