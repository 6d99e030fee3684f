// Quorvel.8bf in a host we did not write: pspiHost.dll (../shared/third-party-host), built by
// someone else against the vendor's own interface headers. Our stand-in host shares our
// definitions of the property list and the records and cannot catch a layout mistake in them;
// this host reads them as real hosts do. It enumerates and loads the plug-in, shows its About box,
// and runs it through the preview dialog over 8-bit RGB and gray images, applied and cancelled,
// inside a filter rectangle and with a selection.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "QuorvelHostCore/HostPlatform.h"
#include "Utf.h"

namespace {

// pspiHost's answers (its README).
constexpr int kPspiSuccess = 0;
constexpr int kPspiCancelled = 5;
constexpr int kPspiCrashed = 6;

// pspiHost's image types, 8 bits a channel.
constexpr int kPspiImageRgb = 2;
constexpr int kPspiImageGray = 4;

using EnumerateCallback = void (*)(const char* category, const char* name, const char* entry, const wchar_t* path);
using GetVersionProc = const char* (*)();
using SetPathProc = int (*)(const wchar_t* folder);
using EnumerateProc = int (*)(EnumerateCallback callback, bool recurse);
using LoadProc = int (*)(const wchar_t* file);
using AboutProc = int (*)(HWND owner);
using SetImageProc = int (*)(int type, int width, int height, void* pixels, int stride, void* alpha, int alphaStride);
using SetRoiProc = int (*)(int top, int left, int bottom, int right);
using SetMaskProc = int (*)(int width, int height, void* mask, int stride, bool maskForPlugin);
using ExecuteProc = int (*)(HWND owner);

// A path of the machine running Wine in Windows form (its root is drive Z:).
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string FromEnvironment(const char* variable, const char* relative) {
    const char* root = std::getenv(variable);
    return WindowsPath(std::string(root ? root : ".") + "/" + relative);
}

// pspiHost.dll and its calls, resolved by name. Frees the library when destroyed.
class PspiHost {
public:
    explicit PspiHost(const std::string& path) : module_(LoadLibraryW(Utf8ToUtf16(path).c_str())) {
        if (!module_) {
            problem_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
            return;
        }
        Resolve(getVersion, "pspiGetVersion");
        Resolve(setPath, "pspiSetPath");
        Resolve(enumerate, "pspiPlugInEnumerate");
        Resolve(load, "pspiPlugInLoad");
        Resolve(about, "pspiPlugInAbout");
        Resolve(setImage, "pspiSetImage");
        Resolve(setRoi, "pspiSetRoi");
        Resolve(setMask, "pspiSetMask");
        Resolve(execute, "pspiPlugInExecute");
    }
    PspiHost(const PspiHost&) = delete;
    PspiHost& operator=(const PspiHost&) = delete;
    ~PspiHost() {
        if (module_) FreeLibrary(module_);
    }

    // Empty when the library loaded and exports every call.
    const std::string& Problem() const { return problem_; }

    GetVersionProc getVersion = nullptr;
    SetPathProc setPath = nullptr;
    EnumerateProc enumerate = nullptr;
    LoadProc load = nullptr;
    AboutProc about = nullptr;
    SetImageProc setImage = nullptr;
    SetRoiProc setRoi = nullptr;
    SetMaskProc setMask = nullptr;
    ExecuteProc execute = nullptr;

private:
    template <typename Function>
    void Resolve(Function& function, const char* name) {
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        if (!function && problem_.empty()) problem_ = std::string("pspiHost.dll does not export ") + name;
    }

    HMODULE module_;
    std::string problem_;
};

// What pspiHost's enumeration reports, one entry a filter. Its callback takes no context: the
// list is the program's.
struct FoundFilter {
    std::string category, name, entry;
    std::wstring path;
};
std::vector<FoundFilter> gFound;
bool gFoundIncomplete = false;

// Called by pspiHost, a C library: nothing may be thrown out of it.
void CollectFilter(const char* category, const char* name, const char* entry, const wchar_t* path) noexcept {
    try {
        gFound.push_back({category ? category : "", name ? name : "", entry ? entry : "", path ? path : L""});
    } catch (...) {
        gFoundIncomplete = true;
    }
}

// Watches this process's dialogs from a second thread while a call that may show one runs, as a
// person at the screen would: a dialog open for `patience` gets `command` (its caption and the
// text of item `itemId` are kept), so that no call waits for ever. The menu commands of `first`
// go to it before, one after the other, as a person would choose them.
class DialogWatcher {
public:
    struct Answered {
        std::wstring caption;
        std::wstring itemText;
        HWND owner;
    };

    DialogWatcher(WORD command, std::chrono::milliseconds patience, int itemId, std::vector<WORD> first = {})
        : thread_([this, command, patience, itemId, first] {
              try {
                  Watch(command, patience, itemId, first);
              } catch (...) {
                  // Out of memory: the watch ends; a test that needed an answer then fails on its
                  // timeout instead of ending the program.
              }
          }) {}
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;
    ~DialogWatcher() { Stop(); }

    // Ends the watch; the dialogs answered, in order.
    std::vector<Answered> Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return answered_;
    }

private:
    static bool IsVisibleDialogOfThisProcess(HWND window) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        return process == GetCurrentProcessId() && std::wstring_view(name) == L"#32770" && IsWindowVisible(window);
    }

    // The first visible dialog of this process that no other of its dialogs owns (a dialog's
    // floating palettes are dialogs too), if any.
    static HWND FindDialog() {
        HWND found = nullptr;
        EnumWindows(
            [](HWND window, LPARAM result) noexcept -> BOOL {
                if (!IsVisibleDialogOfThisProcess(window)) return TRUE;
                if (const HWND owner = GetWindow(window, GW_OWNER); owner && IsVisibleDialogOfThisProcess(owner))
                    return TRUE;
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }

    static std::wstring TextOf(HWND window) {
        wchar_t text[256] = {};
        GetWindowTextW(window, text, 256);
        return text;
    }

    void Watch(WORD command, std::chrono::milliseconds patience, int itemId, const std::vector<WORD>& first) {
        std::map<HWND, std::chrono::steady_clock::time_point> firstSeen;
        while (!stop_) {
            if (const HWND dialog = FindDialog()) {
                const auto now = std::chrono::steady_clock::now();
                const auto seen = firstSeen.try_emplace(dialog, now).first->second;
                if (now - seen >= patience) {
                    HWND item = GetDlgItem(dialog, itemId);
                    answered_.push_back({TextOf(dialog), item ? TextOf(item) : L"", GetWindow(dialog, GW_OWNER)});
                    for (const WORD menuCommand : first) {
                        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(menuCommand, 0), 0);
                        Sleep(300);
                    }
                    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, command)));
                    // Give the dialog time to close before it is looked for again.
                    for (int wait = 0; wait < 100 && IsWindow(dialog) && IsWindowVisible(dialog); ++wait) Sleep(20);
                    firstSeen.erase(dialog);
                }
            }
            Sleep(20);
        }
    }

    std::vector<Answered> answered_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The preview dialog's Frames menu command that adds a generated shape frame.
constexpr WORD kAddShapeFrame = 18301;

// The About box of the toolbox library: its caption and the item that names the product.
constexpr int kAboutProductItem = 2;

// An image in pspiHost's layout, rows of `stride` bytes, in a pattern that shows any change.
struct TestImage {
    int type, width, height, channels, stride;
    std::vector<uint8_t> pixels;

    TestImage(int imageType, int w, int h, int channelCount)
        : type(imageType), width(w), height(h), channels(channelCount), stride((w * channelCount + 3) & ~3),
          pixels(static_cast<size_t>(stride) * h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w * channelCount; ++x)
                pixels[static_cast<size_t>(y) * stride + x] = static_cast<uint8_t>((x * 7 + y * 13) % 251);
    }
};

// The image types of the runs.
struct ImageCase {
    const char* name;
    int type, channels;
};
constexpr ImageCase kImageCases[] = {{"RGB", kPspiImageRgb, 3}, {"gray", kPspiImageGray, 1}};

// An area of the image in pspiSetRoi's order.
struct Roi {
    int top, left, bottom, right;
};

struct DialogRun {
    int answer = -1;
    std::vector<DialogWatcher::Answered> answered;
};

class ThirdPartyHost : public testing::Test {
protected:
    static void SetUpTestSuite() {
        host_ = std::make_unique<PspiHost>(FromEnvironment("QUORVEL_SOURCE", "../shared/third-party-host/pspiHost.dll"));
        // The plug-in with the toolbox library its About box needs, alone in a folder of the build,
        // as installed. pspiHost keeps the plug-in loaded to the program's end, so the folder
        // cannot be removed then; the next run copies over it.
        setUpProblem_.clear();
        CreateDirectoryW(Utf8ToUtf16(folder_).c_str(), nullptr);
        for (const char* name : {"Quorvel.8bf", "VantrelToolBox2.dll"})
            if (!CopyFileW(Utf8ToUtf16(FromEnvironment("QUORVEL_BIN", name)).c_str(),
                           Utf8ToUtf16(folder_ + "\\" + name).c_str(), FALSE))
                setUpProblem_ += std::string("cannot copy ") + name + " (error " + std::to_string(GetLastError()) + ") ";
    }
    static void TearDownTestSuite() { host_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(host_->Problem().empty()) << host_->Problem();
        ASSERT_TRUE(setUpProblem_.empty()) << setUpProblem_;
    }

    static std::wstring PluginPath() { return Utf8ToUtf16(folder_ + "\\Quorvel.8bf"); }

    // pspiHost offers no scripting descriptor, so every run is interactive and opens the
    // plug-in's preview dialog. A person adds a shape frame from the Frames menu, then presses
    // `button`.
    // `roi` is the area to filter; empty: the whole image. `selection`: an 8-bit mask of the
    // image's size, or none.
    DialogRun RunWithFrameAdded(TestImage& image, WORD button, Roi roi = {}, std::vector<uint8_t>* selection = nullptr) {
        DialogRun run;
        EXPECT_EQ(host_->load(PluginPath().c_str()), kPspiSuccess);
        EXPECT_EQ(host_->setImage(image.type, image.width, image.height, image.pixels.data(), image.stride, nullptr, 0),
                  kPspiSuccess);
        if (roi.bottom <= roi.top || roi.right <= roi.left) roi = Roi{0, 0, image.height, image.width};
        EXPECT_EQ(host_->setRoi(roi.top, roi.left, roi.bottom, roi.right), kPspiSuccess);
        if (selection)
            EXPECT_EQ(host_->setMask(image.width, image.height, selection->data(), image.width, true), kPspiSuccess);
        DialogWatcher watcher(button, std::chrono::seconds(2), 0, {kAddShapeFrame});
        run.answer = host_->execute(owner_.Get());
        run.answered = watcher.Stop();
        EXPECT_NE(run.answer, kPspiCrashed) << "the plug-in crashed in the run";
        EXPECT_EQ(run.answered.size(), 1u) << "the preview dialog should be shown once and closed by its button";
        if (!run.answered.empty())
            EXPECT_TRUE(run.answered[0].caption.starts_with(L"Quorvel")) << Utf16ToUtf8(run.answered[0].caption);
        return run;
    }

    // pspiHost keeps its state (the folder, the loaded plug-in, the image) for the program.
    static inline std::unique_ptr<PspiHost> host_;
    static inline const std::string folder_ = FromEnvironment("QUORVEL_BIN", "ThirdPartyHostPlugIns");
    static inline std::string setUpProblem_;
    // What an application round the host has: OLE on its thread and a main window to own dialogs.
    qvhost::OleSession ole_;
    qvhost::HostWindow owner_;
};

TEST_F(ThirdPartyHost, IsTheIndependentHostWeExpect) { EXPECT_STREQ(host_->getVersion(), "0.9"); }

TEST_F(ThirdPartyHost, EnumeratesQuorvelAsOneHiddenFilter) {
    ASSERT_EQ(host_->setPath(Utf8ToUtf16(folder_).c_str()), kPspiSuccess);
    gFound.clear();
    gFoundIncomplete = false;
    EXPECT_EQ(host_->enumerate(CollectFilter, false), kPspiSuccess);
    ASSERT_FALSE(gFoundIncomplete);
    ASSERT_EQ(gFound.size(), 1u);
    EXPECT_EQ(gFound[0].category, "**Hidden**");
    EXPECT_EQ(gFound[0].name, "Quorvel 4.6");
    EXPECT_EQ(gFound[0].entry, "ENTRYPOINT");
    EXPECT_TRUE(gFound[0].path.ends_with(L"\\Quorvel.8bf")) << Utf16ToUtf8(gFound[0].path);
}

TEST_F(ThirdPartyHost, LoadAcceptsThePropertyList) { EXPECT_EQ(host_->load(PluginPath().c_str()), kPspiSuccess); }

TEST_F(ThirdPartyHost, AboutShowsTheBoxUntilItIsClosed) {
    ASSERT_EQ(host_->load(PluginPath().c_str()), kPspiSuccess);
    // The box must wait for its OK here, as it does for a person: no automatic answer.
    const qvhost::ScopedEnvironment interactive(L"QUORVEL_ALERT_ANSWER", L"");
    DialogWatcher watcher(IDOK, std::chrono::milliseconds(0), kAboutProductItem);
    const int answer = host_->about(owner_.Get());
    const auto answered = watcher.Stop();
    EXPECT_NE(answer, kPspiCrashed) << "the plug-in crashed in the about call";
    EXPECT_EQ(answer, kPspiSuccess);
    ASSERT_EQ(answered.size(), 1u) << "the About box should be shown once and closed by its OK";
    EXPECT_EQ(answered[0].caption, L"About");
    EXPECT_EQ(answered[0].itemText, L"Quorvel 4.6");
    // The host's window, passed in the about record's platform data, owns the box.
    EXPECT_EQ(answered[0].owner, owner_.Get());
}

// Apply: the image comes back framed, the photo kept inside the frame.
TEST_F(ThirdPartyHost, ApplyInThePreviewDialogFramesTheImage) {
    for (const ImageCase& c : kImageCases) {
        SCOPED_TRACE(c.name);
        TestImage image(c.type, 64, 48, c.channels);
        const std::vector<uint8_t> original = image.pixels;
        EXPECT_EQ(RunWithFrameAdded(image, IDOK).answer, kPspiSuccess);
        const auto at = [&](int x, int y, int channel) {
            return static_cast<size_t>(y) * image.stride + static_cast<size_t>(x) * c.channels + channel;
        };
        for (int channel = 0; channel < c.channels; ++channel) {
            SCOPED_TRACE(channel);
            // The shape frame's white background at the corners, the photo in the middle.
            for (const auto& [x, y] : {std::pair{0, 0}, std::pair{63, 0}, std::pair{0, 47}, std::pair{63, 47}})
                EXPECT_EQ(image.pixels[at(x, y, channel)], 255) << x << "," << y;
            EXPECT_EQ(image.pixels[at(32, 24, channel)], original[at(32, 24, channel)]);
        }
    }
}

// A filter rectangle inside the image: the frame goes round that rectangle, and the pixels
// outside it stay as they were.
TEST_F(ThirdPartyHost, ApplyInsideAFilterRectangleFramesOnlyThatRectangle) {
    TestImage image(kPspiImageRgb, 64, 48, 3);
    const std::vector<uint8_t> original = image.pixels;
    EXPECT_EQ(RunWithFrameAdded(image, IDOK, Roi{8, 16, 40, 48}).answer, kPspiSuccess);
    const auto at = [&](int x, int y) { return static_cast<size_t>(y) * image.stride + static_cast<size_t>(x) * 3; };
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            if (y >= 8 && y < 40 && x >= 16 && x < 48) continue;
            ASSERT_EQ(std::memcmp(&image.pixels[at(x, y)], &original[at(x, y)], 3), 0) << "outside at " << x << "," << y;
        }
    for (const auto& [x, y] : {std::pair{16, 8}, std::pair{47, 8}, std::pair{16, 39}, std::pair{47, 39}})
        EXPECT_EQ(image.pixels[at(x, y)], 255) << "the frame's corner at " << x << "," << y;
    EXPECT_EQ(std::memcmp(&image.pixels[at(32, 24)], &original[at(32, 24)], 3), 0) << "the photo in the middle";
}

// A selection of the left half, handed to the plug-in: the frame shows only where the selection
// lets it.
TEST_F(ThirdPartyHost, ApplyWithASelectionChangesOnlyTheSelectedPixels) {
    TestImage image(kPspiImageRgb, 64, 48, 3);
    const std::vector<uint8_t> original = image.pixels;
    std::vector<uint8_t> selection(64 * 48, 0);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 32; ++x) selection[static_cast<size_t>(y) * 64 + x] = 255;
    // The mask goes to the plug-in, which masks its own output.
    const DialogRun run = RunWithFrameAdded(image, IDOK, Roi{}, &selection);
    EXPECT_EQ(host_->setMask(0, 0, nullptr, 0, false), kPspiSuccess);
    EXPECT_EQ(run.answer, kPspiSuccess);
    const auto at = [&](int x, int y) { return static_cast<size_t>(y) * image.stride + static_cast<size_t>(x) * 3; };
    for (int y = 0; y < 48; ++y)
        for (int x = 32; x < 64; ++x)
            ASSERT_EQ(std::memcmp(&image.pixels[at(x, y)], &original[at(x, y)], 3), 0) << "unselected at " << x << "," << y;
    EXPECT_EQ(image.pixels[at(0, 0)], 255) << "the frame's corner inside the selection";
    EXPECT_EQ(image.pixels[at(0, 47)], 255);
}

// Cancel: the host hears "cancelled" and the image is exactly as it was, although the preview
// rendered the frame while the dialog was open.
TEST_F(ThirdPartyHost, CancelInThePreviewDialogLeavesTheImage) {
    for (const ImageCase& c : kImageCases) {
        SCOPED_TRACE(c.name);
        TestImage image(c.type, 64, 48, c.channels);
        const std::vector<uint8_t> original = image.pixels;
        EXPECT_EQ(RunWithFrameAdded(image, IDCANCEL).answer, kPspiCancelled);
        EXPECT_TRUE(image.pixels == original) << "the image changed";
    }
}

}  // namespace
