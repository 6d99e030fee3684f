// The parameters handle as the host keeps it between calls: a run-time prefix that is never part
// of the stored settings, the framework's header, then the filter's settings. The header's size S
// counts from the header's first byte, so the handle holds S + kRunTimePrefix bytes. The stand-in
// host reads the same layout.
#pragma once

#include "BinaryLayout.h"

namespace ParameterHeader {
inline constexpr int kRunTimePrefix = 8;
// The scripting descriptor's copy of the block starts this far into the handle: the last four
// bytes of the prefix travel with it, and are no settings either.
inline constexpr int kScriptCopyStart = 4;

// The header's fields, counted from its first byte; every number big-endian.
inline constexpr int kSizeField = 0;       // u16 S
inline constexpr int kReservedByte = 2;    // 0
inline constexpr int kLengthByte = 3;      // the header's length
inline constexpr int kSignatureField = 4;  // u32, the filter's four-character signature
inline constexpr int kReservedWord = 8;    // u32 0
inline constexpr int kHeaderLength = 12;

// The settings, counted from the handle's start.
inline constexpr int kSettingsOffset = kRunTimePrefix + kHeaderLength;
// S is stored in 16 bits.
inline constexpr int kMaxSize = 0xFFFF;

static_assert(FieldsFollowOn(0, {{kSizeField, 2}, {kReservedByte, 1}, {kLengthByte, 1}, {kSignatureField, 4},
                                 {kReservedWord, 4}},
                             kHeaderLength));
static_assert(kScriptCopyStart > 0 && kScriptCopyStart < kRunTimePrefix);
}  // namespace ParameterHeader
