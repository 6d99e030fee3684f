// The stack edits: inserting, replacing, deleting and moving layers and texture path records with
// their LayerState entries, using library frames, and loading every record's image.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "AlertLog.h"
#include "ErrorCodes.h"
#include "File.h"
#include "GreyJpeg.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "PreviewOwner.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "SettingsDefaults.h"
#include "StubPreviewOwner.h"
#include "TempFolder.h"

namespace {

// Stands for the open preview dialog the filter runs under, for the edits that behave differently
// under it.
class PreviewDialogScope : public StubPreviewOwner {
public:
    explicit PreviewDialogScope(PhotoshopFilter& filter) : filter_(filter) { filter_.SetDialog(this); }
    ~PreviewDialogScope() override { filter_.SetDialog(nullptr); }

private:
    PhotoshopFilter& filter_;
};

class StackEditTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        record_.filterRect = Rect16{0, 0, 100, 150};
        record_.planes = 3;
        hostCall_ = HostCall{.record = &record_};
        call_.emplace(hostCall_);
        filter_.Stack().SetTargetLayerPos(0);
    }
    void TearDown() override {
        state_.layerStates.Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        call_.reset();
    }

    // `layers` layers with record ids 11, 12, ... and `paths` path records with ids 91, 92, ...;
    // each LayerState entry marked with 100 + its index; the photo at row `photo`, the photo row
    // selected.
    void MakeStack(int layers, int paths, int photo = 0) {
        filter_.SetDefaultParameters(0);
        ASSERT_EQ(filter_.ResizeStackStorage(layers, false), 0);
        ASSERT_EQ(filter_.ResizeStackStorage(paths, true), 0);
        for (int i = 0; i < layers; ++i) {
            filter_.Stack().InitLayerRecord(i, false);
            Layer(i).Set(LayerLayout::kRecordId, 11u + i);
        }
        for (int p = 1; p <= paths; ++p) View().Path(p).Set(LayerLayout::kRecordId, 90u + p);
        for (int i = 0; i < state_.layerStates.Count(); ++i) state_.layerStates.At(i)->imagePlanes = 100 + i;
        filter_.Stack().SetTargetLayerPos(photo);
        ASSERT_EQ(filter_.Stack().TargetLayerPos(), photo);
        Select(-1);
    }
    ParameterBlockView View() {
        return ParameterBlockView(reinterpret_cast<uint8_t*>(*record_.parameters), GetHandleSize(record_.parameters));
    }
    std::vector<uint8_t> BlockBytes() {
        const ParameterBlockView view = View();
        return std::vector<uint8_t>(view.Bytes(), view.Bytes() + view.Length());
    }
    RecordRef Layer(int i) { return View().Layer(i); }
    uint32_t LayerId(int i) { return Layer(i).Get(LayerLayout::kRecordId); }
    uint32_t PathId(int p) { return View().Path(p).Get(LayerLayout::kRecordId); }
    int Mark(int i) { return state_.layerStates.At(i)->imagePlanes; }
    void Select(int layer) { View().Block().Set(BlockLayout::kSelectedLayer, static_cast<int16_t>(layer)); }
    int Selected() { return View().Block().Get(BlockLayout::kSelectedLayer); }
    // The record ids of the N layers, bottom first.
    std::vector<uint32_t> LayerIds() {
        std::vector<uint32_t> ids;
        for (int i = 0; i < View().LayerCount(); ++i) ids.push_back(LayerId(i));
        return ids;
    }
    std::vector<int> Marks(int count) {
        std::vector<int> marks;
        for (int i = 0; i < count; ++i) marks.push_back(Mark(i));
        return marks;
    }
    // Layers i..j linked into one group.
    void Link(int i, int j) { filter_.Stack().SetLinkRange(i, j, 1); }
    std::string SourceText(RecordRef record) { return reinterpret_cast<const char*>(record.At(LayerLayout::kSource)); }
    void SetSource(RecordRef record, const FileSpec& spec) {
        std::memcpy(record.At(LayerLayout::kSource), spec.bytes, LayerLayout::kSourceLength);
    }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    StackState state_;
    Quorvel filter_{hostCall_, state_};
    const FileSpec frame_ = FileSpec::FromPath("C:\\Frames\\oak.jpg");
};

// A frames folder with grey JPEG frames that load, over an RGB document.
class FrameFileTest : public StackEditTest {
protected:
    static constexpr int16_t kDocumentMode = 3;  // RGB
    static constexpr int32_t kDocumentColourPlanes = 3;

    void SetUp() override {
        StackEditTest::SetUp();
        record_.imageMode = kDocumentMode;
        ASSERT_TRUE(WriteGreyJpeg(grey_, 8, 6, 128));
        ASSERT_TRUE(WriteGreyJpeg(dark_, 8, 6, 40));
    }

    TempFolder folder_;
    const std::string grey_ = folder_ / "grey.jpg";
    const std::string dark_ = folder_ / "dark.jpg";
    const std::string gone_ = folder_ / "gone.jpg";
};

TEST_F(StackEditTest, InsertingIntoAnEmptyStackReusesThePlaceholder) {
    MakeStack(0, 0);
    ASSERT_TRUE(filter_.Edits().InsertFrame(0, frame_, 7, false, true));
    EXPECT_EQ(View().LayerCount(), 1);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSize), 2392);
    EXPECT_EQ(LayerId(0), 7u);
    EXPECT_EQ(FileSpec::FromPath("C:\\Frames\\oak.jpg").Text(), std::string_view(reinterpret_cast<const char*>(Layer(0).At(8))));
    EXPECT_EQ(Layer(0).Get(LayerLayout::kEnabled), 1);
    EXPECT_EQ(state_.layerStates.Count(), 1);
}

TEST_F(StackEditTest, InsertedLayersAndPathRecordsMoveWhatFollowsThem) {
    MakeStack(2, 1);
    ASSERT_TRUE(filter_.Edits().InsertFrame(1, frame_, 5, false, true));
    EXPECT_EQ(View().LayerCount(), 3);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSize), ParameterBlockView::SizeFor(3, 1));
    EXPECT_EQ(LayerId(0), 11u);
    EXPECT_EQ(LayerId(1), 5u);
    EXPECT_EQ(LayerId(2), 12u);
    EXPECT_EQ(PathId(1), 91u);  // the path record moved behind the new layer
    EXPECT_EQ(Mark(0), 100);
    EXPECT_EQ(Mark(1), 0);      // the new entry
    EXPECT_EQ(Mark(2), 101);
    EXPECT_EQ(Mark(3), 102);

    // A path record inserted before the first one.
    ASSERT_TRUE(filter_.Edits().InsertFrame(3, frame_, 8, true, true));
    EXPECT_EQ(View().PathCount(), 2);
    EXPECT_EQ(PathId(1), 8u);
    EXPECT_EQ(PathId(2), 91u);
    EXPECT_EQ(Mark(4), 102);
}

TEST_F(StackEditTest, RemovingRecordsKeepsTheSelectionInTheStack) {
    MakeStack(3, 1);
    View().Block().Set(BlockLayout::kSelectedLayer, 2);
    ASSERT_TRUE(filter_.Edits().RemoveLayer(1));
    EXPECT_EQ(View().LayerCount(), 2);
    EXPECT_EQ(LayerId(0), 11u);
    EXPECT_EQ(LayerId(1), 13u);
    EXPECT_EQ(PathId(1), 91u);
    EXPECT_EQ(Mark(1), 102);
    EXPECT_EQ(Mark(2), 103);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSelectedLayer), 1);

    ASSERT_TRUE(filter_.Edits().RemoveLayer(2));  // the path record
    EXPECT_EQ(View().PathCount(), 0);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSelectedPath), -1);

    ASSERT_TRUE(filter_.Edits().RemoveLayer(1));
    ASSERT_TRUE(filter_.Edits().RemoveLayer(0));  // the last layer stays as the placeholder
    EXPECT_EQ(View().LayerCount(), 0);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSize), 2392);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSelectedLayer), -1);
    EXPECT_EQ(state_.layerStates.Count(), 1);
    EXPECT_EQ(Mark(0), 0);
    EXPECT_FALSE(filter_.Edits().RemoveLayer(5));
    // The empty stack's placeholder is no layer: removing it would count the stack below empty.
    EXPECT_FALSE(filter_.Edits().RemoveLayer(0));
    EXPECT_EQ(View().LayerCount(), 0);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSize), 2392);
}

TEST_F(StackEditTest, LoadingImagesBuildsShapesAndMarksUnloadedFramesMissing) {
    MakeStack(2, 1);
    SettingsDefaultLayerHead(Layer(0));  // an ellipse
    SetSource(Layer(1), frame_);
    SetSource(View().Path(1), frame_);
    for (int i = 0; i < state_.layerStates.Count(); ++i) state_.layerStates.At(i)->imagePlanes = 0;
    const PreviewDialogScope dialog(filter_);
    const AlertLog alerts;
    EXPECT_EQ(filter_.LoadLayerImages(), 3);
    EXPECT_FALSE(state_.layerStates.At(0)->imageMissing);
    EXPECT_NE(state_.layerStates.At(0)->shapeTest.kind, ShapeKind::None);
    EXPECT_TRUE(state_.layerStates.At(1)->imageMissing);
    EXPECT_TRUE(state_.layerStates.At(2)->imageMissing);
}

// ---- The stack's limit

TEST_F(StackEditTest, ARecordThatDoesNotFitTheStackIsRefusedWithTheBlockUnchanged) {
    // Every stored record takes one of 32 LayerState entries, the empty stack's placeholder too:
    // a record the table cannot take is refused for want of room.
    struct Case {
        int layers, paths;
        bool pathRecord, fits;
    };
    const Case cases[] = {
        {32, 0, false, false}, {31, 0, false, true}, {30, 2, false, false}, {30, 2, true, false},
        {0, 31, false, true},  {0, 31, true, false}, {1, 30, true, true},   {1, 31, false, false},
        {32, 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("N " + std::to_string(c.layers) + " M " + std::to_string(c.paths) +
                     (c.pathRecord ? " path record" : " layer"));
        MakeStack(c.layers, c.paths);
        const std::vector<uint8_t> before = BlockBytes();
        const int entries = state_.layerStates.Count();
        const AlertLog alerts;
        const int index = c.pathRecord ? std::max(c.layers, 1) : 0;
        EXPECT_EQ(filter_.Edits().InsertFrame(index, frame_, 5, c.pathRecord, true), c.fits);
        if (c.fits) {
            EXPECT_EQ(alerts.Text(), "");
            EXPECT_EQ(state_.layerStates.Count(), std::max(c.layers + (c.pathRecord ? 0 : 1), 1) + c.paths + (c.pathRecord ? 1 : 0));
        } else {
            EXPECT_EQ(alerts.Text(),
                      "alert 16005 answered 1: Could not create or load a new frame because the memory is full.\n");
            EXPECT_EQ(BlockBytes(), before);
            EXPECT_EQ(state_.layerStates.Count(), entries);
        }
    }
}

// Files dropped on the preview: frame images by their extension go onto the stack until it is
// full (one alert naming the limit ends the drop); anything else is passed over, and a drop with
// nothing usable answers 32512 and changes nothing.
TEST_F(StackEditTest, DroppedFramesFillTheStackUpToItsLimit) {
    const PreviewDialogScope dialog(filter_);  // under the dialog a frame that is not there is marked missing
    MakeStack(31, 0);
    {
        const AlertLog alerts;
        const std::vector<std::string> dropped = {"C:\\Notes\\read me.txt", "C:\\Frames\\a.jpg", "C:\\Frames\\b.AFX",
                                                  "C:\\Frames\\c.jpeg"};
        EXPECT_EQ(filter_.AddDroppedFrames(dropped), 0);
        EXPECT_EQ(View().LayerCount(), 32);
        EXPECT_NE(alerts.Text().find("alert 16006 answered 1: Quorvel cannot use more than 32 frames."), std::string::npos)
            << alerts.Text();
    }
    MakeStack(3, 0);
    const std::vector<uint8_t> before = BlockBytes();
    const std::vector<std::string> unusable = {"C:\\Notes\\read me.txt", "C:\\Pictures\\photo.png"};
    EXPECT_EQ(filter_.AddDroppedFrames(unusable), 32512);
    EXPECT_EQ(BlockBytes(), before);
}

TEST_F(FrameFileTest, AFullStackTakesAFrameOnlyInPlaceOfTheSelectedOne) {
    MakeStack(32, 0);
    Select(4);
    const std::vector<uint8_t> before = BlockBytes();
    {
        const AlertLog alerts;
        filter_.SetLayerFrame(FileSpec::FromPath(grey_), 5, false, true);
        EXPECT_EQ(alerts.Text(), "alert 16006 answered 1: Quorvel cannot use more than 32 frames.\n");
        EXPECT_EQ(BlockBytes(), before);
    }
    const AlertLog alerts;
    filter_.SetLayerFrame(FileSpec::FromPath(grey_), 5, true, true);
    EXPECT_EQ(alerts.Text(), "");
    EXPECT_EQ(View().LayerCount(), 32);
    EXPECT_EQ(LayerId(3), 14u);
    EXPECT_EQ(LayerId(4), 5u);  // the selected layer, on row 5 above the photo
    EXPECT_EQ(SourceText(Layer(4)), grey_);
    EXPECT_EQ(Selected(), 4);
}

// The limit the user is told of is the 32 layers; a stack with fewer layers whose textures fill
// the table has no room for the new frame's record.
TEST_F(FrameFileTest, AFrameForAStackAtItsLimitIsRefusedWithTheAlertOfThatLimit) {
    struct Case {
        int layers, paths;
        const char* alert;
    };
    const Case cases[] = {
        {32, 0, "alert 16006 answered 1: Quorvel cannot use more than 32 frames.\n"},
        {31, 1, "alert 16005 answered 1: Could not create or load a new frame because the memory is full.\n"},
        {30, 2, "alert 16005 answered 1: Could not create or load a new frame because the memory is full.\n"},
        {1, 31, "alert 16005 answered 1: Could not create or load a new frame because the memory is full.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("N " + std::to_string(c.layers) + " M " + std::to_string(c.paths));
        MakeStack(c.layers, c.paths);
        Select(0);
        const std::vector<uint8_t> before = BlockBytes();
        const int entries = state_.layerStates.Count();
        const AlertLog alerts;
        filter_.SetLayerFrame(FileSpec::FromPath(grey_), 5, false, true);
        EXPECT_EQ(alerts.Text(), c.alert);
        EXPECT_EQ(BlockBytes(), before);
        EXPECT_EQ(state_.layerStates.Count(), entries);
    }
}

// ---- Using a frame

TEST_F(StackEditTest, ALayerInsertedAtARowLandsOnThatRowAndPushesThePhotoWhenAtOrBelowIt) {
    struct Case {
        int layers, photo, position;
        int index, newPhoto;  // where the new layer lands; the photo's row after
    };
    const Case cases[] = {
        {2, 1, 0, 0, 2}, {2, 1, 1, 1, 2}, {2, 1, 2, 1, 1},  {2, 0, 0, 0, 1}, {2, 0, 2, 1, 0},
        {2, 2, 2, 2, 3}, {2, 2, 1, 1, 3}, {0, 0, 0, 0, 1},  {2, 1, 5, 2, 1}, {2, 1, -1, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("N " + std::to_string(c.layers) + " P " + std::to_string(c.photo) + " row " +
                     std::to_string(c.position));
        MakeStack(c.layers, 1, c.photo);
        ASSERT_TRUE(filter_.Edits().InsertFrameRecord(c.position, frame_, 5, true));
        ASSERT_EQ(View().LayerCount(), c.layers + 1);
        EXPECT_EQ(LayerId(c.index), 5u);
        EXPECT_EQ(filter_.Stack().TargetLayerPos(), c.newPhoto);
        EXPECT_EQ(PathId(1), 91u);  // path records stay behind every layer
    }
}

TEST_F(FrameFileTest, UsingAFrameOnThePhotoRowInsertsLoadsAndSelectsIt) {
    MakeStack(2, 0, 1);
    filter_.SetLayerFrame(FileSpec::FromPath(grey_), 5, false, true);
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{11, 5, 12}));
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 2);
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(Layer(1).Get(LayerLayout::kEnabled), 1);
    const LayerState& state = *state_.layerStates.At(1);
    EXPECT_FALSE(state.imageMissing);
    EXPECT_TRUE(FileSpec::Equals(state.framePath, FileSpec::FromPath(grey_)));

    // Replacing keeps the row; with the photo row selected there is nothing to replace.
    filter_.SetLayerFrame(FileSpec::FromPath(dark_), 6, true, true);
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{11, 6, 12}));
    EXPECT_TRUE(FileSpec::Equals(state_.layerStates.At(1)->framePath, FileSpec::FromPath(dark_)));
    filter_.Stack().SetSelectedListPos(2);
    const std::vector<uint8_t> before = BlockBytes();
    filter_.SetLayerFrame(FileSpec::FromPath(grey_), 7, true, true);
    EXPECT_EQ(BlockBytes(), before);
}

// ---- Deleting

TEST_F(StackEditTest, DeletingTheLastLayerLeavesThePlaceholderAndNoSelection) {
    MakeStack(1, 0, 1);
    Select(0);
    EXPECT_TRUE(filter_.Edits().DeleteFrame(false));
    EXPECT_EQ(View().LayerCount(), 0);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSize), 2392);
    EXPECT_EQ(Selected(), -1);
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 0);
    EXPECT_EQ(state_.layerStates.Count(), 1);

    // With no layer selected nothing goes.
    const std::vector<uint8_t> before = BlockBytes();
    EXPECT_FALSE(filter_.Edits().DeleteFrame(false));
    EXPECT_EQ(BlockBytes(), before);
}

TEST_F(StackEditTest, DeletingEveryLayerKeepsThePathRecords) {
    MakeStack(3, 1, 2);
    Select(1);
    EXPECT_TRUE(filter_.Edits().DeleteFrame(true));
    EXPECT_EQ(View().LayerCount(), 0);
    EXPECT_EQ(View().PathCount(), 1);
    EXPECT_EQ(PathId(1), 91u);
    EXPECT_EQ(Mark(1), 103);  // the path record's entry
    EXPECT_EQ(Selected(), -1);
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 0);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSize), ParameterBlockView::SizeFor(0, 1));
}

TEST_F(StackEditTest, DeletingALayerKeepsItsGroupJoinedAndThePhotoOnItsRow) {
    MakeStack(5, 0, 4);
    Link(0, 2);  // layers 0-1-2 one group, 3 alone below the photo, 4 above it
    Select(1);
    EXPECT_TRUE(filter_.Edits().DeleteFrame(false));
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{11, 13, 14, 15}));
    EXPECT_TRUE(filter_.Stack().LayersLinked(0, 1));
    EXPECT_FALSE(filter_.Stack().LayersLinked(1, 2));
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 3);
    EXPECT_EQ(Selected(), 1);

    // Layer 1 is linked below only: deleting it leaves no half link behind.
    Select(1);
    EXPECT_TRUE(filter_.Edits().DeleteFrame(false));
    EXPECT_EQ(Layer(0).Get(LayerLayout::kLinkedNext), 0);
    EXPECT_EQ(filter_.Stack().LastLinkedLayer(0), 0);

    // A layer above the photo leaves the photo where it is; a disabled or missing one is not
    // a visible change.
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 2);
    Select(2);
    Layer(2).Set(LayerLayout::kEnabled, 0);
    EXPECT_FALSE(filter_.Edits().DeleteFrame(false));
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 2);
    Select(0);
    state_.layerStates.At(0)->imageMissing = true;
    EXPECT_FALSE(filter_.Edits().DeleteFrame(false));
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{14}));
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 1);
}

// ---- Moving

TEST(ComputeMoveOrder, PutsTheRunAboveATargetAboveItAndBelowATargetBelowIt) {
    struct Case {
        int a, b, c, d;
        std::vector<int16_t> order;  // empty: refused
    };
    const Case cases[] = {
        {0, 0, 2, 2, {1, 2, 0, 3}},  // up: just above the target
        {3, 3, 1, 1, {0, 3, 1, 2}},  // down: just below it
        {1, 2, 3, 3, {0, 3, 1, 2}},  // a run of two up
        {2, 3, 0, 0, {2, 3, 0, 1}},
        {0, 0, 3, 3, {1, 2, 3, 0}},  // to the ends
        {3, 3, 0, 0, {3, 0, 1, 2}},
        {2, 1, 3, 3, {0, 3, 1, 2}},  // ends in either order
        {0, 0, 2, 3, {1, 2, 3, 0}},  // above a target run
        {3, 3, 1, 2, {0, 3, 1, 2}},  // below a target run
        {1, 2, 2, 2, {}},            // a target inside the run
        {0, 0, 4, 4, {}},            // outside 0..N
        {-1, 0, 2, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + ".." + std::to_string(c.b) + " to " + std::to_string(c.c) + ".." +
                     std::to_string(c.d));
        std::vector<int16_t> order(4, -1);
        EXPECT_EQ(StackEdits::ComputeMoveOrder(c.a, c.b, c.c, c.d, order), !c.order.empty());
        if (!c.order.empty()) {
            EXPECT_EQ(order, c.order);
        }
    }
    EXPECT_FALSE(StackEdits::ComputeMoveOrder(0, 0, 0, 0, std::span<int16_t>()));
}

TEST_F(StackEditTest, MovingALayerCarriesItsLayerStateAndKeepsItSelected) {
    MakeStack(3, 1);  // rows: 0 photo, 1..3 layers 0..2
    ASSERT_TRUE(filter_.Edits().MoveLayer(1, 3));
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{12, 13, 11}));
    EXPECT_EQ(Marks(4), (std::vector<int>{101, 102, 100, 103}));
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 0);
    EXPECT_EQ(Selected(), 2);
    EXPECT_EQ(PathId(1), 91u);

    ASSERT_TRUE(filter_.Edits().MoveLayer(3, 2));
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{12, 11, 13}));
    EXPECT_EQ(Selected(), 1);
}

TEST_F(StackEditTest, MovingALinkedGroupMovesAllItsLayers) {
    MakeStack(4, 0);
    Link(0, 1);
    ASSERT_TRUE(filter_.Edits().MoveLayer(2, 4));  // the group's top row: the whole group moves
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{13, 14, 11, 12}));
    EXPECT_EQ(Marks(4), (std::vector<int>{102, 103, 100, 101}));
    EXPECT_TRUE(filter_.Stack().LayersLinked(2, 3));
    EXPECT_FALSE(filter_.Stack().LayersLinked(1, 2));
    EXPECT_EQ(Selected(), 3);  // the moved row
}

TEST_F(StackEditTest, MovesOntoTheSameGroupOrIntoAnotherGroupAreRefused) {
    MakeStack(4, 0);
    Link(1, 2);  // rows 2 and 3
    const std::vector<uint8_t> before = BlockBytes();
    const std::vector<int> marks = Marks(4);
    const int moves[][2] = {{1, 1}, {2, 3}, {3, 2}, {4, 3}, {1, 2}, {0, 7}, {-1, 2}};
    for (const auto& move : moves) {
        SCOPED_TRACE(std::to_string(move[0]) + " to " + std::to_string(move[1]));
        EXPECT_FALSE(filter_.Edits().MoveLayer(move[0], move[1]));
        EXPECT_EQ(BlockBytes(), before);
        EXPECT_EQ(Marks(4), marks);
    }
    // Onto a group's outer row the layer passes the whole group.
    ASSERT_TRUE(filter_.Edits().MoveLayer(4, 2));
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{11, 14, 12, 13}));
    EXPECT_TRUE(filter_.Stack().LayersLinked(2, 3));
}

TEST_F(StackEditTest, MovingThePhotoRowMovesThePhotoAmongTheLayers) {
    MakeStack(3, 0);
    ASSERT_TRUE(filter_.Edits().MoveLayer(0, 2));
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 2);
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{11, 12, 13}));
    EXPECT_EQ(Selected(), -1);

    // A layer moved across the photo changes sides.
    ASSERT_TRUE(filter_.Edits().MoveLayer(0, 3));
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 1);
    EXPECT_EQ(LayerIds(), (std::vector<uint32_t>{12, 13, 11}));
    EXPECT_EQ(filter_.Stack().GetSelectedListPos(), 3);
}

// ---- Path records

TEST_F(StackEditTest, LayersKeepTheirTexturesWhenPathRecordsComeGoOrMove) {
    MakeStack(2, 3);  // path records 1..3 are records 2..4
    const auto textures = [this](int layer) {
        return std::vector<int>{Layer(layer).Get(LayerLayout::kBackgroundTexture),
                                BevelOf(Layer(layer)).Get(BevelLayout::kSurfaceTexture)};
    };
    const auto setTextures = [this](int layer, int background, int surface) {
        Layer(layer).Set(LayerLayout::kBackgroundTexture, static_cast<uint16_t>(background));
        BevelOf(Layer(layer)).Set(BevelLayout::kSurfaceTexture, static_cast<uint16_t>(surface));
    };
    setTextures(0, 1, 3);
    setTextures(1, 2, 0);

    // Path record 1 moves to the end: 91 92 93 -> 92 93 91.
    ASSERT_TRUE(filter_.Edits().MovePathRecord(2, 4));
    EXPECT_EQ(std::vector<uint32_t>({PathId(1), PathId(2), PathId(3)}), (std::vector<uint32_t>{92, 93, 91}));
    EXPECT_EQ(Marks(5), (std::vector<int>{100, 101, 103, 104, 102}));
    EXPECT_EQ(textures(0), (std::vector<int>{3, 2}));
    EXPECT_EQ(textures(1), (std::vector<int>{1, 0}));
    EXPECT_EQ(View().Block().Get(BlockLayout::kSelectedPath), 2);

    // And back to the front.
    ASSERT_TRUE(filter_.Edits().MovePathRecord(4, 2));
    EXPECT_EQ(std::vector<uint32_t>({PathId(1), PathId(2), PathId(3)}), (std::vector<uint32_t>{91, 92, 93}));
    EXPECT_EQ(textures(0), (std::vector<int>{1, 3}));
    EXPECT_EQ(textures(1), (std::vector<int>{2, 0}));
    EXPECT_FALSE(filter_.Edits().MovePathRecord(2, 2));
    EXPECT_FALSE(filter_.Edits().MovePathRecord(1, 3));  // a layer
    EXPECT_FALSE(filter_.Edits().MovePathRecord(2, 5));

    // Removing path record 2: the layer that named it names none; 3 becomes 2.
    ASSERT_TRUE(filter_.Edits().RemoveLayer(3));
    EXPECT_EQ(textures(0), (std::vector<int>{1, 2}));
    EXPECT_EQ(textures(1), (std::vector<int>{0, 0}));
    EXPECT_EQ(PathId(2), 93u);

    // A path record inserted first moves every number up.
    ASSERT_TRUE(filter_.Edits().InsertFrame(2, frame_, 8, true, true));
    EXPECT_EQ(textures(0), (std::vector<int>{2, 3}));
    EXPECT_EQ(PathId(1), 8u);
}

// ---- Library frames

class LibraryFrameTest : public FrameFileTest {
protected:
    void SetUp() override {
        FrameFileTest::SetUp();
        ASSERT_EQ(library_.OpenAt((folder_ / "Quorvel.sdb").c_str()), 0);
    }
    void TearDown() override {
        SetFrameLibraryFolder("");
        FrameFileTest::TearDown();
    }

    // Stores a Frames row for the file at path (relative to the library where it can be) and
    // loads it back as the browser does: its columns by name.
    std::unique_ptr<QVDatabaseRecord> StoredFrame(const std::string& path, const char* name) {
        QVDatabaseRecord row(&library_, "Frames");
        int32_t type = 0;
        const std::string stored = library_.StorePath(path.c_str(), type);
        EXPECT_EQ(type, PathType::RelativePath);
        row.SetText(1, name);
        row.SetInteger(2, type);
        row.SetText(3, stored.c_str());
        row.Save();
        auto loaded = std::make_unique<QVDatabaseRecord>(&library_, "Frames");
        loaded->SetRid(row.Rid());
        loaded->Load({"Filename", "PathType", "Path"});
        return loaded;
    }

    QVDatabase library_;
};

TEST_F(LibraryFrameTest, ALibraryFrameIsUsedByItsFullPath) {
    MakeStack(0, 0);
    filter_.LoadLibraryFrame(*StoredFrame(grey_, "grey.jpg"), false);
    ASSERT_EQ(View().LayerCount(), 1);
    EXPECT_EQ(SourceText(Layer(0)), grey_);
    EXPECT_EQ(LayerId(0), 0u);
    EXPECT_EQ(Selected(), 0);
    EXPECT_FALSE(state_.layerStates.At(0)->imageMissing);

    // A record made in memory, with no library of its own, resolves against the open frame
    // library's folder.
    SetFrameLibraryFolder(folder_.Path());
    QVDatabaseRecord row(nullptr, "Frames");
    row.SetText(1, "dark.jpg");
    row.SetInteger(2, PathType::RelativePath);
    row.SetText(3, "dark.jpg");
    filter_.LoadLibraryFrame(row, true);
    ASSERT_EQ(View().LayerCount(), 1);
    EXPECT_EQ(SourceText(Layer(0)), dark_);
}

TEST_F(LibraryFrameTest, AMissingLibraryFrameIsNamedInAnAlertAndChangesNothing) {
    MakeStack(2, 0);
    const std::unique_ptr<QVDatabaseRecord> gone = StoredFrame(gone_, "gone.jpg");
    const std::vector<uint8_t> before = BlockBytes();
    {
        const AlertLog alerts;
        filter_.LoadLibraryFrame(*gone, false);
        EXPECT_EQ(alerts.Text(),
                  "alert 16013 answered 1: Could not locate frame image \"gone.jpg\". The disk, CD, or server may be "
                  "off-line, or the file has been moved.\n");
    }
    EXPECT_EQ(BlockBytes(), before);

    // A record without a path does nothing at all.
    const AlertLog alerts;
    QVDatabaseRecord empty(&library_, "Frames");
    empty.SetText(1, "nothing.jpg");
    filter_.LoadLibraryFrame(empty, false);
    EXPECT_EQ(alerts.Text(), "");
    EXPECT_EQ(BlockBytes(), before);
}

// ---- Loading the images

TEST_F(FrameFileTest, LoadingImagesLoadsEachFrameOnceAndMarksTheOnesThatFail) {
    MakeStack(2, 1);
    for (int i = 0; i < state_.layerStates.Count(); ++i) state_.layerStates.At(i)->imagePlanes = 0;
    SettingsDefaultLayerHead(Layer(0));  // an ellipse
    SetSource(Layer(1), FileSpec::FromPath(grey_));
    SetSource(View().Path(1), FileSpec::FromPath(dark_));
    state_.layerStates.At(1)->imageMissing = true;  // missing before: a load clears it
    EXPECT_EQ(filter_.LoadLayerImages(), 3);
    EXPECT_NE(state_.layerStates.At(0)->shapeTest.kind, ShapeKind::None);
    for (const int j : {1, 2}) {
        const LayerState& state = *state_.layerStates.At(j);
        EXPECT_FALSE(state.imageMissing) << j;
        EXPECT_EQ(state.imageBounds.right - state.imageBounds.left, 8) << j;
        EXPECT_EQ(state.imageBounds.bottom - state.imageBounds.top, 6) << j;
    }
    // Layers load grey coverage; path records are textures in the document's colours.
    EXPECT_EQ(state_.layerStates.At(1)->imagePlanes, 1);
    EXPECT_EQ(state_.layerStates.At(2)->imagePlanes, kDocumentColourPlanes);
    EXPECT_TRUE(FileSpec::Equals(state_.layerStates.At(2)->framePath, FileSpec::FromPath(dark_)));

    // What an entry holds is not read again, even when its file has gone since.
    ASSERT_TRUE(DeleteFileW(Utf8ToUtf16(grey_).c_str()));
    EXPECT_EQ(filter_.LoadLayerImages(), 3);
    EXPECT_FALSE(state_.layerStates.At(1)->imageMissing);

    // Without the preview dialog a frame that cannot be loaded stops the call.
    SetSource(Layer(1), FileSpec::FromPath(gone_));
    try {
        filter_.LoadLayerImages();
        ADD_FAILURE() << "a missing frame let the final render go on";
    } catch (const ErrorCodeException& e) {
        EXPECT_EQ(e.code, Err::GenericFailure);
    }
    EXPECT_TRUE(state_.layerStates.At(1)->imageMissing);
}

TEST_F(FrameFileTest, UnderThePreviewAFailedFrameIsMarkedMissingAndTheOthersStillLoad) {
    MakeStack(2, 0);
    SetSource(Layer(0), FileSpec::FromPath(gone_));
    SetSource(Layer(1), FileSpec::FromPath(grey_));
    const PreviewDialogScope dialog(filter_);
    const AlertLog alerts;  // the loader tells the user about the missing file
    EXPECT_EQ(filter_.LoadLayerImages(), 2);
    EXPECT_TRUE(state_.layerStates.At(0)->imageMissing);
    EXPECT_FALSE(state_.layerStates.At(1)->imageMissing);

    // A frame that failed is not tried again on every render, even once its file is back...
    ASSERT_TRUE(WriteGreyJpeg(gone_, 8, 6, 200));
    filter_.LoadLayerImages();
    EXPECT_TRUE(state_.layerStates.At(0)->imageMissing);
    const std::string told = alerts.Text();
    EXPECT_EQ(told.find("alert 16003"), told.rfind("alert 16003"));
    // ...only when the preview asks for missing frames again.
    Quorvel::RequestReloadOfMissingFrames();
    filter_.LoadLayerImages();
    EXPECT_FALSE(state_.layerStates.At(0)->imageMissing);
    EXPECT_EQ(state_.layerStates.At(0)->imagePlanes, 1);
}

}  // namespace
