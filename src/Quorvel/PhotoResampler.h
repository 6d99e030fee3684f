// Resampling the host's photo through its placement into the run's source plane buffer.
#pragma once

#include <cstdint>

#include "RenderGeometry.h"

// Interleaved pixels of `planes` samples (uint8_t or uint16_t), rows rowSamples samples apart.
template <typename Sample>
struct PixelView {
    Sample* pixels = nullptr;
    int32_t width = 0, height = 0;
    int32_t planes = 0;
    int64_t rowSamples = 0;

    Sample* At(int32_t x, int32_t y) const { return pixels + y * rowSamples + int64_t{x} * planes; }
};

struct ResampleOptions {
    FixedTransform transform;
    bool spline = false;        // the photo is reduced: 4 x 4 cubic B-spline instead of the nearest pixel
    bool keepLayerMask = false;  // the last plane is the layer mask: taken from the unmoved pixel
    const uint8_t* mask = nullptr;  // selection: pixels whose mask byte is 0 keep the unmoved pixel
    int32_t maskRowBytes = 0;
};

// Fills every pixel of out (same size and planes as the source) from the source through the
// transform. Points outside the source give 0; a kept layer mask gives full there.
void ResamplePhoto(const PixelView<const uint8_t>& source, const PixelView<uint8_t>& out, const ResampleOptions& options);
void ResamplePhoto(const PixelView<const uint16_t>& source, const PixelView<uint16_t>& out, const ResampleOptions& options);
