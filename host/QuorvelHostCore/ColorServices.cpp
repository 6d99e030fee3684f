#include "ColorServices.h"

#include <algorithm>
#include <cmath>

#include "HostContext.h"

namespace qvhost {
namespace {

constexpr int16_t kBadParameter = -50;

struct Rgb {
    double r, g, b;  // 0..1
};

int16_t To255(double v) { return static_cast<int16_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }
double From255(int16_t v) { return std::clamp<int>(v, 0, 255) / 255.0; }
double Hue(int16_t degrees) { return ((degrees % 360) + 360) % 360; }

// Hue in degrees of an RGB colour with the given max and min.
double HueOf(const Rgb& c, double max, double min) {
    const double delta = max - min;
    if (delta <= 0) return 0;
    double h;
    if (max == c.r) h = std::fmod((c.g - c.b) / delta, 6.0);
    else if (max == c.g) h = (c.b - c.r) / delta + 2;
    else h = (c.r - c.g) / delta + 4;
    h *= 60;
    return h < 0 ? h + 360 : h;
}

// The RGB colour of a hue with chroma and an offset added to every channel.
Rgb FromHue(double h, double chroma, double offset) {
    const double x = chroma * (1 - std::fabs(std::fmod(h / 60, 2.0) - 1));
    static constexpr int kOrder[6][3] = {{0, 1, 2}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}, {1, 2, 0}, {0, 2, 1}};
    const double parts[3] = {chroma, x, 0};
    const int* order = kOrder[std::min(static_cast<int>(h / 60), 5)];
    return {parts[order[0]] + offset, parts[order[1]] + offset, parts[order[2]] + offset};
}

double ToLinear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double FromLinear(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }
double LabF(double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; }
double LabInverse(double t) { return t * t * t > 216.0 / 24389 ? t * t * t : (116 * t - 16) / (24389.0 / 27); }
constexpr double kWhiteX = 0.95047, kWhiteZ = 1.08883;

bool ToRgb(int16_t space, const int16_t* c, Rgb& rgb) {
    switch (space) {
    case kSpaceRGB: rgb = {From255(c[0]), From255(c[1]), From255(c[2])}; return true;
    case kSpaceGray: rgb = {From255(c[0]), From255(c[0]), From255(c[0])}; return true;
    case kSpaceCMYK: {
        const double k = From255(c[3]);
        rgb = {From255(c[0]) * k, From255(c[1]) * k, From255(c[2]) * k};
        return true;
    }
    case kSpaceHSB: {
        const double v = From255(c[2]), chroma = v * From255(c[1]);
        rgb = FromHue(Hue(c[0]), chroma, v - chroma);
        return true;
    }
    case kSpaceHSL: {
        const double l = From255(c[2]), chroma = (1 - std::fabs(2 * l - 1)) * From255(c[1]);
        rgb = FromHue(Hue(c[0]), chroma, l - chroma / 2);
        return true;
    }
    case kSpaceLab: {
        const double fy = (c[0] * 100.0 / 255 + 16) / 116;
        const double fx = fy + (c[1] - 128) / 500.0, fz = fy - (c[2] - 128) / 200.0;
        const double x = LabInverse(fx) * kWhiteX, y = LabInverse(fy), z = LabInverse(fz) * kWhiteZ;
        rgb = {FromLinear(3.2404542 * x - 1.5371385 * y - 0.4985314 * z),
               FromLinear(-0.9692660 * x + 1.8760108 * y + 0.0415560 * z),
               FromLinear(0.0556434 * x - 0.2040259 * y + 1.0572252 * z)};
        return true;
    }
    default: return false;
    }
}

bool FromRgb(int16_t space, const Rgb& c, int16_t* out) {
    out[0] = out[1] = out[2] = out[3] = 0;
    const double max = std::max({c.r, c.g, c.b}), min = std::min({c.r, c.g, c.b});
    switch (space) {
    case kSpaceRGB: out[0] = To255(c.r), out[1] = To255(c.g), out[2] = To255(c.b); return true;
    case kSpaceGray: {
        const int r = To255(c.r), g = To255(c.g), b = To255(c.b);
        out[0] = static_cast<int16_t>((r * 38 + g * 76 + b * 14 + 64) >> 7);
        return true;
    }
    case kSpaceCMYK:
        out[3] = To255(max);
        for (int i = 0; i < 3; ++i) out[i] = max <= 0 ? 255 : To255((&c.r)[i] / max);
        return true;
    case kSpaceHSB:
        out[0] = static_cast<int16_t>(std::lround(HueOf(c, max, min)) % 360);
        out[1] = To255(max <= 0 ? 0 : (max - min) / max);
        out[2] = To255(max);
        return true;
    case kSpaceHSL: {
        const double l = (max + min) / 2, d = 1 - std::fabs(2 * l - 1);
        out[0] = static_cast<int16_t>(std::lround(HueOf(c, max, min)) % 360);
        out[1] = To255(d <= 0 ? 0 : (max - min) / d);
        out[2] = To255(l);
        return true;
    }
    case kSpaceLab: {
        const double r = ToLinear(c.r), g = ToLinear(c.g), b = ToLinear(c.b);
        const double fx = LabF((0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / kWhiteX);
        const double fy = LabF(0.2126729 * r + 0.7151522 * g + 0.0721750 * b);
        const double fz = LabF((0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / kWhiteZ);
        out[0] = To255((116 * fy - 16) / 100);
        out[1] = static_cast<int16_t>(std::clamp<long>(std::lround(500 * (fx - fy)) + 128, 0, 255));
        out[2] = static_cast<int16_t>(std::clamp<long>(std::lround(200 * (fy - fz)) + 128, 0, 255));
        return true;
    }
    default: return false;
    }
}

int16_t DocumentSpace(const Document& document) {
    switch (document.Mode().color) {
    case ColorMode::Gray: return kSpaceGray;
    case ColorMode::CMYK: return kSpaceCMYK;
    default: return kSpaceRGB;
    }
}

OSErr16 ColorServices(ColorServicesInfo* info) {
    HostContext& c = *ActiveContext();
    ++c.statistics.colorServicesCalls;
    if (!info) return kBadParameter;
    int16_t from = info->sourceSpace;
    int16_t components[4];
    std::copy_n(info->colorComponents, 4, components);
    switch (info->selector) {
    case kServiceChooseColor:  // no picker: the colour is chosen as it stands
    case kServiceConvertColor:
        break;
    case kServiceSamplePoint: {
        const Point16* point = info->selectorParameter.globalSamplePoint;
        const Document& document = c.document;
        if (!point || point->h < 0 || point->v < 0 || point->h >= document.Width() || point->v >= document.Height())
            return kBadParameter;
        from = DocumentSpace(document);
        for (int p = 0; p < 4; ++p) {
            const uint16_t v = p < document.Planes() ? document.Sample(p, point->h, point->v) : 0;
            components[p] = static_cast<int16_t>(document.Mode().depth == 16 ? Narrow16To8(v) : v);
        }
        break;
    }
    case kServiceGetSpecialColor: {
        // 0 the foreground colour (black), 1 the background colour (white), as RGB.
        const int32_t id = info->selectorParameter.specialColorID;
        if (id != 0 && id != 1) return kBadParameter;
        from = kSpaceRGB;
        components[0] = components[1] = components[2] = id == 0 ? 0 : 255;
        components[3] = 0;
        break;
    }
    default:
        return kBadParameter;
    }
    const int16_t to = info->resultSpace == kSpaceNone ? from : info->resultSpace;
    int16_t out[4];
    if (!ConvertColor(from, to, components, out)) return kBadParameter;
    std::copy_n(out, 4, info->colorComponents);
    info->resultSpace = to;
    info->resultGamutInfoValid = 1;
    info->resultInGamut = 1;
    return 0;
}

}  // namespace

bool ConvertColor(int16_t fromSpace, int16_t toSpace, const int16_t in[4], int16_t out[4]) {
    Rgb rgb;
    if (fromSpace == toSpace && fromSpace >= kSpaceRGB && fromSpace <= kSpaceHSL) {
        std::copy_n(in, 4, out);
        return true;
    }
    return ToRgb(fromSpace, in, rgb) && FromRgb(toSpace, rgb, out);
}

void InstallColorServices(HostContext& c) { c.record.colorServices = ColorServices; }

}  // namespace qvhost
