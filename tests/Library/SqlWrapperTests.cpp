#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <new>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "CppSQLite.h"
#include "LibraryTestSupport.h"
#include "Utf.h"

namespace {

std::vector<unsigned char> Encode(const std::vector<unsigned char>& bytes) {
    CppSQLiteBinary binary;
    binary.SetBinary(bytes.data(), static_cast<int>(bytes.size()));
    const unsigned char* text = binary.GetEncoded();
    return {text, text + std::strlen(reinterpret_cast<const char*>(text))};
}

std::vector<unsigned char> Decode(const std::vector<unsigned char>& encoded) {
    std::vector<unsigned char> text = encoded;
    text.push_back(0);
    CppSQLiteBinary binary;
    binary.SetEncoded(text.data());
    const unsigned char* bytes = binary.GetBinary();
    return {bytes, bytes + binary.GetBinaryLength()};
}

std::string MessageOf(const std::function<void()>& action, int* code = nullptr) {
    try {
        action();
    } catch (const CppSQLiteException& e) {
        if (code) *code = e.ErrorCode();
        return e.ErrorMessage();
    }
    return "<no exception>";
}

}  // namespace

TEST(SqlWrapper, MessagesCarryTheCodeNameTheCodeAndTheDetail) {
    CppSQLiteDB closed;
    int code = 0;
    EXPECT_EQ(MessageOf([&] { closed.ExecDML("select 1;"); }, &code), "CPPSQLITE_ERROR[1000]: Database not open");
    EXPECT_EQ(code, 1000);

    ScratchFolder folder;
    CppSQLiteDB db;
    db.Open(folder.File("w.sdb").c_str());
    const std::string syntax = MessageOf([&] { db.ExecDML("create tabel x (a);"); }, &code);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(syntax.rfind("SQLITE_ERROR[1]: ", 0), 0u) << syntax;
    EXPECT_NE(syntax.find("syntax error"), std::string::npos) << syntax;

    EXPECT_STREQ(CppSQLiteException(19, nullptr).ErrorMessage(), "SQLITE_CONSTRAINT[19]: ");
    EXPECT_STREQ(CppSQLiteException::ErrorCodeAsString(101), "SQLITE_DONE");
    EXPECT_STREQ(CppSQLiteException::ErrorCodeAsString(27), "UNKNOWN_ERROR");
    EXPECT_STREQ(CppSQLiteException::ErrorCodeAsString(-1), "UNKNOWN_ERROR");
}

TEST(SqlWrapper, QueriesAndTablesGuardTheirFieldsAndRows) {
    ScratchFolder folder;
    CppSQLiteDB db;
    db.Open(folder.File("q.sdb").c_str());
    EXPECT_EQ(db.BusyTimeout(), 60000);
    db.ExecDML("create table T (a Integer, b TEXT, c blob null, d Boolean null);");
    EXPECT_EQ(db.ExecDML("insert into T values (7, 'x', NULL, 1); insert into T values (-3, NULL, NULL, 0);"), 1);

    CppSQLiteQuery none = db.ExecQuery("select a from T where a = 99;");
    EXPECT_TRUE(none.Eof());
    EXPECT_EQ(none.FieldValue(0), nullptr);

    CppSQLiteQuery query = db.ExecQuery("select a, b, c, d, a + 1 from T order by a desc;");
    ASSERT_FALSE(query.Eof());
    EXPECT_EQ(query.GetIntField(0), 7);
    EXPECT_STREQ(query.FieldValue(1), "x");
    EXPECT_TRUE(query.FieldIsNull(2));
    // Declared types come back in the spellings the records compare against, whatever their case.
    EXPECT_STREQ(query.FieldDeclType(0), "Integer");
    EXPECT_STREQ(query.FieldDeclType(1), "Text");
    EXPECT_STREQ(query.FieldDeclType(2), "Blob");
    EXPECT_STREQ(query.FieldDeclType(3), "Boolean");
    EXPECT_STREQ(query.FieldDeclType(4), "");
    EXPECT_EQ(MessageOf([&] { query.FieldValue(5); }), "CPPSQLITE_ERROR[1000]: Invalid field index requested");
    EXPECT_EQ(MessageOf([&] { query.FieldValue(-1); }), "CPPSQLITE_ERROR[1000]: Invalid field index requested");
    query.NextRow();
    EXPECT_EQ(query.GetIntField(0), -3);
    EXPECT_EQ(query.GetIntField(1, 42), 42);
    query.NextRow();
    EXPECT_TRUE(query.Eof());
    query.Finalize();
    EXPECT_EQ(MessageOf([&] { query.Eof(); }), "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");

    CppSQLiteTable table = db.GetTable("select a, b from T order by a;");
    EXPECT_EQ(table.NumRows(), 2);
    EXPECT_EQ(table.NumFields(), 2);
    EXPECT_STREQ(table.FieldValue(), "-3");
    EXPECT_EQ(table.FieldValueByName("b"), nullptr);
    table.SetRow(1);
    EXPECT_STREQ(table.FieldValueByName("b"), "x");
    EXPECT_EQ(MessageOf([&] { table.FieldValueByName("B"); }), "CPPSQLITE_ERROR[1000]: Invalid field name requested");
    EXPECT_EQ(MessageOf([&] { table.SetRow(2); }), "CPPSQLITE_ERROR[1000]: Invalid row index requested");

    // An empty result has no row to read: reading one is refused instead of running off the array.
    CppSQLiteTable empty = db.GetTable("select a from T where a = 99;");
    EXPECT_EQ(empty.NumRows(), 0);
    EXPECT_NE(MessageOf([&] { empty.FieldValue(); }), "<no exception>");
    CppSQLiteTable released;
    EXPECT_EQ(MessageOf([&] { released.NumRows(); }), "CPPSQLITE_ERROR[1000]: Null Results pointer");
}

TEST(SqlWrapper, BufferQuotesTextAndReplacesItsText) {
    CppSQLiteBuffer sql;
    EXPECT_STREQ(sql.Format("%q|%Q|%Q", "O'Neil", "it's", nullptr), "O''Neil|'it''s'|NULL");
    // The previous text may be an argument of the next format.
    sql.Format("a");
    sql.Format("%s, %s", sql.Get(), "b");
    EXPECT_STREQ(sql, "a, b");
}

TEST(BinaryEncoding, EveryByteValueRoundTrips) {
    std::vector<unsigned char> all(256);
    std::iota(all.begin(), all.end(), 0);
    std::mt19937 random(7);
    std::vector<unsigned char> noise(5000);
    for (auto& byte : noise) byte = static_cast<unsigned char>(random());
    const std::vector<std::vector<unsigned char>> cases = {
        {}, {0x00}, {0x01}, {0x27}, {0x00, 0x01, 0x27, 0x28, 0xFF}, all, std::vector<unsigned char>(600, 0x27), noise};
    for (const auto& bytes : cases) {
        const std::vector<unsigned char> encoded = Encode(bytes);
        for (const unsigned char c : encoded) ASSERT_TRUE(c != 0x00 && c != 0x27) << "size " << bytes.size();
        EXPECT_LE(static_cast<int64_t>(encoded.size()) + 1, CppSQLiteBinary::EncodedBufferLength(static_cast<int64_t>(bytes.size())));
        EXPECT_EQ(Decode(encoded), bytes) << "size " << bytes.size();
    }
}

TEST(BinaryEncoding, ChoosesTheSmallestOffsetThatEscapesLeast) {
    EXPECT_EQ(Encode({}), (std::vector<unsigned char>{'x'}));
    // 0x01 with offset 1 would need an escape; offset 2 needs none.
    EXPECT_EQ(Encode({0x01}), (std::vector<unsigned char>{0x02, 0xFF}));
    // Offsets 1 to 3 each leave some of these bytes to escape; 4 is the smallest that leaves none.
    EXPECT_EQ(Encode({0x01, 0x02, 0x03})[0], 0x04);
    EXPECT_EQ(Encode({0x00, 0x00}), (std::vector<unsigned char>{0x01, 0xFF, 0xFF}));
    EXPECT_EQ(CppSQLiteBinary::EncodedBufferLength(254), 260);
}

TEST(BinaryEncoding, MalformedTextsRaiseInsteadOfReadingOn) {
    const std::vector<std::vector<unsigned char>> malformed = {
        {0x05, 0x01},        // an escape at the very end
        {0x05, 0x41, 0x01},  // the same after data
        {0x05, 0x01, 0x05},  // an escape before a byte that never needs one
    };
    for (const auto& text : malformed) {
        EXPECT_EQ(MessageOf([&] { Decode(text); }), "CPPSQLITE_ERROR[1000]: Cannot decode binary");
    }
    EXPECT_TRUE(Decode({}).empty());
    EXPECT_EQ(Decode({0x05, 0x01, 0x01, 0x01, 0x02, 0x01, 0x28}), (std::vector<unsigned char>{0x05, 0x06, 0x2C}));
}

TEST(SqlWrapper, FilesThatAreNoSqlite3DatabaseAreRefusedUntouched) {
    ScratchFolder folder;
    std::vector<unsigned char> old(4096, 0);
    const char signature[] = "** This file contains an SQLite 2.1 database **";
    std::memcpy(old.data(), signature, sizeof signature - 1);
    std::vector<unsigned char> garbage(3000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<unsigned char>(i * 7 + 3);
    const std::vector<unsigned char> shortGarbage = {'n', 'o', 't', ' ', 'a', ' ', 'd', 'b'};

    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"old.sdb", old, "SQLITE_NOTADB[26]: the file is a library of the old SQLite 2 format, which cannot be opened"},
        {"garbage.sdb", garbage, "SQLITE_NOTADB[26]: file is not a database"},
        {"short.sdb", shortGarbage, "SQLITE_NOTADB[26]: file is not a database"},
    };
    for (const Case& c : cases) {
        const std::string path = folder.File(c.name);
        WriteBytes(path, c.bytes);
        CppSQLiteDB db;
        int code = 0;
        EXPECT_EQ(MessageOf([&] { db.Open(path.c_str()); }, &code), c.expected) << c.name;
        EXPECT_EQ(code, 26);
        EXPECT_FALSE(db.IsOpen());
        EXPECT_EQ(ReadBytes(path), c.bytes) << c.name;
    }
    CppSQLiteDB db;
    int code = 0;
    MessageOf([&] { db.Open(folder.File("missing\\x.sdb").c_str()); }, &code);
    EXPECT_EQ(code, 14);
}

TEST(SqlWrapper, TheBusyTimeoutWaitsForAnotherConnectionsLock) {
    ScratchFolder folder;
    const std::string file = folder.File("busy.sdb");
    CppSQLiteDB holder, waiter;
    holder.Open(file.c_str());
    holder.ExecDML("create table T (a Integer);");
    waiter.Open(file.c_str());
    holder.ExecDML("begin exclusive;");

    waiter.SetBusyTimeout(0);
    int code = 0;
    EXPECT_EQ(MessageOf([&] { waiter.ExecDML("insert into T values (1);"); }, &code), "SQLITE_BUSY[5]: database is locked");
    waiter.SetBusyTimeout(150);
    const auto start = std::chrono::steady_clock::now();
    MessageOf([&] { waiter.ExecDML("insert into T values (1);"); }, &code);
    EXPECT_EQ(code, 5);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));

    holder.ExecDML("commit;");
    EXPECT_EQ(waiter.ExecDML("insert into T values (1);"), 1);
}

TEST(SqlWrapper, ClosingWhileAQueryLivesLetsTheConnectionGoWhenTheQueryEnds) {
    ScratchFolder folder;
    const std::string file = folder.File("closing.sdb");
    {
        CppSQLiteDB db;
        db.Open(file.c_str());
        db.ExecDML("create table T (a Integer); insert into T values (1); insert into T values (2);");
        CppSQLiteQuery query = db.ExecQuery("select a from T;");
        ASSERT_FALSE(query.Eof());
        // SQLite refuses to close a connection with a statement in use (BUSY): the close must not
        // forget it then, or the connection and its file stay open for the life of the process.
        db.Close();
        EXPECT_FALSE(db.IsOpen());
    }
    // Nothing holds the file any more: it can be deleted (a library folder can be moved).
    EXPECT_TRUE(DeleteFileW(Utf8ToUtf16(file).c_str())) << GetLastError();
}

namespace {

int64_t Count(CppSQLiteDB& db) { return db.ExecQuery("select count(*) from T;").GetIntField(0); }

// True when the connection holds no transaction open.
bool Autocommit(CppSQLiteDB& db) { return sqlite3_get_autocommit(db.Handle()) != 0; }

void OpenWithTable(CppSQLiteDB& db, const std::string& path) {
    db.Open(path.c_str());
    db.ExecDML("create table T (a Integer);");
}

}  // namespace

TEST(SqlWrapper, ASavepointKeepsWhatItDidWhenReleasedAndNothingOtherwise) {
    ScratchFolder folder;
    CppSQLiteDB db;
    OpenWithTable(db, folder.File("savepoints.sdb"));
    {
        CppSQLiteSavepoint kept(db, "Kept");
        db.ExecDML("insert into T values (1);");
        EXPECT_FALSE(Autocommit(db));
        kept.Release();
    }
    EXPECT_EQ(Count(db), 1);
    EXPECT_TRUE(Autocommit(db));

    // Whatever ends the scope, an open savepoint is rolled back and the transaction is gone.
    for (const bool wrapperError : {true, false}) {
        try {
            CppSQLiteSavepoint dropped(db, "Dropped");
            db.ExecDML("insert into T values (2);");
            if (wrapperError) db.ExecDML("insert into Missing values (1);");
            throw std::bad_alloc();
        } catch (const CppSQLiteException&) {
        } catch (const std::bad_alloc&) {
        }
        EXPECT_EQ(Count(db), 1) << wrapperError;
        EXPECT_TRUE(Autocommit(db)) << wrapperError;
    }

    // An inner savepoint rolled back leaves the outer one's work.
    {
        CppSQLiteSavepoint outer(db, "Outer");
        db.ExecDML("insert into T values (3);");
        { CppSQLiteSavepoint inner(db, "Inner"); db.ExecDML("insert into T values (4);"); }
        outer.Release();
    }
    EXPECT_EQ(Count(db), 2);
}

TEST(SqlWrapper, ASavepointThatCannotRollBackStillEndsQuietly) {
    ScratchFolder folder;
    CppSQLiteDB db;
    OpenWithTable(db, folder.File("closed.sdb"));
    {
        CppSQLiteSavepoint savepoint(db, "Orphan");
        db.ExecDML("insert into T values (1);");
        db.Close();  // SQLite rolls back what was not committed
    }
    db.Open(folder.File("closed.sdb").c_str());
    EXPECT_EQ(Count(db), 0);
    int code = 0;
    MessageOf([&] { CppSQLiteSavepoint(db, "bad name;"); }, &code);  // nothing is begun
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(Autocommit(db));
}
