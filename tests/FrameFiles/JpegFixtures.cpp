// libjpeg's compressor recovers from its errors by longjmp: Compress keeps to plain data between
// its setjmp and the library's calls, and its caller owns the vectors.
#include "JpegFixtures.h"

#include <windows.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "BigEndian.h"
#include "Utf.h"
#include "Win32Owners.h"

namespace {

struct CompressError {
    jpeg_error_mgr manager;  // first: the library sees only this
    jmp_buf recovery;
};

void Recover(j_common_ptr common) { longjmp(reinterpret_cast<CompressError*>(common->err)->recovery, 1); }
void Silence(j_common_ptr, int) {}

// Compresses into memory that libjpeg allocates (freed with free()); false when it failed.
bool Compress(const JpegImage* image, unsigned char** out, unsigned long* size, CompressError* error) {
    jpeg_compress_struct jpeg;
    std::memset(&jpeg, 0, sizeof jpeg);
    jpeg.err = jpeg_std_error(&error->manager);
    error->manager.error_exit = Recover;
    error->manager.emit_message = Silence;
    if (setjmp(error->recovery)) {
        jpeg_destroy_compress(&jpeg);
        return false;
    }
    jpeg_create_compress(&jpeg);
    jpeg_mem_dest(&jpeg, out, size);
    jpeg.image_width = static_cast<JDIMENSION>(image->width);
    jpeg.image_height = static_cast<JDIMENSION>(image->height);
    jpeg.input_components = image->components;
    jpeg.in_color_space = image->components == 1   ? JCS_GRAYSCALE
                          : image->components == 3 ? JCS_RGB
                          : image->components == 4 ? JCS_CMYK
                                                   : JCS_UNKNOWN;
    jpeg_set_defaults(&jpeg);
    if (image->components == 2) jpeg_set_colorspace(&jpeg, JCS_UNKNOWN);
    jpeg_set_quality(&jpeg, image->quality, TRUE);
    // Full-resolution colour, so that flat blocks come back exactly.
    for (int c = 0; c < jpeg.num_components; ++c) {
        jpeg.comp_info[c].h_samp_factor = 1;
        jpeg.comp_info[c].v_samp_factor = 1;
    }
    jpeg.write_JFIF_header = image->jfif && (image->components == 1 || image->components == 3);
    jpeg.density_unit = image->densityUnit;
    jpeg.X_density = image->xDensity;
    jpeg.Y_density = image->yDensity;
    jpeg_start_compress(&jpeg, TRUE);
    for (const Bytes& block : image->app13) {
        jpeg_write_marker(&jpeg, JPEG_APP0 + 13, block.data(), static_cast<unsigned>(block.size()));
    }
    const size_t rowBytes = static_cast<size_t>(image->width) * image->components;
    while (jpeg.next_scanline < jpeg.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(image->pixels.data() + jpeg.next_scanline * rowBytes);
        jpeg_write_scanlines(&jpeg, &row, 1);
    }
    jpeg_finish_compress(&jpeg);
    jpeg_destroy_compress(&jpeg);
    return true;
}

void Put32(Bytes& bytes, size_t at, uint32_t value) {
    if (bytes.size() < at + 4) bytes.resize(at + 4);
    BigEndian::Write32(bytes.data() + at, value);
}

}  // namespace

JpegImage MakeImage(int width, int height, int components,
                    const std::function<void(int x, int y, uint8_t* pixel)>& pixel) {
    JpegImage image;
    image.width = width;
    image.height = height;
    image.components = components;
    image.pixels.resize(static_cast<size_t>(width) * height * components);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixel(x, y, image.pixels.data() + (static_cast<size_t>(y) * width + x) * components);
    return image;
}

JpegImage FlatImage(int width, int height, const Bytes& colour) {
    return MakeImage(width, height, static_cast<int>(colour.size()),
                     [&colour](int, int, uint8_t* p) { std::memcpy(p, colour.data(), colour.size()); });
}

Bytes EncodeJpeg(const JpegImage& image) {
    CompressError error{};
    unsigned char* out = nullptr;
    unsigned long size = 0;
    Bytes bytes;
    if (Compress(&image, &out, &size, &error) && out) bytes.assign(out, out + size);
    std::free(out);
    return bytes;
}

Bytes ImageResource(uint16_t id, const Bytes& data, uint32_t claimedSize) {
    Bytes bytes = {'8', 'B', 'I', 'M', static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), 0, 0};
    Put32(bytes, bytes.size(), claimedSize);
    Append(bytes, data);
    if (bytes.size() % 2) bytes.push_back(0);
    return bytes;
}

Bytes ResolutionBlock(double horizontal, double vertical, uint16_t unit, uint16_t widthUnit, uint16_t heightUnit) {
    const auto fixed = [](double value) { return static_cast<uint32_t>(value * 65536.0 + 0.5); };
    Bytes data(16);
    BigEndian::Write32(data.data(), fixed(horizontal));
    BigEndian::Write16(data.data() + 4, unit);
    BigEndian::Write16(data.data() + 6, widthUnit);
    BigEndian::Write32(data.data() + 8, fixed(vertical));
    BigEndian::Write16(data.data() + 12, unit);
    BigEndian::Write16(data.data() + 14, heightUnit);
    const std::string_view name = "Photoshop 3.0";
    Bytes block(name.begin(), name.end());
    block.push_back(0);
    Append(block, ImageResource(1005, data, static_cast<uint32_t>(data.size())));
    return block;
}

Bytes MakeAfx(const Bytes& jpeg, uint32_t jpegAt, const RawThumbnailSpec* thumbnail) {
    Bytes bytes = {0x89, 'A', 'F', 'X'};
    Put32(bytes, 284, jpegAt);
    if (thumbnail) {
        Put32(bytes, 1024, thumbnail->headerSize);
        Put32(bytes, 1028, thumbnail->width);
        Put32(bytes, 1032, thumbnail->height);
        Put32(bytes, 1044, thumbnail->dataSize);
        bytes.resize(1024 + thumbnail->headerSize, 0);
        Append(bytes, thumbnail->data);
    }
    if (bytes.size() < jpegAt) bytes.resize(jpegAt, 0);
    bytes.resize(jpegAt);
    Append(bytes, jpeg);
    return bytes;
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

bool WriteBytes(const std::string& path, const Bytes& bytes) {
    const OwnedFile file(CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

Bytes ReadBytes(const std::string& path) {
    const OwnedFile file(CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    Bytes bytes;
    if (!file) return bytes;
    uint8_t chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    return bytes;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(Utf8ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
