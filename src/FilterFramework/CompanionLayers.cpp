// The document layers directly below and above the target layer, read through the host's channel
// ports for the preview, so that the filtered layer can be shown composed with its neighbours.
#include <algorithm>
#include <cstring>

#include "Errors.h"
#include "HostCall.h"
#include "ImageModes.h"
#include "PhotoshopFilter.h"
#include "PixelSamples.h"
#include "PreviewOwner.h"
#include "ScaledCoordinates.h"

namespace {

// A document's layer list is not walked past this many layers (a malformed list may loop).
constexpr int32_t kMaxDocumentLayersWalked = 8000;
// Channels of this version and below deliver 16-bit samples in 0..65535.
constexpr int32_t kWideSampleVersion = 2;


const ChannelPortProcs* ReadablePorts(const FilterRecord& record) {
    const ChannelPortProcs* ports = record.channelPortProcs;
    return HasProc(ports, &ChannelPortProcs::readPixels) ? ports : nullptr;
}

Rect32 Wide(const Rect16& r) { return {r.top, r.left, r.bottom, r.right}; }

Rect16 Narrow(const Rect32& r) {
    return {ClampToInt16(r.top), ClampToInt16(r.left), ClampToInt16(r.bottom), ClampToInt16(r.right)};
}

// Samples of one plane of a rectangle of interleaved pixels.
template <typename Visit>
void ForEachPlaneSample(char* first, const Rect16& area, int32_t rowBytes, int32_t stride, int32_t bytes, Visit visit) {
    for (int32_t y = 0; y < RectHeight(area); ++y)
        for (int32_t x = 0; x < RectWidth(area); ++x) visit(first + int64_t{y} * rowBytes + int64_t{x} * stride, bytes);
}

void SetSample(char* at, int32_t bytes, uint16_t value) {
    if (bytes == 2) std::memcpy(at, &value, 2);
    else *at = static_cast<char>(value);
}

}  // namespace

// The companions are the layers next to the target in the document's layer list, which runs from
// the bottom layer up. They are shown only for a target with transparency, through channel ports.
// The list does not say which layer is the target: it is the one whose colour channels read
// through the target's own ports.
void PhotoshopFilter::FindCompanionLayers() {
    useLayerPorts_ = false;
    for (CompanionLayer* companion : {&lowerLayer_, &upperLayer_}) {
        companion->layer = nullptr;
        companion->view.planes = 0;
    }
    const FilterRecord& record = Record();
    const ReadImageDocumentDesc* document = record.documentInfo;
    if (record.inTransparencyMask <= 0 || !ReadablePorts(record) || !document) return;
    const ReadLayerDesc* layers = LayersOf(*document);
    const ReadChannelDesc* target = document->targetCompositeChannels;
    if (!layers || !target || !target->port) return;

    const ReadLayerDesc* below = nullptr;
    int32_t walked = 0;
    for (const ReadLayerDesc* layer = layers; layer && walked < kMaxDocumentLayersWalked;
         below = layer, layer = layer->next, ++walked) {
        if (!layer->compositeChannelsList || layer->compositeChannelsList->port != target->port) continue;
        if (below && below->compositeChannelsList) lowerLayer_.layer = below;
        if (layer->next && layer->next->compositeChannelsList) upperLayer_.layer = layer->next;
        break;
    }
    const int16_t planes = static_cast<int16_t>(ColourPlanesOfMode(record.imageMode) + 1);
    for (CompanionLayer* companion : {&lowerLayer_, &upperLayer_})
        if (companion->layer) companion->view.planes = planes;
    useLayerPorts_ = lowerLayer_.layer || upperLayer_.layer;
}

PlaneView PhotoshopFilter::PreviewPixels() const {
    for (const CompanionLayer* companion : {&lowerLayer_, &upperLayer_})
        if (companion->view.planes > 0 && companion->view) return companion->view;
    return {};
}

PlaneView PhotoshopFilter::CompanionTile(Companion which) const {
    const CompanionLayer& companion = which == Companion::Lower ? lowerLayer_ : upperLayer_;
    if (companion.view.planes <= 0 || !companion.view || !useLayerPorts_) return {};
    return companion.view;
}

void PhotoshopFilter::ReadCompanionLayer(CompanionLayer& companion, const Rect16& tile, bool overviewShortcut) {
    if (companion.view.planes <= 0 || !useLayerPorts_) return;
    const int32_t bytes = SampleBytes();
    const int32_t stride = companion.view.planes * bytes;
    if (overviewShortcut && IsOverview() && companion.pixels.id) {
        // The overview's layer pixels are preloaded for its whole rectangle: the tile is a window.
        const Rect16& window = companion.cache.Bounds();
        const PlaneView whole{companion.pixels.Lock(), stride * RectWidth(window), stride, companion.view.planes};
        companion.view = whole;
        companion.view.address = whole.At(tile.top - window.top, tile.left - window.left);
    } else {
        if (companion.pixels.Allocate(RectArea(tile) * stride) != 0 || !companion.pixels.Lock()) {
            companion.cache.Free();
            companion.pixels.Free();
            useLayerPorts_ = false;
            if (PreviewOwner* dialog = OwnerDialog()) dialog->DisableCompositeView();
            return;
        }
        companion.view.address = companion.pixels.Lock();
        companion.view.pixelStride = stride;
        companion.view.rowBytes = stride * RectWidth(tile);
    }
    int32_t cachedRowBytes = 0;
    if (const char* cached = companion.cache.PointerForValidRect(tile, &cachedRowBytes)) {
        for (int32_t y = 0; y < RectHeight(tile); ++y)
            std::memcpy(companion.view.At(y, 0), cached + int64_t{y} * cachedRowBytes,
                        static_cast<size_t>(RectWidth(tile)) * stride);
        return;
    }
    ReadCompanionFromHost(companion, tile);
    if (companion.cache.IsAllocated()) companion.cache.CopyIn(tile, companion.view.rowBytes, companion.view.address);
}

void PhotoshopFilter::ReadCompanionFromHost(CompanionLayer& companion, const Rect16& tile) {
    const FilterRecord& record = Record();
    const ChannelPortProcs* ports = ReadablePorts(record);
    const int32_t s = IntegerScale();
    const int32_t bytes = SampleBytes();
    const int32_t colourPlanes = ColourPlanesOfMode(record.imageMode);
    const bool hasTransparency = companion.view.planes > colourPlanes;
    const uint16_t opaque = bytes == 2 ? kSample16Max : 255;

    // The tile in the document at this scale: a floating selection's tiles lie at its position.
    Rect16 inDocument = tile;
    if (record.isFloating)
        OffsetRect16(inDocument, FloorDiv(record.floatCoord.h, s), FloorDiv(record.floatCoord.v, s));
    const Rect16 extent{0, 0, ClampToInt16(CeilDiv(record.wholeSize.v, s)), ClampToInt16(CeilDiv(record.wholeSize.h, s))};
    char* transparency = companion.view.address + int64_t{colourPlanes} * bytes;
    if (hasTransparency) {
        ForEachPlaneSample(transparency, tile, companion.view.rowBytes, companion.view.pixelStride, bytes,
                           [](char* at, int32_t b) { SetSample(at, b, 0); });
        if (!companion.layer->transparency) {
            const Rect16 inside = IntersectRects(inDocument, extent);
            char* first = transparency + int64_t{inside.top - inDocument.top} * companion.view.rowBytes +
                          int64_t{inside.left - inDocument.left} * companion.view.pixelStride;
            ForEachPlaneSample(first, inside, companion.view.rowBytes, companion.view.pixelStride, bytes,
                               [opaque](char* at, int32_t b) { SetSample(at, b, opaque); });
        }
    }
    const Rect16 readArea = IntersectRects(inDocument, extent);
    if (!ports || IsEmptyRect(readArea)) return;
    const int64_t readOffset = int64_t{readArea.top - inDocument.top} * companion.view.rowBytes +
                               int64_t{readArea.left - inDocument.left} * companion.view.pixelStride;

    // Reads one channel into one plane of the tile; answers the rectangle the port wrote.
    auto readPlane = [&](const ReadChannelDesc& channel, int32_t plane) {
        const Rect32 destination = Wide(readArea);
        const PSScaling scaling{{destination.top * s, destination.left * s, destination.bottom * s, destination.right * s},
                                destination};
        const PlaneView& view = companion.view;
        char* first = view.address + readOffset + int64_t{plane} * bytes;
        const PixelMemoryDesc memory{first, view.rowBytes * 8, view.pixelStride * 8, 0, bytes * 8};
        Rect32 wrote{};
        THROW_IF_ERROR(ports->readPixels(channel.port, &scaling, &destination, &memory, &wrote));
        if (bytes == 2 && channel.maxVersion <= kWideSampleVersion)
            ForEachPlaneSample(first, readArea, view.rowBytes, view.pixelStride, bytes, [](char* at, int32_t) {
                uint16_t v;
                std::memcpy(&v, at, 2);
                v = HostToInternal16(v);
                std::memcpy(at, &v, 2);
            });
        return Narrow(wrote);
    };

    if (hasTransparency && companion.layer->transparency) readPlane(*companion.layer->transparency, colourPlanes);
    const ReadChannelDesc* channel = companion.layer->compositeChannelsList;
    for (int32_t plane = 0; plane < colourPlanes && channel; ++plane, channel = channel->next) {
        const Rect16 written = readPlane(*channel, plane);
        if (!hasTransparency) continue;
        // What the port did not write lies outside the layer's pixels: it shows nothing.
        for (int32_t y = readArea.top; y < readArea.bottom; ++y)
            for (int32_t x = readArea.left; x < readArea.right; ++x)
                if (!RectContains(written, y, x))
                    SetSample(transparency + int64_t{y - inDocument.top} * companion.view.rowBytes +
                                  int64_t{x - inDocument.left} * companion.view.pixelStride,
                              bytes, 0);
    }
}
