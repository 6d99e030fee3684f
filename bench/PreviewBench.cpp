// The preview dialog's live preview, as a user feels it.
//
// The plug-in's code runs in this program (linked statically) behind the stand-in host, which
// calls start with the dialog shown; the dialog then runs modally on this thread, and a thread
// timer that its modal loop dispatches drives it: it builds stacks of 1, 8 and 32 shape layers,
// sets the zoom to fit and to actual pixels, moves every layer a little through the parameter
// block and times how long the preview takes to be finished again.
//
// Three instances render while the dialog is open, the first with work taking each step: the
// view, the reduced overview of the whole photo, and the final pass at full size that runs in
// the background meanwhile. Each change restarts all three.
//
// 1. Latency: from the change to the view's last tile drawn (the end of the last displayPixels
//    call before PreviewFinished holds), and to the overview done too (as the loop sees it); the
//    median of a few changes, each made once both have settled (the background pass may still
//    run, as it does while a user works). No other message reaches the dialog meanwhile.
// 2. Stall: a second thread posts a harmless message to the dialog every 2 ms with its post time;
//    a thread hook sees each one as the modal loop takes it and records how long it waited, by
//    what was rendering then: the view, the overview, or the background pass (watched for a
//    while after the overview is done). The view's latency under that probe is shown too, since
//    input that keeps arriving also slows the render down.
// 3. Profile: one more change per case, rendered by this program's own loop with the scheduler's
//    step function, every step timed by instance and kind, and the host's displayPixels timed.
//
// Usage: PreviewBench [repetitions]   (3 by default)
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DrawingPort.h"
#include "HostCall.h"
#include "HostSession.h"
#include "LockedParameters.h"
#include "PSDialog.h"
#include "PhotoshopDialog.h"
#include "PhotoshopFilter.h"
#include "PluginMain.h"
#include "PreviewEditor.h"
#include "PreviewOwner.h"
#include "Quorvel.h"
#include "SettingsLayout.h"

namespace {

// The targets the preview is held to.
constexpr double kTargetFitLatencyMs = 500;  // fit view of an 8-layer stack on 6000 x 4000
constexpr int32_t kTargetLayers = 8;
constexpr int32_t kTargetWidth = 6000;
constexpr double kTargetStallMs = 50;

constexpr UINT kProbeMessage = WM_APP + 0x3A7;  // nothing in the dialog answers it
constexpr DWORD kProbePeriodMs = 2;
constexpr UINT kDriverPeriodMs = 1;             // the system raises it to its own minimum
constexpr double kBackgroundWatchMs = 1500;     // stall watch over the background pass
constexpr double kProfileBackgroundMs = 1500;   // background steps timed by the profile
constexpr float kOffsetStep = 0.002f;           // of the photo's half-width
constexpr double kRenderTimeoutMs = 60000;      // a render that never finishes ends the run
constexpr double kOpenTimeoutMs = 60000;

double NowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
    return values[index];
}

double Maximum(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// What renders at a moment, in the order the scheduler serves the instances.
enum Renderer { kView, kOverview, kBackground, kRendererCount };
constexpr std::array<const char*, kRendererCount> kRendererNames = {"view", "overview", "background"};

// The kinds of scheduler step, by the state the step starts from.
enum StepKind { kBeginPass, kNextTile, kTileStep, kComposeTile, kStepKindCount };
constexpr std::array<const char*, kStepKindCount> kStepNames = {"begin pass", "next tile", "tile step",
                                                                "process+compose"};

struct Timing {
    int64_t count = 0;
    double total = 0, longest = 0;
    void Add(double ms) {
        ++count;
        total += ms;
        longest = std::max(longest, ms);
    }
};

struct Profile {
    std::array<std::array<Timing, kStepKindCount>, kRendererCount> steps{};
    Timing display;        // the host's displayPixels, within the view's compose steps
    double viewMs = 0;     // the loop's own time to the view's last tile
    int64_t largestBackgroundTile = 0;  // pixels of the largest tile the background pass composed
};

struct Case {
    int32_t layers = 0;
    bool fit = true;
    std::string zoomTitle;
    std::vector<double> view, overview;   // quiet renders: to the view done, to the overview done
    std::vector<double> probedView;       // the probed render's view
    std::array<std::vector<double>, kRendererCount> waits;  // probe waits by what rendered
    Profile profile;
};

// The run's state, reached from the timer and the hook (both on this thread) and the poster.
struct Run {
    enum class Phase { Opening, NextCase, Settle, Change, Rendering, Ending, Failed };

    int repetitions = 3;
    std::vector<Case> cases;
    size_t caseIndex = 0;
    int render = 0;                    // renders done in the current case
    Phase phase = Phase::Opening;
    std::string failure;
    bool inStep = false;

    double runStart = 0;
    double openedAt = 0;               // first view and overview finished
    double changeAt = 0;
    double viewDoneAt = 0, ownedDoneAt = 0;
    int32_t previewHeight = 0, previewWidth = 0;
    float sign = 1;

    HWND window = nullptr;
    std::atomic<HWND> probeWindow{nullptr};
    std::atomic<bool> probing{false};
    double probeFrom = 0;              // waits count for messages posted after this

    // Renders per case: the quiet ones, then one with the probe.
    bool Probed() const { return render == repetitions; }
    int Renders() const { return repetitions + 1; }
};

Run* gRun = nullptr;

// The preview dialog that shows an instance's tiles, while it is open.
PhotoshopDialog* Dialog() {
    for (PhotoshopFilter* instance = PhotoshopFilter::FirstInstance(); instance; instance = instance->NextInstance())
        if (PreviewOwner* owner = instance->OwnerDialog()) return dynamic_cast<PhotoshopDialog*>(owner);
    return nullptr;
}

Renderer RendererOf(const PhotoshopFilter& instance) {
    if (instance.IsOverview()) return kOverview;
    return instance.HasOwner() ? kView : kBackground;
}

// Whether every instance the dialog owns (the view and the overview) is done.
bool OwnedInstancesDone() {
    for (PhotoshopFilter* instance = PhotoshopFilter::FirstInstance(); instance; instance = instance->NextInstance())
        if (instance->HasOwner() && instance->State() != kStateDone) return false;
    return true;
}

bool AllInstancesDone() {
    for (PhotoshopFilter* instance = PhotoshopFilter::FirstInstance(); instance; instance = instance->NextInstance())
        if (instance->State() != kStateDone) return false;
    return true;
}

// The instance the scheduler serves next: the first one with work.
PhotoshopFilter* NextServed() {
    for (PhotoshopFilter* instance = PhotoshopFilter::FirstInstance(); instance; instance = instance->NextInstance())
        if (instance->State() != kStateDone) return instance;
    return nullptr;
}

Renderer RenderingNow(PhotoshopDialog& dialog) {
    if (!dialog.PreviewFinished()) return kView;
    return OwnedInstancesDone() ? kBackground : kOverview;
}

int32_t LayerCount(const Quorvel& filter) {
    const LockedParameters parameters = filter.Stack().Lock();
    return parameters ? parameters.View().LayerCount() : -1;
}

// Moves every layer a little sideways, back and forth between changes, as a drag on the
// settings would.
bool NudgeEveryLayer(const Quorvel& filter, float step) {
    const LockedParameters parameters = filter.Stack().Lock();
    if (!parameters) return false;
    const ParameterBlockView view = parameters.View();
    for (int32_t i = 0; i < view.LayerCount() && view.HoldsLayer(i); ++i) {
        const RecordRef layer = view.Layer(i);
        layer.Set(LayerLayout::kOffsetX, layer.Get(LayerLayout::kOffsetX) + step);
    }
    return true;
}

// ---- The host's displayPixels, timed

DisplayPixelsProc gHostDisplay = nullptr;
Timing* gDisplayTiming = nullptr;
double gLastDisplayEnd = 0;  // when the last pixels reached the window

OSErr16 TimedDisplayPixels(const PixelMap* source, const Rect32* srcRect, int32_t dstRow, int32_t dstCol, void* context) {
    const double start = NowMs();
    const OSErr16 result = gHostDisplay ? gHostDisplay(source, srcRect, dstRow, dstCol, context) : OSErr16{0};
    gLastDisplayEnd = NowMs();
    if (gDisplayTiming) gDisplayTiming->Add(gLastDisplayEnd - start);
    return result;
}

void TimeDisplayPixels(bool on) {
    FilterRecord* record = HostCall::Current().record;
    if (!record) return;
    if (on && record->displayPixels != &TimedDisplayPixels) {
        gHostDisplay = record->displayPixels;
        record->displayPixels = &TimedDisplayPixels;
    } else if (!on && record->displayPixels == &TimedDisplayPixels) {
        record->displayPixels = gHostDisplay;
    }
}

// ---- The driver

void Fail(Run& run, std::string why) {
    run.failure = std::move(why);
    run.phase = Run::Phase::Failed;
    run.probing = false;
    if (run.window) PostMessageW(run.window, WM_COMMAND, PreviewIds::kCancelClose, 0);
}

bool ApplyChange(Run& run, Quorvel& filter) {
    if (!NudgeEveryLayer(filter, kOffsetStep * run.sign)) return false;
    run.sign = -run.sign;
    filter.RedoPreview();
    return true;
}

// One more change rendered by this loop, each step timed: the view and overview to the end, then
// the background pass for a while.
void ProfileRender(Run& run, PhotoshopDialog& dialog, Quorvel& filter) {
    Profile& profile = run.cases[run.caseIndex].profile;
    gDisplayTiming = &profile.display;
    const double change = NowMs();
    if (!ApplyChange(run, filter)) return Fail(run, "the parameter block is missing");
    double ownedDone = 0;
    for (;;) {
        PhotoshopFilter* next = NextServed();
        if (!next) break;
        const double now = NowMs();
        if (profile.viewMs == 0 && dialog.PreviewFinished()) profile.viewMs = now - change;
        if (ownedDone == 0 && OwnedInstancesDone()) ownedDone = now;
        if (ownedDone > 0 && now - ownedDone > kProfileBackgroundMs) break;
        if (now - change > kRenderTimeoutMs) return Fail(run, "a profiled render did not finish in time");
        const Renderer renderer = RendererOf(*next);
        const int32_t state = next->State();
        const StepKind kind = state == kStateBeginPass   ? kBeginPass
                              : state == kStateNextTile  ? kNextTile
                              : state == kStateProcessTile ? kComposeTile
                                                           : kTileStep;
        if (!PhotoshopFilter::RunInstances(0)) break;
        profile.steps[renderer][kind].Add(NowMs() - now);
        if (renderer == kBackground && kind == kComposeTile) {
            const Rect16& tile = HostCall::Current().record->outRect;
            profile.largestBackgroundTile = std::max(profile.largestBackgroundTile,
                                                     int64_t{tile.bottom - tile.top} * (tile.right - tile.left));
        }
    }
    gDisplayTiming = nullptr;
}

// Notes the moments the render in progress reaches its ends, on every message the modal loop
// takes, so that each moment is caught as closely as the loop allows.
void NoteProgress(Run& run, PhotoshopDialog& dialog) {
    if (run.phase != Run::Phase::Rendering) return;
    const double now = NowMs();
    // The view is done for the user when its last tile reached the window, which may be a while
    // before the loop takes its next message.
    if (run.viewDoneAt == 0 && dialog.PreviewFinished())
        run.viewDoneAt = gLastDisplayEnd > run.changeAt ? std::min(gLastDisplayEnd, now) : now;
    if (run.viewDoneAt > 0 && run.ownedDoneAt == 0 && OwnedInstancesDone()) run.ownedDoneAt = now;
    if (run.ownedDoneAt == 0) return;
    Case& c = run.cases[run.caseIndex];
    if (run.Probed()) {
        if (now - run.ownedDoneAt < kBackgroundWatchMs && !AllInstancesDone()) return;
        run.probing = false;
        c.probedView.push_back(run.viewDoneAt - run.changeAt);
    } else {
        c.view.push_back(run.viewDoneAt - run.changeAt);
        c.overview.push_back(run.ownedDoneAt - run.changeAt);
    }
    ++run.render;
    run.phase = Run::Phase::Change;
}

void Step(Run& run) {
    PhotoshopDialog* dialog = Dialog();
    const double now = NowMs();
    switch (run.phase) {
    case Run::Phase::Opening:
        if (!dialog || !dialog->Window()) {
            if (now - run.runStart > kOpenTimeoutMs) Fail(run, "the preview dialog did not open");
            return;
        }
        run.window = dialog->Window();
        run.probeWindow = run.window;
        if (!dialog->PreviewFinished() || !OwnedInstancesDone()) return;
        run.openedAt = now;
        run.previewHeight = dialog->PreviewArea().Height();
        run.previewWidth = dialog->PreviewArea().Width();
        TimeDisplayPixels(true);
        run.phase = Run::Phase::NextCase;
        return;
    case Run::Phase::NextCase: {
        if (!dialog) return Fail(run, "the preview dialog went away");
        if (run.caseIndex >= run.cases.size()) {
            TimeDisplayPixels(false);
            run.phase = Run::Phase::Ending;
            PostMessageW(run.window, WM_COMMAND, PreviewIds::kCancelClose, 0);
            return;
        }
        Case& c = run.cases[run.caseIndex];
        PreviewEditor* editor = dialog->Editor();
        if (!editor) return Fail(run, "the preview dialog has no editor");
        while (LayerCount(editor->Filter()) < c.layers)
            if (!editor->AddInstantFrame()) return Fail(run, "a shape layer could not be added");
        if (LayerCount(editor->Filter()) != c.layers) return Fail(run, "the stack holds more layers than the case asks");
        if (c.fit) dialog->ZoomToFit(std::nullopt, false);
        else dialog->SetZoom(ZoomRatio{1, 1}, std::nullopt);
        c.zoomTitle = dialog->TitleText();
        run.render = 0;
        run.phase = Run::Phase::Settle;
        return;
    }
    case Run::Phase::Settle:
        if (dialog && dialog->PreviewFinished() && OwnedInstancesDone()) run.phase = Run::Phase::Change;
        return;
    case Run::Phase::Change: {
        if (!dialog) return Fail(run, "the preview dialog went away");
        Quorvel* filter = dialog->Filter();
        if (!filter) return Fail(run, "the preview dialog drives no filter");
        if (run.render == run.Renders()) {
            ProfileRender(run, *dialog, *filter);
            if (run.phase == Run::Phase::Failed) return;
            ++run.caseIndex;
            run.phase = Run::Phase::NextCase;
            return;
        }
        run.changeAt = NowMs();
        run.viewDoneAt = run.ownedDoneAt = 0;
        if (!ApplyChange(run, *filter)) return Fail(run, "the parameter block is missing");
        run.phase = Run::Phase::Rendering;
        if (run.Probed()) {
            // Waits caused by the change's own call are the bench's, not the render's.
            run.probeFrom = NowMs();
            run.probing = true;
        }
        return;
    }
    case Run::Phase::Rendering:
        if (now - run.changeAt > kRenderTimeoutMs) return Fail(run, "a render did not finish in time");
        if (dialog) NoteProgress(run, *dialog);
        return;
    case Run::Phase::Ending:
    case Run::Phase::Failed:
        return;
    }
}

void CALLBACK DriverTick(HWND, UINT, UINT_PTR, DWORD) {
    Run* run = gRun;
    if (!run || run->inStep) return;
    run->inStep = true;
    try {
        Step(*run);
    } catch (...) {
        Fail(*run, "the dialog raised an error while the bench drove it");
    }
    run->inStep = false;
}

LRESULT CALLBACK ProbeHook(int code, WPARAM removal, LPARAM lParam) {
    Run* run = gRun;
    if (code == HC_ACTION && removal == PM_REMOVE && run && !run->inStep) {
        run->inStep = true;
        try {
            const double now = NowMs();
            PhotoshopDialog* dialog = Dialog();
            MSG* message = reinterpret_cast<MSG*>(lParam);
            if (message->message == kProbeMessage) {
                double posted = 0;
                static_assert(sizeof(double) <= sizeof(WPARAM));
                std::memcpy(&posted, &message->wParam, sizeof posted);
                if (dialog && run->probing && posted >= run->probeFrom && run->caseIndex < run->cases.size())
                    run->cases[run->caseIndex].waits[RenderingNow(*dialog)].push_back(now - posted);
                message->message = WM_NULL;
            }
            if (dialog) NoteProgress(*run, *dialog);
        } catch (...) {
            Fail(*run, "the dialog raised an error while the bench watched it");
        }
        run->inStep = false;
    }
    return CallNextHookEx(nullptr, code, removal, lParam);
}

// Posts the probe message while the run asks for it, until told to stop.
void Poster(Run& run, std::atomic<bool>& stop) {
    while (!stop) {
        const HWND window = run.probeWindow;
        if (run.probing && window) {
            const double posted = NowMs();
            WPARAM word = 0;
            std::memcpy(&word, &posted, sizeof posted);
            PostMessageW(window, kProbeMessage, word, 0);
        }
        Sleep(kProbePeriodMs);
    }
}

// The entry the stand-in host calls, as the plug-in's own door does.
void BenchEntry(int16_t selector, void* record, intptr_t* data, int16_t* result) {
    if (!result) return;
    try {
        *result = 0;
        PluginMain(selector, record, data, result, kQuorvelClass);
    } catch (...) {
        *result = -108;
    }
    DisposeDeferredPort();
}

qvhost::Document Photo(int32_t width, int32_t height) {
    qvhost::Document document(width, height, qvhost::ImageMode{qvhost::ColorMode::RGB, 8});
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < height; ++y) {
            uint16_t* row = document.PlaneRow(p, y);
            for (int32_t x = 0; x < width; ++x) row[x] = static_cast<uint16_t>((x * 13 + y * 7 + p * 61) & 0xFF);
        }
    return document;
}

struct SizeResult {
    int32_t width = 0, height = 0;
    bool ok = false;
    std::string failure;
    double openMs = 0;
    double totalMs = 0;
    int32_t previewHeight = 0, previewWidth = 0;
    std::vector<Case> cases;
};

SizeResult MeasureSize(int32_t width, int32_t height, int repetitions) {
    SizeResult out;
    out.width = width;
    out.height = height;
    Run run;
    run.repetitions = repetitions;
    for (int32_t layers : {1, 8, 32})
        for (bool fit : {true, false}) run.cases.push_back(Case{.layers = layers, .fit = fit});

    qvhost::HostOptions options;
    options.entry = &BenchEntry;
    options.document = Photo(width, height);
    options.mode = options.document->Mode();
    options.dialog = true;
    qvhost::HostSession session(std::move(options));

    gRun = &run;
    std::atomic<bool> stop{false};
    std::thread poster([&] { Poster(run, stop); });
    const HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, ProbeHook, nullptr, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(nullptr, 0, kDriverPeriodMs, DriverTick);
    run.runStart = NowMs();
    const qvhost::HostRunResult result = session.Run();
    out.totalMs = NowMs() - run.runStart;
    KillTimer(nullptr, timer);
    if (hook) UnhookWindowsHookEx(hook);
    stop = true;
    poster.join();
    gRun = nullptr;

    out.openMs = run.openedAt > 0 ? run.openedAt - run.runStart : 0;
    out.previewHeight = run.previewHeight;
    out.previewWidth = run.previewWidth;
    out.cases = run.cases;
    if (!hook) out.failure = "the message hook could not be set";
    else if (!timer) out.failure = "the driver's timer could not be set";
    else if (!result.loaded) out.failure = "the host could not start: " + result.error;
    else if (run.phase == Run::Phase::Failed) out.failure = run.failure;
    else if (run.phase != Run::Phase::Ending) out.failure = "the dialog ended before the cases were done";
    for (const std::string& alert : result.alerts) out.failure += (out.failure.empty() ? "alert: " : "; alert: ") + alert;
    out.ok = out.failure.empty();
    return out;
}

std::string ZoomName(const Case& c) {
    std::string zoom = c.fit ? "fit" : "100%";
    const size_t open = c.zoomTitle.rfind('(');
    if (c.fit && open != std::string::npos) zoom += " " + c.zoomTitle.substr(open);
    return zoom;
}

void PrintSize(const SizeResult& size) {
    std::printf("\n%d x %d RGB 8-bit: preview area %d x %d, first preview after %.0f ms, session %.1f s\n", size.width,
                size.height, size.previewWidth, size.previewHeight, size.openMs, size.totalMs / 1000);
    std::printf("%6s %-13s %8s %8s | %8s %21s %21s %21s\n", "layers", "zoom", "view", "overview", "probed",
                "stall view max/p99", "stall overview", "stall background");
    for (const Case& c : size.cases) {
        std::printf("%6d %-13s %8.0f %8.0f | %8.0f", c.layers, ZoomName(c).c_str(), Median(c.view), Median(c.overview),
                    Median(c.probedView));
        for (const std::vector<double>& waits : c.waits)
            std::printf(" %9.1f/%5.1f (%4zu)", Maximum(waits), Percentile(waits, 0.99), waits.size());
        std::printf("\n");
    }
    std::printf("profile of one change per case (steps by instance; count, total ms, longest ms):\n");
    for (const Case& c : size.cases) {
        const Profile& p = c.profile;
        std::printf("  %d layers, %s: view done after %.0f ms; displayPixels %lld calls, %.1f ms, longest %.1f\n",
                    c.layers, ZoomName(c).c_str(), p.viewMs, static_cast<long long>(p.display.count), p.display.total,
                    p.display.longest);
        for (int r = 0; r < kRendererCount; ++r) {
            std::printf("    %-10s", kRendererNames[r]);
            for (int k = 0; k < kStepKindCount; ++k) {
                const Timing& t = p.steps[r][k];
                if (t.count) std::printf("  %s %lld/%.0f/%.1f", kStepNames[k], static_cast<long long>(t.count), t.total, t.longest);
            }
            // The background pass's tiles are at full size: their size sets how long one of its
            // compose steps holds the loop.
            if (r == kBackground && p.largestBackgroundTile > 0)
                std::printf("  (tiles up to %.2f Mpx)", static_cast<double>(p.largestBackgroundTile) / 1e6);
            std::printf("\n");
        }
    }
    if (!size.ok) std::printf("the run did not finish: %s\n", size.failure.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const int repetitions = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 20) : 3;
    std::printf("live preview of the preview dialog, every layer moved a little then the preview invalidated\n"
                "view, overview: ms from the change to the view's last tile and to the overview's, median of %d\n"
                "probed: the view's ms while a message is posted to the dialog every %lu ms; stall: ms such a\n"
                "message waited for the dialog's loop (longest/99th percentile (messages)), by what rendered then\n",
                repetitions, kProbePeriodMs);

    bool ok = true;
    double worstStall = 0, targetLatency = -1;
    for (const auto& [width, height] : {std::pair{3000, 2000}, std::pair{6000, 4000}}) {
        const SizeResult size = MeasureSize(width, height, repetitions);
        PrintSize(size);
        ok = ok && size.ok;
        for (const Case& c : size.cases) {
            for (const std::vector<double>& waits : c.waits) worstStall = std::max(worstStall, Maximum(waits));
            if (width == kTargetWidth && c.layers == kTargetLayers && c.fit && !c.view.empty())
                targetLatency = Median(c.view);
        }
    }

    std::printf("\ntargets\n");
    std::printf("  fit preview, %d layers, %d wide, finished within %.0f ms of the change: %.0f ms  %s\n", kTargetLayers,
                kTargetWidth, kTargetFitLatencyMs, targetLatency,
                targetLatency < 0 ? "NOT MEASURED" : targetLatency <= kTargetFitLatencyMs ? "met" : "MISSED");
    std::printf("  no stall above %.0f ms: longest %.1f ms  %s\n", kTargetStallMs, worstStall,
                worstStall <= kTargetStallMs ? "met" : "MISSED");
    return ok ? 0 : 1;
}
