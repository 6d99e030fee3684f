// The filter's side of the preview dialog: what the dialog's items, keys, menu commands and on-image
// tools do to the frame stack, and the one refresh that follows every edit. It holds the dialog it
// serves, the preview filter it drives and, through it, the filter's stack model; the dialog makes
// one when its window opens and deletes it when the window closes. The settings tabs built over it
// reach the stack's edits and the palette set through it too.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "DialogCompanions.h"
#include "ErrorCodes.h"
#include "FloatingPalettes.h"
#include "PreviewTools.h"

class PSDialog;
class Quorvel;
class QuorvelBase;

class PreviewEditor {
public:
    // What the refresh after an edit does beyond bringing the commands, the overlay and the tabs in
    // step and redoing the preview.
    enum RefreshScope : unsigned {
        kSettingsOnly = 0,        // the edit changed settings the layers' images do not depend on
        kLoadImages = 1,          // records came, went or changed their frame: their images load
        kReloadMissing = 2 | 1,   // frames that were missing are looked for again as they load
        kDropLayerCaches = 4,     // every layer renders afresh
        kPreviewOnly = 8,         // only the picture changed: the commands, overlay and tabs stay
    };

    PreviewEditor(PSDialog& dialog, Quorvel& filter);
    ~PreviewEditor();
    PreviewEditor(const PreviewEditor&) = delete;
    PreviewEditor& operator=(const PreviewEditor&) = delete;

    PSDialog& Dialog() const { return dialog_; }
    Quorvel& Filter() const { return filter_; }
    QuorvelBase& Stack() const;
    PreviewTools& Tools() { return tools_; }
    // The tabs beside the dialog as one set for the Tab key: each tab takes its place while it lives.
    FloatingPalettes& Palettes() { return palettes_; }

    // ---- The dialog's window opens and closes

    // The window is up with its tool and stack set: takes the tabs built over this editor (null:
    // none), selects the move tool, loads the layers' images and brings the commands in step.
    void Open(std::unique_ptr<DialogCompanions> companions);
    // The window closes: the overlay is forgotten, the tabs save where they stand and go.
    void Close();

    // ---- Items, keys and the mouse

    // A tool button was chosen: every tab's pick ends.
    void ToolChosen();
    // An undo or redo put an earlier block back: every image, cache and command follows it.
    void AfterUndoOrRedo();
    // A press on the preview under the cursor the mouse last had there: the move, rotate, scale or
    // pick drag; the tabs follow the block after it.
    void PressOnPreview();
    // The cursor the tools choose for the mouse over the preview, with their overlay (0: the
    // dialog's own).
    int16_t CursorOverPreview();
    // The mouse left the preview: the overlay goes.
    void MouseLeftPreview();
    // The preview was painted: the overlay is drawn over it again.
    void PreviewPainted();
    // Tab puts the tabs away and brings them back; the arrow keys nudge the layer under the move
    // cursor. True when the key was consumed.
    bool HandleKey(int16_t key, uint16_t modifiers);
    // A disk came: frames that were missing may be there now.
    void DiskInserted();
    // Whether the keyboard focus is in an item of one of the tabs.
    bool TabsHaveFocus() const;

    // ---- The refresh after an edit

    // After every stack edit, the dialog's own and the tabs': images as the scope asks, the
    // commands' states, the overlay and the tabs in step (unless kPreviewOnly), then the whole
    // preview composed again.
    void RefreshAfterEdit(unsigned scope = kSettingsOnly);
    // The commands' enabled states (through the dialog's command table), the overlay and the tabs
    // in step with the block; hosts without layered output get the plain result.
    void UpdateCommandStates();

    // ---- The stack's commands (each refreshes after its edit)

    void ResetAll();
    // Adds a Razezev Urude layer at the selected row and shows the Shape tab: false at 32 layers.
    bool AddInstantFrame();
    // Replaces the stack by random frames from the frame library.
    void AddRandomFrames(bool invertSource);
    void InvertFrame();
    void DeleteFrame(bool all);
    void RotateGroup(int16_t degrees);
    void FlipGroup(bool horizontal);
    void LinkAllFrames();
    // The frame library window is built by a later version of the dialog; until then its door
    // answers as a window the user closed at once.
    void ShowFrameLibrary() {}
    // The preset dialog that asks for the preset's name comes with the library window; until then
    // Save Preset answers as a cancelled dialog.
    void SavePreset() {}
    // The Window menu: shows or hides a tab (the Option tab only where the host offers it).
    void ToggleTab(TabType type);
    // Frame files dropped on the dialog: 0 when one was added, 32512 when none was.
    ErrorCode AddDroppedFrames(std::span<const std::string> paths);

    // ---- When the stack's commands are enabled

    // Adding, turning and flipping: with no layer selected, or one that can be edited.
    bool FrameCommandsEnabled() const;
    // Inverting and deleting: with a layer's row selected, not the photo's.
    bool LayerRowCommandsEnabled() const;
    // Linking all frames: with two layers or more.
    bool LinkCommandEnabled() const;

private:
    PSDialog& dialog_;
    Quorvel& filter_;
    PreviewTools tools_;
    FloatingPalettes palettes_;
    std::unique_ptr<DialogCompanions> companions_;
    int16_t previewCursor_ = 0;  // the cursor the tools last chose for the preview
};
