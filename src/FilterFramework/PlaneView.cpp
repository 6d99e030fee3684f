#include "PlaneView.h"

#include <algorithm>

#include "Geometry.h"

namespace {

PlaneView PlanesOf(void* data, int32_t rowBytes, int16_t low, int16_t high, int32_t bytes) {
    const auto planes = static_cast<int16_t>(high - low + 1);
    return PlaneView{static_cast<char*>(data), rowBytes, planes * bytes, planes, low};
}

}  // namespace

TileView DeliveredTile(const FilterRecord& record, int32_t bytesPerSample) {
    const int32_t bytes = std::max(bytesPerSample, 1);
    TileView tile;
    tile.rect = record.outRect;
    tile.in = PlanesOf(record.inData, record.inRowBytes, record.inLoPlane, record.inHiPlane, bytes);
    if (!IsEmptyRect(record.maskRect))
        tile.mask = PlaneView{static_cast<char*>(record.maskData), record.maskRowBytes, bytes, 1};
    tile.out = PlanesOf(record.outData, record.outRowBytes, record.outLoPlane, record.outHiPlane, bytes);
    return tile;
}
