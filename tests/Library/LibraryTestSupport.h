// Fixtures of the library tests: a scratch folder, file bytes, libraries whose statements are
// traced as SQLite runs them, the log of the alerts shown, and cases run in a child process.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "QVDatabase.h"

// A new empty folder under the temporary folder, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder's UTF-8 path with backslashes, and a file path inside it.
    const std::string& Path() const { return path_; }
    std::string File(const char* name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

std::vector<unsigned char> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);

// Records every statement SQLite starts on a connection, as its SQL text.
class StatementTrace {
public:
    void Attach(CppSQLiteDB& database);
    std::vector<std::string> statements;
};

// Libraries that trace their statements from the moment they are opened.
template <class Library>
class TracedLibrary : public Library {
public:
    void Open(const char* path, CppSQLiteDB::OpenMode mode) override {
        Library::Open(path, mode);
        trace.Attach(*this);
    }
    StatementTrace trace;
};

// Rows of a query as lines of "|"-joined columns (NULL as "<null>").
std::vector<std::string> QueryRows(CppSQLiteDB& database, const char* sql);

// Alerts are answered at once (as in every test program) and, for the life of this object,
// logged into a file of its own.
class AlertLog {
public:
    AlertLog();
    ~AlertLog();
    AlertLog(const AlertLog&) = delete;
    AlertLog& operator=(const AlertLog&) = delete;

    // One line an alert: "alert <id> answered <button>: <texts>".
    std::vector<std::string> Lines() const;

private:
    ScratchFolder folder_;
};

// The text that the "Could not open the file" alert shows for a library file.
std::string LibraryNotOpenedAlert(const std::string& file);

// This test program run again in a child process, limited to the cases of a gtest filter, with
// environment variables set for it. The child is waited for, with a bound, when the object ends.
class ChildTestRun {
public:
    using Environment = std::vector<std::pair<std::string, std::string>>;
    ChildTestRun(const char* filter, const Environment& environment);
    ~ChildTestRun();
    ChildTestRun(const ChildTestRun&) = delete;
    ChildTestRun& operator=(const ChildTestRun&) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    // Why the child did not start (the last error of the last try), 0 once it started.
    DWORD StartError() const { return startError_; }
    // The child's exit code once it ended, or -1 when it did not end within the bound (it is
    // then ended).
    int Wait(DWORD milliseconds = 60000);

private:
    PROCESS_INFORMATION process_{};
    DWORD startError_ = 0;
    bool waited_ = false;
    int exitCode_ = -1;
};
