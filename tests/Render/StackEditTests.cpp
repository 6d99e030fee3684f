// The stack edits a render needs: inserting and removing layers and texture path records with
// their LayerState entries, and loading every record's image.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "File.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "HostCall.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "SettingsDefaults.h"

namespace {

class StackEditTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        record_.filterRect = Rect16{0, 0, 100, 150};
        call_.emplace(HostCall{.record = &record_});
        QuorvelBase::SetTargetLayerPos(0);
    }
    void TearDown() override {
        LayerStates().Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        call_.reset();
    }

    // `layers` layers with record ids 11, 12, ... and `paths` path records with ids 91, 92, ...;
    // each LayerState entry marked with 100 + its index.
    void MakeStack(int layers, int paths) {
        filter_.SetDefaultParameters(0);
        ASSERT_EQ(filter_.ResizeStackStorage(layers, false), 0);
        ASSERT_EQ(filter_.ResizeStackStorage(paths, true), 0);
        for (int i = 0; i < layers; ++i) {
            QuorvelBase::InitLayerRecord(i, false);
            Layer(i).Set(LayerLayout::kRecordId, 11u + i);
        }
        for (int p = 1; p <= paths; ++p) View().Path(p).Set(LayerLayout::kRecordId, 90u + p);
        for (int i = 0; i < LayerStates().Count(); ++i) LayerStates().At(i)->imagePlanes = 100 + i;
    }
    ParameterBlockView View() {
        return ParameterBlockView(reinterpret_cast<uint8_t*>(*record_.parameters), GetHandleSize(record_.parameters));
    }
    RecordRef Layer(int i) { return View().Layer(i); }
    uint32_t LayerId(int i) { return Layer(i).Get(LayerLayout::kRecordId); }
    uint32_t PathId(int p) { return View().Path(p).Get(LayerLayout::kRecordId); }
    int Mark(int i) { return LayerStates().At(i)->imagePlanes; }

    FilterRecord record_{};
    std::optional<HostCallScope> call_;
    Quorvel filter_;
    const FileSpec frame_ = FileSpec::FromPath("C:\\Frames\\oak.jpg");
};

TEST_F(StackEditTest, InsertingIntoAnEmptyStackReusesThePlaceholder) {
    MakeStack(0, 0);
    ASSERT_TRUE(filter_.InsertFrame(0, frame_, 7, false, true));
    EXPECT_EQ(View().LayerCount(), 1);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSize), 2392);
    EXPECT_EQ(LayerId(0), 7u);
    EXPECT_EQ(FileSpec::FromPath("C:\\Frames\\oak.jpg").Text(), std::string_view(reinterpret_cast<const char*>(Layer(0).At(8))));
    EXPECT_EQ(Layer(0).Get(LayerLayout::kEnabled), 1);
    EXPECT_EQ(LayerStates().Count(), 1);
}

TEST_F(StackEditTest, InsertedLayersAndPathRecordsMoveWhatFollowsThem) {
    MakeStack(2, 1);
    ASSERT_TRUE(filter_.InsertFrame(1, frame_, 5, false, true));
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
    ASSERT_TRUE(filter_.InsertFrame(3, frame_, 8, true, true));
    EXPECT_EQ(View().PathCount(), 2);
    EXPECT_EQ(PathId(1), 8u);
    EXPECT_EQ(PathId(2), 91u);
    EXPECT_EQ(Mark(4), 102);
}

TEST_F(StackEditTest, RemovingRecordsKeepsTheSelectionInTheStack) {
    MakeStack(3, 1);
    View().Block().Set(BlockLayout::kSelectedLayer, 2);
    ASSERT_TRUE(filter_.RemoveLayer(1));
    EXPECT_EQ(View().LayerCount(), 2);
    EXPECT_EQ(LayerId(0), 11u);
    EXPECT_EQ(LayerId(1), 13u);
    EXPECT_EQ(PathId(1), 91u);
    EXPECT_EQ(Mark(1), 102);
    EXPECT_EQ(Mark(2), 103);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSelectedLayer), 1);

    ASSERT_TRUE(filter_.RemoveLayer(2));  // the path record
    EXPECT_EQ(View().PathCount(), 0);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSelectedPath), -1);

    ASSERT_TRUE(filter_.RemoveLayer(1));
    ASSERT_TRUE(filter_.RemoveLayer(0));  // the last layer stays as the placeholder
    EXPECT_EQ(View().LayerCount(), 0);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSize), 2392);
    EXPECT_EQ(View().Block().Get(BlockLayout::kSelectedLayer), -1);
    EXPECT_EQ(LayerStates().Count(), 1);
    EXPECT_EQ(Mark(0), 0);
    EXPECT_FALSE(filter_.RemoveLayer(5));
}

TEST_F(StackEditTest, LoadingImagesBuildsShapesAndMarksUnloadedFramesMissing) {
    MakeStack(2, 1);
    SettingsDefaultLayerHead(Layer(0));  // an ellipse
    std::memcpy(Layer(1).At(LayerLayout::kSource), frame_.bytes, LayerLayout::kSourceLength);
    for (int i = 0; i < LayerStates().Count(); ++i) LayerStates().At(i)->imagePlanes = 0;
    EXPECT_EQ(filter_.LoadLayerImages(), 3);
    EXPECT_FALSE(LayerStates().At(0)->imageMissing);
    EXPECT_NE(LayerStates().At(0)->shapeTest.kind, ShapeKind::None);
    EXPECT_TRUE(LayerStates().At(1)->imageMissing);
    EXPECT_TRUE(LayerStates().At(2)->imageMissing);
}

}  // namespace
