#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "FileImporter.h"
#include "FileTestSupport.h"
#include "JpegFixtures.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "TempFolder.h"
#include "Utf.h"

namespace {

constexpr int32_t kFirstRid = 500;

// A delegate that takes .jpg files, records what the importer asks of it, and fails or stops
// where a test tells it to.
class RecordingDelegate : public FileImporterDelegate {
public:
    bool AcceptFile(const std::string& path) override {
        if (path == throwInAccept) throw std::runtime_error("accept");
        return path.size() >= 4 && path.compare(path.size() - 4, 4, ".jpg") == 0;
    }
    int32_t AddFileRecord(const std::string& path, const uint8_t* thumbnail, uint32_t thumbnailSize) override {
        if (path == throwInRecord) throw std::runtime_error("record");
        recorded.push_back(path);
        thumbnailSizes.push_back(thumbnail ? thumbnailSize : 0);
        rids.push_back(nextRid);
        return nextRid++;
    }
    void Notify(int32_t phase) override {
        phases.push_back(phase);
        if (throwInNotify) throw std::runtime_error("notify");
    }
    bool ReportProgress(uint32_t current, uint32_t total) override {
        progress.push_back({current, total});
        return current == stopAt;
    }
    void ImportFinished(const std::vector<int32_t>& result, int32_t imported, int32_t skipped, int32_t failed) override {
        ++finishedCalls;
        finishedRids = result;
        counts = {imported, skipped, failed};
    }
    void GetDestinationFolder(std::string& folder) override { folder = destination; }
    bool ConfirmImport(const std::string& target) override {
        confirmed.push_back(target);
        return target != veto;
    }

    std::string throwInAccept, throwInRecord, destination, veto;
    bool throwInNotify = false;
    uint32_t stopAt = 0;
    int32_t nextRid = kFirstRid;
    std::vector<std::string> recorded, confirmed;
    std::vector<uint32_t> thumbnailSizes;
    std::vector<int32_t> rids, phases, finishedRids;
    std::vector<std::pair<uint32_t, uint32_t>> progress;
    int finishedCalls = 0;
    std::vector<int32_t> counts;
};

const std::vector<int32_t> kAllPhases = {0, 1, 2, 3, 4};
constexpr Rect16 kThumbnail{0, 0, 32, 32};

class FileImporterTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(EncodeJpeg(FlatImage(16, 16, {90})).empty()); }

    // A frame file that loads.
    std::string Frame(const std::string& name) {
        const std::string path = root / name;
        EXPECT_TRUE(WriteBytes(path, EncodeJpeg(FlatImage(16, 16, {90})))) << path;
        return path;
    }
    std::string Junk(const std::string& name) {
        const std::string path = root / name;
        EXPECT_TRUE(WriteBytes(path, Bytes{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'})) << path;
        return path;
    }
    void Folder(const std::string& name) { CreateDirectoryW(Utf8ToUtf16(root / name).c_str(), nullptr); }

    std::vector<std::string> Relative(const std::vector<std::string>& paths) {
        std::vector<std::string> names;
        for (const std::string& path : paths) names.push_back(path.substr(root.Path().size() + 1));
        return names;
    }

    static std::vector<FileSpec> Specs(const std::vector<std::string>& paths) {
        std::vector<FileSpec> specs;
        for (const std::string& path : paths) specs.push_back(FileSpec::FromPath(path));
        return specs;
    }

    TempFolder root;
    RecordingDelegate delegate;
};

TEST_F(FileImporterTest, WalksEachFileOnceInByteOrderAndCountsEveryOutcome) {
    Folder("sub");
    Folder("sub\\deeper");
    Frame("a.jpg");
    Frame("B.jpg");
    Frame("sub\\c.jpg");
    Frame("sub\\deeper\\d.jpg");
    Frame("throws.jpg");
    Junk("broken.jpg");
    Junk("notes.txt");
    delegate.throwInRecord = root / "throws.jpg";

    // The folder, one of its files again, and a file that does not exist.
    FileImporter importer(&delegate, Specs({root.Path(), root / "a.jpg", root / "missing.jpg"}), kThumbnail, false);
    EXPECT_EQ(importer.Run(), 4);

    const std::vector<std::string> order = {"B.jpg",     "a.jpg",      "broken.jpg",       "missing.jpg",
                                            "notes.txt", "sub\\c.jpg", "sub\\deeper\\d.jpg", "throws.jpg"};
    EXPECT_EQ(Relative({importer.Entries().begin(), importer.Entries().end()}), order);
    EXPECT_EQ(Relative(delegate.recorded), (std::vector<std::string>{"B.jpg", "a.jpg", "sub\\c.jpg", "sub\\deeper\\d.jpg"}));
    for (uint32_t size : delegate.thumbnailSizes) EXPECT_GT(size, 32u) << "a thumbnail beyond its header";
    EXPECT_EQ(importer.Rids(), delegate.rids);
    EXPECT_EQ(delegate.finishedRids, delegate.rids);
    // imported: four frames; skipped: the text file; failed: the broken file, the missing one and
    // the one whose record could not be written.
    EXPECT_EQ(delegate.counts, (std::vector<int32_t>{4, 1, 3}));
    EXPECT_EQ(delegate.phases, kAllPhases);
    EXPECT_EQ(delegate.finishedCalls, 1);
    ASSERT_EQ(delegate.progress.size(), order.size());
    for (uint32_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(delegate.progress[i], std::make_pair(i + 1, static_cast<uint32_t>(order.size())));
    }
    EXPECT_EQ(importer.Run(), 0) << "an importer runs once";
    EXPECT_EQ(delegate.finishedCalls, 1);
}

TEST_F(FileImporterTest, ALinkedFolderIsNotFollowed) {
    // walk\link leads to outside, beside walk: a target without blanks, for the link maker's
    // command line.
    Folder("walk");
    Folder("outside");
    Frame("walk\\a.jpg");
    Frame("outside\\e.jpg");
    FolderLink link(root / "walk", "link", "../outside");
    if (!link.IsLink()) GTEST_SKIP() << "no folder link can be made here";
    ASSERT_NE(GetFileAttributesW(Utf8ToUtf16(root / "walk\\link\\e.jpg").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the link leads to the outside folder";

    // Named directly or met in the walk, the link is not walked.
    FileImporter importer(&delegate, Specs({root / "walk", root / "walk\\link"}), kThumbnail, false);
    EXPECT_EQ(importer.Run(), 1);
    EXPECT_EQ(Relative({importer.Entries().begin(), importer.Entries().end()}),
              std::vector<std::string>{"walk\\a.jpg"});
    EXPECT_EQ(delegate.phases, kAllPhases);
}

TEST_F(FileImporterTest, ADelegateThatThrowsFailsThatFileAndTheRunFinishes) {
    Frame("a.jpg");
    Frame("b.jpg");
    Frame("c.jpg");
    delegate.throwInAccept = root / "a.jpg";
    delegate.throwInRecord = root / "b.jpg";
    delegate.throwInNotify = true;  // every notification fails, and each is still sent

    FileImporter importer(&delegate, Specs({root.Path()}), Rect16{}, false);
    EXPECT_EQ(importer.Run(), 1);
    EXPECT_EQ(Relative(delegate.recorded), std::vector<std::string>{"c.jpg"});
    EXPECT_EQ(delegate.thumbnailSizes, std::vector<uint32_t>{0}) << "no thumbnail was asked for";
    EXPECT_EQ(delegate.counts, (std::vector<int32_t>{1, 0, 2}));
    EXPECT_EQ(delegate.phases, kAllPhases);
    EXPECT_EQ(delegate.finishedCalls, 1);
    EXPECT_EQ(delegate.progress.size(), 3u);
}

TEST_F(FileImporterTest, StoppingEndsTheRunAfterThatEntry) {
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"}) Frame(name);
    delegate.stopAt = 2;
    FileImporter importer(&delegate, Specs({root.Path()}), kThumbnail, false);
    EXPECT_EQ(importer.Run(), 2);
    EXPECT_TRUE(importer.Cancelled());
    EXPECT_EQ(Relative(delegate.recorded), (std::vector<std::string>{"1.jpg", "2.jpg"}));
    EXPECT_EQ(delegate.progress.size(), 2u);
    EXPECT_EQ(delegate.counts, (std::vector<int32_t>{2, 0, 0}));
    EXPECT_EQ(delegate.phases, kAllPhases);
    EXPECT_EQ(delegate.finishedCalls, 1);
}

TEST_F(FileImporterTest, AnEmptyListStillReportsEveryPhase) {
    FileImporter importer(&delegate, {}, kThumbnail, false);
    EXPECT_EQ(importer.Run(), 0);
    EXPECT_EQ(delegate.phases, kAllPhases);
    EXPECT_EQ(delegate.finishedCalls, 1);
    EXPECT_EQ(delegate.counts, (std::vector<int32_t>{0, 0, 0}));
    EXPECT_TRUE(delegate.finishedRids.empty());

    // Without a delegate a run imports nothing and does not fail.
    Frame("a.jpg");
    FileImporter alone(nullptr, Specs({root.Path()}), kThumbnail, false);
    EXPECT_EQ(alone.Run(), 0);
    EXPECT_EQ(alone.Entries().size(), 1u);
}

TEST_F(FileImporterTest, CopiesGoIntoTheDestinationFolderOrAreRefused) {
    TempFolder library("Quorvel library");
    Frame("kept.jpg");
    Frame("vetoed.jpg");
    delegate.destination = library.Path();
    delegate.veto = library / "vetoed.jpg";
    FileImporter importer(&delegate, Specs({root.Path()}), kThumbnail, true);
    EXPECT_EQ(importer.Run(), 1);
    EXPECT_EQ(delegate.recorded, std::vector<std::string>{library / "kept.jpg"});
    EXPECT_TRUE(FileExists(library / "kept.jpg"));
    EXPECT_FALSE(FileExists(library / "vetoed.jpg"));
    EXPECT_EQ(delegate.counts, (std::vector<int32_t>{1, 1, 0}));

    // A destination whose path would not fit a file spec is refused before anything is copied
    // or confirmed.
    RecordingDelegate distant;
    distant.destination = library.Path() + "\\" + std::string(FileSpec::kSize - library.Path().size() - 4, 'x');
    FileImporter refused(&distant, Specs({root / "kept.jpg"}), kThumbnail, true);
    EXPECT_EQ(refused.Run(), 0);
    EXPECT_TRUE(distant.confirmed.empty());
    EXPECT_EQ(distant.counts, (std::vector<int32_t>{0, 1, 0}));

    // A delegate that names no folder has the file imported where it is.
    RecordingDelegate inPlace;
    FileImporter here(&inPlace, Specs({root / "notes.txt"}), Rect16{}, true);
    here.Run();
    EXPECT_TRUE(inPlace.recorded.empty()) << "a missing file is taken as it is, and fails to load";
    EXPECT_EQ(inPlace.counts, (std::vector<int32_t>{0, 0, 1}));
}

// A presets delegate that writes its rows into the library, or hands out RIDs without rows.
class PresetsDelegate : public RecordingDelegate {
public:
    explicit PresetsDelegate(QVDatabase& library) : library_(library) {}
    int32_t AddFileRecord(const std::string& path, const uint8_t*, uint32_t) override {
        ++attempts;
        if (losesRows) return 900000 + attempts;
        QVPresetDatabaseRecord record(&library_);
        record.SetText(1, path.c_str());
        record.Save();
        return record.Rid();
    }
    bool losesRows = false;
    int attempts = 0;

private:
    QVDatabase& library_;
};

TEST_F(FileImporterTest, PresetRecordsAreReadBackAndALibraryThatLosesThemFailsTheFile) {
    QVPresetsDatabase library;
    ASSERT_EQ(library.OpenAt((root / "QuorvelPresets.sdb").c_str()), 0);
    PresetsDelegate kept(library);
    PresetsFileImporter importer(&kept, Specs({root / "One.jpg", root / "Two.jpg"}), &library);
    EXPECT_EQ(importer.Run(), 2);
    ASSERT_EQ(importer.Rids().size(), 2u);
    QVDatabaseRecord probe(&library, "Presets");
    for (int32_t rid : importer.Rids()) EXPECT_TRUE(probe.Exists(rid));

    PresetsDelegate losing(library);
    losing.losesRows = true;
    PresetsFileImporter lost(&losing, Specs({root / "One.jpg", root / "Two.jpg"}), &library);
    EXPECT_EQ(lost.Run(), 0);
    EXPECT_EQ(losing.attempts, 2 * PresetsFileImporter::kRecordAttempts);
    EXPECT_TRUE(lost.Rids().empty());
    EXPECT_EQ(losing.counts, (std::vector<int32_t>{0, 0, 2}));
    EXPECT_EQ(losing.phases, kAllPhases);
}

}  // namespace
