#include "QuorvelShapes.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "LayerState.h"

namespace {

ShapePreviewItemSource& PreviewItemSource() {
    static ShapePreviewItemSource source;
    return source;
}

// The corner percentage as a fraction; 100 % and more stay just below a full circle.
double CornerFraction(int16_t percent) { return percent < 100 ? percent * 0.01 : 0.9999; }

}  // namespace

ShapeTest MakeShapeTest(RecordRef shape, const Rect16& filterRect) {
    using namespace ShapeLayout;
    const uint16_t kind = shape.Get(kKind);
    const uint8_t flags = shape.Get(kFlags);
    const double k = CornerFraction(shape.Get(kCorner));
    const double ks = (flags & kConcave) ? -k : k;
    // Sides and aspect are held to the stored ranges: a divisor and a loop count depend on them.
    const int32_t sides = std::clamp<int32_t>(shape.Get(kSides), kMinSides, kMaxSides);
    const int32_t aspect = std::clamp<int32_t>(shape.Get(kAspect), kMinAspect, kMaxAspect);
    const int16_t inset = shape.Get(kInset);

    ShapeTest test;
    double* p = test.params.data();
    switch (kind) {
    case kEllipse: SetupEllipse(p, aspect); break;
    case kRectangle:
        SetupRoundRect(p, ks, int32_t{filterRect.bottom} - filterRect.top, int32_t{filterRect.right} - filterRect.left);
        break;
    case kPolygon: ImageMakePolygon(p, sides, ks, -1.0); break;
    case kStar: ImageMakePolygon(p, sides, k, inset > 0 ? inset * 0.01 : 0.0001); break;
    case kArrow: SetupArrow(p, shape.Get(kHeadWidth) * 0.01, shape.Get(kBaseWidth) * 0.01, k); break;
    case kHeart: SetupHeart(p, k, (flags & kBrokenHeart) != 0); break;
    default: return ShapeTest{};  // the empty shape
    }
    test.kind = static_cast<ShapeKind>(kind);
    return test;
}

void SetShapePreviewItemSource(ShapePreviewItemSource source) { PreviewItemSource() = std::move(source); }

bool ShapeMaskStale(const LayerState& state, RecordRef layer) {
    return std::memcmp(state.shapeRecord.data(), ShapeOf(layer).Bytes(), ShapeLayout::kLength) != 0;
}

ErrorCode BuildShapeMask(LayerState& state, RecordRef layer, const Rect16& filterRect) {
    const RecordRef shape = ShapeOf(layer);
    state.imageMissing = false;
    state.shapeTest = MakeShapeTest(shape, filterRect);
    std::memcpy(state.shapeRecord.data(), shape.Bytes(), ShapeLayout::kLength);

    // The preview fills the tab's item inside a 2-pixel frame.
    state.imagePlanes = 1;
    state.imageBounds = Rect16{};
    const ShapePreviewItemSource& source = PreviewItemSource();
    const std::optional<Rect16> item = source ? source() : std::nullopt;
    if (!item) return 0;
    const int32_t h = int32_t{item->bottom} - item->top - 4, w = int32_t{item->right} - item->left - 4;
    if (h <= 0 || w <= 0) return 0;

    BufferRecord& mask = state.imageBuffers[0];
    if (mask.Allocate(int64_t{w} * h) != 0) {
        mask.Free();
        return 0;
    }
    const Rect16 bounds{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    AffineTransform t{};
    ImageMakeRectTransform(t, bounds, 1.0, 1.0, 0.0);
    const LockedBuffer pixels(mask);
    const bool drawn = pixels && ImageRasterize(t, bounds, pixels.As<uint8_t>(), state.shapeTest, kShapePreviewSamples) == 0;
    if (drawn) state.imageBounds = bounds;
    return 0;
}
