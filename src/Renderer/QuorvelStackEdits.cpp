// The stack edits: using a frame (setting, inserting, replacing), deleting and moving layers and
// texture path records, and loading every record's image. Each keeps the block, the LayerState
// table, the photo position and the selection in step, and restarts the previews.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
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
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
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
constexpr int16_t kStackFullAlert = 16006;       // "Quorvel cannot use more than ^0 frames."
constexpr int16_t kFrameNotFoundAlert = 16013;   // shows kFrameNotFoundText in its "^0"
constexpr int kFrameNotFoundText = 17217;        // names the frame's file where it holds "%s"
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

// The end of the stored block (run-time prefix included) as its size field says.
int64_t StoredEnd(const ParameterBlockView& block) {
    return ParameterHeader::kRunTimePrefix + int64_t{block.Block().Get(BlockLayout::kSize)};
}

// Whether one more layer (or path record) fits the stack: at most 32 layers, and every stored
// record, the empty stack's placeholder included, needs one of the 32 LayerState entries.
bool StackHasRoomFor(const ParameterBlockView& block, bool pathRecord) {
    const int64_t layers = block.LayerCount() + (pathRecord ? 0 : 1);
    const int64_t paths = block.PathCount() + (pathRecord ? 1 : 0);
    return layers <= BlockLayout::kMaxLayers && std::max<int64_t>(layers, 1) + paths <= BlockLayout::kMaxStackEntries;
}

void AlertStackFull() {
    const std::string limit = std::to_string(BlockLayout::kMaxLayers);
    RunModalDialog(nullptr, kStackFullAlert, limit.c_str(), nullptr);
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
void PermuteLayerStates(const int32_t* sources, int32_t count) {
    std::array<int32_t, LayerStateTable::kCapacity> held{};  // which old entry sits at each place
    for (int32_t i = 0; i < count; ++i) held[i] = i;
    for (int32_t k = 0; k < count; ++k) {
        const auto at = std::find(held.begin() + k, held.begin() + count, sources[k]);
        if (at == held.begin() + count) continue;
        const int32_t from = static_cast<int32_t>(at - held.begin());
        LayerStates().Move(from, k);
        std::rotate(held.begin() + k, at, at + 1);
    }
}

// The frame source of a record as a file spec.
FileSpec SourceSpec(RecordRef record) {
    FileSpec spec;
    std::memcpy(spec.bytes, record.At(LayerLayout::kSource), FileSpec::kSize);
    return spec;
}

// A library record's value of `column`: the field loaded under that name, else the unnamed field
// set at the column's place in the record's table.
const FieldValue* RecordField(const QVDatabaseRecord& record, const char* column) {
    if (const FieldValue* field = record.FindField(column)) return field;
    if (record.TableId() < 0) return nullptr;
    const auto columns = LibraryTableDef(record.TableId()).columns;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (std::strcmp(columns[i].name, column) != 0) continue;
        const FieldValue* field = record.Field(static_cast<int>(i));
        return field && field->Name().empty() ? field : nullptr;
    }
    return nullptr;
}

// The text of a field, or none when the record has no such field or it holds no text.
const char* FieldText(const QVDatabaseRecord& record, const char* column) {
    const FieldValue* field = RecordField(record, column);
    return field && field->Kind() == FieldKind::Text ? field->Text() : nullptr;
}

// The full path of a library record's stored path: against the folder of the library that holds
// the record, else against the open frame library's folder. None for an unknown path type.
std::optional<std::string> LibraryFramePath(const QVDatabaseRecord& record, const char* stored) {
    const FieldValue* type = RecordField(record, "PathType");
    const int32_t pathType = type ? type->Integer() : 0;
    if (const QVDatabase* database = record.Database()) return database->ResolvePath(stored, pathType);
    std::string full;
    switch (pathType) {
        case PathType::FullPathLegacy:
        case PathType::FullPath:
            return std::string(stored);
        case PathType::RelativePathLegacy:
        case PathType::RelativePath:
            if (FileSpec::FromRelativePath(stored).GetFullPath(full) != Err::None) return std::string(stored);
            return full;
        default:
            return std::nullopt;
    }
}

// Alert 16013: the message names the frame's file in place of its "%s".
void AlertFrameNotFound(const char* fileName) {
    char message[512];
    if (!LoadResourceString(kFrameNotFoundText, message, sizeof message)) message[0] = '\0';
    std::string text = message;
    if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, fileName ? fileName : "");
    RunModalDialog(nullptr, kFrameNotFoundAlert, text.c_str(), nullptr);
}

// Puts back the cursor shown before a frame's load under the preview dialog (the decoding shows
// the wait cursor), where the user goes on working.
class CursorRestore {
public:
    explicit CursorRestore(bool active) : active_(active), saved_(GetCursor()) {}
    CursorRestore(const CursorRestore&) = delete;
    CursorRestore& operator=(const CursorRestore&) = delete;
    ~CursorRestore() {
        if (active_) SetCursor(saved_ ? saved_ : LoadCursorW(nullptr, IDC_ARROW));
    }

private:
    bool active_;
    HCURSOR saved_;
};

// Loads the frame file that a layer or path record names into its LayerState, unless the entry
// already holds it. A frame that fails is marked missing; one that loads is no longer missing.
void LoadRecordFrame(RecordRef record, LayerState& state, bool pathRecord, bool underDialog) {
    const FileSpec spec = SourceSpec(record);
    // A record that names no file has no image to load; the renderer gives it no passes.
    if (spec.IsEmpty()) return;
    if (gRequests.reloadMissing && state.imageMissing) state.framePath.Clear();
    // A frame is loaded once for its file spec, whether that worked or not: a missing one is tried
    // again only when the preview asks for it.
    if (FileSpec::Equals(state.framePath, spec)) return;
    // Layers are drawn from grey coverage; path records are textures, kept in the document's
    // colours. The user learns why a frame did not load; the final render cannot go on without it,
    // while under the preview the others still load.
    ErrorCode error = Err::None;
    {
        const CursorRestore cursor(underDialog);
        error = Quorvel::LoadFrameImage(pathRecord, spec, 0, state, false);
    }
    state.imageMissing = error != Err::None;
    if (error && !underDialog) THROW_IF_ERROR(Err::GenericFailure);
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
        LoadRecordFrame(record, *state, !isLayer, Dialog() != nullptr);
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
    int32_t oldLayers = 0, oldSlots = 1, oldRecords = 1;
    int64_t oldEnd = 0;
    bool room = false;
    {
        const LockedParameters parameters;
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        oldLayers = block.LayerCount();
        oldSlots = block.LayerSlots();
        oldRecords = oldSlots + block.PathCount();
        oldEnd = StoredEnd(block);
        room = StackHasRoomFor(block, pathRecord);
    }
    if (!room) {
        AlertStackFull();
        return false;
    }
    // Layers go between the layers, path records between the path records.
    index = std::clamp(index, pathRecord ? oldSlots : 0, pathRecord ? oldRecords : oldLayers);
    const bool joined = !pathRecord && LayersLinked(index - 1, index);
    const ErrorCode error = ResizeStackStorage(+1, pathRecord);
    if (error) THROW_IF_ERROR(ResizeStackStorage(-1, pathRecord));
    InvalidateAllInstances();
    if (error) {
        RunModalDialog(nullptr, kNewFrameMemoryAlert, nullptr, nullptr);
        return false;
    }
    const bool reusePlaceholder = !pathRecord && oldLayers == 0;
    if (!reusePlaceholder) {
        const LockedParameters parameters;
        const ParameterBlockView block = parameters.View();
        const int64_t from = RecordOffset(index, oldSlots);
        const int64_t size = pathRecord ? PathLayout::kLength : LayerLayout::kLength;
        if (oldEnd > from && oldEnd + size <= block.Length())
            std::memmove(block.Bytes() + from + size, block.Bytes() + from, static_cast<size_t>(oldEnd - from));
        std::memset(block.Bytes() + from, 0, static_cast<size_t>(size));
        LayerStates().Move(LayerStates().Count() - 1, index);
        if (pathRecord) {
            // The new record takes number `inserted`: the records from there on move up one.
            const int32_t inserted = index - oldSlots + 1;
            RenumberTextureReferences(block, [inserted](int32_t k) { return k >= inserted ? k + 1 : k; });
        }
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
        // The empty stack's placeholder is no layer to remove.
        if (!pathRecord && index >= block.LayerCount()) return false;
        if (pathRecord || block.LayerCount() > 1) {
            const int64_t size = pathRecord ? PathLayout::kLength : LayerLayout::kLength;
            const int64_t from = RecordOffset(index, slots) + size;
            const int64_t end = StoredEnd(block);
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

bool Quorvel::InsertFrameRecord(int32_t position, const FileSpec& spec, uint32_t recordId, bool keepRotation) {
    int32_t layers = 0;
    {
        const LockedParameters parameters;
        if (!parameters) return false;
        layers = parameters.View().LayerCount();
    }
    const int32_t photo = TargetLayerPos();
    // A new layer on the photo's row takes that row, and the photo moves up above it.
    int32_t index = position <= photo ? position : position - 1;
    if (index < 0 || position < 0 || position > layers) index = position;
    if (!InsertFrame(index, spec, recordId, false, keepRotation)) return false;
    if (position <= photo) SetTargetLayerPos(photo + 1);
    return true;
}

void Quorvel::SetLayerFrame(const FileSpec& spec, uint32_t recordId, bool replace, bool keepRotation) {
    const bool replacing = replace || GetKeyState(VK_MENU) < 0;
    const int32_t position = GetSelectedListPos();
    bool changed = false;
    if (replacing) {
        const int32_t layer = ListPosToLayer(position);
        if (layer >= 0) changed = SetLayerRecordData(layer, spec, recordId, keepRotation);
    } else {
        // A full stack is refused by the insertion, with its alert.
        changed = InsertFrameRecord(position, spec, recordId, keepRotation);
    }
    if (!changed) return;
    LoadLayerImages();
    SetSelectedListPos(position);
    if (const auto layer = SelectedLayerRecord()) layer->Set(LayerLayout::kEnabled, 1);
    RedoPreview();
}

bool Quorvel::DeleteFrame(bool all) {
    int32_t top = -1, bottom = 0;
    {
        const LockedParameters parameters;
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
        if (!all) SetLinkRange(i - 1, i + 1, LayersLinked(i - 1, i + 1) ? 1 : 0);
        const auto record = LayerRecord(i);
        const LayerState* state = LayerStates().At(i);
        if (record && record->Get(LayerLayout::kEnabled) != 0 && state && !state->imageMissing) visibleRemoved = true;
        if (!RemoveLayer(i)) continue;
        const int32_t photo = TargetLayerPos();
        if (i < photo) SetTargetLayerPos(photo - 1);
    }
    // The layer that now ends the stack may still say it links onward.
    SetLinkRange(0, 0, 0);
    return visibleRemoved;
}

bool Quorvel::ComputeMoveOrder(int32_t a, int32_t b, int32_t c, int32_t d, std::span<int16_t> order) {
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

bool Quorvel::MoveLayer(int32_t from, int32_t to) {
    int32_t layers = 0;
    {
        const LockedParameters parameters;
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        layers = block.LayerCount();
        if (layers < 1 || layers > BlockLayout::kMaxLayers || !block.HoldsLayer(layers - 1)) return false;
    }
    if (from < 0 || to < 0 || from > layers || to > layers || from == to || ListPosLinked(from, to)) return false;
    // A drop may not split a linked group.
    if (from > to ? ListPosLinked(to - 1, to) : ListPosLinked(to, to + 1)) return false;
    std::array<int16_t, BlockLayout::kMaxLayers + 1> rows{};
    const std::span<int16_t> order(rows.data(), static_cast<size_t>(layers) + 1);
    if (!ComputeMoveOrder(FirstLinkedListPos(from), LastLinkedListPos(from), FirstLinkedListPos(to),
                          LastLinkedListPos(to), order))
        return false;
    if (LayerStates().Count() < layers && ResizeStackStorage(0, false) != Err::None) return false;

    const size_t bytes = static_cast<size_t>(layers) * LayerLayout::kLength;
    const std::unique_ptr<uint8_t[]> saved(new (std::nothrow) uint8_t[bytes]);
    if (!saved) return false;
    const int32_t photo = TargetLayerPos();
    int32_t newPhoto = photo, movedRow = from, slot = 0;
    std::array<int32_t, BlockLayout::kMaxLayers> sources{};
    {
        const LockedParameters parameters;
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
    PermuteLayerStates(sources.data(), layers);
    if (newPhoto != photo) SetTargetLayerPos(newPhoto);
    SetSelectedListPos(movedRow);
    InvalidateAllInstances();
    return true;
}

bool Quorvel::MovePathRecord(int32_t from, int32_t to) {
    int32_t slots = 1;
    {
        const LockedParameters parameters;
        if (!parameters) return false;
        const ParameterBlockView block = parameters.View();
        slots = block.LayerSlots();
        const int32_t records = slots + block.PathCount();
        if (from == to || from < slots || to < slots || from >= records || to >= records) return false;
        const int64_t first = RecordOffset(std::min(from, to), slots);
        const int64_t end = RecordOffset(std::max(from, to) + 1, slots);
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
    LayerStates().Move(from, to);
    SetSelectedPathRecord(to - slots);
    InvalidateAllInstances();
    return true;
}

void Quorvel::LoadLibraryFrame(const QVDatabaseRecord& record, bool replace) {
    const char* stored = FieldText(record, "Path");
    if (!stored || !*stored) return;
    const std::optional<std::string> path = LibraryFramePath(record, stored);
    if (path && path->size() < FileSpec::kSize) {
        const FileSpec spec = FileSpec::FromPath(*path);
        if (File(spec, 0).VerifyExists() == Err::None) {
            SetLayerFrame(spec, 0, replace, false);
            return;
        }
    }
    AlertFrameNotFound(FieldText(record, "Filename"));
}

// ---- Edits the preview dialog's commands run

bool Quorvel::CurrentLayerEditable() {
    const LockedParameters parameters;
    if (!parameters) return false;
    const ParameterBlockView block = parameters.View();
    const int32_t selected = block.Block().Get(BlockLayout::kSelectedLayer);
    if (selected < 0 || selected >= block.LayerCount() || !block.HoldsLayer(selected)) return false;
    if (!block.Layer(selected).Get(LayerLayout::kEnabled)) return false;
    const LayerState* state = LayerStates().At(selected);
    return !state || !state->loadFailed;
}

bool Quorvel::AddInstantFrame() {
    {
        const LockedParameters parameters;
        if (!parameters || parameters.View().LayerCount() >= BlockLayout::kMaxLayers) return false;
    }
    // The default shape: an ellipse with five sides for the polygons, a 39% inset and a centred
    // head, in the place of a frame file's path.
    FileSpec shape{};
    const RecordRef record(shape.bytes);
    record.Set(ShapeLayout::kMarker, int32_t{-1});
    record.Set(ShapeLayout::kKind, uint16_t{1});
    record.Set(ShapeLayout::kOption, uint8_t{1});
    record.Set(ShapeLayout::kCorner, int16_t{0});
    record.Set(ShapeLayout::kSides, int16_t{5});
    record.Set(ShapeLayout::kInset, int16_t{39});
    record.Set(ShapeLayout::kAspect, int16_t{0});
    record.Set(ShapeLayout::kHeadWidth, int16_t{50});
    record.Set(ShapeLayout::kBaseWidth, int16_t{50});
    SetLayerFrame(shape, 0, false, false);
    return true;
}

bool Quorvel::InvertCurrentFrame() {
    if (!CurrentLayerEditable()) return false;
    const LockedParameters parameters;
    const ParameterBlockView block = parameters.View();
    const RecordRef layer = block.Layer(block.Block().Get(BlockLayout::kSelectedLayer));
    layer.Set(LayerLayout::kInvert, static_cast<uint8_t>(layer.Get(LayerLayout::kInvert) ? 0 : 1));
    return true;
}

namespace {

// The frame images a drop accepts, by the four-character code of their extension.
bool IsFrameFileName(std::string_view path) {
    constexpr uint32_t kAccepted[] = {'.FRM', '.FRR', '.JPG', '.JPE', '.AFX', 'JFIF', 'JPEG'};
    const uint32_t code = FileSpec::ExtensionCode(path) & 0x7F7F7F7F;
    return std::find(std::begin(kAccepted), std::end(kAccepted), code) != std::end(kAccepted);
}

}  // namespace

ErrorCode Quorvel::AddDroppedFrames(std::span<const std::string> paths) {
    constexpr int16_t kTooManyFramesAlert = 16006;
    constexpr ErrorCode kNothingAdded = 32512;
    bool added = false;
    for (const std::string& path : paths) {
        {
            const LockedParameters parameters;
            if (parameters && parameters.View().LayerCount() >= BlockLayout::kMaxLayers) {
                RunModalDialog(nullptr, kTooManyFramesAlert, "32", nullptr);
                break;
            }
        }
        if (!IsFrameFileName(path)) continue;
        const FileSpec spec = FileSpec::FromPath(path);
        if (!InsertFrame(std::max(CurrentLayerIndex(), 0), spec, 0, false, false)) break;
        added = true;
    }
    if (!added) return kNothingAdded;
    if (CurrentLayerIndex() < 0) SetSelectedListPos(TargetLayerPos() == 0 ? 1 : 0);
    if (PreviewOwner* dialog = Dialog()) dialog->PushUndoState();
    LoadLayerImages();
    return 0;
}
