// The user's preferences: one process-wide record of 1028 bytes, stored whole as opaque data.
// Multi-byte fields are big-endian except the three 32-bit words kept in machine order.
#pragma once

#include <cstdint>

struct RandomizerOptions {
    static constexpr int kSize = 28;
    enum Flags : uint16_t {
        kInitialised = 0x0001,
        kRealisticFrames = 0x0002,
        kFlipHorizontal = 0x0004,
        kFlipVertical = 0x0008,
        kUseAllRecords = 0x0010,
        kRandomBlendModes = 0x0020,
        kMonochromatic = 0x0040,
    };
    uint8_t bytes[kSize];
};

struct PreferenceSettings {
    static constexpr int kSize = 1028;
    static constexpr uint32_t kSignature = 'qvxq';

    // Byte offsets of the fields the system reads.
    enum Offset : int {
        kSizeField = 0,
        kVersion = 2,
        kSignatureField = 4,
        kTimedRenderingOff = 8,
        kBackgroundProcessingOff = 9,
        kViewCompositeLayer = 10,
        kFlags = 11,
        kPreviewAreaColour = 12,
        kGuideColour = 20,
        kRulerUnits = 28,
        kCentreRulers = 29,
        kStartWithLastStack = 30,
        kRulersShown = 31,
        kDialogBounds = 32,
        kLayeredOutput = 40,     // machine order
        kApplyToNewLayer = 44,   // machine order
        kReservedOption = 48,    // machine order
        kKeepLibraryOpen = 54,
        kTabPlacements = 64,
        kLibraryWindowState = 208,
        kRandomizer = 228,
    };
    enum Flag : uint8_t {
        kNoSelectionWarning = 0x01,
        kHotHelpOff = 0x02,
        kWelcomePageOff = 0x04,
        kAutomaticRotationOff = 0x40,
    };
    enum RulerUnits : uint8_t { kPixels = 1, kInches = 2, kCentimeters = 3, kMillimeters = 4, kPoints = 5, kPicas = 6 };

    uint8_t bytes[kSize];

    bool HasFlag(Flag flag) const { return (bytes[kFlags] & flag) != 0; }
    void SetFlag(Flag flag, bool on) {
        bytes[kFlags] = static_cast<uint8_t>(on ? bytes[kFlags] | flag : bytes[kFlags] & ~flag);
    }
    uint32_t MachineWord(Offset offset) const;
    void SetMachineWord(Offset offset, uint32_t value);
    RandomizerOptions* Randomizer() { return reinterpret_cast<RandomizerOptions*>(bytes + kRandomizer); }
};
static_assert(sizeof(PreferenceSettings) == PreferenceSettings::kSize);
static_assert(sizeof(RandomizerOptions) == RandomizerOptions::kSize);

// The process-wide record (defaults until a stored copy replaces it).
PreferenceSettings& Preferences();
// Every byte 0, then the defaults of the fields that have one.
void SetDefaultPreferences(PreferenceSettings& settings);
// The randomizer's defaults, with the initialised flag left clear.
void SetDefaultRandomizerOptions(RandomizerOptions& options);
