// The PNG decoder over files written at test time: every colour type, bit depth and interlacing
// decodes to the pixels written, and damaged or truncated data is refused without a read past it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "CxFile.h"
#include "CxImage.h"
#include "PngWriter.h"

namespace {

constexpr uint32_t kWidth = 13;  // odd, so packed rows end inside a byte
constexpr uint32_t kHeight = 7;
constexpr uint8_t kCompositeGrey = 192;
constexpr uint8_t kLowByte = 0x5A; // the low byte of 16-bit samples, which decoding drops

// The pattern's sample of a channel, within 0..maxValue.
uint32_t Sample(uint32_t x, uint32_t y, uint32_t channel, uint32_t maxValue) {
    return (x * 37 + y * 59 + channel * 71 + 11) % (maxValue + 1);
}
// Alpha that is either none or full, for files whose alpha libpng composites onto the grey.
bool Covered(uint32_t x, uint32_t y) { return (x + y) % 3 != 0; }

png_color PaletteEntry(uint32_t i) {
    return png_color{static_cast<png_byte>(i * 40 + 3), static_cast<png_byte>(255 - i * 9), static_cast<png_byte>(i * 17)};
}

struct FormatCase {
    const char* name;
    int colorType;
    int bitDepth;
    uint32_t imageBits;
    bool alphaPlane;
};

// The file's samples of one pixel, before packing.
std::vector<uint32_t> FileSamples(const FormatCase& c, uint32_t x, uint32_t y) {
    const uint32_t maxValue = c.bitDepth == 16 ? 255 : (1u << c.bitDepth) - 1;
    switch (c.colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE: return {Sample(x, y, 0, maxValue)};
    case PNG_COLOR_TYPE_RGB: return {Sample(x, y, 0, 255), Sample(x, y, 1, 255), Sample(x, y, 2, 255)};
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return {Sample(x, y, 0, 255), c.bitDepth == 8 ? (Covered(x, y) ? 255u : 0u) : Sample(x, y, 3, 255)};
    default:
        return {Sample(x, y, 0, 255), Sample(x, y, 1, 255), Sample(x, y, 2, 255),
                c.bitDepth == 8 ? Sample(x, y, 3, 255) : (Covered(x, y) ? 255u : 0u)};
    }
}

PngSpec SpecFor(const FormatCase& c, bool interlaced) {
    PngSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.colorType = c.colorType;
    spec.bitDepth = c.bitDepth;
    spec.interlaced = interlaced;
    if (c.colorType == PNG_COLOR_TYPE_PALETTE)
        for (uint32_t i = 0; i < (1u << c.bitDepth); ++i) spec.palette.push_back(PaletteEntry(i));
    for (uint32_t y = 0; y < kHeight; ++y) {
        std::vector<uint8_t> row((kWidth * 4 * c.bitDepth + 7) / 8 + 8, 0);
        uint32_t bit = 0;
        for (uint32_t x = 0; x < kWidth; ++x) {
            for (uint32_t sample : FileSamples(c, x, y)) {
                if (c.bitDepth == 16) {
                    // Full alpha stays full in 16 bits; other samples get a low byte to drop.
                    const bool fullAlpha = sample == 255 && (c.colorType & PNG_COLOR_MASK_ALPHA);
                    row[bit / 8] = static_cast<uint8_t>(sample);
                    row[bit / 8 + 1] = fullAlpha ? 0xFF : (sample == 0 ? 0 : kLowByte);
                    bit += 16;
                } else if (c.bitDepth == 8) {
                    row[bit / 8] = static_cast<uint8_t>(sample);
                    bit += 8;
                } else {
                    row[bit / 8] |= static_cast<uint8_t>(sample << (8 - c.bitDepth - bit % 8));
                    bit += c.bitDepth;
                }
            }
        }
        spec.rows.push_back(row);
    }
    return spec;
}

// What the decoded image shows at a pixel (y from the top): blue, green, red and alpha.
RGBQUAD Expected(const FormatCase& c, uint32_t x, uint32_t y) {
    const auto s = FileSamples(c, x, y);
    auto grey = [](uint32_t v, uint8_t a) { return RGBQUAD{BYTE(v), BYTE(v), BYTE(v), a}; };
    switch (c.colorType) {
    case PNG_COLOR_TYPE_GRAY: {
        constexpr uint8_t kTwoBitGreys[] = {0, 85, 170, 255};
        switch (c.bitDepth) {
        case 1: return grey(s[0] * 255, 255);
        case 2: return grey(kTwoBitGreys[s[0]], 255);
        case 4: return grey(s[0] * 17, 255);
        default: return grey(s[0], 255);
        }
    }
    case PNG_COLOR_TYPE_PALETTE: {
        const png_color entry = PaletteEntry(s[0]);
        return RGBQUAD{entry.blue, entry.green, entry.red, 255};
    }
    case PNG_COLOR_TYPE_RGB: return RGBQUAD{BYTE(s[2]), BYTE(s[1]), BYTE(s[0]), 255};
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        if (c.bitDepth == 8) return grey(s[1] ? s[0] : kCompositeGrey, 255);
        return grey(s[0], BYTE(s[1]));
    default:
        if (c.bitDepth == 8) return RGBQUAD{BYTE(s[2]), BYTE(s[1]), BYTE(s[0]), BYTE(s[3])};
        return s[3] ? RGBQUAD{BYTE(s[2]), BYTE(s[1]), BYTE(s[0]), 255} : grey(kCompositeGrey, 255);
    }
}

std::unique_ptr<CxImage> Decode(const std::vector<uint8_t>& bytes, bool* decoded) {
    auto image = std::make_unique<CxImage>();
    CxMemFile file(bytes.data(), bytes.size());
    *decoded = image->Decode(file, kCxFormatPNG);
    return image;
}

const FormatCase kFormats[] = {
    {"grey 1", PNG_COLOR_TYPE_GRAY, 1, 1, false},
    {"grey 2", PNG_COLOR_TYPE_GRAY, 2, 4, false},
    {"grey 4", PNG_COLOR_TYPE_GRAY, 4, 4, false},
    {"grey 8", PNG_COLOR_TYPE_GRAY, 8, 8, false},
    {"grey 16", PNG_COLOR_TYPE_GRAY, 16, 8, false},
    {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, 1, false},
    {"palette 2", PNG_COLOR_TYPE_PALETTE, 2, 4, false},
    {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, 4, false},
    {"palette 8", PNG_COLOR_TYPE_PALETTE, 8, 8, false},
    {"RGB 8", PNG_COLOR_TYPE_RGB, 8, 24, false},
    {"RGB 16", PNG_COLOR_TYPE_RGB, 16, 24, false},
    {"grey+alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 8, false},
    {"grey+alpha 16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, 24, true},
    {"RGBA 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, 24, true},
    {"RGBA 16", PNG_COLOR_TYPE_RGB_ALPHA, 16, 24, true},
};

TEST(PngDecoder, EveryColourTypeDepthAndInterlacingDecodesToThePixelsWritten) {
    for (const FormatCase& format : kFormats) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::string(format.name) + (interlaced ? " interlaced" : ""));
            const auto bytes = WritePng(SpecFor(format, interlaced));
            ASSERT_FALSE(bytes.empty());
            bool decoded = false;
            const auto image = Decode(bytes, &decoded);
            ASSERT_TRUE(decoded) << image->LastError();
            EXPECT_EQ(image->Width(), kWidth);
            EXPECT_EQ(image->Height(), kHeight);
            EXPECT_EQ(image->BitsPerPixel(), format.imageBits);
            EXPECT_EQ(image->HasAlpha(), format.alphaPlane);
            EXPECT_EQ(image->Info().pngInterlaced, interlaced ? 1u : 0u);
            EXPECT_EQ(image->Info().format, kCxFormatPNG);
            int wrong = 0;
            for (uint32_t y = 0; y < kHeight; ++y) {
                for (uint32_t x = 0; x < kWidth; ++x) {
                    // Rows are stored bottom-up.
                    const RGBQUAD got = image->GetPixelColor(int32_t(x), int32_t(kHeight - 1 - y));
                    const RGBQUAD want = Expected(format, x, y);
                    if (std::memcmp(&got, &want, sizeof got) != 0 && ++wrong <= 3) {
                        ADD_FAILURE() << "pixel " << x << "," << y << " is " << int(got.rgbRed) << "/"
                                      << int(got.rgbGreen) << "/" << int(got.rgbBlue) << "/" << int(got.rgbReserved)
                                      << ", not " << int(want.rgbRed) << "/" << int(want.rgbGreen) << "/"
                                      << int(want.rgbBlue) << "/" << int(want.rgbReserved);
                    }
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST(PngDecoder, TwoBitGreyBecomesAFourBitImageWithFourGreys) {
    bool decoded = false;
    const auto image = Decode(WritePng(SpecFor(kFormats[1], false)), &decoded);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(image->PaletteSize(), 16u);
    const uint8_t greys[] = {0, 85, 170, 255};
    for (uint32_t i = 0; i < 16; ++i) {
        const RGBQUAD entry = image->Palette()[i];
        const uint8_t want = i < 4 ? greys[i] : 0;
        EXPECT_EQ(entry.rgbRed, want) << i;
        EXPECT_EQ(entry.rgbBlue, want) << i;
    }
    // The first pixel of the top row, read back as its index.
    EXPECT_EQ(image->GetPixelIndex(0, kHeight - 1), Sample(0, 0, 0, 3));
}

TEST(PngDecoder, PaletteTransparency) {
    const FormatCase palette4 = kFormats[7];
    {
        // A single fully transparent entry is the transparent index, not an alpha palette.
        PngSpec spec = SpecFor(palette4, false);
        spec.paletteAlpha = {0};
        bool decoded = false;
        const auto image = Decode(WritePng(spec), &decoded);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(image->Info().transparentIndex, 0);
        EXPECT_FALSE(image->Info().alphaPaletteEnabled);
    }
    {
        PngSpec spec = SpecFor(palette4, false);
        spec.paletteAlpha = {0, 128, 255};
        bool decoded = false;
        const auto image = Decode(WritePng(spec), &decoded);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(image->Info().transparentIndex, -1);
        EXPECT_TRUE(image->Info().alphaPaletteEnabled);
        EXPECT_EQ(image->Palette()[0].rgbReserved, 0);
        EXPECT_EQ(image->Palette()[1].rgbReserved, 128);
        EXPECT_EQ(image->Palette()[2].rgbReserved, 255);
        EXPECT_EQ(image->Palette()[15].rgbReserved, 255);
        // The colours themselves are the file's, not composited onto a background.
        EXPECT_EQ(image->Palette()[1].rgbRed, PaletteEntry(1).red);
    }
}

TEST(PngDecoder, BackgroundChunkSetsTheTransparentColourOfRgba) {
    PngSpec spec = SpecFor(kFormats[13], false);
    spec.background = png_color_16{0, 0x10, 0x20, 0x30, 0};
    bool decoded = false;
    const auto image = Decode(WritePng(spec), &decoded);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(image->Info().transparentColor.rgbRed, 0x10);
    EXPECT_EQ(image->Info().transparentColor.rgbGreen, 0x20);
    EXPECT_EQ(image->Info().transparentColor.rgbBlue, 0x30);
    // Only a transparent index makes the colour count when drawing.
    EXPECT_EQ(image->Info().transparentIndex, -1);
}

TEST(PngDecoder, ResolutionComesFromThePhysicalChunk) {
    struct Case {
        png_uint_32 value;
        int unit;
        int32_t dpi;
        LONG pixelsPerMetre;
    };
    const Case cases[] = {
        {3780, PNG_RESOLUTION_METER, 96, 3780},
        {2835, PNG_RESOLUTION_METER, 72, 2835},
        {150, PNG_RESOLUTION_UNKNOWN, 150, 5906},
        {0, PNG_RESOLUTION_METER, 96, 3780}, // no resolution: the default
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        PngSpec spec = SpecFor(kFormats[9], false);
        spec.pixelsPerUnit = c.value;
        spec.resolutionUnit = c.unit;
        bool decoded = false;
        const auto image = Decode(WritePng(spec), &decoded);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(image->Info().xDpi, c.dpi);
        EXPECT_EQ(image->Info().yDpi, c.dpi);
        EXPECT_EQ(image->Header().biXPelsPerMeter, c.pixelsPerMetre);
    }
}

// ---- Damaged data

// Bytes that end at a page that cannot be read: a decoder that reads one byte past them faults.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<uint8_t>& bytes) {
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        const size_t page = system.dwPageSize;
        const size_t dataPages = (bytes.size() + page - 1) / page + 1;
        size_ = (dataPages + 1) * page;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, size_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!base_) return;
        DWORD old = 0;
        VirtualProtect(base_ + dataPages * page, page, PAGE_NOACCESS, &old);
        data_ = base_ + dataPages * page - bytes.size();
        if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
        length_ = bytes.size();
    }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    ~GuardedBytes() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return length_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t length_ = 0;
};

bool DecodeGuarded(const std::vector<uint8_t>& bytes, std::string* error) {
    GuardedBytes guarded(bytes);
    CxImage image;
    CxMemFile file(guarded.Data(), guarded.Size());
    const bool decoded = image.Decode(file, kCxFormatPNG);
    *error = image.LastError();
    EXPECT_EQ(image.IsValid(), decoded);
    return decoded;
}

uint32_t Crc(const uint8_t* bytes, size_t length) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// A file whose header claims another size, with its checksum made right again.
std::vector<uint8_t> WithHeaderSize(std::vector<uint8_t> bytes, uint32_t width, uint32_t height) {
    constexpr size_t kHeaderData = 16; // signature 8, length 4, type 4
    constexpr size_t kHeaderLength = 13;
    PutBigEndian(bytes, kHeaderData, width);
    PutBigEndian(bytes, kHeaderData + 4, height);
    PutBigEndian(bytes, kHeaderData + kHeaderLength, Crc(bytes.data() + kHeaderData - 4, kHeaderLength + 4));
    return bytes;
}

TEST(PngDecoder, EveryTruncationIsRefusedWithoutAReadPastTheData) {
    const auto bytes = WritePng(SpecFor(kFormats[13], true));
    ASSERT_FALSE(bytes.empty());
    std::string error;
    ASSERT_TRUE(DecodeGuarded(bytes, &error)) << error;
    for (size_t length = 0; length < bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
        EXPECT_FALSE(DecodeGuarded(prefix, &error));
        EXPECT_FALSE(error.empty());
    }
    DecodeGuarded(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 40), &error);
    EXPECT_EQ(error, "Read Error");
}

TEST(PngDecoder, DamagedDataIsRefusedWithItsReason) {
    const auto good = WritePng(SpecFor(kFormats[9], false));
    ASSERT_FALSE(good.empty());
    std::string error;

    std::vector<uint8_t> garbage(300);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 151 + 7);
    EXPECT_FALSE(DecodeGuarded(garbage, &error));
    EXPECT_FALSE(error.empty());

    // The signature followed by garbage.
    std::vector<uint8_t> signedGarbage(good.begin(), good.begin() + 8);
    signedGarbage.insert(signedGarbage.end(), garbage.begin(), garbage.end());
    EXPECT_FALSE(DecodeGuarded(signedGarbage, &error));
    EXPECT_FALSE(error.empty());

    // Every byte after the signature flipped in turn: a checksum or a stream error, or (in the
    // ending chunk, read only after the pixels) at worst a picture; never a fault.
    for (size_t at = 8; at < good.size(); ++at) {
        std::vector<uint8_t> damaged = good;
        damaged[at] ^= 0x5C;
        if (!DecodeGuarded(damaged, &error)) {
            EXPECT_FALSE(error.empty()) << at;
        }
    }

    EXPECT_FALSE(DecodeGuarded(WithHeaderSize(good, 0, kHeight), &error));
    EXPECT_FALSE(error.empty());
    // A size libpng accepts but that no interface picture has: refused before any pixel is read.
    EXPECT_FALSE(DecodeGuarded(WithHeaderSize(good, 900000, 900000), &error));
    EXPECT_EQ(error, "CxImage::Create can't allocate memory");
}

TEST(CxImageCreate, RefusesAnEmptySizeAndNormalisesTheDepth) {
    CxImage image;
    EXPECT_FALSE(image.Create(0, 5, 8, kCxFormatPNG));
    EXPECT_STREQ(image.LastError(), "CxImage::Create : width and height must be greater than zero");
    const struct {
        uint32_t asked, made, entries;
    } depths[] = {{0, 1, 2}, {1, 1, 2}, {2, 4, 16}, {4, 4, 16}, {5, 8, 256}, {8, 8, 256}, {9, 24, 0}, {32, 24, 0}};
    for (const auto& d : depths) {
        ASSERT_TRUE(image.Create(5, 3, d.asked, kCxFormatPNG));
        EXPECT_EQ(image.BitsPerPixel(), d.made) << d.asked;
        EXPECT_EQ(image.PaletteSize(), d.entries) << d.asked;
        // Rows are padded to 32 bits.
        EXPECT_EQ(image.Info().effectiveWidth, ((5 * d.made + 31) / 32) * 4) << d.asked;
    }
}

TEST(CxMemFile, ReadsWithinItsBytesAndWritesIntoItsOwnBuffer) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    CxMemFile file(bytes, sizeof bytes);
    uint8_t out[8] = {};
    EXPECT_EQ(file.Read(out, 2, 4), 2u); // whole elements only
    EXPECT_EQ(file.Tell(), 5);
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.GetC(), -1);
    EXPECT_TRUE(file.Seek(-10, 1));
    EXPECT_EQ(file.Tell(), 0); // clamped at the start
    EXPECT_EQ(file.GetC(), 1);
    // Writing copies the borrowed bytes first: the resource is never written.
    EXPECT_TRUE(file.Seek(0, 2));
    EXPECT_TRUE(file.PutC(6));
    EXPECT_EQ(file.Size(), 6);
    EXPECT_EQ(bytes[4], 5);
    EXPECT_NE(file.Data(), bytes);
    EXPECT_EQ(file.Data()[5], 6);
    EXPECT_TRUE(file.Seek(2, 0));
    EXPECT_EQ(file.Read(out, 1, 8), 4u);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[3], 6);
}

}  // namespace
