#include "PreviewEditor.h"

#include <windows.h>

#include "LockedParameters.h"
#include "HostServices.h"
#include "LayerState.h"
#include "Libraries.h"
#include "MorvaneDialog.h"
#include "PSDialog.h"
#include "PreviewIds.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "RandomFrames.h"
#include "RenderSession.h"

namespace {

constexpr int16_t kReloadQuestion = 16004;

}  // namespace

PreviewEditor::PreviewEditor(PSDialog& dialog, Quorvel& filter)
    : dialog_(dialog), filter_(filter), tools_(dialog, filter) {}

PreviewEditor::~PreviewEditor() = default;

QuorvelBase& PreviewEditor::Stack() const { return filter_.Stack(); }

// ---- The window opens and closes

void PreviewEditor::Open(std::unique_ptr<DialogCompanions> companions) {
    companions_ = std::move(companions);
    dialog_.SetTool(PreviewIds::kMove);
    if (companions_) companions_->ClearPickModes();
    if (!Session().updateRegion) {
        const Rect16& r = filter_.Record().filterRect;
        Session().updateRegion = OwnedRgn(CreateRectRgn(r.left, r.top, r.right, r.bottom));
    }
    filter_.LoadLayerImages();
    UpdateCommandStates();
}

void PreviewEditor::Close() {
    tools_.ForgetOverlay();
    if (companions_) {
        companions_->SavePlacement();
        companions_.reset();
    }
}

// ---- Items, keys and the mouse

void PreviewEditor::ToolChosen() {
    if (companions_) companions_->ClearPickModes();
}

void PreviewEditor::AfterUndoOrRedo() { RefreshAfterEdit(kReloadMissing | kDropLayerCaches); }

void PreviewEditor::PressOnPreview() {
    if (tools_.TrackDrag(previewCursor_) && companions_) companions_->UpdateAll();
}

int16_t PreviewEditor::CursorOverPreview() {
    Point16 mouse = dialog_.MousePoint();
    dialog_.PreviewToImage(mouse);
    previewCursor_ = tools_.ChooseCursor(mouse);
    return previewCursor_;
}

void PreviewEditor::MouseLeftPreview() {
    tools_.EraseOverlay();
    previewCursor_ = 0;
}

void PreviewEditor::PreviewPainted() { tools_.DrawOverlay(); }

bool PreviewEditor::HandleKey(int16_t key, uint16_t /*modifiers*/) {
    if (key == DialogKeyCode::kTab) {
        if (TabsHaveFocus()) return false;
        palettes_.TogglePalettes();
        if (dialog_.Window()) SetActiveWindow(dialog_.Window());
        return true;
    }
    if (key >= DialogKeyCode::kLeft && key <= DialogKeyCode::kDown) return tools_.Nudge(previewCursor_, key);
    return false;
}

void PreviewEditor::DiskInserted() {
    int32_t missing = 0;
    const int32_t slots = filter_.LayerStates().Count();
    for (int32_t i = 0; i < slots; ++i)
        if (const LayerState* state = filter_.LayerStates().At(i); state && state->loadFailed) ++missing;
    if (missing == 0) return;
    if (MorvaneDialog::Alert(&dialog_, kReloadQuestion) != 1) return;
    RefreshAfterEdit(kReloadMissing);
}

bool PreviewEditor::TabsHaveFocus() const { return companions_ && companions_->HasFocusedItem(); }

// ---- The refresh after an edit

void PreviewEditor::RefreshAfterEdit(unsigned scope) {
    if ((scope & kReloadMissing) == kReloadMissing) Quorvel::RequestReloadOfMissingFrames();
    if (scope & kLoadImages) filter_.LoadLayerImages();
    if (!(scope & kPreviewOnly)) UpdateCommandStates();
    if (scope & kDropLayerCaches) Stack().InvalidateLayerCache(-1);
    filter_.RedoPreview();
}

void PreviewEditor::UpdateCommandStates() {
    dialog_.UpdateMenus();
    tools_.RedrawOverlay();
    if (companions_) companions_->UpdateAll();
    // Hosts that cannot take the result as new layers get the plain result.
    if (!IsPhotoshopHost() || !filter_.LayeredOutput()) {
        const LockedParameters parameters = filter_.Stack().Lock();
        if (parameters) {
            const RecordRef block = parameters.View().Block();
            if (!IsPhotoshopHost() || block.Get(BlockLayout::kLayeredOutputMode) != 0) {
                block.Set(BlockLayout::kLayeredOutputMode, uint8_t{0});
                block.Set(BlockLayout::kOutputOption, uint8_t{0});
            }
        }
    }
}

// ---- The stack's commands

void PreviewEditor::ResetAll() {
    filter_.SetDefaultParameters(0);
    Stack().SetTargetLayerPos(0);
    Stack().SetSelectedListPos(0);
    RefreshAfterEdit(kLoadImages | kDropLayerCaches);
}

bool PreviewEditor::AddInstantFrame() {
    if (!filter_.AddInstantFrame()) return false;
    if (companions_) companions_->ShowTab(kShapeTab);
    RefreshAfterEdit();
    return true;
}

void PreviewEditor::AddRandomFrames(bool invertSource) {
    filter_.Edits().DeleteFrame(true);
    RandomDraws draws = RandomDraws::SeededFromClock();
    Quorvel::RandomFrameContext context{FramesLibrary(), draws};
    filter_.AddRandomFrame(invertSource, context);
    RefreshAfterEdit();
}

void PreviewEditor::InvertFrame() {
    if (filter_.InvertCurrentFrame()) RefreshAfterEdit();
}

void PreviewEditor::DeleteFrame(bool all) {
    if (filter_.Edits().DeleteFrame(all)) RefreshAfterEdit();
    else UpdateCommandStates();
}

void PreviewEditor::RotateGroup(int16_t degrees) {
    filter_.RotateCurrentGroup(degrees);
    tools_.RedrawOverlay();
    RefreshAfterEdit();
}

void PreviewEditor::FlipGroup(bool horizontal) {
    filter_.FlipCurrentGroup(horizontal);
    tools_.RedrawOverlay();
    RefreshAfterEdit();
}

void PreviewEditor::LinkAllFrames() {
    Stack().LinkAllLayers();
    if (companions_) companions_->UpdateAll();
}

void PreviewEditor::ToggleTab(TabType type) {
    if (companions_ && (type != kOptionTab || IsPhotoshopHost())) companions_->ToggleTab(type);
}

ErrorCode PreviewEditor::AddDroppedFrames(std::span<const std::string> paths) {
    const ErrorCode result = filter_.AddDroppedFrames(paths);
    if (result == Err::None) RefreshAfterEdit();
    return result;
}

// ---- When the stack's commands are enabled

bool PreviewEditor::FrameCommandsEnabled() const {
    const LockedParameters parameters = filter_.Stack().Lock();
    const int32_t layers = parameters ? parameters.View().LayerCount() : 0;
    const int32_t selected = parameters ? parameters.View().Block().Get(BlockLayout::kSelectedLayer) : -1;
    const bool layerSelected = selected >= 0 && selected < layers;
    return !layerSelected || filter_.CurrentLayerEditable();
}

bool PreviewEditor::LayerRowCommandsEnabled() const {
    return Stack().GetSelectedListPos() != Stack().TargetLayerPos();
}

bool PreviewEditor::LinkCommandEnabled() const {
    const LockedParameters parameters = filter_.Stack().Lock();
    return parameters && parameters.View().LayerCount() >= 2;
}
