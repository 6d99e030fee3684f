// The generated frame shapes as inside-tests over a normalised plane, and the rasteriser that
// turns an inside-test into 8-bit coverage.
//
// Every shape spans [-1, 1] on each axis, x to the right and y downwards; a rectangle transform
// maps the target rectangle onto that plane. A test answers whether one point lies inside.
#pragma once

#include <array>
#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"
#include "Kernels.h"

enum class ShapeKind : uint16_t {
    None = 0,  // the empty shape: no point is inside
    Ellipse = 1,
    Rectangle = 2,
    Polygon = 3,
    Star = 4,
    Arrow = 5,
    Heart = 6,
};

// A shape's inside-test: its kind and the parameters its set-up derived. The parameters are
// numbered as the set-ups name them (the heart's from 1, the others from 0).
struct ShapeTest {
    static constexpr int32_t kParameterCount = 25;
    ShapeKind kind = ShapeKind::None;
    std::array<double, kParameterCount> params{};
};

// ---- Set-ups: each fills the parameters of its shape

// Aspect a: negative narrows the ellipse horizontally, positive vertically.
void SetupEllipse(double* params, int32_t aspect);
// A rectangle with the proportions height x width of the filter rectangle, with rounded corners
// (ks > 0) or concave ones (ks < 0); an empty rectangle counts as a square.
void SetupRoundRect(double* params, double ks, int32_t height, int32_t width);
// A regular polygon (inset < 0) or star (inset = the inner radius) of `sides` points with corner
// fraction `corner` (negative: concave corners); fewer than 3 sides count as 3.
void ImageMakePolygon(double* params, int32_t sides, double corner, double inset);
// An arrow pointing up, head and shaft widths as fractions, corner fraction k.
void SetupArrow(double* params, double head, double base, double k);
// A heart with corner fraction k, cracked down the middle when broken.
void SetupHeart(double* params, double k, bool broken);

// ---- Inside-tests

bool InsideEllipse(double x, double y, const double* p);
bool InsideRoundRect(double x, double y, const double* p);
bool InsidePolygon(double x, double y, const double* p);
bool InsideStar(double x, double y, const double* p);
bool InsideArrow(double x, double y, const double* p);
bool InsideHeart(double x, double y, const double* p);
// Dispatches on the kind; the empty shape answers false.
bool InsideShape(const ShapeTest& shape, double x, double y);

// ---- Rasterising

// Coverage of the shape over rect (top, left, bottom, right are grid lines): (bottom - top) rows
// of (right - left) bytes. Grid point (q, r) maps through t to the shape's plane. A pixel whose
// four corners agree is 0 or 255; a mixed one is sampled at n x n points (n >= 2), or thresholded
// at two inside corners (n < 2). 0, or -108 when the working row cannot be had.
ErrorCode ImageRasterize(const AffineTransform& t, const Rect16& rect, uint8_t* out, const ShapeTest& shape,
                         int32_t n);
