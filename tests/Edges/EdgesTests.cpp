#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "BigEndian.h"
#include "HostMemory.h"
#include "HostCall.h"
#include "QuorvelBevelOutline.h"
#include "QuorvelEdges.h"
#include "SettingsLayout.h"

namespace {

constexpr uint32_t kRenderStartSeed = 987654321;

// One stored edge slot.
struct SlotBytes {
    uint8_t bytes[EdgeLayout::kLength] = {};

    SlotBytes(uint16_t type, int16_t length, int16_t depth, uint16_t rotation = 0) {
        using namespace EdgeLayout;
        Ref().Set(kOn, 1);
        Ref().Set(kType, type);
        Ref().Set(kPatternLength, length);
        Ref().Set(kPatternDepth, depth);
        Ref().Set(kRotation, rotation);
    }
    RecordRef Ref() { return RecordRef(bytes); }
};

// A widened image of `samples` planes whose every byte tells where it lies.
std::vector<uint8_t> NumberedImage(int width, int height, int samples) {
    std::vector<uint8_t> image(static_cast<size_t>(width) * height * samples);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i % 251);
    return image;
}

Rect16 Area(int top, int left, int height, int width) {
    return Rect16{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(top + height),
                  static_cast<int16_t>(left + width)};
}

// Tables live in buffer records taken from global memory (a host without buffer procedures).
class EdgeTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        call_.emplace(HostCall{.record = &record_});
    }
    void TearDown() override { call_.reset(); }

    // Generates at a render start: the renderer's seed restarts every time.
    void Generate(SlotBytes& slot, EdgeCache& cache, double scale = 1.0) {
        seed_ = kRenderStartSeed;
        GenerateEdge(slot.Ref(), scale, seed_, cache);
    }

    template <typename T>
    std::vector<T> TableOf(EdgeCache& cache) {
        const auto* entries = reinterpret_cast<const T*>(cache.table.Lock());
        std::vector<T> copy(entries, entries + int64_t{cache.tableWidth} * cache.tableHeight);
        cache.table.Unlock();
        return copy;
    }

    FilterRecord record_{};
    std::optional<HostCallScope> call_;
    uint32_t seed_ = 0;
};

// ---- Scaled sizes and which edges draw

TEST_F(EdgeTest, SizesFollowTheRenderScaleRoundedHalfAwayFromZero) {
    struct Case {
        uint16_t type;
        int16_t length, depth;
        double scale;
        int32_t width, height;
        bool active;
    };
    const Case cases[] = {
        {kEdgeWave, 20, 10, 1.0, 20, 10, true},
        {kEdgeWave, 20, 5, 2.0, 10, 3, true},      // 2.5 rounds up
        {kEdgeWave, 3, 10, 2.0, 2, 5, true},       // a length of 1.5 is still 2
        {kEdgeRandom, 2, 10, 2.0, 1, 0, false},    // below 2: no depth, nothing drawn
        {kEdgeDiffuse, 1, 4, 1.0, 2, 4, true},     // types 7 and 8 ignore the length
        {kEdgeClean, 0, 1, 1.0, 2, 1, true},
        {kEdgeWave, 20, -10, 1.0, 20, 0, false},   // a negative depth draws nothing
    };
    for (const Case& c : cases) {
        SlotBytes slot(c.type, c.length, c.depth);
        EdgeCache cache;
        Generate(slot, cache, c.scale);
        EXPECT_EQ(cache.width, c.width) << c.type << " " << c.length;
        EXPECT_EQ(cache.height, c.height) << c.type << " " << c.depth;
        EXPECT_EQ(EdgeActive(cache), c.active) << c.type;
        if (!c.active) {
            EXPECT_EQ(EdgeMarginX(cache) + EdgeMarginY(cache), 0);
        }
    }
}

TEST_F(EdgeTest, EdgeTypesWithoutATableApplyNothing) {
    for (const uint16_t type : {uint16_t{9}, uint16_t{0x8000}, uint16_t{0xFFFF}}) {
        SlotBytes slot(type, 20, 10);
        EdgeCache cache;
        Generate(slot, cache);
        EXPECT_FALSE(EdgeActive(cache)) << type;
        EXPECT_EQ(EdgeMarginY(cache), 0);
        std::vector<uint8_t> image = NumberedImage(4, 4, 1);
        const std::vector<uint8_t> before = image;
        ApplyEdge(cache, Area(0, 0, 4, 4), image.data(), 1);
        EXPECT_EQ(image, before) << type;
    }
    // A slot that is off builds nothing either.
    SlotBytes off(kEdgeWave, 20, 10);
    off.Ref().Set(EdgeLayout::kOn, 0);
    EdgeCache cache;
    Generate(off, cache);
    EXPECT_FALSE(EdgeActive(cache));
    EXPECT_EQ(cache.table.id, nullptr);
}

// ---- Caches

TEST_F(EdgeTest, CachesAreKeptWhileNothingChangesAndRebuiltWhenASettingDoes) {
    SlotBytes slot(kEdgeBrushStrokes, 4, 3, 30);
    EdgeCache cache;
    Generate(slot, cache);
    const std::vector<DisplacementEntry> first = TableOf<DisplacementEntry>(cache);
    const uint32_t seedAfter = seed_;
    EXPECT_NE(seedAfter, kRenderStartSeed);

    // Mark the table, then start again with the same slot: the table stays as it is.
    reinterpret_cast<DisplacementEntry*>(cache.table.Lock())->column = 99;
    cache.table.Unlock();
    Generate(slot, cache);
    EXPECT_EQ(TableOf<DisplacementEntry>(cache)[0].column, 99);
    EXPECT_EQ(seed_, kRenderStartSeed);  // no generator ran

    // Another angle rebuilds it, the same as a fresh cache would.
    slot.Ref().Set(EdgeLayout::kRotation, 31);
    Generate(slot, cache);
    EdgeCache fresh;
    Generate(slot, fresh);
    const std::vector<DisplacementEntry> rebuilt = TableOf<DisplacementEntry>(cache);
    const std::vector<DisplacementEntry> expected = TableOf<DisplacementEntry>(fresh);
    EXPECT_EQ(0, std::memcmp(rebuilt.data(), expected.data(), rebuilt.size() * sizeof(DisplacementEntry)));
    EXPECT_NE(rebuilt[0].column, 99);

    // A type change to the clean edge swaps the table for a Gauss kernel of radius depth - 1.
    SlotBytes clean(kEdgeClean, 4, 3);
    Generate(clean, cache);
    EXPECT_TRUE(cache.built);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(cache.table.Lock())[0], 2u);
    cache.table.Unlock();
}

TEST_F(EdgeTest, TheSameSlotGivesTheSameTableOnEveryRun) {
    for (const uint16_t type : {kEdgeBrushStrokes, kEdgeRandom}) {
        SlotBytes slot(type, 6, 4, 135);
        EdgeCache a, b;
        Generate(slot, a);
        const uint32_t seedA = seed_;
        Generate(slot, b);
        EXPECT_EQ(seed_, seedA);
        const std::vector<DisplacementEntry> ta = TableOf<DisplacementEntry>(a), tb = TableOf<DisplacementEntry>(b);
        EXPECT_EQ(0, std::memcmp(ta.data(), tb.data(), ta.size() * sizeof(DisplacementEntry))) << type;
    }
}

// ---- Waves

TEST_F(EdgeTest, WaveTablesHoldSixteenStepsAPixelAndBrushStrokesEightTimesMore) {
    SlotBytes wave(kEdgeWave, 2, 4, 0), brush(kEdgeBrushStrokes, 2, 4, 0);
    EdgeCache w, b;
    Generate(wave, w);
    Generate(brush, b);
    EXPECT_EQ(w.tableWidth, 32);
    EXPECT_EQ(b.tableWidth, 256);
    EXPECT_EQ(w.tableHeight, 1);
    EXPECT_EQ(w.marginY, 5);  // depth + 1 for the bilinear read

    // At angle 0 the sine moves rows: entry 8 is a quarter period, offset 4 rows exactly;
    // entry 4 is 4 sin(pi/4) = 2.828: 2 rows and 0.828 of the next.
    const std::vector<DisplacementEntry> t = TableOf<DisplacementEntry>(w);
    EXPECT_EQ(t[8].row, 4);
    EXPECT_EQ(t[8].column, 0);
    EXPECT_FLOAT_EQ(t[8].w00, 1.0f);
    EXPECT_EQ(t[4].row, 2);
    // (single precision near 32768 keeps the fraction to 1/256)
    EXPECT_NEAR(t[4].w01, 0.828427f, 1.0f / 256);
    EXPECT_FLOAT_EQ(t[4].w00 + t[4].w01, 1.0f);
    EXPECT_EQ(t[24].row, -4);  // three quarters: -1 x depth
}

TEST_F(EdgeTest, DisplacementMovesPixelsAndPacksTheArea) {
    // Reversed saw teeth of length 2 and depth 1 at angle 0: even columns read entry 0 (v = -1,
    // one row up), odd columns entry 16 (v = 0, in place). Margin 2 on every side.
    SlotBytes slot(kEdgeSawTeethReversed, 2, 1, 0);
    EdgeCache cache;
    Generate(slot, cache);
    ASSERT_EQ(cache.marginX, 2);
    const int width = 4, height = 2, wide = width + 4;
    std::vector<uint8_t> image((height + 4) * wide);
    for (int r = 0; r < height + 4; ++r)
        for (int c = 0; c < wide; ++c) image[r * wide + c] = static_cast<uint8_t>(r * 10 + c);
    ApplyEdge(cache, Area(0, 0, height, width), image.data(), 1);
    // Area pixel (c, r) sits at (c + 2, r + 2) of the widened image.
    const uint8_t expected[] = {12, 23, 14, 25, 22, 33, 24, 35};
    EXPECT_EQ(0, std::memcmp(image.data(), expected, sizeof expected));
}

TEST_F(EdgeTest, DisplacementIndexesWrapBelowZero) {
    // At 45 degrees and far up left, the table coordinate falls below zero before the modulo.
    SlotBytes slot(kEdgeSawTeethReversed, 2, 1, 45);
    EdgeCache cache;
    Generate(slot, cache);
    const int m = cache.marginX, wide = 1 + 2 * m;
    std::vector<uint8_t> image = NumberedImage(wide, wide, 2);
    const std::vector<uint8_t> source = image;
    const int x = -30000, y = -30000;
    ApplyEdge(cache, Area(y, x, 1, 1), image.data(), 2);

    const double coordinate = std::trunc(cache.m00 * x + cache.m01 * y + 524288.0);
    ASSERT_LT(coordinate, 0.0);
    const int j = static_cast<int>(coordinate - std::floor(coordinate / 32.0) * 32.0);
    const DisplacementEntry e = TableOf<DisplacementEntry>(cache)[j];
    for (int s = 0; s < 2; ++s) {
        auto at = [&](int dc, int dr) {
            return source[((m + e.row + dr) * wide + m + e.column + dc) * 2 + s];
        };
        const float v = at(0, 0) * e.w00 + at(0, 1) * e.w01 + at(1, 0) * e.w10 + at(1, 1) * e.w11 + 0.5f;
        EXPECT_EQ(image[s], static_cast<uint8_t>(v)) << s;
    }
}

// ---- Noise

TEST_F(EdgeTest, NoiseTilesEveryLengthWithinTheDepthAndIsCapped) {
    SlotBytes slot(kEdgeRandom, 8, 3);
    EdgeCache cache;
    Generate(slot, cache);
    EXPECT_EQ(cache.tableWidth, 8);
    EXPECT_EQ(cache.tableHeight, 8);
    const std::vector<DisplacementEntry> t = TableOf<DisplacementEntry>(cache);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            const DisplacementEntry& e = t[i * 8 + j];
            // A row moves sideways as one, a column up or down as one.
            EXPECT_EQ(e.column, t[i * 8].column);
            EXPECT_EQ(e.row, t[j].row);
            EXPECT_GE(e.column, -4);
            EXPECT_LE(e.column, 3);
        }
    // The walks are normalised to span -3..3: the extremes occur.
    bool low = false, high = false;
    for (int i = 0; i < 8; ++i) {
        low |= t[i * 8].column == -3 && t[i * 8].w00 + t[i * 8].w01 > 0.999f;
        high |= t[i * 8].column + (t[i * 8].w10 + t[i * 8].w11 > 0.5f ? 1 : 0) == 3;
    }
    EXPECT_TRUE(low && high);

    // A pattern of 30000 pixels would want 30000^2 entries: the table repeats at the cap.
    SlotBytes huge(kEdgeRandom, 30000, 3);
    EdgeCache big;
    Generate(huge, big);
    EXPECT_EQ(big.tableWidth, kMaxNoiseTableSide);
    EXPECT_TRUE(EdgeActive(big));
}

// ---- Scatter

TEST_F(EdgeTest, ScatterTilesShrinkWithTheScale) {
    const std::pair<double, int32_t> cases[] = {{1.0, 256}, {2.0, 128}, {3.0, 64}, {16.0, 16}, {100.0, 16}};
    for (const auto& [scale, side] : cases) {
        SlotBytes slot(kEdgeDiffuse, 20, 1000);
        EdgeCache cache;
        Generate(slot, cache, scale);
        EXPECT_EQ(cache.tableWidth, side) << scale;
    }
}

TEST_F(EdgeTest, ScatterEntriesFollowTheSeedAndStayWideForDeepEdges) {
    // The first entry by hand: draws until (dx, dy) lies in the round of radius 2.
    SlotBytes shallow(kEdgeDiffuse, 0, 2);
    EdgeCache cache;
    Generate(shallow, cache);
    uint32_t seed = kRenderStartSeed;
    uint32_t dx, dy;
    do {
        const uint32_t u = seed * 123456789u;
        seed *= 0x9738A3B9u;
        dx = static_cast<uint32_t>((uint64_t{u & 0xFFFFFF} * 5) >> 24);
        dy = static_cast<uint32_t>((uint64_t{seed & 0xFFFFFF} * 5) >> 24);
    } while ((dx - 2.0) * (dx - 2.0) + (dy - 2.0) * (dy - 2.0) > 4.0);
    const std::vector<ScatterEntry> t = TableOf<ScatterEntry>(cache);
    EXPECT_EQ(t[0].column, dx);
    EXPECT_EQ(t[0].row, dy);

    // At radius 300 offsets reach past one byte and still lie in the round.
    SlotBytes deep(kEdgeDiffuse, 0, 300);
    EdgeCache wide;
    Generate(deep, wide);
    bool beyondAByte = false;
    const std::vector<ScatterEntry> entries = TableOf<ScatterEntry>(wide);
    for (const ScatterEntry& e : entries) {
        const double ox = e.column - 300.0, oy = e.row - 300.0;
        EXPECT_LE(ox * ox + oy * oy, 90000.0);
        beyondAByte |= e.column > 255 || e.row > 255;
    }
    EXPECT_TRUE(beyondAByte);
}

TEST_F(EdgeTest, ScatterTakesEveryPixelFromItsRound) {
    SlotBytes slot(kEdgeDiffuse, 0, 2);
    EdgeCache cache;
    Generate(slot, cache);
    const int width = 6, height = 5, samples = 3, wide = width + 4;
    // Each pixel holds its widened column and row; the third sample tells the pixels apart.
    std::vector<uint8_t> image(static_cast<size_t>(wide) * (height + 4) * samples);
    for (int r = 0; r < height + 4; ++r)
        for (int c = 0; c < wide; ++c) {
            uint8_t* p = &image[(r * wide + c) * samples];
            p[0] = static_cast<uint8_t>(c);
            p[1] = static_cast<uint8_t>(r);
            p[2] = static_cast<uint8_t>(100 + r * wide + c);
        }
    ApplyEdge(cache, Area(-7, 300, height, width), image.data(), samples);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const uint8_t* p = &image[(r * width + c) * samples];
            const int dc = p[0] - (c + 2), dr = p[1] - (r + 2);
            EXPECT_LE(dc * dc + dr * dr, 4) << c << "," << r;
            EXPECT_EQ(p[2], 100 + p[1] * wide + p[0]);
        }
}

// ---- The clean edge

TEST_F(EdgeTest, CleanEdgeOfDepthOneKeepsTheSubPixelEdgeWithoutBlur) {
    SlotBytes slot(kEdgeClean, 0, 1);
    EdgeCache cache;
    Generate(slot, cache);
    ASSERT_TRUE(EdgeActive(cache));
    EXPECT_FALSE(cache.built);  // no kernel for depth 1
    // One pixel with its ring: above 255, below 0, left and right 255.
    // Vertically a = 255 + 3 (0 - 170) = -255 and b = 0 + 3 (255 - 170) = 255: 255 / 510 = 0.5;
    // horizontally a = b = 510: 1. 0.5 x 255 + 0.5 truncates to 128.
    std::vector<uint8_t> image = {0, 255, 0, 255, 9, 255, 0, 0, 0};
    ApplyEdge(cache, Area(0, 0, 1, 1), image.data(), 1);
    EXPECT_EQ(image[0], 128);
    // All dark: a + b < 1 on both axes.
    image = {0, 0, 0, 0, 200, 0, 0, 0, 0};
    ApplyEdge(cache, Area(0, 0, 1, 1), image.data(), 1);
    EXPECT_EQ(image[0], 0);
}

TEST_F(EdgeTest, CleanEdgeBlursDeeperEdgesFirst) {
    SlotBytes slot(kEdgeClean, 0, 3);
    EdgeCache cache;
    Generate(slot, cache);
    ASSERT_TRUE(cache.built);
    // A solid image stays solid through the blur and the edge step.
    const int width = 5, wide = width + 6;
    std::vector<uint8_t> image(static_cast<size_t>(wide) * wide * 2, 255);
    ApplyEdge(cache, Area(0, 0, width, width), image.data(), 2);
    for (int i = 0; i < width * width * 2; ++i) ASSERT_EQ(image[i], 255) << i;
}

// ---- The bevel outline

struct BevelBytes {
    uint8_t bytes[BevelLayout::kLength] = {};

    BevelBytes(uint16_t kind, std::initializer_list<std::pair<uint16_t, uint16_t>> points) {
        using namespace BevelLayout;
        Ref().Set(kContourKind, kind);
        Ref().Set(kPointCapacity, 8);
        Ref().Set(kPointCount, static_cast<uint16_t>(points.size()));
        int i = 0;
        for (const auto& [x, y] : points) {
            BigEndian::Write16(Ref().At(kPoints + 4 * i), x);
            BigEndian::Write16(Ref().At(kPoints + 4 * i + 2), y);
            ++i;
        }
    }
    RecordRef Ref() { return RecordRef(bytes); }
};

class OutlineTest : public EdgeTest {
protected:
    std::vector<int32_t> Heights(EffectOutline& outline) {
        const LockedBuffer table(outline.table);
        const int32_t* atZero = OutlineHeights(table);
        std::vector<int32_t> all;
        for (int32_t d = -kOutlineReach; d <= outline.scaledWidth + kOutlineReach; ++d) all.push_back(atZero[d]);
        return all;
    }
    static int32_t At(const std::vector<int32_t>& heights, int32_t distance) { return heights[distance + kOutlineReach]; }
};

TEST_F(OutlineTest, RampRisesOneStepADistanceStepAndHoldsPastTheBevel) {
    BevelBytes ramp(7, {{0, 0}, {16383, 16383}});
    EffectOutline outline;
    EXPECT_DOUBLE_EQ(BuildEffectOutline(ramp.Ref(), 4, outline), 3.0);
    EXPECT_EQ(outline.scaledWidth, 1020);
    const std::vector<int32_t> h = Heights(outline);
    EXPECT_EQ(At(h, 0), 0);
    EXPECT_EQ(At(h, 255), 255);
    EXPECT_EQ(At(h, 1020), 1020);
    EXPECT_EQ(At(h, 1020 + 300), 1020);
    EXPECT_EQ(At(h, -100), -100);  // the line goes on before the edge

    // No bevel: no cost and no table.
    EffectOutline none;
    EXPECT_DOUBLE_EQ(BuildEffectOutline(ramp.Ref(), 0, none), 0.0);
    EXPECT_EQ(none.table.id, nullptr);
}

TEST_F(OutlineTest, CurvedContoursPassThroughTheirPoints) {
    // The default triangle: corners at 0, 0.5 and 1, peak 0.5 half way.
    BevelBytes triangle(6, {{16384, 0}, {24576, 8192}, {32767, 0}});
    EffectOutline outline;
    BuildEffectOutline(triangle.Ref(), 4, outline);
    const std::vector<int32_t> h = Heights(outline);
    EXPECT_EQ(At(h, 0), 0);
    EXPECT_NEAR(At(h, 510), 1020 * 8192 / 16383.0, 1.0);
    EXPECT_EQ(At(h, 1020), 0);
    EXPECT_GT(At(h, 255), 100);

    // The default round contour rises from 0 to the full width.
    BevelBytes round(2, {{16384, 0}, {573, 3359}, {1393, 6389}, {3277, 9830}, {6553, 13106}, {16383, 16383}});
    EffectOutline rounded;
    BuildEffectOutline(round.Ref(), 2, rounded);
    const std::vector<int32_t> r = Heights(rounded);
    EXPECT_EQ(At(r, 0), 0);
    EXPECT_EQ(At(r, 510), 510);
    EXPECT_NEAR(At(r, 3277 * 510 / 16383), 9830 * 510 / 16383, 1);
}

TEST_F(OutlineTest, TableIsKeptForTheSameKindAndWidth) {
    BevelBytes ramp(7, {{0, 0}, {16383, 16383}});
    EffectOutline outline;
    BuildEffectOutline(ramp.Ref(), 2, outline);
    {
        const LockedBuffer table(outline.table);
        const_cast<int32_t*>(OutlineHeights(table))[10] = -1;
    }
    BuildEffectOutline(ramp.Ref(), 2, outline);
    EXPECT_EQ(At(Heights(outline), 10), -1);
    BuildEffectOutline(ramp.Ref(), 3, outline);
    EXPECT_EQ(At(Heights(outline), 10), 10);
}

TEST_F(OutlineTest, MalformedContoursBuildATable) {
    // Too many points, x falling back, a segment end in the middle, an unknown kind.
    BevelBytes bad(3, {{0x7FFF, 5}, {100, 16383}, {0xC000 | 9000, 400}, {50, 7}, {16383, 0}, {16383, 1}});
    bad.Ref().Set(BevelLayout::kPointCount, 500);
    EffectOutline outline;
    BuildEffectOutline(bad.Ref(), 3, outline);
    EXPECT_EQ(Heights(outline).size(), 765u + 2 * kOutlineReach + 1);
    BevelBytes empty(4, {});
    EffectOutline flat;
    BuildEffectOutline(empty.Ref(), 3, flat);
    EXPECT_EQ(At(Heights(flat), 700), 0);
    BevelBytes unknown(99, {{0, 16383}});
    EffectOutline ramp;
    BuildEffectOutline(unknown.Ref(), 1, ramp);
    EXPECT_EQ(At(Heights(ramp), 255), 255);
}

}  // namespace
