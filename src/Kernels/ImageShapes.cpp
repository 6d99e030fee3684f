// Generated frame shapes: set-ups, inside-tests and the rasteriser.
#include "ImageShapes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kSqrt2 = std::numbers::sqrt2;

double Square(double v) { return v * v; }

// ---- Parameter positions

namespace Ellipse {
enum : int { kFx, kFy };
}
namespace RoundRect {
enum : int { kHalfWidth, kHalfHeight, kRadius, kSignedRadiusSquared, kCornerX, kCornerY, kConcave };
}

// Turns (x, y) by whole sectors of the polygon until it lies in the sector around the positive
// y axis; the x coordinate keeps its sign.
inline void FoldIntoSector(double x, double y, const double* p, double& foldedX, double& foldedY) {
    double fx = std::abs(x), fy = y;
    while (fy < 0.0 || fx > fy * p[7]) {
        const double nx = fx * p[3] + fy * p[2];
        fy = fx * p[1] + fy * p[0];
        fx = nx;
    }
    foldedX = fx;
    foldedY = fy;
}

// ---- The rasteriser's per-pixel step

// Coverage of the pixel whose corners (grid points) gave `corners` inside results; mixed pixels
// are sampled at n x n points centred in the square (q - 1, r - 1) .. (q, r).
template <typename Inside>
inline uint8_t PixelCoverage(int32_t corners, int32_t q, int32_t r, int32_t n, const AffineTransform& t,
                             const double* steps, Inside inside) {
    if (corners == 0) return 0;
    if (corners == 4) return 255;
    if (n < 2) return corners < 2 ? 0 : 255;
    const double lead = static_cast<double>(2 * n - 1) / (2 * n);
    const double baseQ = q - lead, baseR = r - lead;
    int32_t count = 0;
    for (int32_t j = 0; j < n; ++j) {
        const double sr = baseR + steps[j];
        for (int32_t i = 0; i < n; ++i) {
            const double sq = baseQ + steps[i];
            count += inside(sq * t.a + sr * t.b + t.c, sq * t.d + sr * t.e + t.f) ? 1 : 0;
        }
    }
    const int32_t samples = n * n;
    return static_cast<uint8_t>((count * 255 + samples / 2) / samples);
}

template <typename Inside>
inline uint8_t CornerInside(int32_t q, int32_t r, const AffineTransform& t, Inside inside) {
    return inside(q * t.a + r * t.b + t.c, q * t.d + r * t.e + t.f) ? 1 : 0;
}

// The scan: `corners` holds the inside results of the previous grid row and is shifted to the
// current row as the columns go.
template <typename Inside>
void RasterizeRows(const AffineTransform& t, const Rect16& rect, uint8_t* out, uint8_t* corners, int32_t n,
                   const double* steps, Inside inside) {
    const int32_t left = rect.left, right = rect.right;
    for (int32_t q = left; q <= right; ++q) corners[q - left] = CornerInside(q, rect.top, t, inside);
    for (int32_t r = rect.top + 1; r <= rect.bottom; ++r) {
        uint8_t lowerLeft = CornerInside(left, r, t, inside);
        for (int32_t q = left + 1; q <= right; ++q) {
            const uint8_t lowerRight = CornerInside(q, r, t, inside);
            const int32_t sum = corners[q - 1 - left] + corners[q - left] + lowerLeft + lowerRight;
            *out++ = PixelCoverage(sum, q, r, n, t, steps, inside);
            corners[q - 1 - left] = lowerLeft;
            lowerLeft = lowerRight;
        }
        corners[right - left] = lowerLeft;
    }
}

}  // namespace

// ---- Set-ups

void SetupEllipse(double* p, int32_t aspect) {
    p[Ellipse::kFx] = 1.0;
    p[Ellipse::kFy] = 1.0;
    if (aspect < 0) p[Ellipse::kFx] = 100.0 / (aspect + 100);
    else p[Ellipse::kFy] = 100.0 / (100 - aspect);
}

void SetupRoundRect(double* p, double ks, int32_t height, int32_t width) {
    using namespace RoundRect;
    double hw = 1.0, hh = 1.0;
    if (height > 0 && width > 0) {
        if (height > width) hw = static_cast<double>(width) / height;
        else hh = static_cast<double>(height) / width;
    }
    const double r = std::min(hw, hh) / std::max(hw, hh) * std::abs(ks);
    const bool concave = ks < 0.0;
    p[kHalfWidth] = hw;
    p[kHalfHeight] = hh;
    p[kRadius] = r;
    p[kSignedRadiusSquared] = r * r * (concave ? -1.0 : 1.0);
    p[kCornerX] = concave ? hw : hw - r;
    p[kCornerY] = concave ? hh : hh - r;
    p[kConcave] = concave ? 1.0 : 0.0;
}

void ImageMakePolygon(double* p, int32_t sides, double corner, double inset) {
    const int32_t n = std::max(sides, 3);
    const double sector = 2.0 * kPi / n, half = kPi / n;
    const double cosHalf = std::cos(half), sinHalf = std::sin(half);
    const double c = std::abs(corner);
    p[0] = std::cos(sector);
    p[1] = std::sin(sector);
    p[2] = -std::sin(sector);
    p[3] = std::cos(sector);
    p[4] = c;
    p[5] = 1.0 - c;
    p[6] = c * c;
    p[7] = std::tan(half);
    p[8] = cosHalf * (1.0 - c) + c;  // the edge line
    p[9] = sinHalf * (1.0 - c);
    p[10] = corner < 0.0 ? 1.0 : 0.0;
    p[11] = cosHalf * (1.0 - c);  // the corner circle's centre: y, x
    p[12] = sinHalf * (1.0 - c);

    double rho = inset < 0.0 ? p[8] : inset;
    // Without a corner circle there is no tangent from it to reach.
    const double u0 = c > 0.0 ? -(p[12] / c) : -std::numeric_limits<double>::infinity();
    if (u0 >= -1.0) rho = std::max(rho, std::sqrt(1.0 - u0 * u0) * c + p[11]);
    const double a = Square(1.0 - c) - 2.0 * (1.0 - c) * rho * cosHalf + rho * rho;
    const double b = (rho - p[11]) * c;
    const double d = b * b - (c * c - Square(1.0 - c) * sinHalf * sinHalf) * a;
    double u, w;
    if (d > 0.0) {
        u = std::min((std::sqrt(d) + b) / a, 1.0);
        w = -std::sqrt(1.0 - u * u);
    } else {
        u = std::sqrt(1.0 - u0 * u0);
        w = u0;
    }
    if (rho > p[8]) w = -w;
    p[19] = u;  // the tangent's normal
    p[20] = w;
    p[17] = w;
    p[18] = -u;
    p[15] = c * u + p[11];  // the tangent point: y, x
    p[16] = c * w + p[12];
    const double m = 2.0 * c * std::max(0.0, sinHalf * w + cosHalf * u);
    p[13] = m * cosHalf + p[11];  // the concave circle's centre: y, x
    p[14] = m * sinHalf + p[12];
}

void SetupArrow(double* p, double head, double base, double k) {
    const double g = head * 0.5 * k;
    const double e = (kSqrt2 - 1.0) * g + head;
    const double j = e + ((1.0 - kSqrt2) * g - 1.0);  // the head's base line
    const double v = j - g;
    const double z = e - g / std::tan(0.39269908175);
    const double l = g - 1.0;
    const double sw = (z + g) * base * 0.99999;  // the shaft's half width
    const double sr = sw * k;
    p[0] = g * g;
    p[1] = l;
    p[2] = l - g * kSqrt2 / 2.0;
    p[3] = l - g * kSqrt2;
    p[4] = z;
    p[5] = v;
    p[6] = v - g * kSqrt2 / 2.0;
    p[7] = std::max(sw, z);
    p[8] = j;
    p[9] = 1.0 - sr;
    p[10] = sw;
    p[11] = sw - sr;
    p[12] = sr * sr;
}

void SetupHeart(double* h, double k, bool broken) {
    const double a = kSqrt2 / (kSqrt2 + 1.0);
    const double b = (2.0 - a - a * 3.0 * kSqrt2 * 0.5) * 0.5;
    const double p = 1.0 - b;
    const double q = a - a / kSqrt2 - 1.0 + b;
    const double quarter = -kPi / 4.0;
    const double crack = 0.5235987756666667;
    const double d = (p - q) / 9.25;
    h[0] = broken ? 1.0 : 0.0;
    h[1] = 1.0 / d;  // the crack's zig-zag steps
    h[2] = d;
    h[3] = q - d * 0.5;
    h[4] = h[7] = std::cos(-crack);
    h[6] = std::sin(-crack);
    h[5] = -std::sin(-crack);
    h[8] = h[11] = std::cos(crack);
    h[10] = std::sin(crack);
    h[9] = -std::sin(crack);
    h[12] = h[15] = std::cos(quarter);  // the lower point's edges
    h[14] = std::sin(quarter);
    h[13] = -std::sin(quarter);
    h[16] = q;
    h[17] = 2.0 * a;
    h[18] = p - a * k * kSqrt2 * 0.5;
    h[19] = 1.0 - a;  // the lobe circle
    h[20] = a - 1.0 + b;
    h[21] = 0.0;
    h[22] = p - a * k * kSqrt2;  // the tip circle
    h[23] = a * a;
    h[24] = a * a * k * k;
}

// ---- Inside-tests

bool InsideEllipse(double x, double y, const double* p) {
    return Square(x * p[Ellipse::kFx]) + Square(y * p[Ellipse::kFy]) <= 1.0;
}

bool InsideRoundRect(double x, double y, const double* p) {
    using namespace RoundRect;
    const double ax = std::abs(x), ay = std::abs(y);
    const double cornerDistance = Square(ax - p[kCornerX]) + Square(ay - p[kCornerY]);
    if (p[kConcave] != 0.0)
        return ax < p[kHalfWidth] && ay < p[kHalfHeight] && p[kSignedRadiusSquared] > -cornerDistance;
    return (ax < p[kHalfWidth] && ay < p[kCornerY]) || (ax < p[kCornerX] && ay < p[kHalfHeight]) ||
           cornerDistance < p[kRadius] * p[kRadius];
}

bool InsidePolygon(double x, double y, const double* p) {
    double fx, fy;
    FoldIntoSector(x, y, p, fx, fy);
    if (fy >= p[8]) return false;
    const double ax = std::abs(fx);
    if (ax >= p[9] && !(Square(fy - p[11]) + Square(ax - p[12]) < p[6])) return false;
    if (p[10] == 0.0) return true;
    return Square(fy - p[13]) + Square(ax - p[14]) > p[6];
}

bool InsideStar(double x, double y, const double* p) {
    double fx, fy;
    FoldIntoSector(x, y, p, fx, fy);
    const double ax = std::abs(fx);
    if (!((ax - p[16]) * p[20] + (fy - p[15]) * p[19] < 0.0)) return false;
    if ((ax - p[16]) * p[18] + (fy - p[15]) * p[17] > 0.0) return true;
    return Square(ax - p[12]) + Square(fy - p[11]) < p[6];  // the rounded tip
}

bool InsideArrow(double x, double y, const double* p) {
    const double ax = std::abs(x);
    if (y >= p[8]) {  // the shaft
        if (y >= 1.0 || ax >= p[10]) return false;
        if (ax - p[11] < 0.0 || y - p[9] < 0.0) return true;
        return Square(ax - p[11]) + Square(y - p[9]) < p[12];
    }
    if (y <= -1.0) return false;
    if (y <= p[2]) return ax * ax + Square(y - p[1]) < p[0];  // the rounded tip
    if (ax >= p[7] && y >= p[6]) return Square(ax - p[4]) + Square(y - p[5]) < p[0];  // a rounded barb
    return y - p[3] > ax;  // the head's 45-degree edges
}

bool InsideHeart(double x, double y, const double* h) {
    if (h[0] != 0.0) {
        // The crack zig-zags down the middle, alternating between two slants each step.
        const double step = std::trunc((y - h[3]) * h[1]);
        const int32_t i = std::fmod(step, 2.0) != 0.0 ? 2 : 1;
        const double distance = (y - h[3] - (step + 0.5) * h[2]) * h[4 * i + 1] + x * h[4 * i];
        if (std::abs(distance) < 0.05) return false;
    }
    if (y > h[18]) return Square(y - h[22]) + x * x < h[24];
    const double ax = std::abs(x);
    if (Square(ax - h[19]) + Square(y - h[20]) < h[23]) return true;
    if (!((y - h[16]) * h[15] + ax * h[14] > 0.0)) return false;
    return h[17] > (y - h[16]) * h[13] + ax * h[12];
}

bool InsideShape(const ShapeTest& shape, double x, double y) {
    const double* p = shape.params.data();
    switch (shape.kind) {
    case ShapeKind::Ellipse: return InsideEllipse(x, y, p);
    case ShapeKind::Rectangle: return InsideRoundRect(x, y, p);
    case ShapeKind::Polygon: return InsidePolygon(x, y, p);
    case ShapeKind::Star: return InsideStar(x, y, p);
    case ShapeKind::Arrow: return InsideArrow(x, y, p);
    case ShapeKind::Heart: return InsideHeart(x, y, p);
    case ShapeKind::None: break;
    }
    return false;
}

// ---- Rasterising

ErrorCode ImageRasterize(const AffineTransform& t, const Rect16& rect, uint8_t* out, const ShapeTest& shape,
                         int32_t n) {
    const int32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return 0;
    const std::unique_ptr<uint8_t[]> corners(new (std::nothrow) uint8_t[static_cast<size_t>(width) + 1]);
    if (!corners) return Err::MemoryFull;
    const int32_t samples = std::max(n, 1);
    std::unique_ptr<double[]> steps(new (std::nothrow) double[static_cast<size_t>(samples)]);
    if (!steps) return Err::MemoryFull;
    for (int32_t i = 0; i < samples; ++i) steps[i] = static_cast<double>(i) / samples;

    const double* p = shape.params.data();
    auto scan = [&](auto inside) { RasterizeRows(t, rect, out, corners.get(), n, steps.get(), inside); };
    switch (shape.kind) {
    case ShapeKind::Ellipse: scan([p](double x, double y) { return InsideEllipse(x, y, p); }); break;
    case ShapeKind::Rectangle: scan([p](double x, double y) { return InsideRoundRect(x, y, p); }); break;
    case ShapeKind::Polygon: scan([p](double x, double y) { return InsidePolygon(x, y, p); }); break;
    case ShapeKind::Star: scan([p](double x, double y) { return InsideStar(x, y, p); }); break;
    case ShapeKind::Arrow: scan([p](double x, double y) { return InsideArrow(x, y, p); }); break;
    case ShapeKind::Heart: scan([p](double x, double y) { return InsideHeart(x, y, p); }); break;
    case ShapeKind::None: std::fill_n(out, static_cast<size_t>(width) * height, uint8_t{0}); break;
    }
    return 0;
}
