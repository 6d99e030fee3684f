#include "PixelExchange.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "HostContext.h"
#include "HostPlatform.h"

namespace qvhost {
namespace {

constexpr int16_t kBadParameter = -50;
constexpr int16_t kMemoryFull = -108;
constexpr int16_t kPadRepeatEdge = -1;
constexpr int16_t kPadNone = -2;
constexpr int16_t kPadError = -3;

PixelRect ToPixelRect(const Rect16& r) { return {r.top, r.left, r.bottom, r.right}; }

int64_t Area(const PixelRect& r) { return r.Empty() ? 0 : int64_t{r.Width()} * r.Height(); }

Fixed16 RateOrOne(Fixed16 rate) { return rate <= 0 ? 0x10000 : rate; }

int32_t Sampled(int32_t coordinate, Fixed16 rate) {
    return static_cast<int32_t>((int64_t{coordinate} * rate) >> 16);
}

void StoreSample(uint8_t* at, int bytes, uint16_t value) {
    if (bytes == 2) std::memcpy(at, &value, 2);
    else *at = static_cast<uint8_t>(value);
}

uint16_t LoadSample(const uint8_t* at, int bytes) {
    if (bytes == 1) return *at;
    uint16_t value;
    std::memcpy(&value, at, 2);
    return value;
}

uint16_t PaddingValue(int16_t padding, const ImageMode& mode) {
    return mode.depth == 16 ? Widen8To16(static_cast<uint16_t>(padding)) : static_cast<uint16_t>(padding);
}

// Where a subsampled coordinate reads in the document, or -1 when it lies outside and is padded.
int32_t SourceCoordinate(int32_t coordinate, Fixed16 rate, int32_t extent, int16_t padding) {
    const int32_t source = Sampled(coordinate, rate);
    if (source >= 0 && source < extent) return source;
    return padding == kPadRepeatEdge ? std::clamp(source, 0, extent - 1) : -1;
}

bool NeedsPadding(const PixelRect& request, Fixed16 rate, const Document& document) {
    if (request.Empty()) return false;
    return request.top < 0 || request.left < 0 || Sampled(request.bottom - 1, rate) >= document.Height() ||
           Sampled(request.right - 1, rate) >= document.Width();
}

// Fills interleaved planes lo..hi of a rectangle; sample(plane, x, y) reads the document.
template <typename SampleFn>
void FillArea(std::vector<uint8_t>& buffer, const PixelRect& rect, int lo, int hi, Fixed16 rate, int16_t padding,
              const Document& document, SampleFn sample) {
    const int bytes = document.Mode().BytesPerSample();
    const int planes = hi - lo + 1;
    const uint16_t pad = padding >= 0 ? PaddingValue(padding, document.Mode()) : 0;
    uint8_t* at = buffer.data();
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        const int32_t sy = SourceCoordinate(y, rate, document.Height(), padding);
        for (int32_t x = rect.left; x < rect.right; ++x) {
            const int32_t sx = SourceCoordinate(x, rate, document.Width(), padding);
            for (int p = 0; p < planes; ++p, at += bytes)
                StoreSample(at, bytes, sy < 0 || sx < 0 ? pad : sample(lo + p, sx, sy));
        }
    }
}

// The common request: the document's own planes at rate 1, wholly inside it. Rows are copied
// plane by plane, with no per-sample coordinate work.
bool InsideAtRateOne(const PixelRect& rect, Fixed16 rate, const Document& document) {
    return rate == 0x10000 && rect.top >= 0 && rect.left >= 0 && rect.bottom <= document.Height() &&
           rect.right <= document.Width();
}

template <typename Sample>
void InterleaveRows(uint8_t* buffer, const PixelRect& rect, int lo, int hi, const Document& document) {
    const int planes = hi - lo + 1;
    const size_t rowBytes = static_cast<size_t>(rect.Width()) * planes * sizeof(Sample);
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        auto* row = reinterpret_cast<Sample*>(buffer + static_cast<size_t>(y - rect.top) * rowBytes);
        for (int p = 0; p < planes; ++p) {
            const uint16_t* source = document.PlaneRow(lo + p, y) + rect.left;
            Sample* at = row + p;
            for (int32_t x = 0; x < rect.Width(); ++x, at += planes) *at = static_cast<Sample>(source[x]);
        }
    }
}

void FillDocumentArea(std::vector<uint8_t>& buffer, const PixelRect& rect, int lo, int hi, Fixed16 rate,
                      int16_t padding, const Document& document) {
    if (!InsideAtRateOne(rect, rate, document)) {
        FillArea(buffer, rect, lo, hi, rate, padding, document,
                 [&](int plane, int32_t sx, int32_t sy) { return document.Sample(plane, sx, sy); });
    } else if (document.Mode().BytesPerSample() == 2) {
        InterleaveRows<uint16_t>(buffer.data(), rect, lo, hi, document);
    } else {
        InterleaveRows<uint8_t>(buffer.data(), rect, lo, hi, document);
    }
}

// The part of a rectangle that lies in another (empty when they do not meet).
PixelRect Intersection(const PixelRect& a, const PixelRect& b) {
    const PixelRect r{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
                      std::min(a.right, b.right)};
    return r.Empty() ? PixelRect{} : r;
}

// Output written back unmasked: each plane's row of the part `kept` straight into the document,
// clamped to full.
template <typename Sample>
void DeinterleaveRows(const uint8_t* buffer, size_t rowBytes, const PixelRect& rect, const PixelRect& kept, int lo,
                      int planes, uint32_t full, Document& document) {
    const int32_t top = kept.top, bottom = kept.bottom, left = kept.left, right = kept.right;
    for (int32_t y = top; y < bottom; ++y) {
        const auto* row = reinterpret_cast<const Sample*>(buffer + static_cast<size_t>(y - rect.top) * rowBytes) +
                          static_cast<size_t>(left - rect.left) * planes;
        for (int p = 0; p < planes; ++p) {
            uint16_t* target = document.PlaneRow(lo + p, y);
            const Sample* at = row + p;
            for (int32_t x = left; x < right; ++x, at += planes)
                target[x] = static_cast<uint16_t>(std::min<uint32_t>(*at, full));
        }
    }
}

int64_t TilesCovered(const PixelRect& r, int32_t tile) {
    if (tile <= 0 || r.Empty()) return 0;
    const auto span = [tile](int32_t a, int32_t b) {
        const auto floorDiv = [tile](int32_t v) { return v >= 0 ? v / tile : -((-v + tile - 1) / tile); };
        return int64_t{floorDiv(b - 1) - floorDiv(a) + 1};
    };
    return span(r.top, r.bottom) * span(r.left, r.right);
}

bool PlanesValid(int16_t lo, int16_t hi, int planes) { return lo >= 0 && lo <= hi && hi < planes; }

// What one area of a request needs, checked before anything is filled.
struct AreaRequest {
    PixelRect rect;
    int lo = 0, hi = 0;
    int64_t bytes = 0;
};

int16_t Check(const AreaRequest& area, int16_t padding, Fixed16 rate, const Document& document) {
    if (area.rect.Empty()) return 0;
    if (!PlanesValid(static_cast<int16_t>(area.lo), static_cast<int16_t>(area.hi), document.SamplePlanes()))
        return kBadParameter;
    if (padding == kPadError && NeedsPadding(area.rect, rate, document)) return kBadParameter;
    return 0;
}

}  // namespace

void WriteBackOutput(HostContext& c) {
    PixelExchange& x = c.pixels;
    if (!x.outputPending) return;
    x.outputPending = false;
    const PixelRect rect = ToPixelRect(x.outRect);
    Document& document = c.document;
    // Only the filter rectangle takes the output, as a host commits a filter: what lies outside
    // the selection's bounds (or outside the document) stays as it was, whatever the plug-in wrote.
    const PixelRect kept = Intersection(rect, document.FilterRect());
    if (kept.Empty()) return;
    const int bytes = document.Mode().BytesPerSample();
    const int planes = x.outHiPlane - x.outLoPlane + 1;
    const uint32_t full = document.Mode().FullValue();
    const bool masked = c.record.autoMask && document.HasSelection();
    c.statistics.bytesWrittenBack += int64_t{kept.Height()} * kept.Width() * planes * bytes;
    if (!masked) {
        if (bytes == 2)
            DeinterleaveRows<uint16_t>(x.out.data(), x.outRowBytes, rect, kept, x.outLoPlane, planes, full, document);
        else
            DeinterleaveRows<uint8_t>(x.out.data(), x.outRowBytes, rect, kept, x.outLoPlane, planes, full, document);
        return;
    }
    for (int32_t y = kept.top; y < kept.bottom; ++y) {
        const uint8_t* row = x.out.data() + static_cast<size_t>(y - rect.top) * x.outRowBytes;
        for (int32_t px = kept.left; px < kept.right; ++px) {
            const uint8_t* pixel = row + static_cast<size_t>(px - rect.left) * planes * bytes;
            const uint32_t coverage = document.Coverage(px, y);
            if (coverage == 0) continue;
            for (int p = 0; p < planes; ++p) {
                const int64_t value = std::min<uint32_t>(LoadSample(pixel + p * bytes, bytes), full);
                const int64_t old = document.Sample(x.outLoPlane + p, px, y);
                document.SetSample(x.outLoPlane + p, px, y,
                                   static_cast<uint16_t>(old + (value - old) * int64_t{coverage} / 255));
            }
        }
    }
}

bool CheckDataFields(HostContext& c, const char* when) {
    const FilterRecord& r = c.record;
    const PixelExchange& x = c.pixels;
    if (r.inData == x.handedIn && r.outData == x.handedOut && r.maskData == x.handedMask) return true;
    ++c.statistics.foreignDataPointers;
    c.log.Format("  %s: the record's data fields hold pointers the host did not hand out (in %s, out %s, mask %s)",
                 when, r.inData == x.handedIn ? "kept" : "changed", r.outData == x.handedOut ? "kept" : "changed",
                 r.maskData == x.handedMask ? "kept" : "changed");
    return false;
}

int16_t DeliverRequest(HostContext& c) {
    WriteBackOutput(c);
    FilterRecord& r = c.record;
    PixelExchange& x = c.pixels;
    const Document& document = c.document;
    const int bytes = document.Mode().BytesPerSample();
    ++c.statistics.advanceStateCalls;
    c.statistics.lastInputRate = r.inputRate;

    const Fixed16 inRate = RateOrOne(r.inputRate), maskRate = RateOrOne(r.maskRate);
    AreaRequest in{ToPixelRect(r.inRect), r.inLoPlane, r.inHiPlane};
    AreaRequest out{ToPixelRect(r.outRect), r.outLoPlane, r.outHiPlane};
    AreaRequest mask{document.HasSelection() ? ToPixelRect(r.maskRect) : PixelRect{}, 0, 0};
    for (AreaRequest* area : {&in, &out, &mask})
        area->bytes = Area(area->rect) * std::max(area->hi - area->lo + 1, 0) * bytes;
    for (int16_t error : {Check(in, r.inputPadding, inRate, document), Check(out, kPadNone, 0x10000, document),
                          Check(mask, r.maskPadding, maskRate, document)})
        if (error) {
            c.log.Format("  advanceState refused: a rectangle or plane range the document does not have");
            return error;
        }
    if (in.bytes + out.bytes + mask.bytes > c.options.budget) {
        c.log.Format("  advanceState refused: %lld bytes asked, budget %lld",
                     static_cast<long long>(in.bytes + out.bytes + mask.bytes), static_cast<long long>(c.options.budget));
        return kMemoryFull;
    }

    x.in.assign(static_cast<size_t>(in.bytes), 0);
    // The run's starting image serves the input while it still describes the same pixels (the
    // host may have changed the document's planes since, as a new layer does).
    const Document* source = c.inputSource;
    if (source && (source->Width() != document.Width() || source->Height() != document.Height() ||
                   source->SamplePlanes() != document.SamplePlanes() || !(source->Mode() == document.Mode())))
        source = nullptr;
    if (in.bytes) FillDocumentArea(x.in, in.rect, in.lo, in.hi, inRate, r.inputPadding, source ? *source : document);
    x.out.assign(static_cast<size_t>(out.bytes), 0);
    if (out.bytes) FillDocumentArea(x.out, out.rect, out.lo, out.hi, 0x10000, kPadNone, document);
    x.mask.assign(static_cast<size_t>(mask.bytes), 0);
    if (mask.bytes) {
        const bool wide = document.Mode().depth == 16;
        FillArea(x.mask, mask.rect, 0, 0, maskRate, r.maskPadding, document, [&](int, int32_t sx, int32_t sy) {
            const uint16_t coverage = document.Coverage(sx, sy);
            return wide ? Widen8To16(coverage) : coverage;
        });
    }
    c.statistics.bytesDelivered += in.bytes + out.bytes + mask.bytes;
    c.statistics.outputPixelsOutsideFilter += Area(out.rect) - Area(Intersection(out.rect, document.FilterRect()));
    c.statistics.tilesAssembled += TilesCovered(in.rect, c.options.tile) + TilesCovered(out.rect, c.options.tile);

    r.inData = in.bytes ? x.in.data() : nullptr;
    r.inRowBytes = in.bytes ? in.rect.Width() * (in.hi - in.lo + 1) * bytes : 0;
    r.inColumnBytes = (in.hi - in.lo + 1) * bytes;
    r.inPlaneBytes = bytes;
    r.outData = out.bytes ? x.out.data() : nullptr;
    r.outRowBytes = out.bytes ? out.rect.Width() * (out.hi - out.lo + 1) * bytes : 0;
    r.outColumnBytes = (out.hi - out.lo + 1) * bytes;
    r.outPlaneBytes = bytes;
    r.maskData = mask.bytes ? x.mask.data() : nullptr;
    r.maskRowBytes = mask.bytes ? mask.rect.Width() * bytes : 0;
    x.handedIn = r.inData;
    x.handedOut = r.outData;
    x.handedMask = r.maskData;

    x.outRect = r.outRect;
    x.outLoPlane = r.outLoPlane;
    x.outHiPlane = r.outHiPlane;
    x.outRowBytes = r.outRowBytes;
    x.outputPending = out.bytes > 0;
    return 0;
}

namespace {

OSErr16 AdvanceState() {
    HostContext& c = *ActiveContext();
    CheckDataFields(c, "advanceState");
    return DeliverRequest(c);
}

// The grey of the checkerboard a host shows under transparent pixels: squares of 8 pixels of the
// window, white and light grey.
constexpr int32_t kCheckSize = 8;
uint32_t CheckerboardAt(int32_t x, int32_t y) { return ((x / kCheckSize + y / kCheckSize) % 2) ? 0xCC : 0xFF; }

// The opacity of a map's pixel (row and column from its bounds' corner) through its mask chain:
// the product of the masks, an inverted mask counting 255 minus its value.
uint32_t MaskOpacity(const PixelMap& map, int32_t row, int32_t column, bool wide) {
    uint32_t opacity = 255;
    for (const PixelMask* mask = map.masks; mask; mask = mask->next) {
        if (!mask->maskData) continue;
        const uint8_t* at = static_cast<const uint8_t*>(mask->maskData) + int64_t{row} * mask->rowBytes +
                            int64_t{column} * mask->colBytes;
        uint32_t value = wide ? Narrow16To8(LoadSample(at, 2)) : *at;
        if (mask->maskDescription == kMaskDescriptionInvert) value = 255 - value;
        opacity = (opacity * value + 127) / 255;
    }
    return opacity;
}

// Draws a pixel map into the device context: gray, RGB or (inverted) CMYK at 8 or 16 bits, shown
// through the masks of a map of version 1.
OSErr16 DisplayPixels(const PixelMap* source, const Rect32* area, int32_t dstRow, int32_t dstCol, void* platformContext) {
    HostContext& c = *ActiveContext();
    ++c.statistics.displayPixelsCalls;
    if (!source || !area || !source->baseAddr || !platformContext) return kBadParameter;
    const Rect32& b = source->bounds;
    if (area->top < b.top || area->left < b.left || area->bottom > b.bottom || area->right > b.right ||
        area->bottom <= area->top || area->right <= area->left)
        return kBadParameter;
    const int16_t mode = static_cast<int16_t>(source->imageMode);
    const bool wide = mode == kModeGray16 || mode == kModeRGB48 || mode == kModeCMYK64;
    const int planes = (mode == kModeGrayScale || mode == kModeGray16) ? 1
                       : (mode == kModeRGBColor || mode == kModeRGB48) ? 3
                       : (mode == kModeCMYKColor || mode == kModeCMYK64) ? 4 : 0;
    if (planes == 0) return kBadParameter;
    const int32_t width = area->right - area->left, height = area->bottom - area->top;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    const auto* base = static_cast<const uint8_t*>(source->baseAddr);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t xx = 0; xx < width; ++xx) {
            const uint8_t* pixel = base + int64_t{area->top - b.top + y} * source->rowBytes +
                                   int64_t{area->left - b.left + xx} * source->colBytes;
            uint32_t v[4] = {};
            for (int p = 0; p < planes; ++p) {
                const uint8_t* at = pixel + int64_t{p} * source->planeBytes;
                v[p] = wide ? Narrow16To8(LoadSample(at, 2)) : *at;
            }
            if (planes == 1) v[1] = v[2] = v[0];
            if (planes == 4)
                for (int i = 0; i < 3; ++i) v[i] = (v[i] * v[3] + 127) / 255;
            // A map of version 1 shows through its masks over the checkerboard of transparency.
            const uint32_t opacity = source->version >= kPixelMapVersionWithMasks
                                         ? MaskOpacity(*source, area->top - b.top + y, area->left - b.left + xx, wide)
                                         : 255;
            if (opacity < 255) {
                const uint32_t check = CheckerboardAt(dstCol + xx, dstRow + y);
                for (int i = 0; i < 3; ++i) v[i] = (v[i] * opacity + check * (255 - opacity) + 127) / 255;
            }
            pixels[static_cast<size_t>(y) * width + xx] = (v[0] << 16) | (v[1] << 8) | v[2];
        }
    BITMAPINFO info = TopDown32BitBitmap(width, height);
    const int drawn = SetDIBitsToDevice(static_cast<HDC>(platformContext), dstCol, dstRow, width, height, 0, 0, 0,
                                        height, pixels.data(), &info, DIB_RGB_COLORS);
    return drawn == 0 ? kBadParameter : 0;
}

}  // namespace

void InstallPixelProcs(HostContext& c) {
    c.record.advanceState = c.options.noAdvanceState ? nullptr : AdvanceState;
    c.record.displayPixels = DisplayPixels;
    c.record.supportsPadding = 1;
    c.record.samplingSupport = 1;
    c.record.inputPadding = c.record.maskPadding = 0;
    c.record.outputPadding = kPadNone;
    c.record.inputRate = c.record.maskRate = 0x10000;
}

}  // namespace qvhost
