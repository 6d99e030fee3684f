#include "PreviewCommands.h"

#include <windows.h>
#include <shellapi.h>

#include <array>

#include "HostServices.h"
#include "MorvaneDialog.h"
#include "PhotoshopDialog.h"
#include "PreferenceSettings.h"
#include "PreviewEditor.h"
#include "Quorvel.h"

namespace {

using namespace PreviewIds;

constexpr int16_t kCompositeTextBase = 17000, kRulersTextBase = 17004, kGuidesTextBase = 17006;

bool AltHeld() { return GetKeyState(VK_MENU) < 0; }

// The tab of each Window menu command, 18501 to 18509, in the menu's order.
constexpr TabType kTabOfWindowCommand[] = {kFrameStackTab, kBackgroundTab, kBorderTab, kGlowTab, kShadowTab,
                                           kShapeTab,      kEdgeTab,       kBevelTab,  kOptionTab};
static_assert(std::size(kTabOfWindowCommand) == kLastTabCommand - kFirstTabCommand + 1);

// What the rows share: the commands that answer as handled, those that are always or never
// enabled, and the stack commands' tests, asked of the editor.
int16_t Handled(PhotoshopDialog&, int16_t) { return 0; }
bool Always(const PhotoshopDialog&) { return true; }
bool Never(const PhotoshopDialog&) { return false; }
template <bool (PreviewEditor::*test)() const>
bool EditorSays(const PhotoshopDialog& dialog) {
    const PreviewEditor* editor = dialog.Editor();
    return editor && (editor->*test)();
}
bool FrameEditable(const PhotoshopDialog& dialog) { return EditorSays<&PreviewEditor::FrameCommandsEnabled>(dialog); }
bool LayerRowSelected(const PhotoshopDialog& dialog) { return EditorSays<&PreviewEditor::LayerRowCommandsEnabled>(dialog); }
bool LinkableFrames(const PhotoshopDialog& dialog) { return EditorSays<&PreviewEditor::LinkCommandEnabled>(dialog); }

int16_t ToggleTab(PhotoshopDialog& dialog, int16_t command) {
    dialog.Editor()->ToggleTab(kTabOfWindowCommand[command - kFirstTabCommand]);
    return 0;
}

int16_t OpenPage(PhotoshopDialog& dialog, int16_t command) {
    const wchar_t* page = command == kHelp ? L"https://www.vantrel.com/quorvel/help" : L"https://www.vantrel.com/quorvel/tutorials";
    ShellExecuteW(dialog.Window(), L"open", page, nullptr, nullptr, SW_SHOWNORMAL);
    return 0;
}

}  // namespace

std::span<const PreviewCommand> PreviewCommands::Table() {
    using D = PhotoshopDialog;
    using C = const PhotoshopDialog;
    static constexpr auto checkForUpdate = [](D& d, int16_t) {
        if (d.services_.updateCheck) {
            const FloatingWindowsSuspended suspended;
            d.services_.updateCheck(d.Window());
        }
        return int16_t{0};
    };
    static const PreviewCommand kTable[] = {
        // ---- The dialog's own: undo, the view, help and closing.
        {DialogIds::kUndo, [](D& d, int16_t) { d.Undo(); return int16_t{0}; }, [](C& d) { return d.CanUndo(); }, false},
        {DialogIds::kRedo, [](D& d, int16_t) { d.Redo(); return int16_t{0}; }, [](C& d) { return d.CanRedo(); }, false},
        {kCancelClose, [](D& d, int16_t) { d.closing_ = true; return kCancel; }, nullptr, false},
        {kApplyCommand,
         [](D& d, int16_t) {
             d.closing_ = true;
             d.CommitPendingEdit();
             return kApply;
         },
         nullptr, false},
        {kZoomIn, [](D& d, int16_t) { d.ZoomStep(true, std::nullopt); return int16_t{0}; }, [](C& d) { return d.zoom_.CanZoomIn(); },
         false},
        {kZoomOut, [](D& d, int16_t) { d.ZoomStep(false, std::nullopt); return int16_t{0}; },
         [](C& d) { return d.zoom_.CanZoomOut(); }, false},
        {kFitOnPreview, [](D& d, int16_t) { d.ZoomToFit(std::nullopt, true); return int16_t{0}; }, nullptr, false},
        {kActualPixels, [](D& d, int16_t) { d.SetZoom({1, 1}, std::nullopt); return int16_t{0}; },
         [](C& d) { return !d.zoom_.IsActualPixels(); }, false},
        // The composite view needs the merged document from the host's channel ports; no host's
        // record offers one that the preview can show, so the command stays greyed.
        {kCompositeView,
         [](D& d, int16_t) {
             uint8_t& composite = Preferences().bytes[PreferenceSettings::kViewCompositeLayer];
             composite = composite ? 0 : 1;
             d.SetToggleText(kCompositeView, kCompositeTextBase, composite != 0);
             d.RestartPreviews();
             return int16_t{0};
         },
         [](C& d) { return d.canViewComposite_; }, false},
        {kShowRulers,
         [](D& d, int16_t) {
             d.showRulers_ = !d.showRulers_;
             d.SetToggleText(kShowRulers, kRulersTextBase, d.showRulers_);
             d.DrawPreview();
             return int16_t{0};
         },
         nullptr, false},
        {kShowGuides,
         [](D& d, int16_t) {
             d.showGuides_ = !d.showGuides_;
             d.SetToggleText(kShowGuides, kGuidesTextBase, d.showGuides_);
             return int16_t{0};
         },
         nullptr, false},
        // There are no guides to clear yet.
        {kClearGuides,
         [](D& d, int16_t) {
             d.ApplyCommandStates();
             d.InvalidatePreviewArea();
             return int16_t{0};
         },
         Never, false},
        {kAbout,
         [](D& d, int16_t) {
             if (d.services_.about) {
                 const FloatingWindowsSuspended suspended;
                 d.services_.about(d.filter_ ? d.filter_->Call().parentWindow : nullptr);
             }
             return int16_t{0};
         },
         Always, false},
        {kWelcome,
         [](D& d, int16_t) {
             if (d.services_.welcome) {
                 PreferenceSettings& preferences = Preferences();
                 uint8_t show = preferences.HasFlag(PreferenceSettings::kWelcomePageOff) ? 0 : 1;
                 {
                     const FloatingWindowsSuspended suspended;
                     d.services_.welcome(&show);
                 }
                 preferences.SetFlag(PreferenceSettings::kWelcomePageOff, show == 0);
             }
             return int16_t{0};
         },
         nullptr, false},
        {kHelp, &OpenPage, nullptr, false},
        {kTutorials, &OpenPage, nullptr, false},
        {kHotHelp,
         [](D& d, int16_t) {
             const bool on = d.SetHotHelp(-1);
             Preferences().SetFlag(PreferenceSettings::kHotHelpOff, !on);
             return int16_t{0};
         },
         nullptr, false},
        {kUpdateCheck, checkForUpdate, nullptr, false},
        {kUpdateCheckShort, checkForUpdate, nullptr, false},

        // ---- The library window's selection commands: greyed while the window is absent.
        {DialogIds::kSelectAll, nullptr, Never, false},
        {kInverseSelection, nullptr, Never, false},
        {kDeselect, nullptr, Never, false},

        // ---- The stack's commands, run by the editor. The preferences, batch and import dialogs
        // come with the library window; until then their commands answer as dialogs the user
        // cancelled.
        {kPreferences, &Handled, Always, true},
        {kBatch, &Handled, [](C& d) { return d.batchJobPassed_; }, true},
        {kImportFrame, &Handled, nullptr, true},
        {kSavePreset, [](D& d, int16_t) { d.Editor()->SavePreset(); return int16_t{0}; }, nullptr, true},
        {kOpenPresetFolder, [](D&, int16_t) { Quorvel::OpenPresetFolder(); return int16_t{0}; }, nullptr, true},
        {kResetAll, [](D& d, int16_t) { d.Editor()->ResetAll(); return int16_t{0}; }, Always, true},
        {kAddInstantFrame, [](D& d, int16_t) { d.Editor()->AddInstantFrame(); return int16_t{0}; }, &FrameEditable, true},
        {kAddRandomFrame, [](D& d, int16_t) { d.Editor()->AddRandomFrames(AltHeld()); return int16_t{0}; }, &FrameEditable, true},
        {kInvertFrame, [](D& d, int16_t) { d.Editor()->InvertFrame(); return int16_t{0}; }, &LayerRowSelected, true},
        {kDeleteFrame, [](D& d, int16_t) { d.Editor()->DeleteFrame(AltHeld()); return int16_t{0}; }, &LayerRowSelected, true},
        {kRotateClockwise, [](D& d, int16_t) { d.Editor()->RotateGroup(90); return int16_t{0}; }, &FrameEditable, true},
        {kRotateCounterClockwise, [](D& d, int16_t) { d.Editor()->RotateGroup(-90); return int16_t{0}; }, &FrameEditable, true},
        {kFlipHorizontal, [](D& d, int16_t) { d.Editor()->FlipGroup(true); return int16_t{0}; }, &FrameEditable, true},
        {kFlipVertical, [](D& d, int16_t) { d.Editor()->FlipGroup(false); return int16_t{0}; }, &FrameEditable, true},
        {kLinkAllFrames, [](D& d, int16_t) { d.Editor()->LinkAllFrames(); return int16_t{0}; }, &LinkableFrames, true},
        {kViewFrameLibrary, [](D& d, int16_t) { d.Editor()->ShowFrameLibrary(); return int16_t{0}; }, nullptr, true},
        {kShowLibraryAtStart, [](D& d, int16_t) { d.Editor()->ShowFrameLibrary(); return int16_t{0}; }, nullptr, true},

        // ---- The Window menu's tabs (the Option tab only for the hosts that take layered output).
        {kFirstTabCommand + 0, &ToggleTab, nullptr, true},
        {kFirstTabCommand + 1, &ToggleTab, nullptr, true},
        {kFirstTabCommand + 2, &ToggleTab, nullptr, true},
        {kFirstTabCommand + 3, &ToggleTab, nullptr, true},
        {kFirstTabCommand + 4, &ToggleTab, nullptr, true},
        {kFirstTabCommand + 5, &ToggleTab, nullptr, true},
        {kFirstTabCommand + 6, &ToggleTab, nullptr, true},
        {kFirstTabCommand + 7, &ToggleTab, nullptr, true},
        {kOptionTabCommand, &ToggleTab, [](C&) { return IsPhotoshopHost(); }, true},
    };
    static_assert(kFirstTabCommand + 8 == kOptionTabCommand);
    return kTable;
}

const PreviewCommand* PreviewCommands::Find(int16_t command) {
    for (const PreviewCommand& row : Table())
        if (row.id == command) return &row;
    return nullptr;
}
