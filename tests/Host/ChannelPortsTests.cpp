// The document's layers and channels: the document information that describes them, and the
// channel ports that read them at a scaling and write alpha channels, refusing what does not fit.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "FunctionPlugin.h"
#include "HostSuites.h"
#include "QuorvelHostCore/HostCommandLine.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "TempFolder.h"

using namespace hosttest;

namespace {

constexpr int32_t kWidth = 40, kHeight = 30;
constexpr int16_t kBadParameter = -50;

// Below: patterned colour over part of the document, with a transparency of 77. Above: grey 9.
// Alpha channels "Mask" (0) and "Spare" (5). The target is a layer with transparency 255.
HostOptions LayeredOptions(ImageMode mode) {
    HostOptions options = OptionsFor(Patterned(kWidth, kHeight, mode));
    LayerSpec below{.name = "Below", .bounds = PixelRect{5, 6, 25, 30}};
    for (int p = 0; p < mode.Planes(); ++p) {
        std::vector<uint16_t> plane(size_t(kWidth) * kHeight);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) plane[size_t(y) * kWidth + x] = Pattern(p + 1, x, y);
        below.colour.planes.push_back(plane);
    }
    below.transparency = PixelSource{.fill = {77}};
    options.layersBelow = {below};
    options.layersAbove = {LayerSpec{.name = "Above", .colour = PixelSource{.fill = {9}}}};
    options.transparency = PixelSource{.fill = {255}};
    options.alphaChannels = {{"Mask", PixelSource{.fill = {0}}}, {"Spare", PixelSource{.fill = {5}}}};
    return options;
}

TEST(DocumentLayers, TheDocumentInformationListsLayersBottomUpAndTheChannelsByName) {
    HostOptions options = LayeredOptions(ImageMode{ColorMode::RGB, 8});
    options.selection = PixelRect{1, 2, 10, 20};
    const StartRun run = RunStart(options, [](FilterRecord& r) -> int16_t {
        const ReadImageDocumentDesc* info = r.documentInfo;
        EXPECT_NE(info, nullptr);
        if (!info) return 1;
        EXPECT_EQ(r.planes, 4);
        EXPECT_EQ(r.inLayerPlanes, 3);
        EXPECT_EQ(r.inTransparencyMask, 1);
        EXPECT_EQ(r.inNonLayerPlanes, 0);
        EXPECT_GE(info->maxVersion, kDocumentDescVersionWithLayers);
        const ReadLayerDesc* layer = LayersOf(*info);
        for (const char* name : {"Below", "Target", "Above"}) {
            EXPECT_NE(layer, nullptr);
            if (!layer) return 1;
            EXPECT_STREQ(layer->name, name);
            EXPECT_NE(layer->compositeChannelsList, nullptr);
            layer = layer->next;
        }
        EXPECT_EQ(layer, nullptr);
        EXPECT_NE(LayersOf(*info)->transparency, nullptr) << "the layer below has transparency";
        EXPECT_EQ(LayersOf(*info)->next->next->transparency, nullptr) << "the layer above has none";
        EXPECT_EQ(LayersOf(*info)->next->compositeChannelsList->port, info->targetCompositeChannels->port)
            << "the target layer reads through the target's ports";
        EXPECT_NE(info->targetTransparency, nullptr);
        EXPECT_STREQ(info->alphaChannels->name, "Mask");
        EXPECT_NE(WritePortOf(*info->alphaChannels), nullptr);
        EXPECT_STREQ(info->alphaChannels->next->name, "Spare");
        EXPECT_EQ(info->alphaChannels->next->next, nullptr);
        EXPECT_EQ(WritePortOf(*info->targetCompositeChannels), nullptr) << "only alpha channels are written";
        EXPECT_NE(info->selection, nullptr);
        // Like every host, this one offers channel ports through the record only, not as a suite.
        const void* suite = nullptr;
        EXPECT_EQ(r.sSPBasic->AcquireSuite("Photoshop ChannelPorts Suite for Plug-ins", 3, &suite), kSPSuiteNotFoundError);
        return 0;
    });
    EXPECT_EQ(run.result.exitCode, 0);
}

TEST(DocumentLayers, AFlatDocumentWithoutPortsOffersNoProceduresAndNoLayerList) {
    HostOptions options = OptionsFor(Patterned(8, 8, ImageMode{}));
    options.noChannelPorts = true;
    const StartRun run = RunStart(options, [](FilterRecord& r) -> int16_t {
        EXPECT_EQ(r.channelPortProcs, nullptr);
        EXPECT_EQ(LayersOf(*r.documentInfo), nullptr) << "a flat image has no layer list";
        EXPECT_EQ(r.documentInfo->selection, nullptr);
        EXPECT_EQ(r.inTransparencyMask, 0);
        EXPECT_EQ(r.inNonLayerPlanes, 3);
        return 0;
    });
    EXPECT_EQ(run.result.exitCode, 0);
}

TEST(ChannelPorts, ReadAtAScalingInsideTheLayersPixelsAndTheLimit) {
    const StartRun run = RunStart(LayeredOptions(ImageMode{ColorMode::RGB, 8}), [](FilterRecord& r) -> int16_t {
        const ReadChannelDesc& green = *LayersOf(*r.documentInfo)->compositeChannelsList->next;
        // Half size: destination pixel (x, y) samples source (2x, 2y); the layer's pixels lie in
        // rows 5..24 and columns 6..29, so the destination's rows 3..12 and columns 3..14; the
        // limit cuts columns at 12.
        const PSScaling scaling{{0, 0, 30, 40}, {0, 0, 15, 20}};
        const Rect32 limit{0, 0, 15, 12};
        std::vector<uint8_t> memory(15 * 20, 0xEE);
        const PixelMemoryDesc desc{memory.data(), 20 * 8, 8, 0, 8};
        Rect32 wrote{};
        EXPECT_EQ(r.channelPortProcs->readPixels(green.port, &scaling, &limit, &desc, &wrote), 0);
        EXPECT_EQ(wrote.top, 3);
        EXPECT_EQ(wrote.left, 3);
        EXPECT_EQ(wrote.bottom, 13);
        EXPECT_EQ(wrote.right, 12);
        for (int32_t y = 0; y < 15; ++y)
            for (int32_t x = 0; x < 20; ++x) {
                const bool written = y >= 3 && y < 13 && x >= 3 && x < 12;
                EXPECT_EQ(memory[size_t(y) * 20 + x], written ? Pattern(2, 2 * x, 2 * y) : 0xEE) << x << "," << y;
            }
        return 0;
    });
    EXPECT_EQ(run.result.exitCode, 0);
}

TEST(ChannelPorts, AlphaChannelsAreWrittenAndSixteenBitSamplesTravelInTheFullRange) {
    const StartRun run = RunStart(LayeredOptions(ImageMode{ColorMode::RGB, 16}), [](FilterRecord& r) -> int16_t {
        const ReadChannelDesc& mask = *r.documentInfo->alphaChannels;
        const uint16_t written[4] = {0, 1, 32768, 65535};
        const Rect32 area{2, 3, 4, 5};
        const PixelMemoryDesc source{const_cast<uint16_t*>(written), 2 * 16, 16, 0, 16};
        EXPECT_EQ(r.channelPortProcs->writeBasePixels(WritePortOf(mask), &area, &source), 0);
        ChannelReadPort readPort = nullptr;
        EXPECT_EQ(r.channelPortProcs->readPortForWritePort(&readPort, WritePortOf(mask)), 0);
        EXPECT_EQ(readPort, mask.port);
        uint16_t read[4] = {};
        const PSScaling scaling{area, area};
        const PixelMemoryDesc destination{read, 2 * 16, 16, 0, 16};
        Rect32 wrote{};
        EXPECT_EQ(r.channelPortProcs->readPixels(mask.port, &scaling, nullptr, &destination, &wrote), 0);
        // 0..65535 comes in as 0..32768 and goes out again the same way.
        const uint16_t expected[4] = {0, 1, 32767, 65535};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(read[i], expected[i]) << i;
        return 0;
    });
    EXPECT_EQ(run.result.exitCode, 0);
    const std::optional<std::vector<uint16_t>> mask = run.session->AlphaChannelSamples("Mask");
    ASSERT_TRUE(mask);
    EXPECT_EQ((*mask)[2 * kWidth + 3], 0);
    EXPECT_EQ((*mask)[2 * kWidth + 4], 1);
    EXPECT_EQ((*mask)[3 * kWidth + 3], 16384);
    EXPECT_EQ((*mask)[3 * kWidth + 4], 32768);
    EXPECT_EQ((*mask)[0], 0) << "nothing outside the rectangle";
    EXPECT_FALSE(run.session->AlphaChannelSamples("mask")) << "names are exact";
}

TEST(ChannelPorts, WhatDoesNotFitIsRefused) {
    const StartRun run = RunStart(LayeredOptions(ImageMode{ColorMode::RGB, 8}), [](FilterRecord& r) -> int16_t {
        const ChannelPortProcs& ports = *r.channelPortProcs;
        const ReadChannelDesc& red = *r.documentInfo->targetCompositeChannels;
        const ReadChannelDesc& mask = *r.documentInfo->alphaChannels;
        uint8_t memory[64] = {};
        const PSScaling scaling{{0, 0, 4, 4}, {0, 0, 4, 4}};
        const PixelMemoryDesc good{memory, 4 * 8, 8, 0, 8};
        Rect32 wrote{};
        const auto read = [&](ChannelReadPort port, const PSScaling& s, const PixelMemoryDesc& m) {
            return ports.readPixels(port, &s, nullptr, &m, &wrote);
        };
        EXPECT_EQ(read(red.port, scaling, good), 0);
        int foreign = 0;
        EXPECT_EQ(read(reinterpret_cast<ChannelReadPort>(&foreign), scaling, good), kBadParameter);
        EXPECT_EQ(read(red.port, PSScaling{{0, 0, 4, 4}, {0, 0, 0, 4}}, good), kBadParameter) << "empty";
        EXPECT_EQ(read(red.port, PSScaling{{0, 0, 1 << 25, 4}, {0, 0, 4, 4}}, good), kBadParameter) << "huge";
        EXPECT_EQ(read(red.port, scaling, PixelMemoryDesc{nullptr, 32, 8, 0, 8}), kBadParameter);
        EXPECT_EQ(read(red.port, scaling, PixelMemoryDesc{memory, 32, 8, 0, 16}), kBadParameter) << "depth";
        EXPECT_EQ(read(red.port, scaling, PixelMemoryDesc{memory, 32, 4, 0, 8}), kBadParameter) << "packed bits";
        EXPECT_EQ(read(red.port, scaling, PixelMemoryDesc{memory, 32, 8, 3, 8}), kBadParameter) << "bit offset";
        const Rect32 area{0, 0, 4, 4};
        EXPECT_EQ(ports.writeBasePixels(reinterpret_cast<ChannelWritePort>(red.port), &area, &good), kBadParameter)
            << "the target's planes are not written through ports";
        EXPECT_EQ(ports.writeBasePixels(WritePortOf(mask), nullptr, &good), kBadParameter);
        ChannelReadPort readPort = nullptr;
        EXPECT_EQ(ports.readPortForWritePort(&readPort, reinterpret_cast<ChannelWritePort>(&foreign)), kBadParameter);
        return 0;
    });
    EXPECT_EQ(run.result.exitCode, 0);
}

TEST(DocumentLayers, SourcesThatDoNotFitTheDocumentStopTheRun) {
    HostOptions wrongSize = LayeredOptions(ImageMode{ColorMode::RGB, 8});
    wrongSize.layersBelow[0].colour.planes[0].pop_back();
    HostOptions tooBright = LayeredOptions(ImageMode{ColorMode::RGB, 8});
    tooBright.layersBelow[0].colour.planes[1][0] = 256;
    HostOptions nothing = LayeredOptions(ImageMode{ColorMode::RGB, 8});
    nothing.alphaChannels.push_back({"Empty", PixelSource{}});
    for (HostOptions* options : {&wrongSize, &tooBright, &nothing}) {
        bool called = false;
        const StartRun run = RunStart(*options, [&](FilterRecord&) -> int16_t {
            called = true;
            return 0;
        });
        EXPECT_FALSE(run.result.loaded);
        EXPECT_FALSE(run.result.error.empty());
        EXPECT_FALSE(called);
    }
}

TEST(DocumentLayers, AnImageFileOfTheDocumentsSizeBecomesAChannel) {
    TempFolder folder;
    RasterImage gray{kWidth, kHeight, 1, 8, std::vector<uint16_t>(size_t(kWidth) * kHeight)};
    for (size_t i = 0; i < gray.samples.size(); ++i) gray.samples[i] = static_cast<uint16_t>(i % 251);
    std::string error;
    const std::string fits = folder / "fits.png", small = folder / "small.png";
    ASSERT_TRUE(WriteImageFile(fits, gray, error)) << error;
    ASSERT_TRUE(WriteImageFile(small, RasterImage{4, 4, 1, 8, std::vector<uint16_t>(16)}, error)) << error;

    HostOptions options = OptionsFor(Patterned(kWidth, kHeight, ImageMode{ColorMode::RGB, 8}));
    options.alphaChannels = {{"From File", PixelSource{.file = fits}}};
    const StartRun run = RunStart(options, [](FilterRecord&) -> int16_t { return 0; });
    ASSERT_EQ(run.result.exitCode, 0) << run.result.error;
    const std::optional<std::vector<uint16_t>> samples = run.session->AlphaChannelSamples("From File");
    ASSERT_TRUE(samples);
    EXPECT_EQ(*samples, gray.samples);

    for (const std::string& path : {small, folder / "missing.png"}) {
        options.alphaChannels = {{"From File", PixelSource{.file = path}}};
        const StartRun refused = RunStart(options, [](FilterRecord&) -> int16_t { return 0; });
        EXPECT_FALSE(refused.result.loaded) << path;
        EXPECT_FALSE(refused.result.error.empty()) << path;
    }
}

TEST(DocumentLayers, TheCommandLineGivesLayersAlphaChannelsAndTransparency) {
    HostOptions options;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--plugin", "p.8bf", "--layer-below", "fill:1,2,3", "--layer-above", "above.png",
                                  "--alpha", "Frame Mask=fill:200", "--transparency", "fill:128", "--no-channel-ports",
                                  "in.png", "out.png"},
                                 options, help, error))
        << error;
    ASSERT_EQ(options.layersBelow.size(), 1u);
    EXPECT_EQ(options.layersBelow[0].colour.fill, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(options.layersAbove[0].colour.file, "above.png");
    ASSERT_EQ(options.alphaChannels.size(), 1u);
    EXPECT_EQ(options.alphaChannels[0].name, "Frame Mask");
    EXPECT_EQ(options.alphaChannels[0].samples.fill, (std::vector<uint8_t>{200}));
    EXPECT_EQ(options.transparency->fill, (std::vector<uint8_t>{128}));
    EXPECT_TRUE(options.noChannelPorts);
    for (const char* bad : {"fill:256", "fill:1,", "fill:", "fill:-1", "fill:1x"}) {
        HostOptions refused;
        EXPECT_FALSE(ParseCommandLine({"--plugin", "p.8bf", "--layer-below", bad, "in.png", "out.png"}, refused, help, error))
            << bad;
    }
    HostOptions unnamed;
    EXPECT_FALSE(ParseCommandLine({"--plugin", "p.8bf", "--alpha", "=fill:1", "in.png", "out.png"}, unnamed, help, error));
}

}  // namespace
