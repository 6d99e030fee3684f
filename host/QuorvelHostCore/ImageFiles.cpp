// libpng and libjpeg report fatal errors by longjmp. Each decoder and encoder below keeps to plain
// data between its setjmp and the library calls: the picture's vectors belong to the caller's
// frame and are only resized there or before the library can jump, and the library's structures
// are destroyed on both ways out.
#include "ImageFiles.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

#include "FileIO.h"

namespace qvhost {
namespace {

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    return text.size() >= length && _stricmp(text.c_str() + text.size() - length, suffix) == 0;
}

constexpr int64_t kMaxSide = 30000;  // the filter record's coordinates are 16-bit

// ---- PNG

struct PngMessage {
    char text[256] = "";
};

void PngError(png_structp png, png_const_charp message) {
    auto* out = static_cast<PngMessage*>(png_get_error_ptr(png));
    std::snprintf(out->text, sizeof out->text, "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Returns an error text or null.
const char* DecodePng(FILE* file, RasterImage* image, PngMessage* message, std::vector<png_byte>* row) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, message, PngError, PngWarning);
    if (!png) return "out of memory";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return "out of memory";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return message->text;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
        png_error(png, "the picture is larger than 30000 pixels a side");
    png_set_expand(png);       // palette, low-bit gray and tRNS to plain samples
    png_set_strip_alpha(png);  // the document has no transparency
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    const int depth = png_get_bit_depth(png, info);
    if ((channels != 1 && channels != 3) || (depth != 8 && depth != 16)) png_error(png, "unsupported sample layout");
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->channels = channels;
    image->bitDepth = depth;
    image->samples.resize(static_cast<size_t>(width) * height * channels);
    row->resize(png_get_rowbytes(png, info));
    const png_byte* in = row->data();
    for (png_uint_32 y = 0; y < height; ++y) {
        png_read_row(png, row->data(), nullptr);
        uint16_t* out = image->samples.data() + static_cast<size_t>(y) * width * channels;
        for (size_t i = 0; i < size_t{width} * channels; ++i)
            out[i] = depth == 16 ? static_cast<uint16_t>((in[2 * i] << 8) | in[2 * i + 1]) : in[i];
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
}

const char* EncodePng(FILE* file, const RasterImage* image, PngMessage* message, std::vector<png_byte>* row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, PngError, PngWarning);
    if (!png) return "out of memory";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "out of memory";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return message->text;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, image->width, image->height, image->bitDepth,
                 image->channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t samplesPerRow = static_cast<size_t>(image->width) * image->channels;
    for (int32_t y = 0; y < image->height; ++y) {
        const uint16_t* in = image->samples.data() + y * samplesPerRow;
        for (size_t i = 0; i < samplesPerRow; ++i) {
            if (image->bitDepth == 16) {
                (*row)[2 * i] = static_cast<png_byte>(in[i] >> 8);
                (*row)[2 * i + 1] = static_cast<png_byte>(in[i]);
            } else {
                (*row)[i] = static_cast<png_byte>(in[i]);
            }
        }
        png_write_row(png, row->data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return nullptr;
}

// ---- JPEG

struct JpegErrorExit {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void JpegFail(j_common_ptr common) {
    auto* error = reinterpret_cast<JpegErrorExit*>(common->err);
    common->err->format_message(common, error->text);
    longjmp(error->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

// The library's error manager with our exit: a fatal error jumps back with its message.
jpeg_error_mgr* ErrorExitOf(JpegErrorExit* error) {
    jpeg_error_mgr* manager = jpeg_std_error(&error->manager);
    manager->error_exit = JpegFail;
    manager->emit_message = JpegSilence;
    return manager;
}

const char* DecodeJpeg(FILE* file, RasterImage* image, JpegErrorExit* error, std::vector<JSAMPLE>* row) {
    jpeg_decompress_struct jpeg;
    jpeg.err = ErrorExitOf(error);
    if (setjmp(error->jump)) {
        jpeg_destroy_decompress(&jpeg);
        return error->text;
    }
    jpeg_create_decompress(&jpeg);
    jpeg_stdio_src(&jpeg, file);
    jpeg_read_header(&jpeg, TRUE);
    if (jpeg.jpeg_color_space == JCS_CMYK || jpeg.jpeg_color_space == JCS_YCCK) {
        std::snprintf(error->text, sizeof error->text, "CMYK JPEG files are not supported");
        jpeg_destroy_decompress(&jpeg);
        return error->text;
    }
    jpeg.out_color_space = jpeg.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    if (jpeg.image_width > kMaxSide || jpeg.image_height > kMaxSide) {
        std::snprintf(error->text, sizeof error->text, "the picture is larger than 30000 pixels a side");
        jpeg_destroy_decompress(&jpeg);
        return error->text;
    }
    jpeg_start_decompress(&jpeg);
    const int channels = jpeg.output_components;
    image->width = static_cast<int32_t>(jpeg.output_width);
    image->height = static_cast<int32_t>(jpeg.output_height);
    image->channels = channels;
    image->bitDepth = 8;
    image->samples.resize(static_cast<size_t>(image->width) * image->height * channels);
    row->resize(static_cast<size_t>(image->width) * channels);
    while (jpeg.output_scanline < jpeg.output_height) {
        const size_t y = jpeg.output_scanline;
        JSAMPROW rows[1] = {row->data()};
        jpeg_read_scanlines(&jpeg, rows, 1);
        std::copy(row->begin(), row->end(), image->samples.begin() + static_cast<ptrdiff_t>(y * row->size()));
    }
    jpeg_finish_decompress(&jpeg);
    jpeg_destroy_decompress(&jpeg);
    return nullptr;
}

const char* EncodeJpeg(FILE* file, const RasterImage* image, JpegErrorExit* error, std::vector<JSAMPLE>* row) {
    jpeg_compress_struct jpeg;
    jpeg.err = ErrorExitOf(error);
    if (setjmp(error->jump)) {
        jpeg_destroy_compress(&jpeg);
        return error->text;
    }
    jpeg_create_compress(&jpeg);
    jpeg_stdio_dest(&jpeg, file);
    jpeg.image_width = static_cast<JDIMENSION>(image->width);
    jpeg.image_height = static_cast<JDIMENSION>(image->height);
    jpeg.input_components = image->channels;
    jpeg.in_color_space = image->channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&jpeg);
    jpeg_set_quality(&jpeg, 92, TRUE);
    jpeg_start_compress(&jpeg, TRUE);
    const size_t samplesPerRow = static_cast<size_t>(image->width) * image->channels;
    while (jpeg.next_scanline < jpeg.image_height) {
        const uint16_t* in = image->samples.data() + jpeg.next_scanline * samplesPerRow;
        for (size_t i = 0; i < samplesPerRow; ++i)
            (*row)[i] = static_cast<JSAMPLE>(image->bitDepth == 16 ? (uint32_t{in[i]} * 255 + 32767) / 65535 : in[i]);
        JSAMPROW rows[1] = {row->data()};
        jpeg_write_scanlines(&jpeg, rows, 1);
    }
    jpeg_finish_compress(&jpeg);
    jpeg_destroy_compress(&jpeg);
    return nullptr;
}

}  // namespace

bool ReadImageFile(const std::string& utf8Path, RasterImage& image, std::string& error) {
    UniqueFile file = OpenFile(utf8Path, L"rb");
    if (!file) {
        error = "cannot open " + utf8Path;
        return false;
    }
    unsigned char signature[8] = {};
    const size_t got = std::fread(signature, 1, sizeof signature, file.get());
    std::rewind(file.get());
    std::string failure;
    if (got == 8 && png_sig_cmp(signature, 0, 8) == 0) {
        PngMessage message;
        std::vector<png_byte> row;
        if (const char* text = DecodePng(file.get(), &image, &message, &row)) failure = text;
    } else if (got >= 3 && signature[0] == 0xFF && signature[1] == 0xD8 && signature[2] == 0xFF) {
        JpegErrorExit jpegError{};
        std::vector<JSAMPLE> row;
        if (const char* text = DecodeJpeg(file.get(), &image, &jpegError, &row)) failure = text;
    } else {
        failure = "not a PNG or JPEG file";
    }
    if (failure.empty()) return true;
    error = failure + ": " + utf8Path;
    return false;
}

bool WriteImageFile(const std::string& utf8Path, const RasterImage& image, std::string& error) {
    UniqueFile file = OpenFile(utf8Path, L"wb");
    if (!file) {
        error = "cannot create " + utf8Path;
        return false;
    }
    std::string failure;
    if (EndsWithNoCase(utf8Path, ".jpg") || EndsWithNoCase(utf8Path, ".jpeg")) {
        JpegErrorExit jpegError{};
        std::vector<JSAMPLE> row(static_cast<size_t>(image.width) * image.channels);
        if (const char* text = EncodeJpeg(file.get(), &image, &jpegError, &row)) failure = text;
    } else {
        PngMessage message;
        std::vector<png_byte> row(static_cast<size_t>(image.width) * image.channels * (image.bitDepth / 8));
        if (const char* text = EncodePng(file.get(), &image, &message, &row)) failure = text;
    }
    if (failure.empty() && std::fflush(file.get()) != 0) failure = "write failed";
    if (failure.empty()) return true;
    error = failure + ": " + utf8Path;
    return false;
}

}  // namespace qvhost
