// The frame samplers against a reference that walks every tile pixel the plain way: its position,
// the bounds test, the neighbours replaced at the edges and the kernel's weights, one pixel at a
// time with every index checked.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "FrameSampling.h"
#include "RenderArithmetic.h"

namespace {

// A frame image: planes bytes a pixel over its bounds.
struct Image {
    Rect16 bounds{};
    int32_t planes = 1;
    std::vector<uint8_t> pixels;

    int32_t Width() const { return bounds.right - bounds.left; }
    int32_t Height() const { return bounds.bottom - bounds.top; }
    uint8_t At(int32_t x, int32_t y, int32_t p) const {
        EXPECT_TRUE(x >= bounds.left && x < bounds.right && y >= bounds.top && y < bounds.bottom);
        return pixels.at((static_cast<size_t>(y - bounds.top) * Width() + (x - bounds.left)) * planes + p);
    }
};

Image Noise(Rect16 bounds, int32_t planes, uint32_t seed) {
    Image image{bounds, planes, {}};
    std::mt19937 random(seed);
    image.pixels.resize(static_cast<size_t>(image.Width()) * image.Height() * planes);
    for (uint8_t& v : image.pixels) v = static_cast<uint8_t>(random());
    return image;
}

FramePlacement Place(double a, double b, double c, double d, double e, double f) {
    FramePlacement t;
    t.a = static_cast<int32_t>(std::lround(a * 65536));
    t.b = static_cast<int32_t>(std::lround(b * 65536));
    t.c = static_cast<int32_t>(std::lround(c * 65536));
    t.d = static_cast<int32_t>(std::lround(d * 65536));
    t.e = static_cast<int32_t>(std::lround(e * 65536));
    t.f = static_cast<int32_t>(std::lround(f * 65536));
    t.rowLengthX = std::max(0x10000, static_cast<int32_t>(std::lround(std::hypot(a, b) * 65536)));
    t.rowLengthY = std::max(0x10000, static_cast<int32_t>(std::lround(std::hypot(d, e) * 65536)));
    return t;
}

FramePlacement Identity(int32_t dx = 0, int32_t dy = 0) { return Place(1, 0, dx, 0, 1, dy); }

// The reference: one sample of plane p at tile pixel (q, r).
uint8_t Reference(const Image& image, int32_t p, uint8_t fill, const FramePlacement& t, bool spline, int32_t q, int32_t r) {
    const int64_t X = int64_t{q} * t.a + int64_t{r} * t.b + t.c, Y = int64_t{q} * t.d + int64_t{r} * t.e + t.f;
    const int64_t x = X >> 16, y = Y >> 16;
    const Rect16& b = image.bounds;
    if (x < b.left || x >= b.right || y < b.top || y >= b.bottom) return fill;
    if (!spline) return image.At(static_cast<int32_t>(x), static_cast<int32_t>(y), p);
    auto neighbours = [](int64_t c, int32_t low, int32_t high) {
        std::array<int32_t, 4> n{static_cast<int32_t>(c - 1), static_cast<int32_t>(c), static_cast<int32_t>(c + 1),
                                 static_cast<int32_t>(c + 2)};
        if (n[3] >= high) {
            n[3] = n[1];
            if (n[2] >= high) n[2] = n[1];
        }
        if (n[0] < low) n[0] = n[1];
        return n;
    };
    const auto xs = neighbours(x, b.left, b.right), ys = neighbours(y, b.top, b.bottom);
    auto fraction = [](int64_t v, int64_t step) {
        int64_t span = ((v + step) & ~int64_t{0xFFFF}) - (v & ~int64_t{0xFFFF});
        if (span == 0) span = 0x10000;
        return static_cast<double>(v & 0xFFFF) / static_cast<double>(span);
    };
    const double fx = fraction(X, t.rowLengthX), fy = fraction(Y, t.rowLengthY);
    double sum = 0;
    for (int32_t k = -1; k <= 2; ++k) {
        double h = 0;
        for (int32_t j = -1; j <= 2; ++j) h += image.At(xs[j + 1], ys[k + 1], p) * RenderMath::CubicBSpline(j - fx);
        sum += static_cast<uint8_t>(static_cast<int32_t>(h + 0.5)) * RenderMath::CubicBSpline(fy - k);
    }
    return static_cast<uint8_t>(static_cast<int32_t>(sum + 0.5));
}

// The reference over a whole tile, planes samples a pixel, packed.
std::vector<uint8_t> ReferenceTile(const Image& image, const std::vector<uint8_t>& fills, const FramePlacement& t, bool spline,
                                   const Rect16& tile) {
    std::vector<uint8_t> out;
    for (int32_t r = tile.top; r < tile.bottom; ++r)
        for (int32_t q = tile.left; q < tile.right; ++q)
            for (int32_t p = 0; p < image.planes; ++p) out.push_back(Reference(image, p, fills[p], t, spline, q, r));
    return out;
}

size_t Pixels(const Rect16& tile) { return static_cast<size_t>(tile.right - tile.left) * (tile.bottom - tile.top); }

// A frame of one coverage plane.
FramePlanes Coverage(const Image& image, uint8_t fill) {
    FramePlanes f;
    f.bounds = image.bounds;
    f.image = image.pixels.data();
    f.imagePlanes = image.planes;
    f.imageFill = fill;
    return f;
}

std::vector<uint8_t> SampleCoverage(const Image& image, uint8_t fill, const FramePlacement& t, bool spline, const Rect16& tile) {
    std::vector<uint8_t> out(Pixels(tile) * image.planes, 0xA5);
    FrameSamples samples;
    samples.image = out.data();
    SampleFrameColour(Coverage(image, fill), t, spline, tile, samples);
    return out;
}

TEST(FrameSampling, TheIdentityReproducesTheImageAndFillsAroundIt) {
    const Image image = Noise(Rect16{-3, 5, 37, 60}, 1, 1);
    // The tile reaches beyond the image on every side: those pixels take the fill.
    const Rect16 tile{-10, 0, 45, 70};
    const std::vector<uint8_t> out = SampleCoverage(image, 77, Identity(), false, tile);
    for (int32_t r = tile.top; r < tile.bottom; ++r)
        for (int32_t q = tile.left; q < tile.right; ++q) {
            const bool inside = q >= 5 && q < 60 && r >= -3 && r < 37;
            const uint8_t v = out[(r - tile.top) * (tile.right - tile.left) + (q - tile.left)];
            ASSERT_EQ(v, inside ? image.At(q, r, 0) : 77) << q << ", " << r;
        }
    // Empty and inverted bounds hold no pixel: everything is beyond them.
    for (const Rect16 bounds : {Rect16{5, 5, 5, 9}, Rect16{9, 9, 5, 5}}) {
        const Image none{bounds, 1, std::vector<uint8_t>(64, 1)};
        for (const bool spline : {false, true})
            EXPECT_EQ(SampleCoverage(none, 12, Identity(), spline, Rect16{0, 0, 10, 10}), std::vector<uint8_t>(100, 12));
    }
}

TEST(FrameSampling, APositionOnTheRightOrBottomEdgeIsBeyondTheImage) {
    const Image image = Noise(Rect16{0, 0, 4, 4}, 1, 2);
    const Rect16 pixel{0, 0, 1, 1};
    for (const bool spline : {false, true}) {
        SCOPED_TRACE(spline ? "spline" : "nearest");
        EXPECT_EQ(SampleCoverage(image, 9, Identity(4, 0), spline, pixel)[0], 9);  // x = right
        EXPECT_EQ(SampleCoverage(image, 9, Identity(0, 4), spline, pixel)[0], 9);  // y = bottom
        EXPECT_EQ(SampleCoverage(image, 9, Identity(-1, 0), spline, pixel)[0], 9);
        // One step short of the edge is the last column and row.
        FramePlacement last = Identity();
        last.c = 4 * 0x10000 - 1;
        last.f = 4 * 0x10000 - 1;
        EXPECT_EQ(SampleCoverage(image, 9, last, spline, pixel)[0], Reference(image, 0, 9, last, spline, 0, 0));
    }
    FramePlacement last = Identity(3, 3);
    EXPECT_EQ(SampleCoverage(image, 9, last, false, pixel)[0], image.At(3, 3, 0));
}

TEST(FrameSampling, TheSplineRepeatsTheCentreForNeighboursBeyondTheEdges) {
    // Columns 10, 20, 30, 40 on every row; halfway between columns 2 and 3 (x = right - 2) the
    // neighbours are 1, 2, 3 and 2 again in place of 4.
    Image image{Rect16{0, 0, 4, 4}, 1, {}};
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) image.pixels.push_back(static_cast<uint8_t>(10 * (x + 1)));
    FramePlacement t = Identity(2, 1);
    t.c += 0x8000;
    const double w0 = RenderMath::CubicBSpline(-1.5), w1 = RenderMath::CubicBSpline(-0.5),
                 w2 = RenderMath::CubicBSpline(0.5), w3 = RenderMath::CubicBSpline(1.5);
    // (20 + 690 + 920 + 30) / 48 = 34.6; every row alike, and the rows' weights sum to 1.
    const double row = 20 * w0 + 30 * w1 + 40 * w2 + 30 * w3;
    EXPECT_EQ(SampleCoverage(image, 0, t, true, Rect16{0, 0, 1, 1})[0], static_cast<int32_t>(row + 0.5));
    // At x = right - 1 both right neighbours are the centre; at x = left the left one is.
    t = Identity(3, 1);
    t.c += 0x8000;
    EXPECT_EQ(SampleCoverage(image, 0, t, true, Rect16{0, 0, 1, 1})[0],
              static_cast<int32_t>(30 * w0 + 40 * (w1 + w2 + w3) + 0.5));
    t = Identity(0, 1);
    t.c += 0x8000;
    EXPECT_EQ(SampleCoverage(image, 0, t, true, Rect16{0, 0, 1, 1})[0],
              static_cast<int32_t>(10 * (w0 + w1) + 20 * w2 + 30 * w3 + 0.5));
}

// Scaled, rotated, mirrored and sheared placements, partly beyond the image, over tiles away from
// the origin, for one and three planes, against the reference.
TEST(FrameSampling, PlacementsAgreeWithTheReference) {
    struct Case {
        const char* name;
        double a, b, c, d, e, f;
    };
    const Case cases[] = {
        {"identity", 1, 0, -20, 0, 1, 7},
        {"reduced", 2.5, 0, -40.3, 0, 1.75, -10.2},
        {"magnified", 0.3, 0, 2.1, 0, 0.45, -3.7},
        {"rotated", std::cos(0.5) * 0.8, -std::sin(0.5) * 0.8, 10, std::sin(0.5) * 0.8, std::cos(0.5) * 0.8, -25},
        {"a quarter turn", 0, -1, 70, 1, 0, -30},
        {"mirrored", -1, 0, 90.5, 0, 1, -12},
        {"upside down", 1, 0, -33, 0, -0.6, 60},
        {"sheared", 0.9, 0.35, -30, -0.2, 1.1, 4},
        {"one column", 0, 0.5, 17.5, 0, 0.5, -5},
    };
    const Rect16 tile{-15, 40, 45, 120};
    for (const int32_t planes : {1, 3}) {
        const Image image = Noise(Rect16{-12, 3, 41, 71}, planes, 3 + planes);
        const std::vector<uint8_t> fills(planes, 200);
        for (const Case& c : cases) {
            for (const bool spline : {false, true}) {
                SCOPED_TRACE(testing::Message() << c.name << ", " << planes << " planes" << (spline ? ", spline" : ""));
                const FramePlacement t = Place(c.a, c.b, c.c, c.d, c.e, c.f);
                const std::vector<uint8_t> expected = ReferenceTile(image, fills, t, spline, tile);
                EXPECT_EQ(SampleCoverage(image, 200, t, spline, tile), expected);
                // The image is there at all.
                EXPECT_NE(expected, std::vector<uint8_t>(expected.size(), 200));
            }
        }
    }
}

// Random placements with exact 16.16 coefficients, steps above one pixel (the fraction shrinks)
// and below it (read as one pixel), and positions far beyond the image.
TEST(FrameSampling, RandomPlacementsAgreeWithTheReference) {
    std::mt19937 random(42);
    const Image image = Noise(Rect16{-7, -9, 23, 31}, 2, 5);
    const std::vector<uint8_t> fills = {3, 4};
    auto coefficient = [&](int32_t range) { return static_cast<int32_t>(random() % (2 * range + 1)) - range; };
    for (int32_t run = 0; run < 300; ++run) {
        FramePlacement t;
        t.a = coefficient(0x30000);
        t.b = coefficient(0x30000);
        t.d = coefficient(0x30000);
        t.e = coefficient(0x30000);
        if (run % 3 == 0) t.d = 0;  // along image rows
        if (run % 5 == 0) t.a = 0x10000;
        t.c = coefficient(0x400000);
        t.f = coefficient(0x400000);
        t.rowLengthX = static_cast<int32_t>(random() % 0x40000);
        t.rowLengthY = static_cast<int32_t>(random() % 0x40000);
        const int16_t top = static_cast<int16_t>(coefficient(30)), left = static_cast<int16_t>(coefficient(30));
        const Rect16 tile{top, left, static_cast<int16_t>(top + 1 + random() % 30), static_cast<int16_t>(left + 1 + random() % 30)};
        for (const bool spline : {false, true}) {
            SCOPED_TRACE(testing::Message() << "run " << run << (spline ? ", spline" : ""));
            FramePlanes frame;
            frame.bounds = image.bounds;
            frame.colour = image.pixels.data();
            frame.colourPlanes = 2;
            frame.colourFill[0] = 3;
            frame.colourFill[1] = 4;
            std::vector<uint8_t> out(Pixels(tile) * 2);
            FrameSamples samples;
            samples.colour = out.data();
            SampleFrameColour(frame, t, spline, tile, samples);
            ASSERT_EQ(out, ReferenceTile(image, fills, t, spline, tile));
        }
    }
}

// A three-part frame: the coverage, the colour planes and the two masks in one call, each with its
// own fill; a plane the frame lacks takes its fill, an output not asked for is not written.
TEST(FrameSampling, AThreePartFrameSamplesEveryPlaneWithItsOwnFill) {
    const Rect16 bounds{0, 0, 20, 30};
    const Image coverage = Noise(bounds, 1, 6), colour = Noise(bounds, 3, 7), inner = Noise(bounds, 1, 8),
                outer = Noise(bounds, 1, 9);
    FramePlanes frame;
    frame.bounds = bounds;
    frame.image = coverage.pixels.data();
    frame.imageFill = 0xFF;
    frame.colour = colour.pixels.data();
    frame.colourPlanes = 3;
    frame.colourFill[0] = 11;
    frame.colourFill[1] = 12;
    frame.colourFill[2] = 13;
    frame.inner = inner.pixels.data();
    frame.outer = outer.pixels.data();
    const Rect16 tile{-4, -6, 24, 33};
    const FramePlacement t = Place(0.7, 0.1, -2.2, -0.1, 0.7, 1.3);
    for (const bool spline : {false, true}) {
        SCOPED_TRACE(spline ? "spline" : "nearest");
        std::vector<uint8_t> image(Pixels(tile)), colours(Pixels(tile) * 3), inners(Pixels(tile)), outers(Pixels(tile));
        SampleFrameColour(frame, t, spline, tile, FrameSamples{image.data(), colours.data(), inners.data(), outers.data()});
        EXPECT_EQ(image, ReferenceTile(coverage, {0xFF}, t, spline, tile));
        EXPECT_EQ(colours, ReferenceTile(colour, {11, 12, 13}, t, spline, tile));
        EXPECT_EQ(inners, ReferenceTile(inner, {0xFF}, t, spline, tile));
        EXPECT_EQ(outers, ReferenceTile(outer, {0}, t, spline, tile));

        FramePlanes partial = frame;
        partial.inner = nullptr;
        std::vector<uint8_t> missing(Pixels(tile), 1), untouched(Pixels(tile), 0x5A);
        SampleFrameColour(partial, t, spline, tile, FrameSamples{nullptr, nullptr, missing.data(), nullptr});
        EXPECT_EQ(missing, std::vector<uint8_t>(Pixels(tile), 0xFF));
        EXPECT_EQ(untouched, std::vector<uint8_t>(Pixels(tile), 0x5A));
    }
    // More colour planes than fills: those beyond the fourth take 0.
    const Image five = Noise(bounds, 5, 10);
    FramePlanes wide;
    wide.bounds = bounds;
    wide.colour = five.pixels.data();
    wide.colourPlanes = 5;
    wide.colourFill[3] = 44;
    std::vector<uint8_t> out(5);
    SampleFrameColour(wide, Identity(-1, 0), false, Rect16{0, 0, 1, 1}, FrameSamples{nullptr, out.data(), nullptr, nullptr});
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 44, 0}));
}

// The second-mask placement: the first mask through the main transform, the other ORed in
// through the second, the order and the value beyond the image by the polarity.
TEST(FrameSampling, TheMaskSamplerOrsTheSecondPlaneInByPolarity) {
    const Rect16 bounds{0, 0, 16, 16};
    const Image inner = Noise(bounds, 1, 11), outer = Noise(bounds, 1, 12);
    FramePlanes frame;
    frame.bounds = bounds;
    frame.inner = inner.pixels.data();
    frame.outer = outer.pixels.data();
    frame.innerFill = 0x10;  // the mask sampler's own outside values stand, not the fills
    frame.outerFill = 0x20;
    const Rect16 tile{-3, -3, 19, 19};
    const FramePlacement main = Place(0.8, 0, 1.5, 0, 0.8, 1.5), second = Place(1.1, 0, -1.2, 0, 1.1, -0.7);
    for (const bool spline : {false, true}) {
        for (const int32_t polarity : {-1, 1, 0}) {
            SCOPED_TRACE(testing::Message() << "polarity " << polarity << (spline ? ", spline" : ""));
            const uint8_t outside = polarity < 0 ? 255 : 0;
            std::vector<uint8_t> expected(Pixels(tile), 0);
            if (polarity != 0) {
                const Image& first = polarity < 0 ? inner : outer;
                const Image& other = polarity < 0 ? outer : inner;
                const std::vector<uint8_t> a = ReferenceTile(first, {outside}, main, spline, tile);
                const std::vector<uint8_t> b = ReferenceTile(other, {outside}, second, spline, tile);
                for (size_t i = 0; i < expected.size(); ++i) expected[i] = a[i] | b[i];
            }
            // Whatever the buffer held before: every byte is written.
            std::vector<uint8_t> out(Pixels(tile), 0xC3);
            SampleFrameMask(frame, polarity, main, second, spline, tile, out.data());
            EXPECT_EQ(out, expected);
        }
    }
}

// Steps of zero (a placement that was never raised) still divide by a pixel's span.
TEST(FrameSampling, AZeroStepIsReadAsOnePixel) {
    const Image image = Noise(Rect16{0, 0, 8, 8}, 1, 13);
    FramePlacement t = Place(0.5, 0, 1.25, 0, 0.5, 2.75);
    t.rowLengthX = t.rowLengthY = 0;
    const Rect16 tile{0, 0, 6, 6};
    FramePlacement one = t;
    one.rowLengthX = one.rowLengthY = 0x10000;
    EXPECT_EQ(SampleCoverage(image, 0, t, true, tile), ReferenceTile(image, {0}, one, true, tile));
}

// Positions are worked in 64 bits: a step that would wrap a 32-bit position round into the image
// (4 x 0x40000001 is 0x100000004) stays far beyond it.
TEST(FrameSampling, FarPositionsStayBeyondTheImage) {
    const Image image = Noise(Rect16{0, 0, 8, 8}, 1, 14);
    FramePlacement t;
    t.a = 0x40000001;
    t.e = 0x10000;
    t.rowLengthX = t.rowLengthY = 0x10000;
    const Rect16 tile{0, 0, 2, 16};
    for (const bool spline : {false, true}) {
        SCOPED_TRACE(spline ? "spline" : "nearest");
        const std::vector<uint8_t> out = SampleCoverage(image, 66, t, spline, tile);
        EXPECT_EQ(out[0], Reference(image, 0, 66, t, spline, 0, 0));
        EXPECT_EQ(out[4], 66);
        EXPECT_EQ(out[8], 66);
        EXPECT_EQ(out[16], Reference(image, 0, 66, t, spline, 0, 1));
    }
}

}  // namespace
