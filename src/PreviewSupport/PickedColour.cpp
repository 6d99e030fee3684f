#include "PickedColour.h"

#include <algorithm>
#include <cstring>

#include "ColorConversion.h"
#include "ImageModes.h"

namespace {

constexpr int32_t kComponents = 4;

// a * b / 255 to the nearest, for 8-bit a and b.
uint8_t Product(uint8_t a, uint8_t b) { return static_cast<uint8_t>((uint32_t{a} * b + 127) / 255); }

}  // namespace

DeliveredPixelPlanes DeliveredPixelPlanes::Of(int32_t imageMode, int32_t bytesPerSample, int32_t layerPlanes,
                                              int32_t transparency, int32_t layerMasks, int32_t invertedLayerMasks) {
    DeliveredPixelPlanes planes;
    planes.imageMode = imageMode;
    planes.bytesPerSample = std::max(bytesPerSample, 1);
    planes.colourPlanes = ColourPlanesOfMode(imageMode);
    if (layerPlanes <= 0) return planes;
    planes.colourPlanes = std::min(planes.colourPlanes, layerPlanes);
    int32_t next = layerPlanes;
    if (transparency > 0) planes.transparencyPlane = next++;
    if (layerMasks > 0) {
        planes.layerMaskPlane = next;
    } else if (invertedLayerMasks > 0) {
        planes.layerMaskPlane = next;
        planes.layerMaskInverted = true;
    }
    return planes;
}

int32_t DeliveredPixelPlanes::PlanesAsked() const {
    return std::max({colourPlanes, transparencyPlane + 1, layerMaskPlane + 1});
}

uint8_t EightBitsOfSample(const uint8_t* sample, int32_t bytesPerSample) {
    if (bytesPerSample != 2) return *sample;
    uint16_t wide = 0;
    std::memcpy(&wide, sample, sizeof wide);
    return static_cast<uint8_t>(std::min<uint32_t>((uint32_t{wide} * 65535) >> 23, 255));
}

bool ColorOfDeliveredPixel(const DeliveredPixelPlanes& planes, const uint8_t* pixel, const uint8_t* selection,
                           ColorRecord& color) {
    if (planes.colourPlanes <= 0 || !pixel) return false;
    const auto sample = [&](int32_t plane) {
        return EightBitsOfSample(pixel + plane * planes.bytesPerSample, planes.bytesPerSample);
    };
    uint8_t opacity = planes.transparencyPlane >= 0 ? sample(planes.transparencyPlane) : 255;
    if (planes.layerMaskPlane >= 0) {
        const uint8_t mask = sample(planes.layerMaskPlane);
        opacity = Product(opacity, planes.layerMaskInverted ? static_cast<uint8_t>(255 - mask) : mask);
    }
    if (selection) opacity = Product(opacity, EightBitsOfSample(selection, planes.bytesPerSample));
    if (opacity == 0) return false;
    color = ColorRecord{};
    color.tag = -1;
    color.space = std::max<int16_t>(ColourSpaceOfMode(planes.imageMode), kSpaceNone);
    for (int32_t c = 0; c < kComponents; ++c) color.components[c] = c < planes.colourPlanes ? sample(c) : 0;
    color.opacity = opacity;
    return true;
}
