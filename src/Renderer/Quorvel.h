// The product's filter class: the framework's filter over the frame-stack model it owns for its
// call. Its render slots forward to the render it composes (FrameRender), whose host it is; it
// keeps the call's session round trip, the block's defaults and checks, frame files, presets and
// the batch hand-off, and is the host of the stack edits (the block's storage, frame loading, the
// previews).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ColorConversion.h"
#include "PhotoshopFilter.h"
#include "QuorvelBase.h"
#include "RenderRecords.h"
#include "File.h"
#include "FrameRender.h"
#include "SettingsLayout.h"
#include "StackEdits.h"
#include "StackState.h"
#include "TileComposer.h"

struct LayerState;
class QVDatabaseRecord;
class ThumbnailSource;

class Quorvel : public PhotoshopFilter, private StackEditHost, private FrameRenderHost {
public:
    static constexpr uint32_t kSignature = 'qvxq';

    // A filter object of the call whose stack state is `state` (the photo's row and the LayerState
    // table, which the call's filter objects share); the call and the state outlive the object.
    Quorvel(HostCall& call, StackState& state);
    ~Quorvel() override;

    uint32_t GetSignature() const override { return kSignature; }
    // The frame-stack model over this call's parameter block and stack state.
    QuorvelBase& Stack() const;
    // The stack edits on that model, with this filter as their host.
    StackEdits Edits() { return StackEdits(Stack(), *this); }
    // The call's LayerState table (the model's).
    LayerStateTable& LayerStates() const { return state_.layerStates; }
    // The product keeps its own session block, so its run hooks replace the framework's selection
    // round trip.
    void BeginRun() override { InitializeGlobals(); }
    // Finish's result, when it differs from the call's, leaves as an ErrorCodeException.
    ErrorCode EndRun(ErrorCode result) override;

    // Starts a host call: clears the session, builds the first-run tables once per process, and
    // takes back the image cache that an earlier call left in the host's data word. A saved block
    // that fails its checks is dropped (the file it names is left alone); a cache file that cannot
    // be reopened raises its error; a cache made for another plane count raises 32512.
    void InitializeGlobals();
    // Ends a host call: frees every LayerState and the update region and closes the image cache.
    // A successful run that keeps its cache hands it to the host's next call; otherwise the cache
    // file is deleted. Answers the call's result: 19008 when the file of a successful call cannot
    // be deleted; an earlier error stays as it was.
    ErrorCode Finish(ErrorCode result);
    // Marks the preview's whole area to compose again and restarts every preview instance.
    void RedoPreview();

    // which < -1 with a block present resets the selected layer (layer 0 when none is selected),
    // keeping its edges; anything else builds the default block.
    void SetDefaultParameters(int which) override;
    // Migrates a block of the older layout and checks the block; 0, or 17004 when it is corrupt.
    ErrorCode ValidateParameters() override;
    // Adds delta to the path-record count (pathRecords) or the layer count, resizes the block to
    // match and sizes the run-time tables to the stack: 0, -108 when memory is short, -30100 when
    // the stack would leave its limits.
    ErrorCode ResizeStackStorage(int32_t delta, bool pathRecords) override;

    // A scripted run leaves no record information behind.
    void ClearRecordInfo() override;

    // ---- The render's slots, forwarded to the render (FrameRender.h says what each does)

    // The framework's filter-case checks do not apply to this class.
    void Prepare() override { render_.ReserveHostSpace(); }
    void SetupRun() override;
    void ReleaseLayerStates() override { render_.ReleaseTables(); }
    void BeginPass() override { render_.BeginPass(Instance(), Stack()); }
    bool NextTile() override;
    void TileStep(int32_t k, const Rect16& tile) override;
    void ComposeTile(const TileView& tile) override { render_.ComposeTile(tile, Instance(), Stack()); }
    int32_t PassCount() const { return render_.PassCount(); }
    double LargestPassCost() const { return render_.LargestPassCost(); }
    bool LayeredOutput() const { return render_.LayeredOutput(); }
    const PlaneBuffer& SourceBuffer() const { return render_.SourceBuffer(); }
    const PlacementTable& Placements() const { return render_.Placements(); }
    const PassTable& Passes() const { return render_.Passes(); }
    const BevelTable& Bevels() const { return render_.Bevels(); }

    // ---- Frame files (FrameFiles.cpp)

    // Loads the frame its file spec names (a single image, or a three-file set beside it) into state:
    // its buffers, layouts, border values and the file spec it came from. inHostMode decodes in the
    // host's colour mode (previews); otherwise a single image is grey and its border values are
    // measured. typeCode 0 takes the type from the name's extension. The host's document mode and
    // colour services (none: RGB, the built-in converter) decode what is not grey. A failure shows
    // its alert (16002 for memory, else 16003) unless quiet, leaves state without a colour buffer
    // and with loadFailed set, and is answered: -108, 17400, 17401, 17404, 19005 or 20002.
    static ErrorCode LoadFrameImage(const ColourContext& host, bool inHostMode, const FileSpec& spec, uint32_t typeCode,
                                    LayerState& state, bool quiet);
    // Copies the frame's files (a set's companions first, then the main file) into folder and
    // gives the main file's new path: 0, 19005 for a missing file, or the system's error number of
    // the first copy that failed. An empty folder copies nothing.
    static ErrorCode CopyFrameFileSet(const FileSpec& spec, uint32_t typeCode, std::string_view folder, FileSpec& newPath);
    // While set (process-wide), a load that fails for another reason than memory shows no alert.
    static void SilenceFrameAlerts(bool silenced);

    // ---- Preset files and the batch hand-off (PresetFiles.cpp, BatchHandOff.cpp)

    // A preset's own texts; empty ones are left out of the file.
    struct PresetTexts {
        std::string_view category;
        std::string_view author;
        std::string_view description;
    };
    // The answer of a preset whose file, or whose thumbnail, could not be stored.
    static constexpr ErrorCode kPresetNotStored = -148;

    // Writes the current stack as a preset file at path, its frame paths relative to the frame
    // library folder, with a thumbnail of thumbnailSource when there is one (a preset whose
    // thumbnail cannot be made is written without). The file is written beside its place and
    // renamed into it, so a failed write leaves what was there. A category that could not be a
    // folder name is left out. 0; kPresetNotStored when the file, a text or the thumbnail could
    // not be stored (a thumbnail that failed leaves the file written); 17004 when the current
    // block is not a whole stack, and nothing is written.
    ErrorCode WritePresetFile(std::string_view path, const PresetTexts& texts, ThumbnailSource* thumbnailSource);
    // Replaces the current stack by a preset's, with its frame paths made absolute against the
    // frame library folder, its layers linked on each side of the photo and the photo at the
    // preset's place (on top when the preset gives none, or one outside its stack). A detached
    // load gives the block no run-time link and leaves the preview alone. 0; 19005 for no file;
    // 17004 when the file holds no settings that pass every check of a block; -108 when memory is
    // short. Whatever fails, the current stack stays as it was; no alert is shown.
    ErrorCode LoadPresetFile(std::string_view path, bool detached);

    // Whether a preset category can name a folder inside the presets folder: not empty, not only
    // dots, no separator, drive or other character that a file name may not hold.
    static bool IsUsableCategoryName(std::string_view category);
    // The presets folder in the user's application-data folder, created when missing: 0, or the
    // code of the folder that could not be had.
    static ErrorCode PresetsFolder(std::string& folder);
    // The folder that keeps the presets of a category, created when missing: the category's folder
    // inside the presets folder, or the presets folder itself for a category that is empty or
    // unusable as a folder name.
    static ErrorCode PresetCategoryFolder(std::string_view category, std::string& folder);
    // Shows the presets folder (created when missing) in the system's file browser.
    static ErrorCode OpenPresetFolder();
    // Moves the frame library to folder: the stack's frame paths are rewritten from the old
    // library folder to the new one and the libraries open again there.
    void SetLibraryFolder(std::string_view folder);

    // ---- Frame images and the use of a frame (LayerImages.cpp; the edits are Edits())

    // Loads or rebuilds the image of every record (layers, then path records): shapes get their
    // inside-test again when their record changed; a frame file is loaded unless its entry holds it
    // already (or, after RequestReloadOfMissingFrames, it is missing). A frame that cannot be
    // loaded is marked missing: under the preview dialog the walk goes on, without it the call
    // stops with 32512. Consumes the automatic-rotation request. Answers the records walked.
    int32_t LoadLayerImages();
    // Uses a frame: replaces the selected layer's frame (replace, or Alt held), or inserts a layer
    // at the selected row (Edits()); alert 16006 when the stack is full.
    void SetLayerFrame(const FileSpec& spec, uint32_t recordId, bool replace, bool keepRotation);
    // The library frames of one run whose files could not be found, told in one alert at its end.
    struct MissingFrames {
        std::string firstName;  // the file name of the first
        int32_t count = 0;
        // Alert 16013 naming the first and, when there were more, how many; nothing for none.
        void Report() const;
    };
    // Uses the frame of a frames-library record (its "Filename", "Path" and "PathType"). False,
    // with nothing changed, when its file cannot be found: alert 16013 names it, or, given a
    // tally, it is counted there for the caller to tell. A record without a path does nothing.
    bool LoadLibraryFrame(const QVDatabaseRecord& record, bool replace, MissingFrames* missing = nullptr);
    // The next LoadLayerImages turns frames to the photo's orientation, unless the preference
    // turns automatic rotation off.
    static void RequestAutomaticRotation();
    // The preview asks for missing frames to be loaded again.
    static void RequestReloadOfMissingFrames();

    // ---- Random frames (RandomFrames.cpp; the context is in RandomFrames.h)

    struct RandomFrameContext;
    // Stacks a random number of frames picked from the frames library (the same frame may come
    // twice), each inserted at the selected row and given random background settings between the
    // bounds of the randomizer preferences. invertSource swaps the meaning of the use-all-records
    // option for this call (which matters once the library window hands over a list of its own;
    // until then its list is the whole library). Nothing is drawn for a frame that was not
    // inserted. A frame whose file is missing is passed over and the run goes on; one alert at the
    // end names the first missing file and how many were missing. A full stack ends the run, with
    // its alert. False, with nothing added and no alert, when the library is absent or holds no
    // frame to pick; true when a frame was added.
    bool AddRandomFrame(bool invertSource, RandomFrameContext& context);

    // ---- The batch hand-off (BatchHandOff.cpp)

    // The fields of the batch runner's job that the hand-off reads and writes, by address: the
    // job is the runner's record.
    struct BatchJobFields {
        int32_t stackType = 0;                  // the job's settings: the stack to apply
        uint8_t* runRequested = nullptr;        // 1 once the stack is handed over
        uint8_t** parameterCopy = nullptr;      // the copy of the block's handle
        uint64_t* parameterCopyLength = nullptr;  // its length, 0 until the copy is whole
    };
    static constexpr int32_t kBatchCurrentStack = 0;
    static constexpr int32_t kBatchRandomFrames = 3;
    // Hands the stack to a confirmed batch job: for the current stack a copy of the block's handle
    // with frame paths relative to the frame library folder and no run-time link, on the process
    // heap, which the runner frees; for random frames the same copy once they are added to the
    // stack (from randomFrames, or from the open frames library with draws seeded by the clock);
    // any other stack type takes no copy. Then marks the job to run; the preview dialog is to end
    // with 2. 0; -108 when memory is short, 17004 when the block is not a whole stack, -30100 for a
    // job without its fields: nothing is marked then. The live block keeps its absolute paths.
    ErrorCode HandOffBatch(const BatchJobFields& job, RandomFrameContext* randomFrames = nullptr);

    // ---- Output options the apply path asks for (OutputOptions.cpp)

    bool GetApplyToNewLayer() override;
    bool WantsLayeredOutputA() override;
    bool WantsLayeredOutputB() override;
    bool GetLayeredOutputMode() override;

    // ---- Stack edits the preview dialog's commands run (QuorvelStackEdits.cpp, PlacementTargets.cpp)
    // They change the parameter block only: the dialog's side refreshes the preview after them.

    // The preset the dialog keeps the last stack in ("Last Used.qvo" in its own category folder,
    // made when missing): 0, or the code of the folder that could not be had.
    static ErrorCode LastUsedPresetPath(std::string& path);
    // Frame files dropped on the preview: each usable one (a frame image by its extension) is
    // inserted at the current layer until the stack is full (alert 16006); the first frame of an
    // empty selection is selected, the stack becomes an undo step of the dialog the object runs
    // under, and the layers' images are loaded. 0 when one was added, 32512 when none was.
    ErrorCode AddDroppedFrames(std::span<const std::string> paths);
    // Whether the selected layer can be edited: within the stack, enabled, and its image loaded.
    bool CurrentLayerEditable() const;
    // Adds a Razezev Urude layer (an ellipse) at the selected row: false at 32 layers.
    bool AddInstantFrame();
    // Toggles the invert byte of the current layer when it can be edited.
    bool InvertCurrentFrame();
    // Rotates (by degrees) or flips every layer of the current layer's group, or the photo when no
    // layer is selected.
    void RotateCurrentGroup(int16_t degrees);
    void FlipCurrentGroup(bool horizontal);

private:
    // Sizes the LayerState table to the stack's entries and the render's tables to its layers.
    ErrorCode ResizeRunTimeTables(int32_t slots, int32_t paths);

    // The render's host and what it reads of this instance at each slot.
    RenderInstance Instance() const;
    ErrorCode FitStorageToStack() override { return ResizeStackStorage(0, false); }
    void LoadStackImages() override { LoadLayerImages(); }
    void StartTileWalk(std::optional<TileSize> tile, int32_t steps) override;
    void KeepPixels(const Rect16& area) override { ValidateRect(area); }

    // The stack edits' host: the resize is ResizeStackStorage's above.
    void FrameSourceChanged(bool keepRotation) override;
    void RestartPreviews() override { InvalidateAllInstances(); }

    StackState& state_;
    // The model over the parameters field of the call's record, made when first asked for: a
    // filter may be built before the record of its call is at hand.
    mutable std::optional<QuorvelBase> stack_;
    FrameRender render_;
};
