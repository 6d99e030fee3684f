// The document's alpha channels that a run reads as extra planes: the scripting parameters name
// up to three, and the first instance of a call looks them up and keeps their ports for the
// length of the call.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "PluginInterface.h"

struct SharedChannel {
    const ReadChannelDesc* channel = nullptr;
    ChannelReadPort readPort = nullptr;
    ChannelWritePort writePort = nullptr;

    bool IsSet() const { return channel != nullptr; }
};

inline constexpr int kSharedChannelCount = 3;
using SharedChannelSet = std::array<SharedChannel, kSharedChannelCount>;

// The channels found in this call (unset ones have no ports).
const SharedChannelSet& SharedChannels();
// Looks each non-empty name up among the document's alpha channels, unless a channel is set
// already: a channel counts only when its name matches exactly and it has a read and a write
// port. A host without channel ports or document information leaves every channel unset.
using SharedChannelNames = std::array<std::string, kSharedChannelCount>;
void FindSharedChannels(const FilterRecord& record, const SharedChannelNames& names);
// The ports are the host's for one call only.
void ClearSharedChannels();

// The mask planes an instance caches beside the selection, on its input and on its mask side:
// none unless the host can give an alpha channel to go with the selection.
struct CachedMaskPlanes {
    int16_t planes = 0;
    int32_t pixelBytes = 0;  // bytes a pixel takes in a cached row
};
struct MaskPlaneLayout {
    CachedMaskPlanes input, mask;
};

// Mask planes are cached only when the host has a transparency plane, channel ports that read
// and write (channelPorts) and document information with a selection channel, and the first or second
// shared channel is set; then each side gets the image mode's bytes per sample + 1 planes.
MaskPlaneLayout DecideMaskPlanes(const FilterRecord& record, bool channelPorts);
