// The tests' filter: inverts every colour sample (8-bit 0..255, 16-bit 0..32768) where the
// selection covers at least half, and leaves the rest as it was; planes after the colour planes
// (a layer's transparency) are kept.
#pragma once

#include <cstring>

#include "HostCall.h"
#include "ImageModes.h"
#include "PhotoshopFilter.h"

class InvertFilter : public PhotoshopFilter {
public:
    static uint16_t MaskSample16(const uint8_t* row, int32_t x) {
        uint16_t v;
        std::memcpy(&v, row + 2 * x, 2);
        return v;
    }

    explicit InvertFilter(HostCall& call) : PhotoshopFilter(call) {}

    int32_t composedTiles = 0;

    void ComposeTile(const TileView& tile) override {
        ++composedTiles;
        const HostCall& call = Call();
        const int32_t planes = tile.out.planes;
        const int32_t bytes = call.bytesPerSample;
        const int32_t colourPlanes = ColourPlanesOfMode(call.record->imageMode);
        for (int32_t y = 0; y < tile.rect.bottom - tile.rect.top; ++y) {
            const auto* in = reinterpret_cast<const uint8_t*>(tile.in.At(y, 0));
            auto* out = reinterpret_cast<uint8_t*>(tile.out.At(y, 0));
            const auto* mask = tile.mask ? reinterpret_cast<const uint8_t*>(tile.mask.At(y, 0)) : nullptr;
            for (int32_t x = 0; x < tile.rect.right - tile.rect.left; ++x) {
                const bool selected = !mask || (bytes == 1 ? mask[x] >= 128 : MaskSample16(mask, x) >= 16384);
                for (int32_t p = 0; p < planes; ++p) {
                    const bool inverted = selected && tile.out.firstPlane + p < colourPlanes;
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
