// The image kernels: the renderer's pixel and geometry primitives, free functions over plain buffers.
//
// Planes are packed rows of 8-bit (or 16-bit) samples. A plane filtered with radius r carries r
// extra rows above and below and r extra columns on each side of its rectangle; the filters write
// their packed result (rectangle width x height) to the start of the same buffer. 16-bit samples
// run 0..32768. Blur weights are integers summing to 4096, applied with (sum + 2048) >> 12.
#pragma once

#include <cstdint>
#include <vector>

#include "HostMemory.h"
#include "PluginInterface.h"

// ---- Noise

// Adds noise to a packed plane: a negative amount puts it in the dark parts, a positive one in the
// light parts. The generator's state is the library's and runs on from call to call.
void ImageAddNoise(const Rect16& rect, int32_t amount, uint8_t* plane);
uint32_t ImageNoiseSeed();

// ---- Kernels, kept by the caller in a BufferRecord while their radius stays the same

// Gauss kernel: the radius, three reserved words, then weights W0..Wr that sum to 4096 as
// W0 + 2 (W1 + .. + Wr).
struct GaussKernelHeader {
    uint32_t radius;
    uint32_t reserved[3];
};
// Builds (or keeps) the kernel for radius r; answers the margin factor 0.1 r + 1.0.
double ImageMakeGaussKernel(BufferRecord& kernel, int32_t radius);

// Disc kernel: the built flag, the signed radius (negative: choke), then (2r+1)^2 weights 0..256.
struct DiscKernelHeader {
    uint32_t built;
    int32_t radius;
};
// Builds (or keeps) the disc for radius r; answers the cost factor 1.0 + 0.02 r^2.
double ImageMakeDiscKernel(BufferRecord& kernel, int32_t radius);

// ---- Separable blurs with a Gauss kernel (or none: radius 0)

void ImageBlurPlane(BufferRecord* kernel, const Rect16& rect, uint8_t* plane);
// Pixels of `channels` interleaved samples, each channel blurred on its own.
void ImageBlurInterleaved(BufferRecord* kernel, const Rect16& rect, uint8_t* pixels, int32_t channels);
void ImageBlurPlane16(BufferRecord* kernel, const Rect16& rect, uint16_t* plane);

// ---- Spread (radius > 0) and choke (radius < 0)

// Through the disc kernel when it is built for this radius, else through a square window.
void ImageSpreadPlane(BufferRecord* disc, int32_t radius, const Rect16& rect, uint8_t* plane);

// ---- Distance to the frame's edge, in 1/255 pixel

// For every pixel of the rectangle, the distance to the nearest sample below 255 within the
// radius ((radius + 1) x 255 when there is none), saturated at 65535; out is packed.
void ImageDistancePass(int32_t radius, const Rect16& rect, const uint8_t* plane, uint16_t* out);

// ---- Process tables, built once

inline constexpr int32_t kSqrtTableLength = 10001;
inline constexpr int32_t kGaussTableLength = 401;
inline constexpr int32_t kCosineTableLength = 15001;
void ImageBuildSqrtTable();
void ImageBuildGaussTable();
void ImageBuildCosineTable();
const uint16_t* ImageSqrtTable();    // entry i: sqrt(i / 10000) x 65535
const uint8_t* ImageGaussTable();    // entry i: exp(-(i / 100)^2 / 2) x 255
const uint8_t* ImageCosineTable();   // entry i: acos(1 - 2i / 15000) x 255 / pi

// ---- Bevel light

inline constexpr int32_t kLightProfileLength = 361;
struct BevelLight {
    double zenith;                   // the light's angle from the zenith
    double lightX, lightY, lightZ;   // towards the light
    double norm0, norm1;             // normalising factors of the profile
    double softness;                 // f: the error function's scale
    double softnessSquared;          // f^2 x 2 / 255
    int32_t level0, level1, level2;  // flat, diffuse and specular levels
    uint8_t profile[kLightProfileLength];  // lit fraction by the angle to the light, 0..pi
};
// settings: the material bytes (preset number, specular share in percent, softness in degrees,
// directed light in percent).
void ImageSetupBevelLight(BevelLight& light, double altitude, double angle, const uint8_t settings[4]);
// The error function.
double ImageShade(double x);

// ---- 2x3 affine transforms: a point (q, r) maps to (q a + r b + c, q d + r e + f)

struct AffineTransform {
    bool mirror;
    double a, b, c, d, e, f;
};
// Maps the rectangle onto [-sx, sx] x [-sy, sy], then turns it by the angle (radians).
AffineTransform& ImageMakeRectTransform(AffineTransform& t, const Rect16& rect, double sx, double sy, double angle);
AffineTransform& ImageMakeRotation(AffineTransform& t, const Rect16& rect, double angle);
void ImageInvertTransform(AffineTransform& t);

// ---- Interpolating cubic splines

struct SplinePath {
    int32_t status = -1;       // 0, or -1: no curve
    int32_t pointCount = 0;    // n
    int32_t controlCount = 0;  // n + 2
    std::vector<double> knots;    // n + 6: three before the first point, the points, three after
    std::vector<double> control;  // the solved control values
    std::vector<double> values;   // the curve at every point
};
// The interval of t among knots 3..m (-1 outside) and its four cubic B-spline basis values.
int32_t ImageSplineBasis(double t, int32_t m, const double* knots, double out[4]);
// The second derivatives of interval k's four basis functions at its first knot (out[0..3]) and
// at its last knot (out[4..7]): the natural end conditions.
void ImageSplineEndBasis(int32_t k, const double* knots, double out[8]);
// The curve through (x[i], y[i]); x must increase strictly and n be at least 2.
SplinePath& ImageMakeSplinePath(SplinePath& path, int32_t n, const double* x, const double* y);
// The curve's value at t, which must lie within the points' range.
double ImageSplineValue(const SplinePath& path, double t);
