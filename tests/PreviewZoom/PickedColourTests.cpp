// The eyedropper's colour of one delivered pixel: the planes the host orders, the opacity
// products and the 16-bit reduction.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "ColorConversion.h"
#include "PickedColour.h"
#include "PluginInterface.h"

namespace {

TEST(DeliveredPixelPlanes, FollowTheHostsOrderOfALayersPlanes) {
    struct Case {
        const char* name;
        int32_t mode, layerPlanes, transparency, masks, invertedMasks;
        int32_t colour, transparencyPlane, maskPlane;
        bool inverted;
        int32_t asked;
    };
    const Case cases[] = {
        {"flat RGB, no layer counts", kModeRGBColor, 0, 0, 0, 0, 3, -1, -1, false, 3},
        {"RGB layer", kModeRGBColor, 3, 1, 0, 0, 3, 3, -1, false, 4},
        {"RGB layer with a mask", kModeRGBColor, 3, 1, 1, 0, 3, 3, 4, false, 5},
        {"CMYK layer, inverted mask, no transparency", kModeCMYKColor, 4, 0, 0, 1, 4, -1, 4, true, 5},
        {"gray layer", kModeGrayScale, 1, 1, 0, 0, 1, 1, -1, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DeliveredPixelPlanes planes =
            DeliveredPixelPlanes::Of(c.mode, 1, c.layerPlanes, c.transparency, c.masks, c.invertedMasks);
        EXPECT_EQ(planes.colourPlanes, c.colour);
        EXPECT_EQ(planes.transparencyPlane, c.transparencyPlane);
        EXPECT_EQ(planes.layerMaskPlane, c.maskPlane);
        EXPECT_EQ(planes.layerMaskInverted, c.inverted);
        EXPECT_EQ(planes.PlanesAsked(), c.asked);
    }
}

TEST(ColorOfDeliveredPixel, TheOpacityIsTheProductOfTransparencyMaskAndSelection) {
    struct Case {
        const char* name;
        int32_t masks, invertedMasks;
        std::vector<uint8_t> pixel;  // R G B transparency [mask]
        const uint8_t* selection;
        bool found;
        int16_t opacity;
    };
    static const uint8_t half = 128, none = 0;
    const Case cases[] = {
        {"opaque", 0, 0, {10, 20, 30, 255}, nullptr, true, 255},
        {"half transparent", 0, 0, {10, 20, 30, 128}, nullptr, true, 128},
        {"layer mask", 1, 0, {10, 20, 30, 255, 64}, nullptr, true, 64},
        {"inverted layer mask", 0, 1, {10, 20, 30, 255, 64}, nullptr, true, 191},
        // 128 * 128 / 255 = 64.25, then 64 * 128 / 255 = 32.1
        {"all three", 1, 0, {10, 20, 30, 128, 128}, &half, true, 32},
        {"unselected", 0, 0, {10, 20, 30, 255}, &none, false, 0},
        {"fully transparent", 0, 0, {10, 20, 30, 0}, nullptr, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DeliveredPixelPlanes planes = DeliveredPixelPlanes::Of(kModeRGBColor, 1, 3, 1, c.masks, c.invertedMasks);
        ColorRecord color;
        color.space = 99;
        ASSERT_EQ(ColorOfDeliveredPixel(planes, c.pixel.data(), c.selection, color), c.found);
        if (!c.found) continue;
        EXPECT_EQ(color.tag, -1);
        EXPECT_EQ(color.space, kSpaceRGB);
        EXPECT_EQ(color.components[0], 10);
        EXPECT_EQ(color.components[1], 20);
        EXPECT_EQ(color.components[2], 30);
        EXPECT_EQ(color.components[3], 0) << "a component the mode lacks";
        EXPECT_EQ(color.opacity, c.opacity);
    }
}

TEST(ColorOfDeliveredPixel, SixteenBitSamplesAndTheSpaceOfEachMode) {
    // Gray16 with a transparency plane: 32768 is full, 16384 half.
    const uint16_t wide[2] = {16384, 32768};
    uint8_t bytes[sizeof wide];
    std::memcpy(bytes, wide, sizeof wide);
    ColorRecord color;
    ASSERT_TRUE(ColorOfDeliveredPixel(DeliveredPixelPlanes::Of(kModeGray16, 2, 1, 1, 0, 0), bytes, nullptr, color));
    EXPECT_EQ(color.space, kSpaceGray);
    EXPECT_EQ(color.components[0], 127);
    EXPECT_EQ(color.opacity, 255);

    const uint8_t cmyk[4] = {1, 2, 3, 4};
    ASSERT_TRUE(ColorOfDeliveredPixel(DeliveredPixelPlanes::Of(kModeCMYKColor, 1, 0, 0, 0, 0), cmyk, nullptr, color));
    EXPECT_EQ(color.space, kSpaceCMYK);
    EXPECT_EQ(color.components[3], 4);
    const uint8_t index = 7;
    ASSERT_TRUE(ColorOfDeliveredPixel(DeliveredPixelPlanes::Of(kModeIndexedColor, 1, 0, 0, 0, 0), &index, nullptr, color));
    EXPECT_EQ(color.space, kSpaceNone) << "indexed colour has no space";
    EXPECT_FALSE(ColorOfDeliveredPixel(DeliveredPixelPlanes::Of(kModeBitmap, 1, 0, 0, 0, 0), &index, nullptr, color))
        << "a mode without colour planes";
}

}  // namespace
