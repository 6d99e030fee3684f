// Megapixels per second of shape rasterising (16 x 16 sub-samples on mixed pixels) and of the
// edge appliers, on a 6000 x 4000 plane.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "HostCall.h"
#include "HostMemory.h"
#include "ImageShapes.h"
#include "QuorvelEdges.h"
#include "QuorvelShapes.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000, kRuns = 3;
const Rect16 kRect{0, 0, kHeight, kWidth};
constexpr double kMegapixels = kWidth * kHeight / 1e6;

// The best rate of `work` over the runs; prepare runs untimed before each.
double Rate(const std::function<void()>& prepare, const std::function<void()>& work) {
    double best = 0.0;
    for (int run = 0; run < kRuns; ++run) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        work();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::max(best, kMegapixels / seconds);
    }
    return best;
}

void Report(const char* what, double rate) { std::printf("%-34s %8.1f MP/s\n", what, rate); }

ShapeTest StoredShape(uint16_t kind) {
    uint8_t bytes[ShapeLayout::kLength] = {};
    const RecordRef shape(bytes);
    shape.Set(ShapeLayout::kMarker, -1);
    shape.Set(ShapeLayout::kKind, kind);
    shape.Set(ShapeLayout::kCorner, 20);
    shape.Set(ShapeLayout::kSides, 5);
    shape.Set(ShapeLayout::kInset, 39);
    shape.Set(ShapeLayout::kHeadWidth, 50);
    shape.Set(ShapeLayout::kBaseWidth, 50);
    return MakeShapeTest(shape, kRect);
}

}  // namespace

int main() {
    FilterRecord record{};
    const HostCallScope call(HostCall{.record = &record});
    std::vector<uint8_t> plane(static_cast<size_t>(kWidth + 200) * (kHeight + 200));

    const char* names[] = {"", "rasterise ellipse", "rasterise rounded rectangle", "rasterise polygon",
                           "rasterise star", "rasterise arrow", "rasterise heart"};
    AffineTransform t{};
    ImageMakeRectTransform(t, kRect, 1.0, 1.0, 0.0);
    for (uint16_t kind = 1; kind <= 6; ++kind) {
        const ShapeTest shape = StoredShape(kind);
        Report(names[kind], Rate([] {}, [&] { ImageRasterize(t, kRect, plane.data(), shape, kShapeRenderSamples); }));
    }

    // The edges over the ellipse's coverage, widened by each edge's margins.
    const ShapeTest ellipse = StoredShape(1);
    const struct {
        const char* name;
        uint16_t type;
    } edges[] = {{"edge wave", kEdgeWave}, {"edge random", kEdgeRandom}, {"edge diffuse", kEdgeDiffuse},
                 {"edge clean", kEdgeClean}};
    for (const auto& edge : edges) {
        uint8_t slotBytes[EdgeLayout::kLength] = {};
        const RecordRef slot(slotBytes);
        slot.Set(EdgeLayout::kOn, 1);
        slot.Set(EdgeLayout::kType, edge.type);
        slot.Set(EdgeLayout::kPatternLength, 20);
        slot.Set(EdgeLayout::kPatternDepth, 10);
        slot.Set(EdgeLayout::kRotation, 135);
        EdgeCache cache;
        uint32_t seed = 987654321;
        GenerateEdge(slot, 1.0, seed, cache);
        const Rect16 wide{static_cast<int16_t>(-EdgeMarginY(cache)), static_cast<int16_t>(-EdgeMarginX(cache)),
                          static_cast<int16_t>(kHeight + EdgeMarginY(cache)),
                          static_cast<int16_t>(kWidth + EdgeMarginX(cache))};
        AffineTransform widened{};
        ImageMakeRectTransform(widened, wide, 1.0, 1.0, 0.0);
        Report(edge.name, Rate([&] { ImageRasterize(widened, wide, plane.data(), ellipse, 1); },
                               [&] { ApplyEdge(cache, kRect, plane.data(), 1); }));
    }
    FreeAllBuffers();
    return 0;
}
