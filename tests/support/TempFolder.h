// A fresh folder under the system's temporary folder for one test, removed with everything in it
// when the test ends. Its name may carry non-ASCII characters, so that every file call of a test
// also proves the UTF-8 path handling.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>

#include "Utf.h"
#include "Win32Owners.h"

class TempFolder {
public:
    explicit TempFolder(std::string_view name = "Quorvel Café Ω") {
        static std::atomic<unsigned> counter{0};
        wchar_t base[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, base);
        path_ = Utf16ToUtf8(std::wstring_view(base, length));
        if (!path_.empty() && path_.back() != '\\') path_ += '\\';
        path_ += std::string(name) + " " + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        CreateDirectoryW(Utf8ToUtf16(path_).c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(Utf8ToUtf16(path_)); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path, without a trailing backslash.
    const std::string& Path() const { return path_; }
    // path + "\" + name.
    std::string operator/(std::string_view name) const { return path_ + "\\" + std::string(name); }

    // Removes a folder and what it holds; links (reparse points) are removed, never followed.
    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW entry;
        if (const OwnedFolderListing find(FindFirstFileW((folder + L"\\*").c_str(), &entry)); find) {
            do {
                const std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = folder + L"\\" + name;
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                const DWORD attributes = entry.dwFileAttributes;
                if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    RemoveTree(path);
                } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());  // a Unix link under Wine
                } else {
                    DeleteFileW(path.c_str());
                }
            } while (FindNextFileW(find.Get(), &entry));
        }
        RemoveDirectoryW(folder.c_str());
    }

private:
    std::string path_;
};

// Writes text to a new file at path (UTF-8); true when all of it was written.
inline bool WriteTextFile(const std::string& path, std::string_view text) {
    const OwnedFile file(CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// The whole content of the file at path, empty when it cannot be read.
inline std::string ReadTextFile(const std::string& path) {
    const OwnedFile file(CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}
