#include "GreyJpeg.h"

#include <windows.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "Utf.h"
#include "Win32Owners.h"

namespace {

// libjpeg ends a failed compression by jumping back to the call; nothing with a destructor lives
// between the jump's target and the library's calls.
struct JpegFailure {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void JumpBack(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->jump, 1); }

// Compresses the grey image into a stream that libjpeg allocates (*stream, freed with free()).
bool Compress(const uint8_t* pixels, int width, int height, unsigned char** stream, unsigned long* size) {
    jpeg_compress_struct info{};
    JpegFailure failure{};
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = JumpBack;
    if (setjmp(failure.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, stream, size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<size_t>(info.next_scanline) * width);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

bool WriteGreyJpeg(const std::string& path, int width, int height, uint8_t grey) {
    if (width < 1 || height < 1) return false;
    const std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, grey);
    unsigned char* stream = nullptr;
    unsigned long size = 0;
    const bool compressed = Compress(pixels.data(), width, height, &stream, &size);
    const std::vector<uint8_t> bytes(stream, stream + (compressed ? size : 0));
    std::free(stream);
    if (!compressed) return false;
    const OwnedFile file(CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}
