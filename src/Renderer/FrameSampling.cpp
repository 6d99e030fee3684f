#include "FrameSampling.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "RenderArithmetic.h"

namespace {

using RenderMath::SplineTaps;
using RenderMath::SplineWeights;

constexpr int64_t kOne = 0x10000;  // one pixel in 16.16
constexpr int64_t kWhole = ~int64_t{0xFFFF};

// One set of planes sampled together: `planes` bytes a pixel over the frame's bounds (none: the
// fill everywhere), the value each plane takes beyond the bounds, and the tile's packed output.
struct PlaneSet {
    const uint8_t* pixels = nullptr;
    int64_t planes = 0;
    std::vector<uint8_t> fill;
    uint8_t* out = nullptr;
};

// How a sample lands in the output: stored, or ORed into what the output holds.
enum class Landing { Store, Or };

template <Landing kLanding>
inline void Land(uint8_t& out, uint8_t v) {
    if constexpr (kLanding == Landing::Or) out |= v;
    else out = v;
}

// The frame's bounds in pixels and in 16.16, and the tile the samples go to.
struct Walk {
    int64_t left, top, width, height;  // the image; width and height at least 0
    int64_t xLow, xHigh, yLow, yHigh;  // the 16.16 positions inside it, both ends included
    int64_t tileLeft, tileTop, tileWidth, tileHeight;

    Walk(const Rect16& bounds, const Rect16& tile)
        : left(bounds.left), top(bounds.top), width(std::max(0, bounds.right - bounds.left)),
          height(std::max(0, bounds.bottom - bounds.top)), xLow(left * kOne), xHigh((left + width) * kOne - 1),
          yLow(top * kOne), yHigh((top + height) * kOne - 1), tileLeft(tile.left), tileTop(tile.top),
          tileWidth(std::max(0, tile.right - tile.left)), tileHeight(std::max(0, tile.bottom - tile.top)) {}
};

// floor(n / d) and ceil(n / d) for d > 0.
constexpr int64_t FloorDiv(int64_t n, int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); }
constexpr int64_t CeilDiv(int64_t n, int64_t d) { return -FloorDiv(-n, d); }

// The columns [first, end) of a row of count pixels at which start + i step lies in [low, high]:
// an affine walk stays inside an interval along one run, so a row splits into the part before
// the image, the part inside and the part after, each worked without a test per pixel.
struct Span {
    int64_t first = 0, end = 0;
};
constexpr Span SpanWithin(int64_t start, int64_t step, int64_t low, int64_t high, int64_t count) {
    int64_t first = 0, last = 0;
    if (low > high) return {};
    if (step > 0) {
        first = CeilDiv(low - start, step);
        last = FloorDiv(high - start, step);
    } else if (step < 0) {
        first = CeilDiv(start - high, -step);
        last = FloorDiv(start - low, -step);
    } else if (start >= low && start <= high) {
        last = count - 1;
    } else {
        return {};
    }
    first = std::clamp<int64_t>(first, 0, count);
    return {first, std::clamp<int64_t>(last + 1, first, count)};
}
static_assert(SpanWithin(-0x18000, 0x10000, 0, 0x2FFFF, 10).first == 2);  // -1.5 + 2 = 0.5 is the first inside
static_assert(SpanWithin(-0x18000, 0x10000, 0, 0x2FFFF, 10).end == 5);    // 3.5 is the first beyond
static_assert(SpanWithin(0x2FFFF, -0x8000, 0, 0x2FFFF, 20).end == 6);     // 0x2FFFF - 6 x 0x8000 is below 0

// The pixels of a row whose position lies inside the image.
Span RowInside(const Walk& w, int64_t x, int64_t y, const FramePlacement& t) {
    const Span sx = SpanWithin(x, t.a, w.xLow, w.xHigh, w.tileWidth);
    const Span sy = SpanWithin(y, t.d, w.yLow, w.yHigh, w.tileWidth);
    const int64_t first = std::max(sx.first, sy.first), end = std::min(sx.end, sy.end);
    return first < end ? Span{first, end} : Span{};
}

// Pixels [from, to) of a row take the set's fills.
template <Landing kLanding>
void FillRun(const PlaneSet& set, uint8_t* row, int64_t from, int64_t to) {
    if (from >= to) return;
    uint8_t* out = row + from * set.planes;
    if (set.planes == 1) {
        if constexpr (kLanding == Landing::Store) {
            std::memset(out, set.fill[0], static_cast<size_t>(to - from));
        } else {
            for (int64_t i = 0; i < to - from; ++i) out[i] |= set.fill[0];
        }
        return;
    }
    for (int64_t i = from; i < to; ++i, out += set.planes)
        for (int64_t p = 0; p < set.planes; ++p) Land<kLanding>(out[p], set.fill[p]);
}

// Pixels [from, to) of a row, all inside the image, take the pixel their position falls on.
template <Landing kLanding>
void NearestRun(const PlaneSet& set, const Walk& w, const FramePlacement& t, int64_t x, int64_t y, uint8_t* row,
                int64_t from, int64_t to) {
    const int64_t planes = set.planes, rowBytes = w.width * planes;
    uint8_t* out = row + from * planes;
    // Positions from the image's corner: x >> 16 and y >> 16 are then the column and row.
    x += from * t.a - w.xLow;
    y += from * t.d - w.yLow;
    if (t.d == 0) {
        // Along an image row: no row arithmetic per pixel, and one copy when the steps are whole
        // pixels (the frame at its own size).
        const uint8_t* src = set.pixels + (y >> 16) * rowBytes;
        if (t.a == kOne) {
            const uint8_t* first = src + (x >> 16) * planes;
            const int64_t bytes = (to - from) * planes;
            if constexpr (kLanding == Landing::Store) {
                std::memcpy(out, first, static_cast<size_t>(bytes));
            } else {
                for (int64_t i = 0; i < bytes; ++i) out[i] |= first[i];
            }
            return;
        }
        if (planes == 1) {
            for (int64_t i = from; i < to; ++i, x += t.a) Land<kLanding>(*out++, src[x >> 16]);
            return;
        }
        for (int64_t i = from; i < to; ++i, x += t.a, out += planes) {
            const uint8_t* p = src + (x >> 16) * planes;
            for (int64_t k = 0; k < planes; ++k) Land<kLanding>(out[k], p[k]);
        }
        return;
    }
    for (int64_t i = from; i < to; ++i, x += t.a, y += t.d, out += planes) {
        const uint8_t* p = set.pixels + (y >> 16) * rowBytes + (x >> 16) * planes;
        for (int64_t k = 0; k < planes; ++k) Land<kLanding>(out[k], p[k]);
    }
}

template <Landing kLanding>
void SampleNearest(const PlaneSet& set, const Walk& w, const FramePlacement& t) {
    for (int64_t r = 0; r < w.tileHeight; ++r) {
        const int64_t row = w.tileTop + r, column = w.tileLeft;
        const int64_t x = column * t.a + row * t.b + t.c, y = column * t.d + row * t.e + t.f;
        uint8_t* out = set.out + r * w.tileWidth * set.planes;
        const Span in = set.pixels ? RowInside(w, x, y, t) : Span{};
        FillRun<kLanding>(set, out, 0, in.first);
        if (in.first < in.end) NearestRun<kLanding>(set, w, t, x, y, out, in.first, in.end);
        FillRun<kLanding>(set, out, in.end, w.tileWidth);
    }
}

// The fraction of a position between its pixel and the next, over the pixels a step spans: with a
// step of one pixel the position's fractional part, with larger steps proportionally less.
double SpanFraction(int64_t position, int64_t step) {
    int64_t span = ((position + step) & kWhole) - (position & kWhole);
    if (span <= 0) span = kOne;  // a step below one pixel would leave no span to divide by
    return static_cast<double>(position & 0xFFFF) / static_cast<double>(span);
}

// The weights at a fraction, remembered from the last pixel: along an image row or column the
// fraction repeats, and the kernel costs more than the sums.
template <SplineWeights (*kWeights)(double)>
struct WeightCache {
    double fraction = -1;
    SplineWeights weights{};
    const SplineWeights& At(double f) {
        if (f != fraction) {
            fraction = f;
            weights = kWeights(f);
        }
        return weights;
    }
};

// One B-spline sample of every plane of a set at taps (xs, ys), relative to the image's corner.
template <Landing kLanding>
void SplinePixel(const PlaneSet& set, int64_t width, const SplineTaps& xs, const SplineTaps& ys, const SplineWeights& wx,
                 const SplineWeights& wy, uint8_t* out) {
    const int64_t planes = set.planes, rowBytes = width * planes;
    const int64_t x0 = xs.at[0] * planes, x1 = xs.at[1] * planes, x2 = xs.at[2] * planes, x3 = xs.at[3] * planes;
    for (int64_t p = 0; p < planes; ++p) {
        double sum = 0;
        for (int32_t k = 0; k < 4; ++k) {
            const uint8_t* row = set.pixels + ys.at[k] * rowBytes + p;
            const double h = row[x0] * wx.w[0] + row[x1] * wx.w[1] + row[x2] * wx.w[2] + row[x3] * wx.w[3];
            sum += static_cast<uint8_t>(static_cast<int32_t>(h + 0.5)) * wy.w[k];
        }
        Land<kLanding>(out[p], static_cast<uint8_t>(static_cast<int32_t>(sum + 0.5)));
    }
}

template <Landing kLanding>
void SampleSpline(std::vector<PlaneSet>& sets, const Walk& w, const FramePlacement& t) {
    WeightCache<RenderMath::SplineColumnWeights> columnWeights;
    WeightCache<RenderMath::SplineRowWeights> rowWeights;
    const int64_t stepX = t.rowLengthX, stepY = t.rowLengthY;
    for (int64_t r = 0; r < w.tileHeight; ++r) {
        const int64_t row = w.tileTop + r, column = w.tileLeft;
        int64_t x = column * t.a + row * t.b + t.c, y = column * t.d + row * t.e + t.f;
        const Span in = RowInside(w, x, y, t);
        for (PlaneSet& set : sets) {
            uint8_t* out = set.out + r * w.tileWidth * set.planes;
            FillRun<kLanding>(set, out, 0, in.first);
            FillRun<kLanding>(set, out, in.end, w.tileWidth);
            if (!set.pixels) FillRun<kLanding>(set, out, in.first, in.end);
        }
        x += in.first * t.a;
        y += in.first * t.d;
        for (int64_t i = in.first; i < in.end; ++i, x += t.a, y += t.d) {
            // Inside the image: the column and row from its corner fit 16 bits.
            const SplineTaps xs(static_cast<int32_t>((x - w.xLow) >> 16), static_cast<int32_t>(w.width));
            const SplineTaps ys(static_cast<int32_t>((y - w.yLow) >> 16), static_cast<int32_t>(w.height));
            const SplineWeights& wx = columnWeights.At(SpanFraction(x, stepX));
            const SplineWeights& wy = rowWeights.At(SpanFraction(y, stepY));
            for (const PlaneSet& set : sets)
                if (set.pixels) SplinePixel<kLanding>(set, w.width, xs, ys, wx, wy, set.out + (r * w.tileWidth + i) * set.planes);
        }
    }
}

// The B-spline of a placement that keeps the image's rows and columns (no turn, flips allowed):
// a column's taps and weights are the same on every row, and a row's horizontal sums (the first
// half of every sample) the same for every output row that reads that image row. A magnified frame
// reads each image row for several output rows, so the sums are made once per image row and kept
// while the rows are read; each output pixel then takes four products. The sums and their
// rounding are those of SplinePixel, so the samples are the same.
template <Landing kLanding>
void SampleSplineAxisAligned(std::vector<PlaneSet>& sets, const Walk& w, const FramePlacement& t) {
    const int64_t x0 = w.tileLeft * t.a + t.c;
    const Span in = SpanWithin(x0, t.a, w.xLow, w.xHigh, w.tileWidth);
    const int64_t count = in.end - in.first;
    // Per column inside: its taps (as byte offsets for one plane) and weights.
    std::vector<SplineTaps> columnTaps;
    std::vector<SplineWeights> columnWeights;
    columnTaps.reserve(static_cast<size_t>(count));
    columnWeights.reserve(static_cast<size_t>(count));
    WeightCache<RenderMath::SplineColumnWeights> weightsAt;
    for (int64_t i = in.first, x = x0 + in.first * t.a; i < in.end; ++i, x += t.a) {
        columnTaps.emplace_back(static_cast<int32_t>((x - w.xLow) >> 16), static_cast<int32_t>(w.width));
        columnWeights.push_back(weightsAt.At(SpanFraction(x, t.rowLengthX)));
    }
    WeightCache<RenderMath::SplineRowWeights> rowWeights;
    for (PlaneSet& set : sets) {
        const int64_t planes = set.planes, rowBytes = w.width * planes, sums = count * planes;
        // The horizontal sums of the last image rows read, by image row: a row enters once and
        // leaves when the rows have moved past it.
        constexpr int kKept = 8;
        std::vector<uint8_t> kept(static_cast<size_t>(kKept * sums));
        int64_t keptRow[kKept];
        std::fill(keptRow, keptRow + kKept, int64_t{-1});
        int next = 0;
        auto sumsOf = [&](int64_t imageRow) -> const uint8_t* {
            for (int k = 0; k < kKept; ++k)
                if (keptRow[k] == imageRow) return kept.data() + k * sums;
            uint8_t* out = kept.data() + next * sums;
            keptRow[next] = imageRow;
            next = (next + 1) % kKept;
            const uint8_t* row = set.pixels + imageRow * rowBytes;
            for (int64_t i = 0; i < count; ++i) {
                const SplineTaps& xs = columnTaps[static_cast<size_t>(i)];
                const SplineWeights& wx = columnWeights[static_cast<size_t>(i)];
                for (int64_t p = 0; p < planes; ++p) {
                    const double h = row[xs.at[0] * planes + p] * wx.w[0] + row[xs.at[1] * planes + p] * wx.w[1] +
                                     row[xs.at[2] * planes + p] * wx.w[2] + row[xs.at[3] * planes + p] * wx.w[3];
                    out[i * planes + p] = static_cast<uint8_t>(static_cast<int32_t>(h + 0.5));
                }
            }
            return out;
        };
        for (int64_t r = 0; r < w.tileHeight; ++r) {
            const int64_t y = (w.tileTop + r) * t.e + t.f;
            uint8_t* out = set.out + r * w.tileWidth * planes;
            const bool rowInside = y >= w.yLow && y <= w.yHigh && count > 0;
            if (!set.pixels || !rowInside) {
                FillRun<kLanding>(set, out, 0, w.tileWidth);
                continue;
            }
            FillRun<kLanding>(set, out, 0, in.first);
            FillRun<kLanding>(set, out, in.end, w.tileWidth);
            const SplineTaps ys(static_cast<int32_t>((y - w.yLow) >> 16), static_cast<int32_t>(w.height));
            const SplineWeights wy = rowWeights.At(SpanFraction(y, t.rowLengthY));
            const uint8_t* h[4];
            for (int k = 0; k < 4; ++k) h[k] = sumsOf(ys.at[k]);
            uint8_t* o = out + in.first * planes;
            for (int64_t j = 0; j < sums; ++j) {
                double sum = 0;
                sum += h[0][j] * wy.w[0];
                sum += h[1][j] * wy.w[1];
                sum += h[2][j] * wy.w[2];
                sum += h[3][j] * wy.w[3];
                Land<kLanding>(o[j], static_cast<uint8_t>(static_cast<int32_t>(sum + 0.5)));
            }
        }
    }
}

template <Landing kLanding>
void Sample(std::vector<PlaneSet>& sets, const Rect16& bounds, const FramePlacement& t, bool spline, const Rect16& tile) {
    const Walk w(bounds, tile);
    if (w.tileWidth == 0 || w.tileHeight == 0) return;
    std::erase_if(sets, [](const PlaneSet& s) { return !s.out || s.planes <= 0; });
    if (spline) {
        if (t.b == 0 && t.d == 0) SampleSplineAxisAligned<kLanding>(sets, w, t);
        else SampleSpline<kLanding>(sets, w, t);
        return;
    }
    for (const PlaneSet& set : sets) SampleNearest<kLanding>(set, w, t);
}

// A set of planes planes a pixel; beyond the image plane p takes fills[p], or fills[0] for every
// plane when one fill is given, and 0 past the fills given.
PlaneSet Set(const uint8_t* pixels, int32_t planes, uint8_t* out, const uint8_t* fills, int32_t fillCount) {
    PlaneSet s;
    s.pixels = pixels;
    s.planes = std::max(planes, 0);
    s.out = out;
    s.fill.resize(static_cast<size_t>(s.planes));
    for (int64_t p = 0; p < s.planes; ++p) s.fill[p] = fillCount == 1 ? fills[0] : p < fillCount ? fills[p] : 0;
    return s;
}

}  // namespace

void SampleFrameColour(const FramePlanes& frame, const FramePlacement& placement, bool spline, const Rect16& tile,
                       const FrameSamples& out) {
    std::vector<PlaneSet> sets;
    sets.push_back(Set(frame.image, frame.imagePlanes, out.image, &frame.imageFill, 1));
    sets.push_back(Set(frame.colour, frame.colourPlanes, out.colour, frame.colourFill, 4));
    sets.push_back(Set(frame.inner, 1, out.inner, &frame.innerFill, 1));
    sets.push_back(Set(frame.outer, 1, out.outer, &frame.outerFill, 1));
    Sample<Landing::Store>(sets, frame.bounds, placement, spline, tile);
}

void SampleFrameMask(const FramePlanes& frame, int32_t polarity, const FramePlacement& main,
                     const FramePlacement& second, bool spline, const Rect16& tile, uint8_t* out) {
    if (!out) return;
    const uint8_t outside = polarity < 0 ? 0xFF : 0;
    const uint8_t* first = polarity < 0 ? frame.inner : polarity > 0 ? frame.outer : nullptr;
    const uint8_t* other = polarity < 0 ? frame.outer : polarity > 0 ? frame.inner : nullptr;
    std::vector<PlaneSet> sets{Set(first, 1, out, &outside, 1)};
    Sample<Landing::Store>(sets, frame.bounds, main, spline, tile);
    sets = {Set(other, 1, out, &outside, 1)};
    Sample<Landing::Or>(sets, frame.bounds, second, spline, tile);
}
