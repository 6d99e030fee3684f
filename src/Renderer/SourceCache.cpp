#include "SourceCache.h"

#include "PassCoverage.h"
#include "RenderArithmetic.h"

bool CacheGeometryValid(const CacheGeometry& cache, uint32_t expectedPlanes) {
    return cache.planes >= 2 && cache.planes <= 5 && cache.planes == expectedPlanes && RectArea(cache.rect) > 0;
}

int64_t CacheOffset(const CacheGeometry& cache, const Rect16& rect) {
    if (RectArea(rect) == 0 || !RectContains(cache.rect, rect)) return -1;
    return int64_t{rect.top - cache.rect.top} * CacheRowBytes(cache) + int64_t{rect.left - cache.rect.left} * cache.planes;
}

void WidenCachedRows(uint8_t* buffer, int32_t rows, int32_t samplesPerRow, int64_t rowBytes) {
    for (int32_t row = 0; row < rows; ++row) {
        uint8_t* bytes = buffer + row * rowBytes;
        auto* wide = reinterpret_cast<uint16_t*>(bytes);
        for (int32_t i = samplesPerRow - 1; i >= 0; --i) wide[i] = static_cast<uint16_t>(RenderMath::Widen8(bytes[i]));
    }
}
