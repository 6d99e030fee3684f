#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CppSQLite.h"
#include "DatabaseHelper.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "QVDatabaseRecordSet.h"
#include "TempFolder.h"

namespace {

// Frames columns by position.
enum FramesField { Rid = 0, Filename = 1, PathTypeField = 2, Path = 3, Category = 4, Favorite = 5, Thumbnail = 7,
                   Rating = 8 };

// The helper's own operations, without the imports its derived helpers add.
class PlainHelper : public DatabaseHelper {
public:
    using DatabaseHelper::DatabaseHelper;
    int32_t ImportFolder(const std::vector<FileSpec>&, bool) override { return 0; }
    int32_t ImportFiles(const std::vector<FileSpec>&, bool) override { return 0; }
};

class CountingProgress : public DatabaseProgress {
public:
    bool SetProgress(int32_t current) override {
        reported.push_back(current);
        return false;
    }
    std::vector<int32_t> reported;
};

struct Frame {
    const char* name;
    const char* category;  // null: no category
    int32_t favorite;
    int32_t rating;
};

// Names with the characters that SQL and LIKE give a meaning, so that a filter or search that
// pastes text into its statement shows in the rows it returns.
constexpr Frame kFrames[] = {
    {"apple", "Wood", 1, 3},
    {"Banana", "O'Neil", 0, 5},
    {"cherry%", "Metal", 1, 5},
    {"date_1", "Wood", 0, 1},
    {"100% O'Neil", "Metal", 1, 3},
    {"x'; drop table Frames; --", nullptr, 0, 0},
};

class DatabaseHelperTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(db.OpenAt((folder / "Quorvel.sdb").c_str()), 0);
        for (const Frame& frame : kFrames) {
            QVFrameDatabaseRecord record(&db);
            record.SetText(Filename, frame.name);
            record.SetInteger(PathTypeField, PathType::RelativePath);
            record.SetText(Path, frame.name);
            record.SetText(Category, frame.category);
            record.SetInteger(Favorite, frame.favorite);
            record.SetInteger(Rating, frame.rating);
            record.Save();
            ASSERT_GT(record.Rid(), 0) << frame.name;
            rids[frame.name] = record.Rid();
        }
        helper.SetSortOrder("Filename", nullptr, true);
    }

    // The names of the record set's rows, in its order.
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        const QVDatabaseRecordSet* set = helper.RecordSet();
        if (!set) return names;
        for (int32_t i = 0; i < set->Count(); ++i) {
            for (const auto& [name, rid] : rids) {
                if (rid == set->RidAt(i)) names.push_back(name);
            }
        }
        return names;
    }

    int32_t ColumnOf(int32_t rid, const char* column) {
        QVDatabaseRecord record(&db, "Frames");
        record.SetRid(rid);
        record.Load({column});
        return record.FindField(column)->Integer();
    }

    TempFolder folder;
    QVDatabase db;
    PlainHelper helper{&db, "Frames"};
    std::map<std::string, int32_t> rids;
};

using RowNames = std::vector<std::string>;

TEST_F(DatabaseHelperTest, FiltersAndSearchesSelectTheRowsTheyName) {
    const std::vector<std::string> woodAndONeil = {"Wood", "O'Neil"};
    const std::vector<std::string> woodAndMetal = {"Wood", "Metal"};
    const std::vector<std::string> none;
    struct Case {
        const char* what;
        std::function<void(DatabaseHelper&)> select;
        RowNames expected;
    };
    const Case cases[] = {
        {"every row", [](DatabaseHelper& h) { h.EnsureRecordSet(); },
         {"100% O'Neil", "Banana", "apple", "cherry%", "date_1", "x'; drop table Frames; --"}},
        {"favourites", [](DatabaseHelper& h) { h.FilterEqualsOne(Favorite); }, {"100% O'Neil", "apple", "cherry%"}},
        {"text with a quote", [](DatabaseHelper& h) { h.FilterEqualsText(Category, "O'Neil"); }, {"Banana"}},
        {"text that tries to widen the condition",
         [](DatabaseHelper& h) { h.FilterEqualsText(Category, "Wood' or '1'='1"); }, {}},
        {"a list of texts", [&](DatabaseHelper& h) { h.FilterInList(Category, woodAndONeil); },
         {"Banana", "apple", "date_1"}},
        {"an empty list", [&](DatabaseHelper& h) { h.FilterInList(Category, none); },
         {"100% O'Neil", "Banana", "apple", "cherry%", "date_1", "x'; drop table Frames; --"}},
        {"a value", [](DatabaseHelper& h) { h.FilterEquals(Rating, "5"); }, {"Banana", "cherry%"}},
        {"search for a percent sign", [](DatabaseHelper& h) { h.Search(Filename, "%"); },
         {"100% O'Neil", "cherry%"}},
        {"search for an underscore", [](DatabaseHelper& h) { h.Search(Filename, "_"); }, {"date_1"}},
        {"search with a quote, in other case", [](DatabaseHelper& h) { h.Search(Filename, "o'NEIL"); },
         {"100% O'Neil"}},
        {"search for statement text", [](DatabaseHelper& h) { h.Search(Filename, "'; drop"); },
         {"x'; drop table Frames; --"}},
        {"text and a value", [](DatabaseHelper& h) { h.FilterEqualsTextAnd(Category, "Metal", Rating, "3"); },
         {"100% O'Neil"}},
        {"text and two values",
         [](DatabaseHelper& h) { h.FilterEqualsTextAnd2(Category, "Wood", Favorite, "1", Rating, "3"); }, {"apple"}},
        // Without its parentheses the list would bind as Wood or (Metal and favourite), and let
        // date_1 in.
        {"a list and a value", [&](DatabaseHelper& h) { h.FilterInListAnd(Category, woodAndMetal, Favorite, "1"); },
         {"100% O'Neil", "apple", "cherry%"}},
        {"an empty list and a value", [&](DatabaseHelper& h) { h.FilterInListAnd(Category, none, Favorite, "1"); },
         {"100% O'Neil", "apple", "cherry%"}},
        {"a list and two values",
         [&](DatabaseHelper& h) { h.FilterInListAnd2(Category, woodAndONeil, Favorite, "0", Rating, "5"); },
         {"Banana"}},
        {"an empty list and two values",
         [&](DatabaseHelper& h) { h.FilterInListAnd2(Category, none, Favorite, "0", Rating, "1"); }, {"date_1"}},
        {"two values", [](DatabaseHelper& h) { h.FilterEqualsAnd(Favorite, "1", Rating, "5"); }, {"cherry%"}},
        {"three values",
         [](DatabaseHelper& h) { h.FilterEqualsAnd2(Favorite, "1", Rating, "3", Category, "'Metal'"); },
         {"100% O'Neil"}},
        {"search and a value", [](DatabaseHelper& h) { h.SearchAnd(Filename, "A", Favorite, "0"); },
         {"Banana", "date_1", "x'; drop table Frames; --"}},
        {"search and two values", [](DatabaseHelper& h) { h.SearchAnd2(Filename, "e", Favorite, "1", Rating, "5"); },
         {"cherry%"}},
    };
    for (const Case& c : cases) {
        c.select(helper);
        EXPECT_EQ(Names(), c.expected) << c.what;
    }
    // Nothing a search or filter was given reached the database as a statement.
    helper.EnsureRecordSet();
    EXPECT_EQ(helper.RecordSet()->Count(), static_cast<int32_t>(std::size(kFrames)));
}

TEST_F(DatabaseHelperTest, ReselectsFollowTheSortOrder) {
    struct Case {
        const char* sort;
        const char* second;
        bool ascending;
        std::function<void(DatabaseHelper&)> select;
        RowNames expected;
    };
    const Case cases[] = {
        // The second key sorts ascending whatever the first does.
        {"Rating", "Filename", false, [](DatabaseHelper& h) { h.EnsureRecordSet(); },
         {"Banana", "cherry%", "100% O'Neil", "apple", "date_1", "x'; drop table Frames; --"}},
        {"Rating", "Filename", false, [](DatabaseHelper& h) { h.FilterEqualsOne(Favorite); },
         {"cherry%", "100% O'Neil", "apple"}},
        {"lower(Filename)", nullptr, true, [](DatabaseHelper& h) { h.Search(Filename, ""); },
         {"100% O'Neil", "apple", "Banana", "cherry%", "date_1", "x'; drop table Frames; --"}},
        {"Filename", nullptr, false, [](DatabaseHelper& h) { h.FilterEquals(Rating, "3"); }, {"apple", "100% O'Neil"}},
        {"Favorite", "Filename", false, [](DatabaseHelper& h) { h.FilterEqualsText(Category, "Metal"); },
         {"100% O'Neil", "cherry%"}},
    };
    for (const Case& c : cases) {
        helper.SetSortOrder(c.sort, c.second, c.ascending);
        c.select(helper);
        EXPECT_EQ(Names(), c.expected) << c.sort << (c.ascending ? " ascending" : " descending");
    }
}

TEST_F(DatabaseHelperTest, AColumnOutsideTheTableIsRefused) {
    const std::vector<std::string> wood = {"Wood"};
    const std::function<void()> filters[] = {
        [&] { helper.FilterEquals(99, "1"); },
        [&] { helper.FilterEqualsOne(-1); },
        [&] { helper.Search(9, "a"); },
        [&] { helper.FilterInList(42, wood); },
        [&] { helper.FilterInListAnd(Category, wood, 9, "1"); },
        [&] { helper.FilterEqualsAnd(Favorite, "1", 17, "1"); },
    };
    for (const auto& filter : filters) EXPECT_THROW(filter(), CppSQLiteException);
}

TEST_F(DatabaseHelperTest, DeleteRemovesTheRowFromTableAndSet) {
    helper.EnsureRecordSet();
    CountingProgress progress;
    helper.DeleteRecords(rids["apple"], &progress);
    EXPECT_EQ(progress.GetTotal(), 1);
    EXPECT_EQ(progress.reported, std::vector<int32_t>{1});
    EXPECT_EQ(helper.RecordSet()->IndexOfRid(rids["apple"]), -1);
    QVDatabaseRecord probe(&db, "Frames");
    EXPECT_FALSE(probe.Exists(rids["apple"]));
    EXPECT_TRUE(probe.Exists(rids["Banana"]));
    EXPECT_EQ(helper.RecordSet()->Count(), static_cast<int32_t>(std::size(kFrames)) - 1);

    // A RID that is not in the set deletes nothing, even when its row exists.
    helper.FilterEqualsOne(Favorite);
    helper.DeleteRecords(rids["Banana"], nullptr);
    EXPECT_TRUE(probe.Exists(rids["Banana"]));
    helper.EnsureRecordSet();
    EXPECT_EQ(helper.RecordSet()->Count(), static_cast<int32_t>(std::size(kFrames)) - 1);
}

TEST_F(DatabaseHelperTest, FlagsAndValuesRoundTrip) {
    // Before any reselect there is no set: nothing is written, nothing is read.
    helper.SetFieldFlagOn(rids["Banana"], Favorite);
    EXPECT_EQ(ColumnOf(rids["Banana"], "Favorite"), 0);
    EXPECT_FALSE(helper.GetFieldFlag(0, Favorite));

    helper.EnsureRecordSet();
    const int32_t banana = helper.RecordSet()->IndexOfRid(rids["Banana"]);
    helper.SetFieldFlagOn(rids["Banana"], Favorite);
    EXPECT_EQ(ColumnOf(rids["Banana"], "Favorite"), 1);
    EXPECT_TRUE(helper.GetFieldFlag(banana, Favorite));
    EXPECT_EQ(helper.RecordSet()->RidAt(banana), rids["Banana"]) << "the set is left as it was";
    helper.SetFieldFlagOff(rids["Banana"], Favorite);
    EXPECT_EQ(ColumnOf(rids["Banana"], "Favorite"), 0);
    EXPECT_FALSE(helper.GetFieldFlag(banana, Favorite));

    helper.SetFieldValue(rids["Banana"], 4, Rating);
    EXPECT_EQ(ColumnOf(rids["Banana"], "Rating"), 4);
    EXPECT_TRUE(helper.GetFieldFlag(banana, Rating));

    // Indexes outside the set and columns outside the table read false; the record id column and
    // columns outside the table are never written.
    EXPECT_FALSE(helper.GetFieldFlag(-1, Favorite));
    EXPECT_FALSE(helper.GetFieldFlag(helper.RecordSet()->Count(), Favorite));
    EXPECT_FALSE(helper.GetFieldFlag(banana, 99));
    helper.SetFieldValue(rids["Banana"], 77, Rid);
    helper.SetFieldValue(rids["Banana"], 77, 99);
    QVDatabaseRecord probe(&db, "Frames");
    EXPECT_TRUE(probe.Exists(rids["Banana"]));
    EXPECT_FALSE(probe.Exists(77));
}

TEST(DatabaseHelperLists, TheOrListQuotesEveryText) {
    const std::vector<std::string> texts = {"Wood", "O'Neil"};
    EXPECT_EQ(DatabaseHelper::BuildWhereList("Category", texts), "Category = 'Wood' or Category = 'O''Neil'");
    EXPECT_EQ(DatabaseHelper::BuildWhereList("Category", {}), "");
}

}  // namespace
