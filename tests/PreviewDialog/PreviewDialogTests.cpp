// The preview dialog as a user meets it: the stand-in host calls Start with the dialog asked for,
// the ui steps build a stack through the Frames menu, zoom through the View menu, undo and redo
// through the Edit menu, and press Apply or Cancel. What comes back is the host's image, the
// stored parameter block, the window titles the dialog showed and pictures of the dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../EndToEnd/EndToEndSupport.h"
#include "QuorvelHostCore/HostSession.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "UiShots.h"
#include "Utf.h"
#include "WindowShot.h"

namespace {

constexpr int16_t kApplied = 0;
constexpr int16_t kCancelled = 32512;
constexpr COLORREF kPreviewArea = RGB(0x2F, 0x2F, 0x2F);

// The menu commands the steps use.
constexpr const char* kAddShape = "menu 18301";
constexpr const char* kUndo = "menu 18201";
constexpr const char* kRedo = "menu 18202";

// A photo with a gradient in each plane, so that any change of a pixel shows.
qvhost::Document Photo(int32_t width, int32_t height) {
    qvhost::Document document(width, height, qvhost::ImageMode{});
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                document.SetSample(p, x, y, static_cast<uint16_t>(40 + (x * 3 + y * 2 + p * 50) % 160));
    return document;
}

struct DialogRun {
    int16_t startAnswer = INT16_MIN;
    std::vector<std::string> alerts;
    std::vector<uint8_t> parameters;
    std::unique_ptr<qvhost::HostSession> session;

    const qvhost::Document& Output() const { return session->GetDocument(); }
};

DialogRun RunDialog(const std::string& steps, int32_t width = 600, int32_t height = 400,
                    std::optional<qvhost::PixelSource> transparency = std::nullopt) {
    qvhost::HostOptions options;
    options.pluginPath = endtoend::BinPath("Quorvel.8bf");
    options.document = Photo(width, height);
    options.transparency = std::move(transparency);
    options.dialog = true;
    // A host without layers of its own: Apply puts the frames onto the photo. (A layered host takes
    // them as a new layer by default, which the round-trip tests follow.)
    options.signature = 'QVts';
    options.uiSteps = UiSteps(steps);
    DialogRun run;
    run.session = std::make_unique<qvhost::HostSession>(std::move(options));
    const qvhost::HostRunResult result = run.session->Run();
    EXPECT_TRUE(result.loaded) << result.error;
    if (const qvhost::CallRecord* start = result.Find(kSelectorStart)) run.startAnswer = start->result;
    run.alerts = result.alerts;
    run.parameters = run.session->Parameters();
    return run;
}

// The steps joined, each followed by a pause that lets the preview catch up.
std::string Steps(std::initializer_list<const char*> steps, int pauseMs = 150) {
    std::string text = "wait 600";
    for (const char* step : steps) text += std::string("; ") + step + "; wait " + std::to_string(pauseMs);
    return text;
}

int ChangedPixels(const qvhost::Document& a, const qvhost::Document& b) {
    int changed = 0;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            for (int p = 0; p < 3; ++p)
                if (a.Sample(p, x, y) != b.Sample(p, x, y)) {
                    ++changed;
                    break;
                }
    return changed;
}

std::string ShotPath(const char* name) {
    const std::string folder = ShotFolder();
    if (!folder.empty()) return folder + "/" + name;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + name;
}

qvhost::RasterImage ReadShot(const std::string& path) {
    qvhost::RasterImage image;
    std::string error;
    EXPECT_TRUE(qvhost::ReadImageFile(path, image, error)) << path << ": " << error;
    return image;
}

int CountColour(const qvhost::RasterImage& image, COLORREF colour) {
    int count = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x)
            if (PixelAt(image, x, y) == colour) ++count;
    return count;
}

// The captions the steps' "caption FILE" wrote, one a line; the file is removed.
std::vector<std::string> ReadCaptions(const std::string& path) {
    std::vector<std::string> captions;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) captions.push_back(line);
    file.close();
    DeleteFileA(path.c_str());
    return captions;
}

bool Contains(const std::vector<std::string>& titles, const std::string& tail) {
    for (const std::string& title : titles)
        if (title.size() >= tail.size() && title.compare(title.size() - tail.size(), tail.size(), tail) == 0) return true;
    return false;
}

TEST(PreviewDialog, ApplyFramesTheImageWithTheStackTheDialogShowedAtEveryZoom) {
    const std::string fit = ShotPath("preview-fit.png"), actual = ShotPath("preview-100.png"),
                      zoomed = ShotPath("preview-zoomed.png"), captions = ShotPath("preview-captions.txt");
    DeleteFileA(captions.c_str());
    const DialogRun run = RunDialog(Steps({kAddShape, kAddShape, "menu 18307", kAddShape}) + "; wait 1500; shot " + fit +
                                        "; menu 18404; wait 1500; shot " + actual + "; caption " + captions +
                                        "; menu 18401; menu 18401; wait 1500; shot " + zoomed + "; caption " + captions +
                                        "; press 1",
                                    1200, 800);
    const std::vector<std::string> titles = ReadCaptions(captions);
    EXPECT_EQ(run.startAnswer, kApplied);
    EXPECT_TRUE(run.alerts.empty()) << run.alerts.front();
    // The shapes cover the photo's corners with their background; the centre shows the photo.
    const qvhost::Document photo = Photo(1200, 800);
    EXPECT_NE(run.Output().Sample(0, 2, 2), photo.Sample(0, 2, 2));
    EXPECT_EQ(run.Output().Sample(1, 600, 400), photo.Sample(1, 600, 400));
    EXPECT_GT(ChangedPixels(run.Output(), photo), 1200 * 800 / 10);

    // Fit shows the whole image with the dialog's dark face round it; at 100% and above the image
    // fills the view.
    EXPECT_TRUE(Contains(titles, "(100%)"));
    EXPECT_TRUE(Contains(titles, "(300%)"));
    const qvhost::RasterImage fitShot = ReadShot(fit), actualShot = ReadShot(actual);
    EXPECT_GT(CountColour(fitShot, kPreviewArea), 2000);
    EXPECT_LT(CountColour(actualShot, kPreviewArea), CountColour(fitShot, kPreviewArea) / 4);
    EXPECT_GT(CountColour(fitShot, RGB(255, 255, 255)), 1000);  // the shapes' white background
}

// A layer shows through its transparency: the view hands displayPixels the layer's transparency
// as a mask, and the host draws its checkerboard where the layer is clear.
TEST(PreviewDialog, ATransparentPartOfTheLayerShowsAsTheHostsCheckerboard) {
    constexpr int32_t kWidth = 600, kHeight = 400;
    qvhost::PixelSource transparency;
    transparency.planes.assign(1, std::vector<uint16_t>(size_t{kWidth} * kHeight, 255));
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth / 2; ++x) transparency.planes[0][size_t(y) * kWidth + x] = 0;
    const std::string shot = ShotPath("preview-transparency.png");
    const DialogRun run = RunDialog("wait 600; menu 18404; wait 1500; shot " + shot + "; press 2", kWidth, kHeight,
                                    transparency);
    EXPECT_EQ(run.startAnswer, kCancelled);
    // At 100% the clear half fills a good part of the view with the host's two greys; the opaque
    // half shows the photo, which has neither.
    const qvhost::RasterImage image = ReadShot(shot);
    EXPECT_GT(CountColour(image, RGB(0xCC, 0xCC, 0xCC)), 10000);
    EXPECT_GT(CountColour(image, RGB(0xFF, 0xFF, 0xFF)), 10000);
}

TEST(PreviewDialog, CancelLeavesTheImageAsItWasAndAnswersCancel) {
    const DialogRun run = RunDialog(Steps({kAddShape, kAddShape}) + "; wait 800; press 2");
    EXPECT_EQ(run.startAnswer, kCancelled);
    EXPECT_EQ(ChangedPixels(run.Output(), Photo(600, 400)), 0);
}

TEST(PreviewDialog, KeysAndCommandsEndTheDialogAsTheirButtonsDo) {
    EXPECT_EQ(RunDialog("wait 600; key Escape").startAnswer, kCancelled);
    EXPECT_EQ(RunDialog("wait 600; menu 18101").startAnswer, kCancelled);
    EXPECT_EQ(RunDialog("wait 600; menu 18102").startAnswer, kApplied);
    EXPECT_EQ(RunDialog("wait 600; key Return").startAnswer, kApplied);
}

// The stored block without its selected layer: an undo moves the selection with the layers that
// come back or go (so that it stays on a layer of the stack), everything else returns byte for byte.
constexpr size_t kSelectedLayerByte = 24;
std::vector<uint8_t> WithoutSelection(std::vector<uint8_t> block) {
    if (block.size() >= kSelectedLayerByte + 2) block[kSelectedLayerByte] = block[kSelectedLayerByte + 1] = 0;
    return block;
}

// Undo takes the block back byte for byte, and redo brings the edit back, for the stack edits of
// the Frames and Edit menus: a turn, a flip, an invert, a delete, linking and a reset.
TEST(PreviewDialog, UndoAndRedoOfEveryStackEditRestoreTheBlockByteForByte) {
    const DialogRun before = RunDialog(Steps({kAddShape, kAddShape, "menu 18102"}));
    ASSERT_EQ(before.startAnswer, kApplied);
    for (const char* edit : {"menu 18307", "menu 18309", "menu 18304", "menu 18305", "menu 18312", "menu 18212"}) {
        SCOPED_TRACE(edit);
        const DialogRun edited = RunDialog(Steps({kAddShape, kAddShape, edit, "menu 18102"}));
        const DialogRun undone = RunDialog(Steps({kAddShape, kAddShape, edit, kUndo, "menu 18102"}));
        const DialogRun redone = RunDialog(Steps({kAddShape, kAddShape, edit, kUndo, kRedo, "menu 18102"}));
        EXPECT_NE(edited.parameters, before.parameters);
        EXPECT_EQ(WithoutSelection(undone.parameters), WithoutSelection(before.parameters));
        EXPECT_EQ(WithoutSelection(redone.parameters), WithoutSelection(edited.parameters));
    }
}

TEST(PreviewDialog, ZoomCommandsStepThroughTheTableAndHoldAtItsEnds) {
    const std::string captions = ShotPath("zoom-captions.txt");
    DeleteFileA(captions.c_str());
    const std::string caption = "; wait 60; caption " + captions;
    std::string steps = "wait 600; menu 18404" + caption;
    for (int i = 0; i < 9; ++i) steps += "; menu 18401" + caption;
    steps += "; menu 18404; menu 18402" + caption + "; menu 18402" + caption + "; press 2";
    const DialogRun run = RunDialog(steps);
    EXPECT_EQ(run.startAnswer, kCancelled);
    const std::vector<std::string> titles = ReadCaptions(captions);
    ASSERT_EQ(titles.size(), 12u);
    const char* expected[] = {"(100%)", "(200%)", "(300%)", "(400%)", "(500%)", "(600%)", "(800%)",
                              "(1200%)", "(1600%)", "(1600%)", "(50%)", "(33.3%)"};
    for (size_t i = 0; i < titles.size(); ++i) EXPECT_TRUE(Contains({titles[i]}, expected[i])) << titles[i];
}

}  // namespace
