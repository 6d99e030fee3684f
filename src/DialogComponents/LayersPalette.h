// The layers palette: a scrolling list drawn into one dialog item, whose rows carry an optional
// on/off state column, square icon columns and a title, with a current row, reordering by drag
// with auto-scroll, and renaming on a double click. It owns no row data: titles and states lie in
// the caller's array of fixed-size records or come from the owner's callback, and every change
// the user makes is reported through the callback.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DialogComponent.h"
#include "Geometry.h"

// The events and questions a palette hands its owner's callback, with their argument.
namespace LayersPaletteCode {
inline constexpr int16_t kTitleText = 0;        // query: the row's title, when no record holds it
inline constexpr int16_t kTitleChanged = 1;     // row: the title dialog renamed it
inline constexpr int16_t kRowState = 2;         // query: 1 when the row is on, when no record holds it
inline constexpr int16_t kStateOn = 4;          // row: its state was turned on
inline constexpr int16_t kStateOff = 5;         // row: its state was turned off
inline constexpr int16_t kCurrentRowChanged = 6;  // row: the new current row
inline constexpr int16_t kEditTitle = 9;        // row: double click on the current row's title, no title dialog
inline constexpr int16_t kDoubleClickBelow = 10;  // row count: both clicks of a double click fell below the rows
inline constexpr int16_t kRowMoved = 11;        // (to << 16) | from: a row was dragged to another place
inline constexpr int16_t kScrolled = 12;        // the new first visible row
inline constexpr int16_t kIconCell = 13;        // query, (column << 16) | row: the cell's icon
inline constexpr int16_t kIconClick = 14;       // (column << 16) | row: a click in an icon column
inline constexpr int16_t kRowLocked = 15;       // query, row: non-zero greys the row and refuses clicks
}  // namespace LayersPaletteCode

// The answer bits of a kIconCell query beside the icon id in the low 16 bits.
namespace LayersPaletteIcon {
inline constexpr uint32_t kIdMask = 0xFFFF;
inline constexpr uint32_t kGreyed = 0x30000;    // either bit greys the icon
inline constexpr uint32_t kKeepCell = 0x40000;  // the cell is not erased before the icon is drawn
}  // namespace LayersPaletteIcon

namespace LayersPaletteFlags {
inline constexpr uint32_t kNoDrag = 1;     // a press selects; rows cannot be dragged
inline constexpr uint32_t kNoBorder = 4;   // no one-pixel border round the list
}  // namespace LayersPaletteFlags

// The longest title a palette shows or the title dialog takes, without its terminator.
inline constexpr size_t kLayerTitleMax = 255;

// For the query codes (kTitleText, kRowState, kIconCell, kRowLocked) the callback's argument
// points at one of these: `argument` is the code's argument (a callback row number, or
// (column << 16) | row), and the owner writes its answer into `answer` (states, icons, locks) or
// `title` (terminated), and returns true. An unanswered query reads as 0 and an empty title.
struct LayersPaletteQuery {
    int32_t argument = 0;
    uint32_t answer = 0;
    char title[kLayerTitleMax + 1] = {};
};

// The caller's row records: record r starts at base + firstOffset + r x stride, holds its title
// (a field of titleSize bytes with its terminator) at titleOffset and its state byte (bit 0 on) at
// stateOffset; -1 for a field the records do not hold. Every record is checked to lie within size
// bytes before it is touched; a row whose record does not is asked of the callback instead.
struct LayersPaletteRecords {
    uint8_t* base = nullptr;
    uint64_t size = 0;
    int32_t firstOffset = 0;
    int32_t stride = 0;
    int32_t titleOffset = -1;
    int32_t titleSize = 0;
    int32_t stateOffset = -1;
};

// How a palette is laid out and behaves.
struct LayersPaletteSetup {
    int16_t rowCount = 0;
    int16_t firstRowIndex = 0;    // rows run from here to rowCount - 1; negative adds rows before 0
    uint16_t rowHeight = 20;      // also the width of every icon column
    uint16_t iconColumns = 0;
    uint16_t stateIcon = 0;       // an icon resource: a state column showing it on rows that are on; 0 none
    uint32_t flags = 0;           // LayersPaletteFlags
    int16_t scrollBarItem = 0;    // the dialog's scroll bar beside the list; 0 none
    int16_t titleDialog = 0;      // the title dialog's template; 0: no renaming (kEditTitle instead)
};

class LayersPalette : public DialogComponent {
public:
    LayersPalette(MorvaneDialog& owner, int16_t item, ComponentCallback callback, const LayersPaletteSetup& setup);
    ~LayersPalette() override;

    // Draws the whole list, only while the dialog and the item's window are visible.
    void Draw() override;
    // Follows a press at point (the owner's client coordinates) while the button is down; true
    // when the press was inside the list.
    bool Track(Point16 point) override;

    // ---- Rows
    int16_t RowCount() const { return rowCount_; }
    int16_t FirstRowIndex() const { return firstRowIndex_; }
    // Changes the rows; the current and first visible rows are kept within them.
    void SetRowCount(int16_t rowCount, int16_t firstRowIndex = 0);
    int16_t CurrentRow() const { return currentRow_; }
    int16_t FirstVisibleRow() const { return firstVisible_; }
    int16_t VisibleRows() const { return visibleRows_; }
    // The number a row has in the callback: r for r >= 0; with a negative first row index f, a
    // row r < 0 is f - r - 1 (the rows before 0 numbered in reverse).
    int32_t CallbackRow(int16_t row) const;

    // The row's title: from its record, else from the callback.
    std::string Title(int16_t row) const;
    // Whether the row is on: from its record's state byte, else from the callback.
    bool RowState(int16_t row) const;
    // Turns a row's state on or off; when that changes it, the record's bit is set or cleared and
    // kStateOn or kStateOff reports it.
    void SetRowState(int16_t row, bool on);
    // Makes a row within the rows current, scrolling it into view, turning it on when it is off,
    // and with Alt held turning every other row off. Reports kCurrentRowChanged for a new current
    // row and kScrolled when the list scrolled.
    void SetCurrentRow(int16_t row);
    // Scrolls by d rows (clamped to the rows); reports kScrolled.
    void ScrollRows(int32_t d);
    // Scrolls to the scroll-bar item's value, after the user moved it (the owner's ItemHit of the
    // scroll bar calls it).
    void FollowScrollBar();
    // Moves row `from` to `to` on screen and in the records; the current row follows; reports
    // kRowMoved with (to << 16) | from as callback rows.
    void MoveRow(int16_t from, int16_t to);

    // ---- Records, title editing, size
    void SetRecords(const LayersPaletteRecords& records);
    const LayersPaletteRecords& Records() const { return records_; }
    // The row's record, or null when it does not lie within the records.
    uint8_t* RecordOf(int16_t row) const;
    // Writes a title into the row's record, cleared first and cut to the field; false without
    // such a record.
    bool WriteTitle(int16_t row, const char* title);
    // Tells the owner that the title dialog renamed the row (kTitleChanged).
    void NotifyTitleChanged(int16_t row) { Notify(LayersPaletteCode::kTitleChanged, CallbackRow(row)); }
    void SetTitleDialog(int16_t templateId) { titleDialog_ = templateId; }
    int16_t TitleDialog() const { return titleDialog_; }
    // Runs the title dialog of `templateId` for the current row; answers its result (1 renamed,
    // 2 cancelled).
    int16_t EditTitle(int16_t templateId);
    // Makes the item exactly four rows high and ends the dialog at the palette's bottom edge.
    void FitFourRows();

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    uint16_t RowHeight() const { return rowHeight_; }
    uint16_t IconColumns() const { return iconColumns_; }
    bool HasStateColumn() const { return stateIcon_ != 0; }
    // The list's rectangle (inside the border, beside the scroll bar) of the last draw or press.
    Rect16 ListRect() const { return listRect_; }
    // The rectangle of a row (one row height + 1 high), whether or not it is visible.
    Rect16 RowRect(int16_t row) const;
    // Redraws one row, highlighted (its colours inverted) or not, when it is visible.
    void DrawRow(int16_t row, bool highlighted = false);
    // Frees the move buffer and leaves the component list (the destructor does it too).
    void Destroy() noexcept;

    // Asks the owner's callback (the query codes): the answer, 0 when unanswered.
    uint32_t Ask(int16_t code, int32_t argument) const;

private:
    // Reads the item's rectangle and works out the list rectangle, the visible rows and the scroll
    // bar's place; moves the item's bottom so that it holds whole rows.
    void Layout();
    void KeepFirstVisibleInBounds();
    void UpdateScrollBar();
    bool IsLocked(int16_t row) const;
    bool IsVisible(int16_t row) const { return row >= firstVisible_ && row < firstVisible_ + visibleRows_; }
    int16_t ColumnAt(Point16 point) const;
    int16_t RowAt(Point16 point) const;
    int32_t TitleLeft() const;
    void DrawRowInto(HDC dc, int16_t row, bool highlighted);
    void DrawEmptyBelow(HDC dc);
    void TrackTitle(int16_t row, Point16 point);
    // The pointer in the owner's client coordinates; false once every button is up.
    bool FollowMouse(Point16& point) const;
    void DrawDragOutline(const Rect16& rect);

    int16_t rowCount_ = 0;
    int16_t currentRow_ = 0;
    int16_t firstVisible_ = 0;
    int16_t visibleRows_ = 0;
    int16_t scrollBarItem_ = 0;
    uint16_t stateIcon_ = 0;
    uint32_t flags_ = 0;
    int16_t firstRowIndex_ = 0;
    bool enabled_ = true;
    bool clickedBelow_ = false;
    uint16_t rowHeight_ = 20;
    uint16_t iconColumns_ = 0;
    Rect16 itemRect_{};
    Rect16 listRect_{};
    Rect16 rowTemplate_{};
    Rect16 scrollBarRect_{};
    LayersPaletteRecords records_{};
    int16_t titleDialog_ = 0;
    std::vector<uint8_t> moveBuffer_;
    DWORD lastAutoScroll_ = 0;
};
