// The image information record: what an image file holds (its colour mode, planes, row layout,
// bounds and resolution), or the pixel layout a caller wants an image decoded into. Stored as
// eight big-endian 32-bit words; in memory as the plain struct below.
#pragma once

#include <array>
#include <cstdint>

#include "BinaryLayout.h"
#include "PluginInterface.h"

struct ImageInfo {
    // Image modes in the host's numbering.
    static constexpr uint16_t kModeGrey = 1;
    static constexpr uint16_t kModeRGB = 3;
    static constexpr uint16_t kModeCMYK = 4;
    static constexpr uint16_t kModeUnsupported = 0xFFFF;
    // Density units.
    static constexpr uint16_t kDensityNone = 0;
    static constexpr uint16_t kDensityPerInch = 1;
    static constexpr uint16_t kDensityPerCentimetre = 2;

    static constexpr uint32_t kSize = 32;
    // The stored fields, by offset.
    static constexpr uint32_t kModeOffset = 0, kPlanesOffset = 2, kBytesPerPixelOffset = 4, kBytesPerRowOffset = 8,
                              kBoundsOffset = 12, kDensityUnitOffset = 20, kWidthUnitOffset = 22,
                              kHeightUnitOffset = 23, kHorizontalResolutionOffset = 24,
                              kVerticalResolutionOffset = 28;

    uint16_t mode = 0;
    uint16_t planes = 0;
    uint32_t bytesPerPixel = 0;
    uint32_t bytesPerRow = 0;
    Rect16 bounds{};           // a file gives 0, 0, height, width
    uint16_t densityUnit = kDensityNone;
    uint8_t widthUnit = 0;     // display units from the embedded resolution resource, else 0
    uint8_t heightUnit = 0;
    float horizontalResolution = 0;
    float verticalResolution = 0;

    int32_t Width() const { return bounds.right - bounds.left; }
    int32_t Height() const { return bounds.bottom - bounds.top; }
    // width x height x bytes per pixel, in 64 bits; 0 for empty or inverted bounds.
    int64_t PixelBytes() const;

    static ImageInfo Load(const uint8_t* stored);
    void Store(uint8_t* stored) const;

    bool operator==(const ImageInfo&) const = default;
};

static_assert(FieldsFollowOn(0,
                             {{ImageInfo::kModeOffset, 2}, {ImageInfo::kPlanesOffset, 2},
                              {ImageInfo::kBytesPerPixelOffset, 4}, {ImageInfo::kBytesPerRowOffset, 4},
                              {ImageInfo::kBoundsOffset, 8}, {ImageInfo::kDensityUnitOffset, 2},
                              {ImageInfo::kWidthUnitOffset, 1}, {ImageInfo::kHeightUnitOffset, 1},
                              {ImageInfo::kHorizontalResolutionOffset, 4}, {ImageInfo::kVerticalResolutionOffset, 4}},
                             ImageInfo::kSize));
