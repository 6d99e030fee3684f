// advanceState: the pixels, mask and output the host hands out, with subsampling and padding,
// and the output's way back into the document.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "FunctionPlugin.h"

using namespace hosttest;

namespace {

uint16_t Load(const void* data, int32_t rowBytes, int32_t x, int32_t y, int bytes) {
    const auto* at = static_cast<const uint8_t*>(data) + int64_t{y} * rowBytes + int64_t{x} * bytes;
    if (bytes == 1) return *at;
    uint16_t v;
    std::memcpy(&v, at, 2);
    return v;
}

TEST(AdvanceState, HandsOutSubsampledPlanesAtIntegerAndFractionalRates) {
    for (const ImageMode mode : {ImageMode{ColorMode::RGB, 8}, ImageMode{ColorMode::RGB, 16}}) {
        const Document document = Patterned(40, 30, mode);
        const int bytes = mode.BytesPerSample();
        for (const Fixed16 rate : {0x10000, 0x30000, 0x18000}) {
            int checked = 0;
            const StartRun run = RunStart(OptionsFor(document), [&](FilterRecord& r) -> int16_t {
                r.inRect = {2, 3, 8, 10};
                r.inLoPlane = 1;
                r.inHiPlane = 2;
                r.inputRate = rate;
                if (const int16_t error = r.advanceState()) return error;
                EXPECT_EQ(r.inRowBytes, 7 * 2 * bytes);
                EXPECT_EQ(r.inColumnBytes, 2 * bytes);
                EXPECT_EQ(r.maskData, nullptr);  // no selection, no mask
                for (int32_t y = 2; y < 8; ++y)
                    for (int32_t x = 3; x < 10; ++x)
                        for (int p = 0; p < 2; ++p, ++checked) {
                            const int32_t sx = static_cast<int32_t>((int64_t{x} * rate) >> 16);
                            const int32_t sy = static_cast<int32_t>((int64_t{y} * rate) >> 16);
                            EXPECT_EQ(Load(r.inData, r.inRowBytes, (x - 3) * 2 + p, y - 2, bytes),
                                      document.Sample(1 + p, sx, sy))
                                << "rate " << rate << " at " << x << "," << y;
                        }
                return 0;
            });
            EXPECT_EQ(run.result.exitCode, 0);
            EXPECT_EQ(checked, 6 * 7 * 2);
        }
    }
}

TEST(AdvanceState, PadsOutsideTheDocumentAsAsked) {
    const Document document = Patterned(10, 10, ImageMode{ColorMode::Gray, 8});
    struct Case {
        int16_t padding;
        int16_t expectedError;
        uint16_t corner;  // what pixel (-2, -2) becomes
    };
    for (const Case c : {Case{7, 0, 7}, Case{-1, 0, Pattern(0, 0, 0)}, Case{-2, 0, 0}, Case{-3, -50, 0}}) {
        int16_t answered = 1;
        RunStart(OptionsFor(document), [&](FilterRecord& r) -> int16_t {
            r.inRect = {-2, -2, 3, 3};
            r.inLoPlane = r.inHiPlane = 0;
            r.inputPadding = c.padding;
            answered = r.advanceState();
            if (answered == 0) {
                EXPECT_EQ(Load(r.inData, r.inRowBytes, 0, 0, 1), c.corner) << c.padding;
                EXPECT_EQ(Load(r.inData, r.inRowBytes, 2, 2, 1), document.Sample(0, 0, 0));
            }
            return 0;
        });
        EXPECT_EQ(answered, c.expectedError) << c.padding;
    }
}

// The output goes back only inside the filter rectangle, whatever the plug-in asked for; inside
// it, autoMask blends by the selection's coverage (a hole stays, a soft pixel mixes), and without
// autoMask the plug-in's pixels go in as they are.
TEST(AdvanceState, WritesOutputBackOnlyInsideTheFilterRectAndWhereSelectedWithAutoMask) {
    const PixelRect selection{2, 2, 6, 6};  // top, left, bottom, right
    struct Shaped {
        int32_t x, y;
        uint8_t coverage;
    };
    const Shaped shape[] = {{3, 3, 0}, {4, 4, 128}, {5, 2, 64}};
    Document shaped = Patterned(12, 12, ImageMode{ColorMode::RGB, 8});
    shaped.Select(selection);
    for (const Shaped& s : shape) shaped.SetCoverage(s.x, s.y, s.coverage);
    for (const bool autoMask : {true, false}) {
        const StartRun run = RunStart(OptionsFor(shaped), [&](FilterRecord& r) -> int16_t {
            EXPECT_EQ(r.filterRect.left, 2);
            EXPECT_EQ(r.filterRect.bottom, 6);
            r.autoMask = autoMask;
            r.outRect = {0, 0, 8, 8};
            r.outLoPlane = 0;
            r.outHiPlane = 2;
            r.maskRect = {0, 0, 4, 4};
            r.maskRate = 0x20000;
            if (const int16_t error = r.advanceState()) return error;
            // The mask at half resolution: the coverage of the sampled pixel.
            for (int32_t y = 0; y < 4; ++y)
                for (int32_t x = 0; x < 4; ++x)
                    EXPECT_EQ(Load(r.maskData, r.maskRowBytes, x, y, 1), shaped.Coverage(2 * x, 2 * y)) << x << "," << y;
            auto* out = static_cast<uint8_t*>(r.outData);
            for (int32_t i = 0; i < 8 * 8 * 3; ++i) out[i] = static_cast<uint8_t>(255 - out[i]);
            // Output goes back at the next request too; an empty one asks for nothing more.
            r.outRect = r.maskRect = {};
            return r.advanceState();
        });
        ASSERT_EQ(run.result.exitCode, 0);
        // 64 pixels asked for, 16 of them inside the filter rectangle.
        EXPECT_EQ(run.session->Statistics().outputPixelsOutsideFilter, 8 * 8 - 4 * 4);
        const Document& after = run.session->GetDocument();
        for (int32_t y = 0; y < 12; ++y)
            for (int32_t x = 0; x < 12; ++x) {
                const int32_t old = Pattern(1, x, y), written = 255 - old;
                const bool inFilter = x >= 2 && x < 6 && y >= 2 && y < 6;
                int32_t expected = old;
                if (inFilter) expected = autoMask ? old + (written - old) * shaped.Coverage(x, y) / 255 : written;
                EXPECT_EQ(after.Sample(1, x, y), expected) << "autoMask " << autoMask << " at " << x << "," << y;
            }
    }
}

TEST(AdvanceState, RefusesPlanesTheDocumentLacksAndRequestsOverTheBudget) {
    HostOptions options = OptionsFor(Patterned(100, 100, ImageMode{ColorMode::Gray, 16}));
    options.budget = 100 * 100 * 2 - 1;
    int16_t planes = 0, budget = 0, fits = 1;
    RunStart(options, [&](FilterRecord& r) -> int16_t {
        r.inRect = {0, 0, 10, 10};
        r.inLoPlane = 0;
        r.inHiPlane = 1;  // a gray document has one plane
        planes = r.advanceState();
        r.inHiPlane = 0;
        r.inRect = {0, 0, 100, 100};
        budget = r.advanceState();
        r.inRect = {0, 0, 99, 100};
        fits = r.advanceState();
        return 0;
    });
    EXPECT_EQ(planes, -50);
    EXPECT_EQ(budget, -108);
    EXPECT_EQ(fits, 0);
}

TEST(AdvanceState, ServesRequestsLargerThanATileWholeFromTheTilesTheyCover) {
    HostOptions options = OptionsFor(Patterned(20, 20, ImageMode{ColorMode::Gray, 8}));
    options.tile = 4;
    int32_t tileSize = 0;
    const StartRun run = RunStart(options, [&](FilterRecord& r) -> int16_t {
        tileSize = r.documentInfo->targetCompositeChannels->tileSize.h;
        r.inRect = {1, 2, 11, 12};  // rows 1..10 and columns 2..11: three tiles each way
        r.inLoPlane = r.inHiPlane = 0;
        if (const int16_t error = r.advanceState()) return error;
        EXPECT_EQ(Load(r.inData, r.inRowBytes, 9, 9, 1), Pattern(0, 11, 10));
        return 0;
    });
    EXPECT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(tileSize, 4);
    EXPECT_EQ(run.session->Statistics().tilesAssembled, 9);
}

TEST(Session, ServesRectanglesLeftAfterStartThroughContinueCalls) {
    gBody = [](int16_t selector, FilterRecord& r) -> int16_t {
        if (selector == kSelectorStart) {
            r.outRect = {0, 0, 2, 2};
            r.outLoPlane = r.outHiPlane = 0;
        } else if (selector == kSelectorContinue) {
            if (!r.outData) return -1;
            std::memset(r.outData, 200, 4);
            r.outRect = {};
        }
        return 0;
    };
    HostOptions options = OptionsFor(Patterned(4, 4, ImageMode{ColorMode::Gray, 8}));
    options.entry = FunctionPlugin;
    HostSession session(options);
    const HostRunResult result = session.Run();
    gBody = nullptr;
    ASSERT_EQ(result.exitCode, 0);
    std::vector<int16_t> selectors;
    for (const CallRecord& call : result.calls) selectors.push_back(call.selector);
    EXPECT_EQ(selectors, (std::vector<int16_t>{kSelectorPrepare, kSelectorStart, kSelectorContinue, kSelectorFinish}));
    EXPECT_EQ(session.GetDocument().Sample(0, 1, 1), 200);
    EXPECT_EQ(session.GetDocument().Sample(0, 2, 2), Pattern(0, 2, 2));
}

TEST(Session, CountsProgressAndAbortsAfterN) {
    HostOptions options = OptionsFor(Patterned(4, 4, ImageMode{ColorMode::Gray, 8}));
    options.abortAfter = 3;
    int firstAbort = -1;
    const StartRun run = RunStart(options, [&](FilterRecord& r) -> int16_t {
        for (int i = 0; i < 10; ++i) {
            r.progressProc(i, 10);
            if (r.abortProc()) {
                firstAbort = i;
                return 32512;
            }
        }
        return 0;
    });
    EXPECT_EQ(firstAbort, 2);
    EXPECT_EQ(run.session->Statistics().progressCalls, 3);
    EXPECT_TRUE(run.session->Statistics().aborted);
    EXPECT_NE(run.result.exitCode, 0);
}

}  // namespace
