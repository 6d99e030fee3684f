// The frame samplers over a 2000 x 2000 tile of a 6000 x 4000 frame: nearest samples at the frame's
// own size, reduced and turned, the B-spline magnified and turned, and a three-part frame's four
// plane sets at once: nanoseconds per tile pixel, best of five runs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "FrameSampling.h"

namespace {

constexpr int32_t kFrameWidth = 6000, kFrameHeight = 4000, kTile = 2000;
constexpr double kPixels = double{kTile} * kTile;

std::vector<uint8_t> Plane(int32_t planes, uint32_t seed) {
    std::vector<uint8_t> p(static_cast<size_t>(kFrameWidth) * kFrameHeight * planes);
    uint32_t v = seed;
    for (uint8_t& b : p) {
        v = v * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(v >> 24);
    }
    return p;
}

// The placement: scale s (image pixels per tile pixel) turned by angle radians, the tile's corner
// at image position (x, y).
FramePlacement Place(double s, double angle, double x, double y) {
    const double a = s * std::cos(angle), b = -s * std::sin(angle), d = s * std::sin(angle), e = s * std::cos(angle);
    FramePlacement t;
    t.a = static_cast<int32_t>(std::lround(a * 65536));
    t.b = static_cast<int32_t>(std::lround(b * 65536));
    t.c = static_cast<int32_t>(std::lround(x * 65536));
    t.d = static_cast<int32_t>(std::lround(d * 65536));
    t.e = static_cast<int32_t>(std::lround(e * 65536));
    t.f = static_cast<int32_t>(std::lround(y * 65536));
    t.rowLengthX = t.rowLengthY = std::max(0x10000, static_cast<int32_t>(std::lround(s * 65536)));
    return t;
}

template <typename Run>
double NanosecondsPerPixel(Run run) {
    double best = 1e30;
    for (int32_t i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best * 1e9 / kPixels;
}

}  // namespace

int main() {
    const std::vector<uint8_t> coverage = Plane(1, 1), colour = Plane(3, 2), inner = Plane(1, 3), outer = Plane(1, 4);
    FramePlanes frame;
    frame.bounds = Rect16{0, 0, kFrameHeight, kFrameWidth};
    frame.image = coverage.data();
    const Rect16 tile{0, 0, kTile, kTile};
    std::vector<uint8_t> out(static_cast<size_t>(kTile) * kTile), colours(out.size() * 3), inners(out.size()), outers(out.size());
    FrameSamples one;
    one.image = out.data();

    struct Case {
        const char* name;
        FramePlacement placement;
        bool spline;
    };
    // Each placement reaches past the frame's edge somewhere, as tiles at a frame's border do.
    const Case cases[] = {
        {"nearest, own size", Place(1, 0, 4500, 1000), false},
        {"nearest, reduced 1.5", Place(1.5, 0, 3500, 1500), false},
        {"nearest, turned 10 degrees", Place(1, 0.1745, 4200, 500), false},
        {"spline, magnified 2", Place(0.5, 0, 5500, 3500), true},
        {"spline, magnified 2 and turned", Place(0.5, 0.1745, 5500, 3000), true},
    };
    std::printf("frame sampling, %d x %d tile of a %d x %d frame, best of 5\n", kTile, kTile, kFrameWidth, kFrameHeight);
    for (const Case& c : cases) {
        const double ns = NanosecondsPerPixel([&] { SampleFrameColour(frame, c.placement, c.spline, tile, one); });
        std::printf("  coverage, %-32s %6.2f ns/pixel\n", c.name, ns);
    }
    frame.imageFill = 0xFF;
    frame.colour = colour.data();
    frame.colourPlanes = 3;
    frame.inner = inner.data();
    frame.outer = outer.data();
    const FrameSamples all{out.data(), colours.data(), inners.data(), outers.data()};
    for (const Case& c : {cases[0], cases[3]}) {
        const double ns = NanosecondsPerPixel([&] { SampleFrameColour(frame, c.placement, c.spline, tile, all); });
        std::printf("  three-part, %-30s %6.2f ns/pixel\n", c.name, ns);
    }
    for (const Case& c : {cases[0], cases[3]}) {
        const double ns =
            NanosecondsPerPixel([&] { SampleFrameMask(frame, -1, c.placement, Place(1.1, 0, 4000, 1000), c.spline, tile, out.data()); });
        std::printf("  second mask, %-29s %6.2f ns/pixel\n", c.name, ns);
    }
    return 0;
}
