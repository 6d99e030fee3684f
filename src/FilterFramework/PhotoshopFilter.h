// The filter framework's base class. Every filter object is also an instance of the tile
// scheduler: it holds its own zoom, dirty region, tile walk and cached copies of what the host
// delivered, and the framework drives the filter through the virtual slots below, numbered in the
// framework's order. The preview dialog drives the product's filter through classes of its own,
// so the framework keeps no dialog slots (16 to 25, and the reserved 27): a filter learns of the
// dialog only as the PreviewOwner the dialog hands it.
#pragma once

#include <cstdint>

#include "DrawingPort.h"
#include "ErrorCodes.h"
#include "HostCall.h"
#include "HostRequest.h"
#include "ParameterHeader.h"
#include "PlaneBuffer.h"
#include "PlaneView.h"
#include "PluginInterface.h"
#include "SharedChannels.h"

class File;
class PreviewOwner;

// Scheduler states of an instance; a positive state is the per-tile step still to run.
enum SchedulerState : int32_t {
    kStateDone = -3,
    kStateBeginPass = -2,
    kStateNextTile = -1,
    kStateProcessTile = 0,
};

// Copies a settings file's body (what follows its header, whose 16-bit length in the machine's
// byte order opens the file) into destination from offset 1028, sizing destination to hold it. A
// header longer than the file leaves no body to copy. File errors are raised.
void CopySettingsBody(File& source, File& destination);

// What a scripted call asks of a run beside its settings. The entry reads it from the host's
// scripting parameters and hands it to every instance it links; a call without scripting runs
// with none of it.
struct RunOptions {
    // Alpha channels of the document that the run reads as extra planes ('FraL', 'FrbL', 'FrtL').
    SharedChannelNames channelNames;
    // 'FwnL': the frames come out without the photo merged into them, and the photo is read from
    // the target layer's channels where the host offers them.
    bool fwnl = false;
};

// Process-wide state of the framework for one call.
struct FrameworkFlags {
    bool withSelection = false;         // the run filters through a selection mask
    bool sourceChanged = false;         // the host must undo, deselect and repeat before rendering
    bool warnSelectionRemoval = false;
    bool greyMenuItems = false;         // the round trip is armed
    bool saveSession = false;
    bool privateOutput = false;         // output goes to a scratch buffer, not the host's
    Rect16 effectiveArea{};             // the filter rectangle united with the whole image
    Rect16 selectionBounds{};
    Rect16 previousEffectiveArea{};
};
FrameworkFlags& Framework();

class PhotoshopFilter {
public:
    // A filter object serves one host call, which outlives it: the entry builds the call's objects
    // when the call begins and deletes them before it ends.
    explicit PhotoshopFilter(HostCall& call);
    virtual ~PhotoshopFilter();                       // slot 0
    PhotoshopFilter(const PhotoshopFilter&) = delete;
    PhotoshopFilter& operator=(const PhotoshopFilter&) = delete;

    virtual uint32_t GetSignature() const;            // slot 1
    virtual void BeginRun();                          // slot 2
    virtual void DialogFinished(ErrorCode result);    // slot 3
    // Ends the run; answers the call's result, which the end of the run may change.
    virtual ErrorCode EndRun(ErrorCode result);       // slot 4
    virtual void SetupRun() {}                        // slot 5
    virtual void CopySettingsToDialogFile(File* source);  // slot 6
    virtual void ReleaseLayerStates() {}              // slot 7
    virtual void SetDefaultParameters(int flag) {}    // slot 8
    virtual ErrorCode ValidateParameters() { return 0; }  // slot 9
    virtual void Prepare();                           // slot 10
    virtual void BeginPass();                         // slot 11
    virtual bool NextTile();                          // slot 12
    virtual void EndTileSteps() {}                    // slot 13
    // The tile's k-th step, before the host delivers its pixels (k counts down from the step
    // count); then the tile's composition over what the host delivered.
    virtual void TileStep(int32_t k, const Rect16& tile);   // slot 14
    virtual void ComposeTile(const TileView& tile) {}       // slot 15
    virtual bool WarnSelectionRemoved(bool quiet);    // slot 26
    virtual void ScriptedRunHook() {}                 // slot 28
    virtual void ClearRecordInfo() {}                 // slot 29
    virtual bool GetApplyToNewLayer() { return false; }      // slot 30
    virtual bool WantsLayeredOutputA() { return false; }     // slot 31
    virtual bool WantsLayeredOutputB() { return false; }     // slot 32
    virtual bool GetLayeredOutputMode() { return false; }    // slot 33

    // ---- Host checks and the parameter block

    // Sizes the host's parameters handle to hold an S-byte block and writes its header.
    void SetParameterBlockSize(int32_t size, bool reset);
    // Before a run: the host must offer what the framework needs (17500 otherwise).
    void CheckHost();
    void DetermineMaskMode();

    // ---- Session state

    void SaveSessionState();
    void RestoreSessionState();

    // ---- The scheduler

    // Runs one step of the first instance that has work; false when none has.
    static bool RunInstances(int32_t trackingDepth);
    // Links the instance at the head of the list for a pass over the call's image, with the run's
    // options.
    static void InitPreviewInstance(PhotoshopFilter& instance, const RunOptions& options = {});
    static void Unlink(PhotoshopFilter& instance);
    static void InvalidateAllInstances();
    static PhotoshopFilter* FirstInstance();
    // Called by long loops inside a step: once a step under the open dialog has run for a second,
    // the wait cursor shows, renewed every quarter second.
    static void SpinBusyCursor();
    PhotoshopFilter* NextInstance() const { return next_; }
    // Adds r (or, without r, the whole rectangle) to the dirty region and restarts the pass.
    void InvalidateRect(const Rect16* r);
    void ValidateRect(const Rect16& r);
    // Shrinks r to the bounding box of its dirty part; false when nothing of it is dirty.
    bool ClipToDirtyRegion(Rect16& r) const;
    void SetTileSize(int32_t width, int32_t height);
    void ReportProgress(double amount, double total);
    // Restarts the instance for a final pass: state begin-pass, no progress.
    void RestartPass();

    // ---- Tile processing

    ErrorCode ProcessTile();
    bool NextTileRect();
    void ReadSourceCache(const Rect16& rect, bool image);
    void WriteSourceCache(bool image);
    void UnlockTileBuffers();

    // ---- Preview instances

    void PreparePreviewBuffers(bool wholeImageFirst);
    bool AllocatePreviewBuffers(const Rect16& rect, bool withLayers, bool wholeImage);
    void LoadOverviewImage();
    void SetPreviewScale(double scale);
    void SetPreviewRect(const Rect16& rect);
    bool RunTabInstance();
    void ComposePreviewLayers();
    int16_t InputPlaneCount() const;
    int16_t OutputPlaneCount() const;

    // The pixels a preview shows for the current tile: the lower companion layer composed with the
    // output when there is one, else the upper one; none (null address) when the host's output is
    // shown as it is.
    PlaneView PreviewPixels() const;
    // The current tile's pixels of the document layer directly below or above the target, as a
    // preview tile reads them before the compose step (colour planes, then transparency); a null
    // address when that layer is not read.
    enum class Companion { Lower, Upper };
    PlaneView CompanionTile(Companion which) const;

    // ---- The host call this object serves (a filter object lives for one call)

    HostCall& Call() const { return call_; }
    FilterRecord& Record() const { return *call_.record; }
    // The call's bytes per sample, at least 1 (a bitmap's samples are handled as bytes).
    int32_t SampleBytes() const { return call_.bytesPerSample > 1 ? call_.bytesPerSample : 1; }

    // ---- State the product and the tests read

    int32_t State() const { return state_; }
    const RunOptions& Options() const { return options_; }
    void SetStepCount(int32_t steps) { stepCount_ = steps > 0 ? steps : 1; }
    double PreviewScale() const { return previewScale_; }
    int32_t IntegerScale() const;
    const Rect16& WholeRect() const { return wholeRect_; }
    const Rect16& TileRect() const { return tileRect_; }
    int16_t TileWidth() const { return tileWidth_; }
    int16_t TileHeight() const { return tileHeight_; }
    double ProgressDone() const { return progressDone_; }
    double ProgressTotal() const { return progressTotal_; }
    // Whether the instance renders a preview (for the dialog, or the overview).
    bool HasOwner() const { return ownerKind_ != OwnerKind::None; }
    bool IsOverview() const { return ownerKind_ == OwnerKind::Overview; }
    // The dialog that shows this instance's tiles (null when it shows none of them).
    PreviewOwner* OwnerDialog() const { return ownerKind_ == OwnerKind::Dialog ? owner_ : nullptr; }
    void SetOwner(PreviewOwner* dialog);
    // The preview dialog this object runs under while it is open, whether or not it shows the
    // object's tiles; null while none is. The dialog hands itself to every object it drives when it
    // opens and takes itself back when it closes; an object taken off the scheduler's list runs
    // under none.
    PreviewOwner* Dialog() const { return dialog_; }
    void SetDialog(PreviewOwner* dialog) { dialog_ = dialog; }
    void SetTracking(bool tracking) { tracking_ = tracking; }
    void SetPriorityRect(const Rect16& r) { priorityRect_ = r; }
    PlaneBuffer& InputCache() { return inputCache_; }
    PlaneBuffer& OutputCache() { return outputCache_; }
    const MaskPlaneLayout& MaskPlanes() const { return maskPlanes_; }

private:
    // The companion layer pixels of a preview tile, composed under and over the output.
    struct CompanionLayer {
        const ReadLayerDesc* layer = nullptr;  // the host's description, or none
        PlaneBuffer cache;
        BufferRecord pixels;
        PlaneView view;  // its planes: colour planes + 1, or 0 when the layer is not used
    };

    enum class OwnerKind { None, Overview, Dialog };

    bool RunStep();
    void StartTileWalk();
    void ConfineToFilterRect();
    void RunScheduledStep();
    void ProcessAndComposeTile();
    void RecoverFromMemoryShortage();
    bool StartNextPhase();
    void FitTileToBudget(double budget, int64_t bytesPerPixel);
    int64_t TileBytesPerPixel() const;
    void FreeCaches();
    ErrorCode ProcessPreviewTile(int32_t scale);
    bool SubstituteMaskIsFull(const Rect16& mask) const;
    void KeepFloatingMask(const Rect16& mask);
    void FindCompanionLayers();
    void ReadCompanionLayer(CompanionLayer& companion, const Rect16& tile, bool overviewShortcut);
    void ReadCompanionFromHost(CompanionLayer& companion, const Rect16& tile);
    ErrorCode ProcessFinalTile();
    ErrorCode RequestFromHost();
    bool HostCanDeliver() const;
    void SaveHostFields();
    void RestoreHostFields();

    HostCall& call_;

    // Scheduler fields.
    PhotoshopFilter* next_ = nullptr;
    int32_t state_ = kStateDone;
    int32_t stepCount_ = 1;
    double previewScale_ = 1.0;
    Rect16 wholeRect_{};
    Rect16 currentRect_{};
    Rect16 selectionBounds_{};
    Rect16 scaledImageRect_{};
    Rect16 scaledFilterRect_{};
    double progressDone_ = 0.0;
    double progressTotal_ = 1.0;
    double outerWeight_ = 1.0;
    OwnedRgn dirtyRegion_;
    Rect16 priorityRect_{};
    Rect16 bandRect_{};
    int16_t direction_ = 0;
    int16_t currentDirection_ = 0;
    int16_t phase_ = 0;
    int16_t tileHeight_ = 1;
    int16_t tileWidth_ = 1;
    Rect16 tileRect_{};

    // What the host delivered, kept so that it is not asked for twice.
    PlaneBuffer inputCache_;
    PlaneBuffer maskCache_;
    PlaneBuffer outputCache_;
    PlaneBuffer floatMaskCache_;
    CompanionLayer lowerLayer_;
    CompanionLayer upperLayer_;

    MaskPlaneLayout maskPlanes_;

    // The request fields that are this instance's own between its steps (its tile's rectangles and
    // what the host delivered for them): each step puts them into the record and takes them back.
    static constexpr unsigned kInstanceRequest = HostRequest::kRects | HostRequest::kDelivered;
    HostRequest request_;
    RunOptions options_;
    bool tracking_ = false;
    OwnerKind ownerKind_ = OwnerKind::None;
    PreviewOwner* owner_ = nullptr;
    PreviewOwner* dialog_ = nullptr;
    bool maskFromCache_ = false;  // the current tile's mask came from the source cache
    bool useLayerPorts_ = false;  // the preview shows the layers below and above the target
};
