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
};

// Reads the settings of a preset file; false when it holds no "QuorvelSettings" data.
bool ReadSettingsFile(const std::string& utf8Path, PresetSettings& preset, std::string& error);
// Writes a preset file holding the block.
bool WriteSettingsFile(const std::string& utf8Path, std::span<const uint8_t> block, std::string& error);

}  // namespace qvhost
