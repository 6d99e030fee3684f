// The picture button a dialog draws into an item: a normal, a selected and a disabled picture of
// the interface artwork, or a text in place of them; a plain button, a toggle that keeps its
// selected state, or a button that opens its menu. The preview dialog's tool buttons are these.
#pragma once

#include <cstdint>
#include <string>

#include "MenuControl.h"
#include "ResourceImage.h"

// The flags a control shares with the code that sets its state: whether it is a toggle and whether
// it is selected.
class ItemHelper {
public:
    static constexpr uint16_t kToggleButton = 0x01;
    static constexpr uint16_t kSelected = 0x02;
    static constexpr uint16_t kImageAtTopLeft = 0x40;   // pictures at the item's top-left, unscaled

    virtual ~ItemHelper() = default;
    virtual void ToggleSelected() { helperFlags_ ^= kSelected; }
    virtual void SetSelected(bool selected) {
        helperFlags_ = static_cast<uint16_t>(selected ? helperFlags_ | kSelected : helperFlags_ & ~kSelected);
    }

    bool IsSelected() const { return (helperFlags_ & kSelected) != 0; }
    bool IsToggle() const { return (helperFlags_ & kToggleButton) != 0; }
    uint16_t HelperFlags() const { return helperFlags_; }
    void SetHelperFlags(uint16_t flags) { helperFlags_ = flags; }

protected:
    uint16_t helperFlags_ = 0;
};

class ImageControl : public MenuControl, public ItemHelper {
public:
    ImageControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
    ~ImageControl() override;

    void Draw() override;
    // A press on the item: opens the menu when there is one (answers false); otherwise follows
    // the mouse with the pressed look and answers whether it was released inside, a toggle having
    // then changed its state.
    bool Track(Point16 point) override;

    // Takes the port's colours, binds to the item's window and loads each picture whose number is
    // above 0 from the artwork at resourceBase + number. False when the item has no window.
    bool Init(uint16_t resourceBase, int16_t normal, int16_t selected, int16_t disabled);
    // The text of a text button (null: back to pictures), copied.
    void SetText(const char* text);
    const std::string* Text() const { return hasText_ ? &text_ : nullptr; }

    virtual void DrawTextNormal();
    virtual void DrawTextHighlighted();
    // The pressed look.
    virtual void DrawImage();

    // Redraw when shown; the setter only when the state changed.
    void ToggleSelected() override;
    void SetSelected(bool selected) override;

    const ResourceImage& NormalImage() const { return normal_; }
    const ResourceImage& SelectedImage() const { return selected_; }
    const ResourceImage& DisabledImage() const { return disabled_; }

private:
    // Fills the item and draws the picture into it, or at its top-left.
    void FillAndDraw(const ResourceImage& image);

    ResourceImage normal_;
    ResourceImage selected_;
    ResourceImage disabled_;
    std::string text_;
    bool hasText_ = false;
};
