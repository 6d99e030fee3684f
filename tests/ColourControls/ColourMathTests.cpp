// The colour controls' plain parts: the spectrum's pixels, the globe's geometry and the stored
// colour's bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "ColorPopup.h"
#include "ColorSpectrum.h"
#include "GlobeGeometry.h"

namespace {

TEST(ColourSpectrum, HuesRunAcrossFromWhiteAboveToBlackBelow) {
    constexpr int32_t kWidth = 361, kHeight = 101;   // one column per degree, the middle row at 50
    struct Case {
        int32_t x, y;
        SpectrumRgb expected;
    };
    const Case cases[] = {
        {0, 0, {255, 255, 255}},        {180, 0, {255, 255, 255}},  // the top row is white at every hue
        {0, 50, {255, 0, 0}},           {60, 50, {255, 255, 0}},    {120, 50, {0, 255, 0}},
        {180, 50, {0, 255, 255}},       {240, 50, {0, 0, 255}},     {300, 50, {255, 0, 255}},
        {360, 50, {255, 0, 0}},                                     // the hue comes round again
        {0, 25, {255, 128, 128}},       {120, 75, {0, 128, 0}},     // half way to white, to black
        {0, 100, {0, 0, 0}},            {240, 100, {0, 0, 0}},      // the last row is black
        {-5, -5, {255, 255, 255}},      {400, 50, {255, 0, 0}},     // outside: held at the edges
    };
    for (const Case& c : cases) {
        const SpectrumRgb got = SpectrumColorAt(c.x, c.y, kWidth, kHeight);
        EXPECT_EQ(got, c.expected) << "(" << c.x << ", " << c.y << ") gave " << int(got.red) << " " << int(got.green)
                                   << " " << int(got.blue);
    }
    EXPECT_EQ(SpectrumColorAt(3, 3, 0, 10), SpectrumRgb{});
    EXPECT_EQ(SpectrumColorAt(0, 0, 1, 1), (SpectrumRgb{255, 255, 255}));
}

TEST(ColourSpectrum, HsbConversionHoldsItsInputsAndTheGreyStripRunsWhiteToBlack) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(HsbToRgb8(-120, 1, 1), (SpectrumRgb{0, 0, 255}));    // -120 is 240
    EXPECT_EQ(HsbToRgb8(720 + 60, 1, 1), (SpectrumRgb{255, 255, 0}));
    EXPECT_EQ(HsbToRgb8(0, 2, 5), (SpectrumRgb{255, 0, 0}));        // held at 1
    EXPECT_EQ(HsbToRgb8(0, -1, 1), (SpectrumRgb{255, 255, 255}));   // held at 0
    EXPECT_EQ(HsbToRgb8(nan, 1, 1), (SpectrumRgb{255, 0, 0}));
    EXPECT_EQ(HsbToRgb8(inf, 1, nan), (SpectrumRgb{0, 0, 0}));
    EXPECT_EQ(GreyStripColorAt(0, 256), (SpectrumRgb{255, 255, 255}));
    EXPECT_EQ(GreyStripColorAt(255, 256), (SpectrumRgb{0, 0, 0}));
    EXPECT_EQ(GreyStripColorAt(1000, 256), (SpectrumRgb{0, 0, 0}));
    EXPECT_EQ(GreyStripColorAt(0, 1), (SpectrumRgb{255, 255, 255}));
}

// A globe in an item 100 x 120 at (10, 20): radius 50 - 7 = 43 about the centre (70, 70).
Globe::Layout TestLayout() { return Globe::LayoutOf(Rect16{10, 20, 130, 120}); }

TEST(GlobeGeometry, TheLayoutAndTheHandleFollowTheElevationAndTheAngle) {
    const Globe::Layout layout = TestLayout();
    EXPECT_EQ(layout.radius, 43);
    EXPECT_EQ(layout.centre.v, 70);
    EXPECT_EQ(layout.centre.h, 70);
    EXPECT_EQ(layout.globe.top, 20);
    EXPECT_EQ(layout.globe.left, 20);
    EXPECT_EQ(layout.globe.bottom, 120);
    EXPECT_EQ(layout.globe.right, 120);
    EXPECT_LT(Globe::LayoutOf(Rect16{0, 0, 14, 200}).radius, 1);   // too small for a globe

    struct Case {
        int32_t elevation, angle;
        int16_t v, h;
    };
    const Case cases[] = {
        {90, 37, 70, 70},   {0, 0, 27, 70},    {0, 90, 70, 113},   {0, -90, 70, 27},  {0, 180, 113, 70},
        {45, 90, 70, 92},   // half way out: 21.5 rounds away from zero
        {-1, 90, 70, 113},  // angle only: on the rim
        {200, 0, 70, 70},   // held at the centre
    };
    for (const Case& c : cases) {
        const Point16 at = Globe::HandlePosition(layout, c.elevation, c.angle);
        EXPECT_EQ(at.v, c.v) << c.elevation << " / " << c.angle;
        EXPECT_EQ(at.h, c.h) << c.elevation << " / " << c.angle;
    }
}

TEST(GlobeGeometry, APointerPicksTheDirectionFromTheCentre) {
    const Globe::Layout layout = TestLayout();
    struct Case {
        Point16 at;
        Globe::Direction before, expected;
    };
    const Case cases[] = {
        {{70, 70}, {30, 45}, {90, 45}},     // the centre: elevation 90, the angle stays
        {{27, 70}, {30, 45}, {0, 0}},       // straight up on the rim
        {{70, 113}, {30, 45}, {0, 90}},     // right
        {{70, 27}, {30, 45}, {0, -90}},     // left
        {{113, 70}, {30, 45}, {0, 180}},    // down
        {{-500, 70}, {30, 45}, {0, 0}},     // far beyond the rim: never below 0
        {{70, 92}, {0, 0}, {44, 90}},       // 22 of 43 out: 46 from the rim
        {{70, 27}, {-1, 10}, {-1, -90}},    // angle only: no elevation, the angle follows
        {{70, 70}, {-1, 10}, {-1, 0}},      // angle only at the centre: atan2 of nothing is up
    };
    for (const Case& c : cases) {
        const Globe::Direction got = Globe::DirectionAt(layout, c.at, c.before);
        EXPECT_EQ(got.elevation, c.expected.elevation) << "at " << c.at.v << ", " << c.at.h;
        EXPECT_EQ(got.angle, c.expected.angle) << "at " << c.at.v << ", " << c.at.h;
    }
}

TEST(StoredColour, RecordsComeBackByteForByte) {
    struct Case {
        const char* name;
        StoredColor::Bytes bytes;
        int16_t space;
        int16_t opacity;
    };
    const Case cases[] = {
        {"white", {0xff, 0xff, 0, 0, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0, 0, 0xff}, kSpaceRGB, 255},
        {"black", {0xff, 0xff, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff}, kSpaceRGB, 255},
        {"yellow", {0xff, 0xff, 0, 0, 0, 0xff, 0, 0xff, 0, 0, 0, 0, 0, 0xff}, kSpaceRGB, 255},
        {"red", {0xff, 0xff, 0, 0, 0, 0xff, 0, 0, 0, 0, 0, 0, 0, 0xff}, kSpaceRGB, 255},
        {"no colour", {0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kSpaceNone, 0},
        {"cmyk", {0xff, 0xff, 0, 2, 0, 0x10, 0, 0xe0, 0, 0x7f, 0, 0x33, 0, 0xff}, kSpaceCMYK, 255},
        {"translucent", {0xff, 0xff, 0, 0, 0, 0x20, 0, 0x40, 0, 0x60, 0, 0, 0, 0x80}, kSpaceRGB, 128},
    };
    for (const Case& c : cases) {
        const ColorRecord record = ColorRecord::Load(c.bytes);
        EXPECT_EQ(record.tag, StoredColor::kSetTag) << c.name;
        EXPECT_EQ(record.space, c.space) << c.name;
        EXPECT_EQ(record.opacity, c.opacity) << c.name;
        StoredColor::Bytes written{};
        record.Store(written);
        EXPECT_EQ(std::memcmp(written, c.bytes, StoredColor::kSize), 0) << c.name;
    }
}

}  // namespace
