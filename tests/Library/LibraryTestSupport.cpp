#include "LibraryTestSupport.h"

#include <windows.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>

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
