// The tests' filter: inverts every colour sample (8-bit 0..255, 16-bit 0..32768) where the
// selection covers at least half, and leaves the rest as it was; planes after the colour planes
// (a layer's transparency) are kept.
#pragma once

#include <cstring>

#include "ImageModes.h"
#include "PhotoshopFilter.h"
#include "HostCall.h"

class InvertFilter : public PhotoshopFilter {
public:
    static uint16_t MaskSample16(const uint8_t* row, int32_t x) {
        uint16_t v;
        std::memcpy(&v, row + 2 * x, 2);
        return v;
    }

    int32_t composedTiles = 0;

    void ComposeTile() override {
        ++composedTiles;
        const HostCall& call = HostCall::Current();
        const FilterRecord& r = *call.record;
        const int32_t planes = r.outHiPlane - r.outLoPlane + 1;
        const int32_t bytes = call.bytesPerSample;
        const int32_t colourPlanes = ColourPlanesOfMode(r.imageMode);
        const bool masked = r.maskRect.top < r.maskRect.bottom && r.maskData;
        for (int32_t y = 0; y < r.outRect.bottom - r.outRect.top; ++y) {
            const auto* in = static_cast<const uint8_t*>(r.inData) + int64_t{y} * r.inRowBytes;
            auto* out = static_cast<uint8_t*>(r.outData) + int64_t{y} * r.outRowBytes;
            const auto* mask = masked ? static_cast<const uint8_t*>(r.maskData) + int64_t{y} * r.maskRowBytes : nullptr;
            for (int32_t x = 0; x < r.outRect.right - r.outRect.left; ++x) {
                const bool selected = !mask || (bytes == 1 ? mask[x] >= 128 : MaskSample16(mask, x) >= 16384);
                for (int32_t p = 0; p < planes; ++p) {
                    const bool inverted = selected && r.outLoPlane + p < colourPlanes;
                    const int64_t at = (int64_t{x} * planes + p) * bytes;
                    if (bytes == 1) {
                        out[at] = inverted ? static_cast<uint8_t>(255 - in[at]) : in[at];
                    } else {
                        uint16_t v;
                        std::memcpy(&v, in + at, 2);
                        if (inverted) v = static_cast<uint16_t>(32768 - v);
                        std::memcpy(out + at, &v, 2);
                    }
                }
            }
        }
    }
};
