// The write side of the "Apply to New Layer" image cache. A run that applies its frames to a new
// layer keeps the frame-only composite of every tile it composes (the frame's colour channels and
// its alpha, one byte each) in a temporary file; the session block names the file, and the end of
// the call hands the block to the host's data word, so that the host's next call writes the cached
// frames into the new layer. When the cache cannot be had, the user chooses between going on
// without it and ending the call.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"
#include "RenderSession.h"

class PreviewOwner;

namespace NewLayerCache {

// The alert that gives the cache up, and its answers.
inline constexpr int16_t kGivenUpAlert = 16008;
inline constexpr int16_t kGoOnWithout = 1;  // "OK"
// The preview dialog's command that applies to a new layer: greyed once the cache is given up.
inline constexpr int16_t kApplyToNewLayerCommand = 18111;

// Whether a pass of this object makes a cache: the final pass of the call's main object (no
// preview owner, no preview dialog open over it) with the block's "Apply to New Layer" option on.
bool Wanted(bool hasOwner, bool underDialog, uint8_t outputOption);

// The bytes of a cache of `planes` bytes a pixel over rect, or -1 when no cache file can hold them
// (the file's offsets are 32-bit) or the layout is not one of a cache.
int64_t FileBytes(uint32_t planes, const Rect16& rect);

}  // namespace NewLayerCache

// Opens a new cache of `planes` bytes a pixel over rect: a temporary file in the system's temporary
// folder, sized so that every pixel reads as no frame (alpha 0) until a tile is written there. The
// session's block names the file and is marked open and to be handed on. False, with nothing
// opened, when the area is more than a cache file can hold; a file that cannot be made or sized
// raises its error (the block still names a file that was made, so the end of the call deletes it).
bool OpenImageCache(RenderSession& session, uint32_t planes, const Rect16& rect);

// Moves rect's rows between buffer and the open cache file: `write` writes them, else they are
// read. The buffer's rows lie rowBytes apart, or packed (rect width x planes) when rowBytes < 1.
// Contiguous rows move in one transfer. A rect outside the cached area, or a file that holds less
// than the rows, raises 20002; a failed write raises its file error.
void ReadCacheRows(RenderSession& session, bool write, void* buffer, const Rect16& rect, int64_t rowBytes);

// Gives the cache up when it cannot be had: the file is closed and deleted (a file that will not go
// stays named in the block, so that the end of the call tries again and reports 19008), nothing is
// handed on, the update region goes, and alert 16008 asks the user, over the preview dialog the
// object runs under (null: none), which then greys its "Apply to New Layer" command. Answers the
// alert's answer: NewLayerCache::kGoOnWithout goes on without the cache, any other ends the call.
int16_t CloseImageCache(RenderSession& session, PreviewOwner* dialog);
