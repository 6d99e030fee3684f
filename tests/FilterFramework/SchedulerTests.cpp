// The start routine's final pass through the scheduler and tile processing, over the in-process
// host: exact output for every mode and depth, whatever the tile size and buffer space; aborts,
// host checks and filter cases; our own subsampling against the host's; the scheduler's states.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "Errors.h"
#include "HostCall.h"
#include "InProcessHost.h"
#include "HostMemory.h"
#include "HostPixels.h"
#include "ImageModes.h"
#include "InvertFilter.h"
#include "PluginMain.h"
#include "PreferenceSettings.h"
#include "PreviewOwner.h"
#include "SessionState.h"
#include "File.h"
#include <cstdio>

namespace {

void AnswerAlertsAutomatically() {
    _putenv("QUORVEL_ALERT_ANSWER=1");
    static const std::string log = "QUORVEL_ALERT_LOG=" + std::string(std::getenv("TEMP") ? std::getenv("TEMP") : ".") +
                                   "\\framework-alerts.log";
    _putenv(log.c_str());
}

struct Document {
    int16_t mode;
    int32_t width, height;
};

// The host's document before the call, for the expected image.
std::vector<uint32_t> Snapshot(const InProcessHost& host, int32_t width, int32_t height) {
    std::vector<uint32_t> samples;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t p = 0; p < host.Planes(); ++p) samples.push_back(host.Sample(y, x, p));
    return samples;
}

void ExpectInverted(const InProcessHost& host, const std::vector<uint32_t>& before, const Document& d, bool masked) {
    const uint32_t top = host.BytesPerSample() == 1 ? 255 : 32768;
    size_t i = 0;
    for (int32_t y = 0; y < d.height; ++y)
        for (int32_t x = 0; x < d.width; ++x) {
            const bool selected = !masked || host.MaskAt(y, x) >= 128;
            for (int32_t p = 0; p < host.Planes(); ++p, ++i)
                ASSERT_EQ(host.Sample(y, x, p), selected ? top - before[i] : before[i])
                    << "mode " << d.mode << " at " << y << "," << x << " plane " << p;
        }
}

class FinalPass : public testing::Test {
protected:
    void SetUp() override { AnswerAlertsAutomatically(); }
    void TearDown() override { SetBufferReserve(kDefaultBufferReserve); }
};

TEST_F(FinalPass, EveryModeAndDepthGivesTheExactImageWithAndWithoutMask) {
    const Document documents[] = {
        {kModeGrayScale, 1001, 777}, {kModeRGBColor, 1001, 777}, {kModeCMYKColor, 301, 97},
        {kModeGray16, 301, 97},      {kModeRGB48, 1001, 777},    {kModeCMYK64, 53, 301},
    };
    for (const Document& d : documents) {
        for (bool masked : {false, true}) {
            InProcessHost host(d.mode, d.width, d.height);
            host.FillPattern();
            if (masked) host.SetMask([](int32_t y, int32_t x) { return uint8_t((x * 3 + y * 5) % 256); });
            const std::vector<uint32_t> before = Snapshot(host, d.width, d.height);
            InvertFilter filter(host.Call());
            ASSERT_EQ(host.RunStart(filter), 0) << "mode " << d.mode;
            ExpectInverted(host, before, d, masked);
        }
    }
}

TEST_F(FinalPass, ResultDoesNotDependOnTileSizeOrBufferSpace) {
    struct Setting {
        int16_t tileHeight, tileWidth;
        int32_t bufferSpace;
    };
    const Setting settings[] = {{0, 0, 64 << 20}, {64, 64, 64 << 20}, {1, 1000, 64 << 20}, {300, 7, 64 << 20},
                                {0, 0, 100000}, {512, 512, 90000}};
    // 16-bit samples: the tile is sized in the bytes the host delivers, twice its samples.
    for (const Document d : {Document{kModeRGBColor, 233, 171}, Document{kModeRGB48, 233, 171}}) {
        for (const Setting& s : settings) {
            SCOPED_TRACE(d.mode);
            InProcessHost host(d.mode, d.width, d.height);
            host.FillPattern();
            host.SetMask([](int32_t y, int32_t x) { return uint8_t(x < y ? 255 : 0); });
            host.Record().inTileHeight = s.tileHeight;
            host.Record().inTileWidth = s.tileWidth;
            host.SetBufferSpace(s.bufferSpace);
            const std::vector<uint32_t> before = Snapshot(host, d.width, d.height);
            InvertFilter filter(host.Call());
            ASSERT_EQ(host.RunStart(filter), 0) << s.tileHeight << "x" << s.tileWidth << " in " << s.bufferSpace;
            ExpectInverted(host, before, d, true);
        }
    }
}

TEST_F(FinalPass, DefaultTileIs181SquareAndATinyBudgetShrinksIt) {
    InProcessHost host(kModeRGBColor, 500, 400);
    InvertFilter filter(host.Call());
    host.StartInstance(filter);
    EXPECT_EQ(filter.TileWidth(), 181);
    EXPECT_EQ(filter.TileHeight(), 181);
    host.SetBufferSpace(60000);  // below the reserve: both sides shrink to 1
    filter.SetTileSize(181, 181);
    EXPECT_EQ(filter.TileWidth(), 1);
    EXPECT_EQ(filter.TileHeight(), 1);
    PhotoshopFilter::Unlink(filter);
    SetBufferReserve(kDefaultBufferReserve);
}

TEST_F(FinalPass, AbortAfterSomeTilesEndsTheCallWith32512) {
    for (int32_t calls : {0, 1, 5}) {
        InProcessHost host(kModeGrayScale, 300, 300);
        host.Record().inTileHeight = host.Record().inTileWidth = 50;
        host.AbortAfter(calls);
        InvertFilter filter(host.Call());
        EXPECT_EQ(host.RunStart(filter), 32512) << "after " << calls;
        EXPECT_LT(filter.composedTiles, 36);
    }
}

TEST_F(FinalPass, HostWithoutServicesGives17500) {
    for (int missing = 0; missing < 3; ++missing) {
        InProcessHost host(kModeRGBColor, 10, 10);
        if (missing == 0) host.Record().advanceState = nullptr;
        if (missing == 1) host.Record().bufferProcs = nullptr;
        if (missing == 2) host.Record().hostSig = 'QXFL';
        InvertFilter filter(host.Call());
        EXPECT_EQ(host.RunStart(filter), 17500) << missing;
        EXPECT_EQ(filter.composedTiles, 0);
    }
}

TEST_F(FinalPass, FilterCasesDecideWhetherTheRunMayGoOn) {
    struct Case {
        int16_t filterCase;
        bool blockInDataWord;
        bool floating;
        ErrorCode expected;
    };
    const Case cases[] = {
        {kFilterCaseFlatImageNoSelection, false, false, 17007},
        {kFilterCaseFlatImageNoSelection, true, false, 0},
        {kFilterCaseFlatImageWithSelection, false, false, 0},
        {kFilterCaseEditableTransparencyNoSelection, false, false, 0},
        {kFilterCaseProtectedTransparencyNoSelection, false, false, 17010},
        {kFilterCaseProtectedTransparencyWithSelection, false, false, 17010},
        {kFilterCaseNone, false, false, 17007},  // no mask, the whole image, not floating: nothing selected
        {kFilterCaseNone, true, false, 0},
        {12, false, false, 17007},
        {-1, false, true, 0},
    };
    for (const Case& c : cases) {
        InProcessHost host(kModeRGBColor, 10, 10);
        host.BeginCall(kSelectorPrepare);
        host.Record().filterCase = c.filterCase;
        host.Record().isFloating = c.floating;
        intptr_t block = 0;
        if (c.blockInDataWord) {
            block = reinterpret_cast<intptr_t>(NewHandle(FilterData::kSize));
            host.DataWord() = block;
        }
        InvertFilter filter(host.Call());
        ErrorCode result = 0;
        try {
            filter.Prepare();
        } catch (const ErrorCodeException& e) {
            result = e.code;
        }
        EXPECT_EQ(result, c.expected) << "case " << c.filterCase;
        if (block) DisposeHandle(reinterpret_cast<Handle>(block));
    }
}

TEST_F(FinalPass, OwnSubsamplingGivesTheHostsPixels) {
    // The host subsamples when it can; without sampling support we fetch every f-th row and column.
    for (int16_t mode : {kModeRGBColor, kModeRGB48}) {
        for (int32_t f : {2, 3, 4}) {
            std::vector<uint8_t> results[2];
            std::vector<uint8_t> masks[2];
            for (int own = 0; own < 2; ++own) {
                InProcessHost host(mode, 101, 67);
                host.FillPattern();
                host.SetMask([](int32_t y, int32_t x) { return uint8_t(x * y); });
                host.BeginCall();
                host.SetSubsamples(own == 0);
                FilterRecord& r = host.Record();
                r.inRect = Rect16{3, 5, 22, 34};  // the last rows reach past the scaled document
                r.inLoPlane = 0;
                r.inHiPlane = 2;
                r.maskRect = Rect16{0, 0, 17, 26};
                r.inputRate = r.maskRate = f << 16;
                ASSERT_EQ(AdvanceState(host.Call()), 0);
                EXPECT_EQ(r.inputRate, f << 16) << "the rates come back as they were";
                EXPECT_EQ(r.inRect.bottom, 22);
                const int32_t rows = 19, rowBytes = 29 * 3 * host.BytesPerSample();
                for (int32_t y = 0; y < rows; ++y) {
                    const auto* row = static_cast<const uint8_t*>(r.inData) + int64_t{y} * r.inRowBytes;
                    results[own].insert(results[own].end(), row, row + rowBytes);
                }
                for (int32_t y = 0; y < 17; ++y) {
                    const auto* row = static_cast<const uint8_t*>(r.maskData) + int64_t{y} * r.maskRowBytes;
                    masks[own].insert(masks[own].end(), row, row + 26 * host.BytesPerSample());
                }
                ReleaseSubsampleBuffers();
            }
            EXPECT_EQ(results[0], results[1]) << "mode " << mode << " factor " << f;
            EXPECT_EQ(masks[0], masks[1]) << "mode " << mode << " factor " << f;
        }
    }
}

TEST_F(FinalPass, PreviewRatesAreScaledAndRestored) {
    InProcessHost host(kModeRGBColor, 64, 64);
    host.FillPattern();
    InvertFilter filter(host.Call());
    host.StartInstance(filter);
    filter.LoadOverviewImage();  // an owner: the preview path
    for (int32_t scale : {1, 2}) {
        filter.SetPreviewScale(scale);
        FilterRecord& r = host.Record();
        r.inputRate = r.maskRate = 0;
        r.inRect = r.outRect = Rect16{0, 0, 8, 8};
        r.inLoPlane = 0, r.inHiPlane = 2, r.outLoPlane = 0, r.outHiPlane = 2;
        ASSERT_EQ(filter.ProcessTile(), 0);
        EXPECT_EQ(host.LastInputRate(), scale << 16);
        EXPECT_EQ(r.inputRate, 0x10000);
        EXPECT_EQ(r.maskRate, 0x10000);
        EXPECT_EQ(r.inRect.bottom, 8) << "the request is put back";
    }
    PhotoshopFilter::Unlink(filter);
}

TEST_F(FinalPass, CachedPreviewTilesAskTheHostForNothing) {
    InProcessHost host(kModeRGBColor, 64, 64);
    host.FillPattern();
    InvertFilter filter(host.Call());
    host.StartInstance(filter);
    filter.LoadOverviewImage();
    host.Record().inRect = Rect16{0, 0, 16, 16};
    host.Record().outRect = Rect16{0, 0, 16, 16};
    host.Record().inLoPlane = 0, host.Record().inHiPlane = 2;
    ASSERT_EQ(filter.ProcessTile(), 0);
    const int32_t calls = host.AdvanceCalls();
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(filter.ProcessTile(), 0);
    EXPECT_EQ(host.AdvanceCalls(), calls) << "input and output came from the caches";
    PhotoshopFilter::Unlink(filter);
}

// Without a host mask and without a source cache, a tile inside the filter rectangle would get a
// substitute mask of 255 everywhere, which filters as no mask does: it gets no mask. A preview tile
// reaching out of the filter rectangle still gets the substitute, padded outside it.
TEST_F(FinalPass, WithoutAHostMaskOrACacheTilesInsideTheFilterRectGetNoMask) {
    struct Case {
        bool preview;
        Rect16 tile;
        bool masked;
    };
    const Case cases[] = {{false, Rect16{0, 0, 40, 64}, false},
                          {true, Rect16{8, 8, 24, 40}, false},
                          {true, Rect16{-4, 8, 24, 40}, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preview ? "preview" : "final pass");
        InProcessHost host(kModeRGBColor, 64, 40);
        host.FillPattern();
        InvertFilter filter(host.Call());
        host.StartInstance(filter);
        if (c.preview) filter.LoadOverviewImage();
        FilterRecord& r = host.Record();
        ASSERT_FALSE(r.haveMask);
        r.inRect = r.outRect = r.maskRect = c.tile;
        r.inLoPlane = r.outLoPlane = 0;
        r.inHiPlane = r.outHiPlane = 2;
        r.maskPadding = 7;
        ASSERT_EQ(filter.ProcessTile(), 0);
        if (!c.masked) {
            EXPECT_EQ(r.maskData, nullptr);
        } else {
            ASSERT_NE(r.maskData, nullptr);
            const auto* mask = static_cast<const uint8_t*>(r.maskData);
            EXPECT_EQ(mask[0], 7) << "above the filter rectangle: the padding";
            EXPECT_EQ(mask[int64_t{10} * r.maskRowBytes], 255) << "inside it: selected";
        }
        EXPECT_EQ(r.maskRect.bottom, c.tile.bottom) << "the request is put back";
        filter.UnlockTileBuffers();
        PhotoshopFilter::Unlink(filter);
    }
}

TEST_F(FinalPass, ChangingTheScaleEmptiesTheCachesButKeepsThePass) {
    InProcessHost host(kModeRGBColor, 64, 64);
    host.FillPattern();
    InvertFilter filter(host.Call());
    host.StartInstance(filter);
    filter.LoadOverviewImage();
    while (filter.State() != kStateProcessTile) ASSERT_TRUE(PhotoshopFilter::RunInstances(0));
    ASSERT_TRUE(PhotoshopFilter::RunInstances(0));
    int32_t rowBytes = 0;
    const Rect16 first = filter.TileRect();
    EXPECT_NE(filter.InputCache().PointerForValidRect(first, &rowBytes), nullptr) << "the tile's input is cached";
    const int32_t state = filter.State();
    filter.SetPreviewScale(2);
    EXPECT_EQ(filter.State(), state);
    EXPECT_EQ(filter.InputCache().PointerForValidRect(first, &rowBytes), nullptr);
    EXPECT_EQ(filter.OutputCache().PointerForValidRect(first, &rowBytes), nullptr);
    PhotoshopFilter::Unlink(filter);
}

TEST_F(FinalPass, AFloatingSelectionsMaskIsKeptInACopy) {
    InProcessHost host(kModeGray16, 48, 40);
    host.FillPattern();
    host.SetMask([](int32_t y, int32_t x) { return uint8_t(x * 5 + y); });
    host.Record().isFloating = 1;
    InvertFilter filter(host.Call());
    host.StartInstance(filter);
    filter.LoadOverviewImage();
    FilterRecord& r = host.Record();
    r.inRect = r.outRect = r.maskRect = Rect16{4, 6, 20, 30};
    ASSERT_EQ(filter.ProcessTile(), 0);
    const auto* kept = static_cast<const uint8_t*>(r.maskData);
    const int32_t keptRowBytes = r.maskRowBytes;
    // The host's next delivery reuses its own buffer; the kept mask must not change with it.
    r.inRect = r.outRect = Rect16{};
    r.maskRect = Rect16{30, 30, 40, 48};
    ASSERT_EQ(r.advanceState(), 0);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 24; ++x) {
            uint16_t sample;
            std::memcpy(&sample, kept + int64_t{y} * keptRowBytes + 2 * x, 2);
            ASSERT_EQ(sample, Widen8To16(host.MaskAt(4 + y, 6 + x))) << y << "," << x;
        }
    host.Record().isFloating = 0;
    PhotoshopFilter::Unlink(filter);
}

class CompanionLayers : public testing::Test {
protected:
    void SetUp() override {
        AnswerAlertsAutomatically();
        Preferences().bytes[PreferenceSettings::kViewCompositeLayer] = 1;
        host_.FillPattern();
        // Below: a left half of colour (10, 20, 30) at transparency 200. Above: colour (1, 2, 3),
        // no transparency channel, only over rows 0..3 of columns 40..47.
        InProcessHost::Layer below{Rect16{0, 0, 64, 32}, [](int32_t, int32_t, int32_t p) {
                                  return uint16_t(p < 3 ? 10 * (p + 1) : 200);
                              }};
        InProcessHost::Layer above{Rect16{0, 40, 4, 48}, [](int32_t, int32_t, int32_t p) { return uint16_t(p + 1); }, false};
        host_.SetCompanionLayers(below, above);
        host_.StartInstance(filter_);
        filter_.LoadOverviewImage();
        FilterRecord& r = host_.Record();
        r.inRect = r.outRect = tile_;
        // The colour planes and the target's transparency: beside other layers the target is one.
        r.inLoPlane = r.outLoPlane = 0;
        r.inHiPlane = r.outHiPlane = 3;
    }
    void TearDown() override {
        Preferences().bytes[PreferenceSettings::kViewCompositeLayer] = 0;
        PhotoshopFilter::Unlink(filter_);
    }
    const uint8_t* Shown(int32_t y, int32_t x) const {
        const PlaneView pixels = filter_.PreviewPixels();
        return reinterpret_cast<const uint8_t*>(pixels.address) + int64_t{y} * pixels.rowBytes + int64_t{x} * pixels.pixelStride;
    }

    InProcessHost host_{kModeRGBColor, 64, 64};
    InvertFilter filter_{host_.Call()};
    const Rect16 tile_{0, 0, 16, 48};
};

TEST_F(CompanionLayers, TheLayersBesideTheTargetAreReadAndCached) {
    ASSERT_EQ(filter_.ProcessTile(), 0);
    const PlaneView pixels = filter_.PreviewPixels();
    ASSERT_NE(pixels.address, nullptr) << "the lower layer is shown";
    EXPECT_EQ(pixels.planes, 4);
    EXPECT_EQ(Shown(5, 10)[0], 10);
    EXPECT_EQ(Shown(5, 10)[2], 30);
    EXPECT_EQ(Shown(5, 10)[3], 200) << "its own transparency";
    EXPECT_EQ(Shown(5, 40)[3], 0) << "outside the layer's pixels nothing shows";
    const int32_t reads = host_.PortReads();
    EXPECT_EQ(reads, 4 + 3) << "below: transparency and three colours; above: three colours";
    ASSERT_EQ(filter_.ProcessTile(), 0);
    EXPECT_EQ(host_.PortReads(), reads) << "the second time the layers come from their caches";
}

TEST(CompanionLayers16, WideChannelsComeBackToTheSystemsRange) {
    AnswerAlertsAutomatically();
    Preferences().bytes[PreferenceSettings::kViewCompositeLayer] = 1;
    InProcessHost host(kModeRGB48, 32, 32);
    const auto sample = [](int32_t y, int32_t x, int32_t p) { return uint16_t(p < 3 ? (x * 1000 + y * 7 + p) % 32769 : 32768); };
    host.SetCompanionLayers({Rect16{0, 0, 32, 32}, sample}, {Rect16{}, sample});
    InvertFilter filter(host.Call());
    host.StartInstance(filter);
    filter.LoadOverviewImage();
    FilterRecord& r = host.Record();
    r.inRect = r.outRect = Rect16{0, 0, 8, 32};
    r.inLoPlane = r.outLoPlane = 0;
    r.inHiPlane = r.outHiPlane = 2;
    ASSERT_EQ(filter.ProcessTile(), 0);
    const PlaneView pixels = filter.PreviewPixels();
    ASSERT_NE(pixels.address, nullptr);
    for (int32_t x = 0; x < 32; ++x)
        for (int32_t p = 0; p < 4; ++p) {
            uint16_t v;
            std::memcpy(&v, pixels.address + 3 * pixels.rowBytes + x * pixels.pixelStride + 2 * p, 2);
            ASSERT_EQ(v, sample(3, x, p)) << x << " plane " << p;
        }
    Preferences().bytes[PreferenceSettings::kViewCompositeLayer] = 0;
    PhotoshopFilter::Unlink(filter);
}

TEST_F(CompanionLayers, ATileOutsideTheDocumentIsTransparentWithoutAPortRead) {
    FilterRecord& r = host_.Record();
    r.inRect = r.outRect = Rect16{-4, -4, 0, 20};  // the overview's margin above the document
    ASSERT_EQ(filter_.ProcessTile(), 0);
    EXPECT_EQ(host_.PortReads(), 0);
    for (int32_t x = 0; x < 24; ++x) EXPECT_EQ(Shown(2, x)[3], 0) << x;
}

TEST_F(CompanionLayers, TheFilteredTileIsComposedBetweenItsNeighbours) {
    ASSERT_EQ(filter_.ProcessTile(), 0);
    filter_.ComposeTile(DeliveredTile(host_.Record(), host_.BytesPerSample()));
    filter_.ComposePreviewLayers();
    const FilterRecord& r = host_.Record();
    const auto* out = static_cast<const uint8_t*>(r.outData);
    // The output covers the lower layer wholly (no transparency of its own).
    EXPECT_EQ(Shown(5, 10)[0], out[5 * r.outRowBytes + 10 * 4]);
    EXPECT_EQ(Shown(5, 10)[3], 255);
    // The upper layer is opaque where it has pixels (no transparency channel) and covers both.
    EXPECT_EQ(Shown(2, 41)[0], 1);
    EXPECT_EQ(Shown(2, 41)[2], 3);
    EXPECT_EQ(Shown(8, 41)[0], out[8 * r.outRowBytes + 41 * 4]) << "below the upper layer's pixels";
}

TEST_F(FinalPass, APassWithNothingDirtyEndsAtOnceWithItsWholeProgress) {
    InProcessHost host(kModeGrayScale, 300, 200);
    InvertFilter filter(host.Call());
    host.StartInstance(filter);
    filter.ValidateRect(Rect16{0, 0, 200, 300});
    ASSERT_TRUE(PhotoshopFilter::RunInstances(0));  // begin the pass
    ASSERT_TRUE(PhotoshopFilter::RunInstances(0));  // no tile touches the dirty region
    EXPECT_EQ(filter.State(), kStateDone);
    EXPECT_EQ(filter.composedTiles, 0);
    EXPECT_EQ(filter.ProgressDone(), 60000);
    EXPECT_EQ(filter.ProgressTotal(), 60000);
    PhotoshopFilter::Unlink(filter);
}

// A filter that keeps no selection round trip (it draws inside the selection as it is) and
// sizes its tiles from the filter rectangle, as a renderer that fits its work to the selection
// does; it keeps every output rectangle it composed.
class SelectionFilter : public InvertFilter {
public:
    using InvertFilter::InvertFilter;

    std::vector<Rect16> composed;

    void BeginRun() override { Record().autoMask = false; }
    void BeginPass() override {
        const Rect16& f = Record().filterRect;
        SetTileSize(f.right - f.left, f.bottom - f.top);
        PhotoshopFilter::BeginPass();
    }
    void ComposeTile(const TileView& tile) override {
        composed.push_back(tile.rect);
        InvertFilter::ComposeTile(tile);
    }
};

bool Inside(const Rect16& r, const Rect16& area) {
    return r.top >= area.top && r.left >= area.left && r.bottom <= area.bottom && r.right <= area.right;
}

// The final pass writes the filter rectangle and nothing else, in a handful of tiles however
// small the selection and however large the image.
TEST_F(FinalPass, ASelectionsPassCoversItsFilterRectAloneInAFewTiles) {
    struct Case {
        int32_t width, height;
        Rect16 filter;
    };
    const Case cases[] = {
        {300, 200, {50, 60, 120, 170}},
        {300, 200, {0, 299, 200, 300}},       // one column at the edge
        {4000, 3000, {1500, 2000, 1501, 2001}},  // one pixel of a large image
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " filter " << c.filter.top << ","
                                        << c.filter.left << "," << c.filter.bottom << "," << c.filter.right);
        InProcessHost host(kModeRGBColor, c.width, c.height);
        host.FillPattern();
        host.Record().filterRect = c.filter;
        host.AbortAfter(1000);  // a pass that walks the whole image in selection-sized tiles stops here
        const std::vector<uint32_t> before = Snapshot(host, c.width, c.height);
        SelectionFilter filter(host.Call());
        ASSERT_EQ(host.RunStart(filter), 0);
        int64_t area = 0;
        for (const Rect16& r : filter.composed) {
            EXPECT_TRUE(Inside(r, c.filter)) << r.top << "," << r.left << "," << r.bottom << "," << r.right;
            area += int64_t{r.bottom - r.top} * (r.right - r.left);
        }
        EXPECT_EQ(area, int64_t{c.filter.bottom - c.filter.top} * (c.filter.right - c.filter.left));
        EXPECT_LE(filter.composed.size(), 4u);
        EXPECT_LE(host.ProgressCalls(), 8);
        EXPECT_LE(host.AdvanceCalls(), 8);
        const uint32_t top = 255;
        size_t i = 0;
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x) {
                const bool inside = Inside(Rect16{int16_t(y), int16_t(x), int16_t(y + 1), int16_t(x + 1)}, c.filter);
                for (int32_t p = 0; p < host.Planes(); ++p, ++i)
                    ASSERT_EQ(host.Sample(y, x, p), inside ? top - before[i] : before[i]) << y << "," << x;
            }
    }
}

// A selection without a pixel leaves nothing to filter: the call ends with 17008 and the image is
// as it was.
TEST_F(FinalPass, AnEmptyFilterRectEndsWithNoPixelsAndChangesNothing) {
    for (const Rect16 empty : {Rect16{10, 10, 10, 50}, Rect16{10, 40, 60, 40}, Rect16{200, 300, 200, 300}}) {
        InProcessHost host(kModeGrayScale, 300, 200);
        host.FillPattern();
        host.Record().filterRect = empty;
        const std::vector<uint32_t> before = Snapshot(host, 300, 200);
        SelectionFilter filter(host.Call());
        EXPECT_EQ(host.RunStart(filter), Err::NoPixelsInLayer);
        EXPECT_EQ(filter.composedTiles, 0);
        EXPECT_EQ(Snapshot(host, 300, 200), before);
    }
}

TEST_F(FinalPass, PreviewCachesCoverAnImageSmallerThanTheScreen) {
    InProcessHost host(kModeRGBColor, 200, 150);
    InvertFilter filter(host.Call());
    host.StartInstance(filter);
    filter.PreparePreviewBuffers(false);
    ASSERT_TRUE(filter.InputCache().IsAllocated());
    const Rect16& bounds = filter.InputCache().Bounds();
    EXPECT_EQ(bounds.bottom - bounds.top, 150);
    EXPECT_EQ(bounds.right - bounds.left, 200);
    PhotoshopFilter::Unlink(filter);

    InProcessHost tight(kModeRGBColor, 200, 150);
    tight.SetBufferSpace(1400000);  // below the 1.5 MB the preview keeps free: no caches
    InvertFilter starved(host.Call());
    tight.StartInstance(starved);
    starved.PreparePreviewBuffers(true);
    EXPECT_FALSE(starved.InputCache().IsAllocated());
    PhotoshopFilter::Unlink(starved);
}

TEST_F(FinalPass, TheSelectionWarningFollowsTheUsersAnswer) {
    InProcessHost host(kModeRGBColor, 10, 10);
    host.BeginCall();
    InvertFilter filter(host.Call());
    Framework().warnSelectionRemoval = false;
    EXPECT_FALSE(filter.WarnSelectionRemoved(true)) << "nothing to warn about";
    Framework().warnSelectionRemoval = true;
    Preferences().SetFlag(PreferenceSettings::kNoSelectionWarning, false);
    _putenv("QUORVEL_ALERT_ANSWER=2");
    EXPECT_TRUE(filter.WarnSelectionRemoved(true)) << "Cancel";
    _putenv("QUORVEL_ALERT_ANSWER=3");
    EXPECT_FALSE(filter.WarnSelectionRemoved(true)) << "Do not warn again";
    EXPECT_TRUE(Preferences().HasFlag(PreferenceSettings::kNoSelectionWarning));
    _putenv("QUORVEL_ALERT_ANSWER=2");
    EXPECT_FALSE(filter.WarnSelectionRemoved(true)) << "not asked again";
    Preferences().SetFlag(PreferenceSettings::kNoSelectionWarning, false);
    _putenv("QUORVEL_ALERT_ANSWER=1");
    Framework() = FrameworkFlags{};
}

TEST_F(FinalPass, OverviewFactorIsAPowerOfTwoUpTo512Pixels) {
    struct Case {
        int32_t width, height;
        double factor;
    };
    for (const Case& c : {Case{512, 512, 1}, Case{513, 100, 2}, Case{2049, 10, 8}, Case{10, 1100, 4}}) {
        InProcessHost host(kModeGrayScale, c.width, c.height);
        InvertFilter filter(host.Call());
        host.StartInstance(filter);
        filter.LoadOverviewImage();
        EXPECT_EQ(filter.PreviewScale(), c.factor) << c.width << "x" << c.height;
        EXPECT_EQ(filter.State(), kStateBeginPass);
        PhotoshopFilter::Unlink(filter);
    }
}

TEST_F(FinalPass, SchedulerStatesAndTheEmptyList) {
    InProcessHost host(kModeGrayScale, 40, 30);
    host.BeginCall();
    EXPECT_FALSE(PhotoshopFilter::RunInstances(0)) << "no instance, no work";

    InvertFilter filter(host.Call());
    host.StartInstance(filter);
    Preferences().bytes[PreferenceSettings::kTimedRenderingOff] = 1;
    EXPECT_TRUE(PhotoshopFilter::RunInstances(1)) << "tracked with previews waiting: answered at once";
    EXPECT_EQ(filter.State(), kStateBeginPass);
    Preferences().bytes[PreferenceSettings::kTimedRenderingOff] = 0;
    EXPECT_FALSE(PhotoshopFilter::RunInstances(1)) << "an untracked instance does not run while tracking";

    filter.SetStepCount(2);
    EXPECT_TRUE(PhotoshopFilter::RunInstances(0));
    EXPECT_EQ(filter.State(), kStateNextTile);
    EXPECT_TRUE(PhotoshopFilter::RunInstances(0));
    EXPECT_EQ(filter.State(), 2) << "a tile with two steps";
    EXPECT_TRUE(PhotoshopFilter::RunInstances(0));
    EXPECT_TRUE(PhotoshopFilter::RunInstances(0));
    EXPECT_EQ(filter.State(), kStateProcessTile);
    EXPECT_TRUE(PhotoshopFilter::RunInstances(0));
    EXPECT_EQ(filter.composedTiles, 1);
    while (PhotoshopFilter::RunInstances(0)) {
    }
    EXPECT_EQ(filter.State(), kStateDone);
    EXPECT_EQ(filter.ProgressDone(), filter.ProgressTotal());
    EXPECT_FALSE(PhotoshopFilter::RunInstances(0)) << "a done instance does no work";

    filter.InvalidateRect(nullptr);
    EXPECT_EQ(filter.State(), kStateBeginPass);
    EXPECT_EQ(filter.ProgressDone(), 0);
    PhotoshopFilter::Unlink(filter);
}

}  // namespace

namespace {

class FakeDialog : public PreviewOwner {
public:
    bool canUndo = false;
    int undos = 0, releases = 0, pushes = 0, renders = 0, progressReports = 0;
    File settings;

    void ShowTile(PhotoshopFilter&) override { ++renders; }
    void ShowProgress(PhotoshopFilter&, double, double) override { ++progressReports; }
    bool Undo() override {
        ++undos;
        return canUndo;
    }
    void ReleaseSavedState() override { ++releases; }
    bool PushUndoState() override { ++pushes; return true; }
    void DisableCompositeView() override {}
    File& SettingsFile() override { return settings; }
    int16_t AlertOverDialog(int16_t) override { return 1; }
    void EnableCommand(int16_t, bool) override {}
};

// A filter whose tiles need more memory than there is.
class GreedyFilter : public InvertFilter {
public:
    using InvertFilter::InvertFilter;

    int defaults = 0;
    void ComposeTile(const TileView&) override { THROW_IF_ERROR(32767); }
    void SetDefaultParameters(int) override { ++defaults; }
};

std::string AlertLogPath() { return std::string(std::getenv("TEMP") ? std::getenv("TEMP") : ".") + "\\framework-alerts.log"; }

std::string ReadAlertLog() {
    std::string text;
    if (FILE* f = std::fopen(AlertLogPath().c_str(), "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
        std::fclose(f);
    }
    return text;
}

class MemoryRecovery : public testing::Test {
protected:
    void SetUp() override {
        AnswerAlertsAutomatically();
        std::remove(AlertLogPath().c_str());
        host_.FillPattern();
        host_.StartInstance(filter_);
    }
    void TearDown() override {
        filter_.SetDialog(nullptr);
        PhotoshopFilter::Unlink(filter_);
        _putenv("QUORVEL_ALERT_ANSWER=1");
    }
    // Runs steps until the tile's processing fails.
    void RunToFailure() {
        while (filter_.State() != kStateProcessTile) ASSERT_TRUE(PhotoshopFilter::RunInstances(0));
    }

    InProcessHost host_{kModeGrayScale, 50, 40};
    GreedyFilter filter_{host_.Call()};
    FakeDialog dialog_;
};

TEST_F(MemoryRecovery, WithoutADialogTheShortageIsOutOfMemory) {
    RunToFailure();
    try {
        PhotoshopFilter::RunInstances(0);
        FAIL() << "the step must fail";
    } catch (const ErrorCodeException& e) {
        EXPECT_EQ(e.code, -108);
    }
}

TEST_F(MemoryRecovery, NothingToUndoResetsTheSettingsAndRendersAgain) {
    filter_.SetDialog(&dialog_);
    RunToFailure();
    EXPECT_TRUE(PhotoshopFilter::RunInstances(0)) << "OK counts as a step that did work";
    EXPECT_EQ(dialog_.undos, 1);
    EXPECT_EQ(dialog_.releases, 1);
    EXPECT_EQ(filter_.defaults, 1);
    EXPECT_EQ(dialog_.pushes, 1);
    EXPECT_EQ(filter_.State(), kStateBeginPass) << "every instance renders again";
    EXPECT_NE(ReadAlertLog().find("17006"), std::string::npos);
}

TEST_F(MemoryRecovery, AnUndoneChangeTellsSoAndQuitCancels) {
    filter_.SetDialog(&dialog_);
    dialog_.canUndo = true;
    RunToFailure();
    EXPECT_TRUE(PhotoshopFilter::RunInstances(0));
    EXPECT_EQ(filter_.defaults, 0);
    EXPECT_NE(ReadAlertLog().find("17005"), std::string::npos);

    _putenv("QUORVEL_ALERT_ANSWER=2");
    RunToFailure();
    try {
        PhotoshopFilter::RunInstances(0);
        FAIL() << "Quit must end the run";
    } catch (const ErrorCodeException& e) {
        EXPECT_EQ(e.code, 32512);
    }
}

TEST_F(MemoryRecovery, AnInstanceDrivenAloneReportsOutOfMemory) {
    filter_.SetOwner(&dialog_);
    while (filter_.State() != kStateProcessTile) ASSERT_TRUE(filter_.RunTabInstance()) << filter_.State();
    try {
        filter_.RunTabInstance();
        FAIL() << "the step must fail";
    } catch (const ErrorCodeException& e) {
        EXPECT_EQ(e.code, -108);
    }
}

// A preview composes into a buffer of its own even at full size: the host's image is the final
// pass's alone, and that pass renders the tile itself.
TEST(SharedTiles, ADialogsFullSizeTileLeavesTheFinalPassItsOwnTile) {
    AnswerAlertsAutomatically();
    InProcessHost host(kModeRGBColor, 400, 300);
    host.FillPattern();
    host.BeginCall();
    FakeDialog dialog;
    InvertFilter final(host.Call()), preview(host.Call());
    host.StartInstance(final);
    PhotoshopFilter::InitPreviewInstance(preview);  // at the head: it runs first
    // The dialog runs both, and shows the preview's tiles.
    for (PhotoshopFilter* instance : {&final, &preview}) instance->SetDialog(&dialog);
    preview.SetOwner(&dialog);
    while (preview.composedTiles == 0) ASSERT_TRUE(PhotoshopFilter::RunInstances(0));
    EXPECT_EQ(dialog.renders, 1);
    EXPECT_GT(dialog.progressReports, 0) << "progress goes to the dialog";
    const Rect16 first = preview.TileRect();
    Rect16 probe = first;
    EXPECT_TRUE(final.ClipToDirtyRegion(probe)) << "the final pass renders the tile into the host's image";
    EXPECT_TRUE(EqualRects(probe, first));
    PhotoshopFilter::Unlink(preview);
    PhotoshopFilter::Unlink(final);
    EXPECT_EQ(final.Dialog(), nullptr) << "an object taken off the list runs under no dialog";
}

}  // namespace
