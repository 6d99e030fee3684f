#include "VantrelFileUtils.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdarg>

#include "Utf.h"
#include "Win32Owners.h"

namespace {

// The shell's number of each folder kind that maps to a shell folder.
int ShellFolderOfKind(int kind) {
    switch (kind) {
    case SpecialFolder::kDesktop: return CSIDL_DESKTOPDIRECTORY;
    case SpecialFolder::kApplicationData:
    case SpecialFolder::kRoamingApplicationData: return CSIDL_APPDATA;
    case SpecialFolder::kCommonApplicationData: return CSIDL_COMMON_APPDATA;
    case SpecialFolder::kSystem: return CSIDL_SYSTEM;
    case SpecialFolder::kProfile: return CSIDL_PROFILE;
    case SpecialFolder::kProgramFiles: return CSIDL_PROGRAM_FILES;
    case SpecialFolder::kProgramFilesX86: return CSIDL_PROGRAM_FILESX86;
    default: return kind;
    }
}

bool IsSkippedEntry(const FolderEntry& entry) {
    constexpr DWORD kSkipped = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY;
    return (entry.attributes & kSkipped) != 0;
}

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
}

// The stem of name when it is "<stem>.<extension>" with a stem of at least one character.
std::optional<std::string_view> StemWithExtension(std::string_view name, std::string_view extension) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 ||
        !EqualIgnoringCase(Utf8ToUtf16(name.substr(dot + 1)), Utf8ToUtf16(extension))) {
        return std::nullopt;
    }
    return name.substr(0, dot);
}

}  // namespace

bool GetSpecialFolderPath(std::string& out, int kind, bool create) {
    wchar_t folder[MAX_PATH + 1] = {};
    if (kind == SpecialFolder::kTemporary) {
        const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
        if (length == 0 || length > MAX_PATH) return false;
    } else {
        const int flags = ShellFolderOfKind(kind) | (create ? CSIDL_FLAG_CREATE : 0);
        if (FAILED(SHGetFolderPathW(nullptr, flags, nullptr, SHGFP_TYPE_CURRENT, folder))) return false;
    }
    std::wstring_view path = folder;
    if (path.empty()) return false;
    if (path.back() == L'\\') path.remove_suffix(1);
    Utf16ToUtf8(out, path);
    out += '\\';
    return true;
}

bool FolderEntry::IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool FolderEntry::IsLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

bool ListFolderEntries(std::string_view folder, std::vector<FolderEntry>& entries) {
    WIN32_FIND_DATAW found;
    const OwnedFolderListing find(FindFirstFileW((Utf8ToUtf16(folder) + L"\\*").c_str(), &found));
    if (!find) return false;
    std::vector<std::pair<std::wstring, DWORD>> named;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") named.emplace_back(name, found.dwFileAttributes);
    } while (FindNextFileW(find.Get(), &found));
    std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) { return LessIgnoringCase(a.first, b.first); });
    for (const auto& [name, attributes] : named) entries.push_back(FolderEntry{Utf16ToUtf8(name), attributes});
    return true;
}

bool GetFolderContents(std::string_view folder, std::vector<std::string>& files,
                       std::optional<std::string_view> extension, std::vector<std::string>* subfolders) {
    std::vector<FolderEntry> entries;
    if (!ListFolderEntries(folder, entries)) {
        WriteLogLine("Event (%d) on line %d of %s\n", -1, __LINE__, __FILE__);
        return false;
    }
    for (const FolderEntry& entry : entries) {
        if (IsSkippedEntry(entry)) continue;
        if (entry.IsFolder()) {
            if (subfolders) subfolders->push_back(entry.name);
        } else if (!extension) {
            files.push_back(entry.name);
        } else if (const auto stem = StemWithExtension(entry.name, *extension)) {
            files.emplace_back(*stem);
        }
    }
    return true;
}

bool GetFolderContentsFullPaths(std::string_view folder, std::vector<std::string>& paths, bool recursive,
                                std::optional<std::string_view> extension) {
    std::vector<std::string> names;
    std::vector<std::string> subfolders;
    if (!GetFolderContents(folder, names, extension, recursive ? &subfolders : nullptr)) return false;
    const std::string prefix = std::string(folder) + "\\";
    for (const std::string& name : names) paths.push_back(prefix + name);
    for (const std::string& subfolder : subfolders) {
        const std::string path = prefix + subfolder;
        if (!(GetFileAttributesW(Utf8ToUtf16(path).c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
            GetFolderContentsFullPaths(path, paths, true, extension);
        }
    }
    return true;
}

namespace VantrelFileUtils {
void CreateFolder(std::string_view path) {
    const std::wstring wide = Utf8ToUtf16(path);
    if (CreateDirectoryW(wide.c_str(), nullptr)) return;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return;
    }
    WriteLogLine("VantrelFileUtils::CreateFolder> Couldn't create the folder '%s' due to error %d\n",
                 std::string(path).c_str(), static_cast<int>(error));
}
}  // namespace VantrelFileUtils

UniqueFileStream OpenFileUtf8(std::string_view path, std::string_view mode) {
    const std::wstring wideMode(mode.begin(), mode.end());
    return UniqueFileStream(_wfopen(Utf8ToUtf16(path).c_str(), wideMode.c_str()));
}

bool ReadWholeFile(std::string_view path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    try {
        UniqueFileStream file = OpenFileUtf8(path, "rb");
        if (!file || _fseeki64(file.get(), 0, SEEK_END) != 0) return false;
        const int64_t length = _ftelli64(file.get());
        if (length < 0 || static_cast<uint64_t>(length) > SIZE_MAX || _fseeki64(file.get(), 0, SEEK_SET) != 0) {
            return false;
        }
        bytes.resize(static_cast<size_t>(length));
        if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
            bytes.clear();
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return false;
    }
}

uint32_t GetFileKind(std::string_view path) {
    const DWORD attributes = GetFileAttributesW(Utf8ToUtf16(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    uint32_t kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kFolder : FileKind::kFile;
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) kind += FileKind::kWritable;
    if (!(attributes & FILE_ATTRIBUTE_HIDDEN)) kind += FileKind::kVisible;
    return kind;
}

uint32_t ModificationStamp(uint64_t lastWriteTime100ns) {
    constexpr uint64_t kTicksPerSecond = 10'000'000;
    constexpr uint64_t kStampOffset = 1240169088;
    return static_cast<uint32_t>(lastWriteTime100ns / kTicksPerSecond + kStampOffset);
}

uint32_t GetFileModDate(std::string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Utf8ToUtf16(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return ModificationStamp((uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime);
}

const std::string& GetLogFilePath() {
    static const std::string path = [] {
        std::string folder;
        if (!GetSpecialFolderPath(folder, SpecialFolder::kApplicationData)) return std::string();
        return folder + "Vantrel Software\\VantrelLog.txt";
    }();
    return path;
}

void WriteLogLine(const char* format, ...) {
    char message[1000];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    if (GetLogFilePath().empty()) return;
    if (UniqueFileStream log = OpenFileUtf8(GetLogFilePath(), "a+")) std::fprintf(log.get(), "%s", message);
}
