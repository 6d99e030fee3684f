// What the render start works out for a run and the tile slots read: where each layer's
// placements lie, and what every render pass draws. The buffers they draw into belong to the
// render's record tables (RenderRecords.h); these are the plain values beside them.
#pragma once

#include <array>
#include <cstdint>

#include "PassCoverage.h"
#include "RenderGeometry.h"
#include "Kernels.h"

struct PlacementSetup {
    bool used = false;
    bool invert = false;        // the layer's invert byte: the coverage is the shape itself
    bool fillOutside = false;   // bytes outside the image become 255 (a bevel drawn to the edge)
    int32_t layer = 0;
    bool shape = true;          // a shape layer: rasterised through `transform`
    AffineTransform transform{};  // output pixels to the shape's unit square
    // Frame-image layers: output pixels to frame pixels, steps held at 1.0 or more; `spline` when
    // a step was raised, so the frame is magnified and wants B-spline samples.
    FixedTransform frame{};
    bool spline = false;
    bool threePart = false;     // the frame's colour, inner and outer planes come along
    // The border placement of a three-part frame: its coverage is the band between the frame's
    // outline through `frame` (the border's scale) and through `second` (the frame's own).
    bool secondMask = false;
    FixedTransform second{};
    PassMargins bounds{};       // the union of the margins of every pass drawn from it
    Rect16 cachedArea{};        // the tile the placement image was last drawn for
    Rect16 drawnArea{};         // the area the placement image holds
};

struct BevelSetup {
    int32_t width = 0;          // pixels at the render scale; 0 without a bevel
    double heightScale = 0;
    int32_t softnessRadius = 0;
    bool lightOn = false;
    BevelLight light{};
    int32_t channelGain[4] = {};
    int32_t highlight[4] = {};
    int32_t flatTerm = 0x10000;
    int32_t baseGain[4] = {};
    int32_t highlightWord[4] = {};
    Rect16 cachedArea{};        // the bevel area of the tile its planes were made for
    // The surface texture (the LayerState whose texture buffer holds it, or -1): a grey tiling
    // with a guard texel round it, and the slope a unit of it gives.
    int32_t surfaceState = -1;
    double slopeScale = 0;
    int32_t surfaceWidth = 0, surfaceHeight = 0, surfaceStride = 0;
};

struct PassSetup {
    int32_t layer = 0;
    int32_t effect = 0;
    int32_t kind = 0;
    int32_t maskPass = -1;
    int32_t backgroundPass = -1;  // the layer's background pass
    int32_t placement = 0;        // index into the placement table
    int32_t bevel = -1;           // the layer's bevel record when this pass lights or is cut by it
    bool drawn = false;           // the effect is on: it has a colour and a blend table
    uint8_t colour[4] = {};
    uint8_t alpha = 255;
    uint8_t opacity = 0;
    const uint8_t* blendTable = nullptr;
    int32_t blurRadius = 0;
    int32_t spread = 0;
    int32_t offsetRows = 0, offsetColumns = 0;
    uint8_t noise = 0;
    PassMargins margins{};
    // The background's colour texture: the LayerState of the path record whose image tiles it, or -1.
    int32_t textureState = -1;
    bool threePart = false;        // the layer is a three-part frame
    bool colourSpaceFlag = false;  // the effect colour was left in a space of its own
};

struct RenderSetup {
    static constexpr int32_t kMaxPasses = 128;
    static constexpr int32_t kMaxPlacements = 64;
    static constexpr int32_t kMaxBevels = 32;

    uint32_t noiseSeed = 987654321;
    PhotoPlacement photo;
    bool photoResampled = false;  // the tiles read the photo from the source buffer
    // This pass composed a tile whose frames went to the "Apply to New Layer" cache alone.
    bool framesSetAside = false;
    Rect16 scaledFilter{};
    int32_t passCount = 0;
    double largestCost = 1.0;
    std::array<PlacementSetup, kMaxPlacements> placements{};
    std::array<PassSetup, kMaxPasses> passes{};
    std::array<BevelSetup, kMaxBevels> bevels{};
};
