#include "PreviewZoom.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int64_t kMinCoordinate = std::numeric_limits<int32_t>::min();
constexpr int64_t kMaxCoordinate = std::numeric_limits<int32_t>::max();

// A ratio as it may arrive from a caller, made safe to divide by.
ZoomRatio Sane(ZoomRatio ratio) {
    return NormalizeZoom(ratio.out, ratio.in);
}

// Saturating arithmetic on 64-bit intermediates: the factors are at most 9999, coordinates 32-bit,
// so a product stays far inside 64 bits and only the final value needs bringing back.
int64_t Clamp64(int64_t value, int64_t low, int64_t high) {
    return std::min(std::max(value, low), high);
}

}  // namespace

ZoomRatio NormalizeZoom(int64_t out, int64_t in) {
    out = std::max<int64_t>(out, 1);
    in = std::max<int64_t>(in, 1);
    if (out <= in)
        return ZoomRatio{1, static_cast<int32_t>(std::min<int64_t>(in / out, ZoomRatio::kMaxIn))};
    return ZoomRatio{static_cast<int32_t>(std::min<int64_t>(out / in, ZoomRatio::kMaxOut)), 1};
}

// Stepping walks the same table from either side: an enlargement grows the in-factor up the
// table, a reduction shrinks the out-factor down it, and the other way round for zooming out. A
// step past a factor's limit is no step, so the ends hold rather than wrapping or overshooting.
ZoomRatio ZoomStepIn(ZoomRatio ratio) {
    ratio = Sane(ratio);
    if (ratio.out == 1) {
        for (int32_t step : kZoomSteps)
            if (step > ratio.in && step <= ZoomRatio::kMaxIn)
                return ZoomRatio{1, step};
        return ratio;
    }
    for (auto step = kZoomSteps.rbegin(); step != kZoomSteps.rend(); ++step)
        if (*step < ratio.out)
            return ZoomRatio{*step, 1};
    return ratio;
}

ZoomRatio ZoomStepOut(ZoomRatio ratio) {
    ratio = Sane(ratio);
    if (ratio.in == 1) {
        for (int32_t step : kZoomSteps)
            if (step > ratio.out && step <= ZoomRatio::kMaxOut)
                return ZoomRatio{step, 1};
        return ratio;
    }
    for (auto step = kZoomSteps.rbegin(); step != kZoomSteps.rend(); ++step)
        if (*step < ratio.in)
            return ZoomRatio{1, *step};
    return ratio;
}

std::string ZoomPercentText(ZoomRatio ratio) {
    ratio = Sane(ratio);
    const int64_t hundredths = int64_t{ratio.in} * 100;
    if (hundredths % ratio.out == 0)
        return std::to_string(hundredths / ratio.out);
    const int64_t tenths = (hundredths * 10 + ratio.out / 2) / ratio.out;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string ZoomedTitle(const std::string& base, ZoomRatio ratio) {
    return base + " (" + ZoomPercentText(ratio) + "%)";
}

int32_t ClampCoordinate(int64_t value) {
    return static_cast<int32_t>(Clamp64(value, kMinCoordinate, kMaxCoordinate));
}

int64_t FloorDivide(int64_t value, int64_t divisor) {
    if (divisor < 1)
        return 0;
    int64_t quotient = value / divisor;
    if (value % divisor != 0 && value < 0)
        --quotient;
    return quotient;
}

int64_t CeilDivide(int64_t value, int64_t divisor) {
    if (divisor < 1)
        return 0;
    return -FloorDivide(-value, divisor);
}

PreviewRect ScaleToPreview(const PreviewRect& document, ZoomRatio ratio) {
    ratio = Sane(ratio);
    return PreviewRect{ClampCoordinate(FloorDivide(document.top, ratio.out)),
                       ClampCoordinate(FloorDivide(document.left, ratio.out)),
                       ClampCoordinate(CeilDivide(document.bottom, ratio.out)),
                       ClampCoordinate(CeilDivide(document.right, ratio.out))};
}

int32_t ViewUnits(int64_t screenPixels, ZoomRatio ratio) {
    ratio = Sane(ratio);
    return ClampCoordinate(CeilDivide(std::max<int64_t>(screenPixels, 0), ratio.in));
}

std::optional<ZoomFit> FitZoom(const PreviewRect& target, int64_t viewHeight, int64_t viewWidth,
                               bool allowEnlarge) {
    const int64_t width = target.Width();
    const int64_t height = target.Height();
    if (width <= 0 || height <= 0 || viewHeight <= 0 || viewWidth <= 0)
        return std::nullopt;

    const int64_t out = std::max(CeilDivide(width, viewWidth), CeilDivide(height, viewHeight));
    int64_t in = 1;
    if (allowEnlarge && out < 2)
        in = std::max<int64_t>(1, std::min(viewWidth / width, viewHeight / height));
    const ZoomRatio ratio = NormalizeZoom(out, in);

    // The target's centre in preview units, less half the view, puts the centre mid-view. The
    // ratio is the one shown, so a target too large even at the strongest reduction is centred
    // rather than pinned to its corner.
    const auto centred = [&](int64_t start, int64_t end, int64_t viewPixels) {
        return ClampCoordinate(FloorDivide(start + end, 2 * int64_t{ratio.out}) -
                               FloorDivide(viewPixels, 2 * int64_t{ratio.in}));
    };
    return ZoomFit{ratio, PreviewPoint{centred(target.top, target.bottom, viewHeight),
                                       centred(target.left, target.right, viewWidth)}};
}

int32_t OriginAfterZoom(int32_t origin, int64_t offset, ZoomRatio from, ZoomRatio to) {
    from = Sane(from);
    to = Sane(to);
    // The unit under the fixed point, in document pixels, is where it must stay.
    const int64_t documentPixel = (FloorDivide(offset, from.in) + origin) * from.out;
    return ClampCoordinate(FloorDivide(documentPixel, to.out) - FloorDivide(offset, to.in));
}

OriginLimits AxisOriginLimits(int32_t start, int32_t end, int32_t viewUnits) {
    const int64_t view = std::max<int32_t>(viewUnits, 0);
    if (int64_t{end} - start < view) {
        const int32_t centred = ClampCoordinate(FloorDivide(int64_t{start} - view + end, 2));
        return OriginLimits{centred, centred};
    }
    return OriginLimits{start, ClampCoordinate(int64_t{end} - view)};
}

int32_t ClampOrigin(int32_t origin, OriginLimits limits) {
    return std::max(std::min(origin, limits.max), limits.min);
}

int32_t ClampScroll(int32_t origin, int64_t delta, OriginLimits limits) {
    const int64_t moved = Clamp64(int64_t{origin} + Clamp64(delta, -4 * kMaxCoordinate, 4 * kMaxCoordinate),
                                  kMinCoordinate, kMaxCoordinate);
    return ClampCoordinate(int64_t{ClampOrigin(static_cast<int32_t>(moved), limits)} - origin);
}

PreviewRect VisibleImageRect(PreviewPoint origin, int32_t viewHeight, int32_t viewWidth,
                             const PreviewRect& scaledImage) {
    const int64_t top = std::max<int64_t>(origin.v, scaledImage.top);
    const int64_t left = std::max<int64_t>(origin.h, scaledImage.left);
    const int64_t bottom = std::min<int64_t>(int64_t{origin.v} + std::max<int32_t>(viewHeight, 0), scaledImage.bottom);
    const int64_t right = std::min<int64_t>(int64_t{origin.h} + std::max<int32_t>(viewWidth, 0), scaledImage.right);
    if (bottom <= top || right <= left)
        return PreviewRect{};
    return PreviewRect{static_cast<int32_t>(top), static_cast<int32_t>(left), static_cast<int32_t>(bottom),
                       static_cast<int32_t>(right)};
}

PreviewPoint ClientToPreview(PreviewPoint client, const PreviewRect& previewRect, PreviewPoint origin,
                             ZoomRatio ratio) {
    ratio = Sane(ratio);
    return PreviewPoint{
        ClampCoordinate(FloorDivide(int64_t{client.v} - previewRect.top, ratio.in) + origin.v),
        ClampCoordinate(FloorDivide(int64_t{client.h} - previewRect.left, ratio.in) + origin.h)};
}

PreviewPoint PreviewToClient(PreviewPoint unit, const PreviewRect& previewRect, PreviewPoint origin,
                             ZoomRatio ratio) {
    ratio = Sane(ratio);
    return PreviewPoint{ClampCoordinate((int64_t{unit.v} - origin.v) * ratio.in + previewRect.top),
                        ClampCoordinate((int64_t{unit.h} - origin.h) * ratio.in + previewRect.left)};
}

int32_t AutoScrollStep(int32_t marginPixels, ZoomRatio ratio) {
    ratio = Sane(ratio);
    return ClampCoordinate(std::max<int64_t>(1, CeilDivide(marginPixels, ratio.in)));
}

PreviewPoint RulerZeroOffset(const PreviewRect& scaledImage, PreviewPoint origin, ZoomRatio ratio, bool centred) {
    ratio = Sane(ratio);
    const auto offset = [&](int32_t start, int64_t size, int32_t originUnit) {
        int64_t pixels = (int64_t{start} - originUnit) * ratio.in;
        if (centred)
            pixels += FloorDivide(std::max<int64_t>(size, 0) * ratio.in, 2);
        return ClampCoordinate(pixels);
    };
    return PreviewPoint{offset(scaledImage.top, scaledImage.Height(), origin.v),
                        offset(scaledImage.left, scaledImage.Width(), origin.h)};
}
