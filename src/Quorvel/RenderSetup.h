// What the render start works out for a run and the tile slots read: where each layer's
// placements lie, and what every render pass draws. The buffers they draw into belong to the
// filter's record tables (RenderRecords.h); these are the plain values beside them.
#pragma once

#include <array>
#include <cstdint>

#include "PassCoverage.h"
#include "RenderGeometry.h"
#include "ZavuvIve.h"

struct PlacementSetup {
    bool used = false;
    bool invert = false;        // the layer's invert byte: the coverage is the shape itself
    bool fillOutside = false;   // bytes outside the image become 255 (a bevel drawn to the edge)
    int32_t layer = 0;
    AffineTransform transform{};  // output pixels to the shape's unit square
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
};

struct RenderSetup {
    static constexpr int32_t kMaxPasses = 128;
    static constexpr int32_t kMaxPlacements = 64;
    static constexpr int32_t kMaxBevels = 32;

    uint32_t noiseSeed = 987654321;
    PhotoPlacement photo;
    bool photoResampled = false;  // the tiles read the photo from the source buffer
    Rect16 scaledFilter{};
    int32_t passCount = 0;
    double largestCost = 1.0;
    std::array<PlacementSetup, kMaxPlacements> placements{};
    std::array<PassSetup, kMaxPasses> passes{};
    std::array<BevelSetup, kMaxBevels> bevels{};
};
