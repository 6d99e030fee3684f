// The frame stack's list component.
#include "FrameStackControl.h"

#include <algorithm>
#include <cstdlib>

#include "ComponentTracking.h"
#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "MorvaneDialog.h"
#include "WindowServices.h"

namespace {

using namespace FrameStackLayout;

// MorvaneDialog::DrawItemText: centred vertically, with the middle of a long path left out.
constexpr uint16_t kRowTextStyle = 16 | 0x80;
constexpr int16_t kTextInset = 2;
constexpr COLORREF kSelectedRowText = RGB(0, 0, 0);

Rect16 MakeRect(int64_t top, int64_t left, int64_t bottom, int64_t right) {
    return Rect16{ClampToInt16(top), ClampToInt16(left), ClampToInt16(bottom), ClampToInt16(right)};
}

Rect16 Inset(const Rect16& r, int16_t by) {
    return MakeRect(int64_t{r.top} + by, int64_t{r.left} + by, int64_t{r.bottom} - by, int64_t{r.right} - by);
}

Point16 CentreOf(const Rect16& r) {
    return Point16{ClampToInt16((int32_t{r.top} + r.bottom) / 2), ClampToInt16((int32_t{r.left} + r.right) / 2)};
}

// A floored division: rows above the list are negative rows, not row 0.
int32_t FloorDivide(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

void Fill(DrawingPort& port, const Rect16& rect, COLORREF colour) {
    if (IsEmptyRect(rect)) return;
    PortColorState fill(port, colour, colour);
    PaintRect(port, rect);
}

}  // namespace

FrameStackControl::FrameStackControl(MorvaneDialog& owner, int16_t item) : DialogComponent(owner, item) {
    SetColors(ControlLook::kBackground, ControlLook::kFrame);
}

FrameStackControl::~FrameStackControl() { Unlink(); }

void FrameStackControl::Init(ComponentCallback callback, FrameStackThumbnails* thumbnails) {
    SetCallback(callback);
    thumbnails_ = thumbnails;
    visibilityIcon_ = kShownIcon;
    iconColumns_ = 0;
    rowHeight_ = kRowHeight;
    scrollBarItem_ = kScrollBarItem;
    rowCount_ = 0;
    selectedRow_ = 0;
    firstVisible_ = 0;
    firstRowIndex_ = 0;
    // A missing picture is simply not drawn; the photo's row still works without its button.
    resetButton_.LoadPNG(kInterfaceArtworkBase, kResetArtwork);
    resetButtonPressed_.LoadPNG(kInterfaceArtworkBase, kResetPressedArtwork);
}

// ---- Questions to the owner

bool FrameStackControl::Ask(int16_t code, int16_t row, int16_t second, FrameStackQuery& query) const {
    query.parameter = FrameStackParameter(row, second);
    query.answer = 0;
    query.text[0] = '\0';
    // The callback takes a component it may change; asking changes nothing of this one.
    const bool answer =
        const_cast<FrameStackControl*>(this)->Notify(code, reinterpret_cast<intptr_t>(&query));
    query.text[kFrameStackTextMax] = '\0';   // whatever the owner wrote, the text ends in the buffer
    return answer;
}

bool FrameStackControl::Ask(int16_t code, int16_t row, int16_t second) const {
    FrameStackQuery query;
    return Ask(code, row, second, query);
}

int32_t FrameStackControl::RowState(int16_t row) const {
    FrameStackQuery query;
    Ask(FrameStackCode::kRowState, row, 0, query);
    return query.answer;
}

std::string FrameStackControl::RowText(int16_t row) const {
    FrameStackQuery query;
    Ask(row < rowCount_ ? FrameStackCode::kRowText : FrameStackCode::kTextBeyondCount, row, 0, query);
    return query.text;
}

// ---- Geometry

Rect16 FrameStackControl::ListRect() const { return ItemRect(); }

Rect16 FrameStackControl::RowRect(int16_t row) const {
    const Rect16 list = ListRect();
    const int64_t top = int64_t{list.top} + int64_t{row - firstVisible_} * rowHeight_;
    return MakeRect(top, list.left, top + rowHeight_, list.right);
}

Rect16 FrameStackControl::ThumbnailRect(int16_t row) const {
    const Rect16 r = RowRect(row);
    const int64_t left = int64_t{r.left} + int64_t{kColumnWidth} * Columns();
    return MakeRect(r.top, left, int64_t{r.bottom} - 1, left + kThumbnailWidth);
}

Rect16 FrameStackControl::TextRect(int16_t row, bool photoRow) const {
    const Rect16 r = RowRect(row);
    const int64_t left = int64_t{r.left} + int64_t{kColumnWidth} * Columns() + kTextGap;
    const int64_t right = int64_t{r.right} - (photoRow ? kPhotoButtonRoom : 0);
    return MakeRect(r.top, left, int64_t{r.bottom} - 1, right);
}

Rect16 FrameStackControl::PhotoButtonRect(int16_t row) const {
    const Rect16 r = RowRect(row);
    const int64_t left = int64_t{r.right} - kPhotoButtonRoom;
    const int64_t top = int64_t{r.top} + kPhotoButtonTop;
    return MakeRect(top, left, top + kPhotoButtonHeight, left + kPhotoButtonWidth);
}

Rect16 FrameStackControl::LinkMarkRect(int16_t row, bool upper) const {
    const Rect16 r = RowRect(row);
    const int64_t boundary = upper ? r.top : r.bottom;
    const int64_t right = int64_t{r.right} - kLinkMarkRight;
    return MakeRect(boundary - kLinkMarkSize / 2, right - kLinkMarkSize, boundary + kLinkMarkSize / 2, right);
}

bool FrameStackControl::LooksEnabled() const {
    const HWND window = Owner().ItemWindow(Item());
    return enabled_ && window && IsWindowEnabled(window);
}

// ---- Layout and scrolling bounds

void FrameStackControl::Layout() {
    Rect16 list = ListRect();
    const int32_t height = std::max<int32_t>(RectHeight(list), 0);
    visibleRows_ = static_cast<int16_t>(height / rowHeight_);
    if (height % rowHeight_ != 0) {
        // Whole rows only: the item, and its scroll bar with it, end after the last whole row.
        list.bottom = ClampToInt16(int64_t{list.top} + int64_t{visibleRows_} * rowHeight_);
        Owner().MoveItem(Item(), list);
        if (Owner().ItemWindow(scrollBarItem_)) {
            Rect16 bar = Owner().GetItemRect(scrollBarItem_);
            bar.bottom = ClampToInt16(int64_t{bar.top} + RectHeight(list));
            Owner().MoveItem(scrollBarItem_, bar);
        }
    }
}

int16_t FrameStackControl::LastFirstVisible() const {
    return static_cast<int16_t>(std::max<int32_t>(int32_t{rowCount_} - visibleRows_, firstRowIndex_));
}

void FrameStackControl::KeepFirstVisibleInBounds() {
    if (firstRowIndex_ + rowCount_ < visibleRows_) {
        firstVisible_ = firstRowIndex_;
        return;
    }
    // A first row beyond what the rows fill would leave blank rows under the last one.
    firstVisible_ = static_cast<int16_t>(std::clamp<int32_t>(firstVisible_, firstRowIndex_, LastFirstVisible()));
}

void FrameStackControl::UpdateScrollBar() {
    if (!Owner().ItemWindow(scrollBarItem_)) return;
    Owner().SetItemRange(scrollBarItem_, firstRowIndex_, LastFirstVisible());
    Owner().SetItemValue(scrollBarItem_, firstVisible_);
}

// ---- Drawing

void FrameStackControl::Draw() {
    const HWND window = Owner().ItemWindow(Item());
    if (!Owner().IsOpen() || !Owner().Window() || !window || !IsWindowVisible(window)) return;
    Layout();
    KeepFirstVisibleInBounds();
    ColorState colors(*this);
    ClipState clip(*this);
    const int32_t end = std::min<int32_t>(rowCount_, int32_t{firstVisible_} + visibleRows_);
    for (int32_t row = std::max<int32_t>(firstVisible_, firstRowIndex_); row < end; ++row)
        DrawRowParts(static_cast<int16_t>(row));
    DrawBelowRows();
    UpdateScrollBar();
}

void FrameStackControl::DrawRow(int16_t row) {
    const HWND window = Owner().ItemWindow(Item());
    if (!Owner().IsOpen() || !Owner().Window() || !window || !IsWindowVisible(window)) return;
    if (row < firstRowIndex_ || row >= rowCount_ || !IsShown(row)) return;
    ColorState colors(*this);
    ClipState clip(*this);
    DrawRowParts(row);
}

void FrameStackControl::DrawRowParts(int16_t row) {
    using namespace FrameStackCode;
    DrawingPort& port = Port();
    const Rect16 rowRect = RowRect(row);
    const Rect16 face = MakeRect(rowRect.top, rowRect.left, int64_t{rowRect.bottom} - 1, rowRect.right);
    const bool selected = row == selectedRow_;
    const bool enabled = LooksEnabled();
    const COLORREF faceColour = selected ? ControlLook::kFrame : ControlLook::kBackground;
    const bool photoRow = Ask(kIsPhotoRowToo, row);
    Fill(port, face, faceColour);

    // The name.
    const std::string text = RowText(row);
    const Rect16 textRect = Inset(TextRect(row, photoRow), kTextInset);
    if (!text.empty() && !IsEmptyRect(textRect)) {
        const COLORREF ink = !enabled ? ControlLook::kDisabledText : selected ? kSelectedRowText : ControlLook::kText;
        PortColorState pen(port, faceColour, ink);
        Owner().DrawItemText(text.c_str(), textRect, kRowTextStyle, false);
    }

    // The visibility column and the further icon columns.
    int16_t column = 0;
    if (visibilityIcon_) {
        const Rect16 cell = MakeRect(face.top, face.left, face.bottom, int64_t{face.left} + kColumnWidth);
        const uint16_t icon = RowState(row) == 1 ? visibilityIcon_ : kHiddenIcon;
        DrawIconAt(port, icon, CentreOf(cell), !enabled);
        column = 1;
    }
    for (int16_t c = 1; c <= iconColumns_; ++c, ++column) {
        const int64_t left = int64_t{face.left} + int64_t{kColumnWidth} * column;
        const Rect16 cell = MakeRect(face.top, left, face.bottom, left + kIconColumnWidth);
        FrameStackQuery query;
        Ask(kColumnIcon, row, c, query);
        if (!(query.answer & FrameStackIcon::kKeepCell)) Fill(port, cell, faceColour);
        if (const uint16_t icon = static_cast<uint16_t>(query.answer & FrameStackIcon::kIdMask))
            DrawIconAt(port, icon, CentreOf(cell), !enabled || (query.answer & FrameStackIcon::kDisabledLook) != 0);
    }

    // The thumbnail, drawn by the owner.
    if (thumbnails_) {
        const Rect16 cell = ThumbnailRect(row);
        if (photoRow || Ask(kIsPhotoRow, row)) {
            thumbnails_->DrawPhotoThumbnail(cell);
        } else {
            FrameStackQuery query;
            Ask(kLayerOfRow, row, 0, query);
            thumbnails_->DrawLayerThumbnail(query.answer, cell);
        }
    }

    // The rule under the row, then the marks that straddle its boundaries.
    Fill(port, MakeRect(face.bottom, face.left, int64_t{face.bottom} + 1, face.right), ControlLook::kFrame);
    DrawLinkMark(row, true);
    DrawLinkMark(row, false);
    if (photoRow) DrawPhotoButton(row, false);
}

void FrameStackControl::DrawLinkMark(int16_t row, bool upper) {
    using namespace FrameStackCode;
    const int16_t boundary = upper ? 1 : 0;
    if (!Ask(kLinkPosition, row, boundary) || !Ask(kLinkState, row, boundary)) return;
    DrawIconAt(Port(), kLinkIcon, CentreOf(LinkMarkRect(row, upper)), !LooksEnabled());
}

void FrameStackControl::DrawPhotoButton(int16_t row, bool pressed) {
    const Rect16 button = PhotoButtonRect(row);
    const Rect16 list = ListRect();
    (pressed ? resetButtonPressed_ : resetButton_).Draw(&Port(), &button, &list);
}

void FrameStackControl::DrawBelowRows() {
    DrawingPort& port = Port();
    const Rect16 list = ListRect();
    const int32_t shown = std::clamp<int32_t>(int32_t{rowCount_} - firstVisible_, 0, visibleRows_);
    const Rect16 below = MakeRect(int64_t{list.top} + int64_t{shown} * rowHeight_, list.left, list.bottom, list.right);
    Fill(port, below, BackColor());
    Fill(port, MakeRect(int64_t{list.bottom} - 1, list.left, list.bottom, list.right),
         LooksEnabled() ? ControlLook::kFrame : ControlLook::kDisabledText);
}

// ---- Rows and scrolling

void FrameStackControl::SetRowState(int16_t row, bool shown) {
    if ((RowState(row) == 1) == shown) return;
    FrameStackQuery query;
    Ask(shown ? FrameStackCode::kShowRow : FrameStackCode::kHideRow, row, 0, query);
}

void FrameStackControl::SelectRow(int16_t row) {
    using namespace FrameStackCode;
    if (row < firstRowIndex_ || row >= rowCount_) return;
    Layout();
    bool scrolled = false;
    if (row < firstVisible_) {
        firstVisible_ = row;
        scrolled = true;
    } else if (row >= firstVisible_ + visibleRows_) {
        firstVisible_ = static_cast<int16_t>(std::max<int32_t>(int32_t{row} - visibleRows_ + 1, firstRowIndex_));
        scrolled = true;
    }
    if (row != selectedRow_) {
        const int16_t old = selectedRow_;
        selectedRow_ = row;
        if (!scrolled) DrawRow(old);
        FrameStackQuery query;
        Ask(kSelectionChanged, row, 0, query);
    }
    if (RowState(row) == 0) SetRowState(row, true);
    if (scrolled) {
        Draw();
        FrameStackQuery query;
        Ask(kScrolled, firstVisible_, 0, query);
    } else {
        DrawRow(row);
    }
    if (GetModifierKeys() & kModifierAlt) {
        // Alt shows this row alone.
        for (int16_t other = firstRowIndex_; other < rowCount_; ++other) {
            if (other == row || RowState(other) != 1) continue;
            SetRowState(other, false);
            DrawRow(other);
        }
    }
}

void FrameStackControl::ScrollRows(int32_t d) {
    Layout();
    const int32_t target = std::clamp<int32_t>(int32_t{firstVisible_} + d, firstRowIndex_, LastFirstVisible());
    d = target - firstVisible_;
    if (d == 0) return;
    const Rect16 list = ListRect();
    if (Owner().Window() && std::abs(d) < visibleRows_) {
        ClipState clip(*this);
        ScrollRect(Port(), list, 0, -d * rowHeight_, nullptr);
    }
    firstVisible_ = static_cast<int16_t>(target);
    FrameStackQuery query;
    Ask(FrameStackCode::kScrolled, firstVisible_, 0, query);
    // The uncovered rows, and the row beside them whose link mark the list's edge had cut.
    const int32_t count = std::min<int32_t>(std::abs(d) + 1, visibleRows_);
    const int32_t first = d > 0 ? int32_t{firstVisible_} + visibleRows_ - count : firstVisible_;
    for (int32_t row = first; row < first + count; ++row) DrawRow(static_cast<int16_t>(row));
    if (Owner().Window() && Owner().ItemWindow(Item())) {
        ColorState colors(*this);
        ClipState clip(*this);
        DrawBelowRows();
    }
    UpdateScrollBar();
}

bool FrameStackControl::SyncScroll() {
    if (!Owner().ItemWindow(scrollBarItem_)) return false;
    const int32_t value = RoundToInt(Owner().GetItemValue(scrollBarItem_));
    const int16_t before = firstVisible_;
    if (value != firstVisible_) ScrollRows(value - firstVisible_);
    return firstVisible_ != before;
}

// ---- The mouse

bool FrameStackControl::Track(Point16 point) {
    using namespace FrameStackCode;
    Layout();
    const Rect16 list = ListRect();
    if (!RectContains(list, point.v, point.h)) return false;
    const int16_t row = ClampToInt16(int64_t{firstVisible_} + (point.v - list.top) / rowHeight_);
    const int16_t column =
        static_cast<int16_t>((point.h - list.left) / kColumnWidth + (visibilityIcon_ ? 0 : 1));

    if (row >= rowCount_) {
        if (MorvaneDialog::DoubleClicked() && clickedBelow_) {
            clickedBelow_ = false;
            FrameStackQuery query;
            query.parameter = rowCount_;
            Notify(kDoubleClickBelow, reinterpret_cast<intptr_t>(&query));
        } else {
            clickedBelow_ = true;
        }
        return true;
    }
    const bool doubleClick = MorvaneDialog::DoubleClicked() && !clickedBelow_;
    clickedBelow_ = false;

    if (column == 0) {
        if (!Ask(kRowClick, row)) {
            SetRowState(row, RowState(row) != 1);
            DrawRow(row);
        }
        return true;
    }
    if (column <= iconColumns_) {
        Ask(kColumnClick, row, column);
        DrawRow(row);
        return true;
    }
    if (doubleClick && row == selectedRow_) {
        Ask(kOpenRow, row);
        return true;
    }
    for (const bool upper : {true, false}) {
        const Rect16 mark = LinkMarkRect(row, upper);
        if (!RectContains(mark, point.v, point.h) || !Ask(kLinkPosition, row, upper ? 1 : 0)) continue;
        Ask(kToggleLink, row, upper ? 1 : 0);
        // The mark lies across two rows: both are drawn again.
        DrawRow(row);
        DrawRow(static_cast<int16_t>(upper ? row - 1 : row + 1));
        return true;
    }
    if (Ask(kIsPhotoRow, row) && RectContains(PhotoButtonRect(row), point.v, point.h)) {
        TrackPhotoButton(row);
        return true;
    }
    if (Ask(kRowClick, row)) return true;
    SelectRow(row);
    if (!(flags_ & FrameStackFlags::kNoDrag) && Ask(kRowExists, row)) TrackDrag(row, point);
    return true;
}

void FrameStackControl::TrackPhotoButton(int16_t row) {
    const Rect16 button = PhotoButtonRect(row);
    auto draw = [&](bool pressed) {
        ColorState colors(*this);
        ClipState clip(*this);
        DrawPhotoButton(row, pressed);
    };
    bool inside = true;
    draw(true);
    Point16 mouse{};
    while (ComponentTracking::FollowMouse(*this, mouse)) {
        const bool now = RectContains(button, mouse.v, mouse.h);
        if (now != inside) {
            inside = now;
            draw(inside);
        }
    }
    draw(false);
    if (RectContains(button, mouse.v, mouse.h)) Ask(FrameStackCode::kResetPhoto, row);
}

void FrameStackControl::InvertOutline(const Rect16& rect) {
    PortDC dc(Port());
    if (!dc) return;
    const Rect16 list = ListRect();
    const RECT clip = ToRECT(list);
    IntersectClipRect(dc.Get(), clip.left, clip.top, clip.right, clip.bottom);
    // Inverting twice puts every pixel back: the outline leaves nothing behind.
    const RECT r = ToRECT(rect);
    const RECT edges[] = {{r.left, r.top, r.right, r.top + 2},
                          {r.left, r.bottom - 2, r.right, r.bottom},
                          {r.left, r.top + 2, r.left + 2, r.bottom - 2},
                          {r.right - 2, r.top + 2, r.right, r.bottom - 2}};
    for (const RECT& edge : edges) InvertRect(dc.Get(), &edge);
}

void FrameStackControl::TrackDrag(int16_t row, Point16 start) {
    using namespace FrameStackCode;
    const Rect16 list = ListRect();
    const Rect16 pressed = RowRect(row);
    int16_t lastTarget = row;
    DWORD lastScroll = GetTickCount() - GetCaretBlinkTime();
    auto outlineAt = [&](Point16 mouse) {
        Rect16 r = pressed;
        OffsetRect16(r, 0, int32_t{mouse.v} - start.v);
        return r;
    };
    Rect16 outline = outlineAt(start);
    InvertOutline(outline);
    Point16 mouse = start;
    while (ComponentTracking::FollowMouse(*this, mouse)) {
        int32_t target = firstVisible_ + FloorDivide(int32_t{mouse.v} - list.top, rowHeight_);
        target = std::max<int32_t>(target, firstVisible_ - 1);
        target = std::min<int32_t>(target, int32_t{firstVisible_} + visibleRows_);
        target = std::min<int32_t>(target, int32_t{rowCount_} - 1);
        target = std::max<int32_t>(target, firstRowIndex_);
        const Rect16 next = outlineAt(mouse);
        const bool moved = target != lastTarget;
        const bool beyond = target < firstVisible_ || target >= firstVisible_ + visibleRows_;
        const bool scroll = beyond && GetTickCount() - lastScroll >= GetCaretBlinkTime();
        if (!moved && !scroll && EqualRects(next, outline)) continue;
        InvertOutline(outline);
        if (moved) {
            lastTarget = static_cast<int16_t>(target);
            const int16_t from = selectedRow_;
            if (target != from && Ask(kRowExists, from) && Ask(kRowExists, static_cast<int16_t>(target))) {
                const bool done = Ask(kMoveRow, from, static_cast<int16_t>(target));
                // The owner re-synchronises the selection with its stack; one that did not still
                // has its row where the user put it, so the next step starts from there rather
                // than moving the same row again.
                if (done && selectedRow_ == from) selectedRow_ = static_cast<int16_t>(target);
            }
            Draw();
        }
        if (scroll) {
            ScrollRows(target < firstVisible_ ? -1 : 1);
            lastScroll = GetTickCount();
        }
        outline = next;
        InvertOutline(outline);
    }
    InvertOutline(outline);
}
