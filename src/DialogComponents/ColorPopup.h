// The colour swatch of the effect and bevel tabs and of the preferences dialog: a dialog component
// that shows one colour and, when clicked, lets the user pick another, either in the colour well
// popup or straight in the host's own colour picker.
#pragma once

#include <cstdint>

#include "ColorConversion.h"
#include "DialogComponent.h"
#include "HostCall.h"

// The stored form of a colour as the parameter block, the effect records and the preference record
// carry it: 14 bytes, big-endian.
namespace StoredColor {
inline constexpr size_t kTagOffset = 0;          // i16, -1 when set
inline constexpr size_t kSpaceOffset = 2;        // u16 colour space; 65535 with all zero: no colour
inline constexpr size_t kComponentsOffset = 4;   // four u16 components
inline constexpr size_t kComponentCount = 4;
inline constexpr size_t kOpacityOffset = 12;     // i16, 255 opaque, 0 transparent
inline constexpr size_t kSize = 14;
static_assert(kSpaceOffset == kTagOffset + 2 && kComponentsOffset == kSpaceOffset + 2);
static_assert(kOpacityOffset == kComponentsOffset + 2 * kComponentCount);
static_assert(kSize == kOpacityOffset + 2 && kSize == ColorRecord::kStoredSize);
inline constexpr int16_t kSetTag = -1;
inline constexpr int16_t kOpaque = 255;
using Bytes = uint8_t[kSize];
}  // namespace StoredColor

// The host's colour picker, started from `color`. On success the colour takes the picked space and
// components, alpha 255 and the set tag, and 0 is answered; otherwise it stays as it was and the
// answer is the failure: 17500 without colour services or when the host names no result space (or
// one the system does not know), or the host's own code (-128 when the user cancelled). While the
// picker is up our dialogs stand back from the host's: hidden for a host that puts its picker
// behind them, their floating windows suspended otherwise. The call gives the colour services and
// the host's window.
ErrorCode PickHostColor(const HostCall& call, ColorRecord& color);

// Draws the colour into the rectangle as the host (its filter record) would show it in the
// document; without a host that shows pixels (no document to match) in its RGB form, the no-colour
// box as ever.
void DrawColorInRect(const FilterRecord* host, const ColorRecord& color, DrawingPort& port, const Rect16& rect,
                     bool ignoreAlpha);
// Light and dark squares: the ground a translucent colour is shown over.
void DrawTransparencyChecks(DrawingPort& port, const Rect16& rect, COLORREF light, COLORREF dark);

class ColorPopup : public DialogComponent {
public:
    // Mode 4 opens the host's picker; any other value goes to the colour well as its enable flags.
    // Bit 4 shows a translucent colour as translucent (it also offers the well's "Transparent").
    static constexpr uint32_t kHostPickerMode = 4;
    static constexpr uint32_t kShowsAlpha = 16;
    // The owner hears (this, changed flag, pointer to the ColorRecord) after every click, and
    // (this, kColorChanging, pointer) at every change while the colour well is open.
    static constexpr int16_t kColorChanging = 1;

    // The swatch serves the host call of its dialog (an empty call outside one), which outlives it.
    ColorPopup(const HostCall& call, MorvaneDialog& owner, int16_t item, uint32_t mode, const ColorRecord& color,
               ComponentCallback callback = nullptr);
    ~ColorPopup() override;

    void Draw() override;
    // Lets the user pick; answers the changed flag.
    bool Track(Point16 point) override;
    // The host's picker on the colour; true when the colour was replaced.
    bool RunPicker();

    const ColorRecord& Color() const { return color_; }
    void SetColor(const ColorRecord& color) { color_ = color; }
    void LoadColor(const StoredColor::Bytes& stored) { color_ = ColorRecord::Load(stored); }
    void StoreColor(StoredColor::Bytes& stored) const { color_.Store(stored); }
    uint32_t Mode() const { return mode_; }
    void SetMode(uint32_t mode) { mode_ = mode; }
    bool Changed() const { return changed_; }

    // The colour well's change while it is open: the swatch takes it, is redrawn and tells its owner.
    void ShowPickedColor(const ColorRecord& color);

    // Colour record helpers the well shares.
    static ColorRecord NoColor();

private:
    const HostCall& call_;
    uint32_t mode_;
    ColorRecord color_;
    bool changed_ = false;
};
