// Quorvel.8bf inside a selection, through the stand-in host: the frame is drawn in the selection
// and every pixel outside it (or in a hole of it) keeps its value in every mode, on flat images
// and on layers; a selection without a pixel ends the
// call with "no pixels" and changes nothing; a one-pixel selection of a large image takes a
// handful of host requests and progress calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "HostSession.h"
#include "SamplePresets.h"

namespace {

using qvhost::ColorMode;
using qvhost::Document;
using qvhost::ImageMode;
using qvhost::PixelRect;

constexpr int16_t kNoPixelsInLayer = 17008;

std::string PluginPath() { return std::string(std::getenv("QUORVEL_BIN")) + "/Quorvel.8bf"; }

// The rounded rectangle preset, written once for every run of this program.
const std::string& FramePreset() {
    static const std::string path = [] {
        const char* temp = std::getenv("TEMP");
        const std::string file = std::string(temp ? temp : ".") + "\\selection-rounded-rectangle.qvo";
        for (const SamplePreset& preset : SamplePresets()) {
            if (preset.name == "rounded-rectangle") {
                EXPECT_TRUE(WriteSamplePreset(preset, file));
            }
        }
        return file;
    }();
    return path;
}

uint16_t PatternSample(const ImageMode& mode, int plane, int32_t x, int32_t y) {
    return static_cast<uint16_t>((x * 37 + y * 11 + plane * 71) % (mode.FullValue() + 1));
}

// A photo with structure in every plane; a layer's transparency plane, when asked for, too.
Document Patterned(int32_t width, int32_t height, ImageMode mode, bool transparency = false) {
    Document d(width, height, mode);
    if (transparency) d.SetTransparency(0);
    for (int p = 0; p < d.SamplePlanes(); ++p)
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) d.SetSample(p, x, y, PatternSample(mode, p, x, y));
    return d;
}

bool Inside(const PixelRect& r, int32_t x, int32_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

struct FramedRun {
    int16_t startResult = INT16_MIN;
    qvhost::HostStatistics statistics;
    std::vector<std::string> alerts;
    Document output;
};

// The frame over the document inside the selection; without one, inside the selection the
// document brings (a shaped one).
FramedRun RunFrame(const Document& document, std::optional<PixelRect> selection, int64_t abortAfter = -1) {
    qvhost::HostOptions options;
    options.pluginPath = PluginPath();
    options.document = document;
    options.mode = document.Mode();
    options.selection = selection;
    options.settingsIn = FramePreset();
    options.abortAfter = abortAfter;
    qvhost::HostSession session(options);
    const qvhost::HostRunResult result = session.Run();
    FramedRun run;
    if (const qvhost::CallRecord* start = result.Find(kSelectorStart)) run.startResult = start->result;
    run.statistics = session.Statistics();
    run.alerts = result.alerts;
    run.output = session.GetDocument();
    return run;
}

// Samples outside the selection that differ from the pattern, and samples inside that do.
struct Changes {
    int64_t outside = 0, inside = 0;
};

Changes CountChanges(const Document& output, const PixelRect& selection) {
    Changes changes;
    for (int p = 0; p < output.SamplePlanes(); ++p)
        for (int32_t y = 0; y < output.Height(); ++y)
            for (int32_t x = 0; x < output.Width(); ++x) {
                if (output.Sample(p, x, y) == PatternSample(output.Mode(), p, x, y)) continue;
                ++(Inside(selection, x, y) ? changes.inside : changes.outside);
            }
    return changes;
}

TEST(SelectionThroughHost, TheFrameStaysInsideTheSelectionInEveryMode) {
    struct Case {
        ImageMode mode;
        PixelRect selection;  // top, left, bottom, right
        bool layer = false;   // a layer with transparency rather than a flat image
    };
    const Case cases[] = {
        {{ColorMode::Gray, 8}, {20, 30, 70, 110}},        {{ColorMode::Gray, 16}, {20, 30, 70, 110}},
        {{ColorMode::RGB, 8}, {20, 30, 70, 110}},         {{ColorMode::RGB, 16}, {20, 30, 70, 110}},
        {{ColorMode::CMYK, 8}, {20, 30, 70, 110}},        {{ColorMode::CMYK, 16}, {20, 30, 70, 110}},
        {{ColorMode::RGB, 8}, {0, 0, 45, 60}},            // touching two edges of the image
        {{ColorMode::Gray, 16}, {50, 100, 90, 140}},      // the bottom-right corner
        {{ColorMode::RGB, 8}, {20, 30, 70, 110}, true},   {{ColorMode::CMYK, 16}, {10, 5, 80, 70}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode.Name() << (c.layer ? " layer" : "") << " selection "
                                        << c.selection.top << "," << c.selection.left << "," << c.selection.bottom
                                        << "," << c.selection.right);
        const FramedRun run = RunFrame(Patterned(140, 90, c.mode, c.layer), c.selection);
        ASSERT_EQ(run.startResult, 0);
        const Changes changes = CountChanges(run.output, c.selection);
        EXPECT_EQ(changes.outside, 0);
        EXPECT_GT(changes.inside, 0) << "the frame is drawn in the selection";
        EXPECT_EQ(run.statistics.outputPixelsOutsideFilter, 0) << "the plug-in asked to write outside the selection";
    }
}

// A layer's pixel that is wholly transparent before and after shows nothing either way: the
// colour it holds does not count.
bool Invisible(const Document& before, const Document& after, int32_t x, int32_t y) {
    const int t = before.Planes();
    return before.HasTransparency() && before.Sample(t, x, y) == 0 && after.Sample(t, x, y) == 0;
}

// A shaped selection: holes in it (one through the frame's margin, one in the photo) keep their
// pixels, and every fully selected pixel comes out as it does under the plain rectangle.
TEST(SelectionThroughHost, AShapedSelectionKeepsTheHolesInIt) {
    const PixelRect bounds{10, 20, 80, 130};
    const PixelRect holes[] = {{10, 20, 80, 40}, {40, 70, 50, 85}};
    const auto inHole = [&](int32_t x, int32_t y) { return Inside(holes[0], x, y) || Inside(holes[1], x, y); };
    struct Case {
        ImageMode mode;
        bool layer = false;
    };
    const Case cases[] = {
        {{ColorMode::Gray, 8}}, {{ColorMode::Gray, 16}}, {{ColorMode::RGB, 8}}, {{ColorMode::RGB, 16}},
        {{ColorMode::CMYK, 8}}, {{ColorMode::CMYK, 16}}, {{ColorMode::RGB, 8}, true}, {{ColorMode::Gray, 16}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode.Name() + (c.layer ? " layer" : ""));
        const Document photo = Patterned(140, 90, c.mode, c.layer);
        const FramedRun plain = RunFrame(photo, bounds);
        Document shaped = photo;
        shaped.Select(bounds);
        for (int32_t y = bounds.top; y < bounds.bottom; ++y)
            for (int32_t x = bounds.left; x < bounds.right; ++x)
                if (inHole(x, y)) shaped.SetCoverage(x, y, 0);
        const FramedRun run = RunFrame(shaped, std::nullopt);
        ASSERT_EQ(plain.startResult, 0);
        ASSERT_EQ(run.startResult, 0);
        int64_t holeChanged = 0, selectedDiffer = 0, outsideChanged = 0, holeFramed = 0;
        for (int p = 0; p < photo.SamplePlanes(); ++p)
            for (int32_t y = 0; y < photo.Height(); ++y)
                for (int32_t x = 0; x < photo.Width(); ++x) {
                    const uint16_t now = run.output.Sample(p, x, y), before = photo.Sample(p, x, y);
                    if (!Inside(bounds, x, y)) {
                        outsideChanged += now != before;
                    } else if (inHole(x, y)) {
                        holeChanged += now != before && !Invisible(photo, run.output, x, y);
                        holeFramed += plain.output.Sample(p, x, y) != before;
                    } else {
                        selectedDiffer += now != plain.output.Sample(p, x, y);
                    }
                }
        EXPECT_GT(holeFramed, 0) << "the plain rectangle draws where the holes are";
        EXPECT_EQ(holeChanged, 0);
        EXPECT_EQ(selectedDiffer, 0);
        EXPECT_EQ(outsideChanged, 0);
    }
}

TEST(SelectionThroughHost, ASelectionWithoutPixelsEndsWithNoPixelsAndChangesNothing) {
    const PixelRect empty[] = {
        {400, 500, 450, 550},  // wholly outside the image
        {10, 10, 60, 10},      // no width
        {30, 20, 30, 90},      // no height
    };
    for (const PixelRect& selection : empty) {
        SCOPED_TRACE(testing::Message() << selection.top << "," << selection.left << "," << selection.bottom << ","
                                        << selection.right);
        const Document photo = Patterned(140, 90, ImageMode{ColorMode::RGB, 8});
        const FramedRun run = RunFrame(photo, selection);
        EXPECT_EQ(run.startResult, kNoPixelsInLayer);
        ASSERT_EQ(run.alerts.size(), 1u);
        EXPECT_NE(run.alerts[0].find("There are no pixels in this layer."), std::string::npos) << run.alerts[0];
        const Changes changes = CountChanges(run.output, selection);
        EXPECT_EQ(changes.inside + changes.outside, 0);
        EXPECT_EQ(run.statistics.bytesWrittenBack, 0);
    }
}

// The host aborts after 1000 progress calls: a pass that walked the image in selection-sized
// tiles would end there instead of finishing.
TEST(SelectionThroughHost, AOnePixelSelectionOfALargeImageTakesAFewRequests) {
    const ImageMode mode{ColorMode::RGB, 8};
    const PixelRect selection{1500, 2000, 1501, 2001};
    const FramedRun run = RunFrame(Patterned(4000, 3000, mode), selection, 1000);
    ASSERT_EQ(run.startResult, 0);
    EXPECT_FALSE(run.statistics.aborted);
    EXPECT_LE(run.statistics.progressCalls, 10);
    EXPECT_LE(run.statistics.advanceStateCalls, 10);
    EXPECT_EQ(run.statistics.outputPixelsOutsideFilter, 0);
    EXPECT_EQ(CountChanges(run.output, selection).outside, 0);
}

}  // namespace
