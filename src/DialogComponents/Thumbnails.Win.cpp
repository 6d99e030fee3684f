// Thumbnail drawing: checking a stored header against its pixels, nearest-neighbour scaling into a
// shared scratch buffer, and showing the result through the host's displayPixels (or, with no
// host to ask, as a device-independent bitmap of our own).
#include "Thumbnails.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "BigEndian.h"
#include "BinaryLayout.h"
#include "DrawingGuards.h"
#include "Errors.h"
#include "HostCall.h"
#include "HostPixels.h"
#include "HostRequest.h"
#include "ImageModes.h"
#include "MorvaneDialog.h"
#include "ThumbnailGenerator.h"

namespace {

// The stored header is the library's picture header; what is read here is what it writes.
static_assert(kThumbnailHeaderLength == PictureHeader::kLength);
static_assert(FieldsFollowOn(0,
                             {{PictureHeader::kImageMode, 2},
                              {PictureHeader::kChannels, 2},
                              {PictureHeader::kBytesPerPixel, 4},
                              {PictureHeader::kRowBytes, 4},
                              {PictureHeader::kRect, 8},
                              {PictureHeader::kVersion, 4},
                              {PictureHeader::kHorizontalResolution, 4},
                              {PictureHeader::kVerticalResolution, 4}},
                             kThumbnailHeaderLength));

constexpr ErrorCode kNoDisplayProcedure = Err::HostUnsupported;
constexpr int32_t kMaskPlaneBytes = 1;

// The one scratch buffer every draw scales into: it grows when a larger thumbnail than ever before
// is drawn and lives as long as the library.
BufferRecord& ScratchBuffer() {
    static BufferRecord* scratch = new BufferRecord;
    return *scratch;
}

// The step between source positions of neighbouring output positions, the ends mapped onto each
// other. A one-pixel side has no second end to map: it takes the first row or column.
double SamplingStep(int32_t sourceLength, int32_t outputLength) {
    return outputLength > 1 ? double(sourceLength - 1) / double(outputLength - 1) : 0.0;
}

// Colour planes of the 8-bit modes a thumbnail may have; bitmap pixels are bits, not bytes.
int32_t ThumbnailColourPlanes(int16_t mode) {
    if (mode == kModeBitmap) return 0;
    const ImageModeInfo* info = FindImageMode(mode);
    if (!info || info->bytesPerSample != 1) return 0;
    return info->colourPlanes;
}

// ---- The way without a host: the scaled pixels as a 32-bit bitmap over the port's back colour.

uint8_t Channel(COLORREF colour, int shift) { return static_cast<uint8_t>((colour >> shift) & 0xFF); }

// One pixel as red, green and blue: grey modes show their one plane, RGB its three, CMYK its
// inks subtracted from white; any other mode its first plane as grey.
void PixelToRgb(int16_t mode, const uint8_t* pixel, uint8_t rgb[3]) {
    switch (mode) {
        case kModeRGBColor:
            rgb[0] = pixel[0], rgb[1] = pixel[1], rgb[2] = pixel[2];
            return;
        case kModeCMYKColor: {
            // The host's CMYK bytes are inverted ink: 255 is no ink.
            for (int i = 0; i < 3; ++i) rgb[i] = static_cast<uint8_t>((pixel[i] * pixel[3] + 127) / 255);
            return;
        }
        default:
            rgb[0] = rgb[1] = rgb[2] = pixel[0];
            return;
    }
}

uint8_t Blend(uint8_t over, uint8_t under, uint8_t coverage) {
    return static_cast<uint8_t>((over * coverage + under * (255 - coverage) + 127) / 255);
}

ErrorCode ShowWithoutHost(DrawingPort& port, const ThumbnailLayout& layout, const uint8_t* scaled, const Rect16& at) {
    const int32_t width = RectWidth(at), height = RectHeight(at);
    std::vector<uint32_t> bits(size_t(width) * size_t(height));
    const uint8_t back[3] = {Channel(port.backColor, 0), Channel(port.backColor, 8), Channel(port.backColor, 16)};
    for (size_t n = 0; n < bits.size(); ++n) {
        const uint8_t* pixel = scaled + n * size_t(layout.planes);
        uint8_t rgb[3];
        PixelToRgb(layout.imageMode, pixel, rgb);
        if (layout.HasMask()) {
            const uint8_t coverage = pixel[layout.colourPlanes];
            for (int i = 0; i < 3; ++i) rgb[i] = Blend(rgb[i], back[i], coverage);
        }
        bits[n] = (uint32_t{rgb[0]} << 16) | (uint32_t{rgb[1]} << 8) | rgb[2];
    }
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    PortDC dc(port);
    if (!dc) return Err::MemoryFull;
    const int drawn = SetDIBitsToDevice(dc.Get(), at.left, at.top, DWORD(width), DWORD(height), 0, 0, 0,
                                        UINT(height), bits.data(), &info, DIB_RGB_COLORS);
    return drawn == 0 ? Err::MemoryFull : Err::None;
}

// Draws checked pixels fitted into destination; false when nothing could be drawn.
bool DrawChecked(DisplayPixelsProc display, DrawingPort& port, const Rect16& destination, const ThumbnailLayout& layout,
                 const uint8_t* pixels, uint32_t flags) {
    Rect16 fitted{0, 0, ClampToInt16(layout.height), ClampToInt16(layout.width)};
    FitRectProportionally(fitted, destination);
    fitted = IntersectRects(fitted, destination);
    if (IsEmptyRect(fitted)) return false;
    const int32_t width = RectWidth(fitted), height = RectHeight(fitted);

    // Sized by the destination, which holds the fitted rectangle: a thumbnail drawn into the same
    // place again allocates nothing.
    BufferRecord& scratch = ScratchBuffer();
    const int64_t needed = int64_t{ClampedHeight(destination)} * ClampedWidth(destination) * layout.planes;
    THROW_IF_ERROR(scratch.Allocate(needed));
    const LockedBuffer locked(scratch);
    if (!locked) return false;
    auto* scaled = locked.As<uint8_t>();
    ScaleThumbnail(layout, pixels, width, height, scaled, flags);

    PixelMask mask{nullptr, scaled + layout.colourPlanes, width * layout.planes, layout.planes, kMaskPlaneBytes};
    PixelMap map{};
    map.version = kPixelMapVersionWithMasks;
    map.bounds = Rect32{fitted.top, fitted.left, fitted.bottom, fitted.right};
    map.imageMode = layout.imageMode;
    map.rowBytes = width * layout.planes;
    map.colBytes = layout.planes;
    map.planeBytes = 1;
    map.baseAddr = scaled;
    map.masks = layout.HasMask() ? &mask : nullptr;
    ErrorCode shown = port.window
                          ? DisplayPixelMap(display, map, map.bounds, fitted.top, fitted.left, port.window, port.clipRgn.Get())
                          : kNoDisplayProcedure;
    if (shown == kNoDisplayProcedure) shown = ShowWithoutHost(port, layout, scaled, fitted);
    return shown == Err::None;
}

}  // namespace

// ---- The header

ThumbnailHeader ThumbnailHeader::Read(const uint8_t* bytes) {
    ThumbnailHeader header;
    header.imageMode = BigEndian::ReadI16(bytes + PictureHeader::kImageMode);
    header.planes = BigEndian::Read16(bytes + PictureHeader::kChannels);
    header.pixelStep = BigEndian::Read32(bytes + PictureHeader::kBytesPerPixel);
    header.rowBytes = BigEndian::Read32(bytes + PictureHeader::kRowBytes);
    header.bounds = PictureHeader::ReadRect(bytes);
    return header;
}

void ThumbnailHeader::Write(uint8_t* bytes) const {
    BigEndian::WriteI16(bytes + PictureHeader::kImageMode, imageMode);
    BigEndian::Write16(bytes + PictureHeader::kChannels, planes);
    BigEndian::Write32(bytes + PictureHeader::kBytesPerPixel, pixelStep);
    BigEndian::Write32(bytes + PictureHeader::kRowBytes, rowBytes);
    PictureHeader::WriteRect(bytes, bounds);
}

bool DescribeThumbnail(const ThumbnailHeader& header, uint64_t pixelBytes, ThumbnailLayout& layout) {
    const int32_t colourPlanes = ThumbnailColourPlanes(header.imageMode);
    const int32_t planes = header.planes;
    const int32_t width = RectWidth(header.bounds), height = RectHeight(header.bounds);
    // The mode's colour planes must all be there: displayPixels reads them from every pixel.
    if (colourPlanes < 1 || planes < colourPlanes || planes > kMaxThumbnailPlanes) return false;
    if (width < 1 || height < 1) return false;
    const uint64_t step = header.pixelStep, rowBytes = header.rowBytes;
    if (step < uint64_t(planes) || step > INT32_MAX || rowBytes > INT32_MAX) return false;
    // Each row holds its pixels, the last one only its planes.
    const uint64_t rowSpan = uint64_t(width - 1) * step + uint64_t(planes);
    if (rowBytes < rowSpan) return false;
    if (uint64_t(height - 1) * rowBytes + rowSpan > pixelBytes) return false;
    layout.imageMode = header.imageMode;
    layout.width = width;
    layout.height = height;
    layout.planes = planes;
    layout.colourPlanes = colourPlanes;
    layout.pixelStep = static_cast<int32_t>(step);
    layout.rowBytes = static_cast<int32_t>(rowBytes);
    return true;
}

// ---- Scaling

void ScaleThumbnail(const ThumbnailLayout& layout, const uint8_t* pixels, int32_t width, int32_t height, uint8_t* out,
                    uint32_t flags) {
    const double stepX = SamplingStep(layout.width, width);
    const double stepY = SamplingStep(layout.height, height);
    const size_t planes = size_t(layout.planes);
    for (int32_t j = 0; j < height; ++j) {
        const int32_t sourceRow = std::clamp(RoundToInt(j * stepY), 0, layout.height - 1);
        const uint8_t* row = pixels + int64_t{sourceRow} * layout.rowBytes;
        double position = 0.0;
        for (int32_t i = 0; i < width; ++i, position += stepX) {
            const int32_t column = std::clamp(RoundToInt(position), 0, layout.width - 1);
            std::memcpy(out, row + int64_t{column} * layout.pixelStep, planes);
            out += planes;
        }
    }
    if (flags & ThumbnailFlags::kInvert) {
        out -= size_t(width) * size_t(height) * planes;
        for (size_t n = 0, count = size_t(width) * size_t(height) * planes; n < count; ++n)
            out[n] = static_cast<uint8_t>(255 - out[n]);
    }
}

// ---- Drawing

bool DrawThumbnail(DisplayPixelsProc display, DrawingPort& port, const Rect16& destination, const uint8_t* header,
                   BufferRecord* pixels, uint32_t flags) {
    if (!header || !pixels || pixels->size == 0) return false;
    ThumbnailLayout layout;
    if (!DescribeThumbnail(ThumbnailHeader::Read(header), pixels->size, layout)) return false;
    const LockedBuffer locked(*pixels);
    if (!locked) return false;
    return DrawChecked(display, port, destination, layout, locked.As<const uint8_t>(), flags);
}

bool DrawThumbnail(DisplayPixelsProc display, DrawingPort& port, const Rect16& destination, const uint8_t* blob,
                   uint64_t blobSize, uint32_t flags) {
    if (!blob || blobSize <= kThumbnailHeaderLength) return false;
    ThumbnailLayout layout;
    if (!DescribeThumbnail(ThumbnailHeader::Read(blob), blobSize - kThumbnailHeaderLength, layout)) return false;
    return DrawChecked(display, port, destination, layout, blob + kThumbnailHeaderLength, flags);
}

bool DrawThumbnailFrame(DisplayPixelsProc display, MorvaneDialog& dialog, int16_t /*item*/, const uint8_t* header,
                        BufferRecord* pixels, bool invert) {
    constexpr int16_t kPictureItem = 1;
    DrawingPort& port = dialog.Port();
    Rect16 rect = dialog.GetItemRect(kPictureItem);
    PortColorState colours(port, port.backColor, port.foreColor);
    FrameRect(port, rect);
    rect = Rect16{ClampToInt16(rect.top + 1), ClampToInt16(rect.left + 1), ClampToInt16(rect.bottom - 1),
                  ClampToInt16(rect.right - 1)};
    dialog.SetForeColor(port.backColor);
    PaintRect(port, rect);
    return DrawThumbnail(display, port, rect, header, pixels, invert ? ThumbnailFlags::kInvert : 0);
}

uint64_t ThumbnailScratchSize() { return ScratchBuffer().size; }

// ---- The photo's thumbnail

namespace {

constexpr Fixed16 kRateOne = 0x10000;
// A margin of pixels on every side of the photo's buffer.
constexpr int32_t kPhotoMargin = 4;

int32_t FloorDivide(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int32_t CeilDivide(int32_t a, int32_t b) { return -FloorDivide(-a, b); }

// A 16-bit host sample (0..32768) as a byte.
uint8_t SampleToByte(uint16_t sample) { return static_cast<uint8_t>((uint32_t{sample} * 65535u) >> 23); }

Fixed16 ScaledRate(Fixed16 rate, int32_t factor) {
    const int64_t base = rate < kRateOne ? kRateOne : rate;
    return static_cast<Fixed16>(std::min<int64_t>(base * factor, INT32_MAX));
}

}  // namespace

int32_t PhotoSamplingFactor(const Rect16& bounds) {
    const int32_t need = std::max(CeilDivide(ClampedHeight(bounds), kPhotoThumbnailSide),
                                  CeilDivide(ClampedWidth(bounds), kPhotoThumbnailSide));
    int32_t factor = 1;
    while (factor < need) factor *= 2;
    return factor;
}

Rect16 SampledBounds(const Rect16& bounds, int32_t factor) {
    factor = std::max(factor, 1);
    return Rect16{ClampToInt16(CeilDivide(bounds.top, factor)), ClampToInt16(CeilDivide(bounds.left, factor)),
                  ClampToInt16(FloorDivide(bounds.bottom, factor)), ClampToInt16(FloorDivide(bounds.right, factor))};
}

bool RenderThumbnailBuffer(HostCall& call, PhotoThumbnail& thumbnail) {
    FilterRecord* record = call.record;
    if (!record) return false;
    // A host that says nothing of the layer's planes gives the image's own.
    int32_t planes = int32_t{record->inLayerPlanes} + record->inTransparencyMask;
    if (record->inLayerPlanes <= 0) planes = record->planes;
    const int32_t bytesPerSample = call.bytesPerSample;
    if (planes < 1 || planes > kMaxThumbnailPlanes || (bytesPerSample != 1 && bytesPerSample != 2)) return false;

    const int32_t factor = PhotoSamplingFactor(record->filterRect);
    const Rect16 sampled = SampledBounds(record->filterRect, factor);
    if (IsEmptyRect(sampled)) return false;
    const int32_t width = RectWidth(sampled), height = RectHeight(sampled);
    const int64_t bufferSize = int64_t{height + 2 * kPhotoMargin} * (width + 2 * kPhotoMargin) * planes;
    THROW_IF_ERROR(thumbnail.pixels.Allocate(bufferSize));

    const RequestGuard kept(*record, HostRequest::kRects | HostRequest::kPlanes | HostRequest::kRates);
    record->inputRate = ScaledRate(record->inputRate, factor);
    record->maskRate = ScaledRate(record->maskRate, factor);
    record->inRect = sampled;
    record->outRect = Rect16{};
    record->maskRect = Rect16{};
    record->inLoPlane = 0;
    record->inHiPlane = static_cast<int16_t>(planes - 1);
    if (AdvanceState(call) != Err::None || !record->inData) return false;
    // The host's rows may be padded: each is copied from where the host says it starts.
    const int64_t rowSamples = int64_t{width} * planes;
    if (record->inRowBytes < rowSamples * bytesPerSample) return false;
    const LockedBuffer locked(thumbnail.pixels);
    if (!locked) return false;
    auto* out = locked.As<uint8_t>();
    const auto* in = static_cast<const uint8_t*>(record->inData);
    for (int32_t y = 0; y < height; ++y, out += rowSamples) {
        const uint8_t* row = in + int64_t{y} * record->inRowBytes;
        if (bytesPerSample == 1) {
            std::memcpy(out, row, size_t(rowSamples));
            continue;
        }
        for (int64_t n = 0; n < rowSamples; ++n) {
            uint16_t sample = 0;
            std::memcpy(&sample, row + n * 2, sizeof sample);
            out[n] = SampleToByte(sample);
        }
    }
    ThumbnailHeader header;
    header.imageMode = PictureHeader::ReducedImageMode(record->imageMode);
    header.planes = static_cast<uint16_t>(planes);
    header.pixelStep = static_cast<uint32_t>(planes);
    header.rowBytes = static_cast<uint32_t>(rowSamples);
    header.bounds = sampled;
    header.Write(thumbnail.header);
    return true;
}
