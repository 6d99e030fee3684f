#include "SharedChannels.h"

#include <algorithm>
#include <cstring>

#include "ImageModes.h"

namespace {

// Channel lists longer than this are not walked further (a malformed list may loop).
constexpr int32_t kMaxChannels = 4096;

SharedChannelSet gShared;

bool Named(const ReadChannelDesc& channel, const std::string& name) {
    // Compares up to the wanted name's terminator: a longer host name differs there, and nothing
    // past it is read.
    return channel.name && std::strncmp(channel.name, name.c_str(), name.size() + 1) == 0;
}

const ReadChannelDesc* FindAlphaChannel(const ReadImageDocumentDesc& document, const std::string& name) {
    int32_t walked = 0;
    for (const ReadChannelDesc* channel = document.alphaChannels; channel && walked < kMaxChannels;
         channel = channel->next, ++walked)
        if (channel->port && WritePortOf(*channel) && Named(*channel, name)) return channel;
    return nullptr;
}

}  // namespace

const SharedChannelSet& SharedChannels() { return gShared; }

void FindSharedChannels(const FilterRecord& record, const SharedChannelNames& names) {
    if (std::any_of(gShared.begin(), gShared.end(), [](const SharedChannel& c) { return c.IsSet(); })) return;
    if (!record.channelPortProcs || !record.documentInfo) return;
    for (int i = 0; i < kSharedChannelCount; ++i) {
        if (names[i].empty()) continue;
        if (const ReadChannelDesc* channel = FindAlphaChannel(*record.documentInfo, names[i]))
            gShared[i] = {channel, channel->port, WritePortOf(*channel)};
    }
}

void ClearSharedChannels() { gShared = {}; }

MaskPlaneLayout DecideMaskPlanes(const FilterRecord& record, bool channelPorts) {
    const ImageModeInfo* mode = FindImageMode(record.imageMode);
    const bool cached = record.inTransparencyMask > 0 && channelPorts && record.documentInfo &&
                        record.documentInfo->selection && (gShared[0].IsSet() || gShared[1].IsSet()) && mode;
    if (!cached) return {};
    const int16_t planes = static_cast<int16_t>(mode->bytesPerSample + 1);
    const CachedMaskPlanes side{planes, planes * std::max<int32_t>(mode->bytesPerSample, 1)};
    return {side, side};
}
