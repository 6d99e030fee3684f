// Small pictures for the library's blob columns: a source picture scaled proportionally into a
// target rectangle by nearest-neighbour sampling, written as a new picture blob.
//
// A picture blob is a 32-byte big-endian header and the pixels: rows top to bottom, the channel
// bytes of a pixel together, no padding.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "HostMemory.h"
#include "PluginInterface.h"

namespace PictureHeader {
inline constexpr int kImageMode = 0;     // 16-bit: the host's image mode reduced to its 8-bit mode
inline constexpr int kChannels = 2;      // 16-bit, signed
inline constexpr int kBytesPerPixel = 4; // 32-bit
inline constexpr int kRowBytes = 8;      // 32-bit: width x channels
inline constexpr int kRect = 12;         // four signed 16-bit values: top, left, bottom, right
inline constexpr int kVersion = 20;      // 16-bit 1, then the bytes 1 and 1
inline constexpr int kHorizontalResolution = 24;  // 32-bit float, 72.0
inline constexpr int kVerticalResolution = 28;    // 32-bit float, 72.0
inline constexpr int kLength = 32;

// What a header says of its pixels.
struct Layout {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    int32_t bytesPerPixel = 0;
};
// Reads the layout; false unless the picture has pixels and they all lie in bufferSize bytes.
bool Describe(const uint8_t* header, uint64_t bufferSize, Layout& layout);

Rect16 ReadRect(const uint8_t* header);
void WriteRect(uint8_t* header, const Rect16& rect);
// The 8-bit mode of a host image mode: 10 gives 1, 11 gives 3, 12 gives 9, 13 gives 4, 14 gives 7,
// 15 gives 8; the 8-bit modes stay as they are.
int16_t ReducedImageMode(int16_t mode);
}  // namespace PictureHeader

// The host image as the filter's preview sees it, from which RenderThumbnail takes its picture.
class ThumbnailSource {
public:
    virtual ~ThumbnailSource() = default;
    // The host's image area.
    virtual Rect16 HostArea() const = 0;
    // The preview's integer scale factor (1 or more).
    virtual int32_t ScaleFactor() const = 0;
    virtual int16_t ImageMode() const = 0;
    // The planes the preview uses: the picture's channels.
    virtual int32_t Planes() const = 0;
    virtual bool IsSixteenBit() const = 0;
    // Fills `samples` with the rows of `area` (scaled coordinates), top to bottom, the planes of a
    // pixel together: one byte a sample, or for a 16-bit image one 16-bit sample (0..32768).
    // False when the host cannot deliver them.
    virtual bool ReadRows(const Rect16& area, void* samples) = 0;
};

class ThumbnailGenerator {
public:
    // The source is needed by RenderThumbnail only; without one it makes nothing.
    explicit ThumbnailGenerator(ThumbnailSource* source = nullptr) : source_(source) {}
    ThumbnailGenerator(const ThumbnailGenerator&) = delete;
    ThumbnailGenerator& operator=(const ThumbnailGenerator&) = delete;
    virtual ~ThumbnailGenerator();

    // Scales the source picture (its header and a buffer of its pixels) into the target rectangle:
    // 0, or -50 when the fitted rectangle is empty or the source does not describe its pixels.
    // A failure to allocate the picture is raised through ThrowIfError.
    virtual ErrorCode MakeThumbnail(const uint8_t* sourceHeader, BufferRecord* sourceBuffer, const Rect16& target);
    // A picture of the host image scaled into the target rectangle; 0 and no picture without a
    // source; -108 when the host's rows or memory cannot be had.
    virtual ErrorCode RenderThumbnail(const Rect16& target);

    // The last picture made (null before the first) and its size: 32 + width x height x channels.
    const uint8_t* Picture() const { return pictureSize_ ? reinterpret_cast<const uint8_t*>(output_.address) : nullptr; }
    uint64_t PictureSize() const { return pictureSize_; }

private:
    ErrorCode Render(const uint8_t* sourceHeader, const PictureHeader::Layout& source, const uint8_t* sourcePixels,
                     const Rect16& bounds);

    ThumbnailSource* source_;
    BufferRecord output_;
    uint64_t pictureSize_ = 0;
};
