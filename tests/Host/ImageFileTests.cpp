// Documents to and from PNG and JPEG files, at 8 and 16 bits, and the mode conversions.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "QuorvelHostCore/FileIO.h"
#include "QuorvelHostCore/ImageFiles.h"

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

TEST(ImageFiles, RefusesDamagedAndForeignFilesWithAMessage) {
    const std::string good = TempPath("good.png"), bad = TempPath("bad.png");
    std::string error;
    ASSERT_TRUE(WriteImageFile(good, Gradient(3, 8), error));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(good, bytes));
    const std::vector<std::vector<uint8_t>> damaged = {
        std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(bytes.size() / 2)),
        std::vector<uint8_t>(bytes.begin(), bytes.begin() + 40),
        {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'},
        {'G', 'I', 'F', '8', '9', 'a'},
        {},
    };
    for (const std::vector<uint8_t>& content : damaged) {
        ASSERT_TRUE(WriteWholeFile(bad, content));
        RasterImage image;
        error.clear();
        EXPECT_FALSE(ReadImageFile(bad, image, error)) << content.size();
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
    RasterImage image;
    EXPECT_FALSE(ReadImageFile(TempPath("missing.png"), image, error));
    DeleteFileA(good.c_str());
    DeleteFileA(bad.c_str());
}

}  // namespace
