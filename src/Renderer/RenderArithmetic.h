// The renderer's per-pixel arithmetic: small exact integer steps shared by the photo resampler,
// the layer passes and the tile composer. Nothing here allocates, branches on records or calls
// through a pointer; the loops that walk tiles call these.
//
// 16-bit samples run 0..32768 inside the renderer. 8-bit products are scaled by 65025 (255 x 255):
// x 258 >> 24 and x 257 >> 16 stand for divisions by 65025 and by 255, + 32385 and + 0x807F00 for
// their rounding.
#pragma once

#include <cmath>
#include <cstdint>

namespace RenderMath {

inline constexpr uint32_t kFull8 = 255;
inline constexpr uint32_t kFull16 = 32768;
inline constexpr uint32_t kFull8Squared = 65025;

// ---- Sample depths

// An 8-bit sample widened to the 16-bit range: (255 x 32897) >> 8 is 32768.
constexpr uint32_t Widen8(uint32_t v) { return (v * 32897) >> 8; }
// An alpha or colour widened for a 16-bit document's output; kept to 16 bits.
constexpr uint32_t Widen8Masked(uint32_t v) { return ((v * 32897) >> 8) & 0xFFFF; }
// A 16-bit sample (0..32768) narrowed to 8 bits.
constexpr uint32_t Narrow16(uint32_t v) { return ((v * 65535u) >> 23) & 0xFF; }
// A host's channel value 0..65535 brought into 0..32768.
constexpr uint32_t FromHost16(uint32_t v) { return ((v + 1) * 32768) >> 16; }

// ---- Rounding

// Half away from zero, as the renderer rounds scales and sizes.
inline int32_t RoundHalfAway(double v) { return static_cast<int32_t>(v < 0 ? v - 0.5 : v + 0.5); }
// Integer division rounding up for positive numerators, toward zero otherwise.
constexpr int32_t DivideUp(int32_t v, int32_t s) { return v > 0 ? (v + s - 1) / s : v / s; }

// ---- The resampling kernel

// The cubic B-spline: ((x+2)^3 - 4 (x+1)^3 + 6 x^3 - 4 (x-1)^3) / 6 with negative bases left out.
inline double CubicBSpline(double x) {
    auto cube = [](double b) { return b > 0 ? b * b * b : 0.0; };
    return (cube(x + 2) - 4 * cube(x + 1) + 6 * cube(x) - 4 * cube(x - 1)) / 6;
}

// The four taps of the kernel round sample i of 0..limit-1 (i inside): i-1 .. i+2, each tap that
// would leave the samples replaced by the centre i, so that a sample at an edge repeats itself
// rather than reading beyond it.
struct SplineTaps {
    int32_t at[4];
    constexpr SplineTaps(int32_t i, int32_t limit) : at{i == 0 ? i : i - 1, i, i + 1, i + 2} {
        if (at[3] >= limit) {
            at[3] = i;
            if (at[2] >= limit) at[2] = i;
        }
    }
};

// The kernel's weights of the four taps at a fractional position t (0 <= t < 1) past the centre:
// along a row B(k - t), down a column B(t - k), for k = -1 .. 2.
struct SplineWeights {
    double w[4];
};
inline SplineWeights SplineColumnWeights(double t) {
    return {{CubicBSpline(-1 - t), CubicBSpline(0 - t), CubicBSpline(1 - t), CubicBSpline(2 - t)}};
}
inline SplineWeights SplineRowWeights(double t) {
    return {{CubicBSpline(t + 1), CubicBSpline(t), CubicBSpline(t - 1), CubicBSpline(t - 2)}};
}

// ---- Coverage

// A masked pass's coverage: its own c, the mask pass's m (0..255) and the pass's opacity (0..255)
// folded into one byte.
constexpr uint32_t MaskedCoverage(uint32_t c, uint32_t m, uint32_t opacity) {
    return static_cast<uint32_t>((uint64_t{c} * m * (opacity * 258) + 0x807F00) >> 24);
}

// The 8-bit bevel coverage of a distance v (1/255 pixel) inside a bevel w pixels wide.
constexpr uint8_t BevelCoverage(uint32_t v, uint32_t w) {
    const uint32_t inner = 255 * w, outer = 255 + 255 * w;
    return v >= outer ? 0 : v <= inner ? 255 : static_cast<uint8_t>(outer - v);
}

// The knock-out of a border under its layer's background coverage q.
constexpr uint32_t KnockOut(uint32_t m, uint32_t q) { return ((255 - q) * m) >> 8; }

// ---- Blending a pass colour t against the photo through a blend table row (row t, column photo)

// Output without transparency.
constexpr uint32_t BlendOpaque(const uint8_t* table, uint32_t t, uint32_t photo) { return table[t * 256 + photo]; }
// Output with transparency: the blend weighed by the photo's alpha a.
constexpr uint32_t BlendOverAlpha(const uint8_t* table, uint32_t t, uint32_t photo, uint32_t a) {
    return ((table[t * 256 + photo] * a + t * (255 - a) + 127) * 257) >> 16;
}
// The frame-as-mask routes: the blend against the photo's mask or transparency sample.
constexpr uint32_t BlendAgainstMask(const uint8_t* table, uint32_t t, uint32_t mask) {
    return (table[t * 256 + mask] * 65535u + 32639) >> 16;
}

// ---- Accumulating a pass into a set of layers (colour, alpha)

// The new alpha of a set after a pass of total weight W.
constexpr uint32_t AlphaOfWeight(uint32_t w) { return static_cast<uint32_t>((uint64_t{w} + 32385) * 258 >> 24); }

// The union coverage after a pass of coverage c and weight m.
constexpr uint32_t UnionCoverage(uint32_t p, uint32_t c, uint32_t m) { return (((255 - c) * p + m + 127) * 257) >> 16; }

// A pass of weight m (0..65025) and colour alpha s laid over a set of alpha a with nc colours:
// ws = s m, wd = (65025 - m) a, W = ws + wd; the colours become (colour ws + set wd + W/2) / W when
// W > 0, and the alpha is recomputed from W whatever s is. A covering pass of alpha 0 (ws = 0,
// m > 0) keeps the set's colours but erases its alpha by m, as alpha 1 almost does.
// Exact shortcuts: nothing added (m = 0: W = 65025 a and AlphaOfWeight(65025 a) is a), only the
// set (ws = 0: (v wd + wd/2) / wd is v) and only the pass (wd = 0).
inline void Accumulate(uint32_t* set, uint32_t& a, const uint32_t* colour, int32_t nc, uint32_t s, uint32_t m) {
    if (m == 0) return;
    const uint32_t ws = s * m;
    const uint32_t wd = (kFull8Squared - m) * a;
    const uint32_t w = ws + wd;
    if (ws > 0) {
        if (wd == 0) {
            for (int32_t x = 0; x < nc; ++x) set[x] = colour[x];
        } else {
            for (int32_t x = 0; x < nc; ++x)
                set[x] = static_cast<uint32_t>((uint64_t{colour[x]} * ws + uint64_t{set[x]} * wd + w / 2) / w) & 0xFF;
        }
    }
    a = AlphaOfWeight(w);
}

// The transmittance of the layers above the photo after a pass.
constexpr uint32_t Transmit(uint32_t t, uint32_t s, uint32_t m) {
    return s < 255 ? static_cast<uint32_t>(uint64_t{t} * (kFull8Squared - m) / kFull8Squared) : kFull8Squared;
}

// ---- Host mask

// A sample weighed by the host's selection mask k (mask byte x 257); r is the depth's rounding term.
constexpr uint32_t MaskSample(uint32_t v, uint32_t k, uint32_t r) { return (v * k + r * 257) >> 16; }

// Weighted mean of two colours with integer weights, rounded; w = wa + wb > 0.
constexpr uint32_t WeightedMean(uint64_t a, uint64_t wa, uint64_t b, uint64_t wb) {
    const uint64_t w = wa + wb;
    return static_cast<uint32_t>((a * wa + b * wb + w / 2) / w);
}

// Exactness of the shortcut in Accumulate: an empty pass leaves every alpha as it was.
constexpr bool EmptyPassKeepsAlpha() {
    for (uint32_t a = 0; a <= 255; ++a)
        if (AlphaOfWeight(kFull8Squared * a) != a) return false;
    return true;
}
static_assert(EmptyPassKeepsAlpha());

}  // namespace RenderMath
