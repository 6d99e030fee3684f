// What the file tests share: alerts answered at once, and file-time helpers.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "TempFolder.h"

// Alerts raised through ThrowIfError are answered at once and logged into a file of their own.
class AnsweredAlerts {
public:
    AnsweredAlerts() : folder_("Quorvel alerts") {
        _putenv_s("QUORVEL_ALERT_ANSWER", "1");
        _putenv_s("QUORVEL_ALERT_LOG", (folder_ / "alerts.log").c_str());
    }
    ~AnsweredAlerts() { _putenv_s("QUORVEL_ALERT_LOG", ""); }
    std::string Log() const { return ReadTextFile(folder_ / "alerts.log"); }

private:
    TempFolder folder_;
};

// Runs a program of the Unix side in folder. A Unix program is not a Wine process: its handle says
// nothing of when it ends, so callers wait for its effect.
inline bool RunUnixProgram(const wchar_t* program, std::wstring commandLine, const std::string& folder) {
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, Utf8ToUtf16(folder).c_str(),
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// A symbolic link folder\name to target (a path relative to folder, "/"-separated), removed again
// with the object. Wine's CreateSymbolicLinkW makes nothing, so the link is made by the system's
// ln, and Wine shows it as a reparse point, as Windows shows a link.
class FolderLink {
public:
    FolderLink(const std::string& folder, const char* name, const char* target)
        : folder_(folder), name_(Utf8ToUtf16(name)), link_(Utf8ToUtf16(folder + "\\" + name)) {
        CreateSymbolicLinkW(link_.c_str(), Utf8ToUtf16(folder + "\\" + target).c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
        if (!IsLink() && RunUnixProgram(L"Z:\\bin\\ln", L"/bin/ln -s " + Utf8ToUtf16(target) + L" " + name_, folder_)) {
            WaitFor([this] { return IsLink(); });
        }
    }
    ~FolderLink() {
        if (!IsLink() || RemoveDirectoryW(link_.c_str())) return;
        if (RunUnixProgram(L"Z:\\bin\\rm", L"/bin/rm " + name_, folder_)) {
            WaitFor([this] { return GetFileAttributesW(link_.c_str()) == INVALID_FILE_ATTRIBUTES; });
        }
    }
    FolderLink(const FolderLink&) = delete;
    FolderLink& operator=(const FolderLink&) = delete;

    bool IsLink() const {
        const DWORD attributes = GetFileAttributesW(link_.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }

private:
    template <typename Condition>
    static void WaitFor(Condition condition) {
        for (int attempt = 0; attempt < 100 && !condition(); ++attempt) Sleep(50);
    }

    std::string folder_;
    std::wstring name_;
    std::wstring link_;
};

// Asserts that a statement throws the given error code.
#define EXPECT_THROWS_CODE(statement, expected)                     \
    do {                                                            \
        try {                                                       \
            statement;                                              \
            ADD_FAILURE() << #statement " did not throw";           \
        } catch (const ErrorCodeException& error) {                 \
            EXPECT_EQ(error.code, (expected)) << #statement;        \
        }                                                           \
    } while (false)
