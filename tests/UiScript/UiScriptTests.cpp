// The ui steps: the step list as written (good steps and bad ones with the step named), and the
// steps driving the plug-in's real dialogs through the stand-in host: the About box photographed
// and closed with its OK, an alert answered with Return or closed with Escape, and scripts that find no dialog or fail a
// step ending within their bounds instead of leaving a dialog up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "EndToEndSupport.h"
#include "QuorvelHostCore/Descriptor.h"
#include "QuorvelHostCore/HostCommandLine.h"
#include "QuorvelHostCore/HostSession.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "TempFolder.h"
#include "UiShots.h"

namespace {

using qvhost::UiStep;
using qvhost::UiVerb;

TEST(UiScriptParse, ReadsEveryVerb) {
    const std::vector<UiStep> steps =
        UiSteps(" wait 300;shot out/about.png ; press 1; key Escape; key ctrl+Z; key q; click 10 20; drag 1 2 3 4; menu 40001;;"
              "shot \"a folder/x.PNG\"");
    ASSERT_EQ(steps.size(), 10u);
    EXPECT_EQ(steps[0].verb, UiVerb::Wait);
    EXPECT_EQ(steps[0].numbers[0], 300);
    EXPECT_EQ(steps[1].verb, UiVerb::Shot);
    EXPECT_EQ(steps[1].file, "out/about.png");
    EXPECT_EQ(steps[1].text, "shot out/about.png");
    EXPECT_EQ(steps[2].verb, UiVerb::Press);
    EXPECT_EQ(steps[2].numbers[0], 1);
    EXPECT_EQ(steps[3].virtualKey, VK_ESCAPE);
    EXPECT_FALSE(steps[3].control);
    EXPECT_EQ(steps[4].virtualKey, 'Z');
    EXPECT_TRUE(steps[4].control);
    EXPECT_EQ(steps[5].virtualKey, 'Q');
    EXPECT_EQ(steps[6].verb, UiVerb::Click);
    EXPECT_EQ(steps[6].numbers[0], 10);
    EXPECT_EQ(steps[6].numbers[1], 20);
    EXPECT_EQ(steps[7].verb, UiVerb::Drag);
    EXPECT_EQ(steps[7].numbers[3], 4);
    EXPECT_EQ(steps[8].verb, UiVerb::Menu);
    EXPECT_EQ(steps[8].numbers[0], 40001);
    EXPECT_EQ(steps[9].file, "a folder/x.PNG");
}

TEST(UiScriptParse, NamesTheBadStepAndWhy) {
    const struct {
        const char* script;
        const char* message;
    } cases[] = {
        {"wait 10; presss 1", "step 2 (presss 1): unknown verb presss"},
        {"wait -5", "step 1 (wait -5): bad milliseconds -5"},
        {"wait 10ms", "bad milliseconds 10ms"},
        {"wait 60001", "bad milliseconds 60001"},
        {"wait 99999999999999999999", "bad milliseconds"},
        {"wait", "missing arguments, expected wait MS"},
        {"wait 1 2", "too many arguments"},
        {"shot", "step 1 (shot): missing file name"},
        {"shot picture.bmp", "must end in .png"},
        {"shot \"a b.png", "a quote is not closed"},
        {"press x", "bad ID x"},
        {"press 65536", "bad ID 65536"},
        {"menu", "missing arguments, expected menu ID"},
        {"key F13", "unknown key F13"},
        {"key Ctrl+Return", "unknown key Ctrl+Return"},
        {"key", "missing arguments"},
        {"click 10", "missing arguments, expected click X Y"},
        {"click 10 1e3", "bad coordinate 1e3"},
        {"drag 1 2 3", "expected drag X1 Y1 X2 Y2"},
        {"drag 1 2 3 30001", "bad coordinate 30001"},
        {" ; ;", "no steps"},
    };
    for (const auto& c : cases) {
        std::vector<UiStep> steps;
        std::string error;
        EXPECT_FALSE(qvhost::ParseUiScript(c.script, steps, error)) << c.script;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.script << " gave: " << error;
        EXPECT_TRUE(steps.empty()) << c.script;
    }
}

TEST(UiScriptParse, TheCommandLineRefusesABadStepList) {
    qvhost::HostOptions options;
    bool help = false;
    std::string error;
    EXPECT_FALSE(qvhost::ParseCommandLine({"--plugin", "q.8bf", "--about", "--ui", "wait 1; shot"}, options, help, error));
    EXPECT_EQ(error, "--ui step 2 (shot): missing file name");
    EXPECT_TRUE(qvhost::ParseCommandLine({"--plugin", "q.8bf", "--about", "--ui", "press 1"}, options, help, error))
        << error;
    ASSERT_EQ(options.uiSteps.size(), 1u);
    EXPECT_NE(qvhost::UsageText().find("--ui"), std::string::npos);
}

qvhost::HostOptions AboutOptions(const std::string& script) {
    qvhost::HostOptions options;
    options.pluginPath = endtoend::BinPath("Quorvel.8bf");
    options.about = true;
    options.uiSteps = UiSteps(script);
    return options;
}

TEST(UiScriptRun, PhotographsTheAboutBoxAndClosesItWithItsOk) {
    TempFolder folder("QuorvelUiShots");
    const std::string shot = folder / "new folder\\about.png";  // the folder is made
    qvhost::HostSession session(AboutOptions("wait 300; shot \"" + shot + "\"; press 1"));
    const auto start = std::chrono::steady_clock::now();
    const qvhost::HostRunResult result = session.Run();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(result.exitCode, 0) << result.error;

    qvhost::RasterImage image;
    std::string error;
    ASSERT_TRUE(qvhost::ReadImageFile(shot, image, error)) << error;
    ASSERT_GT(image.width, 50);
    ASSERT_GT(image.height, 50);
    // The dialog's face fills much of the picture, and something (text, picture, button) is
    // drawn on it: a blank or background-only capture has one colour.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    int faceCount = 0, otherCount = 0, probes = 0;
    for (int32_t y = 0; y < image.height; y += 3)
        for (int32_t x = 0; x < image.width; x += 3, ++probes) (PixelAt(image, x, y) == face ? faceCount : otherCount)++;
    EXPECT_GT(faceCount, probes / 5) << "the dialog's face colour";
    EXPECT_GT(otherCount, probes / 100) << "more than an empty face";
}

TEST(UiScriptRun, TheHostProgramTakesTheStepsAndRefusesABadList) {
    TempFolder folder("QuorvelUiProgram");
    const std::string shot = folder / "about.png";
    const std::string host = endtoend::BinPath("QuorvelHost.exe");
    const std::string plugin = endtoend::Quoted(endtoend::BinPath("Quorvel.8bf"));
    const auto run = endtoend::RunProcess(
        host, "QuorvelHost --plugin " + plugin + " --about --ui \"wait 200; shot \\\"" + shot + "\\\"; press 1\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(GetFileAttributesA(shot.c_str()), INVALID_FILE_ATTRIBUTES) << run.output;

    const auto bad = endtoend::RunProcess(host, "QuorvelHost --plugin " + plugin + " --about --ui \"wait 200; clik 3 4\"");
    EXPECT_EQ(bad.exitCode, 2u);
    EXPECT_NE(bad.output.find("--ui step 2 (clik 3 4): unknown verb clik"), std::string::npos) << bad.output;
}

TEST(UiScriptRun, KeysAnswerAnAlert) {
    // Settings too short to be a block: the plug-in tells the user they are corrupt. Return takes
    // the alert's OK and the run goes on with the defaults; Escape closes it, which ends the call
    // as cancelled.
    TempFolder folder("QuorvelUiAlert");
    const std::string path = folder / "short.qvd";
    qvhost::Descriptor descriptor;
    descriptor.Put('FrMP', qvhost::DescriptorValue{qvhost::DescriptorBlob(8, 1)});
    std::string error;
    ASSERT_TRUE(qvhost::WriteDescriptorFile(path, descriptor, error)) << error;
    for (const bool escape : {true, false}) {
        qvhost::HostOptions options;
        options.pluginPath = endtoend::BinPath("Quorvel.8bf");
        options.document = qvhost::Document(16, 16, qvhost::ImageMode{});
        options.descriptorIn = path;
        options.interactiveAlerts = true;
        const std::string shot = folder / (escape ? "escape.png" : "return.png");
        options.uiSteps = UiSteps("shot \"" + shot + "\"; key " + (escape ? "Escape" : "Return"));
        qvhost::HostSession session(options);
        const qvhost::HostRunResult result = session.Run();
        EXPECT_EQ(result.error.find("ui step"), std::string::npos) << result.error;
        EXPECT_NE(GetFileAttributesA(shot.c_str()), INVALID_FILE_ATTRIBUTES) << "the alert was up when the key went";
        ASSERT_NE(result.Find(kSelectorStart), nullptr);
        if (escape) {
            EXPECT_NE(result.Find(kSelectorStart)->result, 0);
            EXPECT_EQ(result.exitCode, 1);
        } else {
            EXPECT_EQ(result.Find(kSelectorStart)->result, 0);
            EXPECT_EQ(result.exitCode, 0) << result.error;
        }
    }
}

// What a window of the test's own saw of the input the steps made.
struct SeenInput {
    std::vector<POINT> downs, ups;
    int movesWithButton = 0;
    std::vector<int> commands;
    std::vector<std::pair<WPARAM, bool>> keys;  // key, with Ctrl held
};
SeenInput gSeen;

LRESULT CALLBACK InputWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
        case WM_LBUTTONDOWN:
            gSeen.downs.push_back(at);
            SetCapture(window);
            return 0;
        case WM_MOUSEMOVE:
            if (wParam & MK_LBUTTON) ++gSeen.movesWithButton;
            return 0;
        case WM_LBUTTONUP:
            gSeen.ups.push_back(at);
            ReleaseCapture();
            return 0;
        case WM_COMMAND:
            gSeen.commands.push_back(LOWORD(wParam));
            return 0;
        case WM_KEYDOWN:
            if (wParam != VK_CONTROL) gSeen.keys.push_back({wParam, GetKeyState(VK_CONTROL) < 0});
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Runs the steps against a plain window of the test's own, shown until they end.
qvhost::UiReport DriveInputWindow(const std::string& script) {
    gSeen = {};
    static const ATOM windowClass = [] {
        WNDCLASSW c{};
        c.lpfnWndProc = InputWindowProc;
        c.hInstance = GetModuleHandleW(nullptr);
        c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        c.lpszClassName = L"QuorvelUiInputWindow";
        return RegisterClassW(&c);
    }();
    EXPECT_NE(windowClass, 0);
    const HWND window = CreateWindowExW(0, L"QuorvelUiInputWindow", L"input", WS_POPUP | WS_CAPTION | WS_VISIBLE, 100,
                                        100, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(window, nullptr);
    std::atomic<bool> done{false};
    const std::vector<UiStep> steps = UiSteps(script + "; wait 300");
    // The window stays up while the steps run; the last wait lets their input arrive.
    qvhost::UiReport report = qvhost::DriveDialogs(steps, {}, [&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(8);
        while (std::chrono::steady_clock::now() < end && !done) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            Sleep(5);
            // Ends once the input of every step arrived, or the time is up.
            done = !gSeen.ups.empty() || !gSeen.commands.empty() || !gSeen.keys.empty();
            if (done) {
                for (int i = 0; i < 20; ++i) {  // the rest of the input, a moment later
                    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
                    Sleep(5);
                }
            }
        }
    });
    DestroyWindow(window);
    return report;
}

TEST(UiScriptRun, ClicksDragsMenusAndKeysReachTheActiveWindow) {
    EXPECT_TRUE(DriveInputWindow("click 40 30").completed);
    ASSERT_EQ(gSeen.downs.size(), 1u);
    ASSERT_EQ(gSeen.ups.size(), 1u);
    EXPECT_EQ(gSeen.downs[0].x, 40);
    EXPECT_EQ(gSeen.downs[0].y, 30);
    EXPECT_EQ(gSeen.ups[0].x, 40);

    EXPECT_TRUE(DriveInputWindow("drag 10 20 150 90").completed);
    ASSERT_EQ(gSeen.downs.size(), 1u);
    ASSERT_EQ(gSeen.ups.size(), 1u);
    EXPECT_EQ(gSeen.downs[0].x, 10);
    EXPECT_EQ(gSeen.downs[0].y, 20);
    EXPECT_EQ(gSeen.ups[0].x, 150);
    EXPECT_EQ(gSeen.ups[0].y, 90);
    EXPECT_GE(gSeen.movesWithButton, 2) << "the pointer travels with the button down";

    EXPECT_TRUE(DriveInputWindow("menu 40001").completed);
    EXPECT_EQ(gSeen.commands, std::vector<int>{40001});

    EXPECT_TRUE(DriveInputWindow("key Ctrl+Z").completed);
    ASSERT_EQ(gSeen.keys.size(), 1u);
    EXPECT_EQ(gSeen.keys[0].first, WPARAM{'Z'});
    EXPECT_TRUE(gSeen.keys[0].second) << "Ctrl is down in the key state";
    EXPECT_GE(GetKeyState(VK_CONTROL), 0) << "and up again after";
}

TEST(UiScriptRun, StepsThatFindNoDialogEndWithinTheirBound) {
    // Nothing comes up while the call runs: the step gives up after its wait, not when the call ends.
    std::vector<UiStep> steps = UiSteps("press 1; shot never.png");
    qvhost::UiLimits limits;
    limits.dialogWaitMilliseconds = 200;
    std::chrono::steady_clock::duration stepEnded{};
    const auto start = std::chrono::steady_clock::now();
    const qvhost::UiReport report = qvhost::DriveDialogs(steps, limits, [&] {
        Sleep(1500);
        stepEnded = std::chrono::steady_clock::now() - start;
    });
    EXPECT_FALSE(report.completed);
    EXPECT_EQ(report.failedStep, 1);
    EXPECT_EQ(report.error, "ui step 1 (press 1): no dialog of the process came up within 200 ms");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

    // A call that shows no dialog ends before the steps could run: the run fails and says so.
    qvhost::HostOptions options;
    options.pluginPath = endtoend::BinPath("Quorvel.8bf");
    options.document = qvhost::Document(16, 16, qvhost::ImageMode{});
    options.uiSteps = UiSteps("wait 50; key Return");
    qvhost::HostSession session(options);
    const qvhost::HostRunResult result = session.Run();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.error.find("ui step 2 (key Return): the dialogs were gone before it ran"), std::string::npos)
        << result.error;
}

TEST(UiScriptRun, AFailedStepCancelsTheDialogSoTheCallReturns) {
    // The About box has no item 99: the script fails, and the box is not left waiting for a user.
    const auto start = std::chrono::steady_clock::now();
    qvhost::HostSession session(AboutOptions("press 99"));
    const qvhost::HostRunResult result = session.Run();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.error.find("ui step 1 (press 99): the active dialog has no item 99"), std::string::npos)
        << result.error;
}

}  // namespace
