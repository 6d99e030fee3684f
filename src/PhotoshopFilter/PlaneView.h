// Pixels of a tile as they lie in memory: rows of interleaved planes. The framework hands a tile's
// input, mask and output to the filter as views, and shows a preview's companion layers through
// them.
#pragma once

#include <cstdint>

#include "PluginInterface.h"

// The first pixel, the bytes from one row to the next and from one pixel to the next, and the
// planes a pixel holds. A null address holds no pixels.
struct PlaneView {
    char* address = nullptr;
    int32_t rowBytes = 0;
    int32_t pixelStride = 0;
    int16_t planes = 0;

    explicit operator bool() const { return address != nullptr; }
    // The first sample of the pixel at row and column, counted from the view's first pixel.
    char* At(int32_t row, int32_t column) const {
        return address + int64_t{row} * rowBytes + int64_t{column} * pixelStride;
    }
};
