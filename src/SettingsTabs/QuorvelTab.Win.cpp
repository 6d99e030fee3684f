#include "QuorvelTab.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Alerts.h"
#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "Errors.h"
#include "HostServices.h"
#include "LayerState.h"
#include "PSDialog.h"
#include "PreviewIds.h"
#include "Quorvel.h"
#include "TabNumbers.h"
#include "TabPlacement.h"
#include "Utf.h"
#include "WindowServices.h"

namespace {

// The one tab (if any) that owns the preview's pick, and what it picks.
struct PickOwner {
    QuorvelTab* tab = nullptr;
    PickKind kind = PickKind::kNone;
};
PickOwner gPick;

// Every live tab, in the order they were made: a tab finds the others beside its preview dialog
// here, as tabs, rather than among the dialog framework's dialogs.
std::vector<QuorvelTab*>& LiveTabs() {
    static std::vector<QuorvelTab*> tabs;
    return tabs;
}

// The source marker of a layer whose source is a shape rather than a frame file.
constexpr int32_t kShapeMarker = -1;

// The Window menu's item of a tab type.
int16_t MenuTextId(int16_t command, bool shown) {
    return static_cast<int16_t>(TabIds::kFirstMenuText + 2 * (command - PreviewIds::kFirstTabCommand) + (shown ? 1 : 0));
}

Rect16 Inset(const Rect16& r, int by) {
    return Rect16{ClampToInt16(r.top + by), ClampToInt16(r.left + by), ClampToInt16(r.bottom - by),
                  ClampToInt16(r.right - by)};
}

// The header of a loaded frame's picture, as the thumbnail drawing reads it.
void WriteThumbnailHeader(const ImageInfo& info, uint8_t (&header)[kThumbnailHeaderLength]) {
    ThumbnailHeader fields;
    fields.imageMode = static_cast<int16_t>(info.mode);
    fields.planes = info.planes;
    fields.pixelStep = info.bytesPerPixel;
    fields.rowBytes = info.bytesPerRow;
    fields.bounds = info.bounds;
    fields.Write(header);
}

}  // namespace

uint8_t TabTypeOfTemplate(int16_t templateId) {
    for (size_t type = 0; type < TabIds::kBindings.size(); ++type)
        if (TabIds::kBindings[type].templateId == templateId) return static_cast<uint8_t>(type);
    return TabPlacement::kNoType;
}

void SetWindowMenuText(PSDialog& preview, int16_t command, bool shown) {
    if (command < PreviewIds::kFirstTabCommand || command > PreviewIds::kLastTabCommand) return;
    char text[256];
    if (!LoadResourceString(MenuTextId(command, shown), text, sizeof text)) return;
    // A preview dialog without a Window menu keeps no texts to follow.
    (void)SetMenuItemText(preview.Port(), static_cast<uint16_t>(command), text);
}

QuorvelTab::QuorvelTab(PreviewEditor& editor, TabType type, int16_t templateId)
    : FloatingTab(templateId > 0 ? templateId : TabIds::kBindings.at(static_cast<size_t>(type)).templateId),
      editor_(editor),
      type_(type) {
    SetOwner(&editor.Dialog());
    editor_.Palettes().Register(type_, &palette_);
    LiveTabs().push_back(this);
}

QuorvelBase& QuorvelTab::Stack() const { return Filter().Stack(); }

QuorvelTab::~QuorvelTab() {
    std::vector<QuorvelTab*>& tabs = LiveTabs();
    tabs.erase(std::remove(tabs.begin(), tabs.end(), this), tabs.end());
    editor_.Palettes().Register(type_, nullptr);
    if (gPick.tab == this) gPick = {};
}

int16_t QuorvelTab::ControlBase() const {
    return type_ >= kOptionTab && type_ <= kShadowTab ? TabIds::kBindings[type_].stringBase : TemplateId();
}

void QuorvelTab::InitDialog() {
    if (const HWND window = Window()) {
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
        if ((style & WS_CAPTION) == WS_CAPTION) {
            // The same client area inside a plain border.
            RECT outer{};
            GetClientRect(window, &outer);
            const DWORD plain = (style & ~(WS_CAPTION | WS_SYSMENU)) | WS_BORDER;
            SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(plain));
            AdjustWindowRectEx(&outer, plain, FALSE, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
            SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        }
    }
    FloatingTab::InitDialog();
}

// ---- Showing and hiding

void QuorvelTab::Show(MorvaneDialog* behind) {
    palette_.hiddenByToggle = false;
    FloatingTab* const previous = ActiveTab();
    if (Window() && previous == this) return;
    FloatingTab::Show(behind);
    // The page this one replaced is no longer shown: its menu item offers to show it again.
    if (previous && previous != this)
        for (QuorvelTab* replaced : LiveTabs())
            if (replaced == previous) replaced->UpdateWindowMenuText(false);
    UpdateWindowMenuText(true);
}

void QuorvelTab::Hide() {
    FloatingTab::Hide();
    if (gPick.tab == this) {
        gPick = {};
        SetPickMode(PickKind::kNone);
        Preview().SetTool(kMoveTool);
    }
    UpdateWindowMenuText(false);
}

void QuorvelTab::UpdateWindowMenuText(bool shown) {
    // Other hosts have no layered output, and no Option tab to offer.
    if (type_ == kOptionTab && !IsPhotoshopHost()) return;
    SetWindowMenuText(Preview(), TabIds::kBindings[type_].menuCommand, shown);
}

// ---- Items

int16_t QuorvelTab::ItemHit(int16_t item) {
    NotifyChanged(HandleItem(item));
    return 0;
}

void QuorvelTab::NotifyChanged(bool changed) {
    if (changed) editor_.RefreshAfterEdit(PreviewEditor::kPreviewOnly);
    // A spinner or slider drag refreshes the preview at every step; its undo step is made once
    // the drag ends (the first message the tab handles after it).
    if (MorvaneDialog::TrackingDepth() < 1)
        Preview().PushUndoState();
    else
        undoPending_ = true;
}

int16_t QuorvelTab::CursorForItem(int16_t item) {
    // The preview's overlay belongs to the mouse over the preview: a cursor elsewhere settles it
    // to none.
    editor_.MouseLeftPreview();
    return FloatingTab::CursorForItem(item);
}

void QuorvelTab::Idle() { Preview().Idle(); }

void QuorvelTab::EnableControls() {
    const bool editable = Filter().CurrentLayerEditable();
    for (int16_t item = 1; item <= ItemCount(); ++item) EnableItem(item, editable);
}

bool QuorvelTab::SetChoiceGroup(uint8_t& state, int16_t onItem, int16_t hitItem, bool setFirst) {
    state = TabNumbers::ChoiceState(state, onItem, hitItem, GetItemValue(onItem) != 0);
    if (setFirst) SetItemValue(static_cast<int16_t>(onItem - 2), state == TabNumbers::kChoiceFirst ? 1 : 0);
    SetItemValue(static_cast<int16_t>(onItem - 1), state == TabNumbers::kChoiceSecond ? 1 : 0);
    SetItemValue(onItem, state != TabNumbers::kChoiceOff ? 1 : 0);
    EnableControls();
    return true;
}

void QuorvelTab::SetRange(int16_t n, double minimum, double maximum, int32_t scale, bool withSlider) {
    SetEditRange(n, minimum, maximum, scale, true);
    if (withSlider) SetItemRange(static_cast<int16_t>(n + 3), minimum * scale, maximum * scale);
}

void QuorvelTab::SetEditRange(int16_t n, double minimum, double maximum, int32_t scale, bool withSpinner) {
    const auto edit = static_cast<int16_t>(n + 1);
    if (const char* format = TabNumbers::FormatForScale(scale))
        SetItemNumber(edit, format, minimum, maximum);
    else
        SetItemRange(edit, minimum, maximum);
    if (withSpinner) SetItemRange(static_cast<int16_t>(n + 2), minimum * scale, maximum * scale);
}

double QuorvelTab::SetLinkedValue(int16_t n, int16_t changedItem, double value, int32_t scale, bool withSlider) {
    const TabNumbers::SettingUpdate update = TabNumbers::LinkedValue(n, changedItem, value, scale, withSlider);
    for (int i = 0; i < update.count; ++i) SetItemValue(update.writes[i].item, update.writes[i].value);
    return update.value;
}

double QuorvelTab::SetPairedValue(int16_t n, int16_t changedItem, double value, int32_t scale, bool withControl) {
    const TabNumbers::SettingUpdate update = TabNumbers::PairedValue(n, changedItem, value, scale, withControl);
    for (int i = 0; i < update.count; ++i) SetItemValue(update.writes[i].item, update.writes[i].value);
    return update.value;
}

// ---- The preview's pick

void QuorvelTab::SetActiveTab(QuorvelTab* tab, PickKind kind) {
    if (tab) tab->Preview().SetTool(kNoTool);
    for (QuorvelTab* other : LiveTabs())
        if (other != tab) other->SetPickMode(PickKind::kNone);
    gPick = tab ? PickOwner{tab, kind} : PickOwner{};
}

QuorvelTab* QuorvelTab::ActivePickTab() { return gPick.tab; }

QuorvelTab* QuorvelTab::FindTab(const PSDialog& preview, TabType type) {
    for (QuorvelTab* tab : LiveTabs())
        if (&tab->Preview() == &preview && tab->type_ == type) return tab;
    return nullptr;
}
PickKind QuorvelTab::ActivePickKind() { return gPick.kind; }

// ---- Faces and thumbnails

LRESULT QuorvelTab::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) {
    switch (message) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSCROLLBAR: {
            if (!face_) face_.Reset(CreateSolidBrush(ControlLook::kBackground));
            if (!face_) THROW_IF_ERROR(Err::MemoryFull);
            const auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, ControlLook::kText);
            SetBkColor(dc, ControlLook::kBackground);
            return reinterpret_cast<LRESULT>(face_.Get());
        }
        default: {
            const LRESULT handled = FloatingTab::HandleMessage(message, wParam, lParam, item);
            // A press on an item holds the mouse until its release reaches the tab: a change made
            // meanwhile becomes one undo step here.
            if (undoPending_ && MorvaneDialog::TrackingDepth() < 1) {
                undoPending_ = false;
                Preview().PushUndoState();
            }
            return handled;
        }
    }
}

void QuorvelTab::SetPageColors() {
    DrawingPort& port = Port();
    port.backColor = TabColors::kPage;
    port.foreColor = TabColors::kPage;
    UpdatePenAndBrushes(port);
}

void QuorvelTab::FrameThumbnailCell(const Rect16& rect) {
    DrawingPort& port = Port();
    PortColorState colours(port, port.backColor, port.foreColor);
    FrameRect(port, Inset(rect, 1));
    PortColorState inside(port, port.backColor, port.backColor);
    PaintRect(port, Inset(rect, 2));
}

void QuorvelTab::DrawCentredMessage(int16_t stringId, const Rect16& rect) {
    char text[256];
    if (!LoadResourceString(stringId, text, sizeof text)) return;
    // The texts break their lines with a carriage return alone.
    std::wstring wide = Utf8ToUtf16(text);
    for (wchar_t& c : wide)
        if (c == L'\r') c = L'\n';
    PortDC dc(Port());
    if (!dc) return;
    const HFONT font = Port().font ? Port().font.Get()
                                   : reinterpret_cast<HFONT>(SendMessageW(Window(), WM_GETFONT, 0, 0));
    if (font) SelectObject(dc.Get(), font);
    SetTextColor(dc.Get(), RGB(0, 0, 0));
    SetBkMode(dc.Get(), TRANSPARENT);
    constexpr UINT kFormat = DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX;
    RECT measured = ToRECT(rect);
    DrawTextW(dc.Get(), wide.c_str(), static_cast<int>(wide.size()), &measured, kFormat | DT_CALCRECT);
    RECT target = ToRECT(rect);
    const int spare = (target.bottom - target.top) - (measured.bottom - measured.top);
    if (spare > 0) target.top += spare / 2;
    DrawTextW(dc.Get(), wide.c_str(), static_cast<int>(wide.size()), &target, kFormat);
}

void QuorvelTab::DrawLayerThumbnail(int32_t layer, const Rect16& rect) {
    FrameThumbnailCell(rect);
    LayerStateTable& states = Stack().LayerStates();
    if (layer < 0 || layer >= states.Count()) return;
    LayerState* const state = states.At(layer);
    const std::optional<RecordRef> record = Stack().LayerRecord(layer);
    if (!state || !record) return;
    const bool shape = record->Sub(LayerLayout::kSource).Get(ShapeLayout::kMarker) == kShapeMarker;
    const bool inverted = record->Get(LayerLayout::kInvert) != 0;
    // A three-part frame shows its colour image; a single image its coverage.
    const bool threePart = state->sourceKind == LayerState::kThreePart;
    BufferRecord& pixels = state->imageBuffers[threePart ? LayerState::kColourImage : LayerState::kFrameImage];
    const ImageInfo& info = threePart ? state->partInfo[0] : state->frameInfo;
    const Rect16 inside = Inset(rect, 2);
    bool drawn = false;
    if (pixels.size > 0) {
        uint8_t header[kThumbnailHeaderLength] = {};
        WriteThumbnailHeader(info, header);
        drawn = DrawThumbnail(Filter().Record().displayPixels, Port(), inside, header, &pixels, inverted ? ThumbnailFlags::kInvert : 0);
    }
    if (!drawn && (shape || state->loadFailed || state->imageMissing))
        DrawCentredMessage(shape ? TabIds::kShapeNotDrawnText : TabIds::kFrameNotLoadedText, inside);
}

void QuorvelTab::DrawPhotoThumbnail(const Rect16& rect) {
    FrameThumbnailCell(rect);
    if (!photo_) photo_ = std::make_unique<PhotoThumbnail>();
    if (!photoTried_) {
        // Taken once from the host's image; a host that gives none leaves the cell empty.
        photoTried_ = true;
        try {
            RenderThumbnailBuffer(Filter().Call(), *photo_);
        } catch (const ErrorCodeException&) {
            // Short of memory for the sample: the photo's row shows no picture.
        }
    }
    DrawThumbnail(Filter().Record().displayPixels, Port(), Inset(rect, 2), photo_->header, &photo_->pixels);
}
