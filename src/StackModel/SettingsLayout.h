// The stored layout of the parameter block and of its records. The same bytes travel to the host,
// to preset files, to scripting and to batch jobs, so every offset and width here is a format:
// every multi-byte field is big-endian, and record offsets count from the record's start.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "BigEndian.h"
#include "BinaryLayout.h"
#include "ParameterHeader.h"

// One stored field: its type (which fixes its width) and its byte offset.
template <typename T>
struct Field {
    uint32_t offset;
};

// The place of a field, for the layout checks.
template <typename T>
constexpr FieldSpan Span(Field<T> field) {
    return {field.offset, sizeof(T)};
}

// Typed access to one stored record (or the whole block) through its fields.
class RecordRef {
public:
    explicit RecordRef(uint8_t* base) : base_(base) {}

    uint8_t* Bytes() const { return base_; }
    uint8_t* At(uint32_t offset) const { return base_ + offset; }
    RecordRef Sub(uint32_t offset) const { return RecordRef(base_ + offset); }

    template <typename T>
    T Get(Field<T> field) const {
        const uint8_t* p = base_ + field.offset;
        if constexpr (sizeof(T) == 1) return static_cast<T>(*p);
        else if constexpr (std::is_same_v<T, float>) return BigEndian::ReadFloat(p);
        else if constexpr (sizeof(T) == 2) return static_cast<T>(BigEndian::Read16(p));
        else return static_cast<T>(BigEndian::Read32(p));
    }

    template <typename T>
    void Set(Field<T> field, std::type_identity_t<T> value) const {
        uint8_t* p = base_ + field.offset;
        if constexpr (sizeof(T) == 1) *p = static_cast<uint8_t>(value);
        else if constexpr (std::is_same_v<T, float>) BigEndian::WriteFloat(p, value);
        else if constexpr (sizeof(T) == 2) BigEndian::Write16(p, static_cast<uint16_t>(value));
        else BigEndian::Write32(p, static_cast<uint32_t>(value));
    }

private:
    uint8_t* base_;
};

// The block as it sits in the host's parameters handle: the run-time link (the handle's prefix:
// a twin-block reference, never stored settings), the framework header, the stack header, the
// background record, then the layer and path records.
namespace BlockLayout {
inline constexpr uint32_t kRunTimeLink = 0;
inline constexpr uint32_t kHeader = ParameterHeader::kRunTimePrefix;  // the framework's
inline constexpr Field<uint16_t> kSize{kHeader + ParameterHeader::kSizeField};  // S, counted from the header
inline constexpr Field<int16_t> kLayerCount{20};    // N
inline constexpr Field<int16_t> kPathCount{22};     // M
inline constexpr Field<int16_t> kSelectedLayer{24}; // outside 0..N-1: the photo row is selected
inline constexpr Field<int16_t> kSelectedPath{26};  // 0-based
inline constexpr Field<uint8_t> kOutputOption{28};  // kOutputOff, kOutputToNewLayer, kOutputEachFrameToNewLayer
inline constexpr Field<uint8_t> kLayeredOutputMode{29};  // kLayeredOutputNone, kLayeredOutputMask or kLayeredOutputLayers
inline constexpr Field<uint16_t> kReserved{30};
inline constexpr uint32_t kBackground = 32;         // the first 1,064 bytes of a layer record
inline constexpr uint32_t kBackgroundLength = 1064;
inline constexpr Field<float> kGlobalScale{1092};   // inside the background: its first effect's first value
inline constexpr uint32_t kLayers = 1096;
// What S counts before the layer records: the header, the stack header and the background.
inline constexpr uint32_t kSizeBeforeLayers = kLayers - kHeader;
// The handle's bytes up to the output bytes, the last of the stack header that the start routine reads.
inline constexpr uint32_t kThroughOutputBytes = kLayeredOutputMode.offset + 1;

// The output option: how the result goes back to the document.
inline constexpr uint8_t kOutputOff = 0;
inline constexpr uint8_t kOutputToNewLayer = 1;           // "Apply to New Layer"
inline constexpr uint8_t kOutputEachFrameToNewLayer = 2;  // "Apply Each Frame to New Layer"
// The layered-output mode, which the output slots report.
inline constexpr uint8_t kLayeredOutputNone = 0;
inline constexpr uint8_t kLayeredOutputMask = 4;    // the frames as a mask of the photo
inline constexpr uint8_t kLayeredOutputLayers = 5;  // the layers drawn over the photo, each on its own

inline constexpr int32_t kMaxLayers = 32;
inline constexpr int32_t kMaxStackEntries = 32;  // max(N,1) + M: the run-time table's capacity
}  // namespace BlockLayout

namespace LayerLayout {
inline constexpr uint32_t kLength = 1304;
inline constexpr Field<uint32_t> kRecordId{0};
inline constexpr Field<uint16_t> kPathCapacity{4};  // always 1024
inline constexpr Field<uint16_t> kReserved{6};
inline constexpr uint32_t kSource = 8;               // a FileSpec, or a ShapeRecord and zeros
inline constexpr uint32_t kSourceLength = 1024;
inline constexpr uint16_t kSourceCapacity = 1024;
inline constexpr uint32_t kSettings = 1032;          // everything from here on is reset together
inline constexpr Field<uint8_t> kEnabled{1032};
inline constexpr Field<uint8_t> kInvert{1033};
inline constexpr Field<uint16_t> kBackgroundTexture{1034};  // 1-based path record, 0 none
inline constexpr Field<uint8_t> kEdgeIndex{1036};
inline constexpr Field<uint8_t> kAutoRotated{1037};
inline constexpr Field<uint8_t> kLinkedPrevious{1038};
inline constexpr Field<uint8_t> kLinkedNext{1039};
inline constexpr Field<int16_t> kAngle{1040};
inline constexpr Field<uint8_t> kFlipHorizontal{1042};
inline constexpr Field<uint8_t> kFlipVertical{1043};
inline constexpr Field<float> kScaleX{1044};
inline constexpr Field<float> kScaleY{1048};
inline constexpr Field<float> kOffsetX{1052};
inline constexpr Field<float> kOffsetY{1056};
inline constexpr uint32_t kHeadLength = 1060;  // the head: identity, source and placement
inline constexpr uint32_t kEffects = 1060;
inline constexpr int32_t kEffectCount = 4;
inline constexpr uint32_t kBevel = 1172;
inline constexpr uint32_t kEdges = 1256;
inline constexpr int32_t kEdgeCount = 4;
}  // namespace LayerLayout

// A texture image that layers name by 1-based index: the first 1,032 bytes of a layer record
// (its id, the path's capacity and the path).
namespace PathLayout {
inline constexpr uint32_t kLength = 1032;
}

namespace ShapeLayout {
inline constexpr uint32_t kLength = 20;
inline constexpr Field<int32_t> kMarker{0};  // -1: the layer's source is a shape
inline constexpr Field<uint16_t> kKind{4};   // 1 Ellipse .. 6 Heart
inline constexpr Field<uint8_t> kOption{6};
inline constexpr Field<uint8_t> kFlags{7};   // kConcave, kBrokenHeart
inline constexpr Field<int16_t> kCorner{8};
inline constexpr Field<int16_t> kSides{10};
inline constexpr Field<int16_t> kInset{12};
inline constexpr Field<int16_t> kAspect{14};
inline constexpr Field<int16_t> kHeadWidth{16};
inline constexpr Field<int16_t> kBaseWidth{18};

inline constexpr uint8_t kConcave = 0x01;      // the corner value counts inwards
inline constexpr uint8_t kBrokenHeart = 0x02;

inline constexpr uint16_t kEllipse = 1, kRectangle = 2, kPolygon = 3, kStar = 4, kArrow = 5, kHeart = 6;
inline constexpr uint16_t kLastKind = kHeart;
inline constexpr int16_t kMinSides = 3, kMaxSides = 20;
inline constexpr int16_t kMinAspect = -99, kMaxAspect = 99;  // the aspect is a divisor's offset
}  // namespace ShapeLayout

// The 14-byte colour of effects and of the bevel highlight.
namespace ColourLayout {
inline constexpr uint32_t kLength = 14;
inline constexpr Field<int16_t> kTag{0};    // -1 in every colour built here
inline constexpr Field<int16_t> kSpace{2};  // 0 RGB; negative: no colour
inline constexpr Field<uint16_t> Component(int i) { return {4 + 2 * static_cast<uint32_t>(i)}; }
inline constexpr Field<uint16_t> kAlpha{12};
inline constexpr uint16_t kOpaque = 255;
}  // namespace ColourLayout

namespace EffectLayout {
inline constexpr uint32_t kLength = 28;
inline constexpr Field<float> kSize{0};          // kinds 0..2: the first value
inline constexpr Field<float> kBlur{4};          // every kind: the second value
inline constexpr Field<int16_t> kShadowRows{0};  // kind 3 keeps two offsets in the first value
inline constexpr Field<int16_t> kShadowColumns{2};
inline constexpr Field<uint16_t> kOpacity{8};
inline constexpr Field<uint16_t> kBlendMode{10};
inline constexpr uint32_t kColour = 12;
inline constexpr Field<uint8_t> kOn{26};
inline constexpr Field<uint8_t> kNoise{27};

enum Kind : int32_t { kBackground = 0, kBorder = 1, kGlow = 2, kShadow = 3 };
inline constexpr uint16_t kNormal = 1, kLastBlendMode = 12;
inline constexpr uint16_t kMaxOpacity = 100;
inline constexpr uint8_t kMaxNoise = 250;
}  // namespace EffectLayout

namespace BevelLayout {
inline constexpr uint32_t kLength = 84;
inline constexpr Field<uint16_t> kContourKind{0};  // 1 Flat .. 10 Picture Frame 3
inline constexpr Field<uint16_t> kReserved{2};
inline constexpr Field<uint16_t> kPointCapacity{4};
inline constexpr Field<uint16_t> kPointCount{6};
inline constexpr uint32_t kPoints = 8;  // u16 x, u16 y pairs
inline constexpr uint32_t kPointLength = 4;
inline constexpr Field<uint16_t> kSurfaceTexture{40};  // 1-based path record, 0 none
inline constexpr Field<int16_t> kWidth{42};
inline constexpr Field<float> kHeight{44};
inline constexpr Field<float> kSoftness{48};
inline constexpr Field<float> kTextureBlur{52};
inline constexpr Field<float> kTextureHeight{56};
inline constexpr uint32_t kMaterial = 60;  // preset number 1..6, then three light parameters
inline constexpr uint32_t kMaterialLength = 4;
inline constexpr Field<int16_t> kAltitude{64};
inline constexpr Field<int16_t> kAngle{66};
inline constexpr uint32_t kColour = 68;
inline constexpr Field<uint8_t> kOn{82};
inline constexpr Field<uint8_t> kOptions{83};  // kHighlightBackground, kBevelOuter

inline constexpr uint8_t kHighlightBackground = 0x01;  // the highlight colour lights the bevel
inline constexpr uint8_t kBevelOuter = 0x02;           // the bevel fills out to the image's edge

inline constexpr uint16_t kMaxPoints = 8;
inline constexpr uint16_t kFlat = 1, kRound = 2, kLastContour = 10;
inline constexpr uint8_t kFirstMaterial = 1, kLastMaterial = 6;
inline constexpr uint8_t kPlasticMaterial[kMaterialLength] = {4, 40, 15, 40};  // the default
}  // namespace BevelLayout

namespace EdgeLayout {
inline constexpr uint32_t kLength = 12;
inline constexpr Field<uint8_t> kOn{0};
inline constexpr Field<uint8_t> kReservedByte{1};
inline constexpr Field<uint16_t> kType{2};  // 1 Wave .. 8 Clean; 0 none
inline constexpr Field<int16_t> kPatternLength{4};
inline constexpr Field<int16_t> kPatternDepth{6};
inline constexpr Field<uint16_t> kRotation{8};
inline constexpr Field<uint16_t> kReservedWord{10};
inline constexpr uint16_t kLastType = 8;
}  // namespace EdgeLayout

// Every record's fields follow on one from the next and fill it: the stored format is the hosts'
// and the preset files', and a field moved without its neighbours must not build.
namespace LayoutChecks {
using namespace BlockLayout;
static_assert(FieldsFollowOn(kRunTimeLink, {{kRunTimeLink, ParameterHeader::kRunTimePrefix},
                                            {kHeader, ParameterHeader::kHeaderLength},
                                            Span(kLayerCount), Span(kPathCount), Span(kSelectedLayer),
                                            Span(kSelectedPath), Span(kOutputOption), Span(kLayeredOutputMode),
                                            Span(kReserved), {kBackground, kBackgroundLength}},
                             kLayers));
static_assert(kLayerCount.offset == ParameterHeader::kSettingsOffset);
static_assert(kSizeBeforeLayers == 1088);
// The background record ends with its first effect's first value, the global scale.
static_assert(kGlobalScale.offset == kBackground + LayerLayout::kEffects + EffectLayout::kSize.offset);
static_assert(kBackground + kBackgroundLength == kGlobalScale.offset + sizeof(float));

static_assert(FieldsFollowOn(0, {Span(LayerLayout::kRecordId), Span(LayerLayout::kPathCapacity),
                                 Span(LayerLayout::kReserved), {LayerLayout::kSource, LayerLayout::kSourceLength},
                                 Span(LayerLayout::kEnabled), Span(LayerLayout::kInvert),
                                 Span(LayerLayout::kBackgroundTexture), Span(LayerLayout::kEdgeIndex),
                                 Span(LayerLayout::kAutoRotated), Span(LayerLayout::kLinkedPrevious),
                                 Span(LayerLayout::kLinkedNext), Span(LayerLayout::kAngle),
                                 Span(LayerLayout::kFlipHorizontal), Span(LayerLayout::kFlipVertical),
                                 Span(LayerLayout::kScaleX), Span(LayerLayout::kScaleY), Span(LayerLayout::kOffsetX),
                                 Span(LayerLayout::kOffsetY),
                                 {LayerLayout::kEffects, LayerLayout::kEffectCount * EffectLayout::kLength},
                                 {LayerLayout::kBevel, BevelLayout::kLength},
                                 {LayerLayout::kEdges, LayerLayout::kEdgeCount * EdgeLayout::kLength}},
                             LayerLayout::kLength));
static_assert(LayerLayout::kSettings == LayerLayout::kSource + LayerLayout::kSourceLength);
static_assert(LayerLayout::kHeadLength == LayerLayout::kEffects && LayerLayout::kSourceCapacity == LayerLayout::kSourceLength);
static_assert(PathLayout::kLength == LayerLayout::kSettings);  // a path record is a layer record's first part

static_assert(FieldsFollowOn(0, {Span(ShapeLayout::kMarker), Span(ShapeLayout::kKind), Span(ShapeLayout::kOption),
                                 Span(ShapeLayout::kFlags), Span(ShapeLayout::kCorner), Span(ShapeLayout::kSides),
                                 Span(ShapeLayout::kInset), Span(ShapeLayout::kAspect), Span(ShapeLayout::kHeadWidth),
                                 Span(ShapeLayout::kBaseWidth)},
                             ShapeLayout::kLength));
static_assert(ShapeLayout::kLength <= LayerLayout::kSourceLength);

static_assert(FieldsFollowOn(0, {Span(ColourLayout::kTag), Span(ColourLayout::kSpace), Span(ColourLayout::Component(0)),
                                 Span(ColourLayout::Component(1)), Span(ColourLayout::Component(2)),
                                 Span(ColourLayout::Component(3)), Span(ColourLayout::kAlpha)},
                             ColourLayout::kLength));

static_assert(FieldsFollowOn(0, {Span(EffectLayout::kSize), Span(EffectLayout::kBlur), Span(EffectLayout::kOpacity),
                                 Span(EffectLayout::kBlendMode), {EffectLayout::kColour, ColourLayout::kLength},
                                 Span(EffectLayout::kOn), Span(EffectLayout::kNoise)},
                             EffectLayout::kLength));
// The shadow's two offsets share the first value's four bytes.
static_assert(FieldsFollowOn(0, {Span(EffectLayout::kShadowRows), Span(EffectLayout::kShadowColumns)},
                             EffectLayout::kBlur.offset));

static_assert(FieldsFollowOn(0, {Span(BevelLayout::kContourKind), Span(BevelLayout::kReserved),
                                 Span(BevelLayout::kPointCapacity), Span(BevelLayout::kPointCount),
                                 {BevelLayout::kPoints, BevelLayout::kMaxPoints * BevelLayout::kPointLength},
                                 Span(BevelLayout::kSurfaceTexture), Span(BevelLayout::kWidth),
                                 Span(BevelLayout::kHeight), Span(BevelLayout::kSoftness),
                                 Span(BevelLayout::kTextureBlur), Span(BevelLayout::kTextureHeight),
                                 {BevelLayout::kMaterial, BevelLayout::kMaterialLength}, Span(BevelLayout::kAltitude),
                                 Span(BevelLayout::kAngle), {BevelLayout::kColour, ColourLayout::kLength},
                                 Span(BevelLayout::kOn), Span(BevelLayout::kOptions)},
                             BevelLayout::kLength));

static_assert(FieldsFollowOn(0, {Span(EdgeLayout::kOn), Span(EdgeLayout::kReservedByte), Span(EdgeLayout::kType),
                                 Span(EdgeLayout::kPatternLength), Span(EdgeLayout::kPatternDepth),
                                 Span(EdgeLayout::kRotation), Span(EdgeLayout::kReservedWord)},
                             EdgeLayout::kLength));
}  // namespace LayoutChecks

// The block's bytes (from the start of the handle, run-time link included) with its records.
class ParameterBlockView {
public:
    ParameterBlockView(uint8_t* bytes, int64_t length) : bytes_(bytes), length_(length) {}

    // S for N layers and M path records: header, globals, max(N,1) layers and M path records.
    static constexpr int64_t SizeFor(int64_t layers, int64_t paths) {
        return int64_t{BlockLayout::kSizeBeforeLayers} + int64_t{LayerLayout::kLength} * std::max<int64_t>(layers, 1) +
               int64_t{PathLayout::kLength} * paths;
    }

    // Where record i starts in a block of `slots` layer records (from the handle's start): layer i
    // below slots, path record i - slots + 1 after them.
    static constexpr int64_t RecordOffset(int32_t i, int32_t slots) {
        return i < slots ? BlockLayout::kLayers + int64_t{LayerLayout::kLength} * i
                         : BlockLayout::kLayers + int64_t{LayerLayout::kLength} * slots +
                               int64_t{PathLayout::kLength} * (i - slots);
    }

    uint8_t* Bytes() const { return bytes_; }
    int64_t Length() const { return length_; }
    RecordRef Block() const { return RecordRef(bytes_); }

    int32_t LayerCount() const { return Block().Get(BlockLayout::kLayerCount); }
    int32_t PathCount() const { return Block().Get(BlockLayout::kPathCount); }
    // Layer records stored: one placeholder even with no layers.
    int32_t LayerSlots() const { return std::max(LayerCount(), 1); }

    // Whether the bytes reach to the end of layer record `index`.
    bool HoldsLayer(int32_t index) const {
        return index >= 0 && BlockLayout::kLayers + int64_t{LayerLayout::kLength} * (index + 1) <= length_;
    }

    RecordRef Background() const { return RecordRef(bytes_ + BlockLayout::kBackground); }
    RecordRef Layer(int32_t index) const {
        return RecordRef(bytes_ + BlockLayout::kLayers + int64_t{LayerLayout::kLength} * index);
    }
    // Path records are numbered from 1, as layers name them.
    RecordRef Path(int32_t number) const {
        return RecordRef(bytes_ + BlockLayout::kLayers + int64_t{LayerLayout::kLength} * LayerSlots() +
                         int64_t{PathLayout::kLength} * (number - 1));
    }

private:
    uint8_t* bytes_;
    int64_t length_;
};

// Record parts of a layer record.
inline RecordRef EffectOf(RecordRef layer, int32_t kind) {
    return layer.Sub(LayerLayout::kEffects + EffectLayout::kLength * static_cast<uint32_t>(kind));
}
inline RecordRef BevelOf(RecordRef layer) { return layer.Sub(LayerLayout::kBevel); }
inline RecordRef EdgeOf(RecordRef layer, int32_t slot) {
    return layer.Sub(LayerLayout::kEdges + EdgeLayout::kLength * static_cast<uint32_t>(slot));
}
inline RecordRef ShapeOf(RecordRef layer) { return layer.Sub(LayerLayout::kSource); }

// A layer's source is a shape when it starts with the marker FF FF FF FF.
inline bool HoldsShape(RecordRef layer) { return ShapeOf(layer).Get(ShapeLayout::kMarker) == -1; }
