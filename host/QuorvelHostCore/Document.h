// The host's document: planar samples in one image mode, with an optional selection mask.
//
// Samples are kept as 16-bit numbers whatever the depth: 0..255 in an 8-bit document, 0..32768 in
// a 16-bit one, which is how the plug-in interface hands them out. CMYK planes hold the inverted
// ink (the full value is paper white, as the plug-in interface delivers CMYK).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvhost {

enum class ColorMode { Gray, RGB, CMYK };

struct ImageMode {
    ColorMode color = ColorMode::RGB;
    int depth = 8;  // bits per sample: 8 or 16

    int Planes() const { return color == ColorMode::Gray ? 1 : color == ColorMode::RGB ? 3 : 4; }
    int BytesPerSample() const { return depth / 8; }
    uint16_t FullValue() const { return depth == 16 ? 32768 : 255; }
    // The filter record's image mode number.
    int16_t RecordMode() const;
    // "gray8", "rgb16", ...
    std::string Name() const;
    bool operator==(const ImageMode& other) const = default;
};

// Parses "gray8", "gray16", "rgb8", "rgb16", "cmyk8", "cmyk16".
std::optional<ImageMode> ParseImageMode(const std::string& text);

struct PixelRect {
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool operator==(const PixelRect& other) const = default;
};

// A picture as read from or written to a file: interleaved gray (1 channel) or RGB (3 channels)
// samples at 8 bits (0..255) or 16 bits (0..65535).
struct RasterImage {
    int32_t width = 0;
    int32_t height = 0;
    int channels = 3;
    int bitDepth = 8;
    std::vector<uint16_t> samples;
};

class Document {
public:
    Document() = default;
    Document(int32_t width, int32_t height, ImageMode mode);

    // Converts a picture into the mode: 8-bit v becomes (v x 32897) >> 8 in a 16-bit document and
    // 16-bit x becomes (x + 1) >> 1; 16-bit into 8-bit rounds x x 255 / 65535.
    static Document FromImage(const RasterImage& image, ImageMode mode);
    // Gray or RGB at the document's depth; 16-bit samples widen with (x x 65535) >> 15, CMYK is
    // converted to RGB.
    RasterImage ToImage() const;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    const ImageMode& Mode() const { return mode_; }
    // The colour planes.
    int Planes() const { return mode_.Planes(); }
    // Every plane the document stores: the colour planes, then the target layer's transparency
    // when it has one (plane Planes(), 0 clear .. the full value opaque).
    int SamplePlanes() const { return static_cast<int>(planes_.size()); }
    bool HasTransparency() const { return SamplePlanes() > Planes(); }
    // Gives the document a transparency plane of this value everywhere (or sets it so).
    void SetTransparency(uint16_t value);
    PixelRect Bounds() const { return {0, 0, height_, width_}; }

    uint16_t Sample(int plane, int32_t x, int32_t y) const { return planes_[plane][Index(x, y)]; }
    void SetSample(int plane, int32_t x, int32_t y, uint16_t value) { planes_[plane][Index(x, y)] = value; }
    uint16_t* PlaneRow(int plane, int32_t y) { return planes_[plane].data() + Index(0, y); }
    const uint16_t* PlaneRow(int plane, int32_t y) const { return planes_[plane].data() + Index(0, y); }

    // The selection: one 8-bit coverage value a pixel (255 selected), or none for the whole image.
    void Select(const PixelRect& area);
    // Shapes the selection: one pixel inside its bounds gets this coverage (a soft edge, a hole).
    // The bounds stay those of the rectangle selected; pixels outside them are left unselected.
    void SetCoverage(int32_t x, int32_t y, uint8_t coverage);
    void Deselect();
    bool HasSelection() const { return !selection_.empty(); }
    uint8_t Coverage(int32_t x, int32_t y) const { return selection_.empty() ? 255 : selection_[Index(x, y)]; }
    // The selection's bounds, or the whole image.
    PixelRect FilterRect() const;

    bool operator==(const Document& other) const = default;

private:
    size_t Index(int32_t x, int32_t y) const { return static_cast<size_t>(y) * static_cast<size_t>(width_) + x; }

    int32_t width_ = 0;
    int32_t height_ = 0;
    ImageMode mode_;
    std::vector<std::vector<uint16_t>> planes_;
    std::vector<uint8_t> selection_;
    PixelRect selectionBounds_;
};

// Per-sample conversions between the depths.
uint16_t Widen8To16(uint16_t v);    // (v x 32897) >> 8: 255 becomes 32768
uint16_t Narrow16To8(uint16_t x);   // the nearest 8-bit value of a 0..32768 sample
uint16_t HostToFile16(uint16_t x);  // (x x 65535) >> 15
uint16_t FileToHost16(uint16_t x);  // (x + 1) >> 1

}  // namespace qvhost
