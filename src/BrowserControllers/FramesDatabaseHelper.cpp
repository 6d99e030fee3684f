#include "FramesDatabaseHelper.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "AlertIds.h"
#include "Alerts.h"
#include "Categories.h"
#include "CppSQLite.h"
#include "ErrorCodes.h"
#include "HostMemory.h"
#include "ImageFile.h"
#include "LayerState.h"
#include "Quorvel.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "QVDatabaseRecordSet.h"
#include "Utf.h"
#include "WindowServices.h"

namespace {

// The Frames columns the helper reads and writes, by position.
namespace FramesColumn {
constexpr int Filename = 1;
constexpr int PathType = 2;
constexpr int Path = 3;
constexpr int Category = 4;
constexpr int Favorite = 5;
constexpr int Thumbnail = 7;
constexpr int Rating = 8;
}  // namespace FramesColumn
// The one column of the preview tables after their RID.
constexpr int kPreviewColumn = 1;

// The stage texts of the progress display.
constexpr const char* kImportingStage = "Importing Frames";
constexpr const char* kDeletingStage = "Deleting Records";

// The alert that asks whether a frame already in the library is to be replaced, its text, and the
// button that says yes.
constexpr const char* kReplaceQuestion =
    "The frame source files is already in the database. would you like to replace the frame?";
constexpr INT_PTR kAlertOk = 1;

const char* FramesTable() { return LibraryTableDef(LibraryTable::Frames).name; }

}  // namespace

// ---- the importer

FramesFileImporter::FramesFileImporter(FramesFileImporterDelegate* delegate, std::vector<FileSpec> paths,
                                       const Rect16& thumbnail, bool copy, const Rect16& preview, QVDatabase* database)
    : FileImporter(delegate, std::move(paths), thumbnail, copy), frames_(delegate), preview_(preview),
      database_(database) {}

void FramesFileImporter::ImportFile(uint32_t index, const std::string& entry) {
    if (!frames_) return;
    std::string path = entry;
    LayerState loaded;
    // A single-image frame is a mask: its thumbnail and preview are grey, in one plane, as the
    // renderer reads it and as the browser draws its preview. A three-file frame keeps the
    // colours of its colour image.
    if (!PrepareAndLoad(path, loaded, FrameLayout::kAsRendered)) return;
    const bool threePart = loaded.sourceKind == LayerState::kThreePart;
    BufferRecord& source = loaded.imageBuffers[threePart ? LayerState::kColourImage : LayerState::kFrameImage];
    const ImageInfo& sourceInfo = threePart ? loaded.partInfo[0] : loaded.frameInfo;
    if (source.size == 0) {
        RecordFailed();
        return;
    }
    const std::vector<uint8_t> thumbnail = MakeThumbnail(sourceInfo, &source, ThumbnailRectangle());
    int32_t rid = frames_->AddFileRecord(path, thumbnail.empty() ? nullptr : thumbnail.data(),
                                         static_cast<uint32_t>(thumbnail.size()));
    if (rid <= 0) {
        RecordFailed();
        return;
    }
    RecordImported(rid);
    // The row is written: from here a failure leaves the frame counted as imported and as failed,
    // so that the browser still shows the row it can bind to.
    bool stored = false;
    try {
        stored = StoreThumbnailAndPreviews(rid, path, thumbnail, loaded);
    } catch (...) {
        stored = false;
    }
    if (!stored) RecordFailed();
}

bool FramesFileImporter::StoreThumbnailAndPreviews(int32_t& rid, const std::string& path,
                                                   const std::vector<uint8_t>& thumbnail, const LayerState& loaded) {
    if (!database_) return false;
    const char* frames = LibraryTableDef(LibraryTable::Frames).name;
    const char* thumbnailColumn = LibraryTableDef(LibraryTable::Frames).columns[7].name;

    // The row, written again while it cannot be found.
    for (int attempt = 0;; ++attempt) {
        QVDatabaseRecord row(database_, frames);
        if (row.Exists(rid)) break;
        if (attempt + 1 >= kWriteAttempts) return false;
        rid = frames_->AddFileRecord(path, thumbnail.empty() ? nullptr : thumbnail.data(),
                                     static_cast<uint32_t>(thumbnail.size()));
        if (rid <= 0) return false;
    }
    // Its thumbnail, written again while it reads back empty. A thumbnail that could not be made
    // never reads back.
    for (int attempt = 0;; ++attempt) {
        QVDatabaseRecord row(database_, frames);
        row.SetRid(rid);
        row.Load({thumbnailColumn});
        const FieldValue* value = row.Field(0);
        if (value && value->Length() > 0) break;
        if (thumbnail.empty() || attempt + 1 >= kWriteAttempts) return false;
        QVDatabaseRecord update(database_, frames);
        update.SetRid(rid);
        update.SetBlob(7, thumbnail.data(), static_cast<uint32_t>(thumbnail.size()));
        update.Save();
    }

    // Each preview, stored again while its getter finds none.
    using Store = void (FramesFileImporterDelegate::*)(int32_t, const uint8_t*, uint32_t);
    using Get = const uint8_t* (QVFrameDatabaseRecord::*)();
    const auto storePreview = [&](const ImageInfo& info, const BufferRecord& buffer, Store store, Get get) {
        const std::vector<uint8_t> preview = MakeThumbnail(info, const_cast<BufferRecord*>(&buffer), preview_);
        if (preview.empty()) return false;
        for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
            (frames_->*store)(rid, preview.data(), static_cast<uint32_t>(preview.size()));
            QVFrameDatabaseRecord readBack(database_);
            readBack.SetRid(rid);
            if ((readBack.*get)()) return true;
        }
        return false;
    };
    if (loaded.sourceKind != LayerState::kThreePart) {
        return storePreview(loaded.frameInfo, loaded.imageBuffers[LayerState::kFrameImage],
                            &FramesFileImporterDelegate::StoreRGBPreview, &QVFrameDatabaseRecord::GetRGBPreview);
    }
    return storePreview(loaded.partInfo[0], loaded.imageBuffers[LayerState::kColourImage],
                        &FramesFileImporterDelegate::StoreRGBPreview, &QVFrameDatabaseRecord::GetRGBPreview) &&
           storePreview(loaded.partInfo[1], loaded.imageBuffers[LayerState::kInnerMask],
                        &FramesFileImporterDelegate::StoreInMaskPreview, &QVFrameDatabaseRecord::GetInMaskPreview) &&
           storePreview(loaded.partInfo[2], loaded.imageBuffers[LayerState::kOuterMask],
                        &FramesFileImporterDelegate::StoreOutMaskPreview, &QVFrameDatabaseRecord::GetOutMaskPreview);
}

// ---- the helper

FramesDatabaseHelper::FramesDatabaseHelper(QVDatabase* database, const char* table)
    : DatabaseHelper(database, table) {
    SetSortOrder("Filename", nullptr, true);
}

FramesDatabaseHelper::~FramesDatabaseHelper() = default;

std::unique_ptr<DatabaseProgress> FramesDatabaseHelper::CreateProgress(const char*) {
    return std::make_unique<DatabaseProgress>();
}

bool FramesDatabaseHelper::ConfirmReplace() {
    PlaceholderTable texts;
    texts.text[0] = kReplaceQuestion;
    return ShowAlertDialog(AlertIds::kReplaceFrame, alertOwner_, &texts, AlertKind::Caution) == kAlertOk;
}

// ---- import

int32_t FramesDatabaseHelper::ImportFolder(const std::vector<FileSpec>& paths, bool copy) {
    if (importing_ != 0 || !database_) return 0;
    if (!progress_) progress_ = CreateProgress(kImportingStage);
    importing_ = 1;
    FramesFileImporter importer(this, paths, kThumbnailRect, copy, kPreviewRect, database_);
    const int32_t imported = importer.Run();
    // ImportFinished lets go of both; a run that never reached it must not lock the helper.
    progress_.reset();
    importing_ = 0;
    return imported;
}

int32_t FramesDatabaseHelper::ImportFiles(const std::vector<FileSpec>& paths, bool copy) {
    return ImportFolder(paths, copy);
}

void FramesDatabaseHelper::ImportFinished(const std::vector<int32_t>&, int32_t, int32_t, int32_t) {
    progress_.reset();
    importing_ = 0;
}

bool FramesDatabaseHelper::ReportProgress(uint32_t current, uint32_t total) {
    if (!progress_) return false;
    progress_->SetTotal(static_cast<int32_t>(std::min<uint32_t>(total, INT32_MAX)));
    return progress_->SetProgress(static_cast<int32_t>(std::min<uint32_t>(current, INT32_MAX)));
}

bool FramesDatabaseHelper::ShouldCopyFile(const std::string&) {
    const uint16_t keys = GetModifierKeys();
    return (keys & (kModifierShift | kModifierAlt)) != (kModifierShift | kModifierAlt);
}

std::optional<std::string> FramesDatabaseHelper::StoredPath(const std::string& path, int32_t& pathType) const {
    if (!database_ || path.empty()) return std::nullopt;
    // Under the library's folder the path is kept relative to it, so the library can move.
    std::string stored = database_->StorePath(path.c_str(), pathType);
    if (stored.empty() || stored.size() >= QVDatabase::kPathCapacity) return std::nullopt;
    return stored;
}

std::vector<int32_t> FramesDatabaseHelper::RowsWithPath(const std::string& stored, bool ignoreCase) {
    const std::string texts[] = {stored};
    std::string where = BuildWhereList(LibraryTableDef(LibraryTable::Frames).columns[FramesColumn::Path].name, texts);
    if (ignoreCase) where += " collate nocase";
    QVDatabaseRecordSet rows(database_, FramesTable());
    rows.SelectWhere(where.c_str(), nullptr, nullptr, true);
    std::vector<int32_t> rids;
    for (int32_t index = 0; index < rows.Count(); ++index) rids.push_back(rows.RidAt(index));
    return rids;
}

void FramesDatabaseHelper::DeleteRows(const std::vector<int32_t>& rids) {
    // The previews go with their row through the library's delete trigger.
    for (const int32_t rid : rids) {
        std::array<char, 96> sql{};
        std::snprintf(sql.data(), sql.size(), "delete from %s where rid = %d;", FramesTable(), static_cast<int>(rid));
        database_->ExecDML(sql.data());
    }
}

bool FramesDatabaseHelper::AcceptFile(const std::string& path) {
    if (path.size() >= kMaxImportPath) return false;
    if (!FileTypeList::HoldsExtensionOf(ImageTypeList::kFrameFiles, path)) return false;
    int32_t pathType = 0;
    const std::optional<std::string> stored = StoredPath(path, pathType);
    if (!stored) return false;
    // A frame imported again replaces its row, which takes a new RID.
    DeleteRows(RowsWithPath(*stored));
    return true;
}

int32_t FramesDatabaseHelper::AddFileRecord(const std::string& path, const uint8_t* thumbnail, uint32_t thumbnailSize) {
    if (!database_) return 0;
    const std::string name = path.substr(FileSpec::NameOffset(path));
    int32_t pathType = PathType::FullPath;
    const std::optional<std::string> stored = StoredPath(path, pathType);
    if (!stored) return 0;
    const std::string category = CategoryForName(name);

    QVDatabaseRecord record(database_, FramesTable());
    record.SetText(FramesColumn::Path, stored->c_str());
    record.SetText(FramesColumn::Filename, name.c_str());
    record.SetInteger(FramesColumn::PathType, pathType);
    record.SetText(FramesColumn::Category, category.c_str());
    if (thumbnail && thumbnailSize > 0) record.SetBlob(FramesColumn::Thumbnail, thumbnail, thumbnailSize);
    record.Save();
    return record.Rid();
}

void FramesDatabaseHelper::GetDestinationFolder(std::string& folder) {
    folder.clear();
    if (destinationFolder_.empty()) {
        const char* library = database_ ? database_->Path() : nullptr;
        if (!library || !*library) return;
        std::string built = FileSpec::JoinPath(library, kUserFramesFolder);
        // A folder the importer's text cannot hold whole is refused rather than cut into another.
        if (built.size() >= kDestinationCapacity) return;
        if (!FileSpec::CreateParentFolder(FileSpec::JoinPath(built, "frame"))) return;
        destinationFolder_ = std::move(built);
    }
    folder = destinationFolder_;
}

bool FramesDatabaseHelper::ConfirmImport(const std::string& destination) {
    int32_t pathType = 0;
    const std::optional<std::string> stored = StoredPath(destination, pathType);
    if (!stored) return false;
    const std::vector<int32_t> rows = RowsWithPath(*stored);
    if (rows.empty() || !alertOwner_) return true;  // rows left are replaced by AcceptFile after the copy
    if (!ConfirmReplace()) return false;
    DeleteRows(rows);
    return true;
}

void FramesDatabaseHelper::StorePreview(int table, int32_t rid, const uint8_t* bytes, uint32_t size) {
    QVDatabaseRecord record(database_, LibraryTableDef(table).name);
    if (bytes) record.SetBlob(kPreviewColumn, bytes, size);
    if (!record.Exists(rid)) record.Create(rid);
    record.SetRid(rid);
    record.Save();
}

void FramesDatabaseHelper::StoreRGBPreview(int32_t rid, const uint8_t* bytes, uint32_t size) {
    StorePreview(LibraryTable::RGBPreviews, rid, bytes, size);
}

void FramesDatabaseHelper::StoreInMaskPreview(int32_t rid, const uint8_t* bytes, uint32_t size) {
    StorePreview(LibraryTable::InMaskPreviews, rid, bytes, size);
}

void FramesDatabaseHelper::StoreOutMaskPreview(int32_t rid, const uint8_t* bytes, uint32_t size) {
    StorePreview(LibraryTable::OutMaskPreviews, rid, bytes, size);
}

// ---- categories

namespace {

void CollectNames(const std::vector<CategoryNode>& nodes, std::vector<std::string>& names) {
    for (const CategoryNode& node : nodes) {
        names.push_back(node.name);
        CollectNames(node.children, names);
    }
}

}  // namespace

void FramesDatabaseHelper::InitCategories() { InitCategories(Categories::DefaultPath()); }

void FramesDatabaseHelper::InitCategories(const std::string& path) {
    if (!categoriesLoaded_ && !path.empty()) {
        Categories file;
        file.LoadCategories(path);
        if (file.PropertyList()) {
            CollectNames(file.Tree(), categoryNames_);
            categoriesLoaded_ = true;
        }
    }
    std::sort(categoryNames_.begin(), categoryNames_.end());
    userCategory_ = kUserCategory;
}

void FramesDatabaseHelper::SetCategoryNames(std::vector<std::string> names) {
    categoryNames_ = std::move(names);
    std::sort(categoryNames_.begin(), categoryNames_.end());
    userCategory_ = kUserCategory;
}

std::string FramesDatabaseHelper::CategoryForName(std::string_view name) const {
    const std::string user(kUserCategory);
    const auto first = categoryNames_.begin();
    const auto holds = [&](const std::string& category) { return name.find(category) != std::string_view::npos; };
    const auto sameInitial = [&](const std::string& category) {
        return !category.empty() && !name.empty() && category.front() == name.front();
    };
    // std::string compares byte-wise, as the list is sorted.
    auto candidate = std::upper_bound(first, categoryNames_.end(), name,
                                      [](std::string_view key, const std::string& entry) { return key < entry; });
    if (candidate == first) return user;
    --candidate;
    if (holds(*candidate)) return *candidate;
    // A category the name holds sorts at or below it; names further back count while they share
    // its first letter. The first name of the list is a category like any other.
    while (candidate != first) {
        --candidate;
        if (!sameInitial(*candidate)) return user;
        if (holds(*candidate)) return *candidate;
    }
    return user;
}

// ---- order and filters

namespace {

std::optional<std::string> FilterText(int32_t value) {
    if (value == 0) return std::nullopt;
    return std::to_string(value);
}

}  // namespace

void FramesDatabaseHelper::SetFavoriteFilter(int32_t value) {
    favoriteFilter_ = value;
    favoriteFilterText_ = FilterText(value);
}

void FramesDatabaseHelper::SetRatingFilter(int32_t value) {
    ratingFilter_ = value;
    ratingFilterText_ = FilterText(value);
}

void FramesDatabaseHelper::FilterByCategory(const char* category) {
    const char* fav = favoriteFilterText_ ? favoriteFilterText_->c_str() : nullptr;
    const char* rating = ratingFilterText_ ? ratingFilterText_->c_str() : nullptr;
    using namespace FramesColumn;
    if (fav && rating) {
        FilterEqualsTextAnd2(Category, category, Favorite, fav, Rating, rating);
    } else if (fav) {
        FilterEqualsTextAnd(Category, category, Favorite, fav);
    } else if (rating) {
        FilterEqualsTextAnd(Category, category, Rating, rating);
    } else {
        FilterEqualsText(Category, category);
    }
}

void FramesDatabaseHelper::FilterByCategories(std::span<const std::string> categories) {
    const char* fav = favoriteFilterText_ ? favoriteFilterText_->c_str() : nullptr;
    const char* rating = ratingFilterText_ ? ratingFilterText_->c_str() : nullptr;
    using namespace FramesColumn;
    if (fav && rating) {
        FilterInListAnd2(Category, categories, Favorite, fav, Rating, rating);
    } else if (fav) {
        FilterInListAnd(Category, categories, Favorite, fav);
    } else if (rating) {
        FilterInListAnd(Category, categories, Rating, rating);
    } else {
        FilterInList(Category, categories);
    }
}

void FramesDatabaseHelper::ShowAll() {
    const char* fav = favoriteFilterText_ ? favoriteFilterText_->c_str() : nullptr;
    const char* rating = ratingFilterText_ ? ratingFilterText_->c_str() : nullptr;
    using namespace FramesColumn;
    if (fav && rating) {
        FilterEqualsAnd(Favorite, fav, Rating, rating);
    } else if (fav) {
        FilterEquals(Favorite, fav);
    } else if (rating) {
        FilterEquals(Rating, rating);
    } else {
        MakeRecordSet().SelectAll(SortColumn(), SecondSortColumn(), Ascending(), true);
    }
}

// ---- deletion

void FramesDatabaseHelper::DeleteFrames(const std::set<int32_t>& selection) {
    const std::unique_ptr<DatabaseProgress> progress = CreateProgress(kDeletingStage);
    if (recordSet_) DeleteFrameRecords(selection, progress.get());
}

bool FramesDatabaseHelper::DeleteFrameRecords(const std::set<int32_t>& selection, DatabaseProgress* progress) {
    if (!recordSet_) return true;
    // RIDs first: each deletion moves the indexes after it.
    std::vector<int32_t> rids;
    for (const int32_t index : selection) {
        const int32_t rid = recordSet_->RidAt(index);
        if (rid > 0) rids.push_back(rid);
    }
    if (progress) progress->SetTotal(static_cast<int32_t>(rids.size()));
    int32_t done = 0;
    for (const int32_t rid : rids) {
        ++done;
        const int32_t index = recordSet_->IndexOfRid(rid);
        if (index < 0) continue;
        QVFrameDatabaseRecord frame(database_);
        frame.SetRid(rid);
        const char* resolved = frame.GetPath();
        const std::optional<std::string> path = resolved ? std::optional<std::string>(resolved) : std::nullopt;
        recordSet_->Delete({index}, nullptr);
        // The frame's files go with its row even when the user stops here: a row gone with its
        // files left would leave files that no record names.
        if (path) DeleteCompanionFiles(*path);
        if (progress && progress->SetProgress(done)) return false;
    }
    return true;
}

void FramesDatabaseHelper::DeleteCompanionFiles(const std::string& path) {
    // The extension's dot lies in the file's name: a dot in a folder name gives no companions.
    const size_t nameAt = FileSpec::NameOffset(path);
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameAt) return;
    const std::string base = path.substr(0, dot + 1);
    std::vector<std::string> companions;
    for (const std::string_view extension : kCompanionExtensions) companions.push_back(base + std::string(extension));
    // Files that a frame of the library still names (a set's colour image names its masks too)
    // are that frame's, not companions of this one: none is deleted then.
    try {
        for (const std::string& companion : companions) {
            int32_t pathType = 0;
            const std::optional<std::string> stored = StoredPath(companion, pathType);
            if (stored && !RowsWithPath(*stored, true).empty()) return;
        }
    } catch (const CppSQLiteException&) {
        return;  // not knowing whether they are another frame's, keep them
    }
    for (const std::string& companion : companions) {
        DeleteFileW(Utf8ToUtf16(companion).c_str());  // a companion that is not there is no failure
    }
}
