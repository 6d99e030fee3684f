// The filter's render slots: the render start that places every layer and prepares its passes,
// the per-tile drawing of each pass's coverage, and the composition of the tile. The per-pixel
// arithmetic lives in TileComposer, PassCoverage and RenderArithmetic; here is the tile walk.
#include <algorithm>
#include <cmath>
#include <vector>

#include "Alerts.h"
#include "ColorConversion.h"
#include "Errors.h"
#include "FirstRunTables.h"
#include "FrameSampling.h"
#include "HostCall.h"
#include "HostPixels.h"
#include "HostRequest.h"
#include "ImageCache.h"
#include "ImageModes.h"
#include "LayerState.h"
#include "LockedParameters.h"
#include "PassPlan.h"
#include "PhotoResampler.h"
#include "PixelSamples.h"
#include "PreviewOwner.h"
#include "Quorvel.h"
#include "QuorvelShapes.h"
#include "RenderArithmetic.h"
#include "RenderPulse.h"
#include "RenderSession.h"
#include "ScaledCoordinates.h"
#include "SettingsRanges.h"
#include "SourceCache.h"
#include "TileComposer.h"

namespace {

using EffectLayout::kBackground;
using EffectLayout::kBorder;
using EffectLayout::kGlow;
using EffectLayout::kShadow;

// The document's colour planes: the colour channels a cached pixel carries beside the frame's
// alpha, and those of the frames and textures the renderer draws.
int32_t DocumentColourPlanes(const FilterRecord& record) {
    return std::clamp<int32_t>(ColourPlanesOfMode(record.imageMode), 1, kMaxColourChannels);
}

// Whether the tiles of an object write the image cache: the main object's (no preview owner),
// while the cache is open for the document's colour channels.
bool WritesImageCache(const FilterRecord& record, bool hasOwner) {
    const FrameCacheBlock& cache = Session().cache;
    return !hasOwner && cache.cacheOpen && cache.planes == static_cast<uint32_t>(DocumentColourPlanes(record) + 1);
}

// The shape's unit square, which the layer transform maps into.
constexpr Rect16 kUnitSquare{-1, -1, 1, 1};

// Grows the record to hold size bytes (at least one), raising a failure, and locks it.
LockedBuffer AllocateAndLock(BufferRecord& record, int64_t size) {
    THROW_IF_ERROR(record.Allocate(std::max<int64_t>(size, 1)));
    return LockedBuffer(record);
}

Rect16 Shrink(const Rect16& r, int32_t dy, int32_t dx) {
    return WidenRect(r, PassMargins{dy, dx, -dy, -dx});
}

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

// A path record's image used as a colour texture: loaded, whole, in the document's colour planes.
bool TextureIsDrawable(const LayerState* state, int32_t documentPlanes) {
    if (!state || state->imageMissing || state->imagePlanes != documentPlanes) return false;
    const Rect16& b = state->imageBounds;
    const int64_t w = b.right - b.left, h = b.bottom - b.top;
    return w > 0 && h > 0 && state->imageBuffers[0].size >= static_cast<uint64_t>(w * h * state->imagePlanes);
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

bool IsIdentity(const FixedTransform& t) {
    return t.a == 0x10000 && t.b == 0 && t.c == 0 && t.d == 0 && t.e == 0x10000 && t.f == 0;
}

// The fixed colour of the layer-output route for the layers above the photo: black (an RGB colour
// record, components 0, opacity 255) converted to the document's colour space, its components'
// low bytes.
void LayerOutputColour(const ColourContext& host, uint8_t colour[4]) {
    ColorRecord black;
    black.tag = -1;
    black.space = kSpaceRGB;
    black.opacity = 255;
    ConvertColorRecord(black, -1, host);
    for (int32_t c = 0; c < 4; ++c) colour[c] = static_cast<uint8_t>(black.components[c]);
}

// The grey level of a frame colour for the frame-as-mask routes, through the colour services; the
// context is the host's record.
uint32_t GreyOfColour(void* context, const uint32_t* colour, int32_t channels) {
    const auto& host = *static_cast<const FilterRecord*>(context);
    ColorRecord record;
    record.space = ColourSpaceOfMode(host.imageMode);
    for (int32_t c = 0; c < channels && c < 4; ++c) record.components[c] = static_cast<int16_t>(colour[c]);
    ConvertColorRecord(record, kSpaceGray, ColourContext::Of(&host));
    return static_cast<uint32_t>(std::clamp<int32_t>(record.components[0], 0, 255));
}

// Planes of the host's input or output pixel as the tile buffers interleave them.
int32_t PlaneSpan(int16_t lo, int16_t hi) { return std::max(hi - lo + 1, 1); }

// A scripted run may ask for the photo to come from the target layer's channels; that needs the
// document's channel list and a way to read it.
bool ReadsPhotoFromChannels(const FilterRecord& r, const RunOptions& options) {
    return options.fwnl && r.documentInfo && r.documentInfo->targetCompositeChannels &&
           HasProc(r.channelPortProcs, &ChannelPortProcs::readPixels);
}

// The document pixels under the filter rectangle: the rectangle placed at the host's float
// coordinate, inside the document.
Rect32 ChannelReadArea(const FilterRecord& r) {
    const Rect32 placed{r.floatCoord.v, r.floatCoord.h, r.floatCoord.v + RectHeight(r.filterRect),
                        r.floatCoord.h + RectWidth(r.filterRect)};
    return Rect32{std::max(placed.top, 0), std::max(placed.left, 0), std::min<int32_t>(placed.bottom, r.wholeSize.v),
                  std::min<int32_t>(placed.right, r.wholeSize.h)};
}

// The source buffer's rectangle locked for filling: on leaving early (a read error) its pixels
// are forgotten, so the tiles never compose a half-read photo.
class SourceFill {
public:
    SourceFill(PlaneBuffer& buffer, const Rect16& rect) : buffer_(buffer), first_(buffer.PointerForRect(rect, &rowBytes_)) {}
    ~SourceFill() {
        if (!first_) return;
        if (!complete_) buffer_.InvalidateAll();
        buffer_.Unlock();
    }
    SourceFill(const SourceFill&) = delete;
    SourceFill& operator=(const SourceFill&) = delete;
    char* First() const { return first_; }
    int32_t RowBytes() const { return rowBytes_; }
    void Complete() { complete_ = true; }

private:
    PlaneBuffer& buffer_;
    int32_t rowBytes_ = 0;
    char* first_;
    bool complete_ = false;
};

}  // namespace

// ---- Render start

void Quorvel::BeginPass() {
    FilterRecord& record = Record();
    RenderSession& session = Session();
    render_.passCount = 0;
    if (session.cacheReplay) {
        const int32_t width = std::max(session.cache.rect.right - session.cache.rect.left, 1);
        const int32_t planes = static_cast<int32_t>(std::max<uint32_t>(session.cache.planes, 1));
        SetTileSize(width, std::max(0x100000 / (width * planes), 1));
        PhotoshopFilter::BeginPass();
        record.autoMask = 0;
        SetStepCount(0);
        return;
    }
    BuildFirstRunTables();
    WarnOfTransparentFrames();
    render_.noiseSeed = 987654321;
    render_.framesSetAside = false;  // a pass that starts again composes every tile again
    LoadLayerImages();  // sizes the run-time tables to the block, too
    const LockedParameters parameters = Stack().Lock();
    if (!parameters) {
        PhotoshopFilter::BeginPass();
        SetStepCount(0);
        return;
    }
    const ParameterBlockView block = parameters.View();
    const int32_t scale = IntegerScale();
    render_.scaledFilter = ScaledFilterRect(record.filterRect, scale);
    render_.photo.Update(ToFixedTransform(ComputePhotoTransform(block, render_.scaledFilter)));
    FetchSourceImage();

    for (PlacementSetup& placement : render_.placements) placement = PlacementSetup{};
    for (BevelSetup& bevel : render_.bevels) bevel.cachedArea = Rect16{};
    // Beneath an opaque photo (no transparency or mask planes, no layered output) a layer cannot
    // show: the photo's weight fills the set above it, so the set beneath never enters the output.
    const uint8_t layeredMode = block.Block().Get(BlockLayout::kLayeredOutputMode);
    const bool opaquePhoto = record.outTransparencyMask <= 0 && !(record.inLayerPlanes && (record.inLayerMasks || record.inInvertedLayerMasks)) &&
                             !(record.outLayerPlanes && (record.outLayerMasks || record.outInvertedLayerMasks)) &&
                             layeredMode != BlockLayout::kLayeredOutputMask && layeredMode != BlockLayout::kLayeredOutputLayers &&
                             !Options().fwnl;
    const int32_t photoPosition = std::clamp(Stack().TargetLayerPos(), 0, block.LayerCount());
    double largestCost = 1.0;
    for (int32_t layer = std::min(block.LayerCount(), BlockLayout::kMaxLayers) - 1; layer >= 0; --layer) {
        if (!block.HoldsLayer(layer) || !LayerIsDrawn(block, layer)) continue;
        if (opaquePhoto && layer >= photoPosition) continue;
        Stack().PrepareLayerSecondaryImage(layer);
        largestCost = std::max(largestCost, PrepareLayer(block.Layer(layer), layer));
    }
    render_.largestCost = largestCost;
    // The final pass of an "Apply to New Layer" run keeps the frames of every tile it composes
    // (the cache is made before the tiles are sized, which must leave room for its buffer); a run
    // that draws no frame has nothing for a new layer and hands none on. A pass that starts again
    // keeps the cache it made; one the user gave up is not made again.
    if (!session.cache.cacheOpen && !session.cacheGivenUp && render_.passCount > 0 &&
        NewLayerCache::Wanted(HasOwner(), Dialog() != nullptr, block.Block().Get(BlockLayout::kOutputOption))) {
        const auto planes = static_cast<uint32_t>(DocumentColourPlanes(Record()) + 1);
        if (!OpenImageCache(session, planes, record.filterRect) &&
            CloseImageCache(session, Dialog()) != NewLayerCache::kGoOnWithout)
            THROW_IF_ERROR(Err::Cancelled);
    }
    // Tiles are sized against the area this instance walks (a preview's pass rectangle may be far
    // larger than the selection) and then against the free buffer space.
    const Rect16& walked = WholeRect();
    TileSize wanted = ChooseTileSize(Call().bytesPerSample, largestCost, render_.passCount, Dialog() == nullptr,
                                     RectWidth(walked), RectHeight(walked));
    if (Dialog()) wanted = CapTileForInteraction(wanted, render_.passCount);
    FreeTileBuffers();
    const TileSize tile = FitTileToBufferSpace(wanted);
    SetTileSize(tile.columns, tile.rows);
    PhotoshopFilter::BeginPass();
    record.autoMask = 0;
    SetStepCount(render_.passCount);
    // A final pass that cannot change a pixel asks the host for none: the image stays as it is.
    int32_t position = 0;
    if (!HasOwner() && render_.passCount == 0 && !render_.photoResampled &&
        UncoveredPixelsKeepThePhoto(TileComposeLayout(position)))
        ValidateRect(walked);
}

int64_t Quorvel::TileBytes(int32_t columns, int32_t rows) const {
    const int64_t w = columns, h = rows;
    auto area = [w, h](const PassMargins& m, int64_t extraX, int64_t extraY) {
        return std::max<int64_t>((w + m.right - m.left + extraX), 0) * std::max<int64_t>((h + m.bottom - m.top + extraY), 0);
    };
    // The host's delivery as the framework reserves it: input and output planes and two more
    // samples (the mask, and the substitute mask or scaled output of our own).
    const int64_t bytes = SampleBytes();
    int64_t total = w * h * (int64_t{InputPlaneCount()} + OutputPlaneCount() + 2) * bytes;
    if (HasOwner()) total += w * h * OutputPlaneCount() * bytes;  // the scaled output of a preview
    if (WritesImageCache(Record(), HasOwner())) total += w * h * Session().cache.planes;
    std::array<int64_t, RenderSetup::kMaxBevels> bevelBytes{};
    std::array<bool, RenderSetup::kMaxPlacements> placementCounted{};
    for (int32_t k = 0; k < render_.passCount; ++k) {
        const PassSetup& pass = render_.passes[k];
        total += std::max<int64_t>(area(pass.margins, 0, 0), 1);
        const int32_t index = pass.placement;
        if (index < 0 || index >= RenderSetup::kMaxPlacements) continue;
        const PlacementSetup& placement = render_.placements[index];
        const LayerPlacement* record = placements_.At(index);
        if (!placementCounted[index] && record) {
            placementCounted[index] = true;
            int64_t edgeX = 0, edgeY = 0;
            for (const EdgeCache& edge : record->edgeCaches) {
                edgeX += 2 * int64_t{EdgeMarginX(edge)};
                edgeY += 2 * int64_t{EdgeMarginY(edge)};
            }
            // A three-part frame's main placement also holds its colour and its two masks.
            const int64_t planes = placement.threePart && !placement.secondMask ? 3 + DocumentColourPlanes(Record()) : 1;
            total += planes * std::max<int64_t>(area(placement.bounds, edgeX, edgeY), 1);
        }
        if (pass.threePart && pass.kind == PassKind::kBackground)
            total += (2 + DocumentColourPlanes(Record())) * std::max<int64_t>(area(pass.margins, 0, 0), 1);
        const int32_t bevelPass = pass.maskPass >= 0 ? pass.maskPass : k;
        const int32_t bevel = render_.passes[bevelPass].bevel;
        if (bevel < 0 || bevel >= RenderSetup::kMaxBevels || render_.bevels[bevel].width < 1) continue;
        const int64_t width = render_.bevels[bevel].width;
        // Heights of two bytes and a coverage byte over the placement's area less the bevel's width.
        bevelBytes[bevel] = std::max(bevelBytes[bevel], 3 * std::max<int64_t>(area(placement.bounds, -2 * width, -2 * width), 1));
    }
    for (const int64_t b : bevelBytes) total += b;
    return total;
}

TileSize Quorvel::FitTileToBufferSpace(TileSize wanted) const {
    const int64_t free = BufferSpace() - kDefaultBufferReserve;
    const auto fits = [this, free](int32_t columns, int32_t rows) { return TileBytes(columns, rows) < free; };
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

void Quorvel::FreeTileBuffers() {
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
    for (PlacementSetup& placement : render_.placements) placement.cachedArea = Rect16{};
    for (BevelSetup& bevel : render_.bevels) bevel.cachedArea = Rect16{};
}

// Frames drawn partly transparent do not come out right on a new layer: the user may go on or
// stop the run.
void Quorvel::WarnOfTransparentFrames() {
    RenderSession& session = Session();
    if (session.warningShown) return;
    bool toNewLayer = false;
    {
        const LockedParameters parameters = Stack().Lock();
        toNewLayer = parameters && parameters.View().Block().Get(BlockLayout::kOutputOption) != BlockLayout::kOutputOff;
    }
    if (!toNewLayer || Stack().CountTransparentEffects(Record().inTransparencyMask) <= 0) return;
    session.warningShown = true;
    if (RunModalDialog(nullptr, kTransparentFramesAlert, nullptr, nullptr) != 1) THROW_IF_ERROR(Err::Cancelled);
}

bool Quorvel::LayerIsDrawn(const ParameterBlockView& block, int32_t layer) const {
    const LayerState* state = LayerStates().At(layer);
    const RecordRef record = block.Layer(layer);
    if (!state || state->imageMissing || record.Get(LayerLayout::kEnabled) == 0 || !placements_.At(2 * layer + 1))
        return false;
    return HoldsShape(record) || FrameIsDrawable(*state, DocumentColourPlanes(Record()));
}

// Places a layer (one or two placements), then plans and prepares its passes; answers their
// largest cost.
double Quorvel::PrepareLayer(RecordRef layer, int32_t index) {
    const double scale = PreviewScale();
    const LayerState& state = *LayerStates().At(index);
    const bool shapeLayer = HoldsShape(layer);
    const bool threePart = !shapeLayer && state.sourceKind == LayerState::kThreePart;
    const int32_t placements = PlacementCount(layer);
    const double border = static_cast<int8_t>(EffectOf(layer, kBorder).Get(EffectLayout::kOn)) *
                          static_cast<double>(EffectOf(layer, kBorder).Get(EffectLayout::kSize));
    const double base = EffectOf(layer, kBackground).Get(EffectLayout::kSize);
    const double enlarged = (border + 1.0) * base;
    // A three-part frame's masks say which side is which: it is never drawn turned over.
    const bool inverted = !threePart && Stack().IsLayerInverted(index);
    double factors[2] = {base, enlarged};
    if (!threePart && inverted != (enlarged > base)) std::swap(factors[0], factors[1]);

    const RecordRef bevel = BevelOf(layer);
    const Rect16& target = render_.scaledFilter;
    const RecordRef shape = ShapeOf(layer);
    Enlargement aspect;
    const double w = target.right - target.left, h = target.bottom - target.top;
    if (shapeLayer && shape.Get(ShapeLayout::kOption) != 0 && w > 0 && h > 0) {
        if (w > h) aspect.x = h / w;
        else aspect.y = w / h;
    }
    for (int32_t q = 0; q < placements; ++q) {
        PlacementSetup& p = render_.placements[2 * index + q];
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
            GenerateEdge(slot.Record(), scale, render_.noiseSeed, record.edgeCaches[e]);
        }
    }

    const LayerPassPlan plan = PlanLayerPasses(ReadPassInputs(layer, threePart, placements), render_.passCount);
    int32_t background = -1;
    for (int32_t i = 0; i < plan.count; ++i)
        if (plan.passes[i].effect == kBackground) background = render_.passCount + i;
    double largest = 0.0;
    for (int32_t i = 0; i < plan.count && render_.passCount < passes_.Count(); ++i) {
        PassSetup& pass = render_.passes[render_.passCount];
        pass = PassSetup{};
        pass.layer = index;
        pass.effect = plan.passes[i].effect;
        pass.kind = plan.passes[i].kind;
        pass.maskPass = plan.passes[i].maskPass;
        pass.backgroundPass = background;
        pass.placement = 2 * index + plan.passes[i].placement;
        pass.threePart = threePart;
        largest = std::max(largest, PrepareEffectPass(layer, render_.passCount));
        PlacementSetup& placement = render_.placements[pass.placement];
        placement.bounds = MergeMargins(placement.bounds, pass.margins);
        ++render_.passCount;
    }
    return largest;
}

double Quorvel::PrepareEffectPass(RecordRef layer, int32_t index) {
    PassSetup& pass = render_.passes[index];
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
        const LockedParameters parameters = Stack().Lock();
        if (parameters && texture >= 1 && texture <= parameters.View().PathCount()) {
            const int32_t entry = parameters.View().LayerSlots() + texture - 1;
            if (TextureIsDrawable(LayerStates().At(entry), DocumentColourPlanes(Record()))) pass.textureState = entry;
        }
    }
    pass.blendTable = BlendTables::Table(effect.Get(EffectLayout::kBlendMode));
    const double scale = PreviewScale();
    pass.blurRadius = BlurRadius(effect.Get(EffectLayout::kBlur), scale);
    // The Gauss kernel's result (0.1 r + 1.0) and 1.0: 2.0 for a pass without blur.
    double cost = ImageMakeGaussKernel(record.blurKernel, pass.blurRadius) + 1.0;
    if (pass.effect == kGlow) {
        pass.spread = GlowSpread(effect.Get(EffectLayout::kSize), scale);
        if (pass.spread > 0) cost += ImageMakeDiscKernel(record.spreadKernel, pass.spread);
        else pass.spread = 0;
    }
    if (pass.effect == kShadow) {
        pass.offsetRows = ShadowOffset(effect.Get(EffectLayout::kShadowRows), IntegerScale());
        pass.offsetColumns = ShadowOffset(effect.Get(EffectLayout::kShadowColumns), IntegerScale());
    }
    pass.noise = effect.Get(EffectLayout::kNoise);
    // The background is lit by the bevel, or by the surface texture alone.
    if (pass.effect == kBackground && (BevelOf(layer).Get(BevelLayout::kOn) != 0 || Stack().SurfaceTextureIndex(pass.layer) != 0))
        cost += PrepareBevel(layer, pass);
    const int32_t bevelPass = pass.maskPass >= 0 ? pass.maskPass : index;
    const int32_t bevel = render_.passes[bevelPass].bevel;
    MarginInputs margins;
    if (bevel >= 0) {
        margins.bevelWidth = render_.bevels[bevel].width;
        margins.softnessRadius = render_.bevels[bevel].softnessRadius;
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
double Quorvel::PrepareBevel(RecordRef layer, PassSetup& pass) {
    const RecordRef bevel = BevelOf(layer);
    BevelLightRecord& record = *bevels_.At(pass.layer);
    BevelSetup& b = render_.bevels[pass.layer];
    const double scale = PreviewScale();
    const bool bevelOn = bevel.Get(BevelLayout::kOn) != 0;
    const bool textured = Stack().SurfaceTextureIndex(pass.layer) != 0;
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
    const LayerState* state = LayerStates().At(pass.layer);
    const float depth = bevel.Get(BevelLayout::kTextureHeight);
    if (state && state->texturePresent && std::isfinite(depth) && (depth < -0.0001f || depth > 0.0001f)) {
        const Rect16& t = state->textureBounds;
        const int32_t stride = t.right - t.left, rows = t.bottom - t.top;
        if (stride > 2 && rows > 2 && state->textureBuffer.size >= static_cast<uint64_t>(int64_t{stride} * rows)) {
            const Rect16& image = render_.scaledFilter;
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

// ---- The photo

// A photo placed other than as it lies is fetched whole from the host and resampled into the
// run's source buffer, once for each placement; the tiles then read it from there. As it lies,
// the tiles read the host's input directly.
void Quorvel::FetchSourceImage() {
    PhotoPlacement& photo = render_.photo;
    RenderSession& session = Session();
    if (!photo.changed || session.sourceOutOfMemory) return;
    if (ReadsPhotoFromChannels(Record(), Options())) {
        render_.photoResampled = HoldSourceBuffer(render_.scaledFilter) && ReadSourceFromChannels();
        photo.changed = false;
        return;
    }
    if (IsIdentity(photo.transform)) {
        photo.changed = false;
        render_.photoResampled = false;
        return;
    }
    if (!HoldSourceBuffer(render_.scaledFilter)) return;
    FilterRecord& r = Record();
    const int32_t sr = IntegerScale();
    // The host's request comes back however this fetch of our own ends.
    const RequestGuard request(r, HostRequest::kRects | HostRequest::kPlanes | HostRequest::kRates);
    auto sampled = [sr](Fixed16 rate) { return rate < 0x10000 ? Fixed16(sr << 16) : Fixed16(rate * sr); };
    r.inputRate = sampled(request.Kept().inputRate);
    r.maskRate = sampled(request.Kept().maskRate);
    r.inLoPlane = 0;
    r.inHiPlane = static_cast<int16_t>(InputPlaneCount() - 1);
    r.outRect = Rect16{};
    r.inRect = r.maskRect = render_.scaledFilter;
    if (AdvanceState(Call()) == 0 && ResamplePhotoIntoSource()) {
        photo.changed = false;
        render_.photoResampled = true;
    }
}

bool Quorvel::ResamplePhotoIntoSource() {
    FilterRecord& r = Record();
    if (!r.inData) return false;
    SourceFill fill(sourceBuffer_, r.inRect);
    char* out = fill.First();
    const int32_t rowBytes = fill.RowBytes();
    if (!out) {
        Session().sourceOutOfMemory = true;
        sourceBuffer_.InvalidateAll();
        return false;
    }
    const int32_t width = r.inRect.right - r.inRect.left, height = r.inRect.bottom - r.inRect.top;
    const int32_t planes = PlaneSpan(r.inLoPlane, r.inHiPlane);
    ResampleOptions options;
    options.transform = render_.photo.transform;
    options.spline = render_.photo.scaleClamped;
    options.keepLayerMask = r.inLayerPlanes > 0 && r.inLayerMasks > 0;
    if (Framework().withSelection && r.maskData) {
        options.mask = static_cast<const uint8_t*>(r.maskData);
        options.maskRowBytes = r.maskRowBytes;
    }
    const int32_t bytes = Call().bytesPerSample == 2 ? 2 : 1;
    const auto pixelBytes = static_cast<int32_t>(planes * bytes);
    const PlaneView source{static_cast<char*>(r.inData), r.inRowBytes, pixelBytes, static_cast<int16_t>(planes)};
    const PlaneView resampled{out, rowBytes, pixelBytes, static_cast<int16_t>(planes)};
    ResamplePhoto(source, resampled, PixelExtent{width, height}, bytes, options);
    fill.Complete();
    return true;
}

// The photo as the target layer holds it, read channel by channel into the source buffer: the
// transparency channel into the plane after the colour planes, then the colour channels in
// order. A target without transparency shows opaque; colour no channel covers stays 0. Answers
// whether the buffer holds the photo; a read error is raised.
bool Quorvel::ReadSourceFromChannels() {
    const FilterRecord& r = Record();
    const Rect32 area = ChannelReadArea(r);
    const int32_t s = IntegerScale();
    // The area in the buffer's coordinates: back under the filter rectangle, at the render scale.
    const int32_t dv = r.filterRect.top - r.floatCoord.v, dh = r.filterRect.left - r.floatCoord.h;
    const Rect16 target = DividedUp(Rect16{ClampToInt16(area.top + dv), ClampToInt16(area.left + dh),
                                           ClampToInt16(area.bottom + dv), ClampToInt16(area.right + dh)},
                                    s);
    if (area.bottom <= area.top || area.right <= area.left || IsEmptyRect(target)) {
        sourceBuffer_.InvalidateAll();
        return false;
    }
    SourceFill fill(sourceBuffer_, target);
    if (!fill.First()) {
        sourceBuffer_.InvalidateAll();
        return false;
    }
    const int32_t bytes = static_cast<int32_t>(sourceBuffer_.BytesPerSample());
    const int32_t planes = sourceBuffer_.Planes(), stride = static_cast<int32_t>(sourceBuffer_.PixelStride());
    const int32_t colourPlanes = std::min<int32_t>(ColourPlanesOfMode(r.imageMode), planes);
    const bool transparencyPlane = planes > colourPlanes;
    const int32_t width = RectWidth(target), height = RectHeight(target);
    for (int32_t y = 0; y < height; ++y)
        std::fill_n(fill.First() + int64_t{y} * fill.RowBytes(), int64_t{width} * stride, char{0});

    const ReadImageDocumentDesc& document = *r.documentInfo;
    const Rect32 destination{target.top, target.left, target.bottom, target.right};
    const PSScaling scaling{area, destination};
    auto readPlane = [&](const ReadChannelDesc& channel, int32_t plane) {
        const PixelMemoryDesc memory{fill.First() + int64_t{plane} * bytes, fill.RowBytes() * 8, stride * 8, 0, bytes * 8};
        Rect32 wrote{};
        THROW_IF_ERROR(r.channelPortProcs->readPixels(channel.port, &scaling, &destination, &memory, &wrote));
    };
    // Only a buffer with a plane after the colour planes has somewhere to keep transparency.
    const bool readTransparency = transparencyPlane && document.targetTransparency;
    if (readTransparency) {
        readPlane(*document.targetTransparency, colourPlanes);
    } else if (transparencyPlane) {
        for (int32_t y = 0; y < height; ++y)
            PlaneFill8(width, 255, fill.First() + int64_t{y} * fill.RowBytes() + int64_t{colourPlanes} * bytes, bytes, planes);
    }
    const ReadChannelDesc* channel = document.targetCompositeChannels;
    for (int32_t plane = 0; plane < colourPlanes && channel; ++plane, channel = channel->next) readPlane(*channel, plane);
    // The host's 16-bit samples run 0..65535; the buffer's run 0..32768.
    if (bytes == 2)
        NarrowSamples16(destination, colourPlanes + (readTransparency ? 1 : 0), fill.RowBytes(), stride, 2, fill.First() + 1);
    fill.Complete();
    return true;
}

// ---- Tiles

bool Quorvel::NextTile() {
    const bool more = PhotoshopFilter::NextTile();
    if (Session().cacheReplay) Record().maskRect = Rect16{};
    return more;
}

// The placement image for the tile, over the tile widened by the bounds of every pass drawn from
// it and by its edges' reach: the layer's shape rasterised, or its frame sampled (a three-part
// frame's colour and masks beside it); roughened by the edges, filled to the image's edge when
// asked and turned into the frame's coverage. Drawn once per tile.
LockedBuffer Quorvel::RenderPlacement(int32_t index, const Rect16& tile) {
    PlacementSetup& p = render_.placements[index];
    LayerPlacement& record = *placements_.At(index);
    if (EqualRects(p.cachedArea, tile)) return LockedBuffer(record.placementImage);
    const Rect16 area = WidenRect(tile, p.bounds);
    Rect16 drawn = area;
    for (const EdgeCache& edge : record.edgeCaches) drawn = Shrink(drawn, -EdgeMarginY(edge), -EdgeMarginX(edge));
    const int64_t pixels = RectArea(drawn);
    LockedBuffer locked = AllocateAndLock(record.placementImage, pixels);
    uint8_t* image = locked.As<uint8_t>();
    LayerState& state = *LayerStates().At(p.layer);
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
    if (p.fillOutside) FillOutside(image, area, render_.scaledFilter);
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

void Quorvel::TileStep(int32_t k, const Rect16& tile) {
    if (k < 1 || k > render_.passCount) return;
    const PassSetup& pass = render_.passes[k - 1];
    RenderPassRecord& record = *passes_.At(k - 1);
    const Rect16 area = WidenRect(tile, pass.margins);
    // The coverage the composer reads: the tile, moved against the shadow's offset. A reach that
    // left the 16-bit coordinates would make it smaller than the tile, and the composer would
    // read past the pass's buffer.
    const Rect16 wanted = WidenRect(tile, PassMargins{-pass.offsetRows, -pass.offsetColumns, -pass.offsetRows, -pass.offsetColumns});
    const int32_t reach = pass.spread + pass.blurRadius;
    if (RectArea(wanted) != RectArea(tile) || !RectContains(Shrink(area, reach, reach), wanted))
        THROW_IF_ERROR(Err::BadParameters);

    RenderPulse pulse(*this);
    const LockedBuffer coverageLock = AllocateAndLock(record.coverage, RectArea(area));
    uint8_t* coverage = coverageLock.As<uint8_t>();
    // The background of a three-part frame brings the frame's colour and masks to the composer.
    const bool companions = pass.threePart && pass.kind == PassKind::kBackground;
    const int32_t colourPlanes = companions ? LayerStates().At(pass.layer)->colourPlanes : 0;
    std::array<LockedBuffer, 3> companionLocks;
    if (companions) {
        companionLocks[0] = AllocateAndLock(record.companionPlanes[0], RectArea(area) * colourPlanes);
        companionLocks[1] = AllocateAndLock(record.companionPlanes[1], RectArea(area));
        companionLocks[2] = AllocateAndLock(record.companionPlanes[2], RectArea(area));
    }
    {
        const LockedBuffer placement = RenderPlacement(pass.placement, tile);
        const uint8_t* image = placement.As<const uint8_t>();
        const Rect16 drawn = render_.placements[pass.placement].drawnArea;
        const int32_t bevelPass = pass.maskPass >= 0 ? pass.maskPass : k - 1;
        const int32_t bevel = render_.passes[bevelPass].bevel;
        if (bevel >= 0 && render_.bevels[bevel].width >= 1) {
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
        FilterChangingBlocks(pass.spread, current, coverage, SpreadBlock, &spread, pulse.BetweenBlocks());
    }
    if (pass.blurRadius > 0) {
        current = Shrink(current, pass.blurRadius, pass.blurRadius);
        FilterChangingBlocks(pass.blurRadius, current, coverage, BlurBlock, &record.blurKernel, pulse.BetweenBlocks());
        if (companions) {
            ImageBlurInterleaved(&record.blurKernel, current, companionLocks[0].As<uint8_t>(), colourPlanes);
            for (int32_t plane = 1; plane <= 2; ++plane)
                FilterChangingBlocks(pass.blurRadius, current, companionLocks[plane].As<uint8_t>(), BlurBlock,
                                     &record.blurKernel, pulse.BetweenBlocks());
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
Rect16 Quorvel::MakeBevelPlanes(int32_t index, const uint8_t* image, const Rect16& drawn, const Rect16& tile) {
    BevelSetup& b = render_.bevels[index];
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
void Quorvel::FinishBevelPlanes(int32_t index, const Rect16& bevelArea, const Rect16& tile) {
    BevelSetup& b = render_.bevels[index];
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
void Quorvel::CopyBevelCoverage(int32_t index, const Rect16& bevelArea, uint8_t* coverage, const Rect16& area) {
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

// ---- Composition

// A call after "Apply to New Layer" writes the frames an earlier call cached: the tile's rows come
// from the cache file, widened in a 16-bit document.
void Quorvel::ReadCachedSource(const TileView& tile) {
    RenderSession& session = Session();
    const PlaneView& out = tile.out;
    const int32_t planes = std::max<int32_t>(out.planes, 1);
    const CacheGeometry cache{session.cache.planes, session.cache.rect};
    if (!out || CacheOffset(cache, tile.rect) < 0 || static_cast<uint32_t>(planes) != cache.planes) return;
    const int32_t width = RectWidth(tile.rect), height = RectHeight(tile.rect);
    ReadCacheRows(session, false, out.address, tile.rect, out.rowBytes);
    if (Call().bytesPerSample == 2)
        WidenCachedRows(reinterpret_cast<uint8_t*>(out.address), height, width * planes, out.rowBytes);
}

ComposeLayout Quorvel::TileComposeLayout(int32_t& photoPosition) const {
    const FilterRecord& r = Record();
    const int32_t nc = std::clamp<int32_t>(ColourPlanesOfMode(r.imageMode), 1, kMaxColourChannels);
    ComposeLayout layout;
    layout.colourChannels = nc;
    layout.inputStride = PlaneSpan(r.inLoPlane, r.inHiPlane);
    layout.outputStride = PlaneSpan(r.outLoPlane, r.outHiPlane);
    layout.inputLayerMasks = r.inLayerPlanes ? r.inLayerMasks : 0;
    layout.inputInvertedMasks = r.inLayerPlanes ? r.inInvertedLayerMasks : 0;
    layout.outputLayerMasks = r.outLayerPlanes ? r.outLayerMasks : 0;
    layout.outputInvertedMasks = r.outLayerPlanes ? r.outInvertedLayerMasks : 0;
    layout.outputTransparency = r.outTransparencyMask > 0 && layout.outputStride > nc;
    const int32_t inTransparency = r.inLayerPlanes ? r.inTransparencyMask : (layout.inputStride > nc ? 1 : 0);
    layout.inputLast = std::clamp(nc + inTransparency + layout.inputLayerMasks - 1, 0, layout.inputStride - 1);
    layout.outputLast = std::clamp(nc + (layout.outputTransparency ? 1 : 0) + layout.outputLayerMasks - 1, 0,
                                   layout.outputStride - 1);
    layout.sixteenBit = Call().bytesPerSample == 2;
    layout.textureStep = IntegerScale();
    layout.preview = HasOwner();

    int32_t layers = 0;
    uint8_t outputOption = BlockLayout::kOutputOff, layeredMode = BlockLayout::kLayeredOutputNone;
    {
        const LockedParameters parameters = Stack().Lock();
        if (parameters) {
            const ParameterBlockView block = parameters.View();
            layers = block.LayerCount();
            outputOption = block.Block().Get(BlockLayout::kOutputOption);
            layeredMode = block.Block().Get(BlockLayout::kLayeredOutputMode);
        }
    }
    photoPosition = std::clamp(Stack().TargetLayerPos(), 0, layers);
    layout.maskOutput = layeredMode == BlockLayout::kLayeredOutputMask;
    layout.layerOutput = layeredMode == BlockLayout::kLayeredOutputLayers && HasOwner();
    // A preview shows what the user will see in the document: the frames over the photo, whether
    // they are to land on the photo or on a new layer above it.
    const bool framesOnTheirOwn = outputOption != BlockLayout::kOutputOff && !HasOwner();
    layout.photoMerge = !Options().fwnl && !framesOnTheirOwn && layeredMode != BlockLayout::kLayeredOutputLayers;
    layout.transmittanceAlpha = layout.photoMerge && layeredMode != BlockLayout::kLayeredOutputMask;
    layout.layersUnderPhoto = photoPosition < layers;
    // The final pass of an "Apply to New Layer" run keeps its frames for the host's next call,
    // which puts them on a layer of their own above the photo: the photo itself stays as it is.
    // Without the cache (no frame to keep, or the cache given up) the option is off and the frames
    // go onto the photo, unless the pass has already set the frames of a tile aside: the whole
    // image then stays as it was.
    if (outputOption != BlockLayout::kOutputOff && !HasOwner()) {
        layout.framesToCacheOnly = WritesImageCache(Record(), HasOwner()) || render_.framesSetAside;
        if (layout.framesToCacheOnly) layout.maskOutput = false;
        layout.photoMerge = layout.framesToCacheOnly || (!Options().fwnl && layeredMode != BlockLayout::kLayeredOutputLayers);
        layout.transmittanceAlpha = !layout.framesToCacheOnly && layout.photoMerge && !layout.maskOutput;
    }
    if (layout.layerOutput) LayerOutputColour(ColourContext::Of(&Record()), layout.layerOutputColour);
    return layout;
}

void Quorvel::ComposeTile(const TileView& tile) {
    RenderSession& session = Session();
    if (session.cacheReplay) {
        ReadCachedSource(tile);
        return;
    }
    if (RectArea(tile.rect) == 0 || !tile.out || !tile.in) return;
    const int64_t pixels = RectArea(tile.rect);
    // The tile's frame-only composite, held while the tile is composed. Asked for before anything
    // of the tile changes, so that ending the call here leaves it as it was.
    BufferRecord cacheRecord;
    LockedBuffer cacheBytes;
    if (WritesImageCache(Record(), HasOwner())) {
        if (cacheRecord.Allocate(pixels * session.cache.planes) == Err::None) cacheBytes = LockedBuffer(cacheRecord);
        if (!cacheBytes) {
            cacheRecord.Free();
            if (CloseImageCache(session, Dialog()) != NewLayerCache::kGoOnWithout) THROW_IF_ERROR(Err::Cancelled);
        }
    }
    // Laid out once the tile knows whether it keeps a cache.
    int32_t photoPosition = 0;
    ComposeLayout layout = TileComposeLayout(photoPosition);
    std::array<ComposePass, RenderSetup::kMaxPasses> passes{};
    std::array<uint8_t*, RenderSetup::kMaxPasses> coverage{};
    std::array<BevelShading, RenderSetup::kMaxBevels> shading{};
    std::array<const uint8_t*, RenderSetup::kMaxBevels> bevelCoverage{};
    // Every plane the composer reads stays locked until the tile is composed, or the composition
    // fails: the locks are given back either way.
    std::array<LockedBuffer, RenderSetup::kMaxPasses> coverageLocks;
    std::array<LockedBuffer, RenderSetup::kMaxBevels> bevelCoverageLocks, heightLocks, surfaceLocks;
    const int32_t count = render_.passCount;
    for (int32_t k = 0; k < count; ++k) {
        coverageLocks[k] = LockedBuffer(passes_.At(k)->coverage);
        coverage[k] = coverageLocks[k].As<uint8_t>();
    }
    for (int32_t k = 0; k < count; ++k) {
        const int32_t index = render_.passes[k].bevel;
        if (render_.passes[k].maskPass >= 0 || index < 0) continue;
        const BevelSetup& b = render_.bevels[index];
        BevelLightRecord& record = *bevels_.At(index);
        BevelShading& s = shading[index];
        s.light = &b.light;
        s.lightOn = b.lightOn;
        s.heightScale = b.heightScale;
        s.flatTerm = b.flatTerm;
        std::copy_n(b.channelGain, 4, s.channelGain);
        std::copy_n(b.highlight, 4, s.highlight);
        std::copy_n(b.baseGain, 4, s.baseGain);
        std::copy_n(b.highlightWord, 4, s.highlightWord);
        if (b.width >= 1) {
            bevelCoverageLocks[index] = LockedBuffer(record.coverage);
            heightLocks[index] = LockedBuffer(record.height);
            s.coverage = bevelCoverage[index] = bevelCoverageLocks[index].As<const uint8_t>();
            s.heights = heightLocks[index].As<const uint16_t>();
        }
        if (LayerState* surface = LayerStates().At(b.surfaceState)) {
            surfaceLocks[index] = LockedBuffer(surface->textureBuffer);
            s.surface = surfaceLocks[index].As<const uint8_t>();
            s.surfaceWidth = b.surfaceWidth;
            s.surfaceHeight = b.surfaceHeight;
            s.surfaceStride = b.surfaceStride;
            s.slopeScale = b.slopeScale;
        }
    }
    // Colour textures tile path record images; a texture several passes share is locked once.
    std::array<ColourTexture, RenderSetup::kMaxPasses> textures{};
    std::array<LockedBuffer, LayerStateTable::kCapacity> textureLocks;
    for (int32_t k = 0; k < count; ++k) {
        LayerState* state = LayerStates().At(render_.passes[k].textureState);
        if (!state || !TextureIsDrawable(state, DocumentColourPlanes(Record()))) continue;
        LockedBuffer& lock = textureLocks[render_.passes[k].textureState];
        if (!lock) lock = LockedBuffer(state->imageBuffers[0]);
        const Rect16& b = state->imageBounds;
        textures[k] = ColourTexture{lock.As<const uint8_t>(), b.right - b.left, b.bottom - b.top,
                                    int64_t{b.right - b.left} * state->imagePlanes};
    }
    // Three-part frames: the colour and masks their background passes brought for the tile.
    std::array<ThreePartPlanes, RenderSetup::kMaxBevels> threeParts{};
    std::array<std::array<LockedBuffer, 3>, RenderSetup::kMaxBevels> companionLocks;
    for (int32_t k = 0; k < count; ++k) {
        const PassSetup& setup = render_.passes[k];
        if (!setup.threePart || setup.layer < 0 || setup.layer >= RenderSetup::kMaxBevels) continue;
        ThreePartPlanes& planes = threeParts[setup.layer];
        if (setup.kind < 0) planes.innerEffects = true;
        if (setup.kind != PassKind::kBackground) continue;
        RenderPassRecord& record = *passes_.At(k);
        for (int32_t i = 0; i < 3; ++i) companionLocks[setup.layer][i] = LockedBuffer(record.companionPlanes[i]);
        planes.colour = companionLocks[setup.layer][0].As<const uint8_t>();
        planes.inner = companionLocks[setup.layer][1].As<const uint8_t>();
        planes.outer = companionLocks[setup.layer][2].As<const uint8_t>();
        planes.backgroundPass = k;
        planes.colourSpaceFlag = setup.colourSpaceFlag;
    }
    for (int32_t k = 0; k < count; ++k) {
        const PassSetup& setup = render_.passes[k];
        ComposePass& pass = passes[k];
        pass.coverage = coverage[k];
        pass.layer = setup.layer;
        pass.kind = setup.kind;
        pass.alpha = setup.alpha;
        pass.weight = setup.opacity;
        pass.blendTable = setup.drawn ? setup.blendTable : nullptr;
        std::copy(setup.colour, setup.colour + 4, pass.colour);
        pass.abovePhoto = setup.layer < photoPosition;
        pass.underPhoto = !Options().fwnl && setup.layer >= photoPosition;
        // A three-part frame's effects are cut by its masks instead of by its background.
        if (setup.kind != PassKind::kBackground && !PassKind::IsOuterGlowOrShadow(setup.kind) && !setup.threePart)
            pass.knockOutPass = setup.backgroundPass;
        if (setup.bevel >= 0 && setup.maskPass < 0) pass.bevel = &shading[setup.bevel];
        if (textures[k].pixels) pass.texture = &textures[k];
        if (setup.threePart && threeParts[setup.layer].backgroundPass >= 0) pass.threePart = &threeParts[setup.layer];
        if (setup.maskPass >= 0 && setup.maskPass < count) {
            const int32_t maskBevel = render_.passes[setup.maskPass].bevel;
            ApplyPassMask(coverage[k], coverage[setup.maskPass], maskBevel >= 0 ? bevelCoverage[maskBevel] : nullptr,
                          setup.opacity, pixels);
            pass.weight = 255;
        }
    }

    // The host's selection mask, as bytes.
    std::vector<uint8_t> mask;
    ComposeBuffers buffers;
    buffers.rect = tile.rect;
    buffers.input = tile.in.address;
    buffers.inputRowBytes = tile.in.rowBytes;
    buffers.grey = GreyOfColour;
    buffers.greyContext = &Record();
    UniqueOwner<PlaneBufferLockPolicy> photoLock;
    if (render_.photoResampled) {
        int32_t rowBytes = 0;
        const char* photo = sourceBuffer_.PointerForValidRect(tile.rect, &rowBytes);
        photoLock.Reset(&sourceBuffer_);
        if (photo) {
            buffers.input = photo;
            buffers.inputRowBytes = rowBytes;
            layout.inputStride = sourceBuffer_.Planes();
        }
    }
    buffers.output = tile.out.address;
    buffers.outputRowBytes = tile.out.rowBytes;
    if (tile.mask) {
        if (layout.sixteenBit) {
            const int32_t width = RectWidth(tile.rect), height = RectHeight(tile.rect);
            mask.resize(static_cast<size_t>(pixels));
            for (int32_t y = 0; y < height; ++y) {
                const auto* row = reinterpret_cast<const uint16_t*>(tile.mask.At(y, 0));
                for (int32_t x = 0; x < width; ++x) mask[int64_t{y} * width + x] = static_cast<uint8_t>(RenderMath::Narrow16(row[x]));
            }
            buffers.mask = mask.data();
            buffers.maskRowBytes = width;
        } else {
            buffers.mask = reinterpret_cast<const uint8_t*>(tile.mask.address);
            buffers.maskRowBytes = tile.mask.rowBytes;
        }
    }
    buffers.cache = cacheBytes.As<uint8_t>();
    ComposeTilePixels(layout, std::span<const ComposePass>(passes.data(), static_cast<size_t>(count)), buffers);
    if (layout.framesToCacheOnly) render_.framesSetAside = true;
    if (buffers.cache) ReadCacheRows(session, true, buffers.cache, tile.rect, 0);
    // What the main object composed is no longer to do for the preview.
    if (!HasOwner() && session.updateRegion) {
        const Rect16& r = tile.rect;
        const OwnedRgn done(CreateRectRgn(r.left, r.top, r.right, r.bottom));
        if (!done) THROW_IF_ERROR(Err::MemoryFull);
        CombineRgn(session.updateRegion.Get(), session.updateRegion.Get(), done.Get(), RGN_DIFF);
    }
}
