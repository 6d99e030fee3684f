// The render slots of the filter class run in-process over a host record of the test's own: the
// render start's tile size (the cost of the passes) and the composition of a tile on the
// layer-output route, which needs a preview owner that the stand-in host cannot give.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "File.h"
#include "FirstRunTables.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "HostCall.h"
#include "PreviewOwner.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "RenderGeometry.h"
#include "RenderSession.h"
#include "SettingsDefaults.h"
#include "StubPreviewOwner.h"

namespace {

using QuietOwner = StubPreviewOwner;

class RenderSlots : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        BuildFirstRunTables();
        hostCall_ = HostCall{.record = &record_, .data = &dataWord_};
        call_.emplace(hostCall_);
        record_.filterCase = kFilterCaseEditableTransparencyNoSelection;
        filter_.InitializeGlobals();
    }
    void TearDown() override {
        filter_.SetOwner(nullptr);
        filter_.ReleaseLayerStates();
        if (dataWord_) DisposeHandle(reinterpret_cast<Handle>(dataWord_));
        dataWord_ = 0;
        Session().cacheFile.Close();
        Session().cache = {};
        Session().sourceOutOfMemory = false;
        state_.layerStates.Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        filter_.Stack().SetTargetLayerPos(0);
        SetBufferReserve(kDefaultBufferReserve);
        call_.reset();
    }

    // A document of `mode` (8-bit), width x height, with or without a transparency plane.
    void Document(int16_t mode, int32_t colourPlanes, int16_t width, int16_t height, bool transparency) {
        record_.imageMode = mode;
        record_.imageSize = Point16{height, width};
        record_.wholeSize = record_.imageSize;
        record_.filterRect = Rect16{0, 0, height, width};
        record_.depth = 8;
        call_.reset();
        hostCall_ = HostCall{.record = &record_, .data = &dataWord_, .bytesPerSample = 1};
        call_.emplace(hostCall_);
        const int16_t planes = static_cast<int16_t>(colourPlanes + (transparency ? 1 : 0));
        record_.planes = planes;
        if (transparency) {
            record_.inLayerPlanes = record_.outLayerPlanes = static_cast<int16_t>(colourPlanes);
            record_.inTransparencyMask = record_.outTransparencyMask = 1;
        }
    }

    // `layers` default ellipse layers (white background, every other effect off), the photo at
    // `photoPosition` and the block's layered-output mode.
    void Stack(int32_t layers, int32_t photoPosition, uint8_t layeredMode) {
        filter_.SetDefaultParameters(0);
        ASSERT_EQ(filter_.ResizeStackStorage(layers, false), 0);
        for (int32_t i = 0; i < layers; ++i) {
            filter_.Stack().InitLayerRecord(i, false);
            SettingsDefaultLayerHead(Layer(i));
            Layer(i).Set(LayerLayout::kEnabled, 1);
        }
        View().Block().Set(BlockLayout::kLayeredOutputMode, layeredMode);
        filter_.Stack().SetTargetLayerPos(photoPosition);
        ASSERT_EQ(filter_.Stack().TargetLayerPos(), photoPosition);
    }
    ParameterBlockView View() {
        return ParameterBlockView(reinterpret_cast<uint8_t*>(*record_.parameters), GetHandleSize(record_.parameters));
    }
    RecordRef Layer(int32_t i) { return View().Layer(i); }

    // A render start of an instance whose pass walks `walked` (the filter rectangle when none is
    // given).
    void Start(const Rect16* walked = nullptr) {
        filter_.SetPreviewRect(walked ? *walked : record_.filterRect);
        filter_.SetupRun();
        filter_.BeginPass();
    }

    // One tile over the whole filter rectangle: every pass drawn (last first, as the scheduler
    // steps), then composed. Pixels are interleaved; `input` has the document's planes.
    std::vector<uint8_t> RenderWholeTile(std::vector<uint8_t> input) {
        FilterRecord& r = record_;
        const int32_t planes = r.planes;
        const int32_t width = r.filterRect.right - r.filterRect.left;
        std::vector<uint8_t> output(input.size(), 0);
        r.inRect = r.outRect = r.filterRect;
        r.maskRect = Rect16{};
        r.maskData = nullptr;
        r.inData = input.data();
        r.outData = output.data();
        r.inRowBytes = r.outRowBytes = width * planes;
        for (int32_t k = filter_.PassCount(); k >= 1; --k) filter_.TileStep(k, r.outRect);
        filter_.ComposeTile(DeliveredTile(r, 1));
        r.inData = r.outData = nullptr;
        return output;
    }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    intptr_t dataWord_ = 0;
    StackState state_;
    Quorvel filter_{hostCall_, state_};
    QuietOwner owner_;
};

// PrepareEffectPass: the cost of a pass is the Gauss kernel's result + 1.0,
// 2.0 for a pass without blur; the tile follows from the largest cost.
TEST_F(RenderSlots, APassWithoutBlurCostsTwo) {
    constexpr int16_t kWidth = 8000, kHeight = 4000;
    Document(kModeGrayScale, 1, kWidth, kHeight, false);
    Stack(1, 1, 0);
    Start();
    ASSERT_EQ(filter_.PassCount(), 1);  // the background, blur 0
    EXPECT_NEAR(filter_.LargestPassCost(), 2.0, 1e-9);
    // Cost (1 x 2.0 + 1 x 0.2) / 9 in the final apply would allow 2097152 / cost / 8000 = 1072
    // rows; the final apply's tiles stop at about a megapixel: 1048576 / 8000 = 131 rows.
    const TileSize expected = ChooseTileSize(1, 2.0, 1, true, kWidth, kHeight);
    EXPECT_EQ(expected.rows, 131);
    EXPECT_EQ(filter_.TileWidth(), kWidth);
    EXPECT_EQ(filter_.TileHeight(), expected.rows);

    // A blur of 5 pixels: radius trunc(5 x 2.4 + 0.5) = 12, cost 0.1 x 12 + 1.0 + 1.0 = 3.2.
    EffectOf(Layer(0), EffectLayout::kBackground).Set(EffectLayout::kBlur, 5.0f);
    Start();
    EXPECT_NEAR(filter_.LargestPassCost(), 3.2, 1e-9);
    EXPECT_EQ(filter_.TileHeight(), ChooseTileSize(1, 3.2, 1, true, kWidth, kHeight).rows);
}

// The tiles are sized against the area the instance walks, not the selection: a preview of a
// small selection walks its whole pass rectangle, and tiles sized for the selection would cut it
// into thousands of tiles of a few pixels.
TEST_F(RenderSlots, TilesAreSizedAgainstTheAreaTheInstanceWalks) {
    constexpr int16_t kWidth = 3000, kHeight = 2000;
    Document(kModeGrayScale, 1, kWidth, kHeight, false);
    record_.filterRect = Rect16{100, 200, 110, 212};  // a selection of 12 x 10 pixels
    Stack(1, 1, 0);
    filter_.SetOwner(&owner_);
    struct Case {
        Rect16 walked;
    };
    for (const Case c : {Case{Rect16{0, 0, kHeight, kWidth}}, Case{Rect16{40, 60, 440, 860}}}) {
        SCOPED_TRACE(RectWidth(c.walked));
        Start(&c.walked);
        const TileSize expected = ChooseTileSize(1, filter_.LargestPassCost(), filter_.PassCount(), true,
                                                 RectWidth(c.walked), RectHeight(c.walked));
        EXPECT_EQ(filter_.TileWidth(), RectWidth(c.walked));
        EXPECT_EQ(filter_.TileHeight(), expected.rows);
        EXPECT_GT(int64_t{filter_.TileWidth()} * filter_.TileHeight(), 1000 * RectArea(record_.filterRect));
    }
}

// On the layer-output route (layered-output mode 5 with a
// preview owner) the passes of layers above the photo take black, converted to the document's
// colour space, as their colour. The route writes the grey level of the frame over the photo's
// transparency; where the photo is clear the preview's photo merge keeps it.
TEST_F(RenderSlots, TheLayerOutputRouteDrawsLayersAboveThePhotoInBlack) {
    struct Mode {
        int16_t mode;
        int32_t colourPlanes;
    };
    for (const Mode m : {Mode{kModeRGBColor, 3}, Mode{kModeGrayScale, 1}}) {
        SCOPED_TRACE(m.mode);
        const int16_t width = 40, height = 30;
        Document(m.mode, m.colourPlanes, width, height, true);
        const int32_t planes = m.colourPlanes + 1;
        // A photo whose transparency is clear: its colour samples 90, its alpha 0.
        std::vector<uint8_t> input(static_cast<size_t>(width) * height * planes, 90);
        for (size_t i = static_cast<size_t>(m.colourPlanes); i < input.size(); i += planes) input[i] = 0;

        for (const uint8_t layeredMode : {uint8_t{5}, uint8_t{4}}) {
            SCOPED_TRACE(int{layeredMode});
            Stack(1, 1, layeredMode);  // the layer above the photo
            filter_.SetOwner(&owner_);
            Start();
            ASSERT_EQ(filter_.PassCount(), 1);
            const std::vector<uint8_t> out = RenderWholeTile(input);
            // The corner lies outside the ellipse, under the background alone (coverage 255).
            for (int32_t c = 0; c < m.colourPlanes; ++c) EXPECT_EQ(out[c], 90) << c;
            // Layer output: black, grey 0. The mask output is no layer-output route: the
            // background's own white, grey 255.
            EXPECT_EQ(out[m.colourPlanes], layeredMode == 5 ? 0 : 255);
            filter_.SetOwner(nullptr);
        }
    }
}

}  // namespace
