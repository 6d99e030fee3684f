// One row of a blend table: the result of blending the value a over every base value b.
#pragma once

#include <cstdint>

// Blend modes of the renderer (the numbers stored in the layer records).
enum BlendMode : int32_t {
    kBlendNormal = 1,
    kBlendNormalAlt = 2,
    kBlendMultiply = 3,
    kBlendScreen = 4,
    kBlendOverlay = 5,
    kBlendSoftLight = 6,
    kBlendHardLight = 7,
    kBlendNormalAlt2 = 8,
    kBlendDarken = 9,
    kBlendLighten = 10,
    kBlendDifference = 11,
    kBlendExclusion = 12,
};
inline constexpr int32_t kBlendModeCount = 12;

// Fills table[b] for b = 0..255 with mode's result for blend value a (0..255). A mode outside
// 1..12 is refused: false, and the table is left as it was.
bool BuildBlendTable(int32_t mode, int32_t a, uint8_t table[256]);
