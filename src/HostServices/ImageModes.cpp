#include "ImageModes.h"

#include "PluginInterface.h"

namespace {

// Indexed by the host's image mode: bitmap, grayscale, indexed, RGB, CMYK, HSL, HSB,
// multichannel, duotone, Lab, gray16, RGB48, Lab48, CMYK64, deep multichannel, duotone16.
constexpr ImageModeInfo kImageModes[] = {
    {0, 0, -1, 0},  {1, 1, 4, 1},  {1, 1, -1, 2}, {3, 1, 0, 3},  {4, 1, 2, 4},   {3, 1, 5, 5},
    {3, 1, 1, 6},   {1, 1, -1, 7}, {1, 1, 4, 8},  {3, 1, 3, 9},  {1, 2, 4, 1},   {3, 2, 0, 3},
    {3, 2, 3, 9},   {4, 2, 2, 4},  {1, 2, -11, 7}, {1, 2, 4, 8},
};
constexpr int kModeCount = sizeof kImageModes / sizeof kImageModes[0];

// Indexed by colour space: RGB, HSB, CMYK, Lab, Gray, HSL, XYZ.
constexpr int16_t kSpaceComponents[] = {3, 3, 4, 3, 1, 3, 3};
constexpr int kSpaceCount = sizeof kSpaceComponents / sizeof kSpaceComponents[0];

}  // namespace

const ImageModeInfo* FindImageMode(int32_t imageMode) {
    return imageMode >= 0 && imageMode < kModeCount ? &kImageModes[imageMode] : nullptr;
}

int32_t BytesPerSampleForMode(int16_t imageMode) {
    if (imageMode == kModeBitmap) return 0;
    if (imageMode >= kModeGray16 && imageMode <= kModeDuotone16) return 2;
    return 1;
}

int16_t ColourPlanesOfMode(int32_t imageMode) {
    const ImageModeInfo* info = FindImageMode(imageMode);
    return info ? info->colourPlanes : 0;
}

int16_t ColourSpaceOfMode(int32_t imageMode) {
    const ImageModeInfo* info = FindImageMode(imageMode);
    return info ? info->colourSpace : static_cast<int16_t>(kSpaceNone);
}

int16_t ComponentsOfSpace(int32_t colourSpace) {
    return colourSpace >= 0 && colourSpace < kSpaceCount ? kSpaceComponents[colourSpace] : 0;
}
