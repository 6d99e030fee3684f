// Turns a list of files and folders into library records. The importer walks the folders (never
// through a link), collects every file path once, and imports the files one by one in ascending
// byte order of their paths; what depends on the library (which files are wanted, how a record is
// written, where copies go, whether a copy may be made, how progress is shown) is asked of a
// FileImporterDelegate.
//
// A run always finishes: a file whose preparing or importing fails, the delegate's own calls
// included, counts as failed and the next file follows; the delegate hears the phases 0 to 4 and
// ImportFinished however the run went, so that whatever it holds for the run (its progress
// display, its importing flag) is let go.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "File.h"
#include "PluginInterface.h"

struct BufferRecord;
struct ImageInfo;
struct LayerState;

class QVDatabase;

class FileImporterDelegate {
public:
    // The phases Notify reports, always all five and in this order.
    enum Phase : int32_t {
        kWalkBegins = 0,
        kWalkEnds = 1,
        kImportBegins = 2,
        kImportEnds = 3,
        kRunFinished = 4,
    };

    virtual ~FileImporterDelegate() = default;

    // Whether the file is to be imported.
    virtual bool AcceptFile(const std::string& path) { return false; }
    // Writes the record of an imported file (the thumbnail, null without one, is the importer's:
    // the delegate copies what it keeps): its RID, 0 or less on failure.
    virtual int32_t AddFileRecord(const std::string& path, const uint8_t* thumbnail, uint32_t thumbnailSize) {
        return 0;
    }
    virtual void Notify(int32_t phase) {}
    // After each entry, skipped and failed ones included; true asks the importer to stop.
    virtual bool ReportProgress(uint32_t current, uint32_t total) { return false; }
    virtual void ImportFinished(const std::vector<int32_t>& rids, int32_t imported, int32_t skipped, int32_t failed) {}
    // Whether a file is to be copied into the library before it is imported (the presets form).
    virtual bool ShouldCopyFile(const std::string& path) { return false; }
    // The folder into which this file is to be copied; left empty, the file is imported in place.
    virtual void GetDestinationFolderForFile(std::string& folder, const std::string& path) {}
    // The one folder into which every file of a copying importer goes; left empty, the files are
    // imported in place.
    virtual void GetDestinationFolder(std::string& folder) {}
    // False vetoes the copy (and the import) of a file to that destination.
    virtual bool ConfirmImport(const std::string& destination) { return true; }
};

// The delegate of the frame importer, which also stores the frame's preview pictures.
class FramesFileImporterDelegate : public FileImporterDelegate {
public:
    virtual void StoreRGBPreview(int32_t rid, const uint8_t* bytes, uint32_t size) {}
    virtual void StoreInMaskPreview(int32_t rid, const uint8_t* bytes, uint32_t size) {}
    virtual void StoreOutMaskPreview(int32_t rid, const uint8_t* bytes, uint32_t size) {}
};

class FileImporter {
public:
    // What PrepareFile answers.
    static constexpr int16_t kImport = 0;
    static constexpr int16_t kSkip = 1;

    // paths: what is to be imported, files and folders alike. A null delegate imports nothing;
    // an empty thumbnail rectangle makes no thumbnails; with copy set each file is copied into
    // the delegate's destination folder before it is imported.
    FileImporter(FileImporterDelegate* delegate, std::vector<FileSpec> paths, const Rect16& thumbnail, bool copy);
    FileImporter(const FileImporter&) = delete;
    FileImporter& operator=(const FileImporter&) = delete;
    virtual ~FileImporter();

    // Walks, imports and reports; the number of files imported. Never raises. An importer runs
    // once: a second call does nothing and answers 0.
    int32_t Run();

    // The entries of the walk, in import order.
    const std::set<std::string>& Entries() const { return entries_; }
    const std::vector<int32_t>& Rids() const { return rids_; }
    int32_t ImportedCount() const { return imported_; }
    int32_t SkippedCount() const { return skipped_; }
    int32_t FailedCount() const { return failed_; }
    bool Cancelled() const { return cancelled_; }

    // A thumbnail of a loaded image (its layout and its pixels) scaled into the rectangle; empty
    // when the rectangle is empty or the picture cannot be made.
    static std::vector<uint8_t> MakeThumbnail(const ImageInfo& info, BufferRecord* image, const Rect16& rectangle);

protected:
    // Imports one entry, counting it through the Record... calls below. May raise: the run then
    // counts the entry as failed unless it was counted already.
    virtual void ImportFile(uint32_t index, const std::string& entry);
    // kImport to import the file at path (which a copy changes), anything else to skip it.
    virtual int16_t PrepareFile(std::string& path);
    // How a prepared file's frame is loaded: in the file's own layout, or as the renderer reads a
    // frame (a single image grey, in one plane).
    enum class FrameLayout { kAsStored, kAsRendered };
    // Prepares the file at path (which may become its copy's) and loads its frame into loaded:
    // false, with the file counted as skipped or failed, when it is not to be recorded.
    bool PrepareAndLoad(std::string& path, LayerState& loaded, FrameLayout layout);

    // The destination of a copy of path into folder: kImport, or kSkip when the file has no name
    // that can stand in a folder, the destination does not fit a file spec, or the delegate vetoes
    // it.
    int16_t CopyDestination(const std::string& folder, const std::string& path, std::string& destination);

    void RecordImported(int32_t rid);
    void RecordSkipped() { ++skipped_; }
    void RecordFailed() { ++failed_; }

    FileImporterDelegate* Delegate() const { return delegate_; }
    const Rect16& ThumbnailRectangle() const { return thumbnail_; }
    bool CopiesFiles() const { return copy_; }

private:
    void WalkFolder();
    void ImportEntry(uint32_t index, const std::string& entry);
    // The delegate's calls that a run makes whatever happens: a failure in them ends nothing.
    void SendNotify(int32_t phase) noexcept;
    void SendImportFinished() noexcept;

    std::vector<FileSpec> paths_;
    std::set<std::string> entries_;  // std::string orders byte-wise, as memcmp does
    FileImporterDelegate* delegate_;
    std::vector<int32_t> rids_;
    int32_t imported_ = 0;
    int32_t skipped_ = 0;
    int32_t failed_ = 0;
    bool cancelled_ = false;
    bool ran_ = false;
    Rect16 thumbnail_;
    bool copy_;
};

// The presets importer: a preset file is recorded as it is (no picture is loaded), copied first
// into the folder the delegate names for it, and read back after it is recorded.
class PresetsFileImporter : public FileImporter {
public:
    // How often a record that does not read back is written again before the file counts as
    // failed: a library that keeps losing rows must not hold the run.
    static constexpr int kRecordAttempts = 3;

    // database: the presets library the records are read back from; null reads nothing back.
    PresetsFileImporter(FileImporterDelegate* delegate, std::vector<FileSpec> paths, QVDatabase* database);

protected:
    void ImportFile(uint32_t index, const std::string& entry) override;
    int16_t PrepareFile(std::string& path) override;

private:
    QVDatabase* database_;
};
