// Result codes of the system. 0 is success, negative codes are the host's, positive codes are the
// system's own and double as the ids of their alert dialogs and strings.
#pragma once

#include <cstdint>

using ErrorCode = int16_t;

namespace Err {
inline constexpr ErrorCode None = 0;
// Prepare's answer, and that of the start routine's ending, to an exception that carries no code.
inline constexpr ErrorCode Unexplained = -1;
inline constexpr ErrorCode FolderNotFound = -43;
inline constexpr ErrorCode MemoryFull = -108;
inline constexpr ErrorCode SelectorNotSupported = -30100;
inline constexpr ErrorCode BadParameters = -30100;

inline constexpr ErrorCode ShowNoAlertFrom = 32512;  // codes from here up never show an alert
inline constexpr ErrorCode Cancelled = 32512;       // the user or the host stopped the call
inline constexpr ErrorCode GenericFailure = 32512;  // the same number for a call that cannot run

inline constexpr ErrorCode UnsupportedImageType = 17400;
inline constexpr ErrorCode ImageNotParsable = 17401;
inline constexpr ErrorCode ImageNotDecodable = 17404;
inline constexpr ErrorCode SettingsCorrupt = 17004;
inline constexpr ErrorCode SelectionRequired = 17007;
inline constexpr ErrorCode NoPixelsInLayer = 17008;
inline constexpr ErrorCode TransparencyProtected = 17010;
inline constexpr ErrorCode HostUnsupported = 17500;
inline constexpr ErrorCode SpecialFolderNotCreatable = 19000;
inline constexpr ErrorCode PreferenceFileNotOpenable = 19001;
inline constexpr ErrorCode TemporaryFile = 19003;
inline constexpr ErrorCode FileMissing = 19005;
inline constexpr ErrorCode FileNotOpenable = 19006;
inline constexpr ErrorCode FileNotDeletable = 19008;
inline constexpr ErrorCode FileCloseFailed = 19009;
inline constexpr ErrorCode FileWriteFailed = 19011;
inline constexpr ErrorCode ResourceMissing = 20001;
inline constexpr ErrorCode FileIO = 20002;

inline constexpr ErrorCode GenericFatalAlert = 20900;   // "A fatal error of type = ^0 occured."
inline constexpr ErrorCode GenericMessageAlert = 20901; // "^0" with file and line
}  // namespace Err

// What ThrowIfError throws: a 16-bit code whose alert (if any) has already been shown.
struct ErrorCodeException {
    ErrorCode code;
};

// A 32-bit signed code thrown by the scripting-descriptor routines; the host receives its low 16 bits
// when they are a negative code, else -30100 (ResultOfSuiteError).
struct SuiteErrorException {
    int32_t code;
};

// A 32-bit unsigned code thrown by the host-suite accessors; the call ends with -108.
struct SuiteAccessException {
    uint32_t code;
};
