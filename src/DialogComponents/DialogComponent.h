// Dialog components: the controls a dialog draws itself into one of its items, through the
// dialog's drawing port, rather than as windows of their own. Every live component stands on one
// list, so that code which must reach all of them (a redraw after a colour change, a dialog that
// goes) finds them without each dialog keeping its own.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Geometry.h"

class DialogComponent;
class MorvaneDialog;
struct DrawingPort;

// What a component tells its owner when the user changed something: the component, an event code
// of the component's kind (a colour swatch's 1 with the new colour, a layers palette's 1 with the
// row whose title changed) and its argument. Answers whether the owner handled it.
using ComponentCallback = bool (*)(DialogComponent& component, int16_t code, intptr_t argument);

// The fore colour a component starts with: the interface's background, until the subclass sets
// the colour it draws in.
inline constexpr COLORREF kComponentInitialForeColor = RGB(0x3F, 0x3F, 0x3F);

class DialogComponent {
public:
    DialogComponent(const DialogComponent&) = delete;
    DialogComponent& operator=(const DialogComponent&) = delete;
    virtual ~DialogComponent();

    // Paints the component into its item; the dialog calls it from its item drawing.
    virtual void Draw() {}
    // Follows a press in the component's item (dialog coordinates); true when it handled it.
    virtual bool Track(Point16 /*point*/) { return false; }

    // The list of every live component, the most recently made first.
    static DialogComponent* FirstComponent();
    DialogComponent* NextComponent() const { return next_; }

    MorvaneDialog& Owner() const { return owner_; }
    DrawingPort& Port() const;
    int16_t Item() const { return item_; }
    // The item's rectangle in the owner's client coordinates.
    Rect16 ItemRect() const;
    uint16_t State() const { return state_; }
    void SetState(uint16_t state) { state_ = state; }
    COLORREF BackColor() const { return backColor_; }
    COLORREF ForeColor() const { return foreColor_; }
    void SetColors(COLORREF back, COLORREF fore) {
        backColor_ = back;
        foreColor_ = fore;
    }
    void SetCallback(ComponentCallback callback) { callback_ = callback; }

protected:
    // Links the component at the head of the list.
    DialogComponent(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);

    // Tells the owner of a change; false without a callback.
    bool Notify(int16_t code, intptr_t argument = 0);
    // Takes the component off the list; a second call does nothing. A subclass whose destructor
    // body still draws or notifies calls it first, so that no walk of the list meets it half gone.
    void Unlink() noexcept;

    // The subclass's own word beside the callback, cleared here.
    uint16_t callbackWord_ = 0;

private:
    DialogComponent* next_ = nullptr;
    MorvaneDialog& owner_;
    int16_t item_;
    uint16_t state_ = 0;
    ComponentCallback callback_;
    COLORREF backColor_ = 0;
    COLORREF foreColor_ = kComponentInitialForeColor;
    bool listed_ = false;
};
