#include "PhotoshopDialog.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "Alerts.h"
#include "BigEndian.h"
#include "ColorConversion.h"
#include "ControlDrawing.h"
#include "Errors.h"
#include "FlickerControl.h"
#include "HostCall.h"
#include "HostServices.h"
#include "HostPixels.h"
#include "HostRequest.h"
#include "ImageControl.h"
#include "ImageModes.h"
#include "Libraries.h"
#include "LockedParameters.h"
#include "ParameterHeader.h"
#include "PhotoshopFilter.h"
#include "PickedColour.h"
#include "PreferenceSettings.h"
#include "PreferencesFile.h"
#include "PreviewEditor.h"
#include "Quorvel.h"
#include "SettingsTabs.h"
#include "ResourceImage.h"
#include "ThisModule.h"
#include "Utf.h"
#include "ToolkitState.h"
#include "WindowServices.h"

namespace {

using namespace PreviewIds;

constexpr COLORREF kAreaColour = RGB(0x2F, 0x2F, 0x2F);
constexpr COLORREF kPreviewEdge = RGB(0x8E, 0x8E, 0x8E);
constexpr int16_t kHotHelpOnText = 17091, kHotHelpOffText = 17092;
constexpr int16_t kCompositeTextBase = 17000, kRulersTextBase = 17004, kGuidesTextBase = 17006;
constexpr int16_t kToolLettersString = 16791;
constexpr ErrorCode kHostLacksFeatures = 17500;
constexpr ErrorCode kNoParameters = 20009;
// The marquee steps in once, about its centre, when both its sides stay below this many units.
constexpr int32_t kSmallMarquee = 4;
// An idle tick renders for at most this long, and stops earlier when input waits.
constexpr DWORD kIdleBudgetMs = 25;

// The picture-button artwork of items 1..7 (normal, pressed, disabled) over the artwork base.
struct ButtonArt {
    int16_t normal, pressed, disabled;
    uint16_t flags;
};
constexpr std::array<ButtonArt, kImageButtons> kButtonArt = {{
    {32, 33, 34, ItemHelper::kImageAtTopLeft},
    {3, 4, 0, ItemHelper::kImageAtTopLeft},
    {46, 47, 48, ItemHelper::kImageAtTopLeft | ItemHelper::kToggleButton},
    {40, 41, 42, ItemHelper::kImageAtTopLeft | ItemHelper::kToggleButton},
    {43, 44, 45, ItemHelper::kImageAtTopLeft | ItemHelper::kToggleButton},
    {35, 36, 0, ItemHelper::kImageAtTopLeft},
    {104, 0, 0, ItemHelper::kImageAtTopLeft},
}};

std::string LoadText(int16_t id) {
    char buffer[256] = {};
    return LoadResourceString(id, buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

PreviewRect ToPreviewRect(const Rect16& r) { return {r.top, r.left, r.bottom, r.right}; }


void SetMenuState(HWND window, int16_t command, bool enabled) {
    if (HMENU menu = window ? GetMenu(window) : nullptr)
        EnableMenuItem(menu, static_cast<UINT>(command), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED | MF_DISABLED));
}

// The live parameter block as the undo list saves and restores it: the host's parameters handle,
// locked while the target lives.
class ParameterUndoTarget final : public UndoTarget {
public:
    explicit ParameterUndoTarget(Quorvel& filter) : filter_(filter) { Lock(); }

    std::span<uint8_t> Block() override {
        if (!lock_ || !*lock_) return {};
        return {lock_->As<uint8_t>(), static_cast<size_t>(GetHandleSize(Parameters()))};
    }
    void ResizeBlock(int32_t size) override {
        lock_.reset();
        filter_.SetParameterBlockSize(size, false);
        Lock();
    }
    int32_t CurrentLayer() const override { return std::max(filter_.Stack().CurrentLayerIndex(), 0); }
    void SetCurrentLayer(int32_t index) override {
        QuorvelBase& stack = filter_.Stack();
        stack.SetSelectedListPos(stack.TargetLayerPos() <= index ? index + 1 : index);
    }

private:
    Handle Parameters() const { return filter_.Record().parameters; }
    void Lock() {
        if (Parameters()) lock_.emplace(Parameters());
    }

    Quorvel& filter_;
    std::optional<LockedHandle> lock_;
};

// Frame files dropped on the dialog from the shell go to the stack; the drop's memory is the
// shell's to give back however the drop ends.
void DropFrameFiles(void* context, UINT message, WPARAM wParam, LPARAM /*lParam*/) noexcept {
    if (message != WM_DROPFILES) return;
    const auto drop = reinterpret_cast<HDROP>(wParam);
    try {
        auto& dialog = *static_cast<PhotoshopDialog*>(context);
        std::vector<std::string> paths;
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring name(length + 1, L'\0');
            if (DragQueryFileW(drop, i, name.data(), length + 1) == 0) continue;
            name.resize(length);
            paths.push_back(Utf16ToUtf8(name));
        }
        if (PreviewEditor* editor = dialog.Editor()) editor->AddDroppedFrames(paths);
    } catch (...) {
        // A drop that cannot be taken changes nothing; the dialog goes on.
    }
    DragFinish(drop);
}

}  // namespace

// ---- Construction

PhotoshopDialog::PhotoshopDialog(int16_t templateId, HostCall& call, Quorvel* filter, PhotoshopFilter* secondPreview)
    : PSDialog(templateId, DialogKind::Preview), call_(call), filter_(filter), secondPreview_(secondPreview) {}

PhotoshopDialog::~PhotoshopDialog() {
    // A dialog that never reached its end (its window failed) still takes itself back.
    HandOver(nullptr);
    undo_.Release();
}

void PhotoshopDialog::HandOver(PreviewOwner* dialog) {
    // The dialog's idle tick drives every object on the scheduler's list: each runs under the
    // dialog while it is open, and the preview instance shows its tiles in it.
    for (PhotoshopFilter* instance = PhotoshopFilter::FirstInstance(); instance; instance = instance->NextInstance())
        if (dialog || instance->Dialog() == this) instance->SetDialog(dialog);
    if (filter_ && (dialog || filter_->OwnerDialog() == this)) filter_->SetOwner(dialog);
}

void PhotoshopDialog::InitDialog() {
    PSDialog::InitDialog();
    InitWindowedDialog();
}

void PhotoshopDialog::InitWindowedDialog() {
    FilterRecord& record = *call_.record;
    if (!filter_) THROW_IF_ERROR(Err::MemoryFull);
    HandOver(this);
    filter_->SetTracking(true);

    const PreferenceSettings& preferences = Preferences();
    showRulers_ = preferences.bytes[PreferenceSettings::kRulersShown] != 0;
    const bool startWithLastStack = preferences.bytes[PreferenceSettings::kStartWithLastStack] != 0;
    if (startWithLastStack) {
        std::string path;
        if (Quorvel::LastUsedPresetPath(path) == Err::None) filter_->LoadPresetFile(path, false);
    }
    if (!record.parameters) filter_->SetDefaultParameters(0);
    if (const ErrorCode invalid = filter_->ValidateParameters()) {
        if (Alert(this, static_cast<int16_t>(invalid)) == 1) filter_->SetDefaultParameters(0);
    }
    if (!record.displayPixels) THROW_IF_ERROR(kHostLacksFeatures);

    Port().backColor = ControlLook::kBackground;
    Port().foreColor = kAreaColour;
    // How the items follow the window's size: the right-hand column moves with the right edge,
    // the preview stretches, the status line runs along the bottom.
    constexpr uint8_t kButtonPlacement = kItemFollowsRight;
    constexpr uint8_t kPreviewPlacement = kItemStretchesWidth | kItemStretchesHeight;
    constexpr uint8_t kStatusPlacement = kItemStretchesWidth | kItemFollowsBottom;
    for (int16_t item = 1; item <= ItemCount(); ++item) {
        DialogItemRecord* placed = ItemRecord(item);
        if (!placed) continue;
        placed->flags = item == kPreview ? kPreviewPlacement : item == kStatusBar ? kStatusPlacement
                        : item == kLogo   ? static_cast<uint8_t>(kItemFollowsRight | kItemFollowsBottom)
                                          : kButtonPlacement;
    }
    InitImageControls();
    statusLine_ = std::make_unique<FlickerControl>(*this, kStatusBar);
    statusLine_->SetColors(ControlLook::kBackground, ControlLook::kSurface);
    SetTool(kZoom);
    SetDefaultItem(kApply);
    const std::string letters = LoadText(kToolLettersString);
    if (!letters.empty()) toolLetters_ = letters;

    if (!startWithLastStack) ResetToPreferredStack();
    editor_ = std::make_unique<PreviewEditor>(*this, *filter_);
    editor_->Open(CreateSettingsTabs(*editor_));
    DragAcceptFiles(Window(), TRUE);
    SetDropCallback(&DropFrameFiles, this);

    if (!record.parameters) THROW_IF_ERROR(kNoParameters);
    {
        // The block's run-time link is the session's, not a setting: an undo must not bring back
        // a pointer of an earlier moment.
        const LockedHandle block(record.parameters);
        if (block) std::memset(block.Get(), 0, ParameterHeader::kRunTimePrefix);
    }
    PushUndoState();

    // The composite view needs the merged document from the host's channel ports; this host's
    // record offers none that the preview can show, so the command stays greyed.
    canViewComposite_ = false;
    ApplyCommandStates();
    SetToggleText(kCompositeView, kCompositeTextBase, Preferences().bytes[PreferenceSettings::kViewCompositeLayer] != 0);
    SetToggleText(kShowRulers, kRulersTextBase, showRulers_);
    SetToggleText(kShowGuides, kGuidesTextBase, showGuides_);

    if (secondPreview_) secondPreview_->LoadOverviewImage();
    filter_->PreparePreviewBuffers(true);
    RestoreWindowBounds();
    LayOut();
    ZoomToFit(std::nullopt, true);
    DrawPreview();
    SetHotHelp(!Preferences().HasFlag(PreferenceSettings::kHotHelpOff));
    SetIcon();
    initialised_ = 1;
}

void PhotoshopDialog::InitImageControls() {
    for (int16_t item = 1; item <= kImageButtons; ++item) {
        auto control = std::make_unique<ImageControl>(*this, item);
        const ButtonArt& art = kButtonArt[item - 1];
        control->SetColors(ControlLook::kBackground, ControlLook::kBackground);
        control->Init(kInterfaceArtworkBase, art.normal, art.pressed, art.disabled);
        control->SetHelperFlags(art.flags);
        buttons_[item - 1] = std::move(control);
    }
}

// Every run starts from the default stack unless the user asked for the last one, but keeps the
// output choices of the last Apply.
void PhotoshopDialog::ResetToPreferredStack() {
    filter_->SetDefaultParameters(0);
    const LockedParameters parameters(filter_->Record().parameters);
    if (!parameters) return;
    const PreferenceSettings& preferences = Preferences();
    const RecordRef block = parameters.View().Block();
    block.Set(BlockLayout::kOutputOption, static_cast<uint8_t>(preferences.MachineWord(PreferenceSettings::kApplyToNewLayer)));
    block.Set(BlockLayout::kLayeredOutputMode, static_cast<uint8_t>(preferences.MachineWord(PreferenceSettings::kLayeredOutput)));
}

void PhotoshopDialog::EndDialog(int16_t result) {
    if (Window()) {
        WriteLastUsedPreset();
        PreferenceSettings& preferences = Preferences();
        if (result == kApply && !preferences.bytes[PreferenceSettings::kStartWithLastStack]) {
            const LockedParameters parameters(filter_->Record().parameters);
            if (parameters) {
                // Widened with their sign, as the record has always kept them.
                const RecordRef block = parameters.View().Block();
                auto widened = [](uint8_t value) { return static_cast<uint32_t>(int32_t{static_cast<int8_t>(value)}); };
                preferences.SetMachineWord(PreferenceSettings::kApplyToNewLayer, widened(block.Get(BlockLayout::kOutputOption)));
                preferences.SetMachineWord(PreferenceSettings::kLayeredOutput, widened(block.Get(BlockLayout::kLayeredOutputMode)));
            }
        }
        StoreWindowBounds();
        DragAcceptFiles(Window(), FALSE);
        SetDropCallback(nullptr, nullptr);
        if (editor_) editor_->Close();
        ReleaseSavedState();
        preferences.bytes[PreferenceSettings::kRulersShown] = showRulers_ ? 1 : 0;
        SavePreferences();
    }
    editor_.reset();
    HandOver(nullptr);
    PSDialog::EndDialog(result);
}

void PhotoshopDialog::WriteLastUsedPreset() {
    if (!filter_) return;
    std::string path;
    if (Quorvel::LastUsedPresetPath(path) != Err::None) return;
    filter_->WritePresetFile(path, {}, nullptr);
}

void PhotoshopDialog::StoreWindowBounds() {
    Rect16 bounds{};
    GetBounds(bounds);
    uint8_t* at = Preferences().bytes + PreferenceSettings::kDialogBounds;
    BigEndian::Write16(at, static_cast<uint16_t>(bounds.top));
    BigEndian::Write16(at + 2, static_cast<uint16_t>(bounds.left));
    BigEndian::Write16(at + 4, static_cast<uint16_t>(bounds.bottom));
    BigEndian::Write16(at + 6, static_cast<uint16_t>(bounds.right));
}

void PhotoshopDialog::RestoreWindowBounds() {
    const uint8_t* at = Preferences().bytes + PreferenceSettings::kDialogBounds;
    const Rect16 stored{static_cast<int16_t>(BigEndian::Read16(at)), static_cast<int16_t>(BigEndian::Read16(at + 2)),
                        static_cast<int16_t>(BigEndian::Read16(at + 4)), static_cast<int16_t>(BigEndian::Read16(at + 6))};
    // The maximised mark rides in the top and bottom; the size is checked without it.
    constexpr int16_t kMarkMask = 0x3FFF;
    const int32_t height = (stored.bottom & kMarkMask) - (stored.top & kMarkMask);
    const int32_t width = stored.right - stored.left;
    if (width < 200 || height < 150) return;
    SetBounds(stored);
}

// ---- Items, keys and commands

// A button pressed with the mouse follows it until release and counts only when released inside;
// a hit that comes without the mouse (a key, a menu command, a posted item) counts at once.
int16_t PhotoshopDialog::TrackButton(int16_t item) {
    if (closing_ || !AnyMouseButtonDown()) return item;
    ImageControl& control = *buttons_[item - 1];
    return control.Track(MousePoint()) ? item : 0;
}

int16_t PhotoshopDialog::ItemHit(int16_t item) {
    int16_t result = 0;
    switch (item) {
    case kApply:
    case kCancel:
        if (TrackButton(item)) result = item;
        break;
    case kZoomTool:
    case kHandTool:
    case kMoveTool: {
        ImageControl& control = *buttons_[item - 1];
        if (control.IsSelected() && !closing_) {
            if (DoubleClicked()) {
                if (item == kZoomTool) SetZoom({1, 1}, std::nullopt);
                else if (item == kHandTool) ZoomToFit(std::nullopt, true);
            }
            break;
        }
        if (TrackButton(item)) {
            SetTool(item == kZoomTool ? kZoom : item == kHandTool ? kHand : kMove);
            editor_->ToolChosen();
        }
        break;
    }
    case kOpenLibrary:
        if (TrackButton(item)) editor_->ShowFrameLibrary();
        break;
    case kLogo:
        TrackButton(item);
        break;
    case kPreview:
        TrackPreviewPress();
        break;
    default:
        break;
    }
    if (TrackingDepth() < 1) PushUndoState();
    closing_ = false;
    return result == kApply || result == kCancel ? result : 0;
}

int16_t PhotoshopDialog::HandleKey(int16_t key, uint16_t modifiers) {
    if (editor_ && editor_->HandleKey(key, modifiers)) return 0;
    if ((modifiers & kModifierControl) && KeyboardDialog()) {
        if (key == DialogKeyCode::kMinus && DoEditCommand(kZoomOut) == 0) return 0;
        if (key == DialogKeyCode::kPlus && DoEditCommand(kZoomIn) == 0) return 0;
    }
    const bool inEdit = GetFocusedItem() > 0 && ItemRecord(GetFocusedItem()) &&
                        ItemKind::IsEditable(ItemRecord(GetFocusedItem())->kind);
    const bool editFocused = inEdit || (editor_ && editor_->TabsHaveFocus());
    if (!editFocused && !(modifiers & (kModifierShift | kModifierAlt | kModifierControl)) &&
        key > 0 && key < 128) {
        const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(key)));
        const size_t position = toolLetters_.find(letter);
        if (position != std::string::npos && position < 3) {
            constexpr int16_t kToolOfLetter[] = {kHand, kZoom, kMove};
            constexpr int16_t kButtonOfTool[] = {0, kHandTool, kZoomTool, kMoveTool};
            const int16_t tool = kToolOfLetter[position];
            SetTool(tool);
            return kButtonOfTool[tool];
        }
    }
    if ((key == 'Z' || key == 'z') && (modifiers & kModifierControl) && (modifiers & kModifierShift)) {
        Redo();
        return 0;
    }
    if (key == DialogKeyCode::kSpace) return 0;
    return PSDialog::HandleKey(key, modifiers);
}

int16_t PhotoshopDialog::DoEditCommand(int16_t command) {
    const PreviewCommand* row = PreviewCommands::Find(command);
    if (!row || !row->run || (row->editsStack && !editor_)) return PSDialog::DoEditCommand(command);
    const int16_t answer = row->run(*this, command);
    // A stack edit from the menus is one undo step, as an item hit is.
    if (row->editsStack && TrackingDepth() < 1) PushUndoState();
    return answer;
}

// A number typed into a tab's edit is taken before the Return (or Apply) that applies it.
void PhotoshopDialog::CommitPendingEdit() {
    MorvaneDialog* keyboard = KeyboardDialog();
    if (!keyboard || keyboard == this) return;
    if (const int16_t focused = keyboard->GetFocusedItem(); focused > 0) keyboard->ValidateEditItem(focused);
}

void PhotoshopDialog::PressCancel() {
    closing_ = true;
    PSDialog::PressCancel();
}

int16_t PhotoshopDialog::DefaultItemIfEnabled() {
    closing_ = true;
    CommitPendingEdit();
    const HWND item = ItemWindow(DefaultItem());
    return item && IsWindowEnabled(item) ? DefaultItem() : -1;
}

void PhotoshopDialog::PostItemHit(int16_t item) {
    closing_ = true;
    PSDialog::PostItemHit(item);
}

void PhotoshopDialog::UpdateMenus() {
    PSDialog::UpdateMenus();
    ApplyCommandStates();
}

void PhotoshopDialog::ApplyCommandStates() {
    for (const PreviewCommand& row : PreviewCommands::Table())
        if (row.enabled) SetMenuState(Window(), row.id, row.enabled(*this));
}

void PhotoshopDialog::EnableCommand(int16_t command, bool enabled) { SetMenuState(Window(), command, enabled); }

int16_t PhotoshopDialog::AlertOverDialog(int16_t alertId) {
    HWND window = Window();
    return static_cast<int16_t>(RunModalDialog(window ? &window : nullptr, alertId, nullptr, nullptr));
}

void PhotoshopDialog::DeviceArrived() {
    if (editor_) editor_->DiskInserted();
}

int16_t PhotoshopDialog::Close() {
    closing_ = true;
    return PSDialog::Close();
}

void PhotoshopDialog::MoveBy(int widthChange, int heightChange) {
    PSDialog::MoveBy(widthChange, heightChange);
    LayOut();
    DrawPreview();
    // The items moved: everything is painted again in its new place.
    if (Window()) ::InvalidateRect(Window(), nullptr, TRUE);
}

int32_t PhotoshopDialog::HelpStringId(int16_t item) {
    if (item >= 1 && item <= ItemCount()) return (int32_t{kTemplate} << 16) + item;
    return 0;
}

void PhotoshopDialog::SetStatusText(const char* text) {
    if (statusLine_) statusLine_->DrawStatus(text);
}

bool PhotoshopDialog::SetHotHelp(int16_t on) {
    hotHelp_ = on < 0 ? !hotHelp_ : on != 0;
    if (HMENU menu = Window() ? GetMenu(Window()) : nullptr) {
        const std::string text = LoadText(hotHelp_ ? kHotHelpOnText : kHotHelpOffText);
        if (text.empty()) THROW_IF_ERROR(Err::ResourceMissing);
        ModifyMenuA(menu, kHotHelp, MF_BYCOMMAND | MF_STRING, kHotHelp, text.c_str());
    }
    return hotHelp_;
}

void PhotoshopDialog::SetToggleText(int16_t menuItem, int16_t stringBase, bool state) {
    HMENU menu = Window() ? GetMenu(Window()) : nullptr;
    if (!menu) return;
    const std::string text = LoadText(static_cast<int16_t>(stringBase + 1 + (state ? 1 : 0)));
    if (text.empty()) return;
    MENUITEMINFOA info{sizeof info};
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<char*>(text.c_str());
    SetMenuItemInfoA(menu, static_cast<UINT>(menuItem), FALSE, &info);
}

void PhotoshopDialog::SetTool(int16_t tool) {
    if (tool == tool_) return;
    tool_ = tool;
    constexpr std::array<std::pair<int16_t, int16_t>, 3> kButtons = {{{kHand, kHandTool}, {kZoom, kZoomTool}, {kMove, kMoveTool}}};
    for (const auto& [buttonTool, item] : kButtons)
        if (buttons_[item - 1]) buttons_[item - 1]->SetSelected(buttonTool == tool);
}

void PhotoshopDialog::Idle() {
    // The preview renders in slices between the dialog's messages: a tick stops at its budget or as
    // soon as input waits, so that the interface never stalls behind a render.
    if (call_.selector == kSelectorStart) {
        const DWORD start = GetTickCount();
        while (PhotoshopFilter::RunInstances(TrackingDepth())) {
            if (GetTickCount() - start >= kIdleBudgetMs) break;
            if (GetQueueStatus(QS_INPUT | QS_POSTMESSAGE) != 0) break;
        }
    }
    if (initialised_ == 1) {
        initialised_ = 2;
        if (call_.selector == kSelectorStart && editor_) editor_->ShowFrameLibrary();
    }
}

// ---- Undo

bool PhotoshopDialog::PushUndoState() {
    if (!filter_ || !call_.record->parameters) return false;
    ParameterUndoTarget target(*filter_);
    const UndoList::PushResult result = undo_.Push(target);
    if (result.error != Err::None && result.error != Err::MemoryFull) THROW_IF_ERROR(result.error);
    return result.pushed;
}

bool PhotoshopDialog::Undo() {
    if (!filter_) return false;
    bool done = false;
    {
        ParameterUndoTarget target(*filter_);
        done = undo_.Undo(target);
    }
    if (done && editor_) editor_->AfterUndoOrRedo();
    return done;
}

bool PhotoshopDialog::Redo() {
    if (!filter_) return false;
    bool done = false;
    {
        ParameterUndoTarget target(*filter_);
        done = undo_.Redo(target);
    }
    if (done && editor_) editor_->AfterUndoOrRedo();
    return done;
}

void PhotoshopDialog::ReleaseSavedState() { undo_.Release(); }

void PhotoshopDialog::DisableCompositeView() {
    Alert(this, 17013);
    Preferences().bytes[PreferenceSettings::kViewCompositeLayer] = 0;
    canViewComposite_ = false;
    ApplyCommandStates();
}

// A corrupt file offers the defaults or the end of the call ("Exit Plug-in" raises 32512).
void PhotoshopDialog::LoadPreferences() { LoadUserPreferences(); }

void PhotoshopDialog::SavePreferences() { SaveUserPreferences(); }

void PhotoshopDialog::RestartPreviews() {
    for (PhotoshopFilter* instance : {static_cast<PhotoshopFilter*>(filter_), secondPreview_})
        if (instance) instance->InvalidateRect(nullptr);
}

// ---- Geometry, zoom and scroll

void PhotoshopDialog::LayOut() {
    const Rect16 item = GetItemRect(kPreview);
    previewArea_ = ToPreviewRect(item);
    RECT client{};
    if (Window()) GetClientRect(Window(), &client);
    marginRight_ = client.right - item.right;
    marginBottom_ = client.bottom - item.bottom;
}

void PhotoshopDialog::UpdateScrollLimits() {
    scaledFilter_ = ScaleToPreview(ToPreviewRect(call_.record->filterRect), zoom_);
    limitsV_ = AxisOriginLimits(scaledFilter_.top, scaledFilter_.bottom, ViewUnits(previewArea_.Height(), zoom_));
    limitsH_ = AxisOriginLimits(scaledFilter_.left, scaledFilter_.right, ViewUnits(previewArea_.Width(), zoom_));
    origin_ = {ClampOrigin(origin_.v, limitsV_), ClampOrigin(origin_.h, limitsH_)};
}

void PhotoshopDialog::UpdateVisibleRect() {
    visible_ = VisibleImageRect(origin_, ViewUnits(previewArea_.Height(), zoom_), ViewUnits(previewArea_.Width(), zoom_),
                                scaledFilter_);
    if (!filter_) return;
    filter_->SetPreviewRect(Rect16{ClampToInt16(visible_.top), ClampToInt16(visible_.left), ClampToInt16(visible_.bottom),
                                   ClampToInt16(visible_.right)});
}

void PhotoshopDialog::UpdateTitle() {
    if (!Window()) return;
    if (baseTitle_.empty()) {
        char own[256] = {};
        GetWindowTextA(Window(), own, sizeof own);
        char document[256] = {};
        GetDocumentTitle(call_.basicSuite, document, sizeof document);
        baseTitle_ = own;
        const std::string withDocument = baseTitle_ + " - " + document;
        if (*document && withDocument.size() < 255) baseTitle_ = withDocument;
    }
    title_ = ZoomedTitle(baseTitle_, zoom_);
    SetWindowTextA(Window(), title_.c_str());
}

void PhotoshopDialog::SetZoom(ZoomRatio ratio, std::optional<PreviewPoint> fixed, std::optional<PreviewPoint> origin) {
    const ZoomRatio next = NormalizeZoom(ratio.out, ratio.in);
    if (next == zoom_ && !origin) return;
    if (origin) {
        origin_ = *origin;
    } else if (zoom_.out != ZoomRatio::kUnsetOut) {
        const PreviewPoint p = fixed.value_or(PreviewPoint{static_cast<int32_t>((previewArea_.top + previewArea_.bottom) / 2),
                                                           static_cast<int32_t>((previewArea_.left + previewArea_.right) / 2)});
        origin_ = {OriginAfterZoom(origin_.v, int64_t{p.v} - previewArea_.top, zoom_, next),
                   OriginAfterZoom(origin_.h, int64_t{p.h} - previewArea_.left, zoom_, next)};
    }
    const bool scaleChanged = next.out != zoom_.out;
    zoom_ = next;
    if (filter_ && scaleChanged) filter_->SetPreviewScale(zoom_.out);
    UpdateScrollLimits();
    UpdateVisibleRect();
    UpdateTitle();
    ApplyCommandStates();
    shown_.Prepare(*call_.record, call_.bytesPerSample, visible_);
    if (filter_) filter_->InvalidateRect(nullptr);
    InvalidatePreviewArea();
}

void PhotoshopDialog::ZoomStep(bool in, std::optional<PreviewPoint> fixed) {
    const ZoomRatio next = in ? ZoomStepIn(zoom_) : ZoomStepOut(zoom_);
    if (next == zoom_) return;
    SetZoom(next, fixed);
}

void PhotoshopDialog::ZoomToFit(std::optional<PreviewRect> documentRect, bool allowEnlarge) {
    const PreviewRect target = documentRect.value_or(ToPreviewRect(call_.record->filterRect));
    const std::optional<ZoomFit> fit = FitZoom(target, previewArea_.Height(), previewArea_.Width(), allowEnlarge);
    if (!fit) return;
    SetZoom(fit->ratio, std::nullopt, fit->origin);
}

void PhotoshopDialog::ScrollBy(int32_t dv, int32_t dh) {
    dv = ClampScroll(origin_.v, dv, limitsV_);
    dh = ClampScroll(origin_.h, dh, limitsH_);
    if (dv == 0 && dh == 0) return;
    origin_ = {origin_.v + dv, origin_.h + dh};
    UpdateVisibleRect();
    // What stays in view keeps its rendered pixels; only the uncovered strips render again.
    const PreviewRect keep = shown_.MoveTo(visible_);
    if (filter_) {
        // The strips the view uncovered, as the rows and the columns beside what was kept.
        const Rect16 all{ClampToInt16(visible_.top), ClampToInt16(visible_.left), ClampToInt16(visible_.bottom),
                         ClampToInt16(visible_.right)};
        if (keep.IsEmpty()) {
            filter_->InvalidateRect(&all);
        } else {
            const Rect16 strips[] = {
                {all.top, all.left, ClampToInt16(keep.top), all.right},
                {ClampToInt16(keep.bottom), all.left, all.bottom, all.right},
                {ClampToInt16(keep.top), all.left, ClampToInt16(keep.bottom), ClampToInt16(keep.left)},
                {ClampToInt16(keep.top), ClampToInt16(keep.right), ClampToInt16(keep.bottom), all.right},
            };
            for (const Rect16& strip : strips)
                if (!IsEmptyRect(strip)) filter_->InvalidateRect(&strip);
        }
    }
    if (Window()) {
        const RECT area{previewArea_.left, previewArea_.top, previewArea_.right, previewArea_.bottom};
        ScrollWindowEx(Window(), -dh * zoom_.in, -dv * zoom_.in, &area, &area, nullptr, nullptr, SW_INVALIDATE);
        UpdateWindow(Window());
    }
}

// ---- Drawing

bool PhotoshopDialog::PreviewFinished() const { return !filter_ || filter_->State() == kStateDone; }

void PhotoshopDialog::ShowTile(PhotoshopFilter& instance) {
    if (&instance != filter_ || shown_.IsEmpty()) return;
    const FilterRecord& record = *call_.record;
    const Rect16 tile = record.outRect;
    PlaneView pixels = instance.PreviewPixels();
    if (!pixels) pixels = DeliveredTile(record, call_.bytesPerSample).out;
    if (!shown_.Take(pixels, tile) || !Window()) return;
    const PreviewPoint corner = PreviewToClient({tile.top, tile.left}, previewArea_, origin_, zoom_);
    const PreviewRect client{corner.v, corner.h, static_cast<int32_t>(corner.v + int64_t{RectHeight(tile)} * zoom_.in),
                             static_cast<int32_t>(corner.h + int64_t{RectWidth(tile)} * zoom_.in)};
    const WindowDC dc(Window());
    shown_.Draw(dc.Get(), client, Viewport(), record);
    if (editor_) editor_->PreviewPainted();
}

void PhotoshopDialog::FillOutsideImage(HDC dc, HRGN region) {
    const PreviewPoint imageTop = PreviewToClient({scaledFilter_.top, scaledFilter_.left}, previewArea_, origin_, zoom_);
    const PreviewPoint imageEnd = PreviewToClient({scaledFilter_.bottom, scaledFilter_.right}, previewArea_, origin_, zoom_);
    OwnedRgn outside(CreateRectRgn(previewArea_.left, previewArea_.top, previewArea_.right, previewArea_.bottom));
    const OwnedRgn image(CreateRectRgn(imageTop.h, imageTop.v, imageEnd.h, imageEnd.v));
    if (!outside || !image) return;
    CombineRgn(outside.Get(), outside.Get(), image.Get(), RGN_DIFF);
    if (region) CombineRgn(outside.Get(), outside.Get(), region, RGN_AND);
    const OwnedBrush face(CreateSolidBrush(kAreaColour));
    FillRgn(dc, outside.Get(), face.Get());
}

void PhotoshopDialog::DrawPreview() {
    if (!Window()) return;
    LayOut();
    UpdateScrollLimits();
    UpdateVisibleRect();
    InvalidatePreviewArea();
}

void PhotoshopDialog::InvalidatePreviewArea() {
    if (!Window()) return;
    const RECT area{previewArea_.left, previewArea_.top, previewArea_.right, previewArea_.bottom};
    ::InvalidateRect(Window(), &area, FALSE);
}

void PhotoshopDialog::Update(HRGN region) {
    Port().foreColor = kAreaColour;
    PSDialog::Update(region);
    if (!Window()) return;
    const WindowDC dc(Window());
    RECT box{};
    if (region) GetRgnBox(region, &box);
    else GetClientRect(Window(), &box);
    const SaveClip clip(dc.Get(), region);
    FillOutsideImage(dc.Get(), region);
    shown_.Draw(dc.Get(), {box.top, box.left, box.bottom, box.right}, Viewport(), *call_.record);
    if (editor_) editor_->PreviewPainted();
}

void PhotoshopDialog::DrawItem(int16_t item) {
    if (item == 0) {
        const Rect16 preview = GetItemRect(kPreview);
        const WindowDC dc(Window());
        const OwnedPen edge(CreatePen(PS_SOLID, 1, kPreviewEdge));
        const SelectedObject pen(dc.Get(), edge.Get());
        MoveToEx(dc.Get(), preview.left, preview.bottom, nullptr);
        LineTo(dc.Get(), preview.right, preview.bottom);
        return;
    }
    if (item >= 1 && item <= kImageButtons && buttons_[item - 1]) {
        buttons_[item - 1]->Draw();
        return;
    }
    if (item == kStatusBar && statusLine_) statusLine_->Draw();
}

// ---- The mouse over the preview

int16_t PhotoshopDialog::PreviewCursor(uint16_t modifiers) const {
    int16_t cursor = 0;
    if (tool_ == kHand) cursor = (modifiers & kModifierControl) ? kZoomInCursor : kHandCursor;
    if (tool_ == kZoom) cursor = kZoomInCursor;
    if ((tool_ == kHand || tool_ == kZoom) && (modifiers & kModifierAlt)) cursor = kZoomOutCursor;
    if ((cursor == kZoomInCursor && !zoom_.CanZoomIn()) || (cursor == kZoomOutCursor && !zoom_.CanZoomOut()))
        cursor = kNoZoomCursor;
    return cursor;
}

int16_t PhotoshopDialog::CursorForItem(int16_t item) {
    if (item == kPreview) {
        if (const int16_t own = PreviewCursor(GetModifierKeys())) return own;
        if (editor_)
            if (const int16_t chosen = editor_->CursorOverPreview()) return chosen;
        return PSDialog::CursorForItem(item);
    }
    if (editor_) editor_->MouseLeftPreview();
    if (item == kStatusBar && statusLine_) {
        const Point16 mouse = MousePoint();
        const Rect16 grip = statusLine_->GetGripRect();
        return RectContains(grip, mouse.v, mouse.h) ? DialogCursor::kSizing : 0;
    }
    return PSDialog::CursorForItem(item);
}

bool PhotoshopDialog::TrackMouse(Point16& point, Point16& delta, bool constrain) {
    Point16 ignored{};
    const bool down = MorvaneDialog::TrackMouse(ignored);
    POINT cursor{};
    GetCursorPos(&cursor);
    if (Window()) ScreenToClient(Window(), &cursor);
    // Beyond the view's edge the image scrolls towards the mouse, a step at a time.
    if (down) {
        const int32_t stepV = AutoScrollStep(8, zoom_), stepH = AutoScrollStep(8, zoom_);
        const int32_t dv = cursor.y < previewArea_.top ? -stepV : cursor.y >= previewArea_.bottom ? stepV : 0;
        const int32_t dh = cursor.x < previewArea_.left ? -stepH : cursor.x >= previewArea_.right ? stepH : 0;
        if (dv || dh) {
            ScrollBy(dv, dh);
            Sleep(20);
        }
    }
    const PreviewPoint unit = ClientToPreview({cursor.y, cursor.x}, previewArea_, origin_, zoom_);
    Point16 now{ClampToInt16(unit.v), ClampToInt16(unit.h)};
    if (!dragAnchor_) {
        const Point16 press = MousePoint();
        const PreviewPoint anchor = ClientToPreview({press.v, press.h}, previewArea_, origin_, zoom_);
        dragAnchor_ = Point16{ClampToInt16(anchor.v), ClampToInt16(anchor.h)};
        lastDragPoint_ = *dragAnchor_;
    }
    if (constrain && (GetModifierKeys() & kModifierShift)) {
        const int32_t dv = std::abs(now.v - dragAnchor_->v), dh = std::abs(now.h - dragAnchor_->h);
        if (dh >= dv) now.v = dragAnchor_->v;
        else now.h = dragAnchor_->h;
    }
    delta = Point16{static_cast<int16_t>(now.v - lastDragPoint_.v), static_cast<int16_t>(now.h - lastDragPoint_.h)};
    lastDragPoint_ = now;
    point = now;
    if (!down) dragAnchor_.reset();
    return down;
}

bool PhotoshopDialog::PreviewToImage(Point16& point) {
    const bool inside = point.v >= previewArea_.top && point.v < previewArea_.bottom && point.h >= previewArea_.left &&
                        point.h < previewArea_.right;
    const PreviewPoint unit = ClientToPreview({point.v, point.h}, previewArea_, origin_, zoom_);
    point = Point16{ClampToInt16(unit.v), ClampToInt16(unit.h)};
    return inside;
}

// The composite view never opens here (no host offers the merged composite), so the colour is
// always the target layer's: its pixel at the point, asked of the host at the current reduction.
bool PhotoshopDialog::GetImageColor(Point16 point, ColorRecord& color) {
    if (point.v < scaledFilter_.top || point.v >= scaledFilter_.bottom || point.h < scaledFilter_.left ||
        point.h >= scaledFilter_.right)
        return false;
    FilterRecord& record = *call_.record;
    const DeliveredPixelPlanes planes =
        DeliveredPixelPlanes::Of(record.imageMode, call_.bytesPerSample, record.inLayerPlanes,
                                 record.inTransparencyMask, record.inLayerMasks, record.inInvertedLayerMasks);
    if (planes.colourPlanes <= 0) return false;
    const RequestGuard kept(record, HostRequest::kRects | HostRequest::kPlanes | HostRequest::kRates);
    int32_t out = 1, in = 1;
    GetZoom(out, in);
    const Fixed16 rate = static_cast<Fixed16>(out << 16);
    const Rect16 pixel{point.v, point.h, static_cast<int16_t>(point.v + 1), static_cast<int16_t>(point.h + 1)};
    record.inRect = pixel;
    record.outRect = Rect16{};
    record.maskRect = record.haveMask ? pixel : Rect16{};
    record.inLoPlane = 0;
    record.inHiPlane = static_cast<int16_t>(planes.PlanesAsked() - 1);
    record.inputRate = record.maskRate = rate;
    if (AdvanceState(call_) != Err::None || !record.inData) return false;
    const auto* selection = record.haveMask ? static_cast<const uint8_t*>(record.maskData) : nullptr;
    return ColorOfDeliveredPixel(planes, static_cast<const uint8_t*>(record.inData), selection, color);
}

void PhotoshopDialog::GetZoom(int32_t& out, int32_t& in) {
    out = zoom_.out == ZoomRatio::kUnsetOut ? 1 : zoom_.out;
    in = zoom_.in;
}

void PhotoshopDialog::TrackPreviewPress() {
    switch (PreviewCursor(GetModifierKeys())) {
    case kHandCursor:
        TrackHand();
        return;
    case kZoomInCursor:
        TrackZoomMarquee();
        return;
    case kZoomOutCursor: {
        const Point16 press = MousePoint();
        ZoomStep(false, PreviewPoint{press.v, press.h});
        return;
    }
    case kNoZoomCursor:
        return;
    default:
        if (editor_) editor_->PressOnPreview();
        return;
    }
}

void PhotoshopDialog::TrackHand() {
    if (visible_ == scaledFilter_) return;
    const Point16 press = MousePoint();
    const PreviewPoint start = origin_;
    Point16 mouse{};
    while (MorvaneDialog::TrackMouse(mouse)) {
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(Window(), &cursor);
        const int32_t wantV = start.v - static_cast<int32_t>(FloorDivide(int64_t{cursor.y} - press.v, zoom_.in));
        const int32_t wantH = start.h - static_cast<int32_t>(FloorDivide(int64_t{cursor.x} - press.h, zoom_.in));
        ScrollBy(wantV - origin_.v, wantH - origin_.h);
        Sleep(5);
    }
}

void PhotoshopDialog::TrackZoomMarquee() {
    Point16 from{}, to{}, delta{};
    dragAnchor_.reset();
    TrackMouse(from, delta, false);
    from = *dragAnchor_;
    to = from;
    bool drawn = false;
    auto clampToVisible = [&](Point16 p) {
        return Point16{static_cast<int16_t>(std::clamp<int32_t>(p.v, visible_.top, std::max(visible_.top, visible_.bottom - 1))),
                       static_cast<int16_t>(std::clamp<int32_t>(p.h, visible_.left, std::max(visible_.left, visible_.right - 1)))};
    };
    from = clampToVisible(from);
    Point16 point{};
    bool down = true;
    while (down) {
        down = TrackMouse(point, delta, false);
        const Point16 next = clampToVisible(point);
        if (drawn && next.v == to.v && next.h == to.h) continue;
        if (drawn) DrawOverlayRect(from, to);
        to = next;
        DrawOverlayRect(from, to);
        drawn = true;
        Sleep(5);
    }
    if (drawn) DrawOverlayRect(from, to);
    const int32_t height = std::abs(to.v - from.v), width = std::abs(to.h - from.h);
    if (height < kSmallMarquee && width < kSmallMarquee) {
        const PreviewPoint centre = PreviewToClient({(from.v + to.v) / 2, (from.h + to.h) / 2}, previewArea_, origin_, zoom_);
        ZoomStep(true, centre);
        return;
    }
    const int64_t out = zoom_.out;
    const PreviewRect marquee{static_cast<int32_t>(std::min(from.v, to.v) * out), static_cast<int32_t>(std::min(from.h, to.h) * out),
                              static_cast<int32_t>((std::max(from.v, to.v) + 1) * out),
                              static_cast<int32_t>((std::max(from.h, to.h) + 1) * out)};
    ZoomToFit(marquee, true);
}

// ---- Overlay primitives: XOR drawing over the preview, clipped to it

namespace {

class OverlayPen {
public:
    OverlayPen(HWND window, const PreviewRect& clipTo)
        : dc_(window), pen_(CreatePen(PS_SOLID, 1, RGB(0, 0, 0))), selected_(dc_.Get(), pen_.Get()),
          clip_(dc_.Get(), RECT{clipTo.left, clipTo.top, clipTo.right, clipTo.bottom}) {
        previousRop_ = SetROP2(dc_.Get(), R2_NOTXORPEN);
        SelectObject(dc_.Get(), GetStockObject(NULL_BRUSH));
    }
    ~OverlayPen() { SetROP2(dc_.Get(), previousRop_); }
    HDC Get() const { return dc_.Get(); }

private:
    WindowDC dc_;
    OwnedPen pen_;
    SelectedObject selected_;
    SaveClip clip_;
    int previousRop_ = R2_COPYPEN;
};

}  // namespace

void PhotoshopDialog::DrawOverlayLine(Point16 from, Point16 to) {
    if (!Window()) return;
    const OverlayPen pen(Window(), previewArea_);
    const PreviewPoint a = PreviewToClient({from.v, from.h}, previewArea_, origin_, zoom_);
    const PreviewPoint b = PreviewToClient({to.v, to.h}, previewArea_, origin_, zoom_);
    MoveToEx(pen.Get(), a.h, a.v, nullptr);
    LineTo(pen.Get(), b.h, b.v);
}

void PhotoshopDialog::DrawOverlayRect(Point16 from, Point16 to) {
    if (!Window()) return;
    const OverlayPen pen(Window(), previewArea_);
    const PreviewPoint a = PreviewToClient({std::min(from.v, to.v), std::min(from.h, to.h)}, previewArea_, origin_, zoom_);
    const PreviewPoint b = PreviewToClient({std::max(from.v, to.v) + 1, std::max(from.h, to.h) + 1}, previewArea_, origin_, zoom_);
    Rectangle(pen.Get(), a.h, a.v, b.h, b.v);
}

void PhotoshopDialog::DrawOverlayHandle(Point16 point) {
    if (!Window()) return;
    const OverlayPen pen(Window(), previewArea_);
    const PreviewPoint p = PreviewToClient({point.v, point.h}, previewArea_, origin_, zoom_);
    Rectangle(pen.Get(), p.h - 4, p.v - 4, p.h + 5, p.v + 5);
}

void PhotoshopDialog::ShowProgress(PhotoshopFilter& instance, double done, double total) {
    if (&instance != filter_ || !statusLine_ || total <= 0.0) return;
    // The status line tells how far the preview is, in steps of a tenth so that it does not flicker.
    const int tenth = static_cast<int>(std::clamp(done / total, 0.0, 1.0) * 10.0);
    if (tenth == lastProgressTenth_) return;
    lastProgressTenth_ = tenth;
    if (tenth >= 10) {
        statusLine_->DrawStatus(nullptr);
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "Rendering preview... %d%%", tenth * 10);
    statusLine_->DrawStatus(text);
}
