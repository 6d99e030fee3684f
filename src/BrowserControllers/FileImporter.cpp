#include "FileImporter.h"

#include <windows.h>

#include <array>
#include <exception>
#include <string_view>
#include <utility>

#include "ColorConversion.h"
#include "CppSQLite.h"
#include "HostMemory.h"
#include "ImageInfo.h"
#include "LayerState.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "Quorvel.h"
#include "ThumbnailGenerator.h"
#include "Utf.h"

namespace {

// A file name that can stand inside the destination folder: not empty, not only dots (which would
// name the folder or its parent), and holding no separator or drive colon that would lead out.
bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name.find_first_of("\\/:") != std::string_view::npos) return false;
    return name.find_first_not_of('.') != std::string_view::npos;
}

// The full path of a file spec of the path list: a plain path as it is, a relative one against the
// frames library's folder; false for a module resource, a relative path that cannot be joined and
// an empty file spec.
bool ResolveSpec(const FileSpec& spec, std::string& path) {
    if (spec.IsEmpty() || spec.GetKind() == FileSpec::Kind::Resource) return false;
    return spec.GetFullPath(path) == 0 && !path.empty();
}

}  // namespace

FileImporter::FileImporter(FileImporterDelegate* delegate, std::vector<FileSpec> paths, const Rect16& thumbnail,
                           bool copy)
    : paths_(std::move(paths)), delegate_(delegate), thumbnail_(thumbnail), copy_(copy) {}

FileImporter::~FileImporter() = default;

// ---- the run

int32_t FileImporter::Run() {
    if (ran_) return 0;
    ran_ = true;
    SendNotify(FileImporterDelegate::kWalkBegins);
    try {
        WalkFolder();
    } catch (...) {
        // A walk that cannot finish (out of memory) imports what it found so far.
    }
    SendNotify(FileImporterDelegate::kWalkEnds);
    SendNotify(FileImporterDelegate::kImportBegins);
    uint32_t index = 0;
    for (const std::string& entry : entries_) {
        ImportEntry(index++, entry);
        if (cancelled_) break;
    }
    SendNotify(FileImporterDelegate::kImportEnds);
    SendNotify(FileImporterDelegate::kRunFinished);
    SendImportFinished();
    return imported_;
}

void FileImporter::ImportEntry(uint32_t index, const std::string& entry) {
    if (!delegate_) return;
    const int32_t countedBefore = imported_ + skipped_ + failed_;
    try {
        ImportFile(index, entry);
    } catch (...) {
        // One file's failure, the delegate's included, fails that file only.
        if (imported_ + skipped_ + failed_ == countedBefore) ++failed_;
    }
    try {
        if (delegate_->ReportProgress(index + 1, static_cast<uint32_t>(entries_.size()))) cancelled_ = true;
    } catch (...) {
        // A progress display that fails tells nothing of a wish to stop: the run goes on.
    }
}

void FileImporter::SendNotify(int32_t phase) noexcept {
    if (!delegate_) return;
    try {
        delegate_->Notify(phase);
    } catch (...) {
    }
}

void FileImporter::SendImportFinished() noexcept {
    if (!delegate_) return;
    try {
        delegate_->ImportFinished(rids_, imported_, skipped_, failed_);
    } catch (...) {
    }
}

void FileImporter::RecordImported(int32_t rid) {
    rids_.push_back(rid);
    ++imported_;
}

// ---- the walk

void FileImporter::WalkFolder() {
    for (const FileSpec& spec : paths_) {
        std::string path;
        if (!ResolveSpec(spec, path)) continue;
        const DWORD attributes = GetFileAttributesW(Utf8ToUtf16(path).c_str());
        const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (!isFolder) {
            entries_.insert(path);  // a file, or a path that does not exist: it fails when imported
            continue;
        }
        // A link to a folder is not walked, named or met in the walk: it may lead round in a
        // circle or out to folders nobody chose.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        File folder(FileSpec::FromPath(path), 0);
        std::vector<FileSpec> listed;
        if (folder.ListFiles(listed, true) != 0) continue;
        for (const FileSpec& file : listed) {
            std::string filePath;
            if (ResolveSpec(file, filePath)) entries_.insert(std::move(filePath));
        }
    }
}

// ---- one file

int16_t FileImporter::CopyDestination(const std::string& folder, const std::string& path, std::string& destination) {
    std::string name;
    if (FileSpec::FromPath(path).GetName(name) != 0 || !IsPlainFileName(name)) return kSkip;
    destination = FileSpec::JoinPath(folder, name);
    // The copy's path is kept in a file spec: one that does not fit would be cut into another.
    if (destination.size() >= FileSpec::kSize) return kSkip;
    return delegate_->ConfirmImport(destination) ? kImport : kSkip;
}

int16_t FileImporter::PrepareFile(std::string& path) {
    if (!copy_) return delegate_->AcceptFile(path) ? kImport : kSkip;
    std::string folder;
    delegate_->GetDestinationFolder(folder);
    if (folder.empty()) return kImport;  // imported where it is
    std::string destination;
    if (CopyDestination(folder, path, destination) != kImport) return kSkip;
    FileSpec copied;
    if (Quorvel::CopyFrameFileSet(FileSpec::FromPath(path), 0, folder, copied) != 0) return kSkip;
    path = std::string(copied.Text());
    return delegate_->AcceptFile(path) ? kImport : kSkip;
}

bool FileImporter::PrepareAndLoad(std::string& path, LayerState& loaded, FrameLayout layout) {
    if (PrepareFile(path) != kImport) {
        RecordSkipped();
        return false;
    }
    // Quiet, so host mode keeps the file's own layout (its own colours for a colour frame, which no
    // host conversion touches). A path too long for a file spec gives an empty one, which fails to
    // load.
    const bool inHostMode = layout == FrameLayout::kAsStored;
    if (Quorvel::LoadFrameImage(ColourContext{}, inHostMode, FileSpec::FromPath(path), 0, loaded, true) != 0) {
        RecordFailed();
        return false;
    }
    return true;
}

void FileImporter::ImportFile(uint32_t index, const std::string& entry) {
    if (!delegate_) return;
    std::string path = entry;
    LayerState loaded;
    if (!PrepareAndLoad(path, loaded, FrameLayout::kAsStored)) return;
    BufferRecord& image = loaded.imageBuffers[LayerState::kFrameImage];
    if (image.size == 0) {
        RecordFailed();
        return;
    }
    const std::vector<uint8_t> thumbnail = MakeThumbnail(loaded.frameInfo, &image, thumbnail_);
    const int32_t rid = delegate_->AddFileRecord(path, thumbnail.empty() ? nullptr : thumbnail.data(),
                                                 static_cast<uint32_t>(thumbnail.size()));
    if (rid <= 0) {
        RecordFailed();
        return;
    }
    RecordImported(rid);
}

std::vector<uint8_t> FileImporter::MakeThumbnail(const ImageInfo& info, BufferRecord* image, const Rect16& rectangle) {
    if (!image || rectangle.bottom <= rectangle.top || rectangle.right <= rectangle.left) return {};
    std::array<uint8_t, ImageInfo::kSize> header{};
    info.Store(header.data());
    try {
        ThumbnailGenerator generator;
        if (generator.MakeThumbnail(header.data(), image, rectangle) != 0 || !generator.Picture()) return {};
        const uint8_t* picture = generator.Picture();
        return std::vector<uint8_t>(picture, picture + generator.PictureSize());
    } catch (...) {
        return {};  // no memory for the picture: the file is recorded without a thumbnail
    }
}

// ---- presets

PresetsFileImporter::PresetsFileImporter(FileImporterDelegate* delegate, std::vector<FileSpec> paths,
                                         QVDatabase* database)
    : FileImporter(delegate, std::move(paths), Rect16{}, false), database_(database) {}

int16_t PresetsFileImporter::PrepareFile(std::string& path) {
    FileImporterDelegate& delegate = *Delegate();
    if (!delegate.ShouldCopyFile(path)) return delegate.AcceptFile(path) ? kImport : kSkip;
    std::string folder;
    delegate.GetDestinationFolderForFile(folder, path);
    if (folder.empty()) return kImport;  // imported where it is
    std::string destination;
    if (CopyDestination(folder, path, destination) != kImport) return kSkip;
    if (FileSpec::FromPath(path).CopyToFolder(folder) != 0) return kSkip;
    path = destination;
    return delegate.AcceptFile(path) ? kImport : kSkip;
}

void PresetsFileImporter::ImportFile(uint32_t index, const std::string& entry) {
    if (!Delegate()) return;
    std::string path = entry;
    if (PrepareFile(path) != kImport) {
        RecordSkipped();
        return;
    }
    // The record is read back before the file counts as imported: the browser binds its cells to
    // the RIDs of the result, so a RID without a row must not be handed on.
    for (int attempt = 0; attempt < kRecordAttempts; ++attempt) {
        const int32_t rid = Delegate()->AddFileRecord(path, nullptr, 0);
        if (rid <= 0) break;
        QVDatabaseRecord readBack(database_, LibraryTableDef(LibraryTable::Presets).name);
        if (!database_ || readBack.Exists(rid)) {
            RecordImported(rid);
            return;
        }
    }
    RecordFailed();
}
