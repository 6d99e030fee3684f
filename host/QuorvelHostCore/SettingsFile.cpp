#include "SettingsFile.h"

#include <algorithm>

#include "FileIO.h"
#include "SettingsLayout.h"
#include "VantrelCoreFoundation.h"

namespace qvhost {
namespace {
constexpr int64_t kMaxSettingsFile = 64 << 20;
constexpr char kSettingsKey[] = "QuorvelSettings";
// The settings start with the block's framework header, without the handle's run-time prefix.
constexpr size_t kLayerCountOffset = BlockLayout::kLayerCount.offset - ParameterHeader::kRunTimePrefix;
constexpr size_t kPathCountOffset = BlockLayout::kPathCount.offset - ParameterHeader::kRunTimePrefix;
constexpr size_t kLayersOffset = BlockLayout::kLayers - ParameterHeader::kRunTimePrefix;
// A record's frame source: a 1024-byte file spec whose first word 4 marks a relative path.
constexpr size_t kSpecSize = LayerLayout::kSourceLength;
constexpr uint32_t kRelativeSpec = 4;
constexpr size_t kRelativeText = 4;

void ResolveSpec(uint8_t* spec, const std::string& folder) {
    if (BigEndian::Read32(spec) != kRelativeSpec) return;
    const uint8_t* text = spec + kRelativeText;
    size_t length = 0;
    while (kRelativeText + length < kSpecSize && text[length] != 0) ++length;
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    path.append(reinterpret_cast<const char*>(text), length);
    if (path.size() >= kSpecSize) return;
    std::fill(spec, spec + kSpecSize, uint8_t{0});
    std::copy(path.begin(), path.end(), spec);
}
}  // namespace

void ResolveRelativeFramePaths(std::vector<uint8_t>& settings, const std::string& folder) {
    if (settings.size() < kLayersOffset) return;
    const int32_t layers = static_cast<int16_t>(BigEndian::Read16(settings.data() + kLayerCountOffset));
    const int32_t paths = static_cast<int16_t>(BigEndian::Read16(settings.data() + kPathCountOffset));
    if (layers < 0 || paths < 0) return;
    const int64_t slots = std::max(layers, 1);
    for (int64_t i = 0; i < slots + paths; ++i) {
        const int64_t record = kLayersOffset + (i < slots ? i * LayerLayout::kLength
                                                          : slots * LayerLayout::kLength + (i - slots) * PathLayout::kLength);
        const int64_t spec = record + LayerLayout::kSource;
        if (spec + static_cast<int64_t>(kSpecSize) > static_cast<int64_t>(settings.size())) return;
        ResolveSpec(settings.data() + spec, folder);
    }
}

std::optional<int32_t> PresetSettings::PhotoPosition() const {
    std::optional<int32_t> position = photoPosition;
    if (!position && block.size() >= kLayerCountOffset + 2)
        position = static_cast<int16_t>(BigEndian::Read16(block.data() + kLayerCountOffset));
    if (position && *position < 0) return std::nullopt;
    return position;
}

bool ReadSettingsFile(const std::string& utf8Path, PresetSettings& preset, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(utf8Path, bytes, kMaxSettingsFile)) {
        error = "cannot read the settings file " + utf8Path;
        return false;
    }
    std::string why;
    const std::optional<cf::Value> root = cf::PropertyList::FromXml(bytes, &why);
    const cf::Dictionary* dictionary = root ? root->AsDictionary() : nullptr;
    const cf::Data* settings = dictionary ? dictionary->GetData(kSettingsKey) : nullptr;
    if (!settings) {
        error = utf8Path + (root ? " holds no \"QuorvelSettings\" data" : " is not a property list: " + why);
        return false;
    }
    preset.block = *settings;
    preset.photoPosition = dictionary->GetInt32("TargetLayerPos");
    return true;
}

bool WriteSettingsFile(const std::string& utf8Path, std::span<const uint8_t> block, std::string& error) {
    cf::Dictionary preset;
    preset.SetReal("PresetVersion", 1.0);
    preset.SetData(kSettingsKey, block);
    const std::optional<std::string> xml = cf::PropertyList::ToXml(preset);
    if (!xml) {
        error = "cannot write the settings file " + utf8Path + ": the settings could not be put in a property list";
        return false;
    }
    return WriteWholeFile(utf8Path, {reinterpret_cast<const uint8_t*>(xml->data()), xml->size()}, error);
}

}  // namespace qvhost
