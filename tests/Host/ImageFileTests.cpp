// Documents to and from PNG and JPEG files, at 8 and 16 bits, and the mode conversions.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include <png.h>

#include "QuorvelHostCore/FileIO.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "TempFolder.h"

using namespace qvhost;

namespace {

std::string TempPath(const char* name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + "qvhost-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

RasterImage Gradient(int channels, int bitDepth) {
    RasterImage image;
    image.width = 37;
    image.height = 23;
    image.channels = channels;
    image.bitDepth = bitDepth;
    const uint32_t full = bitDepth == 16 ? 65535 : 255;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x)
            for (int c = 0; c < channels; ++c)
                image.samples.push_back(static_cast<uint16_t>((x * 977 + y * 3181 + c * 20011) % (full + 1)));
    return image;
}

TEST(Depths, EightBitValuesWidenAsThePlugInExpects) {
    EXPECT_EQ(Widen8To16(0), 0);
    EXPECT_EQ(Widen8To16(255), 32768);
    EXPECT_EQ(Widen8To16(128), (128 * 32897) >> 8);
    EXPECT_EQ(HostToFile16(32768), 65535);
    for (uint32_t v = 0; v <= 32768; ++v) ASSERT_EQ(FileToHost16(HostToFile16(static_cast<uint16_t>(v))), v);
    for (uint32_t v = 0; v <= 255; ++v) ASSERT_EQ(Narrow16To8(Widen8To16(static_cast<uint16_t>(v))), v);
}

TEST(ImageFiles, PngKeepsEveryDocumentSampleAtEightAndSixteenBits) {
    const std::string path = TempPath("round.png");
    for (const ImageMode mode : {ImageMode{ColorMode::Gray, 8}, ImageMode{ColorMode::RGB, 8},
                                 ImageMode{ColorMode::Gray, 16}, ImageMode{ColorMode::RGB, 16}}) {
        const Document document = Document::FromImage(Gradient(mode.Planes(), mode.depth), mode);
        std::string error;
        ASSERT_TRUE(WriteImageFile(path, document.ToImage(), error)) << error;
        RasterImage read;
        ASSERT_TRUE(ReadImageFile(path, read, error)) << error;
        EXPECT_EQ(read.bitDepth, mode.depth);
        EXPECT_EQ(Document::FromImage(read, mode), document) << mode.Name();
    }
    DeleteFileA(path.c_str());
}

void AppendToBytes(png_structp png, png_bytep data, size_t length) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + length);
}

// The picture as an Adam7-interlaced PNG, which the host itself never writes; false when libpng
// fails. Only plain data lives across the setjmp.
bool EncodeInterlacedPng(const RasterImage* image, std::vector<uint8_t>* bytes, std::vector<png_byte>* rows,
                         std::vector<png_bytep>* pointers) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, bytes, AppendToBytes, nullptr);
    png_set_IHDR(png, info, image->width, image->height, image->bitDepth,
                 image->channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t bytesPerSample = image->bitDepth / 8;
    for (size_t i = 0; i < image->samples.size(); ++i) {
        if (bytesPerSample == 2) rows->push_back(static_cast<png_byte>(image->samples[i] >> 8));
        rows->push_back(static_cast<png_byte>(image->samples[i]));
    }
    const size_t rowBytes = static_cast<size_t>(image->width) * image->channels * bytesPerSample;
    for (int32_t y = 0; y < image->height; ++y) pointers->push_back(rows->data() + y * rowBytes);
    png_write_image(png, pointers->data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// An interlaced picture's rows are built up over seven passes: read as a plain one, it came out
// scrambled.
TEST(ImageFiles, InterlacedPngReadsLikeAPlainOne) {
    TempFolder folder;
    const std::string path = folder / "interlaced.png";
    for (const int channels : {1, 3}) {
        for (const int depth : {8, 16}) {
            SCOPED_TRACE(std::to_string(channels) + " channel(s) of " + std::to_string(depth) + " bits");
            const RasterImage picture = Gradient(channels, depth);
            std::vector<uint8_t> bytes;
            std::vector<png_byte> rows;
            std::vector<png_bytep> pointers;
            ASSERT_TRUE(EncodeInterlacedPng(&picture, &bytes, &rows, &pointers));
            ASSERT_TRUE(WriteWholeFile(path, bytes));
            RasterImage read;
            std::string error;
            ASSERT_TRUE(ReadImageFile(path, read, error)) << error;
            EXPECT_EQ(read.width, picture.width);
            EXPECT_EQ(read.height, picture.height);
            EXPECT_EQ(read.bitDepth, depth);
            EXPECT_EQ(read.samples, picture.samples);
        }
    }
}

TEST(ImageFiles, JpegComesBackCloseAndSixteenBitsAreNarrowed) {
    const std::string path = TempPath("round.jpg");
    RasterImage smooth;
    smooth.width = 64;
    smooth.height = 32;
    smooth.channels = 3;
    smooth.bitDepth = 16;
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c) smooth.samples.push_back(static_cast<uint16_t>(x * 700 + c * 9000));
    std::string error;
    ASSERT_TRUE(WriteImageFile(path, smooth, error)) << error;
    RasterImage read;
    ASSERT_TRUE(ReadImageFile(path, read, error)) << error;
    ASSERT_EQ(read.bitDepth, 8);
    ASSERT_EQ(read.samples.size(), smooth.samples.size());
    double difference = 0;
    for (size_t i = 0; i < read.samples.size(); ++i)
        difference += std::abs(int{read.samples[i]} - int{smooth.samples[i] * 255 / 65535});
    EXPECT_LT(difference / read.samples.size(), 3.0);
    DeleteFileA(path.c_str());
}

TEST(ImageFiles, ConvertsToGrayAndCmykAndBack) {
    RasterImage rgb = Gradient(3, 8);
    const Document cmyk = Document::FromImage(rgb, {ColorMode::CMYK, 8});
    const RasterImage back = cmyk.ToImage();
    ASSERT_EQ(back.samples.size(), rgb.samples.size());
    for (size_t i = 0; i < rgb.samples.size(); ++i) ASSERT_NEAR(back.samples[i], rgb.samples[i], 1) << i;
    // White is no ink at all; gray weighs green most.
    RasterImage pixel{1, 1, 3, 8, {255, 255, 255}};
    const Document white = Document::FromImage(pixel, {ColorMode::CMYK, 16});
    for (int p = 0; p < 4; ++p) EXPECT_EQ(white.Sample(p, 0, 0), 32768);
    pixel.samples = {0, 255, 0};
    EXPECT_GT(Document::FromImage(pixel, {ColorMode::Gray, 8}).Sample(0, 0, 0), 140);
}

// The offset of the first JPEG marker of this kind (0xFF followed by code), or the file's size.
size_t MarkerOffset(const std::vector<uint8_t>& bytes, uint8_t code) {
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == code) return i;
    return bytes.size();
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& bytes, size_t length) {
    return {bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min(length, bytes.size()))};
}

// Every damaged or foreign file is refused with a reason and the file's name, never read as a
// picture: a truncated JPEG must not come out as a grey rest of the picture.
TEST(ImageFiles, RefusesDamagedAndForeignFilesWithAMessage) {
    TempFolder folder;
    const std::string png = folder / "good.png", jpeg = folder / "good.jpg", bad = folder / "bad file.img";
    std::string error;
    ASSERT_TRUE(WriteImageFile(png, Gradient(3, 8), error)) << error;
    RasterImage noisy = Gradient(3, 8);
    for (size_t i = 0; i < noisy.samples.size(); ++i) noisy.samples[i] = static_cast<uint16_t>((i * 7919) % 256);
    ASSERT_TRUE(WriteImageFile(jpeg, noisy, error)) << error;
    std::vector<uint8_t> pngBytes, jpegBytes;
    ASSERT_TRUE(ReadWholeFile(png, pngBytes));
    ASSERT_TRUE(ReadWholeFile(jpeg, jpegBytes));
    constexpr uint8_t kStartOfScan = 0xDA, kEndOfImage = 0xD9, kRestart3 = 0xD3;
    const size_t scan = MarkerOffset(jpegBytes, kStartOfScan);
    ASSERT_LT(scan + 200, jpegBytes.size());
    ASSERT_EQ(MarkerOffset(jpegBytes, kEndOfImage), jpegBytes.size() - 2);
    const size_t scanData = scan + 2 + ((size_t{jpegBytes[scan + 2]} << 8) | jpegBytes[scan + 3]);
    std::vector<uint8_t> wrongMarker = jpegBytes;
    const size_t middle = (scanData + jpegBytes.size()) / 2;
    wrongMarker[middle] = 0xFF;  // a restart marker where the image has no restart intervals
    wrongMarker[middle + 1] = kRestart3;
    std::vector<uint8_t> garbageAfterHeader = Prefix(jpegBytes, scanData);
    for (int i = 0; i < 300; ++i) garbageAfterHeader.push_back(static_cast<uint8_t>(i * 37 + 11));

    struct Case {
        const char* name;
        std::vector<uint8_t> content;
        const char* reason;  // a word of the message
    };
    const Case cases[] = {
        {"PNG cut in half", Prefix(pngBytes, pngBytes.size() / 2), "PNG decoding failed"},
        {"PNG cut in its header", Prefix(pngBytes, 40), "PNG decoding failed"},
        {"PNG without its end chunk", Prefix(pngBytes, pngBytes.size() - 12), "PNG decoding failed"},
        {"JPEG of its start marker alone", Prefix(jpegBytes, 2), "not a PNG or JPEG"},
        {"JPEG cut in its first segment", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}, "JPEG decoding failed"},
        {"JPEG cut in its tables", Prefix(jpegBytes, scan / 2), "JPEG decoding failed"},
        {"JPEG cut after its scan header", Prefix(jpegBytes, scanData), "JPEG decoding failed"},
        {"JPEG cut early in its scan", Prefix(jpegBytes, scanData + 16), "JPEG decoding failed"},
        {"JPEG cut in the middle of its scan", Prefix(jpegBytes, middle), "JPEG decoding failed"},
        {"JPEG without its end marker", Prefix(jpegBytes, jpegBytes.size() - 2), "JPEG decoding failed"},
        {"JPEG with a wrong marker in its scan", wrongMarker, "JPEG decoding failed"},
        {"JPEG with garbage for its scan", garbageAfterHeader, "JPEG decoding failed"},
        {"GIF", {'G', 'I', 'F', '8', '9', 'a'}, "not a PNG or JPEG"},
        {"garbage", std::vector<uint8_t>(500, 0x5A), "not a PNG or JPEG"},
        {"empty file", {}, "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteWholeFile(bad, c.content));
        RasterImage image;
        error.clear();
        EXPECT_FALSE(ReadImageFile(bad, image, error));
        EXPECT_NE(error.find(bad), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    // The undamaged files still read, and so does a JPEG whose only oddity is a JFIF revision
    // newer than the library knows.
    RasterImage image;
    EXPECT_TRUE(ReadImageFile(png, image, error)) << error;
    EXPECT_TRUE(ReadImageFile(jpeg, image, error)) << error;
    constexpr size_t kJfifMajorRevision = 11;  // after the start marker, APP0's header and "JFIF\0"
    std::vector<uint8_t> newerRevision = jpegBytes;
    ASSERT_EQ(std::string(newerRevision.begin() + 6, newerRevision.begin() + 10), "JFIF");
    newerRevision[kJfifMajorRevision] = 2;
    ASSERT_TRUE(WriteWholeFile(bad, newerRevision));
    EXPECT_TRUE(ReadImageFile(bad, image, error)) << error;
    error.clear();
    EXPECT_FALSE(ReadImageFile(folder / "missing.png", image, error));
    EXPECT_NE(error.find("missing.png"), std::string::npos) << error;
}

}  // namespace
