#include "ShownImage.h"

#include <algorithm>
#include <cstring>

#include "DrawingGuards.h"
#include "Errors.h"
#include "Geometry.h"
#include "HostPixels.h"
#include "ImageModes.h"

namespace {

// Each sample of the view where no tile has arrived yet: the dialog's dark face.
constexpr uint8_t kUnrenderedSample = 0x2F;
// displayPixels is fed in bands of at most this many bytes a sample.
constexpr int64_t kDisplayBandBytes = 131072;

// Mask samples of full opacity: 255, or the system's 16-bit full value.
void FillOpaque(uint8_t* samples, int32_t count, int32_t bytes) {
    for (int32_t i = 0; i < count; ++i, samples += bytes) {
        if (bytes == 2) {
            const uint16_t full = kSample16Max;
            std::memcpy(samples, &full, sizeof full);
        } else {
            *samples = 0xFF;
        }
    }
}

// What the view shows where no tile has arrived yet: the dialog's dark face, opaque.
void FillUnrendered(std::vector<uint8_t>& pixels, int32_t colourPlanes, int32_t masks, int32_t bytes) {
    const int64_t pixelBytes = int64_t{colourPlanes + masks} * bytes;
    for (int64_t at = 0; at + pixelBytes <= static_cast<int64_t>(pixels.size()); at += pixelBytes) {
        std::memset(pixels.data() + at, kUnrenderedSample, static_cast<size_t>(colourPlanes) * bytes);
        FillOpaque(pixels.data() + at + int64_t{colourPlanes} * bytes, masks, bytes);
    }
}

}  // namespace

void ShownImage::Prepare(const FilterRecord& record, int32_t bytesPerSample, const PreviewRect& visible) {
    colourPlanes_ = std::max<int32_t>(ColourPlanesOfMode(record.imageMode), 1);
    masks_ = 0;
    if (record.outLayerPlanes > 0) {
        if (record.outTransparencyMask > 0) maskDescription_[masks_++] = kMaskDescriptionSimple;
        if (record.outLayerMasks > 0)
            maskDescription_[masks_++] = kMaskDescriptionSimple;
        else if (record.outInvertedLayerMasks > 0)
            maskDescription_[masks_++] = kMaskDescriptionInvert;
    }
    bytesPerSample_ = std::max(bytesPerSample, 1);
    Clear(visible);
}

void ShownImage::Clear(const PreviewRect& area) {
    rect_ = area;
    pixels_.resize(static_cast<size_t>(std::max<int64_t>(area.Height() * area.Width() * PixelBytes(), 0)));
    FillUnrendered(pixels_, colourPlanes_, masks_, bytesPerSample_);
    drawn_ = OwnedRgn(CreateRectRgn(0, 0, 0, 0));
}

PreviewRect ShownImage::MoveTo(const PreviewRect& visible) {
    const PreviewRect before = rect_;
    const std::vector<uint8_t> beforePixels = std::move(pixels_);
    const OwnedRgn beforeDrawn = std::move(drawn_);
    Clear(visible);
    const int64_t pixelBytes = PixelBytes();
    const PreviewRect keep{std::max(before.top, visible.top), std::max(before.left, visible.left),
                           std::min(before.bottom, visible.bottom), std::min(before.right, visible.right)};
    if (!keep.IsEmpty() && !beforePixels.empty()) {
        for (int32_t y = keep.top; y < keep.bottom; ++y)
            std::memcpy(pixels_.data() + ((y - visible.top) * visible.Width() + (keep.left - visible.left)) * pixelBytes,
                        beforePixels.data() + ((y - before.top) * before.Width() + (keep.left - before.left)) * pixelBytes,
                        static_cast<size_t>(keep.Width() * pixelBytes));
        drawn_ = OwnedRgn(CreateRectRgn(keep.left, keep.top, keep.right, keep.bottom));
    }
    if (beforeDrawn && drawn_) CombineRgn(drawn_.Get(), drawn_.Get(), beforeDrawn.Get(), RGN_AND);
    return keep;
}

bool ShownImage::Take(const PlaneView& from, const Rect16& tile) {
    if (pixels_.empty() || !from || from.planes < colourPlanes_) return false;
    const int32_t planes = Planes(), bytes = bytesPerSample_;
    const int64_t pixelBytes = PixelBytes();
    const int64_t shownRow = int64_t{rect_.right - rect_.left} * pixelBytes;
    const int32_t copied = std::min<int32_t>(from.planes, planes);
    const int32_t top = std::max<int32_t>(tile.top, rect_.top), bottom = std::min<int32_t>(tile.bottom, rect_.bottom);
    const int32_t left = std::max<int32_t>(tile.left, rect_.left), right = std::min<int32_t>(tile.right, rect_.right);
    if (top < bottom && left < right) {
        for (int32_t y = top; y < bottom; ++y) {
            uint8_t* to = pixels_.data() + (y - rect_.top) * shownRow + int64_t{left - rect_.left} * pixelBytes;
            for (int32_t x = left; x < right; ++x, to += pixelBytes) {
                std::memcpy(to, from.At(y - tile.top, x - tile.left), static_cast<size_t>(copied) * bytes);
                if (copied < planes) FillOpaque(to + int64_t{copied} * bytes, planes - copied, bytes);
            }
        }
    }
    if (drawn_) {
        const OwnedRgn piece = RegionOf(tile);
        CombineRgn(drawn_.Get(), drawn_.Get(), piece.Get(), RGN_OR);
    }
    return true;
}

void ShownImage::Draw(HDC dc, const PreviewRect& clientArea, const PreviewViewport& view, const FilterRecord& record) const {
    if (!record.displayPixels || pixels_.empty() || !dc) return;
    const PreviewRect& previewArea = view.area;
    const PreviewRect area{std::max(clientArea.top, previewArea.top), std::max(clientArea.left, previewArea.left),
                           std::min(clientArea.bottom, previewArea.bottom), std::min(clientArea.right, previewArea.right)};
    if (area.IsEmpty()) return;
    // The preview units the area shows, whole units, within the shown image.
    const PreviewPoint first = ClientToPreview({area.top, area.left}, previewArea, view.origin, view.zoom);
    const PreviewPoint last = ClientToPreview({area.bottom - 1, area.right - 1}, previewArea, view.origin, view.zoom);
    const PreviewRect units{std::max(first.v, rect_.top), std::max(first.h, rect_.left), std::min(last.v + 1, rect_.bottom),
                            std::min(last.h + 1, rect_.right)};
    if (units.IsEmpty()) return;
    const SaveClip clip(dc, RECT{area.left, area.top, area.right, area.bottom});
    const int32_t in = view.zoom.in, bytes = bytesPerSample_;
    const int64_t pixelBytes = PixelBytes();
    const int64_t shownRow = rect_.Width() * pixelBytes;
    const PreviewPoint origin = PreviewToClient({units.top, units.left}, previewArea, view.origin, view.zoom);
    PixelMap map{};
    map.version = masks_ > 0 ? kPixelMapVersionWithMasks : 0;
    map.imageMode = record.imageMode;
    map.colBytes = static_cast<int32_t>(pixelBytes);
    map.planeBytes = bytes;
    // The masks follow the colour planes in every pixel: a chain over the same rows.
    std::array<PixelMask, kMaxMasks> maskChain{};
    const auto attachMasks = [&] {
        for (int32_t i = 0; i < masks_; ++i) {
            maskChain[i] = PixelMask{i + 1 < masks_ ? &maskChain[i + 1] : nullptr,
                                     static_cast<uint8_t*>(map.baseAddr) + int64_t{colourPlanes_ + i} * bytes, map.rowBytes,
                                     map.colBytes, maskDescription_[i]};
        }
        map.masks = masks_ > 0 ? &maskChain[0] : nullptr;
    };
    if (in == 1) {
        map.bounds = {rect_.top, rect_.left, rect_.bottom, rect_.right};
        map.rowBytes = static_cast<int32_t>(shownRow);
        map.baseAddr = const_cast<uint8_t*>(pixels_.data());
        attachMasks();
        const Rect32 source{units.top, units.left, units.bottom, units.right};
        THROW_IF_ERROR(DisplayPixelMapInto(record.displayPixels, map, source, origin.v, origin.h, dc));
        return;
    }
    // Enlarged: each unit repeated in x in times, fed through one band buffer.
    const int64_t bandRowBytes = units.Width() * in * pixelBytes;
    const int32_t bandUnits = static_cast<int32_t>(std::max<int64_t>(1, kDisplayBandBytes * bytes / std::max<int64_t>(bandRowBytes * in, 1)));
    std::vector<uint8_t> band(static_cast<size_t>(bandRowBytes * in * bandUnits));
    for (int32_t top = units.top; top < units.bottom; top += bandUnits) {
        const int32_t rows = std::min(bandUnits, units.bottom - top);
        for (int32_t r = 0; r < rows; ++r) {
            uint8_t* to = band.data() + int64_t{r} * in * bandRowBytes;
            const uint8_t* from = pixels_.data() + (top + r - rect_.top) * shownRow + (units.left - rect_.left) * pixelBytes;
            for (int32_t x = 0; x < units.Width(); ++x, from += pixelBytes)
                for (int32_t k = 0; k < in; ++k, to += pixelBytes) std::memcpy(to, from, static_cast<size_t>(pixelBytes));
            for (int32_t k = 1; k < in; ++k)
                std::memcpy(band.data() + (int64_t{r} * in + k) * bandRowBytes, band.data() + int64_t{r} * in * bandRowBytes,
                            static_cast<size_t>(bandRowBytes));
        }
        map.bounds = {0, 0, rows * in, static_cast<int32_t>(units.Width() * in)};
        map.rowBytes = static_cast<int32_t>(bandRowBytes);
        map.baseAddr = band.data();
        attachMasks();
        const Rect32 source = map.bounds;
        THROW_IF_ERROR(DisplayPixelMapInto(record.displayPixels, map, source, origin.v + (top - units.top) * in, origin.h, dc));
    }
}
