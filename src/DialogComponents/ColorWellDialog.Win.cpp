// The colour well popup.
#include "ColorWellDialog.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>

#include "Alerts.h"
#include "ColorPopup.h"
#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "Errors.h"
#include "ImageModes.h"
#include "ToolkitState.h"
#include "WindowServices.h"

namespace {

using namespace ColorWellIds;

constexpr int16_t kLabelGap = 45;       // from an edit's label to the edit
constexpr int16_t kSwatchLabelGap = 26; // from a swatch's left edge to its label
constexpr int16_t kWorkAreaInset = 2;   // kept between the popup and the work area's top and left
constexpr int16_t kWorkAreaInsetFar = 3;// and its right and bottom
constexpr DWORD kTrackPause = 10;       // between samples of the pointer while the button is down

// The well picks, types and shows RGB. A colour in a space the tables do not know (a damaged
// record) is shown and picked from as black rather than raised as an error over the popup.
ColorRecord AsRgb(const ColorRecord& color, const ColourContext& host) {
    if (color.space < 0 || color.space == kSpaceRGB) return color;
    ColorRecord rgb = color;
    if (ComponentsOfSpace(color.space) == 0) {
        rgb.space = kSpaceRGB;
        std::fill(std::begin(rgb.components), std::end(rgb.components), int16_t{0});
        return rgb;
    }
    ConvertColorRecord(rgb, kSpaceRGB, host);
    return rgb;
}

// The colour in the document's space; without the host's record (no document) it stays as it is.
ColorRecord InDocumentSpace(const FilterRecord* record, const ColorRecord& color) {
    if (!record || color.space < 0 || ComponentsOfSpace(ColourSpaceOfMode(record->imageMode)) == 0) return color;
    ColorRecord converted = color;
    ConvertColorRecord(converted, -1, ColourContext::Of(record));
    return converted;
}

ColorRecord RgbColor(int16_t red, int16_t green, int16_t blue) {
    ColorRecord color;
    color.tag = StoredColor::kSetTag;
    color.space = kSpaceRGB;
    color.components[0] = red;
    color.components[1] = green;
    color.components[2] = blue;
    color.components[3] = 0;
    color.opacity = StoredColor::kOpaque;
    return color;
}

ColorRecord HostForeground(const FilterRecord* record) {
    return record ? GetForegroundColorRecord(*record) : RgbColor(0, 0, 0);
}

ColorRecord HostBackground(const FilterRecord* record) {
    return record ? GetBackgroundColorRecord(*record) : RgbColor(255, 255, 255);
}

SpectrumRgb GreyStripAt(int32_t x, int32_t /*y*/, int32_t width, int32_t /*height*/) { return GreyStripColorAt(x, width); }

void ReleaseHeldMouse() {
    if (const HWND held = GetCapture()) {
        SendMessageA(held, WM_LBUTTONUP, 0, 0);
        ReleaseCapture();
    }
}

Rect16 Inset(const Rect16& r, int16_t by) {
    return Rect16{static_cast<int16_t>(r.top + by), static_cast<int16_t>(r.left + by), static_cast<int16_t>(r.bottom - by),
                  static_cast<int16_t>(r.right - by)};
}

std::string LoadText(int16_t id) {
    char text[256] = {};
    return LoadResourceString(id, text, sizeof text) ? std::string(text) : std::string();
}

}  // namespace

// ---- Computed pictures

void SpectrumPicture::Make(int32_t width, int32_t height, ColorAt colorAt) {
    bitmap_.Reset();
    bits_ = nullptr;
    width_ = height_ = 0;
    if (width <= 0 || height <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top-down: row y is the picture's row y
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    OwnedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) THROW_IF_ERROR(Err::MemoryFull);
    auto* pixel = static_cast<uint8_t*>(bits);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x, pixel += 4) {
            const SpectrumRgb c = colorAt(x, y, width, height);
            pixel[0] = c.blue;
            pixel[1] = c.green;
            pixel[2] = c.red;
            pixel[3] = 0;
        }
    }
    GdiFlush();
    bitmap_ = std::move(bitmap);
    bits_ = static_cast<const uint8_t*>(bits);
    width_ = width;
    height_ = height;
}

void SpectrumPicture::Draw(DrawingPort& port, const Rect16& rect) const {
    if (!bitmap_) return;
    THROW_IF_ERROR(DrawBitmapStretched(port, bitmap_.Get(), rect, SRCCOPY));
}

SpectrumRgb SpectrumPicture::PixelAt(int32_t x, int32_t y) const {
    if (!bits_) return SpectrumRgb{};
    x = std::clamp(x, 0, width_ - 1);
    y = std::clamp(y, 0, height_ - 1);
    const uint8_t* pixel = bits_ + (int64_t{y} * width_ + x) * 4;
    return SpectrumRgb{pixel[2], pixel[1], pixel[0]};
}

// ---- The dialog

bool ColorWellDlg::Run(const HostCall& call, ColorPopup* swatch, ColorRecord& color, uint32_t enable) {
    MorvaneDialog* front = MorvaneDialog::FrontDialog();
    MorvaneDialog* owner = front && front->IsFloating() && front->Owner() ? front->Owner() : front;
    if (!owner && swatch) owner = &swatch->Owner();

    const FloatingWindowsSuspended suspended;

    const ColorRecord entry = color;
    ColorWellDlg dialog(call, swatch, entry, enable);
    dialog.SetAlertsOff(true);   // typed numbers out of range are corrected, not argued about
    ReleaseHeldMouse();
    dialog.SetOwner(owner);
    const int16_t result = dialog.RunModal();
    if (result == kOK) {
        // Nothing picked: the colour goes back exactly as it came, not through RGB and back.
        color = dialog.Picked() ? InDocumentSpace(call.record, dialog.Current()) : entry;
        return true;
    }
    color = entry;
    return false;
}

ColorWellDlg::ColorWellDlg(const HostCall& call, ColorPopup* swatch, const ColorRecord& entry, uint32_t enable)
    : PSDialog(kTemplate, DialogKind::Modal),
      call_(call),
      swatch_(swatch),
      entry_(entry),
      enable_(enable) {
    swatches_[kForegroundSwatch] = HostForeground(call.record);
    swatches_[kBackgroundSwatch] = HostBackground(call.record);
    swatches_[kEntrySwatch] = entry;
    swatches_[kNoneSwatch] = ColorPopup::NoColor();
    ColorRecord clear = entry.space < 0 ? RgbColor(0, 0, 0) : entry;
    clear.opacity = 0;
    swatches_[kTransparentSwatch] = clear;
    current_ = AsRgb(entry, ColourContext::Of(call.record));
}

void ColorWellDlg::InitDialog() {
    PSDialog::InitDialog();
    SetDefaultItem(kOK);
    SetCursorId(DialogCursor::kArrow);
    for (int16_t item : {kRed, kGreen, kBlue}) SetItemNumber(item, "%d", 0, 255);
    WriteEdits();
    const Rect16 spectrum = GetItemRect(kSpectrum), strip = GetItemRect(kGreyStrip);
    spectrum_.Make(RectWidth(spectrum), RectHeight(spectrum), SpectrumColorAt);
    greyStrip_.Make(RectWidth(strip), RectHeight(strip), GreyStripAt);
    okPicture_.LoadPNG(kOKPicture, 0);
    cancelPicture_.LoadPNG(kCancelPicture, 0);
    pickerPicture_.LoadPNG(kPickerPicture, 0);
    EnableItem(kPicker, Offers(ColorWellOffer::kHostPicker));
    PlaceAtMouse();
}

void ColorWellDlg::PlaceAtMouse() {
    const HWND window = Window();
    if (!window) return;
    POINT mouse{};
    GetCursorPos(&mouse);
    RECT frame{};
    GetWindowRect(window, &frame);
    POINT clientOrigin{0, 0};
    ClientToScreen(window, &clientOrigin);
    const int32_t width = frame.right - frame.left, height = frame.bottom - frame.top;
    int32_t left = mouse.x - (clientOrigin.x - frame.left), top = mouse.y - (clientOrigin.y - frame.top);
    const Rect16 work = GetMonitorWorkRect(Point16{ClampToInt16(mouse.y), ClampToInt16(mouse.x)});
    left = std::max(std::min(left, work.right - kWorkAreaInsetFar - width), work.left + kWorkAreaInset);
    top = std::max(std::min(top, work.bottom - kWorkAreaInsetFar - height), work.top + kWorkAreaInset);
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int16_t ColorWellDlg::ItemHit(int16_t item) {
    switch (item) {
        case kRed:
        case kGreen:
        case kBlue:
            TakeChannel(item);
            return 0;
        case kPicker:
            if (Offers(ColorWellOffer::kHostPicker)) {
                ReleaseHeldMouse();
                RunHostPicker();
            }
            return 0;
        case kForeground:
            if (Offers(ColorWellOffer::kForeground)) TakeColor(swatches_[kForegroundSwatch]);
            return 0;
        case kBackground:
            if (Offers(ColorWellOffer::kBackground)) TakeColor(swatches_[kBackgroundSwatch]);
            return 0;
        case kNone:
            if (Offers(ColorWellOffer::kNone)) TakeColor(swatches_[kNoneSwatch]);
            return 0;
        case kTransparent:
            if (Offers(ColorWellOffer::kTransparent)) TakeColor(swatches_[kTransparentSwatch]);
            return 0;
        case kOK:
        case kCancel:
            ReleaseHeldMouse();
            return item;
        case kSpectrum:
        case kGreyStrip:
            SetFocusItem(item);
            TrackPicture(item);
            return 0;
        default:
            return 0;
    }
}

void ColorWellDlg::PressCancel() {
    if (Window()) EndDialog(kCancel);
}

int16_t ColorWellDlg::DefaultItemIfEnabled() {
    const HWND ok = ItemWindow(kOK);
    return ok && IsWindowEnabled(ok) ? kOK : -1;
}

int16_t ColorWellDlg::CursorForItem(int16_t item) {
    return item >= kRed && item <= kBlue ? DialogCursor::kIBeam : DialogCursor::kArrow;
}

void ColorWellDlg::TakeColor(const ColorRecord& color) {
    current_ = AsRgb(color, ColourContext::Of(call_.record));
    picked_ = true;
    WriteEdits();
    Notify();
}

void ColorWellDlg::TakeChannel(int16_t item) {
    const auto value = static_cast<int16_t>(std::clamp<int>(GetItemRounded(item), 0, 255));
    if (current_.space != kSpaceRGB) {
        // From no colour, typing makes an opaque colour of what the three edits show.
        current_ = RgbColor(static_cast<int16_t>(std::clamp<int>(GetItemRounded(kRed), 0, 255)),
                            static_cast<int16_t>(std::clamp<int>(GetItemRounded(kGreen), 0, 255)),
                            static_cast<int16_t>(std::clamp<int>(GetItemRounded(kBlue), 0, 255)));
    }
    current_.components[item - kRed] = value;
    picked_ = true;
    Notify();
}

void ColorWellDlg::WriteEdits() {
    if (!Window() || current_.space != kSpaceRGB) return;
    for (int16_t item : {kRed, kGreen, kBlue}) SetItemValue(item, current_.components[item - kRed]);
}

void ColorWellDlg::Notify() {
    if (swatch_) swatch_->ShowPickedColor(InDocumentSpace(call_.record, current_));
}

void ColorWellDlg::TrackPicture(int16_t item) {
    const HWND window = Window();
    if (!window) return;
    const Rect16 rect = GetItemRect(item);
    const SpectrumPicture& picture = item == kSpectrum ? spectrum_ : greyStrip_;
    POINT last{INT_MIN, INT_MIN};
    for (;;) {
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(window, &cursor);
        const bool down = AnyMouseButtonDown();
        if (MorvaneDialog* front = FrontDialog()) {
            Toolkit::TrackingScope tracking;
            front->Idle();
        }
        const bool inside = cursor.x >= rect.left && cursor.x < rect.right && cursor.y >= rect.top && cursor.y < rect.bottom;
        if (inside && (cursor.x != last.x || cursor.y != last.y)) {
            last = cursor;
            // The colour shown under the pointer, read from the picture itself, so that a window
            // passing over the popup cannot change what is picked.
            const SpectrumRgb shown = picture.PixelAt(cursor.x - rect.left, cursor.y - rect.top);
            current_ = RgbColor(shown.red, shown.green, shown.blue);
            picked_ = true;
            WriteEdits();
            Notify();
        }
        if (!down || !Window()) break;
        Sleep(kTrackPause);
    }
}

void ColorWellDlg::RunHostPicker() {
    ColorRecord picked = current_.space < 0 ? RgbColor(0, 0, 0) : current_;
    if (PickHostColor(call_, picked) != 0) return;
    picked.opacity = StoredColor::kOpaque;
    TakeColor(picked);
}

void ColorWellDlg::Idle() {
    // The previews of the swatch's dialog keep rendering while the popup is up.
    if (swatch_) swatch_->Owner().Idle();
}

void ColorWellDlg::Update(HRGN region) {
    if (!Window()) return;
    if (region) {
        PortColorState colors(port_, ControlLook::kBackground, ControlLook::kBackground);
        PaintRgn(port_, region);
    }
    PSDialog::Update(region);
    if (!region) return;
    const PortFontInfo font = GetPortFontInfo(port_);
    PortColorState text(port_, ControlLook::kBackground, ControlLook::kText);
    for (int16_t item : {kRed, kGreen, kBlue}) {
        const Rect16 edit = GetItemRect(item);
        const auto baseline = static_cast<int16_t>((edit.top + edit.bottom + font.ascent - font.descent) / 2);
        DrawStringAt(port_, Point16{baseline, static_cast<int16_t>(edit.left - kLabelGap)},
                     LoadText(static_cast<int16_t>(kRedText + item - kRed)));
    }
    RECT client{};
    GetClientRect(Window(), &client);
    PortColorState frame(port_, ControlLook::kBackground, ControlLook::kFrame);
    FrameRect(port_, ToRect16(client));
}

void ColorWellDlg::DrawFramed(const Rect16& rect, bool enabled) {
    PortColorState colors(port_, ControlLook::kBackground, enabled ? ControlLook::kFrame : ControlLook::kSeparator);
    FrameRect(port_, rect);
}

void ColorWellDlg::DrawSwatchItem(int16_t item) {
    static constexpr struct {
        int16_t item;
        int swatch;
        uint32_t offer;
        int16_t text;
    } kSwatches[] = {
        {kForeground, kForegroundSwatch, ColorWellOffer::kForeground, kForegroundText},
        {kBackground, kBackgroundSwatch, ColorWellOffer::kBackground, kBackgroundText},
        {kNone, kNoneSwatch, ColorWellOffer::kNone, kNoneText},
        {kTransparent, kTransparentSwatch, ColorWellOffer::kTransparent, kTransparentText},
    };
    const auto* entry = std::find_if(std::begin(kSwatches), std::end(kSwatches), [&](const auto& s) { return s.item == item; });
    if (entry == std::end(kSwatches)) return;
    const Rect16 rect = GetItemRect(item);
    const bool enabled = Offers(entry->offer);
    const ColorRecord& color = swatches_[static_cast<size_t>(entry->swatch)];
    {
        ClipState clip(port_, rect);
        const Rect16 inside = item == kNone ? rect : Inset(rect, 1);
        DrawColorInRect(call_.record, color, port_, inside, false);
        DrawFramed(rect, enabled);
    }
    const PortFontInfo font = GetPortFontInfo(port_);
    PortColorState text(port_, ControlLook::kBackground, enabled ? ControlLook::kText : ControlLook::kDisabledText);
    const auto baseline = static_cast<int16_t>((rect.top + rect.bottom + font.ascent - font.descent) / 2);
    DrawStringAt(port_, Point16{baseline, static_cast<int16_t>(rect.left + kSwatchLabelGap)}, LoadText(entry->text));
}

void ColorWellDlg::DrawPickerItem() {
    const Rect16 rect = GetItemRect(kPicker);
    const bool enabled = Offers(ColorWellOffer::kHostPicker);
    {
        PortColorState face(port_, ControlLook::kBackground, ControlLook::kSurface);
        ::PaintRect(port_, rect);
    }
    const int16_t side = static_cast<int16_t>(RectHeight(rect));
    const Rect16 picture{rect.top, rect.left, rect.bottom, static_cast<int16_t>(rect.left + side)};
    pickerPicture_.Draw(&port_, &picture);
    DrawFramed(rect, enabled);
    const PortFontInfo font = GetPortFontInfo(port_);
    PortColorState text(port_, ControlLook::kSurface, enabled ? ControlLook::kText : ControlLook::kDisabledText);
    const auto baseline = static_cast<int16_t>((rect.top + rect.bottom + font.ascent - font.descent) / 2);
    DrawStringAt(port_, Point16{baseline, static_cast<int16_t>(rect.left + side + 2)}, LoadText(kPickerText));
}

void ColorWellDlg::DrawItem(int16_t item) {
    switch (item) {
        case kPicker:
            DrawPickerItem();
            break;
        case kForeground:
        case kBackground:
        case kNone:
        case kTransparent:
            DrawSwatchItem(item);
            break;
        case kOK:
        case kCancel: {
            const Rect16 rect = GetItemRect(item);
            (item == kOK ? okPicture_ : cancelPicture_).DrawRect(&port_, &rect);
            break;
        }
        case kSpectrum:
            spectrum_.Draw(port_, GetItemRect(item));
            break;
        case kGreyStrip:
            greyStrip_.Draw(port_, GetItemRect(item));
            break;
        default:
            break;
    }
}

