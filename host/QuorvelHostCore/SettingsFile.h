// Preset files (.qvo) as far as the host needs them: the parameter block stored as <data> under
// the key "QuorvelSettings" of an XML property list.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qvhost {

// Reads the "QuorvelSettings" data of a preset file.
bool ReadSettingsFile(const std::string& utf8Path, std::vector<uint8_t>& block, std::string& error);
// The photo position ("TargetLayerPos") of a preset file; false when it holds none.
bool ReadSettingsPhotoPosition(const std::string& utf8Path, int32_t& position);
// Writes a preset file holding the block.
bool WriteSettingsFile(const std::string& utf8Path, std::span<const uint8_t> block, std::string& error);

// Base64 as property lists hold data; decoding skips white space and refuses anything else.
std::string EncodeBase64(std::span<const uint8_t> bytes);
bool DecodeBase64(std::string_view text, std::vector<uint8_t>& bytes);

}  // namespace qvhost
