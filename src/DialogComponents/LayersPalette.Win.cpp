// The layers palette: layout, drawing, the press with its drag, and the row operations.
#include "LayersPalette.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "Errors.h"
#include "LayerTitleDialog.h"
#include "MorvaneDialog.h"
#include "WindowServices.h"

namespace {

// The interface's colours as the palette uses them.
constexpr COLORREF kListBack = ControlLook::kBackground;     // rows and the area below them
constexpr COLORREF kCurrentBack = ControlLook::kSurface;     // the current row's title, list enabled
constexpr COLORREF kTitleText = ControlLook::kText;
constexpr COLORREF kDimmedText = RGB(0x80, 0x80, 0x80);      // locked, disabled, beyond the rows
constexpr COLORREF kOutline = ControlLook::kFrame;           // the rows' outlines, item enabled
constexpr COLORREF kDimmedOutline = RGB(0x80, 0x80, 0x80);   // the rows' outlines, item disabled

// The border round the rows: one pixel inside the item, and the extra pixel of the last row's
// outline (each row is a row height + 1 high, sharing its outline with the next).
constexpr int32_t kBorder = 3;
constexpr int32_t kBorderless = 1;
constexpr int32_t kTitleInset = 2;     // the title cell inside its row
constexpr int32_t kTitlePadding = 4;   // the text inside the title cell
// The drag's auto-scroll waits this long between rows when the caret does not blink.
constexpr UINT kAutoScrollFallbackMs = 500;
// Pause between polls of a held button: the drag stays smooth without keeping a core busy.
constexpr DWORD kTrackPollMs = 10;

COLORREF Inverted(COLORREF colour) {
    return RGB(255 - GetRValue(colour), 255 - GetGValue(colour), 255 - GetBValue(colour));
}

OwnedBrush SolidBrush(COLORREF colour) {
    OwnedBrush brush(CreateSolidBrush(colour));
    if (!brush) THROW_IF_ERROR(Err::MemoryFull);
    return brush;
}

void Fill(HDC dc, const Rect16& rect, COLORREF colour) {
    if (IsEmptyRect(rect)) return;
    const OwnedBrush brush = SolidBrush(colour);
    const RECT r = ToRECT(rect);
    FillRect(dc, &r, brush.Get());
}

void Outline(HDC dc, const Rect16& rect, COLORREF colour) {
    if (IsEmptyRect(rect)) return;
    const OwnedBrush brush = SolidBrush(colour);
    const RECT r = ToRECT(rect);
    FrameRect(dc, &r, brush.Get());
}

Rect16 Inset(const Rect16& r, int32_t by) {
    return Rect16{ClampToInt16(r.top + by), ClampToInt16(r.left + by), ClampToInt16(r.bottom - by),
                  ClampToInt16(r.right - by)};
}

// Rounds towards minus infinity, so that a point above the list lies in a row above it.
int32_t FloorDiv(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

UINT AutoScrollInterval() {
    const UINT blink = GetCaretBlinkTime();
    return (blink == 0 || blink == INFINITE) ? kAutoScrollFallbackMs : blink;
}

}  // namespace

LayersPalette::LayersPalette(MorvaneDialog& owner, int16_t item, ComponentCallback callback,
                             const LayersPaletteSetup& setup)
    : DialogComponent(owner, item, callback),
      rowCount_(std::max<int16_t>(setup.rowCount, 0)),
      scrollBarItem_(setup.scrollBarItem),
      stateIcon_(setup.stateIcon),
      flags_(setup.flags),
      firstRowIndex_(std::min<int16_t>(setup.firstRowIndex, 0)),
      rowHeight_(std::max<uint16_t>(setup.rowHeight, 1)),
      iconColumns_(setup.iconColumns),
      titleDialog_(setup.titleDialog) {
    callbackWord_ = 0;
    SetColors(kListBack, kOutline);
    currentRow_ = std::max<int16_t>(firstRowIndex_, 0);
    firstVisible_ = firstRowIndex_;
}

LayersPalette::~LayersPalette() { Destroy(); }

void LayersPalette::Destroy() noexcept {
    std::vector<uint8_t>().swap(moveBuffer_);
    Unlink();
}

// ---- Rows and their numbers

void LayersPalette::SetRowCount(int16_t rowCount, int16_t firstRowIndex) {
    rowCount_ = std::max<int16_t>(rowCount, 0);
    firstRowIndex_ = std::min<int16_t>(firstRowIndex, 0);
    currentRow_ = std::clamp<int16_t>(currentRow_, firstRowIndex_, std::max<int16_t>(firstRowIndex_, rowCount_ - 1));
    KeepFirstVisibleInBounds();
}

int32_t LayersPalette::CallbackRow(int16_t row) const {
    if (row >= 0 || firstRowIndex_ >= 0) return row;
    return int32_t{firstRowIndex_} - row - 1;
}

uint32_t LayersPalette::Ask(int16_t code, int32_t argument) const {
    LayersPaletteQuery query;
    query.argument = argument;
    if (!const_cast<LayersPalette*>(this)->Notify(code, reinterpret_cast<intptr_t>(&query))) return 0;
    return query.answer;
}

bool LayersPalette::IsLocked(int16_t row) const { return Ask(LayersPaletteCode::kRowLocked, CallbackRow(row)) != 0; }

void LayersPalette::SetRecords(const LayersPaletteRecords& records) {
    records_ = records;
    // A field that does not lie inside a record is one the records do not hold.
    const int64_t stride = records_.stride;
    if (!records_.base || stride <= 0) {
        records_.base = nullptr;
        records_.stride = 0;
    }
    if (records_.titleOffset < 0 || records_.titleSize < 2 ||
        int64_t{records_.titleOffset} + records_.titleSize > stride) {
        records_.titleOffset = -1;
        records_.titleSize = 0;
    }
    if (records_.stateOffset < 0 || records_.stateOffset >= stride) records_.stateOffset = -1;
    moveBuffer_.assign(records_.base ? size_t(records_.stride) : 0, 0);
}

uint8_t* LayersPalette::RecordOf(int16_t row) const {
    if (!records_.base || records_.stride <= 0) return nullptr;
    const int64_t offset = int64_t{records_.firstOffset} + int64_t{row} * records_.stride;
    if (offset < 0 || uint64_t(offset) + uint64_t(records_.stride) > records_.size) return nullptr;
    return records_.base + offset;
}

std::string LayersPalette::Title(int16_t row) const {
    if (const uint8_t* record = RecordOf(row); record && records_.titleOffset >= 0) {
        const char* field = reinterpret_cast<const char*>(record + records_.titleOffset);
        // The field need not hold its terminator: a stored record may be damaged.
        return std::string(field, strnlen(field, size_t(records_.titleSize)));
    }
    LayersPaletteQuery query;
    query.argument = CallbackRow(row);
    if (!const_cast<LayersPalette*>(this)->Notify(LayersPaletteCode::kTitleText, reinterpret_cast<intptr_t>(&query)))
        return {};
    query.title[kLayerTitleMax] = '\0';
    return query.title;
}

bool LayersPalette::WriteTitle(int16_t row, const char* title) {
    uint8_t* record = RecordOf(row);
    if (!record || records_.titleOffset < 0 || !title) return false;
    char* field = reinterpret_cast<char*>(record + records_.titleOffset);
    std::memset(field, 0, size_t(records_.titleSize));
    std::memcpy(field, title, std::min(std::strlen(title), size_t(records_.titleSize) - 1));
    return true;
}

bool LayersPalette::RowState(int16_t row) const {
    if (const uint8_t* record = RecordOf(row); record && records_.stateOffset >= 0)
        return (record[records_.stateOffset] & 1) != 0;
    return Ask(LayersPaletteCode::kRowState, CallbackRow(row)) != 0;
}

void LayersPalette::SetRowState(int16_t row, bool on) {
    if (RowState(row) == on) return;
    if (uint8_t* record = RecordOf(row); record && records_.stateOffset >= 0) {
        uint8_t& state = record[records_.stateOffset];
        state = static_cast<uint8_t>(on ? (state | 1) : (state & ~1));
    }
    Notify(on ? LayersPaletteCode::kStateOn : LayersPaletteCode::kStateOff, CallbackRow(row));
}

// ---- Geometry

void LayersPalette::Layout() {
    MorvaneDialog& dialog = Owner();
    itemRect_ = ItemRect();
    const int32_t border = (flags_ & LayersPaletteFlags::kNoBorder) ? kBorderless : kBorder;
    visibleRows_ = static_cast<int16_t>(std::clamp<int32_t>((RectHeight(itemRect_) - border) / rowHeight_, 0, INT16_MAX));
    const int32_t exactBottom = itemRect_.top + visibleRows_ * rowHeight_ + border;
    if (visibleRows_ > 0 && exactBottom != itemRect_.bottom) {
        itemRect_.bottom = ClampToInt16(exactBottom);
        dialog.MoveItem(Item(), itemRect_);
    }
    listRect_ = (flags_ & LayersPaletteFlags::kNoBorder) ? itemRect_ : Inset(itemRect_, 1);
    scrollBarRect_ = Rect16{};
    if (scrollBarItem_ > 0 && dialog.ItemWindow(scrollBarItem_)) {
        const int32_t width = GetSystemMetrics(SM_CXVSCROLL);
        scrollBarRect_ = Rect16{listRect_.top, ClampToInt16(listRect_.right - width), listRect_.bottom, listRect_.right};
        if (!EqualRects(dialog.GetItemRect(scrollBarItem_), scrollBarRect_)) dialog.MoveItem(scrollBarItem_, scrollBarRect_);
        listRect_.right = scrollBarRect_.left;
    }
    rowTemplate_ = Rect16{listRect_.top, listRect_.left, ClampToInt16(listRect_.top + rowHeight_ + 1), listRect_.right};
    KeepFirstVisibleInBounds();
}

void LayersPalette::KeepFirstVisibleInBounds() {
    // Every row fits: the list starts at its first row. Otherwise the list never shows space
    // below its last row while rows above are hidden.
    const int32_t rows = int32_t{rowCount_} - firstRowIndex_;
    if (rows <= visibleRows_) {
        firstVisible_ = firstRowIndex_;
        return;
    }
    firstVisible_ = static_cast<int16_t>(std::clamp<int32_t>(firstVisible_, firstRowIndex_, rowCount_ - visibleRows_));
}

Rect16 LayersPalette::RowRect(int16_t row) const {
    Rect16 rect = rowTemplate_;
    OffsetRect16(rect, 0, (int32_t{row} - firstVisible_) * rowHeight_);
    return rect;
}

int32_t LayersPalette::TitleLeft() const {
    return listRect_.left + (int32_t{iconColumns_} + (HasStateColumn() ? 1 : 0)) * rowHeight_;
}

int16_t LayersPalette::RowAt(Point16 point) const {
    return static_cast<int16_t>(std::clamp<int32_t>(firstVisible_ + FloorDiv(point.v - listRect_.top, rowHeight_),
                                                    INT16_MIN, INT16_MAX));
}

int16_t LayersPalette::ColumnAt(Point16 point) const {
    const int32_t column = FloorDiv(point.h - listRect_.left, rowHeight_) + (HasStateColumn() ? 0 : 1);
    return static_cast<int16_t>(std::clamp<int32_t>(column, 0, iconColumns_ + 1));
}

void LayersPalette::UpdateScrollBar() {
    if (scrollBarItem_ <= 0) return;
    MorvaneDialog& dialog = Owner();
    DialogItemRecord* record = dialog.ItemRecord(scrollBarItem_);
    if (!record) return;
    record->lineStep = 1;
    record->pageStep = static_cast<uint16_t>(std::max<int16_t>(visibleRows_, 1));
    dialog.SetItemRange(scrollBarItem_, firstRowIndex_, std::max<int32_t>(rowCount_ - visibleRows_, firstRowIndex_));
    dialog.SetItemValue(scrollBarItem_, firstVisible_);
}

// ---- Drawing

void LayersPalette::Draw() {
    MorvaneDialog& dialog = Owner();
    const HWND itemWindow = dialog.ItemWindow(Item());
    if (!dialog.IsVisible() || !itemWindow || !IsWindowVisible(itemWindow)) return;
    SetColors(kListBack, IsWindowEnabled(itemWindow) ? kOutline : kDimmedOutline);
    ColorState colours(*this);
    Layout();
    ClipState clip(*this);
    PortDC dc(Port());
    if (!dc) return;
    if (!(flags_ & LayersPaletteFlags::kNoBorder)) {
        RECT edge = ToRECT(itemRect_);
        DrawEdge(dc.Get(), &edge, BDR_SUNKENOUTER, BF_RECT);
    }
    const int16_t last = static_cast<int16_t>(std::min<int32_t>(rowCount_, firstVisible_ + visibleRows_));
    for (int16_t row = std::max(firstVisible_, firstRowIndex_); row < last; ++row) DrawRowInto(dc.Get(), row, false);
    DrawEmptyBelow(dc.Get());
    UpdateScrollBar();
}

void LayersPalette::DrawEmptyBelow(HDC dc) {
    const int32_t shown = std::clamp<int32_t>(int32_t{rowCount_} - firstVisible_, 0, visibleRows_);
    // The last shown row's outline is its bottom pixel; the rest of the list is empty.
    const int32_t top = listRect_.top + shown * rowHeight_ + (shown > 0 ? 1 : 0);
    Fill(dc, Rect16{ClampToInt16(top), listRect_.left, listRect_.bottom, listRect_.right}, kListBack);
}

void LayersPalette::DrawRow(int16_t row, bool highlighted) {
    MorvaneDialog& dialog = Owner();
    const HWND itemWindow = dialog.ItemWindow(Item());
    if (!dialog.IsVisible() || !itemWindow || !IsWindowVisible(itemWindow)) return;
    if (!IsVisible(row) || row < firstRowIndex_ || row >= rowCount_) return;
    ColorState colours(*this);
    ClipState clip(*this);
    PortDC dc(Port());
    if (dc) DrawRowInto(dc.Get(), row, highlighted);
}

void LayersPalette::DrawRowInto(HDC dc, int16_t row, bool highlighted) {
    const bool locked = IsLocked(row);
    const bool dimmed = locked || !enabled_ || row >= rowCount_;
    COLORREF back = (row == currentRow_ && enabled_) ? kCurrentBack : kListBack;
    COLORREF text = dimmed ? kDimmedText : kTitleText;
    if (highlighted) {
        back = Inverted(back);
        text = Inverted(text);
    }
    const COLORREF outline = ForeColor();
    const Rect16 rowRect = RowRect(row);

    // The title.
    const Rect16 titleRow{rowRect.top, ClampToInt16(TitleLeft()), rowRect.bottom, rowRect.right};
    const Rect16 titleCell = Inset(titleRow, kTitleInset);
    Fill(dc, Inset(titleRow, 1), kListBack);
    Fill(dc, titleCell, back);
    Outline(dc, titleRow, outline);
    const std::string title = Title(row);
    if (!title.empty() && !IsEmptyRect(titleCell)) {
        RECT r = ToRECT(titleCell);
        r.left += kTitlePadding;
        r.right -= kTitlePadding;
        if (Port().font) SelectObject(dc, Port().font.Get());
        SetTextColor(dc, text);
        SetBkMode(dc, TRANSPARENT);
        std::string shown = title;   // DT_MODIFYSTRING is not asked for, but the call takes a mutable text
        DrawTextA(dc, shown.data(), static_cast<int>(shown.size()), &r,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_PATH_ELLIPSIS);
    }

    // The state column and the icon columns.
    const int16_t firstColumn = HasStateColumn() ? 0 : 1;
    for (int16_t column = firstColumn; column <= iconColumns_; ++column) {
        const int32_t left = listRect_.left + (column - firstColumn) * rowHeight_;
        const Rect16 cell{rowRect.top, ClampToInt16(left), rowRect.bottom, ClampToInt16(left + rowHeight_ + 1)};
        uint32_t answer = 0;
        if (column == 0) {
            answer = RowState(row) ? stateIcon_ : 0;
        } else {
            answer = Ask(LayersPaletteCode::kIconCell, (int32_t{column} << 16) | (CallbackRow(row) & 0xFFFF));
        }
        if (!(answer & LayersPaletteIcon::kKeepCell)) Fill(dc, Inset(cell, 1), highlighted ? Inverted(kListBack) : kListBack);
        Outline(dc, cell, outline);
        const uint16_t icon = static_cast<uint16_t>(answer & LayersPaletteIcon::kIdMask);
        if (icon) {
            const Point16 centre{ClampToInt16((cell.top + cell.bottom) / 2), ClampToInt16((cell.left + cell.right) / 2)};
            DrawIconAt(Port(), icon, centre, locked || (answer & LayersPaletteIcon::kGreyed) || !enabled_, dc);
        }
    }
}

// ---- Scrolling, moving and the current row

void LayersPalette::ScrollRows(int32_t d) {
    const int32_t lowest = firstRowIndex_;
    const int32_t highest = std::max<int32_t>(rowCount_ - visibleRows_, lowest);
    const int32_t target = std::clamp<int32_t>(int32_t{firstVisible_} + d, lowest, highest);
    if (target == firstVisible_) return;
    firstVisible_ = static_cast<int16_t>(target);
    Draw();
    Notify(LayersPaletteCode::kScrolled, firstVisible_);
    UpdateScrollBar();
}

void LayersPalette::FollowScrollBar() {
    if (scrollBarItem_ <= 0) return;
    ScrollRows(int32_t{Owner().GetItemRounded(scrollBarItem_)} - firstVisible_);
}

void LayersPalette::MoveRow(int16_t from, int16_t to) {
    const int16_t lowest = firstRowIndex_, highest = static_cast<int16_t>(rowCount_ - 1);
    if (from == to || from < lowest || from > highest || to < lowest || to > highest) return;
    if (currentRow_ == from) {
        currentRow_ = to;
    } else if (from < to && currentRow_ > from && currentRow_ <= to) {
        --currentRow_;
    } else if (to < from && currentRow_ >= to && currentRow_ < from) {
        ++currentRow_;
    }
    uint8_t* source = RecordOf(from);
    uint8_t* target = RecordOf(to);
    if (source && target && moveBuffer_.size() == size_t(records_.stride)) {
        // Records between the two ends lie between them in memory: both ends checked, all checked.
        const size_t stride = size_t(records_.stride);
        std::memcpy(moveBuffer_.data(), source, stride);
        if (from < to) {
            std::memmove(source, source + stride, size_t(target - source));
        } else {
            std::memmove(target + stride, target, size_t(source - target));
        }
        std::memcpy(target, moveBuffer_.data(), stride);
    }
    Notify(LayersPaletteCode::kRowMoved, (int32_t{static_cast<int16_t>(CallbackRow(to))} << 16) |
                                             (CallbackRow(from) & 0xFFFF));
    for (int16_t row = std::min(from, to); row <= std::max(from, to); ++row) DrawRow(row, row == to);
}

void LayersPalette::SetCurrentRow(int16_t row) {
    if (row < firstRowIndex_ || row >= rowCount_) return;
    bool scrolled = false;
    if (visibleRows_ > 0 && row < firstVisible_) {
        firstVisible_ = row;
        scrolled = true;
    } else if (visibleRows_ > 0 && row >= firstVisible_ + visibleRows_) {
        firstVisible_ = static_cast<int16_t>(row - visibleRows_ + 1);
        scrolled = true;
    }
    if (row != currentRow_) {
        const int16_t old = currentRow_;
        currentRow_ = row;
        if (!scrolled) DrawRow(old);
        Notify(LayersPaletteCode::kCurrentRowChanged, CallbackRow(row));
    }
    const bool hasState = HasStateColumn() || records_.stateOffset >= 0;
    if (hasState && !RowState(row)) SetRowState(row, true);
    if (scrolled) {
        Draw();
        Notify(LayersPaletteCode::kScrolled, firstVisible_);
    } else {
        DrawRow(row);
    }
    if (hasState && (GetModifierKeys() & kModifierAlt)) {
        for (int16_t other = firstRowIndex_; other < rowCount_; ++other) {
            if (other == row || !RowState(other)) continue;
            SetRowState(other, false);
            DrawRow(other);
        }
    }
}

// ---- The press

bool LayersPalette::FollowMouse(Point16& point) const {
    // The button and the idle work come from the dialog framework; the point is taken in the
    // palette's own dialog, which need not be the front one (a floating tab).
    const bool down = MorvaneDialog::TrackMouse(point);
    POINT cursor{};
    if (const HWND window = Owner().Window(); window && GetCursorPos(&cursor) && ScreenToClient(window, &cursor))
        point = Point16{ClampToInt16(cursor.y), ClampToInt16(cursor.x)};
    return down;
}

bool LayersPalette::Track(Point16 point) {
    Layout();
    if (!RectContains(listRect_, point.v, point.h)) {
        clickedBelow_ = false;
        return false;
    }
    if (!enabled_) return true;
    const int16_t row = RowAt(point);
    if (row >= rowCount_) {
        if (MorvaneDialog::DoubleClicked() && clickedBelow_) {
            clickedBelow_ = false;
            Notify(LayersPaletteCode::kDoubleClickBelow, rowCount_);
        } else {
            clickedBelow_ = true;
        }
        return true;
    }
    const bool afterClickBelow = clickedBelow_;
    clickedBelow_ = false;
    if (row < firstRowIndex_) return true;
    const int16_t column = ColumnAt(point);
    if (column == 0 && HasStateColumn()) {
        if (!IsLocked(row)) {
            SetRowState(row, !RowState(row));
            DrawRow(row);
        }
        return true;
    }
    if (column >= 1 && column <= iconColumns_) {
        Notify(LayersPaletteCode::kIconClick, (int32_t{column} << 16) | (CallbackRow(row) & 0xFFFF));
        DrawRow(row);
        return true;
    }
    if (MorvaneDialog::DoubleClicked() && row == currentRow_ && !afterClickBelow) {
        if (records_.base && records_.titleOffset >= 0 && titleDialog_ > 0) {
            EditTitle(titleDialog_);
        } else {
            Notify(LayersPaletteCode::kEditTitle, CallbackRow(row));
        }
        return true;
    }
    if (IsLocked(row)) return true;
    TrackTitle(row, point);
    return true;
}

void LayersPalette::DrawDragOutline(const Rect16& rect) {
    PortDC dc(Port());
    if (!dc) return;
    LOGBRUSH grey{BS_SOLID, RGB(0x80, 0x80, 0x80), 0};
    OwnedPen pen(ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &grey, 0, nullptr));
    if (!pen) THROW_IF_ERROR(Err::MemoryFull);
    SelectObject(dc.Get(), pen.Get());
    SelectObject(dc.Get(), GetStockObject(NULL_BRUSH));
    SetROP2(dc.Get(), R2_NOTXORPEN);
    Rectangle(dc.Get(), rect.left, rect.top, rect.right, rect.bottom);
}

void LayersPalette::TrackTitle(int16_t row, Point16 start) {
    const bool dragging = !(flags_ & LayersPaletteFlags::kNoDrag);
    DrawRow(row, true);
    int16_t at = row;          // where the pressed row is now
    bool moved = false;
    bool over = true;          // without dragging: the pointer is over the pressed row
    std::optional<Rect16> outline;
    const auto outlineAt = [&](Point16 p) {
        Rect16 rect = RowRect(at);
        rect.left = ClampToInt16(TitleLeft());
        OffsetRect16(rect, 0, p.v - start.v - (int32_t{at} - row) * rowHeight_);
        // Held within the list, so that it never draws over the dialog round it.
        const int32_t shift = std::clamp<int32_t>(0, listRect_.top - rect.top, listRect_.bottom - rect.bottom);
        OffsetRect16(rect, 0, shift);
        return rect;
    };
    const auto eraseOutline = [&] {
        if (outline) DrawDragOutline(*outline);
        outline.reset();
    };
    try {
        Point16 p = start;
        while (FollowMouse(p)) {
            if (!dragging) {
                const bool nowOver = RectContains(listRect_, p.v, p.h) && RowAt(p) == row;
                if (nowOver != over) {
                    over = nowOver;
                    DrawRow(row, over);
                }
            } else {
                int32_t target = int32_t{firstVisible_} + FloorDiv(p.v - listRect_.top, rowHeight_);
                target = std::clamp<int32_t>(target, int32_t{firstVisible_} - 1, int32_t{firstVisible_} + visibleRows_);
                target = std::clamp<int32_t>(target, firstRowIndex_, rowCount_ - 1);
                const bool above = target < firstVisible_, below = target >= firstVisible_ + visibleRows_;
                if (above || below) {
                    const DWORD now = GetTickCount();
                    if (now - lastAutoScroll_ >= AutoScrollInterval()) {
                        eraseOutline();
                        ScrollRows(above ? -1 : 1);
                        lastAutoScroll_ = now;
                    }
                    target = std::clamp<int32_t>(target, firstVisible_, firstVisible_ + visibleRows_ - 1);
                }
                if (target != at) {
                    eraseOutline();
                    MoveRow(at, static_cast<int16_t>(target));
                    at = static_cast<int16_t>(target);
                    moved = true;
                }
                const Rect16 next = outlineAt(p);
                if (!outline || !EqualRects(*outline, next)) {
                    eraseOutline();
                    DrawDragOutline(next);
                    outline = next;
                }
            }
            Sleep(kTrackPollMs);
        }
    } catch (...) {
        eraseOutline();
        throw;
    }
    eraseOutline();
    if (!dragging) {
        DrawRow(row, false);
        if (over) SetCurrentRow(row);
        return;
    }
    if (moved || at == currentRow_) {
        DrawRow(at);
    } else {
        SetCurrentRow(at);
    }
}

// ---- Title editing and size

int16_t LayersPalette::EditTitle(int16_t templateId) {
    std::unique_ptr<LayerTitleDialog> dialog(new (std::nothrow) LayerTitleDialog(templateId, *this));
    if (!dialog) THROW_IF_ERROR(Err::MemoryFull);
    return dialog->RunModal();
}

void LayersPalette::FitFourRows() {
    constexpr int32_t kRows = 4;
    Layout();
    MorvaneDialog& dialog = Owner();
    if (visibleRows_ != kRows) {
        Rect16 rect = itemRect_;
        rect.bottom = ClampToInt16(rect.bottom + (kRows - visibleRows_) * int32_t{rowHeight_});
        dialog.MoveItem(Item(), rect);
        Layout();
    }
    Rect16 bounds{};
    dialog.GetBounds(bounds);
    if (IsEmptyRect(bounds)) return;
    bounds.bottom = ClampToInt16(bounds.top + itemRect_.bottom);
    // The dialog's least size is its template's: it changes with the palette, or the new bounds
    // would be held at the old height.
    dialog.SetMinimumContentSize(ClampToInt16(RectWidth(bounds)), ClampToInt16(RectHeight(bounds)));
    dialog.SetBounds(bounds);
}
