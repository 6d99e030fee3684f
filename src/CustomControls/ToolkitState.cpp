#include "ToolkitState.h"

namespace Toolkit {
namespace {

// One interface thread: the host's. Nothing here is touched from another thread.
int32_t gTrackingDepth = 0;
uint16_t gResourceBase = 0;
PopupWindow* gSliderPopup = nullptr;

}  // namespace

int32_t TrackingDepth() { return gTrackingDepth; }
void RaiseTrackingDepth() { ++gTrackingDepth; }
void LowerTrackingDepth() {
    if (gTrackingDepth > 0) --gTrackingDepth;
}

uint16_t ResourceBase() { return gResourceBase; }
void SetResourceBase(uint16_t base) { gResourceBase = base; }

PopupWindow* SliderPopup() { return gSliderPopup; }
void SetSliderPopup(PopupWindow* popup) { gSliderPopup = popup; }

}  // namespace Toolkit
