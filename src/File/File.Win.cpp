// Files on disk and in the module's resources, special folders, the program's registry values,
// folder listings and the open-file dialog.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstring>

#include "Alerts.h"
#include "Errors.h"
#include "File.h"
#include "RelativePaths.h"
#include "StringIds.h"
#include "ThisModule.h"
#include "Utf.h"
#include "VantrelFileUtils.h"

namespace {

constexpr size_t kFullPathLimit = 260;          // a relative spec made absolute
constexpr size_t kRelativePathLimit = FileSpec::kSize - FileSpec::kTextOffset;
constexpr size_t kAbsolutePathLimit = 1560;     // room to resolve before the 1024-byte check
constexpr size_t kDialogNameCapacity = 1024;
constexpr size_t kDialogMultipleCapacity = 32000;
constexpr size_t kRegistryTextCapacity = 1024;  // characters, the terminator included

ErrorCode gLastFileError = 0;

// Every File operation starts with a clear last error and records the code it fails with.
void BeginOperation() { gLastFileError = 0; }

ErrorCode Failure(ErrorCode code) {
    gLastFileError = code;
    return code;
}

#define THROW_FILE_ERROR(code) (gLastFileError = (code), THROW_IF_ERROR(code))

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    const std::wstring wideA = Utf8ToUtf16(a);
    const std::wstring wideB = Utf8ToUtf16(b);
    return CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                                static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

// The program's key name; a missing string is thrown.
std::wstring ProgramKeyName() {
    char name[256];
    if (!LoadResourceString(StringIds::kProgramKey, name, sizeof name)) THROW_IF_ERROR(Err::ResourceMissing);
    return Utf8ToUtf16(name);
}

// Stores text (with its terminator) as a REG_SZ value of the program's key, which is created when
// missing.
void WriteProgramValue(const std::wstring& valueName, std::string_view text) {
    OwnedRegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, ProgramKeyName().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    const std::wstring wide = Utf8ToUtf16(text);
    RegSetValueExW(key.Get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

// A REG_SZ value of the program's key of fewer than 1024 characters; empty when there is none or
// it has another type.
std::string ReadProgramValue(const std::wstring& valueName) {
    OwnedRegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ProgramKeyName().c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        return {};
    }
    wchar_t text[kRegistryTextCapacity] = {};
    DWORD type = 0;
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return Utf16ToUtf8(std::wstring_view(text, wcsnlen(text, size / sizeof(wchar_t))));
}

// The folder of the plug-in module, without a final backslash.
std::string ModuleFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    const std::wstring_view module(path, length);
    const size_t separator = module.rfind(L'\\');
    return Utf16ToUtf8(module.substr(0, separator == std::wstring_view::npos ? 0 : separator));
}

// A folder name the system may create: not empty, no drive or separator, not only dots.
bool IsPlainFolderName(std::string_view name) {
    return !name.empty() && name.find_first_of(":/") == std::string_view::npos &&
           name.find_first_not_of('.') != std::string_view::npos;
}

// Appends the entries of folder (and with recursive set those of its sub-folders) that listing
// wants; false when folder cannot be listed.
bool ListFolder(const std::string& folder, bool recursive, bool wantFolders, std::vector<FileSpec>& out) {
    std::vector<FolderEntry> entries;
    if (!ListFolderEntries(folder, entries)) return false;
    for (const FolderEntry& entry : entries) {
        if (entry.name.front() == '.') continue;
        const std::string path = folder + "\\" + entry.name;
        if (entry.IsFolder()) {
            if (wantFolders) out.push_back(FileSpec::FromPath(path));  // empty when it does not fit
            if (recursive && !entry.IsLink() && path.size() < FileSpec::kSize) {
                ListFolder(path, true, wantFolders, out);
            }
        } else if (!wantFolders) {
            out.push_back(FileSpec::FromPath(path));
        }
    }
    return true;
}

}  // namespace

// ---- FileSpec operations that reach the system ----

ErrorCode FileSpec::GetFullPath(std::string& path) const {
    path.clear();
    switch (GetKind()) {
    case Kind::Resource:
        return Err::FileIO;
    case Kind::Relative: {
        const std::string relative(Text());
        const std::string& base = FrameLibraryFolder();
        char result[kFullPathLimit];
        if (!MakeAbsolutePath(relative.c_str(), base.empty() ? nullptr : base.c_str(), result, sizeof result)) {
            return Err::FileIO;
        }
        path = result;
        return 0;
    }
    case Kind::Path:
        path = Text();
        return 0;
    }
    return Err::FileIO;
}

void FileSpec::ToRelative(std::string_view baseFolder) {
    std::string full;
    if (GetKind() == Kind::Relative || GetFullPath(full) != 0 || baseFolder.empty()) return;
    const std::string base(baseFolder);
    char relative[kRelativePathLimit];
    if (MakeRelativePath(full.c_str(), base.c_str(), relative, sizeof relative)) *this = FromRelativePath(relative);
}

ErrorCode FileSpec::ToAbsolute(std::string_view baseFolder) {
    if (GetKind() != Kind::Relative) return 0;
    const std::string relative(Text());
    const std::string base(baseFolder);
    char absolute[kAbsolutePathLimit];
    if (!MakeAbsolutePath(relative.c_str(), base.empty() ? nullptr : base.c_str(), absolute, sizeof absolute)) {
        return Err::FileIO;
    }
    std::string path = absolute;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    *this = FromPath(path);
    return IsEmpty() && !path.empty() ? Err::MemoryFull : 0;
}

bool FileSpec::Equals(const FileSpec& a, const FileSpec& b) {
    constexpr size_t kResourceWords = 12;  // kind, type and id
    if (a.GetKind() == Kind::Resource || b.GetKind() == Kind::Resource) {
        return std::memcmp(a.bytes, b.bytes, kResourceWords) == 0;
    }
    if (a.GetKind() == b.GetKind()) return EqualIgnoringCase(a.Text(), b.Text());
    // A relative and a plain spec name the same file when their full paths agree.
    std::string pathA, pathB;
    return a.GetFullPath(pathA) == 0 && b.GetFullPath(pathB) == 0 && EqualIgnoringCase(pathA, pathB);
}

uint32_t FileSpec::CopyToFolder(std::string_view folder) const {
    std::string source, name;
    if (GetFullPath(source) != 0 || GetName(name) != 0) return ERROR_INVALID_PARAMETER;
    const std::string destination = JoinPath(folder, name);
    if (destination == source) return 0;
    return CopyFileW(Utf8ToUtf16(source).c_str(), Utf8ToUtf16(destination).c_str(), FALSE) ? 0 : GetLastError();
}

bool FileSpec::CreateParentFolder(std::string_view path) {
    const size_t separator = path.rfind('\\');
    if (separator == std::string_view::npos || separator == 0) return false;
    const int result = SHCreateDirectoryExW(nullptr, Utf8ToUtf16(path.substr(0, separator)).c_str(), nullptr);
    return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS;
}

HRSRC FileSpec::FindResource() const {
    if (GetKind() != Kind::Resource) return nullptr;
    // The type code as text from its first letter or digit: '.FRM' is the type "FRM".
    std::wstring type;
    const uint32_t code = ResourceType();
    for (int shift = 24; shift >= 0; shift -= 8) {
        const wchar_t c = static_cast<wchar_t>((code >> shift) & 0xFF);
        if (c == 0) break;
        if (type.empty() && !iswalnum(c)) continue;
        type.push_back(c);
    }
    if (type.empty()) return nullptr;
    return ::FindResourceW(ThisModule(), MAKEINTRESOURCEW(ResourceId()), type.c_str());
}

// ---- File: life and data ----

File::File(const FileSpec& spec, uint32_t typeCode) : typeCode_(typeCode), spec_(spec) {
    if (spec.GetKind() == FileSpec::Kind::Resource) {
        typeCode_ = spec.ResourceType();
        resourceId_ = spec.ResourceId();
    }
}

File::~File() { Close(); }

ErrorCode File::LastError() { return gLastFileError; }

void File::OpenResource() {
    const HMODULE module = ThisModule();
    const HRSRC found = spec_.FindResource();
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    resource_ = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    resourceSize_ = resource_ ? SizeofResource(module, found) : 0;
    if (!resource_) Failure(Err::FileNotOpenable);
}

ErrorCode File::Open(const char* mode) {
    BeginOperation();
    if (spec_.IsEmpty() || IsOpen()) THROW_FILE_ERROR(Err::FileIO);
    if (spec_.GetKind() == FileSpec::Kind::Resource) {
        OpenResource();
        return gLastFileError;
    }
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    if (mode && mode[0] == 'r' && mode[1] == 0) access = GENERIC_READ;
    if (mode && mode[0] == 'w' && mode[1] == 0) access = GENERIC_WRITE;
    // A file opened only to be read lets others read it at the same time (another host process
    // loading the same frame, a viewer that has it open); one that is written is held alone.
    const DWORD share = access == GENERIC_READ ? FILE_SHARE_READ : 0;
    std::string path;
    if (spec_.GetFullPath(path) == 0) {
        handle_.Reset(CreateFileW(Utf8ToUtf16(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (handle_) return 0;
    const bool exists = VerifyExists() == 0;
    return Failure(exists ? Err::FileNotOpenable : Err::FileMissing);
}

uint32_t File::Read(void* buffer, uint32_t offset, int32_t count) {
    BeginOperation();
    if (!IsOpen()) return 0;
    const int64_t available = int64_t{GetSize()} - offset;
    const int64_t clipped = std::min<int64_t>(count, available);
    if (clipped <= 0) return 0;
    DWORD got = 0;
    if (resource_) {
        std::memcpy(buffer, resource_ + offset, static_cast<size_t>(clipped));
        got = static_cast<DWORD>(clipped);
    } else {
        LARGE_INTEGER position;
        position.QuadPart = offset;
        if (!SetFilePointerEx(handle_.Get(), position, nullptr, FILE_BEGIN)) THROW_FILE_ERROR(Err::FileIO);
        if (!ReadFile(handle_.Get(), buffer, static_cast<DWORD>(clipped), &got, nullptr)) THROW_FILE_ERROR(Err::FileIO);
    }
    position_ = offset + got;
    return got;
}

ErrorCode File::Write(const void* buffer, uint32_t offset, uint32_t count) {
    BeginOperation();
    const uint64_t end = uint64_t{offset} + count;
    if (!IsOpen()) {
        position_ = static_cast<uint32_t>(end);
        return 0;
    }
    if (resource_ || end > UINT32_MAX) return Failure(Err::FileWriteFailed);
    if (end > static_cast<uint64_t>(GetSize())) {
        if (const ErrorCode code = SetSize(static_cast<uint32_t>(end))) return code;
    }
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!SetFilePointerEx(handle_.Get(), position, nullptr, FILE_BEGIN)) return Failure(Err::FileWriteFailed);
    DWORD written = 0;
    if (!WriteFile(handle_.Get(), buffer, count, &written, nullptr) || written != count) THROW_FILE_ERROR(Err::FileIO);
    FlushFileBuffers(handle_.Get());
    position_ = static_cast<uint32_t>(end);
    return 0;
}

int32_t File::GetSize() {
    BeginOperation();
    if (!IsOpen()) THROW_FILE_ERROR(Err::FileIO);
    if (resource_) return static_cast<int32_t>(resourceSize_);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_.Get(), &size) || size.QuadPart > INT32_MAX) THROW_FILE_ERROR(Err::FileIO);
    return static_cast<int32_t>(size.QuadPart);
}

ErrorCode File::SetSize(uint32_t size) {
    BeginOperation();
    if (!IsOpen()) THROW_FILE_ERROR(Err::FileIO);
    LARGE_INTEGER end;
    end.QuadPart = size;
    if (resource_ || !SetFilePointerEx(handle_.Get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_.Get())) {
        return Failure(Err::FileWriteFailed);
    }
    return 0;
}

ErrorCode File::Close() {
    BeginOperation();
    resource_ = nullptr;
    resourceSize_ = 0;
    if (!handle_) return 0;
    FlushFileBuffers(handle_.Get());
    // Closed here rather than by the owner, whose close cannot report: a failure is the caller's.
    const bool closed = CloseHandle(handle_.Release());
    return closed ? 0 : Failure(Err::FileCloseFailed);
}

ErrorCode File::VerifyExists() {
    BeginOperation();
    if (spec_.IsEmpty()) return Failure(Err::FileMissing);
    if (IsOpen()) return 0;
    if (spec_.GetKind() == FileSpec::Kind::Resource) return spec_.FindResource() ? 0 : Failure(Err::FileMissing);
    std::string path;
    if (spec_.GetFullPath(path) != 0) return Failure(Err::FileMissing);
    const OwnedFile probe(CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // A file held open without sharing exists all the same.
    if (!probe) return GetLastError() == ERROR_SHARING_VIOLATION ? 0 : Failure(Err::FileMissing);
    return 0;
}

bool File::IsFolder() const {
    std::string path;
    if (spec_.GetFullPath(path) != 0) return false;
    const DWORD attributes = GetFileAttributesW(Utf8ToUtf16(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void File::CreateTemp() {
    BeginOperation();
    if (IsOpen()) THROW_FILE_ERROR(Err::FileIO);
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) THROW_FILE_ERROR(Err::TemporaryFile);
    wchar_t name[MAX_PATH];
    if (!GetTempFileNameW(folder, L"File", 0, name)) {
        spec_.Clear();
        THROW_FILE_ERROR(Err::TemporaryFile);
    }
    spec_ = FileSpec::FromPath(Utf16ToUtf8(name));
    if (!spec_.IsEmpty())
        handle_.Reset(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!handle_) {
        DeleteFileW(name);
        spec_.Clear();
        THROW_FILE_ERROR(Err::TemporaryFile);
    }
}

// ---- special folders and preferences ----

namespace {

// Creates the folder, or finds it made. Another process (a second host, a library opened beside
// this one) may make it between a test for it and its creation, so the creation comes first and a
// failure counts only when no folder stands there afterwards.
bool MakeFolder(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

ErrorCode File::GetSpecialFolder(const char* subPath, bool common) {
    BeginOperation();
    std::string folder;
    if (GetSpecialFolderPath(folder, common ? SpecialFolder::kCommonApplicationData : SpecialFolder::kApplicationData)) {
        folder.pop_back();  // the backslash
    } else {
        folder = ModuleFolder();
    }
    std::string_view rest = subPath ? subPath : "";
    while (!rest.empty()) {
        const size_t separator = rest.find('\\');
        const std::string_view component = rest.substr(0, separator);
        rest = separator == std::string_view::npos ? std::string_view() : rest.substr(separator + 1);
        if (component.empty()) continue;
        if (!IsPlainFolderName(component)) return Failure(Err::SpecialFolderNotCreatable);
        folder += '\\';
        folder += component;
        if (!MakeFolder(Utf8ToUtf16(folder))) return Failure(Err::SpecialFolderNotCreatable);
    }
    spec_ = FileSpec::FromPath(folder);
    return spec_.IsEmpty() ? Failure(Err::MemoryFull) : 0;
}

ErrorCode File::GetPreferencesPath(std::string& path) {
    char text[256];
    if (!LoadResourceString(StringIds::kPreferencesFile, text, sizeof text)) THROW_FILE_ERROR(Err::ResourceMissing);
    const std::string_view relative = text;
    const size_t nameStart = FileSpec::NameOffset(relative);
    const std::string folderPart(relative.substr(0, nameStart));
    THROW_IF_ERROR(GetSpecialFolder(folderPart.c_str(), false));
    path = FileSpec::JoinPath(spec_.Text(), relative.substr(nameStart));
    spec_ = FileSpec::FromPath(path);
    if (spec_.IsEmpty()) THROW_FILE_ERROR(Err::MemoryFull);
    return 0;
}

ErrorCode File::CreatePreferenceFile() {
    BeginOperation();
    if (IsOpen()) THROW_FILE_ERROR(Err::FileIO);
    std::string path;
    GetPreferencesPath(path);
    WriteProgramValue(L"PreferenceFile", path);
    handle_.Reset(CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_ ? 0 : Failure(Err::PreferenceFileNotOpenable);
}

ErrorCode File::ResolveSpec(bool common, const char* subPath, const char* name, std::string& result) {
    File folder;
    THROW_IF_ERROR(folder.GetSpecialFolder(subPath, common));
    result += FileSpec::JoinPath(folder.Spec().Text(), name ? name : "");
    return 0;
}

// ---- folder listings ----

ErrorCode File::List(std::vector<FileSpec>& out, bool recursive, Listing listing) {
    BeginOperation();
    std::string folder;
    if (!IsFolder() || spec_.GetFullPath(folder) != 0) return 0;
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return ListFolder(folder, recursive, listing == Listing::Folders, out) ? 0 : Failure(Err::FolderNotFound);
}

ErrorCode File::ListSubfolders(std::vector<FileSpec>& folders, bool recursive) {
    return List(folders, recursive, Listing::Folders);
}

ErrorCode File::ListFiles(std::vector<FileSpec>& files, bool recursive) { return List(files, recursive, Listing::Files); }

// ---- the open-file dialog ----

void File::AddSelectedFiles(const wchar_t* text, size_t capacity) {
    const std::wstring_view buffer(text, capacity);
    const size_t folderEnd = buffer.find(L'\0');
    if (folderEnd == std::wstring_view::npos || folderEnd == 0) return;
    const std::string folder = Utf16ToUtf8(buffer.substr(0, folderEnd));
    auto add = [this](const std::string& path) {
        const FileSpec spec = FileSpec::FromPath(path);
        if (spec.IsEmpty()) return;  // too long for a FileSpec: never cut into another path
        spec_ = spec;
        chosenFiles_.push_back(spec);
    };
    size_t next = folderEnd + 1;
    if (next >= buffer.size() || buffer[next] == L'\0') {
        add(folder);
        return;
    }
    while (next < buffer.size() && buffer[next] != L'\0') {
        const size_t end = buffer.find(L'\0', next);
        if (end == std::wstring_view::npos) break;
        add(FileSpec::JoinPath(folder, Utf16ToUtf8(buffer.substr(next, end - next))));
        next = end + 1;
    }
}

int File::ChooseFile(int mode, HWND owner, const uint32_t* list, int16_t templateId) {
    BeginOperation();
    std::string filter("*.* \0*.*\0\0", 10);
    int selectedGroup = 1;
    MakeFilterString(mode, list, filter, selectedGroup);
    const std::wstring wideFilter = Utf8ToUtf16(filter);

    const std::wstring valueName = L"DefaultFolder" + std::to_wstring(templateId);
    std::string name;
    spec_.GetName(name);
    const std::string_view specText = spec_.Text();
    std::string initialFolder(specText.substr(0, FileSpec::NameOffset(specText)));
    if (initialFolder.empty()) initialFolder = ReadProgramValue(valueName);
    const std::wstring wideFolder = Utf8ToUtf16(initialFolder);
    std::string title;
    const bool hasTitle = DialogTitle(mode, title);
    const std::wstring wideTitle = Utf8ToUtf16(title);

    const bool withTemplate = templateId > 0;
    bool multiple = mode == kChooseMany && withTemplate;
    std::vector<wchar_t> buffer;
    try {
        buffer.assign(multiple ? kDialogMultipleCapacity : kDialogNameCapacity, L'\0');
    } catch (const std::bad_alloc&) {
        multiple = false;
        buffer.assign(kDialogNameCapacity, L'\0');
    }
    const std::wstring wideName = Utf8ToUtf16(name);
    wideName.copy(buffer.data(), std::min(wideName.size(), buffer.size() - 1));

    DialogContext context;
    context.file = this;
    context.mode = mode;
    context.templateId = templateId;
    context.owner = owner ? owner : HostWindow();
    context.typeCode = FileTypeList::Get(list, selectedGroup);

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = context.owner;
    dialog.hInstance = ThisModule();
    dialog.lpstrFilter = filter.empty() ? nullptr : wideFilter.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(selectedGroup);
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrInitialDir = wideFolder.empty() ? nullptr : wideFolder.c_str();
    dialog.lpstrTitle = hasTitle ? wideTitle.c_str() : nullptr;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLEHOOK;
    if (withTemplate) {
        dialog.Flags |= OFN_ENABLETEMPLATE;
        dialog.lpTemplateName = MAKEINTRESOURCEW(templateId);
    }
    if (multiple) dialog.Flags |= OFN_ALLOWMULTISELECT;
    dialog.lpfnHook = OpenDialogHook;
    dialog.lCustData = reinterpret_cast<LPARAM>(&context);

    typeCode_ = 0;
    spec_.Clear();
    if (!GetOpenFileNameW(&dialog)) {
        spec_.Clear();  // whatever the selection showed last was not chosen
        typeCode_ = 0;
        return 1;
    }
    if (multiple) {
        AddSelectedFiles(buffer.data(), buffer.size());
        return spec_.IsEmpty() ? 1 : 0;
    }
    spec_ = FileSpec::FromPath(Utf16ToUtf8(buffer.data()));
    if (spec_.IsEmpty()) return 1;
    typeCode_ = context.typeCode;
    if (mode == kChooseMany) chosenFiles_.push_back(spec_);
    return 0;
}

UINT_PTR CALLBACK File::OpenDialogHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<OPENFILENAMEW*>(lParam)->lCustData);
        }
        auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
        if (!context || !context->file) return 0;
        context->dialog = dialog;
        return context->file->OnOpenDialogMessage(*context, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

UINT_PTR File::OnOpenDialogMessage(DialogContext& context, UINT message, WPARAM wParam, LPARAM lParam) {
    if (callback_) {
        switch (message) {
        case WM_DESTROY:
            AlertState::SetCurrentAlertWindow(nullptr);
            break;
        case WM_PAINT:
            callback_(*this, kEventPaint, context, lParam);
            break;
        case WM_INITDIALOG:
            callback_(*this, kEventInitDialog, context, lParam);
            CenterWindowOnParent(GetParent(context.dialog));
            AlertState::SetCurrentAlertWindow(GetParent(context.dialog));
            break;
        case WM_COMMAND:
            return !callback_(*this, LOWORD(wParam), context, lParam);
        default:
            break;
        }
    }
    if (message == WM_NOTIFY) OnOpenDialogNotify(context, *reinterpret_cast<const NMHDR*>(lParam));
    return 0;
}

void File::OnOpenDialogNotify(DialogContext& context, const NMHDR& header) {
    const HWND box = GetParent(context.dialog);
    wchar_t text[kDialogNameCapacity] = {};
    switch (header.code) {
    case CDN_FOLDERCHANGE: {
        const LRESULT length = SendMessageW(box, CDM_GETFOLDERPATH, kDialogNameCapacity, reinterpret_cast<LPARAM>(text));
        if (length <= 0 || length > static_cast<LRESULT>(kDialogNameCapacity)) return;
        text[kDialogNameCapacity - 1] = 0;
        WriteProgramValue(L"DefaultFolder" + std::to_wstring(context.templateId), Utf16ToUtf8(text));
        return;
    }
    case CDN_SELCHANGE: {
        const LRESULT length = SendMessageW(box, CDM_GETFILEPATH, kDialogNameCapacity, reinterpret_cast<LPARAM>(text));
        if (length <= 0 || length > static_cast<LRESULT>(kDialogNameCapacity)) return;
        text[kDialogNameCapacity - 1] = 0;
        const std::string path = Utf16ToUtf8(text);
        if (EqualIgnoringCase(path, spec_.Text())) return;
        typeCode_ = FileSpec::ExtensionCode(path);
        spec_ = FileSpec::FromPath(path);
        if (VerifyExists() != 0) spec_.Clear();  // a folder, or nothing that exists
        if (callback_) callback_(*this, kEventSelectionChanged, context, 0);
        return;
    }
    default:
        return;
    }
}
