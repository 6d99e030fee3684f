// The presets library: a presets folder of category sub-folders imported into the presets table,
// the browser's filters and sorts over it, favourite and rating changes kept in file and row
// alike, the builder that follows the folder step by step, and the files that fail alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "PresetsDatabaseBuilder.h"
#include "PresetsDatabaseHelper.h"
#include "PropertyListFile.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "TempFolder.h"
#include "Utf.h"
#include "VantrelFileUtils.h"

namespace {

struct PresetKeys {
    std::string category;
    std::optional<int32_t> favorite;
    std::optional<int32_t> rating;
};

// A preset file as the plug-in writes one: its texts, flags and a settings blob.
void WritePreset(const std::string& path, const PresetKeys& keys) {
    FileSpec::CreateParentFolder(path);
    PropertyListFile preset(path);
    ASSERT_TRUE(preset.HasDictionary()) << path;
    if (!keys.category.empty()) {
        ASSERT_TRUE(preset.SetString("Category", keys.category));
    }
    if (keys.favorite) {
        ASSERT_TRUE(preset.SetInt("Favorite", static_cast<uint32_t>(*keys.favorite)));
    }
    if (keys.rating) {
        ASSERT_TRUE(preset.SetInt("Rating", static_cast<uint32_t>(*keys.rating)));
    }
    ASSERT_TRUE(preset.SetString("Author", "Tester"));
    const std::vector<uint8_t> settings(64, 0x2A);
    ASSERT_TRUE(preset.SetData("QuorvelSettings", settings));
    ASSERT_TRUE(preset.Save()) << path;
}

void WriteText(const std::string& path, const std::string& text) {
    FileSpec::CreateParentFolder(path);
    const HANDLE file = CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// Moves the file's last-write time by whole seconds, so that its modification stamp changes.
void ShiftWriteTime(const std::string& path, int64_t seconds) {
    const HANDLE file = CreateFileW(Utf8ToUtf16(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME written;
    GetFileTime(file, nullptr, nullptr, &written);
    ULARGE_INTEGER t{{written.dwLowDateTime, written.dwHighDateTime}};
    t.QuadPart += static_cast<uint64_t>(seconds * 10000000);
    written = {t.LowPart, t.HighPart};
    SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
}

bool Exists(const std::string& path) { return GetFileAttributesW(Utf8ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

struct Row {
    int32_t rid = 0;
    std::string name, category;
    int32_t favorite = 0, rating = 0;
    uint32_t modification = 0;
    bool thumbnail = false;
    std::string path;
};

class PresetsLibraryTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(library.OpenAt((root / "QuorvelPresets.sdb").c_str()), 0); }

    std::string Preset(const std::string& relative) const { return presets + "\\" + relative; }

    // The table's rows by name.
    std::map<std::string, Row> Rows() {
        std::map<std::string, Row> rows;
        QVDatabaseRecordSet all(&library, "Presets");
        all.SelectAll("name", nullptr, true, false);
        for (int32_t i = 0; i < all.Count(); ++i) {
            QVPresetDatabaseRecord record(&library);
            all.RecordAt(i, record);
            record.Load({"name", "Category", "Favorite", "Rating", "modification", "Thumbnail"});
            Row row;
            row.rid = record.Rid();
            row.name = record.Field(0)->Text() ? record.Field(0)->Text() : "";
            row.category = record.Field(1)->Text() ? record.Field(1)->Text() : "";
            row.favorite = record.Field(2)->Integer();
            row.rating = record.Field(3)->Integer();
            row.modification = record.Field(4)->UnsignedLong();
            row.thumbnail = record.Field(5)->Kind() == FieldKind::Blob && record.Field(5)->Length() > 0;
            if (const char* path = record.GetPath()) row.path = path;
            EXPECT_TRUE(rows.emplace(row.name, row).second) << "two rows named " << row.name;
        }
        return rows;
    }

    // The names of the helper's record set, in its order.
    std::vector<std::string> Names(PresetsDatabaseHelper& helper) {
        std::vector<std::string> names;
        QVDatabaseRecordSet* set = helper.RecordSet();
        if (!set) return names;
        for (int32_t i = 0; i < set->Count(); ++i) {
            QVDatabaseRecord record(&library, "Presets");
            set->RecordAt(i, record);
            record.Load({"name"});
            names.push_back(record.Field(0)->Text() ? record.Field(0)->Text() : "");
        }
        return names;
    }

    // The standard folder: three categories' presets, one loose preset and a file that is none.
    void WriteStandardFolder() {
        WritePreset(Preset("Wedding\\Soft.qvo"), {"Wedding", std::nullopt, 2});
        WritePreset(Preset("Wedding\\Bold.qvo"), {"Wedding", 1, 4});
        WritePreset(Preset("Travel\\Sea.qvo"), {"Travel", 1, 2});
        WritePreset(Preset("Loose.qvo"), {"", 0, std::nullopt});
        WriteText(Preset("Wedding\\notes.txt"), "not a preset");
    }

    // Runs a builder over the presets folder to its end, bounded: the states it went through.
    std::vector<int32_t> Build() {
        PresetsDatabaseBuilder builder(&library, "Presets", presets);
        std::vector<int32_t> states{builder.GetState()};
        for (int i = 0; i < 1000 && !builder.Finished(); ++i) {
            builder.Step();
            if (states.back() != builder.GetState()) states.push_back(builder.GetState());
        }
        EXPECT_TRUE(builder.Finished());
        return states;
    }

    TempFolder root;
    std::string presets = root / "Presets";
    QVPresetsDatabase library;
};

const std::vector<int32_t> kAllStates = {0, 1, 2, 3, 4, 5, 6, 7};

TEST_F(PresetsLibraryTest, BuilderImportsThePresetsFolderByCategory) {
    WriteStandardFolder();
    EXPECT_EQ(Build(), kAllStates);

    const std::map<std::string, Row> rows = Rows();
    ASSERT_EQ(rows.size(), 4u);  // notes.txt is no preset
    EXPECT_EQ(rows.at("Soft.qvo").category, "Wedding");
    EXPECT_EQ(rows.at("Bold.qvo").category, "Wedding");
    EXPECT_EQ(rows.at("Sea.qvo").category, "Travel");
    EXPECT_EQ(rows.at("Loose.qvo").category, "Presets");  // the presets folder's own name
    EXPECT_EQ(rows.at("Bold.qvo").favorite, 1);
    EXPECT_EQ(rows.at("Bold.qvo").rating, 4);
    // A key the file lacks leaves the column empty.
    QVDatabaseRecordSet unset(&library, "Presets");
    unset.SelectEquals(nullptr, "Favorite is null", "name", nullptr, true);
    ASSERT_EQ(unset.Count(), 1);
    EXPECT_EQ(unset.RidAt(0), rows.at("Soft.qvo").rid);
    EXPECT_EQ(rows.at("Soft.qvo").rating, 2);
    for (const auto& [name, row] : rows) {
        EXPECT_FALSE(row.thumbnail) << name;  // presets are recorded without a picture
        EXPECT_EQ(row.modification, GetFileModDate(row.path)) << name;
        EXPECT_NE(row.modification, 0u) << name;
    }
    EXPECT_EQ(rows.at("Soft.qvo").path, Preset("Wedding\\Soft.qvo"));

    PresetsDatabaseHelper helper(&library, "Presets", presets);
    helper.InitCategories();
    EXPECT_EQ(helper.CategoryNames(), (std::vector<std::string>{"Travel", "Wedding"}));
}

TEST_F(PresetsLibraryTest, BuilderSkipsUnchangedPresetsReimportsChangedOnesAndDropsDeletedOnes) {
    WriteStandardFolder();
    Build();
    const std::map<std::string, Row> before = Rows();
    ASSERT_EQ(before.size(), 4u);

    // Nothing changed: every row stays under its RID.
    Build();
    std::map<std::string, Row> after = Rows();
    ASSERT_EQ(after.size(), 4u);
    for (const auto& [name, row] : before) EXPECT_EQ(after.at(name).rid, row.rid) << name;

    // Soft.qvo is rewritten with another rating, Sea.qvo is deleted, New.qvo appears.
    WritePreset(Preset("Wedding\\Soft.qvo"), {"Wedding", 1, 5});
    ShiftWriteTime(Preset("Wedding\\Soft.qvo"), 10);
    ASSERT_TRUE(DeleteFileW(Utf8ToUtf16(Preset("Travel\\Sea.qvo")).c_str()));
    WritePreset(Preset("Travel\\New.qvo"), {"Travel", std::nullopt, std::nullopt});
    EXPECT_EQ(Build(), kAllStates);

    after = Rows();
    EXPECT_EQ(after.size(), 4u);
    EXPECT_EQ(after.count("Sea.qvo"), 0u);
    ASSERT_EQ(after.count("New.qvo"), 1u);
    EXPECT_EQ(after.at("New.qvo").category, "Travel");
    ASSERT_EQ(after.count("Soft.qvo"), 1u);
    EXPECT_NE(after.at("Soft.qvo").rid, before.at("Soft.qvo").rid);
    EXPECT_EQ(after.at("Soft.qvo").rating, 5);
    EXPECT_EQ(after.at("Soft.qvo").favorite, 1);
    EXPECT_EQ(after.at("Bold.qvo").rid, before.at("Bold.qvo").rid);
    EXPECT_EQ(after.at("Loose.qvo").rid, before.at("Loose.qvo").rid);
}

TEST_F(PresetsLibraryTest, EmptyFolderRemovesEveryRowWhoseFileIsGoneAndRowsWithUnknownPathTypes) {
    WritePreset(Preset("Wedding\\Soft.qvo"), {"Wedding", std::nullopt, std::nullopt});
    Build();
    ASSERT_EQ(Rows().size(), 1u);
    // A row of a path type the library does not know cannot name a file.
    QVPresetDatabaseRecord odd(&library);
    odd.SetText(PresetsDatabaseHelper::kNameColumn, "Odd.qvo");
    odd.SetText(PresetsDatabaseHelper::kPathColumn, Preset("Wedding\\Soft.qvo").c_str());
    odd.SetInteger(PresetsDatabaseHelper::kPathTypeColumn, 12345);
    odd.Save();
    ASSERT_GT(odd.Rid(), 0);
    ASSERT_EQ(Rows().size(), 2u);

    Build();
    EXPECT_EQ(Rows().size(), 1u);  // the odd row went, the real preset stayed
    ASSERT_TRUE(DeleteFileW(Utf8ToUtf16(Preset("Wedding\\Soft.qvo")).c_str()));
    EXPECT_EQ(Build(), kAllStates);
    EXPECT_TRUE(Rows().empty());
}

TEST_F(PresetsLibraryTest, CorruptPresetFailsAloneAndTheRunFinishes) {
    WriteStandardFolder();
    WriteText(Preset("Wedding\\Broken.qvo"), "<?xml version=\"1.0\"?><plist><dict><key>Fa");
    WriteText(Preset("Travel\\Empty.qvo"), "");

    PresetsDatabaseHelper helper(&library, "Presets", presets);
    // Both corrupt files are refused by the quiet import, which finishes and lets its flags go.
    EXPECT_EQ(helper.ImportPresetQuietly(Preset("Wedding\\Broken.qvo")), 0);
    EXPECT_FALSE(helper.Importing());
    EXPECT_FALSE(helper.Quiet());
    // A preset named but not there is no preset either: no row stands for it.
    EXPECT_EQ(helper.ImportPresetQuietly(Preset("Wedding\\Gone.qvo")), 0);
    EXPECT_TRUE(Rows().empty());

    EXPECT_EQ(Build(), kAllStates);
    const std::map<std::string, Row> rows = Rows();
    EXPECT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows.count("Broken.qvo"), 0u);
    EXPECT_EQ(rows.count("Empty.qvo"), 0u);
    EXPECT_TRUE(Exists(Preset("Wedding\\Broken.qvo")));  // a failed import touches no file
}

TEST_F(PresetsLibraryTest, CancelledProgressEndsTheBuilderWithItsListsEmpty) {
    WriteStandardFolder();
    class StopAtSecond : public DatabaseProgress {
    public:
        bool SetProgress(int32_t current) override { return current >= 2; }
    };
    PresetsDatabaseBuilder builder(&library, "Presets", presets);
    builder.SetProgress(std::make_unique<StopAtSecond>());
    builder.SetShowProgress(true);
    for (int i = 0; i < 100 && !builder.Finished(); ++i) builder.Step();
    EXPECT_TRUE(builder.Finished());
    EXPECT_TRUE(builder.Candidates().empty());
    EXPECT_EQ(builder.Progress(), nullptr);
    EXPECT_EQ(Rows().size(), 1u);  // the first candidate only
}

TEST(PresetsBuilder, AStepThatKeepsFailingIsRepeatedAFewTimesThenPassedOver) {
    TempFolder root;
    WritePreset(root / "Presets\\Wedding\\Soft.qvo", {"Wedding", std::nullopt, std::nullopt});
    QVPresetsDatabase closed;  // never opened: every statement on it fails
    PresetsDatabaseBuilder builder(&closed, "Presets", root / "Presets");
    std::vector<int32_t> states;
    for (int i = 0; i < 50 && !builder.Finished(); ++i) {
        builder.Step();
        states.push_back(builder.GetState());
    }
    ASSERT_TRUE(builder.Finished());
    // Listing, gathering and the one import (which fails alone) go through; the reselect fails,
    // is tried again, and is passed over with no rows to check.
    std::vector<int32_t> expected = {1, 2, 2, 3};  // then 4 entered, and held while it fails
    for (int i = 0; i < PresetsDatabaseBuilder::kStepAttempts; ++i) expected.push_back(4);
    expected.insert(expected.end(), {6, 7});
    EXPECT_EQ(states, expected);
}

TEST_F(PresetsLibraryTest, FiltersSearchesAndSortsAnswerTheExpectedPresets) {
    WriteStandardFolder();
    Build();
    PresetsDatabaseHelper helper(&library, "Presets", presets);

    struct Case {
        const char* what;
        std::optional<int32_t> favorite, rating;
        const char* category;  // null: ShowAll
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"all", std::nullopt, std::nullopt, nullptr, {"Bold.qvo", "Loose.qvo", "Sea.qvo", "Soft.qvo"}},
        {"category", std::nullopt, std::nullopt, "Wedding", {"Bold.qvo", "Soft.qvo"}},
        {"category and favourite", 1, std::nullopt, "Wedding", {"Bold.qvo"}},
        {"category and rating", std::nullopt, 2, "Wedding", {"Soft.qvo"}},
        {"category, favourite and rating", 1, 2, "Travel", {"Sea.qvo"}},
        {"favourite", 1, std::nullopt, nullptr, {"Bold.qvo", "Sea.qvo"}},
        {"rating", std::nullopt, 2, nullptr, {"Sea.qvo", "Soft.qvo"}},
        {"favourite and rating", 1, 4, nullptr, {"Bold.qvo"}},
        {"a category with a quote", std::nullopt, std::nullopt, "O'Hare", {}},
    };
    for (const Case& c : cases) {
        helper.SetFavoriteFilter(c.favorite);
        helper.SetRatingFilter(c.rating);
        if (c.category) {
            helper.FilterByCategory(c.category);
        } else {
            helper.ShowAll();
        }
        EXPECT_EQ(Names(helper), c.names) << c.what;
    }

    helper.SetFavoriteFilter(std::nullopt);
    helper.SetRatingFilter(std::nullopt);
    helper.Search(PresetsDatabaseHelper::kNameColumn, "SO");
    EXPECT_EQ(Names(helper), (std::vector<std::string>{"Soft.qvo"}));

    helper.SortByRating();
    helper.ShowAll();
    const std::vector<std::string> byRating = Names(helper);
    ASSERT_EQ(byRating.size(), 4u);
    EXPECT_EQ(byRating[0], "Bold.qvo");  // rating 4 first, then the 2s by name
    EXPECT_EQ(byRating[1], "Sea.qvo");
    EXPECT_EQ(byRating[2], "Soft.qvo");

    helper.SortFavoritesFirst();
    helper.ShowAll();
    const std::vector<std::string> favoritesFirst = Names(helper);
    ASSERT_EQ(favoritesFirst.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(favoritesFirst.begin(), favoritesFirst.begin() + 2),
              (std::vector<std::string>{"Bold.qvo", "Sea.qvo"}));
}

TEST_F(PresetsLibraryTest, FavouriteAndRatingChangesReachFileAndRow) {
    WriteStandardFolder();
    Build();
    const int32_t rid = Rows().at("Soft.qvo").rid;
    const std::string path = Preset("Wedding\\Soft.qvo");
    ShiftWriteTime(path, -20);  // the rewrite must give the row a new stamp

    PresetsDatabaseHelper helper(&library, "Presets", presets);
    helper.ShowAll();
    helper.SetFieldFlagOn(rid, PresetsDatabaseHelper::kFavoriteColumn);
    helper.SetFieldValue(rid, 5, PresetsDatabaseHelper::kRatingColumn);

    const PropertyListFile file(path);
    int32_t favorite = 0, rating = 0;
    EXPECT_TRUE(file.GetInt("Favorite", favorite));
    EXPECT_TRUE(file.GetInt("Rating", rating));
    EXPECT_EQ(favorite, 1);
    EXPECT_EQ(rating, 5);
    std::string author;
    EXPECT_TRUE(file.GetString("Author", author));  // the rest of the preset is kept
    EXPECT_EQ(author, "Tester");

    Row row = Rows().at("Soft.qvo");
    EXPECT_EQ(row.favorite, 1);
    EXPECT_EQ(row.rating, 5);
    EXPECT_EQ(row.modification, GetFileModDate(path));
    Build();
    EXPECT_EQ(Rows().at("Soft.qvo").rid, rid);  // the next scan sees the preset unchanged

    helper.SetFieldFlagOff(rid, PresetsDatabaseHelper::kFavoriteColumn);
    EXPECT_TRUE(PropertyListFile(path).GetInt("Favorite", favorite));
    EXPECT_EQ(favorite, 0);
    EXPECT_EQ(Rows().at("Soft.qvo").favorite, 0);

    // A preset whose file cannot be rewritten (another program holds it open, sharing reads only)
    // keeps its row as the file is.
    const HANDLE held = CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    helper.SetFieldValue(rid, 1, PresetsDatabaseHelper::kRatingColumn);
    CloseHandle(held);
    EXPECT_TRUE(PropertyListFile(path).GetInt("Rating", rating));
    EXPECT_EQ(rating, 5);
    EXPECT_EQ(Rows().at("Soft.qvo").rating, 5);
}

TEST_F(PresetsLibraryTest, ImportCopiesIntoTheCategoryFolderAndRefusesCategoriesThatLeaveIt) {
    PresetsDatabaseHelper helper(&library, "Presets", presets);
    CreateDirectoryW(Utf8ToUtf16(presets).c_str(), nullptr);
    helper.InitCategories();
    struct Case {
        const char* file;
        const char* category;
        const char* destination;  // relative to the presets folder
    };
    const Case cases[] = {
        {"Trip.qvo", "Travel", "Travel\\Trip.qvo"},
        {"Plain.qvo", "", "Plain.qvo"},
        {"Up.qvo", "..", "Up.qvo"},
        {"Dots.qvo", "...", "Dots.qvo"},
        {"Out.qvo", "..\\..\\Out", "Out.qvo"},
        {"Slash.qvo", "a/b", "Slash.qvo"},
        {"Drive.qvo", "C:Evil", "Drive.qvo"},
    };
    const std::string incoming = root / "Incoming";
    std::vector<FileSpec> specs;
    for (const Case& c : cases) {
        WritePreset(incoming + "\\" + c.file, {c.category, std::nullopt, std::nullopt});
        specs.push_back(FileSpec::FromPath(incoming + "\\" + c.file));
    }
    EXPECT_EQ(helper.ImportFiles(specs, false), static_cast<int32_t>(std::size(cases)));
    const std::map<std::string, Row> rows = Rows();
    for (const Case& c : cases) {
        EXPECT_TRUE(Exists(Preset(c.destination))) << c.file;
        ASSERT_EQ(rows.count(c.file), 1u) << c.file;
        EXPECT_EQ(rows.at(c.file).path, Preset(c.destination)) << c.file;
    }
    // Nothing was made outside the presets folder.
    EXPECT_FALSE(Exists(root / "Out"));
    EXPECT_FALSE(Exists(root / "Out.qvo"));
    EXPECT_FALSE(Exists(presets + "\\a"));
    EXPECT_EQ(helper.CategoryNames(), (std::vector<std::string>{"Travel"}));

    // A non-quiet import of a preset already recorded replaces its row.
    const int32_t before = rows.at("Trip.qvo").rid;
    EXPECT_EQ(helper.ImportFolder({FileSpec::FromPath(Preset("Travel\\Trip.qvo"))}, false), 1);
    const std::map<std::string, Row> again = Rows();
    EXPECT_EQ(again.size(), rows.size());
    EXPECT_NE(again.at("Trip.qvo").rid, before);
}

TEST_F(PresetsLibraryTest, DeletingPresetsKeepsOrRemovesTheirFiles) {
    WriteStandardFolder();
    Build();
    PresetsDatabaseHelper helper(&library, "Presets", presets);
    helper.ShowAll();  // Bold, Loose, Sea, Soft
    helper.DeletePresets({0}, false, nullptr);
    EXPECT_TRUE(Exists(Preset("Wedding\\Bold.qvo")));
    EXPECT_EQ(Rows().count("Bold.qvo"), 0u);

    helper.ShowAll();  // Loose, Sea, Soft
    helper.DeletePresets({1, 2}, true, nullptr);
    EXPECT_FALSE(Exists(Preset("Travel\\Sea.qvo")));
    EXPECT_FALSE(Exists(Preset("Wedding\\Soft.qvo")));
    EXPECT_TRUE(Exists(Preset("Loose.qvo")));
    const std::map<std::string, Row> rows = Rows();
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.count("Loose.qvo"), 1u);
}

TEST(PresetsParentFolderName, NamesTheFolderThatHoldsThePath) {
    EXPECT_EQ(PresetsDatabaseHelper::ParentFolderName("E:\\P\\Wedding\\Soft.qvo"), "Wedding");
    EXPECT_EQ(PresetsDatabaseHelper::ParentFolderName("E:\\Soft.qvo"), "");
    EXPECT_EQ(PresetsDatabaseHelper::ParentFolderName("Soft.qvo"), "");
    EXPECT_EQ(PresetsDatabaseHelper::ParentFolderName("\\Soft.qvo"), "");
    EXPECT_EQ(PresetsDatabaseHelper::ParentFolderName("E:\\\\Soft.qvo"), "");
}

}  // namespace
