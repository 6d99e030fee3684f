#include "CppSQLite.h"

#include <sqlite3.h>

#include <array>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <utility>

#include "Utf.h"

namespace {

const char* const kDatabaseNotOpen = "Database not open";
const char* const kNullResults = "Null Results pointer";
const char* const kNullStatement = "Null Virtual Machine pointer";
const char* const kInvalidFieldIndex = "Invalid field index requested";
const char* const kInvalidFieldName = "Invalid field name requested";
const char* const kInvalidRowIndex = "Invalid row index requested";
const char* const kCannotAllocate = "Cannot allocate memory";
const char* const kCannotDecode = "Cannot decode binary";

[[noreturn]] void RaiseWrapperError(const char* detail) { throw CppSQLiteException(SqlCode::Wrapper, detail); }

struct CodeName {
    int code;
    const char* name;
};

constexpr CodeName kCodeNames[] = {
    {0, "SQLITE_OK"},         {1, "SQLITE_ERROR"},     {2, "SQLITE_INTERNAL"},  {3, "SQLITE_PERM"},
    {4, "SQLITE_ABORT"},      {5, "SQLITE_BUSY"},      {6, "SQLITE_LOCKED"},    {7, "SQLITE_NOMEM"},
    {8, "SQLITE_READONLY"},   {9, "SQLITE_INTERRUPT"}, {10, "SQLITE_IOERR"},    {11, "SQLITE_CORRUPT"},
    {12, "SQLITE_NOTFOUND"},  {13, "SQLITE_FULL"},     {14, "SQLITE_CANTOPEN"}, {15, "SQLITE_PROTOCOL"},
    {16, "SQLITE_EMPTY"},     {17, "SQLITE_SCHEMA"},   {18, "SQLITE_TOOBIG"},   {19, "SQLITE_CONSTRAINT"},
    {20, "SQLITE_MISMATCH"},  {21, "SQLITE_MISUSE"},   {22, "SQLITE_NOLFS"},    {23, "SQLITE_AUTH"},
    {24, "SQLITE_FORMAT"},    {25, "SQLITE_RANGE"},    {26, "SQLITE_NOTADB"},   {100, "SQLITE_ROW"},
    {101, "SQLITE_DONE"},     {1000, "CPPSQLITE_ERROR"},
};

// The first bytes of a library file that SQLite 2 wrote.
constexpr std::string_view kSqlite2Signature = "** This file contains an SQLite 2";

bool HasSqlite2Signature(const char* path) {
    std::ifstream file(std::filesystem::path(Utf8ToUtf16(path)), std::ios::binary);
    std::array<char, kSqlite2Signature.size()> head{};
    if (!file.read(head.data(), head.size())) return false;
    return std::string_view(head.data(), head.size()) == kSqlite2Signature;
}

// The canonical spellings of the declared types the records tell apart.
constexpr const char* kDeclaredTypes[] = {"Integer", "Text", "Boolean", "Blob", "Unsigned Long"};

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const auto ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (std::tolower(ca) != std::tolower(cb)) return false;
    }
    return *a == *b;
}

const char* CanonicalDeclaredType(const char* declared) {
    if (!declared) return "";
    for (const char* canonical : kDeclaredTypes) {
        if (EqualsIgnoringCase(declared, canonical)) return canonical;
    }
    return declared;
}

}  // namespace

int32_t SqlIntegerFromText(const char* text) { return static_cast<int32_t>(std::strtoll(text, nullptr, 10)); }

// ---- CppSQLiteException

CppSQLiteException::CppSQLiteException(int code, const char* detail) : code_(code) {
    message_ = ErrorCodeAsString(code);
    message_ += '[';
    message_ += std::to_string(code);
    message_ += "]: ";
    message_ += detail ? detail : "";
}

const char* CppSQLiteException::ErrorCodeAsString(int code) {
    for (const CodeName& entry : kCodeNames) {
        if (entry.code == code) return entry.name;
    }
    return "UNKNOWN_ERROR";
}

// ---- CppSQLiteDB

CppSQLiteDB::~CppSQLiteDB() { Close(); }

void CppSQLiteDB::Open(const char* path, OpenMode mode) {
    Close();
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (mode == OpenMode::CreateWhenMissing ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path, &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string detail = db ? sqlite3_errmsg(db) : "cannot open the database file";
        sqlite3_close_v2(db);
        throw CppSQLiteException(SqlCode::CantOpen, detail.c_str());
    }
    // The busy timeout holds from the first read on: another process that is creating the same
    // library holds its lock while it writes the schema, and the probe below must wait for it.
    sqlite3_busy_timeout(db, busyTimeoutMs_ >= 1 ? busyTimeoutMs_ : 0);
    // SQLite reads a file's header lazily; compiling a statement over the schema reads it now, so a
    // file that is no SQLite 3 database is refused here, before anything could write to it.
    sqlite3_stmt* probe = nullptr;
    const int probeRc = sqlite3_prepare_v2(db, "select 1 from sqlite_master;", -1, &probe, nullptr);
    sqlite3_finalize(probe);
    if (probeRc != SQLITE_OK) {
        std::string detail = sqlite3_errmsg(db);
        sqlite3_close_v2(db);
        if (probeRc == SQLITE_NOTADB && HasSqlite2Signature(path)) {
            detail = "the file is a library of the old SQLite 2 format, which cannot be opened";
        }
        throw CppSQLiteException(probeRc, detail.c_str());
    }
    db_ = db;
    SetBusyTimeout(busyTimeoutMs_);
}

bool CppSQLiteDB::HasColumn(const char* table, const char* column) const {
    CheckOpen();
    const int rc = sqlite3_table_column_metadata(db_, "main", table, column, nullptr, nullptr, nullptr, nullptr, nullptr);
    // SQLITE_ERROR is SQLite's answer for a table or column that is not there; any other failure
    // (a schema that could not be read) is no answer at all.
    if (rc == SQLITE_ERROR) return false;
    if (rc != SQLITE_OK) RaiseLastError(rc);
    return true;
}

void CppSQLiteDB::Close() noexcept {
    // A query may outlive the close: sqlite3_close answers BUSY while a statement is in
    // use and keeps the connection open, and forgetting it then would leak the connection and its
    // file. sqlite3_close_v2 lets the connection go as soon as its last statement is finalised.
    if (db_) sqlite3_close_v2(std::exchange(db_, nullptr));
}

void CppSQLiteDB::SetBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds;
    // sqlite3_busy_timeout with a value below 1 removes the handler.
    if (db_) sqlite3_busy_timeout(db_, milliseconds >= 1 ? milliseconds : 0);
}

void CppSQLiteDB::CheckOpen() const {
    if (!db_) RaiseWrapperError(kDatabaseNotOpen);
}

void CppSQLiteDB::RaiseLastError(int code) const { throw CppSQLiteException(code, sqlite3_errmsg(db_)); }

int CppSQLiteDB::ExecDML(const char* sql) {
    CheckOpen();
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        CppSQLiteException exception(rc, error);
        sqlite3_free(error);
        throw exception;
    }
    return sqlite3_changes(db_);
}

CppSQLiteQuery CppSQLiteDB::ExecQuery(const char* sql) {
    CheckOpen();
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
    if (rc != SQLITE_OK) RaiseLastError(rc);
    if (!statement) RaiseWrapperError(kNullStatement);  // the text held no statement
    rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) return CppSQLiteQuery(db_, statement, true);
    if (rc == SQLITE_ROW) return CppSQLiteQuery(db_, statement, false);
    CppSQLiteException exception(rc, sqlite3_errmsg(db_));
    sqlite3_finalize(statement);
    throw exception;
}

CppSQLiteTable CppSQLiteDB::GetTable(const char* sql) {
    CheckOpen();
    char** results = nullptr;
    int rows = 0, columns = 0;
    char* error = nullptr;
    const int rc = sqlite3_get_table(db_, sql, &results, &rows, &columns, &error);
    if (rc != SQLITE_OK) {
        CppSQLiteException exception(rc, error);
        sqlite3_free(error);
        sqlite3_free_table(results);
        throw exception;
    }
    return CppSQLiteTable(results, rows, columns);
}

// ---- CppSQLiteSavepoint

CppSQLiteSavepoint::CppSQLiteSavepoint(CppSQLiteDB& db, const char* name) : db_(db), name_(name) {
    db_.ExecDML(("savepoint " + name_ + ";").c_str());
    open_ = true;
}

CppSQLiteSavepoint::~CppSQLiteSavepoint() {
    if (!open_) return;
    try {
        db_.ExecDML(("rollback to " + name_ + "; release " + name_ + ";").c_str());
    } catch (...) {
        // The error that ended the scope is the one to report; SQLite rolls back on close.
    }
}

void CppSQLiteSavepoint::Release() {
    db_.ExecDML(("release " + name_ + ";").c_str());
    open_ = false;
}

// ---- CppSQLiteQuery

CppSQLiteQuery::CppSQLiteQuery(sqlite3* db, sqlite3_stmt* statement, bool atEnd)
    : db_(db), statement_(statement), atEnd_(atEnd) {}

CppSQLiteQuery::CppSQLiteQuery(CppSQLiteQuery&& other) noexcept
    : db_(other.db_), statement_(other.statement_), atEnd_(other.atEnd_) {
    other.statement_ = nullptr;
}

CppSQLiteQuery& CppSQLiteQuery::operator=(CppSQLiteQuery&& other) noexcept {
    if (this != &other) {
        ReleaseQuietly();
        db_ = other.db_;
        statement_ = other.statement_;
        atEnd_ = other.atEnd_;
        other.statement_ = nullptr;
    }
    return *this;
}

CppSQLiteQuery::~CppSQLiteQuery() { ReleaseQuietly(); }

void CppSQLiteQuery::ReleaseQuietly() noexcept {
    if (statement_) sqlite3_finalize(statement_);
    statement_ = nullptr;
}

void CppSQLiteQuery::CheckStatement() const {
    if (!statement_) RaiseWrapperError(kNullStatement);
}

void CppSQLiteQuery::CheckField(int field) const {
    CheckStatement();
    if (field < 0 || field >= sqlite3_column_count(statement_)) RaiseWrapperError(kInvalidFieldIndex);
}

int CppSQLiteQuery::NumFields() const {
    CheckStatement();
    return sqlite3_column_count(statement_);
}

const char* CppSQLiteQuery::FieldValue(int field) const {
    CheckField(field);
    if (atEnd_) return nullptr;
    return reinterpret_cast<const char*>(sqlite3_column_text(statement_, field));
}

int32_t CppSQLiteQuery::GetIntField(int field, int32_t nullValue) const {
    const char* text = FieldValue(field);
    return text ? SqlIntegerFromText(text) : nullValue;
}

bool CppSQLiteQuery::FieldIsNull(int field) const { return FieldValue(field) == nullptr; }

const char* CppSQLiteQuery::FieldName(int field) const {
    CheckField(field);
    return sqlite3_column_name(statement_, field);
}

const char* CppSQLiteQuery::FieldDeclType(int field) const {
    CheckField(field);
    return CanonicalDeclaredType(sqlite3_column_decltype(statement_, field));
}

bool CppSQLiteQuery::Eof() const {
    CheckStatement();
    return atEnd_;
}

void CppSQLiteQuery::NextRow() {
    CheckStatement();
    if (atEnd_) return;
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return;
    atEnd_ = true;
    if (rc != SQLITE_DONE) {
        CppSQLiteException exception(rc, sqlite3_errmsg(db_));
        ReleaseQuietly();
        throw exception;
    }
}

void CppSQLiteQuery::Finalize() {
    CheckStatement();
    const int rc = sqlite3_finalize(statement_);
    statement_ = nullptr;
    if (rc != SQLITE_OK) throw CppSQLiteException(rc, sqlite3_errmsg(db_));
}

// ---- CppSQLiteTable

CppSQLiteTable::CppSQLiteTable(char** results, int rows, int columns)
    : results_(results), rows_(rows), columns_(columns) {}

CppSQLiteTable::CppSQLiteTable(CppSQLiteTable&& other) noexcept
    : results_(other.results_), rows_(other.rows_), columns_(other.columns_), currentRow_(other.currentRow_) {
    other.results_ = nullptr;
}

CppSQLiteTable& CppSQLiteTable::operator=(CppSQLiteTable&& other) noexcept {
    if (this != &other) {
        sqlite3_free_table(results_);
        results_ = other.results_;
        rows_ = other.rows_;
        columns_ = other.columns_;
        currentRow_ = other.currentRow_;
        other.results_ = nullptr;
    }
    return *this;
}

CppSQLiteTable::~CppSQLiteTable() { sqlite3_free_table(results_); }

void CppSQLiteTable::CheckResults() const {
    if (!results_) RaiseWrapperError(kNullResults);
}

int CppSQLiteTable::NumFields() const {
    CheckResults();
    return columns_;
}

int CppSQLiteTable::NumRows() const {
    CheckResults();
    return rows_;
}

const char* CppSQLiteTable::Cell(int field) const {
    // Row 0 of the array is the header of column names.
    if (currentRow_ < 0 || currentRow_ >= rows_) RaiseWrapperError(kInvalidRowIndex);
    return results_[(static_cast<int64_t>(currentRow_) + 1) * columns_ + field];
}

const char* CppSQLiteTable::FieldValue(int field) const {
    CheckResults();
    if (field < 0 || field >= columns_) RaiseWrapperError(kInvalidFieldIndex);
    return Cell(field);
}

const char* CppSQLiteTable::FieldValueByName(const char* name) const {
    CheckResults();
    if (name) {
        for (int field = 0; field < columns_; ++field) {
            if (std::strcmp(results_[field], name) == 0) return Cell(field);
        }
    }
    RaiseWrapperError(kInvalidFieldName);
}

void CppSQLiteTable::SetRow(int row) {
    CheckResults();
    if (row < 0 || row >= rows_) RaiseWrapperError(kInvalidRowIndex);
    currentRow_ = row;
}

// ---- CppSQLiteBuffer

CppSQLiteBuffer::~CppSQLiteBuffer() { Clear(); }

void CppSQLiteBuffer::Clear() {
    sqlite3_free(text_);
    text_ = nullptr;
}

const char* CppSQLiteBuffer::Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    char* text = sqlite3_vmprintf(format, arguments);
    va_end(arguments);
    if (!text) RaiseWrapperError(kCannotAllocate);
    // The previous text goes only now: the arguments may point into it.
    Clear();
    text_ = text;
    return text_;
}

// ---- CppSQLiteBinary

void CppSQLiteBinary::Clear() {
    buffer_.clear();
    binaryLength_ = 0;
    encodedLength_ = 0;
    encoded_ = false;
}

void CppSQLiteBinary::SetEncoded(const unsigned char* text) {
    Clear();
    const size_t length = text ? std::strlen(reinterpret_cast<const char*>(text)) : 0;
    if (length >= static_cast<size_t>(INT_MAX)) RaiseWrapperError(kCannotAllocate);
    buffer_.assign(length + 1, 0);
    if (length) std::memcpy(buffer_.data(), text, length);
    encodedLength_ = static_cast<int>(length);
    encoded_ = true;
}

unsigned char* CppSQLiteBinary::AllocBuffer(int n) {
    Clear();
    const int64_t length = n < 0 ? -1 : EncodedBufferLength(n);
    if (length < 0 || length > INT_MAX) RaiseWrapperError(kCannotAllocate);
    buffer_.assign(static_cast<size_t>(length), 0);
    binaryLength_ = n;
    return buffer_.data();
}

void CppSQLiteBinary::SetBinary(const unsigned char* data, int length) {
    unsigned char* target = AllocBuffer(length);
    if (length) std::memcpy(target, data, static_cast<size_t>(length));
}

const unsigned char* CppSQLiteBinary::GetEncoded() {
    if (buffer_.empty()) AllocBuffer(0);
    if (!encoded_) {
        const std::vector<unsigned char> binary(buffer_.begin(), buffer_.begin() + binaryLength_);
        encodedLength_ = sqlite_encode_binary(binary.data(), binaryLength_, buffer_.data());
        encoded_ = true;
    }
    return buffer_.data();
}

const unsigned char* CppSQLiteBinary::GetBinary() {
    if (encoded_) {
        // An empty text (the terminator right away) decodes to no bytes.
        const int length = buffer_.empty() || buffer_[0] == 0 ? 0 : sqlite_decode_binary(buffer_.data(), buffer_.data());
        if (length < 0) RaiseWrapperError(kCannotDecode);
        binaryLength_ = length;
        encoded_ = false;
    }
    return buffer_.data();
}

int CppSQLiteBinary::GetBinaryLength() {
    GetBinary();
    return binaryLength_;
}

// ---- The binary encoding

namespace {

constexpr unsigned char kEscape = 0x01;
constexpr unsigned char kQuote = 0x27;

bool NeedsEscape(unsigned char shifted) { return shifted == 0x00 || shifted == kEscape || shifted == kQuote; }

// The offset that leaves the fewest bytes to escape; the smallest such offset on a tie.
unsigned char ChooseOffset(const unsigned char* in, int n) {
    std::array<int64_t, 256> counts{};
    for (int i = 0; i < n; ++i) ++counts[in[i]];
    int best = 1;
    int64_t bestEscapes = INT64_MAX;
    for (int e = 1; e < 256; ++e) {
        if (e == kQuote) continue;
        const int64_t escapes = counts[e] + counts[(e + 1) & 0xFF] + counts[(e + kQuote) & 0xFF];
        if (escapes < bestEscapes) {
            bestEscapes = escapes;
            best = e;
        }
    }
    return static_cast<unsigned char>(best);
}

}  // namespace

int sqlite_encode_binary(const unsigned char* in, int n, unsigned char* out) {
    if (n <= 0) {
        out[0] = 'x';
        out[1] = 0;
        return 1;
    }
    const unsigned char e = ChooseOffset(in, n);
    int j = 0;
    out[j++] = e;
    for (int i = 0; i < n; ++i) {
        const auto shifted = static_cast<unsigned char>(in[i] - e);
        if (NeedsEscape(shifted)) {
            out[j++] = kEscape;
            out[j++] = static_cast<unsigned char>(shifted + 1);
        } else {
            out[j++] = shifted;
        }
    }
    out[j] = 0;
    return j;
}

int sqlite_decode_binary(const unsigned char* in, unsigned char* out) {
    const unsigned char e = in[0];
    if (e == 0) return 0;
    int j = 0;
    for (int i = 1; in[i] != 0; ++i) {
        unsigned char c = in[i];
        if (c == kEscape) {
            // An escape stands only before the successor of a byte that needed one.
            const unsigned char next = in[i + 1];
            if (next == 0 || !NeedsEscape(static_cast<unsigned char>(next - 1))) return -1;
            c = static_cast<unsigned char>(next - 1);
            ++i;
        }
        out[j++] = static_cast<unsigned char>(c + e);
    }
    return j;
}
