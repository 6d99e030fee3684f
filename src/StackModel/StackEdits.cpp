#include "StackEdits.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "AlertIds.h"
#include "Errors.h"
#include "LayerState.h"
#include "StackLimits.h"

namespace {

constexpr Field<uint16_t> kSourceReserved{6};  // the word after the source's capacity, always 0

// The end of the stored block (run-time prefix included) as its size field says.
int64_t StoredEnd(const ParameterBlockView& block) {
    return ParameterHeader::kRunTimePrefix + int64_t{block.Block().Get(BlockLayout::kSize)};
}

// Layers name path records by their 1-based number (background texture, bevel surface texture).
// When path records are inserted, removed or moved, renumber maps every old number to the one
// that names the same image afterwards (0 for none), so no layer takes another layer's texture.
template <typename Renumber>
void RenumberTextureReferences(const ParameterBlockView& block, Renumber renumber) {
    for (int32_t i = 0; i < block.LayerSlots() && block.HoldsLayer(i); ++i) {
        const RecordRef layer = block.Layer(i);
        const RecordRef bevel = BevelOf(layer);
        layer.Set(LayerLayout::kBackgroundTexture, static_cast<uint16_t>(renumber(layer.Get(LayerLayout::kBackgroundTexture))));
        bevel.Set(BevelLayout::kSurfaceTexture, static_cast<uint16_t>(renumber(bevel.Get(BevelLayout::kSurfaceTexture))));
    }
}

// Puts the LayerState entries of layers 0..count-1 in the order sources gives: entry k takes the
// entry that was at sources[k]. Each step moves one entry down into its place.
void PermuteLayerStates(LayerStateTable& states, const int32_t* sources, int32_t count) {
    std::array<int32_t, LayerStateTable::kCapacity> held{};  // which old entry sits at each place
    for (int32_t i = 0; i < count; ++i) held[i] = i;
    for (int32_t k = 0; k < count; ++k) {
        const auto at = std::find(held.begin() + k, held.begin() + count, sources[k]);
        if (at == held.begin() + count) continue;
        const int32_t from = static_cast<int32_t>(at - held.begin());
        states.Move(from, k);
        std::rotate(held.begin() + k, at, at + 1);
    }
}

}  // namespace

void StackEdits::AlertStackFull() {
    const std::string limit = std::to_string(BlockLayout::kMaxLayers);
    RunModalDialog(nullptr, AlertIds::kStackFull, limit.c_str(), nullptr);
}

bool StackEdits::SetLayerRecordData(int32_t index, const FileSpec& spec, uint32_t recordId, bool keepRotation) {
    {
        const LockedParameters parameters = stack_.Lock();
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        const int64_t offset = ParameterBlockView::RecordOffset(index, block.LayerSlots());
        if (index < 0 || offset + PathLayout::kLength > block.Length()) return false;
        const RecordRef record(block.Bytes() + offset);
        record.Set(LayerLayout::kRecordId, recordId);
        record.Set(LayerLayout::kPathCapacity, LayerLayout::kSourceCapacity);
        record.Set(kSourceReserved, 0);
        std::memcpy(record.At(LayerLayout::kSource), spec.bytes, LayerLayout::kSourceLength);
    }
    if (LayerState* state = stack_.LayerStates().At(index)) state->Reset();
    host_.FrameSourceChanged(keepRotation);
    return true;
}

bool StackEdits::InsertFrame(int32_t index, const FileSpec& spec, uint32_t recordId, bool pathRecord, bool keepRotation) {
    int32_t oldLayers = 0, oldSlots = 1, oldRecords = 1;
    int64_t oldEnd = 0;
    bool room = false;
    {
        const LockedParameters parameters = stack_.Lock();
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        oldLayers = block.LayerCount();
        oldSlots = block.LayerSlots();
        oldRecords = oldSlots + block.PathCount();
        oldEnd = StoredEnd(block);
        room = StackLimits::HasRoomFor(block.LayerCount(), block.PathCount(), pathRecord);
    }
    // A record the table cannot take is refused as the storage would refuse it, before anything
    // is resized.
    if (!room) {
        RunModalDialog(nullptr, AlertIds::kNewFrameMemory, nullptr, nullptr);
        return false;
    }
    // Layers go between the layers, path records between the path records.
    index = std::clamp(index, pathRecord ? oldSlots : 0, pathRecord ? oldRecords : oldLayers);
    const bool joined = !pathRecord && stack_.LayersLinked(index - 1, index);
    const ErrorCode error = host_.ResizeStackStorage(+1, pathRecord);
    if (error) THROW_IF_ERROR(host_.ResizeStackStorage(-1, pathRecord));
    host_.RestartPreviews();
    if (error) {
        RunModalDialog(nullptr, AlertIds::kNewFrameMemory, nullptr, nullptr);
        return false;
    }
    const bool reusePlaceholder = !pathRecord && oldLayers == 0;
    if (!reusePlaceholder) {
        // The resize put the block in a new handle: it is locked again.
        const LockedParameters parameters = stack_.Lock();
        const ParameterBlockView block = parameters.View();
        const int64_t from = ParameterBlockView::RecordOffset(index, oldSlots);
        const int64_t size = pathRecord ? PathLayout::kLength : LayerLayout::kLength;
        if (oldEnd > from && oldEnd + size <= block.Length())
            std::memmove(block.Bytes() + from + size, block.Bytes() + from, static_cast<size_t>(oldEnd - from));
        std::memset(block.Bytes() + from, 0, static_cast<size_t>(size));
        LayerStateTable& states = stack_.LayerStates();
        states.Move(states.Count() - 1, index);
        if (pathRecord) {
            // The new record takes number `inserted`: the records from there on move up one.
            const int32_t inserted = index - oldSlots + 1;
            RenumberTextureReferences(block, [inserted](int32_t k) { return k >= inserted ? k + 1 : k; });
        }
    } else {
        index = 0;
    }
    if (!pathRecord) stack_.InitLayerRecord(index, false);
    SetLayerRecordData(index, spec, recordId, keepRotation);
    if (!pathRecord) stack_.SetLinkRange(index - 1, index + 1, joined ? 1 : 0);
    return true;
}

bool StackEdits::RemoveLayer(int32_t index) {
    LayerStateTable& states = stack_.LayerStates();
    bool pathRecord = false, movedToEnd = false;
    {
        const LockedParameters parameters = stack_.Lock();
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        const int32_t slots = block.LayerSlots(), records = slots + block.PathCount();
        if (index < 0 || index >= records) return false;
        pathRecord = index >= slots;
        // The empty stack's placeholder is no layer to remove.
        if (!pathRecord && index >= block.LayerCount()) return false;
        if (pathRecord || block.LayerCount() > 1) {
            const int64_t size = pathRecord ? PathLayout::kLength : LayerLayout::kLength;
            const int64_t from = ParameterBlockView::RecordOffset(index, slots) + size;
            const int64_t end = StoredEnd(block);
            if (end > from && end <= block.Length())
                std::memmove(block.Bytes() + from - size, block.Bytes() + from, static_cast<size_t>(end - from));
            states.Move(index, states.Count() - 1);
            movedToEnd = true;
        }
    }
    if (LayerState* state = states.At(movedToEnd ? states.Count() - 1 : index)) state->Reset();
    const ErrorCode error = host_.ResizeStackStorage(-1, pathRecord);
    if (error) {
        THROW_IF_ERROR(host_.ResizeStackStorage(+1, pathRecord));
        THROW_IF_ERROR(error);
    }
    host_.RestartPreviews();
    // The resize put the block in a new handle: it is locked again.
    const LockedParameters parameters = stack_.Lock();
    const RecordRef header = parameters.View().Block();
    if (pathRecord) {
        // Layers that took their texture from the removed record have none now; those after it
        // keep their images under numbers one lower.
        const int32_t removed = index - parameters.View().LayerSlots() + 1;
        RenumberTextureReferences(parameters.View(), [removed](int32_t k) { return k == removed ? 0 : k > removed ? k - 1 : k; });
        const int32_t paths = header.Get(BlockLayout::kPathCount);
        if (header.Get(BlockLayout::kSelectedPath) >= paths) header.Set(BlockLayout::kSelectedPath, static_cast<int16_t>(paths - 1));
    } else {
        const int32_t layers = header.Get(BlockLayout::kLayerCount);
        if (header.Get(BlockLayout::kSelectedLayer) >= layers) header.Set(BlockLayout::kSelectedLayer, static_cast<int16_t>(layers - 1));
    }
    return true;
}

bool StackEdits::InsertFrameRecord(int32_t position, const FileSpec& spec, uint32_t recordId, bool keepRotation) {
    int32_t layers = 0;
    {
        const LockedParameters parameters = stack_.Lock();
        if (!parameters) return false;
        layers = parameters.View().LayerCount();
    }
    const int32_t photo = stack_.TargetLayerPos();
    // A new layer on the photo's row takes that row, and the photo moves up above it.
    int32_t index = position <= photo ? position : position - 1;
    if (index < 0 || position < 0 || position > layers) index = position;
    if (!InsertFrame(index, spec, recordId, false, keepRotation)) return false;
    if (position <= photo) stack_.SetTargetLayerPos(photo + 1);
    return true;
}

bool StackEdits::DeleteFrame(bool all) {
    int32_t top = -1, bottom = 0;
    {
        const LockedParameters parameters = stack_.Lock();
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        const int32_t layers = std::min(block.LayerCount(), BlockLayout::kMaxLayers);
        if (all) {
            top = layers - 1;
        } else {
            const int32_t selected = block.Block().Get(BlockLayout::kSelectedLayer);
            if (selected < 0 || selected >= layers) return false;
            top = bottom = selected;
        }
    }
    bool visibleRemoved = false;
    for (int32_t i = top; i >= bottom; --i) {
        // A group that ran through the deleted layer stays one group; otherwise its neighbours
        // must not keep a half link to each other.
        if (!all) stack_.SetLinkRange(i - 1, i + 1, stack_.LayersLinked(i - 1, i + 1) ? 1 : 0);
        const auto record = stack_.LayerRecord(i);
        const LayerState* state = stack_.LayerStates().At(i);
        if (record && record->Get(LayerLayout::kEnabled) != 0 && state && !state->imageMissing) visibleRemoved = true;
        if (!RemoveLayer(i)) continue;
        const int32_t photo = stack_.TargetLayerPos();
        if (i < photo) stack_.SetTargetLayerPos(photo - 1);
    }
    // The layer that now ends the stack may still say it links onward.
    stack_.SetLinkRange(0, 0, 0);
    return visibleRemoved;
}

bool StackEdits::ComputeMoveOrder(int32_t a, int32_t b, int32_t c, int32_t d, std::span<int16_t> order) {
    if (order.empty() || order.size() > static_cast<size_t>(BlockLayout::kMaxLayers) + 1) return false;
    const int32_t rows = static_cast<int32_t>(order.size());
    for (const int32_t position : {a, b, c, d})
        if (position < 0 || position >= rows) return false;
    const int32_t lo = std::min(a, b), hi = std::max(a, b);
    std::array<int16_t, BlockLayout::kMaxLayers + 1> rest{};
    int32_t restCount = 0;
    for (int32_t row = 0; row < rows; ++row)
        if (row < lo || row > hi) rest[restCount++] = static_cast<int16_t>(row);
    // Moved up, the run lands just above the target; moved down, just below it.
    int32_t insertion = std::min(c, d);
    if (lo <= std::min(c, d)) {
        const auto target = std::find(rest.begin() + lo, rest.begin() + restCount, std::max(c, d));
        if (target == rest.begin() + restCount) return false;
        insertion = static_cast<int32_t>(target - rest.begin()) + 1;
    }
    int32_t next = 0;
    for (int32_t k = 0; k < insertion; ++k) order[next++] = rest[k];
    for (int32_t row = lo; row <= hi; ++row) order[next++] = static_cast<int16_t>(row);
    for (int32_t k = insertion; k < restCount; ++k) order[next++] = rest[k];
    return true;
}

bool StackEdits::MoveLayer(int32_t from, int32_t to) {
    int32_t layers = 0;
    {
        const LockedParameters parameters = stack_.Lock();
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        layers = block.LayerCount();
        if (layers < 1 || layers > BlockLayout::kMaxLayers || !block.HoldsLayer(layers - 1)) return false;
    }
    if (from < 0 || to < 0 || from > layers || to > layers || from == to || stack_.ListPosLinked(from, to)) return false;
    // A drop may not split a linked group.
    if (from > to ? stack_.ListPosLinked(to - 1, to) : stack_.ListPosLinked(to, to + 1)) return false;
    std::array<int16_t, BlockLayout::kMaxLayers + 1> rows{};
    const std::span<int16_t> order(rows.data(), static_cast<size_t>(layers) + 1);
    if (!ComputeMoveOrder(stack_.FirstLinkedListPos(from), stack_.LastLinkedListPos(from), stack_.FirstLinkedListPos(to),
                          stack_.LastLinkedListPos(to), order))
        return false;
    if (stack_.LayerStates().Count() < layers && host_.ResizeStackStorage(0, false) != Err::None) return false;

    const size_t bytes = static_cast<size_t>(layers) * LayerLayout::kLength;
    const std::unique_ptr<uint8_t[]> saved(new (std::nothrow) uint8_t[bytes]);
    if (!saved) return false;
    const int32_t photo = stack_.TargetLayerPos();
    int32_t newPhoto = photo, movedRow = from, slot = 0;
    std::array<int32_t, BlockLayout::kMaxLayers> sources{};
    {
        const LockedParameters parameters = stack_.Lock();
        const ParameterBlockView block = parameters.View();
        std::memcpy(saved.get(), block.Layer(0).Bytes(), bytes);
        for (int32_t k = 0; k <= layers; ++k) {
            const int32_t row = order[k];
            if (row == from) movedRow = k;
            if (row == photo) {
                newPhoto = k;
                continue;
            }
            const int32_t layer = row < photo ? row : row - 1;
            std::memcpy(block.Layer(slot).Bytes(), saved.get() + static_cast<size_t>(layer) * LayerLayout::kLength,
                        LayerLayout::kLength);
            sources[slot++] = layer;
        }
    }
    PermuteLayerStates(stack_.LayerStates(), sources.data(), layers);
    if (newPhoto != photo) stack_.SetTargetLayerPos(newPhoto);
    stack_.SetSelectedListPos(movedRow);
    host_.RestartPreviews();
    return true;
}

bool StackEdits::MovePathRecord(int32_t from, int32_t to) {
    int32_t slots = 1;
    {
        const LockedParameters parameters = stack_.Lock();
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        slots = block.LayerSlots();
        const int32_t records = slots + block.PathCount();
        if (from == to || from < slots || to < slots || from >= records || to >= records) return false;
        const int64_t first = ParameterBlockView::RecordOffset(std::min(from, to), slots);
        const int64_t end = ParameterBlockView::RecordOffset(std::max(from, to) + 1, slots);
        if (end > block.Length() || end > StoredEnd(block)) return false;
        uint8_t* const low = block.Bytes() + first;
        uint8_t* const high = block.Bytes() + end;
        if (from < to) std::rotate(low, low + PathLayout::kLength, high);
        else std::rotate(low, high - PathLayout::kLength, high);
        // Every layer keeps the image it named: the moved record's number follows it, and the
        // records it passed move one number towards its old place.
        const int32_t f = from - slots + 1, t = to - slots + 1;
        RenumberTextureReferences(block, [f, t](int32_t k) {
            if (k == f) return t;
            if (f < t && k > f && k <= t) return k - 1;
            if (f > t && k >= t && k < f) return k + 1;
            return k;
        });
    }
    stack_.LayerStates().Move(from, to);
    stack_.SetSelectedPathRecord(to - slots);
    host_.RestartPreviews();
    return true;
}
