// The library browser's model in presets mode and the presets builder's working object: a
// DatabaseHelper over the presets table and the delegate of the preset importer.
//
// Preset files live in a presets folder whose sub-folders are the categories. The table mirrors
// them: each row keeps the preset's category (its folder's name), its favourite flag and rating
// (kept in the preset file as well) and the file's modification stamp, so that a later quiet scan
// can tell the files that changed from those that did not.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "DatabaseHelper.h"
#include "FileImporter.h"

class PresetsDatabaseHelper : public DatabaseHelper, public FileImporterDelegate {
public:
    // The columns of the presets table that the helper reads and writes.
    static constexpr int32_t kNameColumn = 1;
    static constexpr int32_t kPathTypeColumn = 2;
    static constexpr int32_t kPathColumn = 3;
    static constexpr int32_t kFavoriteColumn = 4;
    static constexpr int32_t kCategoryColumn = 8;
    static constexpr int32_t kRatingColumn = 9;
    static constexpr int32_t kModificationColumn = 10;

    // Paths of this many bytes or more are neither imported nor kept: they do not fit a file spec.
    static constexpr size_t kMaxPathBytes = FileSpec::kSize;

    // presetsFolder: the folder the library mirrors; none means the user's own presets folder.
    PresetsDatabaseHelper(QVDatabase* database, const char* table,
                          std::optional<std::string> presetsFolder = std::nullopt);
    ~PresetsDatabaseHelper() override;

    // Imports the preset files of the paths (the files inside folders included). Outside a quiet
    // import each file is first copied into the folder of its category. The number imported; 0
    // while another import runs or without a database. The copy flag is not used: whether a file
    // is copied is the quiet flag's business.
    int32_t ImportFolder(const std::vector<FileSpec>& paths, bool copy) override;
    int32_t ImportFiles(const std::vector<FileSpec>& paths, bool copy) override;
    // The builder's import of one file: no progress and no copy, a file whose one row has the
    // file's modification stamp is left alone, a changed one is recorded again under a new RID.
    int32_t ImportPresetQuietly(const std::string& path);

    // Appends the presets folder's sub-folders and then the files lying directly in it.
    void ListPresetFiles(std::vector<FileSpec>& specs);
    bool GetPresetsFolder(std::string& folder) const;

    // The category names: the presets folder's sub-folders (read once) and those added by
    // imports, sorted byte-wise.
    void InitCategories();
    void AddCategory(const std::string& name);
    const std::vector<std::string>& CategoryNames() const { return categoryNames_; }

    void SortFavoritesFirst() { SetSortOrder("Favorite", "name", false); }
    void SortByRating() { SetSortOrder("Rating", "name", false); }
    // The browser's favourite and rating filters, applied by FilterByCategory and ShowAll; none
    // clears a filter.
    void SetFavoriteFilter(std::optional<int32_t> favorite);
    void SetRatingFilter(std::optional<int32_t> rating);
    void FilterByCategory(const char* category);
    void ShowAll();

    // Deletes the rows at those indexes of the record set, with their preset files when withFiles
    // is set. The progress (which may be null) learns the count and may stop the run.
    void DeletePresets(const std::set<int32_t>& selection, bool withFiles, DatabaseProgress* progress);
    // Deletes row and file of each selected preset: false when the progress stopped the run (the
    // preset then being deleted keeps its file).
    bool DeletePresetFiles(const std::set<int32_t>& selection, DatabaseProgress* progress);

    // The favourite flag and the rating are kept in the preset file as well as in the row: the
    // file is rewritten (beside itself and renamed into place) and the row takes the file's new
    // modification stamp, so the next quiet scan sees the file as unchanged. A file that cannot be
    // rewritten leaves the row as it was, so that row and file never disagree.
    void SetFieldValue(int32_t rid, int32_t value, int32_t column) override;
    void SetFieldFlag(int32_t rid, int32_t column, bool flag) override;

    // The importer's progress display; not owned, null for none.
    void SetImportProgress(DatabaseProgress* progress) { importProgress_ = progress; }
    bool Importing() const { return importing_; }
    bool Quiet() const { return quiet_; }

    // The name of the folder that holds path: "Wedding" for E:\P\Wedding\Soft.qvo; empty when the
    // path has fewer than two backslashes.
    static std::string ParentFolderName(std::string_view path);

    // ---- the importer's delegate
    bool AcceptFile(const std::string& path) override;
    // Raises ErrorCodeException (-108) for a file that is missing or holds no property list.
    int32_t AddFileRecord(const std::string& path, const uint8_t* thumbnail, uint32_t thumbnailSize) override;
    bool ReportProgress(uint32_t current, uint32_t total) override;
    void ImportFinished(const std::vector<int32_t>& rids, int32_t imported, int32_t skipped, int32_t failed) override;
    bool ShouldCopyFile(const std::string& path) override { return !quiet_; }
    // The folder of the preset's category inside the presets folder (made when missing), or the
    // presets folder itself for a preset without a category or with one that cannot name a folder.
    void GetDestinationFolderForFile(std::string& folder, const std::string& path) override;

private:
    // Writes the preset file's key and the row's column for a flag or rating change.
    void WriteFileAndRow(int32_t rid, int32_t column, int32_t value, const char* key);
    void SelectWithFilters(const char* category);

    std::optional<std::string> presetsFolder_;
    bool categoriesLoaded_ = false;
    bool quiet_ = false;
    bool importing_ = false;
    DatabaseProgress* importProgress_ = nullptr;
    std::optional<std::string> favoriteFilter_;
    std::optional<std::string> ratingFilter_;
    std::vector<std::string> categoryNames_;
};
