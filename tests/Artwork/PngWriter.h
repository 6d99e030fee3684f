// PNG files written at test time with libpng, so that every colour type, bit depth and
// interlacing the decoder accepts is checked against pixels the test chose.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <optional>
#include <vector>

struct PngSpec {
    uint32_t width = 0;
    uint32_t height = 0;
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    // Rows as libpng takes them: packed below 8 bits, big-endian 16-bit samples.
    std::vector<std::vector<uint8_t>> rows;
    std::vector<png_color> palette;
    std::vector<uint8_t> paletteAlpha;    // tRNS of a palette image
    std::optional<png_color_16> background; // bKGD
    std::optional<png_uint_32> pixelsPerUnit;
    int resolutionUnit = PNG_RESOLUTION_METER;
};

namespace png_writer_detail {
inline void Append(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
inline void Flush(png_structp) {}
}  // namespace png_writer_detail

// The file's bytes; empty when libpng refused the picture described. The output vector belongs to the caller's
// frame, so nothing with a destructor is born between the setjmp and the library calls.
inline bool WritePngInto(const PngSpec& spec, std::vector<uint8_t>& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, png_writer_detail::Append, png_writer_detail::Flush);
    png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colorType,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty())
        png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
    if (!spec.paletteAlpha.empty())
        png_set_tRNS(png, info, spec.paletteAlpha.data(), static_cast<int>(spec.paletteAlpha.size()), nullptr);
    if (spec.background) png_set_bKGD(png, info, &*spec.background);
    if (spec.pixelsPerUnit)
        png_set_pHYs(png, info, *spec.pixelsPerUnit, *spec.pixelsPerUnit, spec.resolutionUnit);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (const auto& row : spec.rows) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

inline std::vector<uint8_t> WritePng(const PngSpec& spec) {
    std::vector<uint8_t> out;
    if (!WritePngInto(spec, out)) out.clear();
    return out;
}
