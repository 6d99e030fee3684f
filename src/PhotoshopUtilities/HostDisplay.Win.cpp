// displayPixels into a window: the device context is ours for the length of the call.
#include <windows.h>

#include "Errors.h"
#include "GdiOwner.h"
#include "HostCall.h"
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

// displayPixels into a device context: 17500 without the host's procedure.
ErrorCode DisplayInto(const PixelMap& map, const Rect32& source, int32_t row, int32_t column, HDC dc) {
    const FilterRecord* record = HostCall::Current().record;
    if (!record || !record->displayPixels) return Err::HostUnsupported;
    return record->displayPixels(&map, &source, row, column, dc);
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

ErrorCode DisplayPixels(const PixelMap& map, const Rect32& source, int32_t destinationRow, int32_t destinationColumn,
                        HWND window, HRGN clip) {
    const FilterRecord* record = HostCall::Current().record;
    if (!record || !record->displayPixels) return Err::HostUnsupported;
    WindowDC dc(window);
    if (!dc.Get()) THROW_IF_ERROR(Err::MemoryFull);
    SelectClipRgn(dc.Get(), clip);
    return DisplayInto(map, source, destinationRow, destinationColumn, dc.Get());
}

ErrorCode DisplayPixelMap(PixelMap& map, const Rect32& source, int32_t destinationRow, int32_t destinationColumn,
                          HWND window, HRGN clip) {
    return ShowAtEightBits(map, [&](const PixelMap& shown) {
        return DisplayPixels(shown, source, destinationRow, destinationColumn, window, clip);
    });
}

ErrorCode DisplayPixelMapInto(PixelMap& map, const Rect32& source, int32_t destinationRow, int32_t destinationColumn,
                              HDC dc) {
    return ShowAtEightBits(map, [&](const PixelMap& shown) {
        return DisplayInto(shown, source, destinationRow, destinationColumn, dc);
    });
}
