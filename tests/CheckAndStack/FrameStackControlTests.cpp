// The frame stack's list drawn into a dialog item, with a small stack as its owner: rows with
// names, thumbnails, visibility and links; a list that is no whole number of rows shortened with
// its scroll bar; selection by click (a hidden row shown, Alt showing one row alone); the
// visibility column, the link marks and the photo's reset button; drags that move the selected
// row a step at a time and scroll the list one row per caret blink beyond its ends; a double click
// below the rows; the scroll bar. The ui steps photograph it ("frame-stack.png").
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "CheckAndStackTemplates.h"
#include "DrawingGuards.h"
#include "FrameStackControl.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "StackTestSupport.h"
#include "TempFolder.h"
#include "UiShots.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;
using namespace FrameStackCode;

struct Entry {
    std::string name;
    bool photo = false;
    bool enabled = true;
    bool loadError = false;
    bool linkedPrevious = false;
    bool linkedNext = false;
};

struct Event {
    int16_t code;
    int16_t row;
    int16_t second;
    bool operator==(const Event& o) const { return code == o.code && row == o.row && second == o.second; }
};
std::ostream& operator<<(std::ostream& out, const Event& e) {
    return out << "{" << e.code << ", " << e.row << ", " << e.second << "}";
}

// Each layer's thumbnail is a colour of its own, so that the probes can tell the rows apart.
COLORREF LayerColour(int32_t layer) { return RGB(0x30 + 0x28 * (layer % 6), 0x70, 0xB0); }
constexpr COLORREF kPhotoColour = RGB(0xC8, 0x96, 0x3C);

constexpr int16_t kListTop = 8, kListLeft = 8, kListWidth = 230;

// The owner: a stack of rows (the photo among them) that answers the list's questions as the
// frame-stack tab does and re-synchronises the list after every change.
class StackDialog : public MorvaneDialog, public FrameStackThumbnails {
public:
    explicit StackDialog(std::vector<Entry> rows, int16_t visibleRows = 4)
        : MorvaneDialog(TEST_STACK_DIALOG, DialogKind::Modal), rows(std::move(rows)), visible_(visibleRows) {}

    std::vector<Entry> rows;
    int16_t selected = 0;
    std::vector<Event> events;
    bool followMoves = true;   // the owner re-synchronises after a move
    FrameStackControl list{*this, STACK_LIST};

    void InitDialog() override {
        MorvaneDialog::InitDialog();
        DarkFace::SetPortColors(*this);
        list.Init(&StackDialog::StackChanged, this);
        Place(visible_ * FrameStackLayout::kRowHeight);
        Resync();
    }
    // The list's item and its scroll bar side by side, height pixels high; the cover under them.
    void Place(int height) {
        MoveItem(STACK_LIST, Rect16{kListTop, kListLeft, static_cast<int16_t>(kListTop + height),
                                    static_cast<int16_t>(kListLeft + kListWidth)});
        MoveItem(STACK_SCROLL, Rect16{kListTop, static_cast<int16_t>(kListLeft + kListWidth),
                                      static_cast<int16_t>(kListTop + height),
                                      static_cast<int16_t>(kListLeft + kListWidth + 16)});
        MoveItem(STACK_COVER, Rect16{static_cast<int16_t>(kListTop + height + 2), kListLeft,
                                     static_cast<int16_t>(kListTop + height + 12),
                                     static_cast<int16_t>(kListLeft + kListWidth + 16)});
    }
    // As the tab's UpdateControls: the rows, the selection (the last row without one) and the
    // first visible row kept within the rows, then the list drawn.
    void Resync() {
        list.SetRowCount(static_cast<int16_t>(rows.size()));
        list.SetSelectedRow(selected >= 0 && selected < static_cast<int16_t>(rows.size())
                                ? selected
                                : static_cast<int16_t>(rows.size() - 1));
        const int visibleRows = std::max<int>(list.VisibleRows(), 1);
        list.SetFirstVisibleRow(static_cast<int16_t>(
            std::max(0, std::min<int>(list.FirstVisibleRow(), static_cast<int>(rows.size()) - visibleRows))));
        list.Draw();
    }
    int32_t LayerOf(int16_t row) const {
        if (row < 0 || row >= static_cast<int16_t>(rows.size()) || rows[row].photo) return -1;
        int32_t layer = 0;
        for (int16_t r = 0; r < row; ++r) layer += rows[r].photo ? 0 : 1;
        return layer;
    }
    bool Exists(int16_t row) const { return row >= 0 && row < static_cast<int16_t>(rows.size()); }
    bool IsLayer(int16_t row) const { return Exists(row) && !rows[row].photo; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Entry& e : rows) names.push_back(e.name);
        return names;
    }
    std::vector<Event> EventsOf(int16_t code) const {
        std::vector<Event> found;
        for (const Event& e : events)
            if (e.code == code) found.push_back(e);
        return found;
    }

    void DrawPhotoThumbnail(const Rect16& rect) override { DrawCell(rect, kPhotoColour); }
    void DrawLayerThumbnail(int32_t layer, const Rect16& rect) override { DrawCell(rect, LayerColour(layer)); }

    void DrawItem(int16_t item) override {
        if (item == STACK_LIST) list.Draw();
        if (item == STACK_COVER) {
            PortColorState cover(Port(), kFrame, kFrame);
            PaintRect(Port(), GetItemRect(STACK_COVER));
        }
    }
    int16_t ItemHit(int16_t item) override {
        if (item == STACK_LIST) {
            POINT cursor{};
            GetCursorPos(&cursor);
            ScreenToClient(Window(), &cursor);
            list.Track(Point16{ClampToInt16(cursor.y), ClampToInt16(cursor.x)});
            return 0;
        }
        if (item == STACK_SCROLL) {
            list.SyncScroll();
            return 0;
        }
        return MorvaneDialog::ItemHit(item);
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) override {
        LRESULT answer = 0;
        if (face_.Answer(message, wParam, answer)) return answer;
        // Item 2 is the scroll bar, which never sends a command: the command of id 2 is the ui
        // steps' close.
        if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
            EndDialog(IDCANCEL);
            return 1;
        }
        return MorvaneDialog::HandleMessage(message, wParam, lParam, item);
    }

private:
    void DrawCell(const Rect16& rect, COLORREF colour) {
        PortColorState frame(Port(), colour, kFrame);
        FrameRect(Port(), Rect16{static_cast<int16_t>(rect.top + 1), static_cast<int16_t>(rect.left + 1),
                                 static_cast<int16_t>(rect.bottom - 1), static_cast<int16_t>(rect.right - 1)});
        PortColorState fill(Port(), colour, colour);
        PaintRect(Port(), Rect16{static_cast<int16_t>(rect.top + 2), static_cast<int16_t>(rect.left + 2),
                                 static_cast<int16_t>(rect.bottom - 2), static_cast<int16_t>(rect.right - 2)});
    }

    static bool StackChanged(DialogComponent& component, int16_t code, intptr_t argument) {
        auto& d = static_cast<StackDialog&>(component.Owner());
        auto& query = *reinterpret_cast<FrameStackQuery*>(argument);
        const int16_t r = FrameStackRow(query.parameter);
        const int16_t h = FrameStackSecond(query.parameter);
        // Questions are asked at every drawing: only the events are kept.
        switch (code) {
            case kRowText:
                if (d.Exists(r)) std::snprintf(query.text, sizeof query.text, "%s", d.rows[r].name.c_str());
                return true;
            case kRowState:
                query.answer = !d.Exists(r) ? 0 : d.rows[r].photo ? 1 : d.rows[r].loadError ? -1 : d.rows[r].enabled;
                return true;
            case kRowExists:
                return d.Exists(r);
            case kLinkPosition: {
                if (!d.IsLayer(r)) return false;
                const int16_t neighbour = static_cast<int16_t>(h == 1 ? r - 1 : r + 1);
                return d.IsLayer(neighbour);
            }
            case kLinkState:
                return d.IsLayer(r) && (h == 0 ? d.rows[r].linkedNext : d.rows[r].linkedPrevious);
            case kIsPhotoRow:
            case kIsPhotoRowToo:
                return d.Exists(r) && d.rows[r].photo;
            case kLayerOfRow:
                query.answer = d.LayerOf(r);
                return true;
            case kRowClick:
            case kColumnIcon:
                return false;
            default:
                break;
        }
        d.events.push_back(Event{code, r, h});
        switch (code) {
            case kShowRow:
            case kHideRow:
                if (d.IsLayer(r) && !d.rows[r].loadError) d.rows[r].enabled = code == kShowRow;
                return false;
            case kSelectionChanged:
                d.selected = r;
                return false;
            case kMoveRow: {
                if (!d.Exists(r) || !d.Exists(h)) return false;
                const Entry moving = d.rows[r];
                d.rows.erase(d.rows.begin() + r);
                d.rows.insert(d.rows.begin() + h, moving);
                if (d.followMoves) {
                    d.selected = h;
                    d.Resync();
                }
                return true;
            }
            case kToggleLink: {
                const int16_t other = static_cast<int16_t>(h == 0 ? r + 1 : r - 1);
                bool& mine = h == 0 ? d.rows[r].linkedNext : d.rows[r].linkedPrevious;
                mine = !mine;
                if (d.IsLayer(other)) (h == 0 ? d.rows[other].linkedPrevious : d.rows[other].linkedNext) = mine;
                return false;
            }
            default:
                return false;
        }
    }

    int16_t visible_;
    DarkFace face_;
};

std::vector<Entry> FourRows() {
    std::vector<Entry> rows(4);
    rows[0].name = "Photo.psd";
    rows[0].photo = true;
    rows[1].name = "Gold Leaf.afx";
    rows[2].name = "Torn Paper.afx";
    rows[2].enabled = false;
    rows[3].name = "Missing.afx";
    rows[3].loadError = true;
    rows[2].linkedNext = rows[3].linkedPrevious = true;
    return rows;
}

std::vector<Entry> ManyRows(int count) {
    std::vector<Entry> rows;
    for (int i = 0; i < count; ++i) rows.push_back(Entry{"Frame " + std::to_string(i) + ".afx"});
    return rows;
}

class FrameStack : public testing::Test {
protected:
    void Open(std::vector<Entry> rows, int16_t visibleRows = 4) {
        dialog_ = std::make_unique<StackDialog>(std::move(rows), visibleRows);
        ASSERT_NE(dialog_->CreateModeless(), nullptr);
        dialog_->Show(kShowInFront);
        BringForward(dialog_->Window());
        OnScreen(dialog_->Window());
        dialog_->events.clear();
        AfterDoubleClickTime();
    }
    // The dialogs take two presses within the double-click time for a double click, wherever
    // they fell: a test's first press must not pair with the last one of another.
    static void AfterDoubleClickTime() { Sleep(GetDoubleClickTime() + 50); }
    void TearDown() override {
        if (dialog_ && dialog_->IsOpen()) dialog_->EndDialog(0);
        dialog_.reset();
    }

    HWND Window() const { return dialog_->Window(); }
    FrameStackControl& List() const { return dialog_->list; }
    // A point on the row's name, clear of the link marks and the photo's button.
    POINT OnName(int16_t row) const {
        const Rect16 text = List().TextRect(row, true);
        return POINT{text.left + 12, (text.top + text.bottom) / 2};
    }
    POINT OnVisibility(int16_t row) const {
        const Rect16 r = List().RowRect(row);
        return POINT{r.left + 10, (r.top + r.bottom) / 2};
    }
    COLORREF ThumbnailOnScreen(const ClientPicture& screen, int16_t row) const {
        const POINT p = CentreOf(List().ThumbnailRect(row));
        return screen.At(p.x, p.y);
    }

    std::unique_ptr<StackDialog> dialog_;
};

TEST_F(FrameStack, TheRowsShowTheirNamesThumbnailsVisibilityAndLinks) {
    Open(FourRows());
    dialog_->selected = 1;
    dialog_->Resync();
    const ClientPicture screen = OnScreen(Window());
    EXPECT_EQ(List().VisibleRows(), 4);
    // Thumbnails drawn by the owner, the photo's at its place in the stack.
    EXPECT_EQ(ThumbnailOnScreen(screen, 0), kPhotoColour);
    EXPECT_EQ(ThumbnailOnScreen(screen, 1), LayerColour(0));
    EXPECT_EQ(ThumbnailOnScreen(screen, 3), LayerColour(2));
    // The selected row on the light face with black text; the others dark with light text.
    const Rect16 selectedText = List().TextRect(1, false);
    EXPECT_EQ(screen.At(selectedText.right - 3, selectedText.top + 3), kFrame);
    EXPECT_GT(screen.Count(ToWinRect(selectedText), RGB(0, 0, 0)), 10);
    const Rect16 otherText = List().TextRect(2, false);
    EXPECT_EQ(screen.At(otherText.right - 30, otherText.top + 3), kBackground);
    EXPECT_GT(screen.Count(ToWinRect(otherText), kText), 10);
    // A rule under every row.
    for (int16_t row = 0; row < 4; ++row) {
        const Rect16 r = List().RowRect(row);
        EXPECT_EQ(screen.At(r.left + 60, r.bottom - 1), kFrame) << "row " << row;
    }
    // The eye on shown rows only (the photo's is always shown; a frame that failed to load is not).
    const auto eyePixels = [&](int16_t row) {
        const Rect16 r = List().RowRect(row);
        return CountBright(screen, Rect16{r.top, r.left, static_cast<int16_t>(r.bottom - 1), static_cast<int16_t>(r.left + 20)},
                           0xB0);
    };
    EXPECT_GT(eyePixels(0), 10);
    EXPECT_GT(eyePixels(1), 10);
    EXPECT_EQ(eyePixels(2), 0);
    EXPECT_EQ(eyePixels(3), 0);
    // The link between rows 2 and 3 shows across their boundary; no mark between rows 1 and 2.
    const auto linkPixels = [&](int16_t row) {
        const Rect16 mark = List().LinkMarkRect(row, true);
        int count = 0;
        for (int y = mark.top; y < mark.bottom; ++y)
            for (int x = mark.left; x < mark.right; ++x) {
                const COLORREF c = screen.At(x, y);
                count += GetRValue(c) > GetBValue(c) + 0x40;   // the mark's warm colour
            }
        return count;
    };
    EXPECT_GT(linkPixels(3), 5);
    EXPECT_EQ(linkPixels(2), 0);
    // The photo's reset button on its row, clear of the name.
    const Rect16 button = List().PhotoButtonRect(0);
    EXPECT_GT(screen.Count(ToWinRect(button), kBackground), 0);
    EXPECT_LE(List().TextRect(0, true).right, button.left);
    // Rows fit: the scroll bar offers nothing beyond the first row.
    double low = -1, high = -1;
    dialog_->GetItemRange(STACK_SCROLL, low, high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 0);
}

TEST_F(FrameStack, ADisabledListDimsItsNamesAndItsBottomRule) {
    Open(FourRows());
    dialog_->selected = 1;
    EnableWindow(dialog_->ItemWindow(STACK_LIST), FALSE);
    dialog_->Resync();
    const ClientPicture screen = OnScreen(Window());
    for (int16_t row : {0, 1, 2}) {
        const Rect16 text = List().TextRect(row, row == 0);
        EXPECT_GT(screen.Count(ToWinRect(text), kDisabledText), 10) << "row " << row;
        EXPECT_EQ(screen.Count(ToWinRect(text), kText), 0) << "row " << row;
    }
    const Rect16 list = List().ListRect();
    EXPECT_EQ(screen.At(list.left + 60, list.bottom - 1), kDisabledText);
    List().SetEnabled(false);
    EnableWindow(dialog_->ItemWindow(STACK_LIST), TRUE);
    dialog_->Resync();
    EXPECT_GT(OnScreen(Window()).Count(ToWinRect(List().TextRect(2, false)), kDisabledText), 10)
        << "the list's own flag dims it too";
}

TEST_F(FrameStack, AListThatIsNoWholeNumberOfRowsIsShortenedWithItsScrollBar) {
    Open(ManyRows(5));
    dialog_->Place(120);
    dialog_->Resync();
    EXPECT_EQ(List().VisibleRows(), 2);
    EXPECT_EQ(RectHeight(dialog_->GetItemRect(STACK_LIST)), 100);
    EXPECT_EQ(RectHeight(dialog_->GetItemRect(STACK_SCROLL)), 100);
    double low = -1, high = -1;
    dialog_->GetItemRange(STACK_SCROLL, low, high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 3);
}

TEST_F(FrameStack, AClickSelectsARowAndShowsItWhenHiddenAndWithAltShowsItAlone) {
    Open(FourRows());
    Click(Window(), OnName(2));
    EXPECT_EQ(List().SelectedRow(), 2);
    EXPECT_EQ(dialog_->selected, 2);
    EXPECT_TRUE(dialog_->rows[2].enabled) << "selecting a hidden row shows it";
    EXPECT_EQ(dialog_->events, (std::vector<Event>{{kSelectionChanged, 2, 0}, {kShowRow, 2, 0}}));
    const Rect16 text = List().TextRect(2, false);
    EXPECT_EQ(OnScreen(Window()).At(text.right - 3, text.top + 3), kFrame);

    dialog_->events.clear();
    Play(Window(), {Move(OnName(1))});
    AfterDoubleClickTime();
    ASSERT_TRUE(HoldKey(VK_MENU, true));
    ClickInPlace(Window());
    ASSERT_TRUE(HoldKey(VK_MENU, false));
    EXPECT_EQ(List().SelectedRow(), 1);
    EXPECT_TRUE(dialog_->rows[1].enabled);
    EXPECT_FALSE(dialog_->rows[2].enabled) << "Alt hides every other shown row";
    const std::vector<Event> hidden = dialog_->EventsOf(kHideRow);
    EXPECT_NE(std::find(hidden.begin(), hidden.end(), Event{kHideRow, 2, 0}), hidden.end());
    EXPECT_EQ(std::find(hidden.begin(), hidden.end(), Event{kHideRow, 1, 0}), hidden.end());
    EXPECT_EQ(std::find(hidden.begin(), hidden.end(), Event{kHideRow, 3, 0}), hidden.end())
        << "a row that failed to load is not shown: nothing to hide";
}

TEST_F(FrameStack, TheVisibilityColumnFlipsARowWithoutSelectingIt) {
    Open(FourRows());
    dialog_->selected = 0;
    dialog_->Resync();
    Click(Window(), OnVisibility(1));
    EXPECT_FALSE(dialog_->rows[1].enabled);
    Click(Window(), OnVisibility(2));
    EXPECT_TRUE(dialog_->rows[2].enabled);
    EXPECT_EQ(dialog_->events, (std::vector<Event>{{kHideRow, 1, 0}, {kShowRow, 2, 0}}));
    EXPECT_EQ(List().SelectedRow(), 0);
    const Rect16 r = List().RowRect(1);
    EXPECT_EQ(CountBright(OnScreen(Window()), Rect16{r.top, r.left, static_cast<int16_t>(r.bottom - 1),
                                                     static_cast<int16_t>(r.left + 20)}, 0xB0),
              0)
        << "the hidden row's eye is closed";
}

TEST_F(FrameStack, TheLinkMarksToggleAndThePhotoButtonResetsOnAReleaseOverIt) {
    Open(FourRows());
    // The boundary between rows 1 and 2 may link; pressing its mark from row 2's side links both.
    const Rect16 mark = List().LinkMarkRect(2, true);
    Click(Window(), POINT{(mark.left + mark.right) / 2, mark.top + 14});
    EXPECT_TRUE(dialog_->rows[2].linkedPrevious);
    EXPECT_TRUE(dialog_->rows[1].linkedNext);
    EXPECT_EQ(dialog_->events, (std::vector<Event>{{kToggleLink, 2, 1}}));
    // The photo's row has no link to toggle: the press there selects it.
    dialog_->events.clear();
    const Rect16 photoMark = List().LinkMarkRect(0, false);
    Click(Window(), POINT{(photoMark.left + photoMark.right) / 2, photoMark.top + 4});
    EXPECT_TRUE(dialog_->EventsOf(kToggleLink).empty());

    dialog_->events.clear();
    AfterDoubleClickTime();
    const POINT button = CentreOf(List().PhotoButtonRect(0));
    Click(Window(), button);
    EXPECT_EQ(dialog_->events, (std::vector<Event>{{kResetPhoto, 0, 0}}));
    const POINT away{button.x, button.y + 60};
    AfterDoubleClickTime();
    Play(Window(), {Move(button), Down(button), Move(away, 80), Up(away)});
    EXPECT_EQ(dialog_->EventsOf(kResetPhoto).size(), 1u) << "released away from the button";
}

TEST_F(FrameStack, DraggingTheSelectedRowMovesItOneStepAtATimeOrOverSeveralRowsAtOnce) {
    Open(ManyRows(4));
    const POINT start = OnName(0);
    const int step = FrameStackLayout::kRowHeight;
    // Slowly, three rows down: three moves, each from the row where the owner put it.
    Play(Window(), {Move(start), Down(start), Move({start.x, start.y + step}, 80), Move({start.x, start.y + 2 * step}, 80),
                    Move({start.x, start.y + 3 * step}, 80), Up({start.x, start.y + 3 * step})});
    EXPECT_EQ(dialog_->EventsOf(kMoveRow),
              (std::vector<Event>{{kMoveRow, 0, 1}, {kMoveRow, 1, 2}, {kMoveRow, 2, 3}}))
        << testing::PrintToString(dialog_->events);
    EXPECT_EQ(dialog_->Names(),
              (std::vector<std::string>{"Frame 1.afx", "Frame 2.afx", "Frame 3.afx", "Frame 0.afx"}));
    EXPECT_EQ(List().SelectedRow(), 3);
    EXPECT_EQ(ThumbnailOnScreen(OnScreen(Window()), 3), LayerColour(3));

    // A jump over two rows at once: one move.
    dialog_->events.clear();
    AfterDoubleClickTime();
    const POINT top = OnName(0);
    Play(Window(), {Move(top), Down(top), Move({top.x, top.y + 2 * step}, 80), Up({top.x, top.y + 2 * step})});
    EXPECT_EQ(dialog_->EventsOf(kMoveRow), (std::vector<Event>{{kMoveRow, 0, 2}}))
        << testing::PrintToString(dialog_->events);

    // An owner that does not follow the move still sees one move per step, not one per sample.
    dialog_->events.clear();
    dialog_->followMoves = false;
    AfterDoubleClickTime();
    const POINT again = OnName(0);
    Play(Window(), {Move(again), Down(again), Move({again.x, again.y + step}, 200), Up({again.x, again.y + step})});
    EXPECT_EQ(dialog_->EventsOf(kMoveRow), (std::vector<Event>{{kMoveRow, 0, 1}}));
}

TEST_F(FrameStack, DraggingBeyondTheListScrollsItOneRowPerCaretBlink) {
    Open(ManyRows(9), 3);
    const POINT start = OnName(0);
    const Rect16 list = List().ListRect();
    const POINT below{start.x, list.bottom + 20};
    const UINT blink = GetCaretBlinkTime();
    Play(Window(), {Move(start), Down(start), Move(below, static_cast<int>(blink * 2 + blink / 2)), Up(below)});
    const std::vector<Event> scrolls = dialog_->EventsOf(kScrolled);
    ASSERT_GE(scrolls.size(), 2u) << testing::PrintToString(dialog_->events);
    EXPECT_LE(scrolls.size(), 4u) << "at most one row a blink";
    for (size_t i = 0; i < scrolls.size(); ++i) EXPECT_EQ(scrolls[i].row, static_cast<int16_t>(i + 1));
    EXPECT_EQ(List().FirstVisibleRow(), static_cast<int16_t>(scrolls.size()));
    // The dragged row went along, to the row under the pointer: one below the view at most.
    EXPECT_EQ(dialog_->Names()[List().SelectedRow()], "Frame 0.afx");
    EXPECT_EQ(List().SelectedRow(), List().FirstVisibleRow() + List().VisibleRows());
    EXPECT_EQ(dialog_->GetItemValue(STACK_SCROLL), List().FirstVisibleRow());
}

TEST_F(FrameStack, ADoubleClickBelowTheRowsAfterASingleClickThereIsReportedOnce) {
    Open(ManyRows(2));
    const Rect16 list = List().ListRect();
    const POINT below{list.left + 100, list.bottom - 20};
    const int16_t selected = List().SelectedRow();
    Click(Window(), below);
    AfterDoubleClickTime();
    Play(Window(), {Move(below), Down(below, 20), Up(below, 20), Down(below, 20), Up(below)});
    EXPECT_EQ(dialog_->EventsOf(kDoubleClickBelow), (std::vector<Event>{{kDoubleClickBelow, 2, 0}}));
    EXPECT_EQ(List().SelectedRow(), selected) << "clicks below the rows select nothing";
}

TEST_F(FrameStack, TheScrollBarScrollsTheListAndSelectingARowScrollsItIntoView) {
    Open(ManyRows(8), 3);
    dialog_->SetItemValue(STACK_SCROLL, 2.4);
    EXPECT_TRUE(List().SyncScroll());
    EXPECT_EQ(List().FirstVisibleRow(), 2);
    EXPECT_EQ(dialog_->events, (std::vector<Event>{{kScrolled, 2, 0}}));
    ClientPicture screen = OnScreen(Window());
    for (int16_t row = 2; row < 5; ++row) EXPECT_EQ(ThumbnailOnScreen(screen, row), LayerColour(row)) << row;
    EXPECT_FALSE(List().SyncScroll()) << "already there";

    dialog_->events.clear();
    List().SelectRow(0);
    EXPECT_EQ(List().FirstVisibleRow(), 0);
    List().SelectRow(7);
    EXPECT_EQ(List().FirstVisibleRow(), 5);
    EXPECT_EQ(dialog_->EventsOf(kScrolled), (std::vector<Event>{{kScrolled, 0, 0}, {kScrolled, 5, 0}}));
    screen = OnScreen(Window());
    EXPECT_EQ(ThumbnailOnScreen(screen, 7), LayerColour(7));
    EXPECT_EQ(dialog_->GetItemValue(STACK_SCROLL), 5);
    // Scrolling keeps within the rows.
    List().ScrollRows(10);
    EXPECT_EQ(List().FirstVisibleRow(), 5);
    List().ScrollRows(-2);
    EXPECT_EQ(List().FirstVisibleRow(), 3);
    screen = OnScreen(Window());
    for (int16_t row = 3; row < 6; ++row) EXPECT_EQ(ThumbnailOnScreen(screen, row), LayerColour(row)) << row;
}

TEST(FrameStackPicture, TheUiStepsPhotographTheList) {
    TempFolder temporary("QuorvelFrameStack");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / "frame-stack.png").string();
    StackDialog dialog(FourRows());
    dialog.selected = 1;
    const std::vector<qvhost::UiStep> steps = UiSteps("wait 500; shot \"" + shot + "\"; menu 2");
    const qvhost::UiReport report = qvhost::DriveDialogs(steps, {}, [&] { dialog.RunModal(); });
    EXPECT_TRUE(report.completed) << report.error;

    qvhost::RasterImage image;
    std::string error;
    ASSERT_TRUE(qvhost::ReadImageFile(shot, image, error)) << error;
    int face = 0, rule = 0, photo = 0, layers = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const COLORREF c = PixelAt(image, x, y);
            face += c == kBackground;
            rule += c == kFrame;
            photo += c == kPhotoColour;
            layers += c == LayerColour(0) || c == LayerColour(1) || c == LayerColour(2);
        }
    EXPECT_GT(face, image.width * image.height / 4);
    EXPECT_GT(rule, 1000) << "the selected row and the rules";
    EXPECT_GT(photo, 800);
    EXPECT_GT(layers, 3 * 800);
}

}  // namespace
