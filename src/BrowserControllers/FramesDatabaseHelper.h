// The library browser's model in frames mode: the Frames table of the frames library, and the
// delegate of the frame importer that writes a frame's row, its thumbnail and its previews.
//
// A frame is filed under the category whose name its file name holds; the helper keeps the
// category names, the browser's favourite and rating filters, and deletes frames together with
// the companion files of their three-file sets.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "DatabaseHelper.h"
#include "FileImporter.h"

class QVDatabase;
struct LayerState;

// The frame importer: loads each accepted frame file, records it with its thumbnail, and stores
// its colour preview and, for a three-file frame, its two mask previews. Each record and preview
// is read back before the importer goes on, since the browser binds its cells to what it reads.
class FramesFileImporter : public FileImporter {
public:
    // How often a record, thumbnail or preview that does not read back is written again before the
    // frame counts as failed: a library that keeps losing rows must not hold the run.
    static constexpr int kWriteAttempts = 3;

    // database: the frames library the records are read back from (not null for a working run).
    FramesFileImporter(FramesFileImporterDelegate* delegate, std::vector<FileSpec> paths, const Rect16& thumbnail,
                       bool copy, const Rect16& preview, QVDatabase* database);

protected:
    void ImportFile(uint32_t index, const std::string& entry) override;

private:
    // The steps after the row is written: false when the thumbnail or a preview did not stick.
    bool StoreThumbnailAndPreviews(int32_t& rid, const std::string& path, const std::vector<uint8_t>& thumbnail,
                                   const LayerState& loaded);

    FramesFileImporterDelegate* frames_;
    Rect16 preview_;
    QVDatabase* database_;
};

class FramesDatabaseHelper : public DatabaseHelper, public FramesFileImporterDelegate {
public:
    static constexpr Rect16 kThumbnailRect{0, 0, 128, 128};
    static constexpr Rect16 kPreviewRect{0, 0, 512, 512};
    // Paths this long or longer are not imported: they would not fit a file spec.
    static constexpr size_t kMaxImportPath = 1024;
    // The destination folder is handed to the importer as a text of at most this many bytes
    // (terminator included); a library folder that would give a longer one copies nothing.
    static constexpr size_t kDestinationCapacity = 512;
    // The sub-folder of the library folder that takes copied frames.
    static constexpr std::string_view kUserFramesFolder = "Frames\\User\\";
    // The category of a frame whose name holds no category name.
    static constexpr std::string_view kUserCategory = "User";
    // The companions of a three-file frame, in the order they are deleted.
    static constexpr std::string_view kCompanionExtensions[] = {"frr", "fro", "fri"};

    // The helper of a table of the frames library (the browser passes "Frames").
    FramesDatabaseHelper(QVDatabase* database, const char* table);
    ~FramesDatabaseHelper() override;

    // ---- import
    // Imports every frame file of the folders and files named; with copy set, each is first copied
    // into the library's user frames folder. The number of frames imported; 0 while an import
    // runs or without a database.
    int32_t ImportFolder(const std::vector<FileSpec>& paths, bool copy) override;
    // The files the user chose, imported as ImportFolder imports them.
    int32_t ImportFiles(const std::vector<FileSpec>& paths, bool copy) override;
    bool Importing() const { return importing_ != 0; }

    // ---- categories
    // Reads the category file once (the frames library's, or the one at path) into the sorted
    // name list; the names sort byte-wise. Without a readable file the list stays as it was.
    void InitCategories();
    void InitCategories(const std::string& path);
    // Replaces the name list (sorted here), for a browser that keeps its own tree.
    void SetCategoryNames(std::vector<std::string> names);
    const std::vector<std::string>& CategoryNames() const { return categoryNames_; }
    // The category of a frame file name: the nearest name below it in sort order that it holds,
    // searched back while the names share its first character; the user category when none does.
    std::string CategoryForName(std::string_view name) const;

    // ---- order and filters
    void SortFavoritesFirst() { SetSortOrder("Favorite", "Filename", false); }
    void SortByRating() { SetSortOrder("Rating", "Filename", false); }
    // 0 clears the filter; any other value restricts the reselects to rows holding it.
    void SetFavoriteFilter(int32_t value);
    void SetRatingFilter(int32_t value);
    void FilterByCategory(const char* category);
    void FilterByCategories(std::span<const std::string> categories);
    void ShowAll();

    // ---- deletion
    // Deletes the frames at those indexes of the record set with a progress display.
    void DeleteFrames(const std::set<int32_t>& selection);
    // Deletes the frames at those indexes (each row, its previews and its companion files); false
    // when the progress asked to stop, which ends the deletion after the frame in hand.
    bool DeleteFrameRecords(const std::set<int32_t>& selection, DatabaseProgress* progress);
    // Deletes the .frr, .fro and .fri files beside the frame file at path that share its name up to
    // its extension, but none while a frame of the library still names one of them. A name without
    // an extension gives no companions.
    void DeleteCompanionFiles(const std::string& path);

    // ---- the importer's delegate
    bool AcceptFile(const std::string& path) override;
    int32_t AddFileRecord(const std::string& path, const uint8_t* thumbnail, uint32_t thumbnailSize) override;
    bool ReportProgress(uint32_t current, uint32_t total) override;
    void ImportFinished(const std::vector<int32_t>& rids, int32_t imported, int32_t skipped, int32_t failed) override;
    bool ShouldCopyFile(const std::string& path) override;
    void GetDestinationFolder(std::string& folder) override;
    bool ConfirmImport(const std::string& destination) override;
    void StoreRGBPreview(int32_t rid, const uint8_t* bytes, uint32_t size) override;
    void StoreInMaskPreview(int32_t rid, const uint8_t* bytes, uint32_t size) override;
    void StoreOutMaskPreview(int32_t rid, const uint8_t* bytes, uint32_t size) override;

    // The window that owns the helper's alerts; none asks nothing and replaces without asking.
    void SetAlertOwner(HWND owner) { alertOwner_ = owner; }

protected:
    // The progress display of an import or a deletion, showing the stage text. The browser's
    // dialog overrides it; the plain one reports and never asks to stop.
    virtual std::unique_ptr<DatabaseProgress> CreateProgress(const char* stage);
    // Asks the alert owner whether a frame already in the library is to be replaced.
    virtual bool ConfirmReplace();

private:
    // The stored form of a path, or none when it has none.
    std::optional<std::string> StoredPath(const std::string& path, int32_t& pathType) const;
    // The RIDs of the rows whose Path is the stored path; ignoring case, as the file system does.
    std::vector<int32_t> RowsWithPath(const std::string& stored, bool ignoreCase = false);
    void DeleteRows(const std::vector<int32_t>& rids);
    void StorePreview(int table, int32_t rid, const uint8_t* bytes, uint32_t size);

    HWND alertOwner_ = nullptr;
    std::unique_ptr<DatabaseProgress> progress_;
    int32_t importing_ = 0;

    bool categoriesLoaded_ = false;
    int32_t favoriteFilter_ = 0;
    std::optional<std::string> favoriteFilterText_;
    int32_t ratingFilter_ = 0;
    std::optional<std::string> ratingFilterText_;
    std::string destinationFolder_;
    std::vector<std::string> categoryNames_;
    std::string userCategory_;
};
