// The frame stack's list: one 50-pixel row per layer and one for the user's photo, drawn into one
// dialog item beside its scroll bar item. A row shows a visibility column, the thumbnail, the
// name, the link marks between neighbouring layers and, on the photo's row, the button that resets
// the photo's placement. A press selects a row (scrolling it into view) and may drag it to another
// place, the list scrolling one row per caret blink while the pointer lies beyond it.
//
// The control owns no rows: it asks its owner (the frame-stack tab) everything through the
// component callback, whose argument points at a FrameStackQuery, and reports every change the
// same way; the thumbnails are drawn by the owner through FrameStackThumbnails. The owner sets the
// row count, the selected row and the first visible row when it re-synchronises with the stack,
// and draws the control again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "DialogComponent.h"
#include "Geometry.h"
#include "ResourceImage.h"

// What the control asks and tells its owner. Every call's argument points at a FrameStackQuery
// whose parameter holds the row in its low 16 bits and a second value in its high 16 bits (the
// target row, the column, the boundary); the callback's answer is the yes/no of a question or
// whether the owner handled an event, and numbers and texts go into the query.
namespace FrameStackCode {
inline constexpr int16_t kRowText = 0;          // query: the row's name into text; none: an empty name
inline constexpr int16_t kRowState = 2;         // query: answer 1 shown, 0 hidden, -1 failed to load
inline constexpr int16_t kTextBeyondCount = 3;  // query: the text of a row at or beyond the count
inline constexpr int16_t kShowRow = 4;          // row: show it
inline constexpr int16_t kHideRow = 5;          // row: hide it
inline constexpr int16_t kSelectionChanged = 6; // row: the newly selected row
inline constexpr int16_t kOpenRow = 9;          // row: a double click on the selected row
inline constexpr int16_t kDoubleClickBelow = 10;// row count: both clicks of a double click fell below the rows
inline constexpr int16_t kMoveRow = 11;         // row to (second value): true when it moved
inline constexpr int16_t kScrolled = 12;        // the new first visible row
inline constexpr int16_t kColumnIcon = 13;      // query, row and column: the icon in answer's low 16 bits
inline constexpr int16_t kColumnClick = 14;     // row and column: a click in an icon column
inline constexpr int16_t kRowClick = 15;        // row: a press on the row; true when the owner took it
inline constexpr int16_t kRowExists = 16;       // question: does the row exist
inline constexpr int16_t kLinkPosition = 17;    // question: may the row link across its upper (1) or lower (0) boundary
inline constexpr int16_t kLinkState = 18;       // question: is that boundary linked
inline constexpr int16_t kToggleLink = 19;      // row and boundary: the user toggled the link
inline constexpr int16_t kIsPhotoRow = 20;      // question: is the row the photo's
inline constexpr int16_t kResetPhoto = 21;      // row: the photo row's reset button was clicked
inline constexpr int16_t kIsPhotoRowToo = 22;   // the same question as kIsPhotoRow, asked where it draws
inline constexpr int16_t kLayerOfRow = 23;      // query: the row's layer into answer
}  // namespace FrameStackCode

// The answer bits of a kColumnIcon query beside the icon id in the low 16 bits.
namespace FrameStackIcon {
inline constexpr int32_t kIdMask = 0xFFFF;
inline constexpr int32_t kDisabledLook = 0x30000;  // either bit: the icon drawn greyed
inline constexpr int32_t kKeepCell = 0x40000;      // the cell is not erased before the icon
}  // namespace FrameStackIcon

// The longest row name the control shows, without its terminator.
inline constexpr size_t kFrameStackTextMax = 255;

struct FrameStackQuery {
    int32_t parameter = 0;
    int32_t answer = 0;
    char text[kFrameStackTextMax + 1] = {};
};

// The row parameter of the codes: the row in the low 16 bits, the second value in the high ones.
inline constexpr int32_t FrameStackParameter(int16_t row, int16_t second = 0) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(second)) << 16) |
                                static_cast<uint16_t>(row));
}
inline constexpr int16_t FrameStackRow(int32_t parameter) { return static_cast<int16_t>(parameter & 0xFFFF); }
inline constexpr int16_t FrameStackSecond(int32_t parameter) {
    return static_cast<int16_t>((static_cast<uint32_t>(parameter) >> 16) & 0xFFFF);
}

// How the owner draws the thumbnails into a row's thumbnail cell: the photo's, or a layer's.
class FrameStackThumbnails {
public:
    virtual void DrawPhotoThumbnail(const Rect16& rect) = 0;
    virtual void DrawLayerThumbnail(int32_t layer, const Rect16& rect) = 0;

protected:
    ~FrameStackThumbnails() = default;
};

// The list's fixed measures, its icons and its pictures.
namespace FrameStackLayout {
inline constexpr int16_t kRowHeight = 50;
inline constexpr int16_t kColumnWidth = 20;      // the visibility column, and each further icon column...
inline constexpr int16_t kIconColumnWidth = 21;  // ...drawn one pixel wider, over its neighbour's edge
inline constexpr int16_t kThumbnailWidth = 51;
inline constexpr int16_t kTextGap = 55;          // from the columns' end to the text
inline constexpr int16_t kPhotoButtonRoom = 53;  // the photo row's text ends this far from the right
inline constexpr int16_t kPhotoButtonWidth = 48;
inline constexpr int16_t kPhotoButtonHeight = 24;
inline constexpr int16_t kPhotoButtonTop = 13;
inline constexpr int16_t kLinkMarkSize = 20;     // centred on the boundary between two rows...
inline constexpr int16_t kLinkMarkRight = 20;    // ...this far in from the text area's right
inline constexpr uint16_t kShownIcon = 16030;
inline constexpr uint16_t kHiddenIcon = 16031;
inline constexpr uint16_t kLinkIcon = 16032;
inline constexpr int16_t kScrollBarItem = 2;
inline constexpr int16_t kResetArtwork = 1;      // the photo's reset button, over the artwork base
inline constexpr int16_t kResetPressedArtwork = 2;
}  // namespace FrameStackLayout

namespace FrameStackFlags {
inline constexpr uint16_t kNoDrag = 1;
}  // namespace FrameStackFlags

class FrameStackControl : public DialogComponent {
public:
    // Made with its owner; bound and given its pictures by Init.
    FrameStackControl(MorvaneDialog& owner, int16_t item);
    ~FrameStackControl() override;

    // Binds the list to its callback and thumbnail drawer (none: empty thumbnail cells): the
    // visibility column of kShownIcon, 50-pixel rows, the scroll bar item 2, no rows, the first row
    // selected and shown first; loads the reset button's pictures.
    void Init(ComponentCallback callback, FrameStackThumbnails* thumbnails);

    // Draws the whole list while the owner is open and the item shows.
    void Draw() override;
    // Follows a press in the list; false for one outside it.
    bool Track(Point16 point) override;

    // Follows the scroll bar item: scrolls to its value (rounded half away from zero). Answers
    // whether the list scrolled.
    bool SyncScroll();
    // Selects a row within the rows: scrolls it into view, shows it when hidden, and with Alt held
    // hides every other shown row.
    void SelectRow(int16_t row);
    // Scrolls by d rows, kept within the rows; reports kScrolled.
    void ScrollRows(int32_t d);
    // Shows or hides a row through the owner (kShowRow, kHideRow) when its state differs.
    void SetRowState(int16_t row, bool shown);
    // Draws one row when it is visible.
    void DrawRow(int16_t row);

    // ---- What the owner sets when it re-synchronises (then it draws the control).
    int16_t RowCount() const { return rowCount_; }
    void SetRowCount(int16_t count) { rowCount_ = count < 0 ? 0 : count; }
    int16_t SelectedRow() const { return selectedRow_; }
    void SetSelectedRow(int16_t row) { selectedRow_ = row; }
    int16_t FirstVisibleRow() const { return firstVisible_; }
    void SetFirstVisibleRow(int16_t row) { firstVisible_ = row; }
    int16_t FirstRowIndex() const { return firstRowIndex_; }
    // Whole rows the list shows (from the last layout).
    int16_t VisibleRows() const { return visibleRows_; }
    int16_t ScrollBarItem() const { return scrollBarItem_; }
    void SetFlags(uint16_t flags) { flags_ = flags; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_; }
    // Icon columns after the visibility column (their icons and clicks go through the owner).
    void SetIconColumns(int16_t columns) { iconColumns_ = columns < 0 ? 0 : columns; }

    // ---- Geometry (the owner's client coordinates), from the item's present rectangle.
    Rect16 ListRect() const;
    // The row's rectangle at its place in the view (one row height, its bottom line included),
    // whether or not it is visible.
    Rect16 RowRect(int16_t row) const;
    Rect16 ThumbnailRect(int16_t row) const;
    Rect16 TextRect(int16_t row, bool photoRow) const;
    Rect16 PhotoButtonRect(int16_t row) const;
    // The link mark on the row's upper (true) or lower boundary.
    Rect16 LinkMarkRect(int16_t row, bool upper) const;

    // Asks the owner; the query's answer holds numbers and text answers.
    bool Ask(int16_t code, int16_t row, int16_t second, FrameStackQuery& query) const;
    bool Ask(int16_t code, int16_t row, int16_t second = 0) const;
    int32_t RowState(int16_t row) const;
    std::string RowText(int16_t row) const;

private:
    // Works out the whole rows the item holds, shortening the item (and its scroll bar) to them.
    void Layout();
    void KeepFirstVisibleInBounds();
    int16_t LastFirstVisible() const;
    void UpdateScrollBar();
    bool IsShown(int16_t row) const { return row >= firstVisible_ && row < firstVisible_ + visibleRows_; }
    bool LooksEnabled() const;
    int16_t Columns() const { return static_cast<int16_t>(iconColumns_ + (visibilityIcon_ ? 1 : 0)); }
    void DrawRowParts(int16_t row);
    void DrawBelowRows();
    // Where the owner says the boundary may link and is linked; the row's face stands otherwise.
    void DrawLinkMark(int16_t row, bool upper);
    void DrawPhotoButton(int16_t row, bool pressed);
    void TrackPhotoButton(int16_t row);
    void TrackDrag(int16_t row, Point16 start);
    // The pressed row's outline, drawn and taken away again by inverting the pixels under it.
    void InvertOutline(const Rect16& rect);

    FrameStackThumbnails* thumbnails_ = nullptr;
    int16_t rowCount_ = 0;
    int16_t selectedRow_ = 0;
    int16_t firstVisible_ = 0;
    int16_t visibleRows_ = 0;
    int16_t firstRowIndex_ = 0;
    int16_t scrollBarItem_ = FrameStackLayout::kScrollBarItem;
    int16_t rowHeight_ = FrameStackLayout::kRowHeight;
    uint16_t visibilityIcon_ = FrameStackLayout::kShownIcon;
    int16_t iconColumns_ = 0;
    uint16_t flags_ = 0;
    bool enabled_ = true;
    bool clickedBelow_ = false;
    ResourceImage resetButton_;
    ResourceImage resetButtonPressed_;
};
