// Checks of a parameter block that came from outside (the host, scripting, a preset, a batch job),
// and the migration of the older 1,132-byte layout.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "SettingsLayout.h"

namespace LegacyLayout {
inline constexpr uint16_t kBlockSize = 1132;                 // S of the older layout
inline constexpr uint32_t kHandleLength = kBlockSize + ParameterHeader::kRunTimePrefix;
inline constexpr int32_t kMaxLayers = 3;
}  // namespace LegacyLayout

// The (unsigned) layer count of a block in the older layout, or -1 when the block is not one.
int32_t LegacyLayerCount(const uint8_t* handleBytes, int64_t length);

// Rewrites a block from the older layout: `legacy` holds its whole handle (1,140 bytes); `block` is
// the resized block whose header the framework already wrote for LegacyLayerCount layers. Layer
// settings are carried over, the rest takes its defaults, and the background placement is reset.
void SettingsMigrateLegacyBlock(const uint8_t* legacy, const ParameterBlockView& block);

// Checks a block: the size rule against the handle's length, the stack limits and finite numbers
// (17004 when any fails), then clamps every value that indexes a table into its range, every value
// that sets how much work a render does into the range the settings allow (SettingsRanges.h), and
// reads a colour in a space that not every host converts as RGB. The run-time link is cleared:
// whatever it held came from elsewhere.
ErrorCode SettingsCheckBlock(const ParameterBlockView& block);
