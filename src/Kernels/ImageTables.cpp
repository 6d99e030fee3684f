// The process tables (square root, Gauss, cosine), the error function and the bevel light set-up.
#include <algorithm>
#include <array>
#include <cmath>

#include "Kernels.h"

namespace {

constexpr double kPi = 3.141592654;

// A table built once on first request and kept for the life of the process.
template <typename T, int32_t length>
struct ProcessTable {
    bool built = false;
    std::array<T, length> entries{};

    template <typename Entry>
    void Build(Entry entry) {
        if (built) return;
        for (int32_t i = 0; i < length; ++i) entries[i] = static_cast<T>(entry(i));
        built = true;
    }
};

ProcessTable<uint16_t, kSqrtTableLength> gSqrtTable;
ProcessTable<uint8_t, kGaussTableLength> gGaussTable;
ProcessTable<uint8_t, kCosineTableLength> gCosineTable;

// Rounds a non-negative value half up, as every table entry is rounded.
double Round(double v) { return std::trunc(v + 0.5); }

// The lit share of a surface turned by angle a from the light: the difference of two error
// functions, a smoothed step of width set by f.
uint8_t ProfileEntry(double a, double f) {
    return static_cast<uint8_t>(Round((ImageShade((a + kPi / 2) * f) - ImageShade((a - kPi / 2) * f)) * 0.5 * 255));
}

// 1 / (entry / 255) at the angle's index; 1.0 where there is no entry or it is 0.
double ProfileNorm(const BevelLight& light, double angle) {
    const double index = std::trunc(angle * 360 / kPi);
    if (!(index >= 0 && index < kLightProfileLength)) return 1.0;
    const uint8_t entry = light.profile[static_cast<int32_t>(index)];
    return entry ? 255.0 / entry : 1.0;
}

}  // namespace

void ImageBuildSqrtTable() {
    gSqrtTable.Build([](int32_t i) { return Round(std::sqrt(i * 0.0001) * 65535); });
}

void ImageBuildGaussTable() {
    gGaussTable.Build([](int32_t i) {
        const double x = i / 100.0;
        return Round(std::exp(-x * x / 2) * 255);
    });
}

void ImageBuildCosineTable() {
    gCosineTable.Build([](int32_t i) { return Round(std::acos(1 - 2.0 * i / 15000) * 255 / kPi); });
}

const uint16_t* ImageSqrtTable() { return gSqrtTable.entries.data(); }
const uint8_t* ImageGaussTable() { return gGaussTable.entries.data(); }
const uint8_t* ImageCosineTable() { return gCosineTable.entries.data(); }

double ImageShade(double x) {
    if (x > 5.8) return 1.0;
    if (x < -5.8) return -1.0;
    return std::erf(x);
}

void ImageSetupBevelLight(BevelLight& light, double altitude, double angle, const uint8_t settings[4]) {
    const double specularPercent = settings[1];
    // A softness of 0 would make the step's middle 0 x infinity: one degree is the sharpest.
    const double softnessDegrees = std::max<double>(settings[2], 1.0);
    const double lightPercent = settings[3];

    light.zenith = 1.570796327 - altitude;
    light.lightX = std::sin(angle) * std::cos(altitude);
    light.lightY = -std::cos(angle) * std::cos(altitude);
    light.lightZ = std::sin(altitude);

    const double f = 1 / (std::sqrt(2.0) * softnessDegrees * kPi / 180);
    light.softness = f;
    light.softnessSquared = f * f * 2 / 255;

    // u: the directed light's share, the rest is flat; v: the specular share of the directed light.
    const int32_t u = static_cast<int32_t>(Round(lightPercent / 100 * 256));
    const int32_t v = static_cast<int32_t>(Round(specularPercent / 100 * 256));
    light.level0 = (256 - u) << 8;
    light.level1 = (256 - v) * u;
    light.level2 = v * u;

    for (int32_t k = 0; k < kLightProfileLength; ++k) light.profile[k] = ProfileEntry(k * kPi / 360, f);
    light.norm0 = ProfileNorm(light, 0.0);
    light.norm1 = ProfileNorm(light, light.zenith);
}
