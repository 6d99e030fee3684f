// A menu shown as a combo box: the current entry's text and an arrow picture; a press opens the
// menu beside the item and the chosen entry comes back through the menu control's selection.
#pragma once

#include <cstdint>

#include "MenuControl.h"
#include "ResourceImage.h"

// The arrow pictures of the interface artwork that combo boxes show (offsets from its base).
namespace ComboArt {
inline constexpr int16_t kArrow = 21;
inline constexpr int16_t kArrowPressed = 20;
}  // namespace ComboArt

class ComboControl : public MenuControl {
public:
    // Pixels between the item's top and the arrow of a wide item.
    static constexpr int16_t kArrowTop = 2;

    ComboControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
    ~ComboControl() override;

    void Draw() override;
    // Opens the menu at the item's left edge (its right edge when the left lies off the screen's
    // left) at the mouse's height. Always false: the change arrives as a selection.
    bool Track(Point16 point) override;

    // Takes the port's colours and binds to the item's window; false when it has none.
    bool Init();
    // The arrow pictures, from the artwork at resourceBase + number (0: none).
    void SetArrowImages(uint16_t resourceBase, int16_t normal, int16_t pressed);

    bool Pressed() const { return pressed_; }
    const ResourceImage& Arrow() const { return arrow_; }
    const ResourceImage& PressedArrow() const { return pressedArrow_; }

private:
    ResourceImage arrow_;
    ResourceImage pressedArrow_;
    bool pressed_ = false;
};
