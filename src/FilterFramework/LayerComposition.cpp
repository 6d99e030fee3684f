#include "LayerComposition.h"

#include <algorithm>

namespace {

// The full weight of a pixel and the shift that brings a weight back to a sample, by depth.
template <typename Sample>
struct Depth;
template <>
struct Depth<uint8_t> {
    static constexpr int64_t kMax = 255;
    static int64_t Scale(int64_t alpha) { return alpha * 65025; }
    static int64_t Unscale(int64_t total) { return (total + 32385) / 65025; }
};
template <>
struct Depth<uint16_t> {
    static constexpr int64_t kMax = 32768;
    static int64_t Scale(int64_t alpha) { return alpha << 30; }
    static int64_t Unscale(int64_t total) { return std::min<int64_t>((total + 536870912) >> 30, kMax); }
};

template <typename Sample>
int64_t Weight(OutputCoverage c) {
    return (Depth<Sample>::kMax - int64_t{c.inverted}) * int64_t{c.mask} * int64_t{c.transparency};
}

template <typename Sample>
Sample Mix(int64_t first, int64_t firstWeight, int64_t second, int64_t secondWeight, int64_t total) {
    return static_cast<Sample>((first * firstWeight + second * secondWeight + total / 2) / total);
}

}  // namespace

template <typename Sample>
void ComposeOutputOverLower(const Sample* output, OutputCoverage coverage, Sample* lower, int32_t colourPlanes,
                            Sample lowerAlpha, bool hasAlpha) {
    const int64_t w = Weight<Sample>(coverage);
    const int64_t a = std::max<int64_t>(Depth<Sample>::Scale(lowerAlpha) - w, 0);
    const int64_t total = a + w;
    if (total <= 0) return;
    for (int32_t p = 0; p < colourPlanes; ++p) lower[p] = Mix<Sample>(lower[p], a, output[p], w, total);
    if (hasAlpha) lower[colourPlanes] = static_cast<Sample>(Depth<Sample>::Unscale(total));
}

template <typename Sample>
void ComposeUpperOverLower(const Sample* upper, Sample upperAlpha, Sample* lower, int32_t colourPlanes,
                           Sample lowerAlpha, bool hasAlpha) {
    const int64_t u = upperAlpha;
    const int64_t k = std::max<int64_t>(int64_t{lowerAlpha} - u, 0);
    const int64_t total = k + u;
    if (total <= 0) return;
    for (int32_t p = 0; p < colourPlanes; ++p) lower[p] = Mix<Sample>(lower[p], k, upper[p], u, total);
    if (hasAlpha) lower[colourPlanes] = static_cast<Sample>(total);
}

template <typename Sample>
void ComposeUpperOverOutput(const Sample* output, OutputCoverage coverage, Sample* upper, int32_t colourPlanes) {
    const int64_t a = Depth<Sample>::Scale(upper[colourPlanes]);
    const int64_t w = std::max<int64_t>(Weight<Sample>(coverage) - a, 0);
    const int64_t total = a + w;
    if (total <= 0) return;
    for (int32_t p = 0; p < colourPlanes; ++p) upper[p] = Mix<Sample>(upper[p], a, output[p], w, total);
    upper[colourPlanes] = static_cast<Sample>(Depth<Sample>::Unscale(total));
}

template void ComposeOutputOverLower<uint8_t>(const uint8_t*, OutputCoverage, uint8_t*, int32_t, uint8_t, bool);
template void ComposeOutputOverLower<uint16_t>(const uint16_t*, OutputCoverage, uint16_t*, int32_t, uint16_t, bool);
template void ComposeUpperOverLower<uint8_t>(const uint8_t*, uint8_t, uint8_t*, int32_t, uint8_t, bool);
template void ComposeUpperOverLower<uint16_t>(const uint16_t*, uint16_t, uint16_t*, int32_t, uint16_t, bool);
template void ComposeUpperOverOutput<uint8_t>(const uint8_t*, OutputCoverage, uint8_t*, int32_t);
template void ComposeUpperOverOutput<uint16_t>(const uint16_t*, OutputCoverage, uint16_t*, int32_t);
