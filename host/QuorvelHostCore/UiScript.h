// Driving and photographing the plug-in's dialogs while they are up: a list of steps
// ("wait 300; shot about.png; press 1") run from a second thread while the calling thread shows
// the dialogs. Used by the host's --ui option and by tests, which need a dialog closed, a key
// typed or a picture taken without anyone at the screen.
//
// Keys and the mouse go through SendInput from the second thread: posted keyboard messages do not
// change the key state the dialogs read, and input from outside the dialog's thread is what the
// user makes. Pictures are copied from the screen, where every window of the process is composed
// as it shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qvhost {

enum class UiVerb { Wait, Shot, Press, Key, Click, Drag, Menu, Caption };

struct UiStep {
    UiVerb verb = UiVerb::Wait;
    std::string text;        // the step as written, for messages
    std::string file;        // shot: the PNG to write; caption: the text file the caption is added to
    WORD virtualKey = 0;     // key: the key pressed
    bool control = false;    // key: held with Ctrl
    int32_t numbers[4] = {}; // wait: milliseconds; press, menu: the ID; click: X Y; drag: X1 Y1 X2 Y2
};

// The longest wait a step may ask for, and the largest coordinate or ID a step may name.
constexpr int32_t kUiMaxWaitMilliseconds = 60000;
constexpr int32_t kUiMaxCoordinate = 30000;
constexpr int32_t kUiMaxCommandId = 0xFFFF;

// Parses a ';'-separated step list (empty steps between separators are skipped). False with a
// message naming the step ("step 2 (presss 1): unknown verb presss") for a bad one.
bool ParseUiScript(const std::string& text, std::vector<UiStep>& steps, std::string& error);

struct UiLimits {
    // How long a step waits for a dialog of the process to come up before it fails.
    int32_t dialogWaitMilliseconds = 5000;
    // The host's own window, never taken for a dialog.
    HWND ignoredWindow = nullptr;
};

struct UiReport {
    bool completed = false;  // every step ran
    int failedStep = 0;      // 1-based, when not completed
    std::string error;       // "ui step 2 (press 7): ..."
};

// Runs showDialogs on the calling thread while the steps run on a second thread, which is joined
// however either ends. A step that fails cancels the dialogs still up, so the call it interrupts
// returns; steps left when showDialogs returns are not run (left waits do not count as a
// failure). No exception leaves the second thread.
UiReport DriveDialogs(const std::vector<UiStep>& steps, const UiLimits& limits, const std::function<void()>& showDialogs);

// The visible top-level windows of this process, composed as the screen shows them, written as a
// PNG (folders of the path are made). False with the reason.
bool ShootProcessWindows(const std::string& utf8Path, std::string& error);

}  // namespace qvhost
