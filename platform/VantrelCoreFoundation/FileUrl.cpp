// File URLs: whole-file reads and replacing writes through the wide-character file calls.
#include <windows.h>

#include <algorithm>

#include "VantrelCoreFoundation.h"

namespace cf {
namespace {

bool ToWide(std::string_view utf8, std::wstring& out) {
    out.clear();
    if (utf8.empty()) return true;
    if (utf8.size() > 0x7FFFFFFF) return false;
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                           nullptr, 0);
    if (length <= 0) return false;
    out.resize(static_cast<size_t>(length));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                               length) == length;
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    bool Close() {
        const bool closed = handle_ == INVALID_HANDLE_VALUE || CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

// The folder part of a path with its last separator, "." when it has none.
std::wstring FolderOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? L"." : path.substr(0, separator + 1);
}

bool WriteAll(HANDLE file, std::span<const uint8_t> data) {
    constexpr size_t kChunk = 1u << 20;
    for (size_t offset = 0; offset < data.size();) {
        const DWORD request = static_cast<DWORD>(std::min(kChunk, data.size() - offset));
        DWORD written = 0;
        if (!WriteFile(file, data.data() + offset, request, &written, nullptr) || written != request) return false;
        offset += written;
    }
    return true;
}

}  // namespace

std::optional<FileUrl> FileUrl::FromFileSystemPath(std::string_view path) {
    std::wstring wide;
    if (path.empty() || !ToWide(path, wide)) return std::nullopt;
    return FileUrl(std::string(path));
}

FileUrl::Status FileUrl::ReadData(Data& out) const {
    out.clear();
    std::wstring wide;
    if (!ToWide(path_, wide)) return Status::NotFound;
    FileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Status::NotFound : Status::ReadFailed;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return Status::ReadFailed;
    if (static_cast<uint64_t>(size.QuadPart) > kMaxResourceSize) return Status::TooLarge;
    out.resize(static_cast<size_t>(size.QuadPart));
    for (size_t offset = 0; offset < out.size();) {
        DWORD got = 0;
        const DWORD request = static_cast<DWORD>(out.size() - offset);
        if (!ReadFile(file.Get(), out.data() + offset, request, &got, nullptr) || got == 0) {
            out.clear();
            return Status::ReadFailed;
        }
        offset += got;
    }
    return Status::Ok;
}

FileUrl::Status FileUrl::WriteData(std::span<const uint8_t> data) const {
    std::wstring wide;
    if (!ToWide(path_, wide)) return Status::WriteFailed;
    wchar_t temporary[MAX_PATH];
    if (!GetTempFileNameW(FolderOf(wide).c_str(), L"plt", 0, temporary)) return Status::WriteFailed;
    FileHandle file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool written = file.IsOpen() && WriteAll(file.Get(), data) && FlushFileBuffers(file.Get());
    if (!file.Close() || !written ||
        !MoveFileExW(temporary, wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary);
        return Status::WriteFailed;
    }
    return Status::Ok;
}

}  // namespace cf
