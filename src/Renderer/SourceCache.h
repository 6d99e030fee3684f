// The frame-only composite kept between host calls for "Apply to New Layer": where a rectangle's
// rows lie in the cache file, and the widening of cached 8-bit rows for 16-bit documents. The
// cache's plane count and rectangle come back from the host's data handle, so they are checked
// before they size a buffer or a file offset.
#pragma once

#include <cstdint>

#include "PluginInterface.h"

struct CacheGeometry {
    uint32_t planes = 0;  // bytes per cached pixel: the colour channels and the frame's alpha
    Rect16 rect{};        // the cached area
};

// Planes 2..5 (grey to CMYK, with alpha) equal to the document's, and a non-empty rectangle.
bool CacheGeometryValid(const CacheGeometry& cache, uint32_t expectedPlanes);

// The file offset of rect's first byte, or -1 when rect does not lie inside the cached area.
int64_t CacheOffset(const CacheGeometry& cache, const Rect16& rect);
// Bytes of one cached row.
inline int64_t CacheRowBytes(const CacheGeometry& cache) {
    return int64_t{cache.rect.right - cache.rect.left} * cache.planes;
}

// Rows of 8-bit samples become 16-bit samples in place (v x 32897 >> 8), each row worked from its
// end so that no sample is overwritten before it is read.
void WidenCachedRows(uint8_t* buffer, int32_t rows, int32_t samplesPerRow, int64_t rowBytes);
