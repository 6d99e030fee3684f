// What the end-to-end tests share: where the built programs are, and running one as a process.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

namespace endtoend {

// A path of the machine running Wine in Windows form (its root is drive Z:).
inline std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// The build's programs and the source tree, from the variables the test runner sets.
inline std::string BinPath(const char* name) {
    const char* bin = std::getenv("QUORVEL_BIN");
    return WindowsPath(std::string(bin ? bin : ".") + "/" + name);
}
inline std::string SourcePath(const char* relative) {
    const char* source = std::getenv("QUORVEL_SOURCE");
    return WindowsPath(std::string(source ? source : ".") + "/" + relative);
}

struct ProcessOutcome {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // standard output and error together
};

// Runs application with the whole command line given (its first token is what the program sees
// as its own name) and collects what it prints.
inline ProcessOutcome RunProcess(const std::string& application, const std::string& commandLine) {
    ProcessOutcome outcome;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return outcome;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::string line = commandLine;
    const BOOL started = CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) outcome.output.append(buffer, got);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &outcome.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return outcome;
}

inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace endtoend
