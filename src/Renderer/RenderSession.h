// What the renderer keeps for one host call beside its filter objects, and the session block that
// carries its image cache from one host call to the next in the host's data word.
//
// An "Apply to New Layer" run caches the frame-only composite of every tile in a temporary file;
// the block names that file, so that the host's next call can write the cached frames into a new
// layer. The block is ours alone: the framework's own session block never travels beside it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "BinaryLayout.h"
#include "File.h"
#include "PluginInterface.h"
#include "GdiOwner.h"

struct FrameCacheBlock {
    static constexpr size_t kSize = 1144;
    static constexpr size_t kPathSize = 1024;
    // A sane bound on the bytes of one cached pixel (frame colour channels and frame alpha).
    static constexpr uint32_t kMaxPlanes = 32;

    uint8_t cacheOpen;     // the cache file is open (in a saved block: was open when saved)
    uint8_t keepFile;      // hand the cache to the host's next call instead of deleting it
    uint8_t reserved[2];
    uint32_t planes;       // bytes per cached pixel
    Rect16 rect;           // the cached area; the file holds its rows one after the other
    uint8_t reserved2[104];
    char path[kPathSize];  // the cache file, UTF-8 and terminated
};
static_assert(sizeof(FrameCacheBlock) == FrameCacheBlock::kSize);
// The block travels to the host and back by its bytes: every field stays where it is.
static_assert(FieldsFollowOn(0, {{offsetof(FrameCacheBlock, cacheOpen), 1}, {offsetof(FrameCacheBlock, keepFile), 1},
                                 {offsetof(FrameCacheBlock, reserved), 2}, {offsetof(FrameCacheBlock, planes), 4},
                                 {offsetof(FrameCacheBlock, rect), sizeof(Rect16)}, {offsetof(FrameCacheBlock, reserved2), 104},
                                 {offsetof(FrameCacheBlock, path), FrameCacheBlock::kPathSize}},
                             FrameCacheBlock::kSize));

// Whether a block that came back from the host can be trusted: it was saved with an open cache,
// its plane count and area are sane, and its path is terminated and names a file right inside
// the system's temporary folder, where the cache is made.
bool IsSoundFrameCacheBlock(const FrameCacheBlock& block);

struct RenderSession {
    FrameCacheBlock cache{};
    File cacheFile;              // the open image cache
    bool cacheReplay = false;    // this call composes from a cache an earlier call left
    bool cacheGivenUp = false;   // the user chose to go on without the cache: not made again
    bool warningShown = false;   // the transparent-frames warning was answered this call
    bool sourceOutOfMemory = false;  // the photo cannot be held: it is not fetched again
    OwnedRgn updateRegion;       // the preview's area still to compose
};

// The one session of the process.
RenderSession& Session();
