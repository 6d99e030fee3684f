// The preview side of an instance: its caches sized to the screen or the document, the reduced
// overview of the whole document, zoom and rectangle changes, one step at a time for an instance
// driven outside the scheduler, and the tile composed with its companion layers for display.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Errors.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "ImageModes.h"
#include "LayerComposition.h"
#include "PhotoshopFilter.h"
#include "PixelSamples.h"
#include "ScaledCoordinates.h"

namespace {

constexpr int64_t kPreviewReserve = 1500000;
constexpr int32_t kOverviewSide = 512;
constexpr int16_t kOverviewMargin = 4;
constexpr ErrorCode kSettingsTooLarge = 32767;



Rect16 ScreenWorkArea() {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return {0, 0, static_cast<int16_t>(std::min<LONG>(area.bottom - area.top, 32767)),
            static_cast<int16_t>(std::min<LONG>(area.right - area.left, 32767))};
}

bool HostHasMaskOrTransparency(const FilterRecord& record) {
    return record.haveMask || record.inTransparencyMask > 0;
}

// The smallest power of two not below the larger of the two sides' reductions to 512 pixels.
int32_t OverviewFactor(const Rect16& area) {
    const int32_t needed = std::max(CeilDiv(RectHeight(area), kOverviewSide), CeilDiv(RectWidth(area), kOverviewSide));
    int32_t factor = 1;
    while (factor < needed) factor *= 2;
    return factor;
}

}  // namespace

void PhotoshopFilter::PreparePreviewBuffers(bool wholeImageFirst) {
    const FilterRecord& record = Record();
    const Rect16 image = Framework().effectiveArea;
    const Rect16 screen = ScreenWorkArea();
    Rect16 rect = RectArea(screen) > RectArea(image) ? image : screen;
    const int64_t bytesPerSample = SampleBytes();
    const int64_t planesPerPixel = InputPlaneCount() + (HostHasMaskOrTransparency(record) ? 1 : 0);
    const bool withLayers = lowerLayer_.view.planes > 0 || upperLayer_.view.planes > 0;
    auto bytesFor = [&](const Rect16& r, bool layers) {
        return RectArea(r) * ((layers ? lowerLayer_.view.planes : 0) + planesPerPixel) * bytesPerSample;
    };
    auto attempt = [&](const Rect16& r, bool layers, bool wholeImage) {
        return bytesFor(r, layers) <= BufferSpace() - kPreviewReserve && AllocatePreviewBuffers(r, layers, wholeImage);
    };
    if (attempt(rect, withLayers, wholeImageFirst)) return;
    if (wholeImageFirst && attempt(rect, withLayers, false)) return;
    if (attempt(rect, withLayers, false)) return;
    rect.right = static_cast<int16_t>(rect.left + static_cast<int32_t>(0.7 * RectWidth(rect)));
    rect.bottom = static_cast<int16_t>(rect.top + static_cast<int32_t>(0.7 * RectHeight(rect)));
    if (attempt(rect, withLayers, false)) return;
    if (lowerLayer_.view.planes > 0) attempt(rect, false, false);
}

bool PhotoshopFilter::AllocatePreviewBuffers(const Rect16& rect, bool withLayers, bool wholeImage) {
    const FilterRecord& record = Record();
    const uint32_t bytes = static_cast<uint32_t>(SampleBytes());
    if (inputCache_.Allocate(wholeImage ? Framework().effectiveArea : rect, InputPlaneCount(), bytes)) return false;
    if (HostHasMaskOrTransparency(record) && maskCache_.Allocate(rect, 1, bytes)) {
        inputCache_.Free();
        return false;
    }
    if (withLayers) {
        if ((upperLayer_.view.planes > 0 && upperLayer_.cache.Allocate(rect, upperLayer_.view.planes, bytes)) ||
            (lowerLayer_.view.planes > 0 && lowerLayer_.cache.Allocate(rect, lowerLayer_.view.planes, bytes))) {
            inputCache_.Free();
            maskCache_.Free();
            upperLayer_.cache.Free();
            lowerLayer_.cache.Free();
            return false;
        }
    }
    return true;
}

void PhotoshopFilter::LoadOverviewImage() {
    const FilterRecord& record = Record();
    ownerKind_ = OwnerKind::Overview;
    owner_ = nullptr;
    const Rect16 area = Framework().effectiveArea;
    const int32_t f = OverviewFactor(area);
    const Rect16 overview{static_cast<int16_t>(CeilDiv(area.top, f) - kOverviewMargin),
                          static_cast<int16_t>(CeilDiv(area.left, f) - kOverviewMargin),
                          static_cast<int16_t>(FloorDiv(area.bottom, f) + kOverviewMargin),
                          static_cast<int16_t>(FloorDiv(area.right, f) + kOverviewMargin)};
    const uint32_t bytes = static_cast<uint32_t>(SampleBytes());
    THROW_IF_ERROR(inputCache_.Allocate(overview, InputPlaneCount(), bytes));
    THROW_IF_ERROR(outputCache_.Allocate(overview, OutputPlaneCount(), bytes));
    if (HostHasMaskOrTransparency(record)) THROW_IF_ERROR(maskCache_.Allocate(overview, 1, bytes));
    for (CompanionLayer* layer : {&lowerLayer_, &upperLayer_}) {
        if (layer->view.planes <= 0) continue;
        THROW_IF_ERROR(layer->cache.Allocate(overview, layer->view.planes, bytes));
        layer->view.pixelStride = static_cast<int32_t>(layer->view.planes * bytes);
        layer->view.rowBytes = layer->view.pixelStride * RectWidth(overview);
        THROW_IF_ERROR(layer->pixels.Allocate(int64_t{layer->view.rowBytes} * RectHeight(overview)));
    }
    if (record.isFloating) THROW_IF_ERROR(floatMaskCache_.Allocate(overview, 1, bytes));

    SetPreviewScale(f);
    wholeRect_ = currentRect_ = overview;
    if (dirtyRegion_) SetRectRgn(dirtyRegion_.Get(), overview.left, overview.top, overview.right, overview.bottom);
    state_ = kStateBeginPass;
    progressDone_ = 0.0;

    for (PlaneBuffer* cache : {&inputCache_, &outputCache_, &maskCache_, &floatMaskCache_, &lowerLayer_.cache,
                               &upperLayer_.cache}) {
        if (!cache->IsAllocated()) continue;
        cache->FillOpaque(overview);
        if (cache != &outputCache_) cache->InvalidateAll();
    }
    for (CompanionLayer* layer : {&lowerLayer_, &upperLayer_}) {
        char* pixels = layer->pixels.Lock();
        if (!pixels) continue;
        layer->view.address = pixels;
        for (int32_t row = 0; row < RectHeight(overview); ++row)
            PlaneFill8(int64_t{RectWidth(overview)} * layer->view.planes, 255, layer->view.At(row, 0),
                       static_cast<int32_t>(bytes), 1);
    }
}

void PhotoshopFilter::SetPreviewScale(double scale) {
    previewScale_ = scale;
    const int32_t s = IntegerScale();
    scaledImageRect_ = DividedUp(Framework().effectiveArea, s);
    scaledFilterRect_ = DividedUp(Record().filterRect, s);
    PlaneBuffer* caches[] = {&inputCache_, &maskCache_, &outputCache_, &lowerLayer_.cache, &upperLayer_.cache};
    for (PlaneBuffer* cache : caches) cache->InvalidateAll();
    if (!inputCache_.IsAllocated()) return;
    const Rect16& window = inputCache_.Bounds();
    const int16_t top = static_cast<int16_t>((currentRect_.top + currentRect_.bottom - RectHeight(window)) / 2);
    const int16_t left = static_cast<int16_t>((currentRect_.left + currentRect_.right - RectWidth(window)) / 2);
    for (PlaneBuffer* cache : caches) cache->MoveTo(top, left);
}

void PhotoshopFilter::SetPreviewRect(const Rect16& rect) {
    wholeRect_ = currentRect_ = rect;
    if (!dirtyRegion_) return;
    const OwnedRgn window = RegionOf(rect);
    SectRgn(dirtyRegion_.Get(), window.Get(), dirtyRegion_.Get());
}

bool PhotoshopFilter::RunTabInstance() {
    if (state_ == kStateDone) return false;
    FilterRecord& record = Record();
    request_.PutBack(record, kInstanceRequest);
    bool didWork = true;
    try {
        switch (state_) {
        case kStateBeginPass:
            BeginPass();
            StartTileWalk();
            state_ = kStateNextTile;
            break;
        case kStateNextTile:
            didWork = NextTile();
            state_ = didWork ? stepCount_ : kStateDone;
            break;
        case kStateProcessTile:
            THROW_IF_ERROR(ProcessTile());
            ComposeTile(DeliveredTile(record, Call().bytesPerSample));
            if (HasOwner()) ComposePreviewLayers();
            ValidateRect(record.outRect);
            UnlockTileBuffers();
            state_ = kStateNextTile;
            break;
        default:
            TileStep(state_, record.outRect);
            UnlockTileBuffers();
            --state_;
            break;
        }
    } catch (const ErrorCodeException& e) {
        request_ = HostRequest::Of(record);
        if (e.code != kSettingsTooLarge) throw;
        UnlockTileBuffers();
        throw ErrorCodeException{Err::MemoryFull};
    }
    request_ = HostRequest::Of(record);
    return didWork;
}

namespace {

// Where the output's coverage planes sit among its planes: colour planes first, then
// transparency, layer masks and inverted layer masks as the host counts them.
struct CoveragePlanes {
    int32_t transparency = -1, layerMask = -1, invertedMask = -1;
};

CoveragePlanes InputCoveragePlanes(const FilterRecord& r) {
    CoveragePlanes planes;
    if (!r.inLayerPlanes) return planes;
    int32_t next = r.inLayerPlanes;
    if (r.inTransparencyMask) planes.transparency = next++;
    if (r.inLayerMasks) planes.layerMask = next++;
    if (r.inInvertedLayerMasks) planes.invertedMask = next;
    return planes;
}

CoveragePlanes OutputCoveragePlanes(const FilterRecord& r) {
    CoveragePlanes planes;
    if (!r.outLayerPlanes) return planes;
    int32_t next = r.outLayerPlanes;
    if (r.outTransparencyMask) planes.transparency = next++;
    if (r.outLayerMasks) planes.layerMask = next;
    return planes;
}

// A companion layer's pixels when it is read for the tile; none when it is not used.
PlaneView UsedLayer(const PlaneView& view) { return view.planes > 0 ? view : PlaneView{}; }

template <typename Sample>
void ComposeTileSamples(const FilterRecord& r, bool layeredOutput, int32_t colourPlanes, const Rect16& tile,
                        const PlaneView& lower, const PlaneView& upper) {
    constexpr uint32_t kFull = sizeof(Sample) == 1 ? 255 : 32768;
    const CoveragePlanes in = InputCoveragePlanes(r), out = OutputCoveragePlanes(r);
    const int32_t inStride = (r.inHiPlane - r.inLoPlane + 1), outStride = (r.outHiPlane - r.outLoPlane + 1);
    for (int32_t y = 0; y < RectHeight(tile); ++y) {
        const auto* outRow = reinterpret_cast<const Sample*>(static_cast<const char*>(r.outData) + int64_t{y} * r.outRowBytes);
        const auto* inRow = r.inData ? reinterpret_cast<const Sample*>(static_cast<const char*>(r.inData) +
                                                                        int64_t{y} * r.inRowBytes)
                                     : nullptr;
        for (int32_t x = 0; x < RectWidth(tile); ++x) {
            const Sample* o = outRow + int64_t{x} * outStride;
            const Sample* i = inRow ? inRow + int64_t{x} * inStride : nullptr;
            OutputCoverage coverage{0, kFull, kFull};
            if (i && in.invertedMask >= 0) coverage.inverted = i[in.invertedMask];
            if (layeredOutput && out.layerMask >= 0) coverage.mask = o[out.layerMask];
            else if (i && in.layerMask >= 0) coverage.mask = i[in.layerMask];
            if (out.transparency >= 0) coverage.transparency = o[out.transparency];
            else if (i && in.transparency >= 0) coverage.transparency = i[in.transparency];

            Sample* l = lower ? reinterpret_cast<Sample*>(lower.At(y, x)) : nullptr;
            Sample* u = upper ? reinterpret_cast<Sample*>(upper.At(y, x)) : nullptr;
            const bool lowerAlpha = lower && lower.planes > colourPlanes;
            if (l) ComposeOutputOverLower<Sample>(o, coverage, l, colourPlanes, lowerAlpha ? l[colourPlanes] : Sample(kFull),
                                                  lowerAlpha);
            if (u && upper.planes > colourPlanes) {
                if (l) ComposeUpperOverLower<Sample>(u, u[colourPlanes], l, colourPlanes,
                                                     lowerAlpha ? l[colourPlanes] : Sample(kFull), lowerAlpha);
                else ComposeUpperOverOutput<Sample>(o, coverage, u, colourPlanes);
            }
        }
    }
}

}  // namespace

void PhotoshopFilter::ComposePreviewLayers() {
    const FilterRecord& r = Record();
    const Rect16 tile = r.outRect;
    const PlaneView lower = UsedLayer(lowerLayer_.view), upper = UsedLayer(upperLayer_.view);
    if ((!lower && !upper) || IsEmptyRect(tile) || !r.outData) return;
    const int32_t colourPlanes = ColourPlanesOfMode(r.imageMode);
    const bool layered = WantsLayeredOutputA() || WantsLayeredOutputB();
    if (Call().bytesPerSample == 2)
        ComposeTileSamples<uint16_t>(r, layered, colourPlanes, tile, lower, upper);
    else
        ComposeTileSamples<uint8_t>(r, layered, colourPlanes, tile, lower, upper);
}
