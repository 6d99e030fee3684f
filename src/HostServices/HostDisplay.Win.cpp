// displayPixels into a window: the device context is ours for the length of the call.
#include <windows.h>

#include <vector>

#include "Errors.h"
#include "GdiOwner.h"
#include "HostPixels.h"
#include "ImageModes.h"
#include "PixelSamples.h"

namespace {

constexpr ErrorCode kBadDepth = -30914;

bool IsEightBitMode(int32_t mode) {
    const ImageModeInfo* info = FindImageMode(mode);
    return info && info->bytesPerSample <= 1;
}

Rect32 MaskBounds(const PixelMap& map) { return map.bounds; }

// Widens the 16-bit samples of the map and its masks in place and points the map at their high
// bytes; Restore undoes exactly that, however the display went.
class HighByteView {
public:
    explicit HighByteView(PixelMap& map) : map_(map), savedMode_(map.imageMode) {
        const int32_t planes = ColourPlanesOfMode(map.imageMode);
        map_.imageMode = FindImageMode(map.imageMode)->eightBitMode;
        map_.baseAddr = WidenSamples16(map_.bounds, planes, map_.rowBytes, map_.colBytes, map_.planeBytes,
                                       static_cast<char*>(map_.baseAddr));
        planes_ = planes;
        for (PixelMask* mask = map_.masks; mask; mask = mask->next)
            mask->maskData = WidenSamples16(MaskBounds(map_), 1, mask->rowBytes, mask->colBytes, 0,
                                            static_cast<char*>(mask->maskData));
    }
    HighByteView(const HighByteView&) = delete;
    HighByteView& operator=(const HighByteView&) = delete;
    ~HighByteView() {
        for (PixelMask* mask = map_.masks; mask; mask = mask->next)
            mask->maskData = NarrowSamples16(MaskBounds(map_), 1, mask->rowBytes, mask->colBytes, 0,
                                             static_cast<char*>(mask->maskData));
        map_.baseAddr = NarrowSamples16(map_.bounds, planes_, map_.rowBytes, map_.colBytes, map_.planeBytes,
                                        static_cast<char*>(map_.baseAddr));
        map_.imageMode = savedMode_;
    }

private:
    PixelMap& map_;
    int32_t savedMode_;
    int32_t planes_ = 0;
};

// The bytes from the map's first pixel to the pixel at (row, column) of its bounds.
int64_t OffsetInMap(const Rect32& bounds, int32_t rowBytes, int32_t colBytes, int32_t row, int32_t column) {
    return (int64_t{row} - bounds.top) * rowBytes + (int64_t{column} - bounds.left) * colBytes;
}

// The part of a map that a source rectangle picks, as a map of its own that begins at that
// rectangle's first pixel, with its mat and masks likewise. Hosts differ in how they find the
// source inside a map: some take the bounds' corner as the origin, some count from baseAddr with
// the source's own coordinates, some draw from baseAddr whatever the source says. A map whose
// bounds start at 0,0 and are the source leaves nothing to interpret.
class SourceMap {
public:
    SourceMap(const PixelMap& map, const Rect32& source)
        : map_(map), source_{0, 0, source.bottom - source.top, source.right - source.left} {
        map_.bounds = source_;
        map_.baseAddr = static_cast<char*>(map.baseAddr) +
                        OffsetInMap(map.bounds, map.rowBytes, map.colBytes, source.top, source.left);
        if (map.version < kPixelMapVersionWithMasks) return;
        map_.mat = Rebased(map.mat, map.bounds, source, mat_);
        map_.masks = Rebased(map.masks, map.bounds, source, masks_);
    }
    SourceMap(const SourceMap&) = delete;
    SourceMap& operator=(const SourceMap&) = delete;

    const PixelMap& Map() const { return map_; }
    const Rect32& Source() const { return source_; }

private:
    static size_t CountMasks(const PixelMask* mask) {
        size_t count = 0;
        for (; mask; mask = mask->next) ++count;
        return count;
    }
    // Copies of the chain from `first` on, each pointing at the source's first pixel, linked in
    // the same order; the copies live in `into`, reserved for the whole chain so that none moves.
    static PixelMask* Rebased(const PixelMask* first, const Rect32& bounds, const Rect32& source,
                              std::vector<PixelMask>& into) {
        if (!first) return nullptr;
        into.reserve(CountMasks(first));
        for (const PixelMask* mask = first; mask; mask = mask->next) {
            PixelMask copy = *mask;
            copy.next = nullptr;
            if (copy.maskData)
                copy.maskData = static_cast<char*>(copy.maskData) +
                                OffsetInMap(bounds, copy.rowBytes, copy.colBytes, source.top, source.left);
            into.push_back(copy);
            if (into.size() > 1) into[into.size() - 2].next = &into.back();
        }
        return &into.front();
    }

    PixelMap map_;
    Rect32 source_;
    std::vector<PixelMask> mat_, masks_;
};

// displayPixels into a device context: 17500 without the host's procedure. An empty source draws
// nothing.
ErrorCode DisplayInto(DisplayPixelsProc display, const PixelMap& map, const Rect32& source, int32_t row, int32_t column,
                      HDC dc) {
    if (!display) return Err::HostUnsupported;
    if (source.bottom <= source.top || source.right <= source.left) return Err::None;
    const SourceMap shown(map, source);
    return display(&shown.Map(), &shown.Source(), row, column, dc);
}

// Shows 8-bit and bitmap maps as they are and 16-bit maps through their high bytes.
template <typename Show>
ErrorCode ShowAtEightBits(PixelMap& map, Show show) {
    if (IsEightBitMode(map.imageMode)) return show(map);
    if (!FindImageMode(map.imageMode)) return kBadDepth;
    HighByteView view(map);
    return show(map);
}

}  // namespace

ErrorCode DisplayPixels(DisplayPixelsProc display, const PixelMap& map, const Rect32& source, int32_t destinationRow,
                        int32_t destinationColumn, HWND window, HRGN clip) {
    if (!display) return Err::HostUnsupported;
    WindowDC dc(window);
    if (!dc.Get()) THROW_IF_ERROR(Err::MemoryFull);
    SelectClipRgn(dc.Get(), clip);
    return DisplayInto(display, map, source, destinationRow, destinationColumn, dc.Get());
}

ErrorCode DisplayPixelMap(DisplayPixelsProc display, PixelMap& map, const Rect32& source, int32_t destinationRow,
                          int32_t destinationColumn, HWND window, HRGN clip) {
    return ShowAtEightBits(map, [&](const PixelMap& shown) {
        return DisplayPixels(display, shown, source, destinationRow, destinationColumn, window, clip);
    });
}

ErrorCode DisplayPixelMapInto(DisplayPixelsProc display, PixelMap& map, const Rect32& source, int32_t destinationRow,
                              int32_t destinationColumn, HDC dc) {
    return ShowAtEightBits(map, [&](const PixelMap& shown) {
        return DisplayInto(display, shown, source, destinationRow, destinationColumn, dc);
    });
}
