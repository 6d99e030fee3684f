#include "ColorConversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "BigEndian.h"
#include "Errors.h"
#include "ImageModes.h"

namespace {

constexpr double kSqrt3 = 1.732050808;
constexpr double kDegrees = 3.14159265358979323846 / 180.0;

struct Rgb {
    int32_t r, g, b;
};

int32_t Clamp8(int32_t v) { return std::clamp(v, 0, 255); }

// A double becomes a component only when it is a number: NaN gives 0, the rest is clamped.
int32_t ToComponent(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int32_t>(std::clamp(v, 0.0, 255.0));
}

int32_t PositiveModulo(int32_t v, int32_t m) { return ((v % m) + m) % m; }

Rgb HsbToRgb(int32_t hue, int32_t s, int32_t b) {
    const int32_t max = b;
    const int32_t min = ((255 - s) * b + 127) / 255;
    const int32_t h = PositiveModulo(hue, 360);
    const int32_t sector = h / 60;
    const int32_t toMultiple = h % 120;
    const double t = std::min(toMultiple, 120 - toMultiple) * kDegrees;
    const double tangent = std::tan(t);
    const int32_t mid = ToComponent(min + (max - min) * 2.0 * tangent / (tangent + kSqrt3) + 0.5);
    switch (sector) {
    case 0: return {max, mid, min};
    case 1: return {mid, max, min};
    case 2: return {min, max, mid};
    case 3: return {min, mid, max};
    case 4: return {mid, min, max};
    default: return {max, min, mid};
    }
}

Rgb CmykToRgb(int32_t c, int32_t m, int32_t y, int32_t k) {
    return {(c * k + 127) / 255, (m * k + 127) / 255, (y * k + 127) / 255};
}

Rgb LabToRgb(int32_t lightness, int32_t a, int32_t b) {
    const double y = (lightness / 255.0 + 0.14) / 1.14;
    const double x = (a - 128) / 120.0 / 5.0 + y;
    const double z = y - (b - 128) / 120.0 * 0.5;
    const double bigX = x * x * x, bigY = y * y * y, bigZ = z * z * z;
    auto channel = [](double v) { return ToComponent(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
    return {channel(3.240479 * bigX - 1.53715 * bigY - 0.498535 * bigZ),
            channel(-0.969256 * bigX + 1.875991 * bigY + 0.041556 * bigZ),
            channel(0.055648 * bigX - 0.204043 * bigY + 1.057311 * bigZ)};
}

// Hue, saturation and lightness: the colour of the hue's direction scaled (k) and lifted (w) so
// that its mean lightness is l. Where the first bound of k has no real value (dark, strongly
// saturated colours) only the second bound holds.
Rgb HslToRgb(int32_t hue, int32_t saturation, int32_t lightness) {
    const double s = saturation / 255.0, l = lightness / 255.0;
    const double c = std::cos(hue * kDegrees), d = std::sin(hue * kDegrees) / kSqrt3;
    double p = 1.0, q = 1.0 - c + d, r = 1.0 - c - d;
    const double lowest = std::min({p, q, r});
    p -= lowest, q -= lowest, r -= lowest;
    const double m = std::max({p, q, r});
    const double mean = (p + q + r) / 3.0, ms = (p * p + q * q + r * r) / 3.0;
    const double u = mean - m, v = 2.0 * mean * m - ms - m * m;
    double bound = l / std::sqrt(ms);
    const double discriminant = u * u - (l * l - 1.0) * v;
    if (discriminant >= 0.0 && v != 0.0) bound = std::min((std::sqrt(discriminant) + u) / v, bound);
    const double k = bound * s;
    const double w = std::sqrt((mean * mean - ms) * k * k + l * l) - k * mean;
    return {ToComponent((k * p + w) * 255.0 + 0.5), ToComponent((k * q + w) * 255.0 + 0.5),
            ToComponent((k * r + w) * 255.0 + 0.5)};
}

bool ToRgb(int16_t space, const int16_t* in, Rgb& out) {
    const int32_t c0 = Clamp8(in[0]), c1 = Clamp8(in[1]), c2 = Clamp8(in[2]), c3 = Clamp8(in[3]);
    switch (space) {
    case kSpaceRGB: out = {c0, c1, c2}; return true;
    case kSpaceHSB: out = HsbToRgb(in[0], c1, c2); return true;
    case kSpaceCMYK: out = CmykToRgb(c0, c1, c2, c3); return true;
    case kSpaceLab: out = LabToRgb(c0, c1, c2); return true;
    case kSpaceGray: out = {c0, c0, c0}; return true;
    case kSpaceHSL: out = HslToRgb(in[0], c1, c2); return true;
    default: return false;
    }
}

bool FromRgb(int16_t space, const Rgb& rgb, int16_t* out) {
    int32_t result[4] = {};
    switch (space) {
    case kSpaceRGB:
        result[0] = rgb.r, result[1] = rgb.g, result[2] = rgb.b;
        break;
    case kSpaceCMYK:
        if (const int32_t top = std::max({rgb.r, rgb.g, rgb.b}); top > 0) {
            result[0] = (rgb.r * 255 + top / 2) / top;
            result[1] = (rgb.g * 255 + top / 2) / top;
            result[2] = (rgb.b * 255 + top / 2) / top;
            result[3] = top;
        }
        break;
    case kSpaceGray:
        result[0] = ((rgb.r + 2 * rgb.g) * 38 + rgb.b * 14 + 64) >> 7;
        break;
    default:
        return false;
    }
    for (int i = 0; i < 4; ++i) out[i] = static_cast<int16_t>(result[i]);
    return true;
}

ColorServicesInfo ConversionRequest(int16_t from, int16_t to, const int16_t* components) {
    ColorServicesInfo info{};
    info.infoSize = sizeof info;
    info.selector = kServiceConvertColor;
    info.sourceSpace = from;
    info.resultSpace = to;
    std::memcpy(info.colorComponents, components, sizeof info.colorComponents);
    return info;
}

bool gUseHostColorServices = true;

// The pixel converter's memory: the mode pair and every colour converted for it.
struct PixelColorCache {
    int16_t fromMode = -1, toMode = -1;
    std::map<uint32_t, uint32_t> colours;
};
PixelColorCache gPixelCache;

}  // namespace

ErrorCode ConvertColor(ColorServicesInfo& info) {
    Rgb rgb{};
    if (!ToRgb(info.sourceSpace, info.colorComponents, rgb)) return Err::HostUnsupported;
    int16_t result[4];
    if (!FromRgb(info.resultSpace, rgb, result)) return Err::HostUnsupported;
    std::memcpy(info.colorComponents, result, sizeof result);
    return 0;
}

ColorRecord ColorRecord::Load(const uint8_t* stored) {
    ColorRecord record;
    record.tag = static_cast<int16_t>(BigEndian::Read16(stored));
    record.space = static_cast<int16_t>(BigEndian::Read16(stored + 2));
    for (int i = 0; i < 4; ++i) record.components[i] = static_cast<int16_t>(BigEndian::Read16(stored + 4 + 2 * i));
    record.opacity = static_cast<int16_t>(BigEndian::Read16(stored + 12));
    return record;
}

void ColorRecord::Store(uint8_t* stored) const {
    BigEndian::Write16(stored, static_cast<uint16_t>(tag));
    BigEndian::Write16(stored + 2, static_cast<uint16_t>(space));
    for (int i = 0; i < 4; ++i) BigEndian::Write16(stored + 4 + 2 * i, static_cast<uint16_t>(components[i]));
    BigEndian::Write16(stored + 12, static_cast<uint16_t>(opacity));
}

ColourContext ColourContext::Of(const FilterRecord* record) {
    return record ? ColourContext{record->colorServices, record->imageMode} : ColourContext{};
}

void ConvertColorRecord(ColorRecord& record, int16_t space, const ColourContext& host) {
    if (record.space < 0) return;
    if (space < 0) space = ColourSpaceOfMode(host.documentMode);
    if (ComponentsOfSpace(space) == 0 || ComponentsOfSpace(record.space) == 0) THROW_IF_ERROR(Err::HostUnsupported);
    if (record.space == space) return;

    ColorServicesInfo info = ConversionRequest(record.space, space, record.components);
    ErrorCode error = Err::HostUnsupported;
    if (gUseHostColorServices && host.services) error = host.services(&info);
    if (error) {
        info = ConversionRequest(record.space, space, record.components);
        error = ConvertColor(info);
    }
    THROW_IF_ERROR(error);
    record.space = space;
    for (int i = 0; i < 4; ++i) record.components[i] = i < ComponentsOfSpace(space) ? info.colorComponents[i] : 0;
}

namespace {

ColorRecord RecordOfHostColour(const uint8_t* colour, int16_t documentMode) {
    ColorRecord record;
    record.space = ColourSpaceOfMode(documentMode);
    const int16_t count = ComponentsOfSpace(record.space);
    for (int i = 0; i < count; ++i) record.components[i] = colour[i];
    return record;
}

}  // namespace

ColorRecord GetForegroundColorRecord(const FilterRecord& record) {
    return RecordOfHostColour(record.foreColor, record.imageMode);
}
ColorRecord GetBackgroundColorRecord(const FilterRecord& record) {
    return RecordOfHostColour(record.backColor, record.imageMode);
}

bool UseHostColorServices() { return gUseHostColorServices; }
void SetUseHostColorServices(bool use) { gUseHostColorServices = use; }

ErrorCode ConvertPixelColors(ColorServicesProc hostServices, int16_t fromMode, int16_t toMode, int64_t count,
                             const uint8_t* source, uint8_t* destination) {
    if (fromMode == toMode) return 0;
    const int16_t fromSpace = ColourSpaceOfMode(fromMode), toSpace = ColourSpaceOfMode(toMode);
    const int16_t fromPlanes = ColourPlanesOfMode(fromMode), toPlanes = ColourPlanesOfMode(toMode);
    if (ComponentsOfSpace(fromSpace) == 0 || ComponentsOfSpace(toSpace) == 0 || fromPlanes > 4 || toPlanes > 4)
        return Err::HostUnsupported;
    if (gPixelCache.fromMode != fromMode || gPixelCache.toMode != toMode) {
        gPixelCache.colours.clear();
        gPixelCache.fromMode = fromMode;
        gPixelCache.toMode = toMode;
    }
    if (gUseHostColorServices && !hostServices) return Err::HostUnsupported;

    for (int64_t i = 0; i < count; ++i, source += fromPlanes, destination += toPlanes) {
        uint32_t key = 0;
        std::memcpy(&key, source, static_cast<size_t>(fromPlanes));
        auto cached = gPixelCache.colours.find(key);
        if (cached == gPixelCache.colours.end()) {
            int16_t components[4] = {};
            for (int p = 0; p < fromPlanes; ++p) components[p] = source[p];
            ColorServicesInfo info = ConversionRequest(fromSpace, toSpace, components);
            const ErrorCode error = gUseHostColorServices ? hostServices(&info) : ConvertColor(info);
            if (error) return error;
            uint32_t converted = 0;
            for (int p = 0; p < toPlanes; ++p) converted |= uint32_t{static_cast<uint8_t>(info.colorComponents[p])} << (8 * p);
            cached = gPixelCache.colours.emplace(key, converted).first;
        }
        std::memcpy(destination, &cached->second, static_cast<size_t>(toPlanes));
    }
    return 0;
}
