// The tiles of a pass: each step draws one pass's coverage for the tile from its placement's
// image (the layer's shape rasterised or its frame sampled, once per tile for every pass drawn
// from it), through the bevel's planes, the glow's spread, the blur and the noise.
#include <algorithm>
#include <array>
#include <vector>

#include "Errors.h"
#include "FrameRender.h"
#include "FrameSampling.h"
#include "PassPlan.h"
#include "QuorvelShapes.h"
#include "RenderSession.h"

namespace {

// Grows the record to hold size bytes (at least one), raising a failure, and locks it.
LockedBuffer AllocateAndLock(BufferRecord& record, int64_t size) {
    THROW_IF_ERROR(record.Allocate(std::max<int64_t>(size, 1)));
    return LockedBuffer(record);
}

Rect16 Shrink(const Rect16& r, int32_t dy, int32_t dx) {
    return WidenRect(r, PassMargins{dy, dx, -dy, -dx});
}

// The border of a three-part frame: the band between its outline at the border's scale (through
// `border`) and at its own (through `own`), stored as the frame's planes are, dark where it covers.
// Both outlines come from the outer mask; the band holds whichever of the two lies outside.
void SampleBorderBand(const FramePlanes& frame, const FramePlacement& border, const FramePlacement& own, bool spline,
                      const Rect16& area, uint8_t* out) {
    const int64_t count = RectArea(area);
    std::vector<uint8_t> ownOutline(static_cast<size_t>(count));
    SampleFrameColour(frame, border, spline, area, FrameSamples{nullptr, nullptr, nullptr, out});
    SampleFrameColour(frame, own, spline, area, FrameSamples{nullptr, nullptr, nullptr, ownOutline.data()});
    for (int64_t i = 0; i < count; ++i) {
        // Stored outer masks are light inside the outline.
        const int32_t a = out[i], b = ownOutline[i];
        const int32_t band = std::max(std::min(a, 255 - b), std::min(b, 255 - a));
        out[i] = static_cast<uint8_t>(255 - band);
    }
}

// The planes of a loaded frame, locked while the samplers read them.
class LockedFrame {
public:
    explicit LockedFrame(LayerState& state) {
        for (int32_t i = 0; i < LayerState::kImageBufferCount; ++i)
            if (state.imageBuffers[i].size > 0) locks_[i] = LockedBuffer(state.imageBuffers[i]);
        planes_.bounds = state.imageBounds;
        planes_.image = locks_[LayerState::kFrameImage].As<const uint8_t>();
        planes_.imagePlanes = state.imagePlanes;
        planes_.imageFill = state.imagePolarity;
        if (state.sourceKind == LayerState::kThreePart) {
            planes_.colour = locks_[LayerState::kColourImage].As<const uint8_t>();
            planes_.colourPlanes = state.colourPlanes;
            planes_.inner = locks_[LayerState::kInnerMask].As<const uint8_t>();
            planes_.outer = locks_[LayerState::kOuterMask].As<const uint8_t>();
            std::copy(state.colourFill.begin(), state.colourFill.end(), planes_.colourFill);
            planes_.innerFill = state.innerFill;
            planes_.outerFill = state.outerFill;
        }
    }
    const FramePlanes& Planes() const { return planes_; }
    bool Complete() const {
        return planes_.image && (planes_.colourPlanes == 0 || (planes_.colour && planes_.inner && planes_.outer));
    }

private:
    std::array<LockedBuffer, LayerState::kImageBufferCount> locks_;
    FramePlanes planes_;
};

}  // namespace

void FrameRender::TileChosen() {
    if (session_.cacheReplay) Record().maskRect = Rect16{};
}

// The placement image for the tile, over the tile widened by the bounds of every pass drawn from
// it and by its edges' reach: the layer's shape rasterised, or its frame sampled (a three-part
// frame's colour and masks beside it); roughened by the edges, filled to the image's edge when
// asked and turned into the frame's coverage. Drawn once per tile.
LockedBuffer FrameRender::RenderPlacement(int32_t index, const Rect16& tile) {
    PlacementSetup& p = setup_.placements[index];
    LayerPlacement& record = *placements_.At(index);
    if (EqualRects(p.cachedArea, tile)) return LockedBuffer(record.placementImage);
    const Rect16 area = WidenRect(tile, p.bounds);
    Rect16 drawn = area;
    for (const EdgeCache& edge : record.edgeCaches) drawn = Shrink(drawn, -EdgeMarginY(edge), -EdgeMarginX(edge));
    const int64_t pixels = RectArea(drawn);
    LockedBuffer locked = AllocateAndLock(record.placementImage, pixels);
    uint8_t* image = locked.As<uint8_t>();
    LayerState& state = *images_.At(p.layer);
    // A three-part frame's main placement carries the frame's colour and masks along.
    const bool companions = p.threePart && !p.secondMask;
    const int32_t colourPlanes = companions ? state.colourPlanes : 0;
    LockedBuffer colour, inner, outer;
    if (companions) {
        colour = AllocateAndLock(record.colour, pixels * colourPlanes);
        inner = AllocateAndLock(record.inner, pixels);
        outer = AllocateAndLock(record.outer, pixels);
    }
    if (p.shape) {
        THROW_IF_ERROR(ImageRasterize(p.transform, drawn, image, state.shapeTest, kShapeRenderSamples));
    } else {
        const LockedFrame frame(state);
        if (!frame.Complete()) THROW_IF_ERROR(Err::MemoryFull);
        if (p.secondMask)
            SampleBorderBand(frame.Planes(), p.frame, p.second, p.spline, drawn, image);
        else
            SampleFrameColour(frame.Planes(), p.frame, p.spline, drawn,
                              FrameSamples{image, colour.As<uint8_t>(), inner.As<uint8_t>(), outer.As<uint8_t>()});
    }
    Rect16 current = drawn;
    for (EdgeCache& edge : record.edgeCaches) {
        if (!EdgeActive(edge)) continue;
        current = Shrink(current, EdgeMarginY(edge), EdgeMarginX(edge));
        ApplyEdge(edge, current, image, 1);
        if (companions) {
            ApplyEdge(edge, current, colour.As<uint8_t>(), colourPlanes);
            ApplyEdge(edge, current, inner.As<uint8_t>(), 1);
            ApplyEdge(edge, current, outer.As<uint8_t>(), 1);
        }
    }
    if (p.fillOutside) FillOutside(image, area, setup_.scaledFilter);
    const int64_t count = RectArea(area);
    if (p.threePart) {
        // A three-part frame's planes are stored dark where they cover.
        InvertPlane(image, count);
        if (companions) {
            InvertPlane(inner.As<uint8_t>(), count);
            InvertPlane(outer.As<uint8_t>(), count);
            if (p.invert) InvertPlane(colour.As<uint8_t>(), count * colourPlanes);
        }
    } else if (!p.invert) {
        InvertPlane(image, count);
    }
    p.cachedArea = tile;
    p.drawnArea = area;
    return locked;
}

void FrameRender::TileStep(int32_t k, const Rect16& tile, const BlockPulse& pulse) {
    if (k < 1 || k > setup_.passCount) return;
    const PassSetup& pass = setup_.passes[k - 1];
    RenderPassRecord& record = *passes_.At(k - 1);
    const Rect16 area = WidenRect(tile, pass.margins);
    // The coverage the composer reads: the tile, moved against the shadow's offset. A reach that
    // left the 16-bit coordinates would make it smaller than the tile, and the composer would
    // read past the pass's buffer.
    const Rect16 wanted = WidenRect(tile, PassMargins{-pass.offsetRows, -pass.offsetColumns, -pass.offsetRows, -pass.offsetColumns});
    const int32_t reach = pass.spread + pass.blurRadius;
    if (RectArea(wanted) != RectArea(tile) || !RectContains(Shrink(area, reach, reach), wanted))
        THROW_IF_ERROR(Err::BadParameters);

    const LockedBuffer coverageLock = AllocateAndLock(record.coverage, RectArea(area));
    uint8_t* coverage = coverageLock.As<uint8_t>();
    // The background of a three-part frame brings the frame's colour and masks to the composer.
    const bool companions = pass.threePart && pass.kind == PassKind::kBackground;
    const int32_t colourPlanes = companions ? images_.At(pass.layer)->colourPlanes : 0;
    std::array<LockedBuffer, 3> companionLocks;
    if (companions) {
        companionLocks[0] = AllocateAndLock(record.companionPlanes[0], RectArea(area) * colourPlanes);
        companionLocks[1] = AllocateAndLock(record.companionPlanes[1], RectArea(area));
        companionLocks[2] = AllocateAndLock(record.companionPlanes[2], RectArea(area));
    }
    {
        const LockedBuffer placement = RenderPlacement(pass.placement, tile);
        const uint8_t* image = placement.As<const uint8_t>();
        const Rect16 drawn = setup_.placements[pass.placement].drawnArea;
        const int32_t bevelPass = pass.maskPass >= 0 ? pass.maskPass : k - 1;
        const int32_t bevel = setup_.passes[bevelPass].bevel;
        if (bevel >= 0 && setup_.bevels[bevel].width >= 1) {
            const Rect16 bevelArea = MakeBevelPlanes(bevel, image, drawn, tile);
            if (pass.kind == PassKind::kBackground) {
                FinishBevelPlanes(bevel, bevelArea, tile);
                CopyPlanePart(image, drawn, coverage, area, 0);
            } else {
                CopyBevelCoverage(bevel, bevelArea, coverage, area);
            }
        } else {
            // The outer glow and shadow fall outside the frame; a three-part frame's outer
            // coverage says where that is instead.
            const uint8_t flip = PassKind::IsOuterGlowOrShadow(pass.kind) && !pass.threePart ? 255 : 0;
            CopyPlanePart(image, drawn, coverage, area, flip);
        }
        if (companions) {
            LayerPlacement& from = *placements_.At(pass.placement);
            const LockedBuffer colour(from.colour), inner(from.inner), outer(from.outer);
            CopyPlanePart(colour.As<const uint8_t>(), drawn, companionLocks[0].As<uint8_t>(), area, 0, colourPlanes);
            CopyPlanePart(inner.As<const uint8_t>(), drawn, companionLocks[1].As<uint8_t>(), area, 0);
            CopyPlanePart(outer.As<const uint8_t>(), drawn, companionLocks[2].As<uint8_t>(), area, 0);
        }
    }

    Rect16 current = area;
    if (pass.spread > 0) {
        current = Shrink(current, pass.spread, pass.spread);
        SpreadContext spread{&record.spreadKernel, pass.spread};
        FilterChangingBlocks(pass.spread, current, coverage, SpreadBlock, &spread, pulse);
    }
    if (pass.blurRadius > 0) {
        current = Shrink(current, pass.blurRadius, pass.blurRadius);
        FilterChangingBlocks(pass.blurRadius, current, coverage, BlurBlock, &record.blurKernel, pulse);
        if (companions) {
            ImageBlurInterleaved(&record.blurKernel, current, companionLocks[0].As<uint8_t>(), colourPlanes);
            for (int32_t plane = 1; plane <= 2; ++plane)
                FilterChangingBlocks(pass.blurRadius, current, companionLocks[plane].As<uint8_t>(), BlurBlock,
                                     &record.blurKernel, pulse);
        }
    }
    if (!EqualRects(current, wanted)) {
        CropPlaneInPlace(coverage, current, wanted);
        if (companions) {
            CropPlaneInPlace(companionLocks[0].As<uint8_t>(), current, wanted, colourPlanes);
            CropPlaneInPlace(companionLocks[1].As<uint8_t>(), current, wanted);
            CropPlaneInPlace(companionLocks[2].As<uint8_t>(), current, wanted);
        }
    }
    if (pass.noise != 0) ImageAddNoise(wanted, pass.noise, coverage);
}

// The bevel's planes for the tile, made once: the distance of every pixel of the bevel area from
// the frame's edge (1/255 pixel) and the 8-bit bevel coverage of those distances. Answers the
// bevel area.
Rect16 FrameRender::MakeBevelPlanes(int32_t index, const uint8_t* image, const Rect16& drawn, const Rect16& tile) {
    BevelSetup& b = setup_.bevels[index];
    BevelLightRecord& record = *bevels_.At(index);
    const Rect16 area = Shrink(drawn, b.width, b.width);
    if (EqualRects(b.cachedArea, tile)) return area;
    const int64_t count = RectArea(area);
    const LockedBuffer heights = AllocateAndLock(record.height, count * 2);
    ImageDistancePass(b.width, area, image, heights.As<uint16_t>());
    const LockedBuffer coverage = AllocateAndLock(record.coverage, count);
    BevelCoverageOfDistances(heights.As<uint16_t>(), count, b.width, coverage.As<uint8_t>());
    b.cachedArea = tile;
    return area;
}

// For the background pass: the bevel coverage cut to the tile, and the heights of the outline at
// every distance over the tile and a guard sample round it, softened by the bevel's softness.
void FrameRender::FinishBevelPlanes(int32_t index, const Rect16& bevelArea, const Rect16& tile) {
    BevelSetup& b = setup_.bevels[index];
    BevelLightRecord& record = *bevels_.At(index);
    CropPlaneInPlace(LockedBuffer(record.coverage).As<uint8_t>(), bevelArea, tile);
    const Rect16 soft = Shrink(tile, -(b.softnessRadius + 1), -(b.softnessRadius + 1));
    if (!RectContains(bevelArea, soft)) THROW_IF_ERROR(Err::BadParameters);  // beyond the 16-bit coordinates
    const LockedBuffer heightLock(record.height);
    auto* heights = heightLock.As<uint16_t>();
    CropPlaneInPlace16(heights, bevelArea, soft);
    {
        const LockedBuffer outlineLock(record.outline.table);
        const int32_t* outline = OutlineHeights(outlineLock);
        const int64_t count = RectArea(soft);
        for (int64_t i = 0; i < count; ++i) heights[i] = static_cast<uint16_t>(outline[heights[i]] & 0xFFFF);
    }
    if (b.softnessRadius > 0) ImageBlurPlane16(&record.softnessKernel, Shrink(soft, b.softnessRadius, b.softnessRadius), heights);
}

// Glow and shadow of a bevelled layer start from the bevel's coverage instead of the frame's.
void FrameRender::CopyBevelCoverage(int32_t index, const Rect16& bevelArea, uint8_t* coverage, const Rect16& area) {
    BevelLightRecord& record = *bevels_.At(index);
    std::fill(coverage, coverage + RectArea(area), uint8_t{0});
    const Rect16 both = IntersectRects(bevelArea, area);
    if (IsEmptyRect(both)) return;
    const LockedBuffer bevel(record.coverage);
    const int32_t width = area.right - area.left, partWidth = both.right - both.left;
    std::vector<uint8_t> part(static_cast<size_t>(RectArea(both)));
    CopyPlanePart(bevel.As<const uint8_t>(), bevelArea, part.data(), both, 0);
    for (int32_t row = both.top; row < both.bottom; ++row)
        std::copy_n(part.data() + int64_t{row - both.top} * partWidth, partWidth,
                    coverage + int64_t{row - area.top} * width + (both.left - area.left));
}
