#include "QuorvelEdges.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <vector>

#include "Errors.h"
#include "Kernels.h"

namespace {

// Every generator starts from this state, so an edge is the same on every run and in every tile.
constexpr uint32_t kEdgeSeed = 987654321;
constexpr uint32_t kDrawMultiplier = 123456789;
constexpr uint32_t kStepMultiplier = 0x9738A3B9;
constexpr double kSignedFraction = 1.0 / 4294967296.0;  // 2^-32
constexpr double kTwoPi = 6.283185308;
constexpr double kDegrees = 3.141592654 / 180.0;
constexpr int32_t kWaveStepsPerPixel = 16;
constexpr int32_t kBrushStrokeStretch = 8;
constexpr int32_t kMaxScaledSize = 32767;  // scatter offsets up to 2 x this fit 16 bits
constexpr double kTableOrigin = 524288.0;  // keeps table coordinates positive before truncation

int32_t RoundHalfAway(double v) {
    const double r = std::round(v);
    return std::isfinite(r) ? static_cast<int32_t>(std::clamp(r, 0.0, double{kMaxScaledSize})) : 0;
}

// An index into a table of `size` entries that repeats in both directions.
inline int32_t FloorMod(int64_t v, int32_t size) {
    const int64_t m = v % size;
    return static_cast<int32_t>(m < 0 ? m + size : m);
}

// Allocates the cache's table for `count` entries of T and locks it; failures are raised.
template <typename T>
LockedBuffer AllocateTable(EdgeCache& cache, int64_t count) {
    THROW_IF_ERROR(cache.table.Allocate(count * static_cast<int64_t>(sizeof(T))));
    LockedBuffer table(cache.table);
    if (!table) THROW_IF_ERROR(Err::MemoryFull);
    return table;
}

template <typename T>
std::vector<T> WorkArray(int64_t count) {
    try {
        return std::vector<T>(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        THROW_IF_ERROR(Err::MemoryFull);
        return {};
    }
}

// Rescales values to span -amplitude..amplitude; a flat set becomes 0.
void Normalise(double* values, int64_t n, double amplitude) {
    double low = 1e30, high = -1e30;
    for (int64_t i = 0; i < n; ++i) {
        low = std::min(low, values[i]);
        high = std::max(high, values[i]);
    }
    if (!(high > low)) {
        std::fill_n(values, n, 0.0);
        return;
    }
    for (int64_t i = 0; i < n; ++i) values[i] = (values[i] - low) * 2.0 * amplitude / (high - low) - amplitude;
}

// The raw displacement of an entry, kept in its offset fields until SplitEdgeOffsets.
inline void SetRawOffsets(DisplacementEntry& entry, float column, float row) {
    entry.column = std::bit_cast<int32_t>(column);
    entry.row = std::bit_cast<int32_t>(row);
}

// Wave profiles over one period of n table steps, -1..1.
double WaveProfile(uint16_t type, int32_t i, int32_t n) {
    const double q = n / 4.0;
    switch (type) {
    case kEdgeWave: return std::sin(i * kTwoPi / n);
    case kEdgeTriangle: return i < q ? i / q : i < 0.75 * n ? 2.0 - i / q : (i - n) / q;
    case kEdgeSawTeeth: return 1.0 - (i / q) * 0.5;
    default: return 2.0 * i / n - 1.0;  // reversed saw teeth
    }
}

// ---- Per-pixel steps of the appliers

// Bilinear read of one sample around p: p[0], one column right, one row below, both.
inline uint8_t DisplacedSample(const uint8_t* p, int32_t columnStep, int32_t rowStep, const DisplacementEntry& e) {
    const float v = p[0] * e.w00 + p[rowStep] * e.w01 + p[columnStep] * e.w10 + p[rowStep + columnStep] * e.w11 + 0.5f;
    return static_cast<uint8_t>(std::min(v, 255.0f));
}

// How much of a pixel the clean edge keeps along one axis, from its two neighbours on that axis.
inline double CleanEdgeFactor(int32_t before, int32_t after) {
    const int32_t a = before + 3 * (after - 170);
    const int32_t b = after + 3 * (before - 170);
    if (a * b < 0) return a > b ? static_cast<double>(a) / (a - b) : static_cast<double>(b) / (b - a);
    return a + b >= 1 ? 1.0 : 0.0;
}

inline uint8_t CleanEdgeSample(int32_t up, int32_t down, int32_t left, int32_t right) {
    return static_cast<uint8_t>(CleanEdgeFactor(left, right) * CleanEdgeFactor(up, down) * 255.0 + 0.5);
}

}  // namespace

// ---- Generation

void GenerateEdge(RecordRef slot, double renderScale, uint32_t& seed, EdgeCache& cache) {
    using namespace EdgeLayout;
    const uint16_t type = slot.Get(kType);
    cache.on = slot.Get(kOn) != 0 && type >= 1;
    if (!cache.on) return;

    const double scale = std::isfinite(renderScale) && renderScale > 0.0 ? renderScale : 1.0;
    int32_t height = RoundHalfAway(slot.Get(kPatternDepth) / scale);
    int32_t width = RoundHalfAway(slot.Get(kPatternLength) / scale);
    if (type == kEdgeDiffuse || type == kEdgeClean) width = 2;
    else if (width < 2) height = 0;
    const uint16_t angle = slot.Get(kRotation);
    if (cache.built && cache.type == type && cache.height == height && cache.width == width && cache.angle == angle)
        return;

    // A table of another type must not be mistaken for this one's (the Gauss kernel keeps its
    // radius in the buffer it lives in).
    if (type != cache.type) cache.table.Free();
    cache.type = type;
    cache.width = width;
    cache.height = height;
    cache.angle = angle;
    cache.marginY = cache.marginX = height;
    cache.m00 = cache.m01 = cache.m10 = cache.m11 = 0.0;
    cache.tableWidth = cache.tableHeight = 0;
    cache.built = false;
    if (height <= 0) return;
    switch (type) {
    case kEdgeWave:
    case kEdgeTriangle:
    case kEdgeSawTeeth:
    case kEdgeSawTeethReversed:
    case kEdgeBrushStrokes: EdgeWave(cache, seed); break;
    case kEdgeRandom: EdgeNoise(cache, seed); break;
    case kEdgeDiffuse: EdgeScatter(cache, scale, seed); break;
    case kEdgeClean:
        if (height >= 2) {
            ImageMakeGaussKernel(cache.table, height - 1);
            cache.built = true;
        }
        break;
    default: break;  // no such edge: nothing is built and nothing applied
    }
}

void EdgeWave(EdgeCache& cache, uint32_t& seed) {
    cache.marginY = cache.marginX = cache.height + 1;
    const double a = cache.angle * kDegrees;
    const double sinA = std::sin(a), cosA = std::cos(a);
    // The first table coordinate runs along the angle in sixteenths of a pixel.
    cache.m00 = kWaveStepsPerPixel * cosA;
    cache.m01 = kWaveStepsPerPixel * sinA;
    cache.m10 = -sinA;
    cache.m11 = cosA;
    const int32_t stretch = cache.type == kEdgeBrushStrokes ? kBrushStrokeStretch : 1;
    const int32_t n = cache.width * stretch * kWaveStepsPerPixel;
    cache.tableWidth = n;
    cache.tableHeight = 1;
    const LockedBuffer table = AllocateTable<DisplacementEntry>(cache, n);
    DisplacementEntry* entries = table.As<DisplacementEntry>();

    std::vector<double> random;
    if (cache.type == kEdgeBrushStrokes) {
        random = WorkArray<double>(n);
        seed = kEdgeSeed;
        MakeRandomWave(n, 1.0, seed, random.data());
    }
    const double h = cache.height;
    for (int32_t i = 0; i < n; ++i) {
        const double v = cache.type == kEdgeBrushStrokes ? random[i] : WaveProfile(cache.type, i, n);
        // Across the wave: perpendicular to its direction.
        SetRawOffsets(entries[i], static_cast<float>(-v * h * sinA), static_cast<float>(v * h * cosA));
    }
    SplitEdgeOffsets(n, cache.height, entries);
    cache.built = true;
}

void MakeRandomWave(int32_t n, double amplitude, uint32_t& seed, double* values) {
    constexpr int32_t kOctaves = 8;
    double cosine[kOctaves], sine[kOctaves];
    for (int32_t k = 0; k < kOctaves; ++k) {
        const double amp = std::pow(-0.6, std::abs(k - 3)) * kSignedFraction;
        const uint32_t u = seed * kDrawMultiplier;
        seed *= kStepMultiplier;
        cosine[k] = static_cast<int32_t>(u) * amp;
        sine[k] = static_cast<int32_t>(seed) * amp;
    }
    for (int32_t i = 0; i < n; ++i) {
        const double x = i * kTwoPi / n;
        double v = 0.0;
        for (int32_t k = 0; k < kOctaves; ++k) {
            const double fx = std::ldexp(x, k);
            v += sine[k] * std::sin(fx) + cosine[k] * std::cos(fx);
        }
        values[i] = v;
    }
    Normalise(values, n, amplitude);
}

void EdgeNoise(EdgeCache& cache, uint32_t& seed) {
    cache.marginY = cache.marginX = cache.height + 1;
    // The identity: the table tiles the image. Its side is capped, so a longer pattern repeats
    // at the cap instead of asking for side^2 entries.
    cache.m00 = cache.m11 = 1.0;
    cache.m01 = cache.m10 = 0.0;
    const int32_t side = std::min(cache.width, kMaxNoiseTableSide);
    cache.tableWidth = cache.tableHeight = side;
    const LockedBuffer table = AllocateTable<DisplacementEntry>(cache, int64_t{side} * side);
    DisplacementEntry* entries = table.As<DisplacementEntry>();
    seed = kEdgeSeed;

    // Two random walks of `side` steps, closed into loops.
    std::vector<double> walkX = WorkArray<double>(side), walkY = WorkArray<double>(side);
    double x = 0.0, y = 0.0;
    for (int32_t i = 0; i < side; ++i) {
        walkX[i] = x;
        walkY[i] = y;
        const uint32_t u = seed * kDrawMultiplier;
        x += static_cast<int32_t>(u) * kSignedFraction;
        seed = u * kStepMultiplier;
        y += static_cast<int32_t>(u * kDrawMultiplier) * kSignedFraction;
    }
    for (int32_t i = 0; i < side; ++i) {
        walkX[i] -= i * x / side;
        walkY[i] -= i * y / side;
    }
    Normalise(walkX.data(), side, cache.height);
    Normalise(walkY.data(), side, cache.height);

    // Row i moves sideways by X(i), column j up or down by Y(j).
    for (int32_t i = 0; i < side; ++i)
        for (int32_t j = 0; j < side; ++j)
            SetRawOffsets(entries[int64_t{i} * side + j], static_cast<float>(walkX[i]), static_cast<float>(walkY[j]));
    SplitEdgeOffsets(side * side, cache.height, entries);
    cache.built = true;
}

void SplitEdgeOffsets(int32_t n, int32_t limit, DisplacementEntry* entries) {
    for (int32_t i = 0; i < n; ++i) {
        DisplacementEntry& e = entries[i];
        float rawColumn = std::bit_cast<float>(e.column), rawRow = std::bit_cast<float>(e.row);
        if (!std::isfinite(rawColumn)) rawColumn = 0.0f;
        if (!std::isfinite(rawRow)) rawRow = 0.0f;
        const float x = rawColumn + 32768.0f, y = rawRow + 32768.0f;
        const float tx = std::trunc(x), ty = std::trunc(y);
        const float fx = x - tx, fy = y - ty;
        // The margin is limit + 1: reads at the offset and one beyond stay inside it.
        e.column = std::clamp(static_cast<int32_t>(tx) - 32768, -limit - 1, limit);
        e.row = std::clamp(static_cast<int32_t>(ty) - 32768, -limit - 1, limit);
        e.w00 = (1.0f - fx) * (1.0f - fy);
        e.w01 = fy * (1.0f - fx);
        e.w10 = fx * (1.0f - fy);
        e.w11 = fx * fy;
    }
}

void EdgeScatter(EdgeCache& cache, double renderScale, uint32_t& seed) {
    // The tile: the largest power of two up to 256 with sr x n below 257, but at least 16.
    const int64_t sr = std::llround(renderScale);
    int32_t n = 256;
    while (sr * n >= 257 && n >= 17) n /= 2;
    cache.tableWidth = cache.tableHeight = n;
    const LockedBuffer table = AllocateTable<ScatterEntry>(cache, int64_t{n} * n);
    ScatterEntry* entries = table.As<ScatterEntry>();
    seed = kEdgeSeed;

    const int64_t radius = cache.height, span = 2 * radius + 1;
    for (int32_t i = 0; i < n * n; ++i) {
        int64_t dx, dy;
        do {
            const uint32_t u = seed * kDrawMultiplier;
            seed *= kStepMultiplier;
            dx = ((u & 0xFFFFFF) * span) >> 24;
            dy = ((seed & 0xFFFFFF) * span) >> 24;
        } while ((dx - radius) * (dx - radius) + (dy - radius) * (dy - radius) > radius * radius);
        entries[i] = ScatterEntry{static_cast<uint16_t>(dx), static_cast<uint16_t>(dy)};
    }
    cache.built = true;
}

// ---- Application

bool EdgeActive(const EdgeCache& cache) {
    if (!cache.on || cache.height <= 0) return false;
    return cache.built || cache.type == kEdgeClean;  // a shallow clean edge needs no kernel
}

int32_t EdgeMarginY(const EdgeCache& cache) { return EdgeActive(cache) ? cache.marginY : 0; }
int32_t EdgeMarginX(const EdgeCache& cache) { return EdgeActive(cache) ? cache.marginX : 0; }

void ApplyEdge(EdgeCache& cache, const Rect16& area, uint8_t* image, int32_t samples) {
    if (!EdgeActive(cache) || samples < 1) return;
    switch (cache.type) {
    case kEdgeDiffuse: ApplyEdgeScatter(cache, area, image, samples); break;
    case kEdgeClean: ApplyEdgeGauss(cache, area, image, samples); break;
    default: ApplyEdgeDisplacement(cache, area, image, samples); break;
    }
}

void ApplyEdgeScatter(EdgeCache& cache, const Rect16& area, uint8_t* image, int32_t samples) {
    const int32_t width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    const int32_t mask = cache.tableWidth - 1;
    const int64_t stride = int64_t{width + 2 * cache.marginX} * samples;
    const LockedBuffer tableLock(cache.table);
    const auto* table = tableLock.As<const ScatterEntry>();
    uint8_t* out = image;
    // Reads lie at or after the write position: the result can go to the buffer's start.
    for (int32_t r = 0; r < height; ++r) {
        const ScatterEntry* row = table + int64_t{(area.top + r) & mask} * cache.tableWidth;
        for (int32_t c = 0; c < width; ++c) {
            const ScatterEntry e = row[(area.left + c) & mask];
            const uint8_t* from = image + (r + e.row) * stride + int64_t{c + e.column} * samples;
            for (int32_t s = 0; s < samples; ++s) *out++ = from[s];
        }
    }
}

void ApplyEdgeDisplacement(EdgeCache& cache, const Rect16& area, uint8_t* image, int32_t samples) {
    const int32_t width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    const int32_t rowStep = (width + 2 * cache.marginX) * samples;
    const LockedBuffer tableLock(cache.table);
    const auto* table = tableLock.As<const DisplacementEntry>();
    uint8_t* out = image;
    for (int32_t r = 0; r < height; ++r) {
        const int32_t y = area.top + r;
        for (int32_t c = 0; c < width; ++c) {
            const int32_t x = area.left + c;
            const int32_t j = FloorMod(static_cast<int64_t>(std::trunc(cache.m00 * x + cache.m01 * y + kTableOrigin)),
                                       cache.tableWidth);
            const int32_t i = FloorMod(static_cast<int64_t>(std::trunc(cache.m10 * x + cache.m11 * y + kTableOrigin)),
                                       cache.tableHeight);
            const DisplacementEntry& e = table[int64_t{i} * cache.tableWidth + j];
            const uint8_t* from = image + int64_t{r + cache.marginY + e.row} * rowStep +
                                  int64_t{c + cache.marginX + e.column} * samples;
            for (int32_t s = 0; s < samples; ++s) *out++ = DisplacedSample(from + s, samples, rowStep, e);
        }
    }
}

void ApplyEdgeGauss(EdgeCache& cache, const Rect16& area, uint8_t* image, int32_t samples) {
    const int32_t width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    // Blurred (when deep enough) over the area and a ring of one pixel, which the edge step reads.
    const Rect16 ring{static_cast<int16_t>(area.top - 1), static_cast<int16_t>(area.left - 1),
                      static_cast<int16_t>(area.bottom + 1), static_cast<int16_t>(area.right + 1)};
    if (cache.height > 1) {
        if (samples == 1) ImageBlurPlane(&cache.table, ring, image);
        else ImageBlurInterleaved(&cache.table, ring, image, samples);
    }
    const int32_t rowStep = (width + 2) * samples;
    uint8_t* out = image;
    for (int32_t r = 0; r < height; ++r) {
        for (int32_t c = 0; c < width; ++c) {
            const uint8_t* centre = image + int64_t{r + 1} * rowStep + int64_t{c + 1} * samples;
            for (int32_t s = 0; s < samples; ++s) {
                const uint8_t* p = centre + s;
                *out++ = CleanEdgeSample(p[-rowStep], p[rowStep], p[-samples], p[samples]);
            }
        }
    }
}
