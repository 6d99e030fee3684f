#include "PresetsDatabaseHelper.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "CppSQLite.h"
#include "ErrorCodes.h"
#include "PropertyListFile.h"
#include "QVDatabaseRecord.h"
#include "Quorvel.h"
#include "Utf.h"
#include "VantrelFileUtils.h"

namespace {

// The preset type list: the ".qvo" extension (and the type code of the same group), compared with
// the high bit of each character masked off.
constexpr uint32_t kTypeMask = 0x7f7f7f7f;
constexpr uint32_t kPresetTypes[] = {'.QVO', 'QVOS'};

bool IsPresetFile(const std::string& path) {
    const uint32_t code = FileSpec::ExtensionCode(path) & kTypeMask;
    return std::find(std::begin(kPresetTypes), std::end(kPresetTypes), code) != std::end(kPresetTypes);
}

constexpr const char* kFavoriteKey = "Favorite";
constexpr const char* kRatingKey = "Rating";
constexpr const char* kCategoryKey = "Category";

}  // namespace

PresetsDatabaseHelper::PresetsDatabaseHelper(QVDatabase* database, const char* table,
                                             std::optional<std::string> presetsFolder)
    : DatabaseHelper(database, table), presetsFolder_(std::move(presetsFolder)) {
    SetSortOrder("name", nullptr, true);
}

PresetsDatabaseHelper::~PresetsDatabaseHelper() = default;

bool PresetsDatabaseHelper::GetPresetsFolder(std::string& folder) const {
    if (presetsFolder_) {
        folder = *presetsFolder_;
        return !folder.empty();
    }
    return Quorvel::PresetsFolder(folder) == 0 && !folder.empty();
}

// ---- imports

int32_t PresetsDatabaseHelper::ImportFolder(const std::vector<FileSpec>& paths, bool) {
    if (importing_ || !database_) {
        // A quiet import that cannot run must not leave the next, visible one quiet.
        if (!importing_) quiet_ = false;
        return 0;
    }
    int32_t imported = 0;
    try {
        PresetsFileImporter importer(this, paths, database_);
        importing_ = true;
        imported = importer.Run();
    } catch (...) {
        // No memory for the importer: nothing was imported.
    }
    // ImportFinished clears both flags; a run that never started must not leave them set.
    importing_ = false;
    quiet_ = false;
    return imported;
}

int32_t PresetsDatabaseHelper::ImportFiles(const std::vector<FileSpec>& paths, bool) {
    return ImportFolder(paths, true);
}

int32_t PresetsDatabaseHelper::ImportPresetQuietly(const std::string& path) {
    if (importing_) return 0;
    quiet_ = true;
    return ImportFolder({FileSpec::FromPath(path)}, false);
}

void PresetsDatabaseHelper::ListPresetFiles(std::vector<FileSpec>& specs) {
    std::string folder;
    if (!GetPresetsFolder(folder) || folder.size() >= kMaxPathBytes) return;
    File presets(FileSpec::FromPath(folder), 0);
    presets.ListSubfolders(specs, false);
    presets.ListFiles(specs, false);
}

bool PresetsDatabaseHelper::AcceptFile(const std::string& path) {
    if (path.size() >= kMaxPathBytes || !IsPresetFile(path)) return false;
    int32_t pathType = 0;
    const std::string stored = database_->StorePath(path.c_str(), pathType);
    if (stored.empty()) return false;
    CppSQLiteBuffer quoted;
    QVDatabaseRecordSet rows(database_, TableName());
    rows.SelectEquals("Path", quoted.Format("%Q", stored.c_str()), nullptr, nullptr, true);
    if (rows.Count() == 0) return true;
    if (quiet_ && rows.Count() == 1) {
        QVDatabaseRecord row(database_, TableName());
        rows.RecordAt(0, row);
        row.Load({"modification"});
        const FieldValue* stamp = row.FindField("modification");
        if (stamp && stamp->UnsignedLong() == GetFileModDate(path)) return false;
    }
    // The file is new to the library or changed: its old rows give way to the one it gets now.
    rows.DeleteAll();
    return true;
}

int32_t PresetsDatabaseHelper::AddFileRecord(const std::string& path, const uint8_t*, uint32_t) {
    const std::string name = path.substr(FileSpec::NameOffset(path));
    if (!database_) throw ErrorCodeException{Err::MemoryFull};
    QVPresetDatabaseRecord record(database_);
    const std::string category = ParentFolderName(path);
    int32_t pathType = PathType::FullPath;
    std::string stored = database_->StorePath(path.c_str(), pathType);
    if (stored.empty()) {
        stored = path;
        pathType = PathType::FullPath;
    }
    record.SetText(kPathColumn, stored.c_str());
    record.SetText(kNameColumn, name.c_str());
    record.SetInteger(kPathTypeColumn, pathType);
    if (!category.empty()) record.SetText(kCategoryColumn, category.c_str());

    // A file that is not there (which the property list would read as an empty dictionary) or
    // that does not parse is no preset: it is not recorded, and the importer counts it failed.
    if (!(GetFileKind(path) & FileKind::kFile)) throw ErrorCodeException{Err::MemoryFull};
    const PropertyListFile preset(path);
    if (!preset.HasDictionary()) throw ErrorCodeException{Err::MemoryFull};
    int32_t value = 0;
    if (preset.GetInt(kFavoriteKey, value)) record.SetInteger(kFavoriteColumn, value);
    if (preset.GetInt(kRatingKey, value)) record.SetInteger(kRatingColumn, value);
    record.SetModification(GetFileModDate(path));
    record.Save();
    return record.Rid();
}

bool PresetsDatabaseHelper::ReportProgress(uint32_t current, uint32_t total) {
    if (quiet_ || !importProgress_) return false;
    importProgress_->SetTotal(static_cast<int32_t>(std::min<uint32_t>(total, INT32_MAX)));
    return importProgress_->SetProgress(static_cast<int32_t>(std::min<uint32_t>(current, INT32_MAX)));
}

void PresetsDatabaseHelper::ImportFinished(const std::vector<int32_t>&, int32_t, int32_t, int32_t) {
    quiet_ = false;
    importing_ = false;
}

void PresetsDatabaseHelper::GetDestinationFolderForFile(std::string& folder, const std::string& path) {
    folder.clear();
    std::string destination;
    if (!GetPresetsFolder(destination)) return;
    const PropertyListFile preset(path);
    std::string category;
    // A category is a folder name inside the presets folder: one holding a separator, a drive
    // colon or only dots would lead the copy out of it, so such a preset goes to the folder itself.
    if (preset.GetString(kCategoryKey, category) && Quorvel::IsUsableCategoryName(category)) {
        std::string categoryFolder = FileSpec::JoinPath(destination, category);
        VantrelFileUtils::CreateFolder(categoryFolder);
        if (GetFileKind(categoryFolder) & FileKind::kFolder) {
            AddCategory(category);
            destination = std::move(categoryFolder);
        }
    }
    folder = std::move(destination);
}

std::string PresetsDatabaseHelper::ParentFolderName(std::string_view path) {
    const size_t last = path.rfind('\\');
    if (last == std::string_view::npos || last == 0) return {};
    const std::string_view folder = path.substr(0, last);
    const size_t before = folder.rfind('\\');
    if (before == std::string_view::npos) return {};
    return std::string(folder.substr(before + 1));
}

// ---- categories

void PresetsDatabaseHelper::InitCategories() {
    if (!categoriesLoaded_) {
        std::string folder;
        if (GetPresetsFolder(folder) && folder.size() < kMaxPathBytes) {
            std::vector<FileSpec> subfolders;
            File(FileSpec::FromPath(folder), 0).ListSubfolders(subfolders, false);
            for (const FileSpec& spec : subfolders) {
                std::string name;
                if (spec.GetName(name) == 0 && !name.empty() &&
                    std::find(categoryNames_.begin(), categoryNames_.end(), name) == categoryNames_.end()) {
                    categoryNames_.push_back(std::move(name));
                }
            }
        }
        categoriesLoaded_ = true;
    }
    std::sort(categoryNames_.begin(), categoryNames_.end());
}

void PresetsDatabaseHelper::AddCategory(const std::string& name) {
    if (std::find(categoryNames_.begin(), categoryNames_.end(), name) != categoryNames_.end()) return;
    categoryNames_.push_back(name);
}

// ---- filters

void PresetsDatabaseHelper::SetFavoriteFilter(std::optional<int32_t> favorite) {
    favoriteFilter_ = favorite ? std::optional<std::string>(std::to_string(*favorite)) : std::nullopt;
}

void PresetsDatabaseHelper::SetRatingFilter(std::optional<int32_t> rating) {
    ratingFilter_ = rating ? std::optional<std::string>(std::to_string(*rating)) : std::nullopt;
}

void PresetsDatabaseHelper::SelectWithFilters(const char* category) {
    const char* fav = favoriteFilter_ ? favoriteFilter_->c_str() : nullptr;
    const char* rating = ratingFilter_ ? ratingFilter_->c_str() : nullptr;
    if (category) {
        if (fav && rating) {
            FilterEqualsTextAnd2(kCategoryColumn, category, kFavoriteColumn, fav, kRatingColumn, rating);
        } else if (fav) {
            FilterEqualsTextAnd(kCategoryColumn, category, kFavoriteColumn, fav);
        } else if (rating) {
            FilterEqualsTextAnd(kCategoryColumn, category, kRatingColumn, rating);
        } else {
            FilterEqualsText(kCategoryColumn, category);
        }
        return;
    }
    if (fav && rating) {
        FilterEqualsAnd(kFavoriteColumn, fav, kRatingColumn, rating);
    } else if (fav) {
        FilterEquals(kFavoriteColumn, fav);
    } else if (rating) {
        FilterEquals(kRatingColumn, rating);
    } else {
        EnsureRecordSet();
    }
}

void PresetsDatabaseHelper::FilterByCategory(const char* category) { SelectWithFilters(category ? category : ""); }

void PresetsDatabaseHelper::ShowAll() { SelectWithFilters(nullptr); }

// ---- deletes

void PresetsDatabaseHelper::DeletePresets(const std::set<int32_t>& selection, bool withFiles,
                                          DatabaseProgress* progress) {
    if (!recordSet_) return;
    if (withFiles) {
        DeletePresetFiles(selection, progress);
    } else {
        recordSet_->Delete(selection, nullptr);  // the rows only: the files stay on disk
    }
}

bool PresetsDatabaseHelper::DeletePresetFiles(const std::set<int32_t>& selection, DatabaseProgress* progress) {
    if (!recordSet_) return true;
    std::set<int32_t> rids;
    for (int32_t index : selection) {
        const int32_t rid = recordSet_->RidAt(index);
        if (rid > 0) rids.insert(rid);
    }
    if (progress) progress->SetTotal(static_cast<int32_t>(rids.size()));
    int32_t n = 0;
    for (int32_t rid : rids) {
        ++n;
        const int32_t index = recordSet_->IndexOfRid(rid);
        if (index < 0) continue;
        std::optional<std::string> path;
        QVPresetDatabaseRecord record(database_);
        if (recordSet_->RecordAt(index, record) == 0) {
            try {
                if (const char* resolved = record.GetPath()) path = resolved;
            } catch (const CppSQLiteException&) {
                // A row whose path cannot be read is deleted without a file.
            }
        }
        recordSet_->Delete({index}, nullptr);
        if (progress && progress->SetProgress(n)) return false;
        if (path) DeleteFileW(Utf8ToUtf16(*path).c_str());  // a file that cannot go is left
    }
    return true;
}

// ---- flag and rating

void PresetsDatabaseHelper::SetFieldFlag(int32_t rid, int32_t column, bool flag) {
    if (column != kFavoriteColumn) {
        DatabaseHelper::SetFieldFlag(rid, column, flag);
        return;
    }
    WriteFileAndRow(rid, column, flag ? 1 : 0, kFavoriteKey);
}

void PresetsDatabaseHelper::SetFieldValue(int32_t rid, int32_t value, int32_t column) {
    if (column != kRatingColumn) {
        // Only the rating lives in the file as a value: other columns are the row's alone.
        if (column == kFavoriteColumn) {
            SetFieldFlag(rid, column, value != 0);
        } else {
            DatabaseHelper::SetFieldValue(rid, value, column);
        }
        return;
    }
    WriteFileAndRow(rid, column, value, kRatingKey);
}

void PresetsDatabaseHelper::WriteFileAndRow(int32_t rid, int32_t column, int32_t value, const char* key) {
    if (!recordSet_ || recordSet_->IndexOfRid(rid) < 0) return;
    try {
        QVPresetDatabaseRecord record(database_);
        record.SetRid(rid);
        const char* resolved = record.GetPath();
        if (!resolved) return;
        const std::string path = resolved;
        PropertyListFile preset(path);
        // PropertyListFile writes beside the file and renames into place, so a failed write leaves
        // the preset whole; then the row keeps its value too, agreeing with the file.
        if (preset.HasDictionary() &&
            !(preset.SetInt(key, static_cast<uint32_t>(value)) && preset.Save())) {
            return;
        }
        QVDatabaseRecord row(database_, TableName());
        row.SetRid(rid);
        row.SetModification(GetFileModDate(path));
        row.SetInteger(column, value);
        row.Save();
    } catch (const CppSQLiteException&) {
        // A row that cannot be read keeps its value; the browser redraws what is stored.
    }
}
