#include "SettingsFile.h"

#include "FileIO.h"
#include "SettingsLayout.h"
#include "VantrelCoreFoundation.h"

namespace qvhost {
namespace {
constexpr int64_t kMaxSettingsFile = 64 << 20;
constexpr char kSettingsKey[] = "QuorvelSettings";
// The settings start with the block's framework header, without the handle's run-time prefix.
constexpr size_t kLayerCountOffset = BlockLayout::kLayerCount.offset - ParameterHeader::kRunTimePrefix;
}  // namespace

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
