#include "SettingsValidation.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>

#include "SettingsDefaults.h"
#include "SettingsRanges.h"
#include "StackLimits.h"

namespace {

// ---- The older layout: after the header a little-endian layer count at 20, then three layer
// records of 372 bytes from offset 24, their numbers in the machine's own (little-endian) order.
namespace Legacy {
constexpr uint32_t kLayerCount = 20;
constexpr uint32_t kLayers = 24;
constexpr uint32_t kLayerLength = 372;

constexpr uint32_t kEnabled = 0;
constexpr uint32_t kInvert = 1;
constexpr uint32_t kEffectSize[2] = {4, 8};
constexpr uint32_t kScaleX = 12, kScaleY = 16, kOffsetX = 20, kOffsetY = 24;
constexpr uint32_t kEffectBlur[2] = {52, 56};
constexpr uint32_t kAngle = 60;
constexpr uint32_t kFlipHorizontal = 62, kFlipVertical = 63;
constexpr uint32_t kEffectOpacity[2] = {64, 66};
constexpr uint32_t kEffectBlendMode[2] = {68, 70};
constexpr uint32_t kEffectColour[2] = {72, 86};
constexpr uint32_t kRecordId = 100;
constexpr uint32_t kPathCapacity = 104;
constexpr uint32_t kPath = 116;
constexpr uint32_t kPathLength = 256;

// The older blend modes 0..6 by their present numbers.
constexpr uint16_t kBlendModes[] = {0, 1, 3, 4, 9, 10, 11};

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
float ReadFloat(const uint8_t* p) { return std::bit_cast<float>(Read32(p)); }

uint16_t BlendMode(int16_t legacyMode) {
    if (legacyMode < 0 || legacyMode >= static_cast<int16_t>(std::size(kBlendModes))) return EffectLayout::kNormal;
    return kBlendModes[legacyMode];
}
}  // namespace Legacy

void MigrateLegacyLayer(const uint8_t* from, RecordRef layer) {
    using namespace LayerLayout;
    std::memset(layer.Bytes(), 0, kLength);
    SettingsInitLayerRecord(layer, false);

    layer.Set(kRecordId, Legacy::Read32(from + Legacy::kRecordId));
    layer.Set(kPathCapacity, Legacy::Read16(from + Legacy::kPathCapacity));
    const uint8_t* path = from + Legacy::kPath;
    const size_t pathLength = strnlen(reinterpret_cast<const char*>(path), Legacy::kPathLength - 1);
    std::memcpy(layer.At(kSource), path, pathLength);

    layer.Set(kEnabled, from[Legacy::kEnabled]);
    layer.Set(kInvert, from[Legacy::kInvert]);
    layer.Set(kScaleX, Legacy::ReadFloat(from + Legacy::kScaleX));
    layer.Set(kScaleY, Legacy::ReadFloat(from + Legacy::kScaleY));
    layer.Set(kOffsetX, Legacy::ReadFloat(from + Legacy::kOffsetX));
    layer.Set(kOffsetY, Legacy::ReadFloat(from + Legacy::kOffsetY));
    layer.Set(kAngle, static_cast<int16_t>(Legacy::Read16(from + Legacy::kAngle)));
    layer.Set(kFlipHorizontal, from[Legacy::kFlipHorizontal]);
    layer.Set(kFlipVertical, from[Legacy::kFlipVertical]);

    // Only the background and border effects existed.
    for (int32_t kind = 0; kind < 2; ++kind) {
        const RecordRef effect = EffectOf(layer, kind);
        float size = Legacy::ReadFloat(from + Legacy::kEffectSize[kind]);
        if (kind == EffectLayout::kBackground) {
            effect.Set(EffectLayout::kOn, 1);
        } else if (size < 0.0f) {
            // A negative border size meant a border on the inner side.
            effect.Set(EffectLayout::kOn, 255);
            size = -size;
        } else if (size > 0.0f) {
            effect.Set(EffectLayout::kOn, 1);
        }
        effect.Set(EffectLayout::kSize, size);
        effect.Set(EffectLayout::kBlur, Legacy::ReadFloat(from + Legacy::kEffectBlur[kind]));
        effect.Set(EffectLayout::kOpacity, Legacy::Read16(from + Legacy::kEffectOpacity[kind]));
        effect.Set(EffectLayout::kBlendMode,
                   Legacy::BlendMode(static_cast<int16_t>(Legacy::Read16(from + Legacy::kEffectBlendMode[kind]))));
        std::memcpy(effect.At(EffectLayout::kColour), from + Legacy::kEffectColour[kind], ColourLayout::kLength);
    }
}

// ---- Checks

bool Finite(RecordRef record, Field<float> field) { return std::isfinite(record.Get(field)); }

bool PlacementFinite(RecordRef layer) {
    using namespace LayerLayout;
    return Finite(layer, kScaleX) && Finite(layer, kScaleY) && Finite(layer, kOffsetX) && Finite(layer, kOffsetY);
}

bool LayerFinite(RecordRef layer) {
    if (!PlacementFinite(layer)) return false;
    for (int32_t kind = 0; kind < LayerLayout::kEffectCount; ++kind) {
        const RecordRef effect = EffectOf(layer, kind);
        // The shadow keeps two offsets where the others keep their size.
        if (kind != EffectLayout::kShadow && !Finite(effect, EffectLayout::kSize)) return false;
        if (!Finite(effect, EffectLayout::kBlur)) return false;
    }
    using namespace BevelLayout;
    const RecordRef bevel = BevelOf(layer);
    return Finite(bevel, kHeight) && Finite(bevel, kSoftness) && Finite(bevel, kTextureBlur) &&
           Finite(bevel, kTextureHeight);
}

template <typename T>
void Clamp(RecordRef record, Field<T> field, T low, T high) {
    const T value = record.Get(field);
    if (value < low || value > high) record.Set(field, std::clamp(value, low, high));
}

// A value outside low..high is replaced by the fallback.
template <typename T>
void Restrict(RecordRef record, Field<T> field, T low, T high, T fallback) {
    const T value = record.Get(field);
    if (value < low || value > high) record.Set(field, fallback);
}

// A stored file spec always ends in a terminator, whatever kind it is.
void TerminateFileSpec(RecordRef record) { record.At(LayerLayout::kSource)[LayerLayout::kSourceLength - 1] = 0; }

void SanitiseShape(RecordRef shape) {
    using namespace ShapeLayout;
    Restrict<uint16_t>(shape, kKind, kEllipse, kLastKind, kEllipse);
    Clamp<int16_t>(shape, kSides, kMinSides, kMaxSides);
    Clamp<int16_t>(shape, kAspect, kMinAspect, kMaxAspect);
}

// A colour in a space that cannot be converted everywhere is read as RGB, the space of every
// colour built here; its components stay. A negative space (a colour taken as it is) stays.
void SanitiseColour(RecordRef colour) {
    using namespace SettingsRanges;
    if (colour.Get(ColourLayout::kSpace) > kLastColourSpace) colour.Set(ColourLayout::kSpace, kFallbackColourSpace);
    Clamp<uint16_t>(colour, ColourLayout::kAlpha, 0, ColourLayout::kOpaque);
}

// Brings a stored number into range only when it is out of it, so an in-range block keeps its bytes.
void Bound(RecordRef record, Field<float> field, float (*bounded)(float)) {
    const float value = record.Get(field);
    if (bounded(value) != value) record.Set(field, bounded(value));
}
void Bound(RecordRef record, Field<int16_t> field, int32_t (*bounded)(int32_t)) {
    const int16_t value = record.Get(field);
    if (bounded(value) != value) record.Set(field, static_cast<int16_t>(bounded(value)));
}

// Everything of an effect that sets how much a render works: its blur, the glow's width and the
// shadow's offsets.
void BoundEffectCost(RecordRef effect, int32_t kind) {
    using namespace EffectLayout;
    Bound(effect, kBlur, SettingsRanges::EffectBlur);
    if (kind == kGlow) Bound(effect, kSize, SettingsRanges::GlowWidth);
    if (kind == kShadow) {
        Bound(effect, kShadowRows, SettingsRanges::ShadowOffset);
        Bound(effect, kShadowColumns, SettingsRanges::ShadowOffset);
    }
}

void SanitiseEffect(RecordRef effect, int32_t kind) {
    using namespace EffectLayout;
    Restrict<uint16_t>(effect, kBlendMode, kNormal, kLastBlendMode, kNormal);
    Clamp<uint16_t>(effect, kOpacity, 0, kMaxOpacity);
    SanitiseColour(effect.Sub(kColour));
    Clamp<uint8_t>(effect, kNoise, 0, kMaxNoise);
    BoundEffectCost(effect, kind);
}

void SanitiseBevel(RecordRef bevel, uint16_t pathCount) {
    using namespace BevelLayout;
    const uint16_t kind = bevel.Get(kContourKind);
    const uint16_t points = bevel.Get(kPointCount);
    if (kind < kFlat || kind > kLastContour) SettingsSetBevelContour(bevel, kFlat);
    else if (points < 2 || points > kMaxPoints || bevel.Get(kPointCapacity) != kMaxPoints)
        SettingsSetBevelContour(bevel, kind);
    Restrict<uint16_t>(bevel, kSurfaceTexture, 0, pathCount, 0);
    uint8_t* material = bevel.At(kMaterial);
    if (material[0] < kFirstMaterial || material[0] > kLastMaterial)
        std::memcpy(material, kPlasticMaterial, kMaterialLength);
    SanitiseColour(bevel.Sub(kColour));
    Bound(bevel, kWidth, SettingsRanges::BevelWidth);
    Bound(bevel, kSoftness, SettingsRanges::BevelSoftness);
    Bound(bevel, kTextureBlur, SettingsRanges::TextureBlur);
}

void SanitiseEdge(RecordRef edge) {
    using namespace EdgeLayout;
    Restrict<uint16_t>(edge, kType, 0, kLastType, 0);
    Bound(edge, kPatternLength, SettingsRanges::EdgeLength);
    Bound(edge, kPatternDepth, SettingsRanges::EdgeDepth);
}

void SanitiseLayer(RecordRef layer, uint16_t pathCount) {
    using namespace LayerLayout;
    if (HoldsShape(layer)) SanitiseShape(ShapeOf(layer));
    else TerminateFileSpec(layer);
    Restrict<uint16_t>(layer, kBackgroundTexture, 0, pathCount, 0);
    Restrict<uint8_t>(layer, kEdgeIndex, 0, kEdgeCount - 1, 0);
    for (int32_t kind = 0; kind < kEffectCount; ++kind) SanitiseEffect(EffectOf(layer, kind), kind);
    SanitiseBevel(BevelOf(layer), pathCount);
    for (int32_t slot = 0; slot < kEdgeCount; ++slot) SanitiseEdge(EdgeOf(layer, slot));
}

}  // namespace

int32_t LegacyLayerCount(const uint8_t* handleBytes, int64_t length) {
    if (length < LegacyLayout::kHandleLength) return -1;
    if (BigEndian::Read16(handleBytes + BlockLayout::kSize.offset) != LegacyLayout::kBlockSize) return -1;
    return Legacy::Read16(handleBytes + Legacy::kLayerCount);
}

void SettingsMigrateLegacyBlock(const uint8_t* legacy, const ParameterBlockView& block) {
    const int32_t layers = LegacyLayerCount(legacy, LegacyLayout::kHandleLength);
    std::memset(block.Bytes() + BlockLayout::kLayerCount.offset, 0,
                static_cast<size_t>(block.Length() - BlockLayout::kLayerCount.offset));
    block.Block().Set(BlockLayout::kLayerCount, static_cast<int16_t>(layers));
    for (int32_t i = 0; i < layers; ++i)
        MigrateLegacyLayer(legacy + Legacy::kLayers + Legacy::kLayerLength * i, block.Layer(i));
    if (layers == 0) SettingsInitPlaceholder(block);
    // The older layout had no photo placement: the photo sits unscaled in the middle.
    SettingsResetBackgroundPlacement(block);
}

ErrorCode SettingsCheckBlock(const ParameterBlockView& block) {
    using namespace BlockLayout;
    const RecordRef header = block.Block();
    if (block.Length() < kLayers) return Err::SettingsCorrupt;
    const int64_t size = header.Get(kSize);
    const int32_t layers = block.LayerCount();
    const int32_t paths = block.PathCount();
    if (!StackLimits::Holds(layers, paths)) return Err::SettingsCorrupt;
    if (size != ParameterBlockView::SizeFor(layers, paths) || block.Length() < size + ParameterHeader::kRunTimePrefix)
        return Err::SettingsCorrupt;
    if (!PlacementFinite(block.Background()) || !Finite(header, kGlobalScale)) return Err::SettingsCorrupt;
    for (int32_t i = 0; i < block.LayerSlots(); ++i)
        if (!LayerFinite(block.Layer(i))) return Err::SettingsCorrupt;

    std::memset(block.Bytes(), 0, ParameterHeader::kRunTimePrefix);
    Restrict<int16_t>(header, kSelectedPath, 0, static_cast<int16_t>(std::max(paths - 1, 0)), 0);
    Restrict<uint8_t>(header, kOutputOption, 0, kOutputEachFrameToNewLayer, 0);
    for (int32_t i = 0; i < block.LayerSlots(); ++i) SanitiseLayer(block.Layer(i), static_cast<uint16_t>(paths));
    for (int32_t p = 1; p <= paths; ++p) TerminateFileSpec(block.Path(p));
    return Err::None;
}
