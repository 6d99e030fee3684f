// The frame stack's tab over a real parameter block: its rows mapped to layers round the photo's
// row, the list's questions and events answered from the block (visibility, selection, moves,
// links), its buttons (add a Razezev Urude, remove a frame) and their limits, the mouse wheel, a
// click and a drag through the desktop's input, and a picture of the tab with three layers
// ("frame-stack-tab.png").
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ControlDrawing.h"
#include "FrameStackTab.h"
#include "QuorvelHostCore/Document.h"
#include "QuorvelHostCore/UiScript.h"
#include "StackTestSupport.h"
#include "TabsFixture.h"
#include "TempFolder.h"
#include "UiShots.h"
#include "WindowShot.h"

namespace {

using namespace FrameStackCode;

class FrameStack : public TabsTest {
protected:
    FrameStackTab& Stack() { return static_cast<FrameStackTab&>(Tab(kFrameStackTab)); }
    // The tab's answer to the list's code about row (and second value), with the query's answer.
    struct Answer {
        bool yes;
        int32_t number;
        std::string text;
    };
    Answer Ask(int16_t code, int16_t row, int16_t second = 0) {
        FrameStackQuery query;
        query.parameter = FrameStackParameter(row, second);
        const bool yes = Stack().StackChanged(code, query);
        return Answer{yes, query.answer, query.text};
    }
    // The two link bytes of every layer: previous, next.
    std::vector<std::pair<int, int>> Links() {
        std::vector<std::pair<int, int>> links;
        for (int i = 0; i < LayerCount(); ++i)
            links.emplace_back(Layer(i).Get(LayerLayout::kLinkedPrevious), Layer(i).Get(LayerLayout::kLinkedNext));
        return links;
    }
    void Shown() {
        Stack().Show(kShowInFront);
        BringForward(Stack().Window());
        PumpPending();
    }
};

TEST_F(FrameStack, RowsAreTheLayersWithThePhotosRowAtItsPlace) {
    for (const int photo : {0, 2}) {
        SCOPED_TRACE("photo at row " + std::to_string(photo));
        MakeStack(2, photo);
        BuildTabs();
        // Rows from the bottom: the photo at 0 gives photo, layer 0, layer 1; at the top layer 0,
        // layer 1, photo.
        const std::vector<int> layerOfRow = photo == 0 ? std::vector<int>{-1, 0, 1} : std::vector<int>{0, 1, -1};
        for (int16_t row = 0; row < 3; ++row) {
            const int layer = layerOfRow[row];
            EXPECT_EQ(Ask(kLayerOfRow, row).number, layer) << row;
            EXPECT_EQ(Ask(kIsPhotoRow, row).yes, layer < 0) << row;
            EXPECT_EQ(Ask(kIsPhotoRowToo, row).yes, layer < 0) << row;
            EXPECT_TRUE(Ask(kRowExists, row).yes) << row;
            EXPECT_EQ(Ask(kRowState, row).number, 1) << row;
            if (layer >= 0) EXPECT_EQ(Ask(kRowText, row).text, "Frame " + std::to_string(layer) + ".jpg");
        }
        EXPECT_FALSE(Ask(kRowExists, 3).yes);
        EXPECT_EQ(Ask(kLayerOfRow, 3).number, -1);
        EXPECT_EQ(Ask(kRowState, 3).number, 0);
        EXPECT_FALSE(Ask(kRowExists, -1).yes) << "no row above the list";
        tabs_.reset();
    }
    // A shape layer shows its shape's name.
    MakeStack(1);
    Layer(0).Sub(LayerLayout::kSource).Set(ShapeLayout::kMarker, -1);
    Layer(0).Sub(LayerLayout::kSource).Set(ShapeLayout::kKind, ShapeLayout::kHeart);
    BuildTabs();
    EXPECT_EQ(Ask(kRowText, 1).text, "Heart");
}

TEST_F(FrameStack, ALayerMovesOnlyBetweenLayersAndNeverAcrossThePhoto) {
    struct Case {
        int photo;
        // Per row: may move up, may move down.
        std::vector<std::pair<bool, bool>> steps;
    };
    const Case cases[] = {
        {0, {{false, false}, {false, true}, {true, true}, {true, false}}},
        {1, {{false, false}, {false, false}, {false, true}, {true, false}}},
        {3, {{false, true}, {true, true}, {true, false}, {false, false}}},
    };
    for (const Case& c : cases) {
        MakeStack(3, c.photo);
        BuildTabs();
        for (int16_t row = 0; row < 4; ++row) {
            EXPECT_EQ(Ask(kLinkPosition, row, 1).yes, c.steps[row].first) << "photo " << c.photo << ", row " << row << " up";
            EXPECT_EQ(Ask(kLinkPosition, row, 0).yes, c.steps[row].second) << "photo " << c.photo << ", row " << row << " down";
        }
        tabs_.reset();
    }
}

TEST_F(FrameStack, ALinkTogglesOnBothSidesOfItsBoundaryAndTheFirstLayersOnlyOnItself) {
    MakeStack(3);  // rows: photo, layers 0, 1, 2
    BuildTabs();
    EXPECT_FALSE(Ask(kToggleLink, 2, 0).yes);
    EXPECT_EQ(Links(), (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 0}}));
    EXPECT_TRUE(Ask(kLinkState, 2, 0).yes);
    EXPECT_TRUE(Ask(kLinkState, 3, 1).yes);
    EXPECT_FALSE(Ask(kLinkState, 1, 0).yes);
    Ask(kToggleLink, 3, 1);
    EXPECT_EQ(Links(), (std::vector<std::pair<int, int>>{{0, 0}, {0, 0}, {0, 0}}));
    // The first layer has no previous layer: only its own byte changes.
    Ask(kToggleLink, 1, 1);
    EXPECT_EQ(Links(), (std::vector<std::pair<int, int>>{{1, 0}, {0, 0}, {0, 0}}));
    // The photo's row has no links.
    Ask(kToggleLink, 0, 0);
    EXPECT_EQ(Links(), (std::vector<std::pair<int, int>>{{1, 0}, {0, 0}, {0, 0}}));
}

TEST_F(FrameStack, RowsShowHideAndSelectTheirLayersAndAFrameThatFailedStaysAsItIs) {
    MakeStack(3);
    BuildTabs();
    EXPECT_FALSE(Ask(kHideRow, 2).yes);
    EXPECT_EQ(Layer(1).Get(LayerLayout::kEnabled), 0);
    EXPECT_EQ(Ask(kRowState, 2).number, 0);
    Ask(kShowRow, 2);
    EXPECT_EQ(Layer(1).Get(LayerLayout::kEnabled), 1);

    state_.layerStates.At(2)->imageMissing = true;
    EXPECT_EQ(Ask(kRowState, 3).number, -1);
    Ask(kHideRow, 3);
    EXPECT_EQ(Layer(2).Get(LayerLayout::kEnabled), 1);
    Ask(kHideRow, 0);  // the photo's row
    EXPECT_EQ(Ask(kRowState, 0).number, 1);

    Ask(kSelectionChanged, 2);
    EXPECT_EQ(Selected(), 1);
    Ask(kSelectionChanged, 0);
    EXPECT_EQ(Selected(), -1) << "the photo's row selects no layer";
}

TEST_F(FrameStack, AMoveReordersTheLayersWithinTheRows) {
    MakeStack(3);
    BuildTabs();
    EXPECT_TRUE(Ask(kMoveRow, 1, 3).yes);
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{12, 13, 11}));
    EXPECT_FALSE(Ask(kMoveRow, 1, 4).yes);
    EXPECT_FALSE(Ask(kMoveRow, 4, 1).yes);
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{12, 13, 11}));
}

TEST_F(FrameStack, TheListFollowsTheStackAndTheButtonsItsLimits) {
    MakeStack(3);
    BuildTabs();
    Select(1);
    tabs_->UpdateAll();
    EXPECT_EQ(Stack().List().RowCount(), 4);
    EXPECT_EQ(Stack().List().SelectedRow(), 2);
    EXPECT_TRUE(IsWindowEnabled(Stack().ItemWindow(FrameStackTab::kRemoveFrame)));
    Select(-1);
    tabs_->UpdateAll();
    EXPECT_EQ(Stack().List().SelectedRow(), 0) << "the photo's row";
    EXPECT_FALSE(IsWindowEnabled(Stack().ItemWindow(FrameStackTab::kRemoveFrame)));

    // Remove takes the selected layer.
    Select(1);
    EXPECT_TRUE(Stack().RunButton(FrameStackTab::kRemoveFrame));
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{11, 13}));
    tabs_->UpdateAll();
    EXPECT_EQ(Stack().List().RowCount(), 3);

    // Add Instant puts a shape layer in and shows its tab.
    EXPECT_TRUE(Stack().RunButton(FrameStackTab::kAddInstant));
    EXPECT_EQ(LayerCount(), 3);
    int shapes = 0;
    for (int i = 0; i < LayerCount(); ++i) shapes += Layer(i).Sub(LayerLayout::kSource).Get(ShapeLayout::kMarker) == -1;
    EXPECT_EQ(shapes, 1);
    EXPECT_TRUE(tabs_->IsTabShown(kShapeTab));
}

TEST_F(FrameStack, AddInstantIsRefusedAt32Layers) {
    MakeStack(32);
    BuildTabs();
    tabs_->UpdateAll();
    EXPECT_FALSE(IsWindowEnabled(Stack().ItemWindow(FrameStackTab::kAddInstant)));
    EXPECT_FALSE(Stack().RunButton(FrameStackTab::kAddInstant));
    EXPECT_EQ(LayerCount(), 32);
}

TEST_F(FrameStack, TheWheelScrollsTheListARowANotchWithinTheScrollBarsRange) {
    MakeStack(9);
    BuildTabs();
    Shown();
    tabs_->UpdateAll();
    FrameStackControl& list = Stack().List();
    const int visible = list.VisibleRows();
    ASSERT_GT(visible, 1);
    ASSERT_LT(visible, 10);
    const HWND listWindow = Stack().ItemWindow(FrameStackTab::kList);
    const auto wheel = [&](int delta) { SendMessageW(listWindow, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0); };
    wheel(-WHEEL_DELTA);
    EXPECT_EQ(list.FirstVisibleRow(), 1);
    EXPECT_EQ(Stack().GetItemValue(FrameStackTab::kScrollBar), 1);
    wheel(WHEEL_DELTA);
    EXPECT_EQ(list.FirstVisibleRow(), 0);
    wheel(WHEEL_DELTA);
    EXPECT_EQ(list.FirstVisibleRow(), 0) << "never above the first row";
    wheel(WHEEL_DELTA / 2);
    EXPECT_EQ(list.FirstVisibleRow(), 0);
    wheel(-20 * WHEEL_DELTA);
    EXPECT_EQ(list.FirstVisibleRow(), 10 - visible) << "never past the scroll bar's range";
    EXPECT_EQ(SendMessageW(listWindow, WM_VSCROLL, SB_LINEUP, 0), 0);
    EXPECT_EQ(list.FirstVisibleRow(), 10 - visible);
}

TEST_F(FrameStack, AClickAddsAnInstantFrameWithAnUndoStepAndADragMovesARow) {
    MakeStack(2);
    Select(0);  // the new frame goes in at row 1, above the photo
    BuildTabs();
    Shown();
    const int undoBefore = preview_->undoSteps;
    Click(Stack().Window(), CentreOf(Stack().GetItemRect(FrameStackTab::kAddInstant)));
    EXPECT_EQ(LayerCount(), 3);
    EXPECT_EQ(preview_->undoSteps, undoBefore + 1);
    ASSERT_EQ(filter_.Stack().TargetLayerPos(), 0);

    // Whatever stands at rows 1 and 2 (layers 0 and 1) trades places when row 1 is dragged one
    // row down.
    tabs_->UpdateAll();
    // Past the double-click time: a second press on the row the click selected would open it.
    Sleep(GetDoubleClickTime() + 50);
    const std::vector<uint32_t> before = LayerIds();
    FrameStackControl& list = Stack().List();
    const Rect16 row1 = list.RowRect(1), row2 = list.RowRect(2);
    const POINT from{row1.left + 120, (row1.top + row1.bottom) / 2};
    const POINT to{row2.left + 120, (row2.top + row2.bottom) / 2 + 4};
    Play(Stack().Window(), {Move(from), Down(from), Move(POINT{from.x, from.y + 10}), Move(to), Up(to)});
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{before[1], before[0], before[2]}));
}

// A frame's coverage as a grey picture: dark where the frame lies (a border `width` wide), light
// inside, with a stripe so that an inverted copy looks different.
void GiveLayerAPicture(LayerStateTable& states, int layer, int width, int height, uint8_t dark) {
    LayerState& state = *states.At(layer);
    state.sourceKind = LayerState::kSingleImage;
    state.frameInfo.mode = ImageInfo::kModeGrey;
    state.frameInfo.planes = 1;
    state.frameInfo.bytesPerPixel = 1;
    state.frameInfo.bytesPerRow = static_cast<uint32_t>(width);
    state.frameInfo.bounds = Rect16{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
    BufferRecord& buffer = state.imageBuffers[LayerState::kFrameImage];
    ASSERT_EQ(buffer.Allocate(int64_t{width} * height), 0);
    const LockedBuffer pixels(buffer);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int edge = std::min(std::min(x, width - 1 - x), std::min(y, height - 1 - y));
            pixels.As<uint8_t>()[y * width + x] = edge < height / 6 ? dark : edge < height / 6 + 2 ? 0xF0 : 0xC8;
        }
}

// The host's photo for the photo's row: a sky over a meadow, delivered as 16-bit rows.
struct PhotoHost {
    FilterRecord* record = nullptr;
    std::vector<uint16_t> rows;
};
PhotoHost gPhotoHost;

OSErr16 DeliverPhoto() {
    FilterRecord& r = *gPhotoHost.record;
    const int32_t width = RectWidth(r.inRect), height = RectHeight(r.inRect);
    const int32_t planes = r.inHiPlane - r.inLoPlane + 1;
    gPhotoHost.rows.assign(size_t(width) * planes * std::max(height, 1), 0);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const bool sky = y < height * 3 / 5;
            const int32_t rgb[3] = {sky ? 0x5A : 0x4C, sky ? 0x9A : 0x8C, sky ? 0xE0 - y : 0x3A};
            for (int32_t p = 0; p < planes; ++p)
                gPhotoHost.rows[(size_t(y) * width + x) * planes + p] =
                    static_cast<uint16_t>((std::clamp(rgb[(r.inLoPlane + p) % 3], 0, 255) * 32897) >> 8);
        }
    r.inData = gPhotoHost.rows.data();
    r.inRowBytes = width * planes * 2;
    return 0;
}

TEST_F(FrameStack, APictureOfTheTabWithThreeLayers) {
    // A host that samples its photo for the thumbnail of the photo's row.
    intptr_t data = 0;
    record_.imageMode = kModeRGB48;
    record_.advanceState = DeliverPhoto;
    record_.samplingSupport = 1;
    record_.supportsPadding = 1;
    record_.inputRate = 0x10000;
    gPhotoHost.record = &record_;
    call_.reset();
    hostCall_ = HostCall::OfFilterRecord(kSelectorStart, &record_, &data);
    call_.emplace(hostCall_);
    MakeStack(3);
    std::memcpy(Layer(0).At(LayerLayout::kSource), FileSpec::FromPath("C:\\Frames\\Gold Leaf.jpg").bytes, 64);
    std::memcpy(Layer(1).At(LayerLayout::kSource), FileSpec::FromPath("C:\\Frames\\Torn Paper.jpg").bytes, 64);
    std::memcpy(Layer(2).At(LayerLayout::kSource), FileSpec::FromPath("C:\\Frames\\Missing.jpg").bytes, 64);
    GiveLayerAPicture(state_.layerStates, 0, 64, 48, 0x50);
    GiveLayerAPicture(state_.layerStates, 1, 48, 64, 0x20);
    state_.layerStates.At(2)->imageMissing = true;
    Layer(1).Set(LayerLayout::kLinkedNext, 1);
    Layer(2).Set(LayerLayout::kLinkedPrevious, 1);
    Select(0);
    BuildTabs();
    for (TabType t : {kShapeTab, kBackgroundTab}) Tab(t).Hide();
    Shown();
    tabs_->UpdateAll();
    InvalidateRect(Stack().Window(), nullptr, TRUE);
    UpdateWindow(Stack().Window());
    PumpPending();

    TempFolder temporary("QuorvelFrameStackTab");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / "frame-stack-tab.png").string();
    std::string error;
    ASSERT_TRUE(qvhost::ShootProcessWindows(shot, error)) << error;

    const ClientPicture screen = OnScreen(Stack().Window());
    FrameStackControl& list = Stack().List();
    // The selected row (layer 0) on the light face; the others on the page colour.
    const Rect16 selected = list.TextRect(1, false);
    EXPECT_EQ(screen.At(selected.right - 3, selected.top + 3), ControlLook::kFrame);
    EXPECT_EQ(screen.At(list.TextRect(2, false).right - 3, list.TextRect(2, false).top + 3), ControlLook::kBackground);
    // The frame pictures: dark border pixels in the thumbnails of layers 0 and 1.
    const auto darkIn = [&](int16_t row) {
        const Rect16 r = list.ThumbnailRect(row);
        int count = 0;
        for (int y = r.top + 2; y < r.bottom - 2; ++y)
            for (int x = r.left + 2; x < r.right - 2; ++x) count += GetRValue(screen.At(x, y)) < 0x30;
        return count;
    };
    EXPECT_GT(darkIn(2), 30) << "layer 1's dark frame";
    // The missing frame says so in black.
    EXPECT_GT(darkIn(3), 10);
    // The strip under the list and the buttons' text.
    const Rect16 cover = Stack().GetItemRect(FrameStackTab::kCover);
    EXPECT_EQ(screen.At((cover.left + cover.right) / 2, cover.top), ControlLook::kFrame);
    const Rect16 save = Stack().GetItemRect(FrameStackTab::kSavePreset);
    EXPECT_GT(CountBright(screen, save, 0xA0), 10);
}

}  // namespace
