#include "Quorvel.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "Errors.h"
#include "FirstRunTables.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostServices.h"
#include "LayerState.h"
#include "RenderSession.h"
#include "SessionState.h"
#include "StackLimits.h"
#include "Utf.h"

Quorvel::~Quorvel() { ReleaseLayerStates(); }

QuorvelBase& Quorvel::Stack() const {
    if (!stack_) stack_.emplace(Record().parameters, state_);
    return *stack_;
}

namespace {

// Takes back the block an earlier call of ours left in the host's data word. The host's handle is
// freed whatever it holds.
void RestoreFrameCache(intptr_t& data, int16_t outputPlanes) {
    const UniqueHandle saved(reinterpret_cast<Handle>(data));
    data = 0;
    FrameCacheBlock block;
    if (GetHandleSize(saved.Get()) != static_cast<int64_t>(sizeof block)) return;
    {
        const LockedHandle bytes(saved.Get());
        if (!bytes) return;
        std::memcpy(&block, bytes.Get(), sizeof block);
    }
    if (!IsSoundFrameCacheBlock(block)) return;

    RenderSession& session = Session();
    session.cache = block;
    session.cache.cacheOpen = 0;
    session.cache.keepFile = 0;
    session.cacheFile.SetSpec(FileSpec::FromPath(block.path));
    THROW_IF_ERROR(session.cacheFile.Open("r"));
    session.cache.cacheOpen = 1;
    session.cacheReplay = true;
    // The document changed its planes since the cache was made: end the call without a word.
    if (static_cast<uint32_t>(outputPlanes) != block.planes) THROW_IF_ERROR(Err::Cancelled);
}

// Leaves the cache's block in the host's data word (none: a call without one) for its next call;
// false when it cannot.
bool HandCacheToHost(intptr_t* data, const FrameCacheBlock& cache) {
    if (!data) return false;
    UniqueHandle handle(NewHandle(sizeof cache));
    if (!handle) return false;
    FrameCacheBlock saved = cache;
    saved.cacheOpen = 1;
    saved.keepFile = 0;
    {
        const LockedHandle bytes(handle.Get());
        if (!bytes) return false;
        std::memcpy(bytes.Get(), &saved, sizeof saved);
    }
    if (DataWordHoldsBlock(data)) DisposeHandle(reinterpret_cast<Handle>(*data));
    *data = reinterpret_cast<intptr_t>(handle.Release());
    return true;
}

}  // namespace

void Quorvel::InitializeGlobals() {
    Record().autoMask = false;
    RenderSession& session = Session();
    session.cacheFile.Close();
    session.cache = {};
    session.cacheReplay = false;
    session.cacheGivenUp = false;
    session.warningShown = false;
    session.sourceOutOfMemory = false;
    session.updateRegion.Reset();
    photoTransform_ = {};
    photoScaleClamped_ = false;
    photoChanged_ = false;
    LayerStates().Release();
    BuildFirstRunTables();
    if (DataWordHoldsBlock(Call().data)) RestoreFrameCache(*Call().data, OutputPlaneCount());
}

ErrorCode Quorvel::Finish(ErrorCode result) {
    LayerStates().Release();
    RenderSession& session = Session();
    session.updateRegion.Reset();
    session.cacheFile.Close();
    FrameCacheBlock& cache = session.cache;
    const bool keep = result == Err::None && cache.cacheOpen && cache.keepFile;
    cache.cacheOpen = 0;
    if (cache.path[0] != '\0' && !(keep && HandCacheToHost(Call().data, cache))) {
        // A failed delete fails a call that had succeeded; it never hides an earlier error.
        if (!DeleteFileW(Utf8ToUtf16(cache.path).c_str()) && result == Err::None) result = Err::FileNotDeletable;
    }
    cache = {};
    return result;
}

ErrorCode Quorvel::EndRun(ErrorCode result) { return Finish(result); }

void Quorvel::RedoPreview() {
    if (const OwnedRgn& region = Session().updateRegion) {
        const Rect16& r = Record().filterRect;
        SetRectRgn(region.Get(), r.left, r.top, r.right, r.bottom);
    }
    InvalidateAllInstances();
}

void Quorvel::Prepare() {
    // A host with little memory keeps half of it free; a larger one keeps 2 MB.
    constexpr int32_t kSmallHostSpace = 0x400000;
    constexpr int32_t kLargeHostReserve = 0x200000;
    FilterRecord& record = Record();
    record.bufferSpace = record.maxSpace <= kSmallHostSpace ? std::max(record.maxSpace / 2, 0) : kLargeHostReserve;
}

void Quorvel::SetupRun() {
    ReleaseLayerStates();
    const FilterRecord& record = Record();
    layeredOutput_ = record.inTransparencyMask != 0 && record.inLayerMasks != 0 && record.outLayerMasks != 0 &&
                     GetHostKind() != kHostKindElements;
    THROW_IF_ERROR(ResizeStackStorage(0, false));
    // The photo's buffer is taken when a placement needs it: most runs read the host's pixels
    // directly, and a buffer of the whole image held for nothing halves what the tiles may use.
    sourceBuffer_.Free();
    render_.photo = PhotoPlacement{};
    render_.photoResampled = false;
}

bool Quorvel::HoldSourceBuffer(const Rect16& area) {
    const int16_t planes = InputPlaneCount();
    const auto bytes = static_cast<uint32_t>(Call().bytesPerSample);
    const Rect16& held = sourceBuffer_.Bounds();
    if (sourceBuffer_.IsAllocated() && sourceBuffer_.Planes() == planes && sourceBuffer_.BytesPerSample() == bytes &&
        RectWidth(held) >= RectWidth(area) && RectHeight(held) >= RectHeight(area))
        return true;
    sourceBuffer_.Free();
    if (sourceBuffer_.Allocate(area, planes, bytes) == Err::None) return true;
    Session().sourceOutOfMemory = true;
    return false;
}

void Quorvel::ReleaseLayerStates() {
    placements_.Release();
    passes_.Release();
    bevels_.Release();
}

void Quorvel::ClearRecordInfo() {
    const FilterRecord* record = Call().record;
    if (DescriptorParameters* parameters = record ? record->descriptorParameters : nullptr)
        parameters->recordInfo = 0;
}

ErrorCode Quorvel::ResizeStackStorage(int32_t delta, bool pathRecords) {
    int64_t layers = 0;
    int64_t paths = 0;
    {
        const LockedParameters parameters = Stack().Lock();
        if (!parameters) return Err::BadParameters;
        const ParameterBlockView block = parameters.View();
        if (!block.HoldsLayer(0)) return Err::BadParameters;
        layers = block.LayerCount() + (pathRecords ? 0 : int64_t{delta});
        paths = block.PathCount() + (pathRecords ? int64_t{delta} : 0);
        if (!StackLimits::Holds(layers, paths)) return Err::BadParameters;
        block.Block().Set(BlockLayout::kLayerCount, static_cast<int16_t>(layers));
        block.Block().Set(BlockLayout::kPathCount, static_cast<int16_t>(paths));
    }
    try {
        SetParameterBlockSize(static_cast<int32_t>(ParameterBlockView::SizeFor(layers, paths)), false);
    } catch (const ErrorCodeException& e) {
        return e.code;
    }
    return ResizeRunTimeTables(static_cast<int32_t>(std::max<int64_t>(layers, 1)), static_cast<int32_t>(paths));
}

ErrorCode Quorvel::ResizeRunTimeTables(int32_t slots, int32_t paths) {
    for (const ErrorCode error : {LayerStates().Resize(slots + paths), placements_.Resize(2 * slots),
                                  passes_.Resize(4 * slots), bevels_.Resize(slots)})
        if (error) return error;
    return Err::None;
}
