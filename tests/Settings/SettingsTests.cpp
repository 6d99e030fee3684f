#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "BigEndian.h"
#include "HostMemory.h"
#include "HostCall.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "SettingsDefaults.h"
#include "SettingsValidation.h"

namespace {

template <typename T>
double Number(T value) {
    return static_cast<double>(value);
}

// A host without handle procedures: the block lives in global memory, which never moves.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        hostCall_ = HostCall{.record = &record_};
        call_.emplace(hostCall_);
    }
    void TearDown() override {
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        call_.reset();
    }

    ParameterBlockView View() {
        Handle h = record_.parameters;
        return ParameterBlockView(reinterpret_cast<uint8_t*>(LockHandle(h)), GetHandleSize(h));
    }
    RecordRef Block() { return View().Block(); }
    RecordRef Layer(int i) { return View().Layer(i); }

    // Hands the plug-in a block of exactly these bytes, as a host would.
    void HostBlock(const std::vector<uint8_t>& bytes) {
        DisposeHandle(record_.parameters);
        record_.parameters = NewHandle(static_cast<int64_t>(bytes.size()));
        std::memcpy(*record_.parameters, bytes.data(), bytes.size());
    }
    std::vector<uint8_t> Snapshot() {
        const ParameterBlockView v = View();
        const int64_t used = v.Block().Get(BlockLayout::kSize) + 8;
        return std::vector<uint8_t>(v.Bytes(), v.Bytes() + used);
    }

    // A valid block of `layers` default layers and `paths` empty path records.
    std::vector<uint8_t> ValidBlock(int layers, int paths) {
        filter_.SetDefaultParameters(0);
        EXPECT_EQ(filter_.ResizeStackStorage(layers, false), 0);
        EXPECT_EQ(filter_.ResizeStackStorage(paths, true), 0);
        for (int i = 0; i < layers; ++i) filter_.Stack().InitLayerRecord(i, false);
        return Snapshot();
    }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    StackState state_;
    Quorvel filter_{hostCall_, state_};
};

// ---- Defaults

TEST_F(SettingsTest, DefaultBlockHoldsTheListedValues) {
    HostBlock(std::vector<uint8_t>(3000, 0xAB));  // whatever the host held goes
    filter_.SetDefaultParameters(0);
    ASSERT_GE(GetHandleSize(record_.parameters), 2400);
    const RecordRef block = Block();
    const RecordRef layer = Layer(0);
    const RecordRef bevel = BevelOf(layer);
    const RecordRef effect0 = EffectOf(layer, 0), effect1 = EffectOf(layer, 1);
    const RecordRef effect2 = EffectOf(layer, 2), effect3 = EffectOf(layer, 3);

    struct Expect {
        const char* field;
        double actual;
        double expected;
    };
    const Expect fields[] = {
        {"run-time link", Number(BigEndian::Read32(block.At(0)) | BigEndian::Read32(block.At(4))), 0},
        {"size", Number(block.Get(BlockLayout::kSize)), 2392},
        {"header length", Number(*block.At(11)), 12},
        {"signature", Number(BigEndian::Read32(block.At(12))), double('qvxq')},
        {"layers", Number(block.Get(BlockLayout::kLayerCount)), 0},
        {"paths", Number(block.Get(BlockLayout::kPathCount)), 0},
        {"selected", Number(block.Get(BlockLayout::kSelectedLayer)), 0},
        {"output option", Number(block.Get(BlockLayout::kOutputOption)), 2},
        {"global scale", Number(block.Get(BlockLayout::kGlobalScale)), 1.0},
        {"photo x scale", Number(View().Background().Get(LayerLayout::kScaleX)), 1.0},
        {"placeholder enabled", Number(layer.Get(LayerLayout::kEnabled)), 0},
        {"path capacity", Number(layer.Get(LayerLayout::kPathCapacity)), 1024},
        {"layer y scale", Number(layer.Get(LayerLayout::kScaleY)), 1.0},
        {"background size", Number(effect0.Get(EffectLayout::kSize)), 1.0},
        {"background on", Number(effect0.Get(EffectLayout::kOn)), 1},
        {"background opacity", Number(effect0.Get(EffectLayout::kOpacity)), 100},
        {"background blend", Number(effect0.Get(EffectLayout::kBlendMode)), 1},
        {"background tag", Number(effect0.Sub(12).Get(ColourLayout::kTag)), -1},
        {"background blue", Number(effect0.Sub(12).Get(ColourLayout::Component(2))), 255},
        {"background alpha", Number(effect0.Sub(12).Get(ColourLayout::kAlpha)), 255},
        {"border size", Number(effect1.Get(EffectLayout::kSize)), double(0.05f)},
        {"border blue", Number(effect1.Sub(12).Get(ColourLayout::Component(2))), 0},
        {"border green", Number(effect1.Sub(12).Get(ColourLayout::Component(1))), 255},
        {"border on", Number(effect1.Get(EffectLayout::kOn)), 0},
        {"glow blur", Number(effect2.Get(EffectLayout::kBlur)), 5.0},
        {"glow red", Number(effect2.Sub(12).Get(ColourLayout::Component(0))), 255},
        {"shadow rows", Number(effect3.Get(EffectLayout::kShadowRows)), 10},
        {"shadow columns", Number(effect3.Get(EffectLayout::kShadowColumns)), 10},
        {"shadow blur", Number(effect3.Get(EffectLayout::kBlur)), 5.0},
        {"shadow red", Number(effect3.Sub(12).Get(ColourLayout::Component(0))), 0},
        {"contour", Number(bevel.Get(BevelLayout::kContourKind)), 2},
        {"point capacity", Number(bevel.Get(BevelLayout::kPointCapacity)), 8},
        {"points", Number(bevel.Get(BevelLayout::kPointCount)), 6},
        {"point 0 x", Number(BigEndian::Read16(bevel.At(8))), 16384},
        {"point 5 y", Number(BigEndian::Read16(bevel.At(8 + 4 * 5 + 2))), 16383},
        {"bevel width", Number(bevel.Get(BevelLayout::kWidth)), 10},
        {"bevel height", Number(bevel.Get(BevelLayout::kHeight)), 100.0},
        {"bevel softness", Number(bevel.Get(BevelLayout::kSoftness)), 2.0},
        {"texture blur", Number(bevel.Get(BevelLayout::kTextureBlur)), 1.0},
        {"texture height", Number(bevel.Get(BevelLayout::kTextureHeight)), 5.0},
        {"material", Number(BigEndian::Read32(bevel.At(60))), double(0x04280F28)},
        {"altitude", Number(bevel.Get(BevelLayout::kAltitude)), 45},
        {"light angle", Number(bevel.Get(BevelLayout::kAngle)), -45},
        {"bevel on", Number(bevel.Get(BevelLayout::kOn)), 0},
        {"bevel options", Number(bevel.Get(BevelLayout::kOptions)), 1},
        {"edge 3 length", Number(EdgeOf(layer, 3).Get(EdgeLayout::kPatternLength)), 20},
        {"edge 3 depth", Number(EdgeOf(layer, 3).Get(EdgeLayout::kPatternDepth)), 10},
        {"edge 3 rotation", Number(EdgeOf(layer, 3).Get(EdgeLayout::kRotation)), 135},
        {"edge 3 type", Number(EdgeOf(layer, 3).Get(EdgeLayout::kType)), 0},
    };
    for (const Expect& f : fields) EXPECT_EQ(f.actual, f.expected) << f.field;
}

TEST_F(SettingsTest, DefaultBlockValidatesUnchangedAndOneLayerHasTheSameSize) {
    filter_.SetDefaultParameters(0);
    const std::vector<uint8_t> before = Snapshot();
    EXPECT_EQ(filter_.ValidateParameters(), 0);
    EXPECT_EQ(Snapshot(), before);

    EXPECT_EQ(filter_.ResizeStackStorage(1, false), 0);
    EXPECT_EQ(Block().Get(BlockLayout::kSize), 2392);
    EXPECT_EQ(Block().Get(BlockLayout::kLayerCount), 1);
    EXPECT_EQ(filter_.ValidateParameters(), 0);
}

TEST_F(SettingsTest, ResizingFollowsTheSizeRuleAndRefusesToLeaveTheLimits) {
    filter_.SetDefaultParameters(0);
    EXPECT_EQ(filter_.ResizeStackStorage(3, false), 0);
    EXPECT_EQ(Block().Get(BlockLayout::kSize), 1088 + 1304 * 3);
    EXPECT_EQ(filter_.ResizeStackStorage(2, true), 0);
    EXPECT_EQ(Block().Get(BlockLayout::kSize), 1088 + 1304 * 3 + 1032 * 2);
    EXPECT_GE(GetHandleSize(record_.parameters), 1088 + 1304 * 3 + 1032 * 2 + 8);

    const std::vector<uint8_t> before = Snapshot();
    EXPECT_EQ(filter_.ResizeStackStorage(28, true), Err::BadParameters);   // 3 + 30 entries
    EXPECT_EQ(filter_.ResizeStackStorage(-4, false), Err::BadParameters);  // below no layers
    EXPECT_EQ(filter_.ResizeStackStorage(-3, true), Err::BadParameters);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(filter_.ResizeStackStorage(27, true), 0);  // exactly 32 entries
    EXPECT_EQ(filter_.ValidateParameters(), 0);
}

TEST_F(SettingsTest, ResettingALayerKeepsItsEdgesSourceAndId) {
    HostBlock(ValidBlock(2, 0));
    Block().Set(BlockLayout::kSelectedLayer, 1);
    const RecordRef layer = Layer(1);
    layer.Set(LayerLayout::kRecordId, 4242);
    std::strcpy(reinterpret_cast<char*>(layer.At(LayerLayout::kSource)), "C:\\frames\\oak.frm");
    EdgeOf(layer, 2).Set(EdgeLayout::kType, 5);
    layer.Set(LayerLayout::kScaleX, 3.0f);
    EffectOf(layer, 2).Set(EffectLayout::kOpacity, 7);

    filter_.SetDefaultParameters(-2);
    EXPECT_EQ(layer.Get(LayerLayout::kScaleX), 1.0f);
    EXPECT_EQ(EffectOf(layer, 2).Get(EffectLayout::kOpacity), 100);
    EXPECT_EQ(EdgeOf(layer, 2).Get(EdgeLayout::kType), 5);
    EXPECT_EQ(layer.Get(LayerLayout::kRecordId), 4242u);
    EXPECT_STREQ(reinterpret_cast<char*>(layer.At(LayerLayout::kSource)), "C:\\frames\\oak.frm");
    EXPECT_EQ(Block().Get(BlockLayout::kLayerCount), 2);
}

// ---- Record resets

TEST(SettingsRecords, RotationFoldsOnceIntoHalfTurns) {
    struct Case {
        int16_t angle;
        int32_t delta;
        int16_t expected;
    };
    const Case cases[] = {{170, 30, -160}, {-170, -30, 160}, {180, 0, 180}, {90, 90, 180}, {-90, -90, -180}, {0, 90, 90}};
    std::vector<uint8_t> bytes(LayerLayout::kLength);
    const RecordRef layer(bytes.data());
    for (const Case& c : cases) {
        layer.Set(LayerLayout::kAngle, c.angle);
        SettingsRotateAngle(layer, c.delta);
        EXPECT_EQ(layer.Get(LayerLayout::kAngle), c.expected) << c.angle << " by " << c.delta;
    }
}

TEST(SettingsRecords, ResetsReportChangesAndKeepWhatTheyMust) {
    std::vector<uint8_t> bytes(LayerLayout::kLength);
    const RecordRef layer(bytes.data());
    SettingsInitLayerRecord(layer, false);

    const RecordRef glow = EffectOf(layer, 2);
    glow.Set(EffectLayout::kOn, 255);
    EXPECT_FALSE(SettingsResetEffectRecord(glow, 2));  // defaults already, and the state is kept
    glow.Set(EffectLayout::kNoise, 9);
    EXPECT_TRUE(SettingsResetEffectRecord(glow, 2));
    EXPECT_EQ(glow.Get(EffectLayout::kNoise), 0);
    EXPECT_EQ(glow.Get(EffectLayout::kOn), 255);

    const RecordRef bevel = BevelOf(layer);
    EXPECT_FALSE(SettingsResetBevel(bevel));
    bevel.Set(BevelLayout::kSurfaceTexture, 2);
    bevel.Set(BevelLayout::kTextureBlur, 4.0f);
    bevel.Set(BevelLayout::kOn, 1);
    EXPECT_FALSE(SettingsResetBevel(bevel));
    SettingsSetBevelContour(bevel, 10);
    bevel.Set(BevelLayout::kAltitude, 10);
    EXPECT_TRUE(SettingsResetBevel(bevel));
    EXPECT_EQ(bevel.Get(BevelLayout::kContourKind), 2);
    EXPECT_EQ(bevel.Get(BevelLayout::kAltitude), 45);
    EXPECT_EQ(bevel.Get(BevelLayout::kSurfaceTexture), 2);
    EXPECT_EQ(bevel.Get(BevelLayout::kTextureBlur), 4.0f);
    EXPECT_EQ(bevel.Get(BevelLayout::kOn), 1);

    EXPECT_FALSE(SettingsResetPlacement(layer));
    layer.Set(LayerLayout::kFlipVertical, 1);
    EXPECT_TRUE(SettingsResetPlacement(layer));
    EXPECT_EQ(layer.Get(LayerLayout::kFlipVertical), 0);

    SettingsDefaultLayerHead(layer);
    const RecordRef shape = ShapeOf(layer);
    EXPECT_TRUE(HoldsShape(layer));
    EXPECT_FALSE(SettingsResetShape(shape));
    shape.Set(ShapeLayout::kKind, 4);
    shape.Set(ShapeLayout::kSides, 9);
    EXPECT_TRUE(SettingsResetShape(shape));
    EXPECT_EQ(shape.Get(ShapeLayout::kKind), 4);
    EXPECT_EQ(shape.Get(ShapeLayout::kSides), 5);
}

TEST(SettingsRecords, ContoursComeFromTheTableAndUnknownKindsGetTheLine) {
    std::vector<uint8_t> bytes(BevelLayout::kLength, 0xEE);
    const RecordRef bevel(bytes.data());
    struct Case {
        uint16_t kind, count, lastX, lastY;
    };
    const Case cases[] = {{3, 4, 32767, 16383}, {5, 5, 32767, 0}, {7, 2, 16383, 16383}, {10, 7, 32767, 13106},
                          {1, 2, 32767, 16383}, {42, 2, 32767, 16383}};
    for (const Case& c : cases) {
        SettingsSetBevelContour(bevel, c.kind);
        EXPECT_EQ(bevel.Get(BevelLayout::kContourKind), c.kind);
        EXPECT_EQ(bevel.Get(BevelLayout::kPointCount), c.count) << c.kind;
        EXPECT_EQ(BigEndian::Read16(bevel.At(8 + 4 * (c.count - 1))), c.lastX) << c.kind;
        EXPECT_EQ(BigEndian::Read16(bevel.At(10 + 4 * (c.count - 1))), c.lastY) << c.kind;
        EXPECT_EQ(BigEndian::Read32(bevel.At(8 + 4 * 7)), c.count == 8 ? BigEndian::Read32(bevel.At(36)) : 0u);
    }
}

// ---- The older layout

std::vector<uint8_t> LegacyBlock(uint16_t layers) {
    std::vector<uint8_t> bytes(1140, 0);
    std::memset(bytes.data(), 0x5A, 8);  // a stale run-time link
    BigEndian::Write16(&bytes[8], 1132);
    bytes[11] = 12;
    BigEndian::Write32(&bytes[12], 'qvxq');
    bytes[20] = static_cast<uint8_t>(layers);
    bytes[21] = static_cast<uint8_t>(layers >> 8);
    return bytes;
}

struct LegacyLayer {
    uint8_t* p;
    void F32(int at, float v) { std::memcpy(p + at, &v, 4); }
    void U16(int at, uint16_t v) { std::memcpy(p + at, &v, 2); }
    void U32(int at, uint32_t v) { std::memcpy(p + at, &v, 4); }
};

TEST_F(SettingsTest, ALegacyTwoLayerBlockMigrates) {
    std::vector<uint8_t> bytes = LegacyBlock(2);
    LegacyLayer first{&bytes[24]};
    first.p[0] = 1;
    first.p[1] = 1;
    first.F32(4, 1.5f);
    first.F32(8, -0.2f);
    first.F32(12, 0.8f);
    first.F32(16, 0.9f);
    first.F32(20, 0.25f);
    first.F32(24, -0.5f);
    first.F32(52, 3.0f);
    first.F32(56, 4.0f);
    first.U16(60, static_cast<uint16_t>(-30));
    first.p[62] = 1;
    first.U16(64, 80);
    first.U16(66, 60);
    first.U16(68, 4);
    first.U16(70, 2);
    for (int i = 0; i < 28; ++i) first.p[72 + i] = static_cast<uint8_t>(i + 1);
    first.p[72 + 12] = first.p[86 + 12] = 0;  // alphas below 256
    first.p[72 + 2] = first.p[72 + 3] = first.p[86 + 2] = first.p[86 + 3] = 0;  // RGB, as legacy colours are
    first.U32(100, 12345);
    first.U16(104, 256);
    std::strcpy(reinterpret_cast<char*>(first.p + 116), "C:\\frames\\oak.frm");
    LegacyLayer second{&bytes[24 + 372]};
    second.F32(8, 0.3f);
    second.U16(70, 6);
    std::memset(second.p + 116, 'x', 256);  // an unterminated path
    HostBlock(bytes);

    ASSERT_EQ(filter_.ValidateParameters(), 0);
    const RecordRef block = Block();
    EXPECT_EQ(block.Get(BlockLayout::kSize), 3696);
    EXPECT_EQ(block.Get(BlockLayout::kLayerCount), 2);
    EXPECT_EQ(block.Get(BlockLayout::kPathCount), 0);
    EXPECT_EQ(block.Get(BlockLayout::kOutputOption), 0);
    EXPECT_EQ(BigEndian::Read32(block.At(0)) | BigEndian::Read32(block.At(4)), 0u);
    EXPECT_EQ(block.Get(BlockLayout::kGlobalScale), 1.0f);
    EXPECT_EQ(View().Background().Get(LayerLayout::kScaleX), 1.0f);

    const RecordRef layer = Layer(0);
    EXPECT_EQ(layer.Get(LayerLayout::kRecordId), 12345u);
    EXPECT_EQ(layer.Get(LayerLayout::kPathCapacity), 256);
    EXPECT_STREQ(reinterpret_cast<char*>(layer.At(LayerLayout::kSource)), "C:\\frames\\oak.frm");
    EXPECT_EQ(layer.Get(LayerLayout::kEnabled), 1);
    EXPECT_EQ(layer.Get(LayerLayout::kInvert), 1);
    EXPECT_EQ(layer.Get(LayerLayout::kScaleX), 0.8f);
    EXPECT_EQ(layer.Get(LayerLayout::kOffsetY), -0.5f);
    EXPECT_EQ(layer.Get(LayerLayout::kAngle), -30);
    EXPECT_EQ(layer.Get(LayerLayout::kFlipHorizontal), 1);
    const RecordRef background = EffectOf(layer, 0), border = EffectOf(layer, 1);
    EXPECT_EQ(background.Get(EffectLayout::kSize), 1.5f);
    EXPECT_EQ(background.Get(EffectLayout::kBlur), 3.0f);
    EXPECT_EQ(background.Get(EffectLayout::kOn), 1);
    EXPECT_EQ(background.Get(EffectLayout::kOpacity), 80);
    EXPECT_EQ(background.Get(EffectLayout::kBlendMode), 9);  // legacy Darken
    EXPECT_EQ(border.Get(EffectLayout::kBlendMode), 3);      // legacy Multiply
    EXPECT_EQ(border.Get(EffectLayout::kSize), 0.2f);        // made positive...
    EXPECT_EQ(border.Get(EffectLayout::kOn), 255);           // ...on the inner side
    EXPECT_EQ(border.Get(EffectLayout::kBlur), 4.0f);
    EXPECT_EQ(std::memcmp(background.At(12), &bytes[24 + 72], 14), 0);
    EXPECT_EQ(std::memcmp(border.At(12), &bytes[24 + 86], 14), 0);
    EXPECT_EQ(EffectOf(layer, 2).Get(EffectLayout::kBlur), 5.0f);  // glow and shadow: defaults
    EXPECT_EQ(EffectOf(layer, 3).Get(EffectLayout::kShadowRows), 10);

    const RecordRef next = Layer(1);
    EXPECT_EQ(EffectOf(next, 1).Get(EffectLayout::kOn), 1);
    EXPECT_EQ(EffectOf(next, 1).Get(EffectLayout::kBlendMode), 11);
    EXPECT_EQ(EffectOf(next, 0).Get(EffectLayout::kBlendMode), 1);  // legacy 0 is no mode
    EXPECT_EQ(std::strlen(reinterpret_cast<char*>(next.At(LayerLayout::kSource))), 255u);
    EXPECT_EQ(filter_.ValidateParameters(), 0);
}

// ---- Corrupt blocks

TEST_F(SettingsTest, CorruptBlocksAreRefusedAndLeftAsTheyWere) {
    const std::vector<uint8_t> valid = ValidBlock(2, 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto setSizeFor = [](std::vector<uint8_t>& b, int n, int m) {
        const int64_t s = ParameterBlockView::SizeFor(n, m);
        b.resize(static_cast<size_t>(s + 8));
        BigEndian::Write16(&b[8], static_cast<uint16_t>(s));
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> corrupt;
    };
    const Case cases[] = {
        {"size one too small", [](auto& b) { BigEndian::Write16(&b[8], BigEndian::Read16(&b[8]) - 1); }},
        {"handle shorter than the size", [](auto& b) { b.resize(b.size() - 1); }},
        {"handle shorter than the globals", [](auto& b) { b.resize(900); }},
        {"a path record too many", [](auto& b) { BigEndian::Write16(&b[22], 2); }},
        {"negative layers", [](auto& b) { BigEndian::Write16(&b[20], 0xFFFF); }},
        {"negative paths", [](auto& b) { BigEndian::Write16(&b[22], 0xFFFF); }},
        {"33 layers",
         [&](auto& b) {
             BigEndian::Write16(&b[20], 33);
             BigEndian::Write16(&b[22], 0);
             setSizeFor(b, 33, 0);
         }},
        {"one layer and 32 path records",
         [&](auto& b) {
             BigEndian::Write16(&b[20], 1);
             BigEndian::Write16(&b[22], 32);
             setSizeFor(b, 1, 32);
         }},
        {"a NaN scale", [&](auto& b) { BigEndian::WriteFloat(&b[1096 + 1304 + 1044], nan); }},
        {"an infinite bevel softness", [&](auto& b) { BigEndian::WriteFloat(&b[1096 + 1172 + 48], inf); }},
        {"an infinite glow blur", [&](auto& b) { BigEndian::WriteFloat(&b[1096 + 1060 + 56 + 4], -inf); }},
        {"a NaN glow width", [&](auto& b) { BigEndian::WriteFloat(&b[1096 + 1304 + 1060 + 56], nan); }},
        {"an infinite surface texture blur", [&](auto& b) { BigEndian::WriteFloat(&b[1096 + 1172 + 52], inf); }},
        {"a NaN global scale", [&](auto& b) { BigEndian::WriteFloat(&b[1092], nan); }},
        {"a NaN photo offset", [&](auto& b) { BigEndian::WriteFloat(&b[32 + 1052], nan); }},
        {"four legacy layers", [](auto& b) { b = LegacyBlock(4); }},
        {"a huge legacy layer count", [](auto& b) { b = LegacyBlock(0xFFFF); }},
        {"a truncated legacy block", [](auto& b) { b = LegacyBlock(1); b.resize(1100); }},
        {"a NaN in a legacy layer", [&](auto& b) {
             b = LegacyBlock(1);
             std::memcpy(&b[24 + 12], &nan, 4);
         }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = valid;
        c.corrupt(bytes);
        HostBlock(bytes);
        EXPECT_EQ(filter_.ValidateParameters(), Err::SettingsCorrupt) << c.what;
        if (BigEndian::Read16(&bytes[8]) != 1132) {
            EXPECT_EQ(std::memcmp(*record_.parameters, bytes.data(), bytes.size()), 0) << c.what;
        }
    }
}

TEST_F(SettingsTest, ValuesThatIndexTablesAreBroughtIntoRange) {
    std::vector<uint8_t> bytes = ValidBlock(3, 0);
    std::memset(bytes.data(), 0x77, 8);
    HostBlock(bytes);
    const RecordRef block = Block();
    const RecordRef file = Layer(0), shape = Layer(1), polygon = Layer(2);
    SettingsDefaultLayerHead(shape);
    SettingsDefaultLayerHead(polygon);

    struct Case {
        const char* what;
        uint8_t* at;
        int width;
        uint32_t stored;
        uint32_t expected;
    };
    const RecordRef bevel = BevelOf(file);
    const Case cases[] = {
        {"output option", block.At(28), 1, 7, 0},
        {"selected path with no paths", block.At(26), 2, 3, 0},
        {"blend mode 0", EffectOf(file, 0).At(10), 2, 0, 1},
        {"blend mode 13", EffectOf(file, 1).At(10), 2, 13, 1},
        {"blend mode 12 stays", EffectOf(file, 2).At(10), 2, 12, 12},
        {"opacity", EffectOf(file, 3).At(8), 2, 150, 100},
        {"noise", EffectOf(file, 3).At(27), 1, 251, 250},
        {"colour alpha", EffectOf(file, 3).At(24), 2, 300, 255},
        {"background texture past the paths", file.At(1034), 2, 1, 0},
        {"edge index", file.At(1036), 1, 4, 0},
        {"edge type", EdgeOf(file, 1).At(2), 2, 9, 0},
        {"edge type 8 stays", EdgeOf(file, 2).At(2), 2, 8, 8},
        {"surface texture past the paths", bevel.At(40), 2, 3, 0},
        {"material", bevel.At(60), 1, 9, 4},
        {"highlight alpha", bevel.At(80), 2, 256, 255},
        {"shape kind", shape.At(8 + 4), 2, 7, 1},
        {"polygon sides", polygon.At(8 + 10), 2, 1, 3},
        {"many polygon sides", shape.At(8 + 10), 2, 400, 20},
        {"aspect", shape.At(8 + 14), 2, static_cast<uint16_t>(-100), static_cast<uint16_t>(-99)},
    };
    for (const Case& c : cases) {
        if (c.width == 1) *c.at = static_cast<uint8_t>(c.stored);
        else BigEndian::Write16(c.at, static_cast<uint16_t>(c.stored));
    }
    std::memset(file.At(8), 'p', 1024);  // an unterminated path
    const RecordRef shapeBevel = BevelOf(shape);
    shapeBevel.Set(BevelLayout::kContourKind, 0);
    bevel.Set(BevelLayout::kPointCount, 9);

    ASSERT_EQ(filter_.ValidateParameters(), 0);
    for (const Case& c : cases) {
        const uint32_t value = c.width == 1 ? *c.at : BigEndian::Read16(c.at);
        EXPECT_EQ(value, c.expected) << c.what;
    }
    EXPECT_EQ(file.At(8)[1023], 0);
    EXPECT_EQ(file.At(8)[1022], 'p');
    EXPECT_EQ(shapeBevel.Get(BevelLayout::kContourKind), 1);
    EXPECT_EQ(shapeBevel.Get(BevelLayout::kPointCount), 2);
    EXPECT_EQ(bevel.Get(BevelLayout::kContourKind), 2);
    EXPECT_EQ(bevel.Get(BevelLayout::kPointCount), 6);
    EXPECT_EQ(BigEndian::Read32(block.At(0)) | BigEndian::Read32(block.At(4)), 0u);
}

// Every stored number that sets how much work a render does comes back within what the settings
// allow; numbers already within keep their bytes; colours in spaces not every host converts are
// read as RGB with their components kept.
TEST_F(SettingsTest, ValuesThatSetTheCostOfARenderAreBroughtIntoRange) {
    HostBlock(ValidBlock(3, 0));
    const RecordRef a = Layer(0), b = Layer(1), c = Layer(2);
    struct Case {
        const char* what;
        uint8_t* at;
        bool isFloat;  // else a signed 16-bit number
        double stored;
        double expected;
    };
    using namespace EffectLayout;
    auto effect = [](RecordRef layer, int32_t kind, uint32_t offset) { return EffectOf(layer, kind).At(offset); };
    auto colourSpace = [](RecordRef colour) { return colour.At(ColourLayout::kSpace.offset); };
    const Case cases[] = {
        {"huge background blur", effect(a, kBackground, kBlur.offset), true, 1e6, 99.9f},
        {"negative border blur", effect(a, kBorder, kBlur.offset), true, -5, 0},
        {"the largest glow blur stays", effect(a, kGlow, kBlur.offset), true, 99.9f, 99.9f},
        {"huge shadow blur", effect(a, kShadow, kBlur.offset), true, 3e38, 99.9f},
        {"huge glow width", effect(a, kGlow, kSize.offset), true, 1e6, 0.25f},
        {"negative glow width", effect(b, kGlow, kSize.offset), true, -1, 0},
        {"the widest glow stays", effect(c, kGlow, kSize.offset), true, 0.25f, 0.25f},
        {"far shadow rows", effect(a, kShadow, kShadowRows.offset), false, 32767, 1000},
        {"far shadow columns", effect(a, kShadow, kShadowColumns.offset), false, -32768, -1000},
        {"the farthest shadow stays", effect(b, kShadow, kShadowRows.offset), false, -1000, -1000},
        {"wide bevel", BevelOf(a).At(BevelLayout::kWidth.offset), false, 32767, 100},
        {"negative bevel width", BevelOf(b).At(BevelLayout::kWidth.offset), false, -5, 0},
        {"soft bevel", BevelOf(a).At(BevelLayout::kSoftness.offset), true, 1e6, 25},
        {"negative bevel softness", BevelOf(b).At(BevelLayout::kSoftness.offset), true, -1, 0},
        {"the softest bevel stays", BevelOf(c).At(BevelLayout::kSoftness.offset), true, 25, 25},
        {"blurred surface texture", BevelOf(a).At(BevelLayout::kTextureBlur.offset), true, 1e6, 99.9f},
        {"long edge pattern", EdgeOf(a, 0).At(EdgeLayout::kPatternLength.offset), false, 32767, 100},
        {"negative edge pattern", EdgeOf(a, 1).At(EdgeLayout::kPatternLength.offset), false, -7, 0},
        {"deep edge", EdgeOf(a, 2).At(EdgeLayout::kPatternDepth.offset), false, 32767, 50},
        {"negative edge depth", EdgeOf(a, 3).At(EdgeLayout::kPatternDepth.offset), false, -1, 0},
        {"the deepest edge stays", EdgeOf(b, 3).At(EdgeLayout::kPatternDepth.offset), false, 50, 50},
        {"XYZ background colour", colourSpace(EffectOf(a, kBackground).Sub(kColour)), false, 6, 0},
        {"unknown border colour space", colourSpace(EffectOf(a, kBorder).Sub(kColour)), false, 32767, 0},
        {"a colour taken as it is stays", colourSpace(EffectOf(a, kGlow).Sub(kColour)), false, -1, -1},
        {"an HSL colour stays", colourSpace(EffectOf(a, kShadow).Sub(kColour)), false, 5, 5},
        {"unknown bevel colour space", colourSpace(BevelOf(a).Sub(BevelLayout::kColour)), false, 7, 0},
    };
    for (const Case& c : cases) {
        if (c.isFloat) BigEndian::WriteFloat(c.at, static_cast<float>(c.stored));
        else BigEndian::Write16(c.at, static_cast<uint16_t>(static_cast<int16_t>(c.stored)));
    }
    const RecordRef kept = EffectOf(a, kBorder).Sub(kColour);
    kept.Set(ColourLayout::Component(0), 12);
    kept.Set(ColourLayout::Component(2), 34);

    ASSERT_EQ(filter_.ValidateParameters(), 0);
    for (const Case& c : cases) {
        const double value = c.isFloat ? Number(BigEndian::ReadFloat(c.at))
                                       : Number(static_cast<int16_t>(BigEndian::Read16(c.at)));
        EXPECT_EQ(value, Number(static_cast<float>(c.expected))) << c.what;
    }
    EXPECT_EQ(kept.Get(ColourLayout::Component(0)), 12);
    EXPECT_EQ(kept.Get(ColourLayout::Component(2)), 34);
}

}  // namespace
