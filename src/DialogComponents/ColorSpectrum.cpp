// The colour well's spectrum and grey strip, pixel by pixel.
#include "ColorSpectrum.h"

#include <algorithm>
#include <cmath>

namespace {

double Unit(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }

uint8_t Byte(double unit) { return static_cast<uint8_t>(std::lround(Unit(unit) * 255.0)); }

// Where `position` lies between 0 and `last`, as 0..1 (0 when there is only one place).
double Fraction(int32_t position, int32_t last) {
    if (last <= 0) return 0.0;
    return static_cast<double>(std::clamp(position, 0, last)) / last;
}

}  // namespace

SpectrumRgb HsbToRgb8(double hue, double saturation, double brightness) {
    if (!std::isfinite(hue)) hue = 0.0;
    const double s = Unit(saturation), v = Unit(brightness);
    double h = std::fmod(hue, 360.0);
    if (h < 0) h += 360.0;
    const double sector = h / 60.0;
    const int whole = std::min(static_cast<int>(sector), 5);
    const double part = sector - whole;
    const double low = v * (1.0 - s), falling = v * (1.0 - s * part), rising = v * (1.0 - s * (1.0 - part));
    double r = v, g = rising, b = low;
    switch (whole) {
        case 0: r = v, g = rising, b = low; break;
        case 1: r = falling, g = v, b = low; break;
        case 2: r = low, g = v, b = rising; break;
        case 3: r = low, g = falling, b = v; break;
        case 4: r = rising, g = low, b = v; break;
        default: r = v, g = low, b = falling; break;
    }
    return SpectrumRgb{Byte(r), Byte(g), Byte(b)};
}

SpectrumRgb SpectrumColorAt(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return SpectrumRgb{};
    const double hue = Fraction(x, width - 1) * 360.0;
    const double down = Fraction(y, height - 1);  // 0 at the top row, 1 at the last
    if (down <= 0.5) return HsbToRgb8(hue, down * 2.0, 1.0);
    return HsbToRgb8(hue, 1.0, (1.0 - down) * 2.0);
}

SpectrumRgb GreyStripColorAt(int32_t x, int32_t width) {
    const uint8_t level = Byte(1.0 - Fraction(x, width - 1));
    return SpectrumRgb{level, level, level};
}
