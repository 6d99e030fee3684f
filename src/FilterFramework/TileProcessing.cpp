// One tile of a pass: the pixels the filter needs for the current tile, from the instance's plane
// buffers where they already hold them and from the host otherwise, at the rate that matches the
// preview's zoom; and the reading and writing of the session's source cache file.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Errors.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostPixels.h"
#include "ImageModes.h"
#include "PhotoshopFilter.h"
#include "PixelSamples.h"
#include "PreferenceSettings.h"
#include "ScaledCoordinates.h"
#include "SessionState.h"

namespace {

constexpr Fixed16 kRateOne = 0x10000;
constexpr ErrorCode kSourceCacheWriteFailed = 19004;

BufferRecord gScaledOutputScratch;
BufferRecord gSourceCacheScratch;
BufferRecord gFloatMaskScratch;

int32_t PlaneCount(int16_t low, int16_t high) { return int32_t{high} - low + 1; }
// Bytes of one sample of the document, and so of its mask.

// Mask samples at the document's depth; the cache file keeps one byte a pixel.
void StoreMaskSample(char* to, int32_t bytes, uint8_t value) {
    if (bytes == 1) {
        *to = static_cast<char>(value);
    } else {
        const uint16_t wide = Widen8To16(value);
        std::memcpy(to, &wide, 2);
    }
}

uint8_t LoadMaskSample(const char* from, int32_t bytes) {
    if (bytes == 1) return static_cast<uint8_t>(*from);
    uint16_t wide;
    std::memcpy(&wide, from, 2);
    return Narrow16To8(wide);
}

Fixed16 ScaledRate(Fixed16 rate, int32_t scale) {
    const int64_t scaled = rate < 1 ? int64_t{scale} * kRateOne : int64_t{rate} * scale;
    return static_cast<Fixed16>(std::min<int64_t>(scaled, INT32_MAX));
}

bool AnyRequest(const FilterRecord& r) {
    return !IsEmptyRect(r.inRect) || !IsEmptyRect(r.maskRect) || !IsEmptyRect(r.outRect);
}

}  // namespace

BufferRecord& SourceCacheScratch() { return gSourceCacheScratch; }

// The host must be able to hand over what is asked with its reserve still free.
bool PhotoshopFilter::HostCanDeliver() const {
    const FilterRecord& r = Record();
    const int64_t samples = RectArea(r.inRect) * PlaneCount(r.inLoPlane, r.inHiPlane) + RectArea(r.maskRect) +
                            RectArea(r.outRect) * PlaneCount(r.outLoPlane, r.outHiPlane);
    return samples * SampleBytes() <= BufferSpace() - kDefaultBufferReserve;
}

ErrorCode PhotoshopFilter::RequestFromHost() {
    if (!AnyRequest(Record())) return 0;
    if (!HostCanDeliver()) return Err::MemoryFull;
    return AdvanceState(Call());
}

ErrorCode PhotoshopFilter::ProcessTile() {
    FilterRecord& record = Record();
    const int32_t scale = IntegerScale();
    // The tile's rectangles come back however the tile ends (the caches may have answered part
    // of the request), and so do the rates, as the tile's rates over its scale: a rate of 0, the
    // host's full size, comes back as 1.0.
    const Fixed16 inputRate = ScaledRate(record.inputRate, scale), maskRate = ScaledRate(record.maskRate, scale);
    record.inputRate = inputRate / scale;
    record.maskRate = maskRate / scale;
    const RequestGuard request(record, HostRequest::kRects | HostRequest::kRates);
    record.inputRate = inputRate;
    record.maskRate = maskRate;
    maskFromCache_ = false;
    return HasOwner() ? ProcessPreviewTile(scale) : ProcessFinalTile();
}

ErrorCode PhotoshopFilter::ProcessFinalTile() {
    FilterRecord& record = Record();
    const Rect16 in = record.inRect, out = record.outRect, mask = record.maskRect;
    const FilterData& block = SessionBlock();
    bool fullMask = false;
    if (!IsEmptyRect(mask) && !record.haveMask && SubstituteMaskIsFull(mask)) {
        record.maskRect = Rect16{};
        fullMask = true;
    } else if (!IsEmptyRect(mask) &&
               (!record.haveMask || (IsEmptyRect(in) && IsEmptyRect(out) && block.cacheValid))) {
        ReadSourceCache(mask, false);
        record.maskRect = Rect16{};
        maskFromCache_ = true;
    }
    int32_t hitRowBytes = 0;
    char* inHit = IsEmptyRect(in) ? nullptr : inputCache_.PointerForValidRect(in, &hitRowBytes);
    if (inHit) record.inRect = Rect16{};
    if (const ErrorCode error = RequestFromHost()) return error;
    if (inHit) {
        record.inData = inHit;
        record.inRowBytes = hitRowBytes;
    }
    if (fullMask) {
        record.maskData = nullptr;
        record.maskRowBytes = 0;
    }
    if (maskFromCache_) {
        record.maskData = gSourceCacheScratch.Lock();
        record.maskRowBytes = RectWidth(mask) * SampleBytes();
        if (block.cacheValid && block.imageCached && !IsEmptyRect(out)) ReadSourceCache(out, true);
    }
    return 0;
}

ErrorCode PhotoshopFilter::ProcessPreviewTile(int32_t scale) {
    const HostCall& call = Call();
    FilterRecord& record = *call.record;
    const Rect16 in = record.inRect, out = record.outRect, mask = record.maskRect;
    const int16_t colourPlanes = ColourPlanesOfMode(record.imageMode);
    const bool transparencyRequest = !record.haveMask && !IsEmptyRect(in) && record.inLoPlane == record.inHiPlane &&
                                     record.inLoPlane == colourPlanes;
    PlaneBuffer& inCache = transparencyRequest ? maskCache_ : inputCache_;

    int32_t inHitRowBytes = 0, maskHitRowBytes = 0, outHitRowBytes = 0;
    char* inHit = IsEmptyRect(in) ? nullptr : inCache.PointerForValidRect(in, &inHitRowBytes);
    if (inHit) record.inRect = Rect16{};

    char* maskHit = nullptr;
    bool fullMask = false;
    if (!record.haveMask && !IsEmptyRect(mask) && SubstituteMaskIsFull(mask)) {
        record.maskRect = Rect16{};
        fullMask = true;
    } else if (!record.haveMask && !IsEmptyRect(mask)) {
        ReadSourceCache(mask, false);
        record.maskRect = Rect16{};
        maskFromCache_ = true;
    } else if (record.haveMask && !IsEmptyRect(mask)) {
        maskHit = maskCache_.PointerForValidRect(mask, &maskHitRowBytes);
        if (maskHit) record.maskRect = Rect16{};
    }

    char* outHit = IsEmptyRect(out) ? nullptr : outputCache_.PointerForValidRect(out, &outHitRowBytes);
    char* scratchOut = nullptr;
    int32_t scratchRowBytes = 0;
    if (outHit) {
        record.outRect = Rect16{};
    } else if (!IsEmptyRect(out)) {
        // A preview composes into a scratch buffer of its own at every scale: the host's image
        // takes only the final pass, so a cancelled dialog leaves it as it was, and a host that
        // reads its input from the buffer it hands out for output never reads a preview's frames.
        const int64_t pixelBytes = int64_t{PlaneCount(record.outLoPlane, record.outHiPlane)} * call.bytesPerSample;
        THROW_IF_ERROR(gScaledOutputScratch.Allocate(pixelBytes * RectArea(out)));
        scratchOut = gScaledOutputScratch.Lock();
        if (!scratchOut) THROW_IF_ERROR(Err::MemoryFull);
        scratchRowBytes = static_cast<int32_t>(pixelBytes * RectWidth(out));
        record.outRect = Rect16{};
    }

    const bool inAsked = !IsEmptyRect(record.inRect), maskAsked = !IsEmptyRect(record.maskRect);
    if (const ErrorCode error = RequestFromHost()) return error;

    if (inHit) {
        record.inData = inHit;
        record.inRowBytes = inHitRowBytes;
    } else if (inAsked && inCache.IsAllocated() &&
               int64_t{PlaneCount(record.inLoPlane, record.inHiPlane)} * call.bytesPerSample == inCache.PixelStride()) {
        inCache.CopyIn(in, record.inRowBytes, record.inData);
    }
    if (maskHit) {
        record.maskData = maskHit;
        record.maskRowBytes = maskHitRowBytes;
    } else if (maskAsked && maskCache_.IsAllocated() && maskCache_.PixelStride() == uint32_t(SampleBytes())) {
        maskCache_.CopyIn(mask, record.maskRowBytes, record.maskData);
    } else if (maskFromCache_) {
        record.maskData = gSourceCacheScratch.Lock();
        record.maskRowBytes = RectWidth(mask) * SampleBytes();
    } else if (fullMask) {
        record.maskData = nullptr;
        record.maskRowBytes = 0;
    }
    if (outHit) {
        record.outData = outHit;
        record.outRowBytes = outHitRowBytes;
    } else if (scratchOut) {
        record.outData = scratchOut;
        record.outRowBytes = scratchRowBytes;
    }
    if (record.isFloating && !IsEmptyRect(mask) && record.maskData) KeepFloatingMask(mask);
    if (useLayerPorts_ && !IsEmptyRect(out) && Preferences().bytes[PreferenceSettings::kViewCompositeLayer]) {
        ReadCompanionLayer(upperLayer_, out, false);
        ReadCompanionLayer(lowerLayer_, out, true);
    }
    return 0;
}

// Without a host mask and without a source cache, the substitute mask of a rectangle inside the
// filter rectangle would hold 255 everywhere: a full selection, which filters exactly as no mask
// does. Such a tile is given no mask at all rather than a buffer of 255s built for every tile.
bool PhotoshopFilter::SubstituteMaskIsFull(const Rect16& mask) const {
    if (SessionBlock().cacheValid) return false;
    return EqualRects(IntersectRects(mask, scaledFilterRect_), mask);
}

// A floating selection's mask is kept in a copy of our own for the rest of the tile.
void PhotoshopFilter::KeepFloatingMask(const Rect16& mask) {
    FilterRecord& record = Record();
    const int64_t rowBytes = int64_t{RectWidth(mask)} * SampleBytes();
    int32_t copyRowBytes = 0;
    char* copy = floatMaskCache_.IsAllocated() ? floatMaskCache_.PointerForRect(mask, &copyRowBytes) : nullptr;
    if (!copy) {
        if (!maskCache_.IsAllocated()) return;
        THROW_IF_ERROR(gFloatMaskScratch.Allocate(rowBytes * RectHeight(mask)));
        copy = gFloatMaskScratch.Lock();
        if (!copy) THROW_IF_ERROR(Err::MemoryFull);
        copyRowBytes = static_cast<int32_t>(rowBytes);
    }
    const char* from = static_cast<const char*>(record.maskData);
    for (int32_t y = 0; y < RectHeight(mask); ++y)
        std::memmove(copy + int64_t{y} * copyRowBytes, from + int64_t{y} * record.maskRowBytes, static_cast<size_t>(rowBytes));
    record.maskData = copy;
    record.maskRowBytes = copyRowBytes;
}

void PhotoshopFilter::ReadSourceCache(const Rect16& rect, bool image) {
    FilterRecord& record = Record();
    const FilterData& block = SessionBlock();
    const int32_t scale = IntegerScale();
    const Rect16 cached = block.cacheValid ? DividedUp(block.filterRect, scale) : scaledFilterRect_;
    const Rect16 part = IntersectRects(rect, cached);
    const int64_t cachedWidth = RectWidth(cached), cachedHeight = RectHeight(cached);
    const bool haveFile = block.cacheValid && block.maskCached && SourceCache::IsOpen();

    const int32_t bytes = SampleBytes();
    if (!image) {
        // The substitute mask: the cached selection inside the cached rectangle, padding outside.
        const int64_t width = RectWidth(rect);
        THROW_IF_ERROR(gSourceCacheScratch.Allocate(RectArea(rect) * bytes));
        char* mask = gSourceCacheScratch.Lock();
        if (!mask) THROW_IF_ERROR(Err::MemoryFull);
        const uint8_t padding = static_cast<uint8_t>(record.maskPadding >= 0 ? record.maskPadding & 0xFF : 0);
        PlaneFill8(RectArea(rect), padding, mask, bytes, 1);
        std::vector<char> cachedRow(static_cast<size_t>(std::max(RectWidth(part), 0)));
        for (int32_t y = part.top; y < part.bottom; ++y) {
            char* row = mask + ((y - rect.top) * width + (part.left - rect.left)) * bytes;
            const int64_t offset = (y - cached.top) * cachedWidth + (part.left - cached.left);
            if (!haveFile || !SourceCache::Read(offset, cachedRow.data(), RectWidth(part))) {
                PlaneFill8(RectWidth(part), 0xFF, row, bytes, 1);
                continue;
            }
            for (int32_t x = 0; x < RectWidth(part); ++x)
                StoreMaskSample(row + int64_t{x} * bytes, bytes, static_cast<uint8_t>(cachedRow[x]));
        }
        return;
    }

    const int32_t colourPlanes = ColourPlanesOfMode(record.imageMode);
    const int32_t outPlanes = PlaneCount(record.outLoPlane, record.outHiPlane);
    const int64_t cachedPixelBytes = int64_t{colourPlanes} * bytes, outPixelBytes = int64_t{outPlanes} * bytes;
    const int64_t copied = std::min(cachedPixelBytes, outPixelBytes);
    std::vector<char> row(static_cast<size_t>(RectWidth(part) * cachedPixelBytes));
    char* out = static_cast<char*>(record.outData);
    for (int32_t y = part.top; y < part.bottom; ++y) {
        char* to = out + int64_t{y - rect.top} * record.outRowBytes + (part.left - rect.left) * outPixelBytes;
        const int64_t offset =
            (((y - cached.top) * cachedWidth + (part.left - cached.left)) * colourPlanes) * bytes +
            cachedHeight * cachedWidth;
        if (haveFile && SourceCache::Read(offset, row.data(), static_cast<int64_t>(row.size()))) {
            for (int32_t x = 0; x < RectWidth(part); ++x)
                std::memcpy(to + x * outPixelBytes, row.data() + x * cachedPixelBytes, static_cast<size_t>(copied));
        } else {
            PlaneFill8(int64_t{RectWidth(part)} * outPlanes, 255, to, bytes, 1);
        }
    }
}

void PhotoshopFilter::WriteSourceCache(bool image) {
    FilterRecord& record = Record();
    const Rect16 area = SessionBlock().filterRect;
    const int64_t width = RectWidth(area), height = RectHeight(area);
    const int32_t planes = image ? ColourPlanesOfMode(record.imageMode) : 1;
    const int32_t bytes = image ? SampleBytes() : 1;  // the file keeps one byte a mask pixel
    const int64_t rowBytes = width * planes * bytes;
    if (rowBytes <= 0 || height <= 0) return;
    // A band holds at least one row, however wide or deep the image.
    THROW_IF_ERROR(gSourceCacheScratch.Allocate(std::max<int64_t>(rowBytes, gSourceCacheScratch.size)));
    const int64_t bandRows = static_cast<int64_t>(gSourceCacheScratch.size) / rowBytes;
    int64_t offset = image ? width * height : 0;
    const BandRequest request{!image, 0, static_cast<int16_t>(planes - 1)};
    FetchBands(Call(), area, bandRows, request, [&](const Rect16& band, const char* from, int32_t fromRowBytes) {
        char* buffer = gSourceCacheScratch.Lock();
        if (!buffer) THROW_IF_ERROR(Err::MemoryFull);
        for (int32_t y = 0; y < RectHeight(band); ++y) {
            const char* source = from + int64_t{y} * fromRowBytes;
            char* to = buffer + y * rowBytes;
            if (image) {
                std::memcpy(to, source, static_cast<size_t>(rowBytes));
            } else {
                for (int64_t x = 0; x < width; ++x)
                    to[x] = static_cast<char>(LoadMaskSample(source + x * SampleBytes(), SampleBytes()));
            }
        }
        const int64_t bandBytes = RectHeight(band) * rowBytes;
        if (!SourceCache::Write(offset, buffer, bandBytes)) THROW_IF_ERROR(kSourceCacheWriteFailed);
        offset += bandBytes;
    });
}

void PhotoshopFilter::UnlockTileBuffers() {
    inputCache_.Unlock();
    maskCache_.Unlock();
    outputCache_.Unlock();
    floatMaskCache_.Unlock();
    gScaledOutputScratch.Unlock();
    gSourceCacheScratch.Unlock();
    gFloatMaskScratch.Unlock();
    lowerLayer_.cache.Unlock();
    upperLayer_.cache.Unlock();
    if (!IsOverview()) {
        lowerLayer_.pixels.Unlock();
        upperLayer_.pixels.Unlock();
    }
}

void PhotoshopFilter::FreeCaches() {
    inputCache_.Free();
    maskCache_.Free();
    outputCache_.Free();
    floatMaskCache_.Free();
    lowerLayer_.cache.Free();
    lowerLayer_.pixels.Free();
    upperLayer_.cache.Free();
    upperLayer_.pixels.Free();
}
