// The filter's render slots: the render start that places every layer and prepares its passes,
// the per-tile drawing of each pass's coverage, and the composition of the tile. The per-pixel
// arithmetic lives in TileComposer, PassCoverage and RenderArithmetic; here is the tile walk.
#include <algorithm>
#include <cmath>

#include "Alerts.h"
#include "ColorConversion.h"
#include "CurrentParameters.h"
#include "Errors.h"
#include "FirstRunTables.h"
#include "HostCall.h"
#include "HostPixels.h"
#include "HostRequest.h"
#include "ImageModes.h"
#include "LayerState.h"
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
void DocumentColour(RecordRef stored, uint8_t colour[4], uint8_t& alpha) {
    ColorRecord record = ColorRecord::Load(stored.Bytes());
    alpha = static_cast<uint8_t>(std::clamp<int32_t>(record.opacity, 0, 255));
    ConvertColorRecord(record, -1);
    for (int32_t c = 0; c < 4; ++c) colour[c] = static_cast<uint8_t>(record.components[c]);
}

bool IsIdentity(const FixedTransform& t) {
    return t.a == 0x10000 && t.b == 0 && t.c == 0 && t.d == 0 && t.e == 0x10000 && t.f == 0;
}

// The fixed colour of the layer-output route for the layers above the photo: black (an RGB colour
// record, components 0, opacity 255) converted to the document's colour space, its components'
// low bytes.
void LayerOutputColour(uint8_t colour[4]) {
    ColorRecord black;
    black.tag = -1;
    black.space = kSpaceRGB;
    black.opacity = 255;
    ConvertColorRecord(black, -1);
    for (int32_t c = 0; c < 4; ++c) colour[c] = static_cast<uint8_t>(black.components[c]);
}

// The grey level of a frame colour for the frame-as-mask routes, through the colour services.
uint32_t GreyOfColour(void* context, const uint32_t* colour, int32_t channels) {
    ColorRecord record;
    record.space = ColourSpaceOfMode(*static_cast<const int32_t*>(context));
    for (int32_t c = 0; c < channels && c < 4; ++c) record.components[c] = static_cast<int16_t>(colour[c]);
    ConvertColorRecord(record, kSpaceGray);
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
    FilterRecord& record = *HostCall::Current().record;
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
    LoadLayerImages();  // sizes the run-time tables to the block, too
    const LockedParameters parameters;
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
    const int32_t photoPosition = std::clamp(TargetLayerPos(), 0, block.LayerCount());
    double largestCost = 1.0;
    for (int32_t layer = std::min(block.LayerCount(), BlockLayout::kMaxLayers) - 1; layer >= 0; --layer) {
        if (!block.HoldsLayer(layer) || !LayerIsDrawn(block, layer)) continue;
        if (opaquePhoto && layer >= photoPosition) continue;
        largestCost = std::max(largestCost, PrepareLayer(block.Layer(layer), layer));
    }
    render_.largestCost = largestCost;
    // Tiles are sized against the area this instance walks (a preview's pass rectangle may be far
    // larger than the selection) and then against the free buffer space.
    const Rect16& walked = WholeRect();
    const TileSize wanted = ChooseTileSize(HostCall::Current().bytesPerSample, largestCost, render_.passCount,
                                           OpenPreviewDialog() == nullptr, RectWidth(walked), RectHeight(walked));
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
    const int64_t bytes = std::max(HostCall::Current().bytesPerSample, 1);
    int64_t total = w * h * (int64_t{InputPlaneCount()} + OutputPlaneCount() + 2) * bytes;
    if (HasOwner()) total += w * h * OutputPlaneCount() * bytes;  // the scaled output of a preview
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
            total += std::max<int64_t>(area(placement.bounds, edgeX, edgeY), 1);
        }
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
    for (int32_t i = 0; i < placements_.Count(); ++i) placements_.At(i)->placementImage.Free();
    for (int32_t i = 0; i < passes_.Count(); ++i) passes_.At(i)->coverage.Free();
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
        const LockedParameters parameters;
        toNewLayer = parameters && parameters.View().Block().Get(BlockLayout::kOutputOption) != BlockLayout::kOutputOff;
    }
    if (!toNewLayer || CountTransparentEffects() <= 0) return;
    session.warningShown = true;
    if (RunModalDialog(nullptr, kTransparentFramesAlert, nullptr, nullptr) != 1) THROW_IF_ERROR(Err::Cancelled);
}

bool Quorvel::LayerIsDrawn(const ParameterBlockView& block, int32_t layer) const {
    const LayerState* state = LayerStates().At(layer);
    const RecordRef record = block.Layer(layer);
    return state && !state->imageMissing && record.Get(LayerLayout::kEnabled) != 0 && HoldsShape(record) &&
           placements_.At(2 * layer + 1) != nullptr;
}

// Places a layer (one or two placements), then plans and prepares its passes; answers their
// largest cost.
double Quorvel::PrepareLayer(RecordRef layer, int32_t index) {
    const double scale = PreviewScale();
    const int32_t placements = PlacementCount(layer);
    const double border = static_cast<int8_t>(EffectOf(layer, kBorder).Get(EffectLayout::kOn)) *
                          static_cast<double>(EffectOf(layer, kBorder).Get(EffectLayout::kSize));
    const double base = EffectOf(layer, kBackground).Get(EffectLayout::kSize);
    const double enlarged = (border + 1.0) * base;
    const bool inverted = IsLayerInverted(index);
    double factors[2] = {base, enlarged};
    if (inverted != (enlarged > base)) std::swap(factors[0], factors[1]);

    const RecordRef bevel = BevelOf(layer);
    const Rect16& target = render_.scaledFilter;
    const RecordRef shape = ShapeOf(layer);
    Enlargement aspect;
    const double w = target.right - target.left, h = target.bottom - target.top;
    if (shape.Get(ShapeLayout::kOption) != 0 && w > 0 && h > 0) {
        if (w > h) aspect.x = h / w;
        else aspect.y = w / h;
    }
    for (int32_t q = 0; q < placements; ++q) {
        PlacementSetup& p = render_.placements[2 * index + q];
        p.used = true;
        p.layer = index;
        p.invert = layer.Get(LayerLayout::kInvert) != 0;
        p.fillOutside = q == 0 && !inverted && bevel.Get(BevelLayout::kOn) != 0 && (bevel.Get(BevelLayout::kOptions) & BevelLayout::kBevelOuter) != 0;
        p.transform = ComputeLayerTransform(layer, factors[q], &aspect, kUnitSquare, target);
        LayerPlacement& record = *placements_.At(2 * index + q);
        for (int32_t e = 0; e < LayerLayout::kEdgeCount; ++e) {
            SettingsRanges::BoundedEdgeSlot slot(EdgeOf(layer, e));
            GenerateEdge(slot.Record(), scale, render_.noiseSeed, record.edgeCaches[e]);
        }
    }

    const LayerPassPlan plan = PlanLayerPasses(ReadPassInputs(layer, false, placements), render_.passCount);
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
    DocumentColour(effect.Sub(EffectLayout::kColour), pass.colour, pass.alpha);
    if (HostCall::Current().record->outTransparencyMask <= 0) pass.alpha = 255;
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
    if (pass.effect == kBackground && BevelOf(layer).Get(BevelLayout::kOn) != 0) cost += PrepareBevel(layer, pass);
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
    b = BevelSetup{};
    b.width = std::clamp(RenderMath::RoundHalfAway(SettingsRanges::BevelWidth(bevel.Get(BevelLayout::kWidth)) / scale), 0,
                         int32_t{SettingsRanges::kMaxBevelWidth});
    double cost = BuildEffectOutline(bevel, b.width, record.outline) * 0.2;
    b.heightScale = -static_cast<double>(bevel.Get(BevelLayout::kHeight)) * 0.005 / 255;
    const double kRadians = 3.141592654 / 180;
    const double altitude = bevel.Get(BevelLayout::kAltitude) * kRadians;
    const double angle = bevel.Get(BevelLayout::kAngle) * kRadians;
    ImageSetupBevelLight(b.light, altitude, angle, bevel.At(BevelLayout::kMaterial));
    uint8_t highlight[4], alpha = 0;
    DocumentColour(bevel.Sub(BevelLayout::kColour), highlight, alpha);
    b.lightOn = (bevel.Get(BevelLayout::kOptions) & BevelLayout::kHighlightBackground) != 0;
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
    if (ReadsPhotoFromChannels(*HostCall::Current().record, Options())) {
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
    FilterRecord& r = *HostCall::Current().record;
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
    if (AdvanceState() == 0 && ResamplePhotoIntoSource()) {
        photo.changed = false;
        render_.photoResampled = true;
    }
}

bool Quorvel::ResamplePhotoIntoSource() {
    FilterRecord& r = *HostCall::Current().record;
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
    const int32_t bytes = HostCall::Current().bytesPerSample == 2 ? 2 : 1;
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
    const FilterRecord& r = *HostCall::Current().record;
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
    if (Session().cacheReplay) HostCall::Current().record->maskRect = Rect16{};
    return more;
}

// The placement image for the tile: the layer's shape rasterised over the tile widened by the
// bounds of every pass drawn from it and by its edges' reach, roughened by the edges, filled to
// the image's edge when asked and turned into the frame's coverage. Drawn once per tile.
LockedBuffer Quorvel::RenderPlacement(int32_t index, const Rect16& tile) {
    PlacementSetup& p = render_.placements[index];
    LayerPlacement& record = *placements_.At(index);
    if (EqualRects(p.cachedArea, tile)) return LockedBuffer(record.placementImage);
    const Rect16 area = WidenRect(tile, p.bounds);
    Rect16 drawn = area;
    for (const EdgeCache& edge : record.edgeCaches) drawn = Shrink(drawn, -EdgeMarginY(edge), -EdgeMarginX(edge));
    LockedBuffer locked = AllocateAndLock(record.placementImage, RectArea(drawn));
    uint8_t* image = locked.As<uint8_t>();
    const LayerState& state = *LayerStates().At(p.layer);
    THROW_IF_ERROR(ImageRasterize(p.transform, drawn, image, state.shapeTest, kShapeRenderSamples));
    Rect16 current = drawn;
    for (EdgeCache& edge : record.edgeCaches) {
        if (!EdgeActive(edge)) continue;
        current = Shrink(current, EdgeMarginY(edge), EdgeMarginX(edge));
        ApplyEdge(edge, current, image, 1);
    }
    if (p.fillOutside) FillOutside(image, area, render_.scaledFilter);
    if (!p.invert) InvertPlane(image, RectArea(area));
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
            const uint8_t flip = PassKind::IsOuterGlowOrShadow(pass.kind) ? 255 : 0;  // they fall outside the frame
            CopyPlanePart(image, drawn, coverage, area, flip);
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
    }
    if (!EqualRects(current, wanted)) CropPlaneInPlace(coverage, current, wanted);
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
    const CacheGeometry cache{session.cache.planes, session.cache.rect};
    const PlaneView& out = tile.out;
    const int32_t planes = std::max<int32_t>(out.planes, 1);
    const int64_t offset = CacheOffset(cache, tile.rect);
    if (!out || offset < 0 || static_cast<uint32_t>(planes) != cache.planes) return;
    const int32_t width = RectWidth(tile.rect), height = RectHeight(tile.rect);
    const int64_t rowBytes = int64_t{width} * planes, cacheRow = CacheRowBytes(cache);
    if (offset + (height - 1) * cacheRow + rowBytes > UINT32_MAX) return;
    for (int32_t y = 0; y < height; ++y)
        session.cacheFile.Read(out.At(y, 0), static_cast<uint32_t>(offset + y * cacheRow),
                               static_cast<int32_t>(rowBytes));
    if (HostCall::Current().bytesPerSample == 2)
        WidenCachedRows(reinterpret_cast<uint8_t*>(out.address), height, width * planes, out.rowBytes);
}

ComposeLayout Quorvel::TileComposeLayout(int32_t& photoPosition) const {
    const FilterRecord& r = *HostCall::Current().record;
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
    layout.sixteenBit = HostCall::Current().bytesPerSample == 2;
    layout.textureStep = IntegerScale();
    layout.preview = HasOwner();

    int32_t layers = 0;
    uint8_t outputOption = BlockLayout::kOutputOff, layeredMode = BlockLayout::kLayeredOutputNone;
    {
        const LockedParameters parameters;
        if (parameters) {
            const ParameterBlockView block = parameters.View();
            layers = block.LayerCount();
            outputOption = block.Block().Get(BlockLayout::kOutputOption);
            layeredMode = block.Block().Get(BlockLayout::kLayeredOutputMode);
        }
    }
    photoPosition = std::clamp(TargetLayerPos(), 0, layers);
    layout.maskOutput = layeredMode == BlockLayout::kLayeredOutputMask;
    layout.layerOutput = layeredMode == BlockLayout::kLayeredOutputLayers && HasOwner();
    layout.photoMerge = !Options().fwnl && outputOption == BlockLayout::kOutputOff && layeredMode != BlockLayout::kLayeredOutputLayers;
    layout.transmittanceAlpha = layout.photoMerge && layeredMode != BlockLayout::kLayeredOutputMask;
    layout.layersUnderPhoto = photoPosition < layers;
    if (layout.layerOutput) LayerOutputColour(layout.layerOutputColour);
    return layout;
}

void Quorvel::ComposeTile(const TileView& tile) {
    if (Session().cacheReplay) {
        ReadCachedSource(tile);
        return;
    }
    if (RectArea(tile.rect) == 0 || !tile.out || !tile.in) return;
    int32_t photoPosition = 0;
    ComposeLayout layout = TileComposeLayout(photoPosition);

    const int64_t pixels = RectArea(tile.rect);
    std::array<ComposePass, RenderSetup::kMaxPasses> passes{};
    std::array<uint8_t*, RenderSetup::kMaxPasses> coverage{};
    std::array<BevelShading, RenderSetup::kMaxBevels> shading{};
    std::array<const uint8_t*, RenderSetup::kMaxBevels> bevelCoverage{};
    // Every plane the composer reads stays locked until the tile is composed, or the composition
    // fails: the locks are given back either way.
    std::array<LockedBuffer, RenderSetup::kMaxPasses> coverageLocks;
    std::array<LockedBuffer, RenderSetup::kMaxBevels> bevelCoverageLocks, heightLocks;
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
        if (setup.kind != PassKind::kBackground && !PassKind::IsOuterGlowOrShadow(setup.kind))
            pass.knockOutPass = setup.backgroundPass;
        if (setup.bevel >= 0 && setup.maskPass < 0) pass.bevel = &shading[setup.bevel];
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
    int32_t imageMode = HostCall::Current().record->imageMode;
    buffers.grey = GreyOfColour;
    buffers.greyContext = &imageMode;
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
    ComposeTilePixels(layout, std::span<const ComposePass>(passes.data(), static_cast<size_t>(count)), buffers);
}
