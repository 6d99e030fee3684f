#include "UiScript.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "Document.h"
#include "HostPlatform.h"
#include "ImageFiles.h"
#include "TextConversion.h"

namespace qvhost {
namespace {

// How often a waiting step looks again, and how long a failed script keeps cancelling dialogs.
constexpr int kPollMilliseconds = 10;
constexpr int kCancelMilliseconds = 3000;
constexpr int kCancelRepeatMilliseconds = 200;
// Intermediate pointer positions of a drag, so a tracking loop sees the pointer travel.
constexpr int kDragSteps = 8;
constexpr int kDragStepMilliseconds = 15;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Decimal digits only: a sign, a fraction or trailing text is a mistake in the script, not a
// number to guess at.
bool ParseBounded(const std::string& text, int32_t high, int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > high) return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool ParseKeyName(const std::string& name, UiStep& step) {
    std::string key = Lower(name);
    if (key.rfind("ctrl+", 0) == 0) {
        step.control = true;
        key = key.substr(5);
        // Ctrl goes with a letter only: that is what the dialogs' accelerators are.
        if (key.size() != 1 || !std::isalpha(static_cast<unsigned char>(key[0]))) return false;
    }
    static const struct {
        const char* name;
        WORD key;
    } kNamed[] = {{"return", VK_RETURN}, {"escape", VK_ESCAPE}, {"tab", VK_TAB},  {"up", VK_UP},
                  {"down", VK_DOWN},     {"left", VK_LEFT},     {"right", VK_RIGHT}, {"space", VK_SPACE}};
    for (const auto& named : kNamed)
        if (key == named.name) {
            step.virtualKey = named.key;
            return true;
        }
    if (key.size() == 1 && ((key[0] >= 'a' && key[0] <= 'z') || (key[0] >= '0' && key[0] <= '9'))) {
        step.virtualKey = static_cast<WORD>(std::toupper(static_cast<unsigned char>(key[0])));
        return true;
    }
    return false;
}

// Words apart by blanks; a word in double quotes may hold blanks (a file name in a folder with
// a space in its name).
bool SplitWords(const std::string& text, std::vector<std::string>& words, std::string& reason) {
    for (size_t at = 0; at < text.size();) {
        if (text[at] == ' ' || text[at] == '\t') {
            ++at;
        } else if (text[at] == '"') {
            const size_t end = text.find('"', at + 1);
            if (end == std::string::npos) {
                reason = "a quote is not closed";
                return false;
            }
            words.push_back(text.substr(at + 1, end - at - 1));
            at = end + 1;
        } else {
            const size_t end = std::min(text.find_first_of(" \t\"", at), text.size());
            words.push_back(text.substr(at, end - at));
            at = end;
        }
    }
    return true;
}

// Parses one step's words; false with the reason.
bool ParseStep(const std::vector<std::string>& words, UiStep& step, std::string& reason) {
    static const struct {
        const char* name;
        UiVerb verb;
        size_t arguments;
        const char* usage;
    } kVerbs[] = {{"wait", UiVerb::Wait, 1, "wait MS"},          {"shot", UiVerb::Shot, 1, "shot FILE.png"},
                  {"press", UiVerb::Press, 1, "press ID"},       {"key", UiVerb::Key, 1, "key NAME"},
                  {"click", UiVerb::Click, 2, "click X Y"},      {"drag", UiVerb::Drag, 4, "drag X1 Y1 X2 Y2"},
                  {"menu", UiVerb::Menu, 1, "menu ID"},          {"caption", UiVerb::Caption, 1, "caption FILE"}};
    const auto verb = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                   [&](const auto& v) { return words[0] == v.name; });
    if (verb == std::end(kVerbs)) {
        reason = "unknown verb " + words[0];
        return false;
    }
    step.verb = verb->verb;
    if (words.size() - 1 != verb->arguments) {
        reason = words.size() == 1 && step.verb == UiVerb::Shot ? std::string("missing file name")
                 : std::string(words.size() - 1 < verb->arguments ? "missing" : "too many") + " arguments, expected " +
                       verb->usage;
        return false;
    }
    switch (step.verb) {
        case UiVerb::Wait:
            if (ParseBounded(words[1], kUiMaxWaitMilliseconds, step.numbers[0])) return true;
            reason = "bad milliseconds " + words[1] + " (0 to " + std::to_string(kUiMaxWaitMilliseconds) + ")";
            return false;
        case UiVerb::Shot:
            if (Lower(words[1]).size() > 4 && Lower(words[1]).compare(Lower(words[1]).size() - 4, 4, ".png") == 0) {
                step.file = words[1];
                return true;
            }
            reason = "the picture is written as PNG: the file name must end in .png";
            return false;
        case UiVerb::Caption:
            step.file = words[1];
            return true;
        case UiVerb::Press:
        case UiVerb::Menu:
            if (ParseBounded(words[1], kUiMaxCommandId, step.numbers[0])) return true;
            reason = "bad ID " + words[1];
            return false;
        case UiVerb::Key:
            if (ParseKeyName(words[1], step)) return true;
            reason = "unknown key " + words[1] +
                     " (Return, Escape, Tab, Up, Down, Left, Right, Space, a letter or digit, Ctrl+letter)";
            return false;
        case UiVerb::Click:
        case UiVerb::Drag:
            for (size_t i = 1; i < words.size(); ++i)
                if (!ParseBounded(words[i], kUiMaxCoordinate, step.numbers[i - 1])) {
                    reason = "bad coordinate " + words[i];
                    return false;
                }
            return true;
    }
    return false;
}

std::string StepName(int index, const UiStep& step) {
    return "ui step " + std::to_string(index + 1) + " (" + step.text + ")";
}

struct ProcessWindows {
    HWND ignored = nullptr;
    bool dialogsOnly = false;  // enabled windows only: a window a modal dialog disabled is not active
    std::vector<HWND> found;   // top of the screen's order first
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<ProcessWindows*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || window == search.ignored || !IsWindowVisible(window)) return TRUE;
    RECT r{};
    if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return TRUE;
    if (search.dialogsOnly) {
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        // Tooltips float above the dialog they belong to and take no commands.
        if (!IsWindowEnabled(window) || lstrcmpiW(className, L"tooltips_class32") == 0) return TRUE;
    }
    search.found.push_back(window);
    return TRUE;
}

// The window the user is working in. Floating palettes owned by a dialog stand above it in the
// order (and may be the active window), but the dialog takes the commands; an alert over the
// dialog leaves the dialog disabled, so then the alert is the one. So: among the windows that no
// other of them owns, the active one, else the topmost.
HWND ActiveAmong(const std::vector<HWND>& windows) {
    std::vector<HWND> unowned;
    for (HWND window : windows) {
        const HWND owner = GetWindow(window, GW_OWNER);
        if (std::find(windows.begin(), windows.end(), owner) == windows.end()) unowned.push_back(window);
    }
    if (unowned.empty()) return windows.front();
    GUITHREADINFO info{sizeof info};
    const DWORD thread = GetWindowThreadProcessId(unowned.front(), nullptr);
    if (GetGUIThreadInfo(thread, &info) && info.hwndActive &&
        std::find(unowned.begin(), unowned.end(), info.hwndActive) != unowned.end())
        return info.hwndActive;
    return unowned.front();
}

std::vector<HWND> FindProcessWindows(HWND ignored, bool dialogsOnly) {
    ProcessWindows search{ignored, dialogsOnly, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool MakeParentFolders(const std::wstring& path) {
    for (size_t at = path.find_first_of(L"\\/", 1); at != std::wstring::npos; at = path.find_first_of(L"\\/", at + 1)) {
        const std::wstring folder = path.substr(0, at);
        if (folder.size() == 2 && folder[1] == L':') continue;  // a drive
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return true;
}

// The screen DC's pixels of a rectangle, as 8-bit RGB; the parts that show no window of the
// process stay black, so the picture is of the process alone.
bool CopyScreen(const RECT& area, const std::vector<RECT>& windows, RasterImage& image) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFO info = TopDown32BitBitmap(width, height);
    const HDC screen = GetDC(nullptr);
    if (!screen) return false;
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = memory ? CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    bool copied = false;
    if (bitmap && bits) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
        if (copied) {
            image.width = width;
            image.height = height;
            image.channels = 3;
            image.bitDepth = 8;
            image.samples.assign(static_cast<size_t>(width) * height * 3, 0);
            const auto* pixels = static_cast<const uint8_t*>(bits);
            for (const RECT& w : windows)
                for (LONG y = std::max(w.top, area.top); y < std::min(w.bottom, area.bottom); ++y)
                    for (LONG x = std::max(w.left, area.left); x < std::min(w.right, area.right); ++x) {
                        const size_t at = static_cast<size_t>(y - area.top) * width + static_cast<size_t>(x - area.left);
                        const uint8_t* bgra = pixels + at * 4;
                        uint16_t* rgb = image.samples.data() + at * 3;
                        rgb[0] = bgra[2];
                        rgb[1] = bgra[1];
                        rgb[2] = bgra[0];
                    }
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied;
}

void SendKeyboard(WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    const bool extended = key == VK_UP || key == VK_DOWN || key == VK_LEFT || key == VK_RIGHT;
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    SendInput(1, &input, sizeof input);
}

// The absolute input coordinate (0..65535 over the screen) that lands on pixel p of a screen n
// pixels wide: the system maps a coordinate c to c * n / 65536, rounded down.
LONG AbsoluteCoordinate(LONG p, int n) { return n > 0 ? static_cast<LONG>((int64_t{p} * 65536 + n - 1) / n) : 0; }

// Moves the pointer to a screen point and makes the move an input event the window sees. The event
// carries its own position: a relative event takes the pointer's place when it is processed, which
// a late motion of the previous step could still move, so a button would go down where the last
// step left the pointer.
void SendPointerAt(POINT at, DWORD buttonFlags) {
    SetCursorPos(at.x, at.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = AbsoluteCoordinate(at.x, GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = AbsoluteCoordinate(at.y, GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttonFlags;
    SendInput(1, &input, sizeof input);
}

// The steps on their thread: each bounded, each stopping as soon as the dialogs' call returned.
class StepRunner {
public:
    StepRunner(const std::vector<UiStep>& steps, const UiLimits& limits) : steps_(steps), limits_(limits) {}

    void Run() {
        for (size_t i = 0; i < steps_.size() && !stop_; ++i) {
            next_ = static_cast<int>(i);
            std::string reason;
            if (!RunStep(steps_[i], reason)) {
                if (stop_ && steps_[i].verb == UiVerb::Wait) break;
                report_.failedStep = static_cast<int>(i) + 1;
                report_.error = StepName(static_cast<int>(i), steps_[i]) + ": " + reason;
                CancelDialogs();
                return;
            }
            next_ = static_cast<int>(i) + 1;
        }
        if (stop_) return;  // Finish decides what the steps left mean
        report_.completed = true;
    }

    // After the dialogs' call returned: stops a step still waiting, and tells what was left.
    void Stop() { stop_ = true; }
    UiReport Finish() {
        if (!report_.completed && report_.error.empty()) {
            const auto left = std::find_if(steps_.begin() + std::min<size_t>(next_, steps_.size()), steps_.end(),
                                           [](const UiStep& s) { return s.verb != UiVerb::Wait; });
            if (left == steps_.end()) {
                report_.completed = true;
            } else {
                const int index = static_cast<int>(left - steps_.begin());
                report_.failedStep = index + 1;
                report_.error = StepName(index, *left) + ": the dialogs were gone before it ran";
            }
        }
        return report_;
    }
    void Fail(const std::string& error) {
        report_.failedStep = next_ + 1;
        report_.error = error;
    }

private:
    // Sleeps, waking early when stopped; false when stopped.
    bool Pause(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!stop_) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= end) return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
            Sleep(static_cast<DWORD>(std::min<long long>(left, kPollMilliseconds)));
        }
        return false;
    }

    // The active dialog: the topmost visible, enabled window of the process.
    HWND WaitForDialog(std::string& reason) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.dialogWaitMilliseconds);
        for (;;) {
            const std::vector<HWND> dialogs = FindProcessWindows(limits_.ignoredWindow, true);
            if (!dialogs.empty()) {
                const HWND chosen = ActiveAmong(dialogs);
                // A palette that shows before the dialog that owns it is still being set up: the
                // step waits for the dialog.
                const HWND owner = GetWindow(chosen, GW_OWNER);
                const bool ownerComing = owner && owner != limits_.ignoredWindow && !IsWindowVisible(owner);
                if (!ownerComing) return chosen;
            }
            if (stop_) {
                reason = "the dialogs were gone before it ran";
                return nullptr;
            }
            if (std::chrono::steady_clock::now() >= end) {
                reason = "no dialog of the process came up within " + std::to_string(limits_.dialogWaitMilliseconds) + " ms";
                return nullptr;
            }
            Sleep(kPollMilliseconds);
        }
    }

    bool RunStep(const UiStep& step, std::string& reason) {
        if (step.verb == UiVerb::Wait) return Pause(step.numbers[0]);
        const HWND dialog = WaitForDialog(reason);
        if (!dialog) return false;
        switch (step.verb) {
            case UiVerb::Shot:
                return ShootProcessWindows(step.file, reason);
            case UiVerb::Caption: {
                // Read without a message to the dialog's thread, which may be busy.
                wchar_t caption[512] = {};
                InternalGetWindowText(dialog, caption, 512);
                FILE* file = _wfopen(Widen(step.file).c_str(), L"ab");
                if (!file) {
                    reason = "cannot write " + step.file;
                    return false;
                }
                const std::string line = Narrow(caption) + "\n";
                fwrite(line.data(), 1, line.size(), file);
                fclose(file);
                return true;
            }
            case UiVerb::Press: {
                const int id = step.numbers[0];
                const HWND item = GetDlgItem(dialog, id);
                // OK and Cancel are commands of every dialog, with or without a button.
                if (!item && id != IDOK && id != IDCANCEL) {
                    reason = "the active dialog has no item " + std::to_string(id);
                    return false;
                }
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
                return true;
            }
            case UiVerb::Menu:
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(step.numbers[0], 0), 0);
                return true;
            case UiVerb::Key:
                SetForegroundWindow(dialog);
                if (step.control) SendKeyboard(VK_CONTROL, false);
                SendKeyboard(step.virtualKey, false);
                SendKeyboard(step.virtualKey, true);
                if (step.control) SendKeyboard(VK_CONTROL, true);
                return true;
            case UiVerb::Click:
            case UiVerb::Drag: {
                SetForegroundWindow(dialog);
                POINT from{step.numbers[0], step.numbers[1]};
                if (!ClientToScreen(dialog, &from)) {
                    reason = "the dialog closed";
                    return false;
                }
                SendPointerAt(from, MOUSEEVENTF_LEFTDOWN);
                if (step.verb == UiVerb::Drag) {
                    POINT to{step.numbers[2], step.numbers[3]};
                    ClientToScreen(dialog, &to);
                    for (int i = 1; i <= kDragSteps; ++i) {
                        Pause(kDragStepMilliseconds);
                        SendPointerAt({from.x + (to.x - from.x) * i / kDragSteps, from.y + (to.y - from.y) * i / kDragSteps}, 0);
                    }
                    from = to;
                }
                SendPointerAt(from, MOUSEEVENTF_LEFTUP);
                return true;
            }
            case UiVerb::Wait:
                break;
        }
        return true;
    }

    // A script that failed leaves no dialog waiting for a user who is not there: the call that
    // shows them returns, as after Cancel.
    void CancelDialogs() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCancelMilliseconds);
        while (!stop_ && std::chrono::steady_clock::now() < end) {
            for (HWND dialog : FindProcessWindows(limits_.ignoredWindow, true))
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            Pause(kCancelRepeatMilliseconds);
        }
    }

    const std::vector<UiStep>& steps_;
    const UiLimits limits_;
    std::atomic<bool> stop_{false};
    std::atomic<int> next_{0};
    UiReport report_;
};

}  // namespace

bool ParseUiScript(const std::string& text, std::vector<UiStep>& steps, std::string& error) {
    steps.clear();
    std::stringstream list(text);
    std::string piece;
    int index = 0;
    while (std::getline(list, piece, ';')) {
        const std::string written = Trimmed(piece);
        if (written.empty()) continue;
        std::vector<std::string> words;
        UiStep step;
        step.text = written;
        std::string reason;
        if (!SplitWords(written, words, reason) || !ParseStep(words, step, reason)) {
            error = "step " + std::to_string(index + 1) + " (" + written + "): " + reason;
            steps.clear();
            return false;
        }
        steps.push_back(std::move(step));
        ++index;
    }
    if (steps.empty()) {
        error = "no steps";
        return false;
    }
    return true;
}

bool ShootProcessWindows(const std::string& utf8Path, std::string& error) {
    const std::vector<HWND> windows = FindProcessWindows(nullptr, false);
    RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    RECT area{};
    std::vector<RECT> rects;
    for (HWND window : windows) {
        RECT r{}, shown{};
        if (!GetWindowRect(window, &r) || !IntersectRect(&shown, &r, &screen)) continue;
        rects.push_back(shown);
        UnionRect(&area, &area, &shown);
    }
    if (rects.empty()) {
        error = "no window of the process shows on the screen";
        return false;
    }
    RasterImage image;
    if (!CopyScreen(area, rects, image)) {
        error = "the screen could not be copied";
        return false;
    }
    if (!MakeParentFolders(Widen(utf8Path))) {
        error = "cannot make the folder of " + utf8Path;
        return false;
    }
    return WriteImageFile(utf8Path, image, error);
}

UiReport DriveDialogs(const std::vector<UiStep>& steps, const UiLimits& limits, const std::function<void()>& showDialogs) {
    StepRunner runner(steps, limits);
    std::thread thread([&runner] {
        try {
            runner.Run();
        } catch (const std::exception& e) {
            runner.Fail(std::string("ui steps: ") + e.what());
        } catch (...) {
            runner.Fail("ui steps: an unexpected failure");
        }
    });
    {
        // The steps' thread is stopped and joined however the dialogs' call ends, throwing too.
        struct Joiner {
            StepRunner& runner;
            std::thread& thread;
            ~Joiner() {
                runner.Stop();
                if (thread.joinable()) thread.join();
            }
        } joiner{runner, thread};
        showDialogs();
    }
    return runner.Finish();
}

}  // namespace qvhost
