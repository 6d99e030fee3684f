// The dialog's items: the table built from the template's child windows, the value every item
// carries, typed numbers checked against their bounds, focus, the default item, item texts and
// rectangles, control notifications and scroll messages, and the items of an appended template.
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstring>
#include <new>

#include "Alerts.h"
#include "DialogNumbers.h"
#include "DialogState.h"
#include "Errors.h"
#include "MorvaneDialog.h"
#include "ThisModule.h"
#include "ToolkitState.h"
#include "WindowServices.h"

namespace {

constexpr int kParkOffset = 10000;   // how far a parked item's window stands from its place

// The kind of a window by its class name: the upper-cased first letter after the name's first
// '_' (within its first 63 characters): "msctls_progress32" is a progress bar, "msctls_trackbar32"
// a track bar, "SysTabControl32" a tab control, "Static" static text, an edit control editable
// text.
uint8_t KindOfWindow(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (_stricmp(name, "Edit") == 0) return ItemKind::kTextEdit;
    const char* start = name;
    if (const char* underscore = std::strchr(name, '_')) start = underscore + 1;
    const auto upper = [](char c) { return static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c); };
    const uint8_t first = upper(start[0]);
    const uint8_t second = start[0] ? upper(start[1]) : 0;
    if (first == 'S' && second == 'Y') return ItemKind::kTabControl;
    if (first == 'S' && second == 'T') return ItemKind::kStaticText;
    if (first == 'S') return ItemKind::kScrollBar;
    return first;
}

// Splits a tab control's window text into its tabs: each blank-separated word, in order.
void SplitTabLabels(HWND tabs) {
    char text[256] = {};
    GetWindowTextA(tabs, text, sizeof text);
    SendMessageA(tabs, TCM_DELETEALLITEMS, 0, 0);
    int index = 0;
    const char* p = text;
    while (*p) {
        while (*p && static_cast<unsigned char>(*p) <= ' ') ++p;
        if (!*p) break;
        char word[256] = {};
        size_t length = 0;
        while (*p && static_cast<unsigned char>(*p) > ' ' && length + 2 < sizeof word) {
            if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) word[length++] = *p++;
            word[length++] = *p++;
        }
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = word;
        SendMessageA(tabs, TCM_INSERTITEMA, index++, reinterpret_cast<LPARAM>(&item));
    }
}

// Themes draw the controls in colours of their own; the dialogs draw in theirs.
void ClearVisualTheme(HWND window) {
    using SetWindowThemeProc = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
    static const SetWindowThemeProc setTheme = [] {
        const HMODULE uxtheme = LoadLibraryW(L"uxtheme.dll");
        return uxtheme ? reinterpret_cast<SetWindowThemeProc>(
                             reinterpret_cast<void*>(GetProcAddress(uxtheme, "SetWindowTheme")))
                       : nullptr;
    }();
    if (setTheme) setTheme(window, L" ", L" ");
}

double MinimumOf(const DialogItemRecord& r) { return r.minimum; }
double MaximumOf(const DialogItemRecord& r) { return r.maximum; }

}  // namespace

// ---- The table

void MorvaneDialog::BuildItemTable() {
    const HWND window = port_.window;
    int16_t count = 0;
    while (count < 32767 && GetDlgItem(window, count + 1)) ++count;
    items_.clear();
    try {
        items_.assign(static_cast<size_t>(count), DialogItemRecord{});
    } catch (const std::bad_alloc&) {
        itemCount_ = 0;
        THROW_IF_ERROR(Err::MemoryFull);
    }
    itemCount_ = count;
    HWND previous = nullptr;
    for (int16_t n = 1; n <= count; ++n) {
        DialogItemRecord& record = items_[n - 1];
        record.window = GetDlgItem(window, n);
        record.kind = KindOfWindow(record.window);
        if (record.kind == ItemKind::kTabControl) SplitTabLabels(record.window);
        if (n == statusItem_) record.flags |= kItemStretchesWidth | kItemFollowsBottom;
        // Tab order follows the item numbers.
        SetWindowPos(record.window, previous ? previous : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        previous = record.window;
        ClearVisualTheme(record.window);
    }
}

HWND MorvaneDialog::ItemWindow(int16_t item) const {
    const DialogItemRecord* record = ItemRecord(item);
    return record ? record->window : nullptr;
}

const DialogItemRecord* MorvaneDialog::ItemRecord(int16_t item) const {
    if (item < 1 || item > itemCount_ || static_cast<size_t>(item) > items_.size()) return nullptr;
    return &items_[item - 1];
}

DialogItemRecord* MorvaneDialog::ItemRecord(int16_t item) {
    return const_cast<DialogItemRecord*>(static_cast<const MorvaneDialog*>(this)->ItemRecord(item));
}

// ---- Values

void MorvaneDialog::SetItemValue(int16_t item, double value, bool select) {
    DialogItemRecord* record = ItemRecord(item);
    if (!record || !std::isfinite(value)) return;
    const HWND control = record->window;
    const int rounded = RoundToInt(value);
    switch (ItemKind::Letter(record->kind)) {
        case ItemKind::kButton:
            CheckDlgButton(port_.window, item, rounded >= 1 ? BST_CHECKED : BST_UNCHECKED);
            break;
        case ItemKind::kComboBox: SendMessageA(control, CB_SETCURSEL, rounded - 1, 0); break;
        case ItemKind::kListBox: SendMessageA(control, LB_SETCURSEL, rounded - 1, 0); break;
        case ItemKind::kProgressBar: SendMessageA(control, PBM_SETPOS, rounded, 0); break;
        case ItemKind::kScrollBar:
            if (RoundToInt(record->minimum) < RoundToInt(record->maximum)) {
                SCROLLINFO info{sizeof info, SIF_POS};
                info.nPos = rounded;
                SetScrollInfo(control, SB_CTL, &info, TRUE);
            }
            break;
        case ItemKind::kTrackBar: SendMessageA(control, TBM_SETPOS, TRUE, static_cast<int16_t>(rounded)); break;
        case ItemKind::kTabControl: SendMessageA(control, TCM_SETCURSEL, rounded - 1, 0); break;
        case ItemKind::kInteger:
        case ItemKind::kReal:
        case ItemKind::kStaticText:
            if (std::fabs(value - record->value) > HalfUnit(*record) || !record->textCurrent) {
                record->textCurrent = 1;
                char text[kItemTextMax + 1] = {};
                if (FormatNumber(text, sizeof text, value, record, Dialogs().chars) == 0) SetItemText(item, text, select);
            }
            break;
        default:
            break;
    }
    record->value = static_cast<float>(value);
}

double MorvaneDialog::GetItemValue(int16_t item) {
    DialogItemRecord* record = ItemRecord(item);
    if (!record) return 0.0;
    const HWND control = record->window;
    double value = 0.0;
    switch (ItemKind::Letter(record->kind)) {
        case ItemKind::kInteger:
        case ItemKind::kReal:
            return record->value;
        case ItemKind::kButton: value = IsDlgButtonChecked(port_.window, item) == BST_CHECKED ? 1 : 0; break;
        case ItemKind::kComboBox: value = static_cast<double>(SendMessageA(control, CB_GETCURSEL, 0, 0)); break;
        case ItemKind::kListBox: value = static_cast<double>(SendMessageA(control, LB_GETCURSEL, 0, 0)); break;
        case ItemKind::kProgressBar: value = static_cast<double>(SendMessageA(control, PBM_GETPOS, 0, 0)); break;
        case ItemKind::kScrollBar: {
            SCROLLINFO info{sizeof info, SIF_POS};
            GetScrollInfo(control, SB_CTL, &info);
            value = info.nPos;
            break;
        }
        case ItemKind::kTrackBar:
            value = static_cast<int16_t>(SendMessageA(control, TBM_GETPOS, 0, 0));
            break;
        case ItemKind::kTabControl: value = static_cast<double>(SendMessageA(control, TCM_GETCURSEL, 0, 0)) + 1; break;
        default:
            return 0.0;
    }
    record->value = static_cast<float>(value);
    return value;
}

int16_t MorvaneDialog::GetItemRounded(int16_t item) {
    if (item < 1) return 0;
    return RoundToInt16(GetItemValue(item));
}

void MorvaneDialog::SetItemRange(int16_t item, double minimum, double maximum) {
    DialogItemRecord* record = ItemRecord(item);
    if (!record || !std::isfinite(minimum) || !std::isfinite(maximum)) return;
    if (minimum > -kNoBoundMagnitude) record->minimum = static_cast<float>(minimum);
    const double top = std::max(minimum, maximum);
    if (top < kNoBoundMagnitude) record->maximum = static_cast<float>(top);
    const HWND control = record->window;
    const int low = RoundToInt(record->minimum), high = RoundToInt(record->maximum);
    switch (ItemKind::Letter(record->kind)) {
        case ItemKind::kProgressBar:
            SendMessageA(control, PBM_SETRANGE, 0, MAKELPARAM(static_cast<int16_t>(low), static_cast<int16_t>(high)));
            break;
        case ItemKind::kScrollBar: {
            SCROLLINFO info{sizeof info, SIF_RANGE | SIF_DISABLENOSCROLL};
            info.nMin = low;
            info.nMax = high;
            if (record->pageStep >= 1) {
                info.fMask |= SIF_PAGE;
                info.nPage = record->pageStep;
                info.nMax = high + record->pageStep - 1;
            }
            SetScrollInfo(control, SB_CTL, &info, TRUE);
            break;
        }
        case ItemKind::kTrackBar:
            SendMessageA(control, TBM_SETRANGE, TRUE, MAKELPARAM(static_cast<int16_t>(low), static_cast<int16_t>(high)));
            break;
        default:
            break;
    }
}

void MorvaneDialog::GetItemRange(int16_t item, double& minimum, double& maximum) {
    const DialogItemRecord* record = ItemRecord(item);
    minimum = maximum = 0.0;
    if (!record) return;
    minimum = MinimumOf(*record);
    maximum = MaximumOf(*record);
    const HWND control = record->window;
    switch (ItemKind::Letter(record->kind)) {
        case ItemKind::kComboBox:
            minimum = 1;
            maximum = static_cast<double>(SendMessageA(control, CB_GETCOUNT, 0, 0));
            break;
        case ItemKind::kListBox:
            minimum = 1;
            maximum = static_cast<double>(SendMessageA(control, LB_GETCOUNT, 0, 0));
            break;
        case ItemKind::kProgressBar:
            minimum = static_cast<double>(SendMessageA(control, PBM_GETRANGE, TRUE, 0));
            maximum = static_cast<double>(SendMessageA(control, PBM_GETRANGE, FALSE, 0));
            break;
        case ItemKind::kScrollBar: {
            SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE};
            GetScrollInfo(control, SB_CTL, &info);
            minimum = info.nMin;
            maximum = info.nMax - static_cast<int>(info.nPage) + 1;
            break;
        }
        case ItemKind::kTrackBar:
            minimum = static_cast<int16_t>(SendMessageA(control, TBM_GETRANGEMIN, 0, 0));
            maximum = static_cast<int16_t>(SendMessageA(control, TBM_GETRANGEMAX, 0, 0));
            break;
        default:
            break;
    }
}

void MorvaneDialog::SetItemNumber(int16_t item, const char* format, double minimum, double maximum) {
    DialogItemRecord* record = ItemRecord(item);
    if (!record) THROW_IF_ERROR(NumberParse::kBadFormat);
    if (const ErrorCode code = ApplyNumberFormat(*record, format)) THROW_IF_ERROR(code);
    UpdateDefaultEnable();
    SetItemRange(item, minimum, maximum);
}

// ---- Typed numbers

int16_t MorvaneDialog::ValidateEditItem(int16_t item) {
    DialogItemRecord* record = ItemRecord(item);
    if (!record || !ItemKind::IsEditable(record->kind)) return item;
    char text[kItemTextMax + 1] = {};
    GetItemText(item, text, sizeof text);
    if (item == focus_.item && focus_.stepped) {
        // A step by Up or Down is a hit even at a bound, where the text stayed as it was.
        focus_.stepped = false;
        lstrcpynA(focus_.acceptedText, text, sizeof focus_.acceptedText);
        return item;
    }
    if (item == focus_.item && _stricmp(text, focus_.acceptedText) == 0) return 0;
    if (record->kind == ItemKind::kTextEdit) {
        if (record->width > 0 && std::strlen(text) > record->width) {
            char limit[16];
            wsprintfA(limit, "%u", static_cast<unsigned>(record->width));
            if (!alertsOff_) Alert(this, 18015, limit);
            SetItemText(item, focus_.item == item ? focus_.acceptedText : "", true);
            return 0;
        }
        if (item == focus_.item) lstrcpynA(focus_.acceptedText, text, sizeof focus_.acceptedText);
        return item;
    }
    if (!ItemKind::IsNumber(record->kind)) return item;
    if (item == focus_.item) focus_.pendingEdit = false;
    double typed = 0.0;
    const ErrorCode result = ParseNumber(text, typed, *record, Dialogs().chars);
    if (result == NumberParse::kValid) {
        const double tolerance = std::pow(10.0, -record->decimals) * 1e-6;
        const bool same = std::fabs(typed - record->value) < tolerance;
        if (!same) record->value = static_cast<float>(typed);
        if (item == focus_.item) lstrcpynA(focus_.acceptedText, text, sizeof focus_.acceptedText);
        return same ? 0 : item;
    }
    if (result == NumberParse::kBelowMinimum && record->minimum > 0 && typed >= 0) {
        // A number still being typed towards the minimum: hold the minimum, say nothing yet.
        record->value = record->minimum;
        if (item == focus_.item) focus_.pendingEdit = true;
        return item;
    }
    if (result == NumberParse::kEmpty) {
        if (item == focus_.item) focus_.pendingEdit = true;
        return 0;
    }
    RunAlertForNumber(item, result);
    return 0;
}

void MorvaneDialog::RunAlertForNumber(int16_t item, ErrorCode parseResult) {
    DialogItemRecord& record = items_[item - 1];
    const NumberChars& chars = Dialogs().chars;
    const bool integer = ItemKind::Letter(record.kind) == ItemKind::kInteger;
    char low[64] = {}, high[64] = {};
    const bool hasMinimum = record.minimum > -kNoBoundMagnitude &&
                            FormatNumber(low, sizeof low, record.minimum, &record, chars) == 0;
    const bool hasMaximum = record.maximum < kNoBoundMagnitude &&
                            FormatNumber(high, sizeof high, record.maximum, &record, chars) == 0;
    const bool outside = parseResult == NumberParse::kAboveMaximum || parseResult == NumberParse::kBelowMinimum;
    int16_t answer = 1;
    if (!alertsOff_) {
        const int16_t alert = NumberAlertFor(parseResult, integer, hasMinimum, hasMaximum);
        const char* first = hasMinimum ? low : (hasMaximum ? high : nullptr);
        const char* second = hasMinimum && hasMaximum ? high : nullptr;
        // The blanks that pad a number to its width do not belong in a sentence.
        while (first && *first == ' ') ++first;
        while (second && *second == ' ') ++second;
        answer = Alert(this, alert, first, second);
    }
    if (outside && answer == 1) {
        const double bound = parseResult == NumberParse::kAboveMaximum ? record.maximum : record.minimum;
        record.value = static_cast<float>(bound);
        ItemHit(item);
        ItemHit(0);
        char text[kItemTextMax + 1] = {};
        FormatNumber(text, sizeof text, bound, &record, chars);
        SetItemText(item, text, true);
        if (item == focus_.item) lstrcpynA(focus_.acceptedText, text, sizeof focus_.acceptedText);
        return;
    }
    WriteValueBack(item);
}

void MorvaneDialog::WriteValueBack(int16_t item) {
    DialogItemRecord& record = items_[item - 1];
    char text[kItemTextMax + 1] = {};
    if (FormatNumber(text, sizeof text, record.value, &record, Dialogs().chars) != 0) return;
    SetItemText(item, text, true);
    if (item == focus_.item) lstrcpynA(focus_.acceptedText, text, sizeof focus_.acceptedText);
}

int16_t MorvaneDialog::StepNumberEdit(int16_t key, uint16_t modifiers) {
    DialogItemRecord* record = ItemRecord(focus_.item);
    if (!record) return -1;
    const double unit = std::pow(10.0, -record->decimals) * ((modifiers & kModifierShift) ? 10 : 1);
    double value = record->value + (key == DialogKeyCode::kUp ? unit : -unit);
    value = std::clamp(value, static_cast<double>(record->minimum), static_cast<double>(record->maximum));
    record->value = static_cast<float>(value);
    char text[kItemTextMax + 1] = {};
    if (FormatNumber(text, sizeof text, value, record, Dialogs().chars) == 0) {
        record->textCurrent = 1;
        SetItemText(focus_.item, text, true);
    }
    focus_.stepped = true;
    return focus_.item;
}

bool MorvaneDialog::FilterNumberKey(int16_t key) {
    const DialogItemRecord* record = ItemRecord(focus_.item);
    const NumberChars& chars = Dialogs().chars;
    const char c = static_cast<char>(key);
    const bool real = record && ItemKind::Letter(record->kind) == ItemKind::kReal;
    if ((c >= '0' && c <= '9') || c == chars.plus || c == chars.minus || c == chars.thousands ||
        (real && c == chars.decimal))
        return true;
    MessageBeep(MB_ICONEXCLAMATION);
    return false;
}

// ---- Texts

void MorvaneDialog::SetItemText(int16_t item, const char* text, bool select) {
    const HWND control = ItemWindow(item);
    if (!control) return;
    ++notificationSuppress_;
    struct Lower {
        int32_t& count;
        ~Lower() { --count; }
    } lower{notificationSuppress_};
    if (item == focus_.item) focus_.pendingEdit = false;
    if (text) {
        SetWindowTextA(control, text);
        ::InvalidateRect(control, nullptr, FALSE);
    }
    if (select) {
        SetFocus(control);
        SendMessageA(control, EM_SETSEL, 0, -1);
    } else if (GetFocus() == control) {
        SendMessageA(control, EM_SETSEL, 0, -1);
    }
}

size_t MorvaneDialog::GetItemText(int16_t item, char* buffer, size_t bufferSize) const {
    if (!buffer || bufferSize == 0) return 0;
    buffer[0] = 0;
    const HWND control = ItemWindow(item);
    if (!control) return 0;
    const int size = static_cast<int>(std::min(bufferSize, kItemTextMax + 1));
    const int length = GetWindowTextA(control, buffer, size);
    buffer[std::max(0, std::min(length, size - 1))] = 0;
    return static_cast<size_t>(std::max(0, length));
}

// ---- Enabling, focus and the default item

void MorvaneDialog::MoveFocusOnBeforeDisabling(HWND control) {
    if (GetFocus() != control) return;
    const HWND window = Window();
    const HWND next = window ? GetNextDlgTabItem(window, control, FALSE) : nullptr;
    if (next && next != control) {
        SetFocus(next);
    } else if (owner_ && owner_->Window()) {
        SetFocus(owner_->Window());
    } else if (window) {
        SetFocus(window);
    }
}

void MorvaneDialog::EnableItem(int16_t item, bool enable, int16_t entry) {
    DialogItemRecord* record = ItemRecord(item);
    if (!record) return;
    if (entry >= 1) {
        const UINT message = ItemKind::Letter(record->kind) == ItemKind::kListBox ? LB_SETITEMDATA : CB_SETITEMDATA;
        SendMessageA(record->window, message, entry - 1, enable ? 1 : 0);
        return;
    }
    if (!enable) MoveFocusOnBeforeDisabling(record->window);
    EnableWindow(record->window, enable);
}

void MorvaneDialog::SetFocusItem(int16_t item) {
    ++notificationSuppress_;
    struct Lower {
        int32_t& count;
        ~Lower() { --count; }
    } lower{notificationSuppress_};
    if (item == 0) {
        if (owner_ && owner_->Window()) SetFocus(owner_->Window());
        return;
    }
    const DialogItemRecord* record = ItemRecord(item);
    if (!record) return;
    SetFocus(record->window);
    if (ItemKind::IsEditable(record->kind)) SendMessageA(record->window, EM_SETSEL, 0, -1);
}

int16_t MorvaneDialog::GetFocusedItem() const {
    const HWND focus = GetFocus();
    const HWND window = Window();
    if (!focus || !window || GetParent(focus) != window) return 0;
    const int id = GetDlgCtrlID(focus);
    return (id >= 1 && id <= itemCount_) ? static_cast<int16_t>(id) : 0;
}

void MorvaneDialog::SetDefaultItem(int16_t item) {
    hasDefault_ = true;
    const HWND window = port_.window;
    if (window && !open_) {
        if (const HWND button = ItemWindow(item)) SendMessageA(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        if (const HWND old = ItemWindow(defaultItem_); old && defaultItem_ != item)
            SendMessageA(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
    if (window) SendMessageA(window, DM_SETDEFID, item, 0);
    defaultItem_ = item;
}

bool MorvaneDialog::HasInvalidItem() const {
    for (const DialogItemRecord& record : items_)
        if (record.flags & kItemValueInvalid) return true;
    return false;
}

void MorvaneDialog::UpdateDefaultEnable() {
    const HWND button = ItemWindow(defaultItem_);
    if (!button) return;
    const bool enable = !HasInvalidItem();
    if (!enable) MoveFocusOnBeforeDisabling(button);
    EnableWindow(button, enable);
}

// ---- Rectangles and regions

Rect16 MorvaneDialog::GetItemRect(int16_t item) const {
    const DialogItemRecord* record = ItemRecord(item);
    const HWND window = port_.window;
    if (!record || !record->window || !window) return Rect16{};
    RECT r{};
    GetWindowRect(record->window, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    if (record->parked) OffsetRect(&r, kParkOffset, kParkOffset);
    return ToRect16(r);
}

void MorvaneDialog::HideItems23To25() {
    for (int16_t n = 23; n <= 25 && n <= itemCount_; ++n) ShowWindow(ItemWindow(n), SW_HIDE);
}

void MorvaneDialog::DrawItemText(const char* text, const Rect16& rect, uint16_t style, bool erase) {
    if (!text) return;
    PortDC dc(port_);
    if (!dc) return;
    RECT r = ToRECT(rect);
    if (erase) FillRect(dc.Get(), &r, port_.backBrush.Get());
    if (port_.font) SelectObject(dc.Get(), port_.font.Get());
    SetTextColor(dc.Get(), port_.foreColor);
    SetBkColor(dc.Get(), port_.backColor);
    SetBkMode(dc.Get(), TRANSPARENT);
    UINT format = DT_NOPREFIX | DT_SINGLELINE | ((style & 0x80) ? DT_PATH_ELLIPSIS : DT_END_ELLIPSIS);
    if (style & 2) format |= DT_CENTER;
    if (style & 4) format |= DT_RIGHT;
    if (style & (16 | 32)) {
        RECT measured = r;
        DrawTextExA(dc.Get(), const_cast<char*>(text), -1, &measured, format | DT_CALCRECT, nullptr);
        const int height = measured.bottom - measured.top;
        if (style & 16) r.top += ((r.bottom - r.top) - height) / 2;
        if (style & 32) r.top = r.bottom - height;
    }
    DrawTextExA(dc.Get(), const_cast<char*>(text), -1, &r, format, nullptr);
}

void MorvaneDialog::UpdateRegion() {
    const HWND window = port_.window;
    if (!window) return;
    RECT client{};
    GetClientRect(window, &client);
    OwnedRgn region = NewRectRgn(ToRect16(client));
    for (int16_t n = 1; n <= itemCount_; ++n) {
        const HWND control = ItemWindow(n);
        if (!control || !IsWindowVisible(control)) continue;
        const Rect16 r = GetItemRect(n);
        OwnedRgn itemRegion = RegionOf(r);
        DiffRgn(region.Get(), itemRegion.Get(), region.Get());
    }
    drawingRegion_ = std::move(region);
}

// ---- Focus tracking

void MorvaneDialog::TrackFocus(int16_t item) {
    if (focus_.item != item && focus_.pendingEdit) {
        focus_.pendingEdit = false;
        if (DialogItemRecord* record = ItemRecord(focus_.item)) {
            if (ItemKind::IsNumber(record->kind)) {
                record->textCurrent = 0;
                SetItemValue(focus_.item, record->value, false);
            } else {
                SetItemText(focus_.item, focus_.acceptedText, false);
            }
        }
    }
    if (focus_.item == item) return;
    focus_.item = item;
    const DialogItemRecord* record = ItemRecord(item);
    focus_.kind = record ? record->kind : 0;
    focus_.window = record ? record->window : nullptr;
    focus_.acceptedText[0] = 0;
    if (record && ItemKind::IsEditable(record->kind)) GetItemText(item, focus_.acceptedText, sizeof focus_.acceptedText);
}

// ---- Notifications and scrolling

int16_t MorvaneDialog::CommandToItem(WORD id, WORD notification, HWND control) {
    if (notificationSuppress_ > 0) return -1;
    const DialogItemRecord* record = ItemRecord(static_cast<int16_t>(id));
    if (!record || record->window != control) return -1;
    const auto item = static_cast<int16_t>(id);
    if (ItemKind::IsEditable(record->kind)) return notification == EN_CHANGE ? item : -1;
    switch (ItemKind::Letter(record->kind)) {
        case ItemKind::kListBox:
            if (notification == LBN_DBLCLK) Dialogs().doubleClick = true;
            return item;
        case ItemKind::kInteger:
        case ItemKind::kReal:
        case ItemKind::kStaticText:
            return notification <= 1 ? item : -1;
        default:
            return item;
    }
}

void MorvaneDialog::HandleScroll(HWND control, WORD code, WORD trackPosition, int16_t& item) {
    const int id = GetDlgCtrlID(control);
    DialogItemRecord* record = ItemRecord(static_cast<int16_t>(id));
    if (!record || record->window != control) return;
    const uint8_t kind = ItemKind::Letter(record->kind);
    if (kind != ItemKind::kScrollBar && kind != ItemKind::kTrackBar) return;
    const bool scrollBar = kind == ItemKind::kScrollBar;
    int position = 0;
    if (scrollBar) {
        SCROLLINFO info{sizeof info, SIF_POS};
        GetScrollInfo(control, SB_CTL, &info);
        position = info.nPos;
    } else {
        position = static_cast<int16_t>(trackPosition);
    }
    if (code > SB_ENDSCROLL) return;
    if (!record->dragging) {
        record->dragging = 1;
        Toolkit::RaiseTrackingDepth();
    }
    switch (code) {
        case SB_LINEUP: position -= record->lineStep; break;
        case SB_LINEDOWN: position += record->lineStep; break;
        case SB_PAGEUP: position -= record->pageStep; break;
        case SB_PAGEDOWN: position += record->pageStep; break;
        case SB_THUMBTRACK:
            if (scrollBar) {
                SCROLLINFO info{sizeof info, SIF_TRACKPOS};
                GetScrollInfo(control, SB_CTL, &info);
                position = info.nTrackPos;
                info.fMask = SIF_POS;
                info.nPos = position;
                SetScrollInfo(control, SB_CTL, &info, TRUE);
            }
            break;
        case SB_TOP:
        case SB_BOTTOM:
            return;
        default:
            break;
    }
    if (code == SB_THUMBPOSITION || code == SB_ENDSCROLL) {
        if (record->dragging) {
            record->dragging = 0;
            Toolkit::LowerTrackingDepth();
        }
        if (position == RoundToInt(record->value)) {
            ItemHit(0);
            return;
        }
        record->value = static_cast<float>(position);
        item = static_cast<int16_t>(id);
        return;
    }
    const int low = RoundToInt(record->minimum), high = RoundToInt(record->maximum);
    const int clamped = std::clamp(position, low, std::max(low, high));
    if (clamped != position && scrollBar) {
        SCROLLINFO info{sizeof info, SIF_POS};
        info.nPos = clamped;
        SetScrollInfo(control, SB_CTL, &info, TRUE);
    }
    if (clamped != RoundToInt(record->value) && ForwardItemHit(static_cast<int16_t>(id), clamped))
        record->value = static_cast<float>(clamped);
}

// ---- Appended templates

namespace {

struct AppendContext {
    MorvaneDialog* dialog;
    HWND target;
    int16_t firstId;
    int16_t added;
    bool failed;
};

// A control may keep what it loaded (a menu) as a window property: the copy keeps the first one.
void CarryFirstProperty(HWND source, HWND copy) {
    struct First {
        char name[64] = {};
        HANDLE data = nullptr;
        int seen = 0;
    } first;
    EnumPropsExA(
        source,
        [](HWND, LPSTR name, HANDLE data, ULONG_PTR context) -> BOOL {
            auto* f = reinterpret_cast<First*>(context);
            // Atoms (not texts) name the system's own properties: they are not ours to carry.
            if (++f->seen > 4) return FALSE;
            if (IS_INTRESOURCE(name)) return TRUE;
            lstrcpynA(f->name, name, sizeof f->name);
            f->data = data;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&first));
    if (first.name[0]) SetPropA(copy, first.name, first.data);
}

INT_PTR CALLBACK AppendProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) return 0;
    auto* context = reinterpret_cast<AppendContext*>(lParam);
    try {
        const HFONT font = reinterpret_cast<HFONT>(SendMessageA(context->target, WM_GETFONT, 0, 0));
        for (int k = 1; k < 32767; ++k) {
            const HWND source = GetDlgItem(window, k);
            if (!source) break;
            char className[64] = {}, text[256] = {};
            GetClassNameA(source, className, sizeof className);
            GetWindowTextA(source, text, sizeof text);
            RECT r{};
            GetWindowRect(source, &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            const auto style = static_cast<DWORD>(GetWindowLongA(source, GWL_STYLE));
            const auto exStyle = static_cast<DWORD>(GetWindowLongA(source, GWL_EXSTYLE));
            const HWND copy = CreateWindowExA(exStyle, className, text, style, r.left, r.top, r.right - r.left,
                                              r.bottom - r.top, context->target,
                                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(context->firstId + k - 1)),
                                              ThisModule(), nullptr);
            if (!copy) {
                context->failed = true;
                break;
            }
            SendMessageA(copy, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            CarryFirstProperty(source, copy);
            ++context->added;
        }
    } catch (...) {
        // A failure while copying controls is reported by the caller as a failed creation.
        context->failed = true;
    }
    return 0;
}

}  // namespace

void MorvaneDialog::AppendItems(int16_t templateId) {
    const HWND window = Window();
    if (!window || templateId < 1) return;
    Toolkit::SetResourceBase(static_cast<uint16_t>(primaryTemplate_));
    AppendContext context{this, window, static_cast<int16_t>(itemCount_ + 1), 0, false};
    const HWND child = CreateDialogParamA(ThisModule(), MAKEINTRESOURCEA(templateId), window, AppendProc,
                                          reinterpret_cast<LPARAM>(&context));
    if (!child) THROW_IF_ERROR(Err::MemoryFull);
    DestroyWindow(child);
    if (context.failed) THROW_IF_ERROR(Err::MemoryFull);
    BuildItemTable();
    UpdateRegion();
}
