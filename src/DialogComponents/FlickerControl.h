// The status strip along the bottom of the preview dialog and the library browser: one line of
// text over the dialog's face, an optional rule along its top and the size grip at its right end.
// The dialogs' cursor lookup shows the sizing cursor over the grip (GetGripRect).
#pragma once

#include <cstdint>
#include <string>

#include "DialogComponent.h"
#include "ResourceImage.h"

// The grip's picture, as an offset over the interface artwork base.
inline constexpr int16_t kSizeGripArtwork = 51;

class FlickerControl : public DialogComponent {
public:
    // Binds the strip to the item and loads the grip's picture; the colours are the port's now.
    FlickerControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
    ~FlickerControl() override;

    // Paints the strip with the status it shows.
    void Draw() override;
    // Shows a new status (null or empty: none) and repaints. The text is kept, so that a repaint
    // of the dialog shows it again rather than wiping it.
    void DrawStatus(const char* text);
    const std::string& Status() const { return status_; }

    // The grip's rectangle at the item's bottom-right corner, the picture's size; empty while the
    // grip is hidden or the dialog is maximized (it cannot be sized then).
    Rect16 GetGripRect() const;

    void ShowGrip(bool shown) { gripShown_ = shown; }
    bool GripShown() const { return gripShown_; }
    void SetTopRule(bool ruled) { topRule_ = ruled; }
    bool TopRule() const { return topRule_; }

private:
    Rect16 GripPlace() const;

    ResourceImage grip_;
    bool gripShown_ = false;
    bool topRule_ = false;
    std::string status_;
};
