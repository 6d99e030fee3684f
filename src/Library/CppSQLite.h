// A thin object layer over SQLite through which every library database operation runs: a database
// handle with a busy timeout, statements without results, a forward-only query cursor, a whole
// result table, printf-style SQL formatting with SQLite's quoting, the binary encoding of blobs,
// and one exception type for every failure.
//
// The library files were once written by SQLite 2; SQLite 3 stands behind the same interface and
// the same stored formats (blobs stay stored as encoded text, see sqlite_encode_binary).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The result codes the wrapper reports: SQLite's primary codes and its own.
namespace SqlCode {
inline constexpr int Ok = 0;
inline constexpr int Error = 1;
inline constexpr int Busy = 5;
inline constexpr int CantOpen = 14;
inline constexpr int Misuse = 21;
inline constexpr int NotADatabase = 26;
inline constexpr int Row = 100;
inline constexpr int Done = 101;
inline constexpr int Wrapper = 1000;  // errors of the wrapper itself
}  // namespace SqlCode

class CppSQLiteException {
public:
    // The message reads "<code name>[<code>]: <detail>"; a null detail counts as "".
    CppSQLiteException(int code, const char* detail);

    int ErrorCode() const { return code_; }
    const char* ErrorMessage() const { return message_.c_str(); }

    static const char* ErrorCodeAsString(int code);

private:
    int code_;
    std::string message_;
};

class CppSQLiteQuery {
public:
    CppSQLiteQuery() = default;
    // Takes over the statement; `atEnd` says the first step found no row.
    CppSQLiteQuery(sqlite3* db, sqlite3_stmt* statement, bool atEnd);
    CppSQLiteQuery(CppSQLiteQuery&& other) noexcept;
    CppSQLiteQuery& operator=(CppSQLiteQuery&& other) noexcept;
    CppSQLiteQuery(const CppSQLiteQuery&) = delete;
    CppSQLiteQuery& operator=(const CppSQLiteQuery&) = delete;
    virtual ~CppSQLiteQuery();

    int NumFields() const;
    // The text of a column of the current row; null for a NULL value or when there is no row.
    const char* FieldValue(int field) const;
    // The column's text as a signed decimal; NULL (or no row) gives nullValue.
    int32_t GetIntField(int field, int32_t nullValue = 0) const;
    bool FieldIsNull(int field) const;
    const char* FieldName(int field) const;
    // The column's declared type in the spellings the records compare against ("Integer", "Text",
    // "Boolean", "Blob", "Unsigned Long"), whatever case the schema used; "" for an expression.
    const char* FieldDeclType(int field) const;

    bool Eof() const;
    void NextRow();
    // Releases the statement; an error of its last step is raised.
    void Finalize();

private:
    void CheckStatement() const;
    void CheckField(int field) const;
    void ReleaseQuietly() noexcept;

    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
    bool atEnd_ = true;
};

class CppSQLiteTable {
public:
    CppSQLiteTable() = default;
    // Takes over a result array of sqlite3_get_table.
    CppSQLiteTable(char** results, int rows, int columns);
    CppSQLiteTable(CppSQLiteTable&& other) noexcept;
    CppSQLiteTable& operator=(CppSQLiteTable&& other) noexcept;
    CppSQLiteTable(const CppSQLiteTable&) = delete;
    CppSQLiteTable& operator=(const CppSQLiteTable&) = delete;
    virtual ~CppSQLiteTable();

    int NumFields() const;
    int NumRows() const;
    // Column 0 of the current row.
    const char* FieldValue() const { return FieldValue(0); }
    const char* FieldValue(int field) const;
    // The named column of the current row (exact comparison with the header row).
    const char* FieldValueByName(const char* name) const;
    void SetRow(int row);

private:
    void CheckResults() const;
    const char* Cell(int field) const;

    char** results_ = nullptr;
    int rows_ = 0;
    int columns_ = 0;
    int currentRow_ = 0;
};

class CppSQLiteDB {
public:
    static constexpr int kDefaultBusyTimeoutMs = 60000;

    CppSQLiteDB() = default;
    CppSQLiteDB(const CppSQLiteDB&) = delete;
    CppSQLiteDB& operator=(const CppSQLiteDB&) = delete;
    virtual ~CppSQLiteDB();

    // Whether an open may create the file.
    enum class OpenMode { CreateWhenMissing, ExistingOnly };

    // Opens the database file at a UTF-8 path (creating it when missing, unless the mode says it
    // must exist) and installs the busy timeout. A file that is not an SQLite 3 database (an old
    // SQLite 2 library among them) is refused without being touched.
    virtual void Open(const char* path, OpenMode mode = OpenMode::CreateWhenMissing);
    void Close() noexcept;
    bool IsOpen() const { return db_ != nullptr; }

    // Whether the open database's schema has the table with the column. Reading the schema runs
    // no statement and writes nothing.
    bool HasColumn(const char* table, const char* column) const;

    // Executes statements without results; answers the number of rows the last one changed.
    int ExecDML(const char* sql);
    CppSQLiteQuery ExecQuery(const char* sql);
    CppSQLiteTable GetTable(const char* sql);

    // A timeout of 1 ms or more lets SQLite wait that long for other processes' locks; less
    // removes the wait. Takes effect at once on an open handle.
    void SetBusyTimeout(int milliseconds);
    int BusyTimeout() const { return busyTimeoutMs_; }

    // The SQLite connection, for diagnostics such as statement tracing.
    sqlite3* Handle() const { return db_; }

private:
    void CheckOpen() const;
    [[noreturn]] void RaiseLastError(int code) const;

    sqlite3* db_ = nullptr;
    int busyTimeoutMs_ = kDefaultBusyTimeoutMs;
};

// A savepoint, SQLite's transaction that may nest: begun by the constructor, kept by Release, and
// rolled back by the destructor unless it was released, however the scope ends. The destructor
// never throws: a rollback that fails is left to SQLite, which rolls back what the connection did
// not commit when it closes.
class CppSQLiteSavepoint {
public:
    // Begins the savepoint named by a plain SQL identifier (letters, digits and underscores, as
    // the code spells it); a failure is raised and nothing is begun.
    CppSQLiteSavepoint(CppSQLiteDB& db, const char* name);
    CppSQLiteSavepoint(const CppSQLiteSavepoint&) = delete;
    CppSQLiteSavepoint& operator=(const CppSQLiteSavepoint&) = delete;
    ~CppSQLiteSavepoint();

    // Keeps what was done since the savepoint began. A failure is raised and the savepoint stays
    // open, for the destructor to roll back.
    void Release();

private:
    CppSQLiteDB& db_;
    std::string name_;
    bool open_ = false;
};

// One SQL text formatted by SQLite's printf: "%q" doubles single quotes; "%Q" also adds the
// surrounding quotes and prints NULL for a null text. Formatting again replaces the text, and the
// arguments may refer to the text being replaced, so a statement can be built up step by step.
class CppSQLiteBuffer {
public:
    CppSQLiteBuffer() = default;
    CppSQLiteBuffer(const CppSQLiteBuffer&) = delete;
    CppSQLiteBuffer& operator=(const CppSQLiteBuffer&) = delete;
    ~CppSQLiteBuffer();

    const char* Format(const char* format, ...);
    // The text; "" before the first Format.
    const char* Get() const { return text_ ? text_ : ""; }
    operator const char*() const { return Get(); }
    void Clear();

private:
    char* text_ = nullptr;
};

// Bytes in the binary encoding of the library's blob columns (see sqlite_encode_binary).
class CppSQLiteBinary {
public:
    // Copies an encoded text (its terminator included) and marks the buffer encoded.
    void SetEncoded(const unsigned char* text);
    // Encodes the binary bytes and answers the NUL-terminated encoded text.
    const unsigned char* GetEncoded();
    void SetBinary(const unsigned char* data, int length);
    // Decodes an encoded buffer in place; raises "Cannot decode binary" on a malformed text.
    const unsigned char* GetBinary();
    int GetBinaryLength();
    // Makes room for n binary bytes and their encoded form; answers the buffer to fill.
    unsigned char* AllocBuffer(int n);
    void Clear();

    // The buffer size that holds the encoded form of n bytes: 3 + (257 x n) / 254.
    static int64_t EncodedBufferLength(int64_t n) { return 3 + (257 * n) / 254; }

private:
    std::vector<unsigned char> buffer_;
    int binaryLength_ = 0;
    int encodedLength_ = 0;
    bool encoded_ = false;
};

// A column's text as a signed decimal, with the leniency of C's conversion (leading blanks and
// sign, digits up to the first other character), wrapped to 32 bits.
int32_t SqlIntegerFromText(const char* text);

// The binary encoding of SQLite 2 that the library files use for blobs. Encoding picks the smallest
// offset byte e (1..255, never a quote) that leaves the fewest bytes x with x - e in {0x00, 0x01,
// 0x27}; it writes e, then each byte as x - e, an awkward result r written as 0x01, r + 1; an empty
// input is "x". The text holds no NUL and no quote. `out` needs EncodedBufferLength(n) bytes.
// Answers the length of the text without its terminator.
int sqlite_encode_binary(const unsigned char* in, int n, unsigned char* out);
// Decodes up to the terminator (in place when out == in); -1 for a malformed text.
int sqlite_decode_binary(const unsigned char* in, unsigned char* out);
