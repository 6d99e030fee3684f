// Rendering through the stand-in host: every sample preset in every image mode, independent of
// the host's tiles and buffer budget; the photo alone without layers; the photo position; golden
// images of the presets with pixels checked by hand; damaged blocks that must not crash; stored
// numbers far outside their ranges; and a scripted run with 'FwnL' that takes the photo from the
// target layer's channels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "File.h"
#include "FirstRunTables.h"
#include "HostSession.h"
#include "ImageFiles.h"
#include "SamplePresets.h"
#include "ScriptedHost.h"
#include "SettingsDefaults.h"
#include "SettingsLayout.h"

namespace {

using qvhost::ColorMode;
using qvhost::Document;
using qvhost::ImageMode;

std::string PluginPath() { return std::string(std::getenv("QUORVEL_BIN")) + "/Quorvel.8bf"; }
std::string TempPath(const std::string& name) {
    const char* temp = std::getenv("TEMP");
    return std::string(temp ? temp : ".") + "\\" + name;
}
std::string GoldenPath(const std::string& name) {
    std::string path = SamplesFolder();
    path.resize(path.size() - std::string("samples").size());
    return path + "tests\\Render\\golden\\" + name + ".png";
}

const std::vector<ImageMode>& AllModes() {
    static const std::vector<ImageMode> modes = {{ColorMode::Gray, 8}, {ColorMode::Gray, 16}, {ColorMode::RGB, 8},
                                                 {ColorMode::RGB, 16}, {ColorMode::CMYK, 8}, {ColorMode::CMYK, 16}};
    return modes;
}

// A photo with structure in every plane.
Document Patterned(int32_t width, int32_t height, ImageMode mode) {
    Document d(width, height, mode);
    for (int p = 0; p < mode.Planes(); ++p)
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                d.SetSample(p, x, y, static_cast<uint16_t>((x * 37 + y * 11 + p * 71) % (mode.FullValue() + 1)));
    return d;
}

// The bundled photo at 640 x 480, nearest pixel.
Document SmallPhoto() {
    qvhost::RasterImage image;
    std::string error;
    std::string path = SamplesFolder() + "\\photo.png";
    EXPECT_TRUE(qvhost::ReadImageFile(path, image, error)) << error;
    const Document full = Document::FromImage(image, ImageMode{ColorMode::RGB, 8});
    Document small(640, 480, ImageMode{ColorMode::RGB, 8});
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < 480; ++y)
            for (int32_t x = 0; x < 640; ++x)
                small.SetSample(p, x, y, full.Sample(p, x * full.Width() / 640, y * full.Height() / 480));
    return small;
}

// A transparency plane with structure of its own: the photo's pattern in a one-plane mode.
qvhost::PixelSource PatternedTransparency(const Document& d) {
    const Document alpha = Patterned(d.Width(), d.Height(), ImageMode{ColorMode::Gray, d.Mode().depth});
    return qvhost::PixelSource{{std::vector<uint16_t>(alpha.PlaneRow(0, 0), alpha.PlaneRow(0, 0) + int64_t{d.Width()} * d.Height())}, {}, {}};
}

struct Rendered {
    int16_t startResult = INT16_MIN;
    Document output;
    std::vector<std::string> alerts;  // "alert ID answered N: texts"
    qvhost::HostStatistics statistics;
};

struct RenderOptions {
    int32_t tile = 0;
    int64_t budget = int64_t{256} << 20;
    std::optional<qvhost::PixelSource> transparency;
};

Rendered Render(const SamplePreset& preset, const Document& document, RenderOptions o = {}) {
    const std::string path = TempPath("render-" + preset.name + ".qvo");
    EXPECT_TRUE(WriteSamplePreset(preset, path));
    qvhost::HostOptions options;
    options.pluginPath = PluginPath();
    options.document = document;
    options.mode = document.Mode();
    options.settingsIn = path;
    options.frameFolder = SamplesFolder();
    options.tile = o.tile;
    options.budget = o.budget;
    options.transparency = o.transparency;
    qvhost::HostSession session(options);
    const qvhost::HostRunResult result = session.Run();
    Rendered r;
    if (const qvhost::CallRecord* start = result.Find(3)) r.startResult = start->result;
    r.output = session.GetDocument();
    r.alerts = result.alerts;
    r.statistics = session.Statistics();
    return r;
}

bool SamePixels(const Document& a, const Document& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.SamplePlanes() != b.SamplePlanes()) return false;
    for (int p = 0; p < a.SamplePlanes(); ++p)
        for (int32_t y = 0; y < a.Height(); ++y)
            for (int32_t x = 0; x < a.Width(); ++x)
                if (a.Sample(p, x, y) != b.Sample(p, x, y)) return false;
    return true;
}

// A preset of one ellipse layer, optionally changed by `edit`.
template <typename Edit>
SamplePreset OneLayer(const std::string& name, int32_t photoPosition, Edit edit) {
    SamplePreset preset = SamplePresets()[0];
    preset.name = name;
    preset.photoPosition = photoPosition;
    edit(ParameterBlockView(preset.block.data(), static_cast<int64_t>(preset.block.size())).Layer(0));
    return preset;
}

TEST(RenderThroughHost, EveryPresetInEveryModeIsTheSameWhateverTheTiles) {
    for (const SamplePreset& preset : SamplePresets()) {
        for (const ImageMode& mode : AllModes()) {
            SCOPED_TRACE(preset.name + " " + mode.Name());
            const Document photo = Patterned(96, 64, mode);
            const Rendered whole = Render(preset, photo);
            ASSERT_EQ(whole.startResult, 0);
            EXPECT_FALSE(SamePixels(whole.output, photo));
            // Small tiles from a small budget; frame files must still be held whole.
            const int64_t budget = preset.name == "frame-file" || preset.name == "three-part" ? int64_t{64} << 20 : int64_t{1} << 20;
            const Rendered tiled = Render(preset, photo, RenderOptions{16, budget});
            ASSERT_EQ(tiled.startResult, 0);
            EXPECT_TRUE(SamePixels(whole.output, tiled.output));
        }
    }
}

// A preset without frame layers: the first sample's block with its layers taken away.
SamplePreset EmptyPreset() {
    SamplePreset empty = SamplePresets()[0];
    empty.name = "empty";
    empty.photoPosition = 0;
    ParameterBlockView view(empty.block.data(), static_cast<int64_t>(empty.block.size()));
    view.Block().Set(BlockLayout::kLayerCount, 0);
    view.Layer(0).Set(LayerLayout::kEnabled, 0);
    return empty;
}

TEST(RenderThroughHost, WithoutLayersTheOutputIsThePhoto) {
    const SamplePreset empty = EmptyPreset();
    for (const ImageMode& mode : AllModes()) {
        SCOPED_TRACE(mode.Name());
        const Document photo = Patterned(50, 30, mode);
        const Rendered r = Render(empty, photo);
        ASSERT_EQ(r.startResult, 0);
        EXPECT_TRUE(SamePixels(r.output, photo));
    }
}

// Without layers an opaque photo comes out as it went in, so the final pass asks the host for no
// pixel at all. With transparency the pass still runs: a clear pixel's colour comes out as 0.
TEST(RenderThroughHost, WithoutLayersAnOpaquePhotoIsNotAskedFor) {
    const SamplePreset empty = EmptyPreset();
    for (const ImageMode mode : {ImageMode{ColorMode::RGB, 8}, ImageMode{ColorMode::Gray, 16}}) {
        SCOPED_TRACE(mode.Name());
        const Document photo = Patterned(50, 30, mode);
        const Rendered opaque = Render(empty, photo);
        ASSERT_EQ(opaque.startResult, 0);
        EXPECT_TRUE(SamePixels(opaque.output, photo));
        EXPECT_EQ(opaque.statistics.advanceStateCalls, 0);
        EXPECT_EQ(opaque.statistics.bytesDelivered, 0);

        RenderOptions transparent;
        transparent.transparency = PatternedTransparency(photo);
        const Rendered clear = Render(empty, photo, transparent);
        ASSERT_EQ(clear.startResult, 0);
        EXPECT_GT(clear.statistics.advanceStateCalls, 0);
        int32_t clearPixels = 0;
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 50; ++x) {
                const uint16_t alpha = clear.output.Sample(mode.Planes(), x, y);
                clearPixels += alpha == 0;
                for (int p = 0; p < mode.Planes(); ++p)
                    ASSERT_EQ(clear.output.Sample(p, x, y), alpha == 0 ? 0 : photo.Sample(p, x, y)) << x << "," << y;
            }
        EXPECT_GT(clearPixels, 0);
    }
}

// A budget that holds the host's reserve, what the passes set up once and one tile of a pixel
// renders the image with the same pixels as an ample budget: the tiles shrink to what the budget
// holds, and no buffer is held that the run does not use. 600 x 400 is a hundredth of a 6000 x
// 4000 photo: 1280, 512 and 160 KB are 128, 50 and 16 MB there.
TEST(RenderThroughHost, ABudgetHoldingOneSmallTileRendersTheSamePixels) {
    struct Case {
        size_t preset;
        std::vector<int64_t> budgets;
    };
    const std::vector<Case> cases = {
        {0, {int64_t{1280} << 10, int64_t{512} << 10, int64_t{160} << 10, int64_t{96} << 10}},  // ellipse-shadow
        {1, {int64_t{512} << 10, int64_t{128} << 10}},  // rounded-rectangle
        {2, {int64_t{512} << 10}},                       // star-edges: its edge tables alone take 256 KB
        {3, {int64_t{512} << 10, int64_t{96} << 10}},    // blend-stack
    };
    const std::vector<SamplePreset> presets = SamplePresets();
    for (const Case& c : cases) {
        for (const ImageMode mode : {ImageMode{ColorMode::RGB, 8}, ImageMode{ColorMode::RGB, 16}}) {
            SCOPED_TRACE(presets[c.preset].name + " " + mode.Name());
            const Document photo = Patterned(600, 400, mode);
            const Rendered ample = Render(presets[c.preset], photo);
            ASSERT_EQ(ample.startResult, 0);
            for (const int64_t budget : c.budgets) {
                SCOPED_TRACE(budget);
                const Rendered tight = Render(presets[c.preset], photo, RenderOptions{0, budget, {}});
                ASSERT_EQ(tight.startResult, 0);
                EXPECT_TRUE(SamePixels(ample.output, tight.output));
            }
        }
    }
}

TEST(RenderThroughHost, ThePhotoIsResampledThroughItsPlacement) {
    SamplePreset flipped = SamplePresets()[0];
    flipped.name = "flipped";
    ParameterBlockView view(flipped.block.data(), static_cast<int64_t>(flipped.block.size()));
    view.Block().Set(BlockLayout::kLayerCount, 0);
    view.Layer(0).Set(LayerLayout::kEnabled, 0);
    view.Background().Set(LayerLayout::kFlipHorizontal, 1);
    for (const ImageMode mode : {ImageMode{ColorMode::RGB, 8}, ImageMode{ColorMode::Gray, 16}}) {
        SCOPED_TRACE(mode.Name());
        const Document photo = Patterned(50, 30, mode);
        const Rendered r = Render(flipped, photo);
        ASSERT_EQ(r.startResult, 0);
        // Column x samples the photo at 50 - x (pixel corners mirror onto each other): column 0
        // falls just outside it and is 0.
        for (int p = 0; p < mode.Planes(); ++p)
            for (int32_t y : {0, 17}) {
                EXPECT_EQ(r.output.Sample(p, 0, y), 0);
                for (int32_t x = 1; x < 50; ++x) ASSERT_EQ(r.output.Sample(p, x, y), photo.Sample(p, 50 - x, y)) << x;
            }
    }
    // Half the size: the photo is reduced with the B-spline about the centre; the corners are empty.
    view.Background().Set(LayerLayout::kFlipHorizontal, 0);
    view.Background().Set(LayerLayout::kScaleX, 0.5f);
    view.Background().Set(LayerLayout::kScaleY, 0.5f);
    const Document photo = Patterned(50, 30, ImageMode{ColorMode::RGB, 8});
    const Rendered half = Render(flipped, photo);
    ASSERT_EQ(half.startResult, 0);
    EXPECT_EQ(half.output.Sample(0, 2, 2), 0);
    EXPECT_EQ(half.output.Sample(1, 47, 27), 0);
    EXPECT_NE(half.output.Sample(0, 25, 15), 0);
}

TEST(RenderThroughHost, ThePhotoPositionPutsLayersUnderOrOverThePhoto) {
    const Document photo = Patterned(60, 40, ImageMode{ColorMode::RGB, 8});
    // Position 0: the layer lies under the opaque photo and cannot be seen.
    const Rendered under = Render(OneLayer("under", 0, [](RecordRef) {}), photo);
    ASSERT_EQ(under.startResult, 0);
    EXPECT_TRUE(SamePixels(under.output, photo));
    // Position N: the layer is over it; its white background fills the corner.
    const Rendered over = Render(OneLayer("over", 1, [](RecordRef) {}), photo);
    ASSERT_EQ(over.startResult, 0);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(over.output.Sample(p, 0, 0), 255);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(over.output.Sample(p, 30, 20), photo.Sample(p, 30, 20));
}

// Two copies of the first preset's ellipse (shadow off), both over the photo; `edit` changes the
// upper one (layer 0).
template <typename Edit>
SamplePreset TwoEllipses(const std::string& name, Edit edit) {
    const SamplePreset one = SamplePresets()[0];
    SamplePreset two{name, std::vector<uint8_t>(static_cast<size_t>(ParameterBlockView::SizeFor(2, 0) + 8), 0), 2};
    std::copy_n(one.block.begin(), BlockLayout::kLayers, two.block.begin());
    ParameterBlockView view(two.block.data(), static_cast<int64_t>(two.block.size()));
    view.Block().Set(BlockLayout::kSize, static_cast<uint16_t>(two.block.size() - 8));
    view.Block().Set(BlockLayout::kLayerCount, 2);
    const ParameterBlockView source(const_cast<uint8_t*>(one.block.data()), static_cast<int64_t>(one.block.size()));
    for (int32_t i = 0; i < 2; ++i) {
        std::memcpy(view.Layer(i).Bytes(), source.Layer(0).Bytes(), LayerLayout::kLength);
        EffectOf(view.Layer(i), EffectLayout::kShadow).Set(EffectLayout::kOn, 0);
    }
    edit(view.Layer(0));
    return two;
}

// The upper ellipse's background of colour alpha 0 erases the lower
// one where it covers it, as alpha 1 almost does: no jump between the two. Over an opaque
// photo with a transparency plane, the corner (both backgrounds, coverage 255) keeps the photo's
// colours and takes the upper background's alpha (the transmittance alpha: P = 255); the centre
// is the photo.
TEST(RenderThroughHost, ABackgroundOfAlphaZeroErasesTheLayersBeneath) {
    Document photo = Patterned(60, 40, ImageMode{ColorMode::RGB, 8});
    photo.SetTransparency(255);
    for (const uint16_t alpha : {uint16_t{0}, uint16_t{1}}) {
        SCOPED_TRACE(alpha);
        const SamplePreset preset = TwoEllipses("alpha" + std::to_string(alpha), [alpha](RecordRef upper) {
            EffectOf(upper, EffectLayout::kBackground).Sub(EffectLayout::kColour).Set(ColourLayout::kAlpha, alpha);
        });
        const Rendered r = Render(preset, photo);
        ASSERT_EQ(r.startResult, 0);
        ASSERT_TRUE(r.output.HasTransparency());
        for (const auto [x, y] : {std::pair{0, 0}, std::pair{59, 39}}) {
            // Alpha 0: the photo's colours; alpha 1: the white background at weight 65025 beside
            // the photo's 16516350, at most 1 more.
            for (int p = 0; p < 3; ++p) {
                EXPECT_GE(r.output.Sample(p, x, y), photo.Sample(p, x, y)) << p;
                EXPECT_LE(r.output.Sample(p, x, y), photo.Sample(p, x, y) + alpha) << p;
            }
            EXPECT_EQ(r.output.Sample(3, x, y), alpha);
        }
        for (int p = 0; p < 4; ++p) EXPECT_EQ(r.output.Sample(p, 30, 20), photo.Sample(p, 30, 20)) << p;
    }
}

TEST(RenderThroughHost, DamagedLayerSettingsRenderWithoutACrash) {
    const Document photo = Patterned(40, 30, ImageMode{ColorMode::RGB, 8});
    const std::vector<SamplePreset> damaged = {
        OneLayer("kind0", 1, [](RecordRef l) { ShapeOf(l).Set(ShapeLayout::kKind, 0); }),
        OneLayer("kind99", 1, [](RecordRef l) { ShapeOf(l).Set(ShapeLayout::kKind, 99); }),
        OneLayer("sides0", 1, [](RecordRef l) {
            ShapeOf(l).Set(ShapeLayout::kKind, 3);
            ShapeOf(l).Set(ShapeLayout::kSides, 0);
        }),
        OneLayer("sides1", 1, [](RecordRef l) {
            ShapeOf(l).Set(ShapeLayout::kKind, 4);
            ShapeOf(l).Set(ShapeLayout::kSides, 1);
        }),
        OneLayer("blend0", 1, [](RecordRef l) { EffectOf(l, 0).Set(EffectLayout::kBlendMode, 0); }),
        OneLayer("edge99", 1, [](RecordRef l) {
            EdgeOf(l, 0).Set(EdgeLayout::kOn, 1);
            EdgeOf(l, 0).Set(EdgeLayout::kType, 99);
        }),
    };
    for (const SamplePreset& preset : damaged) {
        SCOPED_TRACE(preset.name);
        const Rendered r = Render(preset, photo);
        EXPECT_EQ(r.startResult, 0);
        EXPECT_EQ(r.output.Width(), 40);
    }
}

// ---- Stored numbers far outside what the settings allow: each run ends in a render, of the
// values brought into range, or (for a number that is not finite, which fails validation) of the
// defaults after the corrupt-settings alert. None of them may decide how long the call runs, make
// a buffer of its own size or name a colour the host cannot convert.

// One ellipse with every effect, the bevel and an edge of each kind on.
void EveryEffectOn(RecordRef layer) {
    for (int32_t kind = 0; kind < LayerLayout::kEffectCount; ++kind) EffectOf(layer, kind).Set(EffectLayout::kOn, 1);
    BevelOf(layer).Set(BevelLayout::kOn, 1);
    const uint16_t kinds[LayerLayout::kEdgeCount] = {1, 6, 7, 8};  // wave, random, diffuse, clean
    for (int32_t slot = 0; slot < LayerLayout::kEdgeCount; ++slot) {
        EdgeOf(layer, slot).Set(EdgeLayout::kOn, 1);
        EdgeOf(layer, slot).Set(EdgeLayout::kType, kinds[slot]);
    }
}

struct ExtremeCase {
    std::string what;
    std::function<void(RecordRef layer)> set;
    bool refused;  // the block fails validation
};

std::vector<ExtremeCase> ExtremeCases() {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct FloatField {
        const char* name;
        std::function<RecordRef(RecordRef)> record;
        Field<float> field;
    };
    const auto effect = [](int32_t kind) { return [kind](RecordRef l) { return EffectOf(l, kind); }; };
    const auto bevel = [](RecordRef l) { return BevelOf(l); };
    const FloatField floats[] = {
        {"background blur", effect(0), EffectLayout::kBlur}, {"border blur", effect(1), EffectLayout::kBlur},
        {"glow blur", effect(2), EffectLayout::kBlur},       {"shadow blur", effect(3), EffectLayout::kBlur},
        {"background size", effect(0), EffectLayout::kSize}, {"border width", effect(1), EffectLayout::kSize},
        {"glow width", effect(2), EffectLayout::kSize},      {"bevel softness", bevel, BevelLayout::kSoftness},
        {"texture blur", bevel, BevelLayout::kTextureBlur},
    };
    struct ShortField {
        const char* name;
        std::function<RecordRef(RecordRef)> record;
        Field<int16_t> field;
    };
    const auto edge = [](int32_t slot) { return [slot](RecordRef l) { return EdgeOf(l, slot); }; };
    const ShortField shorts[] = {
        {"shadow rows", effect(3), EffectLayout::kShadowRows}, {"shadow columns", effect(3), EffectLayout::kShadowColumns},
        {"bevel width", bevel, BevelLayout::kWidth},
        {"wave length", edge(0), EdgeLayout::kPatternLength},  {"wave depth", edge(0), EdgeLayout::kPatternDepth},
        {"random length", edge(1), EdgeLayout::kPatternLength}, {"random depth", edge(1), EdgeLayout::kPatternDepth},
        {"diffuse depth", edge(2), EdgeLayout::kPatternDepth}, {"clean depth", edge(3), EdgeLayout::kPatternDepth},
    };
    const std::function<RecordRef(RecordRef)> colours[] = {
        [](RecordRef l) { return EffectOf(l, 0).Sub(EffectLayout::kColour); },
        [](RecordRef l) { return EffectOf(l, 1).Sub(EffectLayout::kColour); },
        [](RecordRef l) { return EffectOf(l, 2).Sub(EffectLayout::kColour); },
        [](RecordRef l) { return EffectOf(l, 3).Sub(EffectLayout::kColour); },
        [](RecordRef l) { return BevelOf(l).Sub(BevelLayout::kColour); },
    };

    std::vector<ExtremeCase> cases;
    for (const FloatField& f : floats)
        for (const float v : {1e6f, -1e6f, 3e38f, nan, inf, -inf})
            cases.push_back({std::string(f.name) + " " + std::to_string(v),
                             [f, v](RecordRef l) { f.record(l).Set(f.field, v); }, !std::isfinite(v)});
    for (const ShortField& f : shorts)
        for (const int16_t v : {int16_t{32767}, int16_t{-32768}})
            cases.push_back({std::string(f.name) + " " + std::to_string(v), [f, v](RecordRef l) { f.record(l).Set(f.field, v); },
                             false});
    for (size_t i = 0; i < std::size(colours); ++i)
        for (const int16_t space : {int16_t{6}, int16_t{7}, int16_t{32767}})
            cases.push_back({"colour " + std::to_string(i) + " in space " + std::to_string(space),
                             [record = colours[i], space](RecordRef l) { record(l).Set(ColourLayout::kSpace, space); },
                             false});
    return cases;
}

TEST(RenderThroughHost, StoredNumbersFarOutOfRangeEndCleanly) {
    const Document photo = Patterned(512, 512, ImageMode{ColorMode::RGB, 8});
    for (const ExtremeCase& c : ExtremeCases()) {
        SCOPED_TRACE(c.what);
        const Rendered r = Render(OneLayer("extreme", 1, [&c](RecordRef l) {
                                      EveryEffectOn(l);
                                      c.set(l);
                                  }),
                                  photo);
        EXPECT_EQ(r.startResult, 0);
        EXPECT_EQ(r.output.Width(), 512);
        if (c.refused) {
            ASSERT_EQ(r.alerts.size(), 1u);
            EXPECT_EQ(r.alerts[0].rfind("alert 17004 ", 0), 0u) << r.alerts[0];
        } else {
            EXPECT_TRUE(r.alerts.empty()) << r.alerts[0];
        }
    }
}

// A shadow thrown as far as its offsets reach, over an image much smaller than the throw.
TEST(RenderThroughHost, AFarShadowOverASmallImageRenders) {
    const Document photo = Patterned(37, 23, ImageMode{ColorMode::RGB, 8});
    for (const int16_t rows : {int16_t{32767}, int16_t{-32768}, int16_t{3}})
        for (const int16_t columns : {int16_t{32767}, int16_t{-32768}}) {
            SCOPED_TRACE(std::to_string(rows) + ", " + std::to_string(columns));
            const Rendered r = Render(OneLayer("far-shadow", 1, [&](RecordRef l) {
                                          EffectOf(l, 3).Set(EffectLayout::kShadowRows, rows);
                                          EffectOf(l, 3).Set(EffectLayout::kShadowColumns, columns);
                                      }),
                                      photo);
            EXPECT_EQ(r.startResult, 0);
            EXPECT_TRUE(r.alerts.empty()) << r.alerts[0];
        }
}

// ---- Golden images: 640 x 480 renders of the presets, compared exactly. Run with
// QUORVEL_WRITE_GOLDENS=1 to make them again after a deliberate change.

Document Golden(const SamplePreset& preset, const Document& output) {
    const std::string path = GoldenPath(preset.name);
    std::string error;
    if (std::getenv("QUORVEL_WRITE_GOLDENS")) {
        EXPECT_TRUE(qvhost::WriteImageFile(path, output.ToImage(), error)) << error;
    }
    qvhost::RasterImage image;
    EXPECT_TRUE(qvhost::ReadImageFile(path, image, error)) << error;
    return Document::FromImage(image, output.Mode());
}

TEST(RenderThroughHost, GoldenImagesOfThePresets) {
    BuildFirstRunTables();
    const Document photo = SmallPhoto();
    for (const SamplePreset& preset : SamplePresets()) {
        SCOPED_TRACE(preset.name);
        const Rendered r = Render(preset, photo);
        ASSERT_EQ(r.startResult, 0);
        EXPECT_TRUE(SamePixels(r.output, Golden(preset, r.output)));
    }
}

// The frame-file presets in every mode and depth: each golden holds the output's planes side by
// side as one grey image at the document's depth, so every sample is kept exactly (16-bit samples
// as the host holds them, 0..32768).
qvhost::RasterImage PlanesSideBySide(const Document& d) {
    qvhost::RasterImage image;
    const int32_t planes = d.SamplePlanes();
    image.width = d.Width() * planes;
    image.height = d.Height();
    image.channels = 1;
    image.bitDepth = d.Mode().depth;
    image.samples.resize(static_cast<size_t>(image.width) * image.height);
    for (int32_t p = 0; p < planes; ++p)
        for (int32_t y = 0; y < d.Height(); ++y)
            for (int32_t x = 0; x < d.Width(); ++x)
                image.samples[static_cast<size_t>(y) * image.width + p * d.Width() + x] = d.Sample(p, x, y);
    return image;
}

TEST(RenderThroughHost, GoldenImagesOfTheFramePresetsInEveryMode) {
    BuildFirstRunTables();
    for (const SamplePreset& preset : SamplePresets()) {
        if (preset.name != "frame-file" && preset.name != "three-part") continue;
        for (const ImageMode& mode : AllModes()) {
            SCOPED_TRACE(preset.name + " " + mode.Name());
            const Document photo = Patterned(200, 150, mode);
            const Rendered r = Render(preset, photo);
            ASSERT_EQ(r.startResult, 0);
            EXPECT_TRUE(r.alerts.empty()) << r.alerts[0];
            const qvhost::RasterImage planes = PlanesSideBySide(r.output);
            const std::string path = GoldenPath(preset.name + "-" + mode.Name());
            std::string error;
            if (std::getenv("QUORVEL_WRITE_GOLDENS")) {
                EXPECT_TRUE(qvhost::WriteImageFile(path, planes, error)) << error;
            }
            qvhost::RasterImage golden;
            ASSERT_TRUE(qvhost::ReadImageFile(path, golden, error)) << error;
            EXPECT_EQ(golden.width, planes.width);
            EXPECT_EQ(golden.height, planes.height);
            EXPECT_TRUE(golden.samples == planes.samples);
        }
    }
}

TEST(RenderThroughHost, PresetPixelsCheckedByHand) {
    BuildFirstRunTables();
    const Document photo = SmallPhoto();
    const std::vector<SamplePreset> presets = SamplePresets();
    auto pixel = [](const Document& d, int32_t x, int32_t y) {
        return std::vector<int>{d.Sample(0, x, y), d.Sample(1, x, y), d.Sample(2, x, y)};
    };
    // Ellipse with shadow: the corner is the white background alone (coverage 255, opacity 255:
    // OV = colour, a_ov = 255, so the photo's weight 16581375 - 255 x 65025 is 0); the centre is
    // the photo untouched (every coverage 0).
    const Rendered ellipse = Render(presets[0], photo);
    EXPECT_EQ(pixel(ellipse.output, 2, 2), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(pixel(ellipse.output, 320, 240), pixel(photo, 320, 240));
    // The shadow falls (10, 10) down and right: the frame just outside the ellipse's right edge
    // is darker than the white one on its left edge.
    EXPECT_LT(ellipse.output.Sample(0, 562, 250), 255);
    EXPECT_EQ(ellipse.output.Sample(0, 77, 240), 255);

    // Star with edges: the corner is the background colour (250, 245, 230).
    const Rendered star = Render(presets[2], photo);
    EXPECT_EQ(pixel(star.output, 0, 0), (std::vector<int>{250, 245, 230}));
    EXPECT_EQ(pixel(star.output, 320, 240), pixel(photo, 320, 240));

    // Blend stack: in the corner only the top layer shows (the others lie under the opaque photo):
    // Multiply of (250, 200, 120) at 80 %: weight 204, m = 204 x 255 = 52020, a_ov = ((255 x 52020
    // + 32385) x 258) >> 24 = 204, wo = 204 x 65025, wp = 16581375 - wo; E = (S wp + B wo + W/2) / W.
    const Rendered stack = Render(presets[3], photo);
    const uint8_t* multiply = BlendTables::Table(3);
    const int colour[3] = {250, 200, 120};
    for (int p = 0; p < 3; ++p) {
        const int64_t s = photo.Sample(p, 1, 1), b = multiply[colour[p] * 256 + s];
        const int64_t wo = 204 * 65025, wp = 16581375 - wo, w = wo + wp;
        EXPECT_EQ(stack.output.Sample(p, 1, 1), (s * wp + b * wo + w / 2) / w) << p;
    }

    // The oval mat: its frame covers wholly (the background colour), its opening not at all.
    const Rendered mat = Render(presets[4], photo);
    EXPECT_EQ(pixel(mat.output, 2, 2), (std::vector<int>{235, 225, 205}));
    EXPECT_EQ(pixel(mat.output, 320, 240), pixel(photo, 320, 240));

    // The carved frame: the wood in its own colours, the opening and what lies beyond the rounded
    // outline's corner (up and left of the shadow) the photo.
    const Rendered carved = Render(presets[5], photo);
    EXPECT_EQ(pixel(carved.output, 320, 240), pixel(photo, 320, 240));
    EXPECT_EQ(pixel(carved.output, 1, 1), pixel(photo, 1, 1));
    const std::vector<int> wood = pixel(carved.output, 30, 240);
    EXPECT_NE(wood, pixel(photo, 30, 240));
    EXPECT_GT(wood[0], wood[2]);  // brown: more red than blue
}

// The ellipse preset with one texture path record (the deckled sample frame, dark round a light
// opening), edited by `edit`.
template <typename Edit>
SamplePreset WithTexturePath(const std::string& name, Edit edit) {
    SamplePreset preset = SamplePresets()[0];
    preset.name = name;
    const int64_t layerEnd = ParameterHeader::kRunTimePrefix + ParameterBlockView::SizeFor(1, 0);
    preset.block.resize(static_cast<size_t>(ParameterHeader::kRunTimePrefix + ParameterBlockView::SizeFor(1, 1)), 0);
    const ParameterBlockView view(preset.block.data(), static_cast<int64_t>(preset.block.size()));
    view.Block().Set(BlockLayout::kSize, static_cast<uint16_t>(ParameterBlockView::SizeFor(1, 1)));
    view.Block().Set(BlockLayout::kPathCount, int16_t{1});
    EXPECT_EQ(view.Path(1).Bytes(), preset.block.data() + layerEnd);
    const FileSpec texture = FileSpec::FromRelativePath("frames\\Deckle.AFX");
    view.Path(1).Set(LayerLayout::kPathCapacity, uint16_t{LayerLayout::kSourceCapacity});
    std::copy(texture.bytes, texture.bytes + FileSpec::kSize, view.Path(1).At(LayerLayout::kSource));
    edit(view.Layer(0));
    return preset;
}

// The distinct colours of a square of the output.
size_t ColoursIn(const Document& d, int32_t left, int32_t top, int32_t side) {
    std::vector<std::vector<int>> seen;
    for (int32_t y = top; y < top + side; ++y)
        for (int32_t x = left; x < left + side; ++x) {
            const std::vector<int> c{d.Sample(0, x, y), d.Sample(1, x, y), d.Sample(2, x, y)};
            if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
        }
    return seen.size();
}

TEST(RenderThroughHost, PathRecordsTextureTheBackgroundAndLightItsSurface) {
    BuildFirstRunTables();
    const Document photo = SmallPhoto();
    // The background tiles the texture from the document's corner instead of its white.
    const Rendered tiled = Render(WithTexturePath("colour-texture", [](RecordRef layer) {
                                      layer.Set(LayerLayout::kBackgroundTexture, uint16_t{1});
                                  }),
                                  photo);
    ASSERT_EQ(tiled.startResult, 0);
    EXPECT_TRUE(tiled.alerts.empty()) << tiled.alerts[0];
    EXPECT_LT(tiled.output.Sample(0, 2, 2), 40);       // the texture's dark frame
    EXPECT_GT(tiled.output.Sample(0, 630, 470), 200);  // its light opening, texel (630, 470)
    EXPECT_EQ(tiled.output.Sample(0, 320, 240), photo.Sample(0, 320, 240));

    // A surface texture lights the background even with the bevel off: the plain white frame
    // takes the texture's relief.
    const Rendered plain = Render(SamplePresets()[0], photo);
    const Rendered lit = Render(WithTexturePath("surface-texture", [](RecordRef layer) {
                                    BevelOf(layer).Set(BevelLayout::kOn, uint8_t{0});
                                    BevelOf(layer).Set(BevelLayout::kSurfaceTexture, uint16_t{1});
                                    BevelOf(layer).Set(BevelLayout::kTextureHeight, 50.0f);
                                }),
                                photo);
    ASSERT_EQ(lit.startResult, 0);
    EXPECT_TRUE(lit.alerts.empty()) << lit.alerts[0];
    // Where the texture's torn top edge (texel row 140) crosses the frame right of the ellipse,
    // the relief shows; the plain frame there is one colour.
    EXPECT_EQ(ColoursIn(plain.output, 616, 128, 24), 1u);
    EXPECT_GT(ColoursIn(lit.output, 616, 128, 24), 1u);
}

// Stands between the plug-in and the host's channel reads: counts them and can fail them.
struct PortSpy {
    const ChannelPortProcs* host = nullptr;
    ChannelPortProcs wrapped{};
    int32_t reads = 0;
    OSErr16 failWith = 0;
};
PortSpy gSpy;

OSErr16 SpyReadPixels(ChannelReadPort port, const PSScaling* scaling, const Rect32* writeLimit,
                      const PixelMemoryDesc* destination, Rect32* wroteRect) {
    ++gSpy.reads;
    if (gSpy.failWith) return gSpy.failWith;
    return gSpy.host->readPixels(port, scaling, writeLimit, destination, wroteRect);
}

void WrapChannelPorts(FilterRecord& record, int16_t) {
    if (!record.channelPortProcs || record.channelPortProcs == &gSpy.wrapped) return;
    gSpy.host = record.channelPortProcs;
    gSpy.wrapped = *record.channelPortProcs;
    gSpy.wrapped.readPixels = SpyReadPixels;
    record.channelPortProcs = &gSpy.wrapped;
}

struct ChannelRun {
    scripted::ScriptedRun run;
    int32_t reads = 0;
};

// One frame multiplied over the photo, so that the photo shows in it; 'FwnL' on; the host offers
// its document's channels or not.
ChannelRun RunWithFwnL(const Document& photo, bool transparent, bool channels, OSErr16 failWith = 0) {
    std::vector<uint8_t> block = scripted::StackBlock(1, 0, 0);
    EffectOf(ParameterBlockView(block.data(), static_cast<int64_t>(block.size())).Layer(0), 0).Set(EffectLayout::kBlendMode, 3);
    qvhost::Descriptor descriptor;
    descriptor.Put('FrMP', scripted::FromByte4(block));
    descriptor.Put('FwnL', {true});
    gSpy = PortSpy{};
    gSpy.failWith = failWith;
    ChannelRun result;
    result.run = scripted::RunScripted(descriptor, [&](qvhost::HostOptions& options) {
        options.document = photo;
        if (transparent) options.transparency = PatternedTransparency(photo);
        options.noDocumentInfo = !channels;
        options.beforeCall = WrapChannelPorts;
    });
    result.reads = gSpy.reads;
    return result;
}

TEST(ChannelRead, TheTargetsChannelsRenderAsTheHostsInputDoes) {
    for (const ImageMode mode : {ImageMode{ColorMode::RGB, 8}, ImageMode{ColorMode::RGB, 16}, ImageMode{ColorMode::Gray, 16}}) {
        // Without transparency the photo's buffer has only its colour planes: nothing is written
        // past them.
        for (const bool transparent : {true, false}) {
            SCOPED_TRACE(mode.Name() + (transparent ? " transparent" : " opaque"));
            const Document photo = Patterned(48, 32, mode);
            const ChannelRun fromChannels = RunWithFwnL(photo, transparent, true);
            ASSERT_EQ(fromChannels.run.StartResult(), 0);
            EXPECT_GE(fromChannels.reads, mode.Planes() + (transparent ? 1 : 0));
            const ChannelRun fromInput = RunWithFwnL(photo, transparent, false);
            ASSERT_EQ(fromInput.run.StartResult(), 0);
            EXPECT_EQ(fromInput.reads, 0);
            EXPECT_TRUE(SamePixels(fromChannels.run.document, fromInput.run.document));
        }
    }
}

TEST(ChannelRead, AFailedChannelReadEndsTheRunWithItsError) {
    const ChannelRun run = RunWithFwnL(Patterned(48, 32, ImageMode{ColorMode::RGB, 8}), true, true, -36);
    EXPECT_EQ(run.run.StartResult(), -36);
    EXPECT_EQ(run.reads, 1);
}

}  // namespace
