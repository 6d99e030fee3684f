// Pixel and colour services: sample ranges, the built-in colour conversions, colour records, the
// blend tables, the pixel-run converter and the preference record's defaults. Expected values are
// worked out by hand from the conversion formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "BlendTable.h"
#include "ColorConversion.h"
#include "InProcessHost.h"
#include "ImageModes.h"
#include "LayerComposition.h"
#include "PixelSamples.h"
#include "PreferenceSettings.h"

namespace {

struct Conversion {
    int16_t from;
    int16_t components[4];
    int16_t to;
    int16_t expected[4];
};

ColorServicesInfo Request(const Conversion& c) {
    ColorServicesInfo info{};
    info.infoSize = sizeof info;
    info.selector = kServiceConvertColor;
    info.sourceSpace = c.from;
    info.resultSpace = c.to;
    std::memcpy(info.colorComponents, c.components, sizeof info.colorComponents);
    return info;
}

TEST(ColourConversion, BuiltInConversionsGiveTheWorkedValues) {
    const Conversion cases[] = {
        {kSpaceHSB, {0, 255, 255, 0}, kSpaceRGB, {255, 0, 0, 0}},       // pure red
        {kSpaceHSB, {60, 255, 255, 0}, kSpaceRGB, {255, 255, 0, 0}},    // hue 60: yellow
        {kSpaceHSB, {-120, 255, 255, 0}, kSpaceRGB, {0, 0, 255, 0}},    // hue taken modulo 360: blue
        {kSpaceHSB, {30, 0, 200, 0}, kSpaceRGB, {200, 200, 200, 0}},    // no saturation: grey
        {kSpaceRGB, {0, 0, 0, 0}, kSpaceCMYK, {0, 0, 0, 0}},            // black: K = 0 is full ink
        {kSpaceRGB, {255, 128, 0, 0}, kSpaceCMYK, {255, 128, 0, 255}},  // (128*255+127)/255
        {kSpaceCMYK, {255, 128, 0, 200}, kSpaceRGB, {200, 100, 0, 0}},  // (c*k+127)/255
        {kSpaceRGB, {255, 0, 0, 0}, kSpaceGray, {76, 0, 0, 0}},         // (255*38+64)>>7
        {kSpaceRGB, {10, 20, 30, 0}, kSpaceGray, {18, 0, 0, 0}},        // ((10+40)*38+420+64)>>7
        {kSpaceGray, {77, 0, 0, 0}, kSpaceRGB, {77, 77, 77, 0}},
        {kSpaceHSL, {200, 0, 100, 0}, kSpaceRGB, {100, 100, 100, 0}},   // no saturation: the lightness
        {kSpaceLab, {255, 128, 128, 0}, kSpaceRGB, {255, 242, 232, 0}}, // X = Y = Z = 1, red clamped
        {kSpaceLab, {0, 128, 128, 0}, kSpaceRGB, {1, 0, 0, 0}},         // (0.14/1.14)^3 mixes to a trace of red
    };
    for (const Conversion& c : cases) {
        ColorServicesInfo info = Request(c);
        ASSERT_EQ(ConvertColor(info), 0) << c.from << " -> " << c.to;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(info.colorComponents[i], c.expected[i]) << c.from << " -> " << c.to << " component " << i;
    }
}

TEST(ColourConversion, DarkSaturatedHslStaysInRange) {
    // Where the first bound of the scale has no real value the conversion must still give numbers.
    for (int16_t lightness : {0, 10, 60, 120, 147}) {
        ColorServicesInfo info = Request({kSpaceHSL, {0, 255, lightness, 0}, kSpaceRGB, {}});
        ASSERT_EQ(ConvertColor(info), 0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_GE(info.colorComponents[i], 0);
            EXPECT_LE(info.colorComponents[i], 255);
        }
        EXPECT_GE(info.colorComponents[0], info.colorComponents[1]) << "a red hue stays reddest";
    }
}

TEST(ColourConversion, SpacesOutsideTheTablesAreRefused) {
    for (const auto& [from, to] : {std::pair<int16_t, int16_t>{kSpaceXYZ, kSpaceRGB}, {kSpaceRGB, kSpaceHSB},
                                   {kSpaceRGB, 7}, {-5, kSpaceRGB}, {kSpaceRGB, kSpaceLab}}) {
        ColorServicesInfo info = Request({from, {1, 2, 3, 4}, to, {}});
        EXPECT_EQ(ConvertColor(info), 17500) << from << " -> " << to;
    }
}

class HostColour : public testing::Test {
protected:
    void SetUp() override {
        _putenv("QUORVEL_ALERT_ANSWER=1");
        host_.BeginCall();
    }
    void TearDown() override { SetUseHostColorServices(true); }
    InProcessHost host_{kModeCMYKColor, 4, 4};
};

OSErr16 FailingColourServices(ColorServicesInfo*) { return -1; }
int gHostConversions = 0;
OSErr16 CountingColourServices(ColorServicesInfo* info) {
    ++gHostConversions;
    return ConvertColor(*info);
}

TEST_F(HostColour, ColourRecordConvertsToTheDocumentSpaceAndFallsBackWhenTheHostFails) {
    host_.Record().colorServices = FailingColourServices;
    ColorRecord record;
    record.space = kSpaceRGB;
    record.components[0] = 255, record.components[1] = 128, record.components[2] = 0, record.components[3] = 99;
    ConvertColorRecord(record, -1, ColourContext::Of(&host_.Record()));  // the document is CMYK
    EXPECT_EQ(record.space, kSpaceCMYK);
    EXPECT_EQ(record.components[0], 255);
    EXPECT_EQ(record.components[1], 128);
    EXPECT_EQ(record.components[2], 0);
    EXPECT_EQ(record.components[3], 255);

    ColorRecord gray;
    gray.space = kSpaceRGB;
    gray.components[0] = 255, gray.components[3] = 7;
    ConvertColorRecord(gray, kSpaceGray, ColourContext::Of(&host_.Record()));
    EXPECT_EQ(gray.components[0], 76);
    EXPECT_EQ(gray.components[3], 0) << "components beyond the space's count are cleared";

    uint8_t stored[ColorRecord::kStoredSize];
    gray.Store(stored);
    EXPECT_EQ(stored[0], 0xFF);
    EXPECT_EQ(stored[3], kSpaceGray);
    const ColorRecord back = ColorRecord::Load(stored);
    EXPECT_EQ(back.components[0], 76);
    EXPECT_EQ(back.opacity, 255);
}

TEST_F(HostColour, ColourRecordRefusesUnknownSpacesAndKeepsColourlessRecords) {
    ColorRecord none;  // space -1: no colour
    ConvertColorRecord(none, kSpaceRGB, ColourContext::Of(&host_.Record()));
    EXPECT_EQ(none.space, kSpaceNone);

    ColorRecord record;
    record.space = kSpaceRGB;
    EXPECT_THROW(ConvertColorRecord(record, 42, ColourContext::Of(&host_.Record())), ErrorCodeException);
    record.space = 99;
    EXPECT_THROW(ConvertColorRecord(record, kSpaceRGB, ColourContext::Of(&host_.Record())), ErrorCodeException);

    host_.Record().imageMode = 99;  // a mode the tables do not hold has no colour space
    record.space = kSpaceRGB;
    EXPECT_THROW(ConvertColorRecord(record, -1, ColourContext::Of(&host_.Record())), ErrorCodeException);
}

TEST_F(HostColour, PixelRunsConvertEachColourOnce) {
    host_.Record().colorServices = CountingColourServices;
    gHostConversions = 0;
    const uint8_t rgb[] = {255, 0, 0, 255, 0, 0, 10, 20, 30, 255, 0, 0};
    uint8_t gray[4] = {};
    ASSERT_EQ(ConvertPixelColors(host_.Record().colorServices, kModeRGBColor, kModeGrayScale, 4, rgb, gray), 0);
    EXPECT_EQ(gray[0], 76);
    EXPECT_EQ(gray[1], 76);
    EXPECT_EQ(gray[2], 18);
    EXPECT_EQ(gray[3], 76);
    EXPECT_EQ(gHostConversions, 2);

    host_.Record().colorServices = nullptr;
    EXPECT_EQ(ConvertPixelColors(host_.Record().colorServices, kModeRGBColor, kModeCMYKColor, 1, rgb, gray), 17500) << "host services wanted, none";
    SetUseHostColorServices(false);
    uint8_t cmyk[4] = {};
    ASSERT_EQ(ConvertPixelColors(host_.Record().colorServices, kModeRGBColor, kModeCMYKColor, 1, rgb, cmyk), 0);
    EXPECT_EQ(cmyk[0], 255);
    EXPECT_EQ(cmyk[3], 255);
    EXPECT_EQ(ConvertPixelColors(host_.Record().colorServices, kModeRGBColor, 40, 1, rgb, cmyk), 17500);
    EXPECT_EQ(ConvertPixelColors(host_.Record().colorServices, kModeIndexedColor, kModeRGBColor, 1, rgb, cmyk), 17500) << "indexed has no space";
}

// A conversion takes the document's mode and the colour services from the context it is handed:
// it needs no open host call, and two documents can be served side by side.
TEST(ColourContextConversion, TargetsTheGivenDocumentThroughTheGivenServices) {
    ASSERT_EQ(HostCall::Current().record, nullptr) << "no host call is open";
    struct Case {
        int16_t documentMode;
        int16_t space;
        int16_t components[4];
        int conversions;
    };
    const Case cases[] = {
        {kModeGrayScale, kSpaceGray, {76, 0, 0, 0}, 1},
        {kModeRGBColor, kSpaceRGB, {255, 0, 0, 0}, 0},
        {kModeCMYKColor, kSpaceCMYK, {255, 0, 0, 255}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.documentMode);
        gHostConversions = 0;
        ColorRecord red;
        red.space = kSpaceRGB;
        red.components[0] = 255;
        ConvertColorRecord(red, -1, ColourContext{CountingColourServices, c.documentMode});
        EXPECT_EQ(red.space, c.space);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(red.components[i], c.components[i]) << "component " << i;
        EXPECT_EQ(gHostConversions, c.conversions);
    }
}

TEST(BlendTable, ModesGiveTheWorkedValues) {
    struct Case {
        int32_t mode, a, b, expected;
    };
    const Case cases[] = {
        {kBlendNormal, 77, 200, 77},
        {kBlendMultiply, 128, 200, 100},    // 200*128/255 = 100.39
        {kBlendScreen, 128, 200, 228},      // 328 - 100.39 = 227.61
        {kBlendOverlay, 50, 100, 39},       // 50*100/127 = 39.37
        {kBlendOverlay, 50, 200, 167},      // 2*(250 - 39.22) - 255 = 166.57
        {kBlendSoftLight, 0, 128, 64},      // 255*(128/255)^2 = 64.25
        {kBlendSoftLight, 255, 64, 128},    // 255*(64/255)^0.5 = 127.75
        {kBlendHardLight, 100, 50, 39},     // 100*50/127 = 39.37
        {kBlendHardLight, 200, 100, 188},   // 2*(300 - 78.43) - 255 = 188.14
        {kBlendDarken, 90, 120, 90},
        {kBlendLighten, 90, 120, 120},
        {kBlendDifference, 90, 20, 70},
        {kBlendExclusion, 100, 200, 143},   // 300 - 2*100*200/255 = 143.14
        {kBlendOverlay, 255, 255, 255},     // a result of exactly 255 stays 255
        {kBlendHardLight, 0, 255, 0},
    };
    for (const Case& c : cases) {
        uint8_t table[256];
        ASSERT_TRUE(BuildBlendTable(c.mode, c.a, table));
        EXPECT_EQ(table[c.b], c.expected) << "mode " << c.mode << " a " << c.a << " b " << c.b;
    }
}

TEST(BlendTable, IdentitiesAndRefusedModes) {
    uint8_t multiply[256], difference[256];
    ASSERT_TRUE(BuildBlendTable(kBlendMultiply, 255, multiply));
    ASSERT_TRUE(BuildBlendTable(kBlendDifference, 0, difference));
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(multiply[b], b);
        EXPECT_EQ(difference[b], b);
    }
    uint8_t untouched[256];
    std::memset(untouched, 0xAB, sizeof untouched);
    EXPECT_FALSE(BuildBlendTable(0, 10, untouched));
    EXPECT_FALSE(BuildBlendTable(13, 10, untouched));
    EXPECT_EQ(untouched[17], 0xAB);
}

TEST(PixelSamples, FillsAndWideningRoundTrip) {
    uint16_t plane[6] = {};
    PlaneFill8(3, 255, plane, 2, 2);
    EXPECT_EQ(plane[0], 32768);
    EXPECT_EQ(plane[2], 32768);
    EXPECT_EQ(plane[1], 0) << "stride 2 skips the other plane";
    uint8_t bytes[4] = {};
    PlaneFill16(4, 0x1234, bytes, 1, 1);
    EXPECT_EQ(bytes[3], 0x34);

    // Every value of the system's range comes back unchanged through the host's range.
    std::vector<uint16_t> samples(32769);
    for (uint32_t v = 0; v <= 32768; ++v) samples[v] = static_cast<uint16_t>(v);
    const Rect32 bounds{0, 0, 1, 32769};
    char* base = reinterpret_cast<char*>(samples.data());
    char* widened = WidenSamples16(bounds, 1, 0, 2, 0, base);
    EXPECT_EQ(widened, base + 1);
    EXPECT_EQ(samples[32768], 65535);
    EXPECT_EQ(samples[16384], 32767);
    EXPECT_EQ(NarrowSamples16(bounds, 1, 0, 2, 0, widened), base);
    for (uint32_t v = 0; v <= 32768; ++v) ASSERT_EQ(samples[v], v);
}

TEST(LayerComposition, ProductsMatchTheWorkedValues) {
    // 8-bit: a half-covered output over an opaque lower layer.
    uint8_t lower[4] = {100, 100, 100, 255};
    const uint8_t output[3] = {200, 0, 255};
    ComposeOutputOverLower<uint8_t>(output, {0, 255, 128}, lower, 3, 255, true);
    // w = 255*255*128 = 8323200, a = 16581375 - w = 8258175, total = 16581375
    EXPECT_EQ(lower[0], 150);  // (100a + 200w + total/2) / total = 150.19
    EXPECT_EQ(lower[1], 50);   // 49.80
    EXPECT_EQ(lower[2], 178);  // (100a + 255w + total/2)/total = 177.80
    EXPECT_EQ(lower[3], 255);

    // 16-bit at the top of the range: the products need 64 bits.
    uint16_t deep[2] = {1000, 0};
    const uint16_t deepOut[1] = {32768};
    ComposeOutputOverLower<uint16_t>(deepOut, {0, 32768, 32768}, deep, 1, 0, true);
    EXPECT_EQ(deep[0], 32768);
    EXPECT_EQ(deep[1], 32768);

    // Upper over lower: u = 100 of 255.
    uint8_t composed[2] = {0, 255};
    const uint8_t upper[2] = {255, 100};
    ComposeUpperOverLower<uint8_t>(upper, 100, composed, 1, 255, true);
    EXPECT_EQ(composed[0], 100);  // (0*155 + 255*100 + 127)/255
    EXPECT_EQ(composed[1], 255);

    // Upper over the output, no lower layer: a transparent upper lets the output through.
    uint8_t clear[2] = {0, 0};
    const uint8_t seen[1] = {90};
    ComposeUpperOverOutput<uint8_t>(seen, {0, 255, 255}, clear, 1);
    EXPECT_EQ(clear[0], 90);
    EXPECT_EQ(clear[1], 255);
}

TEST(Preferences, DefaultsAndRandomizer) {
    PreferenceSettings settings;
    std::memset(settings.bytes, 0xEE, sizeof settings.bytes);
    SetDefaultPreferences(settings);
    EXPECT_EQ(settings.bytes[0], 0x04);
    EXPECT_EQ(settings.bytes[1], 0x04);
    EXPECT_EQ(std::memcmp(settings.bytes + 4, "qvxq", 4), 0);
    const uint8_t previewColour[8] = {0, 78, 0, 78, 0, 78, 0, 0};
    const uint8_t guideColour[8] = {0, 0, 0, 255, 0, 255, 0, 0};
    EXPECT_EQ(std::memcmp(settings.bytes + 12, previewColour, 8), 0);
    EXPECT_EQ(std::memcmp(settings.bytes + 20, guideColour, 8), 0);
    EXPECT_EQ(settings.bytes[PreferenceSettings::kRulerUnits], PreferenceSettings::kInches);
    EXPECT_EQ(settings.MachineWord(PreferenceSettings::kApplyToNewLayer), 2u);
    EXPECT_EQ(settings.MachineWord(PreferenceSettings::kReservedOption), 1u);
    EXPECT_EQ(settings.MachineWord(PreferenceSettings::kLayeredOutput), 0u);
    EXPECT_EQ(settings.bytes[1027], 0);
    EXPECT_EQ(settings.bytes[PreferenceSettings::kFlags], 0);
    EXPECT_EQ(settings.bytes[PreferenceSettings::kRandomizer + 27], 0) << "the randomizer starts unset";

    settings.SetFlag(PreferenceSettings::kNoSelectionWarning, true);
    settings.SetFlag(PreferenceSettings::kWelcomePageOff, true);
    settings.SetFlag(PreferenceSettings::kAutomaticRotationOff, true);
    EXPECT_EQ(settings.bytes[PreferenceSettings::kFlags], 0x45);

    RandomizerOptions& options = *settings.Randomizer();
    SetDefaultRandomizerOptions(options);
    const uint8_t expected[RandomizerOptions::kSize] = {0, 0,    0, 255, 0, 0, 0, 0, 0xFF, 0xF6, 0, 0, 0, 25,
                                                        0, 100,  0, 0,   0, 0, 0, 3, 0,    5,    0, 0, 0, 0x3C};
    EXPECT_EQ(std::memcmp(options.bytes, expected, sizeof expected), 0);
}

}  // namespace
