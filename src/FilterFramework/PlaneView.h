// Pixels of a tile as they lie in memory: rows of interleaved planes. The framework hands a tile's
// input, mask and output to the filter as views (as a library hands the region to a generator),
// and shows a preview's companion layers through them.
#pragma once

#include <cstdint>

#include "PluginInterface.h"

// The first pixel, the bytes from one row to the next and from one pixel to the next, the planes
// a pixel holds and the document's plane its first sample belongs to. A null address holds no
// pixels.
struct PlaneView {
    char* address = nullptr;
    int32_t rowBytes = 0;
    int32_t pixelStride = 0;
    int16_t planes = 0;
    int16_t firstPlane = 0;

    explicit operator bool() const { return address != nullptr; }
    // The first sample of the pixel at row and column, counted from the view's first pixel.
    char* At(int32_t row, int32_t column) const {
        return address + int64_t{row} * rowBytes + int64_t{column} * pixelStride;
    }
    // The same, as samples of the view's depth (uint8_t or uint16_t, const or not).
    template <typename Sample>
    Sample* SamplesAt(int32_t row, int32_t column) const {
        return reinterpret_cast<Sample*>(At(row, column));
    }
};

// The tile a step works on: its rectangle in image coordinates, and the host's input, selection
// mask and output pixels over it (null addresses where the tile has none).
struct TileView {
    Rect16 rect{};
    PlaneView in, mask, out;
};

// The tile the host delivered for the record's request: the output rectangle with the input and
// output planes asked for, and the mask where one was asked for, at bytesPerSample (at least 1)
// bytes a sample.
TileView DeliveredTile(const FilterRecord& record, int32_t bytesPerSample);
