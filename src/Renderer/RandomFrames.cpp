// Random frames: a random number of frames picked from the frames library, each stacked at the
// selected row with background settings drawn between the bounds of the randomizer preferences.
#include "RandomFrames.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "BigEndian.h"
#include "ColorConversion.h"
#include "CppSQLite.h"
#include "LockedParameters.h"
#include "PreferenceSettings.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "QVDatabaseRecordSet.h"
#include "Quorvel.h"

namespace {

// A lower and an upper bound, both included; stored in either order.
struct Bounds {
    int32_t first, second;
};

// The randomizer's bounds as stored in the preferences (big-endian pairs), each value held to the
// range its control offers: the preference file is read from disk like any other input.
struct RandomizerBounds {
    Bounds colour, blur, size, opacity, orientation, frames, noise;
    uint16_t flags;
};

namespace RandomizerLayout {
inline constexpr int kColour = 0, kBlur = 4, kSize = 8, kOpacity = 12, kOrientation = 16, kFrames = 20;
inline constexpr int kNoise = 24;  // two single bytes
inline constexpr int kFlags = 26;
inline constexpr int kLength = 28;
static_assert(kFlags + 2 == kLength && kLength == RandomizerOptions::kSize);
}  // namespace RandomizerLayout

constexpr Bounds kColourRange{0, 255};
constexpr Bounds kBlurRange{0, 999};  // tenths
constexpr Bounds kSizeRange{-50, 50};  // percent of change
constexpr Bounds kOpacityRange{0, EffectLayout::kMaxOpacity};
constexpr Bounds kOrientationRange{-180, 180};  // degrees
constexpr Bounds kFramesRange{1, 6};
constexpr Bounds kNoiseRange{0, EffectLayout::kMaxNoise};

constexpr int32_t kBlendModeCount = EffectLayout::kLastBlendMode;
// Blend-mode numbers that name no mode of the menu, and the mode each stands in for.
constexpr uint16_t kUnlistedNormal = 2, kUnlistedHardLight = 8, kHardLight = 7;

int32_t Held(int32_t value, Bounds range) { return std::clamp(value, range.first, range.second); }

Bounds StoredPair(const RandomizerOptions& options, int offset, Bounds range) {
    return {Held(BigEndian::ReadI16(options.bytes + offset), range),
            Held(BigEndian::ReadI16(options.bytes + offset + 2), range)};
}

// The options of the preference record; options never set take the preference defaults first,
// which then stay in the record.
RandomizerBounds ReadRandomizerOptions(RandomizerOptions& options) {
    if (BigEndian::Read16(options.bytes + RandomizerLayout::kFlags) == 0) {
        SetDefaultRandomizerOptions(options);
        const uint16_t flags = BigEndian::Read16(options.bytes + RandomizerLayout::kFlags);
        BigEndian::Write16(options.bytes + RandomizerLayout::kFlags, flags | RandomizerOptions::kInitialised);
    }
    using namespace RandomizerLayout;
    return {StoredPair(options, kColour, kColourRange),
            StoredPair(options, kBlur, kBlurRange),
            StoredPair(options, kSize, kSizeRange),
            StoredPair(options, kOpacity, kOpacityRange),
            StoredPair(options, kOrientation, kOrientationRange),
            StoredPair(options, kFrames, kFramesRange),
            {Held(options.bytes[kNoise], kNoiseRange), Held(options.bytes[kNoise + 1], kNoiseRange)},
            BigEndian::Read16(options.bytes + kFlags)};
}

// The frames to pick from. Without the realistic-frames option, frames that bring an inner mask
// of their own (three-part frames) are left out. While no library window hands over a list of its
// own (a category or a search), the list the user sees is the whole library, so the option to use
// every record and its inverse pick from the same rows.
void SelectCandidates(QVDatabaseRecordSet& candidates, const RandomizerBounds& options, bool /*useAllRecords*/) {
    if (options.flags & RandomizerOptions::kRealisticFrames) candidates.SelectAll(nullptr, nullptr, true, false);
    else candidates.SelectWhere("rid not in (select rid from InMaskPreviews)", nullptr, nullptr, true);
}

// Converts the colour into the document's colour space with the built-in converter: the host's
// services may round differently, and a drawn colour should come out the same wherever it runs.
class BuiltInColourConversion {
public:
    BuiltInColourConversion() : previous_(UseHostColorServices()) { SetUseHostColorServices(false); }
    ~BuiltInColourConversion() { SetUseHostColorServices(previous_); }
    BuiltInColourConversion(const BuiltInColourConversion&) = delete;
    BuiltInColourConversion& operator=(const BuiltInColourConversion&) = delete;

private:
    bool previous_;
};

// Draws a new layer's background settings, in a fixed order so that a seed repeats a run:
// colour, opacity, noise, angle, flips, blur, size and blend mode.
void DrawLayerSettings(RecordRef layer, const RandomizerBounds& options, RandomDraws& draws, const ColourContext& document) {
    const RecordRef effect = EffectOf(layer, EffectLayout::kBackground);

    ColorRecord colour;  // opaque RGB
    colour.space = 0;
    const bool monochromatic = (options.flags & RandomizerOptions::kMonochromatic) != 0;
    const int32_t grey = monochromatic ? draws.Between(options.colour.first, options.colour.second) : 0;
    for (int16_t& component : colour.components)
        component = static_cast<int16_t>(monochromatic ? grey : draws.Between(options.colour.first, options.colour.second));
    {
        const BuiltInColourConversion builtIn;
        ConvertColorRecord(colour, -1, document);
    }
    colour.Store(effect.At(EffectLayout::kColour));
    effect.Set(EffectLayout::kOpacity, static_cast<uint16_t>(draws.Between(options.opacity.first, options.opacity.second)));
    effect.Set(EffectLayout::kNoise, static_cast<uint8_t>(draws.Between(options.noise.first, options.noise.second)));

    int32_t angle = draws.Between(options.orientation.first, options.orientation.second);
    uint8_t flipHorizontal = 0, flipVertical = 0;
    if (options.flags & RandomizerOptions::kFlipHorizontal) {
        flipHorizontal = static_cast<uint8_t>(draws.Below(2));
        // Mirrored left to right, the frame turns the other way to keep its drawn orientation.
        if (flipHorizontal) angle = -angle;
    }
    if (options.flags & RandomizerOptions::kFlipVertical) {
        flipVertical = static_cast<uint8_t>(draws.Below(2));
        if (flipVertical) angle = (angle >= 0 ? 180 : -180) - angle;
    }
    layer.Set(LayerLayout::kAngle, static_cast<int16_t>(angle));
    layer.Set(LayerLayout::kFlipHorizontal, flipHorizontal);
    layer.Set(LayerLayout::kFlipVertical, flipVertical);

    effect.Set(EffectLayout::kBlur, static_cast<float>(draws.Between(options.blur.first, options.blur.second) / 10.0));
    effect.Set(EffectLayout::kSize, static_cast<float>(draws.Between(options.size.first, options.size.second) * 0.01 + 1.0));

    if (options.flags & RandomizerOptions::kRandomBlendModes) {
        uint16_t mode = static_cast<uint16_t>(draws.Below(kBlendModeCount) + 1);
        if (mode == kUnlistedNormal) mode = EffectLayout::kNormal;
        if (mode == kUnlistedHardLight) mode = kHardLight;
        effect.Set(EffectLayout::kBlendMode, mode);
    }
}

int32_t CurrentLayerCount(const QuorvelBase& stack) {
    const LockedParameters parameters = stack.Lock();
    return parameters ? parameters.View().LayerCount() : 0;
}

}  // namespace

RandomDraws RandomDraws::SeededFromClock() { return RandomDraws(static_cast<uint32_t>(GetTickCount64())); }

uint32_t RandomDraws::Next() {
    ++drawsMade_;
    return static_cast<uint32_t>(engine_());
}

int32_t RandomDraws::Between(int32_t first, int32_t second) {
    const int32_t lo = std::min(first, second), hi = std::max(first, second);
    if (lo == hi) return lo;
    const int64_t span = int64_t{hi} - lo + 1;
    return static_cast<int32_t>(lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(span)));
}

int32_t RandomDraws::Below(int32_t count) { return count > 1 ? Between(0, count - 1) : 0; }

bool Quorvel::AddRandomFrame(bool invertSource, RandomFrameContext& context) {
    if (!context.library) return false;
    const RandomizerBounds options = ReadRandomizerOptions(*Preferences().Randomizer());
    const bool useAllRecords = ((options.flags & RandomizerOptions::kUseAllRecords) != 0) != invertSource;
    RandomDraws& draws = context.draws;
    bool added = false;
    MissingFrames missing;
    try {
        QVDatabaseRecordSet candidates(context.library, "Frames");
        SelectCandidates(candidates, options, useAllRecords);
        // An empty library is no error: the command simply has nothing to add, and a batch run
        // that asks for random frames for every image should not stop on an alert for each.
        if (candidates.Count() == 0) return false;

        const int32_t count = draws.Between(options.frames.first, options.frames.second);
        for (int32_t k = 0; k < count; ++k) {
            QVDatabaseRecord frame(context.library, "Frames");
            if (candidates.RecordAt(draws.Below(candidates.Count()), frame) != 0) break;
            frame.Load({"Filename", "PathType", "Path"});
            const int32_t before = CurrentLayerCount(Stack());
            // A frame whose file is gone is passed over: the other frames drawn still go onto the
            // stack, and the missing ones are told once, after the run, not one alert each.
            if (!LoadLibraryFrame(frame, false, &missing)) continue;
            // The frame could not be used (the stack is full): the user has been told, and the
            // next picks would fail the same way.
            if (CurrentLayerCount(Stack()) != before + 1) break;
            // The new layer is the selected one, wherever the photo's row put it.
            const std::optional<RecordRef> layer = Stack().SelectedLayerRecord();
            if (!layer) break;
            DrawLayerSettings(*layer, options, draws, ColourContext::Of(&Record()));
            Stack().InvalidateLayerCache(0);
            added = true;
        }
    } catch (const CppSQLiteException&) {
        // A library that cannot be read has no frames to give; the layers added so far stay.
    }
    missing.Report();
    if (added) RedoPreview();
    return added;
}
