// Composition of one tile: the host's photo merged, pixel by pixel, with the coverage of every
// render pass of the frame stack (colour, blend mode, bevel light), written to the host's output.
//
// The composer sees plain views: the filter class locks the pass buffers once per tile and hands
// their addresses over; nothing here allocates or locks.
#pragma once

#include <cstdint>
#include <span>

#include "PluginInterface.h"
#include "Kernels.h"

// The most samples a pixel carries: CMYK, transparency, a layer mask and an inverted layer mask.
inline constexpr int32_t kMaxPixelPlanes = 8;
inline constexpr int32_t kMaxColourChannels = 4;

// How the host's pixels are laid out and where the result goes, for one tile.
struct ComposeLayout {
    int32_t colourChannels = 3;    // Nc
    int32_t inputStride = 3;       // samples per input pixel
    int32_t outputStride = 3;      // samples per output pixel
    int32_t inputLast = 2;         // the plane carrying the photo's transparency or layer mask
    int32_t outputLast = 2;
    int32_t inputLayerMasks = 0, inputInvertedMasks = 0;
    int32_t outputLayerMasks = 0, outputInvertedMasks = 0;
    bool outputTransparency = false;
    bool sixteenBit = false;

    bool maskOutput = false;        // the frame-as-mask mode
    bool layerOutput = false;       // each frame to its own layer (with a preview owner)
    bool photoMerge = true;
    bool transmittanceAlpha = false;
    bool preview = false;
    bool layersUnderPhoto = false;  // some layer lies beneath the photo
    // The frames go to the frame-only composite alone (they are for a new layer above the photo):
    // every output pixel is the photo, as where no pass covers it.
    bool framesToCacheOnly = false;
    int32_t textureStep = 1;        // tiled textures are addressed at step x column, step x row
    // The fixed colour of the layer-output route: passes of layers above the photo that have no
    // texture take it instead of their own colour (black in the document's colour space).
    uint8_t layerOutputColour[kMaxColourChannels] = {};

    int32_t OutputSamples() const { return colourChannels + (outputTransparency ? 1 : 0); }
    bool MaskPlanesBothSides() const { return inputLayerMasks >= 1 && outputLayerMasks >= 1; }
};

// A tiled colour image (Nc bytes per texel).
struct ColourTexture {
    const uint8_t* pixels = nullptr;
    int32_t width = 0, height = 0;
    int64_t rowBytes = 0;
};

// The bevel light of a layer as its passes see it on this tile.
struct BevelShading {
    const uint8_t* coverage = nullptr;  // 8-bit bevel coverage packed at the tile's width; null: 0
    const uint16_t* heights = nullptr;  // one guard sample round the tile: (width + 2) x (height + 2)
    double heightScale = 0;
    const uint8_t* surface = nullptr;   // grey surface texture with a one-texel guard
    int32_t surfaceWidth = 0, surfaceHeight = 0, surfaceStride = 0;
    double slopeScale = 0;
    bool lightOn = false;
    const BevelLight* light = nullptr;
    int32_t channelGain[kMaxColourChannels] = {};  // 16-bit gains of the highlight colour
    int32_t highlight[kMaxColourChannels] = {};    // the highlight colour's signed components
    int32_t flatTerm = 0x10000;
    int32_t baseGain[kMaxColourChannels] = {};
    int32_t highlightWord[kMaxColourChannels] = {};
};

// A three-part frame's planes on this tile, shared by the passes of its layer: the frame's colour
// and its inner and outer coverage, packed at the tile's width (a plane not given reads as 0).
// The background takes the inner coverage beside its own and mixes the frame's colour with its
// fill by the two; glows and shadows are clipped to the outer mask (kinds 2, 3) or the inner one
// (-2, -3); with inner effects the background's fill is drawn beneath them, before the layer's
// first pass, and the frame above them in the background's own place.
struct ThreePartPlanes {
    const uint8_t* colour = nullptr;  // Nc bytes a pixel
    const uint8_t* inner = nullptr;   // one byte a pixel
    const uint8_t* outer = nullptr;
    int32_t backgroundPass = -1;      // the layer's background pass (index into the tile's passes)
    bool innerEffects = false;        // the layer has passes on the inner side (kinds -1..-3)
    bool colourSpaceFlag = false;     // the background colour was left in a space of its own
};

// One render pass on this tile.
struct ComposePass {
    const uint8_t* coverage = nullptr;  // one byte per tile pixel, packed at the tile's width
    int32_t layer = 0;
    int32_t kind = 0;
    int32_t knockOutPass = -1;          // the layer's background pass that knocks this pass out, or -1
    bool underPhoto = false;            // goes to the set beneath the photo
    bool abovePhoto = false;            // its layer lies above the photo position
    uint8_t colour[kMaxColourChannels] = {};  // the effect's colour (the layer-output route may fix it)
    uint8_t alpha = 255;                // the colour's alpha
    uint8_t weight = 255;               // opacity, 255 once it was folded into the coverage
    const uint8_t* blendTable = nullptr;  // 256 x 256; none: the pass draws nothing
    const ColourTexture* texture = nullptr;
    const BevelShading* bevel = nullptr;
    const ThreePartPlanes* threePart = nullptr;  // the pass's layer is a three-part frame
};

// The grey level of a colour (8-bit components) for the frame-as-mask routes.
using GreyConversion = uint32_t (*)(void* context, const uint32_t* colour, int32_t channels);

// The tile's buffers. Rows of 16-bit documents hold uint16_t samples; row sizes are in bytes.
struct ComposeBuffers {
    Rect16 rect{};                   // the tile in image coordinates
    const void* input = nullptr;
    int64_t inputRowBytes = 0;
    void* output = nullptr;
    int64_t outputRowBytes = 0;
    const uint8_t* mask = nullptr;   // the host's selection mask, or none
    int64_t maskRowBytes = 0;
    uint8_t* cache = nullptr;        // the frame-only composite: Nc + 1 bytes per pixel, or none
    GreyConversion grey = nullptr;
    void* greyContext = nullptr;
};

void ComposeTilePixels(const ComposeLayout& layout, std::span<const ComposePass> passes, const ComposeBuffers& buffers);

// True when a pixel no pass covers comes out with the input pixel's own samples in every output
// sample the composition writes, and it writes no other (no frame composite is cached): a tile no
// pass covers then leaves the host's image as it is.
bool UncoveredPixelsKeepThePhoto(const ComposeLayout& layout);

// ---- Preparing pass coverage for composition

// Folds a masked pass's opacity and its mask pass's coverage (less the mask pass's bevel
// coverage, when it has one) into the pass's coverage.
void ApplyPassMask(uint8_t* coverage, const uint8_t* mask, const uint8_t* maskBevel, uint32_t opacity, int64_t count);
