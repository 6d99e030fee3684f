#include "SessionState.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Errors.h"
#include "File.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostPixels.h"
#include "HostServices.h"
#include "ImageModes.h"
#include "PhotoshopFilter.h"
#include "Utf.h"

namespace {

constexpr int64_t kTransferBufferLimit = 65536;

FilterData gBlock{};

// The cache file; offsets beyond the file's 31-bit reach are refused, never wrapped.
File gCacheFile;
ErrorCode gLastFileError = 0;

bool WithinFile(int64_t offset, int64_t bytes) {
    return offset >= 0 && bytes >= 0 && offset + bytes <= INT32_MAX;
}

// A copy of the host's block is used only when it is the size we gave and its path is terminated.
bool TakeBlockFromHost() {
    intptr_t& data = *HostCall::Current().data;
    const UniqueHandle taken(reinterpret_cast<Handle>(data));
    data = 0;
    bool sound = GetHandleSize(taken.Get()) == FilterData::kSize;
    if (sound) {
        const LockedHandle bytes(taken.Get());
        sound = bytes.Get() != nullptr;
        if (sound) std::memcpy(&gBlock, bytes.Get(), sizeof gBlock);
    }
    if (!sound) return false;
    if (!std::memchr(gBlock.path, '\0', sizeof gBlock.path)) {
        std::memset(gBlock.path, 0, sizeof gBlock.path);
        gBlock.maskCached = 0;
        gBlock.imageCached = 0;
    }
    return true;
}

bool HasTransparency(const FilterRecord& record) {
    return record.inTransparencyMask > 0 || record.planes > ColourPlanesOfMode(record.imageMode);
}

Rect16 Shifted(const Rect16& r, Point16 by) {
    return {static_cast<int16_t>(r.top + by.v), static_cast<int16_t>(r.left + by.h),
            static_cast<int16_t>(r.bottom + by.v), static_cast<int16_t>(r.right + by.h)};
}

// The bounding box of every non-zero sample of the mask (or, without one, the transparency plane)
// inside the filter rectangle.
Rect16 ScanSelectionBounds(FilterRecord& record) {
    const Rect16 area = record.filterRect;
    const int32_t bytes = std::max(HostCall::Current().bytesPerSample, 1);  // masks have the document's depth
    const int16_t transparency = ColourPlanesOfMode(record.imageMode);
    const BandRequest request{record.haveMask != 0, transparency, transparency};
    int32_t top = area.bottom, bottom = area.top, left = area.right, right = area.left;
    record.inputPadding = record.maskPadding = 0;
    record.outputPadding = -2;
    const int64_t rows = std::min<int64_t>(RectArea(area), kTransferBufferLimit) / std::max(RectWidth(area), 1);
    FetchBands(record, area, rows, request, [&](const Rect16& band, const char* data, int32_t rowBytes) {
        for (int32_t y = band.top; y < band.bottom; ++y) {
            const auto* row = reinterpret_cast<const uint8_t*>(data + int64_t{y - band.top} * rowBytes);
            for (int32_t x = 0; x < RectWidth(band); ++x) {
                const bool set = bytes == 1 ? row[x] != 0 : (row[2 * x] | row[2 * x + 1]) != 0;
                if (!set) continue;
                top = std::min(top, y), bottom = std::max(bottom, y);
                left = std::min(left, band.left + x), right = std::max(right, band.left + x);
            }
        }
    });
    if (top > bottom) return Rect16{};
    return {static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom + 1),
            static_cast<int16_t>(right + 1)};
}

}  // namespace

FilterData& SessionBlock() { return gBlock; }

ErrorCode FetchBand(FilterRecord& record, const Rect16& band, const BandRequest& request) {
    constexpr Fixed16 kFullSize = 0x10000;
    record.inRect = record.maskRect = record.outRect = Rect16{};
    if (request.mask) {
        record.maskRect = band;
    } else {
        record.inRect = band;
        record.inLoPlane = request.lowPlane;
        record.inHiPlane = request.highPlane;
    }
    record.inputRate = record.maskRate = kFullSize;
    return AdvanceState();
}

bool DataWordHoldsBlock() {
    const intptr_t* data = HostCall::Current().data;
    return data && *data != 0 && *data != ~intptr_t{0};
}

namespace SourceCache {

void Create() {
    gCacheFile.Close();
    gCacheFile.SetSpec(FileSpec());
    gCacheFile.CreateTemp();
    const std::string_view path = gCacheFile.Spec().Text();
    std::memset(gBlock.path, 0, sizeof gBlock.path);
    std::memcpy(gBlock.path, path.data(), std::min(path.size(), sizeof gBlock.path - 1));
}

bool Open() {
    if (!gBlock.path[0]) return false;
    gCacheFile.Close();
    gCacheFile.SetSpec(FileSpec::FromPath(gBlock.path));
    return gCacheFile.Open("r") == 0;
}

bool IsOpen() { return gCacheFile.IsOpen(); }

bool Write(int64_t offset, const void* data, int64_t bytes) {
    return IsOpen() && WithinFile(offset, bytes) &&
           gCacheFile.Write(data, static_cast<uint32_t>(offset), static_cast<uint32_t>(bytes)) == 0;
}

bool Read(int64_t offset, void* data, int64_t bytes) {
    return IsOpen() && WithinFile(offset, bytes) &&
           gCacheFile.Read(data, static_cast<uint32_t>(offset), static_cast<int32_t>(bytes)) == bytes;
}

void Close() { gCacheFile.Close(); }

void CloseAndDelete() {
    gCacheFile.Close();
    gLastFileError = 0;
    if (gBlock.path[0] && !DeleteFileW(Utf8ToUtf16(gBlock.path).c_str())) gLastFileError = Err::FileNotDeletable;
    std::memset(gBlock.path, 0, sizeof gBlock.path);
}

ErrorCode LastFileError() { return gLastFileError; }

}  // namespace SourceCache

void PhotoshopFilter::SaveSessionState() {
    FilterRecord& record = *HostCall::Current().record;
    FilterData& block = gBlock;
    std::memset(&block, 0, sizeof block);
    block.maskCached = record.haveMask;
    block.planesCached = 1;
    block.filterRect = Framework().selectionBounds;
    if (record.isFloating) {
        block.filterRect = Shifted(block.filterRect, record.floatCoord);
        if (record.haveMask) {
            block.imageCached = 1;
            block.planesCached = static_cast<uint8_t>(ColourPlanesOfMode(record.imageMode) + 1);
        }
    }
    if (record.haveMask) {
        const int64_t width = RectWidth(block.filterRect), height = RectHeight(block.filterRect);
        const int64_t sampleBytes = std::max(HostCall::Current().bytesPerSample, 1);
        const int64_t widestRow = width * (block.imageCached ? (block.planesCached - 1) * sampleBytes : 1);
        const int64_t transfer = std::max(std::min(width * height * block.planesCached, kTransferBufferLimit), widestRow);
        try {
            THROW_IF_ERROR(SourceCacheScratch().Allocate(transfer));
            SourceCache::Create();
            WriteSourceCache(false);
            if (block.imageCached) WriteSourceCache(true);
            SourceCache::Close();
            SourceCacheScratch().Free();
        } catch (...) {
            SourceCache::CloseAndDelete();
            SourceCacheScratch().Free();
            throw;
        }
    }
    UniqueHandle handle(NewHandle(FilterData::kSize));
    if (!handle) THROW_IF_ERROR(Err::MemoryFull);
    {
        const LockedHandle bytes(handle.Get());
        if (!bytes) THROW_IF_ERROR(Err::MemoryFull);
        std::memcpy(bytes.Get(), &block, sizeof block);
    }
    *HostCall::Current().data = reinterpret_cast<intptr_t>(handle.Release());
}

void PhotoshopFilter::RestoreSessionState() {
    FilterRecord& record = *HostCall::Current().record;
    FrameworkFlags& flags = Framework();
    if (DataWordHoldsBlock() && TakeBlockFromHost()) {
        if (gBlock.maskCached) SourceCache::Open();
        gBlock.cacheValid = 1;
        flags.withSelection = true;
        flags.selectionBounds = selectionBounds_ = gBlock.filterRect;
    } else if (!(GetHostKind() == kHostKindPhotoPnt && record.haveMask && HasTransparency(record))) {
        const bool sameArea = EqualRects(record.filterRect, flags.effectiveArea);
        if (!sameArea) {
            flags.selectionBounds = selectionBounds_ = record.filterRect;
        } else if ((!flags.withSelection || !record.haveMask) && !record.haveMask && !HasTransparency(record)) {
            // The whole image without mask or transparency: the bounds are the filter rectangle.
        } else {
            flags.selectionBounds = selectionBounds_ = ScanSelectionBounds(record);
        }
    } else {
        flags.selectionBounds = selectionBounds_ = ScanSelectionBounds(record);
    }
    if (IsEmptyRect(flags.selectionBounds)) THROW_IF_ERROR(Err::NoPixelsInLayer);
}
