// The arithmetic that shows a filtered preview tile between the document layers below and above
// the target layer. Samples are 8-bit (0..255) or the system's 16-bit range (0..32768); every
// product is taken in 64 bits.
#pragma once

#include <cstdint>

// How much of the output pixel shows: inverted layer-mask sample v, layer-mask sample m and
// transparency t, each 255 (8-bit) or 32768 (16-bit) when absent (v: 0 when absent).
struct OutputCoverage {
    uint32_t inverted = 0;
    uint32_t mask = 0;
    uint32_t transparency = 0;
};

// The output over the lower layer: lower (P colour samples, then its transparency when hasAlpha)
// takes the blend in place.
template <typename Sample>
void ComposeOutputOverLower(const Sample* output, OutputCoverage coverage, Sample* lower, int32_t colourPlanes,
                            Sample lowerAlpha, bool hasAlpha);
// The upper layer over the composed lower layer, in place in lower.
template <typename Sample>
void ComposeUpperOverLower(const Sample* upper, Sample upperAlpha, Sample* lower, int32_t colourPlanes,
                           Sample lowerAlpha, bool hasAlpha);
// The upper layer over the output when there is no lower layer, in place in upper (its colour
// samples, then its transparency).
template <typename Sample>
void ComposeUpperOverOutput(const Sample* output, OutputCoverage coverage, Sample* upper, int32_t colourPlanes);
