// The render of a frame stack over the host's image: the run's setup, the render start that places
// the photo and every layer and prepares one pass per visible effect, the drawing of each pass's
// coverage for a tile, and the composition of the tile. The per-pixel arithmetic is the pass
// plan's, the coverage kernels' and the composer's (PassPlan, PassCoverage, TileComposer); here
// is what a run keeps between its slots and the walk over its passes and tiles.
//
// The render owns the run's state: the plain values of its setup (RenderSetup), the record tables
// whose buffers the passes draw into (RenderRecords), the photo's source buffer and whether the
// run may write layered output. Everything else is handed to it: the host call it serves, the
// session that carries the image cache, the call's LayerState table that holds the images it
// draws; at each slot the stack model over the block and the facts of the framework's instance
// that walks the tiles. What only the filter that runs it can do it asks of a FrameRenderHost.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "ErrorCodes.h"
#include "HostCall.h"
#include "LayerState.h"
#include "PassCoverage.h"
#include "PlaneBuffer.h"
#include "PlaneView.h"
#include "PluginInterface.h"
#include "RenderGeometry.h"
#include "RenderRecords.h"
#include "RenderSetup.h"
#include "SettingsLayout.h"
#include "TileComposer.h"

class PreviewOwner;
class QuorvelBase;
struct RenderSession;

// The facts of the framework's instance that a render slot reads, taken as the slot begins.
struct RenderInstance {
    double previewScale = 1.0;        // output pixels one rendered pixel stands for
    int32_t integerScale = 1;         // that scale rounded, at least 1
    bool preview = false;             // a preview owns the instance: it is not the final render
    // The preview dialog the instance runs under, or none: its steps run between the user's
    // messages, and the image cache's give-up question is the dialog's.
    PreviewOwner* dialog = nullptr;
    bool withSelection = false;       // the run filters through the host's selection mask
    bool framesWithoutPhoto = false;  // the run's option that leaves the photo out of the frames
    Rect16 wholeRect{};               // the area the instance walks
    int16_t inputPlanes = 1;          // the host's planes of a pixel, as the framework counts them
    int16_t outputPlanes = 1;
    int32_t sampleBytes = 1;          // the call's bytes per sample, at least 1
};

// What the render asks of the filter that runs it.
class FrameRenderHost {
public:
    // Sizes the block's storage, the LayerState table and the render's tables to the block's
    // stack: 0, or the code of what could not be sized.
    virtual ErrorCode FitStorageToStack() = 0;
    // Loads (or rebuilds) the image of every record of the stack into the LayerState table, and
    // sizes the tables to the stack as FitStorageToStack does.
    virtual void LoadStackImages() = 0;
    // Starts the framework's walk over a pass, which asks the host for every plane of the image:
    // tiles of `tile` (none: of the size they had), each with `steps` steps before its composition.
    virtual void StartTileWalk(std::optional<TileSize> tile, int32_t steps) = 0;
    // The host is asked for no pixel of `area`: they stay as they are.
    virtual void KeepPixels(const Rect16& area) = 0;

protected:
    ~FrameRenderHost() = default;
};

class FrameRender {
public:
    // A render serving `call`, drawing the images of `images`, with the image cache of `session`;
    // all of them, and the host, outlive it.
    FrameRender(HostCall& call, RenderSession& session, LayerStateTable& images, FrameRenderHost& host)
        : call_(call), session_(session), images_(images), host_(host) {}
    // Releases the tables as ReleaseTables does.
    ~FrameRender();
    FrameRender(const FrameRender&) = delete;
    FrameRender& operator=(const FrameRender&) = delete;

    // ---- The run (FrameRender.cpp)

    // Asks the host to keep buffer space free for the render: half of a small maxSpace, else 2 MB.
    void ReserveHostSpace();
    // Starts a run on a host of `hostKind` (HostKind): empty tables sized to the block's stack,
    // whether the run may write layered output, and no photo buffer yet. A table that cannot be
    // sized is raised.
    void SetupRun(int32_t hostKind);
    // Sizes the tables to a stack of `slots` layer slots (two placements, four passes and one
    // bevel each): every table is sized, and the first failure answered (-108).
    ErrorCode ResizeTables(int32_t slots);
    // Frees the placements, then the pass records, then the bevel records, each table from its
    // last record down. Safe on empty tables and when called again.
    void ReleaseTables();

    // ---- The render start (RenderStart.cpp)

    // Places the photo and every drawn layer of the stack's block and prepares one pass per
    // visible effect, sizes the tiles against the passes' cost and the free buffer space, and
    // starts the framework's walk with a step for each pass. A call that replays the image cache
    // walks in whole rows with no step; a pass that can change no pixel asks the host for none.
    void BeginPass(const RenderInstance& instance, QuorvelBase& stack);

    // ---- The tiles (RenderTiles.cpp)

    // After the framework chose the next tile: a call that replays the cache reads no mask.
    void TileChosen();
    // Draws pass k's coverage (k counts from 1) for the tile; pulse keeps the host alive between
    // the blocks of a long filter.
    void TileStep(int32_t k, const Rect16& tile, const BlockPulse& pulse);

    // ---- The composition (RenderCompose.cpp)

    // Merges the passes' coverage with the photo into the host's output of the tile, keeping the
    // frames in the image cache where the run makes one; a call that replays the cache writes
    // the cached frames instead.
    void ComposeTile(const TileView& tile, const RenderInstance& instance, QuorvelBase& stack);

    // ---- What the tests and the filter read

    int32_t PassCount() const { return setup_.passCount; }
    // The largest cost of the passes the render start prepared (1.0 without passes).
    double LargestPassCost() const { return setup_.largestCost; }
    // The host offers layer masks and transparency to write to, and is not one that refuses them.
    bool LayeredOutput() const { return layeredOutput_; }
    const PlaneBuffer& SourceBuffer() const { return sourceBuffer_; }
    const PlacementTable& Placements() const { return placements_; }
    const PassTable& Passes() const { return passes_; }
    const BevelTable& Bevels() const { return bevels_; }

private:
    FilterRecord& Record() const { return *call_.record; }
    // The document's colour planes: the colour channels a cached pixel carries beside the frame's
    // alpha, and those of the frames and textures the render draws.
    int32_t DocumentColourPlanes() const;
    // Whether the tiles of an instance write the image cache: the main instance's (not a
    // preview's), while the cache is open for the document's colour channels.
    bool WritesImageCache(bool preview) const;
    // A path record's image used as a colour texture: loaded, whole, in the document's colour planes.
    static bool TextureIsDrawable(const LayerState* state, int32_t documentPlanes);
    // Planes of the host's input or output pixel as the tile buffers interleave them.
    static int32_t PlaneSpan(int16_t lo, int16_t hi) { return std::max(hi - lo + 1, 1); }

    // The render start.
    void WarnOfTransparentFrames(QuorvelBase& stack);
    bool LayerIsDrawn(const ParameterBlockView& block, int32_t layer) const;
    double PrepareLayer(const RenderInstance& instance, QuorvelBase& stack, RecordRef layer, int32_t index);
    double PrepareEffectPass(const RenderInstance& instance, QuorvelBase& stack, RecordRef layer, int32_t index);
    double PrepareBevel(const RenderInstance& instance, QuorvelBase& stack, RecordRef layer, PassSetup& pass);

    // The tile size against the free buffer space (RenderStart.cpp).
    // The bytes one tile of columns x rows takes while it is rendered: the host's delivery of its
    // planes (with the framework's reserve for the mask) and every buffer the passes draw into.
    int64_t TileBytes(const RenderInstance& instance, int32_t columns, int32_t rows) const;
    // The largest tile no larger than `wanted` whose bytes fit the free buffer space, rows given up
    // before columns; 1 x 1 when not even that fits.
    TileSize FitTileToBufferSpace(const RenderInstance& instance, TileSize wanted) const;
    // Frees the buffers the tiles of a pass grow (placement images, pass coverage, bevel planes),
    // so that the next pass sizes its tiles against all the space there is.
    void FreeTileBuffers();

    // The photo (RenderPhoto.cpp).
    void FetchSourceImage(const RenderInstance& instance);
    bool ResamplePhotoIntoSource(const RenderInstance& instance);
    bool ReadSourceFromChannels(const RenderInstance& instance);
    // The run's photo, resampled through its placement, needs a buffer over `area` at the host's
    // input planes; it is taken when the photo is first fetched, and kept while it is large
    // enough. False, with the session marked short of memory, when it cannot be had.
    bool HoldSourceBuffer(const RenderInstance& instance, const Rect16& area);

    // The tiles.
    LockedBuffer RenderPlacement(int32_t index, const Rect16& tile);
    Rect16 MakeBevelPlanes(int32_t index, const uint8_t* image, const Rect16& drawn, const Rect16& tile);
    void FinishBevelPlanes(int32_t index, const Rect16& bevelArea, const Rect16& tile);
    void CopyBevelCoverage(int32_t index, const Rect16& bevelArea, uint8_t* coverage, const Rect16& area);

    // The composition.
    void ReadCachedSource(const TileView& tile);
    // How the host's pixels and the block route the composition of a tile; photoPosition gets the
    // photo's place in the stack.
    ComposeLayout TileComposeLayout(const RenderInstance& instance, QuorvelBase& stack, int32_t& photoPosition) const;

    HostCall& call_;
    RenderSession& session_;
    LayerStateTable& images_;
    FrameRenderHost& host_;

    RenderSetup setup_;
    PlacementTable placements_;  // index 2 x layer + k: k = 0 main, 1 enlarged
    PassTable passes_;           // in pass order
    BevelTable bevels_;          // one per layer
    PlaneBuffer sourceBuffer_;
    bool layeredOutput_ = false;
};
