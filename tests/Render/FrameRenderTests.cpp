// The render on its own, with no filter object and no framework instance: a render start over a
// block of the test's own and a session of its own, its host a recorder of what the render asks of
// the filter that runs it.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "BlockInMemory.h"
#include "FirstRunTables.h"
#include "FrameRender.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "RenderSession.h"
#include "SettingsDefaults.h"

namespace {

// What the render asked of its filter. The images are the block's shape layers, which need no
// load; the tables follow the stack as the filter's storage would make them; a walk asks the host
// for every plane of its document, as the framework's does.
class RecordingHost final : public FrameRenderHost {
public:
    RecordingHost(BlockInMemory& block, FilterRecord& record) : block_(block), record_(record) {}

    ErrorCode FitStorageToStack() override { return FitTables(); }
    void LoadStackImages() override {
        ++loads;
        ASSERT_EQ(FitTables(), 0);
    }
    void StartTileWalk(std::optional<TileSize> tile, int32_t steps) override {
        record_.inLoPlane = record_.outLoPlane = 0;
        record_.inHiPlane = record_.outHiPlane = static_cast<int16_t>(record_.planes - 1);
        walks.push_back(Walk{tile, steps});
    }
    void KeepPixels(const Rect16& area) override { kept.push_back(area); }
    void Forget() {
        loads = 0;
        walks.clear();
        kept.clear();
    }

    struct Walk {
        std::optional<TileSize> tile;
        int32_t steps = 0;
    };
    FrameRender* render = nullptr;
    int loads = 0;
    std::vector<Walk> walks;
    std::vector<Rect16> kept;

private:
    ErrorCode FitTables() {
        if (!block_.parameters) return Err::BadParameters;
        if (const ErrorCode error = block_.ResizeStackStorage(0, false)) return error;
        return render->ResizeTables(std::max(block_.View().LayerCount(), 1));
    }
    BlockInMemory& block_;
    FilterRecord& record_;
};

class FrameRenderStart : public testing::Test {
protected:
    static constexpr int16_t kWidth = 300, kHeight = 200;

    void SetUp() override {
        ResetHostMemoryForTesting();
        BuildFirstRunTables();
        record_.imageMode = kModeRGBColor;
        record_.imageSize = record_.wholeSize = Point16{kHeight, kWidth};
        record_.filterRect = Rect16{0, 0, kHeight, kWidth};
        record_.depth = 8;
        record_.planes = 3;
        record_.autoMask = 1;
        instance_.wholeRect = record_.filterRect;
        instance_.inputPlanes = instance_.outputPlanes = 3;
        host_.render = &render_;
    }
    void TearDown() override { SetBufferReserve(kDefaultBufferReserve); }

    // One default ellipse layer over the photo, drawn or not.
    void OneLayer(bool enabled) {
        block_.Make(1, 0, 1);
        const ParameterBlockView block = block_.View();
        block.Block().Set(BlockLayout::kOutputOption, BlockLayout::kOutputOff);
        SettingsDefaultLayerHead(block.Layer(0));
        block.Layer(0).Set(LayerLayout::kEnabled, static_cast<uint8_t>(enabled ? 1 : 0));
    }

    FilterRecord record_{};
    HostCall call_{.record = &record_, .bytesPerSample = 1};
    HostCallScope scope_{call_};
    RenderSession session_;
    BlockInMemory block_;
    RecordingHost host_{block_, record_};
    FrameRender render_{call_, session_, block_.state.layerStates, host_};
    RenderInstance instance_;
};

// The render start asks its filter for the stack's images once, then for one walk: a step for each
// pass, tiles of the render's choice, the host's automatic mask off. A final pass that can change
// no pixel asks the host to keep them all; a preview still walks them.
TEST_F(FrameRenderStart, AsksItsFilterForTheImagesAndOneWalkOfTheTiles) {
    struct Case {
        const char* name;
        bool enabled, preview;
        int32_t steps;
        bool pixelsKept;
    };
    for (const Case c : {Case{"a drawn layer", true, false, 1, false}, Case{"nothing drawn", false, false, 0, true},
                         Case{"nothing drawn, a preview", false, true, 0, false}}) {
        SCOPED_TRACE(c.name);
        OneLayer(c.enabled);
        host_.Forget();
        instance_.preview = c.preview;
        record_.autoMask = 1;
        render_.BeginPass(instance_, block_.stack);
        EXPECT_EQ(host_.loads, 1);
        ASSERT_EQ(host_.walks.size(), 1u);
        EXPECT_EQ(host_.walks[0].steps, c.steps);
        EXPECT_EQ(render_.PassCount(), c.steps);
        EXPECT_TRUE(host_.walks[0].tile.has_value());
        EXPECT_EQ(record_.autoMask, 0);
        ASSERT_EQ(host_.kept.size(), c.pixelsKept ? 1u : 0u);
        if (c.pixelsKept) {
            EXPECT_TRUE(EqualRects(host_.kept[0], instance_.wholeRect));
        }
    }
}

// A call that writes the frames an earlier call cached loads no image and plans no pass: it walks
// the cached area in whole rows, about a megabyte of cache a tile.
TEST_F(FrameRenderStart, ACacheReplayWalksWholeRowsOfTheCache) {
    session_.cacheReplay = true;
    session_.cache.planes = 4;
    session_.cache.rect = Rect16{0, 0, kHeight, 1000};
    render_.BeginPass(instance_, block_.stack);
    EXPECT_EQ(host_.loads, 0);
    ASSERT_EQ(host_.walks.size(), 1u);
    ASSERT_TRUE(host_.walks[0].tile.has_value());
    EXPECT_EQ(host_.walks[0].tile->columns, 1000);
    EXPECT_EQ(host_.walks[0].tile->rows, 0x100000 / (1000 * 4));
    EXPECT_EQ(host_.walks[0].steps, 0);
    EXPECT_EQ(record_.autoMask, 0);
    EXPECT_TRUE(host_.kept.empty());
}

}  // namespace
