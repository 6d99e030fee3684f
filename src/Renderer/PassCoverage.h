// The byte planes of a render pass on one tile: the area a pass reads beyond the tile, and the
// steps that turn the layer's placement image into the pass's coverage.
#pragma once

#include <cstdint>

#include "PluginInterface.h"
#include "Geometry.h"

// How far a pass reads beyond the tile on each side (negative top and left reach outwards).
struct PassMargins {
    int32_t top = 0, left = 0, bottom = 0, right = 0;
};

struct MarginInputs {
    int32_t kind = 0;
    int32_t blurRadius = 0;
    int32_t spread = 0;
    int32_t offsetRows = 0, offsetColumns = 0;  // the shadow's, at the render scale
    int32_t bevelWidth = 0;                     // of the pass's bevel record (own or its mask pass's)
    int32_t softnessRadius = 0;
};
PassMargins ComputePassMargins(const MarginInputs& in);

// The tile widened by margins, clamped to the 16-bit coordinate range.
Rect16 WidenRect(const Rect16& tile, const PassMargins& m);
// The union of two margin sets (top and left: minimum, bottom and right: maximum).
PassMargins MergeMargins(const PassMargins& a, const PassMargins& b);

// Copies the part `part` of a packed plane over `from` (samples bytes a pixel) into a packed plane
// over `part`, each byte XORed with `flip` (0, or 255 for the passes that draw outside the frame).
// part lies in from.
void CopyPlanePart(const uint8_t* plane, const Rect16& from, uint8_t* out, const Rect16& part, uint8_t flip,
                   int32_t samples = 1);
// The same in place: the packed plane over `from` becomes a packed plane over `part`.
void CropPlaneInPlace(uint8_t* plane, const Rect16& from, const Rect16& part, int32_t samples = 1);
// The same for 16-bit samples.
void CropPlaneInPlace16(uint16_t* plane, const Rect16& from, const Rect16& part);
// Every byte of a packed plane over `area` that lies outside `inside` becomes 255.
void FillOutside(uint8_t* plane, const Rect16& area, const Rect16& inside);
// Every byte becomes 255 - v.
void InvertPlane(uint8_t* plane, int64_t count);
// Called between the blocks of a long filter, so that the host's progress and cancel stay alive
// inside one tile step. It may throw (the user cancelled); the filtering then stops there.
struct BlockPulse {
    void (*beat)(void* context) = nullptr;
    void* context = nullptr;

    void operator()() const {
        if (beat) beat(context);
    }
};

// Runs a neighbourhood filter of reach r (a blur or a spread: filter(rect, plane) writes its result
// packed over rect at the start of a plane packed over rect widened by r) over `plane` block by
// block, and only where the block's window holds more than one value: a window of one value
// filters to that value (the weights of a blur sum to 1, a spread's centre weight is whole), so
// the result is the same as one run over the whole rect. The result is packed over rect at the
// start of `plane`. Blocks are FilterBlockSide(r) on a side (less at the rect's far edges), so
// the reach a block's window carries round it costs a bounded share of the work however large r is.
using BlockFilter = void (*)(void* context, const Rect16& rect, uint8_t* plane);
void FilterChangingBlocks(int32_t r, const Rect16& rect, uint8_t* plane, BlockFilter filter, void* context,
                          const BlockPulse& pulse = {});
int32_t FilterBlockSide(int32_t r);

// The two block filters of the coverage passes. The spread's context is a SpreadContext, the
// blur's the Gauss kernel's BufferRecord.
struct BufferRecord;
struct SpreadContext {
    BufferRecord* disc;
    int32_t radius;
};
void SpreadBlock(void* context, const Rect16& rect, uint8_t* plane);
void BlurBlock(void* context, const Rect16& rect, uint8_t* plane);

// The 8-bit bevel coverage of distances (1/255 pixel) for a bevel w pixels wide.
void BevelCoverageOfDistances(const uint16_t* distances, int64_t count, int32_t w, uint8_t* out);
