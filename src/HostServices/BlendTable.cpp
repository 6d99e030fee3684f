#include "BlendTable.h"

#include <algorithm>
#include <cmath>

namespace {

// The blend of a over b in double precision, before rounding.
double Blend(int32_t mode, double a, double b) {
    switch (mode) {
    case kBlendMultiply: return b * a / 255.0;
    case kBlendScreen: return b + a - b * a / 255.0;
    case kBlendOverlay: return b >= 128 ? 2.0 * (b + a - a * b / 255.0) - 255.0 : a * b / 127.0;
    case kBlendSoftLight: return 255.0 * std::pow(b / 255.0, 2.0 / std::pow(2.0, 2.0 * a / 255.0));
    case kBlendHardLight: return a < 128 ? a * b / 127.0 : 2.0 * (b + a - a * b / 255.0) - 255.0;
    case kBlendDarken: return std::min(a, b);
    case kBlendLighten: return std::max(a, b);
    case kBlendDifference: return std::abs(a - b);
    case kBlendExclusion: return b + a - 2.0 * a * b / 255.0;
    default: return a;  // the three normal modes
    }
}

uint8_t RoundToByte(double r) { return static_cast<uint8_t>(std::clamp(r + 0.5, 0.0, 255.5)); }

}  // namespace

bool BuildBlendTable(int32_t mode, int32_t a, uint8_t table[256]) {
    if (mode < 1 || mode > kBlendModeCount) return false;
    a = std::clamp(a, 0, 255);
    for (int32_t b = 0; b < 256; ++b) table[b] = RoundToByte(Blend(mode, a, b));
    return true;
}
