// The document beyond the target's pixels, through the stand-in host: a target layer with a
// transparency plane, the layers below and above it read through channel ports into a preview's
// compose step, the alpha channels the scripting parameters name, and the decision to cache mask
// planes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "File.h"
#include "FrameworkHostSupport.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostServices.h"
#include "PhotoshopFilter.h"
#include "PreferenceSettings.h"
#include "PreviewOwner.h"
#include "StubPreviewOwner.h"
#include "TempFolder.h"

namespace {

using namespace frameworkhost;
using qvhost::AlphaChannelSpec;
using qvhost::LayerSpec;
using qvhost::PixelSource;

// A transparency plane that differs from pixel to pixel, 0 and full included.
std::vector<uint16_t> TransparencyPattern(int32_t width, int32_t height, const ImageMode& mode) {
    std::vector<uint16_t> plane(static_cast<size_t>(width) * height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            plane[size_t(y) * width + x] = static_cast<uint16_t>((uint32_t(x) * 5 + uint32_t(y) * 3 * 129) % (mode.FullValue() + 1u));
    return plane;
}

Document WithTransparency(Document document) {
    document.SetTransparency(0);
    const std::vector<uint16_t> plane = TransparencyPattern(document.Width(), document.Height(), document.Mode());
    for (int32_t y = 0; y < document.Height(); ++y)
        std::copy_n(plane.begin() + ptrdiff_t(y) * document.Width(), document.Width(), document.PlaneRow(document.Planes(), y));
    return document;
}

TEST(LayersThroughHost, ATargetWithTransparencyIsFilteredAndKeepsItsTransparency) {
    for (const ImageMode& mode : {ImageMode{ColorMode::RGB, 8}, ImageMode{ColorMode::Gray, 16}, ImageMode{ColorMode::CMYK, 8}}) {
        const Document before = WithTransparency(Patterned(301, 203, mode));
        HostOptions options;
        options.document = before;
        options.tile = 64;
        const Outcome outcome = RunFilter(options);
        ASSERT_EQ(outcome.Result(kSelectorStart), 0) << mode.Name();
        const FilterRecord& r = outcome.record;
        EXPECT_EQ(r.filterCase, kFilterCaseEditableTransparencyNoSelection);
        EXPECT_EQ(r.planes, mode.Planes() + 1);
        EXPECT_EQ(r.inLayerPlanes, mode.Planes());
        EXPECT_EQ(r.inTransparencyMask, 1);
        EXPECT_EQ(r.outTransparencyMask, 1);
        ExpectInverted(before, outcome.document, before.Bounds());
    }
}

// ---- Alpha channels named by the scripting parameters

std::string DescriptorWithNames(const TempFolder& folder, const std::string (&names)[3]) {
    qvhost::Descriptor descriptor;
    const uint32_t keys[3] = {'FraL', 'FrbL', 'FrtL'};
    for (int i = 0; i < 3; ++i) descriptor.Put(keys[i], qvhost::DescriptorValue{names[i]});
    const std::string path = folder / "names.qvd";
    std::string error;
    EXPECT_TRUE(qvhost::WriteDescriptorFile(path, descriptor, error)) << error;
    return path;
}

TEST(LayersThroughHost, AlphaChannelsAreFoundByTheirExactNames) {
    // The test filter marks the area of each tile in the shared channels it was given: the first
    // with 50, the second with 100, the third with 150.
    const std::string channels[3] = {"Frame A", "frame a", "Top"};
    struct Case {
        const char* label;
        std::string names[3];
        bool noChannelPorts, noDocumentInfo;
        uint16_t expected[3];  // of the channels above
    };
    const Case cases[] = {
        {"first and third", {"Frame A", "", "Top"}, false, false, {50, 0, 150}},
        {"case counts", {"frame a", "Frame A", ""}, false, false, {100, 50, 0}},
        {"near misses", {"Frame", "frame A", "Top "}, false, false, {0, 0, 0}},
        {"no channel ports", {"Frame A", "", "Top"}, true, false, {0, 0, 0}},
        {"no document information", {"Frame A", "", "Top"}, false, true, {0, 0, 0}},
    };
    TempFolder folder;
    const Document document = WithTransparency(Patterned(67, 45, ImageMode{ColorMode::RGB, 8}));
    for (const Case& c : cases) {
        HostOptions options;
        options.document = document;
        options.descriptorIn = DescriptorWithNames(folder, c.names);
        options.noChannelPorts = c.noChannelPorts;
        options.noDocumentInfo = c.noDocumentInfo;
        for (const std::string& name : channels) options.alphaChannels.push_back({name, PixelSource{.fill = {0}}});
        const Outcome outcome = RunFilter(options, channels);
        ASSERT_EQ(outcome.Result(kSelectorStart), 0) << c.label;
        ExpectInverted(document, outcome.document, document.Bounds());
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(outcome.alphaChannels[i]) << channels[i];
            const std::vector<uint16_t>& samples = *outcome.alphaChannels[i];
            EXPECT_EQ(std::count(samples.begin(), samples.end(), c.expected[i]), ptrdiff_t(samples.size()))
                << c.label << ": channel \"" << channels[i] << "\"";
        }
    }
}

// ---- A preview instance through the stand-in host, linked into this program

// Counts the times the framework turned the composite view off.
class SilentOwner : public StubPreviewOwner {
public:
    void DisableCompositeView() override { ++compositeViewDisabled; }

    int compositeViewDisabled = 0;
};

// What a probe run asks and what it saw.
struct ProbeRun {
    std::string channelNames[3];
    bool render = true;
    // Seen: the instance's mask-plane layout and shared channels after its initialisation, and
    // the companion layers' pixels as the compose step found them, one document-sized image of
    // interleaved planes each.
    MaskPlaneLayout maskPlanes;
    bool shared[3] = {};
    int16_t planes[2] = {};
    std::vector<uint16_t> companions[2];
    int32_t composedTiles = 0;
    int16_t result = 0;
};
ProbeRun gProbe;

class CompanionProbe : public PhotoshopFilter {
public:
    using PhotoshopFilter::PhotoshopFilter;

    void ComposeTile(const TileView& tile) override {
        ++gProbe.composedTiles;
        Capture(Companion::Lower, 0, tile.rect);
        Capture(Companion::Upper, 1, tile.rect);
    }

private:
    void Capture(Companion which, int index, const Rect16& tile) {
        const PlaneView pixels = CompanionTile(which);
        if (!pixels.address) return;
        const HostCall& call = Call();
        const FilterRecord& r = *call.record;
        const int32_t width = r.imageSize.h, height = r.imageSize.v;
        std::vector<uint16_t>& image = gProbe.companions[index];
        gProbe.planes[index] = pixels.planes;
        image.resize(size_t(width) * height * pixels.planes);
        for (int32_t y = tile.top; y < tile.bottom; ++y)
            for (int32_t x = tile.left; x < tile.right; ++x)
                for (int p = 0; p < pixels.planes; ++p) {
                    const char* at = pixels.address + int64_t{y - tile.top} * pixels.rowBytes +
                                     int64_t{x - tile.left} * pixels.pixelStride + p * call.bytesPerSample;
                    uint16_t v = static_cast<uint8_t>(*at);
                    if (call.bytesPerSample == 2) std::memcpy(&v, at, 2);
                    image[(size_t(y) * width + x) * pixels.planes + p] = v;
                }
    }
};

// The start selector of a preview: the probe is checked against the host, linked, owned by a
// dialog and run to the end of its pass.
void ProbeEntry(int16_t selector, void* callRecord, intptr_t* data, int16_t* result) {
    *result = 0;
    if (selector != kSelectorStart) return;
    auto* record = static_cast<FilterRecord*>(callRecord);
    HostCall call = HostCall::OfFilterRecord(selector, record, data);
    const HostCallScope scope(call);
    RunOptions options;
    for (int i = 0; i < 3; ++i) options.channelNames[i] = gProbe.channelNames[i];
    Preferences().bytes[PreferenceSettings::kViewCompositeLayer] = 1;
    try {
        SilentOwner owner;
        CompanionProbe probe(call);
        probe.CheckHost();
        PhotoshopFilter::InitPreviewInstance(probe, options);
        gProbe.maskPlanes = probe.MaskPlanes();
        for (int i = 0; i < 3; ++i) gProbe.shared[i] = SharedChannels()[i].IsSet();
        probe.SetOwner(&owner);
        while (gProbe.render && PhotoshopFilter::RunInstances(0)) {
        }
        PhotoshopFilter::Unlink(probe);
    } catch (const ErrorCodeException& e) {
        gProbe.result = e.code;
    }
    Preferences().bytes[PreferenceSettings::kViewCompositeLayer] = 0;
    HostSuites::ReleaseAll(call.basicSuite);
    FreeAllBuffers();
    // As the plug-in's tear-down does: nothing more is asked of the host.
    record->inRect = record->outRect = record->maskRect = Rect16{};
}

Outcome RunProbe(HostOptions options, ProbeRun probe) {
    gProbe = std::move(probe);
    options.entry = ProbeEntry;
    return RunFilter(std::move(options));
}

struct CompanionFixture {
    static constexpr int32_t kWidth = 97, kHeight = 61;
    const PixelRect belowBounds{10, 5, 50, 70};
    const PixelRect aboveBounds{0, 60, 20, 97};

    // Below: patterned colour and transparency over part of the document. Above: one colour, no
    // transparency channel, over another part.
    HostOptions Options(const ImageMode& mode) const {
        HostOptions options;
        options.document = WithTransparency(Patterned(kWidth, kHeight, mode));
        options.tile = 32;
        LayerSpec below{.name = "Below", .bounds = belowBounds};
        for (int p = 0; p < mode.Planes(); ++p) {
            std::vector<uint16_t> plane(size_t(kWidth) * kHeight);
            for (int32_t y = 0; y < kHeight; ++y)
                for (int32_t x = 0; x < kWidth; ++x) plane[size_t(y) * kWidth + x] = PatternSample(x + 3, y * 2, p + 1, mode);
            below.colour.planes.push_back(plane);
        }
        below.transparency = PixelSource{.planes = {TransparencyPattern(kWidth, kHeight, mode)}};
        options.layersBelow = {below};
        options.layersAbove = {LayerSpec{.name = "Above", .colour = PixelSource{.fill = {7, 8, 9, 10}}, .bounds = aboveBounds}};
        return options;
    }

    static bool Inside(const PixelRect& r, int32_t x, int32_t y) {
        return y >= r.top && y < r.bottom && x >= r.left && x < r.right;
    }
};

TEST(LayersThroughHost, TheLayersBesideTheTargetReachTheComposeStepThroughChannelPorts) {
    const CompanionFixture fixture;
    for (const ImageMode& mode : {ImageMode{ColorMode::RGB, 8}, ImageMode{ColorMode::Gray, 16}}) {
        const Outcome outcome = RunProbe(fixture.Options(mode), ProbeRun{});
        ASSERT_EQ(outcome.Result(kSelectorStart), 0) << mode.Name();
        ASSERT_EQ(gProbe.result, 0) << mode.Name();
        EXPECT_GT(gProbe.composedTiles, 4);
        EXPECT_GT(outcome.statistics.channelReads, 0);
        const int planes = mode.Planes() + 1;
        ASSERT_EQ(gProbe.planes[0], planes);
        ASSERT_EQ(gProbe.planes[1], planes);
        const uint16_t full = mode.FullValue();
        const std::vector<uint16_t> transparency = TransparencyPattern(CompanionFixture::kWidth, CompanionFixture::kHeight, mode);
        for (int32_t y = 0; y < CompanionFixture::kHeight; ++y)
            for (int32_t x = 0; x < CompanionFixture::kWidth; ++x) {
                const size_t pixel = size_t(y) * CompanionFixture::kWidth + x;
                const uint16_t* lower = &gProbe.companions[0][pixel * planes];
                const uint16_t* upper = &gProbe.companions[1][pixel * planes];
                // Outside a layer's pixels nothing shows: transparency 0.
                if (CompanionFixture::Inside(fixture.belowBounds, x, y)) {
                    for (int p = 0; p < mode.Planes(); ++p)
                        ASSERT_EQ(lower[p], PatternSample(x + 3, y * 2, p + 1, mode)) << mode.Name() << " below " << x << "," << y;
                    ASSERT_EQ(lower[mode.Planes()], transparency[pixel]) << mode.Name() << " below " << x << "," << y;
                } else {
                    ASSERT_EQ(lower[mode.Planes()], 0) << mode.Name() << " below " << x << "," << y;
                }
                if (CompanionFixture::Inside(fixture.aboveBounds, x, y)) {
                    const uint16_t fill[4] = {7, 8, 9, 10};
                    for (int p = 0; p < mode.Planes(); ++p)
                        ASSERT_EQ(upper[p], mode.depth == 16 ? qvhost::Widen8To16(fill[p]) : fill[p]) << mode.Name() << " above";
                    ASSERT_EQ(upper[mode.Planes()], full) << "a layer without a transparency channel is opaque";
                } else {
                    ASSERT_EQ(upper[mode.Planes()], 0) << mode.Name() << " above " << x << "," << y;
                }
            }
        ExpectInverted(*fixture.Options(mode).document, outcome.document, PixelRect{});
    }
}

TEST(LayersThroughHost, WithoutChannelPortsOrTransparencyNoLayerIsRead) {
    const CompanionFixture fixture;
    for (int variant = 0; variant < 2; ++variant) {
        HostOptions options = fixture.Options(ImageMode{ColorMode::RGB, 8});
        if (variant == 0) options.noChannelPorts = true;
        else options.document = Patterned(CompanionFixture::kWidth, CompanionFixture::kHeight, ImageMode{ColorMode::RGB, 8});
        const Outcome outcome = RunProbe(options, ProbeRun{});
        ASSERT_EQ(gProbe.result, 0) << variant;
        EXPECT_GT(gProbe.composedTiles, 0) << variant;
        EXPECT_TRUE(gProbe.companions[0].empty() && gProbe.companions[1].empty()) << variant;
        EXPECT_EQ(outcome.statistics.channelReads, 0) << variant;
    }
}

TEST(LayersThroughHost, MaskPlanesAreCachedOnlyWithTransparencySelectionAndAFirstOrSecondSharedChannel) {
    struct Case {
        const char* label;
        std::string names[3];
        ImageMode mode;
        bool transparency, selection, noChannelPorts;
        bool shared[3];
        int16_t planes;
        int32_t pixelBytes;
    };
    const ImageMode rgb8{ColorMode::RGB, 8}, rgb16{ColorMode::RGB, 16};
    const Case cases[] = {
        {"first channel", {"A", "", ""}, rgb8, true, true, false, {true, false, false}, 2, 2},
        {"second channel, 16-bit", {"", "B", ""}, rgb16, true, true, false, {false, true, false}, 3, 6},
        {"third channel alone", {"", "", "C"}, rgb8, true, true, false, {false, false, true}, 0, 0},
        {"no selection", {"A", "B", "C"}, rgb8, true, false, false, {true, true, true}, 0, 0},
        {"no transparency", {"A", "B", "C"}, rgb8, false, true, false, {true, true, true}, 0, 0},
        {"no channel ports", {"A", "B", "C"}, rgb8, true, true, true, {false, false, false}, 0, 0},
    };
    for (const Case& c : cases) {
        HostOptions options;
        const Document document = Patterned(40, 30, c.mode);
        options.document = c.transparency ? WithTransparency(document) : document;
        if (c.selection) options.selection = PixelRect{5, 5, 20, 25};
        options.noChannelPorts = c.noChannelPorts;
        for (const char* name : {"A", "B", "C"}) options.alphaChannels.push_back({name, PixelSource{.fill = {0}}});
        ProbeRun probe;
        for (int i = 0; i < 3; ++i) probe.channelNames[i] = c.names[i];
        probe.render = false;
        RunProbe(options, probe);
        ASSERT_EQ(gProbe.result, 0) << c.label;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(gProbe.shared[i], c.shared[i]) << c.label << " channel " << i;
        for (const CachedMaskPlanes& side : {gProbe.maskPlanes.input, gProbe.maskPlanes.mask}) {
            EXPECT_EQ(side.planes, c.planes) << c.label;
            EXPECT_EQ(side.pixelBytes, c.pixelBytes) << c.label;
        }
    }
}

}  // namespace
