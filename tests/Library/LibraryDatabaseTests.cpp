#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "LibraryTestSupport.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "Utf.h"

namespace {

// The schema as sqlite_master keeps it: type|name|table|SQL, in creation order.
const std::vector<std::string> kFramesSchema = {
    "table|Base|Base|create table Base (NextRecordID Integer, Version Integer)",
    "table|Frames|Frames|create table Frames (RID Integer Primary Key, Filename Text, PathType Integer, Path Text, "
    "Category Text null, Favorite Boolean null, Missing Boolean null, Thumbnail Blob null, Rating Integer null)",
    "index|Frames_RID|Frames|create unique index Frames_RID on Frames (RID)",
    "index|Frames_Filename|Frames|create index Frames_Filename on Frames (Filename)",
    "table|Textures|Textures|create table Textures (RID Integer Primary Key, Filename Text, PathType Integer, Path Text, "
    "Category Text null, Favorite Boolean null, Missing Boolean null, Thumbnail Blob null)",
    "index|Textures_RID|Textures|create unique index Textures_RID on Textures (RID)",
    "index|Textures_Filename|Textures|create index Textures_Filename on Textures (Filename)",
    "table|Presets|Presets|create table Presets (RID Integer Primary Key, name Text, PathType Integer, Path Text, "
    "Favorite Boolean null, LastUsed Boolean null, Definition Blob null, Thumbnail Blob null, Category Text null, "
    "Rating Integer null, modification Unsigned Long null)",
    "index|Presets_RID|Presets|create unique index Presets_RID on Presets (RID)",
    "index|Presets_name|Presets|create index Presets_name on Presets (name)",
    "table|RGBPreviews|RGBPreviews|create table RGBPreviews (RID Integer, Preview Blob null)",
    "index|RGBPreviews_RID|RGBPreviews|create unique index RGBPreviews_RID on RGBPreviews (RID)",
    "table|InMaskPreviews|InMaskPreviews|create table InMaskPreviews (RID Integer, Preview Blob null)",
    "index|InMaskPreviews_RID|InMaskPreviews|create unique index InMaskPreviews_RID on InMaskPreviews (RID)",
    "table|OutMaskPreviews|OutMaskPreviews|create table OutMaskPreviews (RID Integer, Preview Blob null)",
    "index|OutMaskPreviews_RID|OutMaskPreviews|create unique index OutMaskPreviews_RID on OutMaskPreviews (RID)",
    "trigger|framedeleter|Frames|create trigger framedeleter delete on Frames begin delete from RGBPreviews where "
    "rid = old.rid; delete from InMaskPreviews where rid = old.rid; delete from OutMaskPreviews where rid = old.rid; end",
    "index|Frames_Category|Frames|create index Frames_Category on Frames (Category)",
};

const std::vector<std::string> kPresetsSchema = {
    "table|Base|Base|create table Base (NextRecordID Integer, Version Integer)",
    "table|Presets|Presets|create table Presets (RID Integer Primary Key, name Text, PathType Integer, Path Text, "
    "Favorite Boolean null, LastUsed Boolean null, Definition Blob null, Thumbnail Blob null, Category Text null, "
    "Rating Integer null, modification Unsigned Long null)",
    "index|Presets_RID|Presets|create unique index Presets_RID on Presets (RID)",
    "index|Presets_name|Presets|create index Presets_name on Presets (name)",
    "table|Settings|Settings|create table Settings (TableName Text, Category Text null, Search Text null, Selection Blob null)",
    "index|Settings_TableName|Settings|create unique index Settings_TableName on Settings (TableName)",
};

const char* const kSchemaQuery = "select type, name, tbl_name, sql from sqlite_master order by rowid;";

// sqlite_master keeps each statement as executed, with SQLite writing its leading keywords in
// capitals.
std::vector<std::string> AsStored(const std::vector<std::string>& schema) {
    const std::pair<std::string, std::string> keywords[] = {{"|create table ", "|CREATE TABLE "},
                                                            {"|create unique index ", "|CREATE UNIQUE INDEX "},
                                                            {"|create index ", "|CREATE INDEX "},
                                                            {"|create trigger ", "|CREATE TRIGGER "}};
    std::vector<std::string> stored;
    for (std::string entry : schema) {
        for (const auto& [written, kept] : keywords) {
            if (const size_t at = entry.find(written); at != std::string::npos) entry.replace(at, written.size(), kept);
        }
        stored.push_back(entry);
    }
    return stored;
}

// The look for the highest record id among the tables of a file that hold records.
const char* const kFramesHighestId =
    "select max(RID) from Frames union all select max(RID) from Textures union all select max(RID) from Presets "
    "union all select max(RID) from RGBPreviews union all select max(RID) from InMaskPreviews union all "
    "select max(RID) from OutMaskPreviews;";
const char* const kPresetsHighestId = "select max(RID) from Presets;";

// What every open runs to check the counter row of a sound file.
std::vector<std::string> CounterCheck(const char* highestId) {
    return {"savepoint InitBase;", "select * from Base;", highestId, "release InitBase;"};
}

// The SQL a new file receives: the schema's statements as executed, then the counter row.
std::vector<std::string> CreationStatements(const std::vector<std::string>& schema, bool withTrigger) {
    std::vector<std::string> statements;
    for (const std::string& entry : schema) {
        const std::string sql = entry.substr(entry.rfind('|') + 1) + ";";
        if (entry.rfind("trigger|", 0) == 0 || entry.find("_Category|") != std::string::npos) continue;
        statements.push_back(sql);
    }
    statements.push_back("savepoint InitBase;");
    statements.push_back("select * from Base;");
    statements.push_back(withTrigger ? kFramesHighestId : kPresetsHighestId);
    statements.push_back("insert into Base values(10001, 1);");
    statements.push_back("release InitBase;");
    if (withTrigger) {
        statements.push_back(schema[schema.size() - 2].substr(schema[schema.size() - 2].rfind('|') + 1) + ";");
        statements.push_back("create index Frames_Category on Frames (Category);");
    }
    return statements;
}

}  // namespace

TEST(LibraryDatabase, NewFramesLibraryHoldsExactlyTheSchemaAndTheCounterRow) {
    ScratchFolder folder;
    const std::string file = folder.File("Quorvel.sdb");
    {
        TracedLibrary<QVDatabase> db;
        ASSERT_EQ(db.OpenAt(file.c_str()), 0);
        EXPECT_EQ(db.BusyTimeout(), 60000);
        EXPECT_EQ(db.trace.statements, CreationStatements(kFramesSchema, true));
        EXPECT_EQ(QueryRows(db, kSchemaQuery), AsStored(kFramesSchema));
        EXPECT_EQ(QueryRows(db, "select * from Base;"), std::vector<std::string>{"10001|1"});
        // Once open, the path is the library folder.
        EXPECT_EQ(std::string(db.Path()), folder.Path());
    }
    // Reopening runs the creation again, finds everything there and writes nothing.
    const std::vector<unsigned char> before = ReadBytes(file);
    TracedLibrary<QVDatabase> again;
    ASSERT_EQ(again.OpenAt(file.c_str()), 0);
    EXPECT_EQ(again.trace.statements, CounterCheck(kFramesHighestId));
    EXPECT_EQ(QueryRows(again, kSchemaQuery), AsStored(kFramesSchema));
    EXPECT_EQ(QueryRows(again, "select * from Base;"), std::vector<std::string>{"10001|1"});
    again.Close();
    EXPECT_EQ(ReadBytes(file), before);
}

TEST(LibraryDatabase, NewPresetsLibraryHoldsExactlyItsSchema) {
    ScratchFolder folder;
    const std::string file = folder.File("QuorvelPresets.sdb");
    TracedLibrary<QVPresetsDatabase> db;
    ASSERT_EQ(db.OpenAt(file.c_str()), 0);
    EXPECT_EQ(db.trace.statements, CreationStatements(kPresetsSchema, false));
    EXPECT_EQ(QueryRows(db, kSchemaQuery), AsStored(kPresetsSchema));
    db.Close();
    const std::vector<unsigned char> before = ReadBytes(file);
    QVPresetsDatabase again;
    ASSERT_EQ(again.OpenAt(file.c_str()), 0);
    EXPECT_EQ(QueryRows(again, kSchemaQuery), AsStored(kPresetsSchema));
    again.Close();
    EXPECT_EQ(ReadBytes(file), before);
}

TEST(LibraryDatabase, RecordIdsCountUpFromTheCounterAndSurviveReopening) {
    ScratchFolder folder;
    const std::string file = folder.File("Quorvel.sdb");
    {
        TracedLibrary<QVDatabase> db;
        ASSERT_EQ(db.OpenAt(file.c_str()), 0);
        db.trace.statements.clear();
        EXPECT_EQ(db.NewRecordID(), 10001);
        EXPECT_EQ(db.trace.statements, (std::vector<std::string>{"savepoint NewRecordID;", "select * from Base;",
                                                                 "update Base set NextRecordID = NextRecordID + 1;",
                                                                 "release NewRecordID;"}));
        EXPECT_EQ(db.NewRecordID(), 10002);
        EXPECT_EQ(QueryRows(db, "select NextRecordID from Base;"), std::vector<std::string>{"10003"});
    }
    QVDatabase db;
    ASSERT_EQ(db.OpenAt(file.c_str()), 0);
    EXPECT_EQ(db.NewRecordID(), 10003);
    // A counter that a damaged file lost is reported, never handed out as id 0.
    db.ExecDML("update Base set NextRecordID = NULL;");
    EXPECT_THROW(db.NewRecordID(), CppSQLiteException);
    db.ExecDML("delete from Base;");
    EXPECT_THROW(db.NewRecordID(), CppSQLiteException);
}

TEST(LibraryDatabase, OpenResultsReportWhatStoppedTheOpen) {
    ScratchFolder folder;
    // A garbage file and an old SQLite 2 library are refused and left as they were.
    const std::string oldFile = folder.File("Old.sdb");
    std::vector<unsigned char> old(2048, 0x20);
    const std::string signature = "** This file contains an SQLite 2.1 database **";
    std::copy(signature.begin(), signature.end(), old.begin());
    WriteBytes(oldFile, old);
    QVDatabase frames;
    EXPECT_EQ(frames.OpenAt(oldFile.c_str()), 26);
    EXPECT_EQ(ReadBytes(oldFile), old);

    const std::string garbageFile = folder.File("Garbage.sdb");
    const std::vector<unsigned char> garbage(700, 0xA5);
    WriteBytes(garbageFile, garbage);
    QVPresetsDatabase presets;
    EXPECT_EQ(presets.OpenAt(garbageFile.c_str()), 26);
    EXPECT_EQ(ReadBytes(garbageFile), garbage);

    // A path the path field cannot hold is refused before anything is opened.
    QVDatabase longPath;
    const std::string tooLong = folder.Path() + "\\" + std::string(QVDatabase::kPathCapacity, 'a') + ".sdb";
    EXPECT_EQ(longPath.OpenAt(tooLong.c_str()), 14);
    EXPECT_FALSE(longPath.IsOpen());
}

// Only a library, or a file that is not there yet, is opened as a library: any other file at the
// library's path is refused and keeps every byte, whichever library is asked to open it.
TEST(LibraryDatabase, AFileThatIsNoLibraryIsRefusedAndLeftAsItWas) {
    ScratchFolder folder;
    std::vector<unsigned char> otherProgram;
    {
        const std::string file = folder.File("Other.db");
        CppSQLiteDB other;
        other.Open(file.c_str());
        other.ExecDML("create table Customers (Name Text, Town Text);");
        other.ExecDML("insert into Customers values ('Ada', 'Bern');");
        other.Close();
        otherProgram = ReadBytes(file);
        ASSERT_FALSE(otherProgram.empty());
    }
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
    } files[] = {
        {"an empty file", {}},
        {"a text file", {'n', 'o', 't', 'e', 's', '\r', '\n'}},
        {"another program's database", otherProgram},
    };
    for (const bool presets : {false, true}) {
        for (const auto& file : files) {
            SCOPED_TRACE(std::string(file.what) + (presets ? ", presets library" : ", frames library"));
            const std::string path = folder.File("Library.sdb");
            WriteBytes(path, file.bytes);
            std::unique_ptr<QVDatabase> db = presets ? std::make_unique<QVPresetsDatabase>() : std::make_unique<QVDatabase>();
            EXPECT_EQ(db->OpenAt(path.c_str()), SqlCode::NotADatabase);
            EXPECT_FALSE(db->IsOpen());
            EXPECT_EQ(ReadBytes(path), file.bytes);
            EXPECT_EQ(std::string(db->Path()), path);  // the file the alert names
        }
    }
}

// A library that holds its counter but lacks tables of a newer make is a library: it gets them.
// A new library leaves nothing beside it.
TEST(LibraryDatabase, ALibraryWithoutSomeTablesGetsThemAndANewOneLeavesNothingBeside) {
    ScratchFolder folder;
    const std::string path = folder.File("Quorvel.sdb");
    {
        CppSQLiteDB older;
        older.Open(path.c_str());
        older.ExecDML("create table Base (NextRecordID Integer, Version Integer);");
        older.ExecDML("insert into Base values(10005, 1);");
    }
    {
        QVDatabase db;
        ASSERT_EQ(db.OpenAt(path.c_str()), 0);
        EXPECT_EQ(QueryRows(db, kSchemaQuery), AsStored(kFramesSchema));
        EXPECT_EQ(QueryRows(db, "select * from Base;"), std::vector<std::string>{"10005|1"});
    }
    const std::string fresh = folder.File("QuorvelPresets.sdb");
    {
        QVPresetsDatabase db;
        ASSERT_EQ(db.OpenAt(fresh.c_str()), 0);
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(Utf8ToUtf16(folder.Path()))))
        names.push_back(Utf16ToUtf8(entry.path().filename().wstring()));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Quorvel.sdb", "QuorvelPresets.sdb"}));
}

TEST(LibraryDatabase, DefaultPlacesAreTheApplicationDataFolders) {
    QVDatabase frames;
    ASSERT_EQ(frames.BuildPath(), 0);
    const std::string framesPath = frames.Path();
    EXPECT_NE(framesPath.find("\\Vantrel Software\\Quorvel 4.6\\Quorvel.sdb"), std::string::npos) << framesPath;
    QVPresetsDatabase presets;
    ASSERT_EQ(presets.BuildPath(), 0);
    const std::string presetsPath = presets.Path();
    EXPECT_NE(presetsPath.find("\\Vantrel Software\\Quorvel 4.6\\QuorvelPresets.sdb"), std::string::npos) << presetsPath;
    // The frames library is shared by all users, the presets library is the user's own.
    EXPECT_NE(framesPath.substr(0, framesPath.find("\\Vantrel")), presetsPath.substr(0, presetsPath.find("\\Vantrel")));

    // An empty path opens the default file, exactly as OpenDefault does.
    QVDatabase byEmptyPath;
    ASSERT_EQ(byEmptyPath.OpenAt(""), 0);
    EXPECT_EQ(std::string(byEmptyPath.Path()) + "\\Quorvel.sdb", framesPath);
    EXPECT_EQ(QueryRows(byEmptyPath, kSchemaQuery), AsStored(kFramesSchema));
}

TEST(LibraryDatabase, LibrariesLiveInFoldersOfAnyName) {
    ScratchFolder folder;
    const std::string library = folder.File("Biblioth\xC3\xA8que \xE5\x9B\xBE");
    ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::path(Utf8ToUtf16(library))));
    const std::string file = library + "\\Quorvel.sdb";
    {
        QVDatabase db;
        ASSERT_EQ(db.OpenAt(file.c_str()), 0);
        EXPECT_EQ(std::string(db.Path()), library);
        EXPECT_EQ(db.NewRecordID(), 10001);
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(Utf8ToUtf16(file))));
    QVDatabase again;
    ASSERT_EQ(again.OpenAt(file.c_str()), 0);
    EXPECT_EQ(again.NewRecordID(), 10002);
}

TEST(LibraryDatabase, FindTableKnowsTheEightTablesExactly) {
    const char* const names[] = {"Base",           "Frames",         "Textures",        "Presets",
                                 "RGBPreviews",    "InMaskPreviews", "OutMaskPreviews", "Settings"};
    for (int id = 0; id < LibraryTable::Count; ++id) EXPECT_EQ(QVDatabase::FindTable(names[id]), id);
    EXPECT_EQ(QVDatabase::FindTable("frames"), -1);
    EXPECT_EQ(QVDatabase::FindTable(""), -1);
    EXPECT_EQ(QVDatabase::FindTable(nullptr), -1);
}

// A counter row that was lost, or a counter that lags behind the records, would hand out ids
// that records already carry. Opening the file puts the counter above the highest id of every
// table that holds record ids, and the next new record gets an id no row has.
TEST(LibraryDatabase, ALostOrLaggingCounterStartsAboveTheHighestRecordId) {
    const struct {
        const char* what;
        const char* sql;
    } damages[] = {
        {"the counter row deleted", "delete from Base;"},
        {"the counter NULL", "update Base set NextRecordID = NULL;"},
        {"the counter back at the first id", "update Base set NextRecordID = 10001;"},
        {"the counter at the highest id", "update Base set NextRecordID = 20200;"},
    };
    const struct {
        bool presetsLibrary;
        const char* table;  // the table that holds the highest id
    } holders[] = {
        {false, "Frames"},         {false, "Textures"},       {false, "Presets"}, {false, "RGBPreviews"},
        {false, "InMaskPreviews"}, {false, "OutMaskPreviews"}, {true, "Presets"},
    };
    for (const auto& holder : holders) {
        for (const auto& damage : damages) {
            SCOPED_TRACE(std::string(holder.presetsLibrary ? "presets library, " : "frames library, ") + holder.table +
                         ", " + damage.what);
            ScratchFolder folder;
            const std::string file = folder.File("Library.sdb");
            std::unique_ptr<QVDatabase> db = holder.presetsLibrary ? std::make_unique<QVPresetsDatabase>()
                                                                   : std::make_unique<QVDatabase>();
            ASSERT_EQ(db->OpenAt(file.c_str()), 0);
            const char* mainTable = holder.presetsLibrary ? "Presets" : "Frames";
            db->ExecDML((std::string("insert into ") + mainTable + " (RID) values (10001);").c_str());
            db->ExecDML((std::string("insert into ") + holder.table + " (RID) values (20200);").c_str());
            db->ExecDML(damage.sql);
            db->Close();

            std::unique_ptr<QVDatabase> reopened = holder.presetsLibrary ? std::make_unique<QVPresetsDatabase>()
                                                                         : std::make_unique<QVDatabase>();
            ASSERT_EQ(reopened->OpenAt(file.c_str()), 0);
            EXPECT_EQ(QueryRows(*reopened, "select * from Base;"), std::vector<std::string>{"20201|1"});
            QVDatabaseRecord record(reopened.get(), mainTable);
            record.SetText(1, "new");
            record.Save();
            EXPECT_EQ(record.Rid(), 20201);
            EXPECT_EQ(QueryRows(*reopened, (std::string("select count(*) from ") + mainTable + ";").c_str()),
                      std::vector<std::string>{holder.table == std::string(mainTable) ? "3" : "2"});
            EXPECT_EQ(reopened->NewRecordID(), 20202);
        }
    }
}

TEST(LibraryDatabase, ACounterAheadOfTheRecordsIsLeftAsItIs) {
    ScratchFolder folder;
    const std::string file = folder.File("Quorvel.sdb");
    {
        QVDatabase db;
        ASSERT_EQ(db.OpenAt(file.c_str()), 0);
        db.ExecDML("insert into RGBPreviews (RID) values (20200);");
        db.ExecDML("update Base set NextRecordID = 30000;");
    }
    const std::vector<unsigned char> before = ReadBytes(file);
    {
        QVDatabase db;
        ASSERT_EQ(db.OpenAt(file.c_str()), 0);
        EXPECT_EQ(QueryRows(db, "select * from Base;"), std::vector<std::string>{"30000|1"});
    }
    EXPECT_EQ(ReadBytes(file), before);
}

// Record ids are 32-bit: a counter past them is reported, never wrapped round onto ids in use.
TEST(LibraryDatabase, ACounterPastThirtyTwoBitsIsReported) {
    ScratchFolder folder;
    const std::string file = folder.File("Quorvel.sdb");
    {
        QVDatabase db;
        ASSERT_EQ(db.OpenAt(file.c_str()), 0);
        db.ExecDML("insert into RGBPreviews (RID) values (4294977296);");  // 2^32 + 10000
        db.ExecDML("delete from Base;");
    }
    QVDatabase db;
    ASSERT_EQ(db.OpenAt(file.c_str()), 0);
    EXPECT_EQ(QueryRows(db, "select NextRecordID from Base;"), std::vector<std::string>{"4294977297"});
    EXPECT_THROW(db.NewRecordID(), CppSQLiteException);
    db.ExecDML("update Base set NextRecordID = 2147483647;");
    EXPECT_EQ(db.NewRecordID(), 2147483647);
    EXPECT_THROW(db.NewRecordID(), CppSQLiteException);
}
