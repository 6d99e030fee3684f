#include "SettingsDefaults.h"

#include <array>
#include <cstring>

namespace {

bool gBackgroundBlack = false;

// Builds a record of `length` bytes into a scratch copy and copies it over the stored one only
// when the two differ; answers whether it did.
template <uint32_t length, typename Build>
bool ReplaceIfDifferent(RecordRef stored, Build build) {
    std::array<uint8_t, length> scratch;
    std::memcpy(scratch.data(), stored.Bytes(), length);
    build(RecordRef(scratch.data()));
    if (std::memcmp(scratch.data(), stored.Bytes(), length) == 0) return false;
    std::memcpy(stored.Bytes(), scratch.data(), length);
    return true;
}

struct Rgb {
    uint16_t red, green, blue;
};

void SetColour(RecordRef colour, Rgb rgb) {
    using namespace ColourLayout;
    colour.Set(kTag, -1);
    colour.Set(kSpace, 0);
    colour.Set(Component(0), rgb.red);
    colour.Set(Component(1), rgb.green);
    colour.Set(Component(2), rgb.blue);
    colour.Set(Component(3), 0);
    colour.Set(kAlpha, kOpaque);
}

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

// The built-in contours: x values carry the corner bit (0x4000) where the curve bends sharply.
struct ContourPoint {
    uint16_t x, y;
};
struct Contour {
    uint16_t kind;
    uint16_t count;
    ContourPoint points[BevelLayout::kMaxPoints];
};
constexpr Contour kContours[] = {
    {2, 6, {{16384, 0}, {573, 3359}, {1393, 6389}, {3277, 9830}, {6553, 13106}, {16383, 16383}}},
    {3, 4, {{16384, 0}, {4915, 442}, {11468, 5619}, {32767, 16383}}},
    {4, 7, {{16384, 0}, {2457, 5382}, {5734, 7970}, {24576, 8192}, {10649, 13573}, {13926, 16162}, {32767, 16383}}},
    {5, 5, {{16384, 0}, {1638, 3277}, {8192, 8192}, {14745, 3277}, {32767, 0}}},
    {6, 3, {{16384, 0}, {24576, 8192}, {32767, 0}}},
    {7, 2, {{0, 0}, {16383, 16383}}},
    {8, 4, {{16384, 11468}, {4915, 4915}, {11468, 11468}, {32767, 4915}}},
    {9, 5, {{16384, 4915}, {3277, 11468}, {8192, 4915}, {13106, 11468}, {32767, 4915}}},
    {10, 7, {{16384, 13106}, {3277, 11468}, {4915, 4915}, {8192, 11468}, {11468, 4915}, {13106, 11468}, {32767, 13106}}},
};
constexpr Contour kLineContour{BevelLayout::kFlat, 2, {{16384, 0}, {32767, 16383}}};

const Contour& ContourOf(uint16_t kind) {
    for (const Contour& contour : kContours)
        if (contour.kind == kind) return contour;
    return kLineContour;
}

// Everything of the placement block but the flags that other operations own.
void WritePlacementDefaults(RecordRef layer) {
    using namespace LayerLayout;
    layer.Set(kAngle, 0);
    layer.Set(kFlipHorizontal, 0);
    layer.Set(kFlipVertical, 0);
    layer.Set(kScaleX, 1.0f);
    layer.Set(kScaleY, 1.0f);
    layer.Set(kOffsetX, 0.0f);
    layer.Set(kOffsetY, 0.0f);
}

// Settings bytes +1032..+1059 zeroed, enabled, scales 1.0.
void WriteHeadSettingsDefaults(RecordRef layer) {
    using namespace LayerLayout;
    std::memset(layer.At(kSettings), 0, kHeadLength - kSettings);
    layer.Set(kEnabled, 1);
    layer.Set(kScaleX, 1.0f);
    layer.Set(kScaleY, 1.0f);
}

}  // namespace

void SettingsDefaultShape(RecordRef shape, uint16_t kind) {
    using namespace ShapeLayout;
    shape.Set(kMarker, -1);
    shape.Set(kKind, kind);
    shape.Set(kOption, 1);
    shape.Set(kFlags, 0);
    shape.Set(kCorner, 0);
    shape.Set(kSides, 5);
    shape.Set(kInset, 39);
    shape.Set(kAspect, 0);
    shape.Set(kHeadWidth, 50);
    shape.Set(kBaseWidth, 50);
}

void SetDefaultBackgroundBlack(bool black) { gBackgroundBlack = black; }
bool DefaultBackgroundBlack() { return gBackgroundBlack; }

bool SettingsResetShape(RecordRef shape) {
    const uint16_t kind = shape.Get(ShapeLayout::kKind);
    return ReplaceIfDifferent<ShapeLayout::kLength>(shape, [kind](RecordRef s) { SettingsDefaultShape(s, kind); });
}

RecordRef SettingsDefaultLayerHead(RecordRef layer) {
    std::memset(layer.At(LayerLayout::kSource), 0, LayerLayout::kSourceLength);
    SettingsDefaultShape(ShapeOf(layer), ShapeLayout::kEllipse);
    WriteHeadSettingsDefaults(layer);
    return layer;
}

bool SettingsResetPlacement(RecordRef layer) {
    using namespace LayerLayout;
    const bool atDefaults = layer.Get(kAngle) == 0 && layer.Get(kFlipHorizontal) == 0 &&
                            layer.Get(kFlipVertical) == 0 && layer.Get(kScaleX) == 1.0f &&
                            layer.Get(kScaleY) == 1.0f && layer.Get(kOffsetX) == 0.0f &&
                            layer.Get(kOffsetY) == 0.0f;
    if (atDefaults) return false;
    WritePlacementDefaults(layer);
    return true;
}

void SettingsRotateAngle(RecordRef layer, int32_t delta) {
    int32_t angle = layer.Get(LayerLayout::kAngle) + delta;
    if (angle > 180) angle -= 360;
    else if (angle < -180) angle += 360;
    layer.Set(LayerLayout::kAngle, static_cast<int16_t>(angle));
}

void SettingsDefaultEffect(RecordRef effect, int32_t kind) {
    using namespace EffectLayout;
    std::memset(effect.Bytes(), 0, kLength);
    effect.Set(kOpacity, kMaxOpacity);
    effect.Set(kBlendMode, kNormal);
    const RecordRef colour = effect.Sub(kColour);
    switch (kind) {
        case kBackground:
            effect.Set(kSize, 1.0f);
            SetColour(colour, gBackgroundBlack ? kBlack : kWhite);
            effect.Set(kOn, 1);
            break;
        case kBorder:
            effect.Set(kSize, 0.05f);
            SetColour(colour, {255, 255, 0});
            break;
        case kGlow:
            effect.Set(kBlur, 5.0f);
            SetColour(colour, {255, 0, 0});
            break;
        case kShadow:
            effect.Set(kShadowRows, 10);
            effect.Set(kShadowColumns, 10);
            effect.Set(kBlur, 5.0f);
            SetColour(colour, kBlack);
            break;
        default:
            break;
    }
}

bool SettingsResetEffectRecord(RecordRef effect, int32_t kind) {
    const uint8_t on = effect.Get(EffectLayout::kOn);
    return ReplaceIfDifferent<EffectLayout::kLength>(effect, [kind, on](RecordRef e) {
        SettingsDefaultEffect(e, kind);
        e.Set(EffectLayout::kOn, on);
    });
}

void SettingsSetBevelContour(RecordRef bevel, uint16_t kind) {
    using namespace BevelLayout;
    bevel.Set(kContourKind, kind);
    bevel.Set(kReserved, 0);
    bevel.Set(kPointCapacity, kMaxPoints);
    std::memset(bevel.At(kPoints), 0, kMaxPoints * 4);
    const Contour& contour = ContourOf(kind);
    bevel.Set(kPointCount, contour.count);
    for (uint16_t i = 0; i < contour.count; ++i) {
        bevel.Set(Field<uint16_t>{kPoints + 4u * i}, contour.points[i].x);
        bevel.Set(Field<uint16_t>{kPoints + 4u * i + 2}, contour.points[i].y);
    }
}

void SettingsDefaultBevel(RecordRef bevel) {
    using namespace BevelLayout;
    std::memset(bevel.Bytes(), 0, kLength);
    bevel.Set(kOn, 0);
    bevel.Set(kOptions, 1);
    SettingsSetBevelContour(bevel, kRound);
    bevel.Set(kSurfaceTexture, 0);
    bevel.Set(kWidth, 10);
    bevel.Set(kHeight, 100.0f);
    bevel.Set(kSoftness, 2.0f);
    bevel.Set(kTextureBlur, 1.0f);
    bevel.Set(kTextureHeight, 5.0f);
    std::memcpy(bevel.At(kMaterial), kPlasticMaterial, kMaterialLength);
    bevel.Set(kAltitude, 45);
    bevel.Set(kAngle, -45);
    SetColour(bevel.Sub(kColour), kWhite);
}

bool SettingsResetBevel(RecordRef bevel) {
    using namespace BevelLayout;
    const uint16_t texture = bevel.Get(kSurfaceTexture);
    const float textureBlur = bevel.Get(kTextureBlur);
    const float textureHeight = bevel.Get(kTextureHeight);
    const uint8_t on = bevel.Get(kOn);
    return ReplaceIfDifferent<kLength>(bevel, [&](RecordRef b) {
        SettingsDefaultBevel(b);
        b.Set(kSurfaceTexture, texture);
        b.Set(kTextureBlur, textureBlur);
        b.Set(kTextureHeight, textureHeight);
        b.Set(kOn, on);
    });
}

void SettingsDefaultEdge(RecordRef edge) {
    using namespace EdgeLayout;
    std::memset(edge.Bytes(), 0, kLength);
    edge.Set(kPatternLength, 20);
    edge.Set(kPatternDepth, 10);
    edge.Set(kRotation, 135);
}

void SettingsInitLayerRecord(RecordRef layer, bool keepEdges) {
    using namespace LayerLayout;
    if (!keepEdges) {
        std::memset(layer.At(kSettings), 0, kLength - kSettings);
        for (int32_t slot = 0; slot < kEdgeCount; ++slot) SettingsDefaultEdge(EdgeOf(layer, slot));
    }
    WriteHeadSettingsDefaults(layer);
    for (int32_t kind = 0; kind < kEffectCount; ++kind) SettingsDefaultEffect(EffectOf(layer, kind), kind);
    SettingsDefaultBevel(BevelOf(layer));
    layer.Set(kPathCapacity, kSourceCapacity);
}

void SettingsInitPlaceholder(const ParameterBlockView& block) {
    SettingsInitLayerRecord(block.Layer(0), false);
    block.Layer(0).Set(LayerLayout::kEnabled, 0);
}

bool SettingsResetBackgroundPlacement(const ParameterBlockView& block) {
    const bool placementChanged = SettingsResetPlacement(block.Background());
    const bool scaleChanged = block.Block().Get(BlockLayout::kGlobalScale) != 1.0f;
    block.Block().Set(BlockLayout::kGlobalScale, 1.0f);
    return placementChanged || scaleChanged;
}
