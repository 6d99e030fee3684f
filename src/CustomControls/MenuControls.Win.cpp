#include "MenuControls.h"

#include <algorithm>
#include <cstring>

#include "ControlDrawing.h"
#include "ThisModule.h"
#include "ToolkitState.h"
#include "Utf.h"

using namespace ControlLook;

namespace {

constexpr char kMenuProperty[] = "PopupMenu";
constexpr int kLabelGap = 4;

// Mouse messages that queued up while the menu was open belong to the menu, not to the dialog.
void DropPendingMouseMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, 0x20E, PM_REMOVE)) {
    }
}

// A copy of the bitmap resource at id scaled to size x size; none when there is no such bitmap.
OwnedBitmap ScaledBitmap(WORD id, int size) {
    const OwnedBitmap loaded(static_cast<HBITMAP>(
        LoadImageW(ThisModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!loaded || size <= 0) return OwnedBitmap();
    const SIZE original = BitmapSize(loaded.Get());
    const WindowDC screen(nullptr);
    OwnedBitmap scaled(CreateCompatibleBitmap(screen.Get(), size, size));
    const OwnedMemoryDC from(CreateCompatibleDC(screen.Get())), to(CreateCompatibleDC(screen.Get()));
    if (!scaled || !from || !to) return OwnedBitmap();
    const SelectionScope fromSelected(from.Get(), loaded.Get()), toSelected(to.Get(), scaled.Get());
    SetStretchBltMode(to.Get(), HALFTONE);
    StretchBlt(to.Get(), 0, 0, size, size, from.Get(), 0, 0, original.cx, original.cy, SRCCOPY);
    return scaled;
}

}  // namespace

PopupMenu::~PopupMenu() {
    if (window_) RemovePropA(window_, kMenuProperty);
}

void PopupMenu::Attach() {
    realtime_ = ClassNameHas('R', 1);
    if (const WORD id = ResourceId()) menu_.Reset(LoadMenuW(ThisModule(), MAKEINTRESOURCEW(id)));
    if (menu_) {
        SetPropA(window_, kMenuProperty, menu_.Get());
        entries_ = GetSubMenu(menu_.Get(), 0);
    }
    minimum_ = 0;
    maximum_ = static_cast<int16_t>(std::min(Count(), int{INT16_MAX}));
    value_ = maximum_ > 0 ? 1 : 0;
}

int PopupMenu::Count() const {
    const int count = entries_ ? GetMenuItemCount(entries_) : 0;
    return std::max(count, 0);
}

bool PopupMenu::Usable(int index) const {
    if (!entries_ || index < 0 || index >= Count()) return false;
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU;
    if (!GetMenuItemInfoW(entries_, static_cast<UINT>(index), TRUE, &info)) return false;
    return !(info.fType & MFT_SEPARATOR) && !info.hSubMenu && !(info.fState & (MFS_DISABLED | MFS_GRAYED));
}

int PopupMenu::IndexOfCommand(UINT command) const {
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (Usable(i) && GetMenuItemID(entries_, i) == command) return i;
    }
    return -1;
}

int PopupMenu::FindUsable(int from, int step) const {
    for (int i = from; i >= 0 && i < Count(); i += step) {
        if (Usable(i)) return i;
    }
    return -1;
}

std::wstring PopupMenu::EntryText(int index) const {
    if (!entries_ || index < 0 || index >= Count()) return {};
    wchar_t text[256] = {};
    const int length = GetMenuStringW(entries_, static_cast<UINT>(index), text, 256, MF_BYPOSITION);
    return std::wstring(text, static_cast<size_t>(std::clamp(length, 0, 255)));
}

void PopupMenu::Draw(HDC dc) {
    const RECT client = ClientRect();
    FillBox(dc, client, kBackground);
    const bool enabled = IsWindowEnabled(window_) != FALSE;
    const int width = client.right, height = client.bottom;
    arrowOnly_ = height >= width;
    if (arrowOnly_) {
        labelWidth_ = width;
        DrawRaisedBox(dc, client, popped_, enabled);
        DrawArrow(dc, client, ArrowDirection::kRight, enabled ? kText : kDisabledText);
        return;
    }
    const SelectionScope font(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);

    // The label: the window text up to its first tab; tabs reserve four average characters each.
    wchar_t title[256] = {};
    GetWindowTextW(window_, title, 256);
    std::wstring label(title);
    const size_t tabs = std::count(label.begin(), label.end(), L'\t');
    label = label.substr(0, label.find(L'\t'));
    labelWidth_ = 0;
    if (tabs > 0) {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        labelWidth_ = static_cast<int>(tabs) * metrics.tmAveCharWidth * 4 + kLabelGap;
    } else if (!label.empty()) {
        SIZE extent{};
        GetTextExtentPoint32W(dc, label.c_str(), static_cast<int>(label.size()), &extent);
        labelWidth_ = extent.cx + kLabelGap;
    }
    labelWidth_ = std::min(labelWidth_, width - height);
    if (!popped_ && !label.empty()) {
        RECT labelBox{0, 0, labelWidth_, height};
        SetTextColor(dc, enabled ? kText : kDisabledText);
        DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &labelBox,
                  DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }

    // The box of the current entry.
    const RECT box{labelWidth_, 0, width, height};
    const bool highlighted = hasFocus_ && enabled && !popped_;
    FillBox(dc, box, highlighted ? kPressed : enabled ? kSurface : kBackground);
    FrameBox(dc, box, popped_ ? kFrame : kSeparator);
    const int boxHeight = box.bottom - box.top;
    const int arrowWidth = std::max(boxHeight * 2 / 3, 6);
    const RECT arrow{box.right - arrowWidth, box.top, box.right, box.bottom};
    DrawRaisedBox(dc, arrow, popped_, enabled);
    DrawArrow(dc, arrow, ArrowDirection::kDown, enabled ? kText : kDisabledText);

    const int current = value_ - 1;
    int textLeft = box.left + 4;
    if (imageCount_ > 0) {
        const int side = boxHeight - 2;
        if (current >= 0 && current < static_cast<int>(kMaxEntryImages) && images_[current]) {
            const OwnedMemoryDC source(CreateCompatibleDC(dc));
            if (source) {
                const SelectionScope selected(source.Get(), images_[current].Get());
                const SIZE size = BitmapSize(images_[current].Get());
                StretchBlt(dc, box.left + 1, box.top + 1, side, side, source.Get(), 0, 0, size.cx, size.cy, SRCCOPY);
            }
        }
        textLeft += boxHeight;
    }
    const std::wstring text = EntryText(current);
    if (!text.empty()) {
        RECT textBox{textLeft, box.top, arrow.left - 2, box.bottom};
        SetTextColor(dc, enabled ? kText : kDisabledText);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textBox,
                  DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
}

void PopupMenu::MouseDown(POINT, WPARAM) {
    if (!entries_ || popped_) return;
    if (!arrowOnly_) SetFocus(window_);
    const int count = Count();
    if (value_ >= 1 && value_ <= count) CheckMenuRadioItem(entries_, 0, count - 1, value_ - 1, MF_BYPOSITION);
    popped_ = true;
    chosen_ = false;
    savedValue_ = value_;
    Redraw();
    RECT own{};
    GetWindowRect(window_, &own);
    UINT command = 0;
    {
        const Toolkit::TrackingScope tracking;
        // The pick comes back here rather than as a WM_COMMAND posted for later, so that a
        // real-time menu knows whether the user picked before it decides to restore its value.
        command = static_cast<UINT>(TrackPopupMenu(entries_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD,
                                                   own.left + labelWidth_, own.bottom, 0, window_, nullptr));
    }
    DropPendingMouseMessages();
    if (command != 0) TakeEntry(command, true);
    if (realtime_ && !chosen_ && value_ != savedValue_) {
        value_ = savedValue_;
        NotifyValue(ControlMessage::kValueSet);
    }
    popped_ = false;
    Redraw();
}

void PopupMenu::TakeEntry(UINT command, bool picked) {
    const int index = IndexOfCommand(command);
    if (index < 0) return;  // the value saved at opening stands
    const int16_t value = static_cast<int16_t>(index + 1);
    if (realtime_) {
        // A highlighted entry is shown at once; only a pick keeps it when the menu closes.
        if (picked) chosen_ = true;
        if (value == value_) return;
        value_ = value;
        NotifyValue(ControlMessage::kValueSet);
        if (!arrowOnly_) Redraw();
        return;
    }
    if (!picked) return;
    value_ = value;
    chosen_ = true;
    NotifyClick();
    Redraw();
}

bool PopupMenu::KeyDown(WPARAM key) {
    if (!entries_) return false;
    const int current = value_ - 1;
    int found = -1;
    switch (key) {
        case VK_PRIOR:
        case VK_LEFT:
        case VK_UP: found = FindUsable(current - 1, -1); break;
        case VK_NEXT:
        case VK_RIGHT:
        case VK_DOWN: found = FindUsable(current + 1, 1); break;
        case VK_END: found = FindUsable(Count() - 1, -1); break;
        case VK_HOME: found = FindUsable(0, 1); break;
        default: return false;
    }
    if (found >= 0 && found + 1 != value_) {
        value_ = static_cast<int16_t>(found + 1);
        Redraw();
        NotifyValue(ControlMessage::kValueSet);
    }
    return true;
}

void PopupMenu::EntriesChanged(int index) {
    maximum_ = static_cast<int16_t>(std::min(Count(), int{INT16_MAX}));
    if (value_ - 1 >= index) value_ = 0;
    Redraw();
}

LRESULT PopupMenu::ComboMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!entries_) return CB_ERR;
    const int count = Count();
    const int index = static_cast<int>(static_cast<intptr_t>(wParam));
    switch (message) {
        case CB_GETCOUNT:
            return count - 1;
        case CB_INSERTSTRING: {
            if (!lParam) return CB_ERR;
            UINT highest = 0;
            for (int i = 0; i < count; ++i) {
                const UINT id = GetMenuItemID(entries_, i);
                if (id != static_cast<UINT>(-1)) highest = std::max(highest, id);
            }
            const int at = index < 0 || index > count ? count : index;
            const std::wstring text = Utf8ToUtf16(reinterpret_cast<const char*>(lParam));
            if (!InsertMenuW(entries_, static_cast<UINT>(at), MF_BYPOSITION | MF_STRING, highest + 1, text.c_str()))
                return CB_ERR;
            if (at < static_cast<int>(kMaxEntryImages)) {
                if (images_.back()) --imageCount_;  // pushed off the end
                std::move_backward(images_.begin() + at, images_.end() - 1, images_.end());
                images_[at].Reset();
            }
            EntriesChanged(at);
            return at;
        }
        case CB_DELETESTRING: {
            if (index < 0 || index >= count) return CB_ERR;
            if (!DeleteMenu(entries_, static_cast<UINT>(index), MF_BYPOSITION)) return CB_ERR;
            if (index < static_cast<int>(kMaxEntryImages)) {
                if (images_[index]) --imageCount_;
                std::move(images_.begin() + index + 1, images_.end(), images_.begin() + index);
                images_.back().Reset();
            }
            EntriesChanged(index);
            return Count();
        }
        case CB_GETLBTEXT:
        case CB_GETLBTEXTLEN: {
            if (index < 0 || index >= count) return CB_ERR;
            std::string text = Utf16ToUtf8(EntryText(index));
            if (text.size() > kMaxEntryText) {
                // Cut on a character boundary: no half of a UTF-8 sequence is handed out.
                size_t cut = kMaxEntryText;
                while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
                text.resize(cut);
            }
            if (message == CB_GETLBTEXT) {
                if (!lParam) return CB_ERR;
                std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
            }
            return static_cast<LRESULT>(text.size());
        }
        case CB_SETITEMDATA: {
            if (index < 0 || index >= count) return CB_ERR;
            if (lParam == 1 || lParam == 0) {
                EnableMenuItem(entries_, static_cast<UINT>(index), MF_BYPOSITION | (lParam ? MF_ENABLED : MF_GRAYED));
            } else {
                // Any other value names a bitmap resource: the entry's check image and its image in
                // the box.
                if (index >= static_cast<int>(kMaxEntryImages) || lParam < 0 || lParam > 0xFFFF) return CB_ERR;
                OwnedBitmap image = ScaledBitmap(static_cast<WORD>(lParam), GetSystemMetrics(SM_CXMENUCHECK));
                if (!image) return CB_ERR;
                SetMenuItemBitmaps(entries_, static_cast<UINT>(index), MF_BYPOSITION, image.Get(), image.Get());
                if (!images_[index]) ++imageCount_;
                images_[index] = std::move(image);
            }
            Redraw();
            return 0;
        }
        default:
            return CB_ERR;
    }
}

LRESULT PopupMenu::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == 0) TakeEntry(LOWORD(wParam), true);
            return 0;
        case WM_MENUSELECT: {
            const UINT flags = HIWORD(wParam);
            const bool closing = flags == 0xFFFF && lParam == 0;
            if (realtime_ && popped_ && !closing && !(flags & MF_POPUP)) TakeEntry(LOWORD(wParam), false);
            return 0;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            hasFocus_ = message == WM_SETFOCUS;
            Redraw();
            return 0;
        case CB_GETCOUNT:
        case CB_INSERTSTRING:
        case CB_DELETESTRING:
        case CB_GETLBTEXT:
        case CB_GETLBTEXTLEN:
        case CB_SETITEMDATA:
            return ComboMessage(message, wParam, lParam);
        default:
            return CustomControl::HandleMessage(window, message, wParam, lParam);
    }
}
