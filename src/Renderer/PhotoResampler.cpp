#include "PhotoResampler.h"

#include <algorithm>

#include "RenderArithmetic.h"

namespace {

using RenderMath::SplineTaps;
using RenderMath::SplineWeights;

template <typename Sample>
Sample SplineSample(const PlaneView& src, const SplineTaps& xs, const SplineTaps& ys, const SplineWeights& wx,
                    const SplineWeights& wy, int32_t plane) {
    double rowSum = 0;
    for (int32_t k = 0; k < 4; ++k) {
        const Sample* row = src.SamplesAt<const Sample>(ys.at[k], 0) + plane;
        double h = 0;
        for (int32_t j = 0; j < 4; ++j) h += row[int64_t{xs.at[j]} * src.planes] * wx.w[j];
        rowSum += static_cast<uint16_t>(h + 0.5) * wy.w[k];
    }
    return static_cast<Sample>(static_cast<uint16_t>(rowSum + 0.5));
}

template <typename Sample>
void Resample(const PlaneView& src, const PlaneView& out, PixelExtent extent, const ResampleOptions& o) {
    constexpr Sample kFull = sizeof(Sample) == 2 ? RenderMath::kFull16 : RenderMath::kFull8;
    const FixedTransform& t = o.transform;
    const int32_t planes = out.planes;
    const int32_t resampled = o.keepLayerMask ? planes - 1 : planes;
    for (int32_t y = 0; y < extent.height; ++y) {
        Sample* dst = out.SamplesAt<Sample>(y, 0);
        const uint8_t* maskRow = o.mask ? o.mask + int64_t{y} * o.maskRowBytes : nullptr;
        int64_t sx = int64_t{t.b} * y + t.c, sy = int64_t{t.e} * y + t.f;
        for (int32_t x = 0; x < extent.width; ++x, dst += planes, sx += t.a, sy += t.d) {
            const Sample* unmoved = src.SamplesAt<const Sample>(y, x);
            if (maskRow && maskRow[x] == 0) {
                std::copy(unmoved, unmoved + planes, dst);
                continue;
            }
            const int64_t i64 = sx >> 16, j64 = sy >> 16;
            const bool inside = i64 >= 0 && i64 < extent.width && j64 >= 0 && j64 < extent.height;
            const int32_t i = static_cast<int32_t>(i64), j = static_cast<int32_t>(j64);
            if (o.keepLayerMask) dst[planes - 1] = inside ? unmoved[planes - 1] : kFull;
            if (!inside) {
                std::fill(dst, dst + resampled, Sample{0});
            } else if (!o.spline) {
                const Sample* p = src.SamplesAt<const Sample>(j, i);
                std::copy(p, p + resampled, dst);
            } else {
                const SplineTaps xs(i, extent.width), ys(j, extent.height);
                const SplineWeights wx = RenderMath::SplineColumnWeights((sx & 0xFFFF) / 65536.0);
                const SplineWeights wy = RenderMath::SplineRowWeights((sy & 0xFFFF) / 65536.0);
                for (int32_t plane = 0; plane < resampled; ++plane)
                    dst[plane] = SplineSample<Sample>(src, xs, ys, wx, wy, plane);
            }
        }
    }
}

}  // namespace

void ResamplePhoto(const PlaneView& source, const PlaneView& out, PixelExtent extent, int32_t bytes,
                   const ResampleOptions& options) {
    if (bytes == 2) Resample<uint16_t>(source, out, extent, options);
    else Resample<uint8_t>(source, out, extent, options);
}
