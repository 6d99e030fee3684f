// Files and file specs: a file on disk or an item among the module's resources, named by
// a 1024-byte spec that is also stored inside settings blocks and presets; opened, read
// and written at explicit offsets; and chosen by the user through the open-file dialog.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ErrorCodes.h"
#include "Win32Owners.h"

class File;

// A file spec as stored (1024 bytes; numbers big-endian). The first four bytes, read as
// a big-endian word, tell its kind: 3 a module resource item (type code at 4-7, id in the low 16
// bits of 8-11), 4 a path relative to the frame library folder (text from byte 4); anything else
// means the whole block is a plain path. Texts are UTF-8 and NUL-terminated within the block; a
// stored block without a terminator is read up to its end and no further.
struct FileSpec {
    static constexpr size_t kSize = 1024;
    static constexpr uint32_t kResourceKind = 3;
    static constexpr uint32_t kRelativeKind = 4;
    static constexpr size_t kTextOffset = 4;  // of the text of a relative spec

    enum class Kind { Path, Resource, Relative };

    uint8_t bytes[kSize] = {};

    // A plain path; an empty spec when the path does not fit (1024 bytes or more).
    static FileSpec FromPath(std::string_view path);
    static FileSpec FromResource(uint32_t type, uint16_t id);
    // A relative path; an empty spec when it does not fit (1020 bytes or more).
    static FileSpec FromRelativePath(std::string_view path);

    Kind GetKind() const;
    bool IsEmpty() const { return GetKind() == Kind::Path && bytes[0] == 0; }
    void Clear() { *this = FileSpec(); }
    // The path text of a plain or relative spec (empty for a resource item).
    std::string_view Text() const;
    uint32_t ResourceType() const;
    uint16_t ResourceId() const;

    // The name: a resource item's string resource of its id (20001 and an empty name when there
    // is none), else the text after the last backslash.
    ErrorCode GetName(std::string& name) const;
    // The full path: a plain path as it is, a relative one made absolute against the frame library
    // folder (20002 when that fails); a resource item has none (20002).
    ErrorCode GetFullPath(std::string& path) const;
    // Rewrites a plain spec as a path relative to baseFolder when it has such a form.
    void ToRelative(std::string_view baseFolder);
    // Rewrites a relative spec as a plain path against baseFolder: 20002 when that fails,
    // -108 (and an empty spec) when the result does not fit.
    ErrorCode ToAbsolute(std::string_view baseFolder);
    // Copies the file into folder under its name, replacing a file there: 0 or the system's error
    // number. Nothing is copied when the destination is the file itself.
    uint32_t CopyToFolder(std::string_view folder) const;
    // The module's resource of a resource item, or none.
    HRSRC FindResource() const;

    // Resource items are equal when kind, type and id are; otherwise the texts are compared
    // without regard to case.
    static bool Equals(const FileSpec& a, const FileSpec& b);

    // Index of the last "." of the name part of path when at most five characters follow from it
    // on, else the length of path.
    static size_t ExtensionOffset(std::string_view path);
    // The extension as a four-character code: ".jpg" gives '.JPG', ".jpeg" 'JPEG', ".h" '.H\0\0';
    // 0 without an extension.
    static uint32_t ExtensionCode(std::string_view path);
    // Index just past the last backslash, 0 when there is none.
    static size_t NameOffset(std::string_view path);
    // folder, a backslash unless folder ends with one, then name.
    static std::string JoinPath(std::string_view folder, std::string_view name);
    // Creates the folder that holds path, with its missing parents; true when it exists after.
    static bool CreateParentFolder(std::string_view path);
    // The number (from 1) of the first group of list holding the file's type code or its name's
    // extension code; 0 when none does.
    static int TypeIndex(const File& file, const uint32_t* list);
};
static_assert(sizeof(FileSpec) == FileSpec::kSize);

// A file type list: four-character codes (first character in the top byte) ended by 0, cut into
// groups; the last code of a group has bit 7 of its lowest byte set. Codes are compared and shown
// masked with kCodeMask.
namespace FileTypeList {
inline constexpr uint32_t kGroupEnd = 0x80;
inline constexpr uint32_t kCodeMask = 0x7F7F7F7F;
// The masked code that ends group (counted from 1); 0 for a null list or one with fewer groups.
uint32_t Get(const uint32_t* list, int group);
// Whether the list, of any group, holds the type code of the file name's extension.
bool HoldsExtensionOf(const uint32_t* list, std::string_view path);
}  // namespace FileTypeList

// The folder that relative specs are resolved against: the folder of the open frames
// library. Empty while no library is open.
void SetFrameLibraryFolder(std::string_view folder);
const std::string& FrameLibraryFolder();

class File {
public:
    // Events of the open-file dialog hook, beside the ids of the dialog's controls.
    static constexpr int32_t kEventInitDialog = 0x1000000;
    static constexpr int32_t kEventSelectionChanged = 0x1000001;
    static constexpr int32_t kEventPaint = 0x1000002;

    struct DialogContext;
    // Called by the open-file dialog hook with an event, the dialog's context and the message's
    // lParam. For a command its answer tells whether the command was handled.
    using DialogEventCallback = bool (*)(File& file, int32_t event, DialogContext& context, LPARAM extra);

    // What the open-file dialog hook knows while ChooseFile runs.
    struct DialogContext {
        File* file = nullptr;
        int mode = 0;
        int16_t templateId = 0;
        HWND owner = nullptr;
        uint32_t typeCode = 0;  // ends the filter group selected when the dialog opened
        HWND dialog = nullptr;  // the hook's (child) dialog
    };

    // Modes of ChooseFile: one file, or (with a template) one or more files into the chosen list.
    static constexpr int kChooseOne = 0;
    static constexpr int kChooseMany = 5;
    // Filter style of MakeFilterString: one filter per group.
    static constexpr int kFilterPerGroup = 2;

    File() = default;
    // For a resource item the type code and id come from the FileSpec.
    File(const FileSpec& spec, uint32_t typeCode);
    virtual ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // The dialog title for a mode; the base class has none.
    virtual bool DialogTitle(int mode, std::string& title);
    // Builds the double-NUL-terminated filter text of the open-file dialog from a type list (see
    // the definition); a code equal to the file's type code selects its group.
    virtual void MakeFilterString(int style, const uint32_t* list, std::string& filter, int& selectedGroup);

    const FileSpec& Spec() const { return spec_; }
    void SetSpec(const FileSpec& spec) { spec_ = spec; }
    uint32_t TypeCode() const { return typeCode_; }
    void SetTypeCode(uint32_t code) { typeCode_ = code; }
    uint32_t ResourceId() const { return resourceId_; }
    uint32_t Position() const { return position_; }
    bool IsOpen() const { return handle_ || resource_ != nullptr; }
    const std::vector<FileSpec>& ChosenFiles() const { return chosenFiles_; }
    void SetDialogEventCallback(DialogEventCallback callback) { callback_ = callback; }

    // The code the last File operation failed with, 0 when it succeeded.
    static ErrorCode LastError();

    // Opens the file: null mode reads and writes, "r" reads, "w" writes, "r" or "w" followed by
    // more reads and writes. An empty spec or an open file throws 20002; a file that
    // cannot be opened gives 19006 (19005 when it does not exist).
    ErrorCode Open(const char* mode = nullptr);
    // Reads up to count bytes at offset, no further than the end: the bytes read. Without an open
    // file 0. Seek and read failures throw 20002.
    uint32_t Read(void* buffer, uint32_t offset, int32_t count);
    // Writes count bytes at offset, growing the file first when they reach past its end; the file
    // buffers are flushed. Without an open file nothing is written. Either way the position moves.
    ErrorCode Write(const void* buffer, uint32_t offset, uint32_t count);
    // The size; throws 20002 without an open file.
    int32_t GetSize();
    // Sets the size; throws 20002 without an open file, 19011 when it cannot be set.
    ErrorCode SetSize(uint32_t size);
    // Closes the file (19009 when closing fails; the file is forgotten either way).
    ErrorCode Close();
    // 0 when the file exists (or is open), else 19005.
    ErrorCode VerifyExists();
    bool IsFolder() const;
    // Makes the FileSpec a new temporary file (prefix "File") and opens it; throws 19003.
    void CreateTemp();

    // Makes the FileSpec the application-data folder (all users' with common set) followed
    // by each backslash-separated component of subPath, creating what is missing: 0, or 19000.
    ErrorCode GetSpecialFolder(const char* subPath, bool common);
    // The preferences file's path, in path and in the FileSpec.
    ErrorCode GetPreferencesPath(std::string& path);
    // Records the preferences path in the registry and opens (creating) the file: 0 or 19001.
    ErrorCode CreatePreferenceFile();
    // Appends the special folder for subPath, a backslash and name to result; a folder that
    // cannot be made is thrown.
    static ErrorCode ResolveSpec(bool common, const char* subPath, const char* name, std::string& result);
    // Appends the sub-folders (and with recursive set theirs, each right after its folder) of the
    // folder named by the FileSpec. Names beginning with "." are skipped; links are listed
    // but not entered. -43 when the folder cannot be listed.
    ErrorCode ListSubfolders(std::vector<FileSpec>& folders, bool recursive);
    // Appends the files of the folder and with recursive set those of its sub-folders.
    ErrorCode ListFiles(std::vector<FileSpec>& files, bool recursive);

    // Runs the open-file dialog: 0 when the user chose, 1 when cancelled.
    int ChooseFile(int mode, HWND owner, const uint32_t* list, int16_t templateId);
    // Takes the open-file dialog's result: a full path, or a folder followed by names (each
    // NUL-terminated, ended by an empty one), within capacity characters. Each full path becomes
    // the FileSpec and is appended to the chosen files; one that does not fit a
    // spec is left out.
    void AddSelectedFiles(const wchar_t* text, size_t capacity);

private:
    enum class Listing { Folders, Files };
    ErrorCode List(std::vector<FileSpec>& out, bool recursive, Listing listing);
    void OpenResource();
    void OnOpenDialogNotify(DialogContext& context, const NMHDR& header);
    static UINT_PTR CALLBACK OpenDialogHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    UINT_PTR OnOpenDialogMessage(DialogContext& context, UINT message, WPARAM wParam, LPARAM lParam);

    DialogEventCallback callback_ = nullptr;
    uint32_t resourceId_ = 0;
    uint32_t typeCode_ = 0;
    uint32_t position_ = 0;
    OwnedFile handle_;
    const uint8_t* resource_ = nullptr;
    uint32_t resourceSize_ = 0;
    FileSpec spec_;
    std::vector<FileSpec> chosenFiles_;
};
