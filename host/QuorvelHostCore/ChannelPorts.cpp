// The channel ports: reading any channel of the document at a scaling, writing an alpha channel,
// as the record's procedures and as the channel-ports suite.
//
// A read samples the nearest source pixel (the top-left one of each destination pixel's share of
// the source rectangle) and writes only destination pixels whose source lies inside the channel's
// pixels and inside the write limit; wroteRect reports their bounds. 16-bit samples travel in
// 0..65535 (the channels are of version 1) and are kept in 0..32768.
#include <algorithm>
#include <cstring>

#include "DocumentLayers.h"
#include "HostContext.h"

namespace qvhost {
namespace {

constexpr int16_t kBadParameter = -50;

bool Empty(const Rect32& r) { return r.right <= r.left || r.bottom <= r.top; }

Rect32 Intersect(const Rect32& a, const Rect32& b) {
    return {std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom), std::min(a.right, b.right)};
}

// Memory the plug-in describes: whole bytes, samples of the channel's depth.
bool UsableMemory(const PixelMemoryDesc* memory, int depth) {
    return memory && memory->data && memory->depth == depth && memory->rowBits > 0 && memory->colBits >= depth &&
           memory->rowBits % 8 == 0 && memory->colBits % 8 == 0 && memory->bitOffset >= 0 && memory->bitOffset % 8 == 0;
}

uint8_t* SampleAt(const PixelMemoryDesc& memory, int64_t row, int64_t column) {
    return static_cast<uint8_t*>(memory.data) + memory.bitOffset / 8 + row * (memory.rowBits / 8) +
           column * (memory.colBits / 8);
}

// Rectangles wider or higher than this are refused: no document comes near it, and the sampling
// arithmetic stays well inside 64 bits.
constexpr int64_t kMaxExtent = int64_t{1} << 24;

bool Sane(const Rect32& r) {
    return !Empty(r) && int64_t{r.bottom} - r.top <= kMaxExtent && int64_t{r.right} - r.left <= kMaxExtent;
}

int64_t CeilDiv(int64_t a, int64_t b) { return a >= 0 ? (a + b - 1) / b : -(-a / b); }  // b > 0

// One axis of a scaling: destination coordinate d samples source from + (d - to) x fromLength /
// toLength, rounded down.
struct Axis {
    int64_t to, toLength, from, fromLength;

    int32_t SourceOf(int32_t d) const { return static_cast<int32_t>(from + (d - to) * fromLength / toLength); }
    // The first destination coordinate whose source is at or beyond s.
    int64_t FirstReaching(int64_t s) const { return to + CeilDiv((s - from) * toLength, fromLength); }
    // The destination coordinates in [first, last) whose source lies in [low, high): the mapping
    // is monotone, so they form one run.
    std::pair<int32_t, int32_t> Run(int32_t first, int32_t last, int32_t low, int32_t high) const {
        const int64_t begin = std::max<int64_t>(first, FirstReaching(low));
        const int64_t end = std::min<int64_t>(last, FirstReaching(high));
        return {static_cast<int32_t>(begin), static_cast<int32_t>(std::max(begin, end))};
    }
};

OSErr16 ReadPixels(ChannelReadPort port, const PSScaling* scaling, const Rect32* writeLimit,
                   const PixelMemoryDesc* destination, Rect32* wroteRect) {
    HostContext& c = *ActiveContext();
    HostChannel* channel = c.layers.FromReadPort(port);
    if (wroteRect) *wroteRect = Rect32{};
    if (!channel || !scaling || !UsableMemory(destination, channel->depth)) return kBadParameter;
    const Rect32& from = scaling->sourceRect;
    const Rect32& to = scaling->destinationRect;
    if (!Sane(from) || !Sane(to)) return kBadParameter;
    ++c.statistics.channelReads;
    const Rect32 area = writeLimit ? Intersect(to, *writeLimit) : to;
    if (Empty(area)) return 0;
    // The channel's pixels: inside its bounds and the document.
    const PixelRect& b = channel->bounds;
    const int32_t low[2] = {std::max(b.top, 0), std::max(b.left, 0)};
    const int32_t high[2] = {std::min(b.bottom, channel->height), std::min(b.right, channel->width)};
    const Axis vertical{to.top, int64_t{to.bottom} - to.top, from.top, int64_t{from.bottom} - from.top};
    const Axis horizontal{to.left, int64_t{to.right} - to.left, from.left, int64_t{from.right} - from.left};
    const auto [top, bottom] = vertical.Run(area.top, area.bottom, low[0], high[0]);
    const auto [left, right] = horizontal.Run(area.left, area.right, low[1], high[1]);
    if (bottom <= top || right <= left) return 0;
    for (int32_t y = top; y < bottom; ++y) {
        const uint16_t* row = channel->Row(vertical.SourceOf(y));
        for (int32_t x = left; x < right; ++x) {
            const uint16_t v = row[horizontal.SourceOf(x)];
            uint8_t* at = SampleAt(*destination, y - to.top, x - to.left);
            if (channel->depth == 16) {
                const uint16_t wide = HostToFile16(v);
                std::memcpy(at, &wide, 2);
            } else {
                *at = static_cast<uint8_t>(v);
            }
        }
    }
    if (wroteRect) *wroteRect = Rect32{top, left, bottom, right};
    return 0;
}

OSErr16 WriteBasePixels(ChannelWritePort port, const Rect32* writeRect, const PixelMemoryDesc* source) {
    HostContext& c = *ActiveContext();
    HostChannel* channel = c.layers.FromWritePort(port);
    if (!channel || !writeRect || !Sane(*writeRect) || !UsableMemory(source, channel->depth)) return kBadParameter;
    ++c.statistics.channelWrites;
    const Rect32 area = Intersect(*writeRect, Rect32{0, 0, channel->height, channel->width});
    for (int32_t y = area.top; y < area.bottom; ++y) {
        uint16_t* row = channel->Row(y);
        for (int32_t x = area.left; x < area.right; ++x) {
            const uint8_t* at = SampleAt(*source, y - writeRect->top, x - writeRect->left);
            if (channel->depth == 16) {
                uint16_t wide;
                std::memcpy(&wide, at, 2);
                row[x] = FileToHost16(wide);
            } else {
                row[x] = *at;
            }
        }
    }
    return 0;
}

OSErr16 ReadPortForWritePort(ChannelReadPort* readPort, ChannelWritePort writePort) {
    HostChannel* channel = ActiveContext()->layers.FromWritePort(writePort);
    if (!readPort || !channel) return kBadParameter;
    *readPort = channel->ReadPort();
    return 0;
}

constexpr int32_t kResolution72 = 72 << 16;

}  // namespace

void DescribeDocument(HostContext& c) {
    FilterRecord& r = c.record;
    ReadImageDocumentDesc& info = c.documentInfo.document;
    info.minVersion = 0;
    info.maxVersion = kDocumentDescVersionWithLayers;
    info.imageMode = r.imageMode;
    info.depth = c.document.Mode().depth;
    info.bounds = {0, 0, c.document.Height(), c.document.Width()};
    info.hResolution = info.vResolution = kResolution72;
    c.layers.Describe(c.documentInfo, c.options.tile > 0 ? c.options.tile : 0);
    r.documentInfo = c.options.noDocumentInfo ? nullptr : &info;
}

void InstallChannelPorts(HostContext& c) {
    FilterRecord& r = c.record;
    const Document& d = c.document;
    // A target with transparency is a layer: its colour planes, then its transparency plane.
    const int16_t colour = static_cast<int16_t>(d.Planes());
    const int16_t transparency = d.HasTransparency() ? 1 : 0;
    r.planes = static_cast<int16_t>(colour + transparency);
    r.inLayerPlanes = r.outLayerPlanes = r.absLayerPlanes = transparency ? colour : 0;
    r.inTransparencyMask = r.outTransparencyMask = r.absTransparencyMask = transparency;
    r.inNonLayerPlanes = r.outNonLayerPlanes = r.absNonLayerPlanes = transparency ? 0 : colour;
    c.channelPortProcs = {1, 3, ReadPixels, WriteBasePixels, ReadPortForWritePort};
    r.channelPortProcs = c.options.noChannelPorts ? nullptr : &c.channelPortProcs;
    DescribeDocument(c);
    std::string alphas;
    for (const AlphaChannelSpec& alpha : c.options.alphaChannels) alphas += " \"" + alpha.name + "\"";
    c.log.Format("host: %zu layer(s) below and %zu above the target, which has %s; alpha channels:%s; channel ports %s, "
                 "document information %s",
                 c.options.layersBelow.size(), c.options.layersAbove.size(),
                 transparency ? "transparency" : "no transparency", alphas.empty() ? " none" : alphas.c_str(),
                 c.options.noChannelPorts ? "no" : "yes", c.options.noDocumentInfo ? "no" : "yes");
}

}  // namespace qvhost
