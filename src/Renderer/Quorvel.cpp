#include "Quorvel.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Errors.h"
#include "FirstRunTables.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostServices.h"
#include "LayerState.h"
#include "PreviewOwner.h"
#include "RenderPulse.h"
#include "RenderSession.h"
#include "SessionState.h"
#include "StackLimits.h"
#include "Utf.h"

Quorvel::Quorvel(HostCall& call, StackState& state)
    : PhotoshopFilter(call), state_(state), render_(call, Session(), state.layerStates, *this) {}

Quorvel::~Quorvel() = default;

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

// ---- The render's slots and its host

void Quorvel::SetupRun() { render_.SetupRun(GetHostKind()); }

bool Quorvel::NextTile() {
    const bool more = PhotoshopFilter::NextTile();
    render_.TileChosen();
    return more;
}

void Quorvel::TileStep(int32_t k, const Rect16& tile) {
    RenderPulse pulse(*this);
    render_.TileStep(k, tile, pulse.BetweenBlocks());
}

RenderInstance Quorvel::Instance() const {
    RenderInstance instance;
    instance.previewScale = PreviewScale();
    instance.integerScale = IntegerScale();
    instance.preview = HasOwner();
    instance.dialog = Dialog();
    instance.withSelection = Framework().withSelection;
    instance.framesWithoutPhoto = Options().fwnl;
    instance.wholeRect = WholeRect();
    instance.inputPlanes = InputPlaneCount();
    instance.outputPlanes = OutputPlaneCount();
    instance.sampleBytes = SampleBytes();
    return instance;
}

void Quorvel::StartTileWalk(std::optional<TileSize> tile, int32_t steps) {
    if (tile) SetTileSize(tile->columns, tile->rows);
    PhotoshopFilter::BeginPass();
    SetStepCount(steps);
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
    // Every table is sized, whatever an earlier one answered.
    const ErrorCode images = LayerStates().Resize(slots + paths);
    const ErrorCode tables = render_.ResizeTables(slots);
    return images ? images : tables;
}
