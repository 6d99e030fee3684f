#include "SpecialFolders.h"

#include <windows.h>
#include <shlobj.h>

#include <string_view>

#include "Errors.h"
#include "PluginGlobals.h"
#include "Utf.h"

namespace {

// The application-data folder without a final backslash; the module's folder when the shell
// cannot give one.
std::wstring ApplicationDataFolder(bool common) {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, common ? CSIDL_COMMON_APPDATA : CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        const DWORD length = GetModuleFileNameW(GetDLLInstance(), folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) folder[0] = 0;
        if (wchar_t* cut = wcsrchr(folder, L'\\')) *cut = 0;
    }
    std::wstring result(folder);
    if (!result.empty() && result.back() == L'\\') result.pop_back();
    return result;
}

void EnsureFolder(const std::wstring& folder) {
    if (CreateDirectoryW(folder.c_str(), nullptr)) return;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        THROW_IF_ERROR(Err::SpecialFolderNotCreatable);
    }
}

}  // namespace

void ResolveSpecialFolderPath(bool common, const char* subPath, const char* name, std::string& path) {
    std::wstring folder = ApplicationDataFolder(common);
    std::string_view rest = subPath ? subPath : "";
    while (!rest.empty()) {
        const size_t separator = rest.find('\\');
        const std::string_view component = rest.substr(0, separator);
        rest = separator == std::string_view::npos ? std::string_view() : rest.substr(separator + 1);
        if (component.empty()) continue;
        folder += L'\\';
        folder += Utf8ToUtf16(component);
        EnsureFolder(folder);
    }
    path = Utf16ToUtf8(folder);
    path += '\\';
    path += name;
}
