// The PNG decoder drives libpng, which reports a fatal error by a long jump back into Decode:
// between the setjmp and the library calls Decode keeps only plain data (the row buffer is a
// malloc'd pointer freed on both ways out), and the callbacks hold no object with a destructor
// when they jump. The image's own planes belong to the image and survive the jump.
#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <cmath>

#include <png.h>

#include "CxFile.h"
#include "CxImage.h"

namespace {

constexpr uint8_t kDefaultBackgroundGrey = 192;
constexpr uint32_t kInterlacedPasses = 7;
constexpr size_t kRowSlack = 10;
constexpr double kTenthMillimetresPerInch = 254.0;

int32_t DotsPerInch(png_uint_32 pixelsPerUnit, int unit) {
    double dpi = pixelsPerUnit;
    if (unit == PNG_RESOLUTION_METER) dpi = std::floor(pixelsPerUnit * kTenthMillimetresPerInch / 10000.0 + 0.5);
    // Absurd resolutions are as meaningless as none.
    if (dpi < 1 || dpi > 1e6) return CxImage::kDefaultDpi;
    return static_cast<int32_t>(dpi);
}

LONG PixelsPerMetre(int32_t dpi) { return static_cast<LONG>(std::floor(dpi * 10000.0 / kTenthMillimetresPerInch + 0.5)); }

// Widens a row of 2-bit pixels in place to 4 bits a pixel, last pixel first so that no source
// pixel is overwritten before it is read.
void WidenTwoBitRow(uint8_t* row, uint32_t width) {
    for (uint32_t x = width; x-- > 0;) {
        const uint8_t value = (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        uint8_t& target = row[x >> 1];
        target = (x & 1) ? static_cast<uint8_t>((target & 0xF0) | value) : static_cast<uint8_t>((target & 0x0F) | (value << 4));
    }
}

}  // namespace

struct CxImagePNGCallbacks {
    // Reads exactly what libpng asks for; a stream that ends early is a corrupt file.
    static void Read(png_structp png, png_bytep data, png_size_t length) {
        auto* file = static_cast<CxFile*>(png_get_io_ptr(png));
        if (!file || file->Read(data, 1, length) != length) png_error(png, "Read Error");
    }

    static void Error(png_structp png, png_const_charp message) {
        auto* image = static_cast<CxImagePNG*>(png_get_error_ptr(png));
        if (image) image->SetError(message ? message : "PNG error");
        png_longjmp(png, 1);
    }

    static void Warning(png_structp, png_const_charp) {}

};

bool CxImagePNG::Decode(CxFile& file) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, CxImagePNGCallbacks::Error,
                                             CxImagePNGCallbacks::Warning);
    if (!png) {
        SetError("Failed to create PNG structure");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        SetError("Failed to initialize PNG info structure");
        return false;
    }
    uint8_t* volatile rowBuffer = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        std::free(rowBuffer);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &file, CxImagePNGCallbacks::Read);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    const int pixelDepth = png_get_channels(png, info) * bitDepth;

    // Transparency of everything but 8-bit RGBA and 16-bit grey with alpha is composited by
    // libpng onto the file's background, else onto the interface grey.
    png_color_16p fileBackground = nullptr;
    const bool hasBackground = png_get_bKGD(png, info, &fileBackground) && fileBackground;
    if (pixelDepth != 32) {
        if (hasBackground) {
            png_set_background_fixed(png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, PNG_FP_1);
        } else {
            png_color_16 grey{};
            grey.red = grey.green = grey.blue = grey.gray = kDefaultBackgroundGrey;
            png_set_background_fixed(png, &grey, PNG_BACKGROUND_GAMMA_SCREEN, 0, PNG_FP_1);
        }
    } else if (hasBackground) {
        info_.transparentColor = RGBQUAD{static_cast<BYTE>(fileBackground->blue & 0xFF),
                                         static_cast<BYTE>(fileBackground->green & 0xFF),
                                         static_cast<BYTE>(fileBackground->red & 0xFF), 0};
    }
    png_set_strip_16(png);

    const uint32_t bits = pixelDepth == 16 ? 8 : pixelDepth < 16 ? static_cast<uint32_t>(pixelDepth) : 24;
    if (!Create(width, height, bits, kCxFormatPNG)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }

    png_uint_32 resolutionX = 0, resolutionY = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &resolutionX, &resolutionY, &unit)) {
        info_.xDpi = DotsPerInch(resolutionX, unit);
        info_.yDpi = DotsPerInch(resolutionY, unit);
        header_.biXPelsPerMeter = PixelsPerMetre(info_.xDpi);
        header_.biYPelsPerMeter = PixelsPerMetre(info_.yDpi);
    }

    const uint32_t entries = PaletteSize();
    if (RGBQUAD* palette = MutablePalette()) {
        png_colorp filePalette = nullptr;
        int fileEntries = 0;
        if (png_get_PLTE(png, info, &filePalette, &fileEntries) && filePalette && fileEntries > 0) {
            const uint32_t copied = std::min<uint32_t>(static_cast<uint32_t>(fileEntries), entries);
            for (uint32_t i = 0; i < copied; ++i)
                palette[i] = RGBQUAD{filePalette[i].blue, filePalette[i].green, filePalette[i].red, 0};
        } else if (pixelDepth == 2) {
            constexpr BYTE kTwoBitGreys[] = {0, 85, 170, 255};
            for (uint32_t i = 0; i < 4; ++i) palette[i] = RGBQUAD{kTwoBitGreys[i], kTwoBitGreys[i], kTwoBitGreys[i], 0};
        } else {
            SetGrayPalette();
        }
        info_.lastColorValid = false;

        png_bytep alphas = nullptr;
        int alphaCount = 0;
        if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_tRNS(png, info, &alphas, &alphaCount, nullptr) && alphas &&
            alphaCount > 0) {
            const uint32_t given = std::min<uint32_t>(static_cast<uint32_t>(alphaCount), entries);
            for (uint32_t i = 0; i < given; ++i) palette[i].rgbReserved = alphas[i];
            if (alphaCount == 1 && alphas[0] == 0) {
                // One fully transparent entry is a transparent index, not a translucent palette.
                info_.transparentIndex = 0;
            } else {
                info_.alphaPaletteEnabled = true;
                for (uint32_t i = given; i < entries; ++i) palette[i].rgbReserved = 255;
            }
        }
    }

    const bool greyAlphaAsColour = colorType == PNG_COLOR_TYPE_GRAY_ALPHA && pixelDepth == 32;
    const bool withAlpha = colorType == PNG_COLOR_TYPE_RGB_ALPHA || greyAlphaAsColour;
    if (greyAlphaAsColour) png_set_gray_to_rgb(png);
    if (withAlpha) {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        if (!CreateAlphaPlane()) {
            SetError("CxImage::Create can't allocate memory");
            png_destroy_read_struct(&png, &info, nullptr);
            return false;
        }
    }
    if (colorType & PNG_COLOR_MASK_COLOR) png_set_bgr(png);

    const bool interlaced = interlace != PNG_INTERLACE_NONE;
    const uint32_t passes = interlaced ? static_cast<uint32_t>(png_set_interlace_handling(png)) : 1;
    info_.pngInterlaced = interlaced ? 1 : 0;
    png_read_update_info(png, info);

    // The buffer holds what libpng delivers, and what the image row holds (a 2-bit row is
    // widened in place): whichever is longer.
    const uint32_t effectiveWidth = info_.effectiveWidth;
    size_t bufferSize = std::max<size_t>(png_get_rowbytes(png, info), effectiveWidth);
    bufferSize = std::max<size_t>(bufferSize, static_cast<size_t>((pixelDepth + 7) / 8) * width);
    if (withAlpha) bufferSize = std::max<size_t>(bufferSize, size_t{4} * width);
    rowBuffer = static_cast<uint8_t*>(std::calloc(bufferSize + kRowSlack, 1));
    if (!rowBuffer) png_error(png, "CxImage::Create can't allocate memory");

    uint8_t* const buffer = rowBuffer;
    for (uint32_t pass = 0; pass < passes; ++pass) {
        const bool keepEarlierPasses = interlaced && pass > 0;
        const bool lastPass = pass + 1 == passes;
        for (uint32_t fileRow = 0; fileRow < height; ++fileRow) {
            const uint32_t imageRow = height - 1 - fileRow;
            uint8_t* row = Row(imageRow);
            if (withAlpha) {
                uint8_t* alpha = AlphaRow(imageRow);
                if (keepEarlierPasses) {
                    for (uint32_t x = 0; x < width; ++x) {
                        std::memcpy(buffer + 4 * size_t{x}, row + 3 * size_t{x}, 3);
                        buffer[4 * size_t{x} + 3] = alpha[x];
                    }
                }
                png_read_row(png, buffer, nullptr);
                for (uint32_t x = 0; x < width; ++x) {
                    std::memcpy(row + 3 * size_t{x}, buffer + 4 * size_t{x}, 3);
                    alpha[x] = buffer[4 * size_t{x} + 3];
                }
            } else {
                if (keepEarlierPasses) std::memcpy(buffer, row, effectiveWidth);
                png_read_row(png, buffer, nullptr);
                if (pixelDepth == 2 && lastPass) WidenTwoBitRow(buffer, width);
                std::memcpy(row, buffer, effectiveWidth);
            }
        }
    }
    png_read_end(png, nullptr);
    std::free(rowBuffer);
    rowBuffer = nullptr;
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}
