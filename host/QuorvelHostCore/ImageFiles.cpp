// libpng and libjpeg report fatal errors by longjmp. Each decoder and encoder below keeps to plain
// data between its setjmp and the library calls: the picture's vectors belong to the caller's
// frame and are only resized there or before the library can jump, the callbacks the libraries
// call hold no object with a destructor when they jump, and the library's structures are
// destroyed on both ways out.
#include "ImageFiles.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

namespace qvhost {
namespace {

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    return text.size() >= length && _stricmp(text.c_str() + text.size() - length, suffix) == 0;
}

constexpr int64_t kMaxSide = 30000;  // the filter record's coordinates are 16-bit

// ---- PNG

// The reason a PNG could not be decoded or encoded, filled in before the library jumps back.
struct PngMessage {
    const char* stage;  // "decoding" or "encoding"
    char text[320] = "";
};

void PngError(png_structp png, png_const_charp message) {
    auto* out = static_cast<PngMessage*>(png_get_error_ptr(png));
    std::snprintf(out->text, sizeof out->text, "PNG %s failed: %s", out->stage, message);
    png_longjmp(png, 1);
}

// A picture the file describes well but the host does not take: the reason goes out as it is.
[[noreturn]] void PngRefuse(png_structp png, const char* reason) {
    auto* out = static_cast<PngMessage*>(png_get_error_ptr(png));
    std::snprintf(out->text, sizeof out->text, "%s", reason);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// libpng's own reader says only "Read Error" when the file ends early.
void PngReadFromFile(png_structp png, png_bytep data, size_t length) {
    FILE* file = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, file) == length) return;
    png_error(png, std::ferror(file) ? "the file could not be read" : "the file ends before the picture does");
}

void PngWriteToSink(png_structp png, png_bytep data, size_t length) {
    if (!static_cast<OutputSink*>(png_get_io_ptr(png))->Write(data, length)) png_error(png, "the file could not be written");
}

void PngFlushNothing(png_structp) {}

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
    png_set_read_fn(png, file, PngReadFromFile);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
        PngRefuse(png, "the picture is larger than 30000 pixels a side");
    png_set_expand(png);       // palette, low-bit gray and tRNS to plain samples
    png_set_strip_alpha(png);  // the document has no transparency
    const int passes = png_set_interlace_handling(png);  // Adam7 rows come whole from the last pass
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    const int depth = png_get_bit_depth(png, info);
    if ((channels != 1 && channels != 3) || (depth != 8 && depth != 16)) PngRefuse(png, "unsupported sample layout");
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->channels = channels;
    image->bitDepth = depth;
    image->samples.resize(static_cast<size_t>(width) * height * channels);
    // Each pass of an interlaced picture adds pixels to rows the earlier passes began, so all its
    // rows are kept; a plain picture needs one row at a time.
    const size_t rowBytes = png_get_rowbytes(png, info);
    const bool interlaced = passes > 1;
    row->resize(rowBytes * (interlaced ? size_t{height} : 1));
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            const png_bytep in = row->data() + (interlaced ? y * rowBytes : 0);
            png_read_row(png, in, nullptr);
            if (pass + 1 < passes) continue;
            uint16_t* out = image->samples.data() + static_cast<size_t>(y) * width * channels;
            for (size_t i = 0; i < size_t{width} * channels; ++i)
                out[i] = depth == 16 ? static_cast<uint16_t>((in[2 * i] << 8) | in[2 * i + 1]) : in[i];
        }
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
}

const char* EncodePng(OutputSink* sink, const RasterImage* image, PngMessage* message, std::vector<png_byte>* row) {
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
    png_set_write_fn(png, sink, PngWriteToSink, PngFlushNothing);
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
    jpeg_error_mgr manager;  // first: the library sees only this
    jmp_buf jump;
    char text[JMSG_LENGTH_MAX + 64];
};

void JpegFail(j_common_ptr common) {
    auto* error = reinterpret_cast<JpegErrorExit*>(common->err);
    char message[JMSG_LENGTH_MAX] = "";
    common->err->format_message(common, message);
    std::snprintf(error->text, sizeof error->text, "JPEG %s failed: %s", common->is_decompressor ? "decoding" : "encoding",
                  message);
    longjmp(error->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

// libjpeg only warns about a file that ends early (it makes up an end of image, and the rest of
// the picture comes out grey) or about corrupt data it skips: read as a picture, such a file
// would be framed and saved with a part of it lost. For input every warning is therefore an
// error, but the one that only names a JFIF revision newer than the library knows.
void JpegWarningsAreErrors(j_common_ptr common, int level) {
    constexpr int kWarning = -1;
    if (level == kWarning && common->err->msg_code != JWRN_JFIF_MAJOR) common->err->error_exit(common);
}

// The library's error manager with our exit: a fatal error jumps back with its message.
jpeg_error_mgr* ErrorExitOf(JpegErrorExit* error, void (*emitMessage)(j_common_ptr, int)) {
    jpeg_error_mgr* manager = jpeg_std_error(&error->manager);
    manager->error_exit = JpegFail;
    manager->emit_message = emitMessage;
    return manager;
}

// libjpeg's destination for an OutputSink: the library fills the buffer, we hand it on.
constexpr size_t kJpegOutputBufferBytes = 4096;

struct JpegSinkDestination {
    jpeg_destination_mgr manager;  // first: the library sees only this
    OutputSink* sink;
    JOCTET buffer[kJpegOutputBufferBytes];
};

JpegSinkDestination* SinkDestinationOf(j_compress_ptr jpeg) {
    return reinterpret_cast<JpegSinkDestination*>(jpeg->dest);
}

void JpegStartOutput(j_compress_ptr jpeg) {
    JpegSinkDestination* destination = SinkDestinationOf(jpeg);
    destination->manager.next_output_byte = destination->buffer;
    destination->manager.free_in_buffer = kJpegOutputBufferBytes;
}

boolean JpegPassOnFullBuffer(j_compress_ptr jpeg) {
    JpegSinkDestination* destination = SinkDestinationOf(jpeg);
    if (!destination->sink->Write(destination->buffer, kJpegOutputBufferBytes)) ERREXIT(jpeg, JERR_FILE_WRITE);
    JpegStartOutput(jpeg);
    return TRUE;
}

void JpegPassOnRest(j_compress_ptr jpeg) {
    JpegSinkDestination* destination = SinkDestinationOf(jpeg);
    const size_t used = kJpegOutputBufferBytes - destination->manager.free_in_buffer;
    if (used > 0 && !destination->sink->Write(destination->buffer, used)) ERREXIT(jpeg, JERR_FILE_WRITE);
}

const char* DecodeJpeg(FILE* file, RasterImage* image, JpegErrorExit* error, std::vector<JSAMPLE>* row) {
    jpeg_decompress_struct jpeg{};  // zeroed: destroying it is safe whenever the library jumps
    jpeg.err = ErrorExitOf(error, JpegWarningsAreErrors);
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

const char* EncodeJpeg(OutputSink* sink, const RasterImage* image, JpegErrorExit* error, std::vector<JSAMPLE>* row) {
    jpeg_compress_struct jpeg{};  // zeroed: destroying it is safe whenever the library jumps
    JpegSinkDestination destination{};
    destination.manager.init_destination = JpegStartOutput;
    destination.manager.empty_output_buffer = JpegPassOnFullBuffer;
    destination.manager.term_destination = JpegPassOnRest;
    destination.sink = sink;
    jpeg.err = ErrorExitOf(error, JpegSilence);
    if (setjmp(error->jump)) {
        jpeg_destroy_compress(&jpeg);
        return error->text;
    }
    jpeg_create_compress(&jpeg);
    jpeg.dest = &destination.manager;
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
        error = "cannot open " + utf8Path + ": " + std::strerror(errno);
        return false;
    }
    unsigned char signature[8] = {};
    const size_t got = std::fread(signature, 1, sizeof signature, file.get());
    const bool empty = got == 0 && std::feof(file.get());
    std::rewind(file.get());
    std::string failure;
    if (got == 8 && png_sig_cmp(signature, 0, 8) == 0) {
        PngMessage message{"decoding"};
        std::vector<png_byte> row;
        if (const char* text = DecodePng(file.get(), &image, &message, &row)) failure = text;
    } else if (got >= 3 && signature[0] == 0xFF && signature[1] == 0xD8 && signature[2] == 0xFF) {
        JpegErrorExit jpegError{};
        std::vector<JSAMPLE> row;
        if (const char* text = DecodeJpeg(file.get(), &image, &jpegError, &row)) failure = text;
    } else if (empty) {
        failure = "the file is empty";
    } else {
        failure = "not a PNG or JPEG file";
    }
    if (failure.empty()) return true;
    error = "cannot read " + utf8Path + ": " + failure;
    return false;
}

ImageFileFormat OutputFormatFor(const std::string& utf8Path) {
    return EndsWithNoCase(utf8Path, ".jpg") || EndsWithNoCase(utf8Path, ".jpeg") ? ImageFileFormat::Jpeg
                                                                                   : ImageFileFormat::Png;
}

bool EncodeImage(const RasterImage& image, ImageFileFormat format, OutputSink& sink, std::string& error) {
    if (format == ImageFileFormat::Jpeg) {
        JpegErrorExit jpegError{};
        std::vector<JSAMPLE> row(static_cast<size_t>(image.width) * image.channels);
        const char* failure = EncodeJpeg(&sink, &image, &jpegError, &row);
        if (failure) error = failure;
        return failure == nullptr;
    }
    PngMessage message{"encoding"};
    std::vector<png_byte> row(static_cast<size_t>(image.width) * image.channels * (image.bitDepth / 8));
    const char* failure = EncodePng(&sink, &image, &message, &row);
    if (failure) error = failure;
    return failure == nullptr;
}

bool WriteImageFile(const std::string& utf8Path, const RasterImage& image, std::string& error) {
    const ImageFileFormat format = OutputFormatFor(utf8Path);
    return WriteOutputFile(
        utf8Path,
        [&image, format](OutputSink& sink, std::string& reason) { return EncodeImage(image, format, sink, reason); },
        error);
}

}  // namespace qvhost
