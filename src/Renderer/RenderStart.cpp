// The render start: the photo placed and fetched, every drawn layer placed with its passes
// planned and prepared (their kernels, colours, margins and bevel light), and the tiles sized
// against the passes' cost and the free buffer space before the framework's walk begins.
#include <algorithm>
#include <array>
#include <cmath>

#include "Alerts.h"
#include "ColorConversion.h"
#include "Errors.h"
#include "FirstRunTables.h"
#include "FrameRender.h"
#include "ImageCache.h"
#include "LockedParameters.h"
#include "PassPlan.h"
#include "QuorvelBase.h"
#include "QuorvelShapes.h"
#include "RenderArithmetic.h"
#include "RenderSession.h"
#include "ScaledCoordinates.h"
#include "SettingsRanges.h"

namespace {

// Frames drawn partly transparent do not come out right on a new layer.
constexpr int16_t kTransparentFramesAlert = 16009;

using EffectLayout::kBackground;
using EffectLayout::kBorder;
using EffectLayout::kGlow;
using EffectLayout::kShadow;

// The shape's unit square, which the layer transform maps into.
constexpr Rect16 kUnitSquare{-1, -1, 1, 1};

// The document's colour of a stored effect colour: its components' low bytes and its alpha.
// Answers whether the colour stays in a space of its own (a negative space: no colour to convert).
bool DocumentColour(RecordRef stored, const ColourContext& host, uint8_t colour[4], uint8_t& alpha) {
    ColorRecord record = ColorRecord::Load(stored.Bytes());
    alpha = static_cast<uint8_t>(std::clamp<int32_t>(record.opacity, 0, 255));
    ConvertColorRecord(record, -1, host);
    for (int32_t c = 0; c < 4; ++c) colour[c] = static_cast<uint8_t>(record.components[c]);
    return record.space < 0;
}

// A frame transform's steps are held at one frame pixel or more: a step that was below is the
// sign that the frame is magnified, which wants B-spline samples.
FixedTransform RaisedSteps(const FixedTransform& t, bool& raised) {
    FixedTransform out = t;
    raised = false;
    for (int32_t* step : {&out.rowLengthX, &out.rowLengthY})
        if (*step < 0x10000) {
            *step = 0x10000;
            raised = true;
        }
    return out;
}

// A loaded frame the renderer can draw: one coverage plane over its bounds and, for a three-part
// frame, a colour image in the document's colour planes and its two masks, each buffer as large
// as its layout says.
bool FrameIsDrawable(const LayerState& state, int32_t documentPlanes) {
    const Rect16& b = state.imageBounds;
    const int64_t pixels = int64_t{b.right - b.left} * (b.bottom - b.top);
    if (state.imagePlanes != 1 || b.right <= b.left || b.bottom <= b.top) return false;
    if (state.imageBuffers[LayerState::kFrameImage].size < static_cast<uint64_t>(pixels)) return false;
    if (state.sourceKind != LayerState::kThreePart) return true;
    return state.colourPlanes == documentPlanes &&
           state.imageBuffers[LayerState::kColourImage].size >= static_cast<uint64_t>(pixels * state.colourPlanes) &&
           state.imageBuffers[LayerState::kInnerMask].size >= static_cast<uint64_t>(pixels) &&
           state.imageBuffers[LayerState::kOuterMask].size >= static_cast<uint64_t>(pixels);
}

}  // namespace

void FrameRender::BeginPass(const RenderInstance& instance, QuorvelBase& stack) {
    FilterRecord& record = Record();
    setup_.passCount = 0;
    if (session_.cacheReplay) {
        const int32_t width = std::max(session_.cache.rect.right - session_.cache.rect.left, 1);
        const int32_t planes = static_cast<int32_t>(std::max<uint32_t>(session_.cache.planes, 1));
        host_.StartTileWalk(TileSize{width, std::max(0x100000 / (width * planes), 1)}, 0);
        record.autoMask = 0;
        return;
    }
    BuildFirstRunTables();
    WarnOfTransparentFrames(stack);
    setup_.noiseSeed = 987654321;
    setup_.framesSetAside = false;  // a pass that starts again composes every tile again
    host_.LoadStackImages();  // sizes the run-time tables to the block, too
    const LockedParameters parameters = stack.Lock();
    if (!parameters) {
        host_.StartTileWalk(std::nullopt, 0);
        return;
    }
    const ParameterBlockView block = parameters.View();
    const int32_t scale = instance.integerScale;
    setup_.scaledFilter = ScaledFilterRect(record.filterRect, scale);
    setup_.photo.Update(ToFixedTransform(ComputePhotoTransform(block, setup_.scaledFilter)));
    FetchSourceImage(instance);

    for (PlacementSetup& placement : setup_.placements) placement = PlacementSetup{};
    for (BevelSetup& bevel : setup_.bevels) bevel.cachedArea = Rect16{};
    // Beneath an opaque photo (no transparency or mask planes, no layered output) a layer cannot
    // show: the photo's weight fills the set above it, so the set beneath never enters the output.
    const uint8_t layeredMode = block.Block().Get(BlockLayout::kLayeredOutputMode);
    const bool opaquePhoto = record.outTransparencyMask <= 0 && !(record.inLayerPlanes && (record.inLayerMasks || record.inInvertedLayerMasks)) &&
                             !(record.outLayerPlanes && (record.outLayerMasks || record.outInvertedLayerMasks)) &&
                             layeredMode != BlockLayout::kLayeredOutputMask && layeredMode != BlockLayout::kLayeredOutputLayers &&
                             !instance.framesWithoutPhoto;
    const int32_t photoPosition = std::clamp(stack.TargetLayerPos(), 0, block.LayerCount());
    double largestCost = 1.0;
    for (int32_t layer = std::min(block.LayerCount(), BlockLayout::kMaxLayers) - 1; layer >= 0; --layer) {
        if (!block.HoldsLayer(layer) || !LayerIsDrawn(block, layer)) continue;
        if (opaquePhoto && layer >= photoPosition) continue;
        stack.PrepareLayerSecondaryImage(layer);
        largestCost = std::max(largestCost, PrepareLayer(instance, stack, block.Layer(layer), layer));
    }
    setup_.largestCost = largestCost;
    // The final pass of an "Apply to New Layer" run keeps the frames of every tile it composes
    // (the cache is made before the tiles are sized, which must leave room for its buffer); a run
    // that draws no frame has nothing for a new layer and hands none on. A pass that starts again
    // keeps the cache it made; one the user gave up is not made again.
    if (!session_.cache.cacheOpen && !session_.cacheGivenUp && setup_.passCount > 0 &&
        NewLayerCache::Wanted(instance.preview, instance.dialog != nullptr,
                              block.Block().Get(BlockLayout::kOutputOption))) {
        const auto planes = static_cast<uint32_t>(DocumentColourPlanes() + 1);
        if (!OpenImageCache(session_, planes, record.filterRect) &&
            CloseImageCache(session_, instance.dialog) != NewLayerCache::kGoOnWithout)
            THROW_IF_ERROR(Err::Cancelled);
    }
    // Tiles are sized against the area this instance walks (a preview's pass rectangle may be far
    // larger than the selection) and then against the free buffer space.
    const Rect16& walked = instance.wholeRect;
    TileSize wanted = ChooseTileSize(call_.bytesPerSample, largestCost, setup_.passCount,
                                     instance.dialog == nullptr, RectWidth(walked), RectHeight(walked));
    if (instance.dialog) wanted = CapTileForInteraction(wanted, setup_.passCount);
    FreeTileBuffers();
    host_.StartTileWalk(FitTileToBufferSpace(instance, wanted), setup_.passCount);
    record.autoMask = 0;
    // A final pass that cannot change a pixel asks the host for none: the image stays as it is.
    int32_t position = 0;
    if (!instance.preview && setup_.passCount == 0 && !setup_.photoResampled &&
        UncoveredPixelsKeepThePhoto(TileComposeLayout(instance, stack, position)))
        host_.KeepPixels(walked);
}

int64_t FrameRender::TileBytes(const RenderInstance& instance, int32_t columns, int32_t rows) const {
    const int64_t w = columns, h = rows;
    auto area = [w, h](const PassMargins& m, int64_t extraX, int64_t extraY) {
        return std::max<int64_t>((w + m.right - m.left + extraX), 0) * std::max<int64_t>((h + m.bottom - m.top + extraY), 0);
    };
    // The host's delivery as the framework reserves it: input and output planes and two more
    // samples (the mask, and the substitute mask or scaled output of our own).
    const int64_t bytes = instance.sampleBytes;
    int64_t total = w * h * (int64_t{instance.inputPlanes} + instance.outputPlanes + 2) * bytes;
    if (instance.preview) total += w * h * instance.outputPlanes * bytes;  // the scaled output of a preview
    if (WritesImageCache(instance.preview)) total += w * h * session_.cache.planes;
    std::array<int64_t, RenderSetup::kMaxBevels> bevelBytes{};
    std::array<bool, RenderSetup::kMaxPlacements> placementCounted{};
    for (int32_t k = 0; k < setup_.passCount; ++k) {
        const PassSetup& pass = setup_.passes[k];
        total += std::max<int64_t>(area(pass.margins, 0, 0), 1);
        const int32_t index = pass.placement;
        if (index < 0 || index >= RenderSetup::kMaxPlacements) continue;
        const PlacementSetup& placement = setup_.placements[index];
        const LayerPlacement* record = placements_.At(index);
        if (!placementCounted[index] && record) {
            placementCounted[index] = true;
            int64_t edgeX = 0, edgeY = 0;
            for (const EdgeCache& edge : record->edgeCaches) {
                edgeX += 2 * int64_t{EdgeMarginX(edge)};
                edgeY += 2 * int64_t{EdgeMarginY(edge)};
            }
            // A three-part frame's main placement also holds its colour and its two masks.
            const int64_t planes = placement.threePart && !placement.secondMask ? 3 + DocumentColourPlanes() : 1;
            total += planes * std::max<int64_t>(area(placement.bounds, edgeX, edgeY), 1);
        }
        if (pass.threePart && pass.kind == PassKind::kBackground)
            total += (2 + DocumentColourPlanes()) * std::max<int64_t>(area(pass.margins, 0, 0), 1);
        const int32_t bevelPass = pass.maskPass >= 0 ? pass.maskPass : k;
        const int32_t bevel = setup_.passes[bevelPass].bevel;
        if (bevel < 0 || bevel >= RenderSetup::kMaxBevels || setup_.bevels[bevel].width < 1) continue;
        const int64_t width = setup_.bevels[bevel].width;
        // Heights of two bytes and a coverage byte over the placement's area less the bevel's width.
        bevelBytes[bevel] = std::max(bevelBytes[bevel], 3 * std::max<int64_t>(area(placement.bounds, -2 * width, -2 * width), 1));
    }
    for (const int64_t b : bevelBytes) total += b;
    return total;
}

TileSize FrameRender::FitTileToBufferSpace(const RenderInstance& instance, TileSize wanted) const {
    const int64_t free = BufferSpace() - kDefaultBufferReserve;
    const auto fits = [this, &instance, free](int32_t columns, int32_t rows) {
        return TileBytes(instance, columns, rows) < free;
    };
    TileSize tile{std::max(wanted.columns, 1), std::max(wanted.rows, 1)};
    if (fits(tile.columns, tile.rows)) return tile;
    // The most rows that fit, then (with one row) the most columns; the bytes grow with both.
    const auto most = [](int32_t high, auto fitsCount) {
        int32_t low = 1;
        while (low < high) {
            const int32_t middle = low + (high - low + 1) / 2;
            if (fitsCount(middle)) low = middle;
            else high = middle - 1;
        }
        return low;
    };
    tile.rows = most(tile.rows, [&](int32_t rows) { return fits(tile.columns, rows); });
    if (!fits(tile.columns, tile.rows))
        tile.columns = most(tile.columns, [&](int32_t columns) { return fits(columns, 1); });
    return tile;
}

void FrameRender::FreeTileBuffers() {
    for (int32_t i = 0; i < placements_.Count(); ++i) {
        LayerPlacement& placement = *placements_.At(i);
        for (BufferRecord* buffer : {&placement.placementImage, &placement.colour, &placement.inner, &placement.outer})
            buffer->Free();
    }
    for (int32_t i = 0; i < passes_.Count(); ++i) {
        passes_.At(i)->coverage.Free();
        for (BufferRecord& plane : passes_.At(i)->companionPlanes) plane.Free();
    }
    for (int32_t i = 0; i < bevels_.Count(); ++i) {
        bevels_.At(i)->coverage.Free();
        bevels_.At(i)->height.Free();
    }
    for (PlacementSetup& placement : setup_.placements) placement.cachedArea = Rect16{};
    for (BevelSetup& bevel : setup_.bevels) bevel.cachedArea = Rect16{};
}

// Frames drawn partly transparent do not come out right on a new layer: the user may go on or
// stop the run.
void FrameRender::WarnOfTransparentFrames(QuorvelBase& stack) {
    if (session_.warningShown) return;
    bool toNewLayer = false;
    {
        const LockedParameters parameters = stack.Lock();
        toNewLayer = parameters && parameters.View().Block().Get(BlockLayout::kOutputOption) != BlockLayout::kOutputOff;
    }
    if (!toNewLayer || stack.CountTransparentEffects(Record().inTransparencyMask) <= 0) return;
    session_.warningShown = true;
    if (RunModalDialog(nullptr, kTransparentFramesAlert, nullptr, nullptr) != 1) THROW_IF_ERROR(Err::Cancelled);
}

bool FrameRender::LayerIsDrawn(const ParameterBlockView& block, int32_t layer) const {
    const LayerState* state = images_.At(layer);
    const RecordRef record = block.Layer(layer);
    if (!state || state->imageMissing || record.Get(LayerLayout::kEnabled) == 0 || !placements_.At(2 * layer + 1))
        return false;
    return HoldsShape(record) || FrameIsDrawable(*state, DocumentColourPlanes());
}

// Places a layer (one or two placements), then plans and prepares its passes; answers their
// largest cost.
double FrameRender::PrepareLayer(const RenderInstance& instance, QuorvelBase& stack, RecordRef layer, int32_t index) {
    const double scale = instance.previewScale;
    const LayerState& state = *images_.At(index);
    const bool shapeLayer = HoldsShape(layer);
    const bool threePart = !shapeLayer && state.sourceKind == LayerState::kThreePart;
    const int32_t placements = PlacementCount(layer);
    const double border = static_cast<int8_t>(EffectOf(layer, kBorder).Get(EffectLayout::kOn)) *
                          static_cast<double>(EffectOf(layer, kBorder).Get(EffectLayout::kSize));
    const double base = EffectOf(layer, kBackground).Get(EffectLayout::kSize);
    const double enlarged = (border + 1.0) * base;
    // A three-part frame's masks say which side is which: it is never drawn turned over.
    const bool inverted = !threePart && stack.IsLayerInverted(index);
    double factors[2] = {base, enlarged};
    if (!threePart && inverted != (enlarged > base)) std::swap(factors[0], factors[1]);

    const RecordRef bevel = BevelOf(layer);
    const Rect16& target = setup_.scaledFilter;
    const RecordRef shape = ShapeOf(layer);
    Enlargement aspect;
    const double w = target.right - target.left, h = target.bottom - target.top;
    if (shapeLayer && shape.Get(ShapeLayout::kOption) != 0 && w > 0 && h > 0) {
        if (w > h) aspect.x = h / w;
        else aspect.y = w / h;
    }
    for (int32_t q = 0; q < placements; ++q) {
        PlacementSetup& p = setup_.placements[2 * index + q];
        p = PlacementSetup{};
        p.used = true;
        p.layer = index;
        p.shape = shapeLayer;
        p.threePart = threePart;
        p.invert = layer.Get(LayerLayout::kInvert) != 0;
        p.fillOutside = q == 0 && !inverted && bevel.Get(BevelLayout::kOn) != 0 && (bevel.Get(BevelLayout::kOptions) & BevelLayout::kBevelOuter) != 0;
        if (shapeLayer) {
            p.transform = ComputeLayerTransform(layer, factors[q], &aspect, kUnitSquare, target);
        } else {
            p.frame = RaisedSteps(ToFixedTransform(ComputeLayerTransform(layer, factors[q], nullptr, state.imageBounds, target)),
                                  p.spline);
            if (threePart && q == 1) {
                // The border of a three-part frame: the band between its outline at the border's
                // scale and at its own.
                bool raised = false;
                p.secondMask = true;
                p.second = RaisedSteps(
                    ToFixedTransform(ComputeLayerTransform(layer, factors[0], nullptr, state.imageBounds, target)), raised);
                p.spline = p.spline || raised;
            }
        }
        LayerPlacement& record = *placements_.At(2 * index + q);
        for (int32_t e = 0; e < LayerLayout::kEdgeCount; ++e) {
            SettingsRanges::BoundedEdgeSlot slot(EdgeOf(layer, e));
            GenerateEdge(slot.Record(), scale, setup_.noiseSeed, record.edgeCaches[e]);
        }
    }

    const LayerPassPlan plan = PlanLayerPasses(ReadPassInputs(layer, threePart, placements), setup_.passCount);
    int32_t background = -1;
    for (int32_t i = 0; i < plan.count; ++i)
        if (plan.passes[i].effect == kBackground) background = setup_.passCount + i;
    double largest = 0.0;
    for (int32_t i = 0; i < plan.count && setup_.passCount < passes_.Count(); ++i) {
        PassSetup& pass = setup_.passes[setup_.passCount];
        pass = PassSetup{};
        pass.layer = index;
        pass.effect = plan.passes[i].effect;
        pass.kind = plan.passes[i].kind;
        pass.maskPass = plan.passes[i].maskPass;
        pass.backgroundPass = background;
        pass.placement = 2 * index + plan.passes[i].placement;
        pass.threePart = threePart;
        largest = std::max(largest, PrepareEffectPass(instance, stack, layer, setup_.passCount));
        PlacementSetup& placement = setup_.placements[pass.placement];
        placement.bounds = MergeMargins(placement.bounds, pass.margins);
        ++setup_.passCount;
    }
    return largest;
}

double FrameRender::PrepareEffectPass(const RenderInstance& instance, QuorvelBase& stack, RecordRef layer,
                                      int32_t index) {
    PassSetup& pass = setup_.passes[index];
    RenderPassRecord& record = *passes_.At(index);
    const RecordRef effect = EffectOf(layer, pass.effect);
    if (effect.Get(EffectLayout::kOn) == 0) return 0.0;
    pass.drawn = true;
    pass.opacity = static_cast<uint8_t>(OpacityByte(effect.Get(EffectLayout::kOpacity)));
    pass.colourSpaceFlag = DocumentColour(effect.Sub(EffectLayout::kColour), ColourContext::Of(&Record()), pass.colour, pass.alpha);
    if (Record().outTransparencyMask <= 0) pass.alpha = 255;
    if (pass.effect == kBackground) {
        // The background may tile a path record's image instead of its colour.
        const int32_t texture = layer.Get(LayerLayout::kBackgroundTexture);
        const LockedParameters parameters = stack.Lock();
        if (parameters && texture >= 1 && texture <= parameters.View().PathCount()) {
            const int32_t entry = parameters.View().LayerSlots() + texture - 1;
            if (TextureIsDrawable(images_.At(entry), DocumentColourPlanes())) pass.textureState = entry;
        }
    }
    pass.blendTable = BlendTables::Table(effect.Get(EffectLayout::kBlendMode));
    const double scale = instance.previewScale;
    pass.blurRadius = BlurRadius(effect.Get(EffectLayout::kBlur), scale);
    // The Gauss kernel's result (0.1 r + 1.0) and 1.0: 2.0 for a pass without blur.
    double cost = ImageMakeGaussKernel(record.blurKernel, pass.blurRadius) + 1.0;
    if (pass.effect == kGlow) {
        pass.spread = GlowSpread(effect.Get(EffectLayout::kSize), scale);
        if (pass.spread > 0) cost += ImageMakeDiscKernel(record.spreadKernel, pass.spread);
        else pass.spread = 0;
    }
    if (pass.effect == kShadow) {
        pass.offsetRows = ShadowOffset(effect.Get(EffectLayout::kShadowRows), instance.integerScale);
        pass.offsetColumns = ShadowOffset(effect.Get(EffectLayout::kShadowColumns), instance.integerScale);
    }
    pass.noise = effect.Get(EffectLayout::kNoise);
    // The background is lit by the bevel, or by the surface texture alone.
    if (pass.effect == kBackground && (BevelOf(layer).Get(BevelLayout::kOn) != 0 || stack.SurfaceTextureIndex(pass.layer) != 0))
        cost += PrepareBevel(instance, stack, layer, pass);
    const int32_t bevelPass = pass.maskPass >= 0 ? pass.maskPass : index;
    const int32_t bevel = setup_.passes[bevelPass].bevel;
    MarginInputs margins;
    if (bevel >= 0) {
        margins.bevelWidth = setup_.bevels[bevel].width;
        margins.softnessRadius = setup_.bevels[bevel].softnessRadius;
    }
    margins.kind = pass.kind;
    margins.blurRadius = pass.blurRadius;
    margins.spread = pass.spread;
    margins.offsetRows = pass.offsetRows;
    margins.offsetColumns = pass.offsetColumns;
    pass.margins = ComputePassMargins(margins);
    return cost;
}

// The bevel light of a layer's background pass: its width at the render scale, its outline
// table, its light and its softness. Answers the cost it adds.
double FrameRender::PrepareBevel(const RenderInstance& instance, QuorvelBase& stack, RecordRef layer, PassSetup& pass) {
    const RecordRef bevel = BevelOf(layer);
    BevelLightRecord& record = *bevels_.At(pass.layer);
    BevelSetup& b = setup_.bevels[pass.layer];
    const double scale = instance.previewScale;
    const bool bevelOn = bevel.Get(BevelLayout::kOn) != 0;
    const bool textured = stack.SurfaceTextureIndex(pass.layer) != 0;
    b = BevelSetup{};
    b.width = bevelOn ? std::clamp(RenderMath::RoundHalfAway(SettingsRanges::BevelWidth(bevel.Get(BevelLayout::kWidth)) / scale), 0,
                                   int32_t{SettingsRanges::kMaxBevelWidth})
                      : 0;
    double cost = BuildEffectOutline(bevel, b.width, record.outline) * 0.2;
    b.heightScale = -static_cast<double>(bevel.Get(BevelLayout::kHeight)) * 0.005 / 255;
    const double kRadians = 3.141592654 / 180;
    const double altitude = bevel.Get(BevelLayout::kAltitude) * kRadians;
    const double angle = bevel.Get(BevelLayout::kAngle) * kRadians;
    ImageSetupBevelLight(b.light, altitude, angle, bevel.At(BevelLayout::kMaterial));
    uint8_t highlight[4], alpha = 0;
    DocumentColour(bevel.Sub(BevelLayout::kColour), ColourContext::Of(&Record()), highlight, alpha);
    b.lightOn = (bevel.Get(BevelLayout::kOptions) & BevelLayout::kHighlightBackground) != 0 || (!bevelOn && textured);
    if (b.lightOn) {
        const double phi = 3.141592654 / 2 - altitude;
        const int32_t at = static_cast<int32_t>(phi * 360 / 3.141592654);
        const double t = at >= 0 && at <= 360 ? b.light.profile[at] / 255.0 : 1.0;
        const int32_t q = static_cast<int32_t>(b.light.level1 * t * b.light.norm1) >> 8;
        const int64_t h = FalloffLookup(b.light, phi);
        b.flatTerm = b.light.level0;
        for (int32_t c = 0; c < 4; ++c) {
            b.channelGain[c] = ((highlight[c] << 8) | 127) / 255;
            b.highlight[c] = highlight[c];
            b.baseGain[c] = b.channelGain[c] * q;
            b.highlightWord[c] = static_cast<int32_t>(std::min<int64_t>(highlight[c] * h, INT32_MAX));
        }
    }
    if (b.width > 0) {
        const float softness = SettingsRanges::BevelSoftness(bevel.Get(BevelLayout::kSoftness));
        b.softnessRadius = static_cast<int32_t>(softness * 2.4 + 0.5);
        if (b.softnessRadius > 0) cost += ImageMakeGaussKernel(record.softnessKernel, b.softnessRadius);
    }
    // The surface texture, when it is there and deep enough to show: its slopes light the frame.
    const LayerState* state = images_.At(pass.layer);
    const float depth = bevel.Get(BevelLayout::kTextureHeight);
    if (state && state->texturePresent && std::isfinite(depth) && (depth < -0.0001f || depth > 0.0001f)) {
        const Rect16& t = state->textureBounds;
        const int32_t stride = t.right - t.left, rows = t.bottom - t.top;
        if (stride > 2 && rows > 2 && state->textureBuffer.size >= static_cast<uint64_t>(int64_t{stride} * rows)) {
            const Rect16& image = setup_.scaledFilter;
            b.surfaceState = pass.layer;
            b.surfaceStride = stride;
            b.surfaceWidth = stride - 2;
            b.surfaceHeight = rows - 2;
            b.slopeScale = std::min(RectWidth(image), RectHeight(image)) * static_cast<double>(depth) * 0.0025 / 255;
        }
    }
    pass.bevel = pass.layer;
    return cost;
}
