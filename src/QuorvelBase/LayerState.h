// The run-time record of one stack entry (a layer or a path record): its loaded frame image and
// the surface texture prepared from it. The records live in one process-wide table beside the
// parameter block, layers first, then the path records.
#pragma once

#include <array>
#include <cstdint>

#include "HostMemory.h"
#include "ImageShapes.h"
#include "PluginInterface.h"
#include "RecordTable.h"
#include "SettingsLayout.h"

struct LayerState {
    // Source kinds of a loaded frame.
    static constexpr uint32_t kSingleImage = 0;
    static constexpr uint32_t kThreePart = 2;  // a colour image with separate inner and outer masks
    // An image polarity of this or more means the image is stored inverted.
    static constexpr uint8_t kInvertedPolarity = 128;
    static constexpr int kImageBufferCount = 4;

    LayerState() = default;
    LayerState(const LayerState&) = delete;
    LayerState& operator=(const LayerState&) = delete;
    // Members go in reverse order: the last buffer, the texture, then the images from the fourth
    // to the first, each giving its memory back.
    ~LayerState() = default;

    // Frees the buffers (in the destructor's order) and clears every field.
    void Reset();

    uint32_t sourceKind = kSingleImage;
    bool imageMissing = false;  // such a layer is neither rendered nor editable
    uint8_t imagePolarity = 0;
    int32_t imagePlanes = 0;    // bytes per pixel of the loaded image, 0 while none is loaded
    Rect16 imageBounds{};
    // The frame image and its companions: first the image, then two adjacent ones, then a fourth.
    std::array<BufferRecord, kImageBufferCount> imageBuffers;
    bool texturePresent = false;
    bool cacheValid = false;    // the surface texture is prepared (or known to be unavailable)
    Rect16 textureBounds{};     // widened by the texture's blur radius
    BufferRecord textureBuffer;  // one byte per pixel of textureBounds
    BufferRecord lastBuffer;
    // A shape layer: the inside-test its passes rasterise, and the shape record it was built from.
    ShapeTest shapeTest;
    std::array<uint8_t, ShapeLayout::kLength> shapeRecord{};
};

// The process-wide table: one entry per stack position, layer i at i and the 1-based path record
// p at max(N,1) + p - 1. It lives as long as the library; the stack storage resize sizes it.
using LayerStateTable = RecordTable<LayerState, 32>;
LayerStateTable& LayerStates();
