// The preferences file: the user's preference record and the library location, kept between runs
// as an XML property list ("Vantrel Software\Quorvel 4.6.prf" in the user's application data).
// Loading never loses what the user had: a file that cannot be used gives the defaults, keeps the
// library location, and is replaced only by a complete new file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "AlertIds.h"
#include "ErrorCodes.h"

struct PreferenceSettings;

namespace PreferencesFile {

// Keys of the stored dictionary.
inline constexpr char kSettingsKey[] = "PreferenceSettings";
inline constexpr char kLibraryPathKey[] = "LibraryPath";

// Alerts of the preferences file.
inline constexpr ErrorCode kFileNotFound = 19005;     // "Could not find the file "^0.""
inline constexpr ErrorCode kFileNotWritten = 19002;   // the file could not be written
inline constexpr ErrorCode kFileCorrupt = AlertIds::kPreferencesCorrupt;
inline constexpr ErrorCode kVolumeMissing = AlertIds::kNotFound;  // "^0" names the missing volume
inline constexpr int kExitPlugInAnswer = 2;           // the corrupt-file alert's "Exit Plug-in"
// The 32-bit code the preview dialog raises when the library's volume is missing.
inline constexpr uint32_t kStopCode = 'stop';

// A library location longer than this cannot be a path of the system (it would not fit a stored
// file spec) and is not taken from the file.
inline constexpr size_t kMaxLibraryPathBytes = 1023;

// Shows alert id with text as its "^0" and answers the button that ended it.
using AlertFunction = std::function<int(ErrorCode id, const std::string& text)>;

// What loading and saving work on. The caller names the file and the default library location, so
// that nothing here reaches for the user's profile on its own.
struct Context {
    // The preferences file (UTF-8); empty when it could not be found.
    std::string path;
    // The file's name as the "not found" alert shows it.
    std::string displayName = "Vantrel Software\\Quorvel 4.6.prf";
    PreferenceSettings* settings = nullptr;
    // The library location: the full path of the frames database file; empty for none.
    std::string libraryPath;
    // Where the library lies when the file names none and no earlier location is known.
    std::string defaultLibraryPath;
    AlertFunction alert;
};

// Sets the record to its defaults, then takes the stored record and library location when the file
// holds them. The library location keeps its last value (the default when it had none) unless the
// file names a usable one. A stored record that is not a whole record of this version and
// signature, or a file that is not a property list, is corrupt: the user either keeps the defaults,
// written back at once with the library location preserved, or ends the call, which raises
// ErrorCodeException 32512 with nothing written. A missing or empty file is no error.
void Load(Context& context);

// Writes the record and the library location as a new file that takes the old one's place only
// when whole. Every failing step shows 19002 (a missing path 19005); nothing is raised. True when
// the file was written.
bool Save(const Context& context);

// What CheckLibraryLocation found.
enum class LibraryCheck {
    Ready,              // the location is usable (or empty): the database may be opened there
    VolumeMissing,      // the volume is not there: 16013 was shown; the dialog stops with kStopCode
    FolderUnavailable,  // the library's folder could not be made: the call goes on without it
};

// Checks the library location before its database is opened: its volume must answer (asked with
// the system's critical-error boxes off), and a library file that does not exist yet gets its
// folder made. The location itself is never changed, so a folder that is away for a moment is not
// forgotten by the next save.
LibraryCheck CheckLibraryLocation(const std::string& libraryPath, const AlertFunction& alert);

// The volume root of path: "C:\" for a drive path, "\\server\share\" for a network path; empty
// for a path without one.
std::string VolumeRoot(const std::string& path);

}  // namespace PreferencesFile

// The process-wide record and library-path setting loaded from and saved to the user's own
// preferences file, alerts shown by the host's window.
void LoadUserPreferences();
void SaveUserPreferences();
