#include "ThumbnailGenerator.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "BigEndian.h"
#include "Errors.h"
#include "Geometry.h"

namespace {

constexpr ErrorCode kParameterError = -50;
constexpr float kResolution = 72.0f;

// The source's size fitted into `bounds`, centred, its aspect kept.
Rect16 FittedRect(const PictureHeader::Layout& source, const Rect16& bounds) {
    Rect16 rect{0, 0, ClampToInt16(source.height), ClampToInt16(source.width)};
    FitRectProportionally(rect, bounds);
    return rect;
}

// A side that fitting made empty becomes one pixel wide.
Rect16 WidenEmptySides(Rect16 rect) {
    if (rect.bottom == rect.top) ++rect.bottom;
    if (rect.right == rect.left) ++rect.right;
    return rect;
}

// The step between source positions of neighbouring output positions, the ends mapped onto each
// other; a one-pixel side takes the first row or column.
double SamplingStep(int32_t sourceLength, int32_t outputLength) {
    return outputLength > 1 ? double(sourceLength - 1) / double(outputLength - 1) : 0.0;
}

// The host's coordinate x divided by the preview's scale: away from zero for positive values,
// towards zero otherwise.
int32_t ScaleDown(int32_t x, int32_t scale) { return x > 0 ? (x + scale - 1) / scale : x / scale; }

void WriteFloat(uint8_t* p, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    BigEndian::Write32(p, bits);
}

// A 16-bit sample (0..32768) as a byte.
uint8_t SampleToByte(uint16_t sample) { return static_cast<uint8_t>((uint32_t{sample} * 65535u) >> 23); }

}  // namespace

namespace PictureHeader {

Rect16 ReadRect(const uint8_t* header) {
    const auto at = [header](int offset) { return static_cast<int16_t>(BigEndian::Read16(header + kRect + offset)); };
    return Rect16{at(0), at(2), at(4), at(6)};
}

void WriteRect(uint8_t* header, const Rect16& rect) {
    BigEndian::Write16(header + kRect, static_cast<uint16_t>(rect.top));
    BigEndian::Write16(header + kRect + 2, static_cast<uint16_t>(rect.left));
    BigEndian::Write16(header + kRect + 4, static_cast<uint16_t>(rect.bottom));
    BigEndian::Write16(header + kRect + 6, static_cast<uint16_t>(rect.right));
}

bool Describe(const uint8_t* header, uint64_t bufferSize, Layout& layout) {
    const Rect16 rect = ReadRect(header);
    layout.width = RectWidth(rect);
    layout.height = RectHeight(rect);
    layout.channels = static_cast<int16_t>(BigEndian::Read16(header + kChannels));
    layout.bytesPerPixel = static_cast<int32_t>(BigEndian::Read32(header + kBytesPerPixel));
    if (layout.width < 1 || layout.height < 1 || layout.channels < 1 || layout.bytesPerPixel < layout.channels) return false;
    const uint64_t lastPixel = uint64_t(layout.width) * uint64_t(layout.height) - 1;
    return lastPixel * uint64_t(layout.bytesPerPixel) + uint64_t(layout.channels) <= bufferSize;
}

int16_t ReducedImageMode(int16_t mode) {
    constexpr int16_t kSixteenBitModes[][2] = {{10, 1}, {11, 3}, {12, 9}, {13, 4}, {14, 7}, {15, 8}};
    for (const auto& [wide, narrow] : kSixteenBitModes) {
        if (mode == wide) return narrow;
    }
    return mode;
}

}  // namespace PictureHeader

ThumbnailGenerator::~ThumbnailGenerator() { output_.Free(); }

ErrorCode ThumbnailGenerator::MakeThumbnail(const uint8_t* sourceHeader, BufferRecord* sourceBuffer, const Rect16& target) {
    if (!sourceHeader || !sourceBuffer) return kParameterError;
    PictureHeader::Layout source;
    if (!PictureHeader::Describe(sourceHeader, sourceBuffer->size, source)) return kParameterError;
    const Rect16 fitted = FittedRect(source, target);
    if (fitted.top == 0 && fitted.left == 0 && fitted.bottom == 0 && fitted.right == 0) return kParameterError;
    const LockedBuffer pixels(*sourceBuffer);
    if (!pixels) return Err::MemoryFull;
    return Render(sourceHeader, source, pixels.As<const uint8_t>(), WidenEmptySides(fitted));
}

ErrorCode ThumbnailGenerator::Render(const uint8_t* sourceHeader, const PictureHeader::Layout& source,
                                     const uint8_t* sourcePixels, const Rect16& bounds) {
    const Rect16 rect = WidenEmptySides(FittedRect(source, bounds));
    const int32_t width = RectWidth(rect), height = RectHeight(rect), channels = source.channels;
    const uint64_t size = PictureHeader::kLength + uint64_t(width) * uint64_t(height) * uint64_t(channels);

    output_.Unlock();
    pictureSize_ = 0;
    THROW_IF_ERROR(output_.Allocate(static_cast<int64_t>(size)));
    auto* picture = reinterpret_cast<uint8_t*>(output_.Lock());
    if (!picture) return Err::MemoryFull;

    const double stepX = SamplingStep(source.width, width);
    const double stepY = SamplingStep(source.height, height);
    const int64_t lastPixel = int64_t(source.width) * source.height - 1;
    uint8_t* out = picture + PictureHeader::kLength;
    for (int32_t j = 0; j < height; ++j) {
        const int32_t row = RoundToInt(j * stepY);
        double position = double(row) * source.width;
        for (int32_t i = 0; i < width; ++i, position += stepX) {
            const int64_t pixel = std::clamp<int64_t>(RoundToInt(position), 0, lastPixel);
            std::memcpy(out, sourcePixels + pixel * source.bytesPerPixel, static_cast<size_t>(channels));
            out += channels;
        }
    }
    std::memcpy(picture, sourceHeader, PictureHeader::kLength);
    BigEndian::Write32(picture + PictureHeader::kRowBytes, static_cast<uint32_t>(width * channels));
    PictureHeader::WriteRect(picture, rect);
    pictureSize_ = size;
    return 0;
}

ErrorCode ThumbnailGenerator::RenderThumbnail(const Rect16& target) {
    if (!source_) return 0;
    const int32_t scale = std::max(source_->ScaleFactor(), 1);
    const Rect16 host = source_->HostArea();
    const Rect16 area{ClampToInt16(ScaleDown(host.top, scale)), ClampToInt16(ScaleDown(host.left, scale)),
                      ClampToInt16(ScaleDown(host.bottom, scale)), ClampToInt16(ScaleDown(host.right, scale))};
    const int32_t width = RectWidth(area), height = RectHeight(area), planes = source_->Planes();
    if (width < 1 || height < 1 || planes < 1 || planes > INT16_MAX) return kParameterError;

    uint8_t header[PictureHeader::kLength] = {};
    BigEndian::Write16(header + PictureHeader::kImageMode, static_cast<uint16_t>(PictureHeader::ReducedImageMode(source_->ImageMode())));
    BigEndian::Write16(header + PictureHeader::kChannels, static_cast<uint16_t>(planes));
    BigEndian::Write32(header + PictureHeader::kBytesPerPixel, static_cast<uint32_t>(planes));
    BigEndian::Write32(header + PictureHeader::kRowBytes, static_cast<uint32_t>(width * planes));
    PictureHeader::WriteRect(header, area);
    BigEndian::Write16(header + PictureHeader::kVersion, 1);
    header[PictureHeader::kVersion + 2] = 1;
    header[PictureHeader::kVersion + 3] = 1;
    WriteFloat(header + PictureHeader::kHorizontalResolution, kResolution);
    WriteFloat(header + PictureHeader::kVerticalResolution, kResolution);

    const uint64_t samples = uint64_t(width) * uint64_t(height) * uint64_t(planes);
    BufferRecord pixels;
    THROW_IF_ERROR(pixels.Allocate(static_cast<int64_t>(samples)));
    ErrorCode result = Err::MemoryFull;
    if (LockedBuffer lock(pixels); auto* bytes = lock.As<uint8_t>()) {
        bool delivered = false;
        if (source_->IsSixteenBit()) {
            try {
                std::vector<uint16_t> wide(static_cast<size_t>(samples));
                delivered = source_->ReadRows(area, wide.data());
                if (delivered) std::transform(wide.begin(), wide.end(), bytes, SampleToByte);
            } catch (const std::bad_alloc&) {
                delivered = false;
            }
        } else {
            delivered = source_->ReadRows(area, bytes);
        }
        lock.Unlock();
        if (delivered) result = MakeThumbnail(header, &pixels, target);
    }
    pixels.Free();
    return result;
}
