// The two library databases: the frames library (Quorvel.sdb, in the common application-data
// folder) and the presets library (QuorvelPresets.sdb, in the user's), their schema, the record-id
// counter, and the stored forms of the file paths that records keep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "CppSQLite.h"

// The eight tables, known by a fixed id that records and record sets share.
namespace LibraryTable {
inline constexpr int Base = 0;
inline constexpr int Frames = 1;
inline constexpr int Textures = 2;
inline constexpr int Presets = 3;
inline constexpr int RGBPreviews = 4;
inline constexpr int InMaskPreviews = 5;
inline constexpr int OutMaskPreviews = 6;
inline constexpr int Settings = 7;
inline constexpr int Count = 8;
}  // namespace LibraryTable

struct ColumnDef {
    const char* name;
    const char* declaredType;  // as written into the CREATE statement
};

struct IndexDef {
    const char* column;
    bool unique;
};

struct TableDef {
    const char* name;
    std::span<const ColumnDef> columns;  // a column's position is the field index of records
    std::span<const IndexDef> indexes;
};

// The definition of table `id` (0..7).
const TableDef& LibraryTableDef(int id);

// How a record's `Path` column is to be read.
namespace PathType {
inline constexpr int32_t FullPathLegacy = 0x03030304;
inline constexpr int32_t RelativePathLegacy = 0x03030305;
inline constexpr int32_t FullPath = 0x03030306;
inline constexpr int32_t RelativePath = 0x03030307;
}  // namespace PathType

// Progress and cancel of long database operations; the progress dialogs implement it.
class DatabaseProgress {
public:
    virtual ~DatabaseProgress() = default;
    // Reports `current` of the total; true when the user asked to stop.
    virtual bool SetProgress(int32_t current) { return false; }
    virtual int32_t GetTotal() { return total_; }
    virtual void SetTotal(int32_t total) { total_ = total; }

private:
    int32_t total_ = 0;
};

class BaseDatabase : public CppSQLiteDB {};

// The frames library. Open results: 0; 3 no folder name; -43 no file name; 14 a path too long to
// keep; 26 a file that is no library; otherwise the code of the CppSQLiteException that stopped
// the open.
//
// A library file is opened only when it is a library (it holds the record counter) or does not
// exist yet; any other file is refused and left byte for byte as it was. A new library is made
// whole beside its place and moved into it, so a file found at the place is never a library half
// made by another process: when several processes make the same library at once, the first one
// moved in is the library and every process opens it.
class QVDatabase : public BaseDatabase {
public:
    // The capacity of the path field (with its terminator), also the bound of stored-path results.
    static constexpr size_t kPathCapacity = 1560;
    static constexpr int32_t kFirstRecordID = 10001;
    static constexpr int32_t kSchemaVersion = 1;

    QVDatabase();
    ~QVDatabase() override;

    // Opens (and creates) the file at its default place.
    virtual int32_t OpenDefault();
    // Opens (and creates) the file at a full path; an empty path means the default place.
    virtual int32_t OpenAt(const char* path);
    // Computes the default full path into the path field without opening.
    virtual int32_t BuildPath();
    virtual void InitNames();
    // Creates what is missing of the schema; existing tables, indexes and triggers are left alone.
    virtual void CreateTables();

    // The id 0..7 of a table name (exact comparison); -1 for any other name.
    static int32_t FindTable(const char* name);
    // The next record id from the counter in `Base`; ids start at 10001 and are never reused.
    int32_t NewRecordID();

    // The stored form of a file path: relative to the library folder when it can be, else full.
    std::string StorePath(const char* path, int32_t& pathType) const;
    // The full path of a stored path; none for an unknown path type.
    std::optional<std::string> ResolvePath(const char* stored, int32_t pathType) const;

    // While opening the file's full path; once open, the folder that holds the file, which is the
    // base of relative stored paths.
    const char* Path() const { return path_.c_str(); }

protected:
    // The default full path in the application-data folder, common or the user's.
    int32_t BuildPathIn(bool commonFolder);
    void CreateTableList(std::span<const int> tableIds);
    // Executes a statement, letting an "already exists" error pass.
    void ExecIgnoreExists(const char* sql);

    std::string folderName_;
    std::string fileName_;
    std::string path_;

private:
    int32_t OpenPath(const std::string& path);
    // Makes a new library with its schema in a file beside path and moves it into path: true when
    // it went in, false when another process's file was there first (this one is then deleted).
    // Raises when the file cannot be made or moved. The object is left closed.
    bool MakeLibraryFile(const std::string& path);
    // Whether the open file is a library of ours: one that holds the record counter.
    bool HoldsLibrary() const;
    // Adds the counter row when it is missing and moves a counter that lags behind the records
    // above the highest id of the given tables.
    void InitBaseRow(std::span<const int> tableIds);
    // One above the highest record id in the given tables; 10001 when they hold none.
    int64_t FirstFreeRecordID(std::span<const int> tableIds);
    void CreateTrigger();
};

// The presets library: the same object with its own file in the user's application-data folder
// and its own tables.
class QVPresetsDatabase : public QVDatabase {
public:
    ~QVPresetsDatabase() override = default;
    int32_t BuildPath() override;
    void InitNames() override;
    void CreateTables() override;
};
