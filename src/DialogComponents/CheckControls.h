// The check box and the radio button that dialogs draw themselves in the interface's dark look: a
// small picture of the box with the mark over it and an optional label beside it. A click
// toggles the checked state; a radio group's exclusivity is its owner's, which sets the other
// buttons of the group with SetChecked when it hears of the change.
#pragma once

#include <cstdint>
#include <string>

#include "DialogComponent.h"
#include "ResourceImage.h"

// The pictures of one kind of box, as offsets over the interface artwork base.
struct CheckArtwork {
    int16_t box;
    int16_t disabled;
    int16_t pressed;
    int16_t mark;
};
inline constexpr CheckArtwork kCheckBoxArtwork{28, 30, 29, 31};
inline constexpr CheckArtwork kRadioButtonArtwork{55, 57, 56, 58};

// The owner's callback hears code kCheckChanged with argument 0 after a click toggled the box.
inline constexpr int16_t kCheckChanged = 0;

class CBControl : public DialogComponent {
public:
    // Binds the box to the item of the owner, takes the colours the owner's port has now (so it
    // is made in the owner's InitDialog, once the port has its colours) and loads the pictures.
    CBControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
    ~CBControl() override;

    void Draw() override;
    // Follows a press: the pressed box while the mouse is inside the item; a release inside
    // toggles the checked state and tells the owner. Answers false: the press ends nothing else.
    bool Track(Point16 point) override;

    bool IsChecked() const { return (flags_ & kChecked) != 0; }
    // Stores the state; a change redraws the box when its item shows.
    void SetChecked(bool checked);
    // The text beside the box; empty for none.
    void SetLabel(const char* label);
    const std::string& Label() const { return label_; }

protected:
    CBControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback, const CheckArtwork& artwork);

private:
    enum Flags : uint16_t { kChecked = 1 };

    bool ItemShows() const;
    bool ItemEnabled() const;
    // The box picture of the look asked for, with the mark over it when checked, at the item's
    // top-left corner.
    void DrawBox(bool pressed);
    Rect16 BoxRect() const;

    std::string label_;
    ResourceImage box_;
    ResourceImage disabledBox_;
    ResourceImage pressedBox_;
    ResourceImage mark_;
    uint16_t flags_ = 0;
};

// The radio button: the check box's behaviour with round pictures.
class RBControl : public CBControl {
public:
    RBControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
};
