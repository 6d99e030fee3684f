// Where things land on the output canvas: the scaled filter rectangle, the placement transforms
// of the photo and of every layer, the tile size chosen from the passes' cost, the effect sizes at
// the render scale, and the bevel light's shading of a surface slope.
#pragma once

#include <cstdint>

#include "PluginInterface.h"
#include "SettingsLayout.h"
#include "Kernels.h"

// A transform in 16.16 fixed point with the lengths of its two rows.
struct FixedTransform {
    int32_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    int32_t rowLengthX = 0, rowLengthY = 0;

    bool operator==(const FixedTransform&) const = default;
};

// Each coordinate of the host's filter rectangle divided by the integer render scale, rounding up.
Rect16 ScaledFilterRect(const Rect16& filterRect, int32_t scale);

// The transform from target pixels to source pixels of a layer placed by `layer` (its angle,
// flips, scales and offsets) at scale factor f. With an enlargement pair (ex, ey) the target is
// widened (or narrowed) about its centre before the layer is fitted into it.
struct Enlargement {
    double x = 1.0, y = 1.0;
};
AffineTransform ComputeLayerTransform(RecordRef layer, double f, const Enlargement* enlargement,
                                      const Rect16& source, const Rect16& target);

// The 16.16 form. Values within a millionth of a fixed-point step of a whole step are taken as
// that step, so that a placement that is the identity in exact arithmetic samples every source
// pixel exactly once despite the doubles' rounding.
FixedTransform ToFixedTransform(const AffineTransform& t);

// The photo's placement: its transform and whether it must be resampled.
struct PhotoPlacement {
    FixedTransform transform;
    bool scaleClamped = false;  // a row length exceeded 1.0: the photo is reduced, so B-spline sampling
    bool changed = false;       // differs from what the photo was last resampled with

    // Takes a newly computed transform; notes a change and clamps row lengths above 1.0.
    void Update(const FixedTransform& computed);

private:
    FixedTransform computed_{};  // what Update last received, before clamping
    bool valid_ = false;
};

// The photo's transform for a filter rectangle scaled to `scaled`: the background record and the
// global scale of the block.
AffineTransform ComputePhotoTransform(const ParameterBlockView& block, const Rect16& scaled);

// ---- Tile size

struct TileSize {
    int32_t columns = 1;
    int32_t rows = 1;
};
// From the largest pass cost and the pass count: about 2 MB of work per tile, and in the final
// apply nine times that but no more than about a megapixel. The rows never exceed the image's
// scaled height, so the row count cannot wrap in a 16-bit field.
inline constexpr double kFinalTilePixels = 1048576.0;
TileSize ChooseTileSize(int32_t bytesPerSample, double largestCost, int32_t passCount, bool finalApply,
                        int32_t scaledWidth, int32_t scaledHeight);
// While the preview dialog is open every step runs between the user's messages: a tile holds no
// more pixels than its passes compose in about 15 ms, so that input never waits for long. Whole
// rows are kept where they fit; a row too long is cut into parts as ChooseTileSize does.
TileSize CapTileForInteraction(TileSize tile, int32_t passCount);

// ---- Effect sizes at the render scale

int32_t BlurRadius(float blurSize, double renderScale);
int32_t GlowSpread(float glowSize, double renderScale);
int32_t ShadowOffset(int32_t offset, int32_t integerScale);
// Opacity percent 0..100 as 0..255.
int32_t OpacityByte(int32_t percent);

// ---- Bevel light

// The specular falloff at an angle d from the reflection: a Gauss table lookup scaled by the
// light's levels.
int64_t FalloffLookup(const BevelLight& light, double d);

struct Shading {
    uint32_t diffuse = 0, specular = 0, flat = 0;
};
// The lighting terms of a surface of slope (dx, dy) under the light.
Shading ShadeNormal(const BevelLight& light, double dx, double dy);

// Adds v to a big-endian f32 in place; answers the pointer.
uint8_t* BigEndianFloatAdd(uint8_t* p, float v);
