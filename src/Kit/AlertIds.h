// The ids of the alerts the code raises by number, each named once for every component that raises
// it. An alert is the dialog whose id is its code; the error codes that double as alerts are in
// ErrorCodes.h, and the number alerts of the dialog framework stay with its number checks.
#pragma once

#include "ErrorCodes.h"

namespace AlertIds {
// Frame files and the stack.
inline constexpr ErrorCode kFrameMemory = 16002;       // "Could not load the frame image "^0." The memory is full..."
inline constexpr ErrorCode kFrameFile = 16003;         // "Could not load the frame image "^0." The disk... may be off-line..."
inline constexpr ErrorCode kReloadFrames = 16004;      // the disk-inserted question
inline constexpr ErrorCode kNewFrameMemory = 16005;    // "Could not create or load a new frame because the memory is full."
inline constexpr ErrorCode kStackFull = 16006;         // "Quorvel cannot use more than ^0 frames."
inline constexpr ErrorCode kImageCacheGivenUp = 16008; // "Apply to New Layer" loses its cache: "OK" or "Exit"
inline constexpr ErrorCode kTransparentFrames = 16009;
inline constexpr ErrorCode kReplaceFrame = 16012;      // the frames importer's replace question
inline constexpr ErrorCode kNotFound = 16013;          // "^0": a frame file or the library's volume is not there

// The preferences file.
inline constexpr ErrorCode kPreferencesCorrupt = 17003;  // "OK" or "Exit Plug-in"

// The filter framework's memory recovery and selection round trip.
inline constexpr ErrorCode kSettingsUndone = 17005;      // "OK" or "Quit"
inline constexpr ErrorCode kSettingsReset = 17006;       // "OK" or "Quit"
inline constexpr ErrorCode kSelectionWarning = 17012;    // "Continue", "Cancel", "Do not warn again!"
}  // namespace AlertIds
