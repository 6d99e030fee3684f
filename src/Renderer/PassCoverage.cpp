#include "PassCoverage.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "PassPlan.h"
#include "RenderArithmetic.h"
#include "Kernels.h"

namespace {
int16_t Clamp16(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767)); }
}  // namespace

PassMargins ComputePassMargins(const MarginInputs& in) {
    const int32_t g = in.blurRadius + in.spread;
    PassMargins m{-in.offsetRows - g, -in.offsetColumns - g, g - in.offsetRows, g - in.offsetColumns};
    const int32_t w = in.bevelWidth;
    if (w >= 1) {
        const int32_t grow = in.kind != PassKind::kBackground ? w : std::max(0, in.softnessRadius - g + w + 1);
        m.top -= grow;
        m.left -= grow;
        m.bottom += grow;
        m.right += grow;
    }
    return m;
}

Rect16 WidenRect(const Rect16& t, const PassMargins& m) {
    return Rect16{Clamp16(int64_t{t.top} + m.top), Clamp16(int64_t{t.left} + m.left), Clamp16(int64_t{t.bottom} + m.bottom),
                  Clamp16(int64_t{t.right} + m.right)};
}

PassMargins MergeMargins(const PassMargins& a, const PassMargins& b) {
    return PassMargins{std::min(a.top, b.top), std::min(a.left, b.left), std::max(a.bottom, b.bottom),
                       std::max(a.right, b.right)};
}

void CopyPlanePart(const uint8_t* plane, const Rect16& from, uint8_t* out, const Rect16& part, uint8_t flip,
                   int32_t samples) {
    const int64_t fromWidth = int64_t{from.right - from.left} * samples, width = int64_t{part.right - part.left} * samples;
    for (int32_t row = part.top; row < part.bottom; ++row) {
        const uint8_t* src = plane + int64_t{row - from.top} * fromWidth + int64_t{part.left - from.left} * samples;
        uint8_t* dst = out + int64_t{row - part.top} * width;
        if (flip == 0) std::memcpy(dst, src, static_cast<size_t>(width));
        else for (int32_t i = 0; i < width; ++i) dst[i] = static_cast<uint8_t>(src[i] ^ flip);
    }
}

namespace {
template <typename Sample>
void CropInPlace(Sample* plane, const Rect16& from, const Rect16& part, int32_t samples) {
    const int64_t fromWidth = int64_t{from.right - from.left} * samples, width = int64_t{part.right - part.left} * samples;
    // Rows move towards the start; memmove keeps an overlapping first row intact.
    for (int32_t row = part.top; row < part.bottom; ++row)
        std::memmove(plane + int64_t{row - part.top} * width,
                     plane + int64_t{row - from.top} * fromWidth + int64_t{part.left - from.left} * samples,
                     static_cast<size_t>(width) * sizeof(Sample));
}
}  // namespace

void CropPlaneInPlace(uint8_t* plane, const Rect16& from, const Rect16& part, int32_t samples) {
    CropInPlace(plane, from, part, samples);
}
void CropPlaneInPlace16(uint16_t* plane, const Rect16& from, const Rect16& part) { CropInPlace(plane, from, part, 1); }

void FillOutside(uint8_t* plane, const Rect16& area, const Rect16& inside) {
    const int32_t width = area.right - area.left;
    for (int32_t row = area.top; row < area.bottom; ++row) {
        uint8_t* line = plane + int64_t{row - area.top} * width;
        if (row < inside.top || row >= inside.bottom) {
            std::memset(line, 255, static_cast<size_t>(width));
            continue;
        }
        const int32_t left = std::clamp<int32_t>(inside.left - area.left, 0, width);
        const int32_t right = std::clamp<int32_t>(inside.right - area.left, left, width);
        std::memset(line, 255, static_cast<size_t>(left));
        std::memset(line + right, 255, static_cast<size_t>(width - right));
    }
}

void InvertPlane(uint8_t* plane, int64_t count) {
    for (int64_t i = 0; i < count; ++i) plane[i] = static_cast<uint8_t>(255 - plane[i]);
}

void BevelCoverageOfDistances(const uint16_t* distances, int64_t count, int32_t w, uint8_t* out) {
    for (int64_t i = 0; i < count; ++i) out[i] = RenderMath::BevelCoverage(distances[i], static_cast<uint32_t>(w));
}

namespace {

// The side of the blocks whose windows are tested for one value. A block's window carries the
// reach on every side: with blocks of at least four times the reach, a window holds at most
// (1.5)^2 times the block, so the filters' cost per pixel grows with the reach as the filter's own
// does (a spread or a blur of radius r reads O(r) samples a pixel), not with its square.
constexpr int32_t kMinFilterBlock = 64;
constexpr int32_t kBlockPerReach = 4;

// Whether every byte of the block's window (rows and columns of a plane `stride` bytes wide) is v.
bool WindowHolds(const uint8_t* first, int64_t stride, int32_t width, int32_t height, uint8_t v) {
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = first + y * stride;
        for (int32_t x = 0; x < width; ++x)
            if (row[x] != v) return false;
    }
    return true;
}

}  // namespace

int32_t FilterBlockSide(int32_t r) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{kBlockPerReach} * r, kMinFilterBlock, INT16_MAX));
}

void FilterChangingBlocks(int32_t r, const Rect16& rect, uint8_t* plane, BlockFilter filter, void* context,
                          const BlockPulse& pulse) {
    const int32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return;
    const int32_t side = FilterBlockSide(r);
    const int64_t stride = int64_t{width} + 2 * r;
    // A band of blocks is filtered into a buffer of its own and then written to its place in the
    // packed result. That place lies before the windows of every later band (the packed rows are
    // narrower than the plane's), so the plane serves as the result: no buffer of the whole rect is
    // made (and touched for the first time) on every call.
    std::vector<uint8_t> band(static_cast<size_t>(int64_t{width} * std::min(side, height)));
    std::vector<uint8_t> window;
    for (int32_t top = 0; top < height; top += side) {
        const int32_t rows = std::min(side, height - top);
        for (int32_t left = 0; left < width; left += side) {
            pulse();
            const int32_t columns = std::min(side, width - left);
            const uint8_t* first = plane + top * stride + left;  // the block's window, reach included
            const int32_t windowWidth = columns + 2 * r, windowHeight = rows + 2 * r;
            uint8_t* out = band.data() + left;
            if (WindowHolds(first, stride, windowWidth, windowHeight, first[0])) {
                for (int32_t y = 0; y < rows; ++y) std::memset(out + int64_t{y} * width, first[0], static_cast<size_t>(columns));
                continue;
            }
            window.resize(static_cast<size_t>(windowWidth) * windowHeight);
            for (int32_t y = 0; y < windowHeight; ++y)
                std::memcpy(window.data() + int64_t{y} * windowWidth, first + y * stride, static_cast<size_t>(windowWidth));
            const Rect16 block{static_cast<int16_t>(rect.top + top), static_cast<int16_t>(rect.left + left),
                               static_cast<int16_t>(rect.top + top + rows), static_cast<int16_t>(rect.left + left + columns)};
            filter(context, block, window.data());
            for (int32_t y = 0; y < rows; ++y)
                std::memcpy(out + int64_t{y} * width, window.data() + int64_t{y} * columns, static_cast<size_t>(columns));
        }
        std::memcpy(plane + int64_t{top} * width, band.data(), static_cast<size_t>(int64_t{rows} * width));
    }
}

void SpreadBlock(void* context, const Rect16& rect, uint8_t* plane) {
    const auto* spread = static_cast<const SpreadContext*>(context);
    ImageSpreadPlane(spread->disc, spread->radius, rect, plane);
}

void BlurBlock(void* context, const Rect16& rect, uint8_t* plane) {
    ImageBlurPlane(static_cast<BufferRecord*>(context), rect, plane);
}
