#include "LibraryTestSupport.h"

#include <windows.h>

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "Utf.h"

namespace {

int TraceStatement(unsigned type, void* context, void* statement, void* text) {
    auto* trace = static_cast<StatementTrace*>(context);
    if (type == SQLITE_TRACE_STMT) {
        const char* sql = static_cast<const char*>(text);
        // Statements a trigger runs are reported as comments; only the caller's count here.
        if (sql && std::string_view(sql).substr(0, 2) != "--") trace->statements.emplace_back(sql);
    }
    return 0;
}

}  // namespace

ScratchFolder::ScratchFolder() {
    static int counter = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"QuorvelLibrary-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++counter);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    path_ = Utf16ToUtf8(folder);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(Utf8ToUtf16(path_)), ignored);
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream file(std::filesystem::path(Utf8ToUtf16(path)), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream file(std::filesystem::path(Utf8ToUtf16(path)), std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void StatementTrace::Attach(CppSQLiteDB& database) {
    sqlite3_trace_v2(database.Handle(), SQLITE_TRACE_STMT, TraceStatement, this);
}

std::vector<std::string> QueryRows(CppSQLiteDB& database, const char* sql) {
    std::vector<std::string> rows;
    CppSQLiteQuery query = database.ExecQuery(sql);
    for (; !query.Eof(); query.NextRow()) {
        std::string row;
        for (int field = 0; field < query.NumFields(); ++field) {
            if (field) row += '|';
            const char* value = query.FieldValue(field);
            row += value ? value : "<null>";
        }
        rows.push_back(row);
    }
    return rows;
}

AlertLog::AlertLog() {
    _putenv_s("QUORVEL_ALERT_ANSWER", "1");
    _putenv_s("QUORVEL_ALERT_LOG", folder_.File("alerts.log").c_str());
}

AlertLog::~AlertLog() { _putenv_s("QUORVEL_ALERT_LOG", ""); }

std::vector<std::string> AlertLog::Lines() const {
    const std::vector<unsigned char> bytes = ReadBytes(folder_.File("alerts.log"));
    std::istringstream text(std::string(bytes.begin(), bytes.end()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

std::string LibraryNotOpenedAlert(const std::string& file) {
    return "alert 19006 answered 1: Could not open the file \"" + file + ".\" The disk or file may be locked.";
}

namespace {
constexpr int kStartAttempts = 4;
constexpr DWORD kStartRetryMs = 250;
}  // namespace

ChildTestRun::ChildTestRun(const char* filter, const Environment& environment) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = std::wstring(L"\"") + self + L"\" --gtest_filter=" + Utf8ToUtf16(filter) + L" --gtest_brief=1";
    // The child inherits the environment as it is while it starts.
    for (const auto& [name, value] : environment) _putenv_s(name.c_str(), value.c_str());
    STARTUPINFOW startup{sizeof startup};
    // A machine busy with other test programs may refuse a new process for a moment: a few tries.
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_)) {
            startError_ = 0;
            break;
        }
        startError_ = GetLastError();
        process_ = PROCESS_INFORMATION{};
        Sleep(kStartRetryMs);
    }
    for (const auto& [name, value] : environment) _putenv_s(name.c_str(), "");
}

ChildTestRun::~ChildTestRun() {
    if (!Started()) return;
    Wait();
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

int ChildTestRun::Wait(DWORD milliseconds) {
    if (!Started() || waited_) return exitCode_;
    waited_ = true;
    if (WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, milliseconds);
        return exitCode_ = -1;
    }
    DWORD code = 1;
    GetExitCodeProcess(process_.hProcess, &code);
    return exitCode_ = static_cast<int>(code);
}
