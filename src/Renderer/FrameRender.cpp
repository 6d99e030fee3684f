// The render's run: its tables sized to the stack and released, the host's buffer space kept for
// it, whether it may write layered output, and the rules its slots share.
#include "FrameRender.h"

#include <algorithm>
#include <initializer_list>

#include "Errors.h"
#include "HostServices.h"
#include "ImageModes.h"
#include "RenderSession.h"

FrameRender::~FrameRender() { ReleaseTables(); }

void FrameRender::ReserveHostSpace() {
    // A host with little memory keeps half of it free; a larger one keeps 2 MB.
    constexpr int32_t kSmallHostSpace = 0x400000;
    constexpr int32_t kLargeHostReserve = 0x200000;
    FilterRecord& record = Record();
    record.bufferSpace = record.maxSpace <= kSmallHostSpace ? std::max(record.maxSpace / 2, 0) : kLargeHostReserve;
}

void FrameRender::SetupRun(int32_t hostKind) {
    ReleaseTables();
    const FilterRecord& record = Record();
    layeredOutput_ = record.inTransparencyMask != 0 && record.inLayerMasks != 0 && record.outLayerMasks != 0 &&
                     hostKind != kHostKindElements;
    THROW_IF_ERROR(host_.FitStorageToStack());
    // The photo's buffer is taken when a placement needs it: most runs read the host's pixels
    // directly, and a buffer of the whole image held for nothing halves what the tiles may use.
    sourceBuffer_.Free();
    setup_.photo = PhotoPlacement{};
    setup_.photoResampled = false;
}

ErrorCode FrameRender::ResizeTables(int32_t slots) {
    for (const ErrorCode error : {placements_.Resize(2 * slots), passes_.Resize(4 * slots), bevels_.Resize(slots)})
        if (error) return error;
    return Err::None;
}

void FrameRender::ReleaseTables() {
    placements_.Release();
    passes_.Release();
    bevels_.Release();
}

int32_t FrameRender::DocumentColourPlanes() const {
    return std::clamp<int32_t>(ColourPlanesOfMode(Record().imageMode), 1, kMaxColourChannels);
}

bool FrameRender::WritesImageCache(bool preview) const {
    const FrameCacheBlock& cache = session_.cache;
    return !preview && cache.cacheOpen && cache.planes == static_cast<uint32_t>(DocumentColourPlanes() + 1);
}

bool FrameRender::TextureIsDrawable(const LayerState* state, int32_t documentPlanes) {
    if (!state || state->imageMissing || state->imagePlanes != documentPlanes) return false;
    const Rect16& b = state->imageBounds;
    const int64_t w = b.right - b.left, h = b.bottom - b.top;
    return w > 0 && h > 0 && state->imageBuffers[0].size >= static_cast<uint64_t>(w * h * state->imagePlanes);
}
