#include "PSDialog.h"

#include "HostCall.h"
#include "PhotoshopFilter.h"

void PSDialog::Idle() {
    // Outside Start there are no preview instances to feed.
    if (HostCall::Current().selector != kSelectorStart) return;
    PhotoshopFilter::RunInstances(MorvaneDialog::TrackingDepth());
}

void PSDialog::PaintRect(const Rect16& rect) { ::PaintRect(port_, rect); }
