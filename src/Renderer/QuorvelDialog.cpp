// The filter's side of the preview dialog: the events, keys and menu commands the dialog hands
// over, the menus and tabs kept in step with the current layer, and the stack edits the Frames
// menu offers. Everything changes the parameter block through the stack model; the dialog pushes
// the undo state after each item hit.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "BigEndian.h"
#include "Errors.h"
#include "HostCall.h"
#include "HostServices.h"
#include "LayerState.h"
#include "Libraries.h"
#include "LockedParameters.h"
#include "MorvaneDialog.h"
#include "OnImageTools.h"
#include "PSDialog.h"
#include "PreviewIds.h"
#include "Quorvel.h"
#include "RandomFrames.h"
#include "RenderSession.h"
#include "SettingsLayout.h"

namespace {

// The tab of each Window menu command, 18501 to 18509, in the menu's order.
constexpr TabType kTabOfWindowCommand[] = {kFrameStackTab, kBackgroundTab, kBorderTab, kGlowTab, kShadowTab,
                                           kShapeTab,      kEdgeTab,       kBevelTab,  kOptionTab};
static_assert(std::size(kTabOfWindowCommand) == PreviewIds::kLastTabCommand - PreviewIds::kFirstTabCommand + 1);

constexpr ErrorCode kNothingAdded = 32512;

DialogCompanionsFactory gCompanionsFactory = nullptr;


HMENU PreviewMenu() {
    PSDialog* dialog = MainDialog();
    return dialog && dialog->Window() ? GetMenu(dialog->Window()) : nullptr;
}

void SetCommandEnabled(HMENU menu, int16_t command, bool enabled) {
    if (menu) EnableMenuItem(menu, static_cast<UINT>(command), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED | MF_DISABLED));
}


bool AltHeld() { return GetKeyState(VK_MENU) < 0; }

// The frame images the drop accepts, by the four-character code of their extension.
bool IsFrameFileName(std::string_view path) {
    constexpr uint32_t kAccepted[] = {'.FRM', '.FRR', '.JPG', '.JPE', '.AFX', 'JFIF', 'JPEG'};
    const uint32_t code = FileSpec::ExtensionCode(path) & 0x7F7F7F7F;
    return std::find(std::begin(kAccepted), std::end(kAccepted), code) != std::end(kAccepted);
}

}  // namespace

void Quorvel::SetCompanionsFactory(DialogCompanionsFactory factory) { gCompanionsFactory = factory; }

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

ErrorCode Quorvel::LastUsedPresetPath(std::string& path) {
    std::string folder;
    if (const ErrorCode error = PresetCategoryFolder("Last Used", folder)) return error;
    path = FileSpec::JoinPath(folder, "Last Used.qvo");
    return Err::None;
}

// ---- Events

int16_t Quorvel::HandleDialogEvent(int16_t event) {
    switch (event) {
    case PreviewIds::kApply:
    case PreviewIds::kCancel:
        return event;
    case PreviewIds::kPreview:
        HandlePreviewMouse();
        return 0;
    case PreviewIds::kEventAfterUndo:
    case PreviewIds::kEventAfterRedo:
        RequestReloadOfMissingFrames();
        LoadLayerImages();
        UpdateCommandStates();
        Stack().InvalidateLayerCache(-1);
        InvalidatePreview();
        return 0;
    default:
        if (event >= PreviewIds::kZoomTool && event <= PreviewIds::kMoveTool && companions_) companions_->ClearPickModes();
        return 0;
    }
}

void Quorvel::InitDialog() {
    PSDialog* dialog = MainDialog();
    if (dialog && gCompanionsFactory) companions_ = gCompanionsFactory(*this, *dialog);
    if (dialog) dialog->SetTool(3);
    if (companions_) companions_->ClearPickModes();
    if (!Session().updateRegion) {
        const Rect16& r = HostCall::Current().record->filterRect;
        Session().updateRegion = OwnedRgn(CreateRectRgn(r.left, r.top, r.right, r.bottom));
    }
    LoadLayerImages();
    UpdateCommandStates();
}

void Quorvel::CloseDialog() {
    ForgetPreviewOverlay();
    if (companions_) {
        companions_->SavePlacement();
        companions_.reset();
    }
}

void Quorvel::DrawItemOverlay(int16_t item) {
    if (item != PreviewIds::kPreview) return;
    if (PSDialog* dialog = MainDialog()) DrawPreviewOverlay(*this, *dialog);
}

int16_t Quorvel::TrackCursor(int16_t item) {
    PSDialog* dialog = MainDialog();
    if (!dialog) return 0;
    if (item != PreviewIds::kPreview) {
        ErasePreviewOverlay(*dialog);
        previewCursor_ = 0;
        return 0;
    }
    Point16 mouse = dialog->MousePoint();
    dialog->PreviewToImage(mouse);
    previewCursor_ = ChoosePreviewCursor(*this, *dialog, mouse);
    return previewCursor_;
}

void Quorvel::HandlePreviewMouse() {
    PSDialog* dialog = MainDialog();
    if (dialog && TrackPreviewDrag(*this, *dialog, previewCursor_) && companions_) companions_->UpdateAll();
}

bool Quorvel::HandleKey(int16_t key, uint16_t /*modifiers*/) {
    if (key == DialogKeyCode::kTab) {
        if (companions_ && companions_->HasFocusedItem()) return false;
        Stack().TogglePalettes();
        if (PSDialog* dialog = MainDialog(); dialog && dialog->Window()) SetActiveWindow(dialog->Window());
        return true;
    }
    if (key >= DialogKeyCode::kLeft && key <= DialogKeyCode::kDown) {
        PSDialog* dialog = MainDialog();
        return dialog && NudgeSelectedLayer(*this, *dialog, previewCursor_, key);
    }
    return false;
}

void Quorvel::OnDiskInserted() {
    PSDialog* dialog = MainDialog();
    if (!dialog) return;
    int32_t missing = 0;
    const int32_t slots = LayerStates().Count();
    for (int32_t i = 0; i < slots; ++i)
        if (const LayerState* state = LayerStates().At(i); state && state->loadFailed) ++missing;
    if (missing == 0) return;
    constexpr int16_t kReloadQuestion = 16004;
    if (MorvaneDialog::Alert(dialog, kReloadQuestion) != 1) return;
    RequestReloadOfMissingFrames();
    LoadLayerImages();
    UpdateCommandStates();
    InvalidatePreview();
}

// ---- Output options the apply path asks for

bool Quorvel::GetApplyToNewLayer() {
    const LockedParameters parameters = Stack().Lock();
    return parameters && parameters.View().Block().Get(BlockLayout::kOutputOption) != 0;
}

bool Quorvel::WantsLayeredOutputA() {
    const LockedParameters parameters = Stack().Lock();
    return LayeredOutput() && parameters && parameters.View().Block().Get(BlockLayout::kLayeredOutputMode) == BlockLayout::kLayeredOutputMask;
}

bool Quorvel::WantsLayeredOutputB() {
    const LockedParameters parameters = Stack().Lock();
    return LayeredOutput() && parameters && parameters.View().Block().Get(BlockLayout::kLayeredOutputMode) == BlockLayout::kLayeredOutputLayers;
}

bool Quorvel::GetLayeredOutputMode() {
    const LockedParameters parameters = Stack().Lock();
    return LayeredOutput() && parameters && parameters.View().Block().Get(BlockLayout::kLayeredOutputMode) != 0;
}

// ---- Commands

void Quorvel::UpdateCommandStates() {
    const bool editable = CurrentLayerEditable();
    if (HMENU menu = PreviewMenu()) {
        const LockedParameters parameters = Stack().Lock();
        const ParameterBlockView block = parameters ? parameters.View() : ParameterBlockView(nullptr, 0);
        const int32_t layers = parameters ? block.LayerCount() : 0;
        const int32_t selected = parameters ? block.Block().Get(BlockLayout::kSelectedLayer) : -1;
        const bool layerSelected = selected >= 0 && selected < layers;
        const bool photoRowSelected = Stack().GetSelectedListPos() == Stack().TargetLayerPos();
        for (int16_t command : {PreviewIds::kAddInstantFrame, PreviewIds::kAddRandomFrame, PreviewIds::kRotateClockwise,
                                PreviewIds::kRotateCounterClockwise, PreviewIds::kFlipHorizontal, PreviewIds::kFlipVertical})
            SetCommandEnabled(menu, command, !layerSelected || editable);
        SetCommandEnabled(menu, PreviewIds::kInvertFrame, !photoRowSelected);
        SetCommandEnabled(menu, PreviewIds::kDeleteFrame, !photoRowSelected);
        SetCommandEnabled(menu, PreviewIds::kLinkAllFrames, layers >= 2);
    }
    if (PSDialog* dialog = MainDialog()) RedrawPreviewOverlay(*this, *dialog);
    if (companions_) companions_->UpdateAll();
    // Hosts that cannot take the result as new layers get the plain result.
    if (!IsPhotoshopHost() || !LayeredOutput()) {
        const LockedParameters parameters = Stack().Lock();
        if (parameters) {
            const RecordRef block = parameters.View().Block();
            if (!IsPhotoshopHost() || block.Get(BlockLayout::kLayeredOutputMode) != 0) {
                block.Set(BlockLayout::kLayeredOutputMode, uint8_t{0});
                block.Set(BlockLayout::kOutputOption, uint8_t{0});
            }
        }
    }
}

void Quorvel::RefreshAllLayers() {
    RequestReloadOfMissingFrames();
    LoadLayerImages();
    UpdateCommandStates();
    Stack().InvalidateLayerCache(-1);
    InvalidatePreview();
}

void Quorvel::RefreshAfterEdit() {
    UpdateCommandStates();
    InvalidatePreview();
}

// The frame library window is built by a later version of the dialog; until then its door answers
// as a window the user closed at once.
void Quorvel::ShowFrameLibrary() {}

// The preset dialog that asks for the preset's name comes with the library window; until then
// Save Preset answers as a cancelled dialog.
void Quorvel::SavePreset() {}

bool Quorvel::AddInstantFrame() {
    {
        const LockedParameters parameters = Stack().Lock();
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
    if (companions_) companions_->ShowTab(kShapeTab);
    RefreshAfterEdit();
    return true;
}

void Quorvel::AddRandomFrames(bool invertSource) {
    Edits().DeleteFrame(true);
    RandomDraws draws = RandomDraws::SeededFromClock();
    RandomFrameContext context{FramesLibrary(), draws};
    AddRandomFrame(invertSource, context);
    RefreshAfterEdit();
}

bool Quorvel::InvertCurrentFrame() {
    if (!CurrentLayerEditable()) return false;
    const LockedParameters parameters = Stack().Lock();
    const ParameterBlockView block = parameters.View();
    const RecordRef layer = block.Layer(block.Block().Get(BlockLayout::kSelectedLayer));
    layer.Set(LayerLayout::kInvert, static_cast<uint8_t>(layer.Get(LayerLayout::kInvert) ? 0 : 1));
    return true;
}

int16_t Quorvel::HandleCommand(int16_t command) {
    switch (command) {
    case PreviewIds::kPreferences:
    case PreviewIds::kBatch:
    case PreviewIds::kImportFrame:
        // The preferences, batch and import dialogs come with the library window; until then
        // their commands answer as dialogs the user cancelled.
        return kCommandHandled;
    case PreviewIds::kSavePreset:
        SavePreset();
        return kCommandHandled;
    case PreviewIds::kOpenPresetFolder:
        OpenPresetFolder();
        return kCommandHandled;
    case DialogIds::kSelectAll:
    case PreviewIds::kInverseSelection:
    case PreviewIds::kDeselect:
        return 0;  // for the library window, which is not open
    case PreviewIds::kResetAll:
        SetDefaultParameters(0);
        Stack().SetTargetLayerPos(0);
        Stack().SetSelectedListPos(0);
        LoadLayerImages();
        UpdateCommandStates();
        Stack().InvalidateLayerCache(-1);
        InvalidatePreview();
        return kCommandHandled;
    case PreviewIds::kAddInstantFrame:
        AddInstantFrame();
        return kCommandHandled;
    case PreviewIds::kAddRandomFrame:
        AddRandomFrames(AltHeld());
        return kCommandHandled;
    case PreviewIds::kInvertFrame:
        if (InvertCurrentFrame()) RefreshAfterEdit();
        return kCommandHandled;
    case PreviewIds::kDeleteFrame:
        if (Edits().DeleteFrame(AltHeld())) RefreshAfterEdit();
        else UpdateCommandStates();
        return kCommandHandled;
    case PreviewIds::kRotateClockwise:
    case PreviewIds::kRotateCounterClockwise:
        RotateCurrentGroup(command == PreviewIds::kRotateClockwise ? 90 : -90);
        RefreshAfterEdit();
        return kCommandHandled;
    case PreviewIds::kFlipHorizontal:
    case PreviewIds::kFlipVertical:
        FlipCurrentGroup(command == PreviewIds::kFlipHorizontal);
        RefreshAfterEdit();
        return kCommandHandled;
    case PreviewIds::kLinkAllFrames:
        Stack().LinkAllLayers();
        if (companions_) companions_->UpdateAll();
        return kCommandHandled;
    case PreviewIds::kViewFrameLibrary:
    case PreviewIds::kShowLibraryAtStart:
        ShowFrameLibrary();
        return kCommandHandled;
    default:
        if (command >= PreviewIds::kFirstTabCommand && command <= PreviewIds::kLastTabCommand) {
            const TabType type = kTabOfWindowCommand[command - PreviewIds::kFirstTabCommand];
            if (companions_ && (type != kOptionTab || IsPhotoshopHost())) companions_->ToggleTab(type);
            return kCommandHandled;
        }
        return 0;
    }
}

void Quorvel::RotateCurrentGroup(int16_t degrees) { ::RotateCurrentGroup(*this, MainDialog(), degrees); }

void Quorvel::FlipCurrentGroup(bool horizontal) { ::FlipCurrentGroup(*this, MainDialog(), horizontal); }

ErrorCode Quorvel::AddDroppedFrames(std::span<const std::string> paths) {
    bool added = false;
    for (const std::string& path : paths) {
        {
            const LockedParameters parameters = Stack().Lock();
            if (parameters && parameters.View().LayerCount() >= BlockLayout::kMaxLayers) {
                StackEdits::AlertStackFull();
                break;
            }
        }
            if (!IsFrameFileName(path)) continue;
        const FileSpec spec = FileSpec::FromPath(path);
        if (!Edits().InsertFrame(std::max(Stack().CurrentLayerIndex(), 0), spec, 0, false, false)) break;
        added = true;
    }
    if (!added) return kNothingAdded;
    if (Stack().CurrentLayerIndex() < 0) Stack().SetSelectedListPos(Stack().TargetLayerPos() == 0 ? 1 : 0);
    if (PSDialog* dialog = MainDialog()) dialog->PushUndoState();
    LoadLayerImages();
    UpdateCommandStates();
    InvalidatePreview();
    return 0;
}
