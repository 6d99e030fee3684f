#include "CxImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "CxFile.h"
#include "GdiOwner.h"

namespace {

constexpr uint32_t kHeaderSize = sizeof(BITMAPINFOHEADER);
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the DIB block starts with the 40-byte header");
static_assert(sizeof(RGBQUAD) == 4, "palette entries are blue, green, red, alpha");

// A picture larger than this is refused as if memory had run out: interface artwork is small,
// and a header asking for more is corrupt rather than a picture worth a quarter gigabyte.
constexpr uint64_t kMaxPixelBytes = uint64_t{1} << 28;

constexpr char kCreateSizeError[] = "CxImage::Create : width and height must be greater than zero";
constexpr char kCreateMemoryError[] = "CxImage::Create can't allocate memory";
constexpr char kResourceError[] = "Unable to load resource!";

uint32_t NormalisedBitsPerPixel(uint32_t bits) {
    if (bits < 2) return 1;
    if (bits <= 4) return 4;
    if (bits <= 8) return 8;
    return 24;
}

// a = 0 keeps the screen, 255 takes the picture, anything between mixes them.
uint8_t Blend(uint8_t source, uint8_t screen, uint32_t alpha) {
    return static_cast<uint8_t>((source * alpha + screen * (255 - alpha)) >> 8);
}

// The device context's clip, put back exactly as it was when the drawing is done.
class SavedClip {
public:
    explicit SavedClip(HDC dc) : dc_(dc), saved_(CreateRectRgn(0, 0, 0, 0)) {
        if (saved_ && GetClipRgn(dc_, saved_.Get()) != 1) saved_.Reset();  // 0: there was none
    }
    SavedClip(const SavedClip&) = delete;
    SavedClip& operator=(const SavedClip&) = delete;
    ~SavedClip() { SelectClipRgn(dc_, saved_.Get()); }

private:
    HDC dc_;
    OwnedRgn saved_;
};

}  // namespace

CxImage::CxImage(uint32_t format) {
    info_.format = format;
    ClearHeader();
}

CxImage::~CxImage() { Destroy(); }

void CxImage::ClearHeader() {
    header_ = BITMAPINFOHEADER{};
    header_.biSize = kHeaderSize;
    header_.biPlanes = 1;
    header_.biXPelsPerMeter = kDefaultPixelsPerMetre;
    header_.biYPelsPerMeter = kDefaultPixelsPerMetre;
}

void CxImage::SetError(const char* text) {
    const size_t length = std::min(std::strlen(text), CxImageInfo::kErrorTextSize - 1);
    std::memmove(info_.lastError, text, length);
    info_.lastError[length] = '\0';
}

const RGBQUAD* CxImage::Palette() const {
    return dib_ && header_.biClrUsed ? reinterpret_cast<const RGBQUAD*>(dib_.get() + kHeaderSize) : nullptr;
}

RGBQUAD* CxImage::MutablePalette() { return const_cast<RGBQUAD*>(Palette()); }

bool CxImage::Create(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t format) {
    if (width == 0 || height == 0) {
        SetError(kCreateSizeError);
        return false;
    }
    Destroy();
    const uint32_t bits = NormalisedBitsPerPixel(bitsPerPixel);
    const uint32_t entries = bits == 24 ? 0 : (1u << bits);
    const uint64_t effectiveWidth = ((uint64_t{width} * bits + 31) / 32) * 4;
    const uint64_t pixelBytes = effectiveWidth * height;
    if (width > INT32_MAX || height > INT32_MAX || pixelBytes > kMaxPixelBytes) {
        SetError(kCreateMemoryError);
        return false;
    }
    const uint64_t blockSize = kHeaderSize + uint64_t{entries} * sizeof(RGBQUAD) + pixelBytes;
    dib_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(blockSize)]);
    if (!dib_) {
        SetError(kCreateMemoryError);
        return false;
    }
    ClearHeader();
    header_.biWidth = static_cast<LONG>(width);
    header_.biHeight = static_cast<LONG>(height);
    header_.biBitCount = static_cast<WORD>(bits);
    header_.biCompression = BI_RGB;
    header_.biSizeImage = static_cast<DWORD>(pixelBytes);
    header_.biClrUsed = entries;
    header_.biClrImportant = 0;
    info_.effectiveWidth = static_cast<uint32_t>(effectiveWidth);
    info_.format = format;
    std::memcpy(dib_.get(), &header_, kHeaderSize);
    std::memset(dib_.get() + kHeaderSize, 0, entries * sizeof(RGBQUAD));
    pixels_ = dib_.get() + kHeaderSize + entries * sizeof(RGBQUAD);
    alpha_.reset();
    return true;
}

bool CxImage::Destroy() {
    alpha_.reset();
    dib_.reset();
    pixels_ = nullptr;
    return true;
}

void CxImage::Transfer(CxImage& from) {
    if (&from == this) return;
    Destroy();
    header_ = from.header_;
    info_ = from.info_;
    dib_ = std::move(from.dib_);
    alpha_ = std::move(from.alpha_);
    pixels_ = std::exchange(from.pixels_, nullptr);
    from.ClearHeader();
    from.info_ = CxImageInfo{};
}

bool CxImage::CreateAlphaPlane() {
    const size_t bytes = static_cast<size_t>(Width()) * Height();
    alpha_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!alpha_) return false;
    std::memset(alpha_.get(), 255, bytes);
    return true;
}

bool CxImage::LoadResource(HRSRC resource, uint32_t format, HMODULE module) {
    const DWORD size = resource ? SizeofResource(module, resource) : 0;
    HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) {
        SetError(kResourceError);
        return false;
    }
    CxMemFile stream(static_cast<const uint8_t*>(bytes), size);
    return Decode(stream, format);
}

bool CxImage::Decode(CxFile& file, uint32_t format) {
    if (format != kCxFormatPNG) {
        SetError("Unsupported image format");
        return false;
    }
    auto decoder = std::unique_ptr<CxImagePNG>(new (std::nothrow) CxImagePNG());
    if (!decoder) {
        SetError(kCreateMemoryError);
        return false;
    }
    decoder->TakeInfo(info_);
    if (!decoder->Decode(file)) {
        SetError(decoder->LastError());
        return false;
    }
    Transfer(*decoder);
    return true;
}

void CxImage::SetGrayPalette() {
    RGBQUAD* palette = MutablePalette();
    const uint32_t entries = header_.biClrUsed;
    if (!palette || entries < 2) return;
    for (uint32_t i = 0; i < entries; ++i) {
        const auto grey = static_cast<BYTE>(i * (255 / (entries - 1)));
        palette[i] = RGBQUAD{grey, grey, grey, 0};
    }
    info_.lastColorValid = false;
}

uint8_t CxImage::GetPixelIndex(int32_t x, int32_t y) const {
    if (!pixels_ || header_.biClrUsed == 0) return 0;
    if (x < 0 || y < 0 || static_cast<uint32_t>(x) >= Width() || static_cast<uint32_t>(y) >= Height()) {
        if (info_.transparentIndex >= 0) return static_cast<uint8_t>(info_.transparentIndex);
        x = 0;
        y = 0;
    }
    const uint8_t* row = pixels_ + static_cast<size_t>(y) * info_.effectiveWidth;
    switch (header_.biBitCount) {
    case 8: return row[x];
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

RGBQUAD CxImage::SourceColor(uint32_t x, uint32_t yFromBottom, uint8_t* index) const {
    if (header_.biClrUsed) {
        *index = GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(yFromBottom));
        return *index < header_.biClrUsed ? Palette()[*index] : RGBQUAD{};
    }
    const uint8_t* pixel = pixels_ + static_cast<size_t>(yFromBottom) * info_.effectiveWidth + size_t{x} * 3;
    return RGBQUAD{pixel[0], pixel[1], pixel[2], 0};
}

RGBQUAD CxImage::GetPixelColor(int32_t x, int32_t y) const {
    if (!pixels_ || x < 0 || y < 0 || static_cast<uint32_t>(x) >= Width() || static_cast<uint32_t>(y) >= Height())
        return RGBQUAD{};
    uint8_t index = 0;
    RGBQUAD color = SourceColor(static_cast<uint32_t>(x), static_cast<uint32_t>(y), &index);
    color.rgbReserved = alpha_ ? alpha_[static_cast<size_t>(y) * Width() + static_cast<uint32_t>(x)] : 255;
    return color;
}

int CxImage::Draw(HDC dc, int32_t x, int32_t y, int32_t cx, int32_t cy, const RECT* clip, bool /*smooth*/) {
    if (!pixels_ || !dc || cx == 0 || cy == 0 || !info_.painting) return 0;
    if (cx < 0) cx = static_cast<int32_t>(Width());
    if (cy < 0) cy = static_cast<int32_t>(Height());

    const bool transparent = info_.transparentIndex != -1;
    const bool blends = transparent || alpha_ || info_.alphaPaletteEnabled;

    // The caller's clip comes back exactly as it was, whatever shape it had.
    std::unique_ptr<SavedClip> savedClip;
    if (clip) {
        savedClip = std::make_unique<SavedClip>(dc);
        OwnedRgn clipRgn(CreateRectRgnIndirect(clip));
        if (clipRgn) ExtSelectClipRgn(dc, clipRgn.Get(), RGN_AND);
    }
    RECT clipBox{};
    const int clipKind = GetClipBox(dc, &clipBox);
    const RECT target{x, y, x + cx, y + cy};
    RECT paint{};
    if (clipKind == ERROR || clipKind == NULLREGION || !IntersectRect(&paint, &target, &clipBox)) return 1;

    const uint32_t width = Width();
    const uint32_t height = Height();
    const bool ownSize = static_cast<uint32_t>(cx) == width && static_cast<uint32_t>(cy) == height;

    if (!blends && ownSize) {
        // One call, straight from the DIB block: the clip does the rest.
        SetStretchBltMode(dc, COLORONCOLOR);
        SetDIBitsToDevice(dc, x, y, width, height, 0, 0, 0, height, pixels_,
                          reinterpret_cast<const BITMAPINFO*>(dib_.get()), DIB_RGB_COLORS);
        return 1;
    }

    // The visible part goes through a 24-bit section: sampled, and blended over the screen.
    const int32_t paintWidth = paint.right - paint.left;
    const int32_t paintHeight = paint.bottom - paint.top;
    BITMAPINFO sectionInfo{};
    sectionInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    sectionInfo.bmiHeader.biWidth = paintWidth;
    sectionInfo.bmiHeader.biHeight = paintHeight;
    sectionInfo.bmiHeader.biPlanes = 1;
    sectionInfo.bmiHeader.biBitCount = 24;
    sectionInfo.bmiHeader.biCompression = BI_RGB;
    void* sectionBits = nullptr;
    OwnedBitmap section(CreateDIBSection(dc, &sectionInfo, DIB_RGB_COLORS, &sectionBits, nullptr, 0));
    OwnedMemoryDC memory(CreateCompatibleDC(dc));
    if (!section || !sectionBits || !memory) return 0;
    const HGDIOBJ previous = SelectObject(memory.Get(), section.Get());
    if (blends) BitBlt(memory.Get(), 0, 0, paintWidth, paintHeight, dc, paint.left, paint.top, SRCCOPY);
    GdiFlush();

    RGBQUAD transparentColor = info_.transparentColor;
    if (header_.biClrUsed && transparent && static_cast<uint32_t>(info_.transparentIndex) < header_.biClrUsed)
        transparentColor = Palette()[info_.transparentIndex];
    const float fx = static_cast<float>(width) / static_cast<float>(cx);
    const float fy = static_cast<float>(height) / static_cast<float>(cy);
    const size_t sectionStride = ((static_cast<size_t>(paintWidth) * 3 + 3) / 4) * 4;
    auto* sectionRows = static_cast<uint8_t*>(sectionBits);

    for (int32_t k = 0; k < paintHeight; ++k) {
        int64_t sourceRow = ownSize ? int64_t{height} - (paint.bottom - y) + k
                                    : static_cast<int64_t>(std::floor(height - (paint.bottom - y - k) * fy));
        sourceRow = std::clamp<int64_t>(sourceRow, 0, int64_t{height} - 1);
        uint8_t* out = sectionRows + static_cast<size_t>(k) * sectionStride;
        for (int32_t i = 0; i < paintWidth; ++i, out += 3) {
            int64_t sourceColumn = ownSize ? int64_t{paint.left} - x + i
                                           : static_cast<int64_t>(std::floor((paint.left - x + i) * fx));
            sourceColumn = std::clamp<int64_t>(sourceColumn, 0, int64_t{width} - 1);
            const auto sx = static_cast<uint32_t>(sourceColumn);
            const auto sy = static_cast<uint32_t>(sourceRow);
            uint8_t index = 0;
            const RGBQUAD color = SourceColor(sx, sy, &index);
            if (!blends) {
                out[0] = color.rgbBlue;
                out[1] = color.rgbGreen;
                out[2] = color.rgbRed;
                continue;
            }
            const uint32_t plane = alpha_ ? alpha_[static_cast<size_t>(sy) * width + sx] : 255;
            uint32_t alpha = ((info_.maxOpacity + 1u) * plane) >> 8;
            if (header_.biClrUsed && info_.alphaPaletteEnabled) alpha = ((color.rgbReserved + 1u) * alpha) >> 8;
            if (transparent) {
                const bool isTransparent =
                    header_.biClrUsed ? index == info_.transparentIndex
                                      : (color.rgbBlue == transparentColor.rgbBlue &&
                                         color.rgbGreen == transparentColor.rgbGreen &&
                                         color.rgbRed == transparentColor.rgbRed);
                if (isTransparent) continue;
            }
            if (alpha == 0) continue;
            if (alpha >= 255) {
                out[0] = color.rgbBlue;
                out[1] = color.rgbGreen;
                out[2] = color.rgbRed;
                continue;
            }
            out[0] = Blend(color.rgbBlue, out[0], alpha);
            out[1] = Blend(color.rgbGreen, out[1], alpha);
            out[2] = Blend(color.rgbRed, out[2], alpha);
        }
    }
    BitBlt(dc, paint.left, paint.top, paintWidth, paintHeight, memory.Get(), 0, 0, SRCCOPY);
    SelectObject(memory.Get(), previous);
    return 1;
}
