// Decoded interface pictures: a device-independent bitmap (1, 4, 8 or 24 bits per pixel, rows
// bottom-up) with an optional 8-bit alpha plane, decoded from a PNG resource and drawn
// alpha-blended into a device context.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

class CxFile;

enum CxImageFormat : uint32_t {
    kCxFormatUnknown = 0,
    kCxFormatPNG = 2,
};

// What the image knows beside its pixels. Copied into a decoder's temporary image and back, so
// that a failed decode leaves its reason in the image that asked for it.
struct CxImageInfo {
    static constexpr size_t kErrorTextSize = 256;

    uint32_t effectiveWidth = 0;   // bytes per pixel row, padded to 32 bits
    uint32_t format = kCxFormatUnknown;
    char lastError[kErrorTextSize] = "";
    int32_t transparentIndex = -1; // -1: none
    RGBQUAD transparentColor{};    // 24-bit images: the colour that is not drawn
    uint8_t quality = 90;
    int32_t xDpi = 96;
    int32_t yDpi = 96;
    uint8_t maxOpacity = 255;
    bool alphaPaletteEnabled = false; // palette entries carry an alpha byte
    bool painting = true;
    uint32_t pngInterlaced = 0;    // the PNG codec option: 1 when the file was interlaced
    // The nearest-colour cache, invalid once the palette changes.
    COLORREF lastColor = 0;
    uint8_t lastColorIndex = 0;
    bool lastColorValid = false;
};

class CxImage {
public:
    static constexpr int32_t kDefaultDpi = 96;
    static constexpr int32_t kDefaultPixelsPerMetre = 3780;

    explicit CxImage(uint32_t format = kCxFormatUnknown);
    CxImage(const CxImage&) = delete;
    CxImage& operator=(const CxImage&) = delete;
    virtual ~CxImage();

    // A new picture of the size; bits per pixel are rounded up to 1, 4, 8 or 24. The pixels are
    // left as allocated, the palette is black. False with the reason in LastError().
    bool Create(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t format);
    bool Destroy();
    // Takes the other image's header, information and planes; the other is left empty.
    void Transfer(CxImage& from);
    // Decodes the resource's bytes; false with "Unable to load resource!" when they cannot be
    // loaded, else the decoder's answer.
    bool LoadResource(HRSRC resource, uint32_t format, HMODULE module);
    bool Decode(CxFile& file, uint32_t format);

    // Both count y from the bottom row, the order the rows are stored in.
    uint8_t GetPixelIndex(int32_t x, int32_t y) const;
    // Blue, green, red of the pixel and its alpha (255 without an alpha plane).
    RGBQUAD GetPixelColor(int32_t x, int32_t y) const;
    void SetGrayPalette();

    // Draws the picture into (x, y, x + cx, y + cy), a negative extent meaning the picture's own,
    // blending it over what the context shows when it has alpha or a transparent colour, and
    // clipped to `clip` when given. 1 when drawn, 0 when there was nothing to draw.
    int Draw(HDC dc, int32_t x, int32_t y, int32_t cx, int32_t cy, const RECT* clip, bool smooth);

    bool IsValid() const { return pixels_ != nullptr; }
    uint32_t Width() const { return header_.biWidth > 0 ? static_cast<uint32_t>(header_.biWidth) : 0; }
    uint32_t Height() const { return header_.biHeight > 0 ? static_cast<uint32_t>(header_.biHeight) : 0; }
    uint32_t BitsPerPixel() const { return header_.biBitCount; }
    uint32_t PaletteSize() const { return header_.biClrUsed; }
    const RGBQUAD* Palette() const;
    bool HasAlpha() const { return alpha_ != nullptr; }
    const BITMAPINFOHEADER& Header() const { return header_; }
    const CxImageInfo& Info() const { return info_; }
    const char* LastError() const { return info_.lastError; }

protected:
    RGBQUAD* MutablePalette();
    uint8_t* Row(uint32_t yFromBottom) { return pixels_ + static_cast<size_t>(yFromBottom) * info_.effectiveWidth; }
    uint8_t* AlphaRow(uint32_t yFromBottom) { return alpha_.get() + static_cast<size_t>(yFromBottom) * Width(); }
    // A plane of one byte per pixel, every pixel opaque; false when it cannot be allocated.
    bool CreateAlphaPlane();
    void SetError(const char* text);

    BITMAPINFOHEADER header_{};
    CxImageInfo info_;

private:
    void ClearHeader();
    // The colour the image shows at a pixel, for drawing: palette colours looked up.
    RGBQUAD SourceColor(uint32_t x, uint32_t yFromBottom, uint8_t* index) const;

    std::unique_ptr<uint8_t[]> dib_; // header, palette and pixel rows in one block
    uint8_t* pixels_ = nullptr;      // the first (bottom) pixel row, inside the block
    std::unique_ptr<uint8_t[]> alpha_; // width x height, rows bottom-up, 255 = opaque
};

// The PNG decoder: an image that can read itself from a PNG stream.
class CxImagePNG final : public CxImage {
public:
    CxImagePNG() : CxImage(kCxFormatPNG) {}
    bool Decode(CxFile& file);

    // Carries an image's information into the decoder and back.
    void TakeInfo(const CxImageInfo& info) { info_ = info; }

private:
    friend struct CxImagePNGCallbacks;
};
