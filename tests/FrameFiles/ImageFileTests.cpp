// Reading frame image files: which files are images, where their JPEG stream starts, what their
// headers say, and the pixels in the layouts callers ask for; damaged and hostile files end with a
// code, never a crash or a read outside the file.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <string>

#include "BigEndian.h"
#include "ImageFile.h"
#include "JpegFixtures.h"
#include "TempFolder.h"

namespace {

class ImageFileTest : public testing::Test {
protected:
    // Writes bytes to a file of the folder and gives its file spec.
    FileSpec Write(const std::string& name, const Bytes& bytes) {
        const std::string path = folder_ / name;
        EXPECT_TRUE(WriteBytes(path, bytes)) << path;
        return FileSpec::FromPath(path);
    }

    TempFolder folder_{"Quorvel Frame Images"};
};

// The image's pixels decoded into `wanted` (the file's own layout when null); the code in `error`.
Bytes Decode(const FileSpec& spec, const ImageInfo* wanted, int n, ErrorCode& error) {
    ImageFile file(spec, 0);
    ImageInfo layout;
    error = ReadJpegHeader(file, &layout, n, nullptr);
    if (error) return {};
    if (wanted) layout = *wanted;
    Bytes pixels(static_cast<size_t>(int64_t{layout.bytesPerRow} * layout.Height()), 0xA5);
    error = ReadJpegPixels(file, pixels.data(), &layout, n, true, nullptr);
    return pixels;
}

Bytes Stored(const ImageInfo& info) {
    Bytes bytes(ImageInfo::kSize);
    info.Store(bytes.data());
    return bytes;
}

ImageInfo Layout(uint16_t mode, uint16_t planes, uint32_t bytesPerPixel, int16_t width, int16_t height) {
    ImageInfo info;
    info.mode = mode;
    info.planes = planes;
    info.bytesPerPixel = bytesPerPixel;
    info.bytesPerRow = bytesPerPixel * static_cast<uint32_t>(width);
    info.bounds = Rect16{0, 0, height, width};
    return info;
}

void ExpectNear(const Bytes& pixels, size_t at, const Bytes& expected, int tolerance = 1) {
    ASSERT_LE(at + expected.size(), pixels.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(pixels[at + i], expected[i], tolerance) << "byte " << at + i;
}

TEST(ImageTypeLists, EachListIsOneGroupOfTheFrameFormats) {
    struct Case {
        const char* name;
        bool frame, readable, jpeg, container;
    };
    const Case cases[] = {
        {"a.frm", true, true, false, false},  {"a.FRR", true, true, false, false}, {"a.fri", false, true, false, false},
        {"a.jp1", false, true, false, false}, {"a.jpg", true, true, true, false},  {"a.jpeg", true, true, true, false},
        {"a.afx", true, true, false, true},   {"a.png", false, false, false, false},
    };
    for (const Case& c : cases) {
        const File file(FileSpec::FromPath(std::string("C:\\f\\") + c.name), 0);
        EXPECT_EQ(FileSpec::TypeIndex(file, ImageTypeList::kFrameFiles) == 1, c.frame) << c.name;
        EXPECT_EQ(FileSpec::TypeIndex(file, ImageTypeList::kReadableImages) == 1, c.readable) << c.name;
        EXPECT_EQ(FileSpec::TypeIndex(file, ImageTypeList::kJpegImages) == 1, c.jpeg) << c.name;
        EXPECT_EQ(FileSpec::TypeIndex(file, ImageTypeList::kContainer) == 1, c.container) << c.name;
    }
    EXPECT_EQ(FileTypeList::Get(ImageTypeList::kReadableImages, 1), static_cast<uint32_t>('JPEG'));
    EXPECT_EQ(FileTypeList::Get(ImageTypeList::kReadableImages, 2), 0u);
}

TEST_F(ImageFileTest, EachColourLayoutGivesItsRecordAndPixels) {
    struct Case {
        int components;
        uint16_t mode;
        Bytes colour;
    };
    const Case cases[] = {
        {1, ImageInfo::kModeGrey, {90}},
        {3, ImageInfo::kModeRGB, {200, 40, 120}},
        {4, ImageInfo::kModeCMYK, {30, 220, 140, 250}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.components);
        const FileSpec spec = Write("flat.jpg", EncodeJpeg(FlatImage(24, 16, c.colour)));
        ImageFile file(spec, 0);
        ImageInfo info;
        ASSERT_EQ(file.ReadImageInfo(&info), 0);
        EXPECT_EQ(info.mode, c.mode);
        EXPECT_EQ(info.planes, c.components);
        EXPECT_EQ(info.bytesPerPixel, static_cast<uint32_t>(c.components));
        EXPECT_EQ(info.bytesPerRow, static_cast<uint32_t>(24 * c.components));
        EXPECT_EQ(info.Width(), 24);
        EXPECT_EQ(info.Height(), 16);
        EXPECT_EQ(Stored(file.Info()), Stored(info));
        EXPECT_FALSE(file.IsOpen());

        ErrorCode error = 0;
        const Bytes pixels = Decode(spec, nullptr, kMainImage, error);
        ASSERT_EQ(error, 0);
        ExpectNear(pixels, 0, c.colour);
        ExpectNear(pixels, pixels.size() - c.colour.size(), c.colour);
    }
}

TEST_F(ImageFileTest, TheResolutionComesFromTheJfifHeaderUnlessTheResolutionResourceGivesOne) {
    struct Case {
        const char* what;
        uint8_t jfifUnit;
        std::vector<Bytes> app13;
        uint16_t unit;
        float horizontal, vertical;
        uint8_t widthUnit, heightUnit;
    };
    const Case cases[] = {
        {"JFIF per inch", 1, {}, 1, 300, 150, 0, 0},
        {"JFIF per centimetre", 2, {}, 2, 300, 150, 0, 0},
        {"JFIF without unit", 0, {}, 0, 300, 150, 0, 0},
        {"resource per inch", 2, {ResolutionBlock(72.5, 96, 1, 1, 2)}, 1, 72.5f, 96, 1, 2},
        {"resource per centimetre", 1, {ResolutionBlock(254, 127, 2, 3, 4)}, 2, 100, 50, 3, 4},
        {"resource of unknown unit", 1, {ResolutionBlock(72, 72, 7)}, 1, 300, 150, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        JpegImage image = FlatImage(16, 8, {128});
        image.densityUnit = c.jfifUnit;
        image.xDensity = 300;
        image.yDensity = 150;
        image.app13 = c.app13;
        ImageFile file(Write("resolution.jpg", EncodeJpeg(image)), 0);
        ImageInfo info;
        ASSERT_EQ(file.ReadImageInfo(&info), 0);
        EXPECT_EQ(info.densityUnit, c.unit);
        EXPECT_NEAR(info.horizontalResolution, c.horizontal, 1e-3);
        EXPECT_NEAR(info.verticalResolution, c.vertical, 1e-3);
        EXPECT_EQ(info.widthUnit, c.widthUnit);
        EXPECT_EQ(info.heightUnit, c.heightUnit);
    }
}

TEST_F(ImageFileTest, TheResourceScanSkipsOtherResourcesAndStopsAtOneLargerThanItsMarker) {
    const Bytes skipped = ImageResource(1004, Bytes(10, 0x42), 10);
    Bytes before = {'P', 'h', 'o', 't', 'o', 0};
    Append(before, skipped);
    Bytes found = before;
    const Bytes resolution = ResolutionBlock(200, 100, 1);
    Append(found, Bytes(resolution.begin() + 14, resolution.end()));  // the resource without the block name
    // A resource claims 60000 bytes; the marker holds 20. The resolution after its claim is not
    // read from beyond the marker.
    Bytes overclaiming = {'P', 'h', 'o', 't', 'o', 0};
    Append(overclaiming, ImageResource(1004, Bytes(20, 0), 60000));
    Append(overclaiming, Bytes(resolution.begin() + 14, resolution.end()));

    struct Case {
        const char* what;
        Bytes block;
        float horizontal;
    };
    const Case cases[] = {{"after another resource", found, 200}, {"after an overclaiming resource", overclaiming, 300}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        JpegImage image = FlatImage(16, 16, {77});
        image.densityUnit = 1;
        image.xDensity = image.yDensity = 300;
        image.app13 = {c.block};
        const FileSpec spec = Write("resources.jpg", EncodeJpeg(image));
        ImageFile file(spec, 0);
        ImageInfo info;
        ASSERT_EQ(file.ReadImageInfo(&info), 0);
        EXPECT_NEAR(info.horizontalResolution, c.horizontal, 1e-3);
        ErrorCode error = 0;
        const Bytes pixels = Decode(spec, nullptr, kMainImage, error);
        EXPECT_EQ(error, 0);
        ExpectNear(pixels, 0, {77});
    }
}

TEST_F(ImageFileTest, RgbIntoFourBytesAPixelIsFollowedBy255) {
    const FileSpec spec = Write("rgb.jpg", EncodeJpeg(FlatImage(16, 8, {10, 130, 250})));
    const ImageInfo wanted = Layout(ImageInfo::kModeRGB, 3, 4, 16, 8);
    ErrorCode error = 0;
    const Bytes pixels = Decode(spec, &wanted, kMainImage, error);
    ASSERT_EQ(error, 0);
    for (size_t at = 0; at < pixels.size(); at += 4) {
        ExpectNear(pixels, at, {10, 130, 250});
        ASSERT_EQ(pixels[at + 3], 255) << at;
    }
}

TEST_F(ImageFileTest, ColourImagesIntoGreyAndGreyIntoRgb) {
    // CMYK stored with 255 = no ink: c 255, m 55, y 255, k 200 is (200, 43, 200) in RGB, grey 107;
    // libjpeg's own grey of that RGB is its luma, 108.
    struct Case {
        const char* what;
        Bytes colour;
        ImageInfo wanted;
        Bytes expected;
        int tolerance;
    };
    const Case cases[] = {
        {"CMYK to grey", {255, 55, 255, 200}, Layout(ImageInfo::kModeGrey, 1, 1, 16, 16), {107}, 2},
        {"RGB to grey", {200, 43, 200}, Layout(ImageInfo::kModeGrey, 1, 1, 16, 16), {108}, 2},
        {"grey to RGB", {60}, Layout(ImageInfo::kModeRGB, 3, 3, 16, 16), {60, 60, 60}, 1},
        {"grey to grey and 255", {60}, Layout(ImageInfo::kModeGrey, 1, 2, 16, 16), {60, 255}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FileSpec spec = Write("colour.jpg", EncodeJpeg(FlatImage(16, 16, c.colour)));
        ErrorCode error = 0;
        const Bytes pixels = Decode(spec, &c.wanted, kMainImage, error);
        ASSERT_EQ(error, 0);
        ExpectNear(pixels, 0, c.expected, c.tolerance);
        ExpectNear(pixels, pixels.size() - c.expected.size(), c.expected, c.tolerance);
    }
}

TEST_F(ImageFileTest, AWantedLayoutTheImageDoesNotFitIsRefusedBeforeAnythingIsWritten) {
    const FileSpec spec = Write("fit.jpg", EncodeJpeg(FlatImage(16, 8, {50, 60, 70})));
    struct Case {
        const char* what;
        ImageInfo wanted;
        ErrorCode code;
    };
    ImageInfo shortRows = Layout(ImageInfo::kModeRGB, 3, 3, 16, 8);
    shortRows.bytesPerRow = 16 * 3 - 1;
    ImageInfo morePlanes = Layout(ImageInfo::kModeRGB, 4, 3, 16, 8);
    const Case cases[] = {
        {"fewer rows", Layout(ImageInfo::kModeRGB, 3, 3, 16, 7), Err::ImageNotParsable},
        {"narrower", Layout(ImageInfo::kModeRGB, 3, 3, 15, 8), Err::ImageNotParsable},
        {"rows shorter than their pixels", shortRows, Err::ImageNotParsable},
        {"fewer bytes than planes", morePlanes, Err::ImageNotDecodable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageFile file(spec, 0);
        Bytes pixels(static_cast<size_t>(c.wanted.bytesPerRow) * c.wanted.Height(), 0xA5);
        EXPECT_EQ(ReadJpegPixels(file, pixels.data(), &c.wanted, kMainImage, true, nullptr), c.code);
        EXPECT_EQ(pixels, Bytes(pixels.size(), 0xA5));
        EXPECT_FALSE(file.IsOpen());
    }
}

TEST_F(ImageFileTest, TheStreamIsFoundWithin2048BytesOfTheSearchStart) {
    const Bytes jpeg = EncodeJpeg(FlatImage(8, 8, {100}));
    ASSERT_EQ(jpeg[3], 0xE0);  // a JFIF header follows the start
    Bytes bareStart = jpeg;    // a stream without its JFIF header is found only at the search start
    bareStart[3] = 0xE1;
    struct Case {
        const char* what;
        size_t offset;
        const Bytes* stream;
        ErrorCode code;
    };
    const Case cases[] = {
        {"at the start", 0, &jpeg, 0},
        {"2047 bytes in", 2047, &jpeg, 0},
        {"2048 bytes in", 2048, &jpeg, Err::ImageNotParsable},
        {"bare, at the start", 0, &bareStart, 0},
        {"bare, one byte in", 1, &bareStart, Err::ImageNotParsable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes(c.offset, 0x11);
        Append(bytes, *c.stream);
        ImageFile file(Write("offset.frm", bytes), 0);
        ASSERT_EQ(file.Open("r"), 0);
        uint32_t position = 0;
        EXPECT_EQ(FindJpegStart(file, kMainImage, position), c.code);
        if (c.code == 0) {
            EXPECT_EQ(position, c.offset);
        }
        file.Close();
        ImageInfo info;
        EXPECT_EQ(file.ReadImageInfo(&info), c.code);
    }
}

TEST_F(ImageFileTest, AFrmFileIsAJpegStreamAfterAHeaderOfItsOwn) {
    Bytes bytes(300, 0);
    std::memcpy(bytes.data(), "QVFRAME", 7);
    Append(bytes, EncodeJpeg(FlatImage(32, 24, {20, 200, 90})));
    const FileSpec spec = Write("Wood.FRM", bytes);
    ImageFile file(spec, 0);
    ImageInfo info;
    ASSERT_EQ(file.ReadImageInfo(&info), 0);
    EXPECT_EQ(info.mode, ImageInfo::kModeRGB);
    EXPECT_EQ(info.Width(), 32);
    ErrorCode error = 0;
    ExpectNear(Decode(spec, nullptr, kMainImage, error), 0, {20, 200, 90});
    EXPECT_EQ(error, 0);
}

class AfxTest : public ImageFileTest {
protected:
    // A container whose JPEG is a small image followed by a second, smaller stream: its thumbnail
    // when the raw one is refused.
    Bytes Container(const RawThumbnailSpec* thumbnail, uint32_t jpegAt) {
        Bytes jpeg = EncodeJpeg(FlatImage(40, 30, {180}));
        Append(jpeg, EncodeJpeg(FlatImage(10, 6, {30})));
        return MakeAfx(jpeg, jpegAt, thumbnail);
    }
};

RawThumbnailSpec Thumbnail(uint32_t width, uint32_t height, uint32_t planes, uint32_t dataSize) {
    RawThumbnailSpec spec;
    spec.width = width;
    spec.height = height;
    spec.dataSize = dataSize;
    spec.data.resize(static_cast<size_t>(width) * height * planes);
    for (size_t i = 0; i < spec.data.size(); ++i) spec.data[i] = static_cast<uint8_t>(i * 7 + i / 13);
    return spec;
}

TEST_F(AfxTest, TheMainImageIsTheEmbeddedJpeg) {
    for (const uint32_t jpegAt : {300u, 1024u, 4096u}) {
        SCOPED_TRACE(jpegAt);
        const FileSpec spec = Write("Deckle.afx", Container(nullptr, jpegAt));
        ImageFile file(spec, 0);
        ImageInfo info;
        ASSERT_EQ(file.ReadImageInfo(&info), 0);
        EXPECT_EQ(info.Width(), 40);
        EXPECT_EQ(info.Height(), 30);
        ErrorCode error = 0;
        ExpectNear(Decode(spec, nullptr, kMainImage, error), 0, {180});
        EXPECT_EQ(error, 0);
    }
}

TEST_F(AfxTest, ARawThumbnailIsTakenOnlyWhenItsHeaderHoldsTogether) {
    struct Case {
        const char* what;
        RawThumbnailSpec thumbnail;
        uint32_t jpegAt;
        bool taken;
    };
    RawThumbnailSpec longHeader = Thumbnail(20, 10, 3, 600);
    longHeader.headerSize = 40;
    RawThumbnailSpec shortHeader = Thumbnail(20, 10, 3, 600);
    shortHeader.headerSize = 23;
    RawThumbnailSpec pastTheEnd = Thumbnail(200, 200, 1, 200 * 200);
    pastTheEnd.data.resize(100);
    const Case cases[] = {
        {"256 x 256 RGB", Thumbnail(256, 256, 3, 256 * 256 * 3), 1024 + 24 + 256 * 256 * 3, true},
        {"grey", Thumbnail(30, 20, 1, 600), 2048, true},
        {"a longer header", longHeader, 2048, true},
        {"257 wide", Thumbnail(257, 2, 3, 257 * 2 * 3), 4096, false},
        {"two bytes a pixel", Thumbnail(20, 10, 2, 400), 2048, false},
        {"a header too short", shortHeader, 2048, false},
        {"data beyond the file", pastTheEnd, 1200, false},
        {"the JPEG at 1024", Thumbnail(4, 4, 3, 48), 1024, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FileSpec spec = Write("thumb.afx", Container(&c.thumbnail, c.jpegAt));
        ImageFile file(spec, 0);
        ImageInfo info;
        ASSERT_EQ(ReadJpegHeader(file, &info, kThumbnailImage, nullptr), 0);
        EXPECT_EQ(file.ThumbnailFound(), c.taken);
        EXPECT_FALSE(file.IsOpen());
        ErrorCode error = 0;
        const Bytes pixels = Decode(spec, nullptr, kThumbnailImage, error);
        ASSERT_EQ(error, 0);
        if (c.taken) {
            const uint32_t planes = c.thumbnail.dataSize / (c.thumbnail.width * c.thumbnail.height);
            EXPECT_EQ(info.mode, planes == 3 ? ImageInfo::kModeRGB : ImageInfo::kModeGrey);
            EXPECT_EQ(info.bytesPerPixel, planes);
            EXPECT_EQ(info.Width(), static_cast<int32_t>(c.thumbnail.width));
            EXPECT_EQ(info.Height(), static_cast<int32_t>(c.thumbnail.height));
            EXPECT_EQ(pixels, c.thumbnail.data);
        } else {
            EXPECT_EQ(info.Width(), 10);  // the second stream
            EXPECT_EQ(info.Height(), 6);
            ExpectNear(pixels, 0, {30});
        }
    }
}

TEST_F(AfxTest, ARawThumbnailIsReadWithItsOwnPlanesWhateverTheLayoutWanted) {
    RawThumbnailSpec thumbnail = Thumbnail(8, 4, 3, 8 * 4 * 3);
    for (size_t i = 0; i < thumbnail.data.size(); i += 3) {
        thumbnail.data[i] = 200;
        thumbnail.data[i + 1] = 43;
        thumbnail.data[i + 2] = 200;
    }
    const FileSpec spec = Write("grey-wanted.afx", Container(&thumbnail, 2048));
    struct Case {
        ImageInfo wanted;
        Bytes pixel;
    };
    const Case cases[] = {
        {Layout(ImageInfo::kModeGrey, 1, 1, 8, 4), {107}},
        {Layout(ImageInfo::kModeRGB, 3, 4, 8, 4), {200, 43, 200, 255}},
    };
    for (const Case& c : cases) {
        ErrorCode error = 0;
        const Bytes pixels = Decode(spec, &c.wanted, kThumbnailImage, error);
        ASSERT_EQ(error, 0);
        EXPECT_EQ(pixels.size(), 32 * c.pixel.size());
        for (size_t at = 0; at < pixels.size(); at += c.pixel.size()) ExpectNear(pixels, at, c.pixel, 0);
    }
}

TEST_F(ImageFileTest, DamagedFilesEndWithACode) {
    const Bytes jpeg = EncodeJpeg(MakeImage(64, 64, 3, [](int x, int y, uint8_t* p) {
        p[0] = static_cast<uint8_t>(x * 4);
        p[1] = static_cast<uint8_t>(y * 4);
        p[2] = static_cast<uint8_t>((x ^ y) * 4);
    }));
    Bytes garbage(5000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 31 + 7);
    Bytes corrupt = jpeg;  // the entropy-coded data overwritten
    for (size_t i = corrupt.size() / 2; i < corrupt.size() - 2; ++i) corrupt[i] = 0xFF;
    Bytes noImage(jpeg.begin(), jpeg.begin() + 20);  // ends inside its header
    // An APP13 marker whose length runs past the end of the file.
    Bytes lengthy = {0xFF, 0xD8, 0xFF, 0xED, 0xFF, 0xF0, '8', 'B', 'I', 'M', 0x03, 0xED, 0, 0, 0, 0, 0, 16};
    Bytes afxOffsetBeyond = MakeAfx(jpeg, 300, nullptr);
    BigEndian::Write32(afxOffsetBeyond.data() + 284, static_cast<uint32_t>(afxOffsetBeyond.size() + 10));

    struct Case {
        const char* what;
        const char* name;
        Bytes bytes;
        ErrorCode header, pixels;
    };
    const Case cases[] = {
        {"cut in half", "half.jpg", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2), 0, Err::ImageNotParsable},
        {"corrupt data", "corrupt.jpg", corrupt, 0, Err::ImageNotParsable},
        {"cut inside its header", "header.jpg", noImage, Err::ImageNotParsable, Err::ImageNotParsable},
        {"garbage", "garbage.jpg", garbage, Err::ImageNotParsable, Err::ImageNotParsable},
        {"empty", "empty.jpg", {}, Err::ImageNotParsable, Err::ImageNotParsable},
        {"a marker longer than the file", "marker.jpg", lengthy, Err::ImageNotParsable, Err::ImageNotParsable},
        {"a container pointing past its end", "beyond.afx", afxOffsetBeyond, Err::ImageNotParsable,
         Err::ImageNotParsable},
        {"two components", "two.jpg", EncodeJpeg(FlatImage(8, 8, {1, 2})), Err::ImageNotDecodable,
         Err::ImageNotDecodable},
        {"not an image type", "photo.png", jpeg, Err::UnsupportedImageType, Err::UnsupportedImageType},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FileSpec spec = Write(c.name, c.bytes);
        ImageFile file(spec, 0);
        ImageInfo info;
        EXPECT_EQ(file.ReadImageInfo(&info), c.header);
        EXPECT_FALSE(file.IsOpen());
        if (c.header == Err::UnsupportedImageType) continue;  // only the record's reader checks the type
        const ImageInfo wanted = Layout(ImageInfo::kModeRGB, 3, 3, 64, 64);
        Bytes pixels(64 * 64 * 3);
        EXPECT_EQ(ReadJpegPixels(file, pixels.data(), &wanted, kMainImage, true, nullptr), c.pixels);
        EXPECT_FALSE(file.IsOpen());
    }
}

}  // namespace
