#include "PresetsDatabaseBuilder.h"

#include <windows.h>

#include <set>
#include <utility>

#include "QVDatabaseRecord.h"
#include "Utf.h"

namespace {

// The full path of a file spec of the listing: a plain path as it is, a relative one joined to the
// frames library's folder; none for a module resource or a path that cannot be had.
std::optional<std::string> PathOf(const FileSpec& spec) {
    if (spec.IsEmpty() || spec.GetKind() == FileSpec::Kind::Resource) return std::nullopt;
    std::string path;
    if (spec.GetFullPath(path) != 0 || path.empty()) return std::nullopt;
    return path;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Utf8ToUtf16(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the file can be opened for reading.
bool FileExists(const std::string& path) {
    if (IsFolder(path)) return false;
    File file(FileSpec::FromPath(path), 0);
    return file.VerifyExists() == 0;
}

}  // namespace

PresetsDatabaseBuilder::PresetsDatabaseBuilder(QVDatabase* database, const char* table,
                                               std::optional<std::string> presetsFolder)
    : recordSet_(database, table), helper_(database, table, std::move(presetsFolder)), database_(database) {}

PresetsDatabaseBuilder::~PresetsDatabaseBuilder() = default;

void PresetsDatabaseBuilder::Step() noexcept {
    const int32_t before = state_;
    try {
        DoStep();
        failures_ = 0;
    } catch (...) {
        // The state stays, so the work is done again at the next call; but only so often.
        if (state_ == before && ++failures_ >= kStepAttempts) {
            failures_ = 0;
            GiveUpStep();
        }
    }
}

void PresetsDatabaseBuilder::RunToEnd() noexcept {
    // Every state moves on within a bounded number of calls (each item is passed over after
    // kStepAttempts failures), so this loop ends.
    while (state_ != kFinished) Step();
}

void PresetsDatabaseBuilder::DoStep() {
    switch (state_) {
    case kListFiles:
        fileList_.clear();
        helper_.ListPresetFiles(fileList_);
        state_ = kGatherCandidates;
        break;
    case kGatherCandidates:
        GatherCandidates();
        importPosition_ = 0;
        state_ = kImport;
        break;
    case kImport:
        ImportNext();
        break;
    case kReleaseLists:
        fileList_.clear();
        candidates_.clear();
        state_ = kSelectRecords;
        break;
    case kSelectRecords:
        helper_.EnsureRecordSet();
        if (QVDatabaseRecordSet* helperSet = helper_.RecordSet(); helperSet && helperSet != &recordSet_) {
            recordSet_.Assign(*helperSet);
        }
        checkPosition_ = 0;
        state_ = kCheck;
        break;
    case kCheck:
        CheckNext();
        break;
    case kCloseProgress:
        progress_.reset();
        state_ = kFinished;
        break;
    case kFinished:
        break;
    default:
        state_ = kFinished;
        break;
    }
}

void PresetsDatabaseBuilder::GiveUpStep() {
    switch (state_) {
    case kImport:
        ++importPosition_;  // that file waits for the next run
        break;
    case kCheck:
        ++checkPosition_;  // that row stays until the next run
        break;
    case kListFiles:
        // Without a listing there is nothing to import; the rows are still checked one by one.
        fileList_.clear();
        state_ = kGatherCandidates;
        break;
    case kGatherCandidates:
        candidates_.clear();
        importPosition_ = 0;
        state_ = kImport;
        break;
    case kSelectRecords:
        state_ = kCloseProgress;  // no rows to check
        break;
    default:
        state_ = kFinished;
        break;
    }
}

void PresetsDatabaseBuilder::GatherCandidates() {
    // Ordered byte-wise, each path once: the same file reached twice is imported once.
    std::set<std::string> paths;
    for (const FileSpec& spec : fileList_) {
        const std::optional<std::string> path = PathOf(spec);
        if (!path) continue;
        if (!IsFolder(*path)) {
            paths.insert(*path);
            continue;
        }
        std::vector<FileSpec> listed;
        File folder(FileSpec::FromPath(*path), 0);
        if (folder.ListFiles(listed, false) != 0) continue;
        for (const FileSpec& file : listed) {
            if (std::optional<std::string> filePath = PathOf(file)) paths.insert(std::move(*filePath));
        }
    }
    candidates_.assign(paths.begin(), paths.end());
}

void PresetsDatabaseBuilder::ImportNext() {
    if (importPosition_ < 0 || static_cast<size_t>(importPosition_) >= candidates_.size()) {
        state_ = kReleaseLists;
        return;
    }
    const std::string& path = candidates_[static_cast<size_t>(importPosition_++)];
    if (path.size() < PresetsDatabaseHelper::kMaxPathBytes) helper_.ImportPresetQuietly(path);
    Report(static_cast<int32_t>(candidates_.size()), importPosition_);
}

void PresetsDatabaseBuilder::CheckNext() {
    if (checkPosition_ < 0 || checkPosition_ >= recordSet_.Count()) {
        state_ = kCloseProgress;
        return;
    }
    const int32_t rid = recordSet_.RidAt(checkPosition_++);
    QVDatabaseRecord record(database_, helper_.TableName());
    record.SetRid(rid);
    record.Load({"PathType", "Path"});
    const FieldValue* pathType = record.FindField("PathType");
    const FieldValue* stored = record.FindField("Path");
    std::optional<std::string> path;
    if (database_ && pathType && stored && stored->Text()) path = database_->ResolvePath(stored->Text(), pathType->Integer());
    const bool keep = path && path->size() < PresetsDatabaseHelper::kMaxPathBytes && FileExists(*path);
    if (!keep) {
        // The preset's file is gone (or cannot be named): its row goes, no file is touched.
        helper_.DeleteRecords(rid, nullptr);
    }
    Report(recordSet_.Count(), checkPosition_);
}

void PresetsDatabaseBuilder::Report(int32_t total, int32_t position) {
    if (!showProgress_ || !progress_) return;
    progress_->SetTotal(total);
    if (!progress_->SetProgress(position + 1)) return;
    if (state_ == kImport) {
        fileList_.clear();
        candidates_.clear();
    }
    state_ = kFinished;
    progress_.reset();
}
