#include "Document.h"

#include <algorithm>

#include "PluginInterface.h"

namespace qvhost {

int16_t ImageMode::RecordMode() const {
    switch (color) {
    case ColorMode::Gray: return depth == 16 ? kModeGray16 : kModeGrayScale;
    case ColorMode::RGB: return depth == 16 ? kModeRGB48 : kModeRGBColor;
    case ColorMode::CMYK: return depth == 16 ? kModeCMYK64 : kModeCMYKColor;
    }
    return kModeRGBColor;
}

std::string ImageMode::Name() const {
    const char* color_name = color == ColorMode::Gray ? "gray" : color == ColorMode::RGB ? "rgb" : "cmyk";
    return color_name + std::to_string(depth);
}

std::optional<ImageMode> ParseImageMode(const std::string& text) {
    for (ColorMode color : {ColorMode::Gray, ColorMode::RGB, ColorMode::CMYK})
        for (int depth : {8, 16}) {
            const ImageMode mode{color, depth};
            if (mode.Name() == text) return mode;
        }
    return std::nullopt;
}

uint16_t Widen8To16(uint16_t v) { return static_cast<uint16_t>((uint32_t{v} * 32897) >> 8); }
uint16_t Narrow16To8(uint16_t x) { return static_cast<uint16_t>((uint32_t{x} * 255 + 16384) / 32768); }
uint16_t HostToFile16(uint16_t x) { return static_cast<uint16_t>((uint32_t{x} * 65535) >> 15); }
uint16_t FileToHost16(uint16_t x) { return static_cast<uint16_t>((uint32_t{x} + 1) >> 1); }

namespace {

// Gray from RGB with integer weights summing to 128.
uint16_t Luminance(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint16_t>((r * 38 + g * 76 + b * 14 + 64) >> 7);
}

// RGB to inverted CMYK: k is the brightest channel, each ink the channel relative to it, so that
// channel = ink x k / full again.
void RgbToCmyk(const uint32_t rgb[3], uint32_t full, uint16_t out[4]) {
    const uint32_t top = std::max({rgb[0], rgb[1], rgb[2]});
    for (int i = 0; i < 3; ++i) out[i] = static_cast<uint16_t>(top == 0 ? full : (rgb[i] * full + top / 2) / top);
    out[3] = static_cast<uint16_t>(top);
}

}  // namespace

Document::Document(int32_t width, int32_t height, ImageMode mode)
    : width_(width), height_(height), mode_(mode),
      planes_(static_cast<size_t>(mode.Planes()), std::vector<uint16_t>(static_cast<size_t>(width) * height)) {}

Document Document::FromImage(const RasterImage& image, ImageMode mode) {
    Document document(image.width, image.height, mode);
    const auto toDepth = [&](uint16_t v) -> uint32_t {
        if (image.bitDepth == 8) return mode.depth == 16 ? Widen8To16(v) : v;
        return mode.depth == 16 ? FileToHost16(v) : (uint32_t{v} * 255 + 32767) / 65535;
    };
    const uint32_t full = mode.FullValue();
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const uint16_t* pixel = &image.samples[(static_cast<size_t>(y) * image.width + x) * image.channels];
            uint32_t rgb[3];
            for (int i = 0; i < 3; ++i) rgb[i] = toDepth(pixel[image.channels == 1 ? 0 : i]);
            switch (mode.color) {
            case ColorMode::Gray:
                document.SetSample(0, x, y, image.channels == 1 ? rgb[0] : Luminance(rgb[0], rgb[1], rgb[2]));
                break;
            case ColorMode::RGB:
                for (int i = 0; i < 3; ++i) document.SetSample(i, x, y, static_cast<uint16_t>(rgb[i]));
                break;
            case ColorMode::CMYK: {
                uint16_t cmyk[4];
                RgbToCmyk(rgb, full, cmyk);
                for (int i = 0; i < 4; ++i) document.SetSample(i, x, y, cmyk[i]);
                break;
            }
            }
        }
    return document;
}

RasterImage Document::ToImage() const {
    RasterImage image;
    image.width = width_;
    image.height = height_;
    image.channels = mode_.color == ColorMode::Gray ? 1 : 3;
    image.bitDepth = mode_.depth;
    image.samples.resize(static_cast<size_t>(width_) * height_ * image.channels);
    const uint32_t full = mode_.FullValue();
    const auto toFile = [&](uint32_t v) { return static_cast<uint16_t>(mode_.depth == 16 ? HostToFile16(v) : v); };
    uint16_t* out = image.samples.data();
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x) {
            if (mode_.color == ColorMode::CMYK) {
                const uint32_t k = Sample(3, x, y);
                for (int i = 0; i < 3; ++i) *out++ = toFile((Sample(i, x, y) * k + full / 2) / full);
            } else {
                for (int i = 0; i < image.channels; ++i) *out++ = toFile(Sample(i, x, y));
            }
        }
    return image;
}

void Document::Select(const PixelRect& area) {
    selectionBounds_ = {std::clamp(area.top, 0, height_), std::clamp(area.left, 0, width_),
                        std::clamp(area.bottom, 0, height_), std::clamp(area.right, 0, width_)};
    selection_.assign(static_cast<size_t>(width_) * height_, 0);
    for (int32_t y = selectionBounds_.top; y < selectionBounds_.bottom; ++y)
        std::fill_n(selection_.begin() + Index(selectionBounds_.left, y), selectionBounds_.Width(), uint8_t{255});
}

void Document::SetCoverage(int32_t x, int32_t y, uint8_t coverage) {
    if (!HasSelection() || y < selectionBounds_.top || y >= selectionBounds_.bottom || x < selectionBounds_.left ||
        x >= selectionBounds_.right)
        return;
    selection_[Index(x, y)] = coverage;
}

void Document::Deselect() {
    selection_.clear();
    selectionBounds_ = PixelRect{};
}

void Document::SetTransparency(uint16_t value) {
    planes_.resize(static_cast<size_t>(Planes()) + 1);
    planes_.back().assign(static_cast<size_t>(width_) * height_, value);
}

PixelRect Document::FilterRect() const { return selection_.empty() ? Bounds() : selectionBounds_; }

}  // namespace qvhost
