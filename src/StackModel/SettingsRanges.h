// The ranges of the stored values that decide how much work a render does: effect blurs, the
// glow's width, the shadow's offsets, the bevel's width and softness, the surface texture's blur,
// and the edges' pattern length and depth. Validation clamps a block into them and the renderer
// clamps again where it reads them, so no stored number decides how long a call runs.
//
// The upper bounds are the settings tabs' (stored units: a width of 25 % is 0.25). The lower
// bounds keep every value that already meant "nothing" (a blur of 0, a bevel or edge that is off)
// and stop there. The texture blur has no tab; it is the same Gauss pass as the effects' blur and
// gets their bound.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "SettingsLayout.h"

namespace SettingsRanges {

// Effects: the Blur (and the glow's Radiance) of every kind, 0 .. 99.9 pixels.
inline constexpr float kMaxEffectBlur = 99.9f;
// The glow's Width, 0 .. 25 %.
inline constexpr float kMaxGlowWidth = 0.25f;
// The shadow's offsets, -1000 .. 1000 image pixels.
inline constexpr int16_t kMaxShadowOffset = 1000;

// The bevel: width 1 .. 100 pixels (0: no bevel), softness 0 .. 25.
inline constexpr int16_t kMaxBevelWidth = 100;
inline constexpr float kMaxBevelSoftness = 25.0f;
inline constexpr float kMaxTextureBlur = kMaxEffectBlur;

// Edges: pattern length 2 .. 100 (shorter: the edge draws nothing), depth 1 .. 50 (0: nothing).
inline constexpr int16_t kMaxEdgeLength = 100;
inline constexpr int16_t kMaxEdgeDepth = 50;

// Colour spaces an effect or bevel colour may name: RGB .. HSL, which every host can convert
// (the built-in converter stands in for a host without colour services); a negative space is a
// colour the renderer takes as it is.
inline constexpr int16_t kFirstColourSpace = 0;  // RGB
inline constexpr int16_t kLastColourSpace = 5;   // HSL
inline constexpr int16_t kFallbackColourSpace = 0;

// The value within low..high; NaN (which the block's check refuses first) gives low.
template <typename T>
constexpr T Bounded(T value, T low, T high) {
    return value >= low ? std::min(value, high) : low;
}

inline float EffectBlur(float blur) { return Bounded(blur, 0.0f, kMaxEffectBlur); }
inline float GlowWidth(float width) { return Bounded(width, 0.0f, kMaxGlowWidth); }
inline int32_t ShadowOffset(int32_t offset) { return Bounded<int32_t>(offset, -kMaxShadowOffset, kMaxShadowOffset); }
inline int32_t BevelWidth(int32_t width) { return Bounded<int32_t>(width, 0, kMaxBevelWidth); }
inline float BevelSoftness(float softness) { return Bounded(softness, 0.0f, kMaxBevelSoftness); }
inline float TextureBlur(float blur) { return Bounded(blur, 0.0f, kMaxTextureBlur); }
inline int32_t EdgeLength(int32_t length) { return Bounded<int32_t>(length, 0, kMaxEdgeLength); }
inline int32_t EdgeDepth(int32_t depth) { return Bounded<int32_t>(depth, 0, kMaxEdgeDepth); }

// A copy of an edge slot with its pattern length and depth within range, for the edge generators,
// which themselves take any size.
class BoundedEdgeSlot {
public:
    explicit BoundedEdgeSlot(RecordRef slot) {
        std::memcpy(bytes_, slot.Bytes(), EdgeLayout::kLength);
        const RecordRef copy(bytes_);
        copy.Set(EdgeLayout::kPatternLength, static_cast<int16_t>(EdgeLength(copy.Get(EdgeLayout::kPatternLength))));
        copy.Set(EdgeLayout::kPatternDepth, static_cast<int16_t>(EdgeDepth(copy.Get(EdgeLayout::kPatternDepth))));
    }
    RecordRef Record() { return RecordRef(bytes_); }

private:
    uint8_t bytes_[EdgeLayout::kLength];
};

}  // namespace SettingsRanges
