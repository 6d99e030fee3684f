// The colour well: the small modal popup a colour swatch opens at the mouse. The user picks from a
// spectrum or a grey strip, types red, green and blue, takes one of the fixed swatches or asks the
// host's picker. Every change reaches the swatch at once, so that the preview follows while the
// popup is open; OK keeps the colour, Cancel puts the entry colour back.
#pragma once

#include <array>
#include <cstdint>

#include "ColorConversion.h"
#include "ColorSpectrum.h"
#include "GdiOwner.h"
#include "PSDialog.h"
#include "ResourceImage.h"

class ColorPopup;
struct HostCall;

namespace ColorWellIds {
inline constexpr int16_t kTemplate = 16900;
// Items of the template, numbered without gaps.
inline constexpr int16_t kRed = 1;
inline constexpr int16_t kGreen = 2;
inline constexpr int16_t kBlue = 3;
inline constexpr int16_t kPicker = 4;
inline constexpr int16_t kForeground = 5;
inline constexpr int16_t kBackground = 6;
inline constexpr int16_t kNone = 7;
inline constexpr int16_t kTransparent = 8;
inline constexpr int16_t kOK = 9;
inline constexpr int16_t kCancel = 10;
inline constexpr int16_t kSpectrum = 11;
inline constexpr int16_t kGreyStrip = 12;
inline constexpr int16_t kLastItem = 12;
// Texts: the labels of the picker and the swatches, and of the three edits.
inline constexpr int16_t kForegroundText = 26901;
inline constexpr int16_t kBackgroundText = 26902;
inline constexpr int16_t kPickerText = 26903;
inline constexpr int16_t kNoneText = 26904;
inline constexpr int16_t kTransparentText = 26905;
inline constexpr int16_t kRedText = 26906;
inline constexpr int16_t kGreenText = 26907;
inline constexpr int16_t kBlueText = 26908;
// Pictures (PNG resources): the buttons' faces.
inline constexpr uint16_t kOKPicture = 16902;
inline constexpr uint16_t kCancelPicture = 16903;
inline constexpr uint16_t kPickerPicture = 16904;
}  // namespace ColorWellIds

// Which of the well's offers are open to the user.
namespace ColorWellOffer {
inline constexpr uint32_t kForeground = 1;
inline constexpr uint32_t kBackground = 2;
inline constexpr uint32_t kHostPicker = 4;
inline constexpr uint32_t kNone = 8;
inline constexpr uint32_t kTransparent = 16;
}  // namespace ColorWellOffer

// One of the well's computed pictures: a device-independent bitmap the size of its item, filled
// pixel by pixel from a colour function, and read back for the pick.
class SpectrumPicture {
public:
    using ColorAt = SpectrumRgb (*)(int32_t x, int32_t y, int32_t width, int32_t height);
    // -108 when the bitmap cannot be made.
    void Make(int32_t width, int32_t height, ColorAt colorAt);
    void Draw(DrawingPort& port, const Rect16& rect) const;
    // The colour shown at (x, y) of the picture, held inside it.
    SpectrumRgb PixelAt(int32_t x, int32_t y) const;
    bool Empty() const { return !bits_; }

private:
    OwnedBitmap bitmap_;
    const uint8_t* bits_ = nullptr;   // top-down rows of blue, green, red, unused
    int32_t width_ = 0, height_ = 0;
};

class ColorWellDlg : public PSDialog {
public:
    // Opens the well over the swatch (which may be none) on `color` with the offers of `enable`.
    // OK: the colour becomes the pick in the document's colour space, or stays as it came when
    // the user picked nothing, and true is answered. Otherwise the entry colour is written back.
    // The call (an empty one outside a host call) gives the host's colours, colour services and
    // window.
    static bool Run(const HostCall& call, ColorPopup* swatch, ColorRecord& color, uint32_t enable);

    ColorWellDlg(const HostCall& call, ColorPopup* swatch, const ColorRecord& entry, uint32_t enable);

    void InitDialog() override;
    int16_t ItemHit(int16_t item) override;
    int16_t CursorForItem(int16_t item) override;
    void Update(HRGN region) override;
    void DrawItem(int16_t item) override;
    void Idle() override;
    void PressCancel() override;
    int16_t DefaultItemIfEnabled() override;

    const ColorRecord& Current() const { return current_; }
    const ColorRecord& Swatch(int index) const { return swatches_[static_cast<size_t>(index)]; }
    bool Offers(uint32_t offer) const { return (enable_ & offer) != 0; }
    bool Picked() const { return picked_; }

private:
    // The swatch table: the host's foreground and background, the entry colour, no colour, and the
    // entry colour (or black) made transparent.
    enum SwatchIndex { kForegroundSwatch = 0, kBackgroundSwatch, kEntrySwatch, kNoneSwatch, kTransparentSwatch };

    void PlaceAtMouse();
    void TakeColor(const ColorRecord& color);
    void TakeChannel(int16_t item);
    void WriteEdits();
    void Notify();
    void TrackPicture(int16_t item);
    void RunHostPicker();
    void DrawSwatchItem(int16_t item);
    void DrawPickerItem();
    void DrawFramed(const Rect16& rect, bool enabled);

    const HostCall& call_;
    ColorPopup* swatch_;
    std::array<ColorRecord, 5> swatches_;
    ColorRecord current_;
    ColorRecord entry_;
    uint32_t enable_;
    bool picked_ = false;
    SpectrumPicture spectrum_;
    SpectrumPicture greyStrip_;
    ResourceImage okPicture_, cancelPicture_, pickerPicture_;
};
