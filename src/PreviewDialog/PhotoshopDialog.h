// The preview dialog of a Start call: the live preview of the frame stack, its picture buttons,
// status line, menu bar and keys. The stack itself belongs to the product's filter object the
// dialog drives: while its window is open, an editor over that filter (PreviewEditor) runs what
// the items, keys, tools and stack commands do to the stack, and the settings tabs stand beside it.
// The dialog keeps for its own the preview's geometry (zoom and scroll), the drawing of the
// rendered tiles through the host's displayPixels, the undo and redo lists, the preferences' round
// trip and the command table (PreviewCommands.h) that runs its menu commands and decides when they
// are enabled. The libraries it shows are opened by the start routine before it is built.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "File.h"
#include "PSDialog.h"
#include "PreviewCommands.h"
#include "PreviewOwner.h"
#include "PreviewIds.h"
#include "PreviewZoom.h"
#include "ShownImage.h"
#include "UndoList.h"

class FlickerControl;
class ImageControl;
class PhotoshopFilter;
class PreviewEditor;
class Quorvel;
struct HostCall;
struct FilterRecord;

// The maker's libraries the dialog's Help and Window commands open, handed in by the plug-in's
// entry (they stand beside the plug-in, not below the dialog). A missing one leaves its command
// without effect.
struct MakerServices {
    void (*about)(HWND hostWindow) = nullptr;
    void (*welcome)(uint8_t* showFlag) = nullptr;
    void (*updateCheck)(HWND parent) = nullptr;
};

class PhotoshopDialog final : public PSDialog, public PreviewOwner {
public:
    // The dialog of the host call over `filter` (the preview instance it drives) and `secondPreview`
    // (the instance that renders the overview). A null filter (a plug-in built round another filter
    // class) fails the dialog's start with -108.
    PhotoshopDialog(int16_t templateId, HostCall& call, Quorvel* filter, PhotoshopFilter* secondPreview);
    ~PhotoshopDialog() override;

    void SetMakerServices(const MakerServices& services) { services_ = services; }
    // The outside batch runner handed this run a job: Batch... can be chosen.
    void SetBatchJobPassed(bool passed) { batchJobPassed_ = passed; }

    // ---- The dialog's operations.
    void InitDialog() override;
    void EndDialog(int16_t result) override;
    int16_t ItemHit(int16_t item) override;
    int16_t HandleKey(int16_t key, uint16_t modifiers) override;
    // Runs the command's row of the command table; a command the table does not run is the
    // dialog framework's.
    int16_t DoEditCommand(int16_t command) override;
    void PressCancel() override;
    int16_t DefaultItemIfEnabled() override;
    void PostItemHit(int16_t item) override;
    // The framework's edit commands, then every command the table gives an enabled test.
    void UpdateMenus() override;
    void DeviceArrived() override;
    int16_t Close() override;
    void MoveBy(int widthChange, int heightChange) override;
    int16_t CursorForItem(int16_t item) override;
    int32_t HelpStringId(int16_t item) override;
    void Update(HRGN region) override;
    void DrawItem(int16_t item) override;
    void Idle() override;
    void SetStatusText(const char* text) override;

    // ---- The preview services the tools and tabs reach through the dialog they are given.
    bool TrackMouse(Point16& point, Point16& delta, bool constrain) override;
    bool PreviewToImage(Point16& point) override;
    bool GetImageColor(Point16 point, ColorRecord& color) override;
    void GetZoom(int32_t& out, int32_t& in) override;
    bool PushUndoState() override;
    void SetTool(int16_t tool) override;
    int16_t GetTool() override { return tool_; }
    void DrawOverlayLine(Point16 from, Point16 to) override;
    void DrawOverlayHandle(Point16 point) override;

    // ---- What the framework and the renderer ask of the dialog that runs their objects.
    void ShowTile(PhotoshopFilter& instance) override;
    void ShowProgress(PhotoshopFilter& instance, double done, double total) override;
    bool Undo() override;
    void ReleaseSavedState() override;
    void DisableCompositeView() override;
    File& SettingsFile() override { return settingsFile_; }
    int16_t AlertOverDialog(int16_t alertId) override;
    void EnableCommand(int16_t command, bool enabled) override;

    bool Redo();
    // The filter the dialog drives, and the editor over it while the window is open (null
    // otherwise).
    Quorvel* Filter() const { return filter_; }
    PreviewEditor* Editor() const { return editor_.get(); }

    // ---- Zoom and scroll.
    ZoomRatio Zoom() const { return zoom_; }
    PreviewPoint Origin() const { return origin_; }
    // The part of the scaled image the view shows, in preview units.
    const PreviewRect& VisibleRect() const { return visible_; }
    // The preview's rectangle in client coordinates.
    const PreviewRect& PreviewArea() const { return previewArea_; }
    // Sets the ratio keeping the unit under `fixed` (client point; the view's centre without one)
    // in place, or moving the origin to `origin` when given.
    void SetZoom(ZoomRatio ratio, std::optional<PreviewPoint> fixed, std::optional<PreviewPoint> origin = {});
    void ZoomStep(bool in, std::optional<PreviewPoint> fixed);
    // Shows the document rectangle (the filter rectangle without one) whole, centred.
    void ZoomToFit(std::optional<PreviewRect> documentRect, bool allowEnlarge);
    void ScrollBy(int32_t dv, int32_t dh);
    // The window title at the current zoom.
    const std::string& TitleText() const { return title_; }
    // Whether every tile of the view has been drawn since the last change.
    bool PreviewFinished() const;
    bool CanUndo() const { return undo_.CanUndo(); }
    bool CanRedo() const { return undo_.CanRedo(); }

private:
    void InitWindowedDialog();
    void InitImageControls();
    void ResetToPreferredStack();
    void LayOut();
    void UpdateScrollLimits();
    void UpdateVisibleRect();
    void UpdateTitle();
    PreviewViewport Viewport() const { return {previewArea_, origin_, zoom_}; }
    void FillOutsideImage(HDC dc, HRGN region);
    // Lays the preview out again and has its whole area painted from the shown image.
    void DrawPreview();
    // Has the preview's area of the window painted again (no render).
    void InvalidatePreviewArea();
    void DrawOverlayRect(Point16 from, Point16 to);
    void TrackPreviewPress();
    void TrackHand();
    void TrackZoomMarquee();
    int16_t PreviewCursor(uint16_t modifiers) const;
    int16_t TrackButton(int16_t item);
    void CommitPendingEdit();
    void StoreWindowBounds();
    void RestoreWindowBounds();
    void WriteLastUsedPreset();
    void RestartPreviews();
    // Gives every running filter object this dialog, or takes it back (null).
    void HandOver(PreviewOwner* dialog);
    // Every command the table gives an enabled test, enabled or greyed as the test says.
    void ApplyCommandStates();
    void SetToggleText(int16_t menuItem, int16_t stringBase, bool state);
    bool SetHotHelp(int16_t on);
    void LoadPreferences();
    void SavePreferences();

    // The command table reads and runs the dialog's own state.
    friend struct PreviewCommands;

    HostCall& call_;
    Quorvel* filter_;
    PhotoshopFilter* secondPreview_;
    std::unique_ptr<PreviewEditor> editor_;
    ZoomRatio zoom_;
    PreviewPoint origin_;
    OriginLimits limitsV_, limitsH_;
    PreviewRect previewArea_;   // client coordinates
    PreviewRect visible_;       // preview units
    PreviewRect scaledFilter_;  // the filter rectangle in preview units
    int32_t marginRight_ = 0, marginBottom_ = 0;
    UndoList undo_;
    File settingsFile_;
    std::array<std::unique_ptr<ImageControl>, PreviewIds::kImageButtons> buttons_;
    std::unique_ptr<FlickerControl> statusLine_;
    int16_t tool_ = PreviewIds::kNoTool;
    std::string toolLetters_ = "hzv";
    bool showRulers_ = false;
    bool showGuides_ = true;
    bool hotHelp_ = false;
    bool closing_ = false;
    int initialised_ = 0;       // 1 after InitDialog, 2 after the first idle tick
    bool canViewComposite_ = false;
    std::string baseTitle_;
    std::string title_;
    ShownImage shown_;
    std::optional<Point16> dragAnchor_;
    Point16 lastDragPoint_{};
    int16_t rememberedCursor_ = 0;
    MakerServices services_;
    bool batchJobPassed_ = false;
    int lastProgressTenth_ = -1;
};
