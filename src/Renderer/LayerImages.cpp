// The images of the stack's records: loading every record's frame (or building its shape) into the
// LayerState table, and using a frame from a file or a library record through the stack edits.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "AlertIds.h"
#include "Alerts.h"
#include "AutoRotation.h"
#include "ColorConversion.h"
#include "Errors.h"
#include "File.h"
#include "ImageFile.h"
#include "LayerState.h"
#include "PreferenceSettings.h"
#include "PreviewOwner.h"
#include "Quorvel.h"
#include "QuorvelShapes.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "SettingsDefaults.h"
#include "StackEdits.h"
#include "StackLimits.h"
#include "StringIds.h"

namespace {

// Requests that outlive one edit: the automatic rotation of the next loaded frames, and the
// preview's wish to load missing frames again.
struct LoadRequests {
    bool autoRotate = false;
    bool reloadMissing = false;
};
LoadRequests gRequests;

// Bytes of every host plane of one side: the five layer-plane counts when the host reports
// them, else the image's planes.
int64_t HostPlanes(int16_t layerPlanes, int16_t transparency, int16_t masks, int16_t inverted, int16_t other, int16_t planes) {
    return layerPlanes ? int64_t{layerPlanes} + transparency + masks + inverted + other : planes;
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

// Replaces the first `placeholder` of text by value.
void Substitute(std::string& text, std::string_view placeholder, const std::string& value) {
    if (const size_t at = text.find(placeholder); at != std::string::npos) text.replace(at, placeholder.size(), value);
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
void LoadRecordFrame(const ColourContext& colours, RecordRef record, LayerState& state, bool pathRecord,
                     bool underDialog) {
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
        error = Quorvel::LoadFrameImage(colours, pathRecord, spec, 0, state, false);
    }
    state.imageMissing = error != Err::None;
    if (error && !underDialog) THROW_IF_ERROR(Err::GenericFailure);
}

}  // namespace

void Quorvel::RequestAutomaticRotation() {
    gRequests.autoRotate = !Preferences().HasFlag(PreferenceSettings::kAutomaticRotationOff);
}
void Quorvel::RequestReloadOfMissingFrames() { gRequests.reloadMissing = true; }

void Quorvel::FrameSourceChanged(bool keepRotation) {
    if (!keepRotation) RequestAutomaticRotation();
}

int32_t Quorvel::LoadLayerImages() {
    const FilterRecord& r = Record();
    int32_t slots = 1;
    {
        const LockedParameters parameters = Stack().Lock();
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

    const LockedParameters parameters = Stack().Lock();
    if (!parameters) return 0;
    const ParameterBlockView block = parameters.View();
    const int32_t layers = block.LayerCount(), records = block.LayerSlots() + block.PathCount();
    int32_t walked = 0;
    for (int32_t j = layers == 0 ? 1 : 0; j < records; ++j) {
        LayerState* state = LayerStates().At(j);
        const int64_t offset = ParameterBlockView::RecordOffset(j, block.LayerSlots());
        if (!state || offset + PathLayout::kLength > block.Length()) continue;
        ++walked;
        const RecordRef record(block.Bytes() + offset);
        const bool isLayer = j < block.LayerSlots();
        if (isLayer && HoldsShape(record)) {
            state->imageMissing = false;
            if (ShapeMaskStale(*state, record)) THROW_IF_ERROR(BuildShapeMask(*state, record, r.filterRect));
            continue;
        }
        LoadRecordFrame(ColourContext::Of(&r), record, *state, !isLayer, Dialog() != nullptr);
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

void Quorvel::SetLayerFrame(const FileSpec& spec, uint32_t recordId, bool replace, bool keepRotation) {
    const bool replacing = replace || GetKeyState(VK_MENU) < 0;
    QuorvelBase& stack = Stack();
    if (!replacing) {
        const LockedParameters parameters = stack.Lock();
        if (parameters && StackLimits::AtLayerLimit(parameters.View().LayerCount())) {
            StackEdits::AlertStackFull();
            return;
        }
    }
    const int32_t position = stack.GetSelectedListPos();
    bool changed = false;
    if (replacing) {
        const int32_t layer = stack.ListPosToLayer(position);
        if (layer >= 0) changed = Edits().SetLayerRecordData(layer, spec, recordId, keepRotation);
    } else {
        // A stack whose records fill the table is refused by the insertion, with its alert.
        changed = Edits().InsertFrameRecord(position, spec, recordId, keepRotation);
    }
    if (!changed) return;
    LoadLayerImages();
    stack.SetSelectedListPos(position);
    if (const auto layer = stack.SelectedLayerRecord()) layer->Set(LayerLayout::kEnabled, 1);
    RedoPreview();
}

void Quorvel::MissingFrames::Report() const {
    if (count <= 0) return;
    const int text = count == 1 ? StringIds::kFrameNotFoundText : StringIds::kFramesNotFoundText;
    char message[512];
    if (!LoadResourceString(text, message, sizeof message)) message[0] = '\0';
    std::string shown = message;
    // The file name goes in last, so that a name holding a placeholder of its own shows as it is.
    Substitute(shown, "%d", std::to_string(count));
    Substitute(shown, "%s", firstName);
    RunModalDialog(nullptr, AlertIds::kNotFound, shown.c_str(), nullptr);
}

bool Quorvel::LoadLibraryFrame(const QVDatabaseRecord& record, bool replace, MissingFrames* missing) {
    const char* stored = FieldText(record, "Path");
    if (!stored || !*stored) return true;
    const std::optional<std::string> path = LibraryFramePath(record, stored);
    if (path && path->size() < FileSpec::kSize) {
        const FileSpec spec = FileSpec::FromPath(*path);
        if (File(spec, 0).VerifyExists() == Err::None) {
            SetLayerFrame(spec, 0, replace, false);
            return true;
        }
    }
    const char* name = FieldText(record, "Filename");
    MissingFrames alone;
    MissingFrames& tally = missing ? *missing : alone;
    if (tally.count++ == 0) tally.firstName = name ? name : "";
    if (!missing) alone.Report();
    return false;
}

// ---- Edits the preview dialog's commands run

bool Quorvel::CurrentLayerEditable() const {
    const LockedParameters parameters = Stack().Lock();
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
        const LockedParameters parameters = Stack().Lock();
        if (!parameters || StackLimits::AtLayerLimit(parameters.View().LayerCount())) return false;
    }
    // A shape layer with the default shape, an ellipse, in the place of a frame file's path.
    FileSpec shape{};
    SettingsDefaultShape(RecordRef(shape.bytes), ShapeLayout::kEllipse);
    SetLayerFrame(shape, 0, false, false);
    return true;
}

bool Quorvel::InvertCurrentFrame() {
    if (!CurrentLayerEditable()) return false;
    const LockedParameters parameters = Stack().Lock();
    const ParameterBlockView block = parameters.View();
    const RecordRef layer = block.Layer(block.Block().Get(BlockLayout::kSelectedLayer));
    layer.Set(LayerLayout::kInvert, static_cast<uint8_t>(layer.Get(LayerLayout::kInvert) ? 0 : 1));
    return true;
}

ErrorCode Quorvel::AddDroppedFrames(std::span<const std::string> paths) {
    constexpr ErrorCode kNothingAdded = 32512;
    bool added = false;
    for (const std::string& path : paths) {
        {
            const LockedParameters parameters = Stack().Lock();
            if (parameters && StackLimits::AtLayerLimit(parameters.View().LayerCount())) {
                StackEdits::AlertStackFull();
                break;
            }
        }
        if (!FileTypeList::HoldsExtensionOf(ImageTypeList::kFrameFiles, path)) continue;
        const FileSpec spec = FileSpec::FromPath(path);
        if (!Edits().InsertFrame(std::max(Stack().CurrentLayerIndex(), 0), spec, 0, false, false)) break;
        added = true;
    }
    if (!added) return kNothingAdded;
    if (Stack().CurrentLayerIndex() < 0) Stack().SetSelectedListPos(Stack().TargetLayerPos() == 0 ? 1 : 0);
    if (PreviewOwner* dialog = Dialog()) dialog->PushUndoState();
    LoadLayerImages();
    return 0;
}
