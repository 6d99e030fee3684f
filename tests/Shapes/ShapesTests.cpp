#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "BigEndian.h"
#include "HostMemory.h"
#include "ImageShapes.h"
#include "LayerState.h"
#include "HostCall.h"
#include "QuorvelShapes.h"
#include "SettingsLayout.h"

namespace {

Rect16 RectOf(int width, int height) { return Rect16{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)}; }

// A stored shape record with the stored defaults, then the changes a case makes.
struct ShapeBytes {
    uint8_t bytes[ShapeLayout::kLength] = {};

    explicit ShapeBytes(uint16_t kind) {
        using namespace ShapeLayout;
        const RecordRef r = Ref();
        r.Set(kMarker, -1);
        r.Set(kKind, kind);
        r.Set(kOption, 1);
        r.Set(kSides, 5);
        r.Set(kInset, 39);
        r.Set(kHeadWidth, 50);
        r.Set(kBaseWidth, 50);
    }
    RecordRef Ref() { return RecordRef(bytes); }
};

// Coverage of a shape over a width x height canvas that the shape's plane [-1, 1]^2 fills.
class Canvas {
public:
    Canvas(const ShapeTest& shape, int width, int height, int samples = kShapeRenderSamples)
        : width_(width), pixels_(static_cast<size_t>(width) * height + kGuard, kGuardByte) {
        AffineTransform t{};
        ImageMakeRectTransform(t, RectOf(width, height), 1.0, 1.0, 0.0);
        result_ = ImageRasterize(t, RectOf(width, height), pixels_.data(), shape, samples);
    }

    ErrorCode Result() const { return result_; }
    uint8_t At(int column, int row) const { return pixels_[static_cast<size_t>(row) * width_ + column]; }
    int Width() const { return width_; }
    int Height() const { return static_cast<int>((pixels_.size() - kGuard) / width_); }
    // The bytes after the canvas are never written.
    bool GuardIntact() const {
        return std::all_of(pixels_.end() - kGuard, pixels_.end(), [](uint8_t v) { return v == kGuardByte; });
    }
    bool MirrorsLeftRight() const {
        for (int r = 0; r < Height(); ++r)
            for (int c = 0; c < width_ / 2; ++c)
                if (At(c, r) != At(width_ - 1 - c, r)) return false;
        return true;
    }
    bool MirrorsTopBottom() const {
        for (int r = 0; r < Height() / 2; ++r)
            for (int c = 0; c < width_; ++c)
                if (At(c, r) != At(c, Height() - 1 - r)) return false;
        return true;
    }
    bool HasPartialPixel() const {
        return std::any_of(pixels_.begin(), pixels_.end() - kGuard, [](uint8_t v) { return v > 0 && v < 255; });
    }
    bool AllZero() const { return std::all_of(pixels_.begin(), pixels_.end() - kGuard, [](uint8_t v) { return v == 0; }); }

private:
    static constexpr size_t kGuard = 16;
    static constexpr uint8_t kGuardByte = 0xA5;
    int width_;
    std::vector<uint8_t> pixels_;
    ErrorCode result_ = 0;
};

const Rect16 kSquareFilter{0, 0, 100, 100};

// ---- Every kind: centre inside, corners outside, antialiased borders, symmetry

struct KindCase {
    uint16_t kind;
    bool mirrorsTopBottom;
};

class ShapeKinds : public testing::TestWithParam<KindCase> {};

TEST_P(ShapeKinds, CentreInsideCornersOutsideBordersAntialiasedAndSymmetric) {
    const KindCase c = GetParam();
    ShapeBytes shape(c.kind);
    shape.Ref().Set(ShapeLayout::kCorner, 20);
    const ShapeTest test = MakeShapeTest(shape.Ref(), kSquareFilter);
    ASSERT_EQ(static_cast<uint16_t>(test.kind), c.kind);

    const Canvas canvas(test, 40, 40);
    ASSERT_EQ(canvas.Result(), 0);
    EXPECT_TRUE(canvas.GuardIntact());
    EXPECT_EQ(canvas.At(20, 21), 255);
    for (const auto& [col, row] : {std::pair{0, 0}, {39, 0}, {0, 39}, {39, 39}}) EXPECT_EQ(canvas.At(col, row), 0);
    EXPECT_TRUE(canvas.HasPartialPixel());
    EXPECT_TRUE(canvas.MirrorsLeftRight());
    if (c.mirrorsTopBottom) {
        EXPECT_TRUE(canvas.MirrorsTopBottom());
    }
}

INSTANTIATE_TEST_SUITE_P(All, ShapeKinds,
                         testing::Values(KindCase{1, true}, KindCase{2, true}, KindCase{3, false}, KindCase{4, false},
                                         KindCase{5, false}, KindCase{6, false}));

// ---- The rasteriser's arithmetic, by hand

// A 4 x 4 canvas over the unit circle: grid point (q, r) lies at (q / 2 - 1, r / 2 - 1).
TEST(Rasterize, MixedPixelsAreSampledOrThresholded) {
    ShapeTest circle{ShapeKind::Ellipse};
    SetupEllipse(circle.params.data(), 0);

    // Pixel (0, 0): only its corner (-0.5, -0.5) is inside. Of the 2 x 2 points at
    // -0.875 and -0.625 on each axis only (-0.625, -0.625) is: (1 x 255 + 2) / 4 = 64.
    // Pixel (1, 0): three corners inside and all four points: 255.
    const Canvas sampled(circle, 4, 4, 2);
    EXPECT_EQ(sampled.At(0, 0), 64);
    EXPECT_EQ(sampled.At(1, 0), 255);
    // Without sub-samples one inside corner gives 0, three give 255.
    const Canvas thresholded(circle, 4, 4, 1);
    EXPECT_EQ(thresholded.At(0, 0), 0);
    EXPECT_EQ(thresholded.At(1, 0), 255);
}

TEST(Rasterize, OnlyMixedCornersAreSubSampled) {
    ShapeTest circle{ShapeKind::Ellipse};
    SetupEllipse(circle.params.data(), 0);
    // One pixel whose corners lie at (-3, -3) .. (3, 3): the whole circle is inside it, yet
    // with every corner outside the pixel stays empty.
    const AffineTransform wide{false, 6.0, 0.0, -3.0, 0.0, 6.0, -3.0};
    uint8_t pixel = 99;
    ASSERT_EQ(ImageRasterize(wide, RectOf(1, 1), &pixel, circle, 16), 0);
    EXPECT_EQ(pixel, 0);
    // A pixel inside the circle is full at once.
    const AffineTransform narrow{false, 0.1, 0.0, -0.05, 0.0, 0.1, -0.05};
    ASSERT_EQ(ImageRasterize(narrow, RectOf(1, 1), &pixel, circle, 16), 0);
    EXPECT_EQ(pixel, 255);
}

TEST(Rasterize, WritesRowsOfTheRectangleAtItsOrigin) {
    ShapeTest circle{ShapeKind::Ellipse};
    SetupEllipse(circle.params.data(), 0);
    // The rectangle (10, 20, 13, 27): 3 rows of 7 pixels, all inside a large circle.
    const AffineTransform t{false, 0.001, 0.0, -0.02, 0.0, 0.001, -0.01};
    std::vector<uint8_t> out(3 * 7 + 4, 7);
    ASSERT_EQ(ImageRasterize(t, Rect16{10, 20, 13, 27}, out.data(), circle, 16), 0);
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 21, [](uint8_t v) { return v == 255; }));
    EXPECT_TRUE(std::all_of(out.begin() + 21, out.end(), [](uint8_t v) { return v == 7; }));
    // An empty rectangle writes nothing.
    ASSERT_EQ(ImageRasterize(t, Rect16{10, 20, 10, 27}, out.data(), circle, 16), 0);
    EXPECT_EQ(out[0], 255);
}

// ---- Shape parameters

TEST(Shapes, EllipseAspectNarrowsOneAxis) {
    ShapeBytes shape(1);
    shape.Ref().Set(ShapeLayout::kAspect, 50);  // fy = 100 / 50: half as tall
    const ShapeTest tall = MakeShapeTest(shape.Ref(), kSquareFilter);
    EXPECT_TRUE(InsideShape(tall, 0.99, 0.0));
    EXPECT_FALSE(InsideShape(tall, 0.0, 0.51));
    shape.Ref().Set(ShapeLayout::kAspect, -50);  // fx = 100 / 50: half as wide
    const ShapeTest wide = MakeShapeTest(shape.Ref(), kSquareFilter);
    EXPECT_FALSE(InsideShape(wide, 0.51, 0.0));
    EXPECT_TRUE(InsideShape(wide, 0.0, 0.99));
}

TEST(Shapes, RectangleTakesTheFilterRectanglesProportions) {
    ShapeBytes shape(2);
    // 200 wide, 100 high: the rectangle spans half the plane's height.
    const ShapeTest flat = MakeShapeTest(shape.Ref(), Rect16{0, 0, 100, 200});
    EXPECT_TRUE(InsideShape(flat, 0.99, 0.49));
    EXPECT_FALSE(InsideShape(flat, 0.0, 0.51));
    // Rounded corners of 50 %: r = 0.5 x 0.5 = 0.25 round (0.75, 0.25).
    shape.Ref().Set(ShapeLayout::kCorner, 50);
    const ShapeTest rounded = MakeShapeTest(shape.Ref(), Rect16{0, 0, 100, 200});
    EXPECT_FALSE(InsideShape(rounded, 0.98, 0.48));
    EXPECT_TRUE(InsideShape(rounded, 0.9, 0.3));
    // Concave corners cut a quarter circle round the corner point itself.
    shape.Ref().Set(ShapeLayout::kFlags, 1);
    const ShapeTest concave = MakeShapeTest(shape.Ref(), Rect16{0, 0, 100, 200});
    EXPECT_FALSE(InsideShape(concave, 0.9, 0.4));
    EXPECT_TRUE(InsideShape(concave, 0.7, 0.2));
}

TEST(Shapes, CornerPercentagesFromOneHundredOnAreJustBelowFull) {
    ShapeBytes shape(2);
    shape.Ref().Set(ShapeLayout::kCorner, 100);
    const ShapeTest hundred = MakeShapeTest(shape.Ref(), kSquareFilter);
    shape.Ref().Set(ShapeLayout::kCorner, 3000);
    const ShapeTest more = MakeShapeTest(shape.Ref(), kSquareFilter);
    EXPECT_EQ(hundred.params, more.params);
    EXPECT_DOUBLE_EQ(hundred.params[2], 0.9999);  // the corner radius of a square
}

TEST(Shapes, BrokenHeartHasACrackWithStrictBounds) {
    ShapeBytes shape(6);
    const ShapeTest whole = MakeShapeTest(shape.Ref(), kSquareFilter);
    shape.Ref().Set(ShapeLayout::kFlags, 2);
    const ShapeTest broken = MakeShapeTest(shape.Ref(), kSquareFilter);
    // The middle of the crack's fourth step (an odd one, slanted the other way): y = H3 + 3.5 d.
    const double* h = broken.params.data();
    const double y = h[3] + 3.5 * h[2];
    EXPECT_TRUE(InsideShape(whole, 0.0, y));
    EXPECT_FALSE(InsideShape(broken, 0.0, y));
    // Across the crack its distance is x cos(pi/6): 0.04 lies in it, 0.06 beside it.
    EXPECT_FALSE(InsideShape(broken, 0.04 / h[8], y));
    EXPECT_TRUE(InsideShape(broken, 0.06 / h[8], y));
}

TEST(Shapes, ArrowPointsUp) {
    const ShapeTest arrow = MakeShapeTest(ShapeBytes(5).Ref(), kSquareFilter);
    EXPECT_TRUE(InsideShape(arrow, 0.0, -0.95));   // near the tip
    EXPECT_FALSE(InsideShape(arrow, 0.5, -0.95));  // beside it
    EXPECT_TRUE(InsideShape(arrow, 0.0, 0.95));    // the shaft
    EXPECT_FALSE(InsideShape(arrow, 0.9, 0.95));
}

// ---- Bad shape records render as sound shapes

struct BadShape {
    const char* what;
    uint16_t kind;
    int16_t corner, sides, inset, aspect, head, base;
    uint8_t flags;
    Rect16 filter;
};

class BadShapes : public testing::TestWithParam<BadShape> {};

TEST_P(BadShapes, RenderWithoutFault) {
    const BadShape b = GetParam();
    using namespace ShapeLayout;
    ShapeBytes shape(b.kind);
    const RecordRef r = shape.Ref();
    r.Set(kCorner, b.corner);
    r.Set(kSides, b.sides);
    r.Set(kInset, b.inset);
    r.Set(kAspect, b.aspect);
    r.Set(kHeadWidth, b.head);
    r.Set(kBaseWidth, b.base);
    r.Set(kFlags, b.flags);
    const ShapeTest test = MakeShapeTest(r, b.filter);
    const Canvas canvas(test, 24, 24);
    EXPECT_EQ(canvas.Result(), 0) << b.what;
    EXPECT_TRUE(canvas.GuardIntact()) << b.what;
    if (b.kind < 1 || b.kind > 6) {
        EXPECT_EQ(test.kind, ShapeKind::None) << b.what;
        EXPECT_TRUE(canvas.AllZero()) << b.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadShapes,
    testing::Values(BadShape{"kind 0", 0, 0, 5, 39, 0, 50, 50, 0, kSquareFilter},
                    BadShape{"kind 7", 7, 0, 5, 39, 0, 50, 50, 0, kSquareFilter},
                    BadShape{"kind 65535", 0xFFFF, 0, 5, 39, 0, 50, 50, 0, kSquareFilter},
                    BadShape{"polygon of 0 sides", 3, 0, 0, 39, 0, 50, 50, 0, kSquareFilter},
                    BadShape{"polygon of 1 side", 3, 10, 1, 39, 0, 50, 50, 1, kSquareFilter},
                    BadShape{"star of -5 sides", 4, 10, -5, 39, 0, 50, 50, 0, kSquareFilter},
                    BadShape{"star of 32767 sides", 4, 10, 32767, 39, 0, 50, 50, 0, kSquareFilter},
                    BadShape{"rectangle, empty filter", 2, 30, 5, 39, 0, 50, 50, 0, Rect16{}},
                    BadShape{"rectangle, inverted filter", 2, 30, 5, 39, 0, 50, 50, 1, Rect16{50, 50, 10, 10}},
                    BadShape{"ellipse, aspect -100", 1, 0, 5, 39, -100, 50, 50, 0, kSquareFilter},
                    BadShape{"ellipse, aspect 100", 1, 0, 5, 39, 100, 50, 50, 0, kSquareFilter},
                    BadShape{"ellipse, aspect -32768", 1, 0, 5, 39, -32768, 50, 50, 0, kSquareFilter},
                    BadShape{"polygon, corner -32768", 3, -32768, 6, 39, 0, 50, 50, 0, kSquareFilter},
                    BadShape{"star, inset -1", 4, 32767, 5, -1, 0, 50, 50, 0, kSquareFilter},
                    BadShape{"arrow, widths out of range", 5, -500, 5, 39, 0, -32768, 32767, 0, kSquareFilter},
                    BadShape{"broken heart, corner 32767", 6, 32767, 5, 39, 0, 50, 50, 3, kSquareFilter}));

TEST(Shapes, TooFewSidesCountAsATriangleAndAnEmptyFilterAsASquare) {
    ShapeBytes shape(3);
    shape.Ref().Set(ShapeLayout::kSides, 1);
    const ShapeTest one = MakeShapeTest(shape.Ref(), kSquareFilter);
    shape.Ref().Set(ShapeLayout::kSides, 3);
    EXPECT_EQ(one.params, MakeShapeTest(shape.Ref(), kSquareFilter).params);

    double fewer[ShapeTest::kParameterCount] = {}, three[ShapeTest::kParameterCount] = {};
    ImageMakePolygon(fewer, 0, 0.2, -1.0);
    ImageMakePolygon(three, 3, 0.2, -1.0);
    EXPECT_EQ(0, std::memcmp(fewer, three, sizeof fewer));

    ShapeBytes rectangle(2);
    rectangle.Ref().Set(ShapeLayout::kCorner, 40);
    EXPECT_EQ(MakeShapeTest(rectangle.Ref(), Rect16{}).params, MakeShapeTest(rectangle.Ref(), kSquareFilter).params);
}

// ---- The layer's shape state and its preview

class ShapeMaskTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        call_.emplace(HostCall{.record = &record_});
        const RecordRef shape = ShapeOf(Layer());
        std::memcpy(shape.Bytes(), ShapeBytes(1).bytes, ShapeLayout::kLength);
    }
    void TearDown() override {
        SetShapePreviewItemSource({});
        state_.Reset();
        call_.reset();
    }
    RecordRef Layer() { return RecordRef(layer_.data()); }
    uint8_t MaskAt(int column, int row) {
        const auto* mask = reinterpret_cast<const uint8_t*>(state_.imageBuffers[0].Lock());
        const uint8_t v = mask[row * state_.imageBounds.right + column];
        state_.imageBuffers[0].Unlock();
        return v;
    }

    FilterRecord record_{};
    std::optional<HostCallScope> call_;
    std::vector<uint8_t> layer_ = std::vector<uint8_t>(LayerLayout::kLength);
    LayerState state_;
};

TEST_F(ShapeMaskTest, WithTheTabClosedOnlyTheTestIsBuilt) {
    state_.imageMissing = true;
    EXPECT_TRUE(ShapeMaskStale(state_, Layer()));
    EXPECT_EQ(BuildShapeMask(state_, Layer(), kSquareFilter), 0);
    EXPECT_FALSE(state_.imageMissing);
    EXPECT_EQ(state_.shapeTest.kind, ShapeKind::Ellipse);
    EXPECT_FALSE(ShapeMaskStale(state_, Layer()));
    EXPECT_EQ(state_.imageBounds.bottom, 0);
    EXPECT_EQ(state_.imageBounds.right, 0);
    EXPECT_EQ(state_.imagePlanes, 1);
}

TEST_F(ShapeMaskTest, PreviewFillsTheTabsItemInsideATwoPixelFrame) {
    SetShapePreviewItemSource([] { return std::optional<Rect16>(Rect16{10, 10, 34, 44}); });
    ASSERT_EQ(BuildShapeMask(state_, Layer(), kSquareFilter), 0);
    EXPECT_EQ(state_.imageBounds.bottom, 20);
    EXPECT_EQ(state_.imageBounds.right, 30);
    EXPECT_EQ(MaskAt(15, 10), 255);
    EXPECT_EQ(MaskAt(0, 0), 0);
    EXPECT_EQ(MaskAt(29, 19), 0);

    // A changed record is seen as stale; a kind out of range leaves an empty shape.
    ShapeOf(Layer()).Set(ShapeLayout::kKind, 9);
    EXPECT_TRUE(ShapeMaskStale(state_, Layer()));
    ASSERT_EQ(BuildShapeMask(state_, Layer(), kSquareFilter), 0);
    EXPECT_EQ(state_.shapeTest.kind, ShapeKind::None);
    EXPECT_EQ(MaskAt(15, 10), 0);

    // An item too small for its frame gives no preview.
    SetShapePreviewItemSource([] { return std::optional<Rect16>(Rect16{0, 0, 4, 40}); });
    ASSERT_EQ(BuildShapeMask(state_, Layer(), kSquareFilter), 0);
    EXPECT_EQ(state_.imageBounds.bottom, 0);
}

}  // namespace
