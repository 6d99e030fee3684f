// Frame images resampled into a tile through a layer's placement: the frame's coverage and, for
// three-part frames, its colour and its inner and outer masks. Nearest samples while the frame is
// shown at its own size or smaller, a cubic B-spline once it is magnified. Pure per-pixel work:
// the caller hands over the planes and the buffers, locked.
//
// The samplers copy what the frame stores: turning coverage over (dark where the frame is) is the
// renderer's step after sampling, as are the edges.
#pragma once

#include <cstdint>

#include "PluginInterface.h"
#include "RenderGeometry.h"

// A loaded frame as the samplers read it. Every plane covers bounds exactly, in packed rows of
// (right - left) pixels of its own plane count: the caller has checked each buffer's size against
// that. A plane that is not there is null and takes its fill everywhere; so does every pixel beyond
// the bounds (an empty or inverted bounds rectangle puts every pixel beyond them).
struct FramePlanes {
    Rect16 bounds{};
    const uint8_t* image = nullptr;    // the frame's coverage as stored, imagePlanes a pixel
    int32_t imagePlanes = 1;
    const uint8_t* colour = nullptr;   // three-part frames: colourPlanes a pixel
    int32_t colourPlanes = 0;
    const uint8_t* inner = nullptr;    // three-part frames: one plane each
    const uint8_t* outer = nullptr;
    uint8_t imageFill = 0;             // every plane of the image
    uint8_t colourFill[4] = {};        // per colour plane; planes past the fourth take 0
    uint8_t innerFill = 0xFF;
    uint8_t outerFill = 0;
};

// Output pixel (column, row) to frame position: x = column a + row b + c, y = column d + row e + f
// (16.16, worked in 64 bits); rowLengthX and rowLengthY are the sampling steps (at least 0x10000:
// a smaller or zero step is read as 0x10000). The integer position is the 16.16 value shifted
// right (towards minus infinity); x == right or y == bottom is beyond the image.
using FramePlacement = FixedTransform;

// The tile's outputs, packed at the tile's width; a null output is not written.
struct FrameSamples {
    uint8_t* image = nullptr;   // imagePlanes a pixel
    uint8_t* colour = nullptr;  // colourPlanes a pixel
    uint8_t* inner = nullptr;   // one byte a pixel
    uint8_t* outer = nullptr;   // one byte a pixel
};

// Samples the frame's planes for every pixel of tile; spline: the frame is magnified.
void SampleFrameColour(const FramePlanes& frame, const FramePlacement& placement, bool spline, const Rect16& tile,
                       const FrameSamples& out);

// The coverage of a three-part frame's second-mask placement: the frame's two masks, one through
// the main transform and the other, ORed in, through the second. polarity < 0: inner first, 255
// beyond the image; > 0: outer first, 0 beyond; 0: no plane, 0 everywhere. Both planes are sampled
// the same way (nearest, or the B-spline when spline is set), so every byte of out is written.
void SampleFrameMask(const FramePlanes& frame, int32_t polarity, const FramePlacement& main,
                     const FramePlacement& second, bool spline, const Rect16& tile, uint8_t* out);
