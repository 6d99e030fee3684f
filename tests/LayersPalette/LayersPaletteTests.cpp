// The layers palette on a real dialog, driven by the desktop's own mouse and keys: rows drawn in
// the interface's colours and probed on the screen, the state column toggled (never on a locked
// row), titles made current (with Alt held, the only row on), rows dragged to another place with
// their records and auto-scrolled at the caret's blink rate, the double click below the rows, and
// the title dialog refusing a name another row carries. Row numbers, record bounds and moves are checked on a palette without a
// window. The palette is photographed as layers-palette.png.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AlertLog.h"
#include "ControlDrawing.h"
#include "DesktopInput.h"
#include "GdiOwner.h"
#include "LayersPalette.h"
#include "LayerTitleDialog.h"
#include "PaletteTemplates.h"
#include "PSDialog.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "TempFolder.h"
#include "UiShots.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;
using namespace LayersPaletteCode;

constexpr uint16_t kEyeIcon = 17040;
constexpr uint16_t kLinkIcon = 17041;
constexpr uint16_t kRowHeight = 20;
constexpr COLORREF kDimmed = RGB(0x80, 0x80, 0x80);
constexpr int16_t kTimedOut = 99;

// The caller's rows: a title field and a state byte.
struct RowRecord {
    char title[24];
    uint8_t state;
    uint8_t spare[7];
};
static_assert(sizeof(RowRecord) == 32);

// What the owner answers and hears.
struct Owner {
    struct Event {
        int16_t code;
        int32_t argument;
    };
    std::vector<Event> events;
    std::set<int32_t> locked;                 // callback rows
    std::map<int32_t, uint32_t> linkColumn;   // callback row: the answer for icon column 1

    std::vector<int32_t> Arguments(int16_t code) const {
        std::vector<int32_t> found;
        for (const Event& e : events)
            if (e.code == code) found.push_back(e.argument);
        return found;
    }
};
Owner* gOwner = nullptr;

bool OwnerCallback(DialogComponent&, int16_t code, intptr_t argument) {
    if (!gOwner) return false;
    switch (code) {
        case kRowLocked: {
            auto* query = reinterpret_cast<LayersPaletteQuery*>(argument);
            query->answer = gOwner->locked.count(query->argument) ? 1 : 0;
            return true;
        }
        case kIconCell: {
            auto* query = reinterpret_cast<LayersPaletteQuery*>(argument);
            const auto found = gOwner->linkColumn.find(query->argument & 0xFFFF);
            query->answer = (query->argument >> 16) == 1 && found != gOwner->linkColumn.end() ? found->second : 0;
            return true;
        }
        case kTitleText:
        case kRowState:
            return false;   // the records hold them
        default:
            gOwner->events.push_back({code, static_cast<int32_t>(argument)});
            return true;
    }
}

std::vector<RowRecord> MakeRows(int count) {
    static const char* const names[] = {"Background", "Oak frame", "Gold leaf", "Shadow",   "Canvas",
                                        "Deckle edge", "Vignette", "Mat board", "Glow",     "Spatter",
                                        "Ribbon",      "Film",     "Brush",     "Polaroid", "Grunge",
                                        "Torn paper",  "Lace",     "Stamp",     "Bevel",    "Rope"};
    std::vector<RowRecord> rows(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::memset(&rows[size_t(i)], 0, sizeof(RowRecord));
        std::snprintf(rows[size_t(i)].title, sizeof rows[size_t(i)].title, "%s", names[i % 20]);
        rows[size_t(i)].state = i % 2 == 0 ? 1 : 0;
    }
    return rows;
}

LayersPaletteRecords RecordsOf(std::vector<RowRecord>& rows) {
    LayersPaletteRecords records;
    records.base = reinterpret_cast<uint8_t*>(rows.data());
    records.size = rows.size() * sizeof(RowRecord);
    records.stride = sizeof(RowRecord);
    records.titleOffset = offsetof(RowRecord, title);
    records.titleSize = sizeof(RowRecord::title);
    records.stateOffset = offsetof(RowRecord, state);
    return records;
}

std::vector<std::string> Titles(const std::vector<RowRecord>& rows) {
    std::vector<std::string> titles;
    for (const RowRecord& r : rows) titles.emplace_back(r.title);
    return titles;
}

// ---- The dialog: the palette in item 3, its scroll bar in item 4, and a script of steps that
// its idle work plays (also while the palette follows a held button, when the framework runs the
// idle work from the tracking loop). A step answers true when it is done.

class PaletteDialog : public PSDialog {
public:
    using Step = std::function<bool(PaletteDialog&)>;

    PaletteDialog(std::vector<RowRecord>& rows, LayersPaletteSetup setup)
        : PSDialog(TEST_PALETTE_DIALOG, DialogKind::Modal), rows_(rows), setup_(setup) {}

    std::unique_ptr<LayersPalette> palette;
    std::vector<Step> steps;

    void InitDialog() override {
        PSDialog::InitDialog();
        palette = std::make_unique<LayersPalette>(*this, TEST_ITEM_PALETTE, OwnerCallback, setup_);
        palette->SetRecords(RecordsOf(rows_));
        started_ = std::chrono::steady_clock::now();
    }
    void DrawItem(int16_t item) override {
        if (item == 0) {
            PortDC dc(Port());
            RECT client{};
            GetClientRect(Window(), &client);
            if (dc) FillRect(dc.Get(), &client, background_.Get());
        } else if (item == TEST_ITEM_PALETTE && palette) {
            palette->Draw();
        }
    }
    int16_t ItemHit(int16_t item) override {
        if (item == TEST_ITEM_PALETTE && palette) {
            POINT cursor{};
            GetCursorPos(&cursor);
            ScreenToClient(Window(), &cursor);
            palette->Track(Point16{int16_t(cursor.y), int16_t(cursor.x)});
            return 0;
        }
        if (item == TEST_ITEM_SCROLL && palette) {
            palette->FollowScrollBar();
            return 0;
        }
        if (item == kTimedOut) return kTimedOut;
        return PSDialog::ItemHit(item);
    }
    void Idle() override {
        if (inStep_) return;
        if (std::chrono::steady_clock::now() - started_ > std::chrono::seconds(20)) {
            ADD_FAILURE() << "the script did not finish; step " << next_;
            std::thread([] { SendPointerAt(POINT{0, 0}, MOUSEEVENTF_LEFTUP); }).join();
            EndDialog(kTimedOut);
            return;
        }
        if (next_ >= steps.size()) return;
        inStep_ = true;
        const bool done = steps[next_](*this);
        inStep_ = false;
        if (done) ++next_;
    }

    // Where a row's parts lie on the screen.
    POINT Screen(int32_t x, int32_t y) const {
        POINT p{x, y};
        ClientToScreen(Window(), &p);
        return p;
    }
    POINT TitleOf(int16_t row) const {
        const Rect16 r = palette->RowRect(row);
        return Screen(r.right - 24, r.top + kRowHeight / 2);
    }
    POINT StateOf(int16_t row) const {
        const Rect16 r = palette->RowRect(row);
        return Screen(r.left + kRowHeight / 2, r.top + kRowHeight / 2);
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) override {
        switch (message) {
            case WM_SYSCOMMAND:
                // A lone Alt released would open the window's menu, whose loop holds the script.
                if ((wParam & 0xFFF0) == SC_KEYMENU) return 1;
                return PSDialog::HandleMessage(message, wParam, lParam, item);
            default:
                return PSDialog::HandleMessage(message, wParam, lParam, item);
        }
    }

private:
    std::vector<RowRecord>& rows_;
    LayersPaletteSetup setup_;
    size_t next_ = 0;
    bool inStep_ = false;
    std::chrono::steady_clock::time_point started_;
    OwnedBrush background_{CreateSolidBrush(kBackground)};
};

using Step = PaletteDialog::Step;

// ---- Steps

Step Do(std::function<void(PaletteDialog&)> action) {
    return [action](PaletteDialog& d) {
        action(d);
        return true;
    };
}

Step WaitMs(int ms) {
    auto until = std::make_shared<std::chrono::steady_clock::time_point>();
    auto armed = std::make_shared<bool>(false);
    return [=](PaletteDialog&) {
        if (!*armed) {
            *armed = true;
            *until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        }
        return std::chrono::steady_clock::now() >= *until;
    };
}

// Done once the key state the thread sees agrees.
Step UntilKey(int key, bool down) {
    return [key, down](PaletteDialog&) { return ((GetAsyncKeyState(key) & 0x8000) != 0) == down; };
}

// The pointer moves there, without a button change.
void MoveTo(POINT at) {
    std::thread([at] { SendPointerAt(at, 0); }).join();
}
void Press(POINT at) {
    std::thread([at] {
        SendPointerAt(at, 0);
        SendPointerAt(at, MOUSEEVENTF_LEFTDOWN);
    }).join();
}
void Release(POINT at) {
    std::thread([at] { SendPointerAt(at, MOUSEEVENTF_LEFTUP); }).join();
}
void Click(POINT at) {
    Press(at);
    Release(at);
}
// Clicks given by where on a row: each click waits out the double-click time before it, so that
// no two of them make a double click.
Step ClickAt(std::function<POINT(PaletteDialog&)> where) {
    return Do([where](PaletteDialog& d) { Click(where(d)); });
}
Step PauseForSingleClicks() { return WaitMs(int(GetDoubleClickTime()) + 150); }

Step End() {
    return Do([](PaletteDialog& d) { d.EndDialog(TEST_ITEM_OK); });
}

// The dialog's client area as the screen shows it.
class ScreenCapture {
public:
    explicit ScreenCapture(HWND window) {
        RECT client{};
        GetClientRect(window, &client);
        width_ = client.right;
        height_ = client.bottom;
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        GdiFlush();
        const HDC screen = GetDC(nullptr);
        const HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof info.bmiHeader, width_, -height_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width_, height_, screen, origin.x, origin.y, SRCCOPY);
        pixels_.assign(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + size_t(width_) * height_);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    COLORREF At(int x, int y) const {
        const uint32_t v = pixels_[size_t(y) * width_ + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    int Count(const Rect16& r, COLORREF colour) const {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += At(x, y) == colour;
        return n;
    }

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
};

class LayersPaletteTest : public testing::Test {
protected:
    void SetUp() override { gOwner = &owner_; }
    void TearDown() override { gOwner = nullptr; }

    static LayersPaletteSetup Setup(int16_t rows) {
        LayersPaletteSetup setup;
        setup.rowCount = rows;
        setup.rowHeight = kRowHeight;
        setup.iconColumns = 1;
        setup.stateIcon = kEyeIcon;
        setup.scrollBarItem = TEST_ITEM_SCROLL;
        setup.titleDialog = LayerTitleIds::kTemplate;
        return setup;
    }
    int16_t Run(PaletteDialog& dialog) {
        const int16_t result = dialog.RunModal();
        std::thread([] { SendPointerAt(POINT{0, 0}, MOUSEEVENTF_LEFTUP); }).join();
        return result;
    }

    Owner owner_;
};

// ---- Drawing

TEST_F(LayersPaletteTest, RowsAreDrawnInTheInterfaceColoursWithTheirIconsAndTheScrollBarFollows) {
    std::vector<RowRecord> rows = MakeRows(10);
    owner_.locked = {2};
    owner_.linkColumn = {{0, kLinkIcon}, {1, kLinkIcon | LayersPaletteIcon::kGreyed}};
    PaletteDialog dialog(rows, Setup(10));
    dialog.steps = {WaitMs(300), Do([&](PaletteDialog& d) {
                        LayersPalette& p = *d.palette;
                        ASSERT_GT(p.VisibleRows(), 2);
                        ASSERT_LT(p.VisibleRows(), 10);
                        const Rect16 item = d.GetItemRect(TEST_ITEM_PALETTE);
                        EXPECT_EQ((RectHeight(item) - 3) % kRowHeight, 0) << "the item holds whole rows";
                        const ScreenCapture screen(d.Window());
                        const auto title = [&](int16_t row) {
                            const Rect16 r = p.RowRect(row);
                            return Rect16{int16_t(r.top + 3), int16_t(r.left + 2 * kRowHeight + 3), int16_t(r.bottom - 3),
                                          int16_t(r.right - 3)};
                        };
                        const auto cell = [&](int16_t row, int column) {
                            const Rect16 r = p.RowRect(row);
                            return Rect16{int16_t(r.top + 1), int16_t(r.left + column * kRowHeight + 1),
                                          int16_t(r.bottom - 1), int16_t(r.left + (column + 1) * kRowHeight)};
                        };
                        const Rect16 current = title(0), other = title(1);
                        EXPECT_EQ(screen.At(current.left + 1, current.top + 1), kSurface) << "the current row";
                        EXPECT_EQ(screen.At(other.left + 1, other.top + 1), kBackground);
                        EXPECT_EQ(screen.At(p.RowRect(1).left + 2 * kRowHeight, p.RowRect(1).top + 5), kFrame)
                            << "the row's outline";
                        EXPECT_GT(screen.Count(title(3), kText), 10) << "a title in the text colour";
                        EXPECT_GT(screen.Count(title(2), kDimmed), 10) << "the locked row's title is dimmed";
                        EXPECT_EQ(screen.Count(title(2), kText), 0);
                        const int cellArea = RectArea(cell(0, 0));
                        EXPECT_LT(screen.Count(cell(0, 0), kBackground), cellArea - 20) << "row 0 is on: the eye";
                        EXPECT_EQ(screen.Count(cell(1, 0), kBackground), cellArea) << "row 1 is off";
                        EXPECT_LT(screen.Count(cell(0, 1), kBackground), cellArea - 10) << "row 0's link";
                        EXPECT_EQ(screen.Count(cell(3, 1), kBackground), cellArea) << "no icon";
                        // The scroll bar stands beside the rows and offers the rows that are hidden.
                        double low = -1, high = -1;
                        d.GetItemRange(TEST_ITEM_SCROLL, low, high);
                        EXPECT_EQ(low, 0);
                        EXPECT_EQ(high, 10 - p.VisibleRows());
                        EXPECT_EQ(d.GetItemValue(TEST_ITEM_SCROLL), 0);
                        EXPECT_EQ(d.GetItemRect(TEST_ITEM_SCROLL).left, p.ListRect().right);
                    }),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
}

TEST_F(LayersPaletteTest, TheUiStepsPhotographThePalette) {
    TempFolder temporary("QuorvelLayersPalette");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / "layers-palette.png").string();
    std::vector<RowRecord> rows = MakeRows(10);
    owner_.locked = {3};
    owner_.linkColumn = {{0, kLinkIcon}, {1, kLinkIcon}, {4, kLinkIcon | LayersPaletteIcon::kGreyed}};
    PaletteDialog dialog(rows, Setup(10));
    dialog.steps = {Do([](PaletteDialog& d) { d.palette->SetCurrentRow(1); })};
    int16_t result = 0;
    const std::vector<qvhost::UiStep> steps = UiSteps("wait 500; shot \"" + shot + "\"; press 2");
    const qvhost::UiReport report = qvhost::DriveDialogs(steps, {}, [&] { result = dialog.RunModal(); });
    EXPECT_TRUE(report.completed) << report.error;
    EXPECT_EQ(result, TEST_ITEM_CANCEL);
    qvhost::RasterImage image;
    std::string error;
    ASSERT_TRUE(qvhost::ReadImageFile(shot, image, error)) << error;
    int surface = 0, frame = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const uint16_t* rgb = image.samples.data() + (size_t(y) * image.width + x) * image.channels;
            surface += RGB(rgb[0], rgb[1], rgb[2]) == kSurface;
            frame += RGB(rgb[0], rgb[1], rgb[2]) == kFrame;
        }
    EXPECT_GT(surface, 100) << "the current row";
    EXPECT_GT(frame, 300) << "the rows' outlines";
}

TEST_F(LayersPaletteTest, FittingFourRowsSizesTheItemAndEndsTheDialogAtItsBottom) {
    std::vector<RowRecord> rows = MakeRows(6);
    PaletteDialog dialog(rows, Setup(6));
    dialog.steps = {WaitMs(100), Do([](PaletteDialog& d) {
                        ASSERT_NE(d.palette->VisibleRows(), 4);
                        d.palette->FitFourRows();
                        EXPECT_EQ(d.palette->VisibleRows(), 4);
                        const Rect16 item = d.GetItemRect(TEST_ITEM_PALETTE);
                        EXPECT_EQ(RectHeight(item), 4 * kRowHeight + 3);
                        RECT client{};
                        GetClientRect(d.Window(), &client);
                        EXPECT_EQ(client.bottom, item.bottom);
                    }),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
}

// ---- The mouse

TEST_F(LayersPaletteTest, TheStateColumnTogglesARowButNeverALockedOne) {
    std::vector<RowRecord> rows = MakeRows(10);
    owner_.locked = {2};
    PaletteDialog dialog(rows, Setup(10));
    dialog.steps = {WaitMs(200),
                    ClickAt([](PaletteDialog& d) { return d.StateOf(1); }),
                    PauseForSingleClicks(),
                    ClickAt([](PaletteDialog& d) { return d.StateOf(0); }),
                    PauseForSingleClicks(),
                    ClickAt([](PaletteDialog& d) { return d.StateOf(2); }),
                    PauseForSingleClicks(),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
    EXPECT_EQ(rows[1].state, 1);
    EXPECT_EQ(rows[0].state, 0);
    EXPECT_EQ(rows[2].state, 1) << "locked";
    EXPECT_EQ(owner_.Arguments(kStateOn), std::vector<int32_t>{1});
    EXPECT_EQ(owner_.Arguments(kStateOff), std::vector<int32_t>{0});
    EXPECT_EQ(dialog.palette->CurrentRow(), 0) << "the state column leaves the current row";
}

TEST_F(LayersPaletteTest, AClickOnATitleMakesItCurrentAndTurnsItOn) {
    std::vector<RowRecord> rows = MakeRows(10);
    PaletteDialog dialog(rows, Setup(10));
    dialog.steps = {WaitMs(200),
                    ClickAt([](PaletteDialog& d) { return d.TitleOf(3); }),
                    PauseForSingleClicks(),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
    EXPECT_EQ(dialog.palette->CurrentRow(), 3);
    EXPECT_EQ(owner_.Arguments(kCurrentRowChanged), std::vector<int32_t>{3});
    EXPECT_EQ(rows[3].state, 1);
    EXPECT_EQ(owner_.Arguments(kStateOn), std::vector<int32_t>{3});
    EXPECT_EQ(rows[0].state, 1) << "without Alt the other rows stay on";
}

TEST_F(LayersPaletteTest, WithAltHeldTheNewCurrentRowIsTheOnlyRowOn) {
    // Alt is held as the user holds it, and the row made current as a click on it does: a pointer
    // event of the desktop would give Alt back to the display's own state.
    std::vector<RowRecord> rows = MakeRows(6);
    PaletteDialog dialog(rows, Setup(6));
    dialog.steps = {WaitMs(200),
                    Do([](PaletteDialog&) { SendKeys({VK_MENU}, false); }),
                    UntilKey(VK_MENU, true),
                    Do([](PaletteDialog& d) { d.palette->SetCurrentRow(3); }),
                    Do([](PaletteDialog&) { SendKeys({VK_MENU}, true); }),
                    UntilKey(VK_MENU, false),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].state, i == 3 ? 1 : 0) << "row " << i;
    EXPECT_EQ(owner_.Arguments(kStateOff), (std::vector<int32_t>{0, 2, 4}));
}

TEST_F(LayersPaletteTest, DraggingARowMovesItsRecordAndTheCurrentRowFollows) {
    std::vector<RowRecord> rows = MakeRows(10);
    const std::vector<std::string> before = Titles(rows);
    PaletteDialog dialog(rows, Setup(10));
    dialog.steps = {WaitMs(200),
                    Do([](PaletteDialog& d) { Press(d.TitleOf(0)); }),
                    WaitMs(100),
                    Do([](PaletteDialog& d) { MoveTo(d.TitleOf(2)); }),
                    WaitMs(150),
                    Do([](PaletteDialog& d) { Release(d.TitleOf(2)); }),
                    PauseForSingleClicks(),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
    std::vector<std::string> expected = before;
    std::rotate(expected.begin(), expected.begin() + 1, expected.begin() + 3);
    EXPECT_EQ(Titles(rows), expected);
    EXPECT_EQ(owner_.Arguments(kRowMoved), std::vector<int32_t>{(2 << 16) | 0});
    EXPECT_EQ(dialog.palette->CurrentRow(), 2) << "the moved row was current";
}

TEST_F(LayersPaletteTest, DraggingAboveTheRowsScrollsOneRowPerCaretBlink) {
    const UINT blink = GetCaretBlinkTime();
    SetCaretBlinkTime(150);
    std::vector<RowRecord> rows = MakeRows(20);
    const std::string dragged = rows[8].title;
    PaletteDialog dialog(rows, Setup(20));
    int16_t firstBefore = 0;
    std::chrono::steady_clock::time_point pressed;
    double heldMs = 0;
    dialog.steps = {WaitMs(200),
                    Do([&](PaletteDialog& d) {
                        d.palette->ScrollRows(8);
                        firstBefore = d.palette->FirstVisibleRow();
                    }),
                    Do([&](PaletteDialog& d) {
                        Press(d.TitleOf(firstBefore));
                        pressed = std::chrono::steady_clock::now();
                    }),
                    WaitMs(50),
                    Do([](PaletteDialog& d) { MoveTo(d.Screen(d.palette->ListRect().left + 60, d.palette->ListRect().top - 15)); }),
                    WaitMs(1000),
                    Do([&](PaletteDialog& d) {
                        heldMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pressed).count();
                        Release(d.Screen(0, 0));
                    }),
                    PauseForSingleClicks(),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
    SetCaretBlinkTime(blink);
    ASSERT_EQ(firstBefore, 8);
    const int scrolled = firstBefore - dialog.palette->FirstVisibleRow();
    EXPECT_GE(scrolled, 2);
    EXPECT_LE(scrolled, int(heldMs / 150) + 1) << "at most one row a blink";
    // The dragged row went up with the list: it is the first visible row.
    EXPECT_EQ(std::string(rows[size_t(dialog.palette->FirstVisibleRow())].title), dragged);
}

TEST_F(LayersPaletteTest, ADoubleClickBelowTheRowsIsReportedOnlyWhenBothClicksFellThere) {
    std::vector<RowRecord> rows = MakeRows(3);
    PaletteDialog dialog(rows, Setup(3));
    const auto below = [](PaletteDialog& d) {
        const Rect16 list = d.palette->ListRect();
        return d.Screen(list.right - 30, list.bottom - 6);
    };
    dialog.steps = {WaitMs(200),
                    ClickAt(below),
                    ClickAt(below),
                    PauseForSingleClicks(),
                    ClickAt([](PaletteDialog& d) { return d.TitleOf(1); }),
                    ClickAt(below),
                    PauseForSingleClicks(),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
    EXPECT_EQ(owner_.Arguments(kDoubleClickBelow), std::vector<int32_t>{3});
}

// ---- The title dialog, driven from a second thread while it runs

HWND FindOwnWindow(const char* caption) {
    struct Search {
        const char* caption;
        HWND found;
    } search{caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            char text[64] = {};
            GetWindowTextA(window, text, sizeof text);
            if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::strcmp(text, s->caption) == 0) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const char* caption) {
    for (int i = 0; i < 400; ++i) {
        if (const HWND window = FindOwnWindow(caption)) return window;
        Sleep(10);
    }
    return nullptr;
}

// Types names into the title dialog and presses OK after each; ends with Cancel when it is still
// up. Answers the texts the edit showed when the dialog came up.
class TitleDialogDriver {
public:
    explicit TitleDialogDriver(std::vector<std::string> names) : names_(std::move(names)) {
        thread_ = std::thread([this] { Drive(); });
    }
    ~TitleDialogDriver() {
        if (thread_.joinable()) thread_.join();
    }
    void Join() { thread_.join(); }
    std::string shownTitle;
    std::atomic<bool> found{false};

private:
    void Drive() {
        const HWND dialog = WaitForWindow("Layer Name");
        if (!dialog) return;
        found = true;
        char text[64] = {};
        GetWindowTextA(GetDlgItem(dialog, LayerTitleIds::kTitle), text, sizeof text);
        shownTitle = text;
        for (const std::string& name : names_) {
            SendMessageA(GetDlgItem(dialog, LayerTitleIds::kTitle), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(LayerTitleIds::kOk, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, LayerTitleIds::kOk)));
            Sleep(100);
            if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return;
        }
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(LayerTitleIds::kCancel, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, LayerTitleIds::kCancel)));
    }
    std::vector<std::string> names_;
    std::thread thread_;
};

TEST_F(LayersPaletteTest, ADoubleClickOnTheCurrentRowsTitleRenamesItThroughTheTitleDialog) {
    std::vector<RowRecord> rows = MakeRows(6);
    PaletteDialog dialog(rows, Setup(6));
    std::unique_ptr<TitleDialogDriver> driver;
    dialog.steps = {WaitMs(200),
                    ClickAt([](PaletteDialog& d) { return d.TitleOf(1); }),
                    PauseForSingleClicks(),
                    Do([&](PaletteDialog&) { driver = std::make_unique<TitleDialogDriver>(std::vector<std::string>{"Sky"}); }),
                    ClickAt([](PaletteDialog& d) { return d.TitleOf(1); }),
                    ClickAt([](PaletteDialog& d) { return d.TitleOf(1); }),
                    PauseForSingleClicks(),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
    ASSERT_TRUE(driver);
    driver->Join();
    EXPECT_TRUE(driver->found);
    EXPECT_EQ(driver->shownTitle, "Oak frame");
    EXPECT_STREQ(rows[1].title, "Sky");
    EXPECT_EQ(owner_.Arguments(kTitleChanged), std::vector<int32_t>{1});
    EXPECT_TRUE(owner_.Arguments(kEditTitle).empty()) << "the title dialog is configured";
}

TEST_F(LayersPaletteTest, TheTitleDialogRefusesAnotherRowsNameInAnyCaseAndANameTooLong) {
    AlertLog alerts;
    std::vector<RowRecord> rows = MakeRows(6);
    PaletteDialog dialog(rows, Setup(6));
    int16_t renamed = 0, cancelled = 0;
    dialog.steps = {WaitMs(200), Do([&](PaletteDialog& d) {
                        d.palette->SetCurrentRow(2);
                        {
                            // Another row's name in capitals and a name longer than the field are
                            // refused; the row's own name in capitals is taken.
                            TitleDialogDriver driver({"BACKGROUND", std::string(30, 'x'), "GOLD LEAF"});
                            renamed = d.palette->EditTitle(LayerTitleIds::kTemplate);
                        }
                        {
                            TitleDialogDriver driver({"Shadow"});   // refused, then Cancel
                            cancelled = d.palette->EditTitle(LayerTitleIds::kTemplate);
                        }
                    }),
                    End()};
    EXPECT_EQ(Run(dialog), TEST_ITEM_OK);
    EXPECT_EQ(renamed, LayerTitleIds::kOk);
    EXPECT_EQ(cancelled, LayerTitleIds::kCancel);
    EXPECT_STREQ(rows[2].title, "GOLD LEAF");
    EXPECT_STREQ(rows[0].title, "Background");
    const std::string log = alerts.Text();
    EXPECT_NE(log.find("alert 17014"), std::string::npos) << log;
    EXPECT_NE(log.find("BACKGROUND"), std::string::npos) << log;
    EXPECT_NE(log.find("Shadow"), std::string::npos) << log;
    EXPECT_NE(log.find("alert 18015"), std::string::npos) << log;
    EXPECT_EQ(owner_.Arguments(kTitleChanged), std::vector<int32_t>{2});
}

// ---- Without a window: numbers, records and moves

class Windowless : public LayersPaletteTest {
protected:
    MorvaneDialog owner{0, DialogKind::Modal};   // neither listed nor shown: the palette draws nothing
};

TEST_F(Windowless, RowsBeforeRowZeroAreNumberedInReverseForTheOwner) {
    LayersPaletteSetup setup = Setup(3);
    setup.firstRowIndex = -2;
    LayersPalette palette(owner, 1, OwnerCallback, setup);
    EXPECT_EQ(palette.CallbackRow(-2), -1);
    EXPECT_EQ(palette.CallbackRow(-1), -2);
    EXPECT_EQ(palette.CallbackRow(0), 0);
    EXPECT_EQ(palette.CallbackRow(2), 2);
    palette.SetRowState(-2, true);
    EXPECT_EQ(owner_.Arguments(kStateOn), std::vector<int32_t>{-1});
}

TEST_F(Windowless, MovingARowShiftsTheRecordsBetweenAndTheCurrentRowFollows) {
    std::vector<RowRecord> rows = MakeRows(5);
    const std::vector<std::string> names = Titles(rows);
    LayersPalette palette(owner, 1, OwnerCallback, Setup(5));
    palette.SetRecords(RecordsOf(rows));
    palette.SetCurrentRow(1);
    palette.MoveRow(3, 0);   // down the list's order: 3 goes to the top
    EXPECT_EQ(Titles(rows), (std::vector<std::string>{names[3], names[0], names[1], names[2], names[4]}));
    EXPECT_EQ(palette.CurrentRow(), 2) << "the current row lay between";
    palette.MoveRow(0, 4);
    EXPECT_EQ(Titles(rows), (std::vector<std::string>{names[0], names[1], names[2], names[4], names[3]}));
    EXPECT_EQ(palette.CurrentRow(), 1);
    EXPECT_EQ(owner_.Arguments(kRowMoved), (std::vector<int32_t>{(0 << 16) | 3, (4 << 16) | 0}));
    palette.MoveRow(0, 5);   // beyond the rows: nothing
    EXPECT_EQ(owner_.Arguments(kRowMoved).size(), 2u);
}

TEST_F(Windowless, RecordsAreReadOnlyWithinTheCallersMemory) {
    std::vector<RowRecord> rows = MakeRows(3);
    std::memset(rows[1].title, 'z', sizeof rows[1].title);   // no terminator
    LayersPaletteRecords records = RecordsOf(rows);
    records.size -= 1;   // the last record does not fit
    LayersPalette palette(owner, 1, OwnerCallback, Setup(3));
    palette.SetRecords(records);
    EXPECT_NE(palette.RecordOf(1), nullptr);
    EXPECT_EQ(palette.RecordOf(2), nullptr);
    EXPECT_EQ(palette.RecordOf(-1), nullptr);
    EXPECT_EQ(palette.Title(1), std::string(sizeof rows[1].title, 'z'));
    EXPECT_EQ(palette.Title(2), "") << "asked of the owner, who does not answer";
    EXPECT_FALSE(palette.WriteTitle(2, "Sky"));
    EXPECT_TRUE(palette.WriteTitle(0, "A name far longer than the title field holds"));
    EXPECT_EQ(std::string(rows[0].title), std::string("A name far longer than the title field holds", sizeof rows[0].title - 1));
    // A field that does not lie inside the stride is one the records do not hold.
    records = RecordsOf(rows);
    records.titleSize = 40;
    palette.SetRecords(records);
    EXPECT_EQ(palette.Records().titleOffset, -1);
    // A state that does not change is not reported.
    palette.SetRecords(RecordsOf(rows));
    palette.SetRowState(0, true);
    EXPECT_TRUE(owner_.Arguments(kStateOn).empty());
}

}  // namespace
