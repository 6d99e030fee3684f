// Fixtures of the library tests: a scratch folder, file bytes, and libraries whose statements are
// traced as SQLite runs them.
#pragma once

#include <string>
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
    void Open(const char* path) override {
        Library::Open(path);
        trace.Attach(*this);
    }
    StatementTrace trace;
};

// Rows of a query as lines of "|"-joined columns (NULL as "<null>").
std::vector<std::string> QueryRows(CppSQLiteDB& database, const char* sql);
