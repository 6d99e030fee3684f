#include "QVDatabase.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Alerts.h"
#include "File.h"
#include "RelativePaths.h"
#include "StringIds.h"
#include "Utf.h"

namespace {

constexpr ColumnDef kBaseColumns[] = {{"NextRecordID", "Integer"}, {"Version", "Integer"}};
constexpr ColumnDef kFramesColumns[] = {
    {"RID", "Integer Primary Key"}, {"Filename", "Text"},       {"PathType", "Integer"},
    {"Path", "Text"},               {"Category", "Text null"},  {"Favorite", "Boolean null"},
    {"Missing", "Boolean null"},    {"Thumbnail", "Blob null"}, {"Rating", "Integer null"},
};
constexpr ColumnDef kTexturesColumns[] = {
    {"RID", "Integer Primary Key"}, {"Filename", "Text"},      {"PathType", "Integer"},
    {"Path", "Text"},               {"Category", "Text null"}, {"Favorite", "Boolean null"},
    {"Missing", "Boolean null"},    {"Thumbnail", "Blob null"},
};
constexpr ColumnDef kPresetsColumns[] = {
    {"RID", "Integer Primary Key"}, {"name", "Text"},           {"PathType", "Integer"},
    {"Path", "Text"},               {"Favorite", "Boolean null"}, {"LastUsed", "Boolean null"},
    {"Definition", "Blob null"},    {"Thumbnail", "Blob null"}, {"Category", "Text null"},
    {"Rating", "Integer null"},     {"modification", "Unsigned Long null"},
};
constexpr ColumnDef kPreviewColumns[] = {{"RID", "Integer"}, {"Preview", "Blob null"}};
constexpr ColumnDef kSettingsColumns[] = {
    {"TableName", "Text"}, {"Category", "Text null"}, {"Search", "Text null"}, {"Selection", "Blob null"}};

constexpr IndexDef kRidAndFilename[] = {{"RID", true}, {"Filename", false}};
constexpr IndexDef kRidAndName[] = {{"RID", true}, {"name", false}};
constexpr IndexDef kRidOnly[] = {{"RID", true}};
constexpr IndexDef kTableNameOnly[] = {{"TableName", true}};

constexpr TableDef kTables[LibraryTable::Count] = {
    {"Base", kBaseColumns, {}},
    {"Frames", kFramesColumns, kRidAndFilename},
    {"Textures", kTexturesColumns, kRidAndFilename},
    {"Presets", kPresetsColumns, kRidAndName},
    {"RGBPreviews", kPreviewColumns, kRidOnly},
    {"InMaskPreviews", kPreviewColumns, kRidOnly},
    {"OutMaskPreviews", kPreviewColumns, kRidOnly},
    {"Settings", kSettingsColumns, kTableNameOnly},
};

constexpr int kFramesLibraryTables[] = {LibraryTable::Base,        LibraryTable::Frames,         LibraryTable::Textures,
                                        LibraryTable::Presets,     LibraryTable::RGBPreviews,    LibraryTable::InMaskPreviews,
                                        LibraryTable::OutMaskPreviews};
constexpr int kPresetsLibraryTables[] = {LibraryTable::Base, LibraryTable::Presets, LibraryTable::Settings};
// The preview rows a frame row takes with it when it is deleted.
constexpr int kPreviewTables[] = {LibraryTable::RGBPreviews, LibraryTable::InMaskPreviews, LibraryTable::OutMaskPreviews};

constexpr size_t kNameCapacity = 256;

constexpr int32_t kNoFolderName = 3;
constexpr int32_t kNoFileName = -43;

// How many names a new library's file beside its place tries before the open gives up.
constexpr int kMakeNameAttempts = 100;

const char* NameOf(int table) { return kTables[table].name; }

// The column that carries a record's id in every table that holds records.
constexpr const char* kRecordIdColumn = "RID";

bool HoldsRecordIds(int table) { return std::strcmp(kTables[table].columns[0].name, kRecordIdColumn) == 0; }

// A stored id or counter as a 64-bit number, so that a value beyond 32 bits is seen as such
// rather than wrapped into a valid-looking id; none for NULL or a value that is no number.
std::optional<int64_t> RecordIdFromText(const char* text) {
    if (!text) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || errno == ERANGE) return std::nullopt;
    return static_cast<int64_t>(value);
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(Utf8ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsAlreadyExists(const CppSQLiteException& e) { return std::strstr(e.ErrorMessage(), "already exists") != nullptr; }

std::string LoadName(int stringId) {
    std::array<char, kNameCapacity> name{};
    if (!LoadResourceString(stringId, name.data(), name.size())) return {};
    return name.data();
}

// "create table T (a A, b B);"
void FormatCreateTable(CppSQLiteBuffer& sql, const TableDef& table) {
    CppSQLiteBuffer columns;
    const size_t last = table.columns.size() - 1;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef& column = table.columns[i];
        columns.Format(i < last ? "%s%s %s, " : "%s%s %s", columns.Get(), column.name, column.declaredType);
    }
    sql.Format("create table %s (", table.name);
    sql.Format("%s%s);", sql.Get(), columns.Get());
}

void FormatCreateIndex(CppSQLiteBuffer& sql, const TableDef& table, const IndexDef& index) {
    sql.Format(index.unique ? "create unique index %s_%s on %s (%s);" : "create index %s_%s on %s (%s);", table.name,
               index.column, table.name, index.column);
}

}  // namespace

const TableDef& LibraryTableDef(int id) { return kTables[id]; }

QVDatabase::QVDatabase() { SetBusyTimeout(kDefaultBusyTimeoutMs); }

QVDatabase::~QVDatabase() = default;

int32_t QVDatabase::FindTable(const char* name) {
    if (!name) return -1;
    for (int id = 0; id < LibraryTable::Count; ++id) {
        if (std::strcmp(kTables[id].name, name) == 0) return id;
    }
    return -1;
}

void QVDatabase::InitNames() {
    folderName_ = LoadName(StringIds::kDataFolder);
    fileName_ = LoadName(StringIds::kFramesLibraryFile);
}

void QVPresetsDatabase::InitNames() {
    folderName_ = LoadName(StringIds::kDataFolder);
    fileName_ = LoadName(StringIds::kPresetsLibraryFile);
}

int32_t QVDatabase::BuildPathIn(bool commonFolder) {
    if (folderName_.empty() || fileName_.empty()) InitNames();
    if (folderName_.empty()) return kNoFolderName;
    if (fileName_.empty()) return kNoFileName;
    std::string path;
    File::ResolveSpec(commonFolder, folderName_.c_str(), fileName_.c_str(), path);
    if (path.size() >= kPathCapacity) return SqlCode::CantOpen;
    path_ = path;
    return 0;
}

int32_t QVDatabase::BuildPath() { return BuildPathIn(true); }

int32_t QVPresetsDatabase::BuildPath() { return BuildPathIn(false); }

int32_t QVDatabase::OpenDefault() {
    if (const int32_t result = BuildPath()) return result;
    return OpenPath(std::string(path_));
}

int32_t QVDatabase::OpenAt(const char* path) {
    if (!path || !*path) return OpenDefault();
    return OpenPath(path);
}

int32_t QVDatabase::OpenPath(const std::string& path) {
    if (path.size() >= kPathCapacity) return SqlCode::CantOpen;
    path_ = path;
    try {
        const bool made = !FileExists(path_) && MakeLibraryFile(path_);
        Open(path_.c_str(), OpenMode::ExistingOnly);
        if (!made) {
            // The user's own file, another program's database: not a library, and not to be
            // made one.
            if (!HoldsLibrary()) {
                Close();
                throw CppSQLiteException(SqlCode::NotADatabase, "the file is not a library");
            }
            // A library of an older make may lack parts of the schema.
            CreateTables();
        }
    } catch (const CppSQLiteException& e) {
        return e.ErrorCode();
    }
    // From now on the path is the library folder, the base of relative stored paths.
    const size_t lastSeparator = path_.rfind('\\');
    if (lastSeparator != std::string::npos) path_.resize(lastSeparator);
    return 0;
}

bool QVDatabase::MakeLibraryFile(const std::string& path) {
    // A file beside the place, on the same volume so that the move is a rename, under a name that
    // no other process holds: it is created exclusively, and another name is tried while one is
    // taken (processes of other machines that share the folder may have the same id).
    std::string made;
    for (int attempt = 0; made.empty(); ++attempt) {
        if (attempt == kMakeNameAttempts) throw CppSQLiteException(SqlCode::CantOpen, "no name for the new library");
        const std::string name = path + "." + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount64()) + "-" + std::to_string(attempt) + ".new";
        const HANDLE created = CreateFileW(Utf8ToUtf16(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created != INVALID_HANDLE_VALUE) {
            CloseHandle(created);
            made = name;
        } else if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            throw CppSQLiteException(SqlCode::CantOpen, "the new library could not be created");
        }
    }
    const std::wstring madeName = Utf8ToUtf16(made);
    const auto discard = [&] {
        Close();
        DeleteFileW(madeName.c_str());
        DeleteFileW(Utf8ToUtf16(made + "-journal").c_str());
    };
    try {
        Open(made.c_str(), OpenMode::CreateWhenMissing);
        CreateTables();
        Close();
    } catch (const CppSQLiteException&) {
        discard();
        throw;
    }
    // Without leave to replace: a library another process moved in first stays, and is the one.
    if (MoveFileExW(madeName.c_str(), Utf8ToUtf16(path).c_str(), 0)) return true;
    discard();
    if (FileExists(path)) return false;
    throw CppSQLiteException(SqlCode::CantOpen, "the new library could not be put in its place");
}

bool QVDatabase::HoldsLibrary() const { return HasColumn(NameOf(LibraryTable::Base), kBaseColumns[0].name); }

void QVDatabase::CreateTableList(std::span<const int> tableIds) {
    CppSQLiteBuffer sql;
    for (const int id : tableIds) {
        const TableDef& table = kTables[id];
        try {
            FormatCreateTable(sql, table);
            ExecDML(sql);
            for (const IndexDef& index : table.indexes) {
                FormatCreateIndex(sql, table, index);
                ExecDML(sql);
            }
        } catch (const CppSQLiteException& e) {
            // A table that exists keeps what it has, its indexes included.
            if (!IsAlreadyExists(e)) throw;
        }
    }
    InitBaseRow(tableIds);
}

void QVDatabase::InitBaseRow(std::span<const int> tableIds) {
    // Looking at the counter row and mending it form one transaction: two processes creating the
    // same library at once add it once (the second's insert is refused while the first holds the
    // file, and it finds the row afterwards).
    std::optional<CppSQLiteSavepoint> savepoint;
    try {
        savepoint.emplace(*this, "InitBase");
    } catch (const CppSQLiteException&) {
        return;  // a library without its counter row cannot hand out ids; NewRecordID reports it
    }
    try {
        const char* base = NameOf(LibraryTable::Base);
        const char* counterColumn = kBaseColumns[0].name;
        CppSQLiteBuffer sql;
        bool rowPresent = false;
        std::optional<int64_t> counter;
        {
            CppSQLiteQuery query = ExecQuery(sql.Format("select * from %s;", base));
            rowPresent = !query.Eof();
            if (rowPresent) counter = RecordIdFromText(query.FieldValue(0));
        }
        // A counter that was lost, or that lags behind the records, starts again above every id
        // the file holds: handing out an id again would make two records one.
        const int64_t firstFree = FirstFreeRecordID(tableIds);
        if (!rowPresent) {
            ExecDML(sql.Format("insert into %s values(%lld, %d);", base, static_cast<long long>(firstFree), kSchemaVersion));
        } else if (!counter || *counter < firstFree) {
            ExecDML(sql.Format("update %s set %s = %lld;", base, counterColumn, static_cast<long long>(firstFree)));
        }
        savepoint->Release();
    } catch (const CppSQLiteException&) {
        // Left as it was: the savepoint rolls back, and NewRecordID reports a missing counter.
    }
}

int64_t QVDatabase::FirstFreeRecordID(std::span<const int> tableIds) {
    // One statement over every table of the file whose rows carry a record id.
    CppSQLiteBuffer sql;
    for (const int id : tableIds) {
        if (!HoldsRecordIds(id)) continue;
        if (*sql.Get() == '\0') {
            sql.Format("select max(%s) from %s", kRecordIdColumn, NameOf(id));
        } else {
            sql.Format("%s union all select max(%s) from %s", sql.Get(), kRecordIdColumn, NameOf(id));
        }
    }
    int64_t firstFree = kFirstRecordID;
    if (*sql.Get() == '\0') return firstFree;
    sql.Format("%s;", sql.Get());
    for (CppSQLiteQuery query = ExecQuery(sql); !query.Eof(); query.NextRow()) {
        const std::optional<int64_t> highest = RecordIdFromText(query.FieldValue(0));
        // A counter at the top of the range is refused by NewRecordID, as any past 32 bits.
        if (highest) firstFree = std::max(firstFree, *highest < INT64_MAX ? *highest + 1 : INT64_MAX);
    }
    return firstFree;
}

void QVDatabase::ExecIgnoreExists(const char* sql) {
    try {
        ExecDML(sql);
    } catch (const CppSQLiteException& e) {
        if (!IsAlreadyExists(e)) throw;
    }
}

void QVDatabase::CreateTrigger() {
    CppSQLiteBuffer sql;
    sql.Format("create trigger framedeleter delete on %s begin", NameOf(LibraryTable::Frames));
    for (const int preview : kPreviewTables) sql.Format("%s delete from %s where rid = old.rid;", sql.Get(), NameOf(preview));
    sql.Format("%s end;", sql.Get());
    ExecIgnoreExists(sql);
}

void QVDatabase::CreateTables() {
    CreateTableList(kFramesLibraryTables);
    CreateTrigger();
    CppSQLiteBuffer sql;
    const char* frames = NameOf(LibraryTable::Frames);
    ExecIgnoreExists(sql.Format("create index %s_%s on %s (%s);", frames, "Category", frames, "Category"));
}

void QVPresetsDatabase::CreateTables() { CreateTableList(kPresetsLibraryTables); }

int32_t QVDatabase::NewRecordID() {
    const char* base = NameOf(LibraryTable::Base);
    const char* counter = kBaseColumns[0].name;
    // Reading and advancing the counter form one transaction, so that two processes sharing the
    // file can never hand out the same id.
    CppSQLiteSavepoint savepoint(*this, "NewRecordID");
    CppSQLiteBuffer sql;
    std::optional<int64_t> id;
    {
        CppSQLiteTable table = GetTable(sql.Format("select * from %s;", base));
        id = RecordIdFromText(table.FieldValueByName(counter));
    }
    // A lost counter, or one that ran past the ids records can carry, is reported rather than
    // handed out.
    if (!id || *id < kFirstRecordID || *id > INT32_MAX) throw CppSQLiteException(SqlCode::Wrapper, "Invalid record counter");
    ExecDML(sql.Format("update %s set %s = %s + 1;", base, counter, counter));
    savepoint.Release();
    return static_cast<int32_t>(*id);
}

std::string QVDatabase::StorePath(const char* path, int32_t& pathType) const {
    std::array<char, kPathCapacity> relative{};
    if (MakeRelativePath(path, path_.c_str(), relative.data(), relative.size())) {
        pathType = PathType::RelativePath;
        return relative.data();
    }
    pathType = PathType::FullPath;
    return path ? path : "";
}

std::optional<std::string> QVDatabase::ResolvePath(const char* stored, int32_t pathType) const {
    if (!stored) return std::nullopt;
    switch (pathType) {
        case PathType::FullPathLegacy:
        case PathType::FullPath:
            return std::string(stored);
        case PathType::RelativePathLegacy:
        case PathType::RelativePath: {
            std::array<char, kPathCapacity> full{};
            if (MakeAbsolutePath(stored, path_.c_str(), full.data(), full.size())) return std::string(full.data());
            return std::string(stored);
        }
        default:
            return std::nullopt;
    }
}
