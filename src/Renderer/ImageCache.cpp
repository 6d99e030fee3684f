#include "ImageCache.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <string>

#include "Errors.h"
#include "Geometry.h"
#include "PreviewOwner.h"
#include "SettingsLayout.h"
#include "SourceCache.h"
#include "Utf.h"

namespace {

// The file layer's offsets and counts are 32-bit.
constexpr int64_t kMaxFileBytes = UINT32_MAX;
constexpr int64_t kMaxTransfer = INT32_MAX;

// Moves count bytes at offset; a read that comes back short means the file lost its rows.
void Transfer(File& file, bool write, char* bytes, int64_t offset, int64_t count) {
    if (write) {
        THROW_IF_ERROR(file.Write(bytes, static_cast<uint32_t>(offset), static_cast<uint32_t>(count)));
    } else if (file.Read(bytes, static_cast<uint32_t>(offset), static_cast<int32_t>(count)) != static_cast<uint32_t>(count)) {
        THROW_IF_ERROR(Err::FileIO);
    }
}

}  // namespace

namespace NewLayerCache {

bool Wanted(bool hasOwner, bool underDialog, uint8_t outputOption) {
    return !hasOwner && !underDialog && outputOption != BlockLayout::kOutputOff;
}

int64_t FileBytes(uint32_t planes, const Rect16& rect) {
    if (planes < 1 || planes > FrameCacheBlock::kMaxPlanes || RectArea(rect) == 0) return -1;
    const int64_t bytes = RectArea(rect) * planes;
    return bytes <= kMaxFileBytes ? bytes : -1;
}

}  // namespace NewLayerCache

bool OpenImageCache(RenderSession& session, uint32_t planes, const Rect16& rect) {
    const int64_t bytes = NewLayerCache::FileBytes(planes, rect);
    if (bytes < 0) return false;
    FrameCacheBlock& block = session.cache;
    File& file = session.cacheFile;
    file.Close();
    block = {};
    file.CreateTemp();
    std::string path;
    if (file.Spec().GetFullPath(path) != Err::None || path.empty() || path.size() >= FrameCacheBlock::kPathSize) {
        // A file the block cannot name could never be found again: it goes at once.
        file.Close();
        if (!path.empty()) DeleteFileW(Utf8ToUtf16(path).c_str());
        THROW_IF_ERROR(Err::TemporaryFile);
    }
    std::memcpy(block.path, path.c_str(), path.size() + 1);
    // Sized at once, every byte 0: a pixel no tile reaches reads back as no frame, and a disk
    // too full for the cache says so before the first tile.
    THROW_IF_ERROR(file.SetSize(static_cast<uint32_t>(bytes)));
    block.planes = planes;
    block.rect = rect;
    block.cacheOpen = 1;
    block.keepFile = 1;
    return true;
}

void ReadCacheRows(RenderSession& session, bool write, void* buffer, const Rect16& rect, int64_t rowBytes) {
    const CacheGeometry cache{session.cache.planes, session.cache.rect};
    const int64_t offset = CacheOffset(cache, rect);
    if (offset < 0 || NewLayerCache::FileBytes(cache.planes, cache.rect) < 0) THROW_IF_ERROR(Err::FileIO);
    const int64_t width = int64_t{RectWidth(rect)} * cache.planes;
    const int64_t cacheRow = CacheRowBytes(cache);
    const int64_t stride = rowBytes < 1 ? width : rowBytes;
    const int32_t rows = RectHeight(rect);
    auto* bytes = static_cast<char*>(buffer);
    if (stride == width && width == cacheRow && int64_t{rows} * width <= kMaxTransfer) {
        Transfer(session.cacheFile, write, bytes, offset, int64_t{rows} * width);
        return;
    }
    for (int32_t y = 0; y < rows; ++y) Transfer(session.cacheFile, write, bytes + y * stride, offset + y * cacheRow, width);
}

int16_t CloseImageCache(RenderSession& session, PreviewOwner* dialog) {
    FrameCacheBlock& block = session.cache;
    block.keepFile = 0;
    if (block.cacheOpen) {
        session.cacheFile.Close();
        if (DeleteFileW(Utf8ToUtf16(block.path).c_str())) block.path[0] = '\0';
        block.cacheOpen = 0;
    }
    session.cacheGivenUp = true;
    session.updateRegion.Reset();
    if (!dialog) return static_cast<int16_t>(RunModalDialog(nullptr, NewLayerCache::kGivenUpAlert, nullptr, nullptr));
    const int16_t answer = dialog->AlertOverDialog(NewLayerCache::kGivenUpAlert);
    dialog->EnableCommand(NewLayerCache::kApplyToNewLayerCommand, false);
    return answer;
}
