// File and folder utilities over UTF-8 paths: special folders, folder listings, folder creation,
// whole-file reads, a file's kind and stored modification stamp, and the debug log. Every call
// reaches the file system through its wide-character interface.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Folder kinds of GetSpecialFolderPath; any other number is the shell's special folder of that
// number.
namespace SpecialFolder {
inline constexpr int kDesktop = 1;
inline constexpr int kApplicationData = 2;
inline constexpr int kCommonApplicationData = 3;
inline constexpr int kRoamingApplicationData = 4;
inline constexpr int kSystem = 5;
inline constexpr int kProfile = 6;
inline constexpr int kTemporary = 7;
inline constexpr int kProgramFiles = 8;
inline constexpr int kProgramFilesX86 = 9;
}  // namespace SpecialFolder

// Appends the folder's path and a backslash to out; false when the folder cannot be had. With
// create set, a missing folder of the shell is created.
bool GetSpecialFolderPath(std::string& out, int kind, bool create = false);

// One entry of a folder: its name (UTF-8) and its file attributes.
struct FolderEntry {
    std::string name;
    uint32_t attributes = 0;
    bool IsFolder() const;
    // A junction or symbolic link: folder walks never enter it.
    bool IsLink() const;
};

// The entries of folder but "." and "..", sorted by name without regard to case; false when the
// folder cannot be listed.
bool ListFolderEntries(std::string_view folder, std::vector<FolderEntry>& entries);

// Lists folder's entries by name (UTF-8), sorted without regard to case. Hidden, system and
// temporary entries are skipped. Sub-folder names go to subfolders when it is given. With an
// extension, only files named "<stem>.<extension>" (any case, a stem of at least one character)
// are listed, and without ".<extension>". False, with a line in the debug log, when the folder
// cannot be listed.
bool GetFolderContents(std::string_view folder, std::vector<std::string>& files,
                       std::optional<std::string_view> extension = std::nullopt,
                       std::vector<std::string>* subfolders = nullptr);

// The files of folder as full paths (folder + "\" + name), then with recursive set those of each
// sub-folder in listing order. Sub-folders that are links (junctions, symbolic links) are not
// entered. The result is that of the listing of folder itself.
bool GetFolderContentsFullPaths(std::string_view folder, std::vector<std::string>& paths, bool recursive,
                                std::optional<std::string_view> extension = std::nullopt);

namespace VantrelFileUtils {
// Creates one folder (not its parents). An existing folder is no error; any other failure is
// written to the debug log.
void CreateFolder(std::string_view path);
}  // namespace VantrelFileUtils

struct FileStreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using UniqueFileStream = std::unique_ptr<std::FILE, FileStreamCloser>;

// Opens a standard file stream with the C mode text ("rb", "wb", "a+" ...); null on failure.
UniqueFileStream OpenFileUtf8(std::string_view path, std::string_view mode);

// Reads the whole file into bytes; false (bytes empty) on any failure.
bool ReadWholeFile(std::string_view path, std::vector<uint8_t>& bytes);

// What is at path: 0 nothing; otherwise kFolder or kFile, plus kWritable when it is not read-only
// and kVisible when it is not hidden.
namespace FileKind {
inline constexpr uint32_t kWritable = 2;
inline constexpr uint32_t kVisible = 4;
inline constexpr uint32_t kFile = 8;
inline constexpr uint32_t kFolder = 16;
}  // namespace FileKind
uint32_t GetFileKind(std::string_view path);

// The modification stamp that the presets library stores: whole seconds of the last-write time
// since 1601 plus 1240169088, modulo 2^32; 0 when the attributes cannot be read.
uint32_t GetFileModDate(std::string_view path);
uint32_t ModificationStamp(uint64_t lastWriteTime100ns);

// The debug log: "Vantrel Software\VantrelLog.txt" in the user's application-data folder (empty
// when that folder cannot be had), found once per process.
const std::string& GetLogFilePath();

// Appends one printf-formatted message (at most 999 bytes) to the debug log, as it is: messages
// carry their own line ends. A log that cannot be opened is skipped.
void WriteLogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
