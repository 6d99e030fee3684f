// The frame-stack model: the operations on a parameter block and on the call's stack state (the
// photo's row and the LayerState table) that the filter class and every settings tab share. A
// model is a view: it owns neither the block nor the state, and is built over them by whoever
// serves the call (the filter class for its call, a test over a block of its own).
//
// The user sees N + 1 rows: the N layers and the photo's row at the photo position P (0..N).
// Rows below P are layers 0..P-1 at the same number; rows above P are layers P..N-1, one higher.
// Layer indexes run 0..N-1; -1 stands for the photo row or no layer. Record addresses stay valid
// until the block is resized.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "ErrorCodes.h"
#include "LockedParameters.h"
#include "PluginInterface.h"
#include "SettingsLayout.h"
#include "StackState.h"

class QuorvelBase {
public:
    // The model over the block in `parameters`, the field that holds the block's handle (the host
    // record's): a resize replaces the handle there, so every operation locks the handle it finds
    // in the field then. Both the field and the state outlive the model.
    QuorvelBase(Handle& parameters, StackState& state) : parameters_(parameters), state_(state) {}

    // ---- The block and the call's state

    // The block locked for a scope (no bytes without a block).
    LockedParameters Lock() const { return LockedParameters(parameters_); }
    Handle Parameters() const { return parameters_; }
    StackState& State() const { return state_; }
    LayerStateTable& LayerStates() const { return state_.layerStates; }

    // ---- Photo position and list positions

    int32_t TargetLayerPos() const { return state_.photoPosition; }
    // A negative position is ignored; so is one above N.
    void SetTargetLayerPos(int32_t position);
    // The layer on a list row: -1 for the photo row and for rows outside 0..N.
    int32_t ListPosToLayer(int32_t position) const;
    // The row of the selected layer, or P when the photo row is selected.
    int32_t GetSelectedListPos() const;
    // Selects the row's layer (none for the photo row or an invalid row), in the twin block too.
    void SetSelectedListPos(int32_t position);
    // Selects path record `index` (0-based), in the twin block too.
    void SetSelectedPathRecord(int32_t index);

    // ---- Records

    // Makes twin (or none) the block whose selection and edge index follow this block's; the link
    // lives in the block's run-time prefix, which validation clears.
    void LinkTwinBlock(Handle twin);

    // Record i: layer i for i < max(N,1), else path record i - max(N,1) + 1. None outside the
    // stack or past the end of the handle.
    std::optional<RecordRef> LayerRecord(int32_t index) const;
    // The selected layer's record, layer 0 when none is selected.
    std::optional<RecordRef> SelectedLayerRecord() const;
    std::optional<RecordRef> SelectedLayerEffect(int32_t kind) const;
    std::optional<RecordRef> SelectedLayerBevel() const;
    // The edge slot that the selected layer's edge index chooses.
    std::optional<RecordRef> SelectedLayerEdge() const;
    // Sets the selected layer's edge index (0..3); unless blockOnly, the twin block's too.
    void SetSelectedEdgeIndex(int32_t index, bool blockOnly);
    int32_t GetSelectedEdgeIndex() const;
    // The selected layer, or 0 when the photo row is selected.
    int32_t CurrentLayerIndex() const;
    // The path record (1..M) that layer i's bevel takes its surface texture from, when that
    // record's image is not missing; else 0.
    int32_t SurfaceTextureIndex(int32_t layer) const;
    // The selected layer's background texture index; 0 with no layer selected or no live
    // LayerState for it.
    int32_t SelectedLayerMode() const;

    // ---- Links (a group never crosses the photo row)

    // Both layers in 0..N-1 and every layer from the lower to below the higher linked to the next.
    bool LayersLinked(int32_t a, int32_t b) const;
    bool ListPosLinked(int32_t a, int32_t b) const;
    // Links every layer to its neighbours, in two groups when the photo lies between layers.
    void LinkAllLayers();
    // Sets (value 1) or clears (0) the links between layers a and b; the stack's outer ends are
    // always left unlinked.
    void SetLinkRange(int32_t a, int32_t b, uint8_t value);
    // The ends of layer i's group; -1 for a layer outside 0..N-1.
    int32_t FirstLinkedLayer(int32_t layer) const;
    int32_t LastLinkedLayer(int32_t layer) const;
    // The ends of a row's group as rows: the photo row is its own group; -1 outside 0..N.
    int32_t FirstLinkedListPos(int32_t position) const;
    int32_t LastLinkedListPos(int32_t position) const;

    // ---- Layer state

    // Whether layer i (the selected layer for i < 0) draws inverted: its invert flag against the
    // polarity of its loaded image.
    bool IsLayerInverted(int32_t layer) const;
    // Effects of enabled layers that are on, visible and partly transparent; 0 when the host's
    // input has no transparency (inputTransparencyMasks, the record's count of them, below 1).
    int32_t CountTransparentEffects(int32_t inputTransparencyMasks) const;
    // Marks surface textures stale: which < 0 every live entry, 0 the selected layer (the first
    // when none is selected), k > 0 layer k-1.
    void InvalidateLayerCache(int32_t which);
    // Builds layer i's surface texture, a grey tiling of the path record image its bevel names,
    // once until the cache is invalidated. A failed allocation is raised.
    void PrepareLayerSecondaryImage(int32_t layer);

    // ---- Frame paths

    // Rewrites every stored frame path (layers and path records; shapes have none) relative to
    // baseFolder, as presets and batch copies keep them; a path with no relative form stays.
    void MakeFramePathsRelative(std::string_view baseFolder);
    // Makes every relative frame path absolute against baseFolder again: 0, or the code of the
    // first path that could not be made absolute (that record keeps its relative path).
    ErrorCode MakeFramePathsAbsolute(std::string_view baseFolder);

    // ---- Layer settings (defaults: see SettingsDefaults.h)

    // Resets one layer's settings (layer < max(N,1)); keepEdges leaves its four edge slots.
    void InitLayerRecord(int32_t layer, bool keepEdges);
    // Resets the photo's placement and the global scale; true when anything changed.
    bool ResetBackgroundPlacement();

private:
    Handle& parameters_;
    StackState& state_;
};
