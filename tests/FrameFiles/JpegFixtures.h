// Frame files made at run time: JPEG streams written by libjpeg's compressor, and the containers
// and sets that wrap them, in a test's temporary folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// What a JPEG holds. Pixels are interleaved, `components` bytes each (CMYK as libjpeg stores it:
// 255 = no ink), rows top down.
struct JpegImage {
    int width = 16;
    int height = 16;
    int components = 1;  // 1 grey, 3 RGB, 4 CMYK, 2 a layout no reader supports
    Bytes pixels;
    int quality = 100;
    bool jfif = true;        // write the JFIF header (grey and RGB only)
    uint8_t densityUnit = 0;  // the JFIF header's
    uint16_t xDensity = 1;
    uint16_t yDensity = 1;
    std::vector<Bytes> app13;  // payloads of APP13 markers, written after the JFIF header
};

// An image whose pixel (x, y) is made by `pixel`, which fills `components` bytes.
JpegImage MakeImage(int width, int height, int components,
                    const std::function<void(int x, int y, uint8_t* pixel)>& pixel);
// An image of one colour.
JpegImage FlatImage(int width, int height, const Bytes& colour);

// The compressed stream; empty when libjpeg refused.
Bytes EncodeJpeg(const JpegImage& image);

// An APP13 block of image resources holding the resolution resource (1005): resolutions in
// pixels per inch (16.16), their display unit (1 inch, 2 centimetre) and the size display units.
Bytes ResolutionBlock(double horizontal, double vertical, uint16_t unit, uint16_t widthUnit = 1,
                      uint16_t heightUnit = 1);
// An image resource ("8BIM", id, empty name, the data size as given, then the data).
Bytes ImageResource(uint16_t id, const Bytes& data, uint32_t claimedSize);

// An .AFX container: the magic, the JPEG's offset at 284, an optional raw thumbnail at 1024 (its
// 24-byte header then its data), and the JPEG. jpegAt is where the JPEG goes (at least past what
// comes before it).
struct RawThumbnailSpec {
    uint32_t headerSize = 24;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t dataSize = 0;
    Bytes data;
};
Bytes MakeAfx(const Bytes& jpeg, uint32_t jpegAt, const RawThumbnailSpec* thumbnail);

void Append(Bytes& to, const Bytes& more);
bool WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
