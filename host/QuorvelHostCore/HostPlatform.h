// What a real host has around a plug-in call: OLE on its thread, a main window, and (in automated
// runs) the environment that answers the plug-in's alerts and logs them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace qvhost {

// The description of a top-down bitmap of 32-bit pixels (blue, green, red, unused), as the screen
// copies and the display of pixels hand them over.
inline BITMAPINFO TopDown32BitBitmap(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

class OleSession {
public:
    OleSession();
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;
    ~OleSession();

private:
    bool initialized_ = false;
};

// The host's main window: real, small and hidden; the plug-in's dialogs are owned by it.
class HostWindow {
public:
    HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    ~HostWindow();
    HWND Get() const { return window_; }

private:
    HWND window_ = nullptr;
};

// Sets an environment variable for the process (the C runtime's copy and the system's) and puts
// the old value back when destroyed.
class ScopedEnvironment {
public:
    ScopedEnvironment(const std::wstring& name, const std::wstring& value);
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment();

    static std::optional<std::wstring> Get(const std::wstring& name);

private:
    static void Set(const std::wstring& name, const std::optional<std::wstring>& value);
    std::wstring name_;
    std::optional<std::wstring> previous_;
};

// A temporary file deleted when destroyed; its new lines can be read as they are appended.
class TemporaryLogFile {
public:
    TemporaryLogFile();
    TemporaryLogFile(const TemporaryLogFile&) = delete;
    TemporaryLogFile& operator=(const TemporaryLogFile&) = delete;
    ~TemporaryLogFile();

    const std::wstring& Path() const { return path_; }
    bool Valid() const { return !path_.empty(); }
    // The complete lines written since the last call.
    std::vector<std::string> NewLines();

private:
    std::wstring path_;
    long long consumed_ = 0;
};

}  // namespace qvhost
