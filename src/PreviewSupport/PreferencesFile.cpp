#include "PreferencesFile.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "Alerts.h"
#include "BigEndian.h"
#include "Errors.h"
#include "File.h"
#include "Libraries.h"
#include "PreferenceSettings.h"
#include "PropertyListFile.h"
#include "StringIds.h"
#include "Utf.h"
#include "VantrelFileUtils.h"

namespace PreferencesFile {

namespace {

// The version of the record this system writes; a newer one is not read.
constexpr uint8_t kRecordVersion = 0;
// Enough of a record to hold its size, version and signature.
constexpr size_t kRecordHeaderSize = 8;

// A stored record is taken only whole, of this version and signature, and telling its own size:
// any part of a record of another layout would put foreign bytes under the fields of this one.
bool IsUsableRecord(std::span<const uint8_t> stored) {
    if (stored.size() != PreferenceSettings::kSize) return false;
    static_assert(PreferenceSettings::kSize >= kRecordHeaderSize);
    return BigEndian::Read16(stored.data() + PreferenceSettings::kSizeField) == PreferenceSettings::kSize &&
           stored[PreferenceSettings::kVersion] <= kRecordVersion &&
           BigEndian::Read32(stored.data() + PreferenceSettings::kSignatureField) == PreferenceSettings::kSignature;
}

// A stored location is a path the system can hold: not empty, not cut, no NUL inside.
bool IsUsableLibraryPath(const std::string& path) {
    return !path.empty() && path.size() <= kMaxLibraryPathBytes && path.find('\0') == std::string::npos;
}

int ShowAlert(const Context& context, ErrorCode id, const std::string& text) {
    return context.alert ? context.alert(id, text) : 1;
}

// What the file holds when it can be read: nothing at all (missing or empty), or its bytes.
enum class FileState { Absent, Present, Unreadable };

FileState StateOf(const std::string& path) {
    const uint32_t kind = GetFileKind(path);
    if (kind == 0) return FileState::Absent;
    if (!(kind & FileKind::kFile)) return FileState::Unreadable;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) return FileState::Unreadable;
    return bytes.empty() ? FileState::Absent : FileState::Present;
}

}  // namespace

void Load(Context& context) {
    SetDefaultPreferences(*context.settings);
    if (context.libraryPath.empty()) context.libraryPath = context.defaultLibraryPath;
    if (context.path.empty()) {
        ShowAlert(context, kFileNotFound, context.displayName);
        return;
    }
    switch (StateOf(context.path)) {
    case FileState::Absent:
        return;
    case FileState::Unreadable:
        // Held by another process or not a file at all: it may be good, so it is neither read nor
        // declared corrupt; the defaults serve this run.
        return;
    case FileState::Present:
        break;
    }

    const PropertyListFile file(context.path);
    bool corrupt = !file.HasDictionary();
    if (!corrupt) {
        // The location is taken before the record is judged, so that rewriting a corrupt record
        // keeps the user's library.
        std::string stored;
        if (file.GetString(kLibraryPathKey, stored, kMaxLibraryPathBytes + 1) && IsUsableLibraryPath(stored))
            context.libraryPath = std::move(stored);

        if (file.Dictionary()->Contains(kSettingsKey)) {
            std::vector<uint8_t> record;
            if (!file.GetData(kSettingsKey, record)) {
                corrupt = true;  // another type under the key
            } else if (!record.empty()) {
                if (IsUsableRecord(record))
                    std::memcpy(context.settings->bytes, record.data(), PreferenceSettings::kSize);
                else
                    corrupt = true;
            }
        }
    }
    if (!corrupt) return;

    if (ShowAlert(context, kFileCorrupt, std::string()) == kExitPlugInAnswer) throw ErrorCodeException{Err::Cancelled};
    SetDefaultPreferences(*context.settings);
    Save(context);
}

bool Save(const Context& context) {
    if (context.path.empty()) {
        ShowAlert(context, kFileNotFound, context.displayName);
        return false;
    }
    // A fresh dictionary: keys of an older file that this system no longer writes are not carried.
    PropertyListFile list;
    bool written = true;
    if (!list.SetData(kSettingsKey, std::span<const uint8_t>(context.settings->bytes, PreferenceSettings::kSize))) {
        ShowAlert(context, kFileNotWritten, std::string());
        written = false;
    }
    if (!list.SetString(kLibraryPathKey, context.libraryPath)) {
        ShowAlert(context, kFileNotWritten, std::string());
        written = false;
    }
    const std::optional<cf::FileUrl> url = cf::FileUrl::FromFileSystemPath(context.path);
    if (!url || !list.Save(*url)) {
        ShowAlert(context, kFileNotWritten, std::string());
        written = false;
    }
    return written;
}

std::string VolumeRoot(const std::string& path) {
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // "\\server\share\": the share is the volume a network library lies on.
        const size_t serverEnd = path.find('\\', 2);
        if (serverEnd == std::string::npos || serverEnd == 2) return std::string();
        const size_t shareEnd = path.find('\\', serverEnd + 1);
        if (shareEnd == serverEnd + 1) return std::string();
        return shareEnd == std::string::npos ? path + '\\' : path.substr(0, shareEnd + 1);
    }
    const size_t separator = path.find('\\');
    if (separator == std::string::npos || separator == 0) return std::string();
    return path.substr(0, separator + 1);
}

LibraryCheck CheckLibraryLocation(const std::string& libraryPath, const AlertFunction& alert) {
    if (libraryPath.empty()) return LibraryCheck::Ready;
    const std::string root = VolumeRoot(libraryPath);
    if (!root.empty()) {
        // A removed drive must not bring up the system's "insert a disk" box in the host's face.
        const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        const BOOL answered =
            GetVolumeInformationW(Utf8ToUtf16(root).c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0);
        SetErrorMode(previousMode);
        if (!answered) {
            if (alert)
                alert(kVolumeMissing,
                      "The database volume (" + root + ") is missing. Please connect it and try again.");
            return LibraryCheck::VolumeMissing;
        }
    }
    if (GetFileKind(libraryPath) != 0) return LibraryCheck::Ready;
    // The folder creation also answers "exists" for a file of the folder's name: the folder is
    // usable only when it is one afterwards.
    FileSpec::CreateParentFolder(libraryPath);
    const size_t separator = libraryPath.rfind('\\');
    if (separator == std::string::npos) return LibraryCheck::Ready;
    const uint32_t folderKind = GetFileKind(std::string_view(libraryPath).substr(0, separator));
    return (folderKind & FileKind::kFolder) ? LibraryCheck::Ready : LibraryCheck::FolderUnavailable;
}

}  // namespace PreferencesFile

namespace {

int ShowHostAlert(ErrorCode id, const std::string& text) {
    try {
        return RunModalDialog(nullptr, id, text.c_str(), nullptr);
    } catch (const ErrorCodeException&) {
    } catch (const std::bad_alloc&) {
    }
    // An alert that cannot be shown takes its first button: keep going with the defaults.
    return 1;
}

PreferencesFile::Context UserContext() {
    PreferencesFile::Context context;
    context.settings = &Preferences();
    context.libraryPath = LibraryPathSetting();
    context.alert = ShowHostAlert;
    // Each failure below has shown its own alert when it had one; the defaults then serve.
    try {
        File file;
        file.GetPreferencesPath(context.path);
    } catch (const ErrorCodeException&) {
        context.path.clear();
    }
    char folder[256];
    char name[256];
    if (LoadResourceString(StringIds::kDataFolder, folder, sizeof folder) &&
        LoadResourceString(StringIds::kFramesLibraryFile, name, sizeof name)) {
        try {
            // The frames library's own default place: the folder all users share.
            File::ResolveSpec(true, folder, name, context.defaultLibraryPath);
        } catch (const ErrorCodeException&) {
            context.defaultLibraryPath.clear();
        }
    }
    return context;
}

}  // namespace

void LoadUserPreferences() {
    PreferencesFile::Context context = UserContext();
    try {
        PreferencesFile::Load(context);
    } catch (...) {
        SetLibraryPathSetting(context.libraryPath);
        throw;
    }
    SetLibraryPathSetting(context.libraryPath);
}

void SaveUserPreferences() { PreferencesFile::Save(UserContext()); }
