// The run-time record of one stack entry (a layer or a path record): its loaded frame image and
// the surface texture prepared from it. The records live in the call's table beside the parameter
// block (StackState.h), layers first, then the path records.
#pragma once

#include <array>
#include <cstdint>

#include "File.h"
#include "HostMemory.h"
#include "ImageInfo.h"
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
    // Clears what the frame loader keeps beside the buffers (not the buffers).
    void ForgetFrame();

    // The buffers of a loaded frame, in imageBuffers.
    static constexpr int kFrameImage = 0;   // the frame's coverage as stored: dark where the frame is
    static constexpr int kColourImage = 1;  // three-part frames: the colour image (colourPlanes a pixel)
    // Three-part frames' masks, one plane each, dark over the region they name: the first
    // companion the inside the frame surrounds (where its fill and its inner effects go), the
    // second what lies beyond its outline (where its outer effects go). Where both are light lies
    // the frame itself.
    static constexpr int kInnerMask = 2;
    static constexpr int kOuterMask = 3;
    // What the border of an image that has none says: no border value.
    static constexpr uint8_t kNoBorderValue = 0xFF;

    uint32_t sourceKind = kSingleImage;
    bool imageMissing = false;  // such a layer is neither rendered nor editable
    // The rounded mean of a single image's border pixels: the value the frame takes beyond its
    // image, and its polarity. kNoBorderValue for a three-part frame.
    uint8_t imagePolarity = 0;
    int32_t imagePlanes = 0;    // bytes per pixel of the loaded image, 0 while none is loaded
    Rect16 imageBounds{};
    // The frame image and its companions: first the image, then two adjacent ones, then a fourth.
    std::array<BufferRecord, kImageBufferCount> imageBuffers;

    // ---- What the frame loader keeps beside the buffers
    bool loadFailed = false;     // the last load of this entry failed
    FileSpec framePath;          // the file spec the buffers were loaded from (empty: none loaded)
    ImageInfo frameInfo;         // the layout of kFrameImage
    // Three-part frames: the layouts of the colour image and of the first and second companions.
    std::array<ImageInfo, 3> partInfo{};
    int32_t colourPlanes = 0;    // three-part frames: bytes per pixel of kColourImage
    // Values beyond the image's bounds, as stored (before the renderer turns coverage over): the
    // colour image's border means per plane; the inner mask's (kNoBorderValue) and the outer
    // mask's (0) fills. The frame image's fill is imagePolarity.
    std::array<uint8_t, 4> colourFill{};
    uint8_t innerFill = kNoBorderValue;
    uint8_t outerFill = 0;

    bool texturePresent = false;
    bool cacheValid = false;    // the surface texture is prepared (or known to be unavailable)
    Rect16 textureBounds{};     // widened by the texture's blur radius
    BufferRecord textureBuffer;  // one byte per pixel of textureBounds
    BufferRecord lastBuffer;
    // A shape layer: the inside-test its passes rasterise, and the shape record it was built from.
    ShapeTest shapeTest;
    std::array<uint8_t, ShapeLayout::kLength> shapeRecord{};
};

// The table: one entry per stack position, layer i at i and the 1-based path record p at
// max(N,1) + p - 1. The stack storage resize sizes it.
using LayerStateTable = RecordTable<LayerState, BlockLayout::kMaxStackEntries>;
