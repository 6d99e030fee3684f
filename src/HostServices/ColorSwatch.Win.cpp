#include "ColorSwatch.h"

#include <vector>

#include "Errors.h"
#include "Geometry.h"
#include "HostMemory.h"
#include "HostPixels.h"
#include "HostServices.h"
#include "ImageModes.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// Sets the port's fore colour for one drawing step and gives the old one back afterwards.
class ForeColour {
public:
    ForeColour(DrawingPort& port, COLORREF colour) : port_(port), saved_(port.foreColor) { Set(colour); }
    ForeColour(const ForeColour&) = delete;
    ForeColour& operator=(const ForeColour&) = delete;
    ~ForeColour() {
        port_.foreColor = saved_;
        UpdatePenAndBrushes(port_);
    }
    void Set(COLORREF colour) {
        port_.foreColor = colour;
        UpdatePenAndBrushes(port_);
    }

private:
    DrawingPort& port_;
    COLORREF saved_;
};

void DrawNoColour(DrawingPort& port, const Rect16& rect, HDC dc) {
    ForeColour colour(port, kWhite);
    PaintRect(port, rect, dc);
    colour.Set(kBlack);
    FrameRect(port, rect, dc);
    PortLineTo(port, Point16{rect.top, rect.left}, Point16{rect.bottom, rect.right}, dc);
    PortLineTo(port, Point16{rect.top, rect.right}, Point16{rect.bottom, rect.left}, dc);
}

COLORREF RgbOf(ColorRecord colour, const ColourContext& host) {
    if (colour.space != kSpaceGray) ConvertColorRecord(colour, kSpaceRGB, host);
    if (colour.space == kSpaceGray) return RGB(colour.components[0], colour.components[0], colour.components[0]);
    return RGB(colour.components[0], colour.components[1], colour.components[2]);
}

// One colour as a pixel map in the 8-bit form of the document's mode, with a mask of its opacity
// when it is translucent.
void DrawThroughHost(const FilterRecord& record, ColorRecord colour, DrawingPort& port, const Rect16& rect,
                     bool translucent, HDC dc) {
    const ImageModeInfo* mode = FindImageMode(record.imageMode);
    if (!mode) THROW_IF_ERROR(Err::HostUnsupported);
    const int16_t eightBitMode = mode->eightBitMode;
    const int32_t planes = ColourPlanesOfMode(eightBitMode);
    ConvertColorRecord(colour, ColourSpaceOfMode(eightBitMode), ColourContext::Of(&record));
    const int32_t width = RectWidth(rect), height = RectHeight(rect);
    if (width <= 0 || height <= 0 || planes <= 0) return;

    BufferRecord pixels, mask;
    THROW_IF_ERROR(pixels.Allocate(int64_t{width} * height * planes));
    char* samples = pixels.Lock();
    if (!samples) THROW_IF_ERROR(Err::MemoryFull);
    for (int64_t i = 0; i < int64_t{width} * height; ++i)
        for (int32_t p = 0; p < planes; ++p) samples[i * planes + p] = static_cast<char>(colour.components[p]);

    PixelMap map{};
    map.version = 1;
    map.bounds = Rect32{0, 0, height, width};
    map.imageMode = eightBitMode;
    map.rowBytes = width * planes;
    map.colBytes = planes;
    map.planeBytes = 1;
    map.baseAddr = samples;
    PixelMask opacity{};
    if (translucent) {
        THROW_IF_ERROR(mask.Allocate(int64_t{width} * height));
        char* coverage = mask.Lock();
        if (!coverage) THROW_IF_ERROR(Err::MemoryFull);
        std::fill_n(coverage, int64_t{width} * height, static_cast<char>(colour.opacity));
        opacity.maskData = coverage;
        opacity.rowBytes = width;
        opacity.colBytes = 1;
        opacity.maskDescription = kMaskDescriptionSimple;
        map.masks = &opacity;
    }
    const ErrorCode error =
        dc ? DisplayPixelMapInto(record.displayPixels, map, map.bounds, rect.top, rect.left, dc)
           : DisplayPixelMap(record.displayPixels, map, map.bounds, rect.top, rect.left, port.window, port.clipRgn.Get());
    pixels.Free();
    mask.Free();
    THROW_IF_ERROR(error);
}

}  // namespace

void DrawColorSwatch(const FilterRecord* hostRecord, const ColorRecord& record, DrawingPort& port, const Rect16& rect,
                     bool ignoreOpacity, HDC dc) {
    if (record.space < 0) {
        DrawNoColour(port, rect, dc);
        return;
    }
    const FilterRecord& host = *hostRecord;
    const ColourContext colours = ColourContext::Of(&host);
    const bool duotone = host.imageMode == kModeDuotone || host.imageMode == kModeDuotone16;
    const bool opaque = record.opacity == 255 || ignoreOpacity;
    if (GetHostKind() != kHostKindPhotoPnt && !duotone && opaque) {
        ColorRecord inDocument = record;
        ConvertColorRecord(inDocument, -1, colours);
        ForeColour colour(port, RgbOf(inDocument, colours));
        PaintRect(port, rect, dc);
        colour.Set(kBlack);
        FrameRect(port, rect, dc);
        return;
    }
    DrawThroughHost(host, record, port, rect, !opaque, dc);
}
