#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FramesDatabaseHelper.h"
#include "JpegFixtures.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "QVDatabaseRecordSet.h"
#include "TempFolder.h"
#include "ThumbnailGenerator.h"
#include "Utf.h"

namespace {

// A progress display that records what it is told and asks to stop at one step.
class RecordingProgress : public DatabaseProgress {
public:
    // The steps go to log (the progress's own when null), which outlives a display the helper
    // made and let go.
    explicit RecordingProgress(int32_t stopAt, std::vector<int32_t>* log = nullptr)
        : stopAt_(stopAt), log_(log ? log : &steps) {}
    bool SetProgress(int32_t current) override {
        log_->push_back(current);
        return current == stopAt_;
    }
    std::vector<int32_t> steps;

private:
    int32_t stopAt_;
    std::vector<int32_t>* log_;
};

// The helper with its dialogs replaced: the progress displays it makes and the phases it hears
// are recorded, and the replace question answers as the test says.
class TestHelper : public FramesDatabaseHelper {
public:
    using FramesDatabaseHelper::FramesDatabaseHelper;

    void Notify(int32_t phase) override { phases.push_back(phase); }
    void ImportFinished(const std::vector<int32_t>& rids, int32_t imported, int32_t skipped, int32_t failed) override {
        finished.push_back({imported, skipped, failed});
        finishedRids = rids;
        FramesDatabaseHelper::ImportFinished(rids, imported, skipped, failed);
    }

    std::vector<int32_t> phases, finishedRids;
    std::vector<std::vector<int32_t>> finished;
    std::vector<std::string> stages;
    std::vector<int32_t> lastSteps;  // of the last progress display made
    int32_t stopAt = 0;
    bool replace = true;
    int replaceQuestions = 0;

protected:
    std::unique_ptr<DatabaseProgress> CreateProgress(const char* stage) override {
        stages.push_back(stage);
        lastSteps.clear();
        return std::make_unique<RecordingProgress>(stopAt, &lastSteps);
    }
    bool ConfirmReplace() override {
        ++replaceQuestions;
        return replace;
    }
};

// What a picture blob's header says.
PictureHeader::Layout Describe(const uint8_t* bytes, uint32_t size) {
    PictureHeader::Layout layout;
    if (!bytes || !PictureHeader::Describe(bytes, size, layout)) return {};
    return layout;
}

class FramesLibraryTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(db.OpenAt((library / "Quorvel.sdb").c_str()), 0);
        CreateDirectoryW(Utf8ToUtf16(library / "in").c_str(), nullptr);
        helper.SetCategoryNames({"Grunge", "Artistic", "Edges"});
    }

    std::string In(const std::string& name) const { return library / ("in\\" + name); }
    void Folder(const std::string& name) { CreateDirectoryW(Utf8ToUtf16(In(name)).c_str(), nullptr); }
    std::string Write(const std::string& name, const JpegImage& image) {
        const std::string path = In(name);
        EXPECT_TRUE(WriteBytes(path, EncodeJpeg(image))) << path;
        return path;
    }
    // A colour image of width x height with a gradient, so that no sampler can get away with one
    // value.
    static JpegImage Colour(int width, int height) {
        return MakeImage(width, height, 3, [](int x, int y, uint8_t* pixel) {
            pixel[0] = static_cast<uint8_t>(x);
            pixel[1] = static_cast<uint8_t>(y);
            pixel[2] = 90;
        });
    }
    // A mask dark over a rectangle inset by `inset` pixels (or outside it when `outside`).
    static JpegImage Mask(int width, int height, int inset, bool outside) {
        return MakeImage(width, height, 1, [=](int x, int y, uint8_t* pixel) {
            const bool inside = x >= inset && y >= inset && x < width - inset && y < height - inset;
            pixel[0] = inside != outside ? 0 : 255;
        });
    }
    // The carved three-file frame: a colour image and its inner and outer masks.
    void WriteSet(const std::string& name, int width, int height) {
        Write(name + ".FRR", Colour(width, height));
        Write(name + ".FRI", Mask(width, height, 96, false));
        Write(name + ".FRO", Mask(width, height, 16, true));
    }
    // The fixture folder: a three-file set, a single colour frame, a grey frame two folders down,
    // a broken JPEG and a file that is no frame.
    void WriteFixture() {
        WriteSet("Carved", 1024, 768);
        Write("Edges 01.jpg", Colour(256, 192));
        Folder("sub");
        Folder("sub\\deeper");
        Write("sub\\deeper\\Grunge 02.jpg", Mask(600, 300, 40, false));
        ASSERT_TRUE(WriteBytes(In("broken.jpg"), Bytes{0xFF, 0xD8, 'n', 'o', 't'}));
        ASSERT_TRUE(WriteBytes(In("notes.txt"), Bytes{'h', 'i'}));
    }

    int32_t Import(const std::vector<std::string>& paths, bool copy = false) {
        std::vector<FileSpec> specs;
        for (const std::string& path : paths) specs.push_back(FileSpec::FromPath(path));
        return helper.ImportFolder(specs, copy);
    }

    // The RIDs of a table's rows, in RID order.
    std::vector<int32_t> Rows(int table) {
        QVDatabaseRecordSet rows(&db, LibraryTableDef(table).name);
        rows.SelectAll("RID", nullptr, true, false);
        std::vector<int32_t> rids;
        for (int32_t i = 0; i < rows.Count(); ++i) rids.push_back(rows.RidAt(i));
        return rids;
    }
    // The Frames row stored for a file name: its RID and category, read back.
    struct Row {
        int32_t rid = 0;
        std::string category, path;
        std::vector<uint8_t> thumbnail;
    };
    Row RowNamed(const std::string& name) {
        QVDatabaseRecordSet rows(&db, "Frames");
        const std::string texts[] = {name};
        rows.SelectWhere(DatabaseHelper::BuildWhereList("Filename", texts).c_str(), nullptr, nullptr, true);
        Row row;
        if (rows.Count() != 1) return row;
        QVDatabaseRecord record(&db, "Frames");
        record.SetRid(rows.RidAt(0));
        record.Load({"Category", "Path", "Thumbnail"});
        row.rid = rows.RidAt(0);
        row.category = record.Field(0)->Text() ? record.Field(0)->Text() : "";
        row.path = record.Field(1)->Text() ? record.Field(1)->Text() : "";
        if (const uint8_t* bytes = record.Field(2)->BlobBytes()) row.thumbnail.assign(bytes, bytes + record.Field(2)->Length());
        return row;
    }
    std::vector<int32_t> RecordSetRids() {
        std::vector<int32_t> rids;
        for (int32_t i = 0; i < helper.RecordSet()->Count(); ++i) rids.push_back(helper.RecordSet()->RidAt(i));
        return rids;
    }
    int32_t IndexOf(int32_t rid) { return helper.RecordSet()->IndexOfRid(rid); }

    TempFolder library;
    QVDatabase db;
    TestHelper helper{&db, "Frames"};
};

TEST_F(FramesLibraryTest, ImportsAFixtureFolderWithItsCountsCategoriesThumbnailsAndPreviews) {
    WriteFixture();
    EXPECT_EQ(Import({In("")}), 3);

    // Seven files walked: the set's two masks and the text file are skipped, the broken JPEG fails
    // alone and the run goes on.
    EXPECT_EQ(helper.phases, (std::vector<int32_t>{0, 1, 2, 3, 4}));
    ASSERT_EQ(helper.finished.size(), 1u);
    EXPECT_EQ(helper.finished[0], (std::vector<int32_t>{3, 3, 1}));
    ASSERT_EQ(helper.stages, (std::vector<std::string>{"Importing Frames"}));
    EXPECT_EQ(helper.lastSteps, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_FALSE(helper.Importing());

    struct Expected {
        const char* name;
        const char* category;
        const char* storedPath;  // relative to the library's folder
        int thumbnailWidth, thumbnailHeight, channels;  // the preview's channels too
        int previewWidth, previewHeight;
        bool masks;
    };
    // A single-image frame is a mask, grey in one plane whatever the colours of its file; a
    // three-file frame keeps the colours of its colour image.
    const Expected cases[] = {
        {"Carved.FRR", "User", "in\\Carved.FRR", 128, 96, 3, 512, 384, true},
        {"Edges 01.jpg", "Edges", "in\\Edges 01.jpg", 128, 96, 1, 512, 384, false},
        {"Grunge 02.jpg", "Grunge", "in\\sub\\deeper\\Grunge 02.jpg", 128, 64, 1, 512, 256, false},
    };
    std::vector<int32_t> rids;
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.name);
        const Row row = RowNamed(c.name);
        ASSERT_GT(row.rid, 0);
        rids.push_back(row.rid);
        EXPECT_EQ(row.category, c.category);
        EXPECT_EQ(row.path, c.storedPath);
        const PictureHeader::Layout thumbnail = Describe(row.thumbnail.data(), static_cast<uint32_t>(row.thumbnail.size()));
        EXPECT_EQ(thumbnail.width, c.thumbnailWidth);
        EXPECT_EQ(thumbnail.height, c.thumbnailHeight);
        EXPECT_EQ(thumbnail.channels, c.channels);

        QVFrameDatabaseRecord frame(&db);
        frame.SetRid(row.rid);
        // Each getter before its size: the size is of the picture the getter loaded.
        const uint8_t* rgb = frame.GetRGBPreview();
        const PictureHeader::Layout preview = Describe(rgb, frame.RGBPreviewSize());
        EXPECT_EQ(preview.width, c.previewWidth);
        EXPECT_EQ(preview.height, c.previewHeight);
        EXPECT_EQ(preview.channels, c.channels);
        const uint8_t* innerBytes = frame.GetInMaskPreview();
        const PictureHeader::Layout inner = Describe(innerBytes, frame.InMaskPreviewSize());
        const uint8_t* outerBytes = frame.GetOutMaskPreview();
        const PictureHeader::Layout outer = Describe(outerBytes, frame.OutMaskPreviewSize());
        EXPECT_EQ(inner.width, c.masks ? c.previewWidth : 0);
        EXPECT_EQ(inner.height, c.masks ? c.previewHeight : 0);
        EXPECT_EQ(outer.width, c.masks ? c.previewWidth : 0);
        if (c.masks) {
            EXPECT_EQ(inner.channels, 1);
        }
    }
    EXPECT_EQ(std::set<int32_t>(helper.finishedRids.begin(), helper.finishedRids.end()),
              std::set<int32_t>(rids.begin(), rids.end()));
    EXPECT_EQ(Rows(LibraryTable::Frames).size(), 3u);
    EXPECT_EQ(Rows(LibraryTable::RGBPreviews).size(), 3u);
    EXPECT_EQ(Rows(LibraryTable::InMaskPreviews), (std::vector<int32_t>{RowNamed("Carved.FRR").rid}));
    EXPECT_EQ(Rows(LibraryTable::OutMaskPreviews), (std::vector<int32_t>{RowNamed("Carved.FRR").rid}));
}

TEST_F(FramesLibraryTest, AFrameImportedAgainReplacesItsRowUnderANewRid) {
    WriteFixture();
    ASSERT_EQ(Import({In("")}), 3);
    const int32_t before = RowNamed("Carved.FRR").rid;
    ASSERT_EQ(Import({In("Carved.FRR")}), 1);

    const int32_t after = RowNamed("Carved.FRR").rid;  // RowNamed finds exactly one row or none
    EXPECT_GT(after, before);
    EXPECT_EQ(Rows(LibraryTable::Frames).size(), 3u);
    // The old row's previews went with it; the new row has its own.
    for (const int table : {LibraryTable::RGBPreviews, LibraryTable::InMaskPreviews, LibraryTable::OutMaskPreviews}) {
        const std::vector<int32_t> rows = Rows(table);
        EXPECT_EQ(std::count(rows.begin(), rows.end(), before), 0) << table;
        EXPECT_EQ(std::count(rows.begin(), rows.end(), after), 1) << table;
    }
    EXPECT_EQ(Rows(LibraryTable::RGBPreviews).size(), 3u);
}

TEST_F(FramesLibraryTest, AnImportIntoTheLibraryCopiesTheSetIntoTheUserFramesFolder) {
    WriteSet("Copied", 64, 48);
    std::string folder;
    helper.GetDestinationFolder(folder);
    EXPECT_EQ(folder, library / "Frames\\User\\");
    EXPECT_NE(GetFileAttributesW(Utf8ToUtf16(folder).c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_EQ(Import({In("Copied.FRR")}, true), 1);
    EXPECT_EQ(RowNamed("Copied.FRR").path, "Frames\\User\\Copied.FRR");
    for (const char* name : {"Copied.FRR", "Copied.FRI", "Copied.FRO"}) EXPECT_TRUE(FileExists(folder + name)) << name;
    EXPECT_EQ(helper.replaceQuestions, 0);

    // Once it is there, a second copy asks the alert's owner; no replaces nothing.
    helper.SetAlertOwner(GetDesktopWindow());
    helper.replace = false;
    EXPECT_EQ(Import({In("Copied.FRR")}, true), 0);
    EXPECT_EQ(helper.replaceQuestions, 1);
    EXPECT_EQ(helper.finished.back(), (std::vector<int32_t>{0, 1, 0}));
    EXPECT_GT(RowNamed("Copied.FRR").rid, 0);
    helper.replace = true;
    const int32_t before = RowNamed("Copied.FRR").rid;
    EXPECT_EQ(Import({In("Copied.FRR")}, true), 1);
    EXPECT_GT(RowNamed("Copied.FRR").rid, before);
}

TEST_F(FramesLibraryTest, ASecondImportIsRefusedWhileOneRuns) {
    // An import that starts another from its own progress report gets nothing from the second.
    class Reentrant : public TestHelper {
    public:
        using TestHelper::TestHelper;
        bool ReportProgress(uint32_t current, uint32_t total) override {
            inner = ImportFolder({FileSpec::FromPath(path)}, false);
            return TestHelper::ReportProgress(current, total);
        }
        std::string path;
        int32_t inner = -1;
    } reentrant(&db, "Frames");
    reentrant.path = Write("Edges 01.jpg", Colour(32, 32));
    EXPECT_EQ(reentrant.ImportFolder({FileSpec::FromPath(reentrant.path)}, false), 1);
    EXPECT_EQ(reentrant.inner, 0);
    EXPECT_FALSE(reentrant.Importing());
}

TEST_F(FramesLibraryTest, CategoriesAreTheNearestNameBelowThatTheFileNameHolds) {
    struct Case {
        std::vector<std::string> names;
        const char* file;
        const char* category;
    };
    const Case cases[] = {
        {{"Artistic", "Edges", "Grunge"}, "Edges 01.frm", "Edges"},
        {{"Artistic", "Edges", "Grunge"}, "Zebra.frm", "User"},
        {{"Artistic", "Edges", "Grunge"}, "Abstract.frm", "User"},
        // The first name of the list is found like any other, next to the name or further back.
        {{"Artistic", "Edges", "Grunge"}, "Artistic 01.frm", "Artistic"},
        {{"Abstract", "Antique", "Art Deco", "Baroque"}, "Aztec Abstract.frm", "Abstract"},
        {{"Edges"}, "Edges 01.frm", "Edges"},
        {{"Artistic", "Edges", "Edges Grunge"}, "Edges Grunge 02.frm", "Edges Grunge"},
        // Searched back while the names share the file's first letter.
        {{"Artistic", "Edges", "Edges Grunge", "Eggs"}, "Edges of Eggs.frm", "Edges"},
        {{"Artistic", "Bold", "Ex Old", "Ey"}, "Exa Bold.frm", "User"},
        {{}, "Edges 01.frm", "User"},
        {{"Artistic", "Edges"}, "", "User"},
    };
    for (const Case& c : cases) {
        helper.SetCategoryNames(c.names);
        EXPECT_EQ(helper.CategoryForName(c.file), c.category) << c.file;
    }
}

TEST_F(FramesLibraryTest, FiltersSelectByCategoryFavouriteAndRating) {
    WriteFixture();
    Write("Edges 02.jpg", Colour(32, 32));
    Write("Grunge 03.jpg", Colour(32, 32));
    ASSERT_EQ(Import({In("")}), 5);
    const int32_t carved = RowNamed("Carved.FRR").rid, edges1 = RowNamed("Edges 01.jpg").rid,
                  edges2 = RowNamed("Edges 02.jpg").rid, grunge2 = RowNamed("Grunge 02.jpg").rid,
                  grunge3 = RowNamed("Grunge 03.jpg").rid;
    helper.ShowAll();
    // Favourites: Edges 01, Grunge 02, Carved; ratings: Edges 01 and Grunge 03 have 4.
    for (const int32_t rid : {edges1, grunge2, carved}) helper.SetFieldFlagOn(rid, 5);
    for (const int32_t rid : {edges1, grunge3}) helper.SetFieldValue(rid, 4, 8);

    struct Case {
        int32_t favorite, rating;
        std::vector<int32_t> edges, edgesOrGrunge, all;
    };
    const Case cases[] = {
        {0, 0, {edges1, edges2}, {edges1, edges2, grunge2, grunge3}, {carved, edges1, edges2, grunge2, grunge3}},
        {1, 0, {edges1}, {edges1, grunge2}, {carved, edges1, grunge2}},
        {0, 4, {edges1}, {edges1, grunge3}, {edges1, grunge3}},
        {1, 4, {edges1}, {edges1}, {edges1}},
    };
    const std::vector<std::string> edgesOrGrunge = {"Edges", "Grunge"};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "favourite " << c.favorite << " rating " << c.rating);
        helper.SetFavoriteFilter(c.favorite);
        helper.SetRatingFilter(c.rating);
        helper.FilterByCategory("Edges");
        EXPECT_EQ(RecordSetRids(), c.edges);
        helper.FilterByCategories(edgesOrGrunge);
        EXPECT_EQ(RecordSetRids(), c.edgesOrGrunge);
        helper.ShowAll();
        EXPECT_EQ(RecordSetRids(), c.all);
    }

    // Favourites first, then by name.
    helper.SetFavoriteFilter(0);
    helper.SetRatingFilter(0);
    helper.SortFavoritesFirst();
    helper.ShowAll();
    EXPECT_EQ(RecordSetRids(), (std::vector<int32_t>{carved, edges1, grunge2, edges2, grunge3}));
    helper.SortByRating();
    helper.ShowAll();
    EXPECT_EQ(RecordSetRids(), (std::vector<int32_t>{edges1, grunge3, carved, edges2, grunge2}));
}

TEST_F(FramesLibraryTest, DeletingFramesRemovesTheirRowsPreviewsAndCompanionFiles) {
    WriteSet("a", 32, 32);
    Write("b.frm", Colour(32, 32));
    for (const char* companion : {"b.frr", "b.fri"}) ASSERT_TRUE(WriteBytes(In(companion), Bytes{1}));
    Write("c.jpg", Colour(32, 32));
    // A three-file frame of its own whose files are c.jpg's companions by name: they are not c's
    // to delete while that frame is in the library.
    WriteSet("c", 32, 32);
    ASSERT_EQ(Import({In("a.FRR"), In("b.frm"), In("c.jpg"), In("c.frr")}), 4);
    const int32_t a = RowNamed("a.FRR").rid, b = RowNamed("b.frm").rid, c = RowNamed("c.jpg").rid;
    helper.ShowAll();

    helper.DeleteFrames({IndexOf(a), IndexOf(b), IndexOf(c)});
    EXPECT_EQ(helper.stages.back(), "Deleting Records");
    EXPECT_EQ(helper.lastSteps, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(RecordSetRids(), (std::vector<int32_t>{RowNamed("c.frr").rid}));
    EXPECT_EQ(Rows(LibraryTable::Frames).size(), 1u);
    EXPECT_EQ(Rows(LibraryTable::RGBPreviews).size(), 1u);
    EXPECT_EQ(Rows(LibraryTable::InMaskPreviews), Rows(LibraryTable::Frames));

    for (const char* gone : {"a.FRR", "a.FRI", "a.FRO", "b.frr", "b.fri"})
        EXPECT_FALSE(FileExists(In(gone))) << gone;
    for (const char* kept : {"b.frm", "c.jpg", "c.frr", "c.fri", "c.fro"}) EXPECT_TRUE(FileExists(In(kept))) << kept;
}

TEST_F(FramesLibraryTest, CompanionsAreFoundByTheDotInTheFileName) {
    // A dot in the folder's name is no extension: a frame file without one has no companions.
    const std::string folder = library / "set.d";
    CreateDirectoryW(Utf8ToUtf16(folder).c_str(), nullptr);
    for (const char* decoy : {"set.frr", "set.fro", "set.fri"}) ASSERT_TRUE(WriteBytes(library / decoy, Bytes{1}));
    ASSERT_TRUE(WriteBytes(folder + "\\frame", Bytes{1}));

    helper.DeleteCompanionFiles(folder + "\\frame");
    for (const char* decoy : {"set.frr", "set.fro", "set.fri"}) EXPECT_TRUE(FileExists(library / decoy)) << decoy;
    EXPECT_TRUE(FileExists(folder + "\\frame"));
}

TEST_F(FramesLibraryTest, StopAfterTheFirstDeletionLeavesTheOthers) {
    for (const char* name : {"x.jpg", "y.jpg", "z.jpg"}) Write(name, Colour(32, 32));
    ASSERT_EQ(Import({In("")}), 3);
    const int32_t x = RowNamed("x.jpg").rid, y = RowNamed("y.jpg").rid, z = RowNamed("z.jpg").rid;
    helper.ShowAll();

    RecordingProgress progress(1);
    EXPECT_FALSE(helper.DeleteFrameRecords({0, 1, 2, 7}, &progress));
    EXPECT_EQ(progress.GetTotal(), 3);
    EXPECT_EQ(RecordSetRids(), (std::vector<int32_t>{y, z}));
    EXPECT_EQ(Rows(LibraryTable::Frames), (std::vector<int32_t>{y, z}));
    EXPECT_GT(x, 0);

    // Without a stop the rest go; indexes outside the set are passed over.
    RecordingProgress all(0);
    EXPECT_TRUE(helper.DeleteFrameRecords({0, 1, 9}, &all));
    EXPECT_TRUE(Rows(LibraryTable::Frames).empty());
}

}  // namespace

namespace {

TEST_F(FramesLibraryTest, TheCategoryFileIsReadOnceIntoOneSortedListOfEveryDepth) {
    const auto entry = [](const std::string& name, const std::string& children = "") {
        return "<dict><key>name</key><string>" + name + "</string>" +
               (children.empty() ? "" : "<key>categories</key><array>" + children + "</array>") + "</dict>";
    };
    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array>" +
                            entry("Grunge", entry("Grunge Dark") + entry("Edges", entry("Edges Thin"))) +
                            "<dict><key>separator</key><true/></dict>" + entry("Artistic") + "</array></plist>\n";
    const std::string file = library / "QuorvelCategories.xml";
    ASSERT_TRUE(WriteBytes(file, Bytes(xml.begin(), xml.end())));

    helper.SetCategoryNames({});
    helper.InitCategories(file);
    EXPECT_EQ(helper.CategoryNames(),
              (std::vector<std::string>{"Artistic", "Edges", "Edges Thin", "Grunge", "Grunge Dark"}));
    EXPECT_EQ(helper.CategoryForName("Edges Thin 3.frm"), "Edges Thin");
    EXPECT_EQ(helper.CategoryForName("Grunge Dark 1.jpg"), "Grunge Dark");

    // Read once: a second call keeps the names it has.
    const std::string other = "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>" + entry("Zen") + "</array></plist>";
    ASSERT_TRUE(WriteBytes(file, Bytes(other.begin(), other.end())));
    helper.InitCategories(file);
    EXPECT_EQ(helper.CategoryNames().size(), 5u);
}

TEST(FramesLibraryFolder, ADestinationFolderTooLongForTheImporterIsRefused) {
    // A library folder so deep that its user frames folder does not fit the importer's text.
    TempFolder root;
    std::string folder = root.Path();
    while (folder.size() + 1 + FramesDatabaseHelper::kUserFramesFolder.size() < FramesDatabaseHelper::kDestinationCapacity) {
        folder += "\\" + std::string(60, 'd');
        ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(folder).c_str(), nullptr)) << folder.size();
    }
    QVDatabase db;
    ASSERT_EQ(db.OpenAt((folder + "\\Quorvel.sdb").c_str()), 0);
    FramesDatabaseHelper helper(&db, "Frames");
    std::string destination = "left over";
    helper.GetDestinationFolder(destination);
    EXPECT_EQ(destination, "");
    EXPECT_EQ(GetFileAttributesW(Utf8ToUtf16(folder + "\\Frames").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
