// The framework driven through the stand-in host exactly as the product is: the test filter
// plug-in over gray, RGB and CMYK documents at 8 and 16 bits, with and without a selection, for
// any tile size and buffer budget; aborts, missing host services, filter cases, and the session
// block that carries a selection from one host call to the next.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "HostCall.h"
#include "HostPixels.h"
#include "HostServices.h"
#include "FrameworkHostSupport.h"
#include "HostSession.h"

namespace {

using namespace frameworkhost;

const ImageMode kModes[] = {{ColorMode::Gray, 8},  {ColorMode::RGB, 8},  {ColorMode::CMYK, 8},
                            {ColorMode::Gray, 16}, {ColorMode::RGB, 16}, {ColorMode::CMYK, 16}};

TEST(FrameworkThroughHost, EveryModeAndDepthIsInvertedExactly) {
    for (const ImageMode& mode : kModes) {
        const Document before = Patterned(1001, 777, mode);
        const Outcome outcome = RunFilter(Options(before));
        ASSERT_EQ(outcome.Result(3), 0) << mode.Name();
        ASSERT_EQ(outcome.result.exitCode, 0) << mode.Name();
        ExpectInverted(before, outcome.document, before.Bounds());
    }
}

TEST(FrameworkThroughHost, SelectionsGoThroughTheHostsUndoDeselectAndRepeat) {
    const PixelRect selection{101, 233, 500, 811};
    for (const ImageMode& mode : kModes) {
        Document before = Patterned(1001, 777, mode);
        HostOptions options;
        options.document = before;
        options.selection = selection;
        options.repeatAfterDeselect = true;
        const Outcome outcome = RunFilter(options);
        ASSERT_EQ(outcome.result.exitCode, 0) << mode.Name();
        EXPECT_EQ(outcome.statistics.filterRuns, 2) << "the first run cached the selection, the second rendered";
        ASSERT_EQ(outcome.result.calls.back().dataWord, 0) << "the session block was taken back";
        ExpectInverted(before, outcome.document, selection);
    }
}

TEST(FrameworkThroughHost, ASelectionOfTheWholeImageIsDeliveredAsAMask) {
    const Document before = Patterned(301, 203, ImageMode{ColorMode::RGB, 16});
    HostOptions options;
    options.document = before;
    options.selection = before.Bounds();
    const Outcome outcome = RunFilter(options);
    ASSERT_EQ(outcome.result.exitCode, 0);
    EXPECT_EQ(outcome.statistics.filterRuns, 1);
    ExpectInverted(before, outcome.document, before.Bounds());
}

TEST(FrameworkThroughHost, ResultDoesNotDependOnTileSizeOrBudget) {
    struct Setting {
        int32_t tile;
        int64_t budget;
    };
    const Document before = Patterned(523, 389, ImageMode{ColorMode::RGB, 8});
    for (const Setting& s : {Setting{0, int64_t{256} << 20}, Setting{1, int64_t{256} << 20}, Setting{64, int64_t{256} << 20},
                             Setting{1000, int64_t{256} << 20}, Setting{0, 120000}, Setting{256, 90000}}) {
        HostOptions options = Options(before);
        options.tile = s.tile;
        options.budget = s.budget;
        const Outcome outcome = RunFilter(options);
        ASSERT_EQ(outcome.Result(3), 0) << "tile " << s.tile << " budget " << s.budget;
        ExpectInverted(before, outcome.document, before.Bounds());
        EXPECT_LE(outcome.statistics.peakBufferBytes, s.budget);
    }
}

TEST(FrameworkThroughHost, AnAbortEndsTheStartCallWith32512) {
    const Document before = Patterned(600, 500, ImageMode{ColorMode::Gray, 8});
    for (int64_t after : {0, 1, 3}) {
        HostOptions options = Options(before);
        options.tile = 64;
        options.abortAfter = after;
        const Outcome outcome = RunFilter(options);
        EXPECT_EQ(outcome.Result(3), 32512) << "abort after " << after;
        EXPECT_TRUE(outcome.result.alerts.empty()) << "a cancel shows no alert";
    }
}

TEST(FrameworkThroughHost, AHostWithoutAdvanceStateOrBuffersGives17500) {
    const Document before = Patterned(40, 30, ImageMode{ColorMode::RGB, 8});
    for (int missing = 0; missing < 2; ++missing) {
        HostOptions options = Options(before);
        options.noAdvanceState = missing == 0;
        options.noBufferProcs = missing == 1;
        const Outcome outcome = RunFilter(options);
        EXPECT_EQ(outcome.Result(3), 17500) << missing;
        ExpectInverted(before, outcome.document, PixelRect{});  // nothing was written
    }
}

TEST(FrameworkThroughHost, FilterCasesGive17007And17010) {
    const Document before = Patterned(40, 30, ImageMode{ColorMode::RGB, 8});
    struct Case {
        int16_t filterCase;
        int16_t prepare;
    };
    for (const Case& c : {Case{1, 17007}, Case{6, 17010}, Case{7, 17010}, Case{2, 0}, Case{4, 0}}) {
        HostOptions options = Options(before);
        options.filterCase = c.filterCase;
        const Outcome outcome = RunFilter(options);
        EXPECT_EQ(outcome.Result(2), c.prepare) << "filter case " << c.filterCase;
        if (c.prepare) {
            EXPECT_EQ(outcome.result.Find(3), nullptr) << "no start after a failed prepare";
        }
    }
}

// An entry linked into this program that reads the document's title during start.
char gTitle[64];
size_t gTitleBuffer = sizeof gTitle;

void TitleEntry(int16_t selector, void* callRecord, intptr_t*, int16_t* result) {
    *result = 0;
    if (selector != kSelectorStart) return;
    auto* record = static_cast<FilterRecord*>(callRecord);
    const HostCallScope call(HostCall{.record = record, .basicSuite = record->sSPBasic});
    std::memset(gTitle, 'x', sizeof gTitle);
    GetDocumentTitle(record->sSPBasic, gTitle, gTitleBuffer);
    HostSuites::ReleaseAll(record->sSPBasic);
}

TEST(FrameworkThroughHost, TheDocumentTitleIsCopiedWithABoundAndATerminator) {
    for (size_t buffer : {sizeof gTitle, size_t{5}}) {
        gTitleBuffer = buffer;
        HostOptions options;
        options.entry = TitleEntry;
        options.document = Patterned(8, 8, ImageMode{});
        options.mode = options.document->Mode();
        qvhost::HostSession session(options);
        ASSERT_EQ(session.Run().exitCode, 0);
        EXPECT_STREQ(gTitle, buffer == sizeof gTitle ? "Untitled" : "Unti");
        if (buffer < sizeof gTitle) {
            EXPECT_EQ(gTitle[buffer], 'x') << "nothing past the bound";
        }
    }
}

}  // namespace
