#include "RenderGeometry.h"

#include <algorithm>
#include <cmath>

#include "BigEndian.h"
#include "RenderArithmetic.h"
#include "SettingsRanges.h"

namespace {

constexpr double kPi = 3.141592654;  // the renderer's degrees-to-radians constant

int16_t ClampToI16(double v) { return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)); }

// T^-1 after R: maps a target pixel through R, then back through the inverse of T.
AffineTransform Compose(const AffineTransform& inverse, const AffineTransform& r) {
    AffineTransform m;
    m.a = inverse.a * r.a + inverse.b * r.d;
    m.b = inverse.a * r.b + inverse.b * r.e;
    m.c = inverse.a * r.c + inverse.b * r.f + inverse.c;
    m.d = inverse.d * r.a + inverse.e * r.d;
    m.e = inverse.d * r.b + inverse.e * r.e;
    m.f = inverse.d * r.c + inverse.e * r.f + inverse.f;
    m.mirror = false;
    return m;
}

int32_t ToFixed(double v) {
    const double scaled = v * 65536.0;
    const double nearest = std::nearbyint(scaled);
    if (std::abs(scaled - nearest) < 1e-6) return static_cast<int32_t>(nearest);
    return static_cast<int32_t>(std::clamp(scaled, -2147483648.0, 2147483647.0));
}

// The angle lookup acos(v) of the shading, through the cosine table.
double AngleOf(double v) {
    const double index = (1 - v) * 7500;
    if (index < 0) return kPi;
    const int32_t i = static_cast<int32_t>(index);
    return i <= 15000 ? ImageCosineTable()[i] * 0.012319971192156862 : 0.0;
}

}  // namespace

Rect16 ScaledFilterRect(const Rect16& r, int32_t scale) {
    const int32_t s = std::max(scale, 1);
    using RenderMath::DivideUp;
    return Rect16{static_cast<int16_t>(DivideUp(r.top, s)), static_cast<int16_t>(DivideUp(r.left, s)),
                  static_cast<int16_t>(DivideUp(r.bottom, s)), static_cast<int16_t>(DivideUp(r.right, s))};
}

AffineTransform ComputeLayerTransform(RecordRef layer, double f, const Enlargement* enlargement,
                                      const Rect16& source, const Rect16& target) {
    const double theta = layer.Get(LayerLayout::kAngle) * kPi / 180;
    double sx = layer.Get(LayerLayout::kScaleX) * f;
    const double sy = layer.Get(LayerLayout::kScaleY) * f;
    if (layer.Get(LayerLayout::kFlipHorizontal) != layer.Get(LayerLayout::kFlipVertical)) sx = -sx;

    AffineTransform t;
    ImageMakeRectTransform(t, source, sx, sy, theta);
    AffineTransform inverse = t;
    ImageInvertTransform(inverse);

    Rect16 fitted = target;
    if (enlargement) {
        const double dx = RenderMath::RoundHalfAway((target.right - target.left) * (enlargement->x - 1) * 0.5);
        const double dy = RenderMath::RoundHalfAway((target.bottom - target.top) * (enlargement->y - 1) * 0.5);
        fitted = Rect16{ClampToI16(target.top - dy), ClampToI16(target.left - dx), ClampToI16(target.bottom + dy),
                        ClampToI16(target.right + dx)};
    }
    AffineTransform r;
    ImageMakeRotation(r, fitted, theta);

    AffineTransform m = Compose(inverse, r);
    m.mirror = r.mirror != t.mirror;
    const double ox = layer.Get(LayerLayout::kOffsetX) * (target.right - target.left) * 0.5;
    const double oy = layer.Get(LayerLayout::kOffsetY) * (target.bottom - target.top) * 0.5;
    m.c -= m.a * ox + m.b * oy;
    m.f -= m.d * ox + m.e * oy;
    return m;
}

FixedTransform ToFixedTransform(const AffineTransform& t) {
    FixedTransform x;
    x.a = ToFixed(t.a);
    x.b = ToFixed(t.b);
    x.c = ToFixed(t.c);
    x.d = ToFixed(t.d);
    x.e = ToFixed(t.e);
    x.f = ToFixed(t.f);
    x.rowLengthX = ToFixed(std::sqrt(t.a * t.a + t.b * t.b));
    x.rowLengthY = ToFixed(std::sqrt(t.d * t.d + t.e * t.e));
    return x;
}

void PhotoPlacement::Update(const FixedTransform& computed) {
    if (valid_ && computed == computed_) return;
    valid_ = true;
    computed_ = computed;
    changed = true;
    scaleClamped = false;
    transform = computed;
    if (computed.rowLengthX > 0x10000 || computed.rowLengthY > 0x10000) {
        scaleClamped = true;
        transform.rowLengthX = transform.rowLengthY = 0x10000;
    }
}

AffineTransform ComputePhotoTransform(const ParameterBlockView& block, const Rect16& scaled) {
    const Rect16 target{0, 0, static_cast<int16_t>(scaled.bottom - scaled.top),
                        static_cast<int16_t>(scaled.right - scaled.left)};
    const double f = block.Block().Get(BlockLayout::kGlobalScale);
    return ComputeLayerTransform(block.Background(), f, nullptr, target, target);
}

TileSize ChooseTileSize(int32_t bytesPerSample, double largestCost, int32_t passCount, bool finalApply,
                        int32_t scaledWidth, int32_t scaledHeight) {
    const int32_t width = std::max(scaledWidth, 1);
    double cost = bytesPerSample * largestCost + passCount * 0.2;
    if (finalApply) cost /= 9.0;
    double rows = 2097152.0 / cost / width;
    // The cheap passes of the final apply would make tiles of many megapixels: every buffer of the
    // tile, the host's included, would then be touched for the first time once per tile, which
    // costs more than the work. About a megapixel keeps them warm.
    if (finalApply) rows = std::min(rows, std::max(kFinalTilePixels / width, 1.0));
    const double limit = std::clamp(scaledHeight, 1, 32767);
    if (rows >= 1.0) return TileSize{width, static_cast<int32_t>(std::min(rows, limit))};
    const int32_t parts = 1 + static_cast<int32_t>(1.0 / rows);
    return TileSize{(width + parts - 1) / parts, 1};
}

TileSize CapTileForInteraction(TileSize tile, int32_t passCount) {
    // Composing costs about 15 ns a pixel and 5 ns more for each pass (measured with the preview
    // benchmark); 15 ms of it.
    constexpr double kStepNanoseconds = 15e6, kPixelNanoseconds = 15.0, kPassNanoseconds = 5.0;
    const double pixels = kStepNanoseconds / (kPixelNanoseconds + kPassNanoseconds * std::max(passCount, 0));
    const int32_t columns = std::max(tile.columns, 1);
    const double rows = pixels / columns;
    if (rows >= 1.0) return TileSize{columns, std::clamp(static_cast<int32_t>(rows), 1, std::max(tile.rows, 1))};
    const int32_t parts = 1 + static_cast<int32_t>(1.0 / rows);
    return TileSize{std::max((columns + parts - 1) / parts, 1), 1};
}

// The stored sizes are read within the ranges the settings allow, whatever the block holds.

int32_t BlurRadius(float blurSize, double renderScale) {
    const double r = SettingsRanges::EffectBlur(blurSize) / renderScale * 2.4 + 0.5;
    return r > 0 && std::isfinite(r) ? static_cast<int32_t>(std::min(r, 1000.0)) : 0;
}

int32_t GlowSpread(float glowSize, double renderScale) {
    const int32_t sr = std::max(RenderMath::RoundHalfAway(renderScale), 1);
    const float size = SettingsRanges::GlowWidth(glowSize) * 100.0f;
    return (sr / 2 + RenderMath::RoundHalfAway(size)) / sr;
}

int32_t ShadowOffset(int32_t offset, int32_t integerScale) {
    return RenderMath::DivideUp(SettingsRanges::ShadowOffset(offset), std::max(integerScale, 1));
}

int32_t OpacityByte(int32_t percent) { return (std::clamp(percent, 0, 100) * 255 + 50) / 100; }

int64_t FalloffLookup(const BevelLight& light, double d) {
    const double index = std::abs(d) * light.softness * 141.421356;
    const double g = index < 401 ? ImageGaussTable()[static_cast<int32_t>(index)] : 0;
    return static_cast<int64_t>(g * light.softnessSquared * light.level2 * light.norm0 * light.norm1);
}

Shading ShadeNormal(const BevelLight& light, double dx, double dy) {
    const double n = std::sqrt(1 / (dx * dx + 1 + dy * dy));
    const double d = -dx * n * light.lightX - dy * n * light.lightY + n * light.lightZ;
    Shading s;
    const int32_t k = static_cast<int32_t>(AngleOf(d) * 360 / kPi);
    const double p = k < kLightProfileLength ? light.profile[k] / 255.0 : 1.0;
    s.diffuse = static_cast<uint32_t>(static_cast<int64_t>(light.level1 * p * light.norm1) >> 8);
    const double z = 2 * n * d - light.lightZ;
    s.specular = static_cast<uint32_t>(FalloffLookup(light, AngleOf(z)));
    const double flat = AngleOf(n) * 0.31830988614222805;
    s.flat = static_cast<uint32_t>(std::max(0.0, (1 - flat) * light.level0));
    return s;
}

uint8_t* BigEndianFloatAdd(uint8_t* p, float v) {
    BigEndian::WriteFloat(p, BigEndian::ReadFloat(p) + v);
    return p;
}
