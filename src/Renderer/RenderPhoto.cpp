// The photo of a run: read from the host's input as it lies, or, placed otherwise, fetched whole
// and resampled into the run's source buffer (or read from the target layer's channels) once for
// each placement, for the tiles to read from there.
#include <algorithm>

#include "Errors.h"
#include "FrameRender.h"
#include "HostPixels.h"
#include "HostRequest.h"
#include "ImageModes.h"
#include "PhotoResampler.h"
#include "PixelSamples.h"
#include "RenderSession.h"
#include "ScaledCoordinates.h"

namespace {

bool IsIdentity(const FixedTransform& t) {
    return t.a == 0x10000 && t.b == 0 && t.c == 0 && t.d == 0 && t.e == 0x10000 && t.f == 0;
}

// A scripted run may ask for the photo to come from the target layer's channels; that needs the
// document's channel list and a way to read it.
bool ReadsPhotoFromChannels(const FilterRecord& r, bool framesWithoutPhoto) {
    return framesWithoutPhoto && r.documentInfo && r.documentInfo->targetCompositeChannels &&
           HasProc(r.channelPortProcs, &ChannelPortProcs::readPixels);
}

// The document pixels under the filter rectangle: the rectangle placed at the host's float
// coordinate, inside the document.
Rect32 ChannelReadArea(const FilterRecord& r) {
    const Rect32 placed{r.floatCoord.v, r.floatCoord.h, r.floatCoord.v + RectHeight(r.filterRect),
                        r.floatCoord.h + RectWidth(r.filterRect)};
    return Rect32{std::max(placed.top, 0), std::max(placed.left, 0), std::min<int32_t>(placed.bottom, r.wholeSize.v),
                  std::min<int32_t>(placed.right, r.wholeSize.h)};
}

// The source buffer's rectangle locked for filling: on leaving early (a read error) its pixels
// are forgotten, so the tiles never compose a half-read photo.
class SourceFill {
public:
    SourceFill(PlaneBuffer& buffer, const Rect16& rect) : buffer_(buffer), first_(buffer.PointerForRect(rect, &rowBytes_)) {}
    ~SourceFill() {
        if (!first_) return;
        if (!complete_) buffer_.InvalidateAll();
        buffer_.Unlock();
    }
    SourceFill(const SourceFill&) = delete;
    SourceFill& operator=(const SourceFill&) = delete;
    char* First() const { return first_; }
    int32_t RowBytes() const { return rowBytes_; }
    void Complete() { complete_ = true; }

private:
    PlaneBuffer& buffer_;
    int32_t rowBytes_ = 0;
    char* first_;
    bool complete_ = false;
};

}  // namespace

// A photo placed other than as it lies is fetched whole from the host and resampled into the
// run's source buffer, once for each placement; the tiles then read it from there. As it lies,
// the tiles read the host's input directly.
void FrameRender::FetchSourceImage(const RenderInstance& instance) {
    PhotoPlacement& photo = setup_.photo;
    if (!photo.changed || session_.sourceOutOfMemory) return;
    if (ReadsPhotoFromChannels(Record(), instance.framesWithoutPhoto)) {
        setup_.photoResampled = HoldSourceBuffer(instance, setup_.scaledFilter) && ReadSourceFromChannels(instance);
        photo.changed = false;
        return;
    }
    if (IsIdentity(photo.transform)) {
        photo.changed = false;
        setup_.photoResampled = false;
        return;
    }
    if (!HoldSourceBuffer(instance, setup_.scaledFilter)) return;
    FilterRecord& r = Record();
    const int32_t sr = instance.integerScale;
    // The host's request comes back however this fetch of our own ends.
    const RequestGuard request(r, HostRequest::kRects | HostRequest::kPlanes | HostRequest::kRates);
    auto sampled = [sr](Fixed16 rate) { return rate < 0x10000 ? Fixed16(sr << 16) : Fixed16(rate * sr); };
    r.inputRate = sampled(request.Kept().inputRate);
    r.maskRate = sampled(request.Kept().maskRate);
    r.inLoPlane = 0;
    r.inHiPlane = static_cast<int16_t>(instance.inputPlanes - 1);
    r.outRect = Rect16{};
    r.inRect = r.maskRect = setup_.scaledFilter;
    if (AdvanceState(call_) == 0 && ResamplePhotoIntoSource(instance)) {
        photo.changed = false;
        setup_.photoResampled = true;
    }
}

bool FrameRender::ResamplePhotoIntoSource(const RenderInstance& instance) {
    FilterRecord& r = Record();
    if (!r.inData) return false;
    SourceFill fill(sourceBuffer_, r.inRect);
    char* out = fill.First();
    const int32_t rowBytes = fill.RowBytes();
    if (!out) {
        session_.sourceOutOfMemory = true;
        sourceBuffer_.InvalidateAll();
        return false;
    }
    const int32_t width = r.inRect.right - r.inRect.left, height = r.inRect.bottom - r.inRect.top;
    const int32_t planes = PlaneSpan(r.inLoPlane, r.inHiPlane);
    ResampleOptions options;
    options.transform = setup_.photo.transform;
    options.spline = setup_.photo.scaleClamped;
    options.keepLayerMask = r.inLayerPlanes > 0 && r.inLayerMasks > 0;
    if (instance.withSelection && r.maskData) {
        options.mask = static_cast<const uint8_t*>(r.maskData);
        options.maskRowBytes = r.maskRowBytes;
    }
    const int32_t bytes = call_.bytesPerSample == 2 ? 2 : 1;
    const auto pixelBytes = static_cast<int32_t>(planes * bytes);
    const PlaneView source{static_cast<char*>(r.inData), r.inRowBytes, pixelBytes, static_cast<int16_t>(planes)};
    const PlaneView resampled{out, rowBytes, pixelBytes, static_cast<int16_t>(planes)};
    ResamplePhoto(source, resampled, PixelExtent{width, height}, bytes, options);
    fill.Complete();
    return true;
}

// The photo as the target layer holds it, read channel by channel into the source buffer: the
// transparency channel into the plane after the colour planes, then the colour channels in
// order. A target without transparency shows opaque; colour no channel covers stays 0. Answers
// whether the buffer holds the photo; a read error is raised.
bool FrameRender::ReadSourceFromChannels(const RenderInstance& instance) {
    const FilterRecord& r = Record();
    const Rect32 area = ChannelReadArea(r);
    const int32_t s = instance.integerScale;
    // The area in the buffer's coordinates: back under the filter rectangle, at the render scale.
    const int32_t dv = r.filterRect.top - r.floatCoord.v, dh = r.filterRect.left - r.floatCoord.h;
    const Rect16 target = DividedUp(Rect16{ClampToInt16(area.top + dv), ClampToInt16(area.left + dh),
                                           ClampToInt16(area.bottom + dv), ClampToInt16(area.right + dh)},
                                    s);
    if (area.bottom <= area.top || area.right <= area.left || IsEmptyRect(target)) {
        sourceBuffer_.InvalidateAll();
        return false;
    }
    SourceFill fill(sourceBuffer_, target);
    if (!fill.First()) {
        sourceBuffer_.InvalidateAll();
        return false;
    }
    const int32_t bytes = static_cast<int32_t>(sourceBuffer_.BytesPerSample());
    const int32_t planes = sourceBuffer_.Planes(), stride = static_cast<int32_t>(sourceBuffer_.PixelStride());
    const int32_t colourPlanes = std::min<int32_t>(ColourPlanesOfMode(r.imageMode), planes);
    const bool transparencyPlane = planes > colourPlanes;
    const int32_t width = RectWidth(target), height = RectHeight(target);
    for (int32_t y = 0; y < height; ++y)
        std::fill_n(fill.First() + int64_t{y} * fill.RowBytes(), int64_t{width} * stride, char{0});

    const ReadImageDocumentDesc& document = *r.documentInfo;
    const Rect32 destination{target.top, target.left, target.bottom, target.right};
    const PSScaling scaling{area, destination};
    auto readPlane = [&](const ReadChannelDesc& channel, int32_t plane) {
        const PixelMemoryDesc memory{fill.First() + int64_t{plane} * bytes, fill.RowBytes() * 8, stride * 8, 0, bytes * 8};
        Rect32 wrote{};
        THROW_IF_ERROR(r.channelPortProcs->readPixels(channel.port, &scaling, &destination, &memory, &wrote));
    };
    // Only a buffer with a plane after the colour planes has somewhere to keep transparency.
    const bool readTransparency = transparencyPlane && document.targetTransparency;
    if (readTransparency) {
        readPlane(*document.targetTransparency, colourPlanes);
    } else if (transparencyPlane) {
        for (int32_t y = 0; y < height; ++y)
            PlaneFill8(width, 255, fill.First() + int64_t{y} * fill.RowBytes() + int64_t{colourPlanes} * bytes, bytes, planes);
    }
    const ReadChannelDesc* channel = document.targetCompositeChannels;
    for (int32_t plane = 0; plane < colourPlanes && channel; ++plane, channel = channel->next) readPlane(*channel, plane);
    // The host's 16-bit samples run 0..65535; the buffer's run 0..32768.
    if (bytes == 2)
        NarrowSamples16(destination, colourPlanes + (readTransparency ? 1 : 0), fill.RowBytes(), stride, 2, fill.First() + 1);
    fill.Complete();
    return true;
}

bool FrameRender::HoldSourceBuffer(const RenderInstance& instance, const Rect16& area) {
    const int16_t planes = instance.inputPlanes;
    const auto bytes = static_cast<uint32_t>(call_.bytesPerSample);
    const Rect16& held = sourceBuffer_.Bounds();
    if (sourceBuffer_.IsAllocated() && sourceBuffer_.Planes() == planes && sourceBuffer_.BytesPerSample() == bytes &&
        RectWidth(held) >= RectWidth(area) && RectHeight(held) >= RectHeight(area))
        return true;
    sourceBuffer_.Free();
    if (sourceBuffer_.Allocate(area, planes, bytes) == Err::None) return true;
    session_.sourceOutOfMemory = true;
    return false;
}
