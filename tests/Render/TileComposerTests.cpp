// Composition of a tile checked pixel by pixel against the arithmetic done by hand.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "FirstRunTables.h"
#include "TileComposer.h"

namespace {

// Blend tables: Normal answers the pass colour, "Photo" the photo's sample.
const uint8_t* NormalTable() {
    static std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(65536);
        for (int row = 0; row < 256; ++row) std::memset(&t[row * 256], row, 256);
        return t;
    }();
    return table.data();
}
const uint8_t* PhotoTable() {
    static std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(65536);
        for (int i = 0; i < 65536; ++i) t[i] = static_cast<uint8_t>(i & 255);
        return t;
    }();
    return table.data();
}

ComposeLayout Layout(int32_t nc, int32_t extraPlanes, bool sixteen) {
    ComposeLayout l;
    l.colourChannels = nc;
    l.inputStride = l.outputStride = nc + extraPlanes;
    l.inputLast = l.outputLast = nc + extraPlanes - 1;
    l.sixteenBit = sixteen;
    return l;
}

// One row of `count` pixels through the composer.
template <typename Sample>
std::vector<Sample> Compose(const ComposeLayout& layout, const std::vector<Sample>& input, std::vector<ComposePass> passes,
                            const std::vector<uint8_t>* mask = nullptr) {
    const int32_t count = static_cast<int32_t>(input.size()) / layout.inputStride;
    std::vector<Sample> output(static_cast<size_t>(count) * layout.outputStride, 0);
    ComposeBuffers b;
    b.rect = Rect16{0, 0, 1, static_cast<int16_t>(count)};
    b.input = input.data();
    b.inputRowBytes = static_cast<int64_t>(input.size() * sizeof(Sample));
    b.output = output.data();
    b.outputRowBytes = static_cast<int64_t>(output.size() * sizeof(Sample));
    if (mask) {
        b.mask = mask->data();
        b.maskRowBytes = static_cast<int64_t>(mask->size());
    }
    ComposeTilePixels(layout, passes, b);
    return output;
}

ComposePass SolidPass(const std::vector<uint8_t>& coverage, std::array<uint8_t, 4> colour) {
    ComposePass p;
    p.coverage = coverage.data();
    std::memcpy(p.colour, colour.data(), 4);
    p.blendTable = NormalTable();
    return p;
}

TEST(TileComposer, WithoutPassesTheOutputIsTheInputInEveryMode) {
    struct Mode {
        int32_t nc, extra;
        bool transparency;
        int32_t layerMasks, invertedMasks;
    };
    // Grey, RGB and CMYK; with transparency; CMYK with transparency, a layer mask and an inverted
    // mask (the largest pixel the host can hand over).
    for (const Mode m : {Mode{1, 0, false, 0, 0}, Mode{3, 0, false, 0, 0}, Mode{4, 0, false, 0, 0}, Mode{3, 1, true, 0, 0},
                         Mode{4, 3, true, 1, 1}}) {
        for (const bool sixteen : {false, true}) {
            ComposeLayout l = Layout(m.nc, m.extra, sixteen);
            l.outputTransparency = m.transparency;
            l.inputLayerMasks = l.outputLayerMasks = m.layerMasks;
            l.inputInvertedMasks = l.outputInvertedMasks = m.invertedMasks;
            l.inputLast = l.outputLast = m.nc + (m.transparency ? 1 : 0) + m.layerMasks - 1;
            const uint32_t full = sixteen ? 32768 : 255;
            std::vector<uint16_t> input16;
            for (int32_t i = 0; i < 5 * l.inputStride; ++i) input16.push_back(static_cast<uint16_t>((i * 7919) % (full + 1)));
            // Opaque photo pixels with full masks and no inverted mask where those planes exist.
            for (int32_t px = 0; px < 5; ++px) {
                uint16_t* p = &input16[px * l.inputStride];
                if (m.transparency) p[m.nc] = static_cast<uint16_t>(full);
                if (m.layerMasks) p[m.nc + 1] = static_cast<uint16_t>(full);
                if (m.invertedMasks) p[m.nc + 2] = 0;
            }
            SCOPED_TRACE(testing::Message() << "channels " << m.nc << " extra " << m.extra << (sixteen ? " 16-bit" : " 8-bit"));
            if (sixteen) {
                const std::vector<uint16_t> out = Compose<uint16_t>(l, input16, {});
                for (int32_t px = 0; px < 5; ++px)
                    for (int32_t c = 0; c < l.OutputSamples(); ++c)
                        EXPECT_EQ(out[px * l.outputStride + c], input16[px * l.inputStride + c]);
            } else {
                const std::vector<uint8_t> input8(input16.begin(), input16.end());
                const std::vector<uint8_t> out = Compose<uint8_t>(l, input8, {});
                for (int32_t px = 0; px < 5; ++px)
                    for (int32_t c = 0; c < l.OutputSamples(); ++c)
                        EXPECT_EQ(out[px * l.outputStride + c], input8[px * l.inputStride + c]);
            }
        }
    }
}

TEST(TileComposer, CoverageDecidesBetweenFrameColourAndPhoto) {
    const ComposeLayout l = Layout(3, 0, false);
    const std::vector<uint8_t> input = {0, 0, 255, 0, 0, 255, 0, 0, 255};
    const std::vector<uint8_t> coverage = {255, 0, 128};
    const std::vector<uint8_t> out = Compose<uint8_t>(l, input, {SolidPass(coverage, {255, 0, 0, 0})});
    // Full coverage: the colour; none: the photo. Half: m = 255 x 128, a_ov = ((8323200 + 32385) x
    // 258) >> 24 = 128; wo = 128 x 65025 = 8323200, wp = 16581375 - wo = 8258175:
    // red (255 x 8323200 + 8290687) / 16581375 = 128, blue (255 x 8258175 + 8290687) / 16581375 = 127.
    EXPECT_EQ(out, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255, 128, 0, 127}));
}

TEST(TileComposer, SixteenBitSamplesWidenTheFrameColour) {
    const ComposeLayout l = Layout(1, 0, true);
    const std::vector<uint16_t> input = {1000, 1000};
    const std::vector<uint8_t> coverage = {255, 128};
    const std::vector<uint16_t> out = Compose<uint16_t>(l, input, {SolidPass(coverage, {200, 0, 0, 0})});
    // 200 widens to (200 x 32897) >> 8 = 25700. At half coverage a_ov = 128 widens to 16448:
    // wo = 16448 << 30, wp = 2^45 - wo; grey = (1000 wp + 25700 wo + W / 2) >> 45 = 13398.
    EXPECT_EQ(out[0], 25700);
    const int64_t wo = int64_t{16448} << 30, wp = (int64_t{1} << 45) - wo, w = wo + wp;
    EXPECT_EQ(out[1], (1000 * wp + 25700 * wo + w / 2) / w);
    EXPECT_EQ(out[1], 13398);  // (16320000 + 422713600 + 16384) / 32768
}

TEST(TileComposer, LayersUnderAnOpaquePhotoDoNotShow) {
    ComposeLayout l = Layout(3, 0, false);
    l.layersUnderPhoto = true;
    const std::vector<uint8_t> input = {10, 20, 30};
    const std::vector<uint8_t> coverage = {255};
    ComposePass under = SolidPass(coverage, {255, 255, 255, 0});
    under.underPhoto = true;
    EXPECT_EQ(Compose<uint8_t>(l, input, {under}), input);
    under.underPhoto = false;
    EXPECT_EQ(Compose<uint8_t>(l, input, {under}), (std::vector<uint8_t>{255, 255, 255}));
}

TEST(TileComposer, LayersUnderATransparentPhotoShowThroughIt) {
    ComposeLayout l = Layout(3, 1, false);
    l.outputTransparency = true;
    l.layersUnderPhoto = true;
    const std::vector<uint8_t> input = {10, 20, 30, 0, 10, 20, 30, 255};
    const std::vector<uint8_t> coverage = {255, 255};
    ComposePass under = SolidPass(coverage, {200, 100, 50, 0});
    under.underPhoto = true;
    const std::vector<uint8_t> out = Compose<uint8_t>(l, input, {under});
    // Where the photo is transparent the under layer is all there is; where it is opaque it hides it.
    EXPECT_EQ(out, (std::vector<uint8_t>{200, 100, 50, 255, 10, 20, 30, 255}));
}

TEST(TileComposer, BlendTablesSeeThePhoto) {
    const ComposeLayout l = Layout(3, 0, false);
    const std::vector<uint8_t> input = {7, 8, 9};
    const std::vector<uint8_t> coverage = {255};
    ComposePass pass = SolidPass(coverage, {255, 255, 255, 0});
    pass.blendTable = PhotoTable();
    EXPECT_EQ(Compose<uint8_t>(l, input, {pass}), input);
    // A pass without a blend table (mode 0 in the block) draws nothing.
    pass.blendTable = nullptr;
    pass.colour[0] = 99;
    EXPECT_EQ(Compose<uint8_t>(l, input, {pass}), input);
}

TEST(TileComposer, OpacityAndKnockOut) {
    const ComposeLayout l = Layout(1, 0, false);
    const std::vector<uint8_t> input = {0, 0};
    const std::vector<uint8_t> background = {255, 0}, border = {255, 255};
    ComposePass bg = SolidPass(background, {100, 0, 0, 0});
    ComposePass rim = SolidPass(border, {200, 0, 0, 0});
    rim.knockOutPass = 0;
    rim.weight = 128;
    // Pixel 0: the border is knocked out where the background covers: m = (0 x 32640) >> 8 = 0.
    // Pixel 1: m = ((255 - 0) x 32640) >> 8 = 32512: a_ov = ((255 x 32512 + 32385) x 258) >> 24 = 127,
    // grey = (200 x 127 x 65025 + ...) / 16581375 = 100 (wp = 16581375 - 127 x 65025).
    const std::vector<uint8_t> out = Compose<uint8_t>(l, input, {bg, rim});
    EXPECT_EQ(out[0], 100);
    const int64_t wo = int64_t{127} * 65025, wp = 16581375 - wo;
    EXPECT_EQ(out[1], (200 * wo + 0 * wp + (wo + wp) / 2) / (wo + wp));
    EXPECT_EQ(out[1], 100);
}

// The set's alpha follows W = s m + (65025 - m) a after every pass.
// A covering pass of colour alpha 0 erases the frame beneath it, as alpha 1 almost does.
TEST(TileComposer, ACoveringPassOfAlphaZeroErasesTheSetBeneath) {
    ComposeLayout l = Layout(3, 1, false);
    l.outputTransparency = true;
    const std::vector<uint8_t> input = {10, 20, 30, 255};
    const std::vector<uint8_t> coverage = {255};
    const ComposePass lower = SolidPass(coverage, {200, 100, 50, 0});
    ComposePass upper = SolidPass(coverage, {0, 0, 0, 0});
    for (const bool transmittance : {false, true}) {
        SCOPED_TRACE(transmittance ? "transmittance alpha" : "photo weight alpha");
        l.transmittanceAlpha = transmittance;
        // Alpha 0: ws = 0, wd = (65025 - 65025) x 255 = 0, so a_ov = 0 and the colours stay; the
        // photo's weight 255 x 255 x 255 takes the whole pixel. Its alpha: (W + 32385) / 65025 =
        // 255, or with the transmittance (T = 0 after a pass of alpha below 255, P = 255) a_ov = 0.
        upper.alpha = 0;
        const std::vector<uint8_t> erased = Compose<uint8_t>(l, input, {lower, upper});
        EXPECT_EQ(erased, (std::vector<uint8_t>{10, 20, 30, uint8_t(transmittance ? 0 : 255)}));
        // Alpha 1: ws = 65025, a_ov = ((65025 + 32385) x 258) >> 24 = 1, the colour black:
        // (S x (16581375 - 65025) + 8290687) / 16581375 keeps 10, 20, 30.
        upper.alpha = 1;
        const std::vector<uint8_t> almost = Compose<uint8_t>(l, input, {lower, upper});
        EXPECT_EQ(almost, (std::vector<uint8_t>{10, 20, 30, uint8_t(transmittance ? 1 : 255)}));
    }
    // Half coverage of alpha 0 over an opaque set halves its alpha and keeps its colour: m = 32640,
    // W = 32385 x 255, a_ov = ((8258175 + 32385) x 258) >> 24 = 127; photo weight 16581375 - 127 x
    // 65025 = 8323200: (10 x 8323200 + 200 x 8258175 + 8290687) / 16581375 = 105.
    const std::vector<uint8_t> half = {128};
    ComposePass halfUpper = SolidPass(half, {0, 0, 0, 0});
    halfUpper.alpha = 0;
    l.transmittanceAlpha = false;
    const std::vector<uint8_t> out = Compose<uint8_t>(l, input, {lower, halfUpper});
    const int64_t wo = int64_t{127} * 65025, wp = 16581375 - wo, w = wo + wp;
    EXPECT_EQ(out[0], (10 * wp + 200 * wo + w / 2) / w);
    EXPECT_EQ(out[0], 105);
    EXPECT_EQ(out[3], 255);
}

// On the layer-output route the passes of
// layers above the photo take the route's fixed colour (black converted to the document's space,
// handed over in the layout); the others, and every pass off the route, keep their own colour; a
// texture gives its texels either way. The route writes the frame's grey level (here the first
// channel: no grey conversion is given) over the photo's clear transparency.
TEST(TileComposer, TheLayerOutputRouteGivesLayersAboveThePhotoItsFixedColour) {
    ComposeLayout l = Layout(3, 1, false);
    l.outputTransparency = true;
    l.layerOutput = true;
    l.photoMerge = false;
    l.preview = true;
    l.layerOutputColour[0] = 60;
    const std::vector<uint8_t> input = {10, 20, 30, 0};
    const std::vector<uint8_t> coverage = {255};
    ComposePass pass = SolidPass(coverage, {200, 100, 50, 0});
    pass.abovePhoto = true;
    // (60 x 65535 + 32639) >> 16 = 60 through the Normal table against the mask route.
    EXPECT_EQ(Compose<uint8_t>(l, input, {pass}), (std::vector<uint8_t>{10, 20, 30, 60}));
    pass.abovePhoto = false;
    EXPECT_EQ(Compose<uint8_t>(l, input, {pass}), (std::vector<uint8_t>{10, 20, 30, 200}));
    pass.abovePhoto = true;
    const uint8_t texels[] = {77, 78, 79};
    const ColourTexture texture{texels, 1, 1, 3};
    pass.texture = &texture;
    EXPECT_EQ(Compose<uint8_t>(l, input, {pass}), (std::vector<uint8_t>{10, 20, 30, 77}));
    // Off the route (mask output) the layer above the photo keeps its colour.
    pass.texture = nullptr;
    l.layerOutput = false;
    l.maskOutput = true;
    EXPECT_EQ(Compose<uint8_t>(l, input, {pass}), (std::vector<uint8_t>{10, 20, 30, 200}));
}

TEST(TileComposer, HostMaskLimitsTheFrameAndTheCacheKeepsTheFrameAlone) {
    const ComposeLayout l = Layout(3, 0, false);
    const std::vector<uint8_t> input = {0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> coverage = {255, 255}, mask = {0, 255};
    ComposePass pass = SolidPass(coverage, {255, 255, 255, 0});
    std::vector<uint8_t> output(6), cache(8, 77);
    ComposeBuffers b;
    b.rect = Rect16{0, 0, 1, 2};
    b.input = input.data();
    b.inputRowBytes = 6;
    b.output = output.data();
    b.outputRowBytes = 6;
    b.mask = mask.data();
    b.maskRowBytes = 2;
    b.cache = cache.data();
    ComposeTilePixels(l, std::span<const ComposePass>(&pass, 1), b);
    EXPECT_EQ(output, (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
    // The cache holds the frame colour and alpha; the alpha through the mask: ((m a + 127) 257) >> 16.
    EXPECT_EQ(cache, (std::vector<uint8_t>{255, 255, 255, 0, 255, 255, 255, 255}));
}

TEST(TileComposer, TexturesWrapWithAFloorModulo) {
    ComposeLayout l = Layout(1, 0, false);
    const std::vector<uint8_t> input = {0, 0, 0};
    const std::vector<uint8_t> coverage = {255, 255, 255};
    const uint8_t texels[] = {10, 20, 30, 40};  // 2 x 2
    const ColourTexture texture{texels, 2, 2, 2};
    ComposePass pass = SolidPass(coverage, {0, 0, 0, 0});
    pass.texture = &texture;
    std::vector<uint8_t> output(3);
    ComposeBuffers b;
    b.rect = Rect16{-1, -1, 0, 2};  // row -1, columns -1..1
    b.input = input.data();
    b.inputRowBytes = 3;
    b.output = output.data();
    b.outputRowBytes = 3;
    ComposeTilePixels(l, std::span<const ComposePass>(&pass, 1), b);
    EXPECT_EQ(output, (std::vector<uint8_t>{40, 30, 40}));  // row -1 is texture row 1
}

}  // namespace

namespace {

// The same image composed as one tile and as four: every pixel is addressed by its image position,
// so the split changes nothing.
TEST(TileComposer, TheTileSplitDoesNotChangeTheResult) {
    ComposeLayout l = Layout(3, 1, false);
    l.outputTransparency = true;
    l.layersUnderPhoto = true;
    l.textureStep = 2;
    constexpr int32_t kW = 7, kH = 5;
    std::vector<uint8_t> input(kW * kH * 4), coverageA(kW * kH), coverageB(kW * kH);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 37 + 11);
    for (size_t i = 0; i < coverageA.size(); ++i) {
        coverageA[i] = static_cast<uint8_t>(i * 53);
        coverageB[i] = static_cast<uint8_t>(255 - i * 29);
    }
    const uint8_t texels[3 * 3 * 3] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 15, 25, 35, 45, 55, 65, 75, 85, 95, 5, 6, 7, 8, 9, 1, 2, 3, 4};
    const ColourTexture texture{texels, 3, 3, 9};

    auto composeRect = [&](const Rect16& r, std::vector<uint8_t>& output) {
        // Pass buffers are per tile: cut the tile's part out of the whole-image planes.
        const int32_t w = r.right - r.left, h = r.bottom - r.top;
        std::vector<uint8_t> a(w * h), b(w * h), in(w * h * 4), out(w * h * 4);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const int32_t src = (r.top + y) * kW + r.left + x;
                a[y * w + x] = coverageA[src];
                b[y * w + x] = coverageB[src];
                std::memcpy(&in[(y * w + x) * 4], &input[src * 4], 4);
            }
        ComposePass over = SolidPass(a, {200, 100, 50, 0});
        over.texture = &texture;
        over.alpha = 180;
        over.abovePhoto = true;
        ComposePass under = SolidPass(b, {20, 40, 60, 0});
        under.underPhoto = true;
        under.weight = 200;
        const ComposePass passes[] = {under, over};
        ComposeBuffers buffers;
        buffers.rect = r;
        buffers.input = in.data();
        buffers.inputRowBytes = w * 4;
        buffers.output = out.data();
        buffers.outputRowBytes = w * 4;
        ComposeTilePixels(l, passes, buffers);
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(&output[((r.top + y) * kW + r.left) * 4], &out[y * w * 4], static_cast<size_t>(w) * 4);
    };
    std::vector<uint8_t> whole(input.size()), split(input.size());
    composeRect(Rect16{0, 0, kH, kW}, whole);
    for (const Rect16 r : {Rect16{0, 0, 2, 3}, Rect16{0, 3, 2, kW}, Rect16{2, 0, kH, 4}, Rect16{2, 4, kH, kW}}) composeRect(r, split);
    EXPECT_EQ(whole, split);
    EXPECT_NE(whole, input);
}

// A row is sorted into runs before it is composed: runs no pass covers are copied, runs one opaque
// pass covers wholly take its colour with no further test. Those short cuts give exactly what the
// full steps give (which run when the frame composite is cached), whatever the coverage, the
// bevel, knock-outs, the selection, the depth or the transparency; the row is long enough for both
// the sixteen-pixel steps and the pixels left over.
TEST(TileComposer, TheShortCutsGiveWhatTheFullStepsGive) {
    constexpr int32_t kW = 101, kH = 3;
    constexpr int32_t kPixels = kW * kH;
    // Runs of no, whole and partial coverage of different lengths, shifted between the passes; the
    // first pass alone on the first row, the second joins it on the second, the third on the last.
    auto runs = [](int32_t shift, int32_t fromRow) {
        std::vector<uint8_t> c(kPixels);
        for (int32_t i = fromRow * kW; i < kPixels; ++i) {
            const int32_t k = (i + shift) % 37;
            c[i] = static_cast<uint8_t>(k < 14 ? 0 : k < 30 ? 255 : k * 7);
        }
        return c;
    };
    const std::vector<uint8_t> a = runs(0, 0), b = runs(17, 1), knocked = runs(5, 2);
    std::vector<uint8_t> bevelCoverage(kPixels), selection(kPixels);
    for (int32_t i = 0; i < kPixels; ++i) {
        bevelCoverage[i] = static_cast<uint8_t>(i % 23 < 4 ? 90 : 0);
        selection[i] = static_cast<uint8_t>(i % 41 < 30 ? 255 : i % 41 < 35 ? 0 : 128);
    }
    BevelShading flat;
    const BevelLight light{};
    flat.light = &light;
    flat.coverage = bevelCoverage.data();
    for (int32_t c = 0; c < 4; ++c) {
        flat.baseGain[c] = 0x4000 * (c + 1);
        flat.highlightWord[c] = 0x100000;
    }

    for (const bool sixteen : {false, true}) {
        for (const bool transparency : {false, true}) {
            for (const bool masked : {false, true}) {
                SCOPED_TRACE(std::string(sixteen ? "16-bit" : "8-bit") + (transparency ? " transparent" : " opaque") +
                             (masked ? " masked" : ""));
                ComposeLayout l = Layout(3, transparency ? 1 : 0, sixteen);
                l.outputTransparency = transparency;
                ComposePass first = SolidPass(a, {200, 100, 50, 0});
                first.bevel = &flat;
                ComposePass second = SolidPass(b, {10, 220, 30, 0});
                second.blendTable = PhotoTable();
                ComposePass third = SolidPass(knocked, {90, 90, 90, 0});
                third.kind = 3;
                third.knockOutPass = 0;
                const std::vector<ComposePass> passes = {first, second, third};

                const size_t bytes = sixteen ? 2 : 1;
                std::vector<uint8_t> input(kPixels * l.inputStride * bytes);
                for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 29 + 3);
                if (sixteen)
                    for (size_t i = 1; i < input.size(); i += 2) input[i] &= 0x7F;  // samples up to 32767
                std::vector<uint8_t> shortCut(input.size(), 0), full(input.size(), 0), cache(kPixels * 4);
                ComposeBuffers buffers;
                buffers.rect = Rect16{0, 0, kH, kW};
                buffers.input = input.data();
                buffers.inputRowBytes = int64_t{kW} * l.inputStride * static_cast<int64_t>(bytes);
                buffers.outputRowBytes = buffers.inputRowBytes;
                if (masked) {
                    buffers.mask = selection.data();
                    buffers.maskRowBytes = kW;
                }
                buffers.output = shortCut.data();
                ComposeTilePixels(l, passes, buffers);
                buffers.output = full.data();
                buffers.cache = cache.data();
                ComposeTilePixels(l, passes, buffers);
                EXPECT_EQ(shortCut, full);
                EXPECT_NE(shortCut, input);
            }
        }
    }
}

}  // namespace

// ---- Three-part frames: a colour image with inner and outer masks

namespace {

// One row through the composer over a black photo; answers the frame-only composite the cache
// keeps: the set's Nc colours and its alpha, a pixel at a time.
std::vector<uint8_t> FrameComposite(const ComposeLayout& layout, const std::vector<ComposePass>& passes, int32_t count) {
    std::vector<uint8_t> input(static_cast<size_t>(count) * layout.inputStride, 0), output(input.size());
    std::vector<uint8_t> cache(static_cast<size_t>(count) * (layout.colourChannels + 1), 0x5A);
    ComposeBuffers b;
    b.rect = Rect16{0, 0, 1, static_cast<int16_t>(count)};
    b.input = input.data();
    b.inputRowBytes = static_cast<int64_t>(input.size());
    b.output = output.data();
    b.outputRowBytes = static_cast<int64_t>(output.size());
    b.cache = cache.data();
    ComposeTilePixels(layout, passes, b);
    return cache;
}

// The frame's colour everywhere (Nc bytes a pixel) and its masks, pixel by pixel.
struct ThreePartRow {
    std::vector<uint8_t> colour, inner, outer;
    ThreePartPlanes planes;

    ThreePartRow(std::vector<uint8_t> frameColour, size_t count, std::vector<uint8_t> innerMask, std::vector<uint8_t> outerMask) {
        for (size_t i = 0; i < count; ++i) colour.insert(colour.end(), frameColour.begin(), frameColour.end());
        inner = std::move(innerMask);
        outer = std::move(outerMask);
        planes.colour = colour.data();
        planes.inner = inner.data();
        planes.outer = outer.data();
    }
};

// The background takes the inner coverage i beside its own c: the frame's colour where only the
// frame covers (and the background opaque), the fill where only the inside does, a mix weighed by
// the two elsewhere; a background that is not opaque keeps the frame's colour and mixes the alphas.
TEST(TileComposerThreePart, TheBackgroundMixesTheFrameColourWithItsFill) {
    struct Case {
        uint8_t c, i, alpha;
        std::array<uint8_t, 4> composite;  // colour and alpha of the frame-only composite
    };
    const Case cases[] = {
        {255, 0, 100, {200, 100, 50, 255}},  // the frame alone, opaque whatever the fill's alpha
        {0, 255, 255, {20, 40, 60, 255}},    // the fill alone
        {0, 255, 100, {20, 40, 60, 100}},    // the fill alone keeps its alpha
        {100, 100, 255, {110, 70, 55, 200}}, // halves: (200 x 32768 + 20 x 32768) >> 16; coverage 200
        {100, 100, 100, {200, 100, 50, 139}},// alpha (100 x 32768 + 32768 x 255) >> 16 = 177 at coverage 200
        {200, 100, 255, {139, 79, 53, 255}}, // weights 43690 and 21845; the coverage capped at 255
        {255, 255, 255, {110, 70, 55, 255}},
        {0, 0, 255, {0, 0, 0, 0}},           // nothing
    };
    const size_t count = std::size(cases);
    std::vector<uint8_t> coverage, inner;
    for (const Case& c : cases) {
        coverage.push_back(c.c);
        inner.push_back(c.i);
    }
    ThreePartRow frame({200, 100, 50}, count, inner, std::vector<uint8_t>(count, 0));
    frame.planes.backgroundPass = 0;
    for (size_t k = 0; k < count; ++k) {
        SCOPED_TRACE(testing::Message() << "c " << int(cases[k].c) << " i " << int(cases[k].i) << " alpha " << int(cases[k].alpha));
        ComposePass background = SolidPass(coverage, {20, 40, 60, 0});
        background.threePart = &frame.planes;
        background.alpha = cases[k].alpha;
        const std::vector<uint8_t> composite = FrameComposite(Layout(3, 0, false), {background}, static_cast<int32_t>(count));
        EXPECT_EQ(std::vector<uint8_t>(composite.begin() + k * 4, composite.begin() + k * 4 + 4),
                  std::vector<uint8_t>(cases[k].composite.begin(), cases[k].composite.end()));
    }
    // The fill is the background's texture where it has one; a background whose colour was left in
    // a space of its own takes no inner coverage.
    ComposePass background = SolidPass(coverage, {20, 40, 60, 0});
    background.threePart = &frame.planes;
    const uint8_t texel[] = {5, 6, 7};
    const ColourTexture texture{texel, 1, 1, 3};
    background.texture = &texture;
    const std::vector<uint8_t> textured = FrameComposite(Layout(3, 0, false), {background}, 2);
    EXPECT_EQ(std::vector<uint8_t>(textured.begin() + 4, textured.end()), (std::vector<uint8_t>{5, 6, 7, 255}));
    frame.planes.colourSpaceFlag = true;
    EXPECT_EQ(FrameComposite(Layout(3, 0, false), {background}, 2), (std::vector<uint8_t>{200, 100, 50, 255, 0, 0, 0, 0}));
}

// A three-part frame's outer glows and shadows draw only where its outer mask is, the inner ones
// where its inner mask is; its borders are not clipped, and no pass of it is knocked out.
TEST(TileComposerThreePart, GlowsAndShadowsAreClippedByTheFrameMasks) {
    const std::vector<uint8_t> coverage = {255, 255, 0xAA, 0xAA};
    ThreePartRow frame({0}, 4, {0x33, 0xCC, 0x33, 0xCC}, {0x0F, 0xF0, 0x0F, 0xF0});
    frame.planes.innerEffects = true;
    // The alpha of a lone pass of coverage v is v.
    auto alphas = [&](int32_t kind, const ThreePartPlanes* planes) {
        ComposePass pass = SolidPass(coverage, {90, 0, 0, 0});
        pass.kind = kind;
        pass.threePart = planes;
        const std::vector<uint8_t> composite = FrameComposite(Layout(1, 0, false), {pass}, 4);
        return std::vector<uint8_t>{composite[1], composite[3], composite[5], composite[7]};
    };
    for (const int32_t kind : {2, 3}) EXPECT_EQ(alphas(kind, &frame.planes), (std::vector<uint8_t>{0x0F, 0xF0, 0x0A, 0xA0}));
    for (const int32_t kind : {-2, -3}) EXPECT_EQ(alphas(kind, &frame.planes), (std::vector<uint8_t>{0x33, 0xCC, 0x22, 0x88}));
    for (const int32_t kind : {1, -1}) EXPECT_EQ(alphas(kind, &frame.planes), coverage);
    EXPECT_EQ(alphas(2, nullptr), coverage);  // another layer's glow is not clipped

    const std::vector<uint8_t> full(4, 255);
    ComposePass knocking = SolidPass(full, {0, 0, 0, 0});
    knocking.blendTable = nullptr;  // draws nothing itself
    ComposePass border = SolidPass(full, {90, 0, 0, 0});
    border.kind = 1;
    border.knockOutPass = 0;
    EXPECT_EQ(FrameComposite(Layout(1, 0, false), {knocking, border}, 4)[1], 0);
    border.threePart = &frame.planes;
    EXPECT_EQ(FrameComposite(Layout(1, 0, false), {knocking, border}, 4)[1], 255);
}

// With effects on the inner side, the background's fill is drawn before the layer's first pass,
// beneath them, and the background again in its place in the frame's colour alone, above them:
// an inner shadow darkens the inside of the frame but not the frame.
TEST(TileComposerThreePart, InnerEffectsLieBetweenTheFillAndTheFrame) {
    // Pixel 0 inside the frame (i = 255), pixel 1 on the frame (c = 255).
    ThreePartRow frame({200}, 2, {255, 0}, {0, 0});
    frame.planes.backgroundPass = 2;
    frame.planes.innerEffects = true;
    const std::vector<uint8_t> full = {255, 255}, none = {0, 0}, onFrame = {0, 255};
    ComposePass shadow = SolidPass(full, {100, 0, 0, 0});
    shadow.kind = -3;
    shadow.weight = 128;
    ComposePass glow = SolidPass(none, {0, 0, 0, 0});  // a second inner pass: the fill is drawn once
    glow.kind = -2;
    ComposePass background = SolidPass(onFrame, {20, 0, 0, 0});
    for (ComposePass* p : {&shadow, &glow, &background}) {
        p->layer = 3;
        p->threePart = &frame.planes;
    }
    // Inside: the fill 20, then the shadow at m = 128 x 255 over it:
    // (100 x 8323200 + 20 x 8258175 + 8290687) / 16581375 = 60. On the frame: its colour.
    EXPECT_EQ(FrameComposite(Layout(1, 0, false), {shadow, glow, background}, 2), (std::vector<uint8_t>{60, 255, 200, 255}));
    // A background colour in a space of its own takes no inner coverage and keeps its place: the
    // shadow alone inside (alpha ((255 x 32640 + 32385) x 258) >> 24 = 128).
    frame.planes.colourSpaceFlag = true;
    EXPECT_EQ(FrameComposite(Layout(1, 0, false), {shadow, glow, background}, 2), (std::vector<uint8_t>{100, 128, 200, 255}));
}

// The bevel's outer light (the surface texture's relief) shows on a three-part frame only inside
// it, where the inner coverage is, its slopes scaled by that coverage: on the frame alone the flat
// gains light it, inside it the surface as on any layer, in between the surface flattened.
TEST(TileComposerThreePart, TheSurfaceLightFollowsTheInnerCoverage) {
    BuildFirstRunTables();  // the shading's angle and falloff tables
    BevelLight light{};
    const uint8_t plastic[4] = {4, 40, 15, 40};
    ImageSetupBevelLight(light, 0.6, 2.0, plastic);
    // A 1 x 1 surface texture in its one-texel guard: slopes of (10 - 250) and (30 - 200).
    const uint8_t surface[9] = {0, 30, 0, 10, 128, 250, 0, 200, 0};
    BevelShading bevel;
    bevel.light = &light;
    bevel.lightOn = true;
    bevel.surface = surface;
    bevel.surfaceWidth = bevel.surfaceHeight = 1;
    bevel.surfaceStride = 3;
    bevel.slopeScale = 1.0 / 64;  // a power of two: scaling it scales the slopes exactly
    for (int32_t c = 0; c < 4; ++c) {
        bevel.channelGain[c] = 200 + c;
        bevel.highlight[c] = 40;
        bevel.baseGain[c] = 0x3000;
        bevel.highlightWord[c] = 0x80000;
    }
    bevel.flatTerm = light.level0;

    const std::vector<uint8_t> coverage = {255, 0, 127}, inner = {0, 255, 128};
    ThreePartRow frame({200, 100, 50}, 3, inner, {0, 0, 0});
    ComposePass background = SolidPass(coverage, {20, 40, 60, 0});
    background.threePart = &frame.planes;
    background.bevel = &bevel;
    const std::vector<uint8_t> lit = FrameComposite(Layout(3, 0, false), {background}, 3);

    // The same colours on a layer of one image, one pixel each.
    auto plain = [&](std::array<uint8_t, 4> colour, const BevelShading& b) {
        const std::vector<uint8_t> one = {255};
        ComposePass pass = SolidPass(one, colour);
        pass.bevel = &b;
        return FrameComposite(Layout(3, 0, false), {pass}, 1);
    };
    BevelShading flat = bevel;
    flat.surface = nullptr;
    BevelShading shallow = bevel;
    shallow.slopeScale = 128 / 255.0 / 64;
    // The mix at c 127, i 128: weights 32896 and 32639 of 65535.
    const std::array<uint8_t, 4> mixed = {static_cast<uint8_t>((200 * 32639 + 20 * 32896) >> 16),
                                          static_cast<uint8_t>((100 * 32639 + 40 * 32896) >> 16),
                                          static_cast<uint8_t>((50 * 32639 + 60 * 32896) >> 16), 0};
    EXPECT_EQ(std::vector<uint8_t>(lit.begin(), lit.begin() + 4), plain({200, 100, 50, 0}, flat));
    EXPECT_EQ(std::vector<uint8_t>(lit.begin() + 4, lit.begin() + 8), plain({20, 40, 60, 0}, bevel));
    EXPECT_EQ(std::vector<uint8_t>(lit.begin() + 8, lit.end()), plain(mixed, shallow));
    // The three differ: the gate and the scaling are seen.
    EXPECT_NE(plain({20, 40, 60, 0}, bevel), plain({20, 40, 60, 0}, flat));
    EXPECT_NE(plain(mixed, shallow), plain(mixed, bevel));
}

// The short cuts (runs no pass covers copied, runs one opaque pass covers taking its colour) give
// what the full steps give with three-part frames among the passes: a background covers wherever
// its inner coverage reaches, though its own coverage is 0 there, and its colour is never its
// pass colour alone.
TEST(TileComposerThreePart, TheShortCutsGiveWhatTheFullStepsGive) {
    constexpr int32_t kW = 101, kH = 3, kPixels = kW * kH;
    auto runs = [](int32_t period, int32_t shift, int32_t from, int32_t to) {
        std::vector<uint8_t> c(kPixels);
        for (int32_t i = 0; i < kPixels; ++i) {
            const int32_t k = (i + shift) % period;
            c[i] = static_cast<uint8_t>(k < from ? 0 : k < to ? 255 : k * 9);
        }
        return c;
    };
    // The frame covers some runs, its inside others (with no other pass there), its glow runs round.
    const std::vector<uint8_t> frameCoverage = runs(40, 0, 20, 34), inner = runs(40, 20, 20, 34), outer = runs(29, 3, 10, 25);
    const std::vector<uint8_t> glowCoverage = runs(31, 7, 16, 28), shadowCoverage = runs(23, 2, 12, 20);
    const std::vector<uint8_t> plainCoverage = runs(53, 11, 30, 45);
    std::vector<uint8_t> colours;
    for (int32_t i = 0; i < kPixels; ++i)
        for (int32_t c = 0; c < 3; ++c) colours.push_back(static_cast<uint8_t>(i * 13 + c * 70));

    for (const bool innerEffects : {false, true}) {
        for (const bool sixteen : {false, true}) {
            SCOPED_TRACE(std::string(innerEffects ? "inner effects" : "outer effects") + (sixteen ? ", 16-bit" : ", 8-bit"));
            ThreePartPlanes planes{colours.data(), inner.data(), outer.data(), 2, innerEffects, false};
            ComposePass glow = SolidPass(glowCoverage, {250, 250, 0, 0});
            glow.kind = innerEffects ? -2 : 2;
            ComposePass shadow = SolidPass(shadowCoverage, {0, 0, 90, 0});
            shadow.kind = innerEffects ? -3 : 3;
            ComposePass background = SolidPass(frameCoverage, {20, 40, 60, 0});
            for (ComposePass* p : {&glow, &shadow, &background}) {
                p->layer = 1;
                p->threePart = &planes;
            }
            ComposePass plain = SolidPass(plainCoverage, {9, 99, 199, 0});
            const std::vector<ComposePass> passes = {plain, shadow, background, glow};
            // (The glow follows its background here: the composer takes the passes in the order given.)
            ComposeLayout l = Layout(3, 0, sixteen);
            const size_t bytes = sixteen ? 2 : 1;
            std::vector<uint8_t> input(kPixels * 3 * bytes);
            for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 31 + 5);
            if (sixteen)
                for (size_t i = 1; i < input.size(); i += 2) input[i] &= 0x7F;
            std::vector<uint8_t> shortCut(input.size(), 0), full(input.size(), 0), cache(kPixels * 4);
            ComposeBuffers buffers;
            buffers.rect = Rect16{0, 0, kH, kW};
            buffers.input = input.data();
            buffers.inputRowBytes = int64_t{kW} * 3 * static_cast<int64_t>(bytes);
            buffers.outputRowBytes = buffers.inputRowBytes;
            buffers.output = shortCut.data();
            ComposeTilePixels(l, passes, buffers);
            buffers.output = full.data();
            buffers.cache = cache.data();
            ComposeTilePixels(l, passes, buffers);
            EXPECT_EQ(shortCut, full);
            // The inside alone, where only the inner coverage reaches, shows the fill.
            int32_t insideOnly = -1;
            for (int32_t i = 0; i < kPixels && insideOnly < 0; ++i)
                if (inner[i] == 255 && frameCoverage[i] == 0 && plainCoverage[i] == 0 && glowCoverage[i] == 0 && shadowCoverage[i] == 0)
                    insideOnly = i;
            ASSERT_GE(insideOnly, 0);
            if (!sixteen) {
                EXPECT_EQ(std::vector<uint8_t>(full.begin() + insideOnly * 3, full.begin() + insideOnly * 3 + 3),
                          (std::vector<uint8_t>{20, 40, 60}));
            }
        }
    }
}

}  // namespace
