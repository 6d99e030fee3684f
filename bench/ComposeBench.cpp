// The tile composer alone over a 6000 x 4000 RGB photo at 8 and 16 bits, with the two passes of an
// ellipse with its shadow (the frame outside the ellipse, the shadow masked by it), in tiles of
// 256 rows: seconds per image, best of three runs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "TileComposer.h"

namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000, kTileRows = 256;

// Coverage of the frame: 0 inside the ellipse, 255 outside, a one-pixel ramp at its edge.
std::vector<uint8_t> EllipseFrame(int32_t dx, int32_t dy) {
    std::vector<uint8_t> plane(static_cast<size_t>(kWidth) * kHeight);
    const double cx = kWidth / 2.0, cy = kHeight / 2.0;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const double u = (x - dx + 0.5 - cx) / cx, v = (y - dy + 0.5 - cy) / cy;
            const double d = (std::sqrt(u * u + v * v) - 1.0) * cy;
            plane[static_cast<size_t>(y) * kWidth + x] = static_cast<uint8_t>(std::clamp(d + 0.5, 0.0, 1.0) * 255);
        }
    return plane;
}

template <typename Sample>
double Run(const std::vector<uint8_t>& frame, const std::vector<uint8_t>& shadow, const uint8_t* normal, uint8_t weight = 255) {
    std::vector<Sample> input(static_cast<size_t>(kWidth) * kHeight * 3), output(input.size());
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<Sample>((i * 2654435761u) >> (sizeof(Sample) == 1 ? 24 : 17));
    ComposeLayout layout;
    layout.sixteenBit = sizeof(Sample) == 2;
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (int32_t top = 0; top < kHeight; top += kTileRows) {
            const int32_t bottom = std::min(kHeight, top + kTileRows);
            const size_t offset = static_cast<size_t>(top) * kWidth;
            ComposePass passes[2];
            passes[0].coverage = frame.data() + offset;
            std::memset(passes[0].colour, 255, 4);
            passes[0].blendTable = normal;
            passes[0].weight = weight;
            passes[1].coverage = shadow.data() + offset;
            passes[1].blendTable = normal;
            passes[1].kind = 3;
            ComposeBuffers b;
            b.rect = Rect16{static_cast<int16_t>(top), 0, static_cast<int16_t>(bottom), kWidth};
            b.input = input.data() + offset * 3;
            b.inputRowBytes = int64_t{kWidth} * 3 * static_cast<int64_t>(sizeof(Sample));
            b.output = output.data() + offset * 3;
            b.outputRowBytes = b.inputRowBytes;
            ComposeTilePixels(layout, passes, b);
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main() {
    std::vector<uint8_t> normal(65536);
    for (int row = 0; row < 256; ++row) std::memset(&normal[row * 256], row, 256);
    const std::vector<uint8_t> frame = EllipseFrame(0, 0);
    // The shadow: the ellipse's inside moved by (20, 20), masked by the frame.
    std::vector<uint8_t> shadow = EllipseFrame(20, 20);
    for (auto& v : shadow) v = static_cast<uint8_t>(255 - v);
    ApplyPassMask(shadow.data(), frame.data(), nullptr, 255, static_cast<int64_t>(shadow.size()));
    std::printf("tile composition, ellipse with shadow (2 passes), %d x %d RGB, best of 3\n", kWidth, kHeight);
    std::printf("  8-bit:  %.3f s\n", Run<uint8_t>(frame, shadow, normal.data()));
    std::printf("  16-bit: %.3f s\n", Run<uint16_t>(frame, shadow, normal.data()));
    // Every pixel in the frame: the full per-pixel steps everywhere.
    const std::vector<uint8_t> full(frame.size(), 255), none(frame.size(), 0);
    std::printf("  8-bit, frame everywhere: %.3f s\n", Run<uint8_t>(full, none, normal.data()));
    std::printf("  8-bit, frame everywhere at 80 %%: %.3f s\n", Run<uint8_t>(full, none, normal.data(), 204));
    return 0;
}
