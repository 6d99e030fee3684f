// The placement arithmetic of the preview's on-image tools, over the stored records and free of
// any window: the outline of a placement in preview units and what lies under the mouse, and the
// edits a drag makes (move, rotate, scale, flip) to the angle, flips, scales, offsets and size.
//
// A placement is a layer record, or the photo's background record, whose first 1,060 bytes (the
// head) place it and whose next float is its size. Preview units are document pixels reduced by
// the preview's out-factor; one unit shows as `magnification` x `magnification` screen pixels.
// The offsets count the whole scaled filter rectangle as 2.0, so a move of one unit across a
// preview W units wide changes the x offset by 2 / W.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "PluginInterface.h"
#include "SettingsLayout.h"
#include "Kernels.h"

class QuorvelBase;

// The size of a placement: a layer's background effect size, or for the photo's record the
// block's global scale; both follow the record's head.
inline constexpr Field<float> kPlacementSize{LayerLayout::kEffects + EffectLayout::kSize.offset};
static_assert(BlockLayout::kBackground + kPlacementSize.offset == BlockLayout::kGlobalScale.offset);
static_assert(kPlacementSize.offset == LayerLayout::kHeadLength);

// The cursors of the preview, by resource id. Edge k runs from corner k to corner k + 1 (modulo
// 4); in the placement's unit coordinates (u, v) the corners are (-1, -1), (-1, +1), (+1, +1),
// (+1, -1), so the edges are u = -1, v = +1, u = +1, v = -1.
namespace PreviewCursor {
inline constexpr int16_t kNone = 0;
inline constexpr int16_t kMove = 16001;
inline constexpr int16_t kFirstEdge = 16002;    // 16002..16005
inline constexpr int16_t kFirstCorner = 16006;  // 16006..16009
inline constexpr int16_t kRotate = 16010;
inline constexpr int16_t kEyedropper = 16100;
inline constexpr int16_t kShadowOffset = 16430;

inline constexpr bool IsScaleHandle(int16_t cursor) { return cursor >= kFirstEdge && cursor < kRotate; }
inline constexpr bool IsCorner(int16_t cursor) { return cursor >= kFirstCorner && cursor < kRotate; }
}  // namespace PreviewCursor

// Where the preview shows the image: the filter rectangle in preview units (each coordinate
// divided by the out-factor, rounding up when positive, towards zero otherwise), the out-factor
// itself (the preview's render scale) and the enlargement of one unit on screen.
struct PreviewGeometry {
    Rect16 scaled{};
    int32_t outFactor = 1;
    int32_t magnification = 1;

    int32_t Width() const { return int32_t{scaled.right} - scaled.left; }
    int32_t Height() const { return int32_t{scaled.bottom} - scaled.top; }
    // An empty preview has no unit to measure a drag in: nothing is edited over it.
    bool IsUsable() const { return Width() > 0 && Height() > 0; }
};
// Factors below 1 count as 1.
PreviewGeometry MakePreviewGeometry(const Rect16& filterRect, int32_t outFactor, int32_t inFactor);

// A placement record and what it places: the photo's record places the photo; a layer's record a
// frame, or a shape that the renderer fits into a square when it keeps its proportions.
struct Placement {
    RecordRef record;
    bool photo = false;
};

// The transform from preview units to the placement's unit square (the renderer's placement at
// the placement's size). None when the record places nothing that can be inverted (a zero or
// non-finite scale), so no tool divides by it.
std::optional<AffineTransform> PlacementToUnits(const Placement& placement, const PreviewGeometry& preview);

// ---- The outline and what lies under the mouse

struct PlacementOutline {
    std::array<Point16, 4> corners{};    // the unit square's corners in preview units
    std::array<Point16, 4> midpoints{};  // of edge k, between corner k and corner k + 1
    bool mirrored = false;               // the placement turns the image over
};
// Corners and midpoints rounded half away from zero and held within the 16-bit range.
std::optional<PlacementOutline> ComputePlacementOutline(const Placement& placement, const PreviewGeometry& preview);
// The outline moved by (dv, dh) preview units: where the shadow of the placement falls.
PlacementOutline OffsetOutline(const PlacementOutline& outline, int32_t dv, int32_t dh);

// Strictly inside: on the inner side of every edge, the sides turned over for a mirrored outline.
bool PointInOutline(Point16 point, const PlacementOutline& outline);
// The move tool's cursor at the mouse: a corner handle when both distances to a corner, in
// screen pixels, lie in (-t, t] with t = max(8, magnification); else an edge handle when the
// mouse is within t screen pixels of an edge; else the move cursor inside the outline and the
// rotate cursor outside. The first corner or edge in order wins.
int16_t OutlineCursorAt(const PlacementOutline& outline, Point16 mouse, int32_t magnification);

// ---- Move

// Adds 2 dh / W and 2 dv / H to the offsets, in single precision as stored.
void MovePlacement(RecordRef placement, int32_t dh, int32_t dv, const PreviewGeometry& preview);

// ---- Rotate

// An angle in degrees wrapped into -180..180 by whole turns.
int16_t WrapAngle(int64_t degrees);
// The bearing of point seen from centre, in whole degrees (rounded half away from zero), growing
// clockwise on screen as the placement's angle does.
int32_t BearingDegrees(Point16 centre, Point16 point);
// Where the unit square's centre lies, in preview units (truncated).
std::optional<Point16> PlacementCentre(const Placement& placement, const PreviewGeometry& preview);

using PlacementHead = std::array<uint8_t, LayerLayout::kHeadLength>;
PlacementHead CopyPlacementHead(RecordRef placement);
// The destination's head becomes the source head turned to angle. With keepExtent the scales
// change so that the frame keeps the extent it has on the preview at the source's angle: the
// renderer fits a turned placement to the preview by the angle, and without the correction a
// landscape frame turned over a portrait photo would shrink or grow.
void RotateLayerCopy(const PlacementHead& source, RecordRef destination, int16_t angle, bool keepExtent,
                     const PreviewGeometry& preview);

// ---- Scale

struct PlacementValues {
    float scaleX = 1, scaleY = 1, offsetX = 0, offsetY = 0, size = 1;
    bool operator==(const PlacementValues&) const = default;
};
PlacementValues ReadPlacementValues(RecordRef placement);
void WritePlacementValues(RecordRef placement, const PlacementValues& values);

// A scale drag as it began for one placement: its values and its transforms both ways.
struct ScaleStart {
    PlacementValues values;
    AffineTransform toUnits{};   // preview units to unit square
    AffineTransform toPreview{}; // unit square to preview units
};
std::optional<ScaleStart> BeginScale(const Placement& placement, const PreviewGeometry& preview);
// A mouse movement in preview units as a movement in the start's unit coordinates.
void AddUnitMotion(const ScaleStart& start, int32_t dh, int32_t dv, double& du, double& dvUnits);
// The values after the handle moved (du, dv) in unit coordinates since the drag began. Plain:
// the opposite edge or corner stays where it was. aboutCentre: the placement grows or shrinks
// about its centre by the whole motion. Edge handles change only their axis's scale, corner
// handles only the size. Any other cursor gives the start values.
PlacementValues ScaleCandidate(int16_t handle, const ScaleStart& start, double du, double dv, bool aboutCentre,
                               const PreviewGeometry& preview);
// Whether values may be committed: finite, and the effective scales (scale x size) at least 0.1,
// so a handle dragged past the opposite edge stops instead of turning the frame inside out.
bool ScaleStaysVisible(const PlacementValues& values);

// ---- Groups and flips

// A run of layers that edits together: the current layer and those linked to it.
struct LayerRange {
    int32_t first = 0;
    int32_t last = -1;
};
// Layer's linked group in the model's block; none when either end lies outside the stack.
std::optional<LayerRange> LinkedGroupOf(const QuorvelBase& stack, int32_t layer);

// Mirrors the placement on screen: the flip byte turns over and the angle follows (horizontally
// -angle; vertically 180 - angle, or -180 - angle for a negative angle), so each placement of a
// group is mirrored whatever its own flip was.
void FlipPlacement(RecordRef placement, bool horizontal);
