#include <gtest/gtest.h>

#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "LibraryTestSupport.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "QVDatabaseRecordSet.h"

namespace {

// Frames columns by position.
enum FramesField { Rid = 0, Filename = 1, PathTypeField = 2, Path = 3, Category = 4, Favorite = 5, Missing = 6,
                   Thumbnail = 7, Rating = 8 };

class LibraryRecords : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(db.OpenAt(folder.File("Quorvel.sdb").c_str()), 0);
        db.trace.statements.clear();
    }

    // Stores a frame row and answers its RID.
    int32_t AddFrame(const char* name, int32_t rating = 0, const char* category = nullptr) {
        QVFrameDatabaseRecord frame(&db);
        frame.SetText(Filename, name);
        frame.SetInteger(PathTypeField, PathType::RelativePath);
        frame.SetText(Path, name);
        frame.SetText(Category, category);
        frame.SetInteger(Rating, rating);
        frame.Save();
        return frame.Rid();
    }

    std::vector<int32_t> Rids(const QVDatabaseRecordSet& set) {
        std::vector<int32_t> rids;
        for (int32_t i = 0; i < set.Count(); ++i) rids.push_back(set.RidAt(i));
        return rids;
    }

    // The statements run since the last call.
    std::vector<std::string> Executed() {
        std::vector<std::string> statements;
        statements.swap(db.trace.statements);
        return statements;
    }

    ScratchFolder folder;
    TracedLibrary<QVDatabase> db;
};

std::vector<uint8_t> AllByteValues() {
    std::vector<uint8_t> bytes(256);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
}

}  // namespace

TEST_F(LibraryRecords, NewRecordInsertsItsValuesThenWritesItsBlobs) {
    QVFrameDatabaseRecord frame(&db);
    const uint8_t thumbnail[] = {0x00, 0x01, 0x27, 0x41};
    frame.SetText(Filename, "O'Neil.frm");
    frame.SetInteger(PathTypeField, PathType::RelativePath);
    frame.SetText(Path, "Frames\\O'Neil.frm");
    frame.SetText(Category, nullptr);
    frame.SetBlob(Thumbnail, thumbnail, sizeof thumbnail);
    frame.Save();
    EXPECT_EQ(frame.Rid(), 10001);
    EXPECT_EQ(frame.DirtyMask(), 0u);
    CppSQLiteBinary encoded;
    encoded.SetBinary(thumbnail, sizeof thumbnail);
    EXPECT_EQ(Executed(), (std::vector<std::string>{
                              "savepoint RecordSave;", "savepoint NewRecordID;", "select * from Base;",
                              "update Base set NextRecordID = NextRecordID + 1;", "release NewRecordID;",
                              "insert into Frames  (RID, Filename, PathType, Path, Category) values (10001, "
                              "'O''Neil.frm', 50529031, 'Frames\\O''Neil.frm', NULL);",
                              std::string("update Frames set Thumbnail = '") +
                                  reinterpret_cast<const char*>(encoded.GetEncoded()) + "' where rid = 10001;",
                              "release RecordSave;"}));

    // Nothing changed: nothing is executed.
    frame.Save();
    EXPECT_TRUE(Executed().empty());

    frame.SetText(Filename, "b.frm");
    frame.SetText(Category, nullptr);
    frame.SetInteger(Rating, 5);
    frame.Save();
    EXPECT_EQ(Executed(), (std::vector<std::string>{
                              "savepoint RecordSave;",
                              "update Frames set Filename = 'b.frm',Category = NULL,Rating = 5 where rid = 10001;",
                              "release RecordSave;"}));

    QVDatabaseRecord loaded(&db, "Frames");
    loaded.SetRid(10001);
    loaded.Load({"PathType", "Path", "Thumbnail"});
    EXPECT_EQ(Executed(), std::vector<std::string>{"select PathType, Path, Thumbnail from Frames where rid = 10001;"});
    EXPECT_EQ(loaded.Field(0)->Name(), "PathType");
    EXPECT_EQ(loaded.Field(0)->Integer(), PathType::RelativePath);
    EXPECT_STREQ(loaded.Field(1)->Text(), "Frames\\O'Neil.frm");
    EXPECT_EQ(std::vector<uint8_t>(loaded.Field(2)->BlobBytes(), loaded.Field(2)->BlobBytes() + loaded.Field(2)->Length()),
              std::vector<uint8_t>(std::begin(thumbnail), std::end(thumbnail)));
    EXPECT_EQ(loaded.FindField("Path"), loaded.Field(1));
    EXPECT_EQ(loaded.FindField("Filename"), nullptr);
}

TEST_F(LibraryRecords, EveryFieldKindRoundTrips) {
    const std::vector<uint8_t> all = AllByteValues();
    QVFrameDatabaseRecord frame(&db);
    frame.SetText(Filename, "It's 100% a_b \"frame\"");
    frame.SetInteger(PathTypeField, PathType::FullPath);
    frame.SetText(Path, "C:\\x\\a.frm");
    frame.SetInteger(Favorite, 1);
    frame.SetInteger(Missing, 0);
    frame.SetBlob(Thumbnail, all.data(), static_cast<uint32_t>(all.size()));
    frame.SetInteger(Rating, -7);
    frame.Save();
    ASSERT_NE(frame.Rid(), 0);

    QVDatabaseRecord row(&db, "Frames");
    row.SetRid(frame.Rid());
    row.Load({"Filename", "PathType", "Favorite", "Missing", "Thumbnail", "Rating", "Category"});
    EXPECT_EQ(row.Field(0)->Kind(), FieldKind::Text);
    EXPECT_STREQ(row.Field(0)->Text(), "It's 100% a_b \"frame\"");
    EXPECT_EQ(row.Field(1)->Kind(), FieldKind::Integer);
    EXPECT_EQ(row.Field(1)->Integer(), PathType::FullPath);
    EXPECT_EQ(row.Field(2)->Kind(), FieldKind::Boolean);
    EXPECT_TRUE(row.Field(2)->Boolean());
    EXPECT_FALSE(row.Field(3)->Boolean());
    EXPECT_EQ(row.Field(4)->Kind(), FieldKind::Blob);
    EXPECT_EQ(std::vector<uint8_t>(row.Field(4)->BlobBytes(), row.Field(4)->BlobBytes() + row.Field(4)->Length()), all);
    EXPECT_EQ(row.Field(5)->Integer(), -7);
    EXPECT_EQ(row.Field(6)->Kind(), FieldKind::Text);
    EXPECT_EQ(row.Field(6)->Text(), nullptr);
    // The row's own blob read back loses nothing either.
    EXPECT_EQ(row.DirtyMask(), 0u);

    QVPresetDatabaseRecord preset(&db);
    preset.SetText(1, "Preset");
    preset.SetInteger(2, PathType::RelativePath);
    preset.SetText(3, "Presets\\p.qvo");
    preset.SetModification(4000000000u);
    preset.Save();
    const std::vector<std::string> presetSave = Executed();
    EXPECT_NE(presetSave[presetSave.size() - 2].find("4000000000"), std::string::npos);
    QVDatabaseRecord presetRow(&db, "Presets");
    presetRow.SetRid(preset.Rid());
    presetRow.Load({"modification"});
    EXPECT_EQ(static_cast<uint32_t>(presetRow.Field(0)->Integer()), 4000000000u);
    EXPECT_EQ(std::string(preset.GetPath()), folder.Path() + "\\Presets\\p.qvo");
}

TEST_F(LibraryRecords, ARidWithoutARowLoadsEmptyValues) {
    QVDatabaseRecord row(&db, "Frames");
    row.SetRid(55555);
    row.Load({"Filename", "Rating", "Favorite", "Thumbnail"});
    EXPECT_EQ(row.Field(0)->Text(), nullptr);
    EXPECT_EQ(row.Field(1)->Integer(), 0);
    EXPECT_FALSE(row.Field(2)->Boolean());
    EXPECT_EQ(row.Field(3)->Kind(), FieldKind::Blob);
    EXPECT_EQ(row.Field(3)->Length(), 0u);
    EXPECT_FALSE(row.Exists(55555));
    row.Create(55555);
    EXPECT_TRUE(row.Exists(55555));
    row.Create(55555);  // a second row of that id is refused quietly
    EXPECT_EQ(QueryRows(db, "select count(*) from Frames;"), std::vector<std::string>{"1"});
    // A malformed stored blob is reported, not read past its end.
    db.ExecDML("update Frames set Thumbnail = 'A\x01' where RID = 55555;");
    EXPECT_THROW(row.Load({"Thumbnail"}), CppSQLiteException);
}

TEST_F(LibraryRecords, AFailedSaveKeepsWhatWasNotWritten) {
    QVFrameDatabaseRecord frame(&db);
    frame.SetText(Filename, "a.frm");
    frame.Save();
    ASSERT_EQ(frame.Rid(), 10001);
    frame.SetText(Filename, "b.frm");
    const uint8_t blob[] = {1, 2, 3};
    frame.SetBlob(Thumbnail, blob, sizeof blob);
    db.Close();
    frame.Save();
    EXPECT_EQ(frame.DirtyMask(), (1u << Filename) | (1u << Thumbnail));
    ASSERT_EQ(db.OpenAt(folder.File("Quorvel.sdb").c_str()), 0);
    frame.Save();
    EXPECT_EQ(frame.DirtyMask(), 0u);
    EXPECT_EQ(QueryRows(db, "select Filename, Thumbnail is not null from Frames;"), std::vector<std::string>{"b.frm|1"});
}

TEST_F(LibraryRecords, IdsAreNeverReused) {
    // A row that holds the next id already makes that insert fail; the id is spent all the same.
    QVDatabaseRecord(&db, "Frames").Create(10001);
    QVFrameDatabaseRecord blocked(&db);
    blocked.SetText(Filename, "blocked");
    blocked.Save();
    EXPECT_EQ(blocked.Rid(), 0);
    EXPECT_EQ(blocked.DirtyMask(), 1u << Filename);
    blocked.Save();
    EXPECT_EQ(blocked.Rid(), 10002);
    db.ExecDML("delete from Frames;");

    EXPECT_EQ(AddFrame("a"), 10003);
    EXPECT_EQ(AddFrame("b"), 10004);
    QVDatabaseRecordSet set(&db, "Frames");
    set.SelectAll(nullptr, nullptr, true, false);
    set.DeleteAll();
    EXPECT_EQ(set.Count(), 0);
    EXPECT_EQ(AddFrame("c"), 10005);
}

TEST_F(LibraryRecords, FramePreviewsComeFromThePreviewTablesAndGoWithTheirFrame) {
    const int32_t rid = AddFrame("a.frm");
    const std::vector<uint8_t> all = AllByteValues();
    const char* const previewTables[] = {"RGBPreviews", "InMaskPreviews", "OutMaskPreviews"};
    for (const char* table : previewTables) {
        QVDatabaseRecord preview(&db, table);
        preview.SetInteger(0, rid);
        preview.Create(rid);
        preview.SetRid(rid);
        preview.SetBlob(1, all.data(), static_cast<uint32_t>(all.size()));
        preview.Save();
    }
    QVFrameDatabaseRecord frame(&db);
    frame.SetRid(rid);
    ASSERT_NE(frame.GetRGBPreview(), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(frame.GetRGBPreview(), frame.GetRGBPreview() + frame.RGBPreviewSize()), all);
    EXPECT_EQ(frame.GetInMaskPreview() != nullptr, true);
    EXPECT_EQ(frame.OutMaskPreviewSize(), 0u);
    EXPECT_NE(frame.GetOutMaskPreview(), nullptr);
    EXPECT_EQ(frame.OutMaskPreviewSize(), 256u);
    EXPECT_EQ(std::string(frame.GetPath()), folder.Path() + "\\a.frm");

    QVDatabaseRecordSet frames(&db, "Frames");
    frames.SelectAll(nullptr, nullptr, true, false);
    frames.Delete({0}, nullptr);
    for (const char* table : previewTables) {
        EXPECT_EQ(QueryRows(db, (std::string("select count(*) from ") + table + ";").c_str()), std::vector<std::string>{"0"});
    }
    EXPECT_EQ(frame.GetRGBPreview(), nullptr);
}

TEST_F(LibraryRecords, SelectsRunTheirStatementsAndSortAsAsked) {
    AddFrame("beta", 3);
    AddFrame("Alpha", 5);
    AddFrame("gamma", 5);
    Executed();
    QVDatabaseRecordSet set(&db, "Frames");

    set.SelectAll("Filename", "Filename", true, true);
    EXPECT_EQ(Rids(set), (std::vector<int32_t>{10002, 10001, 10003}));
    set.SelectAll("Rating", "Filename", false, false);
    EXPECT_EQ(Rids(set), (std::vector<int32_t>{10002, 10003, 10001}));
    set.SelectAll(nullptr, nullptr, true, true);
    EXPECT_EQ(Executed(), (std::vector<std::string>{"select RID from Frames order by lower(Filename) ASC;",
                                                    "select RID from Frames order by Rating DESC , Filename ASC;",
                                                    "select RID from Frames;"}));

    set.SelectWhere("Rating > 3", "lower(Filename)", "Filename", false);
    EXPECT_EQ(Rids(set), (std::vector<int32_t>{10003, 10002}));
    set.SelectEquals("Rating", "5", "Filename", nullptr, true);
    EXPECT_EQ(Rids(set), (std::vector<int32_t>{10002, 10003}));
    set.SelectEqualsAnd("Rating", "5", "Filename", "'gamma'", nullptr, nullptr, true);
    EXPECT_EQ(Rids(set), std::vector<int32_t>{10003});
    set.SelectEqualsAnd2("Rating", "5", "PathType", "50529031", "Filename", "'Alpha'", nullptr, nullptr, true);
    EXPECT_EQ(Rids(set), std::vector<int32_t>{10002});
    set.SelectEquals(nullptr, "RID < 10003", "RID", "RID", false);
    EXPECT_EQ(Rids(set), (std::vector<int32_t>{10002, 10001}));
    EXPECT_EQ(Executed(),
              (std::vector<std::string>{
                  "select RID from Frames where Rating > 3 order by lower(Filename) DESC , lower(Filename);",
                  "select RID from Frames where Rating = 5 order by Filename ASC;",
                  "select RID from Frames where Rating = 5 and Filename = 'gamma';",
                  "select RID from Frames where Rating = 5 and PathType = 50529031 and Filename = 'Alpha';",
                  "select RID from Frames where RID < 10003 order by RID DESC;"}));

    set.SearchLike("Filename", "ALP", "Filename", nullptr, true);
    EXPECT_EQ(Rids(set), std::vector<int32_t>{10002});
    set.SearchLikeAnd("Filename", "a", "Rating", "5", "Filename", nullptr, true);
    EXPECT_EQ(Rids(set), (std::vector<int32_t>{10002, 10003}));
    set.SearchLikeAnd2("Filename", "a", "Rating", "5", "Filename", "'gamma'", nullptr, nullptr, true);
    EXPECT_EQ(Rids(set), std::vector<int32_t>{10003});
    EXPECT_EQ(Executed(),
              (std::vector<std::string>{
                  "select RID from Frames where lower(Filename) like lower('%ALP%') escape '\\' order by Filename ASC;",
                  "select RID from Frames where lower(Filename) like lower('%a%') escape '\\' and Rating = 5 order by "
                  "Filename ASC;",
                  "select RID from Frames where lower(Filename) like lower('%a%') escape '\\' and Rating = 5 and "
                  "Filename = 'gamma';"}));
}

TEST_F(LibraryRecords, SearchTextAndNamesCannotChangeTheMeaningOfAQuery) {
    const char* const names[] = {"O'Neil", "50% off", "50x off", "a_b", "axb", "back\\slash", "x' or '1'='1"};
    for (const char* name : names) AddFrame(name);
    Executed();
    QVDatabaseRecordSet set(&db, "Frames");
    struct SearchCase {
        const char* text;
        std::vector<int32_t> found;
    } cases[] = {
        {"O'Neil", {10001}}, {"%", {10002}},        {"_", {10004}},      {"\\", {10006}},
        {"' or 1=1 --", {}}, {"x' or '1'='1", {10007}}, {"50", {10002, 10003}},
    };
    for (const SearchCase& c : cases) {
        set.SearchLike("Filename", c.text, "RID", nullptr, true);
        EXPECT_EQ(Rids(set), c.found) << c.text;
    }
    EXPECT_EQ(Executed().front(),
              "select RID from Frames where lower(Filename) like lower('%O''Neil%') escape '\\' order by RID ASC;");
    // Names that callers quote with %Q are compared as text, whatever they hold.
    CppSQLiteBuffer quoted;
    set.SelectEquals("Filename", quoted.Format("%Q", "x' or '1'='1"), nullptr, nullptr, true);
    EXPECT_EQ(Rids(set), std::vector<int32_t>{10007});
    set.SelectEquals("Filename", quoted.Format("%Q", "O'Neil"), nullptr, nullptr, true);
    EXPECT_EQ(Rids(set), std::vector<int32_t>{10001});
}

TEST_F(LibraryRecords, DeleteRunsFromTheLargestIndexAndStopsWhenAsked) {
    AddFrame("a");
    AddFrame("b");
    AddFrame("c");
    Executed();
    QVDatabaseRecordSet set(&db, "Frames");
    set.SelectAll("RID", nullptr, true, false);
    Executed();
    set.Delete({0, 2}, nullptr);
    EXPECT_EQ(Rids(set), std::vector<int32_t>{10002});
    EXPECT_EQ(Executed(), (std::vector<std::string>{"delete from Frames where rid = 10003;",
                                                    "delete from Frames where rid = 10001;"}));

    struct StopAfterFirst : DatabaseProgress {
        bool SetProgress(int32_t current) override {
            counts.push_back(current);
            return true;
        }
        std::vector<int32_t> counts;
    } progress;
    AddFrame("d");
    AddFrame("e");
    set.SelectAll("RID", nullptr, true, false);
    set.Delete({0, 1, 2, 7}, &progress);
    EXPECT_EQ(progress.GetTotal(), 4);
    EXPECT_EQ(progress.counts, std::vector<int32_t>{1});
    EXPECT_EQ(Rids(set), (std::vector<int32_t>{10002, 10004}));
    EXPECT_EQ(QueryRows(db, "select count(*) from Frames;"), std::vector<std::string>{"2"});
}

TEST_F(LibraryRecords, SetAccessAndBinding) {
    AddFrame("a");
    AddFrame("b");
    AddFrame("c");
    QVDatabaseRecordSet set(&db, "Frames");
    set.SelectAll("RID", nullptr, true, false);
    EXPECT_EQ(set.RidAt(-1), 0);
    EXPECT_EQ(set.RidAt(3), 0);
    EXPECT_EQ(set.IndexOfRid(10002), 1);
    EXPECT_EQ(set.IndexOfRid(99), -1);

    QVDatabaseRecord record(nullptr, nullptr);
    EXPECT_EQ(set.RecordAt(3, record), 12);
    EXPECT_EQ(record.Rid(), 0);
    EXPECT_EQ(set.RecordAt(2, record), 0);
    EXPECT_EQ(record.Database(), &db);
    EXPECT_STREQ(record.TableName(), "Frames");
    EXPECT_EQ(record.TableId(), LibraryTable::Frames);
    EXPECT_EQ(record.Rid(), 10003);

    QVDatabaseRecordSet copy(nullptr, nullptr);
    copy.Assign(set);
    copy.RemoveIndexes({0, 2, 9, -1});
    EXPECT_EQ(Rids(copy), std::vector<int32_t>{10002});
    EXPECT_EQ(set.Count(), 3);
    set.AssignRids(copy);
    EXPECT_EQ(Rids(set), std::vector<int32_t>{10002});
    EXPECT_EQ(QueryRows(db, "select count(*) from Frames;"), std::vector<std::string>{"3"});
}
