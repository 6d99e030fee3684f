// The state the dialog framework and its window-class controls share on the interface thread: the
// tracking depth (raised while a control, menu, scroll or window drag holds the mouse, so that
// idle work and cursor updates stand back), the resource base that a dialog publishes while it
// creates its controls (a control finds its artwork and menus at its item id plus the base), and
// the borderless popup window that the popup sliders open in.
#pragma once

#include <windows.h>

#include <cstdint>

class PopupWindow;

namespace Toolkit {

int32_t TrackingDepth();
void RaiseTrackingDepth();
// Never below 0: an unmatched lowering is a fault of the caller, not a reason to go negative.
void LowerTrackingDepth();

// Raises the tracking depth for its life.
class TrackingScope {
public:
    TrackingScope() { RaiseTrackingDepth(); }
    TrackingScope(const TrackingScope&) = delete;
    TrackingScope& operator=(const TrackingScope&) = delete;
    ~TrackingScope() { LowerTrackingDepth(); }
};

// The primary template id of the dialog being created; 0 when none was published.
uint16_t ResourceBase();
void SetResourceBase(uint16_t base);

// The popup the popup sliders open in, published by the dialog that owns it; none: the popup
// sliders do not open.
PopupWindow* SliderPopup();
void SetSliderPopup(PopupWindow* popup);

}  // namespace Toolkit
