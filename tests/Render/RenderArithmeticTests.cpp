// The renderer's arithmetic checked by hand: transforms, tile sizes, effect sizes, the pass order,
// the photo resampler and the bytes of pass coverage.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <numeric>
#include <vector>

#include "AutoRotation.h"
#include "BigEndian.h"
#include "ErrorCodes.h"
#include "PassCoverage.h"
#include "PassPlan.h"
#include "PhotoResampler.h"
#include "HostCall.h"
#include "Kernels.h"
#include "RenderArithmetic.h"
#include "RenderGeometry.h"
#include "SettingsDefaults.h"
#include "SourceCache.h"
#include "TileComposer.h"

namespace {

using namespace RenderMath;

TEST(RenderArithmetic, SampleDepthsAndRounding) {
    EXPECT_EQ(Widen8(255), 32768u);  // 8388735 >> 8
    EXPECT_EQ(Widen8(0), 0u);
    EXPECT_EQ(Narrow16(32768), 255u);
    EXPECT_EQ(Narrow16(128), 0u);
    EXPECT_EQ(FromHost16(65535), 32768u);
    EXPECT_EQ(FromHost16(0), 0u);
    EXPECT_EQ(DivideUp(1, 2), 1);
    EXPECT_EQ(DivideUp(-1, 2), 0);
    EXPECT_EQ(DivideUp(0, 3), 0);
    EXPECT_EQ(RoundHalfAway(-2.5), -3);
    EXPECT_EQ(RoundHalfAway(2.5), 3);
}

TEST(RenderArithmetic, CubicBSplineWeightsSumToOne) {
    for (double t : {0.0, 0.25, 0.5, 0.999}) {
        const double sum = CubicBSpline(-1 - t) + CubicBSpline(-t) + CubicBSpline(1 - t) + CubicBSpline(2 - t);
        EXPECT_NEAR(sum, 1.0, 1e-12) << t;
    }
    EXPECT_NEAR(CubicBSpline(0), 4.0 / 6, 1e-12);
    EXPECT_NEAR(CubicBSpline(1), 1.0 / 6, 1e-12);
    EXPECT_EQ(CubicBSpline(2), 0.0);
}

TEST(RenderArithmetic, CoverageSteps) {
    // (c m (opacity 258) + 0x807F00) >> 24: full coverage, mask and opacity stay full.
    EXPECT_EQ(MaskedCoverage(255, 255, 255), 255u);
    EXPECT_EQ(MaskedCoverage(255, 128, 255), 128u);   // 255 x 128 x 65790 + 8421120 = 2,155,871,... >> 24
    EXPECT_EQ(MaskedCoverage(200, 255, 128), 100u);   // (200 x 255 x 33024 + 8421120) >> 24 = 100.86
    EXPECT_EQ(MaskedCoverage(0, 255, 255), 0u);
    // A bevel 2 pixels wide: inside 510 full, beyond 765 nothing, a ramp between.
    EXPECT_EQ(BevelCoverage(510, 2), 255);
    EXPECT_EQ(BevelCoverage(600, 2), 165);
    EXPECT_EQ(BevelCoverage(765, 2), 0);
    EXPECT_EQ(KnockOut(65025, 255), 0u);
    EXPECT_EQ(KnockOut(65025, 0), 64770u);  // (255 x 65025) >> 8
    uint8_t coverage[3] = {255, 200, 255}, mask[3] = {255, 255, 128}, bevel[3] = {0, 0, 200};
    ApplyPassMask(coverage, mask, bevel, 128, 3);
    EXPECT_EQ(coverage[0], 128);
    EXPECT_EQ(coverage[1], 100);
    EXPECT_EQ(coverage[2], 0);  // the bevel takes more than the mask holds: clamped at 0
}

// The pass loop's accumulation: ws = s m, wd = (65025 - m) a, W = ws + wd; the colours mix when
// W > 0 and the alpha is ((W + 32385) x 258) >> 24 after every pass, whatever s is.
TEST(RenderArithmetic, AccumulateRecomputesTheAlphaAfterEveryPass) {
    const uint32_t colour[3] = {10, 20, 30};
    auto accumulate = [&](uint32_t a, uint32_t s, uint32_t m, uint32_t& alpha) {
        std::vector<uint32_t> set = {200, 100, 50};
        alpha = a;
        Accumulate(set.data(), alpha, colour, 3, s, m);
        return set;
    };
    uint32_t a = 0;
    // Coverage 0 leaves the set as it is.
    EXPECT_EQ(accumulate(255, 0, 0, a), (std::vector<uint32_t>{200, 100, 50}));
    EXPECT_EQ(a, 255u);
    EXPECT_EQ(accumulate(255, 255, 0, a), (std::vector<uint32_t>{200, 100, 50}));
    EXPECT_EQ(a, 255u);
    // A covering pass of alpha 0: W = 0, the alpha becomes 0 and the colours stay.
    EXPECT_EQ(accumulate(255, 0, 65025, a), (std::vector<uint32_t>{200, 100, 50}));
    EXPECT_EQ(a, 0u);
    // Alpha 1: W = 65025, the pass's colour with alpha 1; and so on up: no jump at 0.
    EXPECT_EQ(accumulate(255, 1, 65025, a), (std::vector<uint32_t>{10, 20, 30}));
    EXPECT_EQ(a, 1u);
    for (uint32_t s = 0; s <= 255; ++s) {
        accumulate(255, s, 65025, a);
        EXPECT_EQ(a, s);
    }
    // Half coverage of alpha 0 over an opaque set: W = 32385 x 255 = 8258175, alpha
    // ((8258175 + 32385) x 258) >> 24 = 127; the colours stay ((v wd + wd/2) / wd).
    EXPECT_EQ(accumulate(255, 0, 32640, a), (std::vector<uint32_t>{200, 100, 50}));
    EXPECT_EQ(a, 127u);
    // Alpha 0 over alpha 100 at coverage 200 of weight 255: W = (65025 - 51000) x 100, alpha 22.
    accumulate(100, 0, 51000, a);
    EXPECT_EQ(a, AlphaOfWeight((65025 - 51000) * 100));
    EXPECT_EQ(a, 22u);
    // A mix: s = 128, m = 32640 over alpha 200: ws = 4177920, wd = 6477000, W = 10654920.
    const std::vector<uint32_t> mixed = accumulate(200, 128, 32640, a);
    EXPECT_EQ(mixed[0], (10u * 4177920 + 200u * 6477000 + 10654920 / 2) / 10654920);
    EXPECT_EQ(a, AlphaOfWeight(10654920));
}

TEST(RenderGeometry, ScaledFilterRectRoundsUpPositiveCoordinates) {
    const Rect16 r = ScaledFilterRect(Rect16{-5, 0, 7, 10}, 2);
    EXPECT_EQ(r.top, -2);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.bottom, 4);
    EXPECT_EQ(r.right, 5);
}

// A default layer head for transform tests.
struct LayerBytes {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(LayerLayout::kLength, 0);
    LayerBytes() { SettingsDefaultLayerHead(Ref()); }
    RecordRef Ref() { return RecordRef(bytes.data()); }
};

TEST(RenderGeometry, TheDefaultPlacementIsTheIdentity) {
    LayerBytes layer;
    const Rect16 target{0, 0, 480, 640};
    const FixedTransform t = ToFixedTransform(ComputeLayerTransform(layer.Ref(), 1.0, nullptr, target, target));
    EXPECT_EQ(t, (FixedTransform{0x10000, 0, 0, 0, 0x10000, 0, 0x10000, 0x10000}));
}

TEST(RenderGeometry, FlipsOffsetsAndScales) {
    LayerBytes layer;
    const Rect16 target{0, 0, 100, 200};
    layer.Ref().Set(LayerLayout::kFlipHorizontal, 1);
    AffineTransform t = ComputeLayerTransform(layer.Ref(), 1.0, nullptr, target, target);
    EXPECT_TRUE(t.mirror);
    EXPECT_NEAR(t.a, -1.0, 1e-9);
    EXPECT_NEAR(t.c, 200.0, 1e-9);  // column 0 samples the source's right edge
    layer.Ref().Set(LayerLayout::kFlipVertical, 1);
    t = ComputeLayerTransform(layer.Ref(), 1.0, nullptr, target, target);
    EXPECT_FALSE(t.mirror);         // both flips cancel
    EXPECT_NEAR(t.a, 1.0, 1e-9);
    layer.Ref().Set(LayerLayout::kFlipHorizontal, 0);
    layer.Ref().Set(LayerLayout::kFlipVertical, 0);
    layer.Ref().Set(LayerLayout::kOffsetX, 1.0f);
    t = ComputeLayerTransform(layer.Ref(), 1.0, nullptr, target, target);
    EXPECT_NEAR(t.c, -100.0, 1e-9);  // moved right by half the width
    layer.Ref().Set(LayerLayout::kOffsetX, 0.0f);
    t = ComputeLayerTransform(layer.Ref(), 2.0, nullptr, target, target);
    EXPECT_NEAR(t.a, 0.5, 1e-9);     // twice the size: half a source pixel per target pixel
    EXPECT_NEAR(t.c, 50.0, 1e-9);    // about the centre
}

TEST(RenderGeometry, PhotoPlacementClampsReductionsAndNotesChanges) {
    PhotoPlacement photo;
    FixedTransform identity{0x10000, 0, 0, 0, 0x10000, 0, 0x10000, 0x10000};
    photo.Update(identity);
    EXPECT_TRUE(photo.changed);
    EXPECT_FALSE(photo.scaleClamped);  // exactly 1.0 stays with the nearest pixel
    photo.changed = false;
    photo.Update(identity);
    EXPECT_FALSE(photo.changed);
    FixedTransform reduced{0x20000, 0, 0, 0, 0x20000, 0, 0x20000, 0x20000};
    photo.Update(reduced);
    EXPECT_TRUE(photo.changed);
    EXPECT_TRUE(photo.scaleClamped);
    EXPECT_EQ(photo.transform.rowLengthX, 0x10000);
    EXPECT_EQ(photo.transform.a, 0x20000);
    photo.changed = false;
    photo.Update(reduced);  // the same placement again: nothing to resample
    EXPECT_FALSE(photo.changed);
}

// Under the open dialog a tile holds what its passes compose in about 15 ms: fewer pixels for more
// passes, whole rows while they fit, never more than the tile asked for.
TEST(RenderGeometry, TilesUnderTheDialogStayShort) {
    TileSize t = CapTileForInteraction({6000, 349}, 2);  // 15e6 / 25 = 600000 pixels: 100 rows
    EXPECT_EQ(t.columns, 6000);
    EXPECT_EQ(t.rows, 100);
    t = CapTileForInteraction({6000, 349}, 64);  // 15e6 / 335 = 44776 pixels: 7 rows
    EXPECT_EQ(t.rows, 7);
    EXPECT_LT(CapTileForInteraction({1000, 500}, 64).rows * 1000, CapTileForInteraction({1000, 500}, 8).rows * 1000);
    t = CapTileForInteraction({300, 20}, 0);  // small tiles stay as they are
    EXPECT_EQ(t.columns, 300);
    EXPECT_EQ(t.rows, 20);
    t = CapTileForInteraction({30000, 10}, 200);  // 15e6 / 1015 = 14778 pixels: a row in 3 parts
    EXPECT_EQ(t.rows, 1);
    EXPECT_EQ(t.columns, 10000);
}

TEST(RenderGeometry, TileSizes) {
    // No passes in the final apply: cost 1 / 9; rows are capped at the image's height.
    TileSize t = ChooseTileSize(1, 1.0, 0, true, 640, 480);
    EXPECT_EQ(t.columns, 640);
    EXPECT_EQ(t.rows, 480);
    // 2097152 / 1.0 / 6000 = 349.5 rows in the preview.
    t = ChooseTileSize(1, 1.0, 0, false, 6000, 4000);
    EXPECT_EQ(t.columns, 6000);
    EXPECT_EQ(t.rows, 349);
    // A one-column image would need 18 million rows: the count stays within the image.
    t = ChooseTileSize(1, 1.0, 0, true, 1, 30000);
    EXPECT_EQ(t.rows, 30000);
    // Fewer than one row fits: one row, the width split in 1 + trunc(1 / rows) parts.
    t = ChooseTileSize(2, 1000.0, 0, false, 3000, 100);  // rows = 2097152 / 2000 / 3000 = 0.35
    EXPECT_EQ(t.rows, 1);
    EXPECT_EQ(t.columns, 1000);                           // 3000 / (1 + 2)
    t = ChooseTileSize(1, 1.0, 0, true, 0, 0);            // a width of 0 counts as 1
    EXPECT_EQ(t.columns, 1);
    EXPECT_EQ(t.rows, 1);
    // The final apply's tiles stop at about a megapixel: cost 1 / 9 would allow 3145 rows of 6000.
    t = ChooseTileSize(1, 1.0, 0, true, 6000, 4000);
    EXPECT_EQ(t.columns, 6000);
    EXPECT_EQ(t.rows, 174);                               // 1048576 / 6000
    t = ChooseTileSize(2, 1.0, 3, true, 30000, 4000);
    EXPECT_EQ(t.rows, 34);
    // Costly passes keep the smaller tile of their cost: (2 x 100 + 10 x 0.2) / 9 allows 15 rows.
    t = ChooseTileSize(2, 100.0, 10, true, 6000, 4000);
    EXPECT_EQ(t.rows, 15);
}

TEST(RenderGeometry, EffectSizesAtTheRenderScale) {
    EXPECT_EQ(BlurRadius(5.0f, 1.0), 12);   // trunc(5 x 2.4 + 0.5)
    EXPECT_EQ(BlurRadius(5.0f, 2.0), 6);
    EXPECT_EQ(BlurRadius(-3.0f, 1.0), 0);
    EXPECT_EQ(BlurRadius(NAN, 1.0), 0);
    EXPECT_EQ(GlowSpread(0.05f, 1.0), 5);   // (0 + 5) / 1
    EXPECT_EQ(GlowSpread(0.05f, 2.0), 3);   // (1 + 5) / 2
    EXPECT_EQ(ShadowOffset(1, 2), 1);
    EXPECT_EQ(ShadowOffset(-1, 2), 0);
    EXPECT_EQ(OpacityByte(100), 255);
    EXPECT_EQ(OpacityByte(50), 128);        // (12750 + 50) / 100
    EXPECT_EQ(OpacityByte(60), 153);
}

TEST(RenderGeometry, BigEndianFloatAddWorksInPlace) {
    uint8_t bytes[4];
    BigEndian::WriteFloat(bytes, 1.5f);
    EXPECT_EQ(BigEndianFloatAdd(bytes, 0.25f), bytes);
    EXPECT_EQ(BigEndian::ReadFloat(bytes), 1.75f);
}

// ---- Pass order

LayerPassPlan Plan(int8_t background, int8_t border, int8_t glow, int8_t shadow, bool inverted, bool threePart = false,
                   int32_t first = 0) {
    LayerPassInputs in;
    in.on[0] = background;
    in.on[1] = border;
    in.on[2] = glow;
    in.on[3] = shadow;
    in.inverted = inverted;
    in.threePart = threePart;
    in.placements = border ? 2 : 1;
    return PlanLayerPasses(in, first);
}

struct Expected {
    int32_t effect, kind, maskPass, placement;
};
void ExpectPlan(const LayerPassPlan& plan, std::vector<Expected> expected) {
    ASSERT_EQ(plan.count, static_cast<int32_t>(expected.size()));
    for (int32_t i = 0; i < plan.count; ++i) {
        EXPECT_EQ(plan.passes[i].effect, expected[i].effect) << i;
        EXPECT_EQ(plan.passes[i].kind, expected[i].kind) << i;
        EXPECT_EQ(plan.passes[i].maskPass, expected[i].maskPass) << i;
        EXPECT_EQ(plan.passes[i].placement, expected[i].placement) << i;
    }
}

TEST(PassPlan, OrderOfEffects) {
    // Every effect off: the background pass alone.
    ExpectPlan(Plan(0, 0, 0, 0, false), {{0, 0, -1, 0}});
    // Shadow on: after the background, masked by it (indexes count over the whole stack).
    ExpectPlan(Plan(1, 0, 0, 1, false, false, 4), {{0, 0, -1, 0}, {3, 3, 4, 0}});
    // Inverted: shadow and glow move before the background with negative kinds.
    ExpectPlan(Plan(1, 0, 1, 1, true), {{3, -3, -1, 0}, {2, -2, -1, 0}, {0, 0, -1, 0}});
    // Border, glow and shadow: the border from the second placement, kind -1 either way.
    ExpectPlan(Plan(1, 1, 1, 1, false), {{1, -1, -1, 1}, {0, 0, -1, 0}, {3, 3, 1, 0}, {2, 2, 1, 0}});
    ExpectPlan(Plan(1, 1, 0, 0, true), {{1, -1, -1, 1}, {0, 0, -1, 0}});
    // A negative on byte puts the effect on the other side.
    ExpectPlan(Plan(1, 0, 0, -1, false), {{3, -3, -1, 0}, {0, 0, -1, 0}});
    // Three-part frames: outer effects positive, inner negative, background last.
    ExpectPlan(Plan(1, -1, 1, 1, false, true), {{3, 3, -1, 1}, {2, 2, -1, 1}, {1, -1, -1, 1}, {0, 0, -1, 0}});
}

TEST(PassPlan, PlacementCountFollowsTheBorder) {
    LayerBytes layer;
    SettingsInitLayerRecord(layer.Ref(), false);
    EXPECT_EQ(PlacementCount(layer.Ref()), 1);  // border off
    EffectOf(layer.Ref(), 1).Set(EffectLayout::kOn, 1);
    EXPECT_EQ(PlacementCount(layer.Ref()), 2);  // 0.05
    EffectOf(layer.Ref(), 1).Set(EffectLayout::kSize, 0.00004f);
    EXPECT_EQ(PlacementCount(layer.Ref()), 1);  // 0.4 rounds to 0
}

// ---- Photo resampling

TEST(PhotoResampler, NearestAndOutsideAndLayerMask) {
    // 3 x 2 pixels of two planes: colour, layer mask.
    std::vector<uint8_t> src = {10, 1, 20, 2, 30, 3, 40, 4, 50, 5, 60, 6};
    std::vector<uint8_t> out(src.size(), 99);
    const PlaneView in{reinterpret_cast<char*>(src.data()), 6, 2, 2};
    const PlaneView dst{reinterpret_cast<char*>(out.data()), 6, 2, 2};
    const PixelExtent extent{3, 2};
    ResampleOptions o;
    o.transform = FixedTransform{0x10000, 0, 0x10000, 0, 0x10000, 0, 0x10000, 0x10000};  // one column right
    o.keepLayerMask = true;
    ResamplePhoto(in, dst, extent, 1, o);
    EXPECT_EQ(out, (std::vector<uint8_t>{20, 1, 30, 2, 0, 255, 50, 4, 60, 5, 0, 255}));
    // A selection keeps unselected pixels as they were.
    const uint8_t mask[] = {0, 255, 255, 255, 255, 0};
    o.mask = mask;
    o.maskRowBytes = 3;
    ResamplePhoto(in, dst, extent, 1, o);
    EXPECT_EQ(out, (std::vector<uint8_t>{10, 1, 30, 2, 0, 255, 50, 4, 60, 5, 60, 6}));
}

TEST(PhotoResampler, SplineKeepsAFlatImageAndSmoothsAStep16) {
    std::vector<uint16_t> src(8 * 4, 32768);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) src[y * 8 + x] = 0;  // left half black
    std::vector<uint16_t> out(src.size(), 1);
    ResampleOptions o;
    o.transform = FixedTransform{0x10000, 0, 0, 0, 0x10000, 0, 0x10000, 0x10000};
    o.spline = true;
    const PlaneView in{reinterpret_cast<char*>(src.data()), 16, 2, 1};
    const PlaneView resampled{reinterpret_cast<char*>(out.data()), 16, 2, 1};
    ResamplePhoto(in, resampled, PixelExtent{8, 4}, 2, o);
    // At whole positions the B-spline weighs 1/6, 4/6, 1/6: one sixth of the step leaks across it.
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[3], 5461);   // 32768 / 6 + 0.5
    EXPECT_EQ(out[4], 27307);  // 32768 x 5 / 6 + 0.5
    EXPECT_EQ(out[7], 32768);  // the right edge repeats its own column
}

// ---- Coverage planes, auto rotation, the source cache

TEST(PassCoverage, MarginsCopiesAndFills) {
    MarginInputs shadow;
    shadow.kind = 3;
    shadow.blurRadius = 12;
    shadow.offsetRows = 10;
    shadow.offsetColumns = -4;
    const PassMargins m = ComputePassMargins(shadow);
    EXPECT_EQ(m.top, -22);
    EXPECT_EQ(m.left, -8);
    EXPECT_EQ(m.bottom, 2);
    EXPECT_EQ(m.right, 16);
    MarginInputs bevelled;
    bevelled.blurRadius = 2;
    bevelled.bevelWidth = 3;
    bevelled.softnessRadius = 5;
    EXPECT_EQ(ComputePassMargins(bevelled).bottom, 2 + 7);  // e = 5 - 2 + 3 + 1

    const uint8_t plane[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // 3 x 3 over (10, 10, 13, 13)
    uint8_t part[4];
    CopyPlanePart(plane, Rect16{10, 10, 13, 13}, part, Rect16{11, 11, 13, 13}, 255);
    EXPECT_EQ(std::vector<uint8_t>(part, part + 4), (std::vector<uint8_t>{250, 249, 247, 246}));
    uint8_t crop[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    CropPlaneInPlace(crop, Rect16{0, 0, 3, 3}, Rect16{0, 1, 2, 3});
    EXPECT_EQ(std::vector<uint8_t>(crop, crop + 4), (std::vector<uint8_t>{2, 3, 5, 6}));
    uint8_t fill[9] = {};
    FillOutside(fill, Rect16{-1, -1, 2, 2}, Rect16{0, 0, 5, 5});
    EXPECT_EQ(std::vector<uint8_t>(fill, fill + 9), (std::vector<uint8_t>{255, 255, 255, 255, 0, 0, 255, 0, 0}));
}

// Filtering only the blocks whose window changes gives what one run over the whole rect gives, at
// a reach under the smallest block and at one whose blocks grow with it.
TEST(PassCoverage, BlockFilteringMatchesTheWholeFilter) {
    ResetHostMemoryForTesting();
    FilterRecord record{};
    const HostCallScope call(HostCall{.record = &record});
    for (const int32_t r : {5, 40}) {
        SCOPED_TRACE(r);
        const int32_t w = 8 * r + 110, h = 5 * r + 65;
        const Rect16 rect{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
        std::vector<uint8_t> plane(static_cast<size_t>((w + 2 * r) * (h + 2 * r)));
        for (int32_t y = 0; y < h + 2 * r; ++y)
            for (int32_t x = 0; x < w + 2 * r; ++x)
                plane[y * (w + 2 * r) + x] =
                    (x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < (h * h) / 9 ? 255 : (x > w - 10 ? 77 : 0);
        BufferRecord gauss, disc;
        ImageMakeGaussKernel(gauss, r);
        ImageMakeDiscKernel(disc, r);
        struct Spread {
            BufferRecord* disc;
            int32_t r;
        } spread{&disc, r};
        const BlockFilter filters[] = {
            [](void* k, const Rect16& rr, uint8_t* p) { ImageBlurPlane(static_cast<BufferRecord*>(k), rr, p); },
            [](void* s, const Rect16& rr, uint8_t* p) {
                ImageSpreadPlane(static_cast<Spread*>(s)->disc, static_cast<Spread*>(s)->r, rr, p);
            },
        };
        void* contexts[] = {&gauss, &spread};
        for (int i = 0; i < 2; ++i) {
            std::vector<uint8_t> whole = plane, blocks = plane;
            filters[i](contexts[i], rect, whole.data());
            FilterChangingBlocks(r, rect, blocks.data(), filters[i], contexts[i]);
            EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + w * h, blocks.begin())) << i;
        }
        gauss.Free();
        disc.Free();
    }
}

// The windows a block filter reads carry the reach round every block. Whatever the reach, they
// hold a bounded multiple of the pixels the blocks produce, so a wide blur or spread costs per
// pixel what the filter itself costs, not a share that grows with the reach's square.
TEST(PassCoverage, BlockWindowsStayInProportionToTheirBlocks) {
    struct Tally {
        int32_t r = 0;
        int64_t produced = 0, read = 0, blocks = 0;
    };
    const BlockFilter count = [](void* context, const Rect16& rect, uint8_t*) {
        auto* tally = static_cast<Tally*>(context);
        const int64_t w = rect.right - rect.left, h = rect.bottom - rect.top;
        tally->produced += w * h;
        tally->read += (w + 2 * tally->r) * (h + 2 * tally->r);
        ++tally->blocks;
    };
    for (const int32_t r : {1, 16, 60, 240}) {
        SCOPED_TRACE(r);
        const int32_t w = 3 * FilterBlockSide(r), h = w;  // whole blocks
        std::vector<uint8_t> plane(static_cast<size_t>((w + 2 * r) * (h + 2 * r)));
        for (size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<uint8_t>(i * 7);  // no window of one value
        Tally tally{r};
        FilterChangingBlocks(r, Rect16{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)}, plane.data(), count, &tally);
        EXPECT_EQ(tally.produced, int64_t{w} * h);
        EXPECT_LE(tally.read, tally.produced * 9 / 4);
    }
}

// Between blocks the filter beats the pulse; a beat that throws (a cancel) ends the filtering.
TEST(PassCoverage, LongFiltersBeatThePulseBetweenBlocksAndStopWhenItThrows) {
    constexpr int32_t kR = 2, kW = 300, kH = 200;
    std::vector<uint8_t> plane((kW + 2 * kR) * (kH + 2 * kR));
    for (size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<uint8_t>(i * 13);
    struct Counts {
        int32_t beats = 0, blocks = 0, throwAt = -1;
    } counts;
    const BlockFilter filter = [](void* context, const Rect16&, uint8_t*) { ++static_cast<Counts*>(context)->blocks; };
    const BlockPulse pulse{[](void* context) {
                               auto* c = static_cast<Counts*>(context);
                               if (++c->beats == c->throwAt) throw ErrorCodeException{Err::Cancelled};
                           },
                           &counts};
    const Rect16 rect{0, 0, kH, kW};
    FilterChangingBlocks(kR, rect, plane.data(), filter, &counts, pulse);
    const int32_t side = FilterBlockSide(kR);
    const int32_t blocks = ((kW + side - 1) / side) * ((kH + side - 1) / side);
    EXPECT_EQ(counts.blocks, blocks);
    EXPECT_EQ(counts.beats, blocks);

    counts = Counts{0, 0, 3};
    EXPECT_THROW(FilterChangingBlocks(kR, rect, plane.data(), filter, &counts, pulse), ErrorCodeException);
    EXPECT_EQ(counts.blocks, 2);
}

TEST(AutoRotation, TurnsOnceAndBackOnlyWhenTheMismatchIsGone) {
    // Landscape photo, portrait frame: a quarter turn.
    EXPECT_EQ(AutoRotationTurn(100, 200, 600, 400, false), 90);
    // Already turned and still mismatched (the frame image keeps its size): it stays turned.
    EXPECT_EQ(AutoRotationTurn(100, 200, 600, 400, true), 0);
    // A square photo undoes an earlier turn and never starts one.
    EXPECT_EQ(AutoRotationTurn(100, 200, 500, 500, true), -90);
    EXPECT_EQ(AutoRotationTurn(100, 200, 500, 500, false), 0);
    // A ratio of exactly 1.1 counts as square.
    EXPECT_EQ(Orientation(1.1), 0);
    EXPECT_EQ(AutoRotationTurn(100, 200, 110, 100, false), 0);

    LayerBytes layer;
    layer.Ref().Set(LayerLayout::kAngle, 170);
    AutoRotateLayerRecord(layer.Ref(), 100, 200, 600, 400);
    EXPECT_EQ(layer.Ref().Get(LayerLayout::kAngle), -100);  // 260 folded into -180..180
    EXPECT_EQ(layer.Ref().Get(LayerLayout::kAutoRotated), 1);
    AutoRotateLayerRecord(layer.Ref(), 100, 200, 600, 400);
    EXPECT_EQ(layer.Ref().Get(LayerLayout::kAngle), -100);
    AutoRotateLayerRecord(layer.Ref(), 100, 200, 400, 400);
    EXPECT_EQ(layer.Ref().Get(LayerLayout::kAngle), 170);
    EXPECT_EQ(layer.Ref().Get(LayerLayout::kAutoRotated), 0);
}

TEST(SourceCache, RestoredGeometryIsCheckedBeforeUse) {
    const CacheGeometry good{4, Rect16{0, 0, 100, 200}};
    EXPECT_TRUE(CacheGeometryValid(good, 4));
    EXPECT_FALSE(CacheGeometryValid(good, 2));                                 // another document
    EXPECT_FALSE(CacheGeometryValid(CacheGeometry{0, good.rect}, 0));          // no planes
    EXPECT_FALSE(CacheGeometryValid(CacheGeometry{4000000000u, good.rect}, 4000000000u));
    EXPECT_FALSE(CacheGeometryValid(CacheGeometry{4, Rect16{10, 0, 5, 200}}, 4));  // inverted rectangle
    EXPECT_EQ(CacheOffset(good, Rect16{2, 3, 4, 5}), 2 * 800 + 3 * 4);
    EXPECT_EQ(CacheOffset(good, Rect16{90, 0, 101, 10}), -1);  // reaches past the cached rows
    EXPECT_EQ(CacheOffset(good, Rect16{-1, 0, 1, 10}), -1);

    uint8_t rows[2 * 8] = {255, 0, 128, 1, 0, 0, 0, 0, 7, 255, 0, 0, 0, 0, 0, 0};
    WidenCachedRows(rows, 2, 3, 8);
    const auto* wide = reinterpret_cast<const uint16_t*>(rows);
    EXPECT_EQ(wide[0], 32768);  // (255 x 32897) >> 8
    EXPECT_EQ(wide[1], 0);
    EXPECT_EQ(wide[2], 16448);  // 128 x 32897 >> 8
    EXPECT_EQ(wide[4], 899);    // 7 x 32897 >> 8
    EXPECT_EQ(wide[5], 32768);
}

}  // namespace
