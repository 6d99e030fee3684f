#include "ImageInfo.h"

#include "BigEndian.h"

int64_t ImageInfo::PixelBytes() const {
    const int64_t w = Width(), h = Height();
    return w > 0 && h > 0 ? w * h * int64_t{bytesPerPixel} : 0;
}

ImageInfo ImageInfo::Load(const uint8_t* p) {
    using namespace BigEndian;
    ImageInfo info;
    info.mode = Read16(p + kModeOffset);
    info.planes = Read16(p + kPlanesOffset);
    info.bytesPerPixel = Read32(p + kBytesPerPixelOffset);
    info.bytesPerRow = Read32(p + kBytesPerRowOffset);
    info.bounds = Rect16{ReadI16(p + kBoundsOffset), ReadI16(p + kBoundsOffset + 2), ReadI16(p + kBoundsOffset + 4),
                         ReadI16(p + kBoundsOffset + 6)};
    info.densityUnit = Read16(p + kDensityUnitOffset);
    info.widthUnit = p[kWidthUnitOffset];
    info.heightUnit = p[kHeightUnitOffset];
    info.horizontalResolution = ReadFloat(p + kHorizontalResolutionOffset);
    info.verticalResolution = ReadFloat(p + kVerticalResolutionOffset);
    return info;
}

void ImageInfo::Store(uint8_t* p) const {
    using namespace BigEndian;
    Write16(p + kModeOffset, mode);
    Write16(p + kPlanesOffset, planes);
    Write32(p + kBytesPerPixelOffset, bytesPerPixel);
    Write32(p + kBytesPerRowOffset, bytesPerRow);
    WriteI16(p + kBoundsOffset, bounds.top);
    WriteI16(p + kBoundsOffset + 2, bounds.left);
    WriteI16(p + kBoundsOffset + 4, bounds.bottom);
    WriteI16(p + kBoundsOffset + 6, bounds.right);
    Write16(p + kDensityUnitOffset, densityUnit);
    p[kWidthUnitOffset] = widthUnit;
    p[kHeightUnitOffset] = heightUnit;
    WriteFloat(p + kHorizontalResolutionOffset, horizontalResolution);
    WriteFloat(p + kVerticalResolutionOffset, verticalResolution);
}
