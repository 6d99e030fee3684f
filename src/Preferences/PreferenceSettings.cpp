#include "PreferenceSettings.h"

#include <cstring>

#include "BigEndian.h"

namespace {

PreferenceSettings MakeDefaults() {
    PreferenceSettings settings;
    SetDefaultPreferences(settings);
    return settings;
}

void WriteColour(uint8_t* at, uint16_t red, uint16_t green, uint16_t blue) {
    BigEndian::Write16(at, red);
    BigEndian::Write16(at + 2, green);
    BigEndian::Write16(at + 4, blue);
    BigEndian::Write16(at + 6, 0);
}

// Lower and upper bounds of the randomizer, in field order: colour, blur, size, opacity,
// orientation, number of frames.
constexpr int16_t kRandomizerBounds[][2] = {{0, 255}, {0, 0}, {-10, 0}, {25, 100}, {0, 0}, {3, 5}};
constexpr uint16_t kRandomizerFlags = RandomizerOptions::kFlipHorizontal | RandomizerOptions::kFlipVertical |
                                      RandomizerOptions::kUseAllRecords | RandomizerOptions::kRandomBlendModes;

}  // namespace

uint32_t PreferenceSettings::MachineWord(Offset offset) const {
    uint32_t value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

void PreferenceSettings::SetMachineWord(Offset offset, uint32_t value) {
    std::memcpy(bytes + offset, &value, sizeof value);
}

PreferenceSettings& Preferences() {
    static PreferenceSettings settings = MakeDefaults();
    return settings;
}

void SetDefaultPreferences(PreferenceSettings& settings) {
    std::memset(settings.bytes, 0, sizeof settings.bytes);
    BigEndian::Write16(settings.bytes + PreferenceSettings::kSizeField, PreferenceSettings::kSize);
    BigEndian::Write32(settings.bytes + PreferenceSettings::kSignatureField, PreferenceSettings::kSignature);
    WriteColour(settings.bytes + PreferenceSettings::kPreviewAreaColour, 78, 78, 78);
    WriteColour(settings.bytes + PreferenceSettings::kGuideColour, 0, 255, 255);
    settings.bytes[PreferenceSettings::kRulerUnits] = PreferenceSettings::kInches;
    settings.SetMachineWord(PreferenceSettings::kApplyToNewLayer, 2);
    settings.SetMachineWord(PreferenceSettings::kReservedOption, 1);
}

void SetDefaultRandomizerOptions(RandomizerOptions& options) {
    std::memset(options.bytes, 0, sizeof options.bytes);
    int offset = 0;
    for (const auto& bounds : kRandomizerBounds) {
        BigEndian::Write16(options.bytes + offset, static_cast<uint16_t>(bounds[0]));
        BigEndian::Write16(options.bytes + offset + 2, static_cast<uint16_t>(bounds[1]));
        offset += 4;
    }
    options.bytes[24] = 0;  // noise, lower and upper
    options.bytes[25] = 0;
    BigEndian::Write16(options.bytes + 26, kRandomizerFlags);
}
