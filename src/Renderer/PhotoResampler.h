// Resampling the host's photo through its placement into the run's source plane buffer.
#pragma once

#include <cstdint>

#include "PlaneView.h"
#include "RenderGeometry.h"

struct ResampleOptions {
    FixedTransform transform;
    bool spline = false;        // the photo is reduced: 4 x 4 cubic B-spline instead of the nearest pixel
    bool keepLayerMask = false;  // the last plane is the layer mask: taken from the unmoved pixel
    const uint8_t* mask = nullptr;  // selection: pixels whose mask byte is 0 keep the unmoved pixel
    int32_t maskRowBytes = 0;
};

// The extent of the pixels a resampling reads and writes.
struct PixelExtent {
    int32_t width = 0, height = 0;
};

// Fills every pixel of out (extent pixels of the source's planes) from the source through the
// transform, with samples of bytes (1 or 2) bytes. Points outside the source give 0; a kept layer
// mask gives full there.
void ResamplePhoto(const PlaneView& source, const PlaneView& out, PixelExtent extent, int32_t bytes,
                   const ResampleOptions& options);
