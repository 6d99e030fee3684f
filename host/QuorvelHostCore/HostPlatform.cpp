#include "HostPlatform.h"

#include <ole2.h>

#include <cstdio>
#include <cstdlib>

#include "FileIO.h"
#include "TextConversion.h"

namespace qvhost {

OleSession::OleSession() : initialized_(SUCCEEDED(OleInitialize(nullptr))) {}

OleSession::~OleSession() {
    if (initialized_) OleUninitialize();
}

namespace {
constexpr wchar_t kWindowClass[] = L"QuorvelHostFrame";

void RegisterHostWindowClass() {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    cls.lpszClassName = kWindowClass;
    RegisterClassExW(&cls);  // fails harmlessly when an earlier session registered it
}
}  // namespace

HostWindow::HostWindow() {
    RegisterHostWindowClass();
    window_ = CreateWindowExW(0, kWindowClass, L"Quorvel Host", WS_OVERLAPPEDWINDOW, 40, 40, 640, 480, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
}

HostWindow::~HostWindow() {
    if (window_) DestroyWindow(window_);
}

ScopedEnvironment::ScopedEnvironment(const std::wstring& name, const std::wstring& value)
    : name_(name), previous_(Get(name)) {
    Set(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() { Set(name_, previous_); }

std::optional<std::wstring> ScopedEnvironment::Get(const std::wstring& name) {
    const wchar_t* value = _wgetenv(name.c_str());
    if (!value) return std::nullopt;
    return std::wstring(value);
}

void ScopedEnvironment::Set(const std::wstring& name, const std::optional<std::wstring>& value) {
    // "NAME=" removes the variable from the C runtime's copy.
    _wputenv((name + L"=" + value.value_or(L"")).c_str());
    SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
}

TemporaryLogFile::TemporaryLogFile() {
    wchar_t folder[MAX_PATH + 1] = {}, path[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, folder) && GetTempFileNameW(folder, L"qva", 0, path)) path_ = path;
}

TemporaryLogFile::~TemporaryLogFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
}

std::vector<std::string> TemporaryLogFile::NewLines() {
    std::vector<std::string> lines;
    std::vector<uint8_t> bytes;
    if (path_.empty() || !ReadWholeFile(Narrow(path_), bytes)) return lines;
    size_t start = static_cast<size_t>(std::min<long long>(consumed_, static_cast<long long>(bytes.size())));
    for (size_t end = start; end < bytes.size(); ++end) {
        if (bytes[end] != '\n') continue;
        std::string line(bytes.begin() + static_cast<ptrdiff_t>(start), bytes.begin() + static_cast<ptrdiff_t>(end));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    consumed_ = static_cast<long long>(start);
    return lines;
}

}  // namespace qvhost
