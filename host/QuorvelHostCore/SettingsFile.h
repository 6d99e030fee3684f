// Preset files (.qvo) as far as the host needs them: the parameter block stored as data under the
// key "QuorvelSettings" of an XML property list.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qvhost {

struct PresetSettings {
    std::vector<uint8_t> block;           // "QuorvelSettings"
    std::optional<int32_t> photoPosition; // "TargetLayerPos", when present

    // Where the preset puts the photo among its layers, as a preset is loaded: "TargetLayerPos",
    // or over all of its layers (their count N, bytes 12-13 of the settings) when the key is
    // missing. None when that position is negative or the settings are too short to hold N.
    std::optional<int32_t> PhotoPosition() const;
};

// Presets keep frame paths relative to the frame library, which the plug-in resolves against the
// library it opens. A host run has a folder of frames instead: every relative frame path of the
// settings (layers and path records) becomes a plain path in `folder`. Paths that would not fit
// their 1024 bytes, and records the settings do not hold whole, are left as they are.
void ResolveRelativeFramePaths(std::vector<uint8_t>& settings, const std::string& folder);

// Reads the settings of a preset file; false when it holds no "QuorvelSettings" data.
bool ReadSettingsFile(const std::string& utf8Path, PresetSettings& preset, std::string& error);
// Writes a preset file holding the block.
bool WriteSettingsFile(const std::string& utf8Path, std::span<const uint8_t> block, std::string& error);

}  // namespace qvhost
