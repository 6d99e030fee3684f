// Megapixels per second of the image-processing kernels on a 6000 x 4000 plane.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "HostCall.h"
#include "HostMemory.h"
#include "Kernels.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kRuns = 3;
constexpr double kMegapixels = kWidth * kHeight / 1e6;

const Rect16 kRect{0, 0, kHeight, kWidth};

// A frame-like mask: rings of full coverage, soft edges and empty space, the kind of plane the
// renderer spreads, blurs and measures.
template <typename T>
std::vector<T> MaskPlane(int radius, int channels, T full) {
    const int width = kWidth + 2 * radius, height = kHeight + 2 * radius;
    std::vector<T> plane(static_cast<size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int edge = std::min({x, y, width - 1 - x, height - 1 - y});
            const int band = edge % 400;
            const T value = band < 150 ? full : band < 160 ? static_cast<T>(full * (160 - band) / 10) : T{0};
            for (int c = 0; c < channels; ++c)
                plane[(static_cast<size_t>(y) * width + x) * channels + c] = value;
        }
    return plane;
}

// Times `work` on a fresh copy of `source` each run; answers the best megapixels per second.
template <typename T>
double Rate(const std::vector<T>& source, const std::function<void(T*)>& work) {
    std::vector<T> plane(source.size());
    double best = 0.0;
    for (int run = 0; run < kRuns; ++run) {
        std::memcpy(plane.data(), source.data(), source.size() * sizeof(T));
        const auto start = std::chrono::steady_clock::now();
        work(plane.data());
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::max(best, kMegapixels / seconds);
    }
    return best;
}

void Report(const char* kernel, double rate) { std::printf("%-34s %8.1f MP/s\n", kernel, rate); }

}  // namespace

int main() {
    FilterRecord record{};
    const HostCallScope call(HostCall{.record = &record});
    std::printf("%d x %d plane, best of %d runs\n", kWidth, kHeight, kRuns);

    const std::vector<uint8_t> flat = MaskPlane<uint8_t>(0, 1, 255);
    Report("noise (amount 40)", Rate<uint8_t>(flat, [](uint8_t* p) { ImageAddNoise(kRect, 40, p); }));

    BufferRecord gauss;
    for (int radius : {2, 6, 24}) {
        ImageMakeGaussKernel(gauss, radius);
        char name[64];
        std::snprintf(name, sizeof name, "blur 8-bit (radius %d)", radius);
        Report(name, Rate<uint8_t>(MaskPlane<uint8_t>(radius, 1, 255),
                                   [&](uint8_t* p) { ImageBlurPlane(&gauss, kRect, p); }));
    }
    ImageMakeGaussKernel(gauss, 6);
    Report("blur 16-bit (radius 6)", Rate<uint16_t>(MaskPlane<uint16_t>(6, 1, 32768),
                                                    [&](uint16_t* p) { ImageBlurPlane16(&gauss, kRect, p); }));
    Report("blur interleaved x3 (radius 6)", Rate<uint8_t>(MaskPlane<uint8_t>(6, 3, 255), [&](uint8_t* p) {
               ImageBlurInterleaved(&gauss, kRect, p, 3);
           }));

    BufferRecord disc;
    for (int radius : {3, 8, 24}) {
        const std::vector<uint8_t> mask = MaskPlane<uint8_t>(radius, 1, 255);
        char name[64];
        ImageMakeDiscKernel(disc, -radius);
        std::snprintf(name, sizeof name, "choke disc (radius %d)", radius);
        Report(name, Rate<uint8_t>(mask, [&](uint8_t* p) { ImageSpreadPlane(&disc, -radius, kRect, p); }));
        ImageMakeDiscKernel(disc, radius);
        std::snprintf(name, sizeof name, "spread disc (radius %d)", radius);
        Report(name, Rate<uint8_t>(mask, [&](uint8_t* p) { ImageSpreadPlane(&disc, radius, kRect, p); }));
        std::snprintf(name, sizeof name, "spread square (radius %d)", radius);
        Report(name, Rate<uint8_t>(mask, [&](uint8_t* p) { ImageSpreadPlane(nullptr, radius, kRect, p); }));
    }

    std::vector<uint16_t> distances(static_cast<size_t>(kWidth) * kHeight);
    for (int radius : {4, 16, 64}) {
        char name[64];
        std::snprintf(name, sizeof name, "distance (radius %d)", radius);
        Report(name, Rate<uint8_t>(MaskPlane<uint8_t>(radius, 1, 255), [&](uint8_t* p) {
                   ImageDistancePass(radius, kRect, p, distances.data());
               }));
    }

    gauss.Free();
    disc.Free();
    return 0;
}
