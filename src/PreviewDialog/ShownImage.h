// The preview's picture as the dialog shows it: the composed pixels of the visible rectangle in
// preview units, kept so that the view can be drawn again (uncovered, scrolled) without rendering
// it again, and drawn into the dialog through the host's displayPixels.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <vector>

#include "GdiOwner.h"
#include "PlaneView.h"
#include "PluginInterface.h"
#include "PreviewZoom.h"

// Where the view shows preview units: its rectangle in client coordinates, the unit at its
// top-left corner and the zoom.
struct PreviewViewport {
    PreviewRect area;
    PreviewPoint origin;
    ZoomRatio zoom;
};

class ShownImage {
public:
    // The layout of the document's output (its colour planes, then the transparency and layer mask
    // a layer's output carries, which displayPixels shows the layer through), over `visible` with
    // nothing rendered yet.
    void Prepare(const FilterRecord& record, int32_t bytesPerSample, const PreviewRect& visible);
    // Covers `area` with nothing rendered yet, in the same layout: the dialog's own dark face.
    void Clear(const PreviewRect& area);
    // The view moved to `visible`: what stays in view keeps its rendered pixels. Answers the part
    // kept (empty when nothing was), around which the uncovered strips render again.
    PreviewRect MoveTo(const PreviewRect& visible);
    // Copies a tile of the preview's output in: its colour planes, and its masks where the tile
    // carries them (a mask it does not carry shows the pixels opaque). False when the tile has
    // fewer planes than the document's colours, or nothing is shown.
    bool Take(const PlaneView& pixels, const Rect16& tile);
    // Draws what the view shows of clientArea through displayPixels, enlarged as the zoom asks.
    void Draw(HDC dc, const PreviewRect& clientArea, const PreviewViewport& view, const FilterRecord& record) const;
    bool IsEmpty() const { return pixels_.empty(); }

private:
    static constexpr int32_t kMaxMasks = 2;  // the layer's transparency, then its layer mask

    int32_t Planes() const { return colourPlanes_ + masks_; }
    int64_t PixelBytes() const { return int64_t{Planes()} * bytesPerSample_; }

    PreviewRect rect_;                // preview units
    int32_t colourPlanes_ = 0;        // colour planes of the document's mode
    int32_t masks_ = 0;               // mask planes after them, as the output carries them
    std::array<int32_t, kMaxMasks> maskDescription_{};  // how displayPixels reads each mask
    int32_t bytesPerSample_ = 1;
    std::vector<uint8_t> pixels_;     // rows of rect's width, colour planes then masks interleaved
    OwnedRgn drawn_;                  // what of rect holds rendered pixels
};
