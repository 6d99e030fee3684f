#include "FrameStackTab.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "Alerts.h"
#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "DropTarget.h"
#include "File.h"
#include "HostPixels.h"
#include "ImageControl.h"
#include "LayerState.h"
#include "LockedParameters.h"
#include "PSDialog.h"
#include "Quorvel.h"
#include "ResourceImage.h"
#include "StackLimits.h"
#include "WindowServices.h"

namespace {

using namespace FrameStackCode;

// The shape names follow this string by the shape kind ("Ellipse" .. "Heart").
constexpr int kShapeNameStrings = 14100;
constexpr int32_t kShapeMarker = -1;
// One notch of a mouse wheel.
constexpr int kWheelNotch = WHEEL_DELTA;

// The stack as the block holds it now: N, and the selected layer when it lies in the stack.
struct StackShape {
    int32_t layers = 0;
    int32_t selectedLayer = -1;
};

StackShape ReadStackShape(const QuorvelBase& model) {
    StackShape shape;
    const LockedParameters parameters = model.Lock();
    if (!parameters) return shape;
    const ParameterBlockView block = parameters.View();
    shape.layers = std::clamp<int32_t>(block.LayerCount(), 0, BlockLayout::kMaxLayers);
    const int32_t selected = block.Block().Get(BlockLayout::kSelectedLayer);
    shape.selectedLayer = selected >= 0 && selected < shape.layers ? selected : -1;
    return shape;
}

bool HasLoadError(const QuorvelBase& model, int32_t layer) {
    LayerStateTable& states = model.LayerStates();
    if (layer < 0 || layer >= states.Count()) return false;
    const LayerState* state = states.At(layer);
    return state && (state->loadFailed || state->imageMissing);
}

bool IsShape(RecordRef layer) { return layer.Sub(LayerLayout::kSource).Get(ShapeLayout::kMarker) == kShapeMarker; }

bool AltHeld() { return (GetModifierKeys() & kModifierAlt) != 0; }

// The name a layer's row shows: its frame file's name, or its shape's name.
void LayerName(RecordRef layer, char* text, size_t size) {
    if (IsShape(layer)) {
        const uint16_t kind = layer.Sub(LayerLayout::kSource).Get(ShapeLayout::kKind);
        if (kind >= 1 && kind <= ShapeLayout::kLastKind) LoadResourceString(kShapeNameStrings + kind, text, size);
        return;
    }
    FileSpec spec;
    std::memcpy(spec.bytes, layer.At(LayerLayout::kSource), sizeof spec.bytes);
    // The block comes from the host: a path that fills its field is ended inside it.
    spec.bytes[sizeof spec.bytes - 1] = 0;
    std::string name;
    if (spec.GetName(name) == 0) std::snprintf(text, size, "%s", name.c_str());
}

}  // namespace

FrameStackTab::FrameStackTab(PreviewEditor& editor) : QuorvelTab(editor, kFrameStackTab), list_(*this, kList) {}

FrameStackTab::~FrameStackTab() {
    RestoreListProc();
    if (drops_) drops_->Revoke();
}

void FrameStackTab::InitDialog() {
    QuorvelTab::InitDialog();
    SetPageColors();
    list_.SetColors(ControlLook::kBackground, ControlLook::kBackground);
    list_.Init(&FrameStackTab::OnListEvent, this);
    InitButtons();
    FitListToRows();

    listWindow_ = ItemWindow(kList);
    if (listWindow_ && SetPropW(listWindow_, kListProperty, this)) {
        formerListProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(listWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameStackTab::StackListProc)));
        if (!formerListProc_) {
            RemovePropW(listWindow_, kListProperty);
            listWindow_ = nullptr;
        }
    }
    // Files dropped on the tab are taken here, so that they do not fall through to a window
    // that would act on them; the stack takes dropped frames on the preview only.
    drops_ = std::make_unique<DropTargetHelper>(
        *this, [](DropTargetHelper&, DropEvent, Point16, uint16_t) -> int16_t { return 0; });
    drops_->Register();
    UpdateControls();
}

void FrameStackTab::InitButtons() {
    struct ButtonFace {
        int16_t item;
        int16_t normal;
        int16_t pressed;
        const char* text;
    };
    static constexpr ButtonFace kFaces[] = {
        {kAddFrames, kAddPicture, kAddPressedPicture, nullptr},
        {kRemoveFrame, kRemovePicture, kRemovePressedPicture, nullptr},
        {kSavePreset, 0, 0, "Save Preset"},
        {kAddInstant, 0, 0, "Add Instant"},
        {kAddRandom, 0, 0, "Add Random"},
    };
    for (const ButtonFace& face : kFaces) {
        auto button = std::make_unique<ImageControl>(*this, face.item);
        button->Init(kInterfaceArtworkBase, face.normal, face.pressed, 0);
        // A text button stands on the darker surface of the interface's buttons.
        button->SetColors(ControlLook::kBackground, face.text ? ControlLook::kSurface : ControlLook::kBackground);
        if (face.text) button->SetText(face.text);
        buttons_[face.item - kAddFrames] = std::move(button);
    }
}

void FrameStackTab::FitListToRows() {
    const Rect16 list = GetItemRect(kList);
    const int32_t height = RectHeight(list);
    const int32_t rows = std::max<int32_t>(height / FrameStackLayout::kRowHeight, 1);
    const int32_t spare = height - rows * FrameStackLayout::kRowHeight;
    if (spare <= 0) return;
    // The list shows whole rows only: the strip follows it up, and the buttons share the room
    // that is left below them.
    const auto raise = [this](int16_t item, int32_t by, bool shorten) {
        Rect16 r = GetItemRect(item);
        if (!shorten) r.top = ClampToInt16(r.top - by);
        r.bottom = ClampToInt16(r.bottom - by);
        MoveItem(item, r);
    };
    raise(kList, spare, true);
    raise(kScrollBar, spare, true);
    raise(kCover, spare, false);
    for (int16_t item = kAddFrames; item <= kAddRandom; ++item) raise(item, spare / 2, false);
}

void FrameStackTab::RestoreListProc() noexcept {
    if (!listWindow_) return;
    if (IsWindow(listWindow_)) {
        if (GetWindowLongPtrW(listWindow_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&FrameStackTab::StackListProc))
            SetWindowLongPtrW(listWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(formerListProc_));
        RemovePropW(listWindow_, kListProperty);
    }
    listWindow_ = nullptr;
}

LRESULT CALLBACK FrameStackTab::StackListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* const tab = static_cast<FrameStackTab*>(GetPropW(window, kListProperty));
    if (!tab || !tab->formerListProc_) return 0;
    const WNDPROC former = tab->formerListProc_;
    try {
        switch (message) {
            case WM_VSCROLL:
                // The list scrolls by its scroll bar item alone.
                return 0;
            case WM_LBUTTONDOWN:
                // The wheel goes to the window with the focus: a click on the list gives it.
                SetFocus(window);
                break;
            case WM_MOUSEWHEEL:
                tab->ScrollByWheel(GET_WHEEL_DELTA_WPARAM(wParam));
                return 0;
            case WM_NCDESTROY:
                tab->RestoreListProc();
                break;
            default:
                break;
        }
    } catch (...) {
        // A failed scroll leaves the list where it was; the message still reaches the list.
    }
    return CallWindowProcW(former, window, message, wParam, lParam);
}

void FrameStackTab::ScrollByWheel(int delta) {
    double minimum = 0, maximum = 0;
    GetItemRange(kScrollBar, minimum, maximum);
    const double value = std::clamp(GetItemValue(kScrollBar) - delta / kWheelNotch, minimum, std::max(minimum, maximum));
    SetItemValue(kScrollBar, value);
    HandleItem(kScrollBar);
}

int32_t FrameStackTab::HelpStringId(int16_t item) {
    if (item < 1 || item > ItemCount()) return 0;
    return int32_t{kHelpBase} * 65536 + item;
}

void FrameStackTab::DrawItem(int16_t item) {
    switch (item) {
        case kList:
            list_.Draw();
            break;
        case kAddFrames:
        case kRemoveFrame:
            if (buttons_[item - kAddFrames]) buttons_[item - kAddFrames]->Draw();
            break;
        case kSavePreset:
        case kAddInstant:
        case kAddRandom:
            if (buttons_[item - kAddFrames]) buttons_[item - kAddFrames]->Draw();
            {
                // The text buttons' edge, which the pictures of the other two draw themselves.
                PortColorState edge(Port(), ControlLook::kFrame, ControlLook::kFrame);
                FrameRect(Port(), GetItemRect(item));
            }
            break;
        case kCover: {
            PortColorState cover(Port(), ControlLook::kFrame, ControlLook::kFrame);
            PaintRect(Port(), GetItemRect(kCover));
            break;
        }
        default:
            QuorvelTab::DrawItem(item);
            break;
    }
}

// ---- Following the stack

void FrameStackTab::UpdateButtons() {
    const StackShape stack = ReadStackShape(Stack());
    const auto enable = [this](int16_t item, bool on) {
        const HWND window = ItemWindow(item);
        if (!window || (IsWindowEnabled(window) != FALSE) == on) return;
        EnableItem(item, on);
        InvalidateRect(GetItemRect(item));
    };
    enable(kRemoveFrame, stack.selectedLayer >= 0);
    enable(kAddInstant, !StackLimits::AtLayerLimit(stack.layers));
}

void FrameStackTab::UpdateControls() {
    UpdateButtons();
    const int32_t rows = ReadStackShape(Stack()).layers + 1;
    list_.SetRowCount(static_cast<int16_t>(rows));
    int32_t selected = Stack().GetSelectedListPos();
    if (selected < 0 || selected >= rows) selected = rows - 1;
    list_.SetSelectedRow(static_cast<int16_t>(selected));
    const int32_t first = std::max<int32_t>(std::min<int32_t>(list_.FirstVisibleRow(), rows - list_.VisibleRows()),
                                            list_.FirstRowIndex());
    list_.SetFirstVisibleRow(static_cast<int16_t>(first));
    list_.Draw();
}

// ---- Items

Point16 FrameStackTab::MouseInClient() const {
    POINT cursor{};
    GetCursorPos(&cursor);
    if (Window()) ScreenToClient(Window(), &cursor);
    return Point16{ClampToInt16(cursor.y), ClampToInt16(cursor.x)};
}

bool FrameStackTab::HandleItem(int16_t item) {
    switch (item) {
        case kList:
            list_.Track(MouseInClient());
            return false;
        case kScrollBar:
            list_.SyncScroll();
            return false;
        case kAddFrames:
        case kRemoveFrame:
        case kSavePreset:
        case kAddInstant:
        case kAddRandom: {
            ImageControl* button = buttons_[item - kAddFrames].get();
            return button && button->Track(MouseInClient()) && RunButton(item);
        }
        default:
            return false;
    }
}

bool FrameStackTab::RunButton(int16_t item) {
    // Read before anything runs: a dialog the action opens must not change what was asked.
    const bool alt = AltHeld();
    PreviewEditor& editor = Editor();
    Quorvel& filter = Filter();
    switch (item) {
        case kAddFrames:
            editor.ShowFrameLibrary();
            return false;
        case kRemoveFrame: {
            const bool removed = filter.Edits().DeleteFrame(alt);
            // A hidden layer that went changes no pixel, yet the list lost a row.
            editor.UpdateCommandStates();
            return removed;
        }
        case kSavePreset:
            editor.SavePreset();
            return false;
        case kAddInstant: {
            if (StackLimits::AtLayerLimit(ReadStackShape(Stack()).layers) || !editor.AddInstantFrame()) return false;
            if (QuorvelTab* shapeTab = FindTab(Preview(), kShapeTab)) shapeTab->Show(kShowInFront);
            editor.UpdateCommandStates();
            return true;
        }
        case kAddRandom:
            // Clears the stack before it draws the new frames.
            editor.AddRandomFrames(alt);
            editor.UpdateCommandStates();
            // The stack was replaced, whether or not the old one held a visible frame.
            return true;
        default:
            return false;
    }
}

// ---- The list's questions

bool FrameStackTab::OnListEvent(DialogComponent& component, int16_t code, intptr_t argument) {
    if (!argument) return false;
    auto& tab = static_cast<FrameStackTab&>(component.Owner());
    return tab.StackChanged(code, *reinterpret_cast<FrameStackQuery*>(argument));
}

bool FrameStackTab::StackChanged(int16_t code, FrameStackQuery& query) {
    const int16_t row = FrameStackRow(query.parameter);
    const int16_t second = FrameStackSecond(query.parameter);
    // Rows come from the list's arithmetic; no code takes a row above the list.
    if (row < 0) return false;
    const StackShape stack = ReadStackShape(Stack());
    const int32_t rows = stack.layers + 1;
    const int32_t photoRow = Stack().TargetLayerPos();
    const int32_t layer = Stack().ListPosToLayer(row);
    // The row's layer record, when the row is a layer's.
    const std::optional<RecordRef> found = layer >= 0 ? Stack().LayerRecord(layer) : std::nullopt;
    const bool isLayer = found.has_value();
    const RecordRef record = found.value_or(RecordRef(nullptr));
    PreviewEditor& editor = Editor();
    Quorvel& filter = Filter();

    switch (code) {
        case kRowText:
            if (row == photoRow)
                GetDocumentTitle(filter.Call().basicSuite, query.text, sizeof query.text);
            else if (isLayer)
                LayerName(record, query.text, sizeof query.text);
            return true;
        case kRowState:
            query.answer = row == photoRow ? 1 : !isLayer ? 0 : HasLoadError(Stack(), layer) ? -1 : record.Get(LayerLayout::kEnabled);
            return true;
        case kShowRow:
        case kHideRow:
            if (!isLayer || HasLoadError(Stack(), layer)) return false;
            record.Set(LayerLayout::kEnabled, code == kShowRow ? 1 : 0);
            // Only the selected layer's state shows in the commands.
            editor.RefreshAfterEdit(layer == stack.selectedLayer ? PreviewEditor::kSettingsOnly : PreviewEditor::kPreviewOnly);
            return false;
        case kSelectionChanged:
            if (row != Stack().GetSelectedListPos()) {
                Stack().SetSelectedListPos(row);
                editor.UpdateCommandStates();
            }
            return false;
        case kMoveRow: {
            if (row >= rows || second < 0 || second >= rows) return false;
            const bool moved = filter.Edits().MoveLayer(row, second);
            editor.RefreshAfterEdit(PreviewEditor::kPreviewOnly);
            return moved;
        }
        case kColumnIcon: {
            constexpr int32_t kInvertIcon = 16040, kShapeIcon = 16102, kMissingIcon = 16100, kFrameIcon = 16101;
            constexpr int32_t kShown = 0x10000, kShownInverted = 0x20000, kGreyed = 0x30000;
            const bool enabled = isLayer && record.Get(LayerLayout::kEnabled) != 0;
            if (second == 1) {
                if (!isLayer) {
                    query.answer = kInvertIcon;
                    return true;
                }
                const bool inverted = record.Get(LayerLayout::kInvert) >= 1;
                const int32_t look = !enabled || HasLoadError(Stack(), layer) ? kGreyed : inverted ? kShownInverted : kShown;
                query.answer = (kInvertIcon + (inverted ? 1 : 0)) | look;
                return true;
            }
            query.answer = isLayer && IsShape(record) ? kShapeIcon : isLayer && HasLoadError(Stack(), layer) ? kMissingIcon : kFrameIcon;
            if (isLayer && !enabled) query.answer |= kGreyed;
            return true;
        }
        case kColumnClick:
            if (second != 1 || !isLayer || !record.Get(LayerLayout::kEnabled) || HasLoadError(Stack(), layer)) return false;
            record.Set(LayerLayout::kInvert, record.Get(LayerLayout::kInvert) ? 0 : 1);
            editor.RefreshAfterEdit();
            return false;
        case kRowExists:
            return row < rows;
        case kLinkPosition: {
            if (!isLayer) return false;
            const bool up = second == 1;
            if (up ? layer == 0 : layer >= stack.layers - 1) return false;
            // A group never reaches across the photo's row.
            return (up ? row - 1 : row + 1) != photoRow;
        }
        case kLinkState:
            return isLayer && (second == 0 ? record.Get(LayerLayout::kLinkedNext) : record.Get(LayerLayout::kLinkedPrevious)) != 0;
        case kToggleLink: {
            if (!isLayer) return false;
            const bool toNext = second == 0;
            const Field<uint8_t> mine = toNext ? LayerLayout::kLinkedNext : LayerLayout::kLinkedPrevious;
            const uint8_t value = record.Get(mine) ? 0 : 1;
            record.Set(mine, value);
            const int32_t neighbour = toNext ? layer + 1 : layer - 1;
            if (neighbour >= 0 && neighbour < stack.layers)
                if (const std::optional<RecordRef> other = Stack().LayerRecord(neighbour))
                    other->Set(toNext ? LayerLayout::kLinkedPrevious : LayerLayout::kLinkedNext, value);
            return false;
        }
        case kIsPhotoRow:
        case kIsPhotoRowToo:
            return row == photoRow;
        case kResetPhoto:
            if (row != photoRow || !Stack().ResetBackgroundPlacement()) return false;
            // The photo's placement shows in the commands only while no layer is selected.
            editor.RefreshAfterEdit(stack.selectedLayer < 0 ? PreviewEditor::kSettingsOnly : PreviewEditor::kPreviewOnly);
            return false;
        case kLayerOfRow:
            query.answer = layer;
            return true;
        default:
            return false;
    }
}
