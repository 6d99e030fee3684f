#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "BigEndian.h"
#include "LibraryTestSupport.h"
#include "QVDatabaseRecord.h"
#include "ThumbnailGenerator.h"

namespace {

// A picture whose pixel (x, y) holds the bytes x, y and x + y (low bytes), and its header.
struct SourcePicture {
    SourcePicture(int width, int height, int channels = 3, int bytesPerPixel = 3) {
        BigEndian::Write16(header + PictureHeader::kImageMode, 3);
        BigEndian::Write16(header + PictureHeader::kChannels, static_cast<uint16_t>(channels));
        BigEndian::Write32(header + PictureHeader::kBytesPerPixel, static_cast<uint32_t>(bytesPerPixel));
        BigEndian::Write32(header + PictureHeader::kRowBytes, static_cast<uint32_t>(width * bytesPerPixel));
        PictureHeader::WriteRect(header, Rect16{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)});
        for (int i = PictureHeader::kVersion; i < PictureHeader::kLength; ++i) header[i] = static_cast<uint8_t>(0xA0 + i);
        EXPECT_EQ(buffer.Allocate(int64_t(width) * height * bytesPerPixel), 0);
        auto* p = reinterpret_cast<uint8_t*>(buffer.Lock());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x, p += bytesPerPixel) {
                const uint8_t values[] = {uint8_t(x), uint8_t(y), uint8_t(x + y), 0xEE};
                std::memcpy(p, values, static_cast<size_t>(bytesPerPixel));
            }
        }
        buffer.Unlock();
    }
    ~SourcePicture() { buffer.Free(); }
    uint8_t header[PictureHeader::kLength] = {};
    BufferRecord buffer;
};

const uint8_t* PixelAt(const ThumbnailGenerator& generator, int x, int y) {
    const uint8_t* picture = generator.Picture();
    const uint32_t rowBytes = BigEndian::Read32(picture + PictureHeader::kRowBytes);
    const int channels = BigEndian::Read16(picture + PictureHeader::kChannels);
    return picture + PictureHeader::kLength + y * rowBytes + x * channels;
}

// A host image of planes x (its row + column), for the preview-side picture.
class FakeHostImage : public ThumbnailSource {
public:
    Rect16 HostArea() const override { return area; }
    int32_t ScaleFactor() const override { return scale; }
    int16_t ImageMode() const override { return mode; }
    int32_t Planes() const override { return planes; }
    bool IsSixteenBit() const override { return sixteenBit; }
    bool ReadRows(const Rect16& rows, void* samples) override {
        requested = rows;
        if (!deliver) return false;
        const int count = (rows.bottom - rows.top) * (rows.right - rows.left) * planes;
        for (int i = 0; i < count; ++i) {
            if (sixteenBit) {
                static_cast<uint16_t*>(samples)[i] = static_cast<uint16_t>(i % 2 ? 32768 : 16384);
            } else {
                static_cast<uint8_t*>(samples)[i] = static_cast<uint8_t>(i);
            }
        }
        return true;
    }

    Rect16 area{0, 0, 300, 200};
    int32_t scale = 2;
    int16_t mode = 3;
    int32_t planes = 3;
    bool sixteenBit = false;
    bool deliver = true;
    Rect16 requested{};
};

}  // namespace

TEST(Thumbnails, ASourceIsFittedCentredAndSampledWithItsEndsOnTheTargetsEnds) {
    SourcePicture source(1000, 500);
    ThumbnailGenerator generator;
    ASSERT_EQ(generator.MakeThumbnail(source.header, &source.buffer, Rect16{0, 0, 128, 128}), 0);
    EXPECT_EQ(generator.PictureSize(), 32u + 128u * 64u * 3u);
    const uint8_t* picture = generator.Picture();
    const Rect16 rect = PictureHeader::ReadRect(picture);
    EXPECT_EQ(rect.top, 32);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.bottom, 96);
    EXPECT_EQ(rect.right, 128);
    EXPECT_EQ(BigEndian::Read32(picture + PictureHeader::kRowBytes), 128u * 3u);
    EXPECT_EQ(std::memcmp(picture, source.header, 8), 0);
    EXPECT_EQ(std::memcmp(picture + 20, source.header + 20, 12), 0);
    // Corners map onto corners: (127, 63) is the source's (999, 499).
    EXPECT_EQ(PixelAt(generator, 0, 0)[0], 0);
    EXPECT_EQ(PixelAt(generator, 127, 63)[0], uint8_t(999));
    EXPECT_EQ(PixelAt(generator, 127, 63)[1], uint8_t(499));
    // Column 64 samples round(64 x 999 / 127) = 503, row 32 round(32 x 499 / 63) = 253.
    EXPECT_EQ(PixelAt(generator, 64, 32)[0], uint8_t(503));
    EXPECT_EQ(PixelAt(generator, 64, 32)[1], uint8_t(253));
}

TEST(Thumbnails, AOnePixelSideCopiesTheFirstRowOrColumn) {
    SourcePicture wide(2000, 2, 4, 4);
    ThumbnailGenerator generator;
    ASSERT_EQ(generator.MakeThumbnail(wide.header, &wide.buffer, Rect16{0, 0, 100, 100}), 0);
    const Rect16 rect = PictureHeader::ReadRect(generator.Picture());
    EXPECT_EQ(rect.bottom - rect.top, 1);
    EXPECT_EQ(rect.right - rect.left, 100);
    EXPECT_EQ(generator.PictureSize(), 32u + 100u * 4u);
    for (int x = 0; x < 100; ++x) EXPECT_EQ(PixelAt(generator, x, 0)[1], 0) << x;  // row 0 only
    EXPECT_EQ(PixelAt(generator, 99, 0)[3], 0xEE);

    SourcePicture tall(1, 3000);
    ASSERT_EQ(generator.MakeThumbnail(tall.header, &tall.buffer, Rect16{0, 0, 50, 50}), 0);
    const Rect16 column = PictureHeader::ReadRect(generator.Picture());
    EXPECT_EQ(column.right - column.left, 1);
    EXPECT_EQ(PixelAt(generator, 0, 49)[1], uint8_t(2999));
}

TEST(Thumbnails, EmptyTargetsAndInconsistentSourcesMakeNoPicture) {
    SourcePicture source(40, 30);
    ThumbnailGenerator generator;
    EXPECT_EQ(generator.MakeThumbnail(source.header, &source.buffer, Rect16{0, 0, 0, 0}), -50);
    EXPECT_EQ(generator.Picture(), nullptr);
    // A header that claims more pixels than its buffer holds is refused, not read past.
    PictureHeader::WriteRect(source.header, Rect16{0, 0, 300, 400});
    EXPECT_EQ(generator.MakeThumbnail(source.header, &source.buffer, Rect16{0, 0, 64, 64}), -50);
    BigEndian::Write16(source.header + PictureHeader::kChannels, 0);
    EXPECT_EQ(generator.MakeThumbnail(source.header, &source.buffer, Rect16{0, 0, 64, 64}), -50);
    EXPECT_EQ(generator.MakeThumbnail(nullptr, &source.buffer, Rect16{0, 0, 64, 64}), -50);
    EXPECT_EQ(generator.Picture(), nullptr);
}

TEST(Thumbnails, APictureSurvivesTheThumbnailColumn) {
    SourcePicture source(300, 200);
    ThumbnailGenerator generator;
    ASSERT_EQ(generator.MakeThumbnail(source.header, &source.buffer, Rect16{0, 0, 96, 96}), 0);
    const std::vector<uint8_t> picture(generator.Picture(), generator.Picture() + generator.PictureSize());

    ScratchFolder folder;
    QVDatabase db;
    ASSERT_EQ(db.OpenAt(folder.File("Quorvel.sdb").c_str()), 0);
    QVFrameDatabaseRecord frame(&db);
    frame.SetText(1, "a.frm");
    frame.SetBlob(7, picture.data(), static_cast<uint32_t>(picture.size()));
    frame.Save();
    QVDatabaseRecord row(&db, "Frames");
    row.SetRid(frame.Rid());
    row.Load({"Thumbnail"});
    const FieldValue* stored = row.Field(0);
    EXPECT_EQ(std::vector<uint8_t>(stored->BlobBytes(), stored->BlobBytes() + stored->Length()), picture);
}

TEST(Thumbnails, TheHostImageIsTakenAtThePreviewScale) {
    FakeHostImage host;
    ThumbnailGenerator generator(&host);
    ASSERT_EQ(generator.RenderThumbnail(Rect16{0, 0, 60, 60}), 0);
    EXPECT_EQ(host.requested.bottom, 150);
    EXPECT_EQ(host.requested.right, 100);
    const uint8_t* picture = generator.Picture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(BigEndian::Read16(picture + PictureHeader::kImageMode), 3);
    EXPECT_EQ(BigEndian::Read16(picture + PictureHeader::kChannels), 3);
    EXPECT_EQ(BigEndian::Read32(picture + PictureHeader::kBytesPerPixel), 3u);
    EXPECT_EQ(BigEndian::Read16(picture + PictureHeader::kVersion), 1);
    EXPECT_EQ(picture[22], 1);
    EXPECT_EQ(picture[23], 1);
    EXPECT_EQ(BigEndian::Read32(picture + PictureHeader::kHorizontalResolution), 0x42900000u);  // 72.0
    EXPECT_EQ(BigEndian::Read32(picture + PictureHeader::kVerticalResolution), 0x42900000u);
    const Rect16 rect = PictureHeader::ReadRect(picture);
    EXPECT_EQ(rect.bottom - rect.top, 60);
    EXPECT_EQ(rect.right - rect.left, 40);
    EXPECT_EQ(PixelAt(generator, 0, 0)[2], 2);

    // Coordinates divide away from zero when positive, towards it otherwise.
    host.area = Rect16{5, -3, 11, 9};
    host.scale = 4;
    host.mode = 11;
    host.sixteenBit = true;
    ASSERT_EQ(generator.RenderThumbnail(Rect16{0, 0, 10, 10}), 0);
    EXPECT_EQ(host.requested.top, 2);
    EXPECT_EQ(host.requested.left, 0);
    EXPECT_EQ(host.requested.bottom, 3);
    EXPECT_EQ(host.requested.right, 3);
    EXPECT_EQ(BigEndian::Read16(generator.Picture() + PictureHeader::kImageMode), 3);
    EXPECT_EQ(PixelAt(generator, 0, 0)[0], 127);  // 16384
    EXPECT_EQ(PixelAt(generator, 0, 0)[1], 255);  // 32768

    host.deliver = false;
    EXPECT_EQ(generator.RenderThumbnail(Rect16{0, 0, 10, 10}), -108);
    ThumbnailGenerator withoutSource;
    EXPECT_EQ(withoutSource.RenderThumbnail(Rect16{0, 0, 10, 10}), 0);
    EXPECT_EQ(withoutSource.Picture(), nullptr);
}
