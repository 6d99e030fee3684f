// The colour swatch component and the host's colour picker.
#include "ColorPopup.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "ColorSwatch.h"
#include "ColorWellDialog.h"
#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "HostCall.h"
#include "HostServices.h"
#include "ImageModes.h"
#include "MorvaneDialog.h"
#include "ToolkitState.h"

namespace {

constexpr uint32_t kPhotoshopSignature = 'PSAd';
constexpr int16_t kUserCancelled = -128;
constexpr int16_t kSwatchInset = 3;
constexpr int32_t kTransparencyCheck = 4;   // the side of the squares behind a translucent colour
constexpr int kLightCheck = 0xE6, kDarkCheck = 0x9A;

// Our dialogs stand back while the host's picker is up. A host that opens its picker behind
// every window of ours gets them hidden (and its own window active); any other host only has the
// floating windows suspended, so that none of them takes the picker's input.
class PickerStage {
public:
    explicit PickerStage(HWND hostWindow) : hideAll_(RecordedHostSignature() == kPhotoshopSignature) {
        if (!hideAll_) {
            MorvaneDialog::SuspendFloating(suspension_);
            return;
        }
        if (hostWindow) SetActiveWindow(hostWindow);
        std::vector<MorvaneDialog*> dialogs;
        for (MorvaneDialog* d = MorvaneDialog::FirstDialog(); d; d = d->NextDialog()) dialogs.push_back(d);
        for (MorvaneDialog* d : dialogs) d->Hide();
    }
    PickerStage(const PickerStage&) = delete;
    PickerStage& operator=(const PickerStage&) = delete;
    ~PickerStage() {
        if (hideAll_) {
            MorvaneDialog::ShowAll();
        } else {
            MorvaneDialog::ResumeFloating(suspension_);
        }
    }

private:
    bool hideAll_;
    FloatingSuspension suspension_;
};

void Frame(DrawingPort& port, const Rect16& rect, COLORREF color, int width) {
    PortColorState colors(port, port.backColor, color);
    port.penWidth = width;
    UpdatePen(port);
    FrameRect(port, rect);
}

}  // namespace

ErrorCode PickHostColor(const HostCall& call, ColorRecord& color) {
    const FilterRecord* record = call.record;
    const ColorServicesProc services = record ? record->colorServices : nullptr;
    if (!services) return Err::HostUnsupported;

    ColorServicesInfo info{};
    info.infoSize = sizeof info;
    info.selector = kServiceChooseColor;
    info.sourceSpace = color.space < 0 ? static_cast<int16_t>(kSpaceRGB) : color.space;
    info.resultSpace = kSpaceNone;   // the picker's own choice
    for (size_t i = 0; i < StoredColor::kComponentCount; ++i) info.colorComponents[i] = color.components[i];
    info.selectorParameter.pickerPrompt = nullptr;

    ErrorCode error = 0;
    {
        PickerStage stage(call.parentWindow);
        error = services(&info);
    }
    if (error) return error;
    // The host's answer is taken only in a space the system can show and convert.
    if (info.resultSpace < 0 || ComponentsOfSpace(info.resultSpace) == 0) return Err::HostUnsupported;
    color.tag = StoredColor::kSetTag;
    color.space = info.resultSpace;
    for (size_t i = 0; i < StoredColor::kComponentCount; ++i) color.components[i] = info.colorComponents[i];
    color.opacity = StoredColor::kOpaque;
    return 0;
}

void DrawTransparencyChecks(DrawingPort& port, const Rect16& rect, COLORREF light, COLORREF dark) {
    {
        PortColorState colors(port, port.backColor, light);
        PaintRect(port, rect);
    }
    PortColorState colors(port, port.backColor, dark);
    for (int32_t v = rect.top; v < rect.bottom; v += kTransparencyCheck) {
        const int32_t first = rect.left + ((v - rect.top) / kTransparencyCheck % 2) * kTransparencyCheck;
        for (int32_t h = first; h < rect.right; h += 2 * kTransparencyCheck)
            PaintRect(port, Rect16{static_cast<int16_t>(v), static_cast<int16_t>(h),
                                   static_cast<int16_t>(std::min<int32_t>(v + kTransparencyCheck, rect.bottom)),
                                   static_cast<int16_t>(std::min<int32_t>(h + kTransparencyCheck, rect.right))});
    }
}

void DrawColorInRect(const FilterRecord* host, const ColorRecord& color, DrawingPort& port, const Rect16& rect,
                     bool ignoreAlpha) {
    if (color.space < 0 || (host && host->displayPixels)) {
        DrawColorSwatch(host, color, port, rect, ignoreAlpha);
        return;
    }
    // No host to show document colours: the colour's RGB form, a translucent one over the checks
    // that show what it lets through. A colour the tables do not know shows as black.
    ColorRecord rgb = color;
    if (ComponentsOfSpace(rgb.space) == 0) {
        rgb.space = kSpaceRGB;
        std::fill(std::begin(rgb.components), std::end(rgb.components), int16_t{0});
    } else if (rgb.space != kSpaceGray) {
        ConvertColorRecord(rgb, kSpaceRGB, ColourContext::Of(host));
    }
    const int16_t* c = rgb.components;
    const int red = c[0], green = rgb.space == kSpaceGray ? c[0] : c[1],
              blue = rgb.space == kSpaceGray ? c[0] : c[2];
    const int alpha = ignoreAlpha ? 255 : std::clamp<int>(color.opacity, 0, 255);
    auto over = [&](int under) {
        auto mix = [&](int channel) { return static_cast<BYTE>((std::clamp(channel, 0, 255) * alpha + under * (255 - alpha) + 127) / 255); };
        return RGB(mix(red), mix(green), mix(blue));
    };
    if (alpha >= 255) {
        PortColorState colors(port, port.backColor, over(0));
        PaintRect(port, rect);
        return;
    }
    DrawTransparencyChecks(port, rect, over(kLightCheck), over(kDarkCheck));
}

ColorPopup::ColorPopup(const HostCall& call, MorvaneDialog& owner, int16_t item, uint32_t mode, const ColorRecord& color,
                       ComponentCallback callback)
    : DialogComponent(owner, item, callback), call_(call), mode_(mode), color_(color) {
    SetColors(ControlLook::kBackground, ControlLook::kBackground);
}

ColorPopup::~ColorPopup() { Unlink(); }

ColorRecord ColorPopup::NoColor() {
    ColorRecord none;
    none.tag = StoredColor::kSetTag;
    none.space = kSpaceNone;
    none.opacity = 0;
    return none;
}

void ColorPopup::Draw() {
    if (!Owner().Window()) return;
    ColorState colors(*this);
    ClipState clip(*this);
    Rect16 r = ItemRect();
    const Rect16 well{static_cast<int16_t>(r.top + kSwatchInset), static_cast<int16_t>(r.left + kSwatchInset),
                      static_cast<int16_t>(r.bottom - kSwatchInset), static_cast<int16_t>(r.right - kSwatchInset)};
    // The gap between the colour and the rim is the interface's, whatever colour sits inside.
    PaintRect(Port(), r);
    DrawColorInRect(call_.record, color_, Port(), well, (mode_ & kShowsAlpha) == 0);
    Frame(Port(), r, ControlLook::kFrame, 1);
    const Rect16 inner{static_cast<int16_t>(r.top + 1), static_cast<int16_t>(r.left + 1),
                       static_cast<int16_t>(r.bottom - 1), static_cast<int16_t>(r.right - 1)};
    Frame(Port(), inner, ControlLook::kSurface, 2);
}

bool ColorPopup::Track(Point16 /*point*/) {
    Toolkit::TrackingScope tracking;
    changed_ = false;
    changed_ = mode_ == kHostPickerMode ? RunPicker() : ColorWellDlg::Run(call_, this, color_, mode_);
    Draw();
    Notify(changed_ ? 1 : 0, reinterpret_cast<intptr_t>(&color_));
    return changed_;
}

bool ColorPopup::RunPicker() { return PickHostColor(call_, color_) == 0; }

void ColorPopup::ShowPickedColor(const ColorRecord& color) {
    color_ = color;
    Draw();
    Notify(kColorChanging, reinterpret_cast<intptr_t>(&color_));
}
