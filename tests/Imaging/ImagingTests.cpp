#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

#include "HostMemory.h"
#include "HostCall.h"
#include "Kernels.h"

namespace {

// Kernels live in buffer records taken from global memory (a host without buffer procedures).
class ImagingTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        call_.emplace(HostCall{.record = &record_});
    }
    void TearDown() override {
        FreeAllBuffers();
        call_.reset();
    }

    std::vector<uint32_t> GaussWeights(int32_t radius) {
        ImageMakeGaussKernel(kernel_, radius);
        const auto* header = reinterpret_cast<const GaussKernelHeader*>(kernel_.Lock());
        const auto* w = reinterpret_cast<const uint32_t*>(header + 1);
        std::vector<uint32_t> weights(w, w + header->radius + 1);
        kernel_.Unlock();
        return weights;
    }
    // Disc weight at offset (dx, dy) from the centre of the kernel held in disc_.
    uint16_t DiscAt(int32_t dx, int32_t dy) {
        const auto* header = reinterpret_cast<const DiscKernelHeader*>(disc_.Lock());
        const int32_t reach = std::abs(header->radius), side = 2 * reach + 1;
        const uint16_t weight = reinterpret_cast<const uint16_t*>(header + 1)[(dy + reach) * side + dx + reach];
        disc_.Unlock();
        return weight;
    }

    FilterRecord record_{};
    std::optional<HostCallScope> call_;
    BufferRecord kernel_;
    BufferRecord disc_;
};

Rect16 RectOf(int width, int height) { return Rect16{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)}; }

template <typename T>
std::vector<T> RandomPlane(size_t count, unsigned seed, int maximum) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> value(0, maximum);
    std::vector<T> plane(count);
    for (T& v : plane) v = static_cast<T>(value(generator));
    return plane;
}

// The blur written out plainly: vertical pass over the padded width, then horizontal.
std::vector<int> ReferenceBlur(const std::vector<uint8_t>& in, int width, int height, const std::vector<uint32_t>& w) {
    const int r = static_cast<int>(w.size()) - 1, p = width + 2 * r;
    std::vector<int> vertical(static_cast<size_t>(p) * height), out(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < p; ++x) {
            int64_t sum = w[0] * in[(y + r) * p + x];
            for (int k = 1; k <= r; ++k) sum += w[k] * (in[(y + r - k) * p + x] + in[(y + r + k) * p + x]);
            vertical[y * p + x] = static_cast<int>((sum + 2048) >> 12);
        }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int64_t sum = w[0] * vertical[y * p + x + r];
            for (int k = 1; k <= r; ++k) sum += w[k] * (vertical[y * p + x + r - k] + vertical[y * p + x + r + k]);
            out[y * width + x] = static_cast<int>((sum + 2048) >> 12);
        }
    return out;
}

// ---- Gauss kernel and blurs

TEST_F(ImagingTest, GaussKernelsSumTo4096AndRadiusOneIsExact) {
    EXPECT_DOUBLE_EQ(ImageMakeGaussKernel(kernel_, 0), 1.0);
    EXPECT_EQ(kernel_.id, nullptr);  // no kernel for radius 0

    EXPECT_DOUBLE_EQ(ImageMakeGaussKernel(kernel_, 1), 1.1);
    EXPECT_EQ(GaussWeights(1), (std::vector<uint32_t>{3640, 228}));

    for (int32_t radius : {2, 3, 7, 24, 60}) {
        const std::vector<uint32_t> w = GaussWeights(radius);
        ASSERT_EQ(w.size(), static_cast<size_t>(radius) + 1);
        uint32_t sum = w[0];
        for (int32_t k = 1; k <= radius; ++k) {
            sum += 2 * w[k];
            EXPECT_LE(w[k], w[k - 1]) << radius;
        }
        EXPECT_EQ(sum, 4096u) << radius;
    }

    // An unchanged radius keeps the kernel as it is.
    GaussWeights(5);
    reinterpret_cast<uint32_t*>(kernel_.Lock())[4] = 999;
    kernel_.Unlock();
    EXPECT_DOUBLE_EQ(ImageMakeGaussKernel(kernel_, 5), 1.5);
    EXPECT_EQ(GaussWeights(5)[0], 999u);
}

TEST_F(ImagingTest, BlurOfAnImpulseIsTheKernelTwiceRounded) {
    ImageMakeGaussKernel(kernel_, 1);
    std::vector<uint8_t> plane(5 * 5, 0);
    plane[2 * 5 + 2] = 255;
    ImageBlurPlane(&kernel_, RectOf(3, 3), plane.data());
    // Vertical: 227 at the centre, 14 above and below; then horizontally again.
    const uint8_t expected[9] = {1, 12, 1, 13, 202, 13, 1, 12, 1};
    EXPECT_EQ(std::memcmp(plane.data(), expected, 9), 0);
}

TEST_F(ImagingTest, BlurKeepsAConstantPlaneInEveryForm) {
    ImageMakeGaussKernel(kernel_, 6);
    const int width = 40, height = 7, padded = (width + 12) * (height + 12);
    std::vector<uint8_t> plane(padded, 200);
    ImageBlurPlane(&kernel_, RectOf(width, height), plane.data());
    for (int i = 0; i < width * height; ++i) ASSERT_EQ(plane[i], 200) << i;

    std::vector<uint16_t> deep(padded, 32768);
    ImageBlurPlane16(&kernel_, RectOf(width, height), deep.data());
    for (int i = 0; i < width * height; ++i) ASSERT_EQ(deep[i], 32768) << i;

    std::vector<uint8_t> pixels(static_cast<size_t>(padded) * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 3 == 0 ? 10 : i % 3 == 1 ? 128 : 255);
    ImageBlurInterleaved(&kernel_, RectOf(width, height), pixels.data(), 3);
    for (int i = 0; i < width * height; ++i) {
        ASSERT_EQ(pixels[3 * i], 10);
        ASSERT_EQ(pixels[3 * i + 1], 128);
        ASSERT_EQ(pixels[3 * i + 2], 255);
    }
}

TEST_F(ImagingTest, BlursAgreeWithTheTwoPassFormulaAndWithEachOther) {
    const int width = 700, height = 9, radius = 4;  // wider than one working chunk
    const std::vector<uint32_t> w = GaussWeights(radius);
    const size_t padded = static_cast<size_t>(width + 2 * radius) * (height + 2 * radius);
    const std::vector<uint8_t> source = RandomPlane<uint8_t>(padded, 7, 255);
    const std::vector<int> expected = ReferenceBlur(source, width, height, w);

    std::vector<uint8_t> plane = source;
    ImageBlurPlane(&kernel_, RectOf(width, height), plane.data());
    std::vector<uint16_t> deep(source.begin(), source.end());
    ImageBlurPlane16(&kernel_, RectOf(width, height), deep.data());
    for (int i = 0; i < width * height; ++i) {
        ASSERT_EQ(plane[i], expected[i]) << i;
        ASSERT_EQ(deep[i], expected[i]) << i;  // 8-bit values take the same path at 16 bits
    }

    // Three interleaved channels blur as three planes.
    std::vector<uint8_t> pixels(padded * 3);
    for (size_t i = 0; i < padded; ++i) {
        pixels[3 * i] = source[i];
        pixels[3 * i + 1] = static_cast<uint8_t>(255 - source[i]);
        pixels[3 * i + 2] = 77;
    }
    ImageBlurInterleaved(&kernel_, RectOf(width, height), pixels.data(), 3);
    for (int i = 0; i < width * height; ++i) {
        ASSERT_EQ(pixels[3 * i], expected[i]) << i;
        ASSERT_EQ(pixels[3 * i + 2], 77) << i;
    }

    // Without a kernel nothing moves.
    BufferRecord none;
    std::vector<uint8_t> untouched = source;
    ImageBlurPlane(&none, RectOf(10, 10), untouched.data());
    EXPECT_EQ(untouched, source);
}

// ---- Disc, spread and choke

TEST_F(ImagingTest, DiscKernelIsARoundedCircle) {
    EXPECT_DOUBLE_EQ(ImageMakeDiscKernel(disc_, 0), 1.0);
    EXPECT_EQ(disc_.id, nullptr);
    EXPECT_DOUBLE_EQ(ImageMakeDiscKernel(disc_, 3), 1.18);
    EXPECT_EQ(DiscAt(0, 0), 256);
    EXPECT_EQ(DiscAt(2, 0), 256);  // (2.5)^2 + 0.25 <= 3.5^2
    EXPECT_EQ(DiscAt(3, 3), 0);    // (2.5)^2 + (2.5)^2 > 3.5^2
    const uint16_t edge = DiscAt(3, 0);
    EXPECT_GT(edge, 0);
    EXPECT_LT(edge, 256);
    for (int dx = -3; dx <= 3; ++dx)
        for (int dy = -3; dy <= 3; ++dy) {
            EXPECT_EQ(DiscAt(dx, dy), DiscAt(-dx, dy));
            EXPECT_EQ(DiscAt(dx, dy), DiscAt(dy, dx));
        }
    EXPECT_DOUBLE_EQ(ImageMakeDiscKernel(disc_, -3), 1.18);  // a choke of the same size
    EXPECT_EQ(DiscAt(3, 0), edge);
}

TEST_F(ImagingTest, SpreadAndChokeOnSmallPlanes) {
    // Square window of radius 1 over a 3 x 3 rectangle (5 x 5 padded).
    std::vector<uint8_t> plane(25, 0);
    plane[0] = 255;  // padded corner: reaches only the first pixel
    ImageSpreadPlane(nullptr, 1, RectOf(3, 3), plane.data());
    EXPECT_EQ(std::vector<uint8_t>(plane.begin(), plane.begin() + 9), (std::vector<uint8_t>{255, 0, 0, 0, 0, 0, 0, 0, 0}));

    std::vector<uint8_t> holes(25, 255);
    holes[12] = 0;  // the centre: every window holds it
    ImageSpreadPlane(nullptr, -1, RectOf(3, 3), holes.data());
    EXPECT_EQ(std::vector<uint8_t>(holes.begin(), holes.begin() + 9), std::vector<uint8_t>(9, 0));

    // Through the disc the diagonal neighbour only gets its share.
    ImageMakeDiscKernel(disc_, 1);
    const uint16_t side = DiscAt(1, 0), corner = DiscAt(1, 1);
    ASSERT_LT(corner, 256);
    std::vector<uint8_t> dot(25, 0);
    dot[12] = 255;
    ImageSpreadPlane(&disc_, 1, RectOf(3, 3), dot.data());
    const uint8_t s = static_cast<uint8_t>((255 * side + 127) >> 8), c = static_cast<uint8_t>((255 * corner + 127) >> 8);
    EXPECT_EQ(std::vector<uint8_t>(dot.begin(), dot.begin() + 9), (std::vector<uint8_t>{c, s, c, s, 255, s, c, s, c}));

    ImageMakeDiscKernel(disc_, -1);
    std::vector<uint8_t> pit(25, 255);
    pit[12] = 0;
    ImageSpreadPlane(&disc_, -1, RectOf(3, 3), pit.data());
    const uint8_t cs = static_cast<uint8_t>(255 - s), cc = static_cast<uint8_t>(255 - c);
    EXPECT_EQ(std::vector<uint8_t>(pit.begin(), pit.begin() + 9), (std::vector<uint8_t>{cc, cs, cc, cs, 0, cs, cc, cs, cc}));
}

TEST_F(ImagingTest, DiscSpreadMatchesTheWindowFormulaAcrossChunks) {
    for (const int radius : {3, 9}) {
        const int width = 600, height = 5, p = width + 2 * radius;  // wider than one working chunk
        const size_t samples = static_cast<size_t>(p) * (height + 2 * radius);
        // Uniform noise, and planes nearly full or nearly empty (where whole chunks reach the limit).
        std::vector<uint8_t> full(samples, 255), empty(samples, 0);
        for (size_t i = 0; i < samples; i += 97) {
            full[i] = static_cast<uint8_t>(i % 200);
            empty[i] = static_cast<uint8_t>(55 + i % 200);
        }
        const std::vector<uint8_t> sources[] = {RandomPlane<uint8_t>(samples, 11 + radius, 255), full, empty};
        for (const std::vector<uint8_t>& source : sources) {
            for (const int sign : {1, -1}) {
                ImageMakeDiscKernel(disc_, sign * radius);
                std::vector<uint8_t> plane = source;
                ImageSpreadPlane(&disc_, sign * radius, RectOf(width, height), plane.data());
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        int value = sign > 0 ? 0 : 255;
                        for (int dy = 0; dy <= 2 * radius; ++dy)
                            for (int dx = 0; dx <= 2 * radius; ++dx) {
                                const int v = source[(y + dy) * p + x + dx], k = DiscAt(dx - radius, dy - radius);
                                value = sign > 0 ? std::max(value, (v * k + 127) >> 8)
                                                 : std::min(value, 255 - (((255 - v) * k + 127) >> 8));
                            }
                        ASSERT_EQ(plane[y * width + x], value) << radius * sign << " at " << x << "," << y;
                    }
            }
        }
    }
}

// ---- Distance

TEST_F(ImagingTest, DistancesOnAHandCheckedRow) {
    // A 5 x 1 rectangle with radius 2: 9 x 5 padded, one partly covered sample at the first pixel.
    std::vector<uint8_t> plane(9 * 5, 255);
    plane[2 * 9 + 2] = 100;
    std::vector<uint16_t> out(5);
    ImageDistancePass(2, RectOf(5, 1), plane.data(), out.data());
    // Its own value; then sqrt(100^2 + 255^2 k^2) rounded; then nothing within reach: 3 x 255.
    EXPECT_EQ(out, (std::vector<uint16_t>{100, 274, 520, 765, 765}));

    // An edge two rows above a single pixel.
    std::vector<uint8_t> column(5 * 5, 255);
    column[0 * 5 + 2] = 0;
    uint16_t single = 0;
    ImageDistancePass(2, RectOf(1, 1), column.data(), &single);
    EXPECT_EQ(single, 510);
}

TEST_F(ImagingTest, DistanceRowGrowsAndLargeRadiiSaturate) {
    std::vector<uint8_t> small(9 * 5, 255);
    std::vector<uint16_t> out(5);
    ImageDistancePass(2, RectOf(5, 1), small.data(), out.data());

    // A later, wider call: the working row grows with it.
    const int radius = 40, width = 300;
    std::vector<uint8_t> wide(static_cast<size_t>(width + 2 * radius) * (1 + 2 * radius), 255);
    wide[radius * (width + 2 * radius) + radius + width - 1] = 0;  // at the last pixel
    std::vector<uint16_t> row(width);
    ImageDistancePass(radius, RectOf(width, 1), wide.data(), row.data());
    EXPECT_EQ(row[width - 1], 0);
    EXPECT_EQ(row[width - 2], 255);
    EXPECT_EQ(row[0], 41 * 255);

    // (r + 1) x 255 passes 16 bits here: the result saturates instead of wrapping.
    const int big = 300;
    std::vector<uint8_t> full(static_cast<size_t>(1 + 2 * big) * (1 + 2 * big), 255);
    uint16_t distance = 0;
    ImageDistancePass(big, RectOf(1, 1), full.data(), &distance);
    EXPECT_EQ(distance, 65535);
    full[big * (1 + 2 * big)] = 0;  // 300 columns to the left
    ImageDistancePass(big, RectOf(1, 1), full.data(), &distance);
    EXPECT_EQ(distance, 65535);
    full[big * (1 + 2 * big) + big - 200] = 0;  // 200 columns away: 51000
    ImageDistancePass(big, RectOf(1, 1), full.data(), &distance);
    EXPECT_EQ(distance, 51000);
}

// The distance by its definition: a vertical scan with early stops, then the neighbouring
// columns within (d - 1) / 255.
std::vector<uint16_t> ReferenceDistances(const std::vector<uint8_t>& plane, int width, int height, int r) {
    const int p = width + 2 * r;
    std::vector<uint16_t> out(static_cast<size_t>(width) * height);
    std::vector<int64_t> d(p);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < p; ++x) {
            d[x] = int64_t{r + 1} * 255;
            for (int k = 0; k <= r; ++k) {
                const int u = plane[(y + r - k) * p + x], w = plane[(y + r + k) * p + x];
                if (u < w) { d[x] = 255 * k + u; break; }
                if (w != 255) { d[x] = 255 * k + w; break; }
            }
        }
        for (int x = 0; x < width; ++x) {
            const int64_t own = d[x + r];
            int64_t best = own * own;
            for (int64_t k = 1; k <= (own - 1) / 255 && best > 0; ++k)
                best = std::min({best, d[x + r - k] * d[x + r - k] + 65025 * k * k, d[x + r + k] * d[x + r + k] + 65025 * k * k});
            out[y * width + x] = static_cast<uint16_t>(std::min(std::trunc(std::sqrt(double(best)) + 0.5), 65535.0));
        }
    }
    return out;
}

TEST_F(ImagingTest, DistancesMatchTheColumnScanOnRandomCoverage) {
    std::mt19937 generator(21);
    for (int radius : {1, 5, 37, 260}) {
        const int width = 300, height = 3, p = width + 2 * radius;
        std::vector<uint8_t> plane(static_cast<size_t>(p) * (height + 2 * radius));
        // Mostly covered, with scattered edge samples and a few empty runs.
        for (uint8_t& v : plane) {
            const unsigned roll = generator() % 1000;
            v = roll < 985 ? 255 : roll < 995 ? static_cast<uint8_t>(generator() % 255) : 0;
        }
        std::vector<uint16_t> out(static_cast<size_t>(width) * height);
        ImageDistancePass(radius, RectOf(width, height), plane.data(), out.data());
        EXPECT_EQ(out, ReferenceDistances(plane, width, height, radius)) << radius;
    }
}

// ---- Noise

TEST_F(ImagingTest, NoiseAdvancesItsSeedAndFollowsTheLightOrDark) {
    std::vector<uint8_t> plane = RandomPlane<uint8_t>(64, 3, 255);
    const std::vector<uint8_t> original = plane;
    uint32_t expectedSeed = ImageNoiseSeed();
    for (int i = 0; i < 64; ++i) expectedSeed *= 987654321u;
    ImageAddNoise(RectOf(8, 8), 0, plane.data());
    EXPECT_EQ(plane, original);
    EXPECT_EQ(ImageNoiseSeed(), expectedSeed);

    std::vector<uint8_t> first(64, 128), second(64, 128);
    ImageAddNoise(RectOf(8, 8), 100, first.data());
    ImageAddNoise(RectOf(8, 8), 100, second.data());
    EXPECT_NE(first, second);
    EXPECT_NE(first, std::vector<uint8_t>(64, 128));

    std::vector<uint8_t> black(64, 0), white(64, 255);
    ImageAddNoise(RectOf(8, 8), 250, black.data());   // light parts only
    ImageAddNoise(RectOf(8, 8), -250, white.data());  // dark parts only
    EXPECT_EQ(black, std::vector<uint8_t>(64, 0));
    EXPECT_EQ(white, std::vector<uint8_t>(64, 255));
}

// ---- Tables and light

TEST(ImagingTables, EntriesAtTheirKnownPoints) {
    ImageBuildSqrtTable();
    ImageBuildGaussTable();
    ImageBuildCosineTable();
    EXPECT_EQ(ImageSqrtTable()[0], 0);
    EXPECT_EQ(ImageSqrtTable()[2500], 32768);
    EXPECT_EQ(ImageSqrtTable()[10000], 65535);
    EXPECT_EQ(ImageGaussTable()[0], 255);
    EXPECT_EQ(ImageGaussTable()[100], 155);
    EXPECT_EQ(ImageGaussTable()[400], 0);
    EXPECT_EQ(ImageCosineTable()[0], 0);
    EXPECT_EQ(ImageCosineTable()[7500], 127);  // 127.49999998: the constant pi is a little long
    EXPECT_EQ(ImageCosineTable()[15000], 255);

    EXPECT_EQ(ImageShade(0.0), 0.0);
    EXPECT_NEAR(ImageShade(0.5), 0.5204998778130465, 1e-15);
    EXPECT_NEAR(ImageShade(-2.0), -0.9953222650189527, 1e-15);
    EXPECT_EQ(ImageShade(6.0), 1.0);
    EXPECT_EQ(ImageShade(-7.0), -1.0);
}

TEST(ImagingLight, PlasticLightFromAbove) {
    const uint8_t plastic[4] = {4, 40, 15, 40};
    BevelLight light{};
    ImageSetupBevelLight(light, std::numbers::pi / 2, 0.0, plastic);
    EXPECT_NEAR(light.zenith, 0.0, 1e-9);
    EXPECT_NEAR(light.lightZ, 1.0, 1e-12);
    EXPECT_NEAR(light.lightY, 0.0, 1e-12);
    EXPECT_EQ(light.level0, 154 << 8);
    EXPECT_EQ(light.level1, 154 * 102);
    EXPECT_EQ(light.level2, 102 * 102);
    EXPECT_EQ(light.profile[0], 255);
    EXPECT_EQ(light.profile[360], 0);
    EXPECT_EQ(light.profile[180], 128);  // the terminator: half lit
    for (int k = 1; k < kLightProfileLength; ++k) EXPECT_LE(light.profile[k], light.profile[k - 1]);
    EXPECT_DOUBLE_EQ(light.norm0, 1.0);
    EXPECT_DOUBLE_EQ(light.norm1, light.norm0);

    // A softness of 0 degrees stays finite.
    const uint8_t sharp[4] = {1, 90, 0, 100};
    ImageSetupBevelLight(light, -std::numbers::pi / 2, 1.0, sharp);
    EXPECT_TRUE(std::isfinite(light.softness));
    EXPECT_TRUE(std::isfinite(light.norm1));
}

// ---- Transforms

TEST(ImagingTransforms, RectangleMapsOntoTheUnitSquareAndInverts) {
    const Rect16 rect{0, 0, 100, 200};
    AffineTransform t{};
    ImageMakeRectTransform(t, rect, 1.0, 1.0, 0.0);
    EXPECT_FALSE(t.mirror);
    EXPECT_NEAR(t.a * 0 + t.b * 0 + t.c, -1.0, 1e-12);
    EXPECT_NEAR(t.d * 200 + t.e * 100 + t.f, 1.0, 1e-12);
    EXPECT_NEAR(t.a * 100 + t.b * 50 + t.c, 0.0, 1e-12);

    ImageMakeRectTransform(t, rect, -2.0, 1.0, std::numbers::pi / 2);
    EXPECT_TRUE(t.mirror);
    AffineTransform inverse = t;
    ImageInvertTransform(inverse);
    const double x = 37.0, y = 81.0;
    const double u = t.a * x + t.b * y + t.c, v = t.d * x + t.e * y + t.f;
    EXPECT_NEAR(inverse.a * u + inverse.b * v + inverse.c, x, 1e-9);
    EXPECT_NEAR(inverse.d * u + inverse.e * v + inverse.f, y, 1e-9);

    // An unturned rotation scales the rectangle's half extents to 1 about its centre.
    ImageMakeRotation(t, rect, 0.0);
    EXPECT_NEAR(t.a, 1.0 / 100, 1e-15);
    EXPECT_NEAR(t.e, 1.0 / 50, 1e-15);
    EXPECT_NEAR(t.a * 100 + t.c, 0.0, 1e-12);
    EXPECT_NEAR(t.e * 50 + t.f, 0.0, 1e-12);
    EXPECT_FALSE(t.mirror);
}

// ---- Splines

TEST(ImagingSplines, PathsPassThroughTheirPoints) {
    const double x[] = {0.0, 0.5, 1.5, 2.0, 4.0, 4.5};
    const double y[] = {0.0, 2.0, 1.0, -1.0, 3.0, 3.5};
    SplinePath path;
    ImageMakeSplinePath(path, 6, x, y);
    ASSERT_EQ(path.status, 0);
    ASSERT_EQ(path.controlCount, 8);
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(path.values[i], y[i], 1e-9) << i;
        EXPECT_NEAR(ImageSplineValue(path, x[i]), y[i], 1e-9) << i;
    }
    double w[4];
    EXPECT_EQ(ImageSplineBasis(-0.1, 8, path.knots.data(), w), -1);
    EXPECT_EQ(ImageSplineBasis(4.6, 8, path.knots.data(), w), -1);
    EXPECT_EQ(ImageSplineBasis(4.5, 8, path.knots.data(), w), 7);  // the last point: the last interval
    EXPECT_EQ(ImageSplineBasis(1.7, 8, path.knots.data(), w), 5);
    EXPECT_NEAR(w[0] + w[1] + w[2] + w[3], 1.0, 1e-12);

    // Points on a line give the line between them.
    const double lx[] = {0.0, 1.0, 3.0}, ly[] = {1.0, 3.0, 7.0};
    ImageMakeSplinePath(path, 3, lx, ly);
    ASSERT_EQ(path.status, 0);
    EXPECT_NEAR(ImageSplineValue(path, 2.25), 5.5, 1e-9);
    EXPECT_NEAR(ImageSplineValue(path, 0.4), 1.8, 1e-9);

    ImageMakeSplinePath(path, 1, lx, ly);
    EXPECT_EQ(path.status, -1);
    const double backwards[] = {0.0, 2.0, 2.0};
    ImageMakeSplinePath(path, 3, backwards, ly);
    EXPECT_EQ(path.status, -1);
}

}  // namespace
