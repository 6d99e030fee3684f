// Noise, the Gauss and disc kernels, the separable blurs, spread and choke, and the distance pass.
//
// The row loops work on chunks of a row through a small accumulator on the stack, so that the
// inner loops are plain element-wise arithmetic the compiler can vectorise, and so that the
// result can be written over the input in place: a chunk is written only after it was read.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Errors.h"
#include "Geometry.h"
#include "Kernels.h"

namespace {

// A kernel's allocation failure names the kernel in its alert by a source and line that stay the
// same from one build to the next (users quote them in support requests), not by where the code
// happens to stand in this file: __LINE__ would not do here.
const char* const kSource = "..\\..\\ZavuvIve\\ZavuvIve";
constexpr unsigned kGaussKernelLine = 564;
constexpr unsigned kDiscKernelLine = 1236;
constexpr unsigned kDistanceRowLine = 1505;
constexpr int kChunk = 512;

uint32_t gNoiseSeed = 123456789u;

// Grows a kernel's record to `bytes` and locks it, raising the allocation's failure with the
// kernel's line.
LockedBuffer AllocateKernel(BufferRecord& kernel, int64_t bytes, unsigned line) {
    ThrowIfError(kernel.Allocate(bytes), kSource, line);
    return LockedBuffer(kernel);
}

// Runs work whose working memory comes from the heap; running out of it is raised as -108 with
// the line of the kernel that the work belongs to.
template <typename Work>
void WithWorkingMemory(unsigned line, Work work) {
    try {
        work();
    } catch (const std::bad_alloc&) {
        ThrowIfError(Err::MemoryFull, kSource, line);
    }
}

// ---- Kernels

// Weights 2^(-4 i^2 / r^2) in single precision, normalised to 4096; W0 takes the rounding.
std::vector<uint32_t> GaussWeights(int32_t radius) {
    std::vector<uint32_t> weights(static_cast<size_t>(radius) + 1);
    std::vector<float> w(weights.size());
    w[0] = 1.0f;
    float sum = 1.0f;
    const float r2 = static_cast<float>(radius) * static_cast<float>(radius);
    for (int32_t i = 1; i <= radius; ++i) {
        w[i] = std::exp2(-4.0f * static_cast<float>(i) * static_cast<float>(i) / r2);
        sum += 2.0f * w[i];
    }
    uint32_t total = 0;
    for (int32_t i = 0; i <= radius; ++i) {
        weights[i] = static_cast<uint32_t>(w[i] * 4096.0f / sum + 0.5f);
        total += i == 0 ? weights[i] : 2 * weights[i];
    }
    weights[0] += 4096 - total;
    return weights;
}

// ---- Noise

inline uint8_t Noisy(uint8_t v, int32_t g, int32_t magnitude, bool inDarkParts) {
    const int32_t weight = inDarkParts ? 255 - v : v;
    const int32_t shifted = static_cast<int32_t>((int64_t{g} * weight * magnitude) >> 23);
    return static_cast<uint8_t>(std::clamp(v + shifted, 0, 255));
}

// ---- The separable weighted pass: out[i] = (W0 c[i] + sum Wk (c[i - k s] + c[i + k s]) + 2048) >> 12

template <typename T>
void ConvolveSpan(const T* centre, ptrdiff_t tapStride, const uint32_t* weights, int32_t radius, int32_t count,
                  T* out) {
    uint32_t acc[kChunk];
    for (int32_t start = 0; start < count; start += kChunk) {
        const int32_t n = std::min(kChunk, count - start);
        const T* c = centre + start;
        const uint32_t w0 = weights[0];
        for (int32_t i = 0; i < n; ++i) acc[i] = w0 * c[i];
        for (int32_t k = 1; k <= radius; ++k) {
            const T* up = c - k * tapStride;
            const T* down = c + k * tapStride;
            const uint32_t w = weights[k];
            for (int32_t i = 0; i < n; ++i) acc[i] += w * (uint32_t{up[i]} + uint32_t{down[i]});
        }
        T* o = out + start;
        for (int32_t i = 0; i < n; ++i) o[i] = static_cast<T>((acc[i] + 2048) >> 12);
    }
}

// Blurs width x height pixels of `channels` samples, padded by the kernel's radius, in place.
template <typename T>
void SeparableBlur(BufferRecord* kernel, const Rect16& rect, T* data, int32_t channels) {
    const LockedBuffer lock(kernel);
    const auto* header = lock.As<GaussKernelHeader>();
    const int32_t radius = header ? static_cast<int32_t>(header->radius) : 0;
    if (radius == 0) return;  // nothing padded, nothing to pack
    const uint32_t* weights = reinterpret_cast<const uint32_t*>(header + 1);
    const int32_t width = ClampedWidth(rect) * channels, height = ClampedHeight(rect);
    const ptrdiff_t stride = ptrdiff_t{ClampedWidth(rect) + 2 * radius} * channels;
    for (int32_t row = 0; row < height; ++row) {
        T* out = data + row * stride;
        ConvolveSpan(out + radius * stride, stride, weights, radius, static_cast<int32_t>(stride), out);
    }
    for (int32_t row = 0; row < height; ++row) {
        const T* in = data + row * stride + ptrdiff_t{radius} * channels;
        ConvolveSpan(in, channels, weights, radius, width, data + ptrdiff_t{row} * width);
    }
}

// ---- Spread and choke

// The weighted maximum (spread) or minimum (choke) of one sample under a disc weight k. The
// weights met here are partial ones (k < 256), so every product fits 16 bits, which keeps the
// vectorised arithmetic in 16-bit lanes.
inline uint16_t Scaled(uint16_t v, uint16_t k) {
    return static_cast<uint16_t>(static_cast<uint16_t>(static_cast<uint16_t>(v * k) + 127) >> 8);
}
struct Spread {
    static constexpr uint8_t kStart = 0;
    static constexpr uint8_t kLimit = 255;  // nothing goes beyond it
    static uint8_t Weighted(uint8_t v, uint16_t k) { return static_cast<uint8_t>(Scaled(v, k)); }
    static uint8_t Pick(uint8_t a, uint8_t b) { return std::max(a, b); }
};
struct Choke {
    static constexpr uint8_t kStart = 255;
    static constexpr uint8_t kLimit = 0;
    static uint8_t Weighted(uint8_t v, uint16_t k) { return static_cast<uint8_t>(255 - Scaled(255 - v, k)); }
    static uint8_t Pick(uint8_t a, uint8_t b) { return std::min(a, b); }
};

// acc[i] := the extreme of acc[i] and the weighted sample; the restrict qualifiers let the
// compiler vectorise without run-time overlap checks (the accumulator is a local array). Kept out
// of line: inlined into the disc's row loop, the spread ran four times slower.
template <typename Op>
[[gnu::noinline]] void PickWeighted(uint8_t* __restrict acc, const uint8_t* __restrict in, uint16_t weight,
                                    int32_t n) {
    for (int32_t i = 0; i < n; ++i) acc[i] = Op::Pick(acc[i], Op::Weighted(in[i], weight));
}
template <typename Op>
void PickTwo(uint8_t* __restrict acc, const uint8_t* __restrict a, const uint8_t* __restrict b, int32_t n) {
    for (int32_t i = 0; i < n; ++i) acc[i] = Op::Pick(Op::Pick(acc[i], a[i]), b[i]);
}

// The disc row by row: the run of whole weights (256) in its middle, and the partial weights
// round it. Zero weights add nothing to a maximum nor to a minimum and are left out.
struct DiscTap {
    int32_t dx;
    uint16_t weight;
};
struct DiscRowShape {
    int32_t runStart = 0;   // window column of the run's first sample
    int32_t runLength = 0;  // 0: no whole weights in this row
    int32_t level = 0;      // the largest power of two not above runLength, as its exponent
    std::vector<DiscTap> partial;
};

std::vector<DiscRowShape> DiscShape(const uint16_t* weights, int32_t radius) {
    const int32_t side = 2 * radius + 1;
    std::vector<DiscRowShape> shape(side);
    for (int32_t dy = 0; dy < side; ++dy) {
        DiscRowShape& row = shape[dy];
        for (int32_t dx = 0; dx < side; ++dx) {
            const uint16_t weight = weights[dy * side + dx];
            if (weight == 256) {
                if (row.runLength == 0) row.runStart = dx;
                ++row.runLength;
            } else if (weight != 0) {
                row.partial.push_back({dx, weight});
            }
        }
        while ((2 << row.level) <= row.runLength) ++row.level;
    }
    return shape;
}

// The window's rows with their running extremes: level j of a row holds, from each column on, the
// extreme of 2^j samples, so that a run of any length is the extreme of two overlapping entries.
// Rows enter as the window moves down and take the slot of the row that left.
template <typename Op>
class RunExtremes {
public:
    RunExtremes(int32_t slots, int32_t levels, int32_t length)
        : slots_(slots), levels_(levels), length_(length), rows_(slots),
          extremes_(static_cast<size_t>(slots) * levels * length) {}

    void Load(int32_t rowIndex, const uint8_t* row) {
        const int32_t slot = rowIndex % slots_;
        rows_[slot] = row;
        for (int32_t j = 1; j <= levels_; ++j) {
            const uint8_t* below = Level(rowIndex, j - 1);
            uint8_t* level = extremes_.data() + (static_cast<size_t>(slot) * levels_ + j - 1) * length_;
            const int32_t half = 1 << (j - 1);
            for (int32_t i = 0; i + 2 * half <= length_; ++i) level[i] = Op::Pick(below[i], below[i + half]);
        }
    }
    const uint8_t* Level(int32_t rowIndex, int32_t j) const {
        const int32_t slot = rowIndex % slots_;
        return j == 0 ? rows_[slot] : extremes_.data() + (static_cast<size_t>(slot) * levels_ + j - 1) * length_;
    }

private:
    int32_t slots_, levels_, length_;
    std::vector<const uint8_t*> rows_;
    std::vector<uint8_t> extremes_;
};

// Whether every accumulated sample has reached the operation's limit.
template <typename Op>
bool AllAtLimit(const uint8_t* acc, int32_t n) {
    uint8_t differs = 0;
    for (int32_t i = 0; i < n; ++i) differs |= static_cast<uint8_t>(acc[i] ^ Op::kLimit);
    return differs == 0;
}

// One output row through the disc, from the window's rows first..first + 2 radius: the whole
// weights' runs first, then, unless they already reached the limit everywhere (the early stop at
// 255 for a spread, 0 for a choke), the partial weights.
template <typename Op>
void DiscRow(const RunExtremes<Op>& rows, int32_t first, const std::vector<DiscRowShape>& shape, int32_t count,
             uint8_t* out) {
    const int32_t side = static_cast<int32_t>(shape.size());
    uint8_t acc[kChunk];
    for (int32_t start = 0; start < count; start += kChunk) {
        const int32_t n = std::min(kChunk, count - start);
        std::fill_n(acc, n, Op::kStart);
        for (int32_t dy = 0; dy < side; ++dy) {
            const DiscRowShape& row = shape[dy];
            if (row.runLength == 0) continue;
            const uint8_t* level = rows.Level(first + dy, row.level) + start + row.runStart;
            PickTwo<Op>(acc, level, level + row.runLength - (1 << row.level), n);
        }
        if (!AllAtLimit<Op>(acc, n)) {
            for (int32_t dy = 0; dy < side; ++dy) {
                const uint8_t* samples = rows.Level(first + dy, 0) + start;
                for (const DiscTap& tap : shape[dy].partial) PickWeighted<Op>(acc, samples + tap.dx, tap.weight, n);
            }
        }
        std::memcpy(out + start, acc, static_cast<size_t>(n));
    }
}

template <typename Op>
void DiscPlane(const uint16_t* disc, int32_t radius, const Rect16& rect, uint8_t* plane) {
    const int32_t width = ClampedWidth(rect), height = ClampedHeight(rect);
    const int32_t stride = width + 2 * radius, side = 2 * radius + 1;
    const std::vector<DiscRowShape> shape = DiscShape(disc, radius);
    int32_t levels = 0;
    for (const DiscRowShape& row : shape) levels = std::max(levels, row.level);
    RunExtremes<Op> rows(side, levels, stride);
    for (int32_t i = 0; i < side - 1; ++i) rows.Load(i, plane + ptrdiff_t{i} * stride);
    for (int32_t row = 0; row < height; ++row) {
        rows.Load(row + side - 1, plane + ptrdiff_t{row + side - 1} * stride);
        DiscRow<Op>(rows, row, shape, width, plane + ptrdiff_t{row} * width);
    }
}

// One pass of the square window: the extreme of the centre and its neighbours up to radius taps
// away on both sides.
template <typename Op>
void SquareSpan(const uint8_t* centre, ptrdiff_t tapStride, int32_t radius, int32_t count, uint8_t* out) {
    uint8_t acc[kChunk];
    for (int32_t start = 0; start < count; start += kChunk) {
        const int32_t n = std::min(kChunk, count - start);
        const uint8_t* c = centre + start;
        std::memcpy(acc, c, static_cast<size_t>(n));
        for (int32_t k = 1; k <= radius; ++k) {
            PickTwo<Op>(acc, c - k * tapStride, c + k * tapStride, n);
        }
        std::memcpy(out + start, acc, static_cast<size_t>(n));
    }
}

template <typename Op>
void SpreadPlane(const uint16_t* disc, int32_t radius, const Rect16& rect, uint8_t* plane) {
    const int32_t width = ClampedWidth(rect), height = ClampedHeight(rect);
    const ptrdiff_t stride = width + 2 * radius;
    if (disc) {
        DiscPlane<Op>(disc, radius, rect, plane);
        return;
    }
    for (int32_t row = 0; row < height; ++row) {
        uint8_t* out = plane + row * stride;
        SquareSpan<Op>(out + radius * stride, stride, radius, static_cast<int32_t>(stride), out);
    }
    for (int32_t row = 0; row < height; ++row)
        SquareSpan<Op>(plane + row * stride + radius, 1, radius, width, plane + ptrdiff_t{row} * width);
}

// The disc's weight at offset (dx, dy) from its centre, dx and dy >= 0: whole inside the circle
// of radius R, else the covered share of 16 x 16 sample points when the pixel touches it.
uint16_t DiscWeight(int32_t dx, int32_t dy, double outer) {
    const double r2 = outer * outer;
    const auto square = [](double v) { return v * v; };
    if (square(dx + 0.5) + square(dy + 0.5) <= r2) return 256;
    if (square(dx - 0.5) + square(dy - 0.5) >= r2) return 0;
    uint16_t covered = 0;
    for (int32_t i = -15; i <= 15; i += 2)
        for (int32_t j = -15; j <= 15; j += 2)
            if (square(dx + i / 32.0) + square(dy + j / 32.0) <= r2) ++covered;
    return covered;
}

// ---- Distance

// A boundary between two parabolas of the envelope: the exact fraction num / den (den > 0).
struct Boundary {
    int64_t num;
    int64_t den;
};
constexpr int64_t kAcross = 65025;  // (255 x one column)^2

bool AtOrBefore(const Boundary& a, const Boundary& b) {
    return static_cast<__int128>(a.num) * b.den <= static_cast<__int128>(b.num) * a.den;
}

// The working rows, grown to the widest row asked for so far: the vertical distances (16 bits
// while they fit, that is up to radius 256), and the lower envelope of the parabolas
// d[q]^2 + 65025 (p - q)^2 over them.
struct DistanceWork {
    std::vector<uint16_t> vertical16;
    std::vector<uint32_t> vertical32;
    std::vector<int32_t> apex;
    std::vector<Boundary> boundary;
};
DistanceWork gDistanceWork;

template <typename D>
std::vector<D>& VerticalOf(DistanceWork& work) {
    if constexpr (sizeof(D) == 2) return work.vertical16;
    else return work.vertical32;
}

template <typename D>
void Grow(std::vector<D>& rows, size_t length) {
    if (rows.size() < length) WithWorkingMemory(kDistanceRowLine, [&] { rows.resize(length); });
}

template <typename D>
DistanceWork& DistanceRows(size_t length) {
    Grow(VerticalOf<D>(gDistanceWork), length);
    Grow(gDistanceWork.apex, length);
    Grow(gDistanceWork.boundary, length + 1);
    return gDistanceWork;
}

// Vertical distance of every padded column: 255 k plus the nearest partly covered sample k rows up
// or down. Going from the farthest rows inwards lets the nearest one win.
template <typename D>
void VerticalDistances(const uint8_t* centre, ptrdiff_t stride, int32_t radius, int32_t count, D* d) {
    std::fill_n(d, count, static_cast<D>((radius + 1) * 255));
    for (int32_t k = radius; k >= 0; --k) {
        const uint8_t* up = centre - k * stride;
        const uint8_t* down = centre + k * stride;
        const D base = static_cast<D>(255 * k);
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t nearest = std::min(up[i], down[i]);
            d[i] = nearest < 255 ? static_cast<D>(base + nearest) : d[i];
        }
    }
}

// For columns first..first+count-1 of the padded row, the least of d[q]^2 + 65025 (p - q)^2 over
// every column q, rounded to its square root. Columns farther than (d[p] - 1) / 255 cannot beat
// d[p]^2 itself, so this is the distance through the nearest column within reach; the envelope
// of the parabolas finds it in one sweep, with exact comparisons of the boundaries.
template <typename D>
void HorizontalDistances(DistanceWork& work, int32_t length, int32_t first, int32_t count, uint16_t* out) {
    const D* d = VerticalOf<D>(work).data();
    int32_t* apex = work.apex.data();
    Boundary* boundary = work.boundary.data();
    const auto height = [d](int64_t q) { return int64_t{d[q]} * d[q] + kAcross * q * q; };
    const auto meet = [&](int64_t q, int64_t v) { return Boundary{height(q) - height(v), 2 * kAcross * (q - v)}; };

    int32_t top = 0;
    apex[0] = 0;
    for (int32_t q = 1; q < length; ++q) {
        Boundary s = meet(q, apex[top]);
        while (top > 0 && AtOrBefore(s, boundary[top])) s = meet(q, apex[--top]);
        apex[++top] = q;
        boundary[top] = s;
    }
    int32_t k = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int64_t p = first + i;
        while (k < top && boundary[k + 1].num < p * boundary[k + 1].den) ++k;
        const int64_t q = apex[k];
        if (q == p) {  // the own column: no root to take
            out[i] = static_cast<uint16_t>(std::min<uint32_t>(d[p], 65535));
            continue;
        }
        const uint64_t best = static_cast<uint64_t>(kAcross * (p - q) * (p - q)) + uint64_t{d[q]} * d[q];
        const double distance = std::trunc(std::sqrt(static_cast<double>(best)) + 0.5);
        out[i] = static_cast<uint16_t>(std::min(distance, 65535.0));
    }
}

// D holds a vertical distance: at most (radius + 1) x 255.
template <typename D>
void DistancePass(int32_t radius, const Rect16& rect, const uint8_t* plane, uint16_t* out) {
    const int32_t width = ClampedWidth(rect), height = ClampedHeight(rect);
    const int32_t stride = width + 2 * radius;
    DistanceWork& work = DistanceRows<D>(static_cast<size_t>(stride));
    for (int32_t row = 0; row < height; ++row) {
        VerticalDistances(plane + ptrdiff_t{row + radius} * stride, stride, radius, stride, VerticalOf<D>(work).data());
        HorizontalDistances<D>(work, stride, radius, width, out + ptrdiff_t{row} * width);
    }
}

}  // namespace

void ImageAddNoise(const Rect16& rect, int32_t amount, uint8_t* plane) {
    const int64_t count = int64_t{ClampedWidth(rect)} * ClampedHeight(rect);
    const int32_t magnitude = std::abs(amount);
    const bool inDarkParts = amount < 0;
    uint32_t seed = gNoiseSeed;
    for (int64_t i = 0; i < count; ++i) {
        seed *= 987654321u;
        const int32_t g = static_cast<int32_t>(seed) >> 16;
        plane[i] = Noisy(plane[i], g, magnitude, inDarkParts);
    }
    gNoiseSeed = seed;
}

uint32_t ImageNoiseSeed() { return gNoiseSeed; }

double ImageMakeGaussKernel(BufferRecord& kernel, int32_t radius) {
    const double margin = 0.1 * radius + 1.0;
    radius = std::max(radius, 0);
    if (!kernel.id && radius == 0) return margin;
    if (kernel.id) {
        const LockedBuffer lock(kernel);
        if (lock.As<GaussKernelHeader>()->radius == static_cast<uint32_t>(radius)) return margin;
    }
    std::vector<uint32_t> weights;
    WithWorkingMemory(kGaussKernelLine, [&] { weights = GaussWeights(radius); });

    const LockedBuffer locked = AllocateKernel(kernel, (int64_t{radius} + 1) * 4 + 16, kGaussKernelLine);
    char* address = locked.Get();
    *reinterpret_cast<GaussKernelHeader*>(address) = GaussKernelHeader{static_cast<uint32_t>(radius), {0, 0, 0}};
    std::memcpy(address + sizeof(GaussKernelHeader), weights.data(), weights.size() * sizeof(uint32_t));
    return margin;
}

void ImageBlurPlane(BufferRecord* kernel, const Rect16& rect, uint8_t* plane) {
    SeparableBlur(kernel, rect, plane, 1);
}

void ImageBlurInterleaved(BufferRecord* kernel, const Rect16& rect, uint8_t* pixels, int32_t channels) {
    SeparableBlur(kernel, rect, pixels, std::max(channels, 1));
}

void ImageBlurPlane16(BufferRecord* kernel, const Rect16& rect, uint16_t* plane) {
    SeparableBlur(kernel, rect, plane, 1);
}

double ImageMakeDiscKernel(BufferRecord& kernel, int32_t radius) {
    const double cost = 1.0 + 0.02 * radius * radius;
    int32_t old = 0;
    if (kernel.id) {
        const LockedBuffer lock(kernel);
        auto* header = lock.As<DiscKernelHeader>();
        old = header->radius;
        header->radius = radius;
    }
    if (radius == 0 || radius == old) return cost;
    const int32_t reach = std::abs(radius);
    const int32_t side = 2 * reach + 1;
    const LockedBuffer locked = AllocateKernel(kernel, int64_t{side} * side * 2 + 8, kDiscKernelLine);
    auto* header = locked.As<DiscKernelHeader>();
    *header = DiscKernelHeader{1, radius};
    uint16_t* weights = reinterpret_cast<uint16_t*>(header + 1);
    const double outer = reach + 0.5;
    for (int32_t dy = 0; dy <= reach; ++dy) {
        for (int32_t dx = 0; dx <= reach; ++dx) {
            const uint16_t weight = DiscWeight(dx, dy, outer);
            weights[(reach - dy) * side + reach - dx] = weight;
            weights[(reach - dy) * side + reach + dx] = weight;
            weights[(reach + dy) * side + reach - dx] = weight;
            weights[(reach + dy) * side + reach + dx] = weight;
        }
    }
    return cost;
}

void ImageSpreadPlane(BufferRecord* disc, int32_t radius, const Rect16& rect, uint8_t* plane) {
    const int32_t reach = std::abs(radius);
    if (reach == 0) return;
    const LockedBuffer lock(disc);
    const auto* header = lock.As<DiscKernelHeader>();
    const bool useDisc = header && header->built && header->radius == radius;
    const uint16_t* weights = useDisc ? reinterpret_cast<const uint16_t*>(header + 1) : nullptr;
    WithWorkingMemory(kDiscKernelLine, [&] {
        if (radius > 0) SpreadPlane<Spread>(weights, reach, rect, plane);
        else SpreadPlane<Choke>(weights, reach, rect, plane);
    });
}

void ImageDistancePass(int32_t radius, const Rect16& rect, const uint8_t* plane, uint16_t* out) {
    radius = std::max(radius, 0);
    if (radius <= 256) DistancePass<uint16_t>(radius, rect, plane, out);
    else DistancePass<uint32_t>(radius, rect, plane, out);
}
