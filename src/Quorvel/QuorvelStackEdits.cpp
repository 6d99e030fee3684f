// The stack edits a render needs: loading every record's image, inserting a layer or a texture
// path record, writing a record's frame source, and removing a record. Each keeps the block, the
// LayerState table and the selection in step, and restarts the previews.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "Alerts.h"
#include "AutoRotation.h"
#include "CurrentParameters.h"
#include "Errors.h"
#include "File.h"
#include "HostCall.h"
#include "LayerState.h"
#include "PreferenceSettings.h"
#include "PreviewOwner.h"
#include "Quorvel.h"
#include "QuorvelShapes.h"

namespace {

// Requests that outlive one edit: the automatic rotation of the next loaded frames, and the
// preview's wish to load missing frames again.
struct LoadRequests {
    bool autoRotate = false;
    bool reloadMissing = false;
};
LoadRequests gRequests;

constexpr int16_t kNewFrameMemoryAlert = 16005;
constexpr Field<uint16_t> kSourceReserved{6};  // the word after the source's capacity, always 0

// Bytes of every host plane of one side: the five layer-plane counts when the host reports
// them, else the image's planes.
int64_t HostPlanes(int16_t layerPlanes, int16_t transparency, int16_t masks, int16_t inverted, int16_t other, int16_t planes) {
    return layerPlanes ? int64_t{layerPlanes} + transparency + masks + inverted + other : planes;
}

// Where record i starts in a block of `slots` layer records: layers first, then path records.
int64_t RecordOffset(int32_t i, int32_t slots) {
    return i < slots ? BlockLayout::kLayers + int64_t{LayerLayout::kLength} * i
                     : BlockLayout::kLayers + int64_t{LayerLayout::kLength} * slots + int64_t{PathLayout::kLength} * (i - slots);
}

}  // namespace

void Quorvel::RequestAutomaticRotation() {
    gRequests.autoRotate = !Preferences().HasFlag(PreferenceSettings::kAutomaticRotationOff);
}
void Quorvel::RequestReloadOfMissingFrames() { gRequests.reloadMissing = true; }

int32_t Quorvel::LoadLayerImages() {
    const FilterRecord& r = *HostCall::Current().record;
    int32_t slots = 1;
    {
        const LockedParameters parameters;
        if (parameters) slots = parameters.View().LayerSlots();
    }
    const int64_t in = HostPlanes(r.inLayerPlanes, r.inTransparencyMask, r.inLayerMasks, r.inInvertedLayerMasks,
                                  r.inNonLayerPlanes, r.planes);
    const int64_t out = HostPlanes(r.outLayerPlanes, r.outTransparencyMask, r.outLayerMasks, r.outInvertedLayerMasks,
                                   r.outNonLayerPlanes, r.planes);
    SetBufferReserve(static_cast<int64_t>(((in + out) * 2097152.0 + 1928.0 * 1928.0 * slots + 2359296.0) * 1.5) +
                     kDefaultBufferReserve);
    struct ReserveReset {
        ~ReserveReset() { SetBufferReserve(kDefaultBufferReserve); }
    } reserveReset;
    THROW_IF_ERROR(ResizeStackStorage(0, false));
    const bool autoRotate = std::exchange(gRequests.autoRotate, false);

    const LockedParameters parameters;
    if (!parameters) return 0;
    const ParameterBlockView block = parameters.View();
    const int32_t layers = block.LayerCount(), records = block.LayerSlots() + block.PathCount();
    int32_t walked = 0;
    for (int32_t j = layers == 0 ? 1 : 0; j < records; ++j) {
        LayerState* state = LayerStates().At(j);
        const int64_t offset = RecordOffset(j, block.LayerSlots());
        if (!state || offset + PathLayout::kLength > block.Length()) continue;
        ++walked;
        const RecordRef record(block.Bytes() + offset);
        const bool isLayer = j < block.LayerSlots();
        if (isLayer && HoldsShape(record)) {
            state->imageMissing = false;
            if (ShapeMaskStale(*state, record)) THROW_IF_ERROR(BuildShapeMask(*state, record, r.filterRect));
            continue;
        }
        // Frame and texture images come from the frame loader; one it has not loaded is missing.
        if (state->imagePlanes <= 0) state->imageMissing = true;
        if (isLayer && autoRotate && state->imagePlanes > 0) {
            const Rect16& b = state->imageBounds;
            AutoRotateLayerRecord(record, b.right - b.left, b.bottom - b.top, r.filterRect.right - r.filterRect.left,
                                  r.filterRect.bottom - r.filterRect.top);
        }
        if (!isLayer) {
            const int32_t path = j - block.LayerSlots() + 1;
            for (int32_t i = 0; i < layers; ++i)
                if (BevelOf(block.Layer(i)).Get(BevelLayout::kSurfaceTexture) == path)
                    if (LayerState* layer = LayerStates().At(i)) layer->cacheValid = false;
        }
    }
    gRequests.reloadMissing = false;
    return walked;
}

bool Quorvel::SetLayerRecordData(int32_t index, const FileSpec& spec, uint32_t recordId, bool keepRotation) {
    {
        const LockedParameters parameters;
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        const int64_t offset = RecordOffset(index, block.LayerSlots());
        if (index < 0 || offset + PathLayout::kLength > block.Length()) return false;
        const RecordRef record(block.Bytes() + offset);
        record.Set(LayerLayout::kRecordId, recordId);
        record.Set(LayerLayout::kPathCapacity, LayerLayout::kSourceCapacity);
        record.Set(kSourceReserved, 0);
        std::memcpy(record.At(LayerLayout::kSource), spec.bytes, LayerLayout::kSourceLength);
    }
    if (LayerState* state = LayerStates().At(index)) state->Reset();
    if (!keepRotation) RequestAutomaticRotation();
    return true;
}

bool Quorvel::InsertFrame(int32_t index, const FileSpec& spec, uint32_t recordId, bool pathRecord, bool keepRotation) {
    const bool joined = !pathRecord && LayersLinked(index - 1, index);
    int32_t oldLayers = 0, oldSlots = 1, oldRecords = 1;
    int64_t oldEnd = 0;
    {
        const LockedParameters parameters;
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        oldLayers = block.LayerCount();
        oldSlots = block.LayerSlots();
        oldRecords = oldSlots + block.PathCount();
        oldEnd = ParameterHeader::kRunTimePrefix + block.Block().Get(BlockLayout::kSize);
    }
    const ErrorCode error = ResizeStackStorage(+1, pathRecord);
    if (error) THROW_IF_ERROR(ResizeStackStorage(-1, pathRecord));
    InvalidateAllInstances();
    if (error) {
        RunModalDialog(nullptr, kNewFrameMemoryAlert, nullptr, nullptr);
        return false;
    }
    const bool reusePlaceholder = !pathRecord && oldLayers == 0;
    if (!reusePlaceholder) {
        const int32_t at = std::clamp(index, pathRecord ? oldSlots : 0, pathRecord ? oldRecords : oldLayers);
        index = at;
        const LockedParameters parameters;
        const ParameterBlockView block = parameters.View();
        const int64_t from = RecordOffset(at, oldSlots);
        const int64_t size = pathRecord ? PathLayout::kLength : LayerLayout::kLength;
        if (oldEnd > from && oldEnd + size <= block.Length())
            std::memmove(block.Bytes() + from + size, block.Bytes() + from, static_cast<size_t>(oldEnd - from));
        std::memset(block.Bytes() + from, 0, static_cast<size_t>(size));
        LayerStates().Move(LayerStates().Count() - 1, at);
    } else {
        index = 0;
    }
    if (!pathRecord) InitLayerRecord(index, false);
    SetLayerRecordData(index, spec, recordId, keepRotation);
    if (!pathRecord) SetLinkRange(index - 1, index + 1, joined ? 1 : 0);
    return true;
}

bool Quorvel::RemoveLayer(int32_t index) {
    bool pathRecord = false, movedToEnd = false;
    {
        const LockedParameters parameters;
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        const int32_t slots = block.LayerSlots(), records = slots + block.PathCount();
        if (index < 0 || index >= records) return false;
        pathRecord = index >= slots;
        if (pathRecord || block.LayerCount() > 1) {
            const int64_t size = pathRecord ? PathLayout::kLength : LayerLayout::kLength;
            const int64_t from = RecordOffset(index, slots) + size;
            const int64_t end = ParameterHeader::kRunTimePrefix + block.Block().Get(BlockLayout::kSize);
            if (end > from && end <= block.Length())
                std::memmove(block.Bytes() + from - size, block.Bytes() + from, static_cast<size_t>(end - from));
            LayerStates().Move(index, LayerStates().Count() - 1);
            movedToEnd = true;
        }
    }
    if (LayerState* state = LayerStates().At(movedToEnd ? LayerStates().Count() - 1 : index)) state->Reset();
    const ErrorCode error = ResizeStackStorage(-1, pathRecord);
    if (error) {
        THROW_IF_ERROR(ResizeStackStorage(+1, pathRecord));
        THROW_IF_ERROR(error);
    }
    InvalidateAllInstances();
    const LockedParameters parameters;
    const RecordRef header = parameters.View().Block();
    if (pathRecord) {
        const int32_t paths = header.Get(BlockLayout::kPathCount);
        if (header.Get(BlockLayout::kSelectedPath) >= paths) header.Set(BlockLayout::kSelectedPath, static_cast<int16_t>(paths - 1));
    } else {
        const int32_t layers = header.Get(BlockLayout::kLayerCount);
        if (header.Get(BlockLayout::kSelectedLayer) >= layers) header.Set(BlockLayout::kSelectedLayer, static_cast<int16_t>(layers - 1));
    }
    return true;
}
